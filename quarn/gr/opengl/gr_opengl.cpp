// The OpenGL renderer: render-state mapping, a texture cache of one texture
// per bitmap slot, and 2D/3D drawing with client-side vertex arrays. The
// context is made with GLX on the window layer's window, from the main
// thread's own display connection.
#include "quarn/gr/opengl/gr_opengl.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <GL/gl.h>
#include <GL/glu.h>
#include <GL/glx.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include "quarn/bmpman/bmpman.h"
#include "quarn/gr/gr3d.h"
#include "quarn/gr/gr_tpage.h"
#include "quarn/os/error.h"
#include "quarn/platform/message_box.h"
#include "quarn/platform/window.h"

// Enumerants of the multitexture extension (OpenGL 1.1 headers need not
// carry them).
#define QGL_TEXTURE0_ARB 0x84C0
#define QGL_MAX_TEXTURE_UNITS_ARB 0x84E2

GrGlSelectTexture Gl_active_texture_arb = nullptr;
GrGlSelectTexture Gl_client_active_texture_arb = nullptr;

namespace {

struct TextureSlot {
  int name = -1;
  float u_scale = 1.0f, v_scale = 1.0f;
  int handle = -1;  // -1: no texture
  int size = 0;     // texels times two
  int used = 0;     // binds in the current frame
  uint8_t dirty = 0;
};

Display* Dpy = nullptr;
Window Win = 0;
GLXContext Ctx = nullptr;
bool Inited = false;
RenderStateWord Last_state;
int Unit0_mode = -1;  // texture mode of the state last applied
float Cur_u_scale = 1.0f, Cur_v_scale = 1.0f;
bool White_color = false;
bool Opaque_alpha = false;

std::vector<TextureSlot> Slots;
int Bound[2] = {-1, -1};
int Vram_in_use = 0;
int Uploaded_this_frame = 0;
int Max_texture_size = 256;
std::vector<uint8_t> Convert_buffer;

// Client arrays of the 2D and polygon paths.
float Tex_coords[GR_OPENGL_MAX_VERTS][4];
float Positions[GR_OPENGL_MAX_VERTS][3];
uint8_t Colors[GR_OPENGL_MAX_VERTS][4];

// The 2D batch: consecutive 2D draws under one render state and one bound
// texture (glyphs of a string, a bitmap drawn many times, plain rectangles)
// collect here as triangles and go to GL as one draw call. It is sent before
// anything changes GL state or draws otherwise, so the order of drawing is
// never changed: every public entry that sets state or binds a texture sends
// it, and the 2D paths send it themselves when their state or texture differs.
constexpr int BATCH_MAX_VERTS = 6 * 2048;
float Batch_tex[BATCH_MAX_VERTS][4];
float Batch_pos[BATCH_MAX_VERTS][3];
uint8_t Batch_colors[BATCH_MAX_VERTS][4];
int Batch_count = 0;
bool Batching = true;

void batch_flush() {
  if (Batch_count == 0) return;
  if (Gl_active_texture_arb) Gl_active_texture_arb(QGL_TEXTURE0_ARB);
  if (Gl_client_active_texture_arb) Gl_client_active_texture_arb(QGL_TEXTURE0_ARB);
  glTexCoordPointer(4, GL_FLOAT, 0, Batch_tex);
  glVertexPointer(3, GL_FLOAT, 0, Batch_pos);
  glColorPointer(4, GL_UNSIGNED_BYTE, 0, Batch_colors);
  glDrawArrays(GL_TRIANGLES, 0, Batch_count);
  Batch_count = 0;
}

// Adds the convex polygon held in the first n entries of the client arrays
// as a fan of triangles, each edge followed by the first vertex: the way
// Mesa splits a polygon, so the pixels are those of drawing it as one.
void batch_polygon(int n) {
  if (Batch_count + 3 * (n - 2) > BATCH_MAX_VERTS) batch_flush();
  for (int i = 1; i + 1 < n; i++) {
    for (int k : {i, i + 1, 0}) {
      std::memcpy(Batch_tex[Batch_count], Tex_coords[k], sizeof Tex_coords[k]);
      std::memcpy(Batch_pos[Batch_count], Positions[k], sizeof Positions[k]);
      std::memcpy(Batch_colors[Batch_count], Colors[k], sizeof Colors[k]);
      Batch_count++;
    }
  }
}

// Small bitmaps drawn unscaled in 2D come from shared pages, so a run of them
// is one batch: the batch only breaks where the page (or the state) changes.
constexpr int PAGE_SIDE = 1024;
constexpr int MAX_PAGES = 8;
struct PageSlot {
  int handle = -1;  // -1: not in a page
  GrPagePlace place;
  int w = 0, h = 0;
  uint8_t dirty = 0;
};
std::vector<PageSlot> Page_slots;
std::vector<GLuint> Page_names;
GrPagePacker Packer;
int Bound_page = -1;  // the page bound on unit 0
int Next_name = 1;

// Empties the pages; their texture objects go too when a context holds them.
void pages_clear(bool delete_textures) {
  batch_flush();
  if (delete_textures && !Page_names.empty())
    glDeleteTextures(static_cast<GLsizei>(Page_names.size()), Page_names.data());
  Page_names.clear();
  Page_slots.assign(MAX_BITMAPS, PageSlot());
  Packer.reset(PAGE_SIDE, MAX_PAGES);
  Bound_page = -1;
}

void select_unit(int unit) {
  if (Gl_active_texture_arb) Gl_active_texture_arb(QGL_TEXTURE0_ARB + unit);
  if (Gl_client_active_texture_arb) Gl_client_active_texture_arb(QGL_TEXTURE0_ARB + unit);
}

void forget_handle(int handle) {
  for (int& b : Bound)
    if (b == handle) b = -1;
}

void release_slot(TextureSlot& slot) {
  if (slot.handle < 0 || slot.used > 0) return;
  const GLuint name = static_cast<GLuint>(slot.name);
  glDeleteTextures(1, &name);
  forget_handle(slot.handle);
  Vram_in_use -= slot.size;
  slot.size = 0;
  slot.handle = -1;
}

uint8_t clamp_byte(float v) {
  if (v <= 0.0f) return 0;
  if (v >= 255.0f) return 255;
  return static_cast<uint8_t>(v);
}

void tint(uint8_t* rgb) {
  if (!gr_screen.tint_on) return;
  int r = rgb[0], g = rgb[1], b = rgb[2];
  gr_apply_tint(r, g, b);
  rgb[0] = static_cast<uint8_t>(r), rgb[1] = static_cast<uint8_t>(g), rgb[2] = static_cast<uint8_t>(b);
}

void upload(int handle, TextureSlot& slot, bool replace) {
  if (slot.used > 0) glFinish();
  if (!replace) release_slot(slot);

  int w = 0, h = 0, levels = 1;
  bm_get_info(handle, &w, &h, nullptr, &levels);
  uint8_t* data = nullptr;
  uint8_t* palette = nullptr;
  const int format = bm_lock(handle, &data, &palette);
  if (format == 0 || !data) {
    std::printf("Couldn't lock bitmap %d\n", handle);
    if (format != 0) bm_unlock(handle);
    return;
  }
  const int tw = gr_opengl_texture_side(w, Max_texture_size);
  const int th = gr_opengl_texture_side(h, Max_texture_size);
  if (tw < 1 || th < 1 || w < 1 || h < 1) {
    bm_unlock(handle);
    return;
  }
  // A bitmap larger than the largest texture is sampled down to fill it.
  const int used_w = std::min(w, tw), used_h = std::min(h, th);
  slot.u_scale = static_cast<float>(used_w) / static_cast<float>(tw);
  slot.v_scale = static_cast<float>(used_h) / static_cast<float>(th);

  Convert_buffer.resize(static_cast<size_t>(tw) * th * 4);
  gr_opengl_convert(format, data, palette, w, h, Convert_buffer.data(), tw, th);

  if (!replace) {
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER,
                    levels > 1 ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, tw, th, 0, GL_RGBA, GL_UNSIGNED_BYTE, Convert_buffer.data());
  } else {
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, tw, th, GL_RGBA, GL_UNSIGNED_BYTE, Convert_buffer.data());
  }

  if (levels > 1) {
    gluBuild2DMipmaps(GL_TEXTURE_2D, 4, tw, th, GL_RGBA, GL_UNSIGNED_BYTE, Convert_buffer.data());
    const int bpp = bm_bytes_per_pixel(format);
    const uint8_t* level = data;
    int lw = w, lh = h;
    for (int i = 1; i < levels; i++) {
      level += static_cast<size_t>(bpp) * lw * lh;
      lw /= 2;
      lh /= 2;
      const int ltw = tw >> i, lth = th >> i;
      if (lw < 1 || lh < 1 || ltw < 1 || lth < 1) break;
      gr_opengl_convert(format, level, palette, lw, lh, Convert_buffer.data(), ltw, lth);
      glTexSubImage2D(GL_TEXTURE_2D, i, 0, 0, ltw, lth, GL_RGBA, GL_UNSIGNED_BYTE, Convert_buffer.data());
    }
  }
  bm_unlock(handle);

  slot.handle = handle;
  slot.size = tw * th * 2;
  Uploaded_this_frame += slot.size;
  if (!replace) Vram_in_use += slot.size;
}

void cache_start() {
  Slots.assign(MAX_BITMAPS, TextureSlot());
  pages_clear(false);
  Bound[0] = Bound[1] = -1;
  Unit0_mode = -1;
  Vram_in_use = 0;
  Uploaded_this_frame = 0;
}

void cache_shutdown() {
  gr_opengl_flush_textures();
  Page_slots.clear();
  Vram_in_use = 0;
  Uploaded_this_frame = 0;
  Slots.clear();
  Convert_buffer.clear();
  Convert_buffer.shrink_to_fit();
}

void apply_projection() {
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  const double left = gr_screen.offset_x + gr_screen.clip_left;
  const double top = gr_screen.offset_y + gr_screen.clip_top;
  glOrtho(left, left + gr_screen.clip_width, top + gr_screen.clip_height, top, -1.0, 1.0);
  glViewport(gr_screen.offset_x + gr_screen.clip_left,
             gr_screen.height - gr_screen.clip_height - gr_screen.offset_y - gr_screen.clip_top,
             gr_screen.clip_width, gr_screen.clip_height);
  glMatrixMode(GL_MODELVIEW);
}

void check_extensions() {
  const char* ext = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
  GLint units = 0;
  if (ext && std::strstr(ext, "GL_ARB_multitexture")) glGetIntegerv(QGL_MAX_TEXTURE_UNITS_ARB, &units);
  if (units < 2) {
    platform_message_box("OpenGl Driver or Card does not support multitexturing\n", "Error");
    std::exit(-1);
  }
  Gl_active_texture_arb = reinterpret_cast<GrGlSelectTexture>(
      glXGetProcAddressARB(reinterpret_cast<const GLubyte*>("glActiveTextureARB")));
  Gl_client_active_texture_arb = reinterpret_cast<GrGlSelectTexture>(
      glXGetProcAddressARB(reinterpret_cast<const GLubyte*>("glClientActiveTextureARB")));

  select_unit(1);
  glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  select_unit(0);
  glEnable(GL_TEXTURE_2D);
  glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
}

}  // namespace

static void apply_render_state(RenderStateWord state);
static void unit0_filters();
static void unit1_filters();
static void apply_state_and_texture(RenderStateWord state, int handle, int unit);
static int bind_texture(int handle, float* u_scale, float* v_scale, int unit);

int gr_opengl_texture_side(int side, int max_size) {
  if (side < 1) return 0;
  int p = 1;
  while (p < side && p < (1 << 30)) p <<= 1;
  if (max_size < 1) max_size = 1;
  return std::min(p, max_size);
}

bool gr_opengl_convert(int format, const uint8_t* pixels, const uint8_t* palette, int w, int h,
                       uint8_t* dest, int tex_w, int tex_h) {
  std::memset(dest, 0, static_cast<size_t>(tex_w) * tex_h * 4);
  if (!pixels || w < 1 || h < 1 || tex_w < 1 || tex_h < 1) return false;
  if (format == BM_FORMAT_PAL8 && !palette) return false;
  const int dw = std::min(w, tex_w), dh = std::min(h, tex_h);
  const int bpp = bm_bytes_per_pixel(format);
  for (int y = 0; y < dh; y++) {
    const int sy = dh == h ? y : static_cast<int>(static_cast<long long>(y) * h / dh);
    const uint8_t* row = pixels + static_cast<size_t>(sy) * w * bpp;
    uint8_t* out = dest + static_cast<size_t>(y) * tex_w * 4;
    for (int x = 0; x < dw; x++, out += 4) {
      const int sx = dw == w ? x : static_cast<int>(static_cast<long long>(x) * w / dw);
      const uint8_t* p = row + static_cast<size_t>(sx) * bpp;
      switch (format) {
        case BM_FORMAT_PAL8: {
          const uint8_t* e = palette + 3 * p[0];
          if (e[0] == 0 && e[1] == 255 && e[2] == 0) break;  // the transparent entry
          out[0] = e[0], out[1] = e[1], out[2] = e[2], out[3] = 255;
          break;
        }
        case BM_FORMAT_ALPHA8:
          out[0] = out[1] = out[2] = 255;
          out[3] = static_cast<uint8_t>(Gr_gamma_lookup[p[0]]);
          break;
        case BM_FORMAT_565: {
          const int v = p[0] | (p[1] << 8);
          out[0] = static_cast<uint8_t>(((v >> 11) & 31) * 255 / 31);
          out[1] = static_cast<uint8_t>(((v >> 5) & 63) * 255 / 63);
          out[2] = static_cast<uint8_t>((v & 31) * 255 / 31);
          out[3] = 255;
          break;
        }
        case BM_FORMAT_4444: {
          const int v = p[0] | (p[1] << 8);
          out[0] = static_cast<uint8_t>(((v >> 8) & 15) * 255 / 15);
          out[1] = static_cast<uint8_t>(((v >> 4) & 15) * 255 / 15);
          out[2] = static_cast<uint8_t>((v & 15) * 255 / 15);
          out[3] = static_cast<uint8_t>(((v >> 12) & 15) * 255 / 15);
          break;
        }
        case BM_FORMAT_1555: {
          const int v = p[0] | (p[1] << 8);
          out[0] = static_cast<uint8_t>(((v >> 10) & 31) * 255 / 31);
          out[1] = static_cast<uint8_t>(((v >> 5) & 31) * 255 / 31);
          out[2] = static_cast<uint8_t>((v & 31) * 255 / 31);
          out[3] = (v & 0x8000) ? 0 : 255;
          break;
        }
        case BM_FORMAT_BGR24:
          if (p[0] == 0 && p[1] == 255 && p[2] == 0) break;  // pure green: transparent
          out[0] = p[2], out[1] = p[1], out[2] = p[0], out[3] = 255;
          break;
        case BM_FORMAT_BGRA32:
          out[0] = p[2], out[1] = p[1], out[2] = p[0], out[3] = p[3];
          break;
        default:
          return false;
      }
    }
  }
  return true;
}

bool gr_opengl_init(GrWindow window) {
  switch (gr_screen.window_mode) {
    case GR_WINDOWED: break;
    case GR_FULLSCREEN:
      critical_error(__FILE__, __LINE__, "OpenGl can only be used in windowed modes for now.\n");
    case GR_WINDOW_AS_IS: return true;
    default: critical_error(__FILE__, __LINE__, "Invalid window_mode passed to gr_direct3d_init\n");
  }
  if (!window || !window_main_display()) return false;
  gr_opengl_set_window(window);
  return true;
}

void gr_opengl_set_window(GrWindow window) {
  batch_flush();
  Last_state.invalidate();
  if (Inited) {
    float u, v;
    gr_opengl_set_texture(-1, &u, &v, 0);
    gr_opengl_set_texture(-1, &u, &v, 1);
  }
  Display* dpy = window_main_display();
  if (!dpy || !window) return;
  if (Ctx) glXMakeCurrent(Dpy, 0, nullptr);
  Dpy = dpy;
  Win = static_cast<Window>(window);

  // The window's visual is fixed at creation; it is the pixel format.
  XVisualInfo tmpl;
  std::memset(&tmpl, 0, sizeof(tmpl));
  tmpl.visualid = window_get_visual_id();
  tmpl.screen = window_get_screen();
  int n = 0;
  XVisualInfo* vi = XGetVisualInfo(Dpy, VisualIDMask | VisualScreenMask, &tmpl, &n);
  int use_gl = 0, rgba = 0, dbl = 0, depth = 0;
  if (vi) {
    glXGetConfig(Dpy, vi, GLX_USE_GL, &use_gl);
    glXGetConfig(Dpy, vi, GLX_RGBA, &rgba);
    glXGetConfig(Dpy, vi, GLX_DOUBLEBUFFER, &dbl);
    glXGetConfig(Dpy, vi, GLX_DEPTH_SIZE, &depth);
  }
  if (!vi || !use_gl || !rgba || !dbl || depth < 16) {
    if (vi) XFree(vi);
    critical_error(__FILE__, __LINE__,
                   "OpenGL: the window has no pixel format with RGBA colour, double buffering "
                   "and a depth buffer of at least 16 bits.\n");
  }
  if (!Ctx) Ctx = glXCreateContext(Dpy, vi, nullptr, True);
  XFree(vi);
  if (!Ctx || !glXMakeCurrent(Dpy, Win, Ctx))
    critical_error(__FILE__, __LINE__, "OpenGL: cannot create or select the rendering context.\n");

  apply_projection();
  glLoadIdentity();

  glAlphaFunc(GL_GREATER, 0.0f);
  glEnable(GL_ALPHA_TEST);
  glEnable(GL_BLEND);
  glDisable(GL_DITHER);
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_COLOR_ARRAY);
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  glCullFace(GL_FRONT);
  glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);

  if (!Inited) {
    check_extensions();
    GLint max_size = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &max_size);
    Max_texture_size = max_size > 0 ? max_size : 256;
    gr_screen.max_texture_w = gr_screen.max_texture_h = Max_texture_size;
    Inited = true;
    cache_start();
  }
}

void gr_opengl_close() {
  Batch_count = 0;
  if (Inited) cache_shutdown();
  if (Ctx) {
    glXMakeCurrent(Dpy, 0, nullptr);
    glXDestroyContext(Dpy, Ctx);
  }
  Ctx = nullptr;
  Dpy = nullptr;
  Win = 0;
  Inited = false;
  Last_state.invalidate();
  Gl_active_texture_arb = Gl_client_active_texture_arb = nullptr;
}

void gr_opengl_flip() {
  batch_flush();
  if (Dpy && Win) glXSwapBuffers(Dpy, Win);
  if (Inited) {
    Uploaded_this_frame = 0;
    Bound[0] = Bound[1] = -1;
    Bound_page = -1;
    for (auto& s : Slots) s.used = 0;
  }
}

void gr_opengl_clear() {
  if (!Inited) return;
  gr_opengl_set_render_state(RenderStateWord(0, 0, 0, 0, 0, 0));
  glColor4ub(0, 0, 0, 255);
  glDisable(GL_BLEND);
  const int x = gr_screen.offset_x, y = gr_screen.offset_y;
  glRecti(x + gr_screen.clip_left, y + gr_screen.clip_top, x + gr_screen.clip_right + 1,
          y + gr_screen.clip_bottom + 1);
  glEnable(GL_BLEND);
}

void gr_opengl_clear_depth() {
  if (!Inited) return;
  gr_opengl_set_render_state(RenderStateWord(0, 0, 0, 0, 4, 0));
  glClearDepth(1.0);
  glDepthRange(0.0, 1.0);
  glClear(GL_DEPTH_BUFFER_BIT);
}

void gr_opengl_set_clip() {
  batch_flush();
  if (Inited) apply_projection();
}

void gr_opengl_set_render_state(RenderStateWord state) {
  batch_flush();
  apply_render_state(state);
}

void gr_opengl_flush_2d() { batch_flush(); }

void gr_opengl_batch_2d(bool on) {
  batch_flush();
  Batching = on;
}

// Texture filters belong to the texture object in GL, so a state's wrap and
// filters go to whatever is bound on unit 0 when the state is applied and
// again to each texture bound under it: a texture keeps the filtering its
// state asks for whichever of the two came first. A bitmap with mip levels
// is minified through them.
static void unit0_filters() {
  GLint wrap = GL_REPEAT, filter = GL_LINEAR;
  switch (Unit0_mode) {
    case 1:
    case 4: break;
    case 2: wrap = GL_CLAMP_TO_EDGE; break;
    case 3: wrap = GL_CLAMP_TO_EDGE, filter = GL_NEAREST; break;
    default: return;
  }
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, wrap);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, wrap);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
  int w = 0, h = 0, levels = 1;
  if (Bound[0] >= 0) bm_get_info(Bound[0], &w, &h, nullptr, &levels);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, levels > 1 ? GL_LINEAR_MIPMAP_NEAREST : filter);
}

// What unit 1 is set up with at start reaches each texture bound there
// (lightmaps mostly): clamped and filtered both ways.
static void unit1_filters() {
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
}

static void apply_render_state(RenderStateWord state) {
  if (state == Last_state) return;
  batch_flush();
  Last_state = state;
  const int tmode = state.texture_mode();

  select_unit(1);
  if (tmode < 4) {
    glDisable(GL_TEXTURE_2D);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    select_unit(0);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  } else {
    glEnable(GL_TEXTURE_2D);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    select_unit(0);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
  }
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);

  Unit0_mode = tmode;
  if (tmode == 0) {
    glDisable(GL_TEXTURE_2D);
    Bound[0] = -1;
  } else {
    glEnable(GL_TEXTURE_2D);
    unit0_filters();
  }

  switch (state.blend_mode()) {
    case 0: glBlendFunc(GL_ONE, GL_ZERO); break;
    case 1: glBlendFunc(GL_ONE, GL_ONE); break;
    case 2: glBlendFunc(GL_SRC_ALPHA, GL_ONE); break;
    case 3: glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA); break;
    case 4: glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_COLOR); break;
    case 5: glBlendFunc(GL_DST_COLOR, GL_ZERO); break;
    default: break;
  }

  switch (state.color_source()) {
    case 0:
    case 2: White_color = false; break;
    case 1: White_color = true; break;
    default: break;
  }
  switch (state.alpha_source()) {
    case 1:
    case 2: Opaque_alpha = true; break;
    case 0:
    case 3: Opaque_alpha = false; break;
    default: break;
  }

  switch (state.depth_mode()) {
    case 0:
      glDisable(GL_DEPTH_TEST);
      glDepthMask(GL_FALSE);
      break;
    case 1:
      glEnable(GL_DEPTH_TEST);
      glDepthFunc(GL_LEQUAL);
      glDepthMask(GL_FALSE);
      break;
    case 2:
      glEnable(GL_DEPTH_TEST);
      glDepthFunc(GL_EQUAL);
      glDepthMask(GL_FALSE);
      break;
    case 3:
      glDisable(GL_DEPTH_TEST);
      glDepthMask(GL_TRUE);
      break;
    case 4:
      glEnable(GL_DEPTH_TEST);
      glDepthFunc(GL_LEQUAL);
      glDepthMask(GL_TRUE);
      break;
    default: break;
  }

  if (state.fog_mode() <= 2 && gr_screen.fog_on) glEnable(GL_FOG);
  else glDisable(GL_FOG);
}

void gr_opengl_set_state_and_texture(RenderStateWord state, int handle, int unit) {
  batch_flush();
  apply_state_and_texture(state, handle, unit);
}

static void apply_state_and_texture(RenderStateWord state, int handle, int unit) {
  if (handle >= 0) bind_texture(handle, &Cur_u_scale, &Cur_v_scale, unit);
  apply_render_state(state);
  if (handle >= 0) {
    int w, h, levels = 1;
    bm_get_info(handle, &w, &h, nullptr, &levels);
    if (levels > 1) glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_NEAREST);
  }
}

int gr_opengl_set_texture(int handle, float* u_scale, float* v_scale, int unit) {
  batch_flush();
  return bind_texture(handle, u_scale, v_scale, unit);
}

static int bind_texture(int handle, float* u_scale, float* v_scale, int unit) {
  if (unit < 0 || unit > 1) return 0;
  if (handle < 0 || !Inited) {
    Bound[unit] = -1;
    return 0;
  }
  const int h = bm_get_current_frame(handle);
  if (h < 0 || h >= static_cast<int>(Slots.size())) {
    Bound[unit] = -1;
    return 0;
  }
  TextureSlot& slot = Slots[h];
  if (Bound[unit] == h && slot.handle == h) {
    slot.used++;
    *u_scale = slot.u_scale;
    *v_scale = slot.v_scale;
    return 1;
  }
  batch_flush();
  if (slot.name < 0) slot.name = Next_name++;
  select_unit(unit);
  glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(slot.name));
  if (unit == 0) Bound_page = -1;
  if (slot.handle < 0) {
    glPixelStorei(GL_UNPACK_ALIGNMENT, 2);
    upload(h, slot, false);
    slot.dirty = 0;
  }
  if (slot.dirty) {
    glPixelStorei(GL_UNPACK_ALIGNMENT, 2);
    upload(h, slot, true);
    slot.dirty = 0;
  }
  *u_scale = slot.u_scale;
  *v_scale = slot.v_scale;
  Bound[unit] = h;
  if (unit == 0) unit0_filters();
  else unit1_filters();
  slot.used++;
  Last_state.invalidate();
  select_unit(0);
  return 1;
}

void gr_opengl_preload(int handle, int unit) {
  gr_opengl_set_texture(handle, &Cur_u_scale, &Cur_v_scale, unit);
}

namespace {

// Converts the bitmap into its place in a page. A place filled afresh is
// under no queued quad; one filled again (the bitmap changed) is, and those
// quads must show the picture as it was.
bool page_upload(int index, PageSlot& ps, bool refill) {
  uint8_t* data = nullptr;
  uint8_t* palette = nullptr;
  const int format = bm_lock(index, &data, &palette);
  if (format == 0 || !data) {
    if (format != 0) bm_unlock(index);
    return false;
  }
  Convert_buffer.resize(static_cast<size_t>(ps.w) * ps.h * 4);
  const bool ok = gr_opengl_convert(format, data, palette, ps.w, ps.h, Convert_buffer.data(), ps.w, ps.h);
  bm_unlock(index);
  if (!ok) return false;
  // The queued quads are drawn with the texture bound when they go.
  if (refill || Bound_page != ps.place.page) batch_flush();
  select_unit(0);
  if (Bound_page != ps.place.page) {
    glBindTexture(GL_TEXTURE_2D, Page_names[ps.place.page]);
    Bound_page = ps.place.page;
    Bound[0] = -1;
    Last_state.invalidate();
  }
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  glTexSubImage2D(GL_TEXTURE_2D, 0, ps.place.x, ps.place.y, ps.w, ps.h, GL_RGBA, GL_UNSIGNED_BYTE,
                  Convert_buffer.data());
  Uploaded_this_frame += ps.w * ps.h * 2;
  return true;
}

// Binds the page holding the bitmap (placing it first); null when the
// bitmap does not go in a page.
const PageSlot* page_bind(int handle) {
  const int index = bm_get_current_frame(handle);
  if (index < 0 || index >= static_cast<int>(Page_slots.size())) return nullptr;
  PageSlot& ps = Page_slots[index];
  if (ps.handle != index || ps.dirty) {
    bool refill = ps.handle == index;
    int w = 0, h = 0, levels = 1;
    bm_get_info(index, &w, &h, nullptr, &levels);
    if (levels > 1 || !gr_page_takes(w, h, PAGE_SIDE)) return nullptr;
    if (ps.handle != index || ps.w != w || ps.h != h) {
      GrPagePlace place;
      if (!Packer.place(w, h, &place)) {
        // Every page is full: they are emptied and filled again from here.
        pages_clear(true);
        if (!Packer.place(w, h, &place)) return nullptr;
      }
      PageSlot& fresh = Page_slots[index];
      fresh = PageSlot{index, place, w, h, 0};
      refill = false;
      if (place.page >= static_cast<int>(Page_names.size())) {
        batch_flush();
        const GLuint name = static_cast<GLuint>(Next_name++);
        Page_names.push_back(name);
        select_unit(0);
        glBindTexture(GL_TEXTURE_2D, name);
        std::vector<uint8_t> clear(static_cast<size_t>(PAGE_SIDE) * PAGE_SIDE * 4, 0);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, PAGE_SIDE, PAGE_SIDE, 0, GL_RGBA, GL_UNSIGNED_BYTE, clear.data());
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        Bound_page = place.page;
        Bound[0] = -1;
        Last_state.invalidate();
      }
    }
    PageSlot& slot = Page_slots[index];
    slot.dirty = 0;
    if (!page_upload(index, slot, refill)) {
      slot.handle = -1;
      return nullptr;
    }
  }
  const PageSlot& slot = Page_slots[index];
  if (Bound_page != slot.place.page) {
    batch_flush();
    select_unit(0);
    glBindTexture(GL_TEXTURE_2D, Page_names[slot.place.page]);
    Bound_page = slot.place.page;
    Bound[0] = -1;
    Last_state.invalidate();
  }
  return &slot;
}

}  // namespace

void gr_opengl_bitmap(int handle, int x, int y, int w, int h, int sx, int sy, int sw, int sh,
                      RenderStateWord state) {
  if (w < 1 || h < 1 || !Inited) return;
  // Pages serve point-sampled, clamped draws at the bitmap's own size: every
  // pixel then samples one texel well inside the bitmap, the same texel its
  // own texture gives.
  const PageSlot* page = Batching && w == sw && h == sh && state.texture_mode() == 3 && Max_texture_size >= PAGE_SIDE
                             ? page_bind(handle)
                             : nullptr;
  if (page) apply_render_state(state);
  else apply_state_and_texture(state, handle, 0);
  uint8_t c[4] = {gr_screen.current_color.red, gr_screen.current_color.green,
                  gr_screen.current_color.blue, gr_screen.current_color.alpha};
  if (White_color) c[0] = c[1] = c[2] = 255;
  if (Opaque_alpha) c[3] = 255;
  tint(c);

  int bw = 0, bh = 0;
  bm_get_size(handle, &bw, &bh);
  if (bw < 1) bw = 1;
  if (bh < 1) bh = 1;
  float s0 = static_cast<float>(sx) * Cur_u_scale / static_cast<float>(bw);
  float s1 = static_cast<float>(sx + sw) * Cur_u_scale / static_cast<float>(bw);
  float t0 = static_cast<float>(sy) * Cur_v_scale / static_cast<float>(bh);
  float t1 = static_cast<float>(sy + sh) * Cur_v_scale / static_cast<float>(bh);
  if (page) {
    const float k = 1.0f / static_cast<float>(PAGE_SIDE);
    s0 = static_cast<float>(page->place.x + sx) * k;
    s1 = static_cast<float>(page->place.x + sx + sw) * k;
    t0 = static_cast<float>(page->place.y + sy) * k;
    t1 = static_cast<float>(page->place.y + sy + sh) * k;
  }
  const float x0 = static_cast<float>(gr_screen.offset_x + x);
  const float y0 = static_cast<float>(gr_screen.offset_y + y);
  const float x1 = x0 + static_cast<float>(w), y1 = y0 + static_cast<float>(h);
  const float pos[4][2] = {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
  const float tex[4][2] = {{s0, t0}, {s1, t0}, {s1, t1}, {s0, t1}};
  for (int i = 0; i < 4; i++) {
    Tex_coords[i][0] = tex[i][0];
    Tex_coords[i][1] = tex[i][1];
    Tex_coords[i][2] = 0.0f;
    Tex_coords[i][3] = 1.0f;
    Positions[i][0] = pos[i][0];
    Positions[i][1] = pos[i][1];
    Positions[i][2] = -1.0f;
    std::memcpy(Colors[i], c, 4);
  }
  if (Batching) {
    batch_polygon(4);
    return;
  }
  select_unit(0);
  glTexCoordPointer(4, GL_FLOAT, 0, Tex_coords);
  glVertexPointer(3, GL_FLOAT, 0, Positions);
  glColorPointer(4, GL_UNSIGNED_BYTE, 0, Colors);
  gr_opengl_set_state_and_texture(state, handle, 0);
  glDrawArrays(GL_POLYGON, 0, 4);
}

void gr_opengl_line(float x1, float y1, float x2, float y2, RenderStateWord state) {
  if (!Inited) return;
  gr_opengl_set_state_and_texture(state, -1, 0);
  uint8_t c[4] = {gr_screen.current_color.red, gr_screen.current_color.green,
                  gr_screen.current_color.blue, gr_screen.current_color.alpha};
  tint(c);
  glColor4ubv(c);
  // Through the pixel centres: a line on the integer grid lies between two
  // columns, and GL took the one to the left of where the other renderers
  // draw it.
  const float ax = static_cast<float>(gr_screen.offset_x + static_cast<int>(x1)) + 0.5f;
  const float ay = static_cast<float>(gr_screen.offset_y + static_cast<int>(y1)) + 0.5f;
  const float bx = static_cast<float>(gr_screen.offset_x + static_cast<int>(x2)) + 0.5f;
  const float by = static_cast<float>(gr_screen.offset_y + static_cast<int>(y2)) + 0.5f;
  glBegin(GL_LINE_STRIP);
  glVertex2f(ax, ay);
  glVertex2f(bx, by);
  glEnd();
}

void gr_opengl_line3d(const GrVertex* a, const GrVertex* b, RenderStateWord state) {
  if (!Inited || !a || !b) return;
  gr_opengl_set_state_and_texture(state, -1, 0);
  uint8_t c[4] = {gr_screen.current_color.red, gr_screen.current_color.green,
                  gr_screen.current_color.blue, gr_screen.current_color.alpha};
  tint(c);
  glColor4ubv(c);
  const Gr3dDepthMap depth;
  glBegin(GL_LINE_STRIP);
  glVertex3f(a->sx, a->sy, depth(a->ooz));
  glVertex3f(b->sx, b->sy, depth(b->ooz));
  glEnd();
}

void gr_opengl_tmapper(int count, GrVertex** verts, RenderStateWord state) {
  if (!Inited || count < 3 || !verts) return;
  // Flat 2D shapes (no depth test or write, as rectangles and rotated
  // bitmaps are drawn) join the batch; anything else is drawn at once.
  const bool flat = Batching && state.depth_mode() == 0 && count <= GR_OPENGL_MAX_VERTS;
  if (flat) {
    apply_state_and_texture(state, gr_screen.current_bitmap, 0);
  } else {
    gr_opengl_set_state_and_texture(state, gr_screen.current_bitmap, 0);
  }
  const Gr3dDepthMap depth;
  const Color cur = gr_screen.current_color;

  auto fill = [&](int slot, const GrVertex* v) {
    uint8_t* c = Colors[slot];
    if (Opaque_alpha) c[3] = 255;
    else c[3] = (v->flags & GR_VERTEX_ALPHA) ? v->a : cur.alpha;
    if (White_color) {
      c[0] = c[1] = c[2] = 255;
    } else if (v->flags & GR_VERTEX_RGB) {
      c[0] = clamp_byte(Gr_gamma_lookup_float[v->r]);
      c[1] = clamp_byte(Gr_gamma_lookup_float[v->g]);
      c[2] = clamp_byte(Gr_gamma_lookup_float[v->b]);
    } else {
      c[0] = cur.red, c[1] = cur.green, c[2] = cur.blue;
    }
    tint(c);
    float* t = Tex_coords[slot];
    if (v->flags & GR_VERTEX_UV) {
      const float q = v->ooz;
      t[0] = v->u * q * Cur_u_scale;
      t[1] = v->v * q * Cur_v_scale;
      t[2] = 0.0f;
      t[3] = q;
    } else {
      t[0] = t[1] = t[2] = 0.0f;
      t[3] = 1.0f;
    }
    Positions[slot][0] = v->sx;
    Positions[slot][1] = v->sy;
    Positions[slot][2] = depth(v->ooz);
  };

  // The arrays hold GR_OPENGL_MAX_VERTS vertices; a larger convex polygon
  // is drawn as several that share its first vertex.
  int next = 1;
  while (next + 1 < count) {
    int n = 1;
    fill(0, verts[0]);
    while (n < GR_OPENGL_MAX_VERTS && next < count) fill(n++, verts[next++]);
    if (flat) {
      batch_polygon(n);
      if (next < count) next--;
      continue;
    }
    select_unit(0);
    glTexCoordPointer(4, GL_FLOAT, 0, Tex_coords);
    glVertexPointer(3, GL_FLOAT, 0, Positions);
    glColorPointer(4, GL_UNSIGNED_BYTE, 0, Colors);
    gr_opengl_set_state_and_texture(state, gr_screen.current_bitmap, 0);
    glDrawArrays(GL_POLYGON, 0, n);
    if (next < count) next--;  // the last edge's end starts the next piece
  }
}

void gr_opengl_fog_set(bool set_distances) {
  batch_flush();
  Last_state.invalidate();
  if (!Inited) return;
  if (!gr_screen.fog_on) {
    glDisable(GL_FOG);
    return;
  }
  glEnable(GL_FOG);
  glFogi(GL_FOG_MODE, GL_LINEAR);
  glHint(GL_FOG_HINT, GL_NICEST);
  if (set_distances) {
    const Gr3dDepthMap depth;
    const float zoom = gr_3d_zoom_scale(1.0f);
    const float n = gr_screen.fog_near * zoom;
    const float f = gr_screen.fog_far * zoom * 1.01f;
    glFogf(GL_FOG_START, n > 0.0f ? depth(1.0f / n) : depth(0.0f));
    glFogf(GL_FOG_END, f > 0.0f ? depth(1.0f / f) : depth(0.0f));
  }
  const GLfloat color[4] = {gr_screen.fog_color.red / 255.0f, gr_screen.fog_color.green / 255.0f,
                            gr_screen.fog_color.blue / 255.0f, 1.0f};
  glFogfv(GL_FOG_COLOR, color);
}

int gr_opengl_read_screen(int x, int y, int w, int h, void* dest) {
  if (!Inited || w < 1 || h < 1 || !dest) return 0;
  batch_flush();
  uint8_t* out = static_cast<uint8_t*>(dest);
  // Rows tightly packed, whatever the width, so the reader never writes
  // past the caller's w * h * 3 bytes.
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  // The caller counts rows from the top; OpenGL from the bottom.
  glReadPixels(x, gr_screen.height - y - h, w, h, GL_RGB, GL_UNSIGNED_BYTE, out);
  const size_t row = static_cast<size_t>(w) * 3;
  std::vector<uint8_t> tmp(row);
  for (int top = 0, bottom = h - 1; top < bottom; top++, bottom--) {
    uint8_t* a = out + top * row;
    uint8_t* b = out + bottom * row;
    std::memcpy(tmp.data(), a, row);
    std::memcpy(a, b, row);
    std::memcpy(b, tmp.data(), row);
  }
  for (size_t i = 0; i < row * h; i += 3) std::swap(out[i], out[i + 2]);
  return 6;
}

void gr_opengl_texture_dirty(int handle) {
  if (handle < 0 || handle >= static_cast<int>(Slots.size())) return;
  batch_flush();  // queued quads show the picture as it was
  Slots[handle].dirty = 1;
  if (handle < static_cast<int>(Page_slots.size())) Page_slots[handle].dirty = 1;
  forget_handle(handle);
}

void gr_opengl_texture_release(int handle) {
  if (handle < 0 || handle >= static_cast<int>(Slots.size())) return;
  batch_flush();
  TextureSlot& slot = Slots[handle];
  forget_handle(handle);
  release_slot(slot);
  // Its place in a page is left unused until the pages are emptied.
  if (handle < static_cast<int>(Page_slots.size())) Page_slots[handle].handle = -1;
  if (slot.handle >= 0) {
    // In use this frame: the texture object stays until the slot is uploaded
    // again, but it no longer counts as memory held.
    Vram_in_use -= slot.size;
    slot.size = 0;
  }
  slot.handle = -1;
}

void gr_opengl_flush_textures() {
  if (!Inited) return;
  batch_flush();
  glFinish();
  for (auto& s : Slots) release_slot(s);
  pages_clear(true);
  if (Vram_in_use != 0) {
    std::printf("WARNING: VRAM is at %d instead of zero after flushing!\n", Vram_in_use);
    Vram_in_use = 0;
  }
  Bound[0] = Bound[1] = -1;
}

void gr_opengl_finish() {
  batch_flush();
  if (Inited) glFinish();
}

int gr_opengl_vram_in_use() { return Vram_in_use; }
int gr_opengl_bytes_uploaded_this_frame() { return Uploaded_this_frame; }
