// Invariants and preconditions the code relies on, checked where the build
// asks for it: the test library, debug builds and sanitizer builds define
// RECBASE_CHECKS; the shipped library pays nothing for them. A failed check
// is a fault of the library itself, never of a caller or of a file: those
// are answered with error codes.
#pragma once

#ifdef RECBASE_CHECKS
#include <cstdio>
#include <cstdlib>
#define RB_CHECK(condition)                                                                      \
  ((condition) ? static_cast<void>(0)                                                            \
               : (std::fprintf(stderr, "recbase: %s:%d: check failed: %s\n", __FILE__, __LINE__, \
                               #condition),                                                      \
                  std::abort()))
#else
#define RB_CHECK(condition) static_cast<void>(0)
#endif
