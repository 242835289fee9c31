// The registry file as anyone may have left it: it is read, a value is
// written over it, and the value must read back unchanged. A damaged file is
// reported and taken as empty; nothing may crash or read outside the text.
#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "quarn/platform/registry.h"

namespace {

std::string File_path;

void write_file(const uint8_t* data, size_t size) {
  FILE* f = fopen(File_path.c_str(), "wb");
  if (!f) abort();
  if (size) fwrite(data, 1, size, f);
  fclose(f);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (File_path.empty()) {
    const char* dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    File_path = std::string(dir) + "/fuzz_registry_" + std::to_string(getpid()) + ".txt";
    reg_set_file_path(File_path.c_str());
    atexit([] {
      unlink(File_path.c_str());
      unlink((File_path + ".damaged").c_str());
    });
  }
  write_file(data, size);

  // The damage report goes to stderr; keep it out of the fuzzer's output.
  int saved = dup(2);
  int null_fd = open("/dev/null", O_WRONLY);
  dup2(null_fd, 2);

  RegKey key;
  char buf[64];
  uint32_t type, n;
  const char* paths[] = {"Software\\Quorvane\\Orrimund Demo", "software", "", "A\\B"};
  for (int hive = 0; hive < REG_HIVE_COUNT; hive++) {
    for (const char* p : paths) {
      if (reg_open_key(hive, p, &key) != REG_OK) continue;
      for (const char* name : {"", "CmdLineOptions", "a", "Width"}) {
        n = sizeof buf;
        reg_query_value(&key, name, &type, buf, &n);
      }
    }
  }

  // Whatever was there, a written value reads back as written.
  static const char value[] = "x \"y\"\\\r\n\x01z";
  if (reg_create_key(REG_HKEY_CURRENT_USER, "Software\\Fuzz", &key) != REG_OK) abort();
  if (reg_set_value(&key, "V", REG_SZ, value, sizeof value - 1) != REG_OK) abort();
  n = sizeof buf;
  if (reg_query_value(&key, "v", &type, buf, &n) != REG_OK || type != REG_SZ ||
      n != sizeof value - 1 || memcmp(buf, value, n) != 0)
    abort();

  dup2(saved, 2);
  close(saved);
  close(null_fd);
  return 0;
}
