// Messages through the object API: Items.Add gives an unsaved message, Import fills it from an .eml file,
// HrSetOneProp sets one property (and saves), Save stores once and again only after a change; the folder's
// counts follow, and a reopened store lists what was saved.
#include "rdo/rdo_mail.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "pst/tags/prop_tags.h"
#include "rdo/rdo_session.h"
#include "rdo/testing/error_of.h"
#include "tests/support/support.h"

namespace velmora::rdo {
namespace {

using velmora::testing::TempDir;

constexpr uint32_t kTagFlags = pst::tags::kMessageFlags;
constexpr uint32_t kTagSubject = pst::tags::kSubject;

std::string TestMessage(const std::string& name) {
  return std::string(VELMORA_SOURCE_DIR_FALLBACK) + "/mime/testdata/" + name;
}

using testing::ErrorOf;

int32_t StoredFlags(RDOMail& mail) {
  return mail.MAPIOBJECT()->content().props.at(pst::TagId(kTagFlags)).AsInt32().value_or(-1);
}

class MailTest : public ::testing::Test {
 protected:
  void SetUp() override { Logon(); }
  void Logon() {
    session_ = std::make_shared<RDOSession>();
    store_ = session_->LogonPstStore(path_, 1, "Mail");
    inbox_ = store_->IPMRootFolder()->Folders()->Add("Inbox");
  }
  void Reopen() {
    session_->Logoff();
    session_ = std::make_shared<RDOSession>();
    store_ = session_->LogonPstStore(path_, 1, "Mail");
    inbox_ = store_->IPMRootFolder()->Folders()->Item("Inbox");
  }
  // Add, Import, HrSetOneProp(flags, save), Save: the engine's sequence.
  std::shared_ptr<RDOMail> ImportAsTheEngineDoes(const std::string& file, int32_t flags = 17) {
    auto item = inbox_->Items()->Add(0);
    item->Import(file, 1024);
    CreateObjectAs<RDOMAPIUtils>("Redemption.MAPIUtils")
        ->HrSetOneProp(item->MAPIOBJECT(), kTagFlags, flags, true);
    item->Save();
    return item;
  }
  pst::NodeEntry NodeOf(RDOMail& mail) {
    return *store_->state()->store().nodes().FindNode(*mail.MAPIOBJECT()->nid()).value();
  }

  TempDir dir_;
  std::string path_ = dir_.str() + "/mail.pst";
  std::shared_ptr<RDOSession> session_;
  std::shared_ptr<RDOStore> store_;
  std::shared_ptr<RDOFolder> inbox_;
};

TEST_F(MailTest, NothingIsStoredUntilSaveAndASaveWithoutChangeWritesNothing) {
  auto items = inbox_->Items();
  auto item = items->Add(0);
  item->Import(TestMessage("attachments.eml"), 1024);
  EXPECT_EQ(item->Subject(), "Files");
  EXPECT_EQ(items->Count(), 0);
  EXPECT_EQ(item->EntryID(), "");
  item->Save();
  EXPECT_EQ(items->Count(), 1);
  EXPECT_FALSE(item->EntryID().empty());
  const pst::NodeEntry first = NodeOf(*item);
  item->Save();  // nothing changed: the attachments are not streamed again
  EXPECT_EQ(NodeOf(*item), first);
  CreateObjectAs<RDOMAPIUtils>("Redemption.MAPIUtils")
      ->HrSetOneProp(item->MAPIOBJECT(), kTagSubject, "Renamed", false);
  EXPECT_EQ(NodeOf(*item), first) << "save = false leaves the stored message alone";
  item->Save();
  EXPECT_NE(NodeOf(*item).data, first.data);
  EXPECT_EQ(NodeOf(*item).nid, first.nid);
  EXPECT_EQ(items->Count(), 1);
  session_->Commit();
  EXPECT_EQ(inbox_->ContentCount(), 1);
  EXPECT_EQ(items->Item(1)->Subject(), "Renamed");
}

// A parse made ahead (on the import loop's worker) stands for the file only while the file is unchanged:
// changed, replaced or gone since, the import reads the file as it is now.
TEST_F(MailTest, AParseMadeAheadIsTakenOnlyWhileItsFileIsUnchanged) {
  const std::string file = dir_.str() + "/m.eml";
  auto write = [&](const std::string& subject) {
    std::ofstream(file, std::ios::trunc) << "Subject: " << subject << "\r\n\r\nHello.\r\n";
  };
  // The parse, marked so that the test sees whether the import took it.
  auto parse_ahead = [&](bool header_properties = true) {
    auto p = ParseEmlFile(file, header_properties, 1u << 20);
    EXPECT_TRUE(p);
    p->content.props[pst::TagId(kTagSubject)] = pst::PropValue::String("from the parse");
    return p;
  };
  auto subject_after_import = [&](std::optional<ParsedEml> p) {
    auto item = inbox_->Items()->Add(0);
    item->Import(file, 1024, std::move(p));
    return item->Subject();
  };
  write("one");
  EXPECT_EQ(subject_after_import(parse_ahead()), "from the parse");
  EXPECT_EQ(subject_after_import(parse_ahead(false)), "one") << "made with other options";

  auto p = parse_ahead();
  write("longer");  // changed in place
  EXPECT_EQ(subject_after_import(std::move(p)), "longer");

  p = parse_ahead();
  const std::string other = dir_.str() + "/other.eml";
  std::ofstream(other) << "Subject: newer\r\n\r\nHello.\r\n";
  std::filesystem::rename(other, file);  // replaced by a file of the same size
  EXPECT_EQ(subject_after_import(std::move(p)), "newer");

  p = parse_ahead();
  std::filesystem::remove(file);
  EXPECT_NE(ErrorOf([&] { subject_after_import(std::move(p)); }).find("cannot be read"), std::string::npos);

  EXPECT_FALSE(ParseEmlFile(file, true, 1u << 20)) << "gone";
  write("one");
  EXPECT_FALSE(ParseEmlFile(file, true, 10)) << "larger than parses ahead may be";
  EXPECT_FALSE(ParseEmlFile(dir_.str(), true, 1u << 20)) << "not a regular file";
}

TEST_F(MailTest, TheStoreKeepsHasAttachOnlyWhereThereAreAttachmentsAndCountsUnreadMail) {
  auto plain = ImportAsTheEngineDoes(TestMessage("plain.eml"));
  auto files = ImportAsTheEngineDoes(TestMessage("attachments.eml"));
  auto unread = ImportAsTheEngineDoes(TestMessage("plain.eml"), 0);
  EXPECT_EQ(StoredFlags(*plain), 17) << "as set, before the store computes";
  const std::string files_id = files->EntryID();
  Reopen();
  auto items = inbox_->Items();
  ASSERT_EQ(items->Count(), 3);
  EXPECT_EQ(StoredFlags(*items->Item(1)), 0x01);
  EXPECT_EQ(StoredFlags(*items->Item(2)), 0x11);
  EXPECT_EQ(StoredFlags(*items->Item(3)), 0x00);
  EXPECT_EQ(inbox_->ContentCount(), 3);
  EXPECT_EQ(store_->state()->store().Folder(inbox_->nid())->unread_count, 1);
  EXPECT_EQ(items->Item(2)->EntryID(), files_id);
  // More after a reopen.
  ImportAsTheEngineDoes(TestMessage("html_only.eml"));
  session_->Commit();
  EXPECT_EQ(inbox_->ContentCount(), 4);
}

TEST_F(MailTest, AStoredMessageWithALargeAttachmentCanBeChangedAndSavedTwice) {
  // Values above 1 MB come back from the store as lazy streams over the message's blocks; a save replaces
  // those blocks, so a second save must not read the released ones.
  std::string eml = dir_.str() + "/large.eml";
  std::string data(1500000, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>('a' + i % 26);
  std::ofstream(eml, std::ios::binary) << "From: a@example.com\r\nSubject: Large\r\nMIME-Version: 1.0\r\n"
                                          "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n"
                                          "Content-Type: text/plain\r\n\r\nbody\r\n--b\r\nContent-Type: "
                                          "application/octet-stream\r\nContent-Disposition: attachment; "
                                          "filename=big.txt\r\n\r\n"
                                       << data << "\r\n--b--\r\n";
  ImportAsTheEngineDoes(eml);
  Reopen();
  auto utils = CreateObjectAs<RDOMAPIUtils>("Redemption.MAPIUtils");
  auto item = inbox_->Items()->Item(1);
  utils->HrSetOneProp(item->MAPIOBJECT(), kTagSubject, "Large, once", true);
  utils->HrSetOneProp(item->MAPIOBJECT(), kTagSubject, "Large, twice", true);
  session_->Commit();
  auto again = inbox_->Items()->Item(1);
  EXPECT_EQ(again->Subject(), "Large, twice");
  ASSERT_EQ(again->MAPIOBJECT()->content().attachments.size(), 1u);
  auto bytes = again->MAPIOBJECT()->content().attachments[0].props.at(0x3701).Load();
  ASSERT_TRUE(bytes.ok()) << bytes.status().ToString();
  EXPECT_EQ(std::string(bytes->begin(), bytes->end()), data);
}

TEST_F(MailTest, ImportAndAddRefuseWhatTheyCannotDoWithAClearError) {
  auto item = inbox_->Items()->Add(0);
  item->Import(TestMessage("plain.eml"), 1024);
  ASSERT_FALSE(item->Subject().empty());
  int32_t hr = 0;
  std::string missing = dir_.str() + "/no such.eml";
  std::string text = ErrorOf([&] { item->Import(missing, 1024); }, &hr);
  EXPECT_NE(text.find("Cannot import \"" + missing + "\""), std::string::npos) << text;
  EXPECT_NE(text.find("cannot be read"), std::string::npos) << text;
  EXPECT_EQ(hr, kMapiDiskError);
  EXPECT_EQ(item->Subject(), "") << "a failed import leaves the message empty";
  EXPECT_TRUE(item->MAPIOBJECT()->content().props.empty());
  EXPECT_NE(ErrorOf([&] { item->Import(TestMessage("plain.eml"), 3); }, &hr).find("format 3"),
            std::string::npos);
  EXPECT_EQ(hr, kMapiNoSupport);
  EXPECT_NE(ErrorOf([&] { inbox_->Items()->Add(1); }, &hr).find("Item type 1"), std::string::npos);
  EXPECT_EQ(inbox_->Items()->Count(), 0);
  EXPECT_NE(ErrorOf([&] { inbox_->Items()->Item(1); }, &hr).find("out of range"), std::string::npos);
}

TEST_F(MailTest, HrSetOnePropTakesValuesThatSuitTheTagAndNothingElse) {
  auto utils = CreateObjectAs<RDOMAPIUtils>("Redemption.MAPIUtils");
  auto item = inbox_->Items()->Add(0);
  auto obj = item->MAPIOBJECT();
  utils->HrSetOneProp(obj, 0x0037001E, "eight-bit tag, Unicode store", false);  // String8 kept as String
  EXPECT_EQ(item->Subject(), "eight-bit tag, Unicode store");
  utils->HrSetOneProp(obj, 0x0E1B000B, true, false);  // Boolean
  utils->HrSetOneProp(obj, 0x00170003, 2, false);     // Integer32 (importance)
  utils->HrSetOneProp(obj, 0x00260002, -5, false);    // Integer16 (priority)
  const auto& props = obj->content().props;
  EXPECT_EQ(props.at(0x0E1B).AsBool(), true);
  EXPECT_EQ(props.at(0x0017).AsInt32(), 2);
  EXPECT_EQ(props.at(0x0026).type, pst::kPtypInteger16);
  int32_t hr = 0;
  EXPECT_NE(ErrorOf([&] { utils->HrSetOneProp(obj, 0x00260002, 70000, false); }, &hr).find("does not fit"),
            std::string::npos);
  EXPECT_NE(ErrorOf([&] { utils->HrSetOneProp(obj, kTagFlags, "17", false); }, &hr).find("text value"),
            std::string::npos);
  EXPECT_EQ(hr, kEInvalidArg);
  EXPECT_NE(ErrorOf([&] { utils->HrSetOneProp(obj, kTagSubject, true, false); }).find("Boolean"),
            std::string::npos);
  EXPECT_NE(ErrorOf([&] { utils->HrSetOneProp(obj, 0x80010003, 1, false); }, &hr).find("named"),
            std::string::npos);
  EXPECT_EQ(hr, kMapiNoSupport);
  EXPECT_NE(ErrorOf([&] {
              utils->HrSetOneProp(std::make_shared<RDOSession>(), kTagFlags, 1, true);
            }).find("needs a message object"),
            std::string::npos);
  // After Logoff the objects remain but cannot store.
  session_->Logoff();
  EXPECT_NE(ErrorOf([&] { item->Save(); }).find("logged off"), std::string::npos);
}

}  // namespace
}  // namespace velmora::rdo
