#pragma once
// The registry layer: hives of keys holding typed values, kept in one text
// file, $XDG_CONFIG_HOME (default ~/.config)/Quorvane/Orrimund Demo/registry.txt.
//
// Every call reads the file and every change writes it whole to a temporary
// file in the same directory, flushes it and renames it over the old one, so
// a crash never leaves it half-written. A file that cannot be understood is
// reported on stderr and taken as empty; it is never fatal. The first write
// after that moves the damaged file aside to "registry.txt.damaged" rather
// than losing it.
//
// The file, one entry per line (CR LF or LF):
//   ; comment
//   [HKEY_CURRENT_USER\Software\Quorvane\Orrimund Demo]
//   "CmdLineOptions"=sz:"-window -port 5000"
//   "Resolution Width"=dword:00000280
//   "Blob"=hex(3):01,ff,20
// Names and sz texts are in double quotes with the escapes \\ \" \r \n \t and
// \xHH. Key paths and value names compare without regard to case.
#include <cstdint>

enum RegHive : int {
  REG_HKEY_CLASSES_ROOT = 0,
  REG_HKEY_CURRENT_USER = 1,
  REG_HKEY_LOCAL_MACHINE = 2,
  REG_HKEY_USERS = 3,
};
#define REG_HIVE_COUNT 4

// Value types.
#define REG_SZ 1
#define REG_DWORD 4

// Results of the layer calls.
#define REG_OK 0
#define REG_FAILED (-1)     // the file could not be written, or a bad argument
#define REG_NOT_FOUND (-2)  // no such key or value
#define REG_MORE_DATA (-3)  // the value does not fit the buffer

// The text name of a hive ("HKEY_CURRENT_USER"), null for a bad number.
const char* reg_hive_name(int hive);

// An open key: the hive and the key path (backslashes, any case).
struct RegKey {
  int hive = REG_HKEY_CURRENT_USER;
  char path[512] = {};
};

// Opens a key, creating it and every missing parent (the file is written).
int reg_create_key(int hive, const char* path, RegKey* out);
// Opens an existing key.
int reg_open_key(int hive, const char* path, RegKey* out);
void reg_close_key(RegKey* key);
int reg_set_value(const RegKey* key, const char* name, uint32_t type, const void* data,
                  uint32_t size);
// On entry *size is the buffer's size; on return the value's size (also when
// it did not fit: REG_MORE_DATA). type may be null.
int reg_query_value(const RegKey* key, const char* name, uint32_t* type, void* data,
                    uint32_t* size);

// The file in use. Tests point the layer at a file of their own (null goes
// back to the default under XDG_CONFIG_HOME).
void reg_set_file_path(const char* path);
const char* reg_file_path();
