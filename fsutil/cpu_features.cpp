#include "fsutil/cpu_features.h"

namespace velmora::fsutil {

bool CpuHasAvx2() {
#if defined(__x86_64__) && defined(__GNUC__)
  static const bool has = __builtin_cpu_supports("avx2");
  return has;
#else
  return false;
#endif
}

}  // namespace velmora::fsutil
