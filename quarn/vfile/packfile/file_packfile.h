#pragma once
// Packfiles (.vpp): archives of many members, searched by bare file name
// after the loose directories. Layout, all integers 32-bit little-endian, in
// 2048-byte sectors: sector 0 the header (magic, version >= 1, member count,
// total size); then ceil(count / 32) directory sectors of 64-byte entries
// (60-byte zero-terminated name, 32-bit size); then the members in directory
// order, each starting on a sector boundary (a member of size 0 takes none).
#include <cstdint>
#include <cstdio>

constexpr uint32_t PACKFILE_MAGIC = 0x51890ACE;
constexpr int PACKFILE_SECTOR_SIZE = 2048;
constexpr int PACKFILE_DIR_ENTRY_SIZE = 64;
constexpr int PACKFILE_DIR_NAME_SIZE = 60;
constexpr int PACKFILE_ENTRIES_PER_SECTOR = PACKFILE_SECTOR_SIZE / PACKFILE_DIR_ENTRY_SIZE;
constexpr int MAX_PACKFILES = 10;
constexpr int MAX_PACKFILE_NAME = 12;
constexpr int MAX_PACKFILE_FILES = 13500;
constexpr int PACKFILE_NAME_POOL_SIZE = 262144;

struct PackfileEntry;

struct PackfileRecord {
  char name[MAX_PACKFILE_NAME + 1];
  bool on_cd;
  int num_files;
  PackfileEntry* first;
  int total_size;
};

struct PackfileEntry {
  const char* name;  // in the packfile name pool
  int start_sector;
  int size;
  PackfileRecord* pack;
  FILE* stream;     // on the installation copy while open
  FILE* cd_stream;  // on the removable-media copy while open
};

// Mounts the game's nine packfiles in their fixed order and prints totals.
void packfile_init();
// 1 mounted or already mounted, 0 not mounted.
int packfile_add(const char* name);
PackfileRecord* packfile_find_pack(const char* name);
// The member whose name equals the bare name of the path (after the last
// backslash or slash), ignoring case; the first mounted wins.
PackfileEntry* packfile_find(const char* path);
bool packfile_open(PackfileEntry* entry);
bool packfile_seek(PackfileEntry* entry, int offset, int whence);
int packfile_read(void* dest, int elsize, int count, PackfileEntry* entry);
// Reads n bytes at offset `at` of the member straight from its file, without
// the stream's buffer or position (which are left as they were). The bytes read.
int packfile_read_at(void* dest, int n, int at, PackfileEntry* entry);
void packfile_close(PackfileEntry* entry);
// Size and byte offset of a member of a named packfile.
bool packfile_locate(const char* packfile_name, const char* member_name, int* size, int* offset);
// Reads a whole packfile into memory; bytes read, or -1.
int packfile_load_whole(void* buffer, int buffer_size, const char* packfile_name);

// Unmounts everything and releases the name pool (program exit; tests).
void packfile_shutdown();
int packfile_num_packs();
int packfile_num_files();
PackfileRecord* packfile_record(int index);
PackfileEntry* packfile_entry(int index);

// Reads and checks the directory of an opened packfile stream into a fresh
// record: the number of members added, or -1 with a message when the file is
// refused (it then contributes no members). Used by packfile_add; exposed
// for the fuzz target.
int packfile_read_directory(FILE* fp, PackfileRecord* record, long file_length);
