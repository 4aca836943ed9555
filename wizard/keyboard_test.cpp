// The wizard with the keyboard only (every key goes to the control that has the focus, as a user's would),
// in both modes; the single-folder page's owner; and a second run that starts from a clean status window.
#include <QApplication>
#include <QTest>

#include "engine/conversion.h"
#include "tests/support/support.h"
#include "wizard/wizard_fixture.h"

namespace velmora::wizard {
namespace {

namespace fs = std::filesystem;
using Box = status::testing::ScriptedDesktop::Box;

class KeyboardTest : public WizardTest {
 protected:
  // One key to whatever has the focus now; events are processed first, as between a user's key presses.
  void Key(Qt::Key key) {
    QApplication::processEvents();
    QWidget* focus = QApplication::focusWidget();
    ASSERT_NE(focus, nullptr) << "nothing has the keyboard focus";
    QTest::keyClick(focus, key);
  }
  QWidget* Focus() {
    QApplication::processEvents();
    return QApplication::focusWidget();
  }
  fs::path Shot(const std::string& name) { return ScreenshotPath(name).toStdString(); }
};

TEST_F(KeyboardTest, SingleMailboxRunWithKeysOnly) {
  velmora::testing::TempDir dir;
  const fs::path mailbox = MakeMailbox(dir.path(), "Mailbox", 2, 1);
  desktop_.picks = {QString::fromStdString(mailbox.string())};
  desktop_.saves = {QString::fromStdString((dir.path() / "Mailbox.pst").string())};
  wizard_->Launch();
  EXPECT_EQ(Focus(), wizard_->First().CmdNext);
  Key(Qt::Key_Return);  // introduction: Next
  EXPECT_EQ(Focus(), wizard_->Start().OptSingle);
  Key(Qt::Key_Return);  // mode page: Next with the single option
  frmSingle& single = wizard_->Single();
  EXPECT_EQ(single.parentWidget(), &wizard_->Start()) << "owned by the mode page, so it stays in front";
  EXPECT_EQ(Focus(), single.CmdAddFolder);
  Key(Qt::Key_Space);  // Select...
  EXPECT_EQ(Focus(), single.CmdNext);
  Key(Qt::Key_Return);  // Next: the run
  EXPECT_EQ(CountBoxes("Completed"), 1);
  EXPECT_TRUE(fs::exists(dir.path() / "Mailbox.pst"));
}

TEST_F(KeyboardTest, MultipleMailboxRunWithKeysOnlyAndTabsTopToBottom) {
  velmora::testing::TempDir dir;
  MakeMailbox(dir.path() / "export", "anna", 1, 0);
  MakeMailbox(dir.path() / "export", "bert", 1, 0);
  fs::create_directories(dir.path() / "out");
  desktop_.picks = {QString::fromStdString((dir.path() / "export").string())};
  wizard_->Launch();
  Key(Qt::Key_Return);
  Key(Qt::Key_Down);  // the arrow moves between the options
  EXPECT_TRUE(wizard_->Start().OptMultiple->isChecked());
  std::vector<QWidget*> order;
  for (int i = 0; i < 4; ++i) {
    Key(Qt::Key_Tab);
    order.push_back(Focus());
  }
  frmStart& start = wizard_->Start();
  EXPECT_EQ(order, (std::vector<QWidget*>{start.CmdHelp, start.cmdBack, start.CmdNext, start.OptMultiple}));
  Key(Qt::Key_Return);  // on the option: Enter is Next
  frmMultiple& multiple = wizard_->Multiple();
  multiple.txtOutputFolder->setText(QString::fromStdString((dir.path() / "out").string()));
  EXPECT_EQ(Focus(), multiple.CmdAddFolder);
  Key(Qt::Key_Space);  // Select...
  Key(Qt::Key_Tab);
  EXPECT_EQ(Focus(), multiple.chkSelectAll);
  Key(Qt::Key_Space);   // Select All
  Key(Qt::Key_Return);  // Next, the page's default
  EXPECT_EQ(CountBoxes("Completed"), 1);
  EXPECT_TRUE(fs::exists(dir.path() / "out" / "anna.pst"));
  EXPECT_TRUE(fs::exists(dir.path() / "out" / "bert.pst"));
}

TEST_F(KeyboardTest, EnterPressesTheFocusedButton) {
  wizard_->Launch();
  Key(Qt::Key_Return);
  Key(Qt::Key_Tab);  // Product Guide
  Key(Qt::Key_Return);
  EXPECT_EQ(desktop_.opened.size(), 1);
  Key(Qt::Key_Tab);  // < Back
  Key(Qt::Key_Return);
  EXPECT_TRUE(wizard_->First().isVisible());
  EXPECT_FALSE(wizard_->Start().isVisible());
}

TEST_F(KeyboardTest, AnotherRunStartsFromACleanWindowAndUnmarkedRows) {
  velmora::testing::TempDir dir;
  MakeMailbox(dir.path() / "export", "anna", 3, 0);
  MakeMailbox(dir.path() / "export", "bert", 1, 0);
  fs::create_directories(dir.path() / "out");
  wizard_->Launch();
  wizard_->First().CmdNext->click();
  wizard_->Start().OptMultiple->click();
  wizard_->Start().CmdNext->click();
  frmMultiple& multiple = wizard_->Multiple();
  desktop_.picks = {QString::fromStdString((dir.path() / "export").string())};
  multiple.CmdAddFolder->click();
  multiple.txtOutputFolder->setText(QString::fromStdString((dir.path() / "out").string()));
  multiple.chkSelectAll->click();
  status::frmMigateAll& status = wizard_->Status();
  // First run: stopped in the first mailbox.
  wizard_->host().on_yield = [&](int64_t) {
    if (status.CmdStopMigration->isVisible() && status.CmdStopMigration->isEnabled())
      status.CmdStopMigration->click();
  };
  desktop_.respond = [](const Box& box) {
    return box.title == "Confirm Stop" ? status::MessageBoxAnswer::kYes : status::MessageBoxAnswer::kOk;
  };
  multiple.CmdNext->click();
  ASSERT_TRUE(status.lblProgress->text().startsWith("Stopped... at "))
      << status.lblProgress->text().toStdString();
  EXPECT_TRUE(multiple.RowGhosted(1));
  // The stopped run let its file go: another program (or run) may open it now.
  EXPECT_FALSE(wizard_->Single().conversion().SessionOpen());

  // Second run: at its first step nothing of the first shows.
  bool looked = false;
  wizard_->host().on_yield = [&](int64_t) {
    if (looked || !wizard_->running()) return;
    looked = true;
    EXPECT_EQ(status.lblProgress->text(), "0% Complete");
    EXPECT_EQ(status.ProgressBar1->value(), 0);
    EXPECT_FALSE(multiple.RowGhosted(1));
    EXPECT_EQ(multiple.lv->topLevelItem(0)->foreground(0).style(), Qt::NoBrush);
  };
  desktop_.respond = nullptr;
  desktop_.answers = {status::MessageBoxAnswer::kYes};  // skip what the stopped run converted
  multiple.CmdNext->click();
  EXPECT_TRUE(looked);
}

}  // namespace
}  // namespace velmora::wizard
