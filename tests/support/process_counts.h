// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What this process holds right now, for tests that repeat an operation
// many times and expect to end where they started: threads, descriptors
// and heap in use.

#include <dirent.h>
#include <malloc.h>

#include <cstddef>

#if defined(__SANITIZE_ADDRESS__)
#define KV770_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KV770_TEST_ASAN 1
#endif
#endif
#ifdef KV770_TEST_ASAN
// The sanitizer's own count (sanitizer/allocator_interface.h, which not
// every compiler installs).
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace kv770::test {

inline int DirectoryEntries(const char* path) {
  DIR* dir = opendir(path);
  if (!dir) return -1;
  int count = 0;
  while (const dirent* entry = readdir(dir))
    if (entry->d_name[0] != '.') ++count;
  closedir(dir);
  return count;
}

inline int ThreadCount() {
  return DirectoryEntries("/proc/self/task");
}

// Not counting the one the count itself opens.
inline int OpenDescriptors() {
  return DirectoryEntries("/proc/self/fd") - 1;
}

// Bytes the program has allocated and not freed. Under AddressSanitizer the
// C library's allocator is not in use, so ask the sanitizer's.
inline std::size_t HeapInUse() {
#ifdef KV770_TEST_ASAN
  return __sanitizer_get_current_allocated_bytes();
#else
  return mallinfo2().uordblks;
#endif
}

}  // namespace kv770::test
