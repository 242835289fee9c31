#pragma once
// Texture memory of the Glide renderer: a converted copy of every bitmap in
// the card's texture formats, cut into sections of at most 256 by 256, and
// for each texture unit a ring allocator over the unit's address range that
// overwrites the oldest textures when the range is full.
#include <cstdint>

#include "quarn/gr/glide/glide_api.h"

#define GLIDE_MAX_SLOTS 2800
#define GLIDE_MAX_BLOCKS 2800

void gr_glide_tcache_init();
void gr_glide_tcache_shutdown();
void gr_glide_flush_textures();
// Binds a section of the bitmap on the unit (0 or 1) and gives its scales:
// its extent in the card's 0..256 coordinates. With upload the section is
// made resident and selected. 1 on success, 0 when the bitmap cannot be a
// texture.
int gr_glide_set_texture(int unit, int handle, int section, float* s_scale, float* t_scale, int upload);
int gr_glide_section_count(int handle);
// Small bitmaps live in shared 256x256 pages as well: selects the page that
// holds the bitmap (placing it first) on unit 0 and gives the bitmap's
// top-left texel in it, one card unit a texel. False when the bitmap goes
// in no page (too large, mip-mapped, or a format the card cannot take).
bool gr_glide_page_bind(int handle, int* x, int* y);
void gr_glide_section_rect(int handle, int section, int* x, int* y, int* w, int* h);
void gr_glide_texture_dirty(int handle);
void gr_glide_texture_release(int handle);

// Tests: a section's texture record as converted (null when the bitmap has
// no such section), its residency on a unit, and the unit's heap figures.
struct GlideSectionView {
  GlideTexInfo info;
  int tex_w, tex_h;
  float s_scale, t_scale;
  int x, y, w, h;
  bool resident[2];
  uint32_t address[2];
  uint32_t size[2];
};
bool gr_glide_section_view(int handle, int section, GlideSectionView* out);
uint32_t gr_glide_heap_bytes_in_use(int unit);
int gr_glide_converted_bytes();

// The pure helpers, usable without a card.
// The smallest of 4..256 not below side (256 above it).
int gr_glide_texture_side(int side);
// Glide LOD code of a side of 256..1 (0..8), aspect code of w by h (0..6;
// -1 beyond 8 to 1).
int gr_glide_lod_code(int side);
int gr_glide_aspect_code(int w, int h);
// Converts one pixel of a bitmap format (1..7) into the card's texel; the
// Glide format it goes to in *glide_format. False for formats 0 and 8.
bool gr_glide_format_of(int bitmap_format, int* glide_format);
uint16_t gr_glide_convert_pixel(int bitmap_format, const uint8_t* pixel, const uint8_t* palette);
