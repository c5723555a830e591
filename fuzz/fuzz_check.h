// What the fuzz targets share: a check that stops the run with the broken law's name, so that
// libFuzzer saves the input that broke it. One process, one thread per target.
#ifndef VARDOMAR_FUZZ_FUZZ_CHECK_H_
#define VARDOMAR_FUZZ_FUZZ_CHECK_H_

#include <cstdio>
#include <cstdlib>

// Aborts (a crash to libFuzzer) with `what` when `condition` does not hold.
#define FUZZ_CHECK(condition, what)                                         \
  do {                                                                      \
    if (!(condition)) {                                                     \
      std::fprintf(stderr, "fuzz law broken: %s (%s)\n", what, #condition); \
      std::abort();                                                         \
    }                                                                       \
  } while (0)

#endif  // VARDOMAR_FUZZ_FUZZ_CHECK_H_
