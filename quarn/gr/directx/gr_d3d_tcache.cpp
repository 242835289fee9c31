// The Direct3D texture cache: one slot per bitmap table entry, each holding
// the managed 16-bit texture surfaces of the bitmap's sections (a bitmap
// larger than the card's largest texture is cut into a grid of them).
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "quarn/bmpman/bmpman.h"
#include "quarn/gr/directx/gr_d3d.h"
#include "quarn/gr/gr_tpage.h"
#include "quarn/platform/d3d7.h"

extern DDPIXELFORMAT Gr_d3d_alpha_format, Gr_d3d_rgb_format, Gr_d3d_bump_format;

namespace {

struct Section {
  DirectDrawSurface7* surface = nullptr;
  int bytes = 0;
  float u_scale = 1, v_scale = 1;
  int x = 0, y = 0, w = 0, h = 0;
};
struct Slot {
  int handle = -1;
  uint8_t dirty = 0;
  // The bitmap could not be made a texture: binds fail until it changes.
  bool refused = false;
  std::vector<Section> sections;
};
struct Binding {
  int slot = -1, section = -1;
  float u_scale = 1, v_scale = 1;
};

std::vector<Slot> Slots;
Binding Stage[2];

// Pages of small bitmaps, one set for each of the two texture formats.
constexpr int MAX_PAGES = 16;
struct PageSet {
  GrPagePacker packer;
  std::vector<DirectDrawSurface7*> surfaces;
};
PageSet Pages[2];  // 0: the alpha format, 1: the RGB format
struct PagePlace {
  int handle = -1;  // -1: not in a page
  int set = 0;
  GrPagePlace place;
  int w = 0, h = 0;
  uint8_t dirty = 0;
};
std::vector<PagePlace> Placed;
DirectDrawSurface7* Bound_page = nullptr;  // on stage 0
int Page_side = 0;

void pages_release() {
  gr_d3d_flush_2d();
  for (PageSet& set : Pages) {
    for (DirectDrawSurface7* t : set.surfaces)
      if (t) t->Release();
    set.surfaces.clear();
    set.packer.reset(Page_side, MAX_PAGES);
  }
  for (PagePlace& p : Placed) p.handle = -1;
  if (Bound_page && gr_d3d_device()) gr_d3d_device()->SetTexture(0, nullptr);
  Bound_page = nullptr;
}

void release_sections(Slot& s) {
  for (Section& q : s.sections)
    if (q.surface) q.surface->Release();
  s.sections.clear();
}

void forget_slot(int index) {
  for (Binding& b : Stage)
    if (b.slot == index) b = Binding();
}

bool is_pow2_in(int v, int lo, int hi) { return v >= lo && v <= hi && (v & (v - 1)) == 0; }

const DDPIXELFORMAT* format_of(int kind) {
  switch (kind) {
    case BM_FORMAT_PAL8:
    case BM_FORMAT_ALPHA8:
    case BM_FORMAT_4444:
    case BM_FORMAT_1555:
    case BM_FORMAT_BGRA32: return &Gr_d3d_alpha_format;
    case BM_FORMAT_565:
    case BM_FORMAT_BGR24: return &Gr_d3d_rgb_format;
    case BM_FORMAT_16BIT: return &Gr_d3d_bump_format;
    default: return nullptr;
  }
}

// -1 when the section has no surface.
int create_texture(Section& q, int kind, const uint8_t* pixels, const uint8_t* palette, int bw, int bh, int levels) {
  const D3dTextureRules& r = Gr_d3d_texture_rules;
  int tw = gr_d3d_texture_side(q.w, r.pow2, r.min_w, r.max_w);
  int th = gr_d3d_texture_side(q.h, r.pow2, r.min_h, r.max_h);
  if (r.square) tw = th = std::max(tw, th);
  q.u_scale = static_cast<float>(q.w) / tw;
  q.v_scale = static_cast<float>(q.h) / th;
  DDSURFACEDESC2 sd;
  sd.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
  sd.dwWidth = static_cast<uint32_t>(tw);
  sd.dwHeight = static_cast<uint32_t>(th);
  const DDPIXELFORMAT* f = format_of(kind);
  if (f) {
    sd.dwFlags |= DDSD_PIXELFORMAT;
    sd.ddpfPixelFormat = *f;
  }
  sd.dwCaps = DDSCAPS_TEXTURE;
  sd.dwCaps2 = DDSCAPS2_TEXTUREMANAGE;
  if (levels > 1) {
    sd.dwCaps |= DDSCAPS_MIPMAP | DDSCAPS_COMPLEX;
    sd.dwFlags |= DDSD_MIPMAPCOUNT;
    sd.dwMipMapCount = static_cast<uint32_t>(levels);
  }
  DirectDraw7* dd = gr_d3d_object() ? gr_d3d_object()->ddraw : nullptr;
  DirectDrawSurface7* top = nullptr;
  if (!dd || dd->CreateSurface(&sd, &top, nullptr) != DD_OK) return -1;
  DirectDrawSurface7* level = top;
  level->AddRef();
  const uint8_t* src = pixels;
  int sw = bw, sh = bh, x = q.x, y = q.y, w = q.w, h = q.h;
  const int bpp = bm_bytes_per_pixel(kind);
  for (int i = 0; i < levels; i++) {
    DDSURFACEDESC2 ld;
    if (level->Lock(nullptr, &ld, DDLOCK_WAIT, nullptr) != DD_OK) {
      level->Release();
      top->Release();
      return -1;
    }
    gr_d3d_convert_pixels(kind, src, palette, sw, x, y, w, h, ld.ddpfPixelFormat, static_cast<uint8_t*>(ld.lpSurface),
                          static_cast<int>(ld.dwWidth), static_cast<int>(ld.dwHeight), ld.lPitch);
    level->Unlock(nullptr);
    DirectDrawSurface7* next = nullptr;
    if (i + 1 < levels) {
      const uint32_t caps = DDSCAPS_TEXTURE | DDSCAPS_MIPMAP;
      if (level->GetAttachedSurface(&caps, &next) != DD_OK) next = nullptr;
      src += static_cast<size_t>(bpp) * sw * sh;
      sw /= 2, sh /= 2, x /= 2, y /= 2, w = std::max(1, w / 2), h = std::max(1, h / 2);
    }
    level->Release();
    level = next;
    if (!level) break;
  }
  if (level) level->Release();
  q.surface = top;
  q.bytes = tw * th * 2;
  return 0;
}

bool upload(int index, int handle) {
  Slot& s = Slots[index];
  release_sections(s);
  s.handle = handle;
  s.refused = true;
  int w = 0, h = 0, levels = 1;
  bm_get_info(handle, &w, &h, nullptr, &levels);
  if (w < 1 || h < 1) return false;
  const int mw = std::max(1, gr_screen.max_texture_w > 0 ? gr_screen.max_texture_w : 256);
  const int mh = std::max(1, gr_screen.max_texture_h > 0 ? gr_screen.max_texture_h : 256);
  const int cols = (w + mw - 1) / mw, rows = (h + mh - 1) / mh;
  s.sections.assign(static_cast<size_t>(cols) * rows, Section());
  if (levels > 1 && !(cols * rows == 1 && is_pow2_in(w, 4, 256) && is_pow2_in(h, 4, 256))) {
    char text[300];
    std::snprintf(text, sizeof text, "D3D: Not drawing %dx%d bitmap '%s'\n", w, h, bm_get_filename(handle));
    std::fputs(text, stdout);
    s.sections.clear();
    return false;
  }
  uint8_t* data = nullptr;
  uint8_t* palette = nullptr;
  const int kind = bm_lock(handle, &data, &palette);
  if (kind == BM_FORMAT_NONE || !data) {
    if (kind != BM_FORMAT_NONE) bm_unlock(handle);
    s.sections.clear();
    return false;
  }
  int k = 0;
  for (int y = 0; y < h; y += mh)
    for (int x = 0; x < w; x += mw) {
      Section& q = s.sections[k++];
      q.x = x, q.y = y, q.w = std::min(mw, w - x), q.h = std::min(mh, h - y);
      create_texture(q, kind, data, palette, w, h, levels);
    }
  bm_unlock(handle);
  s.refused = false;
  return true;
}

}  // namespace

int gr_d3d_texture_side(int side, bool pow2, int min_side, int max_side) {
  int t = side;
  if (pow2) {
    t = 1;
    while (t < side && t < (1 << 15)) t <<= 1;
  }
  return std::clamp(t, min_side, std::max(min_side, max_side));
}

void gr_d3d_convert_pixels(int kind, const uint8_t* src, const uint8_t* palette, int src_w, int sx, int sy, int w,
                           int h, const DDPIXELFORMAT& f, uint8_t* dest, int dest_w, int dest_h, int pitch) {
  struct Chan {
    int shift = 0;
    uint32_t div = 1;
    uint32_t mask = 0;
  } ch[4];
  const uint32_t masks[4] = {f.dwRBitMask, f.dwGBitMask, f.dwBBitMask,
                             (f.dwFlags & DDPF_ALPHAPIXELS) ? f.dwRGBAlphaBitMask : 0u};
  for (int i = 0; i < 4; i++) {
    ch[i].mask = masks[i];
    if (!masks[i]) continue;
    while (!(masks[i] & (1u << ch[i].shift))) ch[i].shift++;
    ch[i].div = std::max(1u, 255u / (masks[i] >> ch[i].shift));
  }
  auto pack = [&](uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
    const uint32_t v[4] = {r, g, b, a};
    uint32_t t = 0;
    for (int i = 0; i < 4; i++)
      if (ch[i].mask) t |= ((v[i] / ch[i].div) << ch[i].shift) & ch[i].mask;
    return static_cast<uint16_t>(t);
  };
  uint16_t pal[256];
  if (kind == BM_FORMAT_PAL8 && palette) {
    for (int i = 0; i < 256; i++) {
      const uint8_t* e = palette + 3 * i;
      // Pure green is the transparent entry, as on the other renderers.
      pal[i] = e[0] == 0 && e[1] == 255 && e[2] == 0 ? pack(0, 0, 0, 0) : pack(e[0], e[1], e[2], 255);
    }
  }
  const int bpp = bm_bytes_per_pixel(kind);
  for (int y = 0; y < dest_h; y++) {
    auto* out = reinterpret_cast<uint16_t*>(dest + static_cast<size_t>(y) * pitch);
    for (int x = 0; x < dest_w; x++) {
      uint16_t t = 0;
      if (x < w && y < h && src && bpp > 0) {
        const uint8_t* p = src + (static_cast<size_t>(sy + y) * src_w + sx + x) * bpp;
        const uint32_t v16 = bpp >= 2 ? static_cast<uint32_t>(p[0] | (p[1] << 8)) : 0;
        switch (kind) {
          case BM_FORMAT_PAL8: t = palette ? pal[p[0]] : 0; break;
          case BM_FORMAT_ALPHA8: t = pack(255, 255, 255, static_cast<uint32_t>(Gr_gamma_lookup[p[0]])); break;
          case BM_FORMAT_565:
            t = pack(((v16 >> 11) & 31) * 255 / 31, ((v16 >> 5) & 63) * 255 / 63, (v16 & 31) * 255 / 31, 255);
            break;
          case BM_FORMAT_1555:
            t = pack(((v16 >> 10) & 31) * 255 / 31, ((v16 >> 5) & 31) * 255 / 31, (v16 & 31) * 255 / 31,
                     (v16 & 0x8000) ? 0 : 255);
            break;
          case BM_FORMAT_4444:
            t = pack(((v16 >> 8) & 15) * 255 / 15, ((v16 >> 4) & 15) * 255 / 15, (v16 & 15) * 255 / 15,
                     ((v16 >> 12) & 15) * 255 / 15);
            break;
          case BM_FORMAT_BGR24:
            t = p[0] == 0 && p[1] == 255 && p[2] == 0 ? pack(0, 0, 0, 0) : pack(p[2], p[1], p[0], 255);
            break;
          case BM_FORMAT_BGRA32: t = pack(p[2], p[1], p[0], p[3]); break;
          case BM_FORMAT_16BIT: t = static_cast<uint16_t>(v16); break;
          default: break;
        }
      }
      out[x] = t;
    }
  }
}

void gr_d3d_tcache_init() {
  Slots.assign(MAX_BITMAPS, Slot());
  Stage[0] = Stage[1] = Binding();
  const D3dTextureRules& r = Gr_d3d_texture_rules;
  Page_side = std::min({256, r.max_w, r.max_h});
  Placed.assign(MAX_BITMAPS, PagePlace());
  Bound_page = nullptr;
  for (PageSet& set : Pages) {
    set.surfaces.clear();
    set.packer.reset(Page_side, MAX_PAGES);
  }
}

void gr_d3d_tcache_shutdown() {
  gr_d3d_flush_textures();
  pages_release();
  Placed.clear();
  for (Slot& s : Slots) release_sections(s);
  Slots.clear();
}

int gr_d3d_set_texture(int stage, int handle, int section, float* u_scale, float* v_scale, bool bind) {
  if (stage < 0 || stage > 1) return 0;
  Direct3DDevice7* dev = gr_d3d_device();
  if (bind && stage == 0 && Bound_page) {
    // Another texture replaces the page on stage 0; the quads queued from
    // the page go first.
    gr_d3d_flush_2d();
    Bound_page = nullptr;
    Stage[0] = Binding();
  }
  if (handle < 0) {
    if (stage == 0) gr_d3d_flush_2d();
    if (dev) dev->SetTexture(static_cast<uint32_t>(stage), nullptr);
    Stage[stage] = Binding();
    return 1;
  }
  const int index = bm_get_current_frame(handle);
  if (index < 0 || index >= static_cast<int>(Slots.size())) return 0;
  Slot& s = Slots[index];
  Binding& b = Stage[stage];
  if (bind && b.slot == index && b.section == section && s.handle == index && !s.dirty) {
    if (u_scale) *u_scale = b.u_scale;
    if (v_scale) *v_scale = b.v_scale;
    return 1;
  }
  if (s.handle != index || s.dirty) gr_d3d_flush_2d();  // queued quads may show the old texture
  if (s.handle != index) {
    s.dirty = 0;
    if (!upload(index, index)) return 0;
  }
  if (s.dirty) {
    s.dirty = 0;
    if (!upload(index, index)) return 0;
  }
  if (s.refused) return 0;
  if (!bind) return 1;
  if (section < 0 || section >= static_cast<int>(s.sections.size())) return 0;
  const Section& q = s.sections[section];
  // A section the device gave no surface has nothing to bind.
  if (!q.surface) return 0;
  // The quads queued from the texture bound until now go first.
  if (stage == 0) gr_d3d_flush_2d();
  if (dev) dev->SetTexture(static_cast<uint32_t>(stage), q.surface);
  b = {index, section, q.u_scale, q.v_scale};
  if (u_scale) *u_scale = q.u_scale;
  if (v_scale) *v_scale = q.v_scale;
  return 1;
}

void gr_d3d_flush_textures() {
  gr_d3d_flush_2d();
  if (!Placed.empty()) pages_release();
  if (gr_d3d_object()) gr_d3d_object()->EvictManagedTextures();
  for (int i = 0; i < 2; i++) {
    Stage[i] = Binding();
    if (gr_d3d_device()) gr_d3d_device()->SetTexture(static_cast<uint32_t>(i), nullptr);
  }
}

void gr_d3d_texture_dirty(int handle) {
  const int index = handle >= 0 ? bm_get_current_frame(handle) : -1;
  if (index < 0 || index >= static_cast<int>(Slots.size())) return;
  Slots[index].dirty = 1;
  if (index < static_cast<int>(Placed.size())) Placed[index].dirty = 1;
  forget_slot(index);
}

void gr_d3d_texture_release(int index) {
  if (index < 0 || index >= static_cast<int>(Slots.size())) return;
  forget_slot(index);
  release_sections(Slots[index]);
  Slots[index].handle = -1;
  Slots[index].refused = false;
  // Its place in a page stays unused until the pages are emptied.
  if (index < static_cast<int>(Placed.size())) Placed[index].handle = -1;
}

namespace {

// Converts the bitmap into its place in the page. A place filled afresh is
// under no queued quad; one filled again (the bitmap changed) is, and those
// quads must show the picture as it was.
bool page_upload(int index, const PagePlace& p, bool refill) {
  uint8_t* data = nullptr;
  uint8_t* palette = nullptr;
  const int kind = bm_lock(index, &data, &palette);
  if (kind == BM_FORMAT_NONE || !data) {
    if (kind != BM_FORMAT_NONE) bm_unlock(index);
    return false;
  }
  DirectDrawSurface7* page = Pages[p.set].surfaces[p.place.page];
  if (refill) gr_d3d_flush_2d();
  DDSURFACEDESC2 ld;
  bool ok = page->Lock(nullptr, &ld, DDLOCK_WAIT, nullptr) == DD_OK;
  if (ok) {
    uint8_t* dest = static_cast<uint8_t*>(ld.lpSurface) + static_cast<size_t>(p.place.y) * ld.lPitch + p.place.x * 2;
    gr_d3d_convert_pixels(kind, data, palette, p.w, 0, 0, p.w, p.h, ld.ddpfPixelFormat, dest, p.w, p.h, ld.lPitch);
    page->Unlock(nullptr);
  }
  bm_unlock(index);
  return ok;
}

// A new, transparent page of the set.
bool page_create(int set) {
  DirectDraw7* dd = gr_d3d_object() ? gr_d3d_object()->ddraw : nullptr;
  if (!dd) return false;
  DDSURFACEDESC2 sd;
  sd.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
  sd.dwWidth = sd.dwHeight = static_cast<uint32_t>(Page_side);
  sd.ddpfPixelFormat = set == 0 ? Gr_d3d_alpha_format : Gr_d3d_rgb_format;
  sd.dwCaps = DDSCAPS_TEXTURE;
  sd.dwCaps2 = DDSCAPS2_TEXTUREMANAGE;
  DirectDrawSurface7* t = nullptr;
  if (dd->CreateSurface(&sd, &t, nullptr) != DD_OK) return false;
  DDSURFACEDESC2 ld;
  if (t->Lock(nullptr, &ld, DDLOCK_WAIT, nullptr) == DD_OK) {
    for (int y = 0; y < Page_side; y++) std::memset(static_cast<uint8_t*>(ld.lpSurface) + static_cast<size_t>(y) * ld.lPitch, 0, Page_side * 2);
    t->Unlock(nullptr);
  }
  Pages[set].surfaces.push_back(t);
  return true;
}

}  // namespace

bool gr_d3d_page_bind(int handle, GrD3dPageQuad* out) {
  if (Placed.empty() || Page_side < 16 || handle < 0) return false;
  const int index = bm_get_current_frame(handle);
  if (index < 0 || index >= static_cast<int>(Placed.size())) return false;
  PagePlace& p = Placed[index];
  if (p.handle != index || p.dirty) {
    bool refill = p.handle == index;
    int w = 0, h = 0, levels = 1;
    bm_get_info(index, &w, &h, nullptr, &levels);
    if (levels > 1 || !gr_page_takes(w, h, Page_side)) return false;
    const DDPIXELFORMAT* f = format_of(bm_get_format(index));
    if (!f || f == &Gr_d3d_bump_format) return false;
    const int set = f == &Gr_d3d_alpha_format ? 0 : 1;
    if (p.handle != index || p.w != w || p.h != h || p.set != set) {
      GrPagePlace place;
      if (!Pages[set].packer.place(w, h, &place)) {
        // Every page is full: they are emptied and filled again from here.
        pages_release();
        if (!Pages[set].packer.place(w, h, &place)) return false;
      }
      if (place.page >= static_cast<int>(Pages[set].surfaces.size()) && !page_create(set)) return false;
      p = PagePlace{index, set, place, w, h, 0};
      refill = false;
    }
    p.dirty = 0;
    if (!page_upload(index, p, refill)) {
      p.handle = -1;
      return false;
    }
  }
  DirectDrawSurface7* page = Pages[p.set].surfaces[p.place.page];
  if (Bound_page != page) {
    gr_d3d_flush_2d();
    if (gr_d3d_device()) gr_d3d_device()->SetTexture(0, page);
    Bound_page = page;
    Stage[0] = Binding();
  }
  out->page = page;
  out->x = p.place.x;
  out->y = p.place.y;
  out->side = Page_side;
  return true;
}


int gr_d3d_section_count(int handle) {
  const int index = handle >= 0 ? bm_get_current_frame(handle) : -1;
  if (index < 0 || index >= static_cast<int>(Slots.size())) return 0;
  return static_cast<int>(Slots[index].sections.size());
}

void gr_d3d_section_rect(int handle, int section, int* x, int* y, int* w, int* h) {
  *x = *y = *w = *h = 0;
  const int index = handle >= 0 ? bm_get_current_frame(handle) : -1;
  if (index < 0 || index >= static_cast<int>(Slots.size())) return;
  const Slot& s = Slots[index];
  if (section < 0 || section >= static_cast<int>(s.sections.size())) return;
  const Section& q = s.sections[section];
  *x = q.x, *y = q.y, *w = q.w, *h = q.h;
}
