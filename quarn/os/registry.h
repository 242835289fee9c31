#pragma once
// Persistent settings below one root key per company and application
// ("Software\Quorvane\Orrimund Demo" in the current user's hive).
//
// The key argument of every call: null means the root key itself; a path
// that does not start with "hkey" lies below the root; a path that does names
// its own hive in its first component ("HKEY_LOCAL_MACHINE\Software\..."),
// and a hive name alone means that hive's top. Any other "hkey..." first
// component is fatal ("Bogus HKEY_ string: %s").
#include <cstddef>
#include <cstdint>

#include "quarn/platform/registry.h"

// The longest string value os_reg_read_string reads (with its terminator).
#define OS_REG_MAX_STRING 1024

void os_reg_set_root(const char* company, const char* application);
// The root path ("Software\company\application"), empty before set_root.
const char* os_reg_root();

// 0 or -1. A write creates missing keys.
int os_reg_write(const char* key, const char* name, uint32_t type, const void* data, uint32_t size);
// 0 or -1 (missing value, or larger than the buffer). The value's type is not
// checked.
int os_reg_read(const char* key, const char* name, void* buffer, uint32_t size);

// REG_SZ, stored without a terminator.
int os_reg_write_string(const char* key, const char* name, const char* text);
// REG_DWORD.
int os_reg_write_int(const char* key, const char* name, int value);
// On failure stores the default and returns -1.
int os_reg_read_int(const char* key, const char* name, int* out, int default_value);
// Reads at most OS_REG_MAX_STRING - 1 characters and copies them, always
// terminated and cut to out_size - 1, to the caller's buffer. On failure
// returns -1 and leaves the buffer alone.
int os_reg_read_string(const char* key, const char* name, char* out, size_t out_size);
// As os_reg_read_string, but on failure copies the default (cut the same way).
void os_reg_read_string_default(const char* key, const char* name, char* out, size_t out_size,
                                const char* default_text);
