#include "quarn/os/crash_report.h"

#include <fcntl.h>
#include <link.h>
#include <pthread.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysinfo.h>
#include <sys/types.h>
#include <ucontext.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

// Everything reachable from the signal handler is async-signal-safe: no
// allocation, no stdio, no locale or time-zone look-ups. What would need
// those (user name, processor count, time-zone offset, stack bounds) is
// gathered when the handler is installed.

namespace {
struct ExceptionRow {
  uint32_t code;
  const char* text;
};
constexpr ExceptionRow EXCEPTION_TABLE[] = {
    {0x40010005, "a Control-C"},
    {0x40010008, "a Control-Break"},
    {0x80000002, "a Datatype Misalignment"},
    {0x80000003, "a Breakpoint"},
    {0xC0000005, "an Access Violation"},
    {0xC0000006, "an In Page Error"},
    {0xC0000017, "a No Memory"},
    {0xC000001D, "an Illegal Instruction"},
    {0xC0000025, "a Noncontinuable Exception"},
    {0xC0000026, "an Invalid Disposition"},
    {0xC000008C, "a Array Bounds Exceeded"},
    {0xC000008D, "a Float Denormal Operand"},
    {0xC000008E, "a Float Divide by Zero"},
    {0xC000008F, "a Float Inexact Result"},
    {0xC0000090, "a Float Invalid Operation"},
    {0xC0000091, "a Float Overflow"},
    {0xC0000092, "a Float Stack Check"},
    {0xC0000093, "a Float Underflow"},
    {0xC0000094, "an Integer Divide by Zero"},
    {0xC0000095, "an Integer Overflow"},
    {0xC0000096, "a Privileged Instruction"},
    {0xC00000FD, "a Stack Overflow"},
    {0xC0000142, "a DLL Initialization Failed"},
    {0xE06D7363, "a Microsoft C++ Exception"},
};

// The processor type the report gives for this architecture.
constexpr int PROCESSOR_TYPE = 8664;

std::atomic<bool> g_report_written{false};

// The thread whose fault is being reported (kernel thread id, 0 for none)
// and whether its report is complete. A second thread that faults meanwhile
// waits for the report instead of ending the process half-way through it.
std::atomic<long> g_writer_tid{0};
std::atomic<bool> g_report_done{false};
// How far from the stack pointer a fault still counts as the stack
// overflowing (a frame's stores land a little below it).
constexpr uintptr_t STACK_FAULT_REACH = 4096;
// Longest a second faulting thread waits for the first one's report.
constexpr int REPORT_WAIT_MS = 10000;

// Gathered at install time.
char g_user[201] = "";
int g_cpu_count = 0;
long g_utc_offset = 0;  // seconds east of UTC
uintptr_t g_main_stack_top = 0;
pthread_t g_main_thread;
bool g_installed = false;
char g_report_path_override[1024] = "";
char g_thread_name[128] = "";

// ---- A small formatter over a fixed buffer -------------------------------

struct Out {
  int fd;
  char buf[4096];
  size_t len = 0;

  explicit Out(int f) : fd(f) {}
  void flush() {
    size_t off = 0;
    while (off < len) {
      ssize_t n = write(fd, buf + off, len - off);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      off += static_cast<size_t>(n);
    }
    len = 0;
  }
  void ch(char c) {
    if (len >= sizeof buf) flush();
    buf[len++] = c;
  }
  void str(const char* s) {
    if (!s) s = "";
    while (*s) ch(*s++);
  }
  void dec(long long v) {
    char t[24];
    int n = 0;
    bool neg = v < 0;
    unsigned long long u = neg ? 0ull - static_cast<unsigned long long>(v) : static_cast<unsigned long long>(v);
    do {
      t[n++] = static_cast<char>('0' + u % 10);
      u /= 10;
    } while (u);
    if (neg) ch('-');
    while (n) ch(t[--n]);
  }
  void dec2(int v) {  // %02d
    if (v < 10) ch('0');
    dec(v);
  }
  void hex(unsigned long long v, int width) {
    char t[16];
    int n = 0;
    do {
      t[n++] = "0123456789abcdef"[v & 15];
      v >>= 4;
    } while (v && n < 16);
    while (n < width) t[n++] = '0';
    while (n) ch(t[--n]);
  }
};

// ---- Guarded memory reads ------------------------------------------------
// Reading through a pipe lets the kernel check the address: a bad one gives
// EFAULT instead of a second fault inside the report.

struct GuardedReader {
  int p[2] = {-1, -1};
  GuardedReader() {
    if (pipe2(p, O_CLOEXEC | O_NONBLOCK) != 0) p[0] = p[1] = -1;
  }
  ~GuardedReader() {
    if (p[0] >= 0) close(p[0]);
    if (p[1] >= 0) close(p[1]);
  }
  bool read(uintptr_t addr, void* out, size_t n) {
    if (p[0] < 0 || addr == 0) return false;
    // The raw system call: the kernel checks the address, and no library
    // wrapper (a sanitizer's, say) looks at memory we only mean to probe.
    ssize_t w = syscall(SYS_write, p[1], reinterpret_cast<const void*>(addr), n);
    if (w != static_cast<ssize_t>(n)) {
      if (w > 0) drain();
      return false;
    }
    return ::read(p[0], out, n) == static_cast<ssize_t>(n);
  }
  void drain() {
    char t[256];
    while (::read(p[0], t, sizeof t) > 0) {
    }
  }
};

// ---- Dates -----------------------------------------------------------------

// The local date and time of a moment, in the report's form; seconds are
// even, as the report's date form keeps them.
void format_date(Out& o, time_t t) {
  long long s = static_cast<long long>(t) + g_utc_offset;
  long long days = s / 86400;
  long long rem = s % 86400;
  if (rem < 0) {
    rem += 86400;
    --days;
  }
  // Civil date from days since 1970-01-01.
  long long z = days + 719468;
  long long era = (z >= 0 ? z : z - 146096) / 146097;
  long long doe = z - era * 146097;
  long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  long long y = yoe + era * 400;
  long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  long long mp = (5 * doy + 2) / 153;
  long long d = doy - (153 * mp + 2) / 5 + 1;
  long long m = mp < 10 ? mp + 3 : mp - 9;
  if (m <= 2) ++y;
  int hour = static_cast<int>(rem / 3600), minute = static_cast<int>(rem / 60 % 60);
  int second = static_cast<int>(rem % 60) & ~1;
  o.dec(m);
  o.ch('/');
  o.dec(d);
  o.ch('/');
  o.dec(y);
  o.ch(' ');
  o.dec2(hour);
  o.ch(':');
  o.dec2(minute);
  o.ch(':');
  o.dec2(second);
}

// ---- Modules -------------------------------------------------------------

const char* base_name(const char* path) {
  const char* b = path;
  for (const char* s = path; *s; ++s)
    if (*s == '/') b = s + 1;
  return b;
}

struct ModuleSearch {
  uintptr_t address;
  char name[256];
  const char* program_path;
};

void copy_text(char* dst, size_t size, const char* src) {
  size_t i = 0;
  for (; src && src[i] && i + 1 < size; ++i) dst[i] = src[i];
  dst[i] = 0;
}

int find_module_cb(dl_phdr_info* info, size_t, void* data) {
  auto* s = static_cast<ModuleSearch*>(data);
  for (int i = 0; i < info->dlpi_phnum; ++i) {
    const ElfW(Phdr)& ph = info->dlpi_phdr[i];
    if (ph.p_type != PT_LOAD) continue;
    uintptr_t lo = info->dlpi_addr + ph.p_vaddr;
    if (s->address >= lo && s->address < lo + ph.p_memsz) {
      const char* n = info->dlpi_name && info->dlpi_name[0] ? info->dlpi_name : s->program_path;
      copy_text(s->name, sizeof s->name, base_name(n));
      return 1;
    }
  }
  return 0;
}

struct ModuleList {
  Out* out;
  GuardedReader* reader;
  const char* program_path;
};

int list_module_cb(dl_phdr_info* info, size_t, void* data) {
  auto* l = static_cast<ModuleList*>(data);
  uintptr_t base = 0;
  bool have = false;
  for (int i = 0; i < info->dlpi_phnum; ++i) {
    if (info->dlpi_phdr[i].p_type == PT_LOAD) {
      uintptr_t lo = info->dlpi_addr + (info->dlpi_phdr[i].p_vaddr & ~uintptr_t{0xFFF});
      if (!have || lo < base) base = lo;
      have = true;
    }
  }
  if (!have) return 0;
  // Only images that really start with an ELF header are listed.
  unsigned char magic[4];
  if (!l->reader->read(base, magic, 4) || magic[0] != 0x7F || magic[1] != 'E' || magic[2] != 'L' ||
      magic[3] != 'F')
    return 0;
  const char* path = info->dlpi_name && info->dlpi_name[0] ? info->dlpi_name : l->program_path;
  if (!path || !path[0]) return 0;
  struct stat st;
  bool have_stat = stat(path, &st) == 0;
  Out& o = *l->out;
  o.str(path);
  o.str(", loaded at 0x");
  o.hex(base, 16);
  o.str(" - ");
  o.dec(have_stat ? static_cast<long long>(st.st_size) : 0);
  o.str(" bytes - ");
  o.hex(0, 8);  // ELF files carry no link time stamp
  if (have_stat) {
    o.str(" - file date is ");
    format_date(o, st.st_mtime);
  }
  o.str("\r\n");
  return 0;
}

// ---- The report ------------------------------------------------------------

void write_report(int fd, const char* program_path, const CrashInfo* info, const char* thread_name) {
  Out o(fd);
  GuardedReader reader;
  const CrashRegisters& r = info->regs;

  char program_name[256];
  copy_text(program_name, sizeof program_name, base_name(program_path));
  if (char* dot = std::strrchr(program_name, '.')) *dot = 0;
  if (!program_name[0]) copy_text(program_name, sizeof program_name, "Unknown");

  ModuleSearch ms{};
  ms.address = r.rip;
  ms.program_path = program_path;
  copy_text(ms.name, sizeof ms.name, "Unknown");
  dl_iterate_phdr(find_module_cb, &ms);

  o.str("\r\n\r\n\r\n\r\n");
  o.str(program_name);
  o.str(" caused ");
  o.str(exception_name(info->code));
  o.str(" in module ");
  o.str(ms.name);
  o.str(" at ");
  o.hex(r.cs, 4);
  o.ch(':');
  o.hex(r.rip, 16);
  o.str(".\r\n");

  o.str("Exception handler called in ");
  o.str(thread_name ? thread_name : "");
  o.str(".\r\n");

  o.str("Error occurred at ");
  format_date(o, time(nullptr));
  o.str(".\r\n");

  o.str(program_path[0] ? program_path : "Unknown");
  o.str(", run by ");
  const char* user = g_user[0] ? g_user : nullptr;
  if (!user) user = getenv("USER");
  o.str(user && *user ? user : "Unknown");
  o.str(".\r\n");

  o.dec(g_cpu_count > 0 ? g_cpu_count : 1);
  o.str(" processor(s), type ");
  o.dec(PROCESSOR_TYPE);
  o.str(".\r\n");

  struct sysinfo si;
  long long mb = 0;
  if (sysinfo(&si) == 0) {
    unsigned long long bytes = static_cast<unsigned long long>(si.totalram) * si.mem_unit;
    mb = static_cast<long long>((bytes + (1ull << 20) - 1) >> 20);
  }
  o.dec(mb);
  o.str(" MBytes physical memory.\r\n");

  if (info->code == EXC_ACCESS_VIOLATION && info->num_params >= 2) {
    o.str(info->params[0] ? "Write to" : "Read from");
    o.str(" location ");
    o.hex(info->params[1], 16);
    o.str(" caused an access violation.\r\n");
  }

  o.str("\r\nRegisters:\r\n");
  o.str("RAX="); o.hex(r.rax, 16); o.str(" CS="); o.hex(r.cs, 4);
  o.str(" RIP="); o.hex(r.rip, 16); o.str(" EFLGS="); o.hex(r.eflags, 8); o.str("\r\n");
  o.str("RBX="); o.hex(r.rbx, 16); o.str(" SS="); o.hex(r.ss, 4);
  o.str(" RSP="); o.hex(r.rsp, 16); o.str(" RBP="); o.hex(r.rbp, 16); o.str("\r\n");
  o.str("RCX="); o.hex(r.rcx, 16); o.str(" DS="); o.hex(r.ds, 4);
  o.str(" RSI="); o.hex(r.rsi, 16); o.str(" FS="); o.hex(r.fs, 4); o.str("\r\n");
  o.str("RDX="); o.hex(r.rdx, 16); o.str(" ES="); o.hex(r.es, 4);
  o.str(" RDI="); o.hex(r.rdi, 16); o.str(" GS="); o.hex(r.gs, 4); o.str("\r\n");
  o.str("R8="); o.hex(r.r8, 16); o.str(" R9="); o.hex(r.r9, 16);
  o.str(" R10="); o.hex(r.r10, 16); o.str(" R11="); o.hex(r.r11, 16); o.str("\r\n");
  o.str("R12="); o.hex(r.r12, 16); o.str(" R13="); o.hex(r.r13, 16);
  o.str(" R14="); o.hex(r.r14, 16); o.str(" R15="); o.hex(r.r15, 16); o.str("\r\n");

  o.str("Bytes at CS:RIP:\r\n");
  for (int i = 0; i < 16; ++i) {
    unsigned char b;
    if (reader.read(r.rip + i, &b, 1)) {
      o.hex(b, 2);
      o.ch(' ');
    } else {
      o.str("?? ");
    }
  }

  o.str("\r\nStack dump:\r\n");
  uintptr_t limit = r.rsp + 8192;
  if (g_main_stack_top && pthread_equal(pthread_self(), g_main_thread) && g_main_stack_top < limit &&
      g_main_stack_top > r.rsp)
    limit = g_main_stack_top;
  int count = 0;
  bool failed = false;
  for (uintptr_t a = r.rsp; a + 8 <= limit; a += 8) {
    uint64_t word;
    if (!reader.read(a, &word, 8)) {
      failed = true;
      break;
    }
    if (count % 8 == 0) {
      o.hex(a, 16);
      o.str(": ");
    }
    o.hex(word, 16);
    ++count;
    bool last = a + 16 > limit;
    o.str(count % 8 == 0 || last ? "\r\n" : " ");
  }
  if (failed) {
    if (count % 8) o.str("\r\n");
    o.str("Exception encountered during stack dump.\r\n");
  }

  o.str("\r\n\tModule list: names, addresses, sizes, time stamps and file times:\r\n");
  ModuleList ml{&o, &reader, program_path};
  dl_iterate_phdr(list_module_cb, &ml);
  o.flush();
}

void program_path_of(char* out, size_t size) {
  ssize_t n = readlink("/proc/self/exe", out, size - 1);
  out[n > 0 ? n : 0] = 0;
}

int open_report(const char* path) {
  return open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_SYNC, 0644);
}

void report_open_failed() {
  static const char msg[] = "Error creating exception report\n";
  ssize_t n = write(2, msg, sizeof msg - 1);
  (void)n;
}

// ---- Signals -------------------------------------------------------------

void fill_registers(CrashRegisters& r, const ucontext_t* uc) {
  std::memset(&r, 0, sizeof r);
#if defined(__x86_64__)
  const greg_t* g = uc->uc_mcontext.gregs;
  r.rax = g[REG_RAX]; r.rbx = g[REG_RBX]; r.rcx = g[REG_RCX]; r.rdx = g[REG_RDX];
  r.rsi = g[REG_RSI]; r.rdi = g[REG_RDI]; r.rbp = g[REG_RBP]; r.rsp = g[REG_RSP];
  r.r8 = g[REG_R8]; r.r9 = g[REG_R9]; r.r10 = g[REG_R10]; r.r11 = g[REG_R11];
  r.r12 = g[REG_R12]; r.r13 = g[REG_R13]; r.r14 = g[REG_R14]; r.r15 = g[REG_R15];
  r.rip = g[REG_RIP];
  r.eflags = g[REG_EFL];
  uint64_t csgsfs = static_cast<uint64_t>(g[REG_CSGSFS]);
  r.cs = static_cast<uint16_t>(csgsfs);
  r.gs = static_cast<uint16_t>(csgsfs >> 16);
  r.fs = static_cast<uint16_t>(csgsfs >> 32);
#else
  (void)uc;
#endif
}

uint32_t exception_code_of(int sig, int code) {
  switch (sig) {
    case SIGSEGV: return EXC_ACCESS_VIOLATION;
    case SIGBUS: return code == BUS_ADRALN ? EXC_DATATYPE_MISALIGNMENT : EXC_IN_PAGE_ERROR;
    case SIGILL: return code == ILL_PRVOPC || code == ILL_PRVREG ? EXC_PRIV_INSTRUCTION : EXC_ILLEGAL_INSTRUCTION;
    case SIGFPE:
      switch (code) {
        case FPE_INTDIV: return EXC_INT_DIVIDE_BY_ZERO;
        case FPE_INTOVF: return EXC_INT_OVERFLOW;
        case FPE_FLTDIV: return EXC_FLT_DIVIDE_BY_ZERO;
        case FPE_FLTOVF: return 0xC0000091;
        case FPE_FLTUND: return 0xC0000093;
        case FPE_FLTRES: return 0xC000008F;
        case FPE_FLTSUB: return 0xC000008C;
        default: return EXC_FLT_INVALID_OPERATION;
      }
    case SIGABRT: return EXC_NONCONTINUABLE;
    default: return 0;
  }
}

constexpr int CRASH_SIGNALS[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};

// Lets the signal end the process as it would have without us: once the
// handler returns, the re-raised signal is delivered with its default action.
void end_by_signal(int sig) {
  signal(sig, SIG_DFL);
  raise(sig);
}

void wait_for_report() {
  for (int waited = 0; waited < REPORT_WAIT_MS && !g_report_done.load(); waited += 5) {
    timespec ts{0, 5000000L};
    nanosleep(&ts, nullptr);
  }
}

void crash_signal_handler(int sig, siginfo_t* si, void* context) {
  long self = syscall(SYS_gettid);
  long expected = 0;
  if (!g_writer_tid.compare_exchange_strong(expected, self)) {
    // A fault inside our own report ends the process at once; a fault on
    // another thread waits until the report is whole.
    if (expected != self) wait_for_report();
    end_by_signal(sig);
    return;
  }
  // Should the report itself hang (a fault while the loader held its lock,
  // say), the process still ends.
  alarm(REPORT_WAIT_MS / 1000);

  CrashInfo info{};
  info.code = exception_code_of(sig, si ? si->si_code : 0);
  fill_registers(info.regs, static_cast<const ucontext_t*>(context));
  // Only a fault the kernel raised has an address; a SIGSEGV sent by
  // another process carries its sender there instead.
  if (sig == SIGSEGV && si && si->si_code > 0) {
    info.num_params = 2;
#if defined(__x86_64__)
    // Bit 1 of the page-fault error code tells a write from a read.
    const ucontext_t* uc = static_cast<const ucontext_t*>(context);
    info.params[0] = (uc->uc_mcontext.gregs[REG_ERR] & 2) ? 1 : 0;
#endif
    info.params[1] = reinterpret_cast<uintptr_t>(si->si_addr);
    // A fault right at the stack pointer is the stack running into its
    // guard page: report it as the stack overflow it is.
    uintptr_t addr = info.params[1], sp = info.regs.rsp;
    uintptr_t distance = addr > sp ? addr - sp : sp - addr;
    if (distance <= STACK_FAULT_REACH) {
      info.code = EXC_STACK_OVERFLOW;
      info.num_params = 0;
    }
  }

  char name[128];
  if (pthread_equal(pthread_self(), g_main_thread)) {
    copy_text(name, sizeof name, g_thread_name);
  } else {
    char kname[17] = {};
    prctl(PR_GET_NAME, kname, 0, 0, 0);
    copy_text(name, sizeof name, kname[0] ? kname : "Unknown Thread");
  }
  crash_report_write(&info, name);
  g_report_done = true;
  end_by_signal(sig);
}

alignas(16) unsigned char g_alt_stack[64 * 1024];
// Appends one report to the file; a file that cannot be opened is said on
// stderr and the crash goes on as it would without a report.
int write_report_file(const char* report_path, const char* program_path, const CrashInfo* info,
                      const char* thread_name) {
  int fd = open_report(report_path);
  if (fd < 0) {
    report_open_failed();
    return 0;
  }
  write_report(fd, program_path, info, thread_name);
  close(fd);
  return 0;
}

}  // namespace

const char* exception_name(uint32_t code) {
  for (const ExceptionRow& row : EXCEPTION_TABLE)
    if (row.code == code) return row.text;
  return "Unknown exception type";
}

int crash_report_write(const CrashInfo* info, const char* thread_name) {
  if (g_report_written.exchange(true)) return 0;
  char program_path[1024];
  program_path_of(program_path, sizeof program_path);
  char report_path[1100];
  copy_text(report_path, sizeof report_path, program_path);
  char* slash = std::strrchr(report_path, '/');
  if (slash) copy_text(slash + 1, sizeof report_path - static_cast<size_t>(slash + 1 - report_path), "errorlog.txt");
  else copy_text(report_path, sizeof report_path, "errorlog.txt");
  if (g_report_path_override[0]) copy_text(report_path, sizeof report_path, g_report_path_override);
  return write_report_file(report_path, program_path, info, thread_name);
}

int crash_report_write_to(const char* report_path, const CrashInfo* info, const char* thread_name) {
  char program_path[1024];
  program_path_of(program_path, sizeof program_path);
  return write_report_file(report_path, program_path, info, thread_name);
}

void crash_report_set_path(const char* report_path) {
  copy_text(g_report_path_override, sizeof g_report_path_override, report_path ? report_path : "");
}

void crash_report_install(const char* thread_name) {
  copy_text(g_thread_name, sizeof g_thread_name, thread_name);
  g_main_thread = pthread_self();

  // What the handler may not look up itself.
  tzset();
  time_t now = time(nullptr);
  struct tm lt;
  if (localtime_r(&now, &lt)) g_utc_offset = lt.tm_gmtoff;
  g_cpu_count = static_cast<int>(sysconf(_SC_NPROCESSORS_ONLN));
  struct passwd pw;
  struct passwd* found = nullptr;
  char pwbuf[4096];
  if (getpwuid_r(getuid(), &pw, pwbuf, sizeof pwbuf, &found) == 0 && found && found->pw_name)
    copy_text(g_user, sizeof g_user, found->pw_name);
  if (!g_user[0]) {
    if (const char* u = getenv("USER")) copy_text(g_user, sizeof g_user, u);
  }
  pthread_attr_t attr;
  if (pthread_getattr_np(pthread_self(), &attr) == 0) {
    void* addr = nullptr;
    size_t size = 0;
    if (pthread_attr_getstack(&attr, &addr, &size) == 0)
      g_main_stack_top = reinterpret_cast<uintptr_t>(addr) + size;
    pthread_attr_destroy(&attr);
  }

  if (!g_installed) {
    stack_t ss{};
    ss.ss_sp = g_alt_stack;
    ss.ss_size = sizeof g_alt_stack;
    sigaltstack(&ss, nullptr);
    g_installed = true;
  }
  struct sigaction sa{};
  sa.sa_sigaction = crash_signal_handler;
  // Not reset on entry: a second thread that faults while the report is
  // written must reach the handler too, to wait for it.
  sa.sa_flags = SA_SIGINFO | SA_ONSTACK;
  sigemptyset(&sa.sa_mask);
  for (int sig : CRASH_SIGNALS) sigaction(sig, &sa, nullptr);
}
