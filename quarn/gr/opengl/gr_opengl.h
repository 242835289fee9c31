#pragma once
// The OpenGL renderer: OpenGL 1.1 with the multitexture extension, in a
// window only, through GLX on the window layer's window.
#include "quarn/gr/gr.h"

// False when the renderer cannot start (no display, no GLX visual).
bool gr_opengl_init(GrWindow window);
void gr_opengl_set_window(GrWindow window);
void gr_opengl_close();
void gr_opengl_flip();
void gr_opengl_clear();
void gr_opengl_clear_depth();
void gr_opengl_set_clip();
// Sends the 2D draws collected so far. Every entry here that sets state or
// binds a texture does it first, so a draw of another kind that goes through
// them stays in order; one that talks to GL by other means calls this first.
void gr_opengl_flush_2d();
// Tests: off draws every 2D shape at once, as its own polygon.
void gr_opengl_batch_2d(bool on);
void gr_opengl_set_render_state(RenderStateWord state);
void gr_opengl_set_state_and_texture(RenderStateWord state, int handle, int unit);
// 1 when bound, 0 for a negative handle.
int gr_opengl_set_texture(int handle, float* u_scale, float* v_scale, int unit);
void gr_opengl_preload(int handle, int unit);
void gr_opengl_bitmap(int handle, int x, int y, int w, int h, int sx, int sy, int sw, int sh,
                      RenderStateWord state);
void gr_opengl_line(float x1, float y1, float x2, float y2, RenderStateWord state);
void gr_opengl_line3d(const GrVertex* a, const GrVertex* b, RenderStateWord state);
// At most GR_OPENGL_MAX_VERTS vertices; more are refused.
#define GR_OPENGL_MAX_VERTS 30
void gr_opengl_tmapper(int count, GrVertex** verts, RenderStateWord state);
void gr_opengl_fog_set(bool set_distances);
// Mesh drawing: the scratch arrays are declared once per mesh, then each
// group's indexed triangles are drawn with the state and bitmap (drawn also
// when the bitmap cannot be bound).
void gr_opengl_mesh_arrays(const float (*positions)[3], const uint8_t (*colours)[4], const float (*tex)[4]);
void gr_opengl_mesh_draw(RenderStateWord state, int bitmap, const uint16_t* indices, int index_count);
// Reads a rectangle (top row first, blue, green, red bytes); returns 6.
int gr_opengl_read_screen(int x, int y, int w, int h, void* dest);
void gr_opengl_texture_dirty(int handle);
void gr_opengl_texture_release(int handle);
void gr_opengl_flush_textures();
void gr_opengl_finish();

// The multitexture entry points, looked up at start (mesh drawing uses them).
using GrGlSelectTexture = void (*)(unsigned int unit_enum);
extern GrGlSelectTexture Gl_active_texture_arb;
extern GrGlSelectTexture Gl_client_active_texture_arb;

// Texture-cache figures, for tests and statistics.
int gr_opengl_vram_in_use();
int gr_opengl_bytes_uploaded_this_frame();

// Pure parts of the texture cache, usable without a context.
// Rounds a side up to a power of two, held between 1 and max_size.
int gr_opengl_texture_side(int side, int max_size);
// Converts w by h pixels of a bitmap in the given pixel format into RGBA
// bytes at the top left of a tex_w by tex_h buffer (other texels 0). A bitmap
// larger than the texture is sampled down to fit. False for a format that
// converts nothing.
bool gr_opengl_convert(int format, const uint8_t* pixels, const uint8_t* palette, int w, int h,
                       uint8_t* dest, int tex_w, int tex_h);
