#pragma once
// For table fuzz targets: the parser's fatal error becomes an exception, so
// a bad table ends the input rather than the process.
#include <stdexcept>

#include "quarn/os/error.h"

struct FuzzFatal : std::runtime_error {
  using std::runtime_error::runtime_error;
};

inline void fuzz_fatal_throws() {
  static const bool installed = (critical_error_set_handler([](const char*, int, const char*, const char* full) {
                                   throw FuzzFatal(full);
                                 }),
                                 true);
  (void)installed;
}
