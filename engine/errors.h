// The error the engine layer passes to its caller when a step fails that the conversion does not handle
// itself: a counter that would run past 2,147,483,647, a queue key that is already taken, a path helper given
// an empty path. Like the automation errors of the object layer it carries a number and a description; the
// numbers are the familiar automation run-time ones (6 overflow, 9 subscript out of range, 457 key taken).
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace velmora::engine {

inline constexpr int32_t kErrOverflow = 6;
inline constexpr int32_t kErrSubscriptOutOfRange = 9;
inline constexpr int32_t kErrKeyAlreadyAssociated = 457;

class Error : public std::runtime_error {
 public:
  Error(int32_t number, const std::string& description)
      : std::runtime_error(description), number_(number), description_(description) {}

  int32_t number() const { return number_; }
  const std::string& description() const { return description_; }

  static Error Overflow() { return Error(kErrOverflow, "Overflow"); }
  static Error SubscriptOutOfRange() { return Error(kErrSubscriptOutOfRange, "Subscript out of range"); }
  static Error KeyAlreadyAssociated() {
    return Error(kErrKeyAlreadyAssociated,
                 "This key is already associated with an element of this collection");
  }

 private:
  int32_t number_;
  std::string description_;
};

// value + 1 for a 32-bit signed counter; Error::Overflow() past 2,147,483,647.
int32_t CheckedIncrement(int32_t value);

}  // namespace velmora::engine
