// How the session reaches .pst files: the one place where a path becomes a node store. The default works on
// the file system through the node database; tests put files in memory or make opening fail.
#pragma once

#include <memory>
#include <string>

#include "pst/ndb/node_store.h"

namespace velmora::rdo {

enum class PathKind { kMissing, kFile, kOther };

class PstFiles {
 public:
  virtual ~PstFiles() = default;
  // What is at `path`; a missing path whose folder does not exist is kMissing too (Create reports it).
  virtual PathKind Kind(const std::string& path) = 0;
  // True when the first bytes of the file are a Unicode or ANSI PST header ("!BDN", client "SM"); reads only.
  virtual pst::Result<bool> LooksLikePst(const std::string& path) = 0;
  // Opens an existing PST for writing.
  virtual pst::Result<std::unique_ptr<pst::NodeStore>> Open(const std::string& path) = 0;
  // Creates a new, empty Unicode PST; fails when the path exists or its folder does not. The file may be
  // made under another name until Publish puts it at `path`.
  virtual pst::Result<std::unique_ptr<pst::NodeStore>> Create(const std::string& path) = 0;
  // Called once the new store's first commit is durable: from then on `path` holds it.
  virtual pst::Status Publish(const std::string& path) {
    (void)path;
    return pst::Status::Ok();
  }
};

// Files on disk, through pst::NodeDatabase.
std::shared_ptr<PstFiles> DiskPstFiles();

}  // namespace velmora::rdo
