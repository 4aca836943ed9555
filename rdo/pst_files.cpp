#include "rdo/pst_files.h"

#include <array>
#include <map>

#include "pst/ndb/file.h"
#include "pst/ndb/node_database.h"
#include "pst/ndb/side_file.h"

namespace velmora::rdo {

namespace {

// HEADER ([MS-PST] 2.2.2.6): dwMagic "!BDN" at 0, then dwCRCPartial, then wMagicClient "SM" at 8.
constexpr std::array<uint8_t, 4> kMagic = {'!', 'B', 'D', 'N'};
constexpr std::array<uint8_t, 2> kClientPst = {'S', 'M'};
constexpr size_t kMagicClientOffset = 8;

class DiskFiles : public PstFiles {
 public:
  PathKind Kind(const std::string& path) override {
    switch (pst::KindOf(path)) {
      case pst::PathKind::kMissing:
        return PathKind::kMissing;
      case pst::PathKind::kFile:
        return PathKind::kFile;
      case pst::PathKind::kOther:
        break;
    }
    return PathKind::kOther;
  }

  pst::Result<bool> LooksLikePst(const std::string& path) override {
    PST_ASSIGN_OR_RETURN(auto file, pst::OpenDiskFile(path, pst::OpenMode::kReadOnly));
    PST_ASSIGN_OR_RETURN(uint64_t size, file->Size());
    if (size < kMagicClientOffset + kClientPst.size()) return false;
    std::array<uint8_t, kMagicClientOffset + 2> head{};
    PST_RETURN_IF_ERROR(file->ReadAt(0, head));
    return std::equal(kMagic.begin(), kMagic.end(), head.begin()) &&
           std::equal(kClientPst.begin(), kClientPst.end(), head.begin() + kMagicClientOffset);
  }

  pst::Result<std::unique_ptr<pst::NodeStore>> Open(const std::string& path) override {
    PST_ASSIGN_OR_RETURN(auto file, pst::OpenDiskFile(path, pst::OpenMode::kReadWrite));
    PST_ASSIGN_OR_RETURN(auto db, pst::NodeDatabase::Open(std::shared_ptr<pst::File>(std::move(file)), true));
    return std::unique_ptr<pst::NodeStore>(std::move(db));
  }

  // A new store is made under a side name of its own (pst/ndb/side_file.h) and put at `path` after its
  // first commit, so that `path` never shows a file that is not a whole PST, even when the run is killed
  // while the store is being made.
  pst::Result<std::unique_ptr<pst::NodeStore>> Create(const std::string& path) override {
    if (Kind(path) != PathKind::kMissing)
      return pst::Status::AlreadyExists("cannot create " + path + ": it exists");
    PST_ASSIGN_OR_RETURN(pst::SideFile side, pst::CreateSideFile(path));
    std::shared_ptr<pst::File> shared(std::move(side.file));
    // Its errors name the file the user asked for, which it becomes: not the name it is made under.
    shared->Renamed(path);
    auto db = pst::NodeDatabase::Create(shared);
    if (!db.ok()) {
      // Leave nothing half-made behind.
      pst::RemoveSideFile(side.side_path);
      return db.status();
    }
    sides_[path] = side.side_path;
    return std::unique_ptr<pst::NodeStore>(std::move(db).value());
  }

  pst::Status Publish(const std::string& path) override {
    auto it = sides_.find(path);
    if (it == sides_.end()) return pst::Status::InvalidArgument("nothing made for " + path);
    const std::string side = it->second;
    sides_.erase(it);
    pst::Status published = pst::PublishSideFile(side, path);
    if (!published.ok()) pst::RemoveSideFile(side);
    return published;
  }

 private:
  std::map<std::string, std::string> sides_;  // target path -> side file made for it, until published
};

}  // namespace

std::shared_ptr<PstFiles> DiskPstFiles() {
  return std::make_shared<DiskFiles>();
}

}  // namespace velmora::rdo
