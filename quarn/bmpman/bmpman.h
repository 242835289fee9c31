#pragma once
// The bitmap manager: every image the program draws lives in one table of
// MAX_BITMAPS entries, named by an integer handle (-1 is none). Loading a
// file reads only its header; the pixels exist between bm_lock and bm_unlock,
// which the renderers' texture caches call around an upload. An animation is
// a head entry followed by one entry per frame (head + 1 .. head + frames).
#include <cstddef>
#include <cstdint>

#include "quarn/bmpman/targautils.h"

#define MAX_BITMAPS 2800
// One more than the table, so that a probe always ends on an empty slot.
#define MAX_BITMAP_NAME_SLOTS 2801
#define BM_NAME_POOL_SIZE 65536
#define BM_MAX_NAME_LENGTH 255
#define BM_MAX_MIPNAME_LENGTH 40

// File types.
enum : int {
  BM_TYPE_NONE = 0,
  BM_TYPE_PCX = 1,
  BM_TYPE_TGA = 2,
  BM_TYPE_USER = 3,  // made in memory ("USERBMAP") or a placeholder
  BM_TYPE_VBM = 4,
  BM_TYPE_M2V = 5,
};

// Entry kinds.
enum : int {
  BM_KIND_STILL = 0,
  BM_KIND_ANIM = 1,   // animation head
  BM_KIND_FRAME = 2,  // one frame of an animation
};

// Pixel formats (bm_lock, bm_get_data); bytes per pixel from bm_bytes_per_pixel.
enum : int {
  BM_FORMAT_NONE = 0,      // load failed
  BM_FORMAT_PAL8 = 1,      // 8-bit indices into a 768-byte palette
  BM_FORMAT_ALPHA8 = 2,    // 8-bit alpha
  BM_FORMAT_565 = 3,       // 16-bit 5-6-5
  BM_FORMAT_4444 = 4,      // 16-bit 4-4-4-4 with alpha
  BM_FORMAT_1555 = 5,      // 16-bit 1-5-5-5; bit 15 set is transparent
  BM_FORMAT_BGR24 = 6,     // bytes blue, green, red
  BM_FORMAT_BGRA32 = 7,    // 32-bit with alpha
  BM_FORMAT_16BIT = 8,     // two bytes per pixel, passed through
};

struct BitmapEntry {
  const char* name = nullptr;  // in the name pool; null when free and for frames
  int32_t hash = -1;           // -1 when not in the name table
  uint16_t width = 0;          // mip level 0, after any low-res halving
  uint16_t height = 0;
  int32_t pixel_count = 0;     // over all mip levels
  int32_t type = BM_TYPE_NONE;
  int32_t kind = BM_KIND_STILL;
  int32_t format = BM_FORMAT_NONE;
  uint8_t mip_levels = 0;
  uint8_t frames = 0;          // head: frame count; frame: its number 1..count; still: 1
  uint8_t* data = nullptr;     // pixels while locked (or a user bitmap's own)
  float rate = 0.0f;           // frames per millisecond
  uint8_t* palette = nullptr;  // 768 bytes for BM_FORMAT_PAL8
  BitmapEntry* next = nullptr;
  BitmapEntry* prev = nullptr;
  uint8_t lock_count = 0;      // head: frames whose share of the block is held
  int32_t byte_size = 0;
  int32_t path_type = BM_ANY_PATH_TYPE;
  uint8_t low_res = 0;         // 1 while shown one mip level down
  int32_t mark_count = 0;
  int32_t name_slot = -1;      // the name-table slot that refers to this entry
};

// Starts the manager once (a second call does nothing): lists, name table,
// placeholder image, console commands, the file layer's progress hook.
void bm_init();
// Unlocks and releases every used entry and empties the name pool.
void bm_close();

// Handle of the bitmap of that file, loading its header when it is not loaded
// yet. path_type -1 searches every type. A missing or unreadable Targa or M2V
// file gives a grey grid placeholder under the name; -1 only when the manager
// cannot take the file at all.
int bm_load(const char* name, int path_type = -1);
int bm_load_ex(const char* name, int path_type, bool reload);
// The bitmap's file loaded again as a fresh entry (not found by name).
int bm_reload(int handle);
// As bm_load; an animation gives its frame count and its frames per second
// (rounded up), a still bitmap 1 and 0. Either out pointer may be null.
int bm_load_animation(const char* name, int* frame_count, int* fps, int path_type = -1);
// Handle of a loaded bitmap of that name (ignoring case), or -1.
int bm_find(const char* name);
// A bitmap over pixels the caller owns; never entered in the name table.
int bm_create(int format, int width, int height, void* data, uint8_t* palette = nullptr,
              int flags = -1);

// Reads the pixels of the handle's current frame; returns the pixel format,
// 0 when they could not be read (data and palette are then null).
int bm_lock(int handle, uint8_t** data, uint8_t** palette);
void bm_unlock(int handle);
// Frees the entry (an animation head frees its frames as well) after asking
// the front end to drop its textures.
void bm_release(int handle);

// Brackets a level load: bitmaps loaded after the mark go at the release.
void bm_set_mark();
void bm_release_from_mark();

int bm_get_current_frame(int handle);
void bm_get_size(int handle, int* width, int* height);
void bm_get_info(int handle, int* width, int* height, int* pixel_count = nullptr,
                 int* mip_levels = nullptr);
int bm_get_format(int handle);
int bm_get_data(int handle, uint8_t** data, uint8_t** palette);
int bm_get_frame_info(int handle, float* seconds = nullptr);
const char* bm_get_filename(int handle);
int bm_get_memory_size(int handle, int bytes_per_pixel);
bool bm_is_placeholder(int handle);
bool bm_has_alpha(int handle);
// Points a loaded bitmap at another file of the same shape; 0 or -1.
int bm_replace_file(int handle, const char* name, int path_type = -1);
void bm_set_low_res(bool on);
bool bm_get_low_res();

int bm_get_type_from_ext(const char* name);
int bm_mip_pixel_count(int width, int height, int levels);
int bm_bytes_per_pixel(int format);
// Case-blind name hash, never negative; -1 for a null name.
int bm_hash_name(const char* name);
// The entry behind a handle (null when out of range), for renderers and tests.
const BitmapEntry* bm_get_entry(int handle);
// Number of used entries.
int bm_count_used();

// Reads a bitmap file's header; returns its file type, or 0 when the file is
// missing or unreadable (a Targa, M2V or malformed file). Missing PCX and VBM
// files and unknown extensions are fatal.
int bm_read_header(const char* name, int* width, int* height, int* format, int* mip_levels,
                   int* frames, int* fps, int* m2v_size, int path_type);

// VBM files: a 32-byte header, then the pixels of every mip level of frame 1,
// then of frame 2, ...
constexpr int VBM_HEADER_SIZE = 32;
struct VbmHeader {
  int32_t width = 0;
  int32_t height = 0;
  int32_t pixel_type = 0;  // 0 -> format 5, 1 -> format 4, else format 3
  int32_t fps = 0;
  int32_t frames = 0;
  int32_t mips_below = 0;  // mip levels below the top one
};
// Parses and checks a VBM header: the sizes fit the table's fields and the
// pixel data of every frame fits in 32 bits. Returns null when it is sound,
// else the reason.
const char* vbm_parse_header(const uint8_t* file, size_t file_size, VbmHeader* header);
int vbm_format_of(int pixel_type);

// Console variable: read the "-mip%d" files of Targa bitmaps (true at start).
extern bool Load_mipmaps;

// Loading progress. The callback gets (count, value); ticks come from every
// file the file layer opens for reading and from long loaders.
using LoadProgressCallback = void (*)(int count, int value);
int load_progress_set_callback(LoadProgressCallback callback, int estimated_total,
                               bool escape_aborts);
// Counts one unit of loading work; true once the player pressed Escape.
bool load_progress_tick(int value = 0);

// The front end's texture cache, filled in by it at start-up: a released
// bitmap drops its texture, a changed one is uploaded again. Until set (or
// after nullptr) nothing is called.
using BmTextureFn = void (*)(int handle);
void bm_set_texture_hooks(BmTextureFn texture_release, BmTextureFn texture_mark_dirty);

