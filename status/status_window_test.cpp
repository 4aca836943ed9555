// The status window on its own: its starting state, what each button changes, the close confirmation and
// the rule that a close during a run neither unloads the window nor clears the run state.
#include "status/status_window.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include "status/fit.h"
#include "status/look.h"
#include "status/testing/offscreen_app.h"
#include "status/testing/scripted_desktop.h"

namespace velmora::status {
namespace {

using status::MessageBoxAnswer;
using testing::ScriptedDesktop;

class StatusWindowTest : public ::testing::Test {
 protected:
  StatusWindowTest() {
    testing::OffscreenApp();
    window_ = std::make_unique<frmMigateAll>(
        run_state_, desktop_,
        StatusContext{[this] { return single_; }, [this] { return output_; }, [this] { return running_; }});
  }

  void DirtyRunState() {
    run_state_.StopRequested = true;
    run_state_.SkipRequested = true;
    engine::RunState::AddToQueue(run_state_.QueuedFiles, "/m/1.eml", "1");
    engine::RunState::AddToQueue(run_state_.QueuedFolders, "/m/Inbox", "1");
  }

  engine::RunState run_state_;
  ScriptedDesktop desktop_;
  bool single_ = true;
  QString output_;
  bool running_ = false;
  std::unique_ptr<frmMigateAll> window_;
};

TEST_F(StatusWindowTest, LoadResetsTheDisplayAndTheRunState) {
  DirtyRunState();
  window_->Load();
  EXPECT_TRUE(window_->loaded());
  EXPECT_FALSE(run_state_.StopRequested);
  EXPECT_FALSE(run_state_.SkipRequested);
  EXPECT_FALSE(run_state_.QueuedFiles.has_value());
  EXPECT_FALSE(run_state_.QueuedFolders.has_value());
  EXPECT_EQ(window_->windowTitle(), "Conversion Status");
  EXPECT_EQ(window_->lblCount1->text(), "Conversion Not Started Yet...");
  EXPECT_EQ(window_->lblProgress->text(), "0% Complete");
  EXPECT_EQ(window_->FrameConversion->text(), "Details ");
  EXPECT_EQ(window_->LblCurrentDBX->text(), "Converting Messages...");
  EXPECT_EQ(window_->ProgressBar1->value(), 0);
  EXPECT_FALSE(window_->CmdSkip->isEnabled());
  EXPECT_TRUE(window_->CmdStopMigration->isHidden());
  EXPECT_TRUE(window_->CmdStopMigration->isEnabled());
  EXPECT_FALSE(window_->CmdLocate->isEnabled());
  EXPECT_EQ(window_->size(), QSize(491, 258));
}

TEST_F(StatusWindowTest, ProgressBarFollowsTheFloatValueRounded) {
  window_->Load();
  window_->SetProgressValue(49.6f);
  EXPECT_FLOAT_EQ(window_->ProgressValue(), 49.6f);
  EXPECT_EQ(window_->ProgressBar1->value(), 50);
  window_->SetProgressValue(250.0f);  // past the range: the bar stays full, the value reads back unchanged
  EXPECT_EQ(window_->ProgressBar1->value(), 100);
  EXPECT_FLOAT_EQ(window_->ProgressValue(), 250.0f);
}

TEST_F(StatusWindowTest, SkipAndStopOnlySetFlags) {
  window_->Load();
  window_->show();
  window_->CmdSkip->setEnabled(true);
  window_->CmdStopMigration->show();
  window_->CmdSkip->click();
  EXPECT_TRUE(run_state_.SkipRequested);
  EXPECT_FALSE(run_state_.StopRequested);
  EXPECT_TRUE(desktop_.boxes.empty());

  run_state_.SkipRequested = false;
  window_->CmdStopMigration->click();
  EXPECT_TRUE(run_state_.StopRequested);
  EXPECT_TRUE(desktop_.boxes.empty());  // no pending skip: no question
  EXPECT_TRUE(window_->isVisible());
}

TEST_F(StatusWindowTest, StopAfterSkipAsksAndClosesOnYesOnly) {
  window_->Load();
  window_->show();
  window_->CmdStopMigration->show();
  run_state_.SkipRequested = true;

  desktop_.answers = {MessageBoxAnswer::kNo};
  window_->CmdStopMigration->click();
  ASSERT_EQ(desktop_.boxes.size(), 1u);
  EXPECT_EQ(desktop_.boxes[0].text, "Are you sure you want to exit now?");
  EXPECT_EQ(desktop_.boxes[0].title, "Velmora eM Client Converter");
  EXPECT_TRUE(window_->isVisible());
  EXPECT_TRUE(run_state_.StopRequested);  // set in either case

  run_state_.StopRequested = false;
  desktop_.answers = {MessageBoxAnswer::kYes};
  window_->CmdStopMigration->click();
  EXPECT_FALSE(window_->isVisible());
  EXPECT_TRUE(run_state_.StopRequested);
}

TEST_F(StatusWindowTest, CloseWithNoKeepsEverything) {
  window_->Load();
  window_->show();
  window_->lblCount1->setText(QStringLiteral("Migrating 3 items from /m/"));
  DirtyRunState();
  desktop_.answers = {MessageBoxAnswer::kNo};
  EXPECT_FALSE(window_->close());
  EXPECT_TRUE(window_->isVisible());
  EXPECT_TRUE(window_->loaded());
  EXPECT_EQ(window_->lblCount1->text(), "Migrating 3 items from /m/");
  EXPECT_TRUE(run_state_.StopRequested);
  EXPECT_TRUE(run_state_.QueuedFiles.has_value());
}

TEST_F(StatusWindowTest, CloseWithYesUnloadsAndTheNextAccessReloads) {
  window_->Load();
  window_->show();
  window_->CmdLocate->setEnabled(true);
  desktop_.answers = {MessageBoxAnswer::kYes};
  EXPECT_TRUE(window_->close());
  EXPECT_FALSE(window_->loaded());
  DirtyRunState();
  window_->EnsureLoaded();
  EXPECT_TRUE(window_->loaded());
  EXPECT_FALSE(run_state_.StopRequested);
  EXPECT_FALSE(run_state_.QueuedFiles.has_value());
  EXPECT_FALSE(window_->CmdLocate->isEnabled());  // back to its creation state
}

TEST_F(StatusWindowTest, CloseDuringARunIsAStopAndKeepsTheRunStateUntilTheRunEnds) {
  window_->Load();
  window_->show();
  running_ = true;
  EXPECT_FALSE(window_->close());  // the frame's close is the Stop button: no question here, the window stays
  EXPECT_TRUE(window_->isVisible());
  EXPECT_TRUE(run_state_.StopRequested);
  EXPECT_TRUE(desktop_.boxes.empty());

  // Stop after a confirmed skip closes the window (after asking); the run goes on writing to it.
  DirtyRunState();
  desktop_.answers = {MessageBoxAnswer::kYes};
  window_->CmdStopMigration->click();
  EXPECT_FALSE(window_->isVisible());
  EXPECT_TRUE(window_->loaded());  // the run goes on writing to it
  window_->EnsureLoaded();
  EXPECT_TRUE(run_state_.QueuedFiles.has_value());
  EXPECT_TRUE(run_state_.StopRequested);

  running_ = false;
  window_->RunFinished();
  EXPECT_FALSE(window_->loaded());
}

TEST_F(StatusWindowTest, LongPathsStayReadableAndAreElidedInTheMiddle) {
  window_->Load();
  window_->show();
  const QString path = QStringLiteral("/home/ann/") + QString(60, QLatin1Char('x')) +
                       QStringLiteral("/mail/export/Inbox/Projects/Inbox");
  SetCaption(window_->lblCount1, QStringLiteral("Migrating 12 items from ") + path);
  SetCaption(window_->LblCurrentDBX,
             QStringLiteral("Converting Messages... from (") + path + QStringLiteral(")"));
  window_->grab();  // paints every label, as the screen would
  for (QLabel* label : {window_->lblCount1, window_->LblCurrentDBX}) {
    EXPECT_GE(label->font().pointSizeF(), 8.0);
    EXPECT_TRUE(label->text().contains(QChar(0x2026))) << label->text().toStdString();
    EXPECT_TRUE(label->text().endsWith(QStringLiteral("Inbox")) ||
                label->text().endsWith(QStringLiteral("Inbox)")));
    EXPECT_TRUE(label->toolTip().endsWith(path) || label->toolTip().endsWith(path + QStringLiteral(")")));
    EXPECT_TRUE(TextFits(label));
  }
  EXPECT_EQ(Caption(window_->lblCount1), QStringLiteral("Migrating 12 items from ") + path);
}

TEST_F(StatusWindowTest, OpenFolderFollowsTheModeAtTheMomentOfTheClick) {
  window_->Load();
  window_->CmdLocate->setEnabled(true);
  run_state_.PstFilePath = QDir::toNativeSeparators(QStringLiteral("/out/Mailbox.pst")).toStdString();
  output_ = QStringLiteral("/multi/out ");
  window_->CmdLocate->click();
  single_ = false;
  window_->CmdLocate->click();
  EXPECT_EQ(desktop_.opened, (QStringList{QDir::toNativeSeparators(QStringLiteral("/out/")), "/multi/out "}));

  single_ = true;
  run_state_.PstFilePath.clear();  // cancelled save dialog: nothing opens
  window_->CmdLocate->click();
  EXPECT_EQ(desktop_.opened.size(), 2);
}

}  // namespace
}  // namespace velmora::status
