// The Glide renderer. Every call to the card goes through Glide_api, filled
// by the loader from the library's exported entry points, so a test can put a
// recording table in its place.
#include "quarn/gr/glide/gr_glide.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "quarn/bmpman/bmpman.h"
#include "quarn/gr/glide/gr_glide_tcache.h"
#include "quarn/gr/gr3d.h"
#include "quarn/gr/gr_tile.h"
#include "quarn/os/console.h"
#include "quarn/os/error.h"
#include "quarn/os/os.h"
#include "quarn/platform/dynlib.h"
#include "quarn/platform/messages.h"

GlideApi Glide_api;

namespace {

constexpr int MAX_VERTS = 25;

const GlideApi* Test_api = nullptr;
void* Library = nullptr;
bool Loaded = false;
bool Single_tmu = false;
bool Task_switch = false;
int Fb_mb = 0;
int Resolution = GLIDE_RESOLUTION_640x480;
GrWindow Window = 0;
bool Hook_registered = false;
bool Batching = true;

// Written by the window thread's hook, read and cleared by the flip.
std::atomic<int> Active{1};
std::atomic<int> Activations{0};
std::atomic<int> Deactivations{0};
bool Minimised = false;  // main thread only
int Open_count = 0;

RenderStateWord Last_state;
float S_scale = 0, T_scale = 0;
float S_scale2 = 0, T_scale2 = 0;
GlideVertex Verts[MAX_VERTS];
uint8_t Fog_table[GLIDE_FOG_TABLE_SIZE];
float Fog_near = -1.0f, Fog_far = -1.0f;
float Whee = 0.1f;

ConsoleCommand Cc_whee("whee", "", [] {
  console_get_arg(ARG_FLOAT);
  Whee = Console_arg.float_value;
});

float clamp255(float v) { return v < 0.0f ? 0.0f : (v > 255.0f ? 255.0f : v); }

void tint(GlideVertex& v) {
  if (!gr_screen.tint_on) return;
  const float s = v.r + v.g + v.b;
  v.r = clamp255(s * gr_screen.tint_r);
  v.g = clamp255(s * gr_screen.tint_g);
  v.b = clamp255(s * gr_screen.tint_b);
}

// Colour and alpha of a vertex: its own when its flags say so, else the
// screen's current colour.
void vertex_color(GlideVertex& gv, const GrVertex* v) {
  const Color& c = gr_screen.current_color;
  gv.r = c.red, gv.g = c.green, gv.b = c.blue, gv.a = c.alpha;
  if (v && (v->flags & GR_VERTEX_RGB)) {
    gv.r = Gr_gamma_lookup_float[v->r];
    gv.g = Gr_gamma_lookup_float[v->g];
    gv.b = Gr_gamma_lookup_float[v->b];
  }
  if (v && (v->flags & GR_VERTEX_ALPHA)) gv.a = v->a;
  tint(gv);
}

bool drawing_stopped() { return Task_switch && Minimised; }

void reset_state() {
  Activations = 0;
  Deactivations = 0;
  Active = 1;
  Minimised = false;
  Last_state.invalidate();
  Fog_near = Fog_far = -1.0f;
}

void open_window() {
  if (!Glide_api.grSstWinOpen(Window, Resolution, GLIDE_REFRESH_60Hz, GLIDE_COLORFORMAT_ABGR,
                              GLIDE_ORIGIN_UPPER_LEFT, 2, 1))
    critical_error(__FILE__, __LINE__, "Glide SstrWinOpen failed!\n");
}

// Task-switch boards give the card back while the game is inactive. The hook
// only records the change; the switch happens here, on the main thread,
// between frames.
void apply_task_switch() {
  const bool want_active = Active.load() != 0;
  Activations = 0;
  Deactivations = 0;
  if (!want_active && !Minimised) {
    Minimised = true;
    Glide_api.grSstWinClose();
    Open_count = 0;
  } else if (want_active && Minimised) {
    Minimised = false;
    open_window();
    gr_glide_flush_textures();  // the card lost them
    Glide_api.grGammaCorrectionValue(1.0f);
    Last_state.invalidate();
    Open_count = 1;
  }
}

void draw_polygon(int count) {
  Glide_api.grDrawPolygonVertexList(count, Verts);
}

}  // namespace

void gr_glide_use_api(const GlideApi* api) { Test_api = api; }

bool gr_glide_load_library(const char** missing) {
  static const char* const no_library = "glide2x.dll";
  if (missing) *missing = nullptr;
  gr_glide_unload_library();
  Library = os_load_library("glide2x.dll");
  if (!Library) {
    if (missing) *missing = no_library;
    return false;
  }
  GlideApi api;
  bool complete = true;
#define GLIDE_LOOKUP(name, bytes, ...)                                                         \
  if (complete) {                                                                              \
    static const char decorated[] = "_" #name "@" #bytes;                                      \
    void* p = os_get_proc_address(Library, decorated);                                        \
    if (!p) {                                                                                  \
      complete = false;                                                                        \
      if (missing) *missing = decorated;                                                       \
    }                                                                                          \
    api.name = reinterpret_cast<decltype(api.name)>(p);                                        \
  }
  GLIDE_ENTRY_POINTS(GLIDE_LOOKUP)
#undef GLIDE_LOOKUP
  if (!complete) {
    gr_glide_unload_library();
    return false;
  }
  Glide_api = api;
  return true;
}

void gr_glide_unload_library() {
  if (Library) os_free_library(Library);
  Library = nullptr;
}

bool gr_glide_available() {
  if (Test_api) return true;
  const char* missing = nullptr;
  const bool ok = gr_glide_load_library(&missing);
  if (!ok) {
    if (missing && std::strcmp(missing, "glide2x.dll") == 0 && *os_library_load_error())
      std::printf("Glide: the library glide2x.dll cannot be loaded: %s\n", os_library_load_error());
    else if (missing && std::strcmp(missing, "glide2x.dll") == 0)
      std::printf("Glide: the library glide2x.dll was not found\n");
    else
      std::printf("Glide: the library has no entry point %s\n", missing ? missing : "?");
  }
  if (!Loaded) gr_glide_unload_library();
  return ok;
}

bool gr_glide_init(GrWindow window) {
  switch (gr_screen.window_mode) {
    case GR_WINDOWED:
    case GR_WINDOW_AS_IS:
      critical_error(__FILE__, __LINE__, "Glide can only be used in fullscreen mode for now.\n");
    case GR_FULLSCREEN: break;
    default: critical_error(__FILE__, __LINE__, "Invalid window_mode passed to gr_direct3d_init\n");
  }
  setenv("FX_GLIDE_NO_SPLASH", "1", 1);
  Loaded = true;
  if (Test_api) {
    Glide_api = *Test_api;
  } else {
    if (!gr_glide_load_library(nullptr)) critical_error(__FILE__, __LINE__, "Glide DLL not found!\n");
    os_sleep(2000);
  }
  Window = window;
  reset_state();

  char version[80] = {};
  Glide_api.grGlideGetVersion(version);
  std::printf("Glide version: %s\n", version);
  Glide_api.grGlideInit();

  GlideHwConfig hw{};
  if (!Glide_api.grSstQueryHardware(&hw)) critical_error(__FILE__, __LINE__, "No Glide hardware found!\n");
  Glide_api.grSstSelect(0);

  Resolution = gr_screen.width == 800    ? GLIDE_RESOLUTION_800x600
               : gr_screen.width == 1024 ? GLIDE_RESOLUTION_1024x768
                                         : GLIDE_RESOLUTION_640x480;
  open_window();
  // The test is on 4 MB; the message is the one players have always seen.
  if (hw.board[0].fb_ram_mb < 4)
    critical_error(__FILE__, __LINE__, "Orrimund needs at least 8 mb of video memory to run.\n");
  Single_tmu = hw.board[0].tmu_count < 2;
  Task_switch = hw.board[0].tmu_count > 1 && hw.board[0].fb_ram_mb >= 12;
  Fb_mb = hw.board[0].fb_ram_mb;

  gr_screen.max_texture_w = gr_screen.max_texture_h = 256;
  gr_glide_tcache_init();
  Glide_api.grGammaCorrectionValue(1.0f);
  if (!Hook_registered) {
    os_add_message_hook(gr_glide_activation_hook);
    Hook_registered = true;
  }
  Open_count = 1;
  Glide_api.grHints(GLIDE_HINT_STWHINT, GLIDE_STWHINT_ST_DIFF_TMU1);
  Glide_api.grAlphaTestFunction(GLIDE_CMP_GREATER);
  Glide_api.grAlphaTestReferenceValue(0);
  return true;
}

void gr_glide_close() {
  if (!Loaded) return;
  gr_glide_tcache_shutdown();
  Glide_api.grGlideShutdown();
  gr_glide_unload_library();
  Glide_api = GlideApi();
  Loaded = false;
  Minimised = false;
}

void gr_glide_activation_hook(uint32_t message, uint64_t wparam, int64_t) {
  if (!Loaded) return;
  int active;
  if (message == OS_MSG_ACTIVATE) {
    const int state = static_cast<int>(wparam & 0xFFFF);
    active = state == 1 || state == 2 ? 1 : 0;
  } else if (message == OS_MSG_ACTIVATEAPP) {
    active = wparam ? 1 : 0;
  } else {
    return;
  }
  if (Active.exchange(active) == active) return;
  if (active) Activations++;
  else Deactivations++;
}

bool gr_glide_minimised() { return Minimised; }

void gr_glide_flip() {
  if (!Loaded) return;
  if (Task_switch) {
    if (Activations.load() || Deactivations.load()) apply_task_switch();
    if (Minimised) return;
  } else {
    if (Activations.exchange(0)) {
      if (!gr_screen.dual_head) Glide_api.grSstControl(GLIDE_CONTROL_ACTIVATE);
      Open_count++;
    }
    if (Deactivations.exchange(0)) {
      if (!gr_screen.dual_head) Glide_api.grSstControl(GLIDE_CONTROL_DEACTIVATE);
      Open_count--;
    }
  }
  if (Open_count > 0) Glide_api.grBufferSwap(gr_screen.vsync ? 1 : 0);
}

void gr_glide_show_desktop() {
  if (!Loaded || gr_screen.dual_head) return;
  Glide_api.grSstControl(GLIDE_CONTROL_DEACTIVATE);
  Activations++;
}

void gr_glide_clear() {
  if (!Loaded || drawing_stopped()) return;
  gr_glide_set_render_state(RenderStateWord(0, 0, 0, 0, 0, 0));
  Glide_api.grBufferClear(0, 0, 0xFFFF);
}

void gr_glide_clear_depth() {
  if (!Loaded || drawing_stopped()) return;
  gr_glide_set_render_state(RenderStateWord(0, 0, 0, 0, 4, 0));
  Glide_api.grColorMask(0, 0);
  Glide_api.grBufferClear(0, 0, 0xFFFF);
  Glide_api.grColorMask(1, 0);
}

void gr_glide_set_clip() {
  if (!Loaded || drawing_stopped()) return;
  const int x = gr_screen.offset_x, y = gr_screen.offset_y;
  Glide_api.grClipWindow(x + gr_screen.clip_left, y + gr_screen.clip_top, x + gr_screen.clip_right + 1,
                         y + gr_screen.clip_bottom + 1);
}

void gr_glide_set_render_state(RenderStateWord state) {
  if (!Loaded || drawing_stopped()) return;
  if (state == Last_state) return;
  const RenderStateWord last = Last_state;
  Last_state = state;
  auto changed = [&](int f) { return last.bits == RenderStateWord::INVALID || state.field(f) != last.field(f); };
  const GlideApi& g = Glide_api;

  if (changed(RenderStateWord::TEXTURE)) {
    auto unit = [&](int tmu, int filter, int combine, int clamp) {
      g.grTexFilterMode(tmu, filter, filter);
      g.grTexCombineFunction(tmu, combine);
      g.grTexClampMode(tmu, clamp, clamp);
    };
    switch (state.texture_mode()) {
      case 0: g.grTexCombineFunction(GLIDE_TMU0, GLIDE_TEXCOMBINE_ONE); break;
      case 1: unit(GLIDE_TMU0, GLIDE_TEXTUREFILTER_BILINEAR, GLIDE_TEXCOMBINE_DECAL, GLIDE_TEXTURECLAMP_WRAP); break;
      case 2: unit(GLIDE_TMU0, GLIDE_TEXTUREFILTER_BILINEAR, GLIDE_TEXCOMBINE_DECAL, GLIDE_TEXTURECLAMP_CLAMP); break;
      case 3:
        unit(GLIDE_TMU0, GLIDE_TEXTUREFILTER_POINT_SAMPLED, GLIDE_TEXCOMBINE_DECAL, GLIDE_TEXTURECLAMP_CLAMP);
        break;
      case 4:
        unit(GLIDE_TMU0, GLIDE_TEXTUREFILTER_BILINEAR, GLIDE_TEXCOMBINE_MULTIPLY, GLIDE_TEXTURECLAMP_WRAP);
        unit(GLIDE_TMU1, GLIDE_TEXTUREFILTER_BILINEAR, GLIDE_TEXCOMBINE_DECAL, GLIDE_TEXTURECLAMP_CLAMP);
        break;
      case 6:
        unit(GLIDE_TMU0, GLIDE_TEXTUREFILTER_BILINEAR, GLIDE_TEXCOMBINE_ADD, GLIDE_TEXTURECLAMP_WRAP);
        unit(GLIDE_TMU1, GLIDE_TEXTUREFILTER_BILINEAR, GLIDE_TEXCOMBINE_DECAL, GLIDE_TEXTURECLAMP_WRAP);
        break;
      default: break;
    }
  }

  // Colour and alpha sources share one table of combine arguments.
  struct Combine {
    int function, factor, local, other;
  };
  static const Combine SOURCES[4] = {
      {GLIDE_COMBINE_FUNCTION_LOCAL, GLIDE_COMBINE_FACTOR_ZERO, GLIDE_COMBINE_LOCAL_ITERATED,
       GLIDE_COMBINE_OTHER_CONSTANT},
      {GLIDE_COMBINE_FUNCTION_SCALE_OTHER, GLIDE_COMBINE_FACTOR_ONE, GLIDE_COMBINE_LOCAL_CONSTANT,
       GLIDE_COMBINE_OTHER_TEXTURE},
      {GLIDE_COMBINE_FUNCTION_SCALE_OTHER, GLIDE_COMBINE_FACTOR_LOCAL, GLIDE_COMBINE_LOCAL_ITERATED,
       GLIDE_COMBINE_OTHER_TEXTURE},
      {GLIDE_COMBINE_FUNCTION_SCALE_OTHER_ADD_LOCAL, GLIDE_COMBINE_FACTOR_ONE, GLIDE_COMBINE_LOCAL_ITERATED,
       GLIDE_COMBINE_OTHER_TEXTURE},
  };
  if (changed(RenderStateWord::COLOR_SOURCE) && state.color_source() < 4) {
    const Combine& c = SOURCES[state.color_source()];
    g.grColorCombine(c.function, c.factor, c.local, c.other, 0);
  }
  if (changed(RenderStateWord::ALPHA_SOURCE) && state.alpha_source() < 4) {
    // Alpha source 1 is the vertex alpha with the lighting switch; 2 and 3
    // take texture alpha as colour sources 1 and 2 take texture colour.
    const int a = state.alpha_source();
    const Combine& c = SOURCES[a <= 1 ? 0 : a - 1];
    g.grAlphaCombine(c.function, c.factor, c.local, c.other, 0);
    g.grAlphaControlsITRGBLighting(a == 1 ? 1 : 0);
    if (a == 1) g.grConstantColorValue(0xFFFFFFFFu);
  }

  if (changed(RenderStateWord::BLEND)) {
    switch (state.blend_mode()) {
      case 0: g.grAlphaBlendFunction(GLIDE_BLEND_ONE, GLIDE_BLEND_ZERO, GLIDE_BLEND_ZERO, GLIDE_BLEND_ZERO); break;
      case 1: g.grAlphaBlendFunction(GLIDE_BLEND_ONE, GLIDE_BLEND_ONE, GLIDE_BLEND_ZERO, GLIDE_BLEND_ZERO); break;
      case 2:
        g.grAlphaBlendFunction(GLIDE_BLEND_SRC_ALPHA, GLIDE_BLEND_ONE, GLIDE_BLEND_ZERO, GLIDE_BLEND_ZERO);
        break;
      case 3:
        g.grAlphaBlendFunction(GLIDE_BLEND_SRC_ALPHA, GLIDE_BLEND_ONE_MINUS_SRC_ALPHA, GLIDE_BLEND_ZERO,
                               GLIDE_BLEND_ZERO);
        break;
      case 5:
        if (gr_screen.fog_on && state.fog_mode() != 3)
          g.grAlphaBlendFunction(GLIDE_BLEND_ONE, GLIDE_BLEND_PREFOG_COLOR, GLIDE_BLEND_ONE, GLIDE_BLEND_ZERO);
        else
          g.grAlphaBlendFunction(GLIDE_BLEND_DST_COLOR, GLIDE_BLEND_ZERO, GLIDE_BLEND_ONE, GLIDE_BLEND_ZERO);
        break;
      default: break;
    }
  }

  if (changed(RenderStateWord::DEPTH)) {
    static const int FUNCTION[5] = {0, GLIDE_CMP_LEQUAL, GLIDE_CMP_EQUAL, GLIDE_CMP_ALWAYS, GLIDE_CMP_LEQUAL};
    static const int MASK[5] = {0, 0, 0, 1, 1};
    const int d = state.depth_mode();
    if (d == 0) {
      g.grDepthBufferMode(GLIDE_DEPTHBUFFER_DISABLE);
      g.grDepthMask(0);
    } else if (d <= 4) {
      g.grDepthBufferMode(GLIDE_DEPTHBUFFER_WBUFFER);
      g.grDepthBufferFunction(FUNCTION[d]);
      g.grDepthMask(MASK[d]);
    }
  }

  if (changed(RenderStateWord::FOG)) {
    static const int MODE[3] = {GLIDE_FOG_WITH_TABLE, GLIDE_FOG_WITH_TABLE | GLIDE_FOG_ADD2,
                                GLIDE_FOG_WITH_TABLE | GLIDE_FOG_MULT2};
    const int f = state.fog_mode();
    if (f < 3) g.grFogMode(gr_screen.fog_on ? MODE[f] : GLIDE_FOG_DISABLE);
    else if (f == 3) g.grFogMode(GLIDE_FOG_DISABLE);
  }
}

bool gr_glide_render_state_supported(RenderStateWord state) {
  return !(Single_tmu && state.texture_mode() >= 4);
}

void gr_glide_set_state_and_texture(RenderStateWord state, int handle) {
  gr_glide_set_render_state(state);
  if (state.texture_mode() != 0 && handle >= 0) gr_glide_set_texture(0, handle, 0, &S_scale, &T_scale, 1);
}

void gr_glide_preload(int handle, int flag) {
  if (!Loaded || handle < 0) return;
  float s, t;
  gr_glide_set_texture(flag ? 1 : 0, handle, 0, &s, &t, 1);
}

void gr_glide_batch_2d(bool on) { Batching = on; }

void gr_glide_bitmap(int handle, int x, int y, int w, int h, int sx, int sy, int sw, int sh,
                     RenderStateWord state) {
  if (!Loaded || drawing_stopped() || w <= 0 || h <= 0) return;
  // Point-sampled draws at the bitmap's own size come from its page, so a
  // run of them keeps one texture selected and the library can send them
  // together; each pixel samples the texel the bitmap's own texture gives.
  int px = 0, py = 0;
  const bool paged = Batching && handle >= 0 && w == sw && h == sh && state.texture_mode() == 3;
  if (paged && gr_glide_page_bind(handle, &px, &py)) {
    gr_glide_set_render_state(state);
    const Color& c = gr_screen.current_color;
    const float x0 = static_cast<float>(gr_screen.offset_x + x), y0 = static_cast<float>(gr_screen.offset_y + y);
    const float x1 = x0 + static_cast<float>(w), y1 = y0 + static_cast<float>(h);
    const float s0 = static_cast<float>(px + sx), s1 = static_cast<float>(px + sx + sw);
    const float t0 = static_cast<float>(py + sy), t1 = static_cast<float>(py + sy + sh);
    const float pos[4][2] = {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
    const float st[4][2] = {{s0, t0}, {s1, t0}, {s1, t1}, {s0, t1}};
    for (int i = 0; i < 4; i++) {
      GlideVertex& v = Verts[i];
      v = GlideVertex{};
      v.r = c.red, v.g = c.green, v.b = c.blue, v.a = c.alpha;
      tint(v);
      v.oow = 1.0f;
      v.tmu[0].oow = v.tmu[1].oow = 1.0f;
      v.x = pos[i][0];
      v.y = pos[i][1];
      v.tmu[0].sow = st[i][0];
      v.tmu[0].tow = st[i][1];
    }
    draw_polygon(4);
    return;
  }
  gr_glide_set_state_and_texture(state, handle);
  const Color& c = gr_screen.current_color;
  for (int i = 0; i < 4; i++) {
    GlideVertex& v = Verts[i];
    v = GlideVertex{};
    v.r = c.red, v.g = c.green, v.b = c.blue, v.a = c.alpha;
    tint(v);
    v.oow = 1.0f;
    v.tmu[0].oow = v.tmu[1].oow = 1.0f;
  }
  auto quad = [](float x0, float y0, float x1, float y1, float s0, float t0, float s1, float t1) {
    const float pos[4][2] = {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
    const float st[4][2] = {{s0, t0}, {s1, t0}, {s1, t1}, {s0, t1}};
    for (int i = 0; i < 4; i++) {
      Verts[i].x = pos[i][0];
      Verts[i].y = pos[i][1];
      Verts[i].tmu[0].sow = st[i][0];
      Verts[i].tmu[0].tow = st[i][1];
    }
    draw_polygon(4);
  };
  const float dx = static_cast<float>(gr_screen.offset_x + x), dy = static_cast<float>(gr_screen.offset_y + y);
  const int sections = handle >= 0 && state.texture_mode() != 0 ? gr_glide_section_count(handle) : 1;
  if (sections <= 1) {
    int bw = 1, bh = 1;
    if (handle >= 0) bm_get_size(handle, &bw, &bh);
    bw = std::max(bw, 1);
    bh = std::max(bh, 1);
    quad(dx, dy, dx + w, dy + h, sx * S_scale / bw, sy * T_scale / bh, (sx + sw) * S_scale / bw,
         (sy + sh) * T_scale / bh);
    return;
  }
  if (sw <= 0 || sh <= 0) return;
  const float fx = static_cast<float>(w) / sw, fy = static_cast<float>(h) / sh;
  const float e = (w == sw && h == sh) ? 0.0f : 0.25f;
  for (int i = 0; i < sections; i++) {
    int rx, ry, rw, rh;
    gr_glide_section_rect(handle, i, &rx, &ry, &rw, &rh);
    // Each section draws only the part of the source rectangle it holds, so
    // nothing lands outside the destination.
    const int l = std::max(sx, rx), t = std::max(sy, ry);
    const int r = std::min(sx + sw, rx + rw), b = std::min(sy + sh, ry + rh);
    if (r <= l || b <= t || rw < 1 || rh < 1) continue;
    float ss, ts;
    if (!gr_glide_set_texture(0, handle, i, &ss, &ts, 1)) continue;
    const float ks = ss / static_cast<float>(rw), kt = ts / static_cast<float>(rh);
    quad(dx + (l - sx) * fx, dy + (t - sy) * fy, dx + (r - sx) * fx, dy + (b - sy) * fy, (l - rx) * ks + e,
         (t - ry) * kt + e, (r - rx) * ks - e, (b - ry) * kt - e);
  }
}

void gr_glide_line(float x1, float y1, float x2, float y2, RenderStateWord state) {
  if (!Loaded || drawing_stopped()) return;
  gr_glide_set_render_state(state);
  float ax = static_cast<float>(static_cast<int>(x1) + gr_screen.offset_x);
  float bx = static_cast<float>(static_cast<int>(x2) + gr_screen.offset_x);
  float ay = static_cast<float>(static_cast<int>(y1) + gr_screen.offset_y);
  float by = static_cast<float>(static_cast<int>(y2) + gr_screen.offset_y);
  if (bx <= ax) bx += 0.5f, ax += 1.0f;
  else ax += 0.5f, bx += 1.0f;
  if (by <= ay) by += 0.5f, ay += 1.0f;
  else ay += 0.5f, by += 1.0f;
  GlideVertex a{}, b{};
  vertex_color(a, nullptr);
  vertex_color(b, nullptr);
  a.x = ax, a.y = ay, b.x = bx, b.y = by;
  a.oow = b.oow = 1.0f;
  Glide_api.grDrawLine(&a, &b);
}

void gr_glide_line3d(const GrVertex* p, const GrVertex* q, RenderStateWord state) {
  if (!Loaded || drawing_stopped() || !p || !q) return;
  gr_glide_set_render_state(state);
  GlideVertex a{}, b{};
  vertex_color(a, nullptr);
  vertex_color(b, nullptr);
  a.x = p->sx + GR_GLIDE_SNAP_BIAS, a.y = p->sy + GR_GLIDE_SNAP_BIAS, a.oow = p->ooz;
  b.x = q->sx + GR_GLIDE_SNAP_BIAS, b.y = q->sy + GR_GLIDE_SNAP_BIAS, b.oow = q->ooz;
  Glide_api.grDrawLine(&a, &b);
}

void gr_glide_tmapper(int count, GrVertex** verts, RenderStateWord state) {
  if (!Loaded || drawing_stopped() || count < 3 || !verts) return;
  gr_glide_set_state_and_texture(state, gr_screen.current_bitmap);
  auto fill = [](int slot, const GrVertex* v) {
    GlideVertex& g = Verts[slot];
    g = GlideVertex{};
    vertex_color(g, v);
    g.x = v->sx + GR_GLIDE_SNAP_BIAS;
    g.y = v->sy + GR_GLIDE_SNAP_BIAS;
    g.oow = v->ooz;
    g.tmu[0].oow = g.tmu[1].oow = v->ooz;
    if (v->flags & GR_VERTEX_UV) {
      g.tmu[0].sow = g.oow * v->u * S_scale;
      g.tmu[0].tow = g.oow * v->v * T_scale;
    }
  };
  // The array holds MAX_VERTS vertices; a larger convex polygon goes as a
  // fan of pieces sharing its first vertex.
  int next = 1;
  while (next + 1 < count) {
    int n = 1;
    fill(0, verts[0]);
    while (n < MAX_VERTS && next < count) fill(n++, verts[next++]);
    draw_polygon(n);
    if (next < count) next--;
  }
}

namespace {
// One pass of a layered polygon into the vertex array (at most MAX_VERTS
// vertices, from first on).
void multipass_pieces(int count, GrLayeredVertex** verts, int pass_count, const GrLayer* passes) {
  for (int i = 0; i < count; i++) {
    const GrVertex* v = verts[i]->vertex;
    GlideVertex& g = Verts[i];
    g = GlideVertex{};
    g.x = v->sx + GR_GLIDE_SNAP_BIAS;
    g.y = v->sy + GR_GLIDE_SNAP_BIAS;
    g.oow = v->ooz;
    g.tmu[0].oow = g.tmu[1].oow = v->ooz;
  }
  for (int p = 0; p < pass_count; p++) {
    const GrLayer& pass = passes[p];
    const bool paired = pass.state.texture_mode() >= 4 && p + 1 < pass_count;
    const int partner = paired ? p + 1 : -1;
    for (int i = 0; i < count; i++) {
      const GrLayerVertexData& d = verts[i]->layer[p];
      GlideVertex& g = Verts[i];
      g.a = pass.use_vertex_alpha ? d.a : pass.a;
      if (pass.use_vertex_rgb) {
        g.r = Gr_gamma_lookup_float[d.r];
        g.g = Gr_gamma_lookup_float[d.g];
        g.b = Gr_gamma_lookup_float[d.b];
      } else {
        g.r = pass.r, g.g = pass.g, g.b = pass.b;
      }
    }
    int bw = 0, bh = 0;
    if (pass.bitmap >= 0) bm_get_size(pass.bitmap, &bw, &bh);
    if (pass.bitmap < 0 || !pass.use_layer_uv) {
      gr_glide_set_render_state(pass.state);
    } else if (bw <= 256 && bh <= 256) {
      gr_glide_set_render_state(pass.state);
      gr_glide_set_texture(0, pass.bitmap, 0, &S_scale, &T_scale, 1);
      for (int i = 0; i < count; i++) {
        Verts[i].tmu[0].sow = verts[i]->layer[p].u * Verts[i].oow * S_scale;
        Verts[i].tmu[0].tow = verts[i]->layer[p].v * Verts[i].oow * T_scale;
      }
      if (partner >= 0 && passes[partner].bitmap >= 0) {
        gr_glide_set_texture(1, passes[partner].bitmap, 0, &S_scale2, &T_scale2, 1);
        for (int i = 0; i < count; i++) {
          Verts[i].tmu[1].sow = verts[i]->layer[partner].u * Verts[i].oow * S_scale2;
          Verts[i].tmu[1].tow = verts[i]->layer[partner].v * Verts[i].oow * T_scale2;
        }
      }
    } else {
      RenderStateWord st = pass.state;
      if (st.texture_mode() == 1)
        st = RenderStateWord(2, st.field(1), st.field(2), st.field(3), st.field(4), st.field(5));
      gr_glide_set_render_state(st);
      float uo, vo, uf, vf;
      int tw = bw, th = bh;
      const int section = gr_tile_for_polygon(count, verts, p, &tw, &th, &uo, &vo, &uf, &vf);
      gr_glide_set_texture(0, pass.bitmap, section, &S_scale, &T_scale, 1);
      // (u - offset) x bitmap width is the texel within the tile; the card
      // spans its 0..256 over the larger side of the section's texture, so
      // a narrow last section has more card units per texel than a full one.
      int rx, ry, rw, rh;
      gr_glide_section_rect(pass.bitmap, section, &rx, &ry, &rw, &rh);
      const float ks = rw > 0 ? S_scale / static_cast<float>(rw) : 0.0f;
      const float kt = rh > 0 ? T_scale / static_cast<float>(rh) : 0.0f;
      for (int i = 0; i < count; i++) {
        Verts[i].tmu[0].sow = (verts[i]->layer[p].u - uo) * static_cast<float>(bw) * ks * Verts[i].oow;
        Verts[i].tmu[0].tow = (verts[i]->layer[p].v - vo) * static_cast<float>(bh) * kt * Verts[i].oow;
      }
    }
    draw_polygon(count);
    if (paired) p++;
  }
}
}  // namespace

void gr_glide_poly_multipass(int count, GrLayeredVertex** verts, int pass_count, const GrLayer* passes) {
  if (!Loaded || drawing_stopped() || count < 3 || !verts || pass_count < 1 || !passes) return;
  if (pass_count > GR_MAX_LAYERS) pass_count = GR_MAX_LAYERS;
  if (count <= MAX_VERTS) {
    multipass_pieces(count, verts, pass_count, passes);
    return;
  }
  // More vertices than the array holds: fans of pieces sharing the first.
  GrLayeredVertex* fan[MAX_VERTS];
  int next = 1;
  while (next + 1 < count) {
    int n = 1;
    fan[0] = verts[0];
    while (n < MAX_VERTS && next < count) fan[n++] = verts[next++];
    multipass_pieces(n, fan, pass_count, passes);
    if (next < count) next--;
  }
}

void gr_glide_fog_set(bool rebuild) {
  if (!Loaded || drawing_stopped()) return;
  Last_state.invalidate();
  if (!gr_screen.fog_on) return;
  if (rebuild) {
    const float zoom = gr_3d_zoom_scale(1.0f);
    const float n = gr_screen.fog_near * zoom, f = gr_screen.fog_far * zoom;
    if (n != Fog_near || f != Fog_far) {
      Fog_near = n;
      Fog_far = f;
      Glide_api.guFogGenerateLinear(Fog_table, n, f);
    }
  }
  Glide_api.grFogTable(Fog_table);
  Glide_api.grFogColorValue(gr_screen.fog_color.red | (gr_screen.fog_color.green << 8) |
                            (gr_screen.fog_color.blue << 16));
}

int gr_glide_read_screen(int x, int y, int w, int h, void* dest) {
  if (!Loaded || w < 1 || h < 1 || !dest) return 0;
  Glide_api.grLfbReadRegion(GLIDE_BUFFER_BACKBUFFER, x, y, w, h, static_cast<uint32_t>(w) * 2, dest);
  return 3;
}

void gr_glide_finish() {
  if (Loaded) Glide_api.grSstIdle();
}

int gr_glide_get_video_memory() { return Fb_mb; }

void gr_glide_set_alpha_test(bool on) {
  if (Loaded) Glide_api.grAlphaTestFunction(on ? GLIDE_CMP_GREATER : GLIDE_CMP_ALWAYS);
}
