// Messages of the object API: a folder's message collection (RDOItems), a message (RDOMail), the MAPI message
// object underneath it (MAPIMessage, what MAPIOBJECT gives) and the utility object that sets one property
// on it (RDOMAPIUtils, ProgID "Redemption.MAPIUtils").
//
//   auto item = session->GetFolderFromPath("\\\\Store\\Inbox")->Items()->Add(0);   // new, not stored yet
//   item->Import("/mail/1.eml", 1024);                                             // content of the file
//   CreateObjectAs<RDOMAPIUtils>("Redemption.MAPIUtils")
//       ->HrSetOneProp(item->MAPIOBJECT(), 0x0E070003, 17, true);                  // flags, and save
//   item->Save();                                                                  // nothing changed: no-op
//
// A message is stored only by Save (or HrSetOneProp with save = true). Saving again after a change stores the
// message again under the same NID; saving without a change since the last save does nothing, so a file's
// attachments are streamed once. Whatever the flags given, the store keeps MSGFLAG_HASATTACH exactly on
// messages that have attachments; a message saved without flags is marked read (imported mail is mail the
// user has seen).
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>

#include "pst/content/message_content.h"
#include "rdo/object.h"
#include "rdo/parsed_eml.h"
#include "rdo/store_state.h"

namespace velmora::rdo {

// Item type codes of RDOItems::Add (olItemType): a mail message.
constexpr int kItemTypeMail = 0;
// Format codes of RDOMail::Import: an RFC 822 / MIME message file (.eml).
constexpr int kImportFormatRfc822 = 1024;

// The named property (PS_PUBLIC_STRINGS, string name) in which Import keeps where a message came from: the
// source file's size in bytes, a blank and its name ("2048 m0001.eml"). A later run can tell a message
// without an Internet Message-ID that it already imported by it.
inline constexpr const char* kSourceFileProperty = "x-velmora-source-file";
// The text of that property for the file at `path`; empty when its size cannot be had.
std::string SourceFileText(const std::string& path);
// The same for a file of `size` bytes.
std::string SourceFileText(const std::string& path, uint64_t size);
// The source-file text stored in `content`, or empty.
std::string SourceFileOf(const pst::MessageContent& content);
// The Internet Message-ID of a message's content; empty when it has none.
std::string InternetMessageIdOf(const pst::MessageContent& content);
// PR_MESSAGE_FLAGS (PtypInteger32), for HrSetOneProp.
inline constexpr uint32_t kPrMessageFlags = 0x0E070003;

// Whether an import into `state`'s store now keeps Internet headers as named properties (their IDs are
// rationed, see Import); a parse made ahead must have used the same choice.
bool InternetHeaderProperties(const StoreState& state);

// A property value as an automation client passes it: a whole number, a Boolean or text.
using PropVariant = std::variant<int32_t, bool, std::string>;

class MAPIMessage : public Object {
 public:
  // A new message of `folder`, not stored yet.
  MAPIMessage(std::shared_ptr<StoreState> state, pst::Nid folder);
  // Stored message `nid` of `folder` with its content as read.
  MAPIMessage(std::shared_ptr<StoreState> state, pst::Nid folder, pst::Nid nid, pst::MessageContent content);

  // Sets one property. The value must suit the tag's type: a number for Integer16/32/64 and Boolean, a
  // Boolean for Boolean, text for String and String8 (stored as String). Error otherwise, and for named
  // property IDs (0x8000 and up), which have no name here.
  void SetProp(pst::PropTag tag, const PropVariant& value);
  // Replaces the content by the file's (and kSourceFileProperty, kSourceKeyProperty); Error for another format or a file that
  // cannot be read, after which the message is empty. `parsed`, a parse of the file made earlier (perhaps on
  // another thread), is taken instead of parsing again when it still fits the file (parsed_eml.h).
  void Import(const std::string& path, int format, std::optional<ParsedEml> parsed = std::nullopt);
  // Stores the message when it changed since the last save (or was never saved). A commit due then may
  // fail after the message was stored: Error, with save_number() already set.
  void Save();

  const pst::MessageContent& content() const { return content_; }
  std::optional<pst::Nid> nid() const { return nid_; }
  bool changed() const { return changed_; }
  // The store's number for this message's last save (StoreState); 0 while it was never stored.
  uint64_t save_number() const { return save_number_; }
  const std::shared_ptr<StoreState>& state() const { return state_; }

 private:
  std::shared_ptr<StoreState> state_;
  pst::Nid folder_;
  std::optional<pst::Nid> nid_;  // set once stored
  pst::MessageContent content_;
  bool changed_ = true;  // since the last save
  uint64_t save_number_ = 0;
};

class RDOMail : public Object {
 public:
  explicit RDOMail(std::shared_ptr<MAPIMessage> message) : message_(std::move(message)) {}

  // Format 1024 only: the message takes its whole content from the .eml file at `path` (or from `parsed`,
  // as MAPIMessage::Import says).
  void Import(const std::string& path, int format, std::optional<ParsedEml> parsed = std::nullopt);
  std::string Subject() const;
  // Hex text of the message's entry ID; empty until the message is saved.
  std::string EntryID() const;
  // The underlying message object, for RDOMAPIUtils.
  std::shared_ptr<MAPIMessage> MAPIOBJECT() const { return message_; }
  void Save() { message_->Save(); }

 private:
  std::shared_ptr<MAPIMessage> message_;
};

class RDOItems {
 public:
  RDOItems(std::shared_ptr<StoreState> state, pst::Nid folder) : state_(std::move(state)), folder_(folder) {}

  // The stored messages of the folder (saved ones, committed or not).
  int Count() const;
  // 1-based, in contents-table order; the message as stored.
  std::shared_ptr<RDOMail> Item(int index) const;
  // A new, unsaved message in this folder; type 0 (mail) only.
  std::shared_ptr<RDOMail> Add(int type = kItemTypeMail);
  // Every stored message in contents-table order, one at a time (only one is held in memory at once).
  void ForEach(const std::function<void(const RDOMail&)>& fn) const;

 private:
  std::shared_ptr<StoreState> state_;
  pst::Nid folder_;
};

class RDOMAPIUtils : public Object {
 public:
  // Sets property `tag` of a message object (what MAPIOBJECT gives) to `value`, and saves the message at
  // once when `save` is true. Error when the object is not a message or the value does not suit the tag.
  void HrSetOneProp(const std::shared_ptr<Object>& mapi_object, uint32_t tag, const PropVariant& value,
                    bool save);
};

}  // namespace velmora::rdo
