// velmora-pst on files we write, on Outlook's own files, and on damaged ones.
#include "cli/pst_inspect.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "rdo/rdo_session.h"
#include "tests/support/support.h"

namespace velmora::cli {
namespace {

namespace fs = std::filesystem;
using velmora::testing::TempDir;

struct ToolRun {
  int code;
  std::string out;
  std::string err;
};

template <class F>
ToolRun Capture(F&& f) {
  std::ostringstream out, err;
  int code = f(out, err);
  return {code, out.str(), err.str()};
}

std::string MakeStore(const TempDir& dir) {
  std::string path = (dir.path() / "store.pst").string();
  rdo::RDOSession session;
  auto store = session.LogonPstStore(path, rdo::kStoreFormatUnicode, "Inspect me");
  store->ValidateIPMTree();
  auto projects = store->IPMRootFolder()->Folders()->Add("Projects");
  projects->Folders()->Add("Alpha ✉");
  session.Logoff();
  return path;
}

TEST(PstInspect, ListsAndChecksAStoreWeWrote) {
  TempDir dir;
  std::string path = MakeStore(dir);
  ToolRun ls = Capture([&](auto& o, auto& e) { return ListFolders(path, o, e); });
  EXPECT_EQ(ls.code, 0) << ls.err;
  EXPECT_NE(ls.out.find("Store: Inspect me"), std::string::npos) << ls.out;
  EXPECT_NE(ls.out.find("    Projects  [0 messages"), std::string::npos) << ls.out;
  EXPECT_NE(ls.out.find("      Alpha ✉  [0 messages"), std::string::npos) << ls.out;
  EXPECT_NE(ls.out.find("Inbox  [0 messages, 0 unread, IPF.Note]"), std::string::npos) << ls.out;

  ToolRun check = Capture([&](auto& o, auto& e) { return CheckStore(path, o, e); });
  EXPECT_EQ(check.code, 0) << check.out << check.err;
  EXPECT_NE(check.out.find("sound"), std::string::npos);

  ToolRun dump = Capture([&](auto& o, auto& e) { return DumpMessages(path, "Projects", o, e); });
  EXPECT_EQ(dump.code, 0) << dump.err;
  EXPECT_NE(dump.out.find("== Projects/Alpha ✉ (0 messages)"), std::string::npos) << dump.out;
  EXPECT_EQ(dump.out.find("== Inbox"), std::string::npos) << "only the folder asked for";
}

TEST(PstInspect, FoldersAtEveryDepthAreShown) {
  TempDir dir;
  std::string path = (dir.path() / "deep.pst").string();
  constexpr int kDepth = 70;  // past any fixed limit a walk might have had
  {
    rdo::RDOSession session;
    auto folder = session.LogonPstStore(path, rdo::kStoreFormatUnicode, "Deep")->IPMRootFolder();
    for (int i = 1; i <= kDepth; ++i) folder = folder->Folders()->Add("d" + std::to_string(i));
    session.Logoff();
  }
  ToolRun ls = Capture([&](auto& o, auto& e) { return ListFolders(path, o, e); });
  // Root, top of personal folders, then d1 .. d70 each two blanks further in.
  EXPECT_NE(ls.out.find(std::string(2 * (kDepth + 1), ' ') + "d70  ["), std::string::npos) << ls.out;
  ToolRun dump = Capture([&](auto& o, auto& e) { return DumpMessages(path, "", o, e); });
  EXPECT_NE(dump.out.find("/d69/d70 (0 messages)"), std::string::npos) << dump.out;
}

TEST(PstInspect, DamageIsReportedWithItsPlaceAndTheFileIsNotTouched) {
  TempDir dir;
  std::string path = MakeStore(dir);
  dir.Unchecked(path);
  const auto size = fs::file_size(path);
  // Flip one byte in every 4 KB past the header area: somewhere a page or a block CRC breaks.
  {
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    for (std::streamoff off = 0x4400 + 100; off < static_cast<std::streamoff>(size); off += 4096) {
      f.seekg(off);
      char c = 0;
      f.read(&c, 1);
      f.seekp(off);
      c = static_cast<char>(c ^ 0x5A);
      f.write(&c, 1);
    }
  }
  const auto before = fs::last_write_time(path);
  ToolRun check = Capture([&](auto& o, auto& e) { return CheckStore(path, o, e); });
  EXPECT_EQ(check.code, 1) << check.out;
  EXPECT_NE(check.out.find("error: "), std::string::npos);
  EXPECT_NE(check.out.find("0x"), std::string::npos) << "an offset or BID names the place: " << check.out;
  EXPECT_EQ(fs::last_write_time(path), before);
}

TEST(PstInspect, NotAPstFileIsAClearErrorWithStatusTwo) {
  TempDir dir;
  std::string path = (dir.path() / "notes.pst").string();
  std::ofstream(path) << "just text\n";
  ToolRun ls = Capture([&](auto& o, auto& e) { return ListFolders(path, o, e); });
  EXPECT_EQ(ls.code, 2);
  EXPECT_NE(ls.err.find("is not a readable PST file"), std::string::npos) << ls.err;
  ToolRun missing =
      Capture([&](auto& o, auto& e) { return CheckStore((dir.path() / "none.pst").string(), o, e); });
  EXPECT_EQ(missing.code, 2);
  EXPECT_NE(missing.err.find("cannot open"), std::string::npos) << missing.err;
}

TEST(PstInspect, OutlooksOwnFilesAreSound) {
  auto shared = velmora::testing::SharedDir();
  if (!shared || !fs::is_directory(*shared / "sample-pst")) GTEST_SKIP() << "shared sample files not present";
  int files = 0;
  for (const auto& e : fs::directory_iterator(*shared / "sample-pst")) {
    if (e.path().extension() != ".pst") continue;
    ++files;
    const std::string path = e.path().string();
    ToolRun check = Capture([&](auto& o, auto& err) { return CheckStore(path, o, err); });
    EXPECT_EQ(check.code, 0) << path << "\n" << check.out << check.err;
    ToolRun dump = Capture([&](auto& o, auto& err) { return DumpMessages(path, "", o, err); });
    EXPECT_EQ(dump.code, 0) << path << "\n" << dump.out << dump.err;
  }
  EXPECT_GE(files, 1);
}

}  // namespace
}  // namespace velmora::cli
