#include "quarn/os/sysinfo.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "quarn/os/console.h"
#include "quarn/os/textbuffer.h"

namespace {

CpuidResult make(const char* vendor, uint32_t family, uint32_t features, uint32_t max_ext = 0,
                 uint32_t ext = 0, const char* brand = "") {
  CpuidResult r;
  r.has_cpuid = true;
  snprintf(r.vendor, sizeof r.vendor, "%s", vendor);
  r.signature = family << 8;
  r.features = features;
  r.max_extended = max_ext;
  r.ext_features = ext;
  snprintf(r.brand, sizeof r.brand, "%s", brand);
  return r;
}

constexpr uint32_t TSC = 1u << 4, MMX = 1u << 23, SSE = 1u << 25;

}  // namespace

TEST(Sysinfo, ProcessorNames) {
  struct Case {
    CpuidResult id;
    const char* name;
    int family, mmx, amd3d, katmai, tsc;
  } cases[] = {
      {CpuidResult{}, "Not Pentium Compatible", 4, 0, 0, 0, 0},
      {make("GenuineIntel", 4, TSC | MMX), "Not Pentium Compatible", 4, 0, 0, 0, 0},
      {make("GenuineIntel", 5, TSC), "Intel Pentium", 5, 0, 0, 0, 1},
      {make("GenuineIntel", 5, TSC | MMX | SSE), "Intel Pentium w/ MMX", 5, 1, 0, 0, 1},
      {make("GenuineIntel", 6, TSC | MMX | SSE), "Intel Pentium III", 6, 1, 0, 1, 1},
      {make("GenuineIntel", 6, TSC | MMX), "Intel Pentium II w/ MMX", 6, 1, 0, 0, 1},
      {make("GenuineIntel", 6, TSC), "Intel Pentium Pro", 6, 0, 0, 0, 1},
      {make("GenuineIntel", 15, TSC | MMX | SSE), "Intel i1586", 15, 1, 0, 1, 1},
      {make("AuthenticAMD", 5, TSC | MMX, 0x80000001u), "AMD-K5, MMX:Yes", 5, 1, 0, 0, 1},
      {make("AuthenticAMD", 6, TSC, 0x80000008u, 1u << 31, "AMD Athlon(tm) Processor"),
       "AMD Athlon(tm) Processor", 6, 0, 1, 0, 1},
      {make("CyrixInstead", 5, MMX), "586 w/ MMX Compatible", 5, 1, 0, 0, 0},
      {make("Other", 6, 0), "686 Compatible", 6, 0, 0, 0, 0},
  };
  for (const Case& c : cases) {
    CpuInfo info = cpu_info_from_cpuid(c.id);
    EXPECT_STREQ(info.name, c.name) << c.name;
    EXPECT_EQ(info.family, c.family) << c.name;
    EXPECT_EQ(info.mmx, c.mmx) << c.name;
    EXPECT_EQ(info.amd3d, c.amd3d) << c.name;
    EXPECT_EQ(info.katmai, c.katmai) << c.name;
    EXPECT_EQ(info.tsc, c.tsc) << c.name;
  }
}

TEST(Sysinfo, SpeedAndMemoryRounding) {
  EXPECT_EQ(cpu_speed_from_cycles(0), 0);
  EXPECT_EQ(cpu_speed_from_cycles(45000000), 450);    // 450 MHz
  EXPECT_EQ(cpu_speed_from_cycles(49999990), 500);    // rounds to the 16.7 MHz step
  EXPECT_EQ(cpu_speed_from_cycles(300000000), 3000);  // 3 GHz
  EXPECT_EQ(cpu_speed_from_cycles(0xffffffffu), 42950);  // no overflow
  // Megabytes, not the count of 256 KB copies.
  EXPECT_EQ(ram_mb_per_second(4000, 1.0), 1000);
  EXPECT_EQ(ram_mb_per_second(4000, 2.0), 500);
  EXPECT_EQ(ram_mb_per_second(10, 0.0), 0);
  EXPECT_EQ(ram_mb_rounded(0), 0);
  EXPECT_EQ(ram_mb_rounded(64ull << 20), 64);
  EXPECT_EQ(ram_mb_rounded((66ull << 20) - 1), 64);
  EXPECT_EQ(ram_mb_rounded(66ull << 20), 68);
  EXPECT_EQ(ram_mb_rounded(16ull << 30), 16384);
}

TEST(Sysinfo, ThisMachine) {
  int family = -1, mmx = -1, amd3d = -1, katmai = -1, tsc = -1, speed = -1;
  char name[CPU_NAME_LEN];
  os_get_cpu_info(&family, &mmx, &amd3d, &katmai, &tsc, name, &speed);
  EXPECT_GE(family, 4);
  EXPECT_GT(strlen(name), 0u);
#if defined(__x86_64__)
  EXPECT_EQ(mmx, 1);  // every x86-64 processor has it
  EXPECT_GT(speed, 0);
#endif
  // Outputs may be left out.
  os_get_cpu_info(&family, &mmx, &amd3d, &katmai, &tsc, nullptr, nullptr);

  char text[2048];
  TextBuffer buf(text, sizeof text);
  os_print_sysinfo(buf, false);
  std::string s = buf.text();
  EXPECT_EQ(s.rfind(std::string("CPU Type: ") + name + "\nCPU Speed: ", 0), 0u) << s;
  EXPECT_NE(s.find(" Mhz\nCPU Extensions: "), std::string::npos) << s;
  EXPECT_NE(s.find("\nTotal RAM: "), std::string::npos) << s;
  EXPECT_EQ(s.find("RAM Speed"), std::string::npos) << s;
}

namespace {
std::string Console_text;
void capture(const char* t) { Console_text += t; }
}  // namespace

TEST(Sysinfo, ConsoleCommandMeasuresMemoryToo) {
  console_set_output_hook(capture);
  Console_text.clear();
  console_execute("help sysinfo");
  EXPECT_EQ(Console_text, "Shows system info\n");
  Console_text.clear();
  ASSERT_EQ(console_execute("sysinfo"), 0);
  console_set_output_hook(nullptr);
  int mb_per_s = -1;
  size_t at = Console_text.find("RAM Speed: ");
  ASSERT_NE(at, std::string::npos) << Console_text;
  mb_per_s = atoi(Console_text.c_str() + at + 11);
  // Real megabytes per second: any machine that runs this copies well over
  // 100 MB/s and far below 1 TB/s.
  EXPECT_GT(mb_per_s, 100);
  EXPECT_LT(mb_per_s, 1000000);
  EXPECT_NE(Console_text.find(" MB/s\n"), std::string::npos);
}
