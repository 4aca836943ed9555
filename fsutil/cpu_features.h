// What the processor offers beyond the build's target, asked once. Code compiled for such an extension (GCC's
// target pragma) runs only where this says so.
#pragma once

namespace velmora::fsutil {

// True where the processor runs AVX2 instructions; false on other processors and other architectures.
bool CpuHasAvx2();

}  // namespace velmora::fsutil
