// The Direct3D renderer's operations before its layer exists. Start-up
// answers "unavailable" so the front end stops with a clear message; every
// other operation is reachable only after a successful start and does nothing.
#include "quarn/gr/directx/gr_d3d.h"

bool gr_d3d_available() { return false; }
bool gr_d3d_init(GrWindow) { return false; }
void gr_d3d_shutdown() {}
void gr_d3d_flip() {}
void gr_d3d_clear() {}
void gr_d3d_clear_depth() {}
void gr_d3d_set_clip() {}
void gr_d3d_set_window(GrWindow) {}
int gr_d3d_read_screen(int, int, int, int, void*) { return 0; }
void gr_d3d_fog_set(bool) {}
bool gr_d3d_render_state_supported(RenderStateWord) { return false; }
int gr_d3d_get_video_memory() { return 0; }
void gr_d3d_set_antialias(bool) {}
bool gr_d3d_antialias_supported() { return false; }
void gr_d3d_set_alpha_test(bool) {}
void gr_d3d_preload(int) {}
void gr_d3d_bitmap(int, int, int, int, int, int, int, int, int, RenderStateWord) {}
void gr_d3d_line(float, float, float, float, RenderStateWord) {}
void gr_d3d_line3d(const GrVertex*, const GrVertex*, RenderStateWord) {}
void gr_d3d_poly(int, GrVertex**, RenderStateWord) {}
void gr_d3d_poly_multipass(int, GrLayeredVertex**, int, const GrLayer*) {}
void gr_d3d_set_render_state(RenderStateWord) {}
void gr_d3d_texture_dirty(int) {}
void gr_d3d_texture_release(int) {}
void gr_d3d_flush_textures() {}
int gr_d3d_fog_mode() { return 0; }
