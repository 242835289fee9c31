#include <gtest/gtest.h>

#include <alloca.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>

#include "quarn/os/crash_report.h"
#include "tests/support/test_files.h"

namespace {
std::string temp_path(const char* name) {
  std::string p = ::testing::TempDir() + "crash_" + name + "_" + std::to_string(getpid()) + ".txt";
  std::remove(p.c_str());
  return p;
}

size_t count_of(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// Real faults; the undefined-behaviour sanitizer would stop them first.
__attribute__((noinline, no_sanitize("undefined"))) void write_through_null() {
  volatile int* volatile null_pointer = nullptr;  // neither may be optimised away
  *null_pointer = 42;
}
__attribute__((noinline, no_sanitize("undefined"))) int divide(int a, int b) {
  volatile int x = a, y = b;
  return x / y;
}

// Recurses until the stack runs out. Where the stack begins within its page
// changes from run to run; with frames of one fixed size the call that runs
// out could now and then be the push of a return address just below a stack
// pointer still on the last good page, which can be read. So every level
// first moves the stack pointer to the middle of a page below and writes
// there: whatever faults, the stack pointer already lies past the end.
volatile bool g_stop_recursion = false;
__attribute__((noinline)) int recurse(int depth) {
  constexpr uintptr_t PAGE = 4096;
  uintptr_t sp;
  asm volatile("mov %%rsp, %0" : "=r"(sp));
  const uintptr_t target = ((sp - PAGE) & ~(PAGE - 1)) + PAGE / 2;
  volatile char* frame = static_cast<volatile char*>(alloca(sp - target));
  frame[0] = static_cast<char>(depth);
  if (g_stop_recursion) return 0;
  return recurse(depth + 1) + frame[0];
}

// Runs fn in a child process and returns its wait status.
template <class Fn>
int in_child(Fn fn) {
  pid_t pid = fork();
  if (pid == 0) {
    fn();
    _exit(0);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return status;
}
}  // namespace

TEST(CrashReport, ExceptionNames) {
  struct Case {
    uint32_t code;
    const char* text;
  };
  const Case cases[] = {
      {0xC0000005, "an Access Violation"},       {0x40010005, "a Control-C"},
      {0xC0000094, "an Integer Divide by Zero"}, {0xC00000FD, "a Stack Overflow"},
      {0xE06D7363, "a Microsoft C++ Exception"}, {0x12345678, "Unknown exception type"},
      {0, "Unknown exception type"},
  };
  for (const Case& c : cases) EXPECT_STREQ(exception_name(c.code), c.text) << std::hex << c.code;
}

TEST(CrashReport, LayoutWithUnmappedInstructionPointerAppends) {
  std::string path = temp_path("layout");
  CrashInfo info{};
  info.code = EXC_ACCESS_VIOLATION;
  info.num_params = 2;
  info.params[0] = 1;
  info.params[1] = 0x10;
  info.regs.rip = 0x10;  // nothing is mapped there
  info.regs.cs = 0x33;
  info.regs.rax = 0x1122334455667788ull;
  uint64_t stack[4] = {0xAAAA, 0xBBBB, 0xCCCC, 0xDDDD};
  info.regs.rsp = reinterpret_cast<uintptr_t>(stack);

  crash_report_write_to(path.c_str(), &info, "Orrimund Main Thread");
  crash_report_write_to(path.c_str(), &info, "Orrimund Main Thread");
  std::string text = read_file(path);

  ASSERT_EQ(text.rfind("\r\n\r\n\r\n\r\n", 0), 0u);
  EXPECT_EQ(count_of(text, "\r\n\r\n\r\n\r\ntest_quarn_os caused"), 2u);  // appended, separated
  EXPECT_NE(text.find(" caused an Access Violation in module Unknown at 0033:0000000000000010.\r\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("Exception handler called in Orrimund Main Thread.\r\n"), std::string::npos);
  EXPECT_TRUE(std::regex_search(text, std::regex("Error occurred at \\d+/\\d+/\\d{4} \\d\\d:\\d\\d:\\d[02468]\\.\r\n")))
      << text;
  EXPECT_TRUE(std::regex_search(text, std::regex(", run by .+\\.\r\n")));
  EXPECT_TRUE(std::regex_search(text, std::regex("\\d+ processor\\(s\\), type 8664\\.\r\n")));
  EXPECT_TRUE(std::regex_search(text, std::regex("\\d+ MBytes physical memory\\.\r\n")));
  EXPECT_NE(text.find("Write to location 0000000000000010 caused an access violation.\r\n"), std::string::npos);
  EXPECT_NE(text.find("\r\nRegisters:\r\nRAX=1122334455667788 CS=0033 RIP=0000000000000010 EFLGS=00000000\r\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("Bytes at CS:RIP:\r\n?? ?? ?? ?? ?? ?? ?? ?? ?? ?? ?? ?? ?? ?? ?? ?? \r\nStack dump:\r\n"),
            std::string::npos);
  char first_line[128];
  std::snprintf(first_line, sizeof first_line, "%016lx: 000000000000aaaa 000000000000bbbb 000000000000cccc",
                static_cast<unsigned long>(info.regs.rsp));
  EXPECT_NE(text.find(first_line), std::string::npos) << text;
  EXPECT_NE(text.find("\r\n\tModule list: names, addresses, sizes, time stamps and file times:\r\n"),
            std::string::npos);
  EXPECT_TRUE(std::regex_search(text, std::regex("test_quarn_os, loaded at 0x[0-9a-f]{16} - \\d+ bytes - 00000000 - "
                                                 "file date is \\d+/\\d+/\\d{4} ")))
      << text;
  EXPECT_EQ(text.find("\n\n"), std::string::npos);  // every line ends in CRLF
  std::remove(path.c_str());
}

TEST(CrashReport, UnreadableStackStopsTheDumpWithAMessage) {
  std::string path = temp_path("stack");
  CrashInfo info{};
  info.code = EXC_ILLEGAL_INSTRUCTION;
  info.regs.rsp = 0x1000;  // unmapped
  crash_report_write_to(path.c_str(), &info, "t");
  std::string text = read_file(path);
  EXPECT_NE(text.find("Stack dump:\r\nException encountered during stack dump.\r\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("access violation"), std::string::npos);  // only for access violations
  std::remove(path.c_str());
}

TEST(CrashReport, StackNearItsBaseIsDumpedOnlyToTheBase) {
  std::string path = temp_path("base");
  int status = in_child([&] {
    crash_report_install("Orrimund Main Thread");
    // The main thread's stack ends a little above the deepest frame of the
    // start-up code; find it as the highest readable word above us.
    pthread_attr_t attr;
    pthread_getattr_np(pthread_self(), &attr);
    void* addr;
    size_t size;
    pthread_attr_getstack(&attr, &addr, &size);
    uintptr_t top = reinterpret_cast<uintptr_t>(addr) + size;
    CrashInfo info{};
    info.regs.rsp = top - 3 * 8;  // three words to the base
    crash_report_write_to(path.c_str(), &info, "Orrimund Main Thread");
  });
  ASSERT_TRUE(WIFEXITED(status));
  std::string text = read_file(path);
  size_t at = text.find("Stack dump:\r\n");
  ASSERT_NE(at, std::string::npos);
  std::string dump = text.substr(at, text.find("\r\n\r\n\tModule list") - at);
  EXPECT_TRUE(std::regex_match(dump, std::regex("Stack dump:\r\n[0-9a-f]{16}: [0-9a-f]{16} [0-9a-f]{16} [0-9a-f]{16}")))
      << dump;
  std::remove(path.c_str());
}

TEST(CrashReport, FaultingChildWritesOneReportAndDies) {
  std::string path = temp_path("fault");
  int status = in_child([&] {
    crash_report_set_path(path.c_str());
    crash_report_install("Orrimund Main Thread");
    write_through_null();
  });
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(WTERMSIG(status), SIGSEGV);
  std::string text = read_file(path);
  EXPECT_EQ(count_of(text, "Exception handler called in"), 1u);
  EXPECT_NE(text.find("test_quarn_os caused an Access Violation in module test_quarn_os at 0033:"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("Exception handler called in Orrimund Main Thread."), std::string::npos);
  EXPECT_NE(text.find("Write to location 0000000000000000 caused an access violation."), std::string::npos);

  // A second fault in the same run (here: a direct second call) writes nothing.
  std::string path2 = temp_path("twice");
  status = in_child([&] {
    crash_report_set_path(path2.c_str());
    CrashInfo info{};
    info.code = EXC_BREAKPOINT;
    crash_report_write(&info, "first");
    crash_report_write(&info, "second");
  });
  text = read_file(path2);
  EXPECT_EQ(count_of(text, "Exception handler called in first."), 1u);
  EXPECT_EQ(text.find("second"), std::string::npos);
  std::remove(path.c_str());
  std::remove(path2.c_str());
}

TEST(CrashReport, SecondThreadFaultingDuringTheReportWaitsForIt) {
  std::string path = temp_path("together");
  int status = in_child([&] {
    crash_report_set_path(path.c_str());
    crash_report_install("Orrimund Main Thread");
    // Faults as soon as the main thread's report has begun.
    std::thread late([&] {
      while (access(path.c_str(), F_OK) != 0) {
      }
      write_through_null();
    });
    late.detach();
    write_through_null();
  });
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(WTERMSIG(status), SIGSEGV);
  std::string text = read_file(path);
  EXPECT_EQ(count_of(text, "Exception handler called in"), 1u);
  EXPECT_NE(text.find("Exception handler called in Orrimund Main Thread."), std::string::npos) << text;
  // The report is whole: the module list ran to its end.
  size_t list = text.find("\tModule list:");
  ASSERT_NE(list, std::string::npos) << text;
  EXPECT_NE(text.find("libc.so.6, loaded at 0x", list), std::string::npos) << text.substr(list);
  EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
  std::remove(path.c_str());
}

TEST(CrashReport, StackOverflowIsReportedFromTheAlternateStack) {
  std::string path = temp_path("overflow");
  int status = in_child([&] {
    crash_report_set_path(path.c_str());
    crash_report_install("Orrimund Main Thread");
    recurse(0);
  });
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(WTERMSIG(status), SIGSEGV);
  std::string text = read_file(path);
  EXPECT_NE(text.find("test_quarn_os caused a Stack Overflow in module test_quarn_os at 0033:"), std::string::npos)
      << text;
  EXPECT_EQ(text.find("caused an access violation."), std::string::npos) << text;
  // The stack pointer lies in the guard page: the dump says it cannot read
  // it, and the report still runs to its end.
  EXPECT_NE(text.find("Stack dump:\r\nException encountered during stack dump.\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("libc.so.6, loaded at 0x"), std::string::npos) << text;
  std::remove(path.c_str());
}

TEST(CrashReport, SignalSentByAnotherProcessReportsNoAddress) {
  std::string path = temp_path("sent");
  int status = in_child([&] {
    crash_report_set_path(path.c_str());
    crash_report_install("Orrimund Main Thread");
    kill(getpid(), SIGSEGV);
  });
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(WTERMSIG(status), SIGSEGV);
  std::string text = read_file(path);
  EXPECT_NE(text.find("caused an Access Violation in module"), std::string::npos) << text;
  EXPECT_EQ(text.find("caused an access violation."), std::string::npos) << text;
  std::remove(path.c_str());
}

TEST(CrashReport, DivideByZeroAndAbortMapToTheirCodes) {
  struct Case {
    int kind;
    int signal;
    const char* text;
  };
  for (const Case& c : {Case{0, SIGFPE, "an Integer Divide by Zero"}, Case{1, SIGABRT, "a Noncontinuable Exception"}}) {
    std::string path = temp_path("codes");
    int status = in_child([&] {
      crash_report_set_path(path.c_str());
      crash_report_install("Orrimund Main Thread");
      if (c.kind == 0) {
        volatile int r = divide(10, 0);
        (void)r;
      } else {
        abort();
      }
    });
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), c.signal);
    EXPECT_NE(read_file(path).find(c.text), std::string::npos) << c.text;
    std::remove(path.c_str());
  }
}
