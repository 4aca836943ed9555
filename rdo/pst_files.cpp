#include "rdo/pst_files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

#include "pst/ndb/file.h"
#include "pst/ndb/node_database.h"

namespace velmora::rdo {

namespace {

// HEADER ([MS-PST] 2.2.2.6): dwMagic "!BDN" at 0, then dwCRCPartial, then wMagicClient "SM" at 8.
constexpr std::array<uint8_t, 4> kMagic = {'!', 'B', 'D', 'N'};
constexpr std::array<uint8_t, 2> kClientPst = {'S', 'M'};
constexpr size_t kMagicClientOffset = 8;

class DiskFiles : public PstFiles {
 public:
  PathKind Kind(const std::string& path) override {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return PathKind::kMissing;
    return S_ISREG(st.st_mode) ? PathKind::kFile : PathKind::kOther;
  }

  pst::Result<bool> LooksLikePst(const std::string& path) override {
    PST_ASSIGN_OR_RETURN(auto file, pst::OpenPosixFile(path, pst::OpenMode::kReadOnly));
    PST_ASSIGN_OR_RETURN(uint64_t size, file->Size());
    if (size < kMagicClientOffset + kClientPst.size()) return false;
    std::array<uint8_t, kMagicClientOffset + 2> head{};
    PST_RETURN_IF_ERROR(file->ReadAt(0, head));
    return std::equal(kMagic.begin(), kMagic.end(), head.begin()) &&
           std::equal(kClientPst.begin(), kClientPst.end(), head.begin() + kMagicClientOffset);
  }

  pst::Result<std::unique_ptr<pst::NodeStore>> Open(const std::string& path) override {
    PST_ASSIGN_OR_RETURN(auto file, pst::OpenPosixFile(path, pst::OpenMode::kReadWrite));
    PST_ASSIGN_OR_RETURN(auto db, pst::NodeDatabase::Open(std::shared_ptr<pst::File>(std::move(file)), true));
    return std::unique_ptr<pst::NodeStore>(std::move(db));
  }

  // A new store is made under a name of its own beside the target and linked into place after its first
  // commit, so that `path` never shows a file that is not a whole PST, even when the run is killed while
  // the store is being made. A leftover from such a run is replaced (it is locked while a run uses it).
  pst::Result<std::unique_ptr<pst::NodeStore>> Create(const std::string& path) override {
    if (Kind(path) != PathKind::kMissing)
      return pst::Status::AlreadyExists("cannot create " + path + ": it exists");
    const std::string making = MakingName(path);
    auto file = pst::OpenPosixFile(making, pst::OpenMode::kCreateOrTruncate);
    if (!file.ok() && file.status().message() == making + " is in use by another program")
      return pst::Status::IoError(path + " is in use by another program");
    if (!file.ok()) return file.status();
    std::shared_ptr<pst::File> shared(std::move(file).value());
    // Its errors name the file the user asked for, which it becomes: not the name it is made under.
    shared->Renamed(path);
    auto db = pst::NodeDatabase::Create(shared);
    if (!db.ok()) {
      // Leave nothing half-made behind.
      ::unlink(making.c_str());
      return db.status();
    }
    return std::unique_ptr<pst::NodeStore>(std::move(db).value());
  }

  pst::Status Publish(const std::string& path) override {
    const std::string making = MakingName(path);
    // link() never replaces: a file that appeared at `path` meanwhile is kept.
    int rc = ::link(making.c_str(), path.c_str());
    int err = errno;
    ::unlink(making.c_str());
    if (rc != 0 && err == EEXIST) return pst::Status::AlreadyExists("cannot create " + path + ": it exists");
    if (rc != 0) return pst::Status::IoError("cannot create " + path + ": " + std::strerror(err));
    return pst::Status::Ok();
  }

 private:
  static std::string MakingName(const std::string& path) { return path + ".new"; }
};

}  // namespace

std::shared_ptr<PstFiles> DiskPstFiles() {
  return std::make_shared<DiskFiles>();
}

}  // namespace velmora::rdo
