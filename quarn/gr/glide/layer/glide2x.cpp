// Our Glide 2 library: the card's operations drawn with OpenGL on the game
// window, through a display connection of its own. Texture memory is kept per
// texture unit as a map from start address to texture, so a texture that
// overlaps an address range being downloaded is gone, as on a real card.
//
// Environment: GLIDE_TEXMEM_BYTES sets each unit's texture memory (default
// 4 MB), GLIDE_FB_MB the frame-buffer megabytes reported (default 16).
#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glx.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <map>
#include <vector>

#include "quarn/gr/glide/glide_api.h"
#include "quarn/platform/scaled_present.h"

// Exported under the decorated name with '$' for '@' (ELF keeps '@' for
// symbol versions); the dynamic-library layer asks for it that way.
#define GLIDE_FN(ret, name, bytes, ...)                                   \
  extern "C" ret name(__VA_ARGS__) __asm__("_" #name "$" #bytes);         \
  extern "C" __attribute__((visibility("default"))) ret name(__VA_ARGS__)
// Entry points the game looks up but never calls.
#define GLIDE_STUB(name, bytes) \
  GLIDE_FN(int, name, bytes, void) { return 0; }

namespace {

struct Texture {
  GLuint name = 0;
  uint32_t size = 0;
  int w = 0, h = 0, large = 0;
  int levels = 1;
};

struct Tmu {
  std::map<uint32_t, Texture> textures;  // by start address
  const Texture* source = nullptr;
  int combine = GLIDE_TEXCOMBINE_ONE;
  int min_filter = GLIDE_TEXTUREFILTER_BILINEAR, mag_filter = GLIDE_TEXTUREFILTER_BILINEAR;
  int clamp_s = GLIDE_TEXTURECLAMP_WRAP, clamp_t = GLIDE_TEXTURECLAMP_WRAP;
  int mipmap = GLIDE_MIPMAP_DISABLE;
};

struct Combine {
  int function = GLIDE_COMBINE_FUNCTION_LOCAL, factor = GLIDE_COMBINE_FACTOR_ZERO;
  int local = GLIDE_COMBINE_LOCAL_ITERATED, other = GLIDE_COMBINE_OTHER_CONSTANT;
};

Display* Dpy = nullptr;
Window Win = 0;
GLXContext Ctx = nullptr;
int Width = 640, Height = 480;
// Height of what the card draws on: the offscreen picture that each swap
// stretches over the full-screen window, or, where the context cannot make
// one, the window itself, whose top-left Width x Height is the screen. GL
// counts rows from the bottom.
int Win_height = 480;
uint32_t Tmu_bytes = 4u << 20;
int Fb_mb = 16;
Tmu Units[2];
GLuint White = 0;
bool Dirty = true;
bool Tex_dirty = true;  // only the textures sourced on the units changed
bool Unit1_textured = false;  // as the last apply_textures left it

Combine Color_combine, Alpha_combine;
uint32_t Constant_color = 0xFFFFFFFFu;
int Blend[4] = {GLIDE_BLEND_ONE, GLIDE_BLEND_ZERO, GLIDE_BLEND_ONE, GLIDE_BLEND_ZERO};
int Alpha_test = GLIDE_CMP_ALWAYS;
uint8_t Alpha_ref = 0;
int Depth_mode = GLIDE_DEPTHBUFFER_DISABLE, Depth_function = GLIDE_CMP_LESS;
bool Depth_mask = false;
bool Rgb_mask = true, Alpha_mask = false;
int Fog_mode = GLIDE_FOG_DISABLE;
uint8_t Fog_table[GLIDE_FOG_TABLE_SIZE];
uint32_t Fog_color = 0;
int Clip[4] = {0, 0, 640, 480};

// The card's fog table is indexed by w on a log scale: four steps per
// doubling.
float fog_index_to_w(int i) { return std::ldexp(1.0f + static_cast<float>(i & 3) / 4.0f, i >> 2); }

float fog_of(float oow) {
  if (oow <= 0.0f) return Fog_table[GLIDE_FOG_TABLE_SIZE - 1] / 255.0f;
  const float w = 1.0f / oow;
  if (w <= fog_index_to_w(0)) return Fog_table[0] / 255.0f;
  for (int i = 1; i < GLIDE_FOG_TABLE_SIZE; i++) {
    const float w1 = fog_index_to_w(i);
    if (w <= w1) {
      const float w0 = fog_index_to_w(i - 1);
      const float f = (w - w0) / (w1 - w0);
      return (Fog_table[i - 1] + f * (Fog_table[i] - Fog_table[i - 1])) / 255.0f;
    }
  }
  return Fog_table[GLIDE_FOG_TABLE_SIZE - 1] / 255.0f;
}

void lod_size(const GlideTexInfo& info, int level, int* w, int* h) {
  const int large = 256 >> std::clamp(info.large_lod, 0, 8);
  int tw = large, th = large;
  switch (info.aspect) {
    case 0: th = large / 8; break;
    case 1: th = large / 4; break;
    case 2: th = large / 2; break;
    case 4: tw = large / 2; break;
    case 5: tw = large / 4; break;
    case 6: tw = large / 8; break;
    default: break;
  }
  *w = std::max(1, tw >> level);
  *h = std::max(1, th >> level);
}

int level_count(const GlideTexInfo& info) {
  return std::max(1, std::clamp(info.small_lod, 0, 8) - std::clamp(info.large_lod, 0, 8) + 1);
}

int texel_bytes(int format) { return format == GLIDE_TEXFMT_ALPHA_8 ? 1 : 2; }

uint32_t mem_required(const GlideTexInfo& info) {
  uint32_t bytes = 0;
  for (int l = 0; l < level_count(info); l++) {
    int w, h;
    lod_size(info, l, &w, &h);
    bytes += static_cast<uint32_t>(w * h * texel_bytes(info.format));
  }
  return (bytes + 7u) & ~7u;
}

GLenum cmp(int f) {
  static const GLenum F[8] = {GL_NEVER, GL_LESS, GL_EQUAL, GL_LEQUAL, GL_GREATER, GL_NOTEQUAL, GL_GEQUAL, GL_ALWAYS};
  return F[f & 7];
}

GLenum blend_factor(int f, bool dst) {
  switch (f) {
    case GLIDE_BLEND_ZERO: return GL_ZERO;
    case GLIDE_BLEND_SRC_ALPHA: return GL_SRC_ALPHA;
    case 2: return dst ? GL_SRC_COLOR : GL_DST_COLOR;
    case GLIDE_BLEND_DST_ALPHA: return GL_DST_ALPHA;
    case GLIDE_BLEND_ONE: return GL_ONE;
    case GLIDE_BLEND_ONE_MINUS_SRC_ALPHA: return GL_ONE_MINUS_SRC_ALPHA;
    case 6: return dst ? GL_ONE_MINUS_SRC_COLOR : GL_ONE_MINUS_DST_COLOR;
    case GLIDE_BLEND_ONE_MINUS_DST_ALPHA: return GL_ONE_MINUS_DST_ALPHA;
    // The colour before fog is not kept apart; the fogged colour stands in.
    case GLIDE_BLEND_PREFOG_COLOR: return GL_SRC_COLOR;
    default: return GL_ONE;
  }
}

void unit_params(const Tmu& t, int levels) {
  const bool bilinear = t.min_filter == GLIDE_TEXTUREFILTER_BILINEAR;
  GLenum min = bilinear ? GL_LINEAR : GL_NEAREST;
  if (levels > 1 && t.mipmap != GLIDE_MIPMAP_DISABLE) min = bilinear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, min);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, t.mag_filter == GLIDE_TEXTUREFILTER_BILINEAR ? GL_LINEAR : GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, t.clamp_s == GLIDE_TEXTURECLAMP_CLAMP ? GL_CLAMP_TO_EDGE : GL_REPEAT);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, t.clamp_t == GLIDE_TEXTURECLAMP_CLAMP ? GL_CLAMP_TO_EDGE : GL_REPEAT);
}

// s and t run 0..256 across the larger side of the texture.
void unit_matrix(const Texture* tex) {
  glMatrixMode(GL_TEXTURE);
  glLoadIdentity();
  if (tex) glScalef(tex->large / (256.0f * tex->w), tex->large / (256.0f * tex->h), 1.0f);
  glMatrixMode(GL_MODELVIEW);
}

void bind_unit(int gl_unit, const Texture* tex, const Tmu& t, int levels) {
  glActiveTexture(GL_TEXTURE0 + gl_unit);
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, tex ? tex->name : White);
  if (tex) unit_params(t, levels);
  unit_matrix(tex);
}

// One source and operand of the colour/alpha combine stage.
void combine_sources(bool alpha, const Combine& c) {
  const GLenum mode = alpha ? GL_COMBINE_ALPHA : GL_COMBINE_RGB;
  const GLenum src0 = alpha ? GL_SOURCE0_ALPHA : GL_SOURCE0_RGB, src1 = alpha ? GL_SOURCE1_ALPHA : GL_SOURCE1_RGB;
  const GLenum op0 = alpha ? GL_OPERAND0_ALPHA : GL_OPERAND0_RGB, op1 = alpha ? GL_OPERAND1_ALPHA : GL_OPERAND1_RGB;
  const GLenum opv = alpha ? GL_SRC_ALPHA : GL_SRC_COLOR;
  const GLenum local = c.local == GLIDE_COMBINE_LOCAL_CONSTANT ? GL_CONSTANT : GL_PRIMARY_COLOR;
  const GLenum other = c.other == GLIDE_COMBINE_OTHER_TEXTURE    ? GL_PREVIOUS
                       : c.other == GLIDE_COMBINE_OTHER_CONSTANT ? GL_CONSTANT
                                                                 : GL_PRIMARY_COLOR;
  glTexEnvi(GL_TEXTURE_ENV, op0, opv);
  glTexEnvi(GL_TEXTURE_ENV, op1, opv);
  switch (c.function) {
    case GLIDE_COMBINE_FUNCTION_SCALE_OTHER:
      if (c.factor == GLIDE_COMBINE_FACTOR_LOCAL) {
        glTexEnvi(GL_TEXTURE_ENV, mode, GL_MODULATE);
        glTexEnvi(GL_TEXTURE_ENV, src0, other);
        glTexEnvi(GL_TEXTURE_ENV, src1, local);
      } else {
        glTexEnvi(GL_TEXTURE_ENV, mode, GL_REPLACE);
        glTexEnvi(GL_TEXTURE_ENV, src0, other);
      }
      break;
    case GLIDE_COMBINE_FUNCTION_SCALE_OTHER_ADD_LOCAL:
      glTexEnvi(GL_TEXTURE_ENV, mode, GL_ADD);
      glTexEnvi(GL_TEXTURE_ENV, src0, other);
      glTexEnvi(GL_TEXTURE_ENV, src1, local);
      break;
    default:
      glTexEnvi(GL_TEXTURE_ENV, mode, GL_REPLACE);
      glTexEnvi(GL_TEXTURE_ENV, src0, local);
      break;
  }
}

// Unit 0: TMU0's texture (white for "one"); unit 1: TMU1 folded in by
// TMU0's multiply or add; unit 2 (apply_state): the colour and alpha combine.
void apply_textures() {
  const Tmu& t0 = Units[0];
  const Tmu& t1 = Units[1];
  const bool tex0 = t0.combine != GLIDE_TEXCOMBINE_ONE && t0.combine != GLIDE_TEXCOMBINE_ZERO && t0.source;
  bind_unit(0, tex0 ? t0.source : nullptr, t0, tex0 ? t0.source->levels : 1);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);

  glActiveTexture(GL_TEXTURE1);
  const bool chain = tex0 && t1.source &&
                     (t0.combine == GLIDE_TEXCOMBINE_MULTIPLY || t0.combine == GLIDE_TEXCOMBINE_ADD);
  if (chain) {
    bind_unit(1, t1.source, t1, t1.source->levels);
    const GLenum op = t0.combine == GLIDE_TEXCOMBINE_MULTIPLY ? GL_MODULATE : GL_ADD;
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_COMBINE);
    glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_RGB, op);
    glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_ALPHA, op);
    glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE0_RGB, GL_PREVIOUS);
    glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE1_RGB, GL_TEXTURE);
    glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE0_ALPHA, GL_PREVIOUS);
    glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE1_ALPHA, GL_TEXTURE);
  } else {
    glDisable(GL_TEXTURE_2D);
  }
  Unit1_textured = chain;
  glActiveTexture(GL_TEXTURE0);
}

// Colour and alpha both the texture scaled by the iterated values, with one
// texture unit in use: unit 0 alone can do it.
bool texture_times_iterated() {
  auto plain = [](const Combine& c) {
    return c.function == GLIDE_COMBINE_FUNCTION_SCALE_OTHER && c.factor == GLIDE_COMBINE_FACTOR_LOCAL &&
           c.local == GLIDE_COMBINE_LOCAL_ITERATED && c.other == GLIDE_COMBINE_OTHER_TEXTURE;
  };
  const Tmu& t0 = Units[0];
  const bool tex0 = t0.combine != GLIDE_TEXCOMBINE_ONE && t0.combine != GLIDE_TEXCOMBINE_ZERO && t0.source;
  return tex0 && !Unit1_textured && plain(Color_combine) && plain(Alpha_combine);
}

// Unit 2: the colour and alpha combine; it depends on the textures as well.
void apply_combine() {
  glActiveTexture(GL_TEXTURE2);
  if (texture_times_iterated()) {
    // The commonest combine, the texture scaled by the iterated colour and
    // alpha, is unit 0's own modulate: a third texture unit per pixel saved.
    glDisable(GL_TEXTURE_2D);
    glActiveTexture(GL_TEXTURE0);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  } else {
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, White);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_COMBINE);
    const float cc[4] = {(Constant_color & 0xFF) / 255.0f, ((Constant_color >> 8) & 0xFF) / 255.0f,
                         ((Constant_color >> 16) & 0xFF) / 255.0f, ((Constant_color >> 24) & 0xFF) / 255.0f};
    glTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, cc);
    combine_sources(false, Color_combine);
    combine_sources(true, Alpha_combine);
  }
  glActiveTexture(GL_TEXTURE0);
}

void apply_state() {
  if (!Ctx) return;
  if (!Dirty) {
    if (Tex_dirty) {
      apply_textures();
      apply_combine();
    }
    Tex_dirty = false;
    return;
  }
  Dirty = Tex_dirty = false;
  apply_textures();
  apply_combine();

  glEnable(GL_BLEND);
  glBlendFunc(blend_factor(Blend[0], false), blend_factor(Blend[1], true));
  glEnable(GL_ALPHA_TEST);
  glAlphaFunc(cmp(Alpha_test), Alpha_ref / 255.0f);
  if (Depth_mode == GLIDE_DEPTHBUFFER_DISABLE) {
    glDisable(GL_DEPTH_TEST);
  } else {
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(cmp(Depth_function));
  }
  glDepthMask(Depth_mask ? GL_TRUE : GL_FALSE);
  glColorMask(Rgb_mask, Rgb_mask, Rgb_mask, Alpha_mask);

  if (Fog_mode & GLIDE_FOG_WITH_TABLE) {
    glEnable(GL_FOG);
    glFogi(GL_FOG_MODE, GL_LINEAR);
    glFogf(GL_FOG_START, 0.0f);
    glFogf(GL_FOG_END, 1.0f);
    glFogi(GL_FOG_COORD_SRC, GL_FOG_COORD);
    // Multiply-only fog darkens towards black.
    const bool mult = (Fog_mode & GLIDE_FOG_MULT2) != 0;
    const float fc[4] = {mult ? 0.0f : (Fog_color & 0xFF) / 255.0f, mult ? 0.0f : ((Fog_color >> 8) & 0xFF) / 255.0f,
                         mult ? 0.0f : ((Fog_color >> 16) & 0xFF) / 255.0f, 1.0f};
    glFogfv(GL_FOG_COLOR, fc);
  } else {
    glDisable(GL_FOG);
  }
}

void apply_clip() {
  if (!Ctx) return;
  glEnable(GL_SCISSOR_TEST);
  glScissor(Clip[0], Win_height - Clip[3], std::max(0, Clip[2] - Clip[0]), std::max(0, Clip[3] - Clip[1]));
}

// Screen positions may carry the snap bias; the card uses the low bits.
float unbias(float v) { return v >= 524288.0f ? v - 786432.0f : v; }

void emit(const GlideVertex& v) {
  const float q = v.oow;
  glColor4f(v.r / 255.0f, v.g / 255.0f, v.b / 255.0f, v.a / 255.0f);
  glMultiTexCoord4f(GL_TEXTURE0, v.tmu[0].sow, v.tmu[0].tow, 0.0f, q);
  glMultiTexCoord4f(GL_TEXTURE1, v.tmu[1].sow, v.tmu[1].tow, 0.0f, q);
  if (Fog_mode & GLIDE_FOG_WITH_TABLE) glFogCoordf(fog_of(q));
  // W-buffer: nearer points have the larger 1/w.
  const float depth = 1.0f - std::clamp(q / 16.0f, 0.0f, 1.0f);
  glVertex3f(unbias(v.x), unbias(v.y), depth);
}

// Polygons go to GL in batches: consecutive polygons under one state (the
// same textures selected, nothing set in between) collect here as triangles
// and are drawn with one call. Anything that changes GL state or draws
// otherwise sends the batch first, so the order of drawing never changes.
constexpr int BATCH_MAX_VERTS = 4 * 4096;  // within 16-bit indices
struct BatchVertex {
  float pos[3];
  float colour[4];
  float tex0[4];
  float tex1[4];
  float fog;
};
std::vector<BatchVertex> Batch;
std::vector<uint16_t> Batch_index;
bool Batch_fog = false;

void batch_flush() {
  if (Batch.empty()) return;
  if (Ctx) {
    const GLsizei stride = sizeof(BatchVertex);
    const BatchVertex* b = Batch.data();
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    glVertexPointer(3, GL_FLOAT, stride, b->pos);
    glColorPointer(4, GL_FLOAT, stride, b->colour);
    // A unit that samples nothing needs no coordinates.
    const int units = Unit1_textured ? 2 : 1;
    for (int u = 0; u < units; u++) {
      glClientActiveTexture(GL_TEXTURE0 + u);
      glEnableClientState(GL_TEXTURE_COORD_ARRAY);
      glTexCoordPointer(4, GL_FLOAT, stride, u ? b->tex1 : b->tex0);
    }
    if (Batch_fog) {
      glEnableClientState(GL_FOG_COORD_ARRAY);
      glFogCoordPointer(GL_FLOAT, stride, &b->fog);
    }
    glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(Batch_index.size()), GL_UNSIGNED_SHORT, Batch_index.data());
    if (Batch_fog) glDisableClientState(GL_FOG_COORD_ARRAY);
    for (int u = units - 1; u >= 0; u--) {
      glClientActiveTexture(GL_TEXTURE0 + u);
      glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    }
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
  }
  Batch.clear();
  Batch_index.clear();
}

// What emit() sends for the vertex, kept for the batch.
BatchVertex batch_vertex(const GlideVertex& v) {
  const float q = v.oow;
  BatchVertex b;
  b.colour[0] = v.r / 255.0f, b.colour[1] = v.g / 255.0f, b.colour[2] = v.b / 255.0f, b.colour[3] = v.a / 255.0f;
  b.tex0[0] = v.tmu[0].sow, b.tex0[1] = v.tmu[0].tow, b.tex0[2] = 0.0f, b.tex0[3] = q;
  b.tex1[0] = v.tmu[1].sow, b.tex1[1] = v.tmu[1].tow, b.tex1[2] = 0.0f, b.tex1[3] = q;
  b.fog = (Fog_mode & GLIDE_FOG_WITH_TABLE) ? fog_of(q) : 0.0f;
  b.pos[0] = unbias(v.x), b.pos[1] = unbias(v.y), b.pos[2] = 1.0f - std::clamp(q / 16.0f, 0.0f, 1.0f);
  return b;
}

void query_window_height() {
  if (scaled_present_active()) {
    Win_height = Height;
    return;
  }
  unsigned int h = 0;
  glXQueryDrawable(Dpy, Win, GLX_HEIGHT, &h);
  if (h > 0) Win_height = static_cast<int>(h);
}

void setup_view() {
  query_window_height();
  glViewport(0, Win_height - Height, Width, Height);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0, Width, Height, 0, 0.0, -1.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glDisable(GL_CULL_FACE);
  glDisable(GL_DITHER);
  glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  const uint32_t white = 0xFFFFFFFFu;
  glGenTextures(1, &White);
  glBindTexture(GL_TEXTURE_2D, White);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, &white);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  Dirty = true;
  apply_clip();
}

void drop_textures(Tmu& t) {
  for (auto& [addr, tex] : t.textures)
    if (Ctx) glDeleteTextures(1, &tex.name);
  t.textures.clear();
  t.source = nullptr;
}

void upload_texture(Texture& tex, const GlideTexInfo& info) {
  glGenTextures(1, &tex.name);
  glActiveTexture(GL_TEXTURE0);
  glBindTexture(GL_TEXTURE_2D, tex.name);
  const int levels = level_count(info);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, levels - 1);
  const uint8_t* p = static_cast<const uint8_t*>(info.data);
  std::vector<uint8_t> la;
  for (int l = 0; l < levels && p; l++) {
    int w, h;
    lod_size(info, l, &w, &h);
    switch (info.format) {
      case GLIDE_TEXFMT_ARGB_1555:
        glTexImage2D(GL_TEXTURE_2D, l, GL_RGBA, w, h, 0, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV, p);
        break;
      case GLIDE_TEXFMT_RGB_565:
        glTexImage2D(GL_TEXTURE_2D, l, GL_RGB, w, h, 0, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, p);
        break;
      case GLIDE_TEXFMT_ARGB_4444:
        glTexImage2D(GL_TEXTURE_2D, l, GL_RGBA, w, h, 0, GL_BGRA, GL_UNSIGNED_SHORT_4_4_4_4_REV, p);
        break;
      case GLIDE_TEXFMT_ALPHA_8:
        la.resize(static_cast<size_t>(w) * h * 2);
        for (int i = 0; i < w * h; i++) la[2 * i] = 255, la[2 * i + 1] = p[i];
        glTexImage2D(GL_TEXTURE_2D, l, GL_LUMINANCE_ALPHA, w, h, 0, GL_LUMINANCE_ALPHA, GL_UNSIGNED_BYTE, la.data());
        break;
      default: break;
    }
    p += static_cast<size_t>(w) * h * texel_bytes(info.format);
  }
}

}  // namespace

GLIDE_FN(void, grGlideGetVersion, 4, char* version) { std::strcpy(version, "2.4 over OpenGL"); }

GLIDE_FN(void, grGlideInit, 0, void) {
  if (const char* e = std::getenv("GLIDE_TEXMEM_BYTES")) {
    const long v = std::strtol(e, nullptr, 0);
    if (v >= 4096) Tmu_bytes = static_cast<uint32_t>(v);
  }
  if (const char* e = std::getenv("GLIDE_FB_MB")) {
    const long v = std::strtol(e, nullptr, 0);
    if (v > 0 && v < 4096) Fb_mb = static_cast<int>(v);
  }
  if (!Dpy) Dpy = XOpenDisplay(nullptr);
}

GLIDE_FN(void, grSstWinClose, 0, void);

GLIDE_FN(void, grGlideShutdown, 0, void) {
  grSstWinClose();
  if (Dpy) XCloseDisplay(Dpy);
  Dpy = nullptr;
}

GLIDE_FN(GlideBool, grSstQueryHardware, 4, GlideHwConfig* hw) {
  if (!Dpy) return 0;
  *hw = GlideHwConfig{};
  hw->board_count = 1;
  hw->board[0].fb_ram_mb = Fb_mb;
  hw->board[0].tmu_count = 2;
  for (auto& t : hw->board[0].tmu) t.ram_mb = static_cast<int32_t>(Tmu_bytes >> 20);
  return 1;
}

GLIDE_FN(void, grSstSelect, 4, int) {}

GLIDE_FN(GlideBool, grSstWinOpen, 28, unsigned long window, int resolution, int, int, int, int, int) {
  if (!Dpy || !window) return 0;
  switch (resolution) {
    case GLIDE_RESOLUTION_800x600: Width = 800, Height = 600; break;
    case GLIDE_RESOLUTION_1024x768: Width = 1024, Height = 768; break;
    default: Width = 640, Height = 480; break;
  }
  XWindowAttributes attr;
  if (!XGetWindowAttributes(Dpy, window, &attr)) return 0;
  XVisualInfo tmpl{};
  tmpl.visualid = XVisualIDFromVisual(attr.visual);
  int n = 0;
  XVisualInfo* vi = XGetVisualInfo(Dpy, VisualIDMask, &tmpl, &n);
  if (!vi) return 0;
  if (!Ctx) Ctx = glXCreateContext(Dpy, vi, nullptr, True);
  XFree(vi);
  if (!Ctx || !glXMakeCurrent(Dpy, window, Ctx)) return 0;
  Win = window;
  scaled_present_open(Width, Height);
  Clip[0] = Clip[1] = 0;
  Clip[2] = Width;
  Clip[3] = Height;
  setup_view();
  return 1;
}

GLIDE_FN(void, grSstWinClose, 0, void) {
  batch_flush();
  // The card's memory goes with the window.
  for (Tmu& t : Units) drop_textures(t);
  if (Ctx) {
    scaled_present_close();
    glDeleteTextures(1, &White);
    glXMakeCurrent(Dpy, 0, nullptr);
    glXDestroyContext(Dpy, Ctx);
  }
  Ctx = nullptr;
  Win = 0;
}

GLIDE_FN(GlideBool, grSstControl, 4, int) { return 1; }
GLIDE_FN(void, grSstIdle, 0, void) {
  batch_flush();
  if (Ctx) glFinish();
}
GLIDE_FN(GlideBool, grSstIsBusy, 0, void) { return 0; }
GLIDE_FN(void, grGammaCorrectionValue, 4, float) {}
GLIDE_FN(void, grHints, 8, uint32_t, uint32_t) {}

GLIDE_FN(void, grBufferSwap, 4, int) {
  batch_flush();
  if (!Ctx) return;
  if (scaled_present_active()) {
    unsigned int w = 0, h = 0;
    glXQueryDrawable(Dpy, Win, GLX_WIDTH, &w);
    glXQueryDrawable(Dpy, Win, GLX_HEIGHT, &h);
    scaled_present_show(static_cast<int>(w), static_cast<int>(h));
  }
  glXSwapBuffers(Dpy, Win);
  const int before = Win_height;
  query_window_height();
  if (Win_height != before) {
    glViewport(0, Win_height - Height, Width, Height);
    apply_clip();
  }
}

GLIDE_FN(void, grBufferClear, 12, uint32_t color, uint32_t alpha, uint32_t depth) {
  batch_flush();
  if (!Ctx) return;
  GLbitfield what = 0;
  if (Rgb_mask || Alpha_mask) {
    glColorMask(Rgb_mask, Rgb_mask, Rgb_mask, Alpha_mask);
    glClearColor((color & 0xFF) / 255.0f, ((color >> 8) & 0xFF) / 255.0f, ((color >> 16) & 0xFF) / 255.0f,
                 (alpha & 0xFF) / 255.0f);
    what |= GL_COLOR_BUFFER_BIT;
  }
  if (Depth_mask) {
    glDepthMask(GL_TRUE);
    glClearDepth(std::min(depth, 0xFFFFu) / 65535.0);
    what |= GL_DEPTH_BUFFER_BIT;
  }
  if (what) glClear(what);
}

GLIDE_FN(void, grColorMask, 8, GlideBool rgb, GlideBool alpha) {
  Rgb_mask = rgb != 0;
  Alpha_mask = alpha != 0;
  Dirty = true;
}

GLIDE_FN(void, grClipWindow, 16, uint32_t minx, uint32_t miny, uint32_t maxx, uint32_t maxy) {
  batch_flush();
  Clip[0] = static_cast<int>(minx);
  Clip[1] = static_cast<int>(miny);
  Clip[2] = static_cast<int>(maxx);
  Clip[3] = static_cast<int>(maxy);
  apply_clip();
}

GLIDE_FN(void, grTexCombineFunction, 8, int tmu, int fn) {
  Units[tmu & 1].combine = fn;
  Dirty = true;
}
GLIDE_FN(void, grTexFilterMode, 12, int tmu, int min, int mag) {
  Units[tmu & 1].min_filter = min;
  Units[tmu & 1].mag_filter = mag;
  Dirty = true;
}
GLIDE_FN(void, grTexClampMode, 12, int tmu, int s, int t) {
  Units[tmu & 1].clamp_s = s;
  Units[tmu & 1].clamp_t = t;
  Dirty = true;
}
GLIDE_FN(void, grTexMipMapMode, 12, int tmu, int mode, GlideBool) {
  Units[tmu & 1].mipmap = mode;
  Dirty = true;
}
GLIDE_FN(void, grTexLodBiasValue, 8, int, float) {}

GLIDE_FN(void, grColorCombine, 20, int fn, int factor, int local, int other, GlideBool) {
  Color_combine = Combine{fn, factor, local, other};
  Dirty = true;
}
GLIDE_FN(void, grAlphaCombine, 20, int fn, int factor, int local, int other, GlideBool) {
  Alpha_combine = Combine{fn, factor, local, other};
  Dirty = true;
}
GLIDE_FN(void, grAlphaControlsITRGBLighting, 4, GlideBool) {}
GLIDE_FN(void, grConstantColorValue, 4, uint32_t color) {
  Constant_color = color;
  Dirty = true;
}
GLIDE_FN(void, grAlphaBlendFunction, 16, int rgb_src, int rgb_dst, int a_src, int a_dst) {
  Blend[0] = rgb_src, Blend[1] = rgb_dst, Blend[2] = a_src, Blend[3] = a_dst;
  Dirty = true;
}
GLIDE_FN(void, grAlphaTestFunction, 4, int fn) {
  Alpha_test = fn;
  Dirty = true;
}
GLIDE_FN(void, grAlphaTestReferenceValue, 4, uint8_t ref) {
  Alpha_ref = ref;
  Dirty = true;
}
GLIDE_FN(void, grDepthBufferMode, 4, int mode) {
  Depth_mode = mode;
  Dirty = true;
}
GLIDE_FN(void, grDepthBufferFunction, 4, int fn) {
  Depth_function = fn;
  Dirty = true;
}
GLIDE_FN(void, grDepthMask, 4, GlideBool on) {
  Depth_mask = on != 0;
  Dirty = true;
}
GLIDE_FN(void, grFogMode, 4, int mode) {
  Fog_mode = mode;
  Dirty = true;
}
GLIDE_FN(void, grFogTable, 4, const uint8_t* table) { std::memcpy(Fog_table, table, sizeof Fog_table); }
GLIDE_FN(void, grFogColorValue, 4, uint32_t color) {
  Fog_color = color;
  Dirty = true;
}
GLIDE_FN(void, guFogGenerateLinear, 12, uint8_t* table, float near_w, float far_w) {
  for (int i = 0; i < GLIDE_FOG_TABLE_SIZE; i++) {
    const float w = fog_index_to_w(i);
    float f = far_w > near_w ? (w - near_w) / (far_w - near_w) : (w >= far_w ? 1.0f : 0.0f);
    f = std::clamp(f, 0.0f, 1.0f);
    table[i] = static_cast<uint8_t>(f * 255.0f + 0.5f);
  }
}

GLIDE_FN(uint32_t, guTexMemQueryAvail, 4, int) { return Tmu_bytes; }
GLIDE_FN(uint32_t, grTexMinAddress, 4, int) { return 0; }
GLIDE_FN(uint32_t, grTexMaxAddress, 4, int) { return Tmu_bytes; }
GLIDE_FN(uint32_t, grTexTextureMemRequired, 8, uint32_t, const GlideTexInfo* info) {
  return info ? mem_required(*info) : 0;
}

GLIDE_FN(void, grTexDownloadMipMap, 16, int tmu, uint32_t address, uint32_t, const GlideTexInfo* info) {
  batch_flush();
  if (!Ctx || !info) return;
  Tmu& t = Units[tmu & 1];
  const uint32_t size = mem_required(*info);
  // What the download overwrites is gone.
  for (auto it = t.textures.begin(); it != t.textures.end();) {
    const uint32_t a = it->first, e = a + it->second.size;
    if (a < address + size && address < e) {
      if (t.source == &it->second) t.source = nullptr;
      glDeleteTextures(1, &it->second.name);
      it = t.textures.erase(it);
    } else {
      ++it;
    }
  }
  Texture& tex = t.textures[address];
  tex.size = size;
  lod_size(*info, 0, &tex.w, &tex.h);
  tex.large = std::max(tex.w, tex.h);
  tex.levels = level_count(*info);
  upload_texture(tex, *info);
  Tex_dirty = true;
}

GLIDE_FN(void, grTexSource, 16, int tmu, uint32_t address, uint32_t, const GlideTexInfo*) {
  Tmu& t = Units[tmu & 1];
  auto it = t.textures.find(address);
  const Texture* source = it == t.textures.end() ? nullptr : &it->second;
  if (source == t.source) return;
  t.source = source;
  Tex_dirty = true;
}

GLIDE_FN(void, grDrawPolygonVertexList, 8, int count, const GlideVertex* v) {
  if (!Ctx || count < 3 || !v) return;
  if (Dirty || Tex_dirty) {
    batch_flush();
    apply_state();
  }
  if (Batch.size() + static_cast<size_t>(count) > BATCH_MAX_VERTS) batch_flush();
  if (Batch.capacity() < BATCH_MAX_VERTS) {
    Batch.reserve(BATCH_MAX_VERTS);
    Batch_index.reserve(3 * BATCH_MAX_VERTS);
  }
  Batch_fog = (Fog_mode & GLIDE_FOG_WITH_TABLE) != 0;
  const uint16_t first = static_cast<uint16_t>(Batch.size());
  for (int i = 0; i < count; i++) Batch.push_back(batch_vertex(v[i]));
  // A fan, each edge followed by the first vertex: the way GL splits the
  // polygon, so the pixels are those of drawing it as one.
  for (int i = 1; i + 1 < count; i++)
    for (int k : {i, i + 1, 0}) Batch_index.push_back(static_cast<uint16_t>(first + k));
}

// A planar polygon is drawn as any other: GL interpolates alike.
GLIDE_FN(void, grDrawPlanarPolygonVertexList, 8, int count, const GlideVertex* v) {
  grDrawPolygonVertexList(count, v);
}

GLIDE_FN(void, grDrawPlanarPolygon, 12, int count, const int* indices, const GlideVertex* v) {
  if (!Ctx || count < 3 || !indices || !v) return;
  batch_flush();
  apply_state();
  glBegin(GL_POLYGON);
  for (int i = 0; i < count; i++) emit(v[indices[i]]);
  glEnd();
}

GLIDE_FN(void, grDrawLine, 8, const GlideVertex* a, const GlideVertex* b) {
  if (!Ctx || !a || !b) return;
  batch_flush();
  apply_state();
  glBegin(GL_LINES);
  emit(*a);
  emit(*b);
  glEnd();
}

GLIDE_FN(GlideBool, grLfbReadRegion, 28, int, uint32_t x, uint32_t y, uint32_t w, uint32_t h, uint32_t stride,
         void* dst) {
  batch_flush();
  if (!Ctx || !dst || w == 0 || h == 0 || stride < w * 2) return 0;
  std::vector<uint16_t> rows(static_cast<size_t>(w) * h);
  glReadBuffer(scaled_present_read_buffer());
  glReadPixels(static_cast<GLint>(x), Win_height - static_cast<GLint>(y + h), static_cast<GLsizei>(w),
               static_cast<GLsizei>(h), GL_RGB, GL_UNSIGNED_SHORT_5_6_5, rows.data());
  uint8_t* out = static_cast<uint8_t*>(dst);
  for (uint32_t r = 0; r < h; r++)
    std::memcpy(out + static_cast<size_t>(r) * stride, &rows[static_cast<size_t>(h - 1 - r) * w], w * 2);
  return 1;
}
GLIDE_STUB(grDrawPoint, 4)
GLIDE_STUB(grDrawPolygon, 12)
GLIDE_STUB(grDrawTriangle, 12)
GLIDE_STUB(guDrawTriangleWithClip, 12)
GLIDE_STUB(grBufferNumPending, 0)
GLIDE_STUB(grRenderBuffer, 4)
GLIDE_STUB(grErrorSetCallback, 4)
GLIDE_STUB(grSstVideoLine, 0)
GLIDE_STUB(grSstVRetraceOn, 0)
GLIDE_STUB(grSstQueryBoards, 4)
GLIDE_STUB(grSstOrigin, 4)
GLIDE_STUB(grSstScreenHeight, 0)
GLIDE_STUB(grSstScreenWidth, 0)
GLIDE_STUB(grSstStatus, 0)
GLIDE_STUB(grSstPerfStats, 4)
GLIDE_STUB(grSstResetPerfStats, 0)
GLIDE_STUB(grResetTriStats, 0)
GLIDE_STUB(grTriStats, 8)
GLIDE_STUB(grChromakeyMode, 4)
GLIDE_STUB(grChromakeyValue, 4)
GLIDE_STUB(grCullMode, 4)
GLIDE_STUB(grConstantColorValue4, 16)
GLIDE_STUB(grDepthBiasLevel, 4)
GLIDE_STUB(grDisableAllEffects, 0)
GLIDE_STUB(grDitherMode, 4)
GLIDE_STUB(grSplash, 20)
GLIDE_STUB(grTexCalcMemRequired, 16)
GLIDE_STUB(grTexNCCTable, 8)
GLIDE_STUB(grTexCombine, 28)
GLIDE_STUB(grTexDetailControl, 16)
GLIDE_STUB(grTexDownloadMipMapLevel, 32)
GLIDE_STUB(grTexDownloadMipMapLevelPartial, 40)
GLIDE_STUB(ConvertAndDownloadRle, 64)
GLIDE_STUB(grCheckForRoom, 4)
GLIDE_STUB(grTexDownloadTable, 12)
GLIDE_STUB(grTexDownloadTablePartial, 20)
GLIDE_STUB(grTexMultibase, 8)
GLIDE_STUB(grTexMultibaseAddress, 20)
GLIDE_STUB(guTexAllocateMemory, 60)
GLIDE_STUB(guTexChangeAttributes, 48)
GLIDE_STUB(guTexCombineFunction, 8)
GLIDE_STUB(guTexGetCurrentMipMap, 4)
GLIDE_STUB(guTexGetMipMapInfo, 4)
GLIDE_STUB(guTexMemReset, 0)
GLIDE_STUB(guTexDownloadMipMap, 12)
GLIDE_STUB(guTexDownloadMipMapLevel, 12)
GLIDE_STUB(guTexSource, 4)
GLIDE_STUB(guColorCombineFunction, 4)
GLIDE_STUB(grLfbLock, 24)
GLIDE_STUB(grLfbUnlock, 8)
GLIDE_STUB(grLfbConstantAlpha, 4)
GLIDE_STUB(grLfbConstantDepth, 4)
GLIDE_STUB(grLfbWriteColorSwizzle, 8)
GLIDE_STUB(grLfbWriteColorFormat, 4)
GLIDE_STUB(grLfbWriteRegion, 32)
GLIDE_STUB(grAADrawLine, 8)
GLIDE_STUB(grAADrawPoint, 4)
GLIDE_STUB(grAADrawPolygon, 12)
GLIDE_STUB(grAADrawPolygonVertexList, 8)
GLIDE_STUB(grAADrawTriangle, 24)
GLIDE_STUB(grGlideGetState, 4)
GLIDE_STUB(grGlideSetState, 4)
GLIDE_STUB(grGlideShamelessPlug, 4)
GLIDE_STUB(guFogTableIndexToW, 4)
GLIDE_STUB(guFogGenerateExp, 8)
GLIDE_STUB(guFogGenerateExp2, 8)
