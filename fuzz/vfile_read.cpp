// Arbitrary reads, seeks and typed reads through a FileHandle over arbitrary
// file bytes: every raw read must deliver exactly the file's bytes at the
// position, never more than asked, and a failed read must leave an error.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "quarn/math/matrix.h"
#include "quarn/math/quaternion.h"
#include "quarn/math/vector.h"
#include "quarn/vfile/vfile.h"

namespace {

uint32_t take(const uint8_t*& p, const uint8_t* end, int bytes) {
  uint32_t v = 0;
  for (int i = 0; i < bytes && p < end; ++i) v |= static_cast<uint32_t>(*p++) << (8 * i);
  return v;
}

}  // namespace

static char g_dir[64];

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::snprintf(g_dir, sizeof g_dir, "/dev/shm/fuzz_vfile_%d", static_cast<int>(getpid()));
  if (mkdir(g_dir, 0700) != 0) std::abort();
  std::atexit([] {
    unlink((std::string(g_dir) + "/f.bin").c_str());
    rmdir(g_dir);
  });
  const char* dir = g_dir;
  vfile_set_root(dir, false);
  vfile_add_path_type("", ".bin");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  size_t nops = data[0] % 24;
  if (nops * 3 + 1 > size) nops = (size - 1) / 3;
  const uint8_t* ops = data + 1;
  const uint8_t* ops_end = ops + nops * 3;
  // The file: the rest of the input, repeated so that reads cross the 32 KB
  // buffer and take the direct path too.
  std::string file;
  size_t body = size - 1 - nops * 3;
  size_t repeat = body ? 1 + (data[0] / 24) * 700 / (body + 1) : 0;
  for (size_t r = 0; r < repeat; ++r) file.append(reinterpret_cast<const char*>(ops_end), body);
  char path[VFILE_MAX_PATH];
  vfile_build_path(0, "f.bin", path);
  FILE* fp = std::fopen(path, "wb");
  if (!fp) return 0;
  std::fwrite(file.data(), 1, file.size(), fp);
  std::fclose(fp);

  FileHandle fh;
  if (fh.open("f.bin", VF_READ, 0) != 0) std::abort();
  if (fh.size() != static_cast<int>(file.size())) std::abort();
  std::vector<uint8_t> buf(70000);
  const uint8_t* p = ops;
  while (p + 3 <= ops_end) {
    uint8_t op = *p++;
    uint32_t arg = take(p, ops_end, 2);
    int pos = fh.tell();
    bool had_error = fh.error() != 0;
    switch (op % 10) {
      case 0: {
        int n = static_cast<int>(arg % 70000);
        int got = fh.read(buf.data(), n);
        if (got < 0 || got > n) std::abort();
        if (had_error && got != 0) std::abort();
        if (got > 0 && std::memcmp(buf.data(), file.data() + pos, static_cast<size_t>(got)) != 0) std::abort();
        if (got < n && fh.error() == 0) std::abort();
        break;
      }
      case 1: fh.seek(static_cast<int>(arg) - 1000, op / 10 % 3); break;
      case 2: fh.read_int(); break;
      case 3: { vector v; fh.read_vector(&v); break; }
      case 4: { matrix m; fh.read_matrix(&m); break; }
      case 5: { quaternion q; fh.read_quaternion(&q); break; }
      case 6: {
        char s[40];
        fh.read_counted_string(s, 1 + static_cast<int>(arg % 39));
        if (std::strlen(s) >= 40) std::abort();
        break;
      }
      case 7: {
        char s[40];
        fh.read_string(s, 1 + static_cast<int>(arg % 39));
        if (std::strlen(s) >= 40) std::abort();
        break;
      }
      case 8: {
        char s[40];
        int n = fh.read_line(s, 1 + static_cast<int>(arg % 39));
        if (n < 0 || n >= 40 || static_cast<size_t>(n) != std::strlen(s)) std::abort();
        break;
      }
      case 9: {
        TextString t;
        fh.read_text_string(&t);
        fh.set_version(static_cast<int>(arg % 3));
        fh.read_short(1, 0);
        break;
      }
    }
  }
  fh.close();
  return 0;
}
