#include "pst/ndb/side_file.h"

#include <cerrno>

#include "fsutil/file_io.h"
#include "fsutil/file_names.h"
#include "pst/ndb/descriptor_file.h"

namespace velmora::pst {
namespace {

constexpr const char* kSideInfix = ".new.";
constexpr size_t kRandomDigits = 16;

bool IsSideName(const std::string& name, const std::string& prefix) {
  if (name.size() != prefix.size() + kRandomDigits || name.compare(0, prefix.size(), prefix) != 0)
    return false;
  for (size_t i = prefix.size(); i < name.size(); ++i) {
    const char c = name[i];
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

std::string CannotCreate(const std::string& path, int err) {
  return "cannot create " + path + ": " + fsutil::ErrorText(err);
}

}  // namespace

PathKind KindOf(const std::string& path) {
  fsutil::FileFacts facts;
  if (fsutil::FactsOfPath(path, &facts) != 0) return PathKind::kMissing;
  return facts.regular ? PathKind::kFile : PathKind::kOther;
}

Result<SideFile> CreateSideFile(const std::string& path) {
  // Side files of a run that ended without publishing: no process holds their lock. Only their names go.
  const std::string prefix = fsutil::LeafOfPath(path) + kSideInfix;
  fsutil::RemoveUnlockedFiles(fsutil::FolderOfPath(path),
                              [&](const std::string& name) { return IsSideName(name, prefix); });
  int last_error = 0;
  for (int attempt = 0; attempt < 8; ++attempt) {
    std::string side = path + kSideInfix + fsutil::RandomHexName(kRandomDigits);
    int fd = -1;
    const int err = fsutil::OpenFile(side, fsutil::OpenFor::kCreateNew, &fd);
    if (err == EEXIST || err == EINTR) {
      last_error = err;
      continue;
    }
    if (err != 0) return Status::IoError(CannotCreate(side, err));
    std::unique_ptr<File> file = AdoptDescriptor(fd, side);
    if (Status locked = LockExclusive(fd, side); !locked.ok()) {
      fsutil::RemoveName(side);
      return locked;
    }
    // A sweep by another run may have taken the name between the open and the lock: then start again.
    fsutil::FileFacts held, named;
    if (const int facts_err = fsutil::FactsOfFile(fd, &held); facts_err != 0)
      return Status::IoError("cannot stat " + side + ": " + fsutil::ErrorText(facts_err));
    if (fsutil::FactsOfPath(side, &named, /*follow_links=*/false) != 0 || !(held.id == named.id) ||
        held.links != 1) {
      last_error = EEXIST;
      continue;
    }
    return SideFile{std::move(file), std::move(side)};
  }
  return Status::IoError("cannot create a new file beside " + path + ": " + fsutil::ErrorText(last_error));
}

Status PublishSideFile(const std::string& side_path, const std::string& path) {
  const int err = fsutil::PublishName(side_path, path);
  if (err == EEXIST) return Status::AlreadyExists("cannot create " + path + ": it exists");
  if (err != 0) return Status::IoError(CannotCreate(path, err));
  return Status::Ok();
}

void RemoveSideFile(const std::string& side_path) {
  fsutil::RemoveName(side_path);
}

}  // namespace velmora::pst
