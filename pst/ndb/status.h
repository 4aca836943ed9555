// The error channel of the storage engine: every call that touches bytes or the disk returns a Status or a
// Result<T>. Encoders that cannot fail return nothing. Corruption messages name the page, block or node and
// the file offset where the bad bytes were found.
#pragma once

#include <cassert>
#include <string>
#include <utility>
#include <variant>

namespace velmora::pst {

enum class Code {
  kOk = 0,
  kIoError,          // the operating system refused a read, write, sync or open
  kCorruption,       // bytes on disk break a rule of the format
  kInvalidArgument,  // the caller asked for something impossible
  kNotFound,         // no such node, block, property or folder
  kAlreadyExists,    // a unique name or key is taken
  kNoSpace,          // the disk is full or a format limit is reached
  kUnsupported,      // valid but not handled here (an ANSI file, a 4k-page OST, ...)
};

class [[nodiscard]] Status {
 public:
  Status() = default;
  static Status Ok() { return Status(); }
  static Status IoError(std::string m) { return Status(Code::kIoError, std::move(m)); }
  static Status Corruption(std::string m) { return Status(Code::kCorruption, std::move(m)); }
  static Status InvalidArgument(std::string m) { return Status(Code::kInvalidArgument, std::move(m)); }
  static Status NotFound(std::string m) { return Status(Code::kNotFound, std::move(m)); }
  static Status AlreadyExists(std::string m) { return Status(Code::kAlreadyExists, std::move(m)); }
  static Status NoSpace(std::string m) { return Status(Code::kNoSpace, std::move(m)); }
  static Status Unsupported(std::string m) { return Status(Code::kUnsupported, std::move(m)); }

  bool ok() const { return code_ == Code::kOk; }
  Code code() const { return code_; }
  const std::string& message() const { return message_; }
  bool IsCorruption() const { return code_ == Code::kCorruption; }
  bool IsNotFound() const { return code_ == Code::kNotFound; }
  std::string ToString() const;

 private:
  Status(Code c, std::string m) : code_(c), message_(std::move(m)) {}
  Code code_ = Code::kOk;
  std::string message_;
};

// A value or the Status that explains why there is none.
template <class T>
class [[nodiscard]] Result {
 public:
  Result(T value) : v_(std::move(value)) {}  // NOLINT: implicit by design, like std::optional
  Result(Status s) : v_(std::move(s)) { assert(!std::get<Status>(v_).ok()); }  // NOLINT
  bool ok() const { return std::holds_alternative<T>(v_); }
  const Status& status() const {
    static const Status kOk;
    return ok() ? kOk : std::get<Status>(v_);
  }
  T& value() & { return std::get<T>(v_); }
  const T& value() const& { return std::get<T>(v_); }
  T&& value() && { return std::get<T>(std::move(v_)); }
  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }

 private:
  std::variant<T, Status> v_;
};

// A number as error messages write it: "0x" and lower-case hex digits (NIDs, BIDs, offsets, tags).
std::string Hex(uint64_t v);

}  // namespace velmora::pst

#define PST_CONCAT_INNER(a, b) a##b
#define PST_CONCAT(a, b) PST_CONCAT_INNER(a, b)

#define PST_RETURN_IF_ERROR(expr)                \
  do {                                           \
    ::velmora::pst::Status pst_status_ = (expr); \
    if (!pst_status_.ok()) return pst_status_;   \
  } while (0)

#define PST_ASSIGN_OR_RETURN_IMPL(tmp, lhs, expr) \
  auto tmp = (expr);                              \
  if (!tmp.ok()) return tmp.status();             \
  lhs = std::move(tmp).value()

#define PST_ASSIGN_OR_RETURN(lhs, expr) \
  PST_ASSIGN_OR_RETURN_IMPL(PST_CONCAT(pst_result_, __LINE__), lhs, expr)
