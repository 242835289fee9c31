#pragma once
// The Direct3D renderer, on the DirectDraw 7 / Direct3D 7 layer of
// quarn/platform/d3d7.h. Everything is drawn as pre-transformed, pre-lit
// vertices in 16 bits per pixel; depth is "nearer is larger". Start-up
// failures never end the program silently: a failed call makes the renderer
// unavailable with a line naming it, and the game falls back to OpenGL.
#include <cstdint>

#include "quarn/gr/gr.h"

class Direct3DDevice7;
class Direct3D7;
class Direct3DVertexBuffer7;

bool gr_d3d_available();
bool gr_d3d_init(GrWindow window);
void gr_d3d_shutdown();
// False when the frame could not be shown: the failed call is named (as by
// gr_d3d_failure) and the renderer released.
bool gr_d3d_flip();
void gr_d3d_clear();
void gr_d3d_clear_depth();
void gr_d3d_set_clip();
void gr_d3d_set_window(GrWindow window);
// 3 (5-6-5 rows packed) on success, 0 when the back buffer cannot be locked.
int gr_d3d_read_screen(int x, int y, int w, int h, void* dest);
void gr_d3d_fog_set(bool changed);
bool gr_d3d_render_state_supported(RenderStateWord state);
int gr_d3d_get_video_memory();
void gr_d3d_set_antialias(bool on);
bool gr_d3d_antialias_supported();
void gr_d3d_set_alpha_test(bool on);
void gr_d3d_set_zbias(int value);
void gr_d3d_preload(int handle);
void gr_d3d_bitmap(int handle, int x, int y, int w, int h, int sx, int sy, int sw, int sh, RenderStateWord state);
void gr_d3d_line(float x1, float y1, float x2, float y2, RenderStateWord state);
void gr_d3d_line3d(const GrVertex* a, const GrVertex* b, RenderStateWord state);
void gr_d3d_poly(int count, GrVertex** verts, RenderStateWord state);
void gr_d3d_poly_multipass(int count, GrLayeredVertex** verts, int pass_count, const GrLayer* passes);
void gr_d3d_set_render_state(RenderStateWord state);
void gr_d3d_set_transforms(float far_distance);
void gr_d3d_depth_greater();
void gr_d3d_depth_less();
// Mesh groups: the mesh drawer's screen positions (x, y, depth), colours and
// projective texture coordinates (u·w, v·w, 0, w), drawn through the
// character vertex buffer; groups above its size are drawn in pieces. `fog`
// holds each vertex's fog value (255 clear .. 0 fogged; null: all clear).
void gr_d3d_mesh_draw(const float (*positions)[3], const uint8_t (*colours)[4], const float (*tex)[4],
                      int vertex_count, RenderStateWord state, int bitmap, const uint16_t* indices, int index_count,
                      const uint8_t* fog = nullptr);
void gr_d3d_texture_dirty(int handle);
void gr_d3d_texture_release(int handle);
void gr_d3d_flush_textures();
// 0 none, 1 table fog on depth, 2 table fog on w, 3 vertex fog, 5 table fog
// with start and end as distances times 100.
int gr_d3d_fog_mode();
const char* gr_d3d_error_text(int32_t result);

// Tests and the texture cache.
Direct3DDevice7* gr_d3d_device();
Direct3D7* gr_d3d_object();
// The text of the last start-up failure ("" when none).
const char* gr_d3d_failure();
#define D3D_CHARACTER_VB_SIZE 1000

// The texture cache (gr_d3d_tcache.cpp).
void gr_d3d_tcache_init();
void gr_d3d_tcache_shutdown();
// 1 when bound (or a negative handle unbound the stage), 0 when the upload failed.
int gr_d3d_set_texture(int stage, int handle, int section, float* u_scale, float* v_scale, bool bind);
int gr_d3d_section_count(int handle);
// Small bitmaps live in shared pages as well: binds the page that holds the
// bitmap (placing it first) on stage 0 and gives the bitmap's top-left texel
// in it. False when the bitmap goes in no page (too large, mip-mapped, a
// format of its own, or its pixels cannot be read).
class DirectDrawSurface7;
struct GrD3dPageQuad {
  DirectDrawSurface7* page = nullptr;
  int x = 0, y = 0, side = 0;
};
bool gr_d3d_page_bind(int handle, GrD3dPageQuad* out);
// Sends the queued 2D quads of one page as one draw; everything that changes
// the device's state or draws otherwise calls it first.
void gr_d3d_flush_2d();
// Tests and benches: 2D quads drawn one by one from their own textures.
void gr_d3d_batch_2d(bool on);
void gr_d3d_section_rect(int handle, int section, int* x, int* y, int* w, int* h);
// Texture side for a section side: next power of two not below it when the
// card needs powers of two, held within the card's limits.
int gr_d3d_texture_side(int side, bool pow2, int min_side, int max_side);
// The card's texture rules, set by start-up (tests set them directly).
struct D3dTextureRules {
  bool pow2 = true, square = false;
  int min_w = 16, min_h = 16, max_w = 256, max_h = 256;
};
extern D3dTextureRules Gr_d3d_texture_rules;
// Converts a bitmap rectangle of the given pixel kind into 16-bit texels of
// the format (pitch in bytes); texels beyond w, h are zero.
struct DDPIXELFORMAT;
void gr_d3d_convert_pixels(int kind, const uint8_t* src, const uint8_t* palette, int src_w, int sx, int sy, int w,
                           int h, const DDPIXELFORMAT& format, uint8_t* dest, int dest_w, int dest_h, int pitch);
