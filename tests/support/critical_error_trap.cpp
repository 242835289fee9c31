#include "tests/support/critical_error_trap.h"

namespace {
void throw_handler(const char* file, int line, const char* text, const char* full) {
  throw CriticalErrorThrown(file, line, text, full);
}
}  // namespace

CriticalErrorTrap::CriticalErrorTrap() : previous_(critical_error_set_handler(throw_handler)) {}
CriticalErrorTrap::~CriticalErrorTrap() { critical_error_set_handler(previous_); }
