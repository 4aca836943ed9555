// Tests of POSIX facts (symbolic links, permission bits, names Windows forbids, fork, the Linux readers) run
// on Linux; on Windows they skip, saying why. Include after <gtest/gtest.h>.
#pragma once

#ifdef _WIN32
#define VELMORA_LINUX_ONLY(reason) GTEST_SKIP() << "Linux-only: " << reason
#else
#define VELMORA_LINUX_ONLY(reason) static_cast<void>(0)
#endif
