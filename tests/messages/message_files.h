// What the message suites share: .eml files made on the fly, the engine's sequence of calls for one file,
// and the comparison script run over a written .pst.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "rdo/rdo_session.h"

namespace velmora::testing {

// The source tree (VELMORA_SOURCE_DIR, else the tree this test was built from).
std::string SourceDir();

// A generated message: `index` picks its shape (recipients, charsets, attachments of random bytes), so a
// run of indexes covers every shape; `seed` varies the bytes. Returns the file's path.
std::string WriteGeneratedEml(const std::string& dir, int index, uint32_t seed);
// A message with one attachment of `bytes` random bytes (base64), written without holding it whole.
std::string WriteBigAttachmentEml(const std::string& dir, uint64_t bytes, uint32_t seed);

// Items.Add(0), Import(file, 1024), HrSetOneProp(flags), Save: what the engine does for one file. False when
// Import raised (the message is then not saved, as the engine does).
bool ImportAsTheEngineDoes(rdo::RDOFolder& folder, const std::string& file, int32_t flags = 17);

struct CompareResult {
  bool available = true;  // false when the readers are not installed
  int exit_code = -1;
  std::string output;  // per-field figures and the differences
};
// Runs compare_messages.py: the messages of `folder` (path below the top folder) in `pst`, in order, against
// `files`; `require` holds "field=share" minimums ("all=1.0" for every field).
// `unread`: how many were saved without MSGFLAG_READ (the folder's unread count must say so); -1 = unchecked.
CompareResult CompareWithReaders(const std::string& pst, const std::string& folder,
                                 const std::vector<std::string>& files,
                                 const std::vector<std::string>& require, int unread = -1);

// Runs expect_messages.py: the messages of `folder` in `pst` against what broken_mail/expected.py says a mail
// user sees for each of `files` (hand-made mail for which Python's parse is no reference).
CompareResult CheckExpectedFields(const std::string& pst, const std::string& folder,
                                  const std::vector<std::string>& files);

// The messages pypff counts in every folder named `folder` of `pst`, one number a line ("" when it failed).
std::string PypffFolderCounts(const std::string& pst, const std::string& folder);

// Peak resident set of the calling process (VmHWM), in bytes.
uint64_t PeakRssBytes();
// Resident set of the calling process now (VmRSS), in bytes.
uint64_t RssBytes();

}  // namespace velmora::testing
