// Runs a call that should fail with the object layer's error: its description (and, when asked, its number),
// or "(no error)".
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "rdo/error.h"

namespace velmora::rdo::testing {

inline std::string ErrorOf(const std::function<void()>& f, int32_t* hresult = nullptr) {
  try {
    f();
  } catch (const Error& e) {
    if (hresult) *hresult = e.number();
    return e.description();
  }
  return "(no error)";
}

}  // namespace velmora::rdo::testing
