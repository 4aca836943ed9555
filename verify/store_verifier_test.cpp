// A converted file altered afterwards through the store's own API, in ways that leave it structurally sound:
// verification finds each change and names the source file and the field; an untouched message verifies.
#include "verify/store_verifier.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>

#include "mime/import.h"
#include "mime/prop_tags.h"
#include "pst/messaging/message_store.h"
#include "pst/ndb/node_database.h"
#include "rdo/rdo_folder.h"
#include "rdo/rdo_mail.h"
#include "rdo/rdo_session.h"
#include "tests/support/support.h"

namespace velmora::verify {
namespace {

using velmora::testing::TempDir;

namespace tag = mime::tag;

std::string Mail(const std::string& subject, const std::string& body, const std::string& attachment) {
  std::string m =
      "From: Ann <ann@example.org>\r\nTo: Bob <bob@example.org>, cy@example.org\r\n"
      "Subject: " +
      subject +
      "\r\nDate: Tue, 3 Mar 2020 10:00:00 +0000\r\n"
      "Message-ID: <" +
      subject + "@example.org>\r\nMIME-Version: 1.0\r\n";
  if (attachment.empty()) return m + "Content-Type: text/plain\r\n\r\n" + body + "\r\n";
  return m + "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\nContent-Type: text/plain\r\n\r\n" +
         body +
         "\r\n--b\r\nContent-Type: application/octet-stream\r\nContent-Disposition: attachment; "
         "filename=a.bin\r\n"
         "\r\n" +
         attachment + "\r\n--b--\r\n";
}

class Converted : public ::testing::Test {
 protected:
  // Imports each file into its folder as the converter does, keeping the fingerprint of what was imported.
  void Convert(const std::vector<std::pair<std::string, std::string>>& files) {
    auto session = std::make_shared<rdo::RDOSession>();
    auto store = session->LogonPstStore(pst_, 1, "Mail");
    std::map<std::string, std::shared_ptr<rdo::RDOFolder>> folders;
    for (const auto& [folder, name] : files) {
      auto& target = folders[folder];
      if (!target) target = store->IPMRootFolder()->Folders()->Add(folder);
      const std::string path = (dir_.path() / name).string();
      auto item = target->Items()->Add(0);
      item->Import(path, 1024);
      item->Save();
      Fingerprint f = Take(item->MAPIOBJECT()->content());
      f.source = rdo::SourceFileOf(item->MAPIOBJECT()->content());
      f.file = path;
      f.folder = folder;
      expected_.push_back(f);
    }
    session->Logoff();
  }

  void Write(const std::string& name, const std::string& text) { std::ofstream(dir_.path() / name) << text; }

  // The differences found, as "file name: field".
  std::vector<std::string> Verify() {
    auto v = StoreVerifier::Open(pst_);
    EXPECT_TRUE(v.ok()) << v.status().ToString();
    if (!v.ok()) return {"(cannot open)"};
    for (const auto& f : expected_) (*v)->Check(f);
    report_ = (*v)->report();
    std::vector<std::string> found;
    for (const auto& d : report_.differences)
      found.push_back(std::filesystem::path(d.file).filename().string() + ": " + d.field);
    return found;
  }

  std::string SummaryOf() const {
    return std::to_string(report_.verified) + " of " + std::to_string(report_.expected) + ", " +
           std::to_string(report_.attachments) + " attachments";
  }

  TempDir dir_;
  std::string pst_ = (dir_.path() / "out.pst").string();
  std::vector<Fingerprint> expected_;
  Report report_;
};

TEST_F(Converted, EveryChangeAStructuralCheckCannotSeeIsReportedWithItsFileAndField) {
  Write("body.eml", Mail("body", "the original text", ""));
  Write("short.eml", Mail("short", "see attached", "AAAABBBBCCCCDDDD"));
  Write("moved.eml", Mail("moved", "stays the same", ""));
  Write("gone.eml", Mail("gone", "will be removed", ""));
  Write("kept.eml", Mail("kept", "untouched", "RUVFRg=="));
  Convert({{"Inbox", "body.eml"},
           {"Inbox", "short.eml"},
           {"Inbox", "moved.eml"},
           {"Inbox", "gone.eml"},
           {"Archive", "kept.eml"}});
  ASSERT_TRUE(Verify().empty());
  EXPECT_EQ(SummaryOf(), "5 of 5, 2 attachments");

  {
    auto file = pst::OpenDiskFile(pst_, pst::OpenMode::kReadWrite);
    ASSERT_TRUE(file.ok());
    auto db = pst::NodeDatabase::Open(std::shared_ptr<pst::File>(std::move(file).value()), true);
    ASSERT_TRUE(db.ok());
    auto store = pst::MessageStore::Open(**db);
    ASSERT_TRUE(store.ok());
    pst::MessageStore& s = **store;
    const pst::Nid top = *s.IpmSubtree();
    const pst::Nid inbox = *s.FindSubFolder(top, "Inbox");
    const pst::Nid archive = *s.FindSubFolder(top, "Archive");
    const auto ids = *s.Messages(inbox);
    ASSERT_EQ(ids.size(), 4u);
    auto body = s.ReadMessage(ids[0]).value();
    body.props[tag::kBody] = pst::PropValue::String("the altered text");
    ASSERT_TRUE(s.ReplaceMessage(ids[0], body).ok());
    auto shortened = s.ReadMessage(ids[1]).value();
    shortened.attachments.at(0).props[tag::kAttachDataBinary] = pst::PropValue::Binary({'A', 'A', 'A', 'A'});
    ASSERT_TRUE(s.ReplaceMessage(ids[1], shortened).ok());
    auto moved = s.ReadMessage(ids[2]).value();
    ASSERT_TRUE(s.AddMessage(archive, moved).ok());
    ASSERT_TRUE(s.RemoveContentsRow(inbox, false, ids[2]).ok());
    ASSERT_TRUE(s.RemoveContentsRow(inbox, false, ids[3]).ok());
    ASSERT_TRUE(s.Commit().ok());
  }
  // Rows removed without their messages: hidden from every reader, and on purpose not sound.
  dir_.Unchecked(pst_);

  EXPECT_EQ(Verify(), (std::vector<std::string>{"body.eml: plain body", "short.eml: attachment 1 size",
                                                "short.eml: attachment 1 sha-256", "moved.eml: folder",
                                                "gone.eml: message"}));
  EXPECT_EQ(SummaryOf(), "1 of 5, 1 attachments");
}

TEST_F(Converted, FilesOfTheSameNameAndSizeAreMatchedByFolderThenByMessageId) {
  // Same name and size in two folders, and twice in one folder (as when a "!" folder sends its files to
  // another): each file is matched with its own message, never with a look-alike.
  std::filesystem::create_directories(dir_.path() / "a");
  std::filesystem::create_directories(dir_.path() / "b");
  Write("1.eml", Mail("one", "text one", ""));
  Write("a/1.eml", Mail("two", "text two", ""));
  Write("b/1.eml", Mail("six", "text six", ""));
  Convert({{"Inbox", "1.eml"}, {"Archive", "a/1.eml"}, {"Inbox", "b/1.eml"}});
  std::swap(expected_[0], expected_[2]);  // the order of checking must not matter
  EXPECT_EQ(Verify(), std::vector<std::string>());
  EXPECT_EQ(SummaryOf(), "3 of 3, 0 attachments");

  // A file changed after the conversion (its size no longer matches) is still found by its Message-ID.
  Write("a/1.eml", Mail("two", "text two, edited since", ""));
  auto edited = velmora::mime::ImportEml((dir_.path() / "a/1.eml").string());
  ASSERT_TRUE(edited.ok());
  expected_[1] = Take(*edited);
  expected_[1].source = rdo::SourceFileText((dir_.path() / "a/1.eml").string());
  expected_[1].file = "a/1.eml";
  expected_[1].folder = "Archive";
  EXPECT_EQ(Verify(), (std::vector<std::string>{"1.eml: source file", "1.eml: plain body"}));
}

}  // namespace
}  // namespace velmora::verify
