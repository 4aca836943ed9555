// The parsing workers of the import loop with a parse function the test controls: queue order, the bounds on
// what is in flight, files the loop passes over or gets to first, and ending at any point with nothing left
// held or running.
#include "engine/parse_ahead.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <vector>

namespace velmora::engine {
namespace {

using namespace std::chrono_literals;

// Counts the parses still held somewhere: each carries one of these as a value.
class Token final : public pst::ByteSource {
 public:
  explicit Token(std::atomic<int>& alive) : alive_(alive) { ++alive_; }
  ~Token() override { --alive_; }
  uint64_t Size() const override { return 0; }
  pst::Status Read(uint64_t, std::span<uint8_t>) const override { return pst::Status(); }

 private:
  std::atomic<int>& alive_;
};

struct FakeParser {
  std::atomic<int> alive{0};
  std::atomic<int> started{0};
  std::mutex mu;
  std::vector<std::string> parsed;  // in the order the worker parsed them
  uint64_t held = 1;                // what each parse holds
  std::shared_future<void> gate;    // when valid, every parse waits for it

  ParseAhead::Parse Parse() {
    return [this](const std::string& path) {
      ++started;
      if (gate.valid()) gate.wait();
      rdo::ParsedEml p;
      p.path = path;
      p.held_bytes = held;
      p.content.props[1] = pst::PropValue::Stream(pst::kPtypBinary, std::make_shared<Token>(alive));
      std::lock_guard lock(mu);
      parsed.push_back(path);
      return std::optional<rdo::ParsedEml>(std::move(p));
    };
  }
};

ParseAhead::PathAt Names() {
  return [](size_t i) { return i % 4 == 3 ? std::string() : "m" + std::to_string(i); };
}

// Waits (up to a generous time) until `pred` holds; the worker runs on its own.
template <typename Pred>
bool Eventually(Pred pred) {
  for (int i = 0; i < 2000 && !pred(); ++i) std::this_thread::sleep_for(1ms);
  return pred();
}

TEST(ParseAhead, GivesEachFileItsOwnParseInQueueOrderAndDropsWhatIsPassedOver) {
  FakeParser fake;
  {
    ParseAhead ahead(12, Names(), fake.Parse(), {.workers = 3});
    for (size_t i = 0; i < 12; ++i) {
      if (i % 4 == 3 || i == 5) continue;  // not an .eml name; a file whose folder is missing
      auto p = ahead.Take(i);
      if (p) {
        EXPECT_EQ(p->path, "m" + std::to_string(i));
      }
    }
  }
  EXPECT_EQ(fake.alive, 0);
  std::vector<std::string> want;
  for (size_t i = 0; i < 12; ++i)
    if (i % 4 != 3) want.push_back("m" + std::to_string(i));
  std::sort(fake.parsed.begin(), fake.parsed.end());
  std::sort(want.begin(), want.end());
  EXPECT_TRUE(std::includes(want.begin(), want.end(), fake.parsed.begin(), fake.parsed.end()));
}

TEST(ParseAhead, KeepsWithinItsFileAndByteBounds) {
  auto names = [](size_t i) { return "m" + std::to_string(i); };
  // Three files in flight; 100 bytes in flight at 10 a parse (ten parses, waiting or under way).
  struct Case {
    ParseAhead::Limits limits;
    uint64_t held;
    int in_flight;
  };
  for (const Case& c : {Case{{3, 1000, 10, 2}, 1, 3}, Case{{100, 100, 10, 3}, 10, 10}}) {
    FakeParser fake;
    fake.held = c.held;
    ParseAhead ahead(40, names, fake.Parse(), c.limits);
    ASSERT_TRUE(Eventually([&] { return fake.alive == c.in_flight; }));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(fake.started, c.in_flight);
    ASSERT_TRUE(ahead.Take(0));  // room for one more
    ASSERT_TRUE(Eventually([&] { return fake.started == c.in_flight + 1; }));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(fake.started, c.in_flight + 1);
  }
  // A parse holding more than one parse may is dropped: the import parses that file itself.
  FakeParser fake;
  fake.held = 11;
  ParseAhead ahead(4, names, fake.Parse(), {4, 100, 10, 2});
  ASSERT_TRUE(Eventually([&] { return fake.started == 4; }));
  EXPECT_FALSE(ahead.Take(0));
  EXPECT_TRUE(Eventually([&] { return fake.alive == 0; }));
}

TEST(ParseAhead, AFileTheWorkerHasNotReachedIsLeftToTheCaller) {
  FakeParser fake;
  std::promise<void> open;
  fake.gate = open.get_future().share();
  ParseAhead ahead(6, [](size_t i) { return "m" + std::to_string(i); }, fake.Parse(), {});
  ASSERT_TRUE(Eventually([&] { return fake.started == 1; }));  // m0 under way
  EXPECT_FALSE(ahead.Take(2));                                 // the caller parses m2 itself
  open.set_value();
  ASSERT_TRUE(Eventually([&] { return fake.started == 4; }));  // m3 is done once m4 has started
  auto p = ahead.Take(3);
  ASSERT_TRUE(p);
  EXPECT_EQ(p->path, "m3");
  ahead.Cancel();
  EXPECT_EQ(fake.parsed, (std::vector<std::string>{"m0", "m3", "m4", "m5"}));  // m1, m2 never parsed
  EXPECT_EQ(fake.alive, 1);                                                    // only the one taken
}

TEST(ParseAhead, CancelEndsTheWorkerAndReleasesEveryParse) {
  {
    // While parses wait to be taken and the worker waits for room.
    FakeParser fake;
    ParseAhead ahead(100, [](size_t i) { return "m" + std::to_string(i); }, fake.Parse(), {.workers = 2});
    ASSERT_TRUE(Eventually([&] { return fake.alive == 4; }));
    ahead.Cancel();
    EXPECT_EQ(fake.alive, 0);
    EXPECT_FALSE(ahead.Take(0));
  }
  {
    // While parses are under way: Cancel waits for them, and their results are released too.
    FakeParser fake;
    std::promise<void> open;
    fake.gate = open.get_future().share();
    auto ahead = std::make_unique<ParseAhead>(
        100, [](size_t i) { return "m" + std::to_string(i); }, fake.Parse(),
        ParseAhead::Limits{.workers = 2});
    ASSERT_TRUE(Eventually([&] { return fake.started == 2; }));
    auto ending = std::async(std::launch::async, [&] { ahead.reset(); });
    EXPECT_EQ(ending.wait_for(50ms), std::future_status::timeout);
    open.set_value();
    ending.get();
    EXPECT_EQ(fake.started, 2);
    EXPECT_EQ(fake.alive, 0);
  }
}

}  // namespace
}  // namespace velmora::engine
