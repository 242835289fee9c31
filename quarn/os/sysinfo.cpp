#include "quarn/os/sysinfo.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <x86intrin.h>
#endif

#include "quarn/os/console.h"
#include "quarn/os/memory.h"
#include "quarn/os/textbuffer.h"

namespace {

uint32_t now_ms() {
  using namespace std::chrono;
  return static_cast<uint32_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

// Cycles of the time-stamp counter over 100 ms of busy-waiting, repeated
// when the low 32 bits wrapped in between.
uint32_t measure_tsc_cycles() {
#if defined(__x86_64__) || defined(__i386__)
  uint32_t first, second;
  do {
    uint32_t end = now_ms() + 100;
    first = static_cast<uint32_t>(__rdtsc());
    while (static_cast<int32_t>(now_ms() - end) < 0) {
    }
    second = static_cast<uint32_t>(__rdtsc());
  } while (second < first);
  return second - first;
#else
  return 0;
#endif
}

// Hands the lines of a /proc file to take until it says it found what it
// looked for; a file that cannot be read has no lines.
template <class Take>
void scan_proc_file(const char* path, Take take) {
  FILE* f = fopen(path, "r");
  if (!f) return;
  char line[256];
  while (fgets(line, sizeof line, f)) {
    if (take(line)) break;
  }
  fclose(f);
}

// The kernel's idea of the clock ("cpu MHz" of the first processor), in MHz;
// 0 when it does not say.
double proc_cpu_mhz() {
  double mhz = 0.0;
  scan_proc_file("/proc/cpuinfo", [&](const char* line) {
    if (strncmp(line, "cpu MHz", 7) != 0) return false;
    const char* colon = strchr(line, ':');
    if (colon) mhz = atof(colon + 1);
    return true;
  });
  return mhz;
}

uint64_t proc_total_ram() {
  uint64_t kb = 0;
  scan_proc_file("/proc/meminfo", [&](const char* line) {
    unsigned long long v;
    if (sscanf(line, "MemTotal: %llu kB", &v) != 1) return false;
    kb = v;
    return true;
  });
  return kb * 1024;
}

void cmd_sysinfo() {
  if (Console_help) {
    console_output("Shows system info");
    console_output("\n");
    return;
  }
  if (!Console_run) return;
  char text[2048];
  TextBuffer buffer(text, sizeof text);
  os_print_sysinfo(buffer, true);
  console_output(buffer.text());
}

}  // namespace

ConsoleCommand Cc_sysinfo("sysinfo", "Shows system info", cmd_sysinfo);

CpuidResult cpu_read_cpuid() {
  CpuidResult r;
#if defined(__x86_64__) || defined(__i386__)
  unsigned a, b, c, d;
  if (!__get_cpuid(0, &a, &b, &c, &d)) return r;
  r.has_cpuid = true;
  memcpy(r.vendor, &b, 4);
  memcpy(r.vendor + 4, &d, 4);
  memcpy(r.vendor + 8, &c, 4);
  r.vendor[12] = '\0';
  if (a >= 1 && __get_cpuid(1, &a, &b, &c, &d)) {
    r.signature = a;
    r.features = d;
  }
  r.max_extended = __get_cpuid_max(0x80000000u, nullptr);
  if (r.max_extended >= 0x80000001u && __get_cpuid(0x80000001u, &a, &b, &c, &d)) r.ext_features = d;
  if (r.max_extended >= 0x80000004u) {
    for (unsigned i = 0; i < 3; i++) {
      __get_cpuid(0x80000002u + i, &a, &b, &c, &d);
      memcpy(r.brand + 16 * i, &a, 4);
      memcpy(r.brand + 16 * i + 4, &b, 4);
      memcpy(r.brand + 16 * i + 8, &c, 4);
      memcpy(r.brand + 16 * i + 12, &d, 4);
    }
    r.brand[48] = '\0';
  }
#endif
  return r;
}

CpuInfo cpu_info_from_cpuid(const CpuidResult& id) {
  CpuInfo info;
  uint32_t signature = id.has_cpuid ? id.signature : 0x400;
  uint32_t features = id.has_cpuid ? id.features : 0;
  info.family = static_cast<int>((signature >> 8) & 0xf);
  if (info.family < 5) {
    info.family = 4;
    snprintf(info.name, sizeof info.name, "Not Pentium Compatible");
    return info;
  }
  info.tsc = (features >> 4) & 1;
  info.mmx = (features >> 23) & 1;
  info.katmai = info.family > 5 ? static_cast<int>((features >> 25) & 1) : 0;
  if (strcmp(id.vendor, "AuthenticAMD") == 0) {
    if (id.max_extended < 0x80000005u) {
      snprintf(info.name, sizeof info.name, "AMD-K%d, MMX:%s", info.family, info.mmx ? "Yes" : "No");
    } else {
      info.amd3d = static_cast<int>((id.ext_features >> 31) & 1);
      snprintf(info.name, sizeof info.name, "%.48s", id.brand);
    }
  } else if (strcmp(id.vendor, "GenuineIntel") == 0) {
    if (info.family == 5) {
      snprintf(info.name, sizeof info.name, "Intel Pentium%s", info.mmx ? " w/ MMX" : "");
    } else if (info.family == 6) {
      snprintf(info.name, sizeof info.name, "%s",
               info.katmai ? "Intel Pentium III"
                           : (info.mmx ? "Intel Pentium II w/ MMX" : "Intel Pentium Pro"));
    } else {
      snprintf(info.name, sizeof info.name, "Intel i%d86", info.family);
    }
  } else {
    snprintf(info.name, sizeof info.name, info.mmx ? "%d86 w/ MMX Compatible" : "%d86 Compatible",
             info.family);
  }
  return info;
}

int cpu_speed_from_cycles(uint32_t cycles) {
  // Rounded to the nearest 1,666,667 cycles per 100 ms (16.7 MHz steps);
  // 64-bit so that a fast clock cannot overflow.
  int64_t c = static_cast<int64_t>(cycles);
  int64_t mhz = ((c + 833333) / 1666667) * 1666667 / 100000;
  return mhz > INT32_MAX ? INT32_MAX : static_cast<int>(mhz);
}

int ram_mb_per_second(uint64_t copies, double seconds) {
  // Each copy moves a quarter of a megabyte.
  if (seconds <= 0.0) return 0;
  double mb = static_cast<double>(copies) / 4.0 / seconds;
  return mb > INT32_MAX ? INT32_MAX : static_cast<int>(mb);
}

int ram_mb_rounded(uint64_t bytes) {
  return static_cast<int>(((bytes + (2u << 20)) >> 22) * 4);
}

void os_get_cpu_info(int* family, int* mmx, int* amd3d, int* katmai, int* tsc, char* name,
                     int* speed) {
  CpuInfo info = cpu_info_from_cpuid(cpu_read_cpuid());
  if (family) *family = info.family;
  if (mmx) *mmx = info.mmx;
  if (amd3d) *amd3d = info.amd3d;
  if (katmai) *katmai = info.katmai;
  if (tsc) *tsc = info.tsc;
  if (name) snprintf(name, CPU_NAME_LEN, "%s", info.name);
  if (speed) {
    *speed = 0;
    if (info.tsc) {
      // The kernel already knows the clock; counting cycles for 100 ms is the
      // fallback when it does not say.
      double mhz = proc_cpu_mhz();
      uint32_t cycles = mhz > 0.0 && mhz < 40000.0 ? static_cast<uint32_t>(mhz * 100000.0)
                                                    : measure_tsc_cycles();
      *speed = cpu_speed_from_cycles(cycles);
    }
  }
}

void os_print_sysinfo(TextBuffer& buffer, bool measure_ram) {
  int family, mmx, amd3d, katmai, tsc, speed;
  char name[CPU_NAME_LEN];
  os_get_cpu_info(&family, &mmx, &amd3d, &katmai, &tsc, name, &speed);
  buffer.printf("CPU Type: %s\n", name);
  buffer.printf("CPU Speed: %d Mhz\n", speed);
  char ext[64] = "";
  if (family > 5) strcat(ext, "[PPro] ");
  if (mmx) strcat(ext, "[MMX] ");
  if (amd3d) strcat(ext, "[3DNow] ");
  if (katmai) strcat(ext, "[Katmai] ");
  buffer.printf("CPU Extensions: %s\n", ext);
  char ram[32];
  snprintf(ram, sizeof ram, "%d MB", ram_mb_rounded(proc_total_ram()));
  buffer.printf("Total RAM: %s\n", ram);

  if (measure_ram) {
    const size_t block = 4u << 20;
    const size_t chunk = 256u << 10;
    // From the heap, whatever arena is current: the blocks are freed again.
    MemArena* arena = mem_get_arena();
    mem_set_arena(nullptr);
    char* dst = static_cast<char*>(mem_alloc(block));
    char* src = static_cast<char*>(mem_alloc(block));
    mem_set_arena(arena);
    memset(src, 0x5a, block);
    memset(dst, 0, block);
    using clock = std::chrono::steady_clock;
    uint32_t end = now_ms() + 1000;
    uint64_t copies = 0;
    auto t0 = clock::now();
    while (static_cast<int32_t>(now_ms() - end) < 0) {
      memcpy(dst, src, chunk);
      // Keeps the copy from being optimised away.
      asm volatile("" : : "r"(dst) : "memory");
      copies++;
    }
    double seconds = std::chrono::duration<double>(clock::now() - t0).count();
    mem_free(src);
    mem_free(dst);
    buffer.printf("RAM Speed: %d MB/s\n", ram_mb_per_second(copies, seconds));
  }
}
