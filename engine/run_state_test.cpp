#include "engine/run_state.h"

#include <gtest/gtest.h>

#include <limits>

#include "engine/engine.h"
#include "engine/errors.h"
#include "engine/testing/recording_host.h"

namespace velmora::engine {
namespace {

using testing::RecordingHost;

TEST(RunState, QueuesAreCreatedOnFirstUseAndReleasedWhenEmptied) {
  RunState state;
  state.EmptyQueues();  // no list: nothing happens
  EXPECT_FALSE(state.QueuedFiles);
  RunState::AddToQueue(state.QueuedFiles, "/m/a.eml", "K1");
  RunState::AddToQueue(state.QueuedFiles, "/m/b.eml", "K2");
  ASSERT_TRUE(state.QueuedFiles);
  EXPECT_EQ(state.QueuedFiles->Items(), (std::vector<std::string>{"/m/a.eml", "/m/b.eml"}));
  EXPECT_EQ(state.QueuedFiles->entries()[1].key, "K2");
  state.EmptyQueues();
  EXPECT_FALSE(state.QueuedFiles);
  RunState::AddToQueue(state.QueuedFiles, "/m/c.eml", "K1");  // a new list: K1 is free again
  EXPECT_EQ(state.QueuedFiles->Count(), 1u);
}

TEST(RunState, ATakenKeyFailsAndLeavesTheListAsItWas) {
  RunState state;
  RunState::AddToQueue(state.QueuedFolders, "/m/A", "Z0");
  try {
    RunState::AddToQueue(state.QueuedFolders, "/m/B", "Z0");
    FAIL() << "expected Error 457";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), kErrKeyAlreadyAssociated);
  }
  EXPECT_EQ(state.QueuedFolders->Items(), std::vector<std::string>{"/m/A"});
  RunState::AddToQueue(state.QueuedFolders, "/m/A", "z0");  // keys compare exactly; items may repeat
  EXPECT_EQ(state.QueuedFolders->Count(), 2u);

  // Keys stay taken after the list has grown a long way and been moved (long keys live outside the entry).
  const std::string k(20, 'k');
  for (int i = 1; i < 5000; ++i)
    RunState::AddToQueue(state.QueuedFolders, "/m/x", "Z" + k + std::to_string(i));
  KeyedList moved = std::move(*state.QueuedFolders);
  for (const std::string& key : std::vector<std::string>{"Z0", "z0", "Z" + k + "1", "Z" + k + "4999"}) {
    EXPECT_THROW(moved.Add("/m/y", key), Error) << key;
  }
  EXPECT_EQ(moved.Count(), 5001u);
  EXPECT_EQ(moved.entries()[2].key, "Z" + k + "1");
}

// The list stores each entry against the one before it and whole every 16th: entries read back exactly
// in order and by position, whatever they share with their neighbours, and every key stays taken.
TEST(RunState, CompactListReadsBackEveryEntryExactly) {
  std::vector<KeyedList::Entry> want;
  for (int i = 0; i < 700; ++i) {
    std::string folder =
        "/export/" + std::string(static_cast<size_t>(i % 7) * 40, 'f') + "/" + std::to_string(i / 50) + "/";
    std::string item = i % 11 == 0 ? "" : folder + std::to_string(i) + ".eml";  // empty, then long again
    if (i % 13 == 0 && !want.empty()) item = want.back().item;                  // the same as the last
    if (i % 17 == 0 && !want.empty()) item = want.back().item.substr(0, want.back().item.size() / 2);
    want.push_back({"K" + std::to_string(i * 37 % 1000) + (i % 3 ? "" : std::string(200, 'x')), item});
  }
  KeyedList list;
  for (const auto& e : want) list.Add(e.item, e.key);
  ASSERT_EQ(list.Count(), want.size());
  size_t i = 0;
  for (const KeyedList::Entry& e : list.entries()) {
    ASSERT_EQ(e.item, want[i].item) << i;
    ASSERT_EQ(e.key, want[i].key) << i;
    ++i;
  }
  EXPECT_EQ(i, want.size());
  for (size_t k = 0; k < want.size(); k += 5) {
    EXPECT_EQ(list.entries()[k].item, want[k].item) << k;
    EXPECT_THROW(list.Add("/new", want[k].key), Error) << k;
  }
  EXPECT_EQ(list.Count(), want.size()) << "a taken key adds nothing";
  list.Add("/new", "K-new");
  EXPECT_EQ(list.entries()[want.size()].item, "/new");
}

TEST(Counters, IncrementPastTheLargest32BitValueOverflows) {
  EXPECT_EQ(CheckedIncrement(41), 42);
  EXPECT_EQ(CheckedIncrement(-1), 0);
  try {
    CheckedIncrement(std::numeric_limits<int32_t>::max());
    FAIL() << "expected Error 6";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), kErrOverflow);
    EXPECT_EQ(e.description(), "Overflow");
  }
}

class StatusLoadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RunState::AddToQueue(state_.QueuedFiles, "/m/a.eml", "K1");
    RunState::AddToQueue(state_.QueuedFolders, "/m/A", "Z0");
    state_.StopRequested = true;
    state_.SkipRequested = true;
  }
  bool Untouched() const {
    return state_.QueuedFiles && state_.QueuedFolders && state_.StopRequested && state_.SkipRequested;
  }
  bool Reset() const {
    return !state_.QueuedFiles && !state_.QueuedFolders && !state_.StopRequested && !state_.SkipRequested;
  }
  RunState state_;
  RecordingHost host_;
  Engine engine_{host_, state_};
};

TEST_F(StatusLoadTest, WritingToALoadedWindowChangesNoRunState) {
  engine_.SetLine(StatusLine::kCountLine, "x");
  engine_.SetButton(ButtonState::kSkipEnabled, true);
  engine_.SetProgress(ProgressField::kValue, 12.5f);
  EXPECT_TRUE(Untouched());
  EXPECT_EQ(host_.loads, 0);
  EXPECT_EQ(host_.lines,
            (std::vector<std::string>{"CountLine=x", "Skip.Enabled=true", "Progress.Value=12.5"}));
}

TEST_F(StatusLoadTest, WritingAfterTheWindowClosedReloadsItAndClearsFlagsAndQueues) {
  host_.status_loaded = false;
  engine_.SetLine(StatusLine::kCountLine, "1 Messages Queued for Conversion.");
  EXPECT_TRUE(Reset());
  EXPECT_EQ(host_.loads, 1);
  EXPECT_EQ(host_.lines,
            (std::vector<std::string>{"LoadStatus", "CountLine=1 Messages Queued for Conversion."}));
  engine_.SetLine(StatusLine::kCountLine, "again");
  EXPECT_EQ(host_.loads, 1) << "loaded once, then it stays loaded";
}

TEST_F(StatusLoadTest, ReadingAlsoLoadsAndSeesTheStartingValues) {
  host_.status_loaded = false;
  EXPECT_EQ(engine_.GetLine(StatusLine::kProgressLine), "0% Complete");
  EXPECT_TRUE(Reset());
  host_.status_loaded = false;
  RunState::AddToQueue(state_.QueuedFiles, "/m/a.eml", "K1");
  EXPECT_EQ(engine_.GetProgress(ProgressField::kValue), 0.0f);
  EXPECT_FALSE(state_.QueuedFiles);
}

TEST(RecordingHost, AnswersFromTheScriptThenDefaults) {
  RecordingHost host;
  host.confirm_answers = {true};
  host.save_path_answers = {std::string("/out/Inbox.pst")};
  EXPECT_TRUE(host.ConfirmStop());
  EXPECT_FALSE(host.ConfirmSkip());
  EXPECT_EQ(host.ChooseSavePath("Inbox.pst"), "/out/Inbox.pst");
  EXPECT_EQ(host.ChooseSavePath("Inbox.pst"), std::nullopt);
  EXPECT_EQ(host.unscripted, 2);
  EXPECT_EQ(host.lines[0], "ConfirmStop -> Yes");
  EXPECT_EQ(host.lines[1], "ConfirmSkip -> No (unscripted)");
  EXPECT_EQ(host.lines[3], "ChooseSavePath=Inbox.pst -> cancel (unscripted)");
}

}  // namespace
}  // namespace velmora::engine
