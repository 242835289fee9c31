#pragma once
// The Glide renderer: drives the card through a Glide 2 library loaded at
// run time ("glide2x.dll", found by the dynamic-library layer) and reached
// only through its entry-point table. Full screen only.
#include "quarn/gr/glide/glide_api.h"
#include "quarn/gr/gr.h"

// The table every Glide call goes through.
extern GlideApi Glide_api;

// Added to the screen x and y of the 3D paths: it fixes the sub-pixel
// precision of the floats the card receives.
constexpr float GR_GLIDE_SNAP_BIAS = 786432.0f;

// True when the library loads and has every entry point; otherwise a line
// naming what is missing is printed.
bool gr_glide_available();
bool gr_glide_init(GrWindow window);
void gr_glide_close();
void gr_glide_flip();
void gr_glide_clear();
void gr_glide_clear_depth();
void gr_glide_set_clip();
void gr_glide_set_render_state(RenderStateWord state);
void gr_glide_preload(int handle, int flag);
// Tests and benches: 2D bitmaps drawn from their own textures, not pages.
void gr_glide_batch_2d(bool on);
void gr_glide_bitmap(int handle, int x, int y, int w, int h, int sx, int sy, int sw, int sh,
                     RenderStateWord state);
void gr_glide_line(float x1, float y1, float x2, float y2, RenderStateWord state);
void gr_glide_line3d(const GrVertex* a, const GrVertex* b, RenderStateWord state);
void gr_glide_tmapper(int count, GrVertex** verts, RenderStateWord state);
void gr_glide_poly_multipass(int count, GrLayeredVertex** verts, int pass_count, const GrLayer* passes);
void gr_glide_fog_set(bool rebuild);
int gr_glide_read_screen(int x, int y, int w, int h, void* dest);
void gr_glide_finish();
void gr_glide_show_desktop();
bool gr_glide_render_state_supported(RenderStateWord state);
int gr_glide_get_video_memory();
void gr_glide_set_alpha_test(bool on);
void gr_glide_texture_dirty(int handle);
void gr_glide_texture_release(int handle);
void gr_glide_flush_textures();
// Applies the state and, for a textured state and a bitmap, binds its
// section 0 on unit 0.
void gr_glide_set_state_and_texture(RenderStateWord state, int handle);

// The window-procedure hook: records activation changes, which the next flip
// applies on the main thread.
void gr_glide_activation_hook(uint32_t message, uint64_t wparam, int64_t lparam);

// Tests: start-up takes this table instead of loading the library (null:
// load it again), and skips the card's settling pause.
void gr_glide_use_api(const GlideApi* api);
// Tests: the library loader alone. True when every entry point was found;
// otherwise *missing names the first absent one.
bool gr_glide_load_library(const char** missing);
void gr_glide_unload_library();
// Tests: true while the Glide window is closed for a task switch.
bool gr_glide_minimised();
