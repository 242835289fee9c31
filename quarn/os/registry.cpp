#include "quarn/os/registry.h"

#include <strings.h>

#include <cstdio>
#include <cstring>

#include "quarn/os/error.h"

namespace {

char Reg_root[256];
bool Reg_root_set = false;

// The hive and path a key argument names. A bad "hkey" name is fatal; a
// path too long for the buffer is refused (false) rather than cut, as a cut
// path would name some other key.
bool resolve_key(const char* key, int* hive, char* path, size_t path_size) {
  *hive = REG_HKEY_CURRENT_USER;
  int n;
  if (!key) {
    n = snprintf(path, path_size, "%s", Reg_root);
    return n >= 0 && static_cast<size_t>(n) < path_size;
  }
  if (strncasecmp(key, "hkey", 4) != 0) {
    n = snprintf(path, path_size, "%s\\%s", Reg_root, key);
    return n >= 0 && static_cast<size_t>(n) < path_size;
  }
  const char* bs = strchr(key, '\\');
  size_t len = bs ? static_cast<size_t>(bs - key) : strlen(key);
  for (int h = 0; h < REG_HIVE_COUNT; h++) {
    const char* name = reg_hive_name(h);
    if (strlen(name) == len && strncasecmp(name, key, len) == 0) {
      *hive = h;
      // A hive name without a path below it means the hive's top.
      n = snprintf(path, path_size, "%s", bs ? bs + 1 : "");
      return n >= 0 && static_cast<size_t>(n) < path_size;
    }
  }
  CRITICAL_ERROR("Bogus HKEY_ string: %s", key);
}

}  // namespace

void os_reg_set_root(const char* company, const char* application) {
  int n = snprintf(Reg_root, sizeof Reg_root, "Software");
  if (company && *company) n += snprintf(Reg_root + n, sizeof Reg_root - n, "\\%s", company);
  if (n < static_cast<int>(sizeof Reg_root) && application && *application)
    snprintf(Reg_root + n, sizeof Reg_root - n, "\\%s", application);
  Reg_root_set = true;
}

const char* os_reg_root() { return Reg_root_set ? Reg_root : ""; }

int os_reg_write(const char* key, const char* name, uint32_t type, const void* data, uint32_t size) {
  int hive;
  char path[512];
  if (!resolve_key(key, &hive, path, sizeof path)) return -1;
  RegKey k;
  if (reg_create_key(hive, path, &k) != REG_OK) return -1;  // "Error opening registry key"
  int r = reg_set_value(&k, name, type, data, size);
  reg_close_key(&k);
  return r == REG_OK ? 0 : -1;  // "Error writing registry key"
}

int os_reg_read(const char* key, const char* name, void* buffer, uint32_t size) {
  int hive;
  char path[512];
  if (!resolve_key(key, &hive, path, sizeof path)) return -1;
  RegKey k;
  if (reg_open_key(hive, path, &k) != REG_OK) return -1;
  uint32_t got = size;
  int r = reg_query_value(&k, name, nullptr, buffer, &got);
  reg_close_key(&k);
  return r == REG_OK ? 0 : -1;  // "Couldn't find registry key '%s', using default value."
}

int os_reg_write_string(const char* key, const char* name, const char* text) {
  if (!text) text = "";
  return os_reg_write(key, name, REG_SZ, text, static_cast<uint32_t>(strlen(text)));
}

int os_reg_write_int(const char* key, const char* name, int value) {
  uint32_t v = static_cast<uint32_t>(value);
  unsigned char bytes[4] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
                            static_cast<unsigned char>(v >> 16),
                            static_cast<unsigned char>(v >> 24)};
  return os_reg_write(key, name, REG_DWORD, bytes, 4);
}

int os_reg_read_int(const char* key, const char* name, int* out, int default_value) {
  unsigned char bytes[4] = {};
  if (os_reg_read(key, name, bytes, 4) != 0) {
    if (out) *out = default_value;
    return -1;
  }
  uint32_t v = bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
  if (out) *out = static_cast<int>(v);
  return 0;
}

int os_reg_read_string(const char* key, const char* name, char* out, size_t out_size) {
  // One byte is kept for the terminator, which the stored text lacks, so a
  // value of OS_REG_MAX_STRING characters or more does not read.
  char text[OS_REG_MAX_STRING];
  memset(text, 0, sizeof text);
  if (os_reg_read(key, name, text, OS_REG_MAX_STRING - 1) != 0) return -1;
  if (!out || out_size == 0) return 0;
  size_t len = strnlen(text, sizeof text - 1);
  if (len > out_size - 1) len = out_size - 1;
  memcpy(out, text, len);
  out[len] = '\0';
  return 0;
}

void os_reg_read_string_default(const char* key, const char* name, char* out, size_t out_size,
                                const char* default_text) {
  if (os_reg_read_string(key, name, out, out_size) == 0) return;
  if (!out || out_size == 0) return;
  if (!default_text) default_text = "";
  size_t len = strlen(default_text);
  if (len > out_size - 1) len = out_size - 1;
  memmove(out, default_text, len);
  out[len] = '\0';
}
