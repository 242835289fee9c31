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

// The strongest plain form of the same work: one pointer over the text, the
// same grammar (blanks and both kinds of comment skipped with lines counted,
// literals matched without regard to case, decimal and hexadecimal integers,
// decimals, quoted strings, vectors, lists, yes/no), each step written out by
// hand for this table with nothing else: no error reports, no positions saved,
// no general entry points.
struct PlainTokenizer {
  const char* p;
  int line = 1;

  static char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }
  void skip() {
    for (;;) {
      const char c = *p;
      if (c == ' ' || c == '\t') {
        p++;
      } else if (c == '\r') {
        line++;
        p++;
        if (*p == '\n') p++;
      } else if (c == '\n') {
        line++;
        p++;
      } else if (c == '/' && p[1] == '/') {
        while (*p && *p != '\r' && *p != '\n') p++;
      } else if (c == '/' && p[1] == '*') {
        p += 2;
        while (*p && !(p[0] == '*' && p[1] == '/')) line += *p++ == '\n';
        if (*p) p += 2;
      } else {
        return;
      }
    }
  }
  template <size_t N>
  bool lit(const char (&text)[N]) {
    skip();
    for (size_t i = 0; i + 1 < N; i++)
      if (lower(p[i]) != lower(text[i])) return false;
    p += N - 1;
    return true;
  }
  uint32_t digits() {
    uint32_t v = 0;
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
      for (p += 2;; p++) {
        const char c = *p;
        if (c >= '0' && c <= '9') v = v * 16 + static_cast<uint32_t>(c - '0');
        else if ((c | 32) >= 'a' && (c | 32) <= 'f') v = v * 16 + static_cast<uint32_t>((c | 32) - 'a' + 10);
        else break;
      }
    } else {
      while (*p >= '0' && *p <= '9') v = v * 10 + static_cast<uint32_t>(*p++ - '0');
    }
    return v;
  }
  int32_t integer() {
    skip();
    const bool neg = *p == '-';
    p += neg;
    const uint32_t v = digits();
    return static_cast<int32_t>(neg ? 0u - v : v);
  }
  float decimal() {
    skip();
    const bool neg = *p == '-';
    p += neg;
    double v = static_cast<int32_t>(digits()), scale = 0.1;
    if (*p == '.')
      for (p++; *p >= '0' && *p <= '9'; p++, scale *= 0.1) v += (*p - '0') * scale;
    return static_cast<float>(neg ? -v : v);
  }
  void string(char* out, size_t cap) {
    skip();
    p++;  // the opening quote
    size_t n = 0;
    while (*p && *p != '"') {
      if (n + 1 < cap) out[n++] = *p;
      p++;
    }
    out[n] = '\0';
    if (*p) p++;
  }
};

void BM_PlainTokenizerItemTable(benchmark::State& state) {
  std::string table = make_table(static_cast<int>(state.range(0)));
  char name[64];
  for (auto _ : state) {
    PlainTokenizer t{table.c_str()};
    t.lit("#Items");
    int64_t sum = 0;
    while (t.lit("$Name:")) {
      t.string(name, sizeof name);
      t.lit("$Cost:");
      sum += t.integer();
      t.lit("$Weight:");
      sum += static_cast<int64_t>(t.decimal());
      if (t.lit("+Offset:")) {
        t.skip();
        t.p++;  // <
        float v[3];
        for (int k = 0; k < 3; k++) {
          v[k] = t.decimal();
          t.skip();
          t.p++;  // , or >
        }
        benchmark::DoNotOptimize(v);
      }
      t.lit("$Slots:");
      t.skip();
      t.p++;  // (
      int n = 0;
      for (t.skip(); *t.p != ')'; t.skip()) sum += t.integer(), n++;
      t.p++;
      sum += n;
      if (t.lit("+Magic:")) sum += t.lit("yes") || t.lit("true");
    }
    t.lit("#End");
    benchmark::DoNotOptimize(sum);
    benchmark::DoNotOptimize(t.line);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(table.size()));
}
BENCHMARK(BM_PlainTokenizerItemTable)->Arg(1000)->Arg(10000);

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
