// The pages driven from code: navigation both ways, the option's bold face, the close confirmations, the
// single-folder page's pick, and the multiple-folder page's list (listing, Select All, the no-folder message,
// a top folder that cannot be listed).
#include <QApplication>
#include <QTimer>

#include "engine/engine.h"
#include "engine/errors.h"
#include "engine/path_helpers.h"
#include "engine/texts.h"
#include "status/fit.h"
#include "tests/support/support.h"
#include "wizard/wizard_fixture.h"

namespace velmora::wizard {
namespace {

using status::MessageBoxAnswer;
namespace fs = std::filesystem;

TEST_F(WizardTest, ProgramStartsOnTheIntroductionPage) {
  wizard_->Launch();
  frmFirst& first = wizard_->First();
  EXPECT_TRUE(first.isVisible());
  EXPECT_EQ(first.windowTitle(), "Velmora eM Client Converter v3.1");
  EXPECT_EQ(first.size(), QSize(618, 489));
  EXPECT_EQ(first.CmdNext->text(), "&Next >");
  EXPECT_EQ(first.CmdNext->geometry(), QRect(488, 456, 113, 26));
  EXPECT_EQ(first.Image1->pixmap().size(), QSize(539, 297));
  EXPECT_EQ(status::ToBgr(first.lblTitle->palette().color(QPalette::WindowText)), 0x008000u);
}

TEST_F(WizardTest, NavigationKeepsOneObjectPerPageAndItsState) {
  wizard_->Launch();
  frmFirst& first = wizard_->First();
  first.CmdNext->click();
  frmStart& start = wizard_->Start();
  EXPECT_TRUE(start.isVisible());
  EXPECT_FALSE(first.isVisible());

  start.OptMultiple->click();
  start.cmdBack->click();
  EXPECT_TRUE(first.isVisible());
  EXPECT_FALSE(start.isVisible());
  first.CmdNext->click();
  EXPECT_EQ(&wizard_->Start(), &start);
  EXPECT_TRUE(start.OptMultiple->isChecked());  // the choice survives the round trip

  start.CmdNext->click();  // multiple: the list page replaces the mode page
  frmMultiple& multiple = wizard_->Multiple();
  EXPECT_TRUE(multiple.isVisible());
  EXPECT_FALSE(start.isVisible());
  multiple.txtOutputFolder->setText(QStringLiteral("/kept"));
  multiple.cmdBack->click();
  EXPECT_TRUE(start.isVisible());
  EXPECT_FALSE(multiple.isVisible());

  start.OptSingle->click();
  start.CmdNext->click();  // single: the page comes up over the mode page, which stays
  EXPECT_TRUE(wizard_->Single().isVisible());
  EXPECT_TRUE(start.isVisible());

  start.OptMultiple->click();
  start.CmdNext->click();
  EXPECT_EQ(&wizard_->Multiple(), &multiple);
  EXPECT_EQ(multiple.txtOutputFolder->text(), "/kept");
}

TEST_F(WizardTest, TheCheckedOptionIsBold) {
  frmStart& start = wizard_->Start();
  EXPECT_TRUE(start.OptSingle->isChecked());
  EXPECT_TRUE(start.OptSingle->font().bold());
  EXPECT_FALSE(start.OptMultiple->font().bold());
  start.OptMultiple->click();
  EXPECT_FALSE(start.OptSingle->isChecked());
  EXPECT_TRUE(start.OptMultiple->font().bold());
  EXPECT_FALSE(start.OptSingle->font().bold());
  start.OptSingle->click();
  EXPECT_TRUE(start.OptSingle->font().bold());
  EXPECT_FALSE(start.OptMultiple->font().bold());
}

TEST_F(WizardTest, StartPagesAskBeforeEndingAndNoKeepsThePage) {
  wizard_->Launch();
  frmFirst& first = wizard_->First();
  desktop_.answers = {MessageBoxAnswer::kNo};
  EXPECT_FALSE(first.close());
  EXPECT_TRUE(first.isVisible());
  EXPECT_EQ(ended_, 0);
  ASSERT_EQ(desktop_.boxes.size(), 1u);
  EXPECT_EQ(desktop_.boxes[0].text, "Are you sure you want to exit now?");
  EXPECT_EQ(desktop_.boxes[0].title, "Velmora eM Client Converter");
  EXPECT_EQ(desktop_.boxes[0].buttons, status::MessageBoxButtons::kYesNo);
  EXPECT_EQ(desktop_.boxes[0].icon, status::MessageBoxIcon::kQuestion);

  first.CmdNext->click();
  frmStart& start = wizard_->Start();
  start.OptMultiple->click();
  desktop_.answers = {MessageBoxAnswer::kNo};
  EXPECT_FALSE(start.close());
  EXPECT_TRUE(start.isVisible());
  EXPECT_TRUE(start.OptMultiple->isChecked());
  desktop_.answers = {MessageBoxAnswer::kYes};
  EXPECT_TRUE(start.close());
  EXPECT_EQ(ended_, 1);
}

TEST_F(WizardTest, ProductGuideOpensTheProductPage) {
  wizard_->First().CmdHelp->click();
  wizard_->Start().CmdHelp->click();
  const QString page = QString::fromUtf8(engine::texts::kProductSite) + "/em-client-converter/";
  EXPECT_EQ(desktop_.opened, (QStringList{page, page}));
}

TEST_F(WizardTest, SingleNextIsEnabledOnlyAfterAPick) {
  frmSingle& single = wizard_->Single();
  EXPECT_EQ(single.windowTitle(), "Single Folder Mode");
  EXPECT_EQ(single.size(), QSize(514, 146));
  EXPECT_FALSE(single.CmdNext->isEnabled());
  single.CmdAddFolder->click();  // cancelled
  EXPECT_FALSE(single.CmdNext->isEnabled());
  EXPECT_TRUE(single.txtSourceMailbox->text().isEmpty());

  desktop_.picks = {QStringLiteral("/export/Mailbox")};
  single.CmdAddFolder->click();
  EXPECT_TRUE(single.CmdNext->isEnabled());
  EXPECT_EQ(single.txtSourceMailbox->text(), "/export/Mailbox");
  single.CmdAddFolder->click();  // a second pick cancelled keeps the first
  EXPECT_EQ(single.txtSourceMailbox->text(), "/export/Mailbox");
  EXPECT_TRUE(single.CmdNext->isEnabled());
  EXPECT_EQ(desktop_.pick_titles,
            (QStringList{"Choose Source Folder...", "Choose Source Folder...", "Choose Source Folder..."}));
}

TEST_F(WizardTest, AClosedSinglePageComesBackWithNoFolder) {
  frmSingle& single = wizard_->Single();
  single.show();
  desktop_.picks = {QStringLiteral("/export/Mailbox")};
  single.CmdAddFolder->click();
  EXPECT_TRUE(single.close());  // no question for this page
  EXPECT_TRUE(desktop_.boxes.empty());
  EXPECT_EQ(&wizard_->Single(), &single);
  EXPECT_TRUE(single.txtSourceMailbox->text().isEmpty());
  EXPECT_FALSE(single.CmdNext->isEnabled());
}

TEST_F(WizardTest, MultiplePageStartsWithTheDesktopAndADisabledSelectAll) {
  frmMultiple& multiple = wizard_->Multiple();
  EXPECT_EQ(multiple.windowTitle(), "Multiple Folder Mode");
  EXPECT_EQ(multiple.txtOutputFolder->text(), desktop_.desktop_folder);
  EXPECT_FALSE(multiple.chkSelectAll->isChecked());
  EXPECT_FALSE(multiple.chkSelectAll->isEnabled());
  EXPECT_TRUE(multiple.CmdNext->isEnabled());
  EXPECT_EQ(multiple.lv->headerItem()->text(0), "User");
  EXPECT_EQ(multiple.lv->headerItem()->text(1), "Mailbox Folder");
  EXPECT_EQ(multiple.lv->columnWidth(0), 200);
  EXPECT_EQ(multiple.lv->columnWidth(1), 440);
}

TEST_F(WizardTest, MultiplePageWithoutDesktopSaysSoAndGoesOn) {
  desktop_.desktop_folder.clear();
  frmMultiple& multiple = wizard_->Multiple();
  ASSERT_EQ(desktop_.boxes.size(), 1u);
  EXPECT_TRUE(desktop_.boxes[0].text.contains("desktop"));
  EXPECT_TRUE(multiple.txtOutputFolder->text().isEmpty());
}

TEST_F(WizardTest, PickingATopFolderListsItsMailboxes) {
  velmora::testing::TempDir dir;
  for (const char* name : {"bob", "Alice", "carol"}) fs::create_directories(dir.path() / name);
  std::ofstream(dir.path() / "loose.eml") << "x";
  frmMultiple& multiple = wizard_->Multiple();
  desktop_.picks = {QString::fromStdString(dir.str())};  // no trailing separator: one is added
  multiple.CmdAddFolder->click();

  ASSERT_EQ(multiple.lv->topLevelItemCount(), 3);
  const QString top = QString::fromStdString(dir.str()) + QChar::fromLatin1(engine::kPathSeparator);
  const QStringList names = {"Alice", "bob", "carol"};
  for (int i = 0; i < 3; ++i) {
    const QTreeWidgetItem* row = multiple.lv->topLevelItem(i);
    EXPECT_EQ(row->text(0), names[i]);
    EXPECT_EQ(row->text(1), top + names[i]);
    EXPECT_EQ(row->toolTip(1), top + names[i]);
    EXPECT_EQ(row->checkState(0), Qt::Unchecked);
    EXPECT_FALSE(row->icon(0).isNull());
    EXPECT_FALSE(row->icon(1).isNull());
    EXPECT_EQ(status::ToBgr(row->background(0).color()), i % 2 == 0 ? 0xFFFFFFu : 0xC0FFFFu) << i;
  }
  EXPECT_TRUE(multiple.chkSelectAll->isEnabled());
  EXPECT_EQ(multiple.RowSubItem1(2), (top + "bob").toStdString());
}

TEST_F(WizardTest, SelectAllTogglesEveryRowAndItsCaption) {
  velmora::testing::TempDir dir;
  for (const char* name : {"a", "b"}) fs::create_directories(dir.path() / name);
  frmMultiple& multiple = wizard_->Multiple();
  desktop_.picks = {QString::fromStdString(dir.str())};
  multiple.CmdAddFolder->click();

  multiple.chkSelectAll->click();
  EXPECT_EQ(multiple.chkSelectAll->text(), "Deselect All");
  EXPECT_TRUE(multiple.RowTicked(1) && multiple.RowTicked(2));
  multiple.lv->topLevelItem(0)->setCheckState(0, Qt::Unchecked);  // by hand: the box does not follow
  EXPECT_TRUE(multiple.chkSelectAll->isChecked());
  multiple.chkSelectAll->click();
  EXPECT_EQ(multiple.chkSelectAll->text(), "Select All");
  EXPECT_FALSE(multiple.RowTicked(1) || multiple.RowTicked(2));

  // A new pick while everything is ticked: new rows unticked, the box cleared.
  multiple.chkSelectAll->click();
  desktop_.picks = {QString::fromStdString(dir.str())};
  multiple.CmdAddFolder->click();
  EXPECT_FALSE(multiple.chkSelectAll->isChecked());
  EXPECT_EQ(multiple.chkSelectAll->text(), "Select All");
  EXPECT_FALSE(multiple.RowTicked(1) || multiple.RowTicked(2));
}

TEST_F(WizardTest, ATopFolderWithoutMailboxesGivesTheNoFolderMessage) {
  velmora::testing::TempDir dir;
  frmMultiple& multiple = wizard_->Multiple();
  desktop_.picks = {QString::fromStdString(dir.str())};
  multiple.CmdAddFolder->click();
  EXPECT_EQ(multiple.lv->topLevelItemCount(), 0);
  EXPECT_TRUE(multiple.chkSelectAll->isEnabled());
  multiple.chkSelectAll->click();  // an empty list: the box toggles, its caption stays
  EXPECT_TRUE(multiple.chkSelectAll->isChecked());
  EXPECT_EQ(multiple.chkSelectAll->text(), "Select All");

  multiple.CmdNext->click();
  ASSERT_EQ(desktop_.boxes.size(), 1u);
  EXPECT_EQ(desktop_.boxes[0].text, "No Folders Selected !\r\nPlease Select alteast one folder to convert.");
  EXPECT_EQ(desktop_.boxes[0].title, "Select Folder(s) to Convert");
  EXPECT_EQ(desktop_.boxes[0].icon, status::MessageBoxIcon::kInformation);
  EXPECT_EQ(desktop_.boxes[0].buttons, status::MessageBoxButtons::kOkOnly);
  EXPECT_FALSE(wizard_->Status().isVisible());  // no run started
}

TEST_F(WizardTest, ATopFolderThatCannotBeListedChangesNothing) {
  velmora::testing::TempDir dir;
  fs::create_directories(dir.path() / "kept");
  frmMultiple& multiple = wizard_->Multiple();
  desktop_.picks = {QString::fromStdString(dir.str()),
                    QString::fromStdString((dir.path() / "gone").string())};
  multiple.CmdAddFolder->click();
  multiple.chkSelectAll->click();
  multiple.CmdAddFolder->click();
  ASSERT_EQ(desktop_.boxes.size(), 1u);
  EXPECT_TRUE(desktop_.boxes[0].text.contains("cannot be listed")) << desktop_.boxes[0].text.toStdString();
  ASSERT_EQ(multiple.lv->topLevelItemCount(), 1);
  EXPECT_EQ(multiple.lv->topLevelItem(0)->text(0), "kept");
  EXPECT_TRUE(multiple.RowTicked(1));
  EXPECT_TRUE(multiple.chkSelectAll->isChecked());
}

TEST_F(WizardTest, ChangeSetsTheOutputFolderAndACancelKeepsIt) {
  frmMultiple& multiple = wizard_->Multiple();
  multiple.cmdChange->click();
  EXPECT_EQ(multiple.txtOutputFolder->text(), desktop_.desktop_folder);
  desktop_.picks = {QStringLiteral("/out")};
  multiple.cmdChange->click();
  EXPECT_EQ(multiple.txtOutputFolder->text(), "/out");
  EXPECT_EQ(desktop_.pick_titles.last(), "Choose Output Folder...");
}

TEST_F(WizardTest, ClosingTheMultiplePageBringsBackTheModePage) {
  wizard_->Start().OptMultiple->click();
  wizard_->Start().show();
  wizard_->Start().CmdNext->click();
  EXPECT_FALSE(wizard_->Start().isVisible());
  EXPECT_TRUE(wizard_->Multiple().close());
  EXPECT_TRUE(wizard_->Start().isVisible());
  EXPECT_EQ(ended_, 0);
}

TEST_F(WizardTest, RowPositionsOutsideTheListAreRefused) {
  frmMultiple& multiple = wizard_->Multiple();
  EXPECT_THROW(multiple.RowTicked(1), engine::Error);
  EXPECT_THROW(multiple.RowText(0), engine::Error);
}

}  // namespace
}  // namespace velmora::wizard

namespace velmora::wizard {
namespace {

TEST_F(WizardTest, HostWritesReachTheStatusWindowAndReadBackAsWritten) {
  WindowHost& host = wizard_->host();
  status::frmMigateAll& status = wizard_->Status();
  status.Load();
  // The engine's texts are plain: the window shows "&" as itself.
  host.SetLine(engine::StatusLine::kFrameText, "Reading Messages & Email Metadata - (1 of 2)");
  EXPECT_EQ(status.FrameConversion->text(), "Reading Messages & Email Metadata - (1 of 2)");
  EXPECT_EQ(host.GetLine(engine::StatusLine::kFrameText), "Reading Messages & Email Metadata - (1 of 2)");
  host.SetLine(engine::StatusLine::kProgressLine, "Skipped... at 50% Complete");
  EXPECT_EQ(host.GetLine(engine::StatusLine::kProgressLine), "Skipped... at 50% Complete");
  host.SetLine(engine::StatusLine::kTitle, "Converting 2 of 5 Folders");
  EXPECT_EQ(status.windowTitle(), "Converting 2 of 5 Folders");
  host.SetLine(engine::StatusLine::kCountLine, "Migrating 1 items from /m/\xC3\xA9t\xC3\xA9/");
  EXPECT_EQ(status.lblCount1->text(), QString::fromUtf8("Migrating 1 items from /m/été/"));
  // Lines that show paths show them as they are: "&" is not an access key there, nor "<b>" markup.
  host.SetLine(engine::StatusLine::kCountLine, "Migrating 1 items from /m/zed & co/&&<b>x</b>/");
  EXPECT_EQ(status.lblCount1->text(), "Migrating 1 items from /m/zed & co/&&<b>x</b>/");
  EXPECT_EQ(status.lblCount1->textFormat(), Qt::PlainText);
  host.SetLine(engine::StatusLine::kCurrentFile, "Converting Messages... from (/m/zed & co/Inbox)");
  EXPECT_EQ(status.LblCurrentDBX->text(), "Converting Messages... from (/m/zed & co/Inbox)");
  EXPECT_EQ(host.GetLine(engine::StatusLine::kCurrentFile),
            "Converting Messages... from (/m/zed & co/Inbox)");

  host.SetProgress(engine::ProgressField::kValue, 33.3f);
  EXPECT_FLOAT_EQ(host.GetProgress(engine::ProgressField::kValue), 33.3f);
  EXPECT_EQ(status.ProgressBar1->value(), 33);

  host.SetButton(engine::ButtonState::kStopVisible, true);
  host.SetButton(engine::ButtonState::kOpenFolderEnabled, true);
  host.SetButton(engine::ButtonState::kSkipEnabled, true);
  EXPECT_FALSE(status.CmdStopMigration->isHidden());
  EXPECT_TRUE(status.CmdLocate->isEnabled());
  EXPECT_TRUE(status.CmdSkip->isEnabled());
}

TEST_F(WizardTest, HostReadsTheSelectionValuesFromThePages) {
  WindowHost& host = wizard_->host();
  EXPECT_EQ(host.Mode(), engine::RunMode::kSingleMailbox);
  wizard_->Start().OptMultiple->click();
  EXPECT_EQ(host.Mode(), engine::RunMode::kMailboxList);
  EXPECT_EQ(host.OutputFolder(), desktop_.desktop_folder.toStdString());
  wizard_->Multiple().txtOutputFolder->setText(QStringLiteral(" /out "));
  EXPECT_EQ(host.OutputFolder(), " /out ");  // untrimmed
  desktop_.picks = {QString::fromUtf8("/export/M\xC3\xBCller")};
  wizard_->Single().CmdAddFolder->click();
  EXPECT_EQ(host.SourceFolder(), "/export/M\xC3\xBCller");
  EXPECT_EQ(host.MailboxCount(), 0);
}

}  // namespace
}  // namespace velmora::wizard

namespace velmora::wizard {
namespace {

TEST_F(WizardTest, YieldProcessesEventsAtMostOncePerInterval) {
  WindowHost& host = wizard_->host();
  host.yield_interval_ms = 60'000;
  int delivered = 0;
  QTimer::singleShot(0, [&] { ++delivered; });
  host.Yield();  // the first yield always processes
  EXPECT_EQ(delivered, 1);
  QTimer::singleShot(0, [&] { ++delivered; });
  for (int i = 0; i < 1000; ++i) host.Yield();  // within the interval: a clock read each, nothing runs
  EXPECT_EQ(delivered, 1);
  host.yield_interval_ms = 0;
  host.Yield();
  EXPECT_EQ(delivered, 2);
  EXPECT_EQ(host.yields(), 1002);
}

TEST_F(WizardTest, AnEngineWriteToAClosedStatusWindowLoadsItAgain) {
  status::frmMigateAll& status = wizard_->Status();
  status.ShowOwnedBy(&wizard_->Single());
  desktop_.answers = {status::MessageBoxAnswer::kYes};
  ASSERT_TRUE(status.close());
  ASSERT_FALSE(status.loaded());

  engine::RunState& run = wizard_->run_state();
  run.StopRequested = true;
  engine::RunState::AddToQueue(run.QueuedFiles, "/m/1.eml", "1");
  engine::Engine engine(wizard_->host(), run);
  engine.SetLine(engine::StatusLine::kCountLine, "Checking Next Folder...");
  EXPECT_TRUE(status.loaded());
  EXPECT_FALSE(run.StopRequested);
  EXPECT_FALSE(run.QueuedFiles.has_value());
  EXPECT_EQ(status.lblCount1->text(), "Checking Next Folder...");
  EXPECT_EQ(status.FrameConversion->text(), "Details ");
}

}  // namespace
}  // namespace velmora::wizard

namespace velmora::wizard {
namespace {

// Each label, button and option of `window` whose text the window does not show whole.
QStringList CutOffTexts(const QWidget* window) {
  QStringList cut;
  for (const QWidget* control : window->findChildren<QWidget*>()) {
    if (status::TextFits(control)) continue;
    const auto* label = qobject_cast<const QLabel*>(control);
    const auto* button = qobject_cast<const QAbstractButton*>(control);
    cut << window->objectName() + QStringLiteral(": ") + (label ? label->text() : button->text());
  }
  return cut;
}

TEST_F(WizardTest, NoTextOfAnyWindowIsCutOff) {
  velmora::testing::TempDir dir;
  MakeMailbox(dir.path() / "export", "zed & co", 1, 0);
  wizard_->Launch();
  QStringList cut = CutOffTexts(&wizard_->First());

  frmStart& start = wizard_->Start();
  cut << CutOffTexts(&start);
  start.OptMultiple->click();  // the bold face moves to the longer caption
  cut << CutOffTexts(&start);
  start.grab().save(ScreenshotPath("mode-page.png"));

  frmMultiple& multiple = wizard_->Multiple();
  desktop_.picks = {QString::fromStdString((dir.path() / "export").string())};
  multiple.CmdAddFolder->click();
  multiple.chkSelectAll->click();  // "Deselect All"
  cut << CutOffTexts(&multiple);
  desktop_.picks = {QStringLiteral("/home/user/Export/zed & co")};
  wizard_->Single().CmdAddFolder->click();
  cut << CutOffTexts(&wizard_->Single());

  // The status window as a run shows it (long paths included), and as a stopped run leaves it. Its lines
  // are fitted when painted.
  status::frmMigateAll& status = wizard_->Status();
  status.ShowOwnedBy(&start);
  WindowHost& host = wizard_->host();
  const std::string mailbox = "/home/user/Export/a-mailbox-with-a-rather-long-name@example.com/";
  host.SetButton(engine::ButtonState::kStopVisible, true);
  host.SetLine(engine::StatusLine::kCountLine, "Migrating 12345 items from " + mailbox);
  host.SetLine(engine::StatusLine::kProgressLine, "Skipped... at 13% Complete");
  host.SetLine(engine::StatusLine::kFrameText, "Reading Messages & Email Metadata - (1605 of 12345) File(s)");
  host.SetLine(engine::StatusLine::kCurrentFile,
               "Converting Messages... from (" + mailbox + "Inbox/Projects/zed & co/1605.eml)");
  QApplication::processEvents();
  cut << CutOffTexts(&status);
  host.SetLine(engine::StatusLine::kCountLine, "Stopped...");
  host.SetLine(engine::StatusLine::kProgressLine, "Stopped... at 13% Complete");
  QApplication::processEvents();
  cut << CutOffTexts(&status);
  EXPECT_EQ(status.lblCount1->font().pointSizeF(), 9.75);  // a short line is drawn full size again

  EXPECT_TRUE(cut.isEmpty()) << cut.join(QLatin1Char('\n')).toStdString();
}

}  // namespace
}  // namespace velmora::wizard
