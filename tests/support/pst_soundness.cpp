#include "tests/support/pst_soundness.h"

#include <gtest/gtest.h>

#include <memory>

#include "pst/messaging/store_check.h"
#include "pst/ndb/check.h"
#include "pst/ndb/node_database.h"

namespace velmora::testing {

std::string PstProblems(const std::string& path) {
  auto file = pst::OpenDiskFile(path, pst::OpenMode::kReadOnly);
  if (!file.ok()) return "cannot open: " + file.status().ToString();
  std::shared_ptr<pst::File> shared(std::move(file).value());
  pst::CheckReport report = pst::CheckFile(*shared);
  if (!report.ok()) return report.Summary();
  auto db = pst::NodeDatabase::Open(shared, false);
  if (!db.ok()) return "cannot open the node database: " + db.status().ToString();
  std::vector<std::string> problems;
  auto folders = pst::CheckFolderTree(**db, &problems);
  pst::CheckFolderContents(**db, folders, &problems);
  std::string out;
  for (const auto& p : problems) out += p + "\n";
  return out;
}

StoreToRead OpenStoreToRead(const std::string& path) {
  StoreToRead out;
  auto file = pst::OpenDiskFile(path, pst::OpenMode::kReadOnly);
  auto db = file.ok() ? pst::NodeDatabase::Open(std::shared_ptr<pst::File>(std::move(file).value()), false)
                      : file.status();
  if (!db.ok()) {
    ADD_FAILURE() << path << ": " << db.status().ToString();
    return out;
  }
  out.db = std::move(db).value();
  auto store = pst::MessageStore::Open(*out.db);
  if (!store.ok()) {
    ADD_FAILURE() << path << ": " << store.status().ToString();
    return out;
  }
  out.store = std::move(store).value();
  return out;
}

void ExpectPstSound(const std::string& path) {
  const std::string problems = PstProblems(path);
  EXPECT_EQ(problems, "") << path << " is not sound";
}

}  // namespace velmora::testing
