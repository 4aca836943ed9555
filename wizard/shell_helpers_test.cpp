#include "wizard/shell_helpers.h"

#include <gtest/gtest.h>

#include "engine/texts.h"

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
