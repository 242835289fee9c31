#include "quarn/bmpman/bmpman.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "quarn/bmpman/image_io.h"
#include "quarn/os/console.h"
#include "quarn/os/error.h"
#include "quarn/os/key.h"
#include "quarn/os/stringpool.h"
#include "quarn/os/timer.h"
#include "quarn/vfile/readstream.h"
#include "quarn/vfile/vfile.h"

bool Load_mipmaps = true;

namespace {

const char* const USER_BITMAP_NAME = "USERBMAP";

BitmapEntry bm_bitmaps[MAX_BITMAPS];
BitmapEntry* bm_name_table[MAX_BITMAP_NAME_SLOTS];
BitmapEntry bm_used_list;  // sentinels
BitmapEntry bm_free_list;

char bm_name_pool_buffer[BM_NAME_POOL_SIZE];
StringPool bm_name_pool;

bool bm_inited = false;
bool bm_low_res = false;
bool bm_placeholder_made = false;

bool bm_marked = false;
int bm_mark_pool_used = 0;
BitmapEntry* bm_saved_name_table[MAX_BITMAP_NAME_SLOTS];

uint8_t bm_placeholder_pixels[32 * 32 * 3];

BmTextureFn bm_texture_release = nullptr;
BmTextureFn bm_texture_mark_dirty = nullptr;

// Loading progress.
LoadProgressCallback lp_callback = nullptr;
int lp_count = 0;
int lp_count_at_last_call = 0;
int lp_estimated_total = 0;
int64_t lp_next_call_time = -1;
bool lp_abort = false;
bool lp_escape_aborts = false;
int lp_nesting = 0;

int handle_of(const BitmapEntry* e) { return static_cast<int>(e - bm_bitmaps); }

bool handle_in_range(int handle) { return handle >= 0 && handle < MAX_BITMAPS; }

BitmapEntry* used_entry(int handle) {
  if (!handle_in_range(handle)) return nullptr;
  BitmapEntry* e = &bm_bitmaps[handle];
  return e->type == BM_TYPE_NONE ? nullptr : e;
}

void texture_release(int handle) {
  if (bm_texture_release) bm_texture_release(handle);
}

void texture_mark_dirty(int handle) {
  if (bm_texture_mark_dirty) bm_texture_mark_dirty(handle);
}

// ---- lists -------------------------------------------------------------------

void list_init(BitmapEntry* sentinel) { sentinel->next = sentinel->prev = sentinel; }

void list_remove(BitmapEntry* e) {
  e->prev->next = e->next;
  e->next->prev = e->prev;
  e->next = e->prev = nullptr;
}

void list_push_head(BitmapEntry* sentinel, BitmapEntry* e) {
  e->next = sentinel->next;
  e->prev = sentinel;
  sentinel->next->prev = e;
  sentinel->next = e;
}

void list_push_tail(BitmapEntry* sentinel, BitmapEntry* e) {
  e->prev = sentinel->prev;
  e->next = sentinel;
  sentinel->prev->next = e;
  sentinel->prev = e;
}

void clear_entry_fields(BitmapEntry* e) {
  e->name = nullptr;
  e->hash = -1;
  e->width = e->height = 0;
  e->pixel_count = 0;
  e->type = BM_TYPE_NONE;
  e->kind = BM_KIND_STILL;
  e->format = BM_FORMAT_NONE;
  e->mip_levels = 0;
  e->frames = 0;
  e->data = nullptr;
  e->rate = 0.0f;
  e->palette = nullptr;
  e->lock_count = 0;
  e->byte_size = 0;
  e->path_type = BM_ANY_PATH_TYPE;
  e->low_res = 0;
  e->mark_count = 0;
  e->name_slot = -1;
}

// Frees the entry to the tail of the free list. Its name-table slot, if any,
// stays pointing at it and no longer matches (name_slot is cleared).
void free_entry(BitmapEntry* e) {
  list_remove(e);
  clear_entry_fields(e);
  list_push_tail(&bm_free_list, e);
}

BitmapEntry* take_free_entry() {
  BitmapEntry* e = bm_free_list.next;
  if (e == &bm_free_list) CRITICAL_ERROR("Too many bitmaps! MAX_BITMAPS needs to be increased!");
  list_remove(e);
  list_push_head(&bm_used_list, e);
  return e;
}

// The first run of `count` consecutive free entries, moved in order to the
// tail of the used list.
BitmapEntry* take_free_run(int count) {
  int run = 0;
  for (int i = 0; i < MAX_BITMAPS; i++) {
    run = bm_bitmaps[i].type == BM_TYPE_NONE ? run + 1 : 0;
    if (run == count) {
      BitmapEntry* first = &bm_bitmaps[i - count + 1];
      for (int k = 0; k < count; k++) {
        list_remove(first + k);
        list_push_tail(&bm_used_list, first + k);
      }
      return first;
    }
  }
  CRITICAL_ERROR("Too many bitmaps! No run of %d free entries; MAX_BITMAPS needs to be increased!", count);
}

// ---- name table ----------------------------------------------------------------

int name_slot_of_hash(int hash) { return hash % MAX_BITMAP_NAME_SLOTS; }

// A slot is live when the entry it points at says it lives there; released
// and renamed entries leave stale slots behind, which probing walks past and
// insertion reuses.
bool slot_is_live(int slot) {
  const BitmapEntry* e = bm_name_table[slot];
  return e && e->name_slot == slot && e->type != BM_TYPE_NONE;
}

void enter_name(BitmapEntry* e) {
  int slot = name_slot_of_hash(e->hash);
  for (int i = 0; i < MAX_BITMAP_NAME_SLOTS; i++) {
    if (!slot_is_live(slot)) {
      bm_name_table[slot] = e;
      e->name_slot = slot;
      return;
    }
    slot = (slot + 1) % MAX_BITMAP_NAME_SLOTS;
  }
  CRITICAL_ERROR("Too many bitmap names! MAX_BITMAP_NAME_SLOTS needs to be increased!");
}

const char* pool_add(const char* name) {
  if (!bm_name_pool.buffer()) bm_name_pool.attach(bm_name_pool_buffer, BM_NAME_POOL_SIZE, false);
  return bm_name_pool.add(name);
}

// ---- helpers ---------------------------------------------------------------------

void* alloc_block(size_t size) {
  void* p = std::malloc(size ? size : 1);
  if (!p) CRITICAL_ERROR("Failed to allocate %d bytes\n", static_cast<int>(size > INT_MAX ? INT_MAX : size));
  return p;
}

void* alloc_zeroed(size_t size) {
  void* p = std::calloc(size ? size : 1, 1);
  if (!p) CRITICAL_ERROR("Failed to allocate %d bytes\n", static_cast<int>(size > INT_MAX ? INT_MAX : size));
  return p;
}

// Indices of an 8-bit image that carries no colour map are grey levels.
uint8_t* alloc_palette() {
  auto* p = static_cast<uint8_t*>(alloc_block(768));
  for (int i = 0; i < 256; i++) p[i * 3] = p[i * 3 + 1] = p[i * 3 + 2] = static_cast<uint8_t>(i);
  return p;
}

std::string mip_name(const char* name, int level) {
  std::string base(name);
  const size_t dot = base.find('.');
  if (dot != std::string::npos) base.erase(dot);
  char buf[BM_MAX_NAME_LENGTH + 64];
  std::snprintf(buf, sizeof buf, "%s-mip%d.tga", base.c_str(), level);
  return buf;
}

int64_t mip_pixel_count64(int w, int h, int levels) {
  int64_t total = 0;
  for (int i = 0; i < levels; i++) {
    total += static_cast<int64_t>(w) * h;
    w /= 2;
    h /= 2;
  }
  return total;
}

BitmapEntry* head_of(BitmapEntry* e) { return e->kind == BM_KIND_FRAME ? e - e->frames : e; }

BitmapEntry* current_frame_entry(BitmapEntry* e) {
  return &bm_bitmaps[bm_get_current_frame(handle_of(e))];
}

void build_placeholder() {
  for (int y = 0; y < 32; y++) {
    for (int x = 0; x < 32; x++) {
      uint8_t* p = bm_placeholder_pixels + (y * 32 + x) * 3;
      const bool inside = (x % 8) != 0 && (y % 8) != 0;
      p[0] = inside ? 142 : 64;
      p[1] = inside ? 121 : 64;
      p[2] = inside ? 121 : 64;
    }
  }
}

void unlock_entry(BitmapEntry* e, bool force);

void release_entry_data(BitmapEntry* e) {
  if (e->type != BM_TYPE_USER) unlock_entry(e, true);
}

void progress_tick_from_files() { load_progress_tick(0); }

}  // namespace

// ---------------------------------------------------------------------------
// Small queries

int bm_get_type_from_ext(const char* name) {
  if (!name) return BM_TYPE_NONE;
  const char* dot = std::strrchr(name, '.');
  if (!dot) return BM_TYPE_NONE;
  const char* ext = dot + 1;
  if (!strcasecmp(ext, "pcx")) return BM_TYPE_PCX;
  if (!strcasecmp(ext, "tga")) return BM_TYPE_TGA;
  if (!strcasecmp(ext, "vbm")) return BM_TYPE_VBM;
  if (!strcasecmp(ext, "m2v")) return BM_TYPE_M2V;
  return BM_TYPE_NONE;
}

int bm_mip_pixel_count(int width, int height, int levels) {
  if (levels < 1) return 0;
  const int64_t n = mip_pixel_count64(width, height, levels);
  return n > INT_MAX ? INT_MAX : static_cast<int>(n);
}

int bm_bytes_per_pixel(int format) {
  switch (format) {
    case 3:
    case 4:
    case 5:
    case 8:
      return 2;
    case 6:
      return 3;
    case 7:
      return 4;
    default:
      return 1;
  }
}

int bm_hash_name(const char* name) {
  if (!name) return -1;
  uint32_t h = 0;
  for (const char* p = name; *p; p++) {
    int c = static_cast<signed char>(*p);
    if (c >= 0) c = std::tolower(c);
    h = (h << 6) | (h >> 26);
    h ^= static_cast<uint32_t>(c);
  }
  const int32_t s = static_cast<int32_t>(h);
  // abs() of the most negative value stays negative; it takes the largest
  // positive one instead, so the slot index is never negative.
  if (s == INT32_MIN) return INT32_MAX;
  return s < 0 ? -s : s;
}

const BitmapEntry* bm_get_entry(int handle) {
  return handle_in_range(handle) ? &bm_bitmaps[handle] : nullptr;
}

int bm_count_used() {
  int n = 0;
  for (BitmapEntry* e = bm_used_list.next; e && e != &bm_used_list; e = e->next) n++;
  return n;
}

void bm_set_texture_hooks(BmTextureFn texture_release_fn, BmTextureFn texture_mark_dirty_fn) {
  bm_texture_release = texture_release_fn;
  bm_texture_mark_dirty = texture_mark_dirty_fn;
}

// ---------------------------------------------------------------------------
// VBM

int vbm_format_of(int pixel_type) {
  if (pixel_type == 0) return BM_FORMAT_1555;
  if (pixel_type == 1) return BM_FORMAT_4444;
  return BM_FORMAT_565;
}

const char* vbm_parse_header(const uint8_t* file, size_t file_size, VbmHeader* h) {
  if (!file || file_size < static_cast<size_t>(VBM_HEADER_SIZE)) return "the file is shorter than a VBM header";
  ReadStream rs;
  rs.open_memory(file, VBM_HEADER_SIZE);
  rs.read_int();  // identifier
  rs.read_int();  // not used
  h->width = rs.read_int();
  h->height = rs.read_int();
  h->pixel_type = rs.read_int();
  h->fps = rs.read_int();
  h->frames = rs.read_int();
  h->mips_below = rs.read_int();
  if (rs.error() != 0) return "the file is shorter than a VBM header";
  if (h->width < 1 || h->width > 0xffff || h->height < 1 || h->height > 0xffff)
    return "the width or height is out of range";
  if (h->frames < 1 || h->frames > 255 || h->frames + 1 > MAX_BITMAPS) return "the frame count is out of range";
  if (h->fps < 0 || h->fps > 10000) return "the frame rate is out of range";
  if (h->mips_below < 0 || h->mips_below > 16) return "the mip level count is out of range";
  const int64_t pixels = mip_pixel_count64(h->width, h->height, h->mips_below + 1);
  const int64_t bytes = pixels * bm_bytes_per_pixel(vbm_format_of(h->pixel_type)) * h->frames;
  if (bytes > INT32_MAX) return "the pixel data is too large";
  return nullptr;
}

// ---------------------------------------------------------------------------
// Header reading

int bm_read_header(const char* name, int* width, int* height, int* format, int* mip_levels, int* frames,
                   int* fps, int* m2v_size, int path_type) {
  int w = 0, h = 0, fmt = BM_FORMAT_NONE, levels = 1, nframes = 1, rate = 0, size = -1;
  const int type = bm_get_type_from_ext(name);
  switch (type) {
    case BM_TYPE_PCX: {
      int bpp = 0;
      const int rc = pcx_read_header(name, &w, &h, &bpp, nullptr, path_type);
      if (rc == PCX_ERROR_OPENING) CRITICAL_ERROR("Could not open file: %s", name);
      if (rc != PCX_ERROR_NONE) {
        // A file that is there but is no PCX this reader knows is refused;
        // the placeholder takes its place.
        std::printf("Couldn't open %s because of error: %s\n", name, pcx_error_string(rc));
        return 0;
      }
      fmt = BM_FORMAT_PAL8;
      break;
    }
    case BM_TYPE_TGA: {
      int bpp = 0;
      if (targa_read_header(name, &w, &h, &bpp, nullptr, nullptr, path_type) != 0) {
        std::printf("Couldn't open %s because of error: %s\n", name, pcx_error_string(PCX_ERROR_OPENING));
        return 0;
      }
      switch (bpp) {
        case 8: fmt = BM_FORMAT_PAL8; break;
        case 16: fmt = BM_FORMAT_1555; break;
        case 24: fmt = BM_FORMAT_BGR24; break;
        case 32: fmt = BM_FORMAT_BGRA32; break;
        default: fmt = BM_FORMAT_NONE; break;
      }
      if (Load_mipmaps) {
        int ew = w / 2, eh = h / 2;
        while (std::min(ew, eh) >= 1) {
          const std::string mip = mip_name(name, levels);
          if (mip.size() > BM_MAX_MIPNAME_LENGTH) {
            std::printf("Mipmap filename exceeds maximum length: '%s'\n", mip.c_str());
            break;
          }
          int mw = 0, mh = 0, mbpp = 0;
          if (targa_read_header(mip.c_str(), &mw, &mh, &mbpp, nullptr, nullptr, path_type) != 0) break;
          if (mw != ew || mh != eh || mbpp != bpp) break;
          levels++;
          ew /= 2;
          eh /= 2;
        }
      }
      break;
    }
    case BM_TYPE_VBM: {
      uint8_t head[VBM_HEADER_SIZE];
      if (!image_io_exists(name, path_type))
        CRITICAL_ERROR("Unable to open %s.  Maybe file doesn't exist.", name);
      VbmHeader vh;
      const char* why = image_io_read_prefix(name, path_type, head, sizeof head)
                            ? vbm_parse_header(head, sizeof head, &vh)
                            : "the file is shorter than a VBM header";
      if (why) {
        std::printf("VBM file %s refused: %s\n", name, why);
        return 0;
      }
      w = vh.width;
      h = vh.height;
      fmt = vbm_format_of(vh.pixel_type);
      rate = vh.fps;
      nframes = vh.frames;
      levels = Load_mipmaps ? vh.mips_below + 1 : 1;
      break;
    }
    case BM_TYPE_M2V: {
      size = m2v_read_header(name, &w, &h);
      if (size < 1) return 0;
      fmt = BM_FORMAT_1555;
      break;
    }
    default:
      CRITICAL_ERROR("Cannot determine bitmap type in bm_read_header for file %s", name ? name : "");
  }
  if (type != BM_TYPE_M2V) {
    const int64_t bytes = mip_pixel_count64(w, h, levels) * bm_bytes_per_pixel(fmt) * nframes;
    if (bytes > INT32_MAX) {
      std::printf("Bitmap %s refused: it is too large\n", name);
      return 0;
    }
    // The pixels are allocated when the bitmap is locked; a header that
    // claims more than its file can hold is refused now, before that.
    const int64_t file_size = image_io_file_size(name, path_type);
    int64_t most = 0;
    if (type == BM_TYPE_TGA) {
      // A run-length packet of 1 + bytes-per-pixel bytes gives 128 pixels.
      const int64_t bpp = bm_bytes_per_pixel(fmt);
      const int64_t pixels = std::max<int64_t>(0, file_size - TARGA_HEADER_SIZE) / (1 + bpp) * 128 + 128;
      if (static_cast<int64_t>(w) * h > pixels) most = -1;
    } else if (type == BM_TYPE_PCX) {
      // Two bytes give at most 63 pixels.
      const int64_t pixels = std::max<int64_t>(0, file_size - PCX_HEADER_SIZE) / 2 * 63 + 63;
      if (static_cast<int64_t>(w) * h > pixels) most = -1;
    } else if (type == BM_TYPE_VBM) {
      if (file_size - VBM_HEADER_SIZE < bytes) most = -1;
    }
    if (most < 0) {
      std::printf("Bitmap %s refused: its header claims more pixels than the file holds\n", name);
      return 0;
    }
  }
  if (width) *width = w;
  if (height) *height = h;
  if (format) *format = fmt;
  if (mip_levels) *mip_levels = levels;
  if (frames) *frames = nframes;
  if (fps) *fps = rate;
  if (m2v_size) *m2v_size = size;
  return type;
}

// ---------------------------------------------------------------------------
// Start-up and shutdown

void bm_init() {
  if (bm_inited) return;
  list_init(&bm_used_list);
  list_init(&bm_free_list);
  for (auto& e : bm_bitmaps) {
    clear_entry_fields(&e);
    list_push_tail(&bm_free_list, &e);
  }
  std::fill(std::begin(bm_name_table), std::end(bm_name_table), nullptr);
  if (!bm_name_pool.buffer()) bm_name_pool.attach(bm_name_pool_buffer, BM_NAME_POOL_SIZE, false);
  bm_name_pool.reset();
  bm_marked = false;
  bm_placeholder_made = false;
  build_placeholder();
  vfile_set_load_progress_hook(progress_tick_from_files);
  bm_inited = true;
}

void bm_close() {
  if (!bm_inited) return;
  std::vector<int> used;
  for (BitmapEntry* e = bm_used_list.next; e != &bm_used_list; e = e->next) used.push_back(handle_of(e));
  for (int h : used) {
    BitmapEntry* e = &bm_bitmaps[h];
    if (e->type != BM_TYPE_NONE) bm_release(h);
  }
  std::fill(std::begin(bm_name_table), std::end(bm_name_table), nullptr);
  bm_name_pool.reset();
  bm_marked = false;
  bm_inited = false;
}

// ---------------------------------------------------------------------------
// Creating and loading

int bm_create(int format, int width, int height, void* data, uint8_t* palette, int) {
  if (width < 1 || height < 1 || width > 0xffff || height > 0xffff) {
    std::printf("bm_create: a %d by %d bitmap cannot be made\n", width, height);
    return -1;
  }
  BitmapEntry* e = take_free_entry();
  e->name = USER_BITMAP_NAME;
  e->hash = -1;
  e->type = BM_TYPE_USER;
  e->kind = BM_KIND_STILL;
  e->format = format;
  e->width = static_cast<uint16_t>(width);
  e->height = static_cast<uint16_t>(height);
  e->mip_levels = 1;
  e->frames = 1;
  e->pixel_count = width * height;
  e->data = static_cast<uint8_t*>(data);
  e->palette = palette;
  e->byte_size = bm_bytes_per_pixel(format) * width * height;
  e->low_res = 0;
  return handle_of(e);
}

int bm_find(const char* name) {
  if (!name || !bm_inited) return -1;
  const int hash = bm_hash_name(name);
  int slot = name_slot_of_hash(hash);
  // Every slot is visited at most once, so a full table cannot loop forever.
  for (int i = 0; i < MAX_BITMAP_NAME_SLOTS; i++) {
    const BitmapEntry* e = bm_name_table[slot];
    if (!e) return -1;
    if (e->hash == hash && e->name && !strcasecmp(e->name, name)) return handle_of(e);
    slot = (slot + 1) % MAX_BITMAP_NAME_SLOTS;
  }
  return -1;
}

int bm_load_ex(const char* name, int path_type, bool reload) {
  if (!name || !*name) return -1;
  if (!bm_inited) bm_init();
  if (std::strlen(name) > BM_MAX_NAME_LENGTH) {
    std::printf("Bitmap name too long (more than %d characters): %.40s...\n", BM_MAX_NAME_LENGTH, name);
    return -1;
  }
  if (!reload) {
    const int found = bm_find(name);
    if (found >= 0) return found;
  }
  if (path_type == -1) path_type = BM_ANY_PATH_TYPE;

  std::string file = name;
  if (!reload && bm_get_type_from_ext(name) == BM_TYPE_TGA) {
    const std::string vbm = image_io_make_name(name, ".vbm");
    const int found = bm_find(vbm.c_str());
    if (found >= 0) return found;
    if (image_io_exists(vbm.c_str(), path_type)) file = vbm;
  }

  int w = 0, h = 0, format = 0, levels = 1, frames = 1, fps = 0, m2v_size = -1;
  const int type = bm_read_header(file.c_str(), &w, &h, &format, &levels, &frames, &fps, &m2v_size,
                                  BM_ANY_PATH_TYPE);
  if (type == 0) {
    const int handle = bm_create(BM_FORMAT_BGR24, 32, 32, bm_placeholder_pixels, nullptr, -1);
    BitmapEntry* e = &bm_bitmaps[handle];
    e->name = pool_add(name);
    e->hash = bm_hash_name(e->name);
    enter_name(e);
    bm_placeholder_made = true;
    return handle;
  }

  uint8_t low_res = 0;
  if (bm_low_res && levels >= 2 && frames == 1) {
    low_res = 1;
    levels--;
    w /= 2;
    h /= 2;
  }

  BitmapEntry* first = frames == 1 ? take_free_entry() : take_free_run(frames + 1);
  const int pixel_count = bm_mip_pixel_count(w, h, levels);
  const int bytes = type == BM_TYPE_M2V ? m2v_size : bm_bytes_per_pixel(format) * pixel_count;

  first->type = type;
  first->kind = frames == 1 ? BM_KIND_STILL : BM_KIND_ANIM;
  first->format = format;
  first->name = pool_add(file.c_str());
  first->hash = bm_hash_name(first->name);
  if (!reload) enter_name(first);
  else first->hash = -1;  // a reloaded copy is never found by name
  first->frames = static_cast<uint8_t>(frames);
  first->rate = static_cast<float>(fps * 0.001);
  first->width = static_cast<uint16_t>(w);
  first->height = static_cast<uint16_t>(h);
  first->mip_levels = static_cast<uint8_t>(levels);
  first->pixel_count = pixel_count;
  first->data = nullptr;
  first->palette = nullptr;
  first->path_type = path_type;
  first->low_res = low_res;
  first->byte_size = bytes;
  first->lock_count = 0;
  first->mark_count = 0;

  if (frames > 1) {
    for (int i = 1; i <= frames; i++) {
      BitmapEntry* f = first + i;
      f->name = nullptr;
      f->hash = -1;
      f->type = type;
      f->kind = BM_KIND_FRAME;
      f->format = format;
      f->width = first->width;
      f->height = first->height;
      f->mip_levels = first->mip_levels;
      f->pixel_count = pixel_count;
      f->byte_size = bytes;
      f->frames = static_cast<uint8_t>(i);
      f->rate = first->rate;
      f->path_type = path_type;
      f->low_res = 0;
      f->data = nullptr;
      f->palette = nullptr;
    }
  }
  return handle_of(first);
}

int bm_load(const char* name, int path_type) { return bm_load_ex(name, path_type, false); }

int bm_reload(int handle) {
  BitmapEntry* e = used_entry(handle);
  if (!e) return -1;
  e = head_of(e);
  if (e->type == BM_TYPE_USER || !e->name) return -1;
  const std::string name = e->name;  // the pool may move on while loading
  return bm_load_ex(name.c_str(), e->path_type, true);
}

int bm_load_animation(const char* name, int* frame_count, int* fps, int path_type) {
  const int handle = bm_load(name, path_type);
  const BitmapEntry* e = handle >= 0 ? &bm_bitmaps[handle] : nullptr;
  if (e && e->kind == BM_KIND_ANIM) {
    if (frame_count) *frame_count = e->frames;
    // The rate was stored as a float; a whole frame rate comes back whole.
    if (fps) *fps = static_cast<int>(std::ceil(static_cast<double>(e->rate) * 1000.0 - 0.001));
  } else {
    if (frame_count) *frame_count = 1;
    if (fps) *fps = 0;
  }
  return handle;
}

// ---------------------------------------------------------------------------
// Locking

namespace {

// Reads a still Targa (every mip level) into `e`; false when a file is bad.
bool lock_targa(BitmapEntry* e) {
  const int bpp = bm_bytes_per_pixel(e->format);
  const size_t total = static_cast<size_t>(e->pixel_count) * static_cast<size_t>(bpp);
  if (!e->data) e->data = static_cast<uint8_t*>(alloc_zeroed(total));
  if (e->format == BM_FORMAT_PAL8 && !e->palette) e->palette = alloc_palette();
  if (e->mip_levels == 1 && e->low_res == 0)
    return targa_read_bitmap(e->name, e->data, e->palette, total, e->path_type) == 0;
  size_t offset = 0;
  int w = e->width, h = e->height;
  for (int i = 0; i < e->mip_levels; i++) {
    const size_t level = static_cast<size_t>(w) * static_cast<size_t>(h) * static_cast<size_t>(bpp);
    const int file_level = i + e->low_res;
    const std::string file = file_level == 0 ? std::string(e->name) : mip_name(e->name, file_level);
    if (targa_read_bitmap(file.c_str(), e->data + offset, e->palette, total - offset, e->path_type) != 0)
      return false;
    offset += level;
    w /= 2;
    h /= 2;
  }
  return true;
}

bool lock_pcx(BitmapEntry* e) {
  const size_t size = static_cast<size_t>(e->byte_size);
  if (!e->data) e->data = static_cast<uint8_t*>(alloc_zeroed(size));
  if (!e->palette) e->palette = alloc_palette();
  return pcx_read_bitmap(e->name, e->data, e->palette, size, e->path_type) == PCX_ERROR_NONE;
}

// Reads `size` bytes at `offset` of the VBM file behind `e`.
bool read_vbm_block(const BitmapEntry* e, size_t offset, uint8_t* dst, size_t size) {
  std::vector<uint8_t> file;
  if (!image_io_read_file(e->name, e->path_type, file)) {
    std::printf("Unable to open %s.  Maybe file doesn't exist.\n", e->name);
    return false;
  }
  if (file.size() < offset || file.size() - offset < size) {
    std::printf("VBM file %s refused: its pixel data is shorter than its header says\n", e->name);
    return false;
  }
  std::memcpy(dst, file.data() + offset, size);
  return true;
}

bool lock_vbm_still(BitmapEntry* e) {
  const size_t bpp = static_cast<size_t>(bm_bytes_per_pixel(e->format));
  const size_t size = static_cast<size_t>(e->pixel_count) * bpp;
  size_t skip = VBM_HEADER_SIZE;
  if (e->low_res) skip += 4 * static_cast<size_t>(e->width) * e->height * bpp;
  if (!e->data) e->data = static_cast<uint8_t*>(alloc_block(size));
  return read_vbm_block(e, skip, e->data, size);
}

bool lock_vbm_animation(BitmapEntry* frame) {
  BitmapEntry* head = head_of(frame);
  if (head->data) return true;
  std::vector<uint8_t> file;
  if (!image_io_read_file(head->name, head->path_type, file)) {
    std::printf("Unable to open %s.  Maybe file doesn't exist.\n", head->name);
    return false;
  }
  // Each frame in the file carries all its mip levels; without
  // Load_mipmaps the entry keeps only the top ones, so the file's own
  // stride is taken from its header.
  VbmHeader vh;
  if (const char* why = vbm_parse_header(file.data(), file.size(), &vh)) {
    std::printf("VBM file %s refused: %s\n", head->name, why);
    return false;
  }
  const size_t bpp = static_cast<size_t>(bm_bytes_per_pixel(head->format));
  const size_t per_frame = static_cast<size_t>(head->pixel_count) * bpp;
  const size_t stride = static_cast<size_t>(mip_pixel_count64(vh.width, vh.height, vh.mips_below + 1)) * bpp;
  if (vh.frames != head->frames || stride < per_frame ||
      file.size() - VBM_HEADER_SIZE < stride * static_cast<size_t>(head->frames)) {
    std::printf("VBM file %s refused: it no longer matches its header\n", head->name);
    return false;
  }
  auto* block = static_cast<uint8_t*>(alloc_block(per_frame * head->frames));
  for (int i = 0; i < head->frames; i++)
    std::memcpy(block + static_cast<size_t>(i) * per_frame, file.data() + VBM_HEADER_SIZE + i * stride, per_frame);
  head->data = block;
  for (int i = 1; i <= head->frames; i++) head[i].data = block + static_cast<size_t>(i - 1) * per_frame;
  head->lock_count = head->frames;
  return true;
}

void unlock_entry(BitmapEntry* e, bool force) {
  if (e->kind == BM_KIND_STILL) {
    if (e->type == BM_TYPE_USER) return;
    std::free(e->data);
    std::free(e->palette);
    e->data = nullptr;
    e->palette = nullptr;
    return;
  }
  BitmapEntry* head = head_of(e);
  if (!head->data) return;
  if (!force) {
    const int before = head->lock_count;
    if (before > 0) head->lock_count--;
    if (before > 1) return;
  }
  std::free(head->data);
  std::free(head->palette);
  head->data = nullptr;
  head->palette = nullptr;
  head->lock_count = 0;
  for (int i = 1; i <= head->frames; i++) {
    head[i].data = nullptr;
    head[i].palette = nullptr;
  }
}

}  // namespace

int bm_lock(int handle, uint8_t** data, uint8_t** palette) {
  if (data) *data = nullptr;
  if (palette) *palette = nullptr;
  // A handle outside the table or of a released bitmap has nothing to read;
  // the renderers may still hold one as their current bitmap and only need
  // to be told there are no pixels.
  BitmapEntry* e = used_entry(handle);
  if (!e) return 0;
  e = current_frame_entry(e);
  bool ok = true;
  switch (e->type) {
    case BM_TYPE_USER:
      break;
    case BM_TYPE_PCX:
      ok = lock_pcx(e);
      break;
    case BM_TYPE_TGA:
      ok = lock_targa(e);
      break;
    case BM_TYPE_VBM:
      ok = e->kind == BM_KIND_STILL ? lock_vbm_still(e) : lock_vbm_animation(e);
      break;
    case BM_TYPE_M2V: {
      uint8_t* block = nullptr;
      if (!e->data) {
        ok = m2v_read_file(e->name, &block) > 0;
        e->data = block;
      }
      break;
    }
    default:
      CRITICAL_ERROR("Unsupported type in bm_lock");
  }
  if (!ok) {
    // A failed read leaves nothing for the renderer to upload.
    if (e->kind == BM_KIND_STILL) unlock_entry(e, true);
    return 0;
  }
  if (data) *data = e->data;
  if (palette) *palette = e->palette;
  return e->format;
}

void bm_unlock(int handle) {
  BitmapEntry* e = used_entry(handle);
  if (!e) return;
  unlock_entry(e, false);
}

// ---------------------------------------------------------------------------
// Release and marks

void bm_release(int handle) {
  BitmapEntry* e = used_entry(handle);
  if (!e) return;
  if (e->kind == BM_KIND_ANIM) {
    unlock_entry(e, true);
    const int frames = e->frames;
    for (int i = 1; i <= frames; i++) {
      BitmapEntry* f = e + i;
      // A frame released on its own may have gone to another bitmap since.
      if (f->type == BM_TYPE_NONE || f->kind != BM_KIND_FRAME || head_of(f) != e) continue;
      texture_release(handle_of(f));
      free_entry(f);
    }
    texture_release(handle);
    free_entry(e);
    return;
  }
  texture_release(handle);
  if (e->kind == BM_KIND_STILL) release_entry_data(e);
  free_entry(e);
}

void bm_set_mark() {
  if (bm_marked) CRITICAL_ERROR("bm_set_mark within bm_set_mark not allowed!");
  if (!bm_name_pool.buffer()) bm_name_pool.attach(bm_name_pool_buffer, BM_NAME_POOL_SIZE, false);
  bm_marked = true;
  bm_mark_pool_used = bm_name_pool.used();
  std::copy(std::begin(bm_name_table), std::end(bm_name_table), std::begin(bm_saved_name_table));
  for (BitmapEntry* e = bm_used_list.next; e != &bm_used_list; e = e->next) e->mark_count++;
}

void bm_release_from_mark() {
  if (!bm_marked) CRITICAL_ERROR("bm_release_from_mark without bm_set_mark not allowed!");
  bm_marked = false;

  std::vector<int> used;
  for (BitmapEntry* e = bm_used_list.next; e != &bm_used_list; e = e->next) used.push_back(handle_of(e));
  for (int h : used) {
    BitmapEntry* e = &bm_bitmaps[h];
    if (e->type == BM_TYPE_NONE) continue;  // went with its animation
    if (e->mark_count < 1) {
      bm_release(h);
    } else {
      e->mark_count--;
    }
  }

  // Names stored after the mark (a replaced file) are copied aside before
  // the pool is cut back, then stored again.
  const char* pool_start = bm_name_pool.buffer();
  const char* cut = pool_start + bm_mark_pool_used;
  std::vector<std::pair<BitmapEntry*, std::string>> renamed;
  for (BitmapEntry* e = bm_used_list.next; e != &bm_used_list; e = e->next) {
    if (e->name && e->name >= cut && e->name < pool_start + BM_NAME_POOL_SIZE) renamed.emplace_back(e, e->name);
  }
  bm_name_pool.truncate(bm_mark_pool_used);
  std::copy(std::begin(bm_saved_name_table), std::end(bm_saved_name_table), std::begin(bm_name_table));
  for (auto& [e, name] : renamed) {
    e->name = pool_add(name.c_str());
    if (e->hash != -1) {
      e->hash = bm_hash_name(e->name);
      enter_name(e);
    }
  }
  // Entries whose slot the restored table no longer holds are entered again.
  for (BitmapEntry* e = bm_used_list.next; e != &bm_used_list; e = e->next) {
    if (e->hash != -1 && (e->name_slot < 0 || bm_name_table[e->name_slot] != e)) enter_name(e);
  }
}

// ---------------------------------------------------------------------------
// Queries

int bm_get_current_frame(int handle) {
  if (!handle_in_range(handle)) return handle;
  const BitmapEntry* e = &bm_bitmaps[handle];
  if (e->kind != BM_KIND_ANIM || e->frames < 1) return handle;
  // The rate is a whole number of frames per second stored as frames per
  // millisecond; working in whole numbers keeps frame edges exact.
  const uint64_t clock = static_cast<uint32_t>(frametime_total);
  const int64_t fps_whole = std::llround(static_cast<double>(e->rate) * 1000.0);
  const uint64_t fps = fps_whole > 0 ? static_cast<uint64_t>(fps_whole) : 0;
  const uint64_t frame = (clock * fps / 1000) % e->frames;
  return handle + 1 + static_cast<int>(frame);
}

void bm_get_size(int handle, int* width, int* height) {
  int w = 0, h = 0;
  if (const BitmapEntry* e = used_entry(handle)) {
    e = &bm_bitmaps[bm_get_current_frame(handle)];
    w = e->width;
    h = e->height;
  }
  if (width) *width = w;
  if (height) *height = h;
}

void bm_get_info(int handle, int* width, int* height, int* pixel_count, int* mip_levels) {
  const BitmapEntry* e = used_entry(handle);
  if (!e) {
    if (width) *width = 0;
    if (height) *height = 0;
    return;
  }
  e = &bm_bitmaps[bm_get_current_frame(handle)];
  if (width) *width = e->width;
  if (height) *height = e->height;
  if (pixel_count) *pixel_count = e->pixel_count;
  if (mip_levels) *mip_levels = e->mip_levels;
}

int bm_get_format(int handle) {
  if (!used_entry(handle)) return BM_FORMAT_NONE;
  return bm_bitmaps[bm_get_current_frame(handle)].format;
}

int bm_get_data(int handle, uint8_t** data, uint8_t** palette) {
  if (data) *data = nullptr;
  if (palette) *palette = nullptr;
  if (!used_entry(handle)) return BM_FORMAT_NONE;
  const BitmapEntry* e = &bm_bitmaps[bm_get_current_frame(handle)];
  if (data) *data = e->data;
  if (palette) *palette = e->palette;
  return e->format;
}

int bm_get_frame_info(int handle, float* seconds) {
  const BitmapEntry* e = used_entry(handle);
  if (e && e->kind == BM_KIND_ANIM) {
    if (seconds) *seconds = e->rate > 0.0f ? static_cast<float>(e->frames / static_cast<double>(e->rate) * 0.001) : 0.0f;
    return e->frames;
  }
  if (seconds) *seconds = 1.0f;
  return 1;
}

const char* bm_get_filename(int handle) {
  BitmapEntry* e = used_entry(handle);
  if (!e) return nullptr;
  return head_of(e)->name;
}

int bm_get_memory_size(int handle, int bytes_per_pixel) {
  const int h = bm_get_current_frame(handle);
  if (h < 0 || !used_entry(h)) return -1;
  const BitmapEntry* e = &bm_bitmaps[handle];
  const int frames = e->kind == BM_KIND_ANIM ? e->frames : 1;
  return e->pixel_count * frames * bytes_per_pixel;
}

bool bm_is_placeholder(int handle) {
  if (handle == -1) return bm_placeholder_made;
  const BitmapEntry* e = used_entry(handle);
  return e && e->type == BM_TYPE_USER && e->name && std::strcmp(e->name, USER_BITMAP_NAME) != 0;
}

bool bm_has_alpha(int handle) {
  if (handle < 0) return false;
  const int f = bm_get_format(handle);
  return f == BM_FORMAT_4444 || f == BM_FORMAT_1555 || f == BM_FORMAT_BGRA32;
}

// ---------------------------------------------------------------------------
// Replacing a file, low resolution

int bm_replace_file(int handle, const char* name, int path_type) {
  BitmapEntry* e = used_entry(handle);
  if (!e || !name || !*name) return -1;
  if (e->kind != BM_KIND_STILL || e->lock_count != 0 || e->frames > 1) return -1;
  if (std::strlen(name) > BM_MAX_NAME_LENGTH) return -1;
  if (path_type == -1) path_type = BM_ANY_PATH_TYPE;

  std::string file = name;
  if (bm_get_type_from_ext(name) == BM_TYPE_TGA) {
    const std::string vbm = image_io_make_name(name, ".vbm");
    if (bm_find(vbm.c_str()) >= 0 || image_io_exists(vbm.c_str(), path_type)) file = vbm;
  }
  int w = 0, h = 0, format = 0, levels = 1, frames = 1, fps = 0, m2v_size = -1;
  const int type = bm_read_header(file.c_str(), &w, &h, &format, &levels, &frames, &fps, &m2v_size,
                                  BM_ANY_PATH_TYPE);
  if (type == 0 || type == BM_TYPE_M2V) return -1;
  auto allowed = [](int v) { return v == 4 || v == 8 || v == 16 || v == 32 || v == 64 || v == 128 || v == 256; };
  if (!allowed(w) || !allowed(h)) return -1;
  uint8_t low_res = 0;
  if (e->low_res && levels >= 2 && frames == 1) {
    low_res = 1;
    w /= 2;
    h /= 2;
    levels--;
  }
  if (levels > e->mip_levels) levels = e->mip_levels;
  const int pixel_count = bm_mip_pixel_count(w, h, levels);
  if (frames != e->frames || w != e->width || h != e->height || levels != e->mip_levels ||
      pixel_count != e->pixel_count)
    return -1;

  e->type = type;
  e->name = pool_add(file.c_str());
  e->hash = bm_hash_name(e->name);
  enter_name(e);
  e->rate = static_cast<float>(fps * 0.001);
  e->path_type = path_type;
  e->format = format;
  e->byte_size = bm_bytes_per_pixel(format) * pixel_count;
  e->low_res = low_res;
  texture_mark_dirty(handle);
  return 0;
}

void bm_set_low_res(bool on) {
  if (on == bm_low_res) return;
  bm_low_res = on;
  for (BitmapEntry* e = bm_used_list.next; e != &bm_used_list; e = e->next) {
    // Only still bitmaps change: the frames of an animation share one block
    // laid out at full size, and pixels already handed out keep their size.
    if (e->kind != BM_KIND_STILL || e->lock_count != 0) continue;
    if (e->type != BM_TYPE_USER && e->data) continue;
    if (on) {
      if (e->low_res || e->mip_levels < 2 || e->frames != 1) continue;
      e->low_res = 1;
      e->width = static_cast<uint16_t>(e->width / 2);
      e->height = static_cast<uint16_t>(e->height / 2);
      e->mip_levels--;
    } else {
      if (!e->low_res) continue;
      e->low_res = 0;
      e->width = static_cast<uint16_t>(e->width * 2);
      e->height = static_cast<uint16_t>(e->height * 2);
      e->mip_levels++;
    }
    e->pixel_count = bm_mip_pixel_count(e->width, e->height, e->mip_levels);
    e->byte_size = bm_bytes_per_pixel(e->format) * e->pixel_count;
    texture_mark_dirty(handle_of(e));
  }
}

bool bm_get_low_res() { return bm_low_res; }

// ---------------------------------------------------------------------------
// Loading progress

int load_progress_set_callback(LoadProgressCallback callback, int estimated_total, bool escape_aborts) {
  if (callback) {
    lp_count = 0;
    lp_count_at_last_call = 0;
    lp_estimated_total = estimated_total;
    lp_next_call_time = static_cast<int64_t>(timer_get(1000)) + 100;
    lp_callback = callback;
    lp_nesting++;
    callback(0, 0);
    lp_nesting--;
  } else {
    if (lp_callback) {
      lp_nesting++;
      lp_callback(-1, 0);
      lp_nesting--;
    }
    lp_next_call_time = -1;
    lp_callback = nullptr;
  }
  lp_abort = false;
  lp_escape_aborts = escape_aborts;
  return lp_count;
}

bool load_progress_tick(int value) {
  if (!lp_callback || lp_next_call_time < 0) return false;
  if (lp_nesting > 0) return lp_abort;
  lp_count++;
  const int64_t now = timer_get(1000);
  const bool due = now > lp_next_call_time ||
                   (lp_count - lp_count_at_last_call > 155 && lp_estimated_total >= 1);
  if (due) {
    if (lp_escape_aborts) {
      for (int key = key_inkey(); key != 0; key = key_inkey())
        if (key == KEY_ESC) lp_abort = true;
    }
    lp_nesting++;
    lp_callback(lp_count, value);
    lp_nesting--;
    lp_count_at_last_call = lp_count;
    lp_next_call_time = static_cast<int64_t>(timer_get(1000)) + 100;
  }
  return lp_abort;
}

// ---------------------------------------------------------------------------
// Console

CONSOLE_BOOL_VARIABLE(cc_load_mipmaps, "load_mipmaps", "Toggles Load_mipmaps", Load_mipmaps);

static ConsoleCommand cc_change_texture_res(
    "change_texture_res", "Toggle the texture resolution between high and low resolutions.", [] {
      if (Console_run) {
        bm_set_low_res(!bm_low_res);
        console_printf("Low resolution textures are now %s!\n", bm_low_res ? "enabled" : "disabled");
      }
    });
