// A new store is made beside its path under a side name and published once whole: whatever already carries
// a name there (a store a user renamed that a killed run left linked, an unrelated file, a link to another
// file) is never opened, emptied or replaced.
#include "rdo/pst_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "pst/ndb/side_file.h"
#include "rdo/rdo_session.h"
#include "tests/support/support.h"

namespace velmora::rdo {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void MakeStore(const fs::path& path, const std::string& folder) {
  RDOSession session;
  auto store = session.LogonPstStore(path.string(), 1, "Box");
  store->ValidateIPMTree();
  store->GetDefaultFolder(pst::kFolderInbox)->Folders()->Add(folder);
  session.Logoff();
}

TEST(SideFileTest, WhatAlreadyHasANameBesideTheTargetIsLeftAsItIs) {
#ifdef _WIN32
  GTEST_SKIP() << "Linux-only: second names and symbolic links made by a test";
#endif
  velmora::testing::TempDir dir;
  const fs::path d = dir.path();
  MakeStore(d / "kept.pst", "Kept");
  const std::string kept = ReadAll(d / "kept.pst");
  // What a run killed between publishing and removing its side name left: a second name of a store the user
  // has since renamed (old and new naming), an unrelated file, and links to a file of the user's.
  fs::create_hard_link(d / "kept.pst", d / "x.pst.new");
  fs::create_hard_link(d / "kept.pst", d / "x.pst.new.0123456789abcdef");
  std::ofstream(d / "y.pst.new") << "somebody's notes\n";
  std::ofstream(d / "victim.txt") << "not to be overwritten\n";
  fs::create_symlink(d / "victim.txt", d / "j.pst.new");
  fs::create_symlink(d / "victim.txt", d / "j.pst.new.fedcba9876543210");

  for (const char* name : {"x.pst", "y.pst", "j.pst"}) MakeStore(d / name, "New");

  EXPECT_EQ(ReadAll(d / "kept.pst"), kept);
  EXPECT_EQ(ReadAll(d / "x.pst.new"), kept);
  EXPECT_FALSE(fs::exists(d / "x.pst.new.0123456789abcdef")) << "a leftover side name goes, not its content";
  EXPECT_EQ(ReadAll(d / "y.pst.new"), "somebody's notes\n");
  EXPECT_EQ(ReadAll(d / "victim.txt"), "not to be overwritten\n");
  EXPECT_TRUE(fs::is_symlink(d / "j.pst.new.fedcba9876543210"));
  for (const char* name : {"x.pst", "y.pst", "j.pst"}) {
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(d / name))) << name;
    EXPECT_EQ(fs::hard_link_count(d / name), 1u) << name;
  }
  EXPECT_EQ(fs::hard_link_count(d / "kept.pst"), 2u);
  for (const auto& [name, folder] : {std::pair{"kept.pst", "Inbox/Kept"}, {"x.pst", "Inbox/New"}}) {
    auto check =
        velmora::testing::CheckWithReaders((d / name).string(), velmora::testing::ExpectedTree{{folder, 0}});
    if (!check.available) GTEST_SKIP() << "the independent readers are not installed";
    EXPECT_TRUE(check.ok) << name << ": " << check.output;
  }
}

TEST(SideFileTest, PublishingNeverReplacesAFileMadeMeanwhile) {
  velmora::testing::TempDir dir;
  const std::string path = (dir.path() / "p.pst").string();
  auto side = pst::CreateSideFile(path);
  ASSERT_TRUE(side.ok()) << side.status().ToString();
  EXPECT_EQ(side->side_path.rfind(path + ".new.", 0), 0u);
  std::ofstream(path, std::ios::binary) << "made meanwhile\n";
  EXPECT_EQ(pst::PublishSideFile(side->side_path, path).code(), pst::Code::kAlreadyExists);
  EXPECT_EQ(ReadAll(path), "made meanwhile\n");
  fs::remove(path);
  EXPECT_TRUE(pst::PublishSideFile(side->side_path, path).ok());
  EXPECT_FALSE(fs::exists(side->side_path));
}

}  // namespace
}  // namespace velmora::rdo
