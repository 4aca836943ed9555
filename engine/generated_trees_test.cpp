// Whole conversions of export folder trees: the layouts that once crashed the run, and thousands of random
// trees with and without the names the folder rules treat specially, each compared with its source.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <set>

#include "engine/testing/folder_tree_trial.h"
#include "tests/support/support.h"

namespace velmora::engine {
namespace {

namespace fs = std::filesystem;
using testing::ConvertAndCompare;
using testing::ExportTree;

// A folder in memory when the system has one: thousands of small stores are written, each synced.
class WorkDir {
 public:
  WorkDir() {
    path_ = fallback_.str();
#ifndef _WIN32
    std::string tmpl = "/dev/shm/velmora-trees-XXXXXX";
    if (::mkdtemp(tmpl.data())) path_ = tmpl;
#endif
  }
  ~WorkDir() {
    std::error_code ec;
    if (path_ != fallback_.str()) fs::remove_all(path_, ec);
  }
  std::string path() const {
    return path_ + "/w";
  }

 private:
  velmora::testing::TempDir fallback_;
  std::string path_;
};

int FromEnvironment(const char* name, int fallback) {
  const char* v = std::getenv(name);
  return v && *v ? std::atoi(v) : fallback;
}

std::string Describe(const ExportTree& tree) {
  std::string s;
  for (const auto& [path, messages] : tree.folders)
    s += "  \"" + path + "\" " + std::to_string(messages) + "\n";
  return s;
}

TEST(GeneratedTrees, LayoutsWithInboxBelowTheTopConvertWhole) {
  const ExportTree cases[] = {
      {{{"", 0}, {"a", 0}, {"a/Inbox", 0}, {"a/Inbox/x", 0}, {"a/Inbox/x/y", 1}}},
      // The export's top folder picked as the mailbox: mailboxes one level down.
      {{{"", 0},
        {"box", 0},
        {"box/Inbox", 2},
        {"box/Inbox/Sub", 1},
        {"box/Inbox/Sub/Deeper", 1},
        {"box/Sent", 1},
        {"box/Sent/Old", 1},
        {"box/Sent/Old/Older", 1}}},
      {{{"", 0},
        {"Inbox", 1},
        {"Inbox/2023", 0},
        {"Inbox/2023/Q1", 2},
        {"Inbox/x", 0},
        {"Inbox/x/Inbox", 0},
        {"Inbox/x/Inbox/y", 0},
        {"Inbox/x/Inbox/y/z", 1},
        {"Sent", 0},
        {"Sent/Inbox", 0},
        {"Sent/Inbox/x", 1},
        {"Sent/a", 0},
        {"Sent/a/Sent", 0},
        {"Sent/a/Sent/b", 0},
        {"Sent/a/Sent/b/c", 1}}},
  };
  WorkDir work;
  for (const ExportTree& tree : cases) {
    EXPECT_EQ(ConvertAndCompare(tree, work.path()), "") << Describe(tree);
    auto check = velmora::testing::CheckWithReaders(work.path() + "/out/Mailbox.pst",
                                                    testing::ExpectedStore(tree), /*exact=*/true);
    if (!check.available) GTEST_SKIP() << "independent PST readers not installed";
    EXPECT_TRUE(check.ok) << check.output;
  }
}

#ifdef _WIN32
// Whether two folders of the tree differ only in the case of ASCII letters: one folder on Windows' file
// systems, so such trees are tried on Linux only.
bool NamesCollideIgnoringCase(const ExportTree& tree) {
  std::set<std::string> seen;
  for (const auto& [path, messages] : tree.folders) {
    std::string folded = path;
    for (char& c : folded) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (!seen.insert(folded).second) return true;
  }
  return false;
}
#endif

TEST(GeneratedTrees, RandomTreesConvertToTheirFoldersAndCounts) {
#ifdef _WIN32
  constexpr int kTrees = 200;  // every store is synced, and syncing under Wine is slow
#else
  constexpr int kTrees = 2000;
#endif
  const int trees = FromEnvironment("VELMORA_TREES", kTrees);
  std::mt19937 rng(static_cast<unsigned>(FromEnvironment("VELMORA_TREE_SEED", 18)));
  WorkDir work;
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < trees; ++i) {
    const ExportTree tree = testing::RandomTree(rng, /*special_names=*/i % 4 != 0);
#ifdef _WIN32
    if (NamesCollideIgnoringCase(tree)) continue;
#endif
    const std::string problems = ConvertAndCompare(tree, work.path());
    ASSERT_EQ(problems, "") << "tree " << i << ":\n" << Describe(tree);
  }
  const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%d trees in %.1f s\n", trees, secs);
}

}  // namespace
}  // namespace velmora::engine
