// Feeds arbitrary bytes to the packfile directory reader as if they were a
// mounted .vpp: it must refuse bad files with a message, never crash; the
// bytes of every member it accepts lie inside the file, and each is found by
// name.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "quarn/os/error.h"
#include "quarn/vfile/packfile/file_packfile.h"

namespace {

struct Fatal : std::runtime_error {
  using std::runtime_error::runtime_error;
};

void throw_fatal(const char*, int, const char* text, const char*) { throw Fatal(text); }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  critical_error_set_handler(throw_fatal);
  if (!std::freopen("/dev/null", "w", stdout)) {
    std::abort();
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) {
    return 0;
  }
  FILE* fp = fmemopen(const_cast<uint8_t*>(data), size, "rb");
  if (!fp) {
    return 0;
  }
  PackfileRecord rec{};
  std::strcpy(rec.name, "fuzz.vpp");
  try {
    int n = packfile_read_directory(fp, &rec, static_cast<long>(size));
    if (n > 0) {
      if (rec.num_files != n || packfile_num_files() != n) {
        std::abort();
      }
      for (int i = 0; i < n; ++i) {
        PackfileEntry* e = &rec.first[i];
        long long end = static_cast<long long>(e->start_sector) * PACKFILE_SECTOR_SIZE + e->size;
        // An empty member reads nothing; it may start past an unpadded end.
        if (e->size < 0 || (e->size > 0 && end > static_cast<long long>(size))) {
          std::abort();
        }
        if (std::strpbrk(e->name, "\\/")) {
          continue;  // lookup is by bare name, so such a member is never found
        }
        PackfileEntry* found = packfile_find(e->name);
        if (!found || found > e) {
          std::abort();  // the first member of a name must answer
        }
      }
    }
  } catch (const Fatal&) {
    // Capacity limits of the game end it with a message; that is no crash.
  }
  std::fclose(fp);
  packfile_shutdown();
  return 0;
}
