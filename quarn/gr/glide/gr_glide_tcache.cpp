#include "quarn/gr/glide/gr_glide_tcache.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "quarn/bmpman/bmpman.h"
#include "quarn/gr/glide/gr_glide.h"
#include "quarn/gr/gr.h"
#include "quarn/gr/gr_tpage.h"

namespace {

constexpr uint32_t PAGE_BITS = 21;  // no texture may cross a 2 MB boundary

struct TextureSection {
  GlideTexInfo info{};
  int tex_w = 0, tex_h = 0;
  // Residency is a flag of its own: address 0 is a real address.
  bool resident[2] = {false, false};
  uint32_t address[2] = {0, 0};
  uint32_t size[2] = {0, 0};
  std::vector<uint8_t> pixels;
  float s_scale = 0, t_scale = 0;
  uint16_t x = 0, y = 0, w = 0, h = 0;
};

struct TextureSlot {
  int handle = -1;
  std::vector<TextureSection> sections;
};

struct Block {
  int next = -1;
  uint32_t start = 0, size = 0;
  int owner_slot = -1, owner_section = -1;
};

struct Heap {
  int unit = 0;
  int bound_slot = -1, bound_section = -1;
  float bound_s = 0, bound_t = 0;
  std::vector<Block> blocks;
  int free_head = -1, first = -1, last = -1;
  uint32_t low = 0, high = 0;
  uint32_t free_at_start = 0;
  uint32_t in_use = 0;
};

std::vector<TextureSlot> Slots;
Heap Heaps[2];
int Converted_bytes = 0;
bool Started = false;

// Pages of small bitmaps: 256x256 textures of the slots after the bitmaps'
// own, one set for each of the card's four texel formats.
constexpr int PAGE_SIDE = 256;
constexpr int PAGES_PER_FORMAT = 4;
constexpr int PAGE_FORMATS = 4;
constexpr int PAGE_SLOTS = PAGES_PER_FORMAT * PAGE_FORMATS;
GrPagePacker Packers[PAGE_FORMATS];
struct PagePlace {
  int handle = -1;  // -1: not in a page
  int set = 0;
  GrPagePlace place;
  int w = 0, h = 0;
  uint8_t dirty = 0;
};
std::vector<PagePlace> Placed;

int page_set_of(int glide_format) {
  switch (glide_format) {
    case GLIDE_TEXFMT_ARGB_1555: return 0;
    case GLIDE_TEXFMT_RGB_565: return 1;
    case GLIDE_TEXFMT_ARGB_4444: return 2;
    default: return 3;  // alpha 8
  }
}
int page_slot(int set, int page) { return GLIDE_MAX_SLOTS + set * PAGES_PER_FORMAT + page; }

void heap_reset(Heap& h) {
  h.blocks.assign(GLIDE_MAX_BLOCKS, Block());
  for (int i = 0; i < GLIDE_MAX_BLOCKS; i++) h.blocks[i].next = i + 1 < GLIDE_MAX_BLOCKS ? i + 1 : -1;
  h.free_head = 0;
  h.first = h.last = -1;
  h.bound_slot = h.bound_section = -1;
  h.in_use = 0;
}

void release_owner(Heap& h, Block& b) {
  if (b.owner_slot >= 0 && b.owner_slot < static_cast<int>(Slots.size())) {
    auto& secs = Slots[b.owner_slot].sections;
    if (b.owner_section >= 0 && b.owner_section < static_cast<int>(secs.size())) {
      TextureSection& s = secs[b.owner_section];
      s.resident[h.unit] = false;
      s.address[h.unit] = 0;
      s.size[h.unit] = 0;
    }
    if (h.bound_slot == b.owner_slot && h.bound_section == b.owner_section) h.bound_slot = h.bound_section = -1;
    h.in_use -= b.size;
  }
  b.owner_slot = b.owner_section = -1;
}

uint32_t allocate(Heap& h, uint32_t size, int slot, int section) {
  int nb;
  uint32_t start;
  if (h.first < 0) {
    nb = h.free_head;
    h.free_head = h.blocks[nb].next;
    h.first = h.last = nb;
    h.blocks[nb].next = -1;
    start = h.low;
  } else {
    // The next texture goes where the last one ends.
    const Block& last = h.blocks[h.last];
    start = last.start + last.size;
    const uint32_t end = start + size;
    if (end < h.high && (end >> PAGE_BITS) != (start >> PAGE_BITS)) start = end & ~((1u << PAGE_BITS) - 1);
    const bool one_record_left = h.free_head < 0 || h.blocks[h.free_head].next < 0;
    if (start + size > h.high || one_record_left) {
      nb = h.first;
      release_owner(h, h.blocks[nb]);
      h.last = nb;
      start = h.low;
    } else {
      nb = h.free_head;
      h.free_head = h.blocks[nb].next;
      h.blocks[nb].next = h.blocks[h.last].next;
      h.blocks[h.last].next = nb;
      h.last = nb;
    }
  }
  // Older textures under the new one are overwritten.
  int n = h.blocks[nb].next;
  while (n >= 0 && h.blocks[n].start < start + size) {
    const int following = h.blocks[n].next;
    release_owner(h, h.blocks[n]);
    h.blocks[n].next = h.free_head;
    h.free_head = n;
    n = following;
  }
  Block& b = h.blocks[nb];
  b.next = n;
  b.start = start;
  b.size = size;
  b.owner_slot = slot;
  b.owner_section = section;
  return start;
}

void forget_binding(int slot) {
  for (Heap& h : Heaps)
    if (h.bound_slot == slot) h.bound_slot = h.bound_section = -1;
}

void free_sections(int slot) {
  TextureSlot& s = Slots[slot];
  for (Heap& h : Heaps) {
    for (Block& b : h.blocks)
      if (b.owner_slot == slot) release_owner(h, b);
  }
  for (TextureSection& sec : s.sections) Converted_bytes -= static_cast<int>(sec.pixels.size());
  s.sections.clear();
}

int glide_bytes(int glide_format) { return glide_format == GLIDE_TEXFMT_ALPHA_8 ? 1 : 2; }

void put_texel(uint8_t* dst, int glide_format, uint16_t texel) {
  if (glide_format == GLIDE_TEXFMT_ALPHA_8) {
    dst[0] = static_cast<uint8_t>(texel);
  } else {
    dst[0] = static_cast<uint8_t>(texel);
    dst[1] = static_cast<uint8_t>(texel >> 8);
  }
}

bool is_pow2_side(int v) {
  for (int s = 4; s <= 256; s <<= 1)
    if (v == s) return true;
  return false;
}

// Locks the bitmap's pixels when the card can take their format; otherwise
// says so and leaves the bitmap unlocked.
bool lock_for_card(int handle, uint8_t** data, uint8_t** palette, int* format, int* glide_format) {
  *format = bm_lock(handle, data, palette);
  if (gr_glide_format_of(*format, glide_format) && *data && (*format != BM_FORMAT_PAL8 || *palette)) return true;
  std::printf("Glide: bitmap '%s' has pixel format %d, which the card cannot take\n", bm_get_filename(handle),
              *format);
  if (*format != BM_FORMAT_NONE) bm_unlock(handle);
  return false;
}

bool build_mipmapped(TextureSlot& slot, int handle, int w, int h, int levels, int pixel_count) {
  const int ac = gr_glide_aspect_code(w, h);
  if (!is_pow2_side(w) || !is_pow2_side(h) || ac < 0) {
    std::printf("Glide: Not drawing %dx%d bitmap '%s'\n", w, h, bm_get_filename(handle));
    slot.sections.clear();
    return false;
  }
  uint8_t* data = nullptr;
  uint8_t* palette = nullptr;
  int format = 0, gf = 0;
  if (!lock_for_card(handle, &data, &palette, &format, &gf)) {
    slot.sections.clear();
    return false;
  }
  const int bpp = bm_bytes_per_pixel(format);
  TextureSection& s = slot.sections[0];
  s.pixels.assign(static_cast<size_t>(pixel_count) * glide_bytes(gf), 0);
  for (int i = 0; i < pixel_count; i++)
    put_texel(&s.pixels[static_cast<size_t>(i) * glide_bytes(gf)], gf,
              gr_glide_convert_pixel(format, data + static_cast<size_t>(i) * bpp, palette));
  bm_unlock(handle);
  const int larger = w > h ? w : h;
  int small = larger >> (levels - 1);
  if (small < 1) small = 1;
  s.info.large_lod = gr_glide_lod_code(larger);
  s.info.small_lod = gr_glide_lod_code(small);
  s.info.aspect = ac;
  s.info.format = gf;
  s.info.data = s.pixels.data();
  s.tex_w = w;
  s.tex_h = h;
  s.s_scale = static_cast<float>(w) * 256.0f / static_cast<float>(larger);
  s.t_scale = static_cast<float>(h) * 256.0f / static_cast<float>(larger);
  s.x = s.y = 0;
  s.w = static_cast<uint16_t>(w);
  s.h = static_cast<uint16_t>(h);
  Converted_bytes += static_cast<int>(s.pixels.size());
  return true;
}

void convert_section(TextureSection& s, int format, int gf, const uint8_t* data, const uint8_t* palette, int bw) {
  int tw = gr_glide_texture_side(s.w), th = gr_glide_texture_side(s.h);
  if (th / tw >= 9) tw = th / 8;
  if (tw / th > 8) th = tw / 8;
  const int larger = tw > th ? tw : th;
  s.tex_w = tw;
  s.tex_h = th;
  s.s_scale = static_cast<float>(s.w) * 256.0f / static_cast<float>(larger);
  s.t_scale = static_cast<float>(s.h) * 256.0f / static_cast<float>(larger);
  const int bytes = glide_bytes(gf);
  const int bpp = bm_bytes_per_pixel(format);
  s.pixels.assign(static_cast<size_t>(tw) * th * bytes, 0);
  for (int y = 0; y < s.h; y++) {
    const uint8_t* row = data + (static_cast<size_t>(s.y + y) * bw + s.x) * bpp;
    uint8_t* out = &s.pixels[static_cast<size_t>(y) * tw * bytes];
    for (int x = 0; x < s.w; x++)
      put_texel(out + static_cast<size_t>(x) * bytes, gf, gr_glide_convert_pixel(format, row + x * bpp, palette));
  }
  s.info.large_lod = s.info.small_lod = gr_glide_lod_code(larger);
  s.info.aspect = gr_glide_aspect_code(tw, th);
  s.info.format = gf;
  s.info.data = s.pixels.data();
  Converted_bytes += static_cast<int>(s.pixels.size());
}

bool build_slot(int handle, int slot_index) {
  TextureSlot& slot = Slots[slot_index];
  free_sections(slot_index);
  int w = 0, h = 0, pixel_count = 0, levels = 1;
  bm_get_info(handle, &w, &h, &pixel_count, &levels);
  if (w < 1 || h < 1) return false;
  slot.handle = handle;
  const int across = (w + 255) / 256, down = (h + 255) / 256;
  slot.sections.assign(static_cast<size_t>(across) * down, TextureSection());
  if (levels > 1) return build_mipmapped(slot, handle, w, h, levels, pixel_count);

  uint8_t* data = nullptr;
  uint8_t* palette = nullptr;
  int format = 0, gf = 0;
  if (!lock_for_card(handle, &data, &palette, &format, &gf)) {
    slot.sections.clear();
    return false;
  }
  for (int band = 0; band < down; band++) {
    for (int col = 0; col < across; col++) {
      TextureSection& s = slot.sections[static_cast<size_t>(band) * across + col];
      s.x = static_cast<uint16_t>(col * 256);
      s.y = static_cast<uint16_t>(band * 256);
      s.w = static_cast<uint16_t>(col + 1 < across ? 256 : w - col * 256);
      s.h = static_cast<uint16_t>(band + 1 < down ? 256 : h - band * 256);
      convert_section(s, format, gf, data, palette, w);
    }
  }
  bm_unlock(handle);
  return true;
}

void make_resident(Heap& h, int slot, int section, float* s_scale, float* t_scale) {
  TextureSection& s = Slots[slot].sections[section];
  const int u = h.unit;
  if (!s.resident[u]) {
    const uint32_t size = Glide_api.grTexTextureMemRequired(GLIDE_MIPMAPLEVELMASK_BOTH, &s.info);
    const uint32_t address = allocate(h, size, slot, section);
    s.resident[u] = true;
    s.address[u] = address;
    s.size[u] = size;
    h.in_use += size;
    Glide_api.grTexDownloadMipMap(u, address, GLIDE_MIPMAPLEVELMASK_BOTH, &s.info);
  }
  Glide_api.grTexSource(u, s.address[u], GLIDE_MIPMAPLEVELMASK_BOTH, &s.info);
  h.bound_slot = slot;
  h.bound_section = section;
  h.bound_s = s.s_scale;
  h.bound_t = s.t_scale;
  *s_scale = s.s_scale;
  *t_scale = s.t_scale;
}

int slot_of(int handle) {
  if (handle < 0 || !Started) return -1;
  const int slot = bm_get_current_frame(handle);
  if (slot < 0 || slot >= static_cast<int>(Slots.size())) return -1;
  return slot;
}

}  // namespace

int gr_glide_texture_side(int side) {
  int s = 4;
  while (s < side && s < 256) s <<= 1;
  return s;
}

int gr_glide_lod_code(int side) {
  int code = 0;
  for (int s = 256; s > side && code < 8; s >>= 1) code++;
  return code;
}

int gr_glide_aspect_code(int w, int h) {
  if (w < 1 || h < 1) return -1;
  if (w >= h) {
    switch (w / h) {
      case 8: return GLIDE_ASPECT_8x1;
      case 4: return 1;
      case 2: return 2;
      case 1: return GLIDE_ASPECT_1x1;
      default: return -1;
    }
  }
  switch (h / w) {
    case 2: return 4;
    case 4: return 5;
    case 8: return GLIDE_ASPECT_1x8;
    default: return -1;
  }
}

bool gr_glide_format_of(int bitmap_format, int* glide_format) {
  switch (bitmap_format) {
    case BM_FORMAT_PAL8:
    case BM_FORMAT_1555:
    case BM_FORMAT_BGR24: *glide_format = GLIDE_TEXFMT_ARGB_1555; return true;
    case BM_FORMAT_ALPHA8: *glide_format = GLIDE_TEXFMT_ALPHA_8; return true;
    case BM_FORMAT_565: *glide_format = GLIDE_TEXFMT_RGB_565; return true;
    case BM_FORMAT_4444:
    case BM_FORMAT_BGRA32: *glide_format = GLIDE_TEXFMT_ARGB_4444; return true;
    default: return false;
  }
}

uint16_t gr_glide_convert_pixel(int bitmap_format, const uint8_t* p, const uint8_t* palette) {
  auto rgb1555 = [](int r, int g, int b) -> uint16_t {
    if (r == 0 && g == 255 && b == 0) return 0;  // pure green is the transparent colour
    return static_cast<uint16_t>(0x8000 | ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3));
  };
  switch (bitmap_format) {
    case BM_FORMAT_PAL8: {
      const uint8_t* e = palette + 3 * p[0];
      return rgb1555(e[0], e[1], e[2]);
    }
    case BM_FORMAT_ALPHA8: return static_cast<uint16_t>(Gr_gamma_lookup[p[0]] & 0xFF);
    case BM_FORMAT_565:
    case BM_FORMAT_4444: return static_cast<uint16_t>(p[0] | (p[1] << 8));
    case BM_FORMAT_1555: return static_cast<uint16_t>((p[0] | (p[1] << 8)) ^ 0x8000);
    case BM_FORMAT_BGR24: return rgb1555(p[2], p[1], p[0]);
    case BM_FORMAT_BGRA32:
      return static_cast<uint16_t>(((p[3] >> 4) << 12) | ((p[2] >> 4) << 8) | ((p[1] >> 4) << 4) | (p[0] >> 4));
    default: return 0;
  }
}

void gr_glide_tcache_init() {
  Slots.assign(GLIDE_MAX_SLOTS + PAGE_SLOTS, TextureSlot());
  Placed.assign(GLIDE_MAX_SLOTS, PagePlace());
  for (GrPagePacker& p : Packers) p.reset(PAGE_SIDE, PAGES_PER_FORMAT);
  Converted_bytes = 0;
  for (int u = 0; u < 2; u++) {
    Heap& h = Heaps[u];
    h.unit = u;
    h.free_at_start = Glide_api.guTexMemQueryAvail(u);
    h.low = Glide_api.grTexMinAddress(u);
    h.high = Glide_api.grTexMaxAddress(u);
    Glide_api.grTexMipMapMode(u, u == 0 ? GLIDE_MIPMAP_NEAREST : GLIDE_MIPMAP_DISABLE, 0);
    Glide_api.grTexLodBiasValue(u, 0.5f);
    heap_reset(h);
  }
  Started = true;
  const double bytes = static_cast<double>(Heaps[0].free_at_start) + Heaps[1].free_at_start;
  if (bytes < 999) {
    std::printf("Total texture memory on 3dfx card = %d bytes\n", static_cast<int>(bytes));
  } else {
    const double kb = bytes / 1024.0;
    if (kb >= 999.99) std::printf("Total texture memory on 3dfx card = %.2f MB\n", kb / 1024.0);
    else std::printf("Total texture memory on 3dfx card = %.2f KB\n", kb);
  }
}

void gr_glide_flush_textures() {
  if (!Started) return;
  if (Glide_api.grSstIsBusy && Glide_api.grSstIsBusy()) Glide_api.grSstIdle();
  for (TextureSlot& s : Slots) {
    for (TextureSection& sec : s.sections) Converted_bytes -= static_cast<int>(sec.pixels.size());
    s.sections.clear();
  }
  for (Heap& h : Heaps) heap_reset(h);
  for (GrPagePacker& p : Packers) p.reset(PAGE_SIDE, PAGES_PER_FORMAT);
  for (PagePlace& p : Placed) p.handle = -1;
}

void gr_glide_tcache_shutdown() {
  gr_glide_flush_textures();
  for (Heap& h : Heaps) {
    h.blocks.clear();
    h.blocks.shrink_to_fit();
  }
  Slots.clear();
  Placed.clear();
  Started = false;
}

int gr_glide_set_texture(int unit, int handle, int section, float* s_scale, float* t_scale, int upload) {
  if (unit < 0 || unit > 1) return 0;
  const int slot = slot_of(handle);
  if (slot < 0) return 0;
  Heap& h = Heaps[unit];
  if (h.bound_slot == slot && h.bound_section == section) {
    *s_scale = h.bound_s;
    *t_scale = h.bound_t;
    return 1;
  }
  TextureSlot& s = Slots[slot];
  if (s.sections.empty() || s.handle != slot) {
    if (!build_slot(slot, slot)) return 0;
  }
  if (section < 0 || section >= static_cast<int>(s.sections.size())) return 0;
  if (upload) {
    make_resident(h, slot, section, s_scale, t_scale);
  } else {
    *s_scale = s.sections[section].s_scale;
    *t_scale = s.sections[section].t_scale;
  }
  return 1;
}

int gr_glide_section_count(int handle) {
  const int slot = slot_of(handle);
  if (slot < 0) return 0;
  TextureSlot& s = Slots[slot];
  if (s.sections.empty() || s.handle != slot) {
    if (!build_slot(slot, slot)) return 0;
  }
  return static_cast<int>(s.sections.size());
}

void gr_glide_section_rect(int handle, int section, int* x, int* y, int* w, int* h) {
  *x = *y = *w = *h = 0;
  const int slot = slot_of(handle);
  if (slot < 0 || section < 0 || section >= static_cast<int>(Slots[slot].sections.size())) return;
  const TextureSection& s = Slots[slot].sections[section];
  *x = s.x;
  *y = s.y;
  *w = s.w;
  *h = s.h;
}

void gr_glide_texture_dirty(int handle) {
  if (!Started || handle < 0 || handle >= GLIDE_MAX_SLOTS) return;
  // Filled again at its next draw; the library sends the polygons queued
  // from the page before the page changes.
  Placed[handle].dirty = 1;
  forget_binding(handle);
  if (Slots[handle].handle < 0) return;
  if (!build_slot(handle, handle)) free_sections(handle);
}

void gr_glide_texture_release(int handle) {
  if (!Started || handle < 0 || handle >= GLIDE_MAX_SLOTS) return;
  Placed[handle].handle = -1;
  forget_binding(handle);
  free_sections(handle);
  Slots[handle].handle = -1;
}

bool gr_glide_section_view(int handle, int section, GlideSectionView* out) {
  const int slot = slot_of(handle);
  if (slot < 0 || section < 0 || section >= static_cast<int>(Slots[slot].sections.size())) return false;
  const TextureSection& s = Slots[slot].sections[section];
  out->info = s.info;
  out->tex_w = s.tex_w;
  out->tex_h = s.tex_h;
  out->s_scale = s.s_scale;
  out->t_scale = s.t_scale;
  out->x = s.x;
  out->y = s.y;
  out->w = s.w;
  out->h = s.h;
  for (int u = 0; u < 2; u++) {
    out->resident[u] = s.resident[u];
    out->address[u] = s.address[u];
    out->size[u] = s.size[u];
  }
  return true;
}

uint32_t gr_glide_heap_bytes_in_use(int unit) { return unit == 0 || unit == 1 ? Heaps[unit].in_use : 0; }
int gr_glide_converted_bytes() { return Converted_bytes; }

namespace {

void pages_empty() {
  for (int i = 0; i < PAGE_SLOTS; i++) {
    const int slot = GLIDE_MAX_SLOTS + i;
    forget_binding(slot);
    free_sections(slot);
  }
  for (GrPagePacker& p : Packers) p.reset(PAGE_SIDE, PAGES_PER_FORMAT);
  for (PagePlace& p : Placed) p.handle = -1;
}

// A new page: one transparent 256x256 section of the format.
void page_create(int slot, int glide_format) {
  TextureSection s;
  s.tex_w = s.tex_h = PAGE_SIDE;
  s.w = s.h = PAGE_SIDE;
  s.s_scale = s.t_scale = 256.0f;
  s.pixels.assign(static_cast<size_t>(PAGE_SIDE) * PAGE_SIDE * glide_bytes(glide_format), 0);
  s.info.large_lod = s.info.small_lod = gr_glide_lod_code(PAGE_SIDE);
  s.info.aspect = GLIDE_ASPECT_1x1;
  s.info.format = glide_format;
  s.info.data = s.pixels.data();
  Converted_bytes += static_cast<int>(s.pixels.size());
  Slots[slot].handle = slot;
  Slots[slot].sections.assign(1, std::move(s));
  Slots[slot].sections[0].info.data = Slots[slot].sections[0].pixels.data();
}

// Converts the bitmap into its place; a page already on the card is sent
// again.
bool page_fill(int handle, const PagePlace& p) {
  uint8_t* data = nullptr;
  uint8_t* palette = nullptr;
  int format = 0, gf = 0;
  if (!lock_for_card(handle, &data, &palette, &format, &gf)) return false;
  const int slot = page_slot(p.set, p.place.page);
  TextureSection& s = Slots[slot].sections[0];
  const int bytes = glide_bytes(gf), bpp = bm_bytes_per_pixel(format);
  for (int y = 0; y < p.h; y++) {
    const uint8_t* row = data + static_cast<size_t>(y) * p.w * bpp;
    uint8_t* out = &s.pixels[(static_cast<size_t>(p.place.y + y) * PAGE_SIDE + p.place.x) * bytes];
    for (int x = 0; x < p.w; x++)
      put_texel(out + static_cast<size_t>(x) * bytes, gf, gr_glide_convert_pixel(format, row + x * bpp, palette));
  }
  bm_unlock(handle);
  for (int u = 0; u < 2; u++) {
    if (!s.resident[u]) continue;
    Glide_api.grTexDownloadMipMap(u, s.address[u], GLIDE_MIPMAPLEVELMASK_BOTH, &s.info);
    // The card forgets what was selected where it was written.
    if (Heaps[u].bound_slot == slot) Heaps[u].bound_slot = Heaps[u].bound_section = -1;
  }
  return true;
}

}  // namespace

bool gr_glide_page_bind(int handle, int* x, int* y) {
  const int index = slot_of(handle);
  if (index < 0 || index >= GLIDE_MAX_SLOTS) return false;
  PagePlace& p = Placed[index];
  if (p.handle != index || p.dirty) {
    int w = 0, h = 0, pixel_count = 0, levels = 1;
    bm_get_info(index, &w, &h, &pixel_count, &levels);
    int gf = 0;
    const bool takes = levels <= 1 && gr_page_takes(w, h, PAGE_SIDE) && gr_glide_format_of(bm_get_format(index), &gf);
    // A changed bitmap of the same size and format is filled in its place.
    if (p.handle == index && takes && p.w == w && p.h == h && p.set == page_set_of(gf)) {
      p.dirty = 0;
      if (!page_fill(index, p)) {
        p.handle = -1;
        return false;
      }
      return gr_glide_page_bind(handle, x, y);
    }
    p.handle = -1;
    if (!takes) return false;
    const int set = page_set_of(gf);
    GrPagePlace place;
    if (!Packers[set].place(w, h, &place)) {
      // Every page of the format is full: all pages are emptied and filled
      // again from here.
      pages_empty();
      if (!Packers[set].place(w, h, &place)) return false;
    }
    const int slot = page_slot(set, place.page);
    if (Slots[slot].sections.empty()) page_create(slot, gf);
    p = PagePlace{index, set, place, w, h, 0};
    if (!page_fill(index, p)) {
      p.handle = -1;
      return false;
    }
  }
  const int slot = page_slot(p.set, p.place.page);
  Heap& heap = Heaps[0];
  if (heap.bound_slot != slot || heap.bound_section != 0) {
    float s, t;
    make_resident(heap, slot, 0, &s, &t);
  }
  *x = p.place.x;
  *y = p.place.y;
  return true;
}
