// The graphics front end: screen record, clip rectangle, colour and bitmap,
// render-state presets, fade, gamma, fog and tint, and the 2D primitives.
#include "quarn/gr/gr.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "quarn/bmpman/bmpman.h"
#include "quarn/bmpman/targautils.h"
#include "quarn/gr/directx/gr_d3d.h"
#include "quarn/gr/glide/gr_glide.h"
#include "quarn/gr/gr3d.h"
#include "quarn/gr/gr_font.h"
#include "quarn/gr/gr_recorder.h"
#include "quarn/gr/opengl/gr_opengl.h"
#include "quarn/os/console.h"
#include "quarn/os/error.h"
#include "quarn/os/timer.h"
#include "quarn/platform/window.h"

// The buffered translucent polygons live in their own module, which may not
// be linked into every program; gr_flip replays them when it is.
__attribute__((weak)) void gr_alpha_flush();

GrScreen gr_screen;

const RenderStateWord Gr_preset[GR_NUM_PRESETS + 1] = {
    RenderStateWord(0, 0, 0, 0, 0, 0),  // unused
    RenderStateWord(3, 2, 3, 3, 0, 3),  // 1
    RenderStateWord(3, 2, 3, 3, 0, 3),  // 2
    RenderStateWord(1, 1, 0, 3, 0, 3),  // 3
    RenderStateWord(1, 2, 3, 3, 0, 3),  // 4
    RenderStateWord(1, 1, 0, 2, 0, 3),  // 5
    RenderStateWord(0, 0, 0, 3, 0, 3),  // 6
    RenderStateWord(0, 0, 0, 3, 0, 3),  // 7
    RenderStateWord(0, 0, 0, 3, 0, 3),  // 8
    RenderStateWord(0, 0, 0, 3, 4, 0),  // 9
    RenderStateWord(0, 0, 0, 3, 4, 0),  // 10
    RenderStateWord(1, 1, 2, 3, 0, 0),  // 11
    RenderStateWord(1, 2, 3, 3, 0, 0),  // 12
    RenderStateWord(2, 2, 3, 3, 1, 0),  // 13
    RenderStateWord(2, 2, 3, 2, 1, 3),  // 14
    RenderStateWord(1, 2, 3, 2, 1, 0),  // 15
    RenderStateWord(1, 2, 3, 2, 0, 0),  // 16
    RenderStateWord(1, 2, 0, 3, 4, 0),  // 17
    RenderStateWord(1, 2, 0, 0, 4, 0),  // 18
    RenderStateWord(1, 2, 3, 3, 4, 0),  // 19
    RenderStateWord(1, 2, 3, 3, 1, 0),  // 20
    RenderStateWord(1, 2, 3, 3, 1, 0),  // 21
    RenderStateWord(2, 2, 0, 0, 4, 1),  // 22
    RenderStateWord(2, 2, 3, 2, 1, 1),  // 23
    RenderStateWord(1, 1, 2, 5, 4, 2),  // 24
    RenderStateWord(0, 0, 0, 2, 1, 0),  // 25
    RenderStateWord(4, 1, 3, 3, 4, 0),  // 26
    RenderStateWord(6, 2, 3, 3, 4, 0),  // 27
    RenderStateWord(4, 2, 3, 2, 1, 0),  // 28
    RenderStateWord(4, 2, 3, 2, 4, 0),  // 29
    RenderStateWord(1, 1, 2, 3, 4, 0),  // 30
};

float Gr_gamma = 1.8f;
int Gr_gamma_int = 180;
int Gr_gamma_lookup[256];
float Gr_gamma_lookup_float[256];

// Fonts can be loaded before the screen opens; their texels go through the
// gamma table, so it holds the start-up gamma from the beginning.
[[maybe_unused]] static const bool Gamma_ready = [] {
  gr_set_gamma(1.8f);
  return true;
}();

float Gr_level_fog_multiplier = 1.0f;
float Gr_alpha_fog_ratio = 0.8f;
bool Gr_show_stats = false;
GrStats Gr_stats;

CONSOLE_FLOAT_VARIABLE(Cc_level_fog, "level_fog", "Sets Gr_level_fog_multiplier", Gr_level_fog_multiplier);
CONSOLE_FLOAT_VARIABLE(Cc_alpha_fog, "alpha_fog", "Sets Gr_alpha_fog_ratio", Gr_alpha_fog_ratio);
CONSOLE_BOOL_VARIABLE(Cc_gr_show_stats, "gr_show_stats", "Toggles Gr_show_stats", Gr_show_stats);

static bool Antialiasing_on = false;
static ConsoleCommand Cc_antialiasing("antialiasing", "Toggles antialiasing", [] {
  if (!Console_run) return;
  if (gr_antialiasing_supported()) {
    Antialiasing_on = !Antialiasing_on;
    gr_set_antialiasing(Antialiasing_on);
    console_output("antialiasing toggled!\n");
  } else {
    console_output("antialiasing not supported on this card.\n");
  }
});

namespace {

bool Gr_inited = false;
GrWindow Screen_window = 0;
bool Zbuffer_on = false;

// Fade: 0 none, 1 fading in, 2 fading out.
int Fade_mode = 0;
float Fade_elapsed = 0.0f;
float Fade_duration = 0.0f;
float Fade_level = 1.0f;  // black until the first fade-in

GrRecorder* rec() { return gr_get_recorder(); }

// Rectangle and bitmap clipping work in coordinates relative to the clip
// offset, against the clip edges.
bool misses_clip(int x1, int y1, int x2, int y2) {
  return x1 > gr_screen.clip_right || x2 < gr_screen.clip_left || y1 > gr_screen.clip_bottom ||
         y2 < gr_screen.clip_top;
}

void renderer_bitmap(int handle, int x, int y, int w, int h, int sx, int sy, int sw, int sh,
                     RenderStateWord state) {
  switch (gr_screen.renderer) {
    case GR_DIRECT3D: gr_d3d_bitmap(handle, x, y, w, h, sx, sy, sw, sh, state); break;
    case GR_GLIDE: gr_glide_bitmap(handle, x, y, w, h, sx, sy, sw, sh, state); break;
    case GR_OPENGL: gr_opengl_bitmap(handle, x, y, w, h, sx, sy, sw, sh, state); break;
    case GR_RECORDER:
      if (rec()) rec()->bitmap(handle, x, y, w, h, sx, sy, sw, sh, state);
      break;
    default: break;
  }
}

void renderer_polygon(int count, GrVertex** verts, RenderStateWord state) {
  switch (gr_screen.renderer) {
    case GR_DIRECT3D: gr_d3d_poly(count, verts, state); break;
    case GR_GLIDE: gr_glide_tmapper(count, verts, state); break;
    case GR_OPENGL: gr_opengl_tmapper(count, verts, state); break;
    case GR_RECORDER:
      if (rec()) rec()->polygon(count, verts, state);
      break;
    default: break;
  }
}

bool renderer_init(GrWindow window) {
  switch (gr_screen.renderer) {
    case GR_DIRECT3D: return gr_d3d_init(window);
    case GR_GLIDE: return gr_glide_init(window);
    case GR_OPENGL: return gr_opengl_init(window);
    case GR_RECORDER: return rec() ? rec()->init(window) : true;
    default: return false;
  }
}

const char* renderer_name(int renderer) {
  switch (renderer) {
    case GR_DIRECT3D: return "Direct3D";
    case GR_GLIDE: return "Glide";
    case GR_OPENGL: return "OpenGL";
    default: return "unknown";
  }
}

// The screenshot code reads the screen through these.
void print_screen_get_clip(int* x, int* y, int* w, int* h) { gr_get_clip(x, y, w, h); }
int print_screen_read(int x, int y, int w, int h, uint8_t* buffer) {
  return gr_read_screen(x, y, w, h, buffer);
}

void place_window(int window_mode, GrWindow window) {
  int desk_w = 0, desk_h = 0;
  if (window) window_get_screen_size(&desk_w, &desk_h);
  // Without a display there is no desktop to measure: the screen's own shape.
  if (desk_w <= 0 || desk_h <= 0) {
    desk_w = gr_screen.width;
    desk_h = gr_screen.height;
  }
  switch (window_mode) {
    case GR_WINDOWED: {
      if (window) {
        int wx = 0, wy = 0, ww = 0, wh = 0;
        window_get_work_area(&wx, &wy, &ww, &wh);
        int x = wx + (ww - gr_screen.width) / 2;
        if (x < wx) x = wx;
        window_set_fullscreen(false);
        window_set_decorated(true);
        window_set_size(gr_screen.width, gr_screen.height);
        window_set_position(x, wy);
        window_show(true);
        window_sync();
      }
      gr_screen.aspect = static_cast<float>(desk_w) / static_cast<float>(desk_h);
      break;
    }
    case GR_FULLSCREEN:
      if (window) {
        window_set_decorated(false);
        window_set_position(0, 0);
        window_set_size(gr_screen.width, gr_screen.height);
        window_set_fullscreen(true);
        window_show(true);
        window_sync();
      }
      gr_screen.aspect = static_cast<float>(gr_screen.width) / static_cast<float>(gr_screen.height);
      break;
    case GR_WINDOW_AS_IS:
      gr_screen.aspect = static_cast<float>(desk_w) / static_cast<float>(desk_h);
      break;
    default:
      critical_error(__FILE__, __LINE__, "Invalid window_mode passed to gr_init\n");
  }
}

// Direct3D gave up in the middle of the game (it has said why): the game
// goes on with OpenGL in a window, as when Direct3D cannot start.
void direct3d_lost() {
  std::printf("Direct3D is not available: drawing with OpenGL in a window\n");
  if (!Screen_window) return;
  gr_screen.renderer = GR_OPENGL;
  gr_screen.window_mode = GR_WINDOWED;
  place_window(GR_WINDOWED, Screen_window);
  gr_screen.aspect *= 0.75f;
  if (!renderer_init(Screen_window))
    critical_error_fmt(__FILE__, __LINE__,
                       "The %s renderer is not available on this system. Choose another video card.\n",
                       renderer_name(GR_OPENGL));
  gr_opengl_fog_set(true);
  gr_reset_clip();
}

}  // namespace

bool gr_renderer_available(int renderer) {
  switch (renderer) {
    case GR_DIRECT3D: return gr_d3d_available();
    case GR_GLIDE: return gr_glide_available();
    case GR_OPENGL: return true;
    case GR_RECORDER: return true;
    default: return false;
  }
}

void gr_init(int width, int height, int renderer, int window_mode, GrWindow window, bool vsync) {
  gr_screen = GrScreen{};
  gr_screen.width = width;
  gr_screen.height = height;
  gr_screen.renderer = renderer;
  gr_screen.window_mode = window_mode;
  gr_screen.offset_x = gr_screen.offset_y = 0;
  gr_screen.clip_width = width;
  gr_screen.clip_height = height;
  gr_screen.clip_left = 0;
  gr_screen.clip_right = width - 1;
  gr_screen.clip_top = 0;
  gr_screen.clip_bottom = height - 1;
  gr_screen.aspect = 1.0f;
  gr_screen.current_bitmap = -1;
  gr_screen.current_bitmap_extra = -1;
  gr_screen.fog_on = 0;
  gr_screen.vsync = vsync ? 1 : 0;
  gr_screen.tint_r = gr_screen.tint_g = gr_screen.tint_b = 1.0f;

  if (window_mode == GR_FULLSCREEN) {
    const char* dual = std::getenv("SST_DUALHEAD");
    if (dual && std::atoi(dual) != 0) gr_screen.dual_head = 1;
  }
  place_window(window_mode, window);
  gr_screen.aspect *= 0.75f;

  Fade_mode = 0;
  Fade_level = 1.0f;

  Screen_window = window;
  bool started = renderer_init(window);
  if (!started && renderer == GR_DIRECT3D && window) {
    // Direct3D said why it could not start; the game goes on with OpenGL.
    std::printf("Direct3D is not available: drawing with OpenGL in a window\n");
    gr_screen.renderer = renderer = GR_OPENGL;
    gr_screen.window_mode = window_mode = GR_WINDOWED;
    place_window(window_mode, window);
    gr_screen.aspect *= 0.75f;
    started = renderer_init(window);
  }
  if (!started) {
    critical_error_fmt(__FILE__, __LINE__,
                       "The %s renderer is not available on this system. Choose another video card.\n",
                       renderer_name(renderer));
  }

  // Glide and Direct3D in full screen stretch their picture over the
  // desktop-sized window: the mouse is read in the picture's pixels.
  const bool stretched = window && gr_screen.window_mode == GR_FULLSCREEN &&
                         (gr_screen.renderer == GR_GLIDE || gr_screen.renderer == GR_DIRECT3D);
  window_set_picture(stretched ? width : 0, stretched ? height : 0);

  gr_print_screen_set_hooks(print_screen_get_clip, print_screen_read);
  bm_set_texture_hooks(gr_texture_release, gr_texture_mark_dirty);
  critical_error_set_display_release(gr_show_desktop);

  gr_fog_set(false, 0, 0, 0, -1.0f, -1.0f);
  gr_set_gamma(1.8f);
  Gr_inited = true;
  gr_reset_clip();
  gr_clear();
  if (window) gr_flip();
}

bool gr_is_initialised() { return Gr_inited; }

void gr_close() {
  if (Gr_inited) {
    switch (gr_screen.renderer) {
      case GR_DIRECT3D: gr_d3d_shutdown(); break;
      case GR_GLIDE: gr_glide_close(); break;
      case GR_OPENGL: gr_opengl_close(); break;
      case GR_RECORDER:
        if (rec()) rec()->close();
        break;
      default: break;
    }
    gr_print_screen_set_hooks(nullptr, nullptr);
    bm_set_texture_hooks(nullptr, nullptr);
    critical_error_set_display_release(nullptr);
    window_set_picture(0, 0);
  }
  Gr_inited = false;
  gr_font_close();
}

void gr_shutdown() { gr_close(); }

void gr_flip() {
  if (gr_alpha_flush) gr_alpha_flush();
  gr_reset_clip();

  if (Fade_mode != 0) {
    Fade_elapsed += FrameTimer;
    if (Fade_elapsed < Fade_duration) {
      float t = Fade_elapsed / Fade_duration;
      Fade_level = Fade_mode == 2 ? t : 1.0f - t;
    } else {
      Fade_level = Fade_mode == 2 ? 1.0f : -1.0f;
      Fade_mode = 0;
    }
  }
  if (Fade_level >= 0.0f) {
    gr_set_color(0, 0, 0, static_cast<int>(Fade_level * 255.0f));
    gr_reset_clip();
    gr_rect(0, 0, gr_screen.width, gr_screen.height, Gr_preset[7], 1.0f);
  }

  switch (gr_screen.renderer) {
    case GR_DIRECT3D:
      if (!gr_d3d_flip()) direct3d_lost();
      break;
    case GR_GLIDE: gr_glide_flip(); break;
    case GR_OPENGL: gr_opengl_flip(); break;
    case GR_RECORDER:
      if (rec()) rec()->flip();
      break;
    default: break;
  }
}

void gr_clear() {
  switch (gr_screen.renderer) {
    case GR_DIRECT3D: gr_d3d_clear(); break;
    case GR_GLIDE: gr_glide_clear(); break;
    case GR_OPENGL: gr_opengl_clear(); break;
    case GR_RECORDER:
      if (rec()) rec()->clear();
      break;
    default: break;
  }
}

void gr_set_clip(int x, int y, int w, int h) {
  const int width = gr_screen.width, height = gr_screen.height;
  gr_screen.offset_x = x;
  gr_screen.offset_y = y;
  gr_screen.clip_left = 0;
  gr_screen.clip_right = w - 1;
  gr_screen.clip_top = 0;
  gr_screen.clip_bottom = h - 1;

  if (x < 0) gr_screen.clip_left = -x;
  else if (x > width - 1) gr_screen.clip_left = width - x - 1;
  if (x + w - 1 < 0) gr_screen.clip_right = -x;
  else if (x + w - 1 >= width - 1) gr_screen.clip_right = width - x - 1;

  if (y < 0) gr_screen.clip_top = -y;
  else if (y > height - 1) gr_screen.clip_top = height - y - 1;
  if (y + h - 1 < 0) gr_screen.clip_bottom = -y;
  else if (y + h - 1 >= height - 1) gr_screen.clip_bottom = height - y - 1;

  gr_screen.clip_width = gr_screen.clip_right - gr_screen.clip_left + 1;
  gr_screen.clip_height = gr_screen.clip_bottom - gr_screen.clip_top + 1;

  switch (gr_screen.renderer) {
    case GR_DIRECT3D: gr_d3d_set_clip(); break;
    case GR_GLIDE: gr_glide_set_clip(); break;
    case GR_OPENGL: gr_opengl_set_clip(); break;
    case GR_RECORDER:
      if (rec()) rec()->set_clip();
      break;
    default: break;
  }
}

void gr_reset_clip() { gr_set_clip(0, 0, gr_screen.width, gr_screen.height); }

void gr_get_clip(int* x, int* y, int* w, int* h) {
  if (x) *x = gr_screen.offset_x;
  if (y) *y = gr_screen.offset_y;
  if (w) *w = gr_screen.clip_width;
  if (h) *h = gr_screen.clip_height;
}

void gr_set_color(int r, int g, int b, int a) {
  Color c(r, g, b, a);
  if (c == gr_screen.current_color) return;
  gr_screen.current_color = c;
  // Neither Direct3D nor OpenGL needs a call; the recorder sees it.
  if (gr_screen.renderer == GR_RECORDER && rec()) rec()->set_color();
}

void gr_set_color_rec(const Color& c) { gr_set_color(c.red, c.green, c.blue, c.alpha); }

void gr_set_alpha(int a) { gr_screen.current_color.alpha = static_cast<uint8_t>(a); }

void gr_set_bitmap(int handle, int extra) {
  gr_screen.current_bitmap = handle;
  gr_screen.current_bitmap_extra = extra;
}

void gr_bitmap(int handle, int x, int y, RenderStateWord state) {
  int w = 0, h = 0;
  bm_get_size(handle, &w, &h);
  if (w == 0) return;
  int x1 = x, y1 = y, x2 = x + w - 1, y2 = y + h - 1;
  if (misses_clip(x1, y1, x2, y2)) return;
  int sx = 0, sy = 0;
  if (x1 < gr_screen.clip_left) {
    sx = gr_screen.clip_left - x1;
    x1 = gr_screen.clip_left;
  }
  if (y1 < gr_screen.clip_top) {
    sy = gr_screen.clip_top - y1;
    y1 = gr_screen.clip_top;
  }
  if (x2 > gr_screen.clip_right) x2 = gr_screen.clip_right;
  if (y2 > gr_screen.clip_bottom) y2 = gr_screen.clip_bottom;
  const int dw = x2 - x1 + 1, dh = y2 - y1 + 1;
  renderer_bitmap(handle, x1, y1, dw, dh, sx, sy, dw, dh, state);
}

void gr_bitmap_ex(int handle, int x, int y, int w, int h, int sx, int sy, RenderStateWord state) {
  int bw = 0, bh = 0;
  bm_get_size(handle, &bw, &bh);
  int x1 = x, y1 = y, x2 = x + w - 1, y2 = y + h - 1;
  // A negative source corner moves the destination instead; the clip is then
  // done again on the moved rectangle. Each pass makes sx and sy non-negative,
  // so this runs at most twice.
  for (;;) {
    if (misses_clip(x1, y1, x2, y2)) return;
    if (x1 < gr_screen.clip_left) {
      sx += gr_screen.clip_left - x1;
      x1 = gr_screen.clip_left;
    }
    if (y1 < gr_screen.clip_top) {
      sy += gr_screen.clip_top - y1;
      y1 = gr_screen.clip_top;
    }
    if (x2 > gr_screen.clip_right) x2 = gr_screen.clip_right;
    if (y2 > gr_screen.clip_bottom) y2 = gr_screen.clip_bottom;
    if (sx < 0 || sy < 0) {
      if (sx < 0) {
        x1 -= sx;
        sx = 0;
      }
      if (sy < 0) {
        y1 -= sy;
        sy = 0;
      }
      continue;
    }
    break;
  }
  if (sx >= bw || sy >= bh) return;
  int dw = x2 - x1 + 1, dh = y2 - y1 + 1;
  if (sx + dw > bw) dw = bw - sx;
  if (sy + dh > bh) dh = bh - sy;
  if (dw < 1 || dh < 1) return;
  renderer_bitmap(handle, x1, y1, dw, dh, sx, sy, dw, dh, state);
}

void gr_bitmap_scaled(int handle, int x, int y, int w, int h, int sx, int sy, int sw, int sh,
                      RenderStateWord state) {
  renderer_bitmap(handle, x, y, w, h, sx, sy, sw, sh, state);
}

void gr_bitmap_rotated(int handle, float x, float y, float scale, float angle, RenderStateWord state) {
  gr_set_bitmap(handle, -1);
  int bw = 0, bh = 0;
  bm_get_size(handle, &bw, &bh);
  const float w2 = static_cast<float>(bw) * scale * 0.5f;
  const float h2 = static_cast<float>(bh) * scale * 0.5f;
  const float ca = std::cos(angle), sa = std::sin(angle);
  static const float corner_x[4] = {-1, 1, 1, -1};
  static const float corner_y[4] = {-1, -1, 1, 1};
  static const float tex_u[4] = {0, 1, 1, 0};
  static const float tex_v[4] = {0, 0, 1, 1};
  GrVertex v[4];
  GrVertex* list[4];
  for (int i = 0; i < 4; i++) {
    const float X = corner_x[i] * w2, Y = corner_y[i] * h2;
    v[i].sx = x + X * ca - Y * sa;
    v[i].sy = y + X * sa + Y * ca;
    v[i].u = tex_u[i];
    v[i].v = tex_v[i];
    v[i].ooz = 1.0f;
    v[i].flags = GR_VERTEX_UV;
    list[i] = &v[i];
  }
  gr_draw_polygon(4, list, state);
}

void gr_line(float x1, float y1, float x2, float y2, RenderStateWord state) {
  if (y1 > y2) {
    std::swap(x1, x2);
    std::swap(y1, y2);
  }
  const float left = static_cast<float>(gr_screen.clip_left);
  const float right = static_cast<float>(gr_screen.clip_right);
  const float top = static_cast<float>(gr_screen.clip_top);
  const float bottom = static_cast<float>(gr_screen.clip_bottom);
  auto code = [&](float x, float y) {
    int c = 0;
    if (x < left) c |= 1;
    else if (x > right) c |= 2;
    if (y < top) c |= 4;
    else if (y > bottom) c |= 8;
    return c;
  };
  int c1 = code(x1, y1), c2 = code(x2, y2);
  // Each pass moves one end onto an edge it lies outside of; an end can be
  // outside at most two edges, so four passes settle both.
  for (int pass = 0; pass < 8 && (c1 | c2); pass++) {
    if (c1 & c2) return;
    const int c = c1 ? c1 : c2;
    float x = 0, y = 0;
    if (c & 1) {
      y = y1 + (y2 - y1) * (left - x1) / (x2 - x1);
      x = left;
    } else if (c & 2) {
      y = y1 + (y2 - y1) * (right - x1) / (x2 - x1);
      x = right;
    } else if (c & 4) {
      x = x1 + (x2 - x1) * (top - y1) / (y2 - y1);
      y = top;
    } else {
      x = x1 + (x2 - x1) * (bottom - y1) / (y2 - y1);
      y = bottom;
    }
    if (c == c1) {
      x1 = x;
      y1 = y;
      c1 = code(x1, y1);
    } else {
      x2 = x;
      y2 = y;
      c2 = code(x2, y2);
    }
  }
  if (c1 | c2) return;

  switch (gr_screen.renderer) {
    case GR_DIRECT3D: gr_d3d_line(x1, y1, x2, y2, state); break;
    case GR_GLIDE: gr_glide_line(x1, y1, x2, y2, state); break;
    case GR_OPENGL: gr_opengl_line(x1, y1, x2, y2, state); break;
    case GR_RECORDER:
      if (rec()) rec()->line(x1, y1, x2, y2, state);
      break;
    default: break;
  }
}

void gr_circle(int x, int y, int radius, RenderStateWord state) {
  int n = 3 * radius;
  if (n < 5) n = 5;
  if (n > 128) n = 128;
  const float step = 2.0f * 3.14159265358979f / static_cast<float>(n);
  const float r = static_cast<float>(radius);
  float px = static_cast<float>(x), py = static_cast<float>(y) + r;  // a = 0
  const float fx = px, fy = py;
  for (int i = 1; i <= n; i++) {
    float nx, ny;
    if (i == n) {
      nx = fx;
      ny = fy;
    } else {
      const float a = step * static_cast<float>(i);
      nx = static_cast<float>(x) + r * std::sin(a);
      ny = static_cast<float>(y) + r * std::cos(a);
    }
    gr_line(px, py, nx, ny, state);
    px = nx;
    py = ny;
  }
}

void gr_rect(int x, int y, int w, int h, RenderStateWord state, float ooz) {
  int x1 = x, y1 = y;
  int x2 = w < 1 ? x + w + 1 : x + w - 1;
  int y2 = h < 1 ? y + h + 1 : y + h - 1;
  if (x2 < x1) std::swap(x1, x2);
  if (y2 < y1) std::swap(y1, y2);
  if (misses_clip(x1, y1, x2, y2)) return;
  if (x1 < gr_screen.clip_left) x1 = gr_screen.clip_left;
  if (y1 < gr_screen.clip_top) y1 = gr_screen.clip_top;
  if (x2 > gr_screen.clip_right) x2 = gr_screen.clip_right;
  if (y2 > gr_screen.clip_bottom) y2 = gr_screen.clip_bottom;

  const float l = static_cast<float>(gr_screen.offset_x + x1);
  const float t = static_cast<float>(gr_screen.offset_y + y1);
  const float r = static_cast<float>(gr_screen.offset_x + x2 + 1);
  const float b = static_cast<float>(gr_screen.offset_y + y2 + 1);
  GrVertex v[4];
  GrVertex* list[4] = {&v[0], &v[1], &v[2], &v[3]};
  v[0].sx = l, v[0].sy = t;
  v[1].sx = r, v[1].sy = t;
  v[2].sx = r, v[2].sy = b;
  v[3].sx = l, v[3].sy = b;
  for (auto& p : v) {
    p.ooz = ooz;
    p.flags = 0;
  }
  gr_draw_polygon(4, list, state);
}

void gr_draw_polygon(int count, GrVertex** verts, RenderStateWord state) {
  if (count < 1 || !verts) return;
  renderer_polygon(count, verts, state);
}

void gr_draw_polygon_layers(int count, GrLayeredVertex** verts, int layer_count, const GrLayer* layers) {
  if (count < 1 || !verts || layer_count < 1 || !layers) return;
  if (layer_count > GR_MAX_LAYERS) layer_count = GR_MAX_LAYERS;
  switch (gr_screen.renderer) {
    case GR_DIRECT3D: gr_d3d_poly_multipass(count, verts, layer_count, layers); return;
    case GR_GLIDE: gr_glide_poly_multipass(count, verts, layer_count, layers); return;
    case GR_RECORDER:
      if (rec()) rec()->polygon_layers(count, verts, layer_count, layers);
      break;
    case GR_OPENGL: break;
    default: return;
  }
  // The OpenGL renderer has no multi-pass operation: one polygon per layer.
  // The list is kept between calls so a frame allocates nothing.
  static std::vector<GrVertex*> list;
  if (list.size() < static_cast<size_t>(count)) list.resize(count);
  for (int l = 0; l < layer_count; l++) {
    const GrLayer& layer = layers[l];
    int r = layer.r, g = layer.g, b = layer.b, a = layer.a;
    for (int i = 0; i < count; i++) {
      GrVertex* v = verts[i]->vertex;
      const GrLayerVertexData& d = verts[i]->layer[l];
      v->flags = 0;
      if (layer.use_layer_uv) {
        v->u = d.u;
        v->v = d.v;
        v->flags |= GR_VERTEX_UV;
      }
      if (layer.use_vertex_alpha) {
        v->a = d.a;
        v->flags |= GR_VERTEX_ALPHA;
      }
      if (layer.use_vertex_rgb) {
        v->r = d.r;
        v->g = d.g;
        v->b = d.b;
        v->flags |= GR_VERTEX_RGB;
      }
      list[i] = v;
    }
    if (layer.use_vertex_alpha) a = 255;
    if (layer.use_vertex_rgb) r = g = b = 255;
    gr_set_color(r, g, b, a);
    gr_set_bitmap(layer.bitmap, -1);
    renderer_polygon(count, list.data(), layer.state);
  }
}

void gr_preload(int handle, int flag) {
  switch (gr_screen.renderer) {
    case GR_DIRECT3D: gr_d3d_preload(handle); break;
    case GR_GLIDE: gr_glide_preload(handle, flag); break;
    case GR_OPENGL: gr_opengl_preload(handle, 0); break;
    case GR_RECORDER:
      if (rec()) rec()->preload(handle, flag);
      break;
    default: break;
  }
}

void gr_texture_mark_dirty(int handle) {
  switch (gr_screen.renderer) {
    case GR_DIRECT3D: gr_d3d_texture_dirty(handle); break;
    case GR_GLIDE: gr_glide_texture_dirty(handle); break;
    case GR_OPENGL: gr_opengl_texture_dirty(handle); break;
    case GR_RECORDER:
      if (rec()) rec()->texture_dirty(handle);
      break;
    default: break;
  }
}

void gr_texture_release(int handle) {
  switch (gr_screen.renderer) {
    case GR_DIRECT3D: gr_d3d_texture_release(handle); break;
    case GR_GLIDE: gr_glide_texture_release(handle); break;
    case GR_OPENGL: gr_opengl_texture_release(handle); break;
    case GR_RECORDER:
      if (rec()) rec()->texture_release(handle);
      break;
    default: break;
  }
}

void gr_flush_textures() {
  gr_screen.current_bitmap = -1;
  gr_screen.current_bitmap_extra = -1;
  switch (gr_screen.renderer) {
    case GR_DIRECT3D: gr_d3d_flush_textures(); break;
    case GR_GLIDE: gr_glide_flush_textures(); break;
    case GR_OPENGL: gr_opengl_flush_textures(); break;
    case GR_RECORDER:
      if (rec()) rec()->flush_textures();
      break;
    default: break;
  }
}

void gr_batch_2d(bool on) {
  gr_opengl_batch_2d(on);
  gr_d3d_batch_2d(on);
  gr_glide_batch_2d(on);
}

void gr_zbuffer_clear(bool on) {
  Zbuffer_on = on;
  if (!on) return;
  switch (gr_screen.renderer) {
    case GR_DIRECT3D: gr_d3d_clear_depth(); break;
    case GR_GLIDE: gr_glide_clear_depth(); break;
    case GR_OPENGL: gr_opengl_clear_depth(); break;
    case GR_RECORDER:
      if (rec()) rec()->clear_depth();
      break;
    default: break;
  }
}

bool gr_zbuffer_is_on() { return Zbuffer_on; }

void gr_fog_set(bool on, int r, int g, int b, float near_dist, float far_dist) {
  gr_screen.fog_color = Color(r, g, b, 255);
  gr_screen.fog_on = on ? 1 : 0;
  bool distances = false;
  if (on) {
    const float limit = far_dist * (gr_screen.renderer == GR_GLIDE ? 0.25f : 0.5f);
    if (near_dist > limit) near_dist = limit;
    if (near_dist >= 0.0f && far_dist >= near_dist) {
      distances = true;
      gr_screen.fog_near = near_dist;
      gr_screen.fog_far = Gr_level_fog_multiplier * far_dist;
      gr_screen.fog_alpha_near =
          gr_3d_zoom_scale((1.0f - Gr_alpha_fog_ratio) * near_dist + Gr_alpha_fog_ratio * far_dist);
      gr_screen.fog_alpha_far = gr_3d_zoom_scale(far_dist);
      const float span = gr_screen.fog_alpha_far - gr_screen.fog_alpha_near;
      // A zero span (near equal to far) would make the scale infinite and the
      // fades that multiply by it not-a-number.
      gr_screen.fog_alpha_scale = span > 0.0f ? 1.0f / span : 0.0f;
      if (gr_screen.renderer == GR_DIRECT3D && gr_d3d_fog_mode() == 3) {
        gr_screen.fog_start = gr_3d_zoom_scale(near_dist);
        gr_screen.fog_end = gr_3d_zoom_scale(gr_screen.fog_far);
        const float d = gr_screen.fog_end - gr_screen.fog_start;
        gr_screen.fog_scale = d > 0.0f ? 1.0f / d : 0.0f;
      } else {
        gr_screen.fog_start = gr_screen.fog_end = gr_3d_zoom_scale(gr_screen.fog_far) * 30.0f;
        gr_screen.fog_scale = 1.0f;
      }
      gr_screen.fog_alpha2_far = gr_3d_zoom_scale(Gr_level_fog_multiplier * far_dist);
      gr_screen.fog_alpha2_near = gr_screen.fog_alpha2_far - span;
    }
  }
  switch (gr_screen.renderer) {
    case GR_DIRECT3D: gr_d3d_fog_set(distances); break;
    case GR_GLIDE: gr_glide_fog_set(distances); break;
    case GR_OPENGL: gr_opengl_fog_set(distances); break;
    case GR_RECORDER:
      if (rec()) rec()->fog_set(distances);
      break;
    default: break;
  }
}

void gr_set_tint(bool on, float r, float g, float b) {
  gr_screen.tint_on = on ? 1 : 0;
  gr_screen.tint_r = r;
  gr_screen.tint_g = g;
  gr_screen.tint_b = b;
}

void gr_apply_tint(int& r, int& g, int& b) {
  if (!gr_screen.tint_on) return;
  auto clamp = [](float v) { return !(v > 0.0f) ? 0 : v >= 255.0f ? 255 : static_cast<int>(v); };
  const float s = static_cast<float>(r + g + b);
  r = clamp(s * gr_screen.tint_r);
  g = clamp(s * gr_screen.tint_g);
  b = clamp(s * gr_screen.tint_b);
}

void gr_set_gamma(float gamma) {
  Gr_gamma = gamma;
  Gr_gamma_int = static_cast<int>(gamma * 100.0f);
  const double inv = gamma > 0.0f ? 1.0 / gamma : 1.0;
  for (int i = 0; i < 256; i++) {
    int v = static_cast<int>(std::pow(i / 255.0, inv) * 255.0);
    if (v < 0) v = 0;
    if (v > 255) v = 255;
    Gr_gamma_lookup[i] = v;
    Gr_gamma_lookup_float[i] = static_cast<float>(i);
  }
}

int gr_read_screen(int x, int y, int w, int h, void* buffer) {
  if (w < 1 || h < 1 || !buffer) return 0;
  switch (gr_screen.renderer) {
    case GR_DIRECT3D: return gr_d3d_read_screen(x, y, w, h, buffer);
    case GR_GLIDE: return gr_glide_read_screen(x, y, w, h, buffer);
    case GR_OPENGL: return gr_opengl_read_screen(x, y, w, h, buffer);
    case GR_RECORDER: return rec() ? rec()->read_screen(x, y, w, h, buffer) : 0;
    default: return 0;
  }
}

bool gr_save_screen(const char* name, int format, int path_type) {
  return gr_print_screen(name, format == 1, path_type);
}

bool gr_render_state_supported(RenderStateWord state) {
  switch (gr_screen.renderer) {
    case GR_DIRECT3D: return gr_d3d_render_state_supported(state);
    case GR_GLIDE: return gr_glide_render_state_supported(state);
    case GR_OPENGL: return state.texture_mode() < 4;
    case GR_RECORDER: return rec() ? rec()->render_state_supported(state) : false;
    default: return false;
  }
}

int gr_get_video_memory() {
  switch (gr_screen.renderer) {
    case GR_DIRECT3D: return gr_d3d_get_video_memory();
    case GR_GLIDE: return gr_glide_get_video_memory();
    case GR_OPENGL: return 8;
    case GR_RECORDER: return rec() ? rec()->video_memory() : 0;
    default: return 0;
  }
}

bool gr_antialiasing_supported() {
  switch (gr_screen.renderer) {
    case GR_DIRECT3D: return gr_d3d_antialias_supported();
    default: return false;
  }
}

void gr_set_antialiasing(bool on) {
  if (!gr_antialiasing_supported() && gr_screen.renderer != GR_RECORDER) return;
  switch (gr_screen.renderer) {
    case GR_DIRECT3D: gr_d3d_set_antialias(on); break;
    case GR_RECORDER:
      if (rec()) rec()->set_antialiasing(on);
      break;
    default: break;
  }
}

void gr_set_alpha_test(bool on) {
  switch (gr_screen.renderer) {
    case GR_DIRECT3D: gr_d3d_set_alpha_test(on); break;
    case GR_GLIDE: gr_glide_set_alpha_test(on); break;
    case GR_RECORDER:
      if (rec()) rec()->set_alpha_test(on);
      break;
    default: break;
  }
}

void gr_set_window(GrWindow window) {
  if (gr_alpha_flush) gr_alpha_flush();
  Screen_window = window;
  switch (gr_screen.renderer) {
    case GR_DIRECT3D: gr_d3d_set_window(window); break;
    case GR_OPENGL: gr_opengl_set_window(window); break;
    case GR_RECORDER:
      if (rec()) rec()->set_window(window);
      break;
    default: break;
  }
  gr_reset_clip();
}

void gr_show_desktop() {
  if (!Gr_inited) return;
  if (gr_screen.renderer == GR_GLIDE) gr_glide_show_desktop();
  else if (gr_screen.renderer == GR_RECORDER && rec()) rec()->show_desktop();
}

void gr_finish() {
  switch (gr_screen.renderer) {
    case GR_GLIDE: gr_glide_finish(); break;
    case GR_OPENGL: gr_opengl_finish(); break;
    case GR_RECORDER:
      if (rec()) rec()->finish();
      break;
    default: break;
  }
}

void gr_set_vsync(bool on) { gr_screen.vsync = on ? 1 : 0; }
int gr_screen_width() { return gr_screen.width; }
int gr_screen_height() { return gr_screen.height; }
float gr_get_aspect() { return gr_screen.aspect; }
void gr_set_aspect(float aspect) { gr_screen.aspect = aspect; }

float gr_get_fade_level() { return Fade_level < 0.0f ? 0.0f : Fade_level; }

void gr_fade_out(int ms) {
  if (ms > 0) {
    Fade_mode = 2;
    Fade_elapsed = 0.0f;
    Fade_duration = static_cast<float>(ms) * 0.001f;
  } else {
    Fade_mode = 0;
    Fade_level = 1.0f;
  }
}

void gr_fade_in(int ms) {
  if (ms > 0) {
    Fade_mode = 1;
    Fade_elapsed = 0.0f;
    Fade_duration = static_cast<float>(ms) * 0.001f;
  } else {
    Fade_mode = 0;
    Fade_level = -1.0f;
  }
}

float gr_tint_brightness(float r, float g, float b) {
  const float mean = (r + g + b) / 3.0f;
  return (mean + (255.0f - mean) * 0.6f) / 255.0f;
}
