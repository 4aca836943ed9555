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
  RunState::AddToQueue(state.QueuedFiles, "/m/a.eml");
  RunState::AddToQueue(state.QueuedFiles, "/m/b.eml");
  EXPECT_EQ(state.QueuedFiles, (std::vector<std::string>{"/m/a.eml", "/m/b.eml"}));
  state.EmptyQueues();
  EXPECT_FALSE(state.QueuedFiles);
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
    RunState::AddToQueue(state_.QueuedFiles, "/m/a.eml");
    RunState::AddToQueue(state_.QueuedFolders, "/m/A");
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
  RunState::AddToQueue(state_.QueuedFiles, "/m/a.eml");
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
