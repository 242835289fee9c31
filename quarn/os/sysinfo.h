#pragma once
// The machine report behind the console command "sysinfo": processor vendor,
// family, extensions and clock speed, physical memory, and optionally the
// memory copy speed.
#include <cstdint>

class TextBuffer;

#define CPU_NAME_LEN 64

// Processor detection. Every output starts at 0; name (at least
// CPU_NAME_LEN bytes) and speed (MHz, measured over 100 ms) may be null.
void os_get_cpu_info(int* family, int* mmx, int* amd3d, int* katmai, int* tsc, char* name,
                     int* speed);

// What the processor answered; split out so that the naming rules can be
// checked for processors other than the one running.
struct CpuidResult {
  bool has_cpuid = false;
  char vendor[13] = {};
  uint32_t signature = 0;     // leaf 1 EAX
  uint32_t features = 0;      // leaf 1 EDX
  uint32_t max_extended = 0;  // leaf 0x80000000 EAX
  uint32_t ext_features = 0;  // leaf 0x80000001 EDX
  char brand[49] = {};        // leaves 0x80000002..4
};
struct CpuInfo {
  int family = 0;
  int mmx = 0;
  int amd3d = 0;
  int katmai = 0;
  int tsc = 0;
  char name[CPU_NAME_LEN] = {};
};
CpuidResult cpu_read_cpuid();
CpuInfo cpu_info_from_cpuid(const CpuidResult& id);
// Cycles counted over 100 ms to MHz, rounded as the game does.
int cpu_speed_from_cycles(uint32_t cycles_per_100ms);
// 256 KB copies done in the given time to megabytes per second.
int ram_mb_per_second(uint64_t copies, double seconds);
// Bytes of physical memory to MB rounded to the nearest multiple of 4.
int ram_mb_rounded(uint64_t bytes);

// Appends "CPU Type", "CPU Speed", "CPU Extensions", "Total RAM" and, when
// asked, "RAM Speed" (a one-second copy test) lines.
void os_print_sysinfo(TextBuffer& buffer, bool measure_ram);
