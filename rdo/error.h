// The error channel of the object API: like an automation error, one exception class that carries an
// HRESULT-style number and a description. The engine reads the description of a failed folder lookup
// (`Folder "NAME" does not exist`), so descriptions are part of the interface.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

#include "pst/ndb/status.h"

namespace velmora::rdo {

// HRESULTs of the MAPI and COM errors we raise ([MS-OXCDATA] 2.4).
constexpr int32_t kEInvalidArg = static_cast<int32_t>(0x80070057);
constexpr int32_t kEAccessDenied = static_cast<int32_t>(0x80070005);
constexpr int32_t kClassNotRegistered = static_cast<int32_t>(0x80040154);  // REGDB_E_CLASSNOTREG
constexpr int32_t kMapiCallFailed = static_cast<int32_t>(0x80004005);
constexpr int32_t kMapiNoSupport = static_cast<int32_t>(0x80040102);
constexpr int32_t kMapiInvalidEntryId = static_cast<int32_t>(0x80040107);
constexpr int32_t kMapiNotEnoughDisk = static_cast<int32_t>(0x8004010D);
constexpr int32_t kMapiNotFound = static_cast<int32_t>(0x8004010F);
constexpr int32_t kMapiDiskError = static_cast<int32_t>(0x80040116);
constexpr int32_t kMapiCorruptData = static_cast<int32_t>(0x8004011B);
constexpr int32_t kMapiCollision = static_cast<int32_t>(0x80040604);

class Error : public std::runtime_error {
 public:
  Error(int32_t hresult, std::string description)
      : std::runtime_error(description), hresult_(hresult), description_(std::move(description)) {}
  // A folder lookup that failed at `name`, the first folder on the path that does not exist: MAPI_E_NOT_FOUND
  // with the description `Folder "NAME" does not exist`, and the name itself in missing_folder().
  static Error FolderNotFound(const std::string& name);

  int32_t hresult() const { return hresult_; }
  const std::string& description() const { return description_; }
  // Set by FolderNotFound only.
  const std::optional<std::string>& missing_folder() const { return missing_folder_; }

 private:
  int32_t hresult_;
  std::string description_;
  std::optional<std::string> missing_folder_;
};

// The HRESULT that stands for a storage-engine status.
int32_t HresultOf(const pst::Status& status);
// Throws Error for a failed status; `context` opens the description ("Cannot open \"x.pst\"").
void ThrowIfError(const pst::Status& status, const std::string& context = "");

}  // namespace velmora::rdo
