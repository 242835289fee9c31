#pragma once
// The Direct3D renderer. Its layer does not exist yet: every operation is
// present so the front end's switch is complete, and start-up reports the
// renderer unavailable.
#include "quarn/gr/gr.h"

bool gr_d3d_available();
bool gr_d3d_init(GrWindow window);
void gr_d3d_shutdown();
void gr_d3d_flip();
void gr_d3d_clear();
void gr_d3d_clear_depth();
void gr_d3d_set_clip();
void gr_d3d_set_window(GrWindow window);
int gr_d3d_read_screen(int x, int y, int w, int h, void* dest);
void gr_d3d_fog_set(bool changed);
bool gr_d3d_render_state_supported(RenderStateWord state);
int gr_d3d_get_video_memory();
void gr_d3d_set_antialias(bool on);
bool gr_d3d_antialias_supported();
void gr_d3d_set_alpha_test(bool on);
void gr_d3d_preload(int handle);
void gr_d3d_bitmap(int handle, int x, int y, int w, int h, int sx, int sy, int sw, int sh, RenderStateWord state);
void gr_d3d_line(float x1, float y1, float x2, float y2, RenderStateWord state);
void gr_d3d_line3d(const GrVertex* a, const GrVertex* b, RenderStateWord state);
void gr_d3d_poly(int count, GrVertex** verts, RenderStateWord state);
void gr_d3d_poly_multipass(int count, GrLayeredVertex** verts, int pass_count, const GrLayer* passes);
void gr_d3d_set_render_state(RenderStateWord state);
void gr_d3d_texture_dirty(int handle);
void gr_d3d_texture_release(int handle);
void gr_d3d_flush_textures();
// The renderer's fog mode (3 linear vertex fog); gr_fog_set reads it.
int gr_d3d_fog_mode();
