#pragma once
// Turns critical_error into a C++ exception for the lifetime of the object,
// so tests can check the message of a fatal error without ending the process.
#include <stdexcept>
#include <string>

#include "quarn/os/error.h"

struct CriticalErrorThrown : std::runtime_error {
  std::string file;
  int line;
  std::string text;
  CriticalErrorThrown(const char* f, int l, const char* t, const char* full)
      : std::runtime_error(full), file(f ? f : ""), line(l), text(t ? t : "") {}
};

class CriticalErrorTrap {
 public:
  CriticalErrorTrap();
  ~CriticalErrorTrap();
  CriticalErrorTrap(const CriticalErrorTrap&) = delete;
  CriticalErrorTrap& operator=(const CriticalErrorTrap&) = delete;

 private:
  critical_error_handler previous_;
};
