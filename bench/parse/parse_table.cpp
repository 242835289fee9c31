// Reading a large table: every record is a handful of typed fields, as in the
// item and character tables. The parser should cost pointer movement only,
// so throughput is reported in bytes per second.
#include <benchmark/benchmark.h>

#include <string>

#include "quarn/math/vector.h"
#include "quarn/parse/parse.h"

namespace {

std::string make_table(int records) {
  std::string t = "// generated\r\n#Items\r\n";
  for (int i = 0; i < records; i++) {
    t += "$Name: \"Item " + std::to_string(i) + "\"\r\n";
    t += "$Cost: " + std::to_string(i * 7) + "\r\n";
    t += "$Weight: " + std::to_string(i % 50) + ".25\r\n";
    t += "+Offset: <1.5, -2.25, " + std::to_string(i % 9) + ".0>\r\n";
    t += "$Slots: (1 2 0x10 4)\r\n";
    t += "/* comment */ +Magic: yes\r\n";
  }
  t += "#End\r\n";
  return t;
}

void BM_ParseItemTable(benchmark::State& state) {
  std::string table = make_table(static_cast<int>(state.range(0)));
  char name[64];
  int32_t slots[8];
  for (auto _ : state) {
    ParseContext pc;
    pc.open_memory("items.tbl", table.data(), table.size());
    pc.require_string("#Items");
    int64_t sum = 0;
    while (pc.optional_string("$Name:")) {
      pc.read_string(name, sizeof name);
      pc.require_string("$Cost:");
      sum += pc.read_int();
      pc.require_string("$Weight:");
      sum += static_cast<int64_t>(pc.read_float());
      if (pc.optional_string("+Offset:")) {
        vector v;
        pc.read_vector(v);
      }
      pc.require_string("$Slots:");
      sum += pc.read_int_list(slots, 8);
      if (pc.optional_string("+Magic:")) sum += pc.read_bool();
    }
    pc.require_string("#End");
    benchmark::DoNotOptimize(sum);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(table.size()));
}
BENCHMARK(BM_ParseItemTable)->Arg(1000)->Arg(10000);

void BM_FindStringInLargeTable(benchmark::State& state) {
  std::string table = make_table(10000);
  ParseContext pc;
  pc.open_memory("items.tbl", table.data(), table.size());
  for (auto _ : state) {
    pc.rewind();
    benchmark::DoNotOptimize(pc.find_string("$Name: \"Item 9999\""));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(table.size()));
}
BENCHMARK(BM_FindStringInLargeTable);

}  // namespace
