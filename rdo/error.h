// The error channel of the object API and the engine above it: like an automation error, one exception class
// that carries a number and a description. The engine reads the description of a failed folder lookup
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

// The automation run-time errors the engine raises: a counter past 2,147,483,647, an index outside a list, a
// queue key that is already taken.
constexpr int32_t kErrOverflow = 6;
constexpr int32_t kErrSubscriptOutOfRange = 9;
constexpr int32_t kErrKeyAlreadyAssociated = 457;

// The one error type above the store, raised by the object layer and the engine alike.
class Error : public std::runtime_error {
 public:
  Error(int32_t number, std::string description)
      : std::runtime_error(description), number_(number), description_(std::move(description)) {}
  // A folder lookup that failed at `name`, the first folder on the path that does not exist: MAPI_E_NOT_FOUND
  // with the description `Folder "NAME" does not exist`, and the name itself in missing_path().
  static Error FolderNotFound(const std::string& name);
  static Error Overflow() { return Error(kErrOverflow, "Overflow"); }
  static Error SubscriptOutOfRange() { return Error(kErrSubscriptOutOfRange, "Subscript out of range"); }
  static Error KeyAlreadyAssociated() {
    return Error(kErrKeyAlreadyAssociated,
                 "This key is already associated with an element of this collection");
  }

  // An HRESULT from the object layer, a run-time error number from the engine.
  int32_t number() const { return number_; }
  const std::string& description() const { return description_; }
  // Set by FolderNotFound only.
  const std::optional<std::string>& missing_path() const { return missing_path_; }

 private:
  int32_t number_;
  std::string description_;
  std::optional<std::string> missing_path_;
};

// The HRESULT that stands for a storage-engine status.
int32_t HresultOf(const pst::Status& status);
// Throws Error for a failed status; `context` opens the description ("Cannot open \"x.pst\"").
void ThrowIfError(const pst::Status& status, const std::string& context = "");

}  // namespace velmora::rdo
