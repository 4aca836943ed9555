// The disk file behind OpenDiskFile, for the code of this folder that opens descriptors itself.
#pragma once

#include <memory>
#include <string>

#include "pst/ndb/file.h"

namespace velmora::pst {

// A File over the descriptor `fd` (fsutil/file_io.h; closed with it), whose errors name `path`.
std::unique_ptr<File> AdoptDescriptor(int fd, std::string path);

// The one-writer lock on `fd`: kIoError "<path> is in use by another program" while another holds it.
Status LockExclusive(int fd, const std::string& path);

}  // namespace velmora::pst
