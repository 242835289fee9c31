// The Glide renderer's operations before its layer exists. Start-up answers
// "unavailable" so the front end stops with a clear message; every other
// operation is reachable only after a successful start and does nothing.
#include "quarn/gr/glide/gr_glide.h"

bool gr_glide_available() { return false; }
bool gr_glide_init(GrWindow) { return false; }
void gr_glide_close() {}
void gr_glide_flip() {}
void gr_glide_clear() {}
void gr_glide_clear_depth() {}
void gr_glide_set_clip() {}
void gr_glide_set_render_state(RenderStateWord) {}
void gr_glide_preload(int, int) {}
void gr_glide_bitmap(int, int, int, int, int, int, int, int, int, RenderStateWord) {}
void gr_glide_line(float, float, float, float, RenderStateWord) {}
void gr_glide_line3d(const GrVertex*, const GrVertex*, RenderStateWord) {}
void gr_glide_tmapper(int, GrVertex**, RenderStateWord) {}
void gr_glide_poly_multipass(int, GrLayeredVertex**, int, const GrLayer*) {}
void gr_glide_fog_set(bool) {}
int gr_glide_read_screen(int, int, int, int, void*) { return 0; }
void gr_glide_finish() {}
void gr_glide_show_desktop() {}
bool gr_glide_render_state_supported(RenderStateWord) { return false; }
int gr_glide_get_video_memory() { return 0; }
void gr_glide_set_alpha_test(bool) {}
void gr_glide_texture_dirty(int) {}
void gr_glide_texture_release(int) {}
void gr_glide_flush_textures() {}
