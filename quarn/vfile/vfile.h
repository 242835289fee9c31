#pragma once
// The file layer: every module names, finds, opens, reads, writes and seeks
// files through it, whether they lie loose under the installation root or
// inside a mounted packfile. Names are found by bare name and path type (a
// registered data directory with the extensions that live there).
//
// Game paths use backslashes and any case; on this system the layer turns
// backslashes into slashes and matches each path component without regard to
// case, so data written with any case is found. Files the game creates get
// the case the game gives them.
#include <cstdint>
#include <cstdio>
#include <ctime>

#include "quarn/os/textstring.h"
#include "quarn/vfile/scrambler.h"

struct PackfileEntry;
struct vector;
struct matrix;
struct quaternion;

constexpr int MAX_PATH_TYPES = 512;
constexpr int VFILE_ANY_TYPE = 9999999;
constexpr int VFILE_CD_TYPE = 9999998;
constexpr int VFILE_ROOT_MAX = 256;       // root, including its terminator
constexpr int VFILE_MAX_PATH = 260;       // 259 characters and a terminator
constexpr int VFILE_NUM_BUFFERS = 4;
constexpr int VFILE_BUFFER_SIZE = 32768;
constexpr int VFILE_PATH_POOL_SIZE = 8192;

// Result codes.
constexpr int VF_OK = 0;
constexpr int VF_ERR_SHORT_READ = -1;
constexpr int VF_ERR_WRITE = -2;
constexpr int VF_ERR_PACKFILE = -3;
constexpr int VF_ERR_NOT_FOUND = -4;
constexpr int VF_ERR_NO_BUFFER = -6;
constexpr int VF_ERR_OS = -99999;

// Open mode bits.
constexpr unsigned VF_READ = 1;
constexpr unsigned VF_WRITE = 2;
constexpr unsigned VF_TEXT = 0x80000000u;  // writes end lines in CR LF

// Attribute bits.
constexpr int VF_ATTR_READONLY = 2;
constexpr int VF_ATTR_ARCHIVE = 4;

// vfile_list_files flags.
constexpr int VF_LIST_SORT_NAME = 1;
constexpr int VF_LIST_SORT_TIME = 2;
constexpr int VF_LIST_KEEP_EXT = 4;

// ---- Root, path types and names --------------------------------------------

// Sets the installation root: the given directory, else ORRIMUND_ROOT, else
// the directory of the running program. Resets the typed-read defaults,
// mounts the packfiles when asked and registers the shutdown at exit.
void vfile_set_root(const char* dir, bool mount_packfiles);
// The root with its trailing separator ("" before vfile_set_root).
const char* vfile_root();
void vfile_set_cd_root(const char* path);
const char* vfile_cd_root();
void vfile_set_cd_labels(const char* const* labels, int count, const char* subdir);
int vfile_find_cd_drive(int label_index);
bool vfile_initialized();
// Closes all slots, clears the path types, unmounts the packfiles.
void vfile_shutdown();

int vfile_add_path_type(const char* dir, const char* ext_list);
void vfile_remove_path_type(int type);
bool vfile_type_valid(int type);
const char* vfile_type_ext_list(int type);

// root + (type's directory + separator) + name; null for an invalid type or
// when the result does not fit in VFILE_MAX_PATH. buffer holds VFILE_MAX_PATH.
char* vfile_build_path(int type, const char* name, char* buffer);
char* vfile_build_cd_path(int type, const char* name, char* buffer);
char* vfile_type_dir_path(int type, char* buffer);
const char* vfile_type_dir_name(int type);
TextString vfile_type_dir_string(int type);
TextString vfile_type_cd_dir_string(int type);

// The path as it exists on disk: backslashes become slashes and every
// existing component is matched without regard to case; missing components
// keep the case given. False when the result would not fit.
bool vfile_resolve_path(const char* path, char* out, int out_size);

char* vfile_make_name(char* buffer, const char* name, const char* ext);
char* vfile_strip_extension(char* buffer, const char* name);
char* vfile_bare_name(char* buffer, const char* name);
const char* vfile_extension(const char* name);

int vfile_create_type_dir(int type);

struct VFileListEntry {
  VFileListEntry* next;
  VFileListEntry* prev;
  char name[40];  // up to 39 characters
  int attributes;
  time_t write_time;
};
using VFileListFilter = bool (*)(VFileListEntry* entry);
// A circular list whose head is a sentinel the caller owns. Names that do
// not fit the record are skipped rather than cut (a cut name would not open).
int vfile_list_files(VFileListEntry* head, int type, const char* pattern, int flags,
                     VFileListFilter filter = nullptr);
void vfile_list_init(VFileListEntry* head);
void vfile_list_free(VFileListEntry* head);

bool vfile_loose_exists(const char* name, int type);
bool vfile_delete_loose(const char* name, int type);

// Directory operations.
char* vfile_get_cwd(char* buffer, int size);
int vfile_change_drive(int drive);  // no drives here: always -1
int vfile_change_dir(const char* path);  // 0 done, 1 drive, 2 directory
bool vfile_dir_exists(const char* path);

void vfile_raise_group_access();
void vfile_lower_group_access();
int vfile_group_access_level();

// Every read-open counts one unit of loading work for the loading screen;
// the bitmap manager installs the counter. Does nothing until set.
void vfile_set_load_progress_hook(void (*hook)());
// Every read-open, told the file on disk that holds it, where its bytes
// start there and how many there are (a packfile member: its packfile).
// For load reports; null (the default) turns it off.
void vfile_set_open_trace_hook(void (*hook)(const char* disk_path, long offset, int size));

// Fallbacks of the typed reads.
const vector& vfile_default_vector();
const matrix& vfile_default_matrix();
const quaternion& vfile_default_quaternion();

// ---- FileHandle ---------------------------------------------------------

class FileHandle {
 public:
  FileHandle();
  ~FileHandle();
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;

  bool find(const char* name, int type);
  int open(const char* name, unsigned mode, int type = VFILE_ANY_TYPE);
  int close();

  // Bytes delivered. With async set the read may run in the background;
  // async_poll reports it. The destination must stay valid until then.
  int read(void* dest, int n, int min_version = 0, bool async = false);
  // -1 read error, 0 still running, 1 done (also when nothing is pending).
  int async_poll();
  // Running total of bytes written, or 0 when nothing was written (a
  // failed write sets error -2; after an error every write gives 0).
  int write(const void* src, int n);
  int printf(const char* text, int length = -1);

  int seek(int offset, int whence);
  int tell() const;
  bool eof() const;
  int error() const;
  bool is_open() const { return slot_ >= 0; }
  bool mode_is(unsigned bits) const;
  void set_version(int v);
  int version() const;
  bool version_at_least(int v) const { return version() >= v; }
  const char* full_path() const { return path_; }
  const char* bare_name() const;
  int type() const { return type_; }
  bool found() const { return found_; }
  PackfileEntry* pack_entry() const { return entry_; }
  int slot() const { return slot_; }

  int size(const char* name = nullptr, int type = VFILE_ANY_TYPE);
  int remove(const char* name, int type);
  int rename(const char* new_name, const char* name, int type);
  int attributes(const char* name, int type);
  int set_attributes(int bits, const char* name, int type);
  int clear_attributes(int bits, const char* name, int type);
  // Path of the member's packfile and its byte offset.
  bool pack_location(char* path, int size, int* offset = nullptr) const;
  bool in_removable_pack() const;
  bool is_available() const { return true; }
  int stream_error();
  void set_key(uint32_t key);

  // Typed reads: the default when the file's version is below min_version
  // (nothing consumed) or when the read failed.
  bool read_bool(int min_version = 0, bool def = false);
  int8_t read_byte(int min_version = 0, int8_t def = 0);
  uint8_t read_ubyte(int min_version = 0, uint8_t def = 0);
  int16_t read_short(int min_version = 0, int16_t def = 0);
  uint16_t read_ushort(int min_version = 0, uint16_t def = 0);
  int32_t read_int(int min_version = 0, int32_t def = 0);
  uint32_t read_uint(int min_version = 0, uint32_t def = 0);
  float read_float(int min_version = 0, float def = 0.0f);
  void read_vector(vector* dest, int min_version = 0, const vector* def = nullptr);
  // Three floats into a plain array (camera tracks keep them so); below the
  // version, or on a failed read, the default's three (zeros when none).
  void read_float3(float* dest, int min_version = 0, const float* def = nullptr);
  void read_quaternion(quaternion* dest, int min_version = 0, const quaternion* def = nullptr);
  // Stored as the third row, then the first, then the second.
  void read_matrix(matrix* dest, int min_version = 0, const matrix* def = nullptr);
  // u16 length, then the bytes without terminator.
  void read_text_string(TextString* dest, int min_version = 0, const char* def = nullptr);
  char* read_counted_string(char* buffer, int size, int min_version = 0, const char* def = nullptr);
  // Bytes up to and including a zero byte; at most size - 1 kept.
  char* read_string(char* buffer, int size, int min_version = 0, const char* def = nullptr);
  int read_line(char* buffer, int size, int min_version = 0);
  void read_zstring(TextString* dest, int min_version = 0);
  int read_line(TextString* dest, int min_version = 0);

  int write_bool(int value);
  int write_byte(int8_t value);
  int write_ubyte(uint8_t value);
  int write_short(int16_t value);
  int write_ushort(uint16_t value);
  int write_int(int32_t value);
  int write_uint(uint32_t value);
  int write_float(float value);
  int write_vector(const vector& v);
  int write_quaternion(const quaternion& q);
  int write_matrix(const matrix& m);
  int write_counted_string(const char* text, int length = -1);
  int write_string(const char* text);

  // Read in read mode, write otherwise.
  void serialize_bool(bool* v, int min_version = 0, bool def = false);
  void serialize_byte(int8_t* v, int min_version = 0, int8_t def = 0);
  void serialize_ubyte(uint8_t* v, int min_version = 0, uint8_t def = 0);
  void serialize_short(int16_t* v, int min_version = 0, int16_t def = 0);
  void serialize_ushort(uint16_t* v, int min_version = 0, uint16_t def = 0);
  void serialize_int(int32_t* v, int min_version = 0, int32_t def = 0);
  void serialize_uint(uint32_t* v, int min_version = 0, uint32_t def = 0);
  void serialize_float(float* v, int min_version = 0, float def = 0.0f);
  void serialize_vector(vector* v, int min_version = 0, const vector* def = nullptr);
  void serialize_quaternion(quaternion* v, int min_version = 0, const quaternion* def = nullptr);
  // A rotation stored as four floats and kept as a matrix in memory.
  void serialize_quaternion(matrix* m, int min_version = 0, const quaternion* def = nullptr);
  void serialize_matrix(matrix* v, int min_version = 0, const matrix* def = nullptr);
  void serialize_text_string(TextString* v, int min_version = 0, const char* def = nullptr);
  void serialize_string(char* buffer, int size, int min_version = 0, const char* def = nullptr);
  void serialize_bytes(void* block, int n, int min_version = 0);

  // Forgets the slot without closing it (the layer's shutdown closed it).
  void detach_slot();

 private:
  bool find_loose_in(int type, const char* name);
  bool find_member(const char* name);
  int open_slot(unsigned mode);

  int type_;
  bool found_;
  char path_[VFILE_MAX_PATH];
  PackfileEntry* entry_;
  bool on_cd_;
  int slot_;
};

// Array forms: stop at the first element after which the error code is set
// and return it (0 when all went well).
int vfile_serialize_vector_array(FileHandle* fh, vector* v, int count, int min_version = 0,
                                 const vector* def = nullptr);
int vfile_serialize_short_array(FileHandle* fh, int16_t* v, int count, int min_version = 0,
                                int16_t def = 0);
int vfile_read_int_array(FileHandle* fh, int32_t* v, int count, int min_version = 0, int32_t def = 0);
int vfile_write_int_array(FileHandle* fh, const int32_t* v, int count);
int vfile_serialize_float2_array(FileHandle* fh, float* pairs, int count, int min_version = 0,
                                 float def0 = 0.0f, float def1 = 0.0f);
