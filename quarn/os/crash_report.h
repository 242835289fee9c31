#pragma once
// The crash report: when a fault escapes, a plain-text report of the
// exception, the machine, the registers, the stack and the loaded modules is
// appended to errorlog.txt beside the program.
#include <cstdint>

// Exception codes the report names (the numbering its readers know).
constexpr uint32_t EXC_ACCESS_VIOLATION = 0xC0000005;
constexpr uint32_t EXC_ILLEGAL_INSTRUCTION = 0xC000001D;
constexpr uint32_t EXC_FLT_DIVIDE_BY_ZERO = 0xC000008E;
constexpr uint32_t EXC_FLT_INVALID_OPERATION = 0xC0000090;
constexpr uint32_t EXC_INT_DIVIDE_BY_ZERO = 0xC0000094;
constexpr uint32_t EXC_INT_OVERFLOW = 0xC0000095;
constexpr uint32_t EXC_PRIV_INSTRUCTION = 0xC0000096;
constexpr uint32_t EXC_IN_PAGE_ERROR = 0xC0000006;
constexpr uint32_t EXC_DATATYPE_MISALIGNMENT = 0x80000002;
constexpr uint32_t EXC_BREAKPOINT = 0x80000003;
constexpr uint32_t EXC_NONCONTINUABLE = 0xC0000025;
constexpr uint32_t EXC_STACK_OVERFLOW = 0xC00000FD;

// What the report needs of the fault: the exception code and its
// parameters, and the registers of the faulting thread.
struct CrashRegisters {
  uint64_t rax, rbx, rcx, rdx, rsi, rdi, rbp, rsp;
  uint64_t r8, r9, r10, r11, r12, r13, r14, r15;
  uint64_t rip, eflags;
  uint16_t cs, ss, ds, es, fs, gs;
};

struct CrashInfo {
  uint32_t code;
  int num_params;          // 0..2
  uint64_t params[2];      // access violation: [0] non-zero for a write, [1] the address
  CrashRegisters regs;
};

// Returns the text of the exception table ("Unknown exception type" for
// codes it does not hold).
const char* exception_name(uint32_t code);

// Appends the report to errorlog.txt beside the program and returns 0. Only
// the first call of a run writes. Async-signal-safe: no allocation, no stdio.
int crash_report_write(const CrashInfo* info, const char* thread_name);

// Same, to a report file of the caller's choice (tests), ignoring and not
// consuming the run-once flag.
int crash_report_write_to(const char* report_path, const CrashInfo* info, const char* thread_name);

// Tests: writes reports to this file instead of errorlog.txt beside the
// program (null restores that).
void crash_report_set_path(const char* report_path);

// The filter of the program entry: installs signal handlers (SIGSEGV, SIGBUS,
// SIGFPE, SIGILL, SIGABRT) on an alternate stack that write the report
// naming `thread_name`, then let the signal end the process. A thread that
// faults while another's report is being written waits for that report to
// be complete; a fault at the stack pointer is reported as a stack overflow.
void crash_report_install(const char* thread_name);
