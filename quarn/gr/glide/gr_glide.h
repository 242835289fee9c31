#pragma once
// The Glide renderer. Its layer does not exist yet: every operation is
// present so the front end's switch is complete, and start-up reports the
// renderer unavailable.
#include "quarn/gr/gr.h"

bool gr_glide_available();
bool gr_glide_init(GrWindow window);
void gr_glide_close();
void gr_glide_flip();
void gr_glide_clear();
void gr_glide_clear_depth();
void gr_glide_set_clip();
void gr_glide_set_render_state(RenderStateWord state);
void gr_glide_preload(int handle, int flag);
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
