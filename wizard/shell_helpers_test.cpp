#include "wizard/shell_helpers.h"

#include <gtest/gtest.h>

#include <QDesktopServices>
#include <QUrl>

#include "engine/texts.h"
#include "status/testing/offscreen_app.h"

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

}  // namespace
}  // namespace velmora::wizard

#include "shell_helpers_test.moc"
