#pragma once
// The graphics front end: the one drawing interface of the program. Every
// operation that reaches the hardware switches on the renderer number kept in
// the screen record and calls the matching operation of the Direct3D, Glide or
// OpenGL renderer; there is deliberately no table of function pointers.
#include <cstdint>

// Renderer numbers.
#define GR_DIRECT3D 102
#define GR_GLIDE 103
#define GR_OPENGL 104
// Not a renderer of the game: routes every renderer operation to the
// recording renderer that unit tests install (gr_recorder.h).
#define GR_RECORDER 190

// Window modes.
#define GR_WINDOWED 200
#define GR_FULLSCREEN 201
#define GR_WINDOW_AS_IS 202

// The game window: the window layer's X window id (window_get_xid in
// quarn/platform/window.h), 0 for none.
using GrWindow = unsigned long;

struct Color {
  uint8_t red = 0, green = 0, blue = 0, alpha = 0;
  Color() = default;
  Color(int r, int g, int b, int a) { set(r, g, b, a); }
  void set(int r, int g, int b, int a) {
    red = static_cast<uint8_t>(r);
    green = static_cast<uint8_t>(g);
    blue = static_cast<uint8_t>(b);
    alpha = static_cast<uint8_t>(a);
  }
  bool operator==(const Color&) const = default;
};

// Six 5-bit fields in one word, field 0 in the low bits:
// 0 texture mode, 1 colour source, 2 alpha source, 3 blend mode,
// 4 depth mode, 5 fog mode.
struct RenderStateWord {
  enum Field { TEXTURE = 0, COLOR_SOURCE, ALPHA_SOURCE, BLEND, DEPTH, FOG };
  // All ones matches no real state: the renderers' "nothing applied yet".
  static constexpr uint32_t INVALID = 0xFFFFFFFFu;

  uint32_t bits = INVALID;

  constexpr RenderStateWord() = default;
  constexpr RenderStateWord(int f0, int f1, int f2, int f3, int f4, int f5)
      : bits(pack(f0, 0) | pack(f1, 1) | pack(f2, 2) | pack(f3, 3) | pack(f4, 4) | pack(f5, 5)) {}
  static constexpr RenderStateWord from_bits(uint32_t b) {
    RenderStateWord w;
    w.bits = b;
    return w;
  }
  constexpr int field(int i) const { return static_cast<int>((bits >> (5 * i)) & 31u); }
  constexpr int texture_mode() const { return field(TEXTURE); }
  constexpr int color_source() const { return field(COLOR_SOURCE); }
  constexpr int alpha_source() const { return field(ALPHA_SOURCE); }
  constexpr int blend_mode() const { return field(BLEND); }
  constexpr int depth_mode() const { return field(DEPTH); }
  constexpr int fog_mode() const { return field(FOG); }
  void invalidate() { bits = INVALID; }
  constexpr bool operator==(const RenderStateWord&) const = default;

 private:
  static constexpr uint32_t pack(int v, int i) { return (static_cast<uint32_t>(v) & 31u) << (5 * i); }
};

// The 30 preset words, indexed by preset number 1..30 (entry 0 is unused).
// Preset 1 is the usual 2D bitmap state, 4 the filtered one, 7 the one of
// filled rectangles and of the fade.
#define GR_NUM_PRESETS 30
extern const RenderStateWord Gr_preset[GR_NUM_PRESETS + 1];

// Vertex attribute flags (GrVertex::flags): a vertex without a flag takes the
// current value.
#define GR_VERTEX_UV 1
#define GR_VERTEX_UV2 2
#define GR_VERTEX_RGB 4
#define GR_VERTEX_ALPHA 8

// The vertex of every polygon that reaches a renderer (48 bytes).
struct GrVertex {
  float x = 0, y = 0, z = 0;  // view space
  float sx = 0, sy = 0;       // screen pixels, clip offset included
  float ooz = 0;              // 1/z
  uint8_t codes = 0;          // clip codes
  uint8_t proj_flags = 0;   // PF_* of quarn/gr/gr3d.h
  uint8_t flags = 0;          // GR_VERTEX_*
  uint8_t corner = 0;         // spare byte: corner number for the clipper
  float u = 0, v = 0;
  float u2 = 0, v2 = 0;
  uint8_t r = 0, g = 0, b = 0, a = 0;
};
static_assert(sizeof(GrVertex) == 48, "GrVertex is a 48-byte record");

// The screen record, cleared by gr_init.
struct GrScreen {
  int width, height;
  int renderer;     // GR_DIRECT3D, GR_GLIDE, GR_OPENGL
  int window_mode;  // GR_WINDOWED, GR_FULLSCREEN, GR_WINDOW_AS_IS
  uint8_t dual_head;
  float aspect;     // display width / height times 0.75
  uint32_t d3d_words[2];
  int offset_x, offset_y;  // screen position of the clip rectangle's origin
  int clip_width, clip_height;
  int max_texture_w, max_texture_h;
  int clip_left, clip_right, clip_top, clip_bottom;  // relative to the offset
  Color current_color;
  int current_bitmap, current_bitmap_extra;  // -1 when none
  uint8_t fog_on;
  Color fog_color;
  float fog_near, fog_far;
  // Derived fog values (gr_fog_set).
  float fog_alpha_near, fog_alpha_far, fog_alpha_scale;
  float fog_start, fog_end, fog_scale;
  float fog_alpha2_far, fog_alpha2_near;
  uint8_t tint_on;
  float tint_r, tint_g, tint_b;
  uint8_t vsync;
  int poly_word;  // read by the 3D polygon code; 0 after gr_init
};
extern GrScreen gr_screen;

// Gamma tables that the renderers read.
extern float Gr_gamma;
extern int Gr_gamma_int;
extern int Gr_gamma_lookup[256];
extern float Gr_gamma_lookup_float[256];

// Console variables.
extern float Gr_level_fog_multiplier;  // level_fog
extern float Gr_alpha_fog_ratio;       // alpha_fog
extern bool Gr_show_stats;             // gr_show_stats

// Renderer statistics: counted during the frame by the drawing code, shown
// and reset every frame by the statistics overlay (Gr_show_stats).
struct GrStats {
  int total;
  int rotate;   // point rotation
  int cull;     // back-face and frustum culling
  int sort;     // face sorting
  int light;    // smooth vertex lighting
  int draw;     // polygon drawing
  int other;    // everything else
};
extern GrStats Gr_stats;

// One layer of a layered polygon.
struct GrLayer {
  RenderStateWord state;
  int bitmap;
  uint8_t use_layer_uv;
  uint8_t use_vertex_rgb;
  uint8_t use_vertex_alpha;
  uint8_t r, g, b, a;  // constant colour when the vertex one is not used
};
// The per-layer values of a layered vertex.
struct GrLayerVertexData {
  float u, v;
  uint8_t r, g, b, a;
};
#define GR_MAX_LAYERS 4
struct GrLayeredVertex {
  GrVertex* vertex;
  GrLayerVertexData layer[GR_MAX_LAYERS];
};

// Whether this build can start the renderer (Direct3D and Glide answer no
// until their layers exist).
bool gr_renderer_available(int renderer);

// Opens the screen and starts the renderer. An invalid window mode or a
// renderer that cannot start is fatal.
void gr_init(int width, int height, int renderer, int window_mode, GrWindow window, bool vsync);
bool gr_is_initialised();
// Closes the renderer, then the fonts.
void gr_close();
void gr_shutdown();  // the same as gr_close

void gr_flip();
void gr_clear();
void gr_set_clip(int x, int y, int w, int h);
void gr_reset_clip();
void gr_get_clip(int* x, int* y, int* w, int* h);
void gr_set_color(int r, int g, int b, int a);
void gr_set_color_rec(const Color& c);
void gr_set_alpha(int a);
void gr_set_bitmap(int handle, int extra = -1);

void gr_bitmap(int handle, int x, int y, RenderStateWord state);
void gr_bitmap_ex(int handle, int x, int y, int w, int h, int sx, int sy, RenderStateWord state);
void gr_bitmap_scaled(int handle, int x, int y, int w, int h, int sx, int sy, int sw, int sh,
                      RenderStateWord state);
void gr_bitmap_rotated(int handle, float x, float y, float scale, float angle, RenderStateWord state);
void gr_line(float x1, float y1, float x2, float y2, RenderStateWord state);
void gr_circle(int x, int y, int radius, RenderStateWord state);
void gr_rect(int x, int y, int w, int h, RenderStateWord state, float ooz = 1.0f);
void gr_draw_polygon(int count, GrVertex** verts, RenderStateWord state);
void gr_draw_polygon_layers(int count, GrLayeredVertex** verts, int layer_count, const GrLayer* layers);

void gr_preload(int handle, int flag);
void gr_texture_mark_dirty(int handle);
void gr_texture_release(int handle);
void gr_flush_textures();
// Small unscaled bitmaps come from shared texture pages, and runs of them go
// out as one draw call (on by default). Off, every 2D draw goes by itself
// from the bitmap's own texture: tests and benches compare the two.
void gr_batch_2d(bool on);
void gr_zbuffer_clear(bool on);
bool gr_zbuffer_is_on();
void gr_fog_set(bool on, int r, int g, int b, float near_dist, float far_dist);
void gr_set_tint(bool on, float r, float g, float b);
// A colour under the screen's tint: the sum of its channels times each tint
// factor, clamped to a byte; unchanged while the tint is off.
void gr_apply_tint(int& r, int& g, int& b);
void gr_set_gamma(float gamma);
// Copies a back-buffer rectangle into the buffer and returns its pixel
// format (3 for 5-6-5, 6 for 24-bit blue, green, red), 0 when nothing was read.
int gr_read_screen(int x, int y, int w, int h, void* buffer);
// Writes the screen (the clip rectangle) to "<name>.tga" (format 0) or
// "<name>.jpg" (format 1) in the path type; true when a file was written.
bool gr_save_screen(const char* name, int format, int path_type);
bool gr_render_state_supported(RenderStateWord state);
int gr_get_video_memory();
void gr_set_antialiasing(bool on);
bool gr_antialiasing_supported();
void gr_set_alpha_test(bool on);
void gr_set_window(GrWindow window);
void gr_show_desktop();
void gr_finish();
void gr_set_vsync(bool on);
int gr_screen_width();
int gr_screen_height();
float gr_get_aspect();
void gr_set_aspect(float aspect);
float gr_get_fade_level();
void gr_fade_in(int ms);
void gr_fade_out(int ms);
float gr_tint_brightness(float r, float g, float b);
