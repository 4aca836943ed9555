// Heaps that span 2, 3 and 130 blocks (messages whose properties fill that many heap pages), read back whole:
// every non-final block full, and every allocation read by Microsoft's PST SDK, readpst and (for the 2- and
// 3-block heaps) pypff, value by value. libpff cannot read a message whose property context spans that many
// blocks whatever their sizes (it misreads its property records from the 26th on, short blocks or full), so
// the 130-block heap has a file of its own that pypff is not asked about. TempDir runs our own check.
#include <gtest/gtest.h>

#include "pst/messaging/message_store.h"
#include "pst/ndb/node_database.h"
#include "pst/tags/prop_tags.h"
#include "tests/messages/message_files.h"
#include "tests/support/support.h"

namespace velmora::testing {
namespace {

constexpr uint16_t kFirstTag = 0x6000;  // user-defined binary properties, 3,000 bytes each
constexpr size_t kValueSize = 3000;

std::vector<uint8_t> Value(size_t message, size_t k) {
  std::vector<uint8_t> v(kValueSize);
  for (size_t i = 0; i < v.size(); ++i) v[i] = static_cast<uint8_t>(message * 31 + k * 7 + i);
  return v;
}

// pypff's view: for each message, its subject, the number of our binary values and the sum of their bytes.
constexpr const char* kPypffScript = R"(
import pypff, sys
f = pypff.file(); f.open(sys.argv[1])
def walk(folder):
    for i in range(folder.number_of_sub_messages):
        m = folder.get_sub_message(i)
        n = total = 0
        for rs in range(m.number_of_record_sets):
            r = m.get_record_set(rs)
            for e in range(r.number_of_entries):
                entry = r.get_entry(e)
                if 0x6000 <= entry.entry_type < 0x6200:
                    n += 1; total += sum(entry.data)
        print("%s|%d|%d" % (m.subject, n, total))
    for i in range(folder.number_of_sub_folders):
        walk(folder.get_sub_folder(i))
walk(f.get_root_folder())
)";

// Writes messages whose PCs span `heap_blocks` blocks into folder "Heaps" of a new store at `path`, checks
// the block sizes as written; returns what kPypffScript prints for them.
std::string WriteHeaps(const std::string& path, const std::vector<size_t>& heap_blocks) {
  std::string expected;
  auto file = pst::OpenDiskFile(path, pst::OpenMode::kCreateNew);
  EXPECT_TRUE(file.ok()) << file.status().ToString();
  if (!file.ok()) return "";
  auto db = pst::NodeDatabase::Create(std::shared_ptr<pst::File>(std::move(file).value()));
  auto ms = pst::MessageStore::Create(**db, {"Heaps", std::nullopt});
  EXPECT_TRUE(ms.ok() && (*ms)->ValidateIpmTree().ok());
  auto folder = (*ms)->CreateFolder(*(*ms)->IpmSubtree(), "Heaps");
  for (size_t m = 0; m < heap_blocks.size(); ++m) {
    // Two 3,000-byte values fill a block; the property records take the room of two more past 100 blocks.
    const size_t values = 2 * heap_blocks[m] - (heap_blocks[m] > 100 ? 2 : 0);
    pst::MessageContent content;
    const std::string subject = "heap of " + std::to_string(heap_blocks[m]) + " blocks";
    content.props[pst::TagId(pst::tags::kSubject)] = pst::PropValue::String(subject);
    content.props[pst::TagId(pst::tags::kMessageClass)] = pst::PropValue::String("IPM.Note");
    uint64_t sum = 0;
    for (size_t k = 0; k < values; ++k) {
      auto v = Value(m, k);
      for (uint8_t b : v) sum += b;
      content.props[static_cast<uint16_t>(kFirstTag + k)] = pst::PropValue::Binary(std::move(v));
    }
    auto nid = (*ms)->AddMessage(*folder, content);
    EXPECT_TRUE(nid.ok()) << nid.status().ToString();
    expected += subject + "|" + std::to_string(values) + "|" + std::to_string(sum) + "\n";
    auto node = (**db).FindNode(*nid);
    auto blocks = (**db).DataBlocks((*node)->data);
    EXPECT_EQ(blocks->size(), heap_blocks[m]) << subject;
    for (size_t i = 0; i + 1 < blocks->size(); ++i)
      EXPECT_EQ((**db).ReadDataBlock((*blocks)[i])->size(), pst::kMaxBlockData) << subject << ", block " << i;
  }
  EXPECT_TRUE((*ms)->Commit().ok());
  return expected;
}

TEST(HeapBlocksTest, HeapsOfTwoThreeAndOneHundredThirtyBlocksAreFullAndReadWhole) {
  TempDir dir;
  const std::string small = dir.str() + "/small-heaps.pst", large = dir.str() + "/large-heap.pst";
  const std::string expected = WriteHeaps(small, {2, 3});
  WriteHeaps(large, {130});

  auto readers = CheckWithReaders(small, ExpectedTree{{"Heaps", 2}});
  if (!readers.available) GTEST_SKIP() << readers.output;
  EXPECT_TRUE(readers.ok) << readers.output;
  std::string seen;
  ASSERT_EQ(RunCommand("/usr/bin/python3 -c " + ShellQuote(kPypffScript) + " " + ShellQuote(small), &seen), 0)
      << seen;
  EXPECT_EQ(seen, expected);

  EXPECT_EQ(StrictReaderProblems(large), "");
  TempDir readpst_out;
  std::string out;
  ASSERT_EQ(RunCommand("readpst -j 0 -o " + ShellQuote(readpst_out.str()) + " " + ShellQuote(large), &out), 0)
      << out;
  EXPECT_NE(out.find("\"Heaps\" - 1 items done"), std::string::npos) << out;
}

}  // namespace
}  // namespace velmora::testing
