// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What every fuzz target shares: a failed property is a finding, reported
// with the property and its line before the target aborts.

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                                               \
  do {                                                                                      \
    if (!(condition)) {                                                                     \
      std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                         \
    }                                                                                       \
  } while (false)
