#include "wizard/shell_helpers.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QUrl>

#include "engine/texts.h"
#include "status/testing/offscreen_app.h"
#include "tests/support/support.h"

namespace velmora::wizard {
namespace {

TEST(QtFilter, CommonDialogFiltersBecomeQtFilters) {
  EXPECT_EQ(QtFilter(engine::texts::kSaveFilter), "Outlook Data File(s) (*.pst)");
  // A description that does not show its patterns gets them; several patterns are separated by blanks.
  EXPECT_EQ(QtFilter("Mail|*.eml;*.msg"), "Mail (*.eml *.msg)");
  EXPECT_EQ(QtFilter("Data (*.pst)|*.pst|All files|*.*"), "Data (*.pst);;All files (*.*)");
}

TEST(QtFilter, ADescriptionWithoutPatternIsKeptAsIs) {
  EXPECT_EQ(QtFilter("Everything"), "Everything");
}

}  // namespace
}  // namespace velmora::wizard

namespace velmora::wizard {
namespace {

// Catches what ShellOpen hands to the desktop, in place of the user's default handlers.
class UrlCatcher : public QObject {
  Q_OBJECT

 public:
  QList<QUrl> urls;
  Q_INVOKABLE void Open(const QUrl& url) { urls.push_back(url); }
};

TEST(ShellOpen, PathsOpenAsLocalFilesWebAddressesAsThemselvesAndEmptyTextNotAtAll) {
  status::testing::OffscreenApp();
  UrlCatcher catcher;
  for (const char* scheme : {"file", "https"})
    QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), &catcher, "Open");
  ShellOpen(QString());
  EXPECT_TRUE(catcher.urls.isEmpty());
  ShellOpen(QStringLiteral("/home/u/out dir/"));
  ShellOpen(QStringLiteral("https://www.example.com/em-client-converter/"));
  for (const char* scheme : {"file", "https"}) QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
  ASSERT_EQ(catcher.urls.size(), 2);
  EXPECT_EQ(catcher.urls[0].toLocalFile(), "/home/u/out dir/");
  EXPECT_EQ(catcher.urls[1].toString(), "https://www.example.com/em-client-converter/");
}

// Answers the real desktop's file dialogs from code, in order: each records the folder it opened in and the
// file it proposed, then takes the next path of `picks` (an empty one cancels). A question such a dialog asks
// is recorded and answered Yes.
struct DialogScript {
  QStringList picks, opened_in, proposed, asked;
  QTimer timer;

  DialogScript() {
    QObject::connect(&timer, &QTimer::timeout, [this] {
      QWidget* modal = QApplication::activeModalWidget();
      if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        asked << box->text();
        box->button(QMessageBox::Yes)->click();
      } else if (auto* dialog = qobject_cast<QFileDialog*>(modal);
                 dialog && !dialog->property("seen").isValid()) {
        dialog->setProperty("seen", true);
        opened_in << dialog->directory().absolutePath();
        proposed << dialog->selectedFiles().value(0);
        const QString pick = picks.isEmpty() ? QString() : picks.takeFirst();
        if (pick.isEmpty()) return dialog->reject();
        dialog->selectFile(pick);
        // accept() is protected; queued, a question it asks comes up in a loop of its own.
        QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
      }
    });
    timer.start(10);
  }
};

TEST(QtDesktop, DialogsOpenAtHomeThenTheLastChoiceAndAnExistingPstIsTakenWithoutAsking) {
  status::testing::OffscreenApp();
  velmora::testing::TempDir dir;
  // Qt's dialogs speak "/"; what the desktop hands the program is in the system's own form.
  const QString home = QDir::fromNativeSeparators(QString::fromStdString(dir.path().string()));
  const QByteArray saved_home = qgetenv("HOME");
  qputenv("HOME", home.toUtf8());
  // Windows takes the home folder from the user's profile, whatever HOME says.
  const QString start = QDir::homePath();
  QDir(home).mkpath(QStringLiteral("export/alice"));
  QDir(home).mkpath(QStringLiteral("out"));
  const QString existing = home + QStringLiteral("/out/alice.pst");
  QFile(existing).open(QIODevice::WriteOnly);

  QtDesktop desktop;
  DialogScript script;
  script.picks = {home + "/export/alice", QString(), existing, QString()};
  EXPECT_EQ(desktop.PickFolder(nullptr, QStringLiteral("Source")),
            QDir::toNativeSeparators(home + "/export/alice"));
  EXPECT_EQ(desktop.PickFolder(nullptr, QStringLiteral("Output")), QString());
  EXPECT_EQ(desktop.SaveFileName(nullptr, QStringLiteral("alice.pst"), QStringLiteral("Data (*.pst)")),
            QDir::toNativeSeparators(existing));
  EXPECT_EQ(desktop.SaveFileName(nullptr, QStringLiteral("bob.pst"), QStringLiteral("Data (*.pst)")),
            std::nullopt);
  qputenv("HOME", saved_home);

  // Never the working folder: home first, then the folder last chosen in the same kind of dialog.
  EXPECT_EQ(script.opened_in.join(QLatin1Char('\n')).toStdString(),
            QStringList({start, home + "/export/alice", start, home + "/out"})
                .join(QLatin1Char('\n'))
                .toStdString());
  EXPECT_EQ(script.proposed.value(2).toStdString(), (start + "/alice.pst").toStdString());
  EXPECT_TRUE(script.asked.isEmpty()) << script.asked.join(QLatin1Char('\n')).toStdString();
}

}  // namespace
}  // namespace velmora::wizard

#include "shell_helpers_test.moc"
