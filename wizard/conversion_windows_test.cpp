// Whole runs through the windows, on small .eml trees written by the tests: the status window's texts
// after a run, the row marks of a multiple-mailbox run, Skip and Stop with scripted answers, Open Folder in
// both modes, closing the status window mid-run, the second-run guard and an error escaping a run.
#include <QApplication>
#include <QDir>

#include "engine/conversion.h"
#include "engine/path_helpers.h"
#include "rdo/rdo_session.h"
#include "tests/support/support.h"
#include "wizard/wizard_fixture.h"

namespace velmora::wizard {
namespace {

using status::MessageBoxAnswer;
namespace fs = std::filesystem;
using Box = status::testing::ScriptedDesktop::Box;

QString Q(const fs::path& p) {
  return QString::fromStdString(p.string());
}
// The folder `p` as the engine writes it: with the system's separator after it.
QString Folder(const fs::path& p) {
  return Q(p) + QChar::fromLatin1(engine::kPathSeparator);
}

class ConversionWindowsTest : public WizardTest {
 protected:
  // The single-folder page with `mailbox` picked, reached through the start pages.
  frmSingle& SinglePageWith(const fs::path& mailbox) {
    wizard_->Launch();
    wizard_->First().CmdNext->click();
    wizard_->Start().CmdNext->click();
    frmSingle& single = wizard_->Single();
    desktop_.picks = {Q(mailbox)};
    single.CmdAddFolder->click();
    return single;
  }

  // The multiple-folder page listing the mailboxes below `top`, output to `out`, rows `ticked` checked.
  frmMultiple& MultiplePageWith(const fs::path& top, const fs::path& out, std::vector<int> ticked) {
    wizard_->Launch();
    wizard_->First().CmdNext->click();
    wizard_->Start().OptMultiple->click();
    wizard_->Start().CmdNext->click();
    frmMultiple& multiple = wizard_->Multiple();
    desktop_.picks = {Q(top)};
    multiple.CmdAddFolder->click();
    multiple.txtOutputFolder->setText(Q(out));
    for (int position : ticked) multiple.lv->topLevelItem(position - 1)->setCheckState(0, Qt::Checked);
    return multiple;
  }

  void ExpectReadable(const fs::path& pst, const velmora::testing::ExpectedTree& tree) {
    ASSERT_TRUE(fs::exists(pst)) << pst;
    const auto check = velmora::testing::CheckWithReaders(pst.string(), tree);
    if (!check.available) GTEST_SKIP() << "the independent PST readers are not available: " << check.output;
    EXPECT_TRUE(check.ok) << check.output;
  }

  status::frmMigateAll& Status() { return wizard_->Status(); }
};

TEST_F(ConversionWindowsTest, SingleRunLeavesTheStatusWindowShowingTheResult) {
  velmora::testing::TempDir dir;
  // "&" in a folder name is shown as it is, not taken for an access key.
  const fs::path mailbox = MakeMailbox(dir.path(), "zed & co", 2, 1);
  fs::create_directories(dir.path() / "out");
  const fs::path pst = dir.path() / "out" / "Mailbox.pst";
  frmSingle& single = SinglePageWith(mailbox);
  desktop_.saves = {Q(pst)};
  QString count_at_end;
  QStringList file_lines;
  wizard_->host().on_yield = [&](int64_t) { file_lines << status::Caption(Status().LblCurrentDBX); };
  desktop_.on_box = [&](const Box& box) {
    if (box.title == "Completed") count_at_end = status::Caption(Status().lblCount1);
  };
  single.CmdNext->click();

  ASSERT_EQ(CountBoxes("Completed"), 1);
  const Box& done = desktop_.boxes.back();
  EXPECT_EQ(done.text,
            "Messages Converted Successfully.\r\nOpen Converted Outlook Data file in Microsoft Outlook "
            "to View Converted Messages.");
  EXPECT_EQ(count_at_end, "Migrating 3 items from " + Folder(mailbox));
  EXPECT_FALSE(file_lines.filter("Converting Messages... from (" + Folder(mailbox / "Inbox")).isEmpty())
      << file_lines.join(QLatin1Char('\n')).toStdString();
  ASSERT_EQ(desktop_.save_proposals.size(), 1);
  EXPECT_TRUE(desktop_.save_proposals[0].startsWith("zed & co"));
  EXPECT_TRUE(desktop_.save_proposals[0].endsWith(".pst"));

  status::frmMigateAll& status = Status();
  EXPECT_TRUE(status.isVisible());
  EXPECT_EQ(status.windowTitle(), "Conversion Status");
  EXPECT_EQ(status.ProgressBar1->value(), 100);
  EXPECT_TRUE(status.lblProgress->text().startsWith("100%")) << status.lblProgress->text().toStdString();
  EXPECT_FALSE(status.CmdSkip->isEnabled());
  EXPECT_TRUE(status.CmdStopMigration->isHidden());
  EXPECT_FALSE(status.CmdStopMigration->isEnabled());
  EXPECT_TRUE(status.CmdLocate->isEnabled());
  EXPECT_TRUE(single.isVisible());           // a run that was not stopped keeps the page
  EXPECT_TRUE(single.CmdNext->isEnabled());  // and a further run can start from it

  // Where the file went: shown, and opened; without a program to open folders the box names the folder.
  EXPECT_EQ(status::Caption(status.lblLocation), Folder(dir.path() / "out"));
  status.CmdLocate->click();
  EXPECT_EQ(desktop_.opened, QStringList{Folder(dir.path() / "out")});
  desktop_.can_open = false;
  status.CmdLocate->click();
  EXPECT_TRUE(desktop_.boxes.back().text.endsWith(Folder(dir.path() / "out")));
  ExpectReadable(pst, {{"Inbox", 2}, {"Sent Items", 1}});
  status.grab().save(ScreenshotPath("status-window.png"));
}

TEST_F(ConversionWindowsTest, MultipleRunMarksTheRowsItTakesOn) {
  velmora::testing::TempDir dir;
  MakeMailbox(dir.path() / "export", "anna", 2, 0);
  MakeMailbox(dir.path() / "export", "bert", 1, 0);
  fs::create_directories(dir.path() / "export" / "cleo");  // ticked, but holds no files
  fs::create_directories(dir.path() / "out");
  frmMultiple& multiple = MultiplePageWith(dir.path() / "export", dir.path() / "out", {1, 3});

  bool checked_marks = false;
  desktop_.on_box = [&](const Box& box) {
    if (box.title != "Completed") return;
    checked_marks = true;
    EXPECT_TRUE(multiple.RowGhosted(1));
    EXPECT_FALSE(multiple.RowGhosted(2));
    EXPECT_TRUE(multiple.RowGhosted(3));
    EXPECT_EQ(status::ToBgr(multiple.lv->topLevelItem(0)->foreground(0).color()), 0x008000u);
    EXPECT_EQ(multiple.lv->topLevelItem(1)->foreground(0).style(), Qt::NoBrush);
    EXPECT_EQ(status::ToBgr(multiple.lv->topLevelItem(2)->foreground(1).color()), 0x008000u);
    EXPECT_EQ(Status().windowTitle(), "Converting 1 of 3 Folders");
    EXPECT_EQ(Status().lblCount1->text(), "Converting 0 items from " + Q(dir.path() / "export" / "cleo"));
    multiple.grab().save(ScreenshotPath("multiple-folder-page.png"));
  };
  multiple.CmdNext->click();

  EXPECT_TRUE(checked_marks);
  EXPECT_EQ(desktop_.boxes.back().text,
            "All Folders Converted Successfully.\r\nOpen Converted Outlook Data "
            "file(s) in Microsoft Outlook to View Individual files.");
  EXPECT_FALSE(fs::exists(dir.path() / "out" / "bert.pst"));
  EXPECT_FALSE(fs::exists(dir.path() / "out" / "cleo.pst"));
  ExpectReadable(dir.path() / "out" / "anna.pst", {{"Inbox", 2}});

  // Open Folder follows the option now, and opens the output text as it stands.
  multiple.txtOutputFolder->setText(Q(dir.path() / "out") + " ");
  Status().CmdLocate->click();
  EXPECT_EQ(desktop_.opened.last(), Q(dir.path() / "out") + " ");
}

TEST_F(ConversionWindowsTest, ConfirmedSkipEndsOnlyTheCurrentMailbox) {
  velmora::testing::TempDir dir;
  MakeMailbox(dir.path() / "export", "anna", 3, 0);
  MakeMailbox(dir.path() / "export", "bert", 2, 0);
  fs::create_directories(dir.path() / "out");
  frmMultiple& multiple = MultiplePageWith(dir.path() / "export", dir.path() / "out", {1, 2});
  bool pressed = false;
  wizard_->host().on_yield = [&](int64_t) {
    if (!pressed && wizard_->running() && Status().CmdSkip->isEnabled() && !multiple.RowGhosted(2)) {
      pressed = true;
      Status().CmdSkip->click();
      EXPECT_TRUE(wizard_->run_state().SkipRequested);
    }
  };
  desktop_.respond = [](const Box& box) {
    return box.title == "Confirm Skip" ? MessageBoxAnswer::kYes : MessageBoxAnswer::kOk;
  };
  multiple.CmdNext->click();

  EXPECT_TRUE(pressed);
  EXPECT_EQ(CountBoxes("Confirm Skip"), 1);
  EXPECT_EQ(CountBoxes("Confirm Stop"), 0);
  EXPECT_EQ(CountBoxes("Completed"), 1);
  EXPECT_TRUE(
      desktop_.boxes.back().text.startsWith("Conversion of mailbox \"anna\" was skipped.\r\n3 message(s) "
                                            "converted, 0 not converted, 2 not reached."))
      << desktop_.boxes.back().text.toStdString();
  for (const Box& box : desktop_.boxes) {
    if (box.title != "Confirm Skip") continue;
    EXPECT_EQ(box.text, "Do you really want to \"Skip\" conversion of this folder ?");
    EXPECT_EQ(box.buttons, status::MessageBoxButtons::kYesNo);
    EXPECT_EQ(box.icon, status::MessageBoxIcon::kNone);
  }
  EXPECT_TRUE(multiple.RowGhosted(2));  // the run went on to the next mailbox
  ExpectReadable(dir.path() / "out" / "bert.pst", {{"Inbox", 2}});
}

// The text a label last showed on screen, from its paint events.
class PaintedText : public QObject {
 public:
  explicit PaintedText(QLabel* label) { label->installEventFilter(this); }
  QString text;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) text = static_cast<QLabel*>(watched)->text();
    return false;
  }
};

TEST_F(ConversionWindowsTest, ConfirmedStopEndsTheRunAndEndingTheProgramCommitsTheStore) {
  velmora::testing::TempDir dir;
  const fs::path mailbox = MakeMailbox(dir.path(), "Mailbox", 4, 0);
  const fs::path pst = dir.path() / "Mailbox.pst";
  frmSingle& single = SinglePageWith(mailbox);
  desktop_.saves = {Q(pst)};
  bool pressed = false;
  wizard_->host().on_yield = [&](int64_t) {
    if (!pressed && Status().CmdStopMigration->isVisible() && Status().CmdStopMigration->isEnabled()) {
      pressed = true;
      Status().CmdStopMigration->click();
    }
  };
  desktop_.respond = [](const Box& box) {
    return box.title == "Confirm Stop" ? MessageBoxAnswer::kYes : MessageBoxAnswer::kOk;
  };
  PaintedText count(Status().lblCount1);
  PaintedText progress(Status().lblProgress);
  single.CmdNext->click();
  QApplication::processEvents();

  EXPECT_TRUE(pressed);
  EXPECT_EQ(CountBoxes("Confirm Stop"), 1);
  EXPECT_EQ(CountBoxes("Completed"), 1);
  EXPECT_TRUE(
      desktop_.boxes.back().text.startsWith("Conversion stopped.\r\n1 message(s) converted, 0 not "
                                            "converted, 3 not reached.\r\nOpen Converted"))
      << desktop_.boxes.back().text.toStdString();
  for (const Box& box : desktop_.boxes) {
    if (box.title != "Confirm Stop") continue;
    EXPECT_EQ(box.text,
              "This action will STOP complete conversion process.\r\nDo you really want to \"STOP\" on-going "
              "conversion ?");
    EXPECT_EQ(box.buttons, status::MessageBoxButtons::kYesNo);
  }
  EXPECT_TRUE(wizard_->run_state().StopRequested);
  EXPECT_FALSE(single.isVisible());   // the driver closed the page after the stop
  EXPECT_TRUE(Status().isVisible());  // the status window it owns stays open
  // What the window shows, not only what its labels hold: closing the page must not lose the repaint.
  EXPECT_EQ(count.text, "Stopped...");
  EXPECT_TRUE(progress.text.startsWith("Stopped... at ")) << progress.text.toStdString();
  EXPECT_TRUE(progress.text.endsWith("% Complete")) << progress.text.toStdString();
  status::frmMigateAll& status = Status();
  status.grab().save(ScreenshotPath("status-window-stopped.png"));
  EXPECT_TRUE(single.txtSourceMailbox->text().isEmpty());
  EXPECT_FALSE(single.CmdNext->isEnabled());

  // The run is over, so the file is let go (it is not held until the program ends).
  EXPECT_FALSE(single.conversion().SessionOpen());
  ExpectReadable(pst, {{"Inbox", 1}});
}

TEST_F(ConversionWindowsTest, ASecondRunCannotStartWhileOneIsUnderWay) {
  velmora::testing::TempDir dir;
  const fs::path mailbox = MakeMailbox(dir.path(), "Mailbox", 3, 0);
  frmSingle& single = SinglePageWith(mailbox);
  desktop_.saves = {Q(dir.path() / "Mailbox.pst"), Q(dir.path() / "Second.pst")};
  int checks = 0;
  wizard_->host().on_yield = [&](int64_t) {
    if (checks++ != 0) return;
    EXPECT_TRUE(wizard_->running());
    EXPECT_FALSE(single.CmdNext->isEnabled());
    EXPECT_FALSE(single.CmdAddFolder->isEnabled());
    single.CmdNext_Click();  // pressed anyway (by code): refused
    wizard_->RunConversion(&single);
    // The mode page stays usable during a single-mailbox run; the list page it opens cannot start a run.
    wizard_->Start().OptMultiple->click();
    wizard_->Start().CmdNext->click();
    EXPECT_FALSE(wizard_->Multiple().CmdNext->isEnabled());
    EXPECT_FALSE(wizard_->Multiple().CmdAddFolder->isEnabled());
    wizard_->Start().OptSingle->click();  // the run reads the mode again when it picks the .pst path
  };
  single.CmdNext->click();

  EXPECT_GT(checks, 0);
  EXPECT_EQ(CountBoxes("Completed"), 1);
  EXPECT_EQ(desktop_.save_proposals.size(), 1);
  EXPECT_FALSE(wizard_->running());
  EXPECT_TRUE(single.CmdNext->isEnabled());
  EXPECT_TRUE(single.CmdAddFolder->isEnabled());
  EXPECT_TRUE(wizard_->Multiple().CmdNext->isEnabled());
}

TEST_F(ConversionWindowsTest, ClosingTheStatusWindowMidRunAsksToStop) {
  velmora::testing::TempDir dir;
  const fs::path mailbox = MakeMailbox(dir.path(), "Mailbox", 3, 1);
  const fs::path pst = dir.path() / "Mailbox.pst";
  frmSingle& single = SinglePageWith(mailbox);
  desktop_.saves = {Q(pst)};
  int closes = 0;
  wizard_->host().on_yield = [&](int64_t) {
    // The second close once the first has been asked about.
    if (closes == CountBoxes("Confirm Stop") && closes < 2 && wizard_->running() &&
        Status().CmdSkip->isEnabled()) {
      ++closes;
      EXPECT_FALSE(Status().close());  // the window stays: a run that goes on stays in sight
      EXPECT_TRUE(Status().isVisible());
    }
  };
  // The first close is declined (the run goes on), the second confirmed.
  desktop_.answers = {MessageBoxAnswer::kNo, MessageBoxAnswer::kYes};
  single.CmdNext->click();

  EXPECT_EQ(closes, 2);
  EXPECT_EQ(CountBoxes("Confirm Stop"), 2);
  EXPECT_EQ(CountBoxes("Velmora eM Client Converter"), 0) << "not the exit question";
  EXPECT_TRUE(desktop_.boxes.back().text.startsWith("Conversion stopped."));
  EXPECT_TRUE(Status().isVisible());
  EXPECT_TRUE(fs::exists(pst));
}

TEST_F(ConversionWindowsTest, FailedAndEmptyRunsSayWhatHappenedInOneBox) {
  velmora::testing::TempDir dir;
  MakeMailbox(dir.path() / "export", "anna", 2, 0);
  MakeMailbox(dir.path() / "export", "bert", 1, 0);
  fs::create_directories(dir.path() / "export" / "cleo");
  std::ofstream(dir.path() / "export" / "cleo" / "readme.txt") << "no mail here";
  const fs::path out = dir.path() / "missing";
  frmMultiple& multiple = MultiplePageWith(dir.path() / "export", out, {1, 2, 3});
  multiple.CmdNext->click();
  ASSERT_EQ(desktop_.boxes.size(), 1u) << "one box for the run";
  const QString text = desktop_.boxes[0].text;
  EXPECT_TRUE(
      text.startsWith("Nothing was converted: the Outlook data file could not be opened.\r\n0 "
                      "message(s) converted, 3 not converted, 0 not reached."))
      << text.toStdString();
  for (const char* name : {"anna", "bert"}) {
    EXPECT_TRUE(text.contains("The folder \"" + Q(out) + "\" does not exist.")) << name;
  }
  EXPECT_FALSE(text.contains("Outlook 2013/2010"));
  EXPECT_FALSE(fs::exists(out / "cleo.pst"));

  // An empty output folder box is refused before anything runs.
  multiple.txtOutputFolder->setText(" ");
  multiple.CmdNext->click();
  EXPECT_EQ(desktop_.boxes.back().title, "Select Output Folder");
  EXPECT_EQ(CountBoxes("Completed"), 1);

  // A source without a single message file: no .pst, and it says so.
  wizard_->Start().OptSingle->click();
  frmSingle& single = SinglePageWith(dir.path() / "export" / "cleo");
  single.CmdNext->click();
  EXPECT_EQ(desktop_.boxes.back().text, "Nothing to convert: no message files (.eml) were found.");
  EXPECT_TRUE(desktop_.save_proposals.isEmpty());
}

TEST_F(ConversionWindowsTest, ResumingIntoTheSameFileLeavesEachMessageOnce) {
  velmora::testing::TempDir dir;
  const fs::path mailbox = MakeMailbox(dir.path(), "Mailbox", 3, 1);
  const fs::path pst = dir.path() / "Mailbox.pst";
  frmSingle& single = SinglePageWith(mailbox);
  desktop_.saves = {Q(pst), Q(pst)};
  single.CmdNext->click();  // a new file: nothing to ask
  EXPECT_EQ(CountBoxes("Already Converted"), 0);
  desktop_.answers = {MessageBoxAnswer::kYes};  // Yes is the answer the box offers first
  single.CmdNext->click();                      // the same file again: asked once
  ASSERT_EQ(CountBoxes("Already Converted"), 1);
  EXPECT_TRUE(desktop_.boxes[desktop_.boxes.size() - 2].text.startsWith("\"" + Q(pst) + "\" already holds"));
  EXPECT_EQ(single.conversion().outcomes().at(0).already_present.size(), 4u);
  const auto check = velmora::testing::CheckWithReaders(pst.string(), {{{"Inbox", 3}, {"Sent Items", 1}}});
  if (!check.available) GTEST_SKIP() << "the independent readers are not available: " << check.output;
  EXPECT_TRUE(check.ok) << check.output;
}

TEST_F(ConversionWindowsTest, AnErrorEscapingTheRunIsShownWithItsDescription) {
  velmora::testing::TempDir dir;
  MakeMailbox(dir.path() / "export", "anna", 1, 0);
  MakeMailbox(dir.path() / "export", "bert", 1, 0);
  fs::create_directories(dir.path() / "out");
  frmMultiple& multiple = MultiplePageWith(dir.path() / "export", dir.path() / "out", {1, 2});
  wizard_->host().on_yield = [&](int64_t) {
    // The rows vanish under the running driver: its next row read fails.
    if (multiple.lv->topLevelItemCount() > 0 && multiple.RowGhosted(1)) multiple.lv->clear();
  };
  multiple.CmdNext->click();

  EXPECT_EQ(CountBoxes("Completed"), 0);
  ASSERT_FALSE(desktop_.boxes.empty());
  EXPECT_EQ(desktop_.boxes.back().text, "Subscript out of range");
  EXPECT_EQ(desktop_.boxes.back().title, "Velmora eM Client Converter");
  EXPECT_FALSE(wizard_->running());
  EXPECT_TRUE(multiple.CmdNext->isEnabled());
  EXPECT_TRUE(multiple.CmdAddFolder->isEnabled());
}

}  // namespace
}  // namespace velmora::wizard
