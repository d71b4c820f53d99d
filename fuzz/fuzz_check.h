// Contract checks inside fuzz targets: a broken contract aborts, so libFuzzer
// keeps the input that broke it.
#ifndef QX_FUZZ_FUZZ_CHECK_H
#define QX_FUZZ_FUZZ_CHECK_H

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                                               \
  do {                                                                                      \
    if (!(condition)) {                                                                     \
      std::fprintf(stderr, "%s:%d: contract broken: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                         \
    }                                                                                       \
  } while (0)

#endif
