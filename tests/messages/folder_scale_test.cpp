// One folder of 200,000 tiny messages stored through the message store (no MIME parsing, so the test is
// fast), in a child process whose peak memory is its own: the memory must stay under the bound however large
// the folder grows, and the contents table must be complete and agree with the messages for our own check
// (TempDir runs it), pffinfo, pypff's count, readpst's count and Microsoft's PST SDK.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>

#include "pst/messaging/message_store.h"
#include "pst/ndb/node_database.h"
#include "pst/tags/prop_tags.h"
#include "tests/messages/message_files.h"
#include "tests/support/pst_soundness.h"
#include "tests/support/support.h"

namespace velmora::testing {
namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr int kDefaultMessages = 20000;  // the sanitizers make each message many times slower
#else
constexpr int kDefaultMessages = 200000;
#endif
// VELMORA_FOLDER_MESSAGES sets another size (for measuring the curve).
const int kMessages = [] {
  const char* env = std::getenv("VELMORA_FOLDER_MESSAGES");
  return env && *env ? std::atoi(env) : kDefaultMessages;
}();
constexpr int kLibpffLimit = 50000;
constexpr int kCommitEvery = 5000;             // about the converter's commit interval at full speed
constexpr uint64_t kMemoryBound = 100u << 20;  // peak RSS of a whole conversion, whatever the mailbox
constexpr pst::PropTag kFlags = pst::tags::kMessageFlags;  // mfRead = 1

// Writes the folder "Imported" of kMessages messages, every third unread, committing as the converter does.
bool StoreTinyMessages(const std::string& path) {
  auto file = pst::OpenDiskFile(path, pst::OpenMode::kCreateNew);
  if (!file.ok()) return false;
  auto db = pst::NodeDatabase::Create(std::shared_ptr<pst::File>(std::move(file).value()));
  if (!db.ok()) return false;
  auto ms = pst::MessageStore::Create(**db, {"Scale", std::nullopt});
  if (!ms.ok() || !(*ms)->ValidateIpmTree().ok()) return false;
  auto folder = (*ms)->CreateFolder(*(*ms)->IpmSubtree(), "Imported");
  if (!folder.ok()) return false;
  for (int i = 0; i < kMessages; ++i) {
    pst::MessageContent m;
    m.props[pst::TagId(pst::tags::kSubject)] = pst::PropValue::String("Tiny message " + std::to_string(i));
    m.props[pst::TagId(pst::tags::kMessageClass)] = pst::PropValue::String("IPM.Note");
    m.props[pst::TagId(kFlags)] = pst::PropValue::Int32(i % 3 == 0 ? 0 : 1);
    if (!(*ms)->AddMessage(*folder, m).ok()) return false;
    if ((i + 1) % kCommitEvery == 0 && !(*ms)->Commit().ok()) return false;
  }
  return (*ms)->Commit().ok();
}

// StoreTinyMessages in a child process; its peak RSS, or 0 when it failed.
uint64_t WriteFolderInChild(const std::string& path) {
  int fds[2];
  if (pipe(fds) != 0) return 0;
  pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    uint64_t peak = 0;
    if (StoreTinyMessages(path)) peak = PeakRssBytes();
    (void)!write(fds[1], &peak, sizeof peak);
    _exit(0);
  }
  close(fds[1]);
  uint64_t peak = 0;
  if (read(fds[0], &peak, sizeof peak) != sizeof peak) peak = 0;
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  return peak;
}

TEST(FolderScaleTest, AFolderOfTwoHundredThousandMessagesInBoundedMemory) {
  TempDir dir;
  const std::string pst = dir.str() + "/one-folder.pst";
  auto start = std::chrono::steady_clock::now();
  const uint64_t peak = WriteFolderInChild(pst);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  ASSERT_GT(peak, 0u) << "the child did not store every message";
  std::cout << kMessages << " messages in one folder: " << seconds << " s, peak RSS " << (peak >> 20)
            << " MiB" << std::endl;
#if !defined(__SANITIZE_ADDRESS__)
  EXPECT_LT(peak, kMemoryBound);
#endif

  {  // our own reading: the folder's counts and its table's rows, in order
    StoreToRead opened = OpenStoreToRead(pst);
    ASSERT_TRUE(opened.store);
    auto& ms = opened.store;
    auto folder = ms->FindSubFolder(*ms->IpmSubtree(), "Imported");
    ASSERT_TRUE(folder);
    EXPECT_EQ(ms->Folder(*folder)->content_count, kMessages);
    EXPECT_EQ(ms->Folder(*folder)->unread_count, (kMessages + 2) / 3);
    auto ids = ms->Messages(*folder);
    ASSERT_TRUE(ids.ok());
    ASSERT_EQ(ids->size(), static_cast<size_t>(kMessages));
    EXPECT_TRUE(std::is_sorted(ids->begin(), ids->end())) << "rows in the order the messages were added";
  }

  std::string out;  // RunCommand appends: cleared before each
  if (RunCommand("command -v pffinfo && command -v readpst", &out) != 0)
    GTEST_SKIP() << "readers not installed";
  // libpff walks a folder's items at a cost that grows faster than the folder (pffinfo ran 150 s of CPU on
  // 200,000 messages without finishing): it reads folders up to the size where it is usable.
  if (kMessages <= kLibpffLimit) {
    out.clear();
    EXPECT_EQ(RunCommand("pffinfo " + ShellQuote(pst), &out), 0) << out.substr(0, 4000);
    EXPECT_EQ(PypffFolderCounts(pst, "Imported"), std::to_string(kMessages) + "\n");
  } else {
    std::cout << "pffinfo and pypff skipped above " << kLibpffLimit << " messages\n";
  }
  TempDir readpst_out;
  out.clear();
  ASSERT_EQ(RunCommand("readpst -j 0 -o " + ShellQuote(readpst_out.str()) + " " + ShellQuote(pst), &out), 0)
      << out;
  EXPECT_NE(out.find("\"Imported\" - " + std::to_string(kMessages) + " items done"), std::string::npos)
      << out;
  EXPECT_EQ(StrictReaderProblems(pst), "");
}

}  // namespace
}  // namespace velmora::testing
