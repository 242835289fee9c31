// The DirectDraw 7 / Direct3D 7 layer over OpenGL. The back buffer is the GL
// back buffer of the window's context; blit and flip swap it; a lock of it
// reads the pixels back as 5-6-5. Textures keep their 16-bit texels in
// memory and go to GL when a level is unlocked. Pre-transformed vertices are
// drawn with an orthographic projection, their texture coordinates carrying
// rhw so they follow perspective as the device's do; the device's pixel
// centres sit half a pixel before GL's.
#include "quarn/platform/d3d7.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <GL/gl.h>
#include <GL/glx.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include "quarn/platform/scaled_present.h"
#include "quarn/platform/window.h"

#define QGL_TEXTURE0 0x84C0
#define QGL_COMBINE 0x8570
#define QGL_COMBINE_RGB 0x8571
#define QGL_COMBINE_ALPHA 0x8572
#define QGL_SOURCE0_RGB 0x8580
#define QGL_SOURCE1_RGB 0x8581
#define QGL_SOURCE2_RGB 0x8582
#define QGL_SOURCE0_ALPHA 0x8588
#define QGL_SOURCE1_ALPHA 0x8589
#define QGL_OPERAND0_RGB 0x8590
#define QGL_OPERAND1_RGB 0x8591
#define QGL_OPERAND2_RGB 0x8592
#define QGL_OPERAND0_ALPHA 0x8598
#define QGL_OPERAND1_ALPHA 0x8599
#define QGL_INTERPOLATE 0x8575
#define QGL_PRIMARY_COLOR 0x8577
#define QGL_PREVIOUS 0x8578
#define QGL_CLAMP_TO_EDGE 0x812F
#define QGL_MIRRORED_REPEAT 0x8370
#define QGL_FOG_COORD_SRC 0x8450
#define QGL_FOG_COORD 0x8451

const Guid IID_IDirectDraw7 = {{0x07, 0xdd}};
const Guid IID_IDirect3D7 = {{0x07, 0xd3}};
const Guid IID_IDirect3DHALDevice = {{0x07, 0xd3, 0x4a}};
const Guid IID_IDirect3DTnLHalDevice = {{0x07, 0xd3, 0x71}};

namespace {

D3dLayerConfig Config;
bool Configured = false;
bool Recording = false;
std::vector<D3dCall> Calls;
std::vector<D3dTLVertex> Drawn;
int Surfaces_alive = 0;

using ActiveTextureFn = void (*)(GLenum);
using MultiTexCoordFn = void (*)(GLenum, GLfloat, GLfloat, GLfloat, GLfloat);
using FogCoordFn = void (*)(GLfloat);
ActiveTextureFn Active_texture = nullptr;
MultiTexCoordFn Multi_tex_coord = nullptr;
FogCoordFn Fog_coord = nullptr;

bool Texture_unit_moved = false;  // an upload rebound unit 0 behind the device's back
Display* Dpy = nullptr;
Window Win = 0;
GLXContext Ctx = nullptr;

void record(D3dCall::Kind kind, uint32_t stage, uint32_t state, uint32_t value) {
  if (Recording) Calls.push_back({kind, stage, state, value});
}

// A call the test asked to fail.
bool fails(const char* name) {
  D3dLayerConfig& c = d3d_layer_config();
  if (c.fail_call != name) return false;
  if (c.fail_after > 0) {
    c.fail_after--;
    return false;
  }
  return true;
}

bool make_context(unsigned long window) {
  if (Ctx) return true;
  Display* dpy = window ? window_main_display() : nullptr;
  if (!dpy) return false;
  XVisualInfo tmpl;
  std::memset(&tmpl, 0, sizeof tmpl);
  tmpl.visualid = window_get_visual_id();
  tmpl.screen = window_get_screen();
  int n = 0;
  XVisualInfo* vi = XGetVisualInfo(dpy, VisualIDMask | VisualScreenMask, &tmpl, &n);
  if (!vi) return false;
  Ctx = glXCreateContext(dpy, vi, nullptr, True);
  XFree(vi);
  if (!Ctx) return false;
  Dpy = dpy;
  Win = static_cast<Window>(window);
  if (!glXMakeCurrent(Dpy, Win, Ctx)) {
    glXDestroyContext(Dpy, Ctx);
    Ctx = nullptr;
    return false;
  }
  auto look = [](const char* name) { return glXGetProcAddressARB(reinterpret_cast<const GLubyte*>(name)); };
  Active_texture = reinterpret_cast<ActiveTextureFn>(look("glActiveTextureARB"));
  Multi_tex_coord = reinterpret_cast<MultiTexCoordFn>(look("glMultiTexCoord4fARB"));
  Fog_coord = reinterpret_cast<FogCoordFn>(look("glFogCoordfEXT"));
  glDisable(GL_DITHER);
  glDisable(GL_CULL_FACE);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glDrawBuffer(GL_BACK);
  glReadBuffer(GL_BACK);
  glFogi(QGL_FOG_COORD_SRC, QGL_FOG_COORD);
  glFogi(GL_FOG_MODE, GL_LINEAR);
  return true;
}

void drop_context() {
  if (!Ctx) return;
  scaled_present_close();
  glXMakeCurrent(Dpy, 0, nullptr);
  glXDestroyContext(Dpy, Ctx);
  Ctx = nullptr;
  Dpy = nullptr;
  Win = 0;
}

// GL counts rows from the bottom of the window; the back buffer sits at the
// window's top left, whatever size the window manager gave the window. In
// full screen it is the offscreen picture, whose rows are its own.
int origin_y(int buffer_h) {
  if (!Ctx || scaled_present_active()) return 0;
  Window root;
  int x, y;
  unsigned int w = 0, h = 0, border, depth;
  if (!XGetGeometry(Dpy, Win, &root, &x, &y, &w, &h, &border, &depth)) return 0;
  return static_cast<int>(h) - buffer_h;
}

void swap() {
  if (!Ctx) return;
  int w = 0, h = 0;
  if (scaled_present_active() && window_get_client_size(&w, &h)) scaled_present_show(w, h);
  glXSwapBuffers(Dpy, Win);
}

int mask_shift(uint32_t mask) {
  if (!mask) return 0;
  int s = 0;
  while (!(mask & (1u << s))) s++;
  return s;
}

// A 16-bit texel's channel as 0..255 by its mask.
uint8_t channel(uint32_t texel, uint32_t mask) {
  if (!mask) return 255;
  const uint32_t max = mask >> mask_shift(mask);
  return static_cast<uint8_t>(((texel & mask) >> mask_shift(mask)) * 255u / max);
}

void upload_level(DirectDrawSurface7* s) {
  if (!Ctx || !s->top) return;
  DirectDrawSurface7* top = s->top;
  if (!top->gl_name) glGenTextures(1, &top->gl_name);
  const DDPIXELFORMAT& f = top->desc.ddpfPixelFormat;
  const uint32_t w = s->desc.dwWidth, h = s->desc.dwHeight;
  std::vector<uint8_t> rgba(static_cast<size_t>(w) * h * 4);
  const bool alpha = (f.dwFlags & DDPF_ALPHAPIXELS) != 0;
  for (size_t i = 0; i < static_cast<size_t>(w) * h; i++) {
    const uint32_t t = s->pixels[2 * i] | (s->pixels[2 * i + 1] << 8);
    rgba[4 * i] = channel(t, f.dwRBitMask);
    rgba[4 * i + 1] = channel(t, f.dwGBitMask);
    rgba[4 * i + 2] = channel(t, f.dwBBitMask);
    rgba[4 * i + 3] = alpha ? channel(t, f.dwRGBAlphaBitMask) : 255;
  }
  if (Active_texture) Active_texture(QGL_TEXTURE0);
  glBindTexture(GL_TEXTURE_2D, top->gl_name);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, std::max(0, static_cast<int>(top->desc.dwMipMapCount) - 1));
  Texture_unit_moved = true;
  glTexImage2D(GL_TEXTURE_2D, s->level, GL_RGBA, static_cast<GLsizei>(w), static_cast<GLsizei>(h), 0, GL_RGBA,
               GL_UNSIGNED_BYTE, rgba.data());
}

GLenum gl_cmp(uint32_t f) {
  switch (f) {
    case D3DCMP_NEVER: return GL_NEVER;
    case D3DCMP_LESS: return GL_LESS;
    case D3DCMP_EQUAL: return GL_EQUAL;
    case D3DCMP_LESSEQUAL: return GL_LEQUAL;
    case D3DCMP_GREATER: return GL_GREATER;
    case D3DCMP_NOTEQUAL: return GL_NOTEQUAL;
    case D3DCMP_GREATEREQUAL: return GL_GEQUAL;
    default: return GL_ALWAYS;
  }
}

GLenum gl_blend(uint32_t b) {
  switch (b) {
    case D3DBLEND_ZERO: return GL_ZERO;
    case D3DBLEND_ONE: return GL_ONE;
    case D3DBLEND_SRCCOLOR: return GL_SRC_COLOR;
    case D3DBLEND_INVSRCCOLOR: return GL_ONE_MINUS_SRC_COLOR;
    case D3DBLEND_SRCALPHA: return GL_SRC_ALPHA;
    case D3DBLEND_INVSRCALPHA: return GL_ONE_MINUS_SRC_ALPHA;
    case D3DBLEND_DESTALPHA: return GL_DST_ALPHA;
    case D3DBLEND_INVDESTALPHA: return GL_ONE_MINUS_DST_ALPHA;
    case D3DBLEND_DESTCOLOR: return GL_DST_COLOR;
    case D3DBLEND_INVDESTCOLOR: return GL_ONE_MINUS_DST_COLOR;
    case D3DBLEND_SRCALPHASAT: return GL_SRC_ALPHA_SATURATE;
    default: return GL_ONE;
  }
}

GLenum gl_arg(uint32_t a) {
  switch (a & 0xF) {
    case D3DTA_TEXTURE: return GL_TEXTURE;
    case D3DTA_CURRENT: return QGL_PREVIOUS;
    default: return QGL_PRIMARY_COLOR;
  }
}

GLenum gl_address(uint32_t a) {
  switch (a) {
    case D3DTADDRESS_CLAMP: return QGL_CLAMP_TO_EDGE;
    case D3DTADDRESS_MIRROR: return QGL_MIRRORED_REPEAT;
    default: return GL_REPEAT;
  }
}

void bind_sampled(Direct3DDevice7* d, int stage);
void set_combiners(const uint32_t* s);

// The textures GL has bound are held, so a freed surface's address never
// passes for the one bound.
void set_applied(Direct3DDevice7* d, int stage) {
  DirectDrawSurface7* t = d->texture[stage];
  if (t == d->applied_texture[stage]) return;
  if (t) t->AddRef();
  if (d->applied_texture[stage]) d->applied_texture[stage]->Release();
  d->applied_texture[stage] = t;
}

// One stage's combiner: a disabled stage and every one after it pass the
// colour through; a stage without a texture samples nothing (untextured).
bool apply_stage(Direct3DDevice7* d, int stage) {
  const uint32_t* s = d->stage_state[stage];
  if (Active_texture) Active_texture(QGL_TEXTURE0 + stage);
  DirectDrawSurface7* tex = d->texture[stage];
  if (s[D3DTSS_COLOROP] == D3DTOP_DISABLE || !tex || !tex->gl_name) {
    glDisable(GL_TEXTURE_2D);
    return s[D3DTSS_COLOROP] != D3DTOP_DISABLE;
  }
  glEnable(GL_TEXTURE_2D);
  bind_sampled(d, stage);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, QGL_COMBINE);
  set_combiners(s);
  return true;
}

// Binds the stage's texture on the current unit and gives it the stage's
// wrap and filter values when they differ from those it has.
void bind_sampled(Direct3DDevice7* d, int stage) {
  const uint32_t* s = d->stage_state[stage];
  DirectDrawSurface7* tex = d->texture[stage];
  glBindTexture(GL_TEXTURE_2D, tex->gl_name);
  const uint64_t key = (static_cast<uint64_t>(s[D3DTSS_ADDRESSU] & 0xFF)) | (static_cast<uint64_t>(s[D3DTSS_ADDRESSV] & 0xFF) << 8) |
                       (static_cast<uint64_t>(s[D3DTSS_MAGFILTER] & 0xFF) << 16) |
                       (static_cast<uint64_t>(s[D3DTSS_MINFILTER] & 0xFF) << 24) |
                       (static_cast<uint64_t>(s[D3DTSS_MIPFILTER] & 0xFF) << 32);
  if (tex->sampler == key) return;
  tex->sampler = key;
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, gl_address(s[D3DTSS_ADDRESSU]));
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, gl_address(s[D3DTSS_ADDRESSV]));
  const bool lin_mag = s[D3DTSS_MAGFILTER] != D3DTFG_POINT;
  const bool lin_min = s[D3DTSS_MINFILTER] != D3DTFN_POINT;
  const bool mips = tex->desc.dwMipMapCount > 1 && s[D3DTSS_MIPFILTER] != D3DTFP_NONE &&
                    s[D3DTSS_MIPFILTER] != 0;
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, lin_mag ? GL_LINEAR : GL_NEAREST);
  GLenum min = lin_min ? GL_LINEAR : GL_NEAREST;
  if (mips) min = lin_min ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, min);
}

void set_combiners(const uint32_t* s) {

  auto combine = [](GLenum which, GLenum src0, GLenum src1, GLenum op0, uint32_t top, uint32_t a1, uint32_t a2,
                    bool alpha) {
    const GLenum operand = alpha ? GL_SRC_ALPHA : GL_SRC_COLOR;
    GLenum mode = GL_REPLACE;
    GLenum x = gl_arg(a1), y = gl_arg(a2);
    switch (top) {
      case D3DTOP_SELECTARG1: mode = GL_REPLACE; break;
      case D3DTOP_SELECTARG2: mode = GL_REPLACE, x = y; break;
      case D3DTOP_MODULATE: mode = GL_MODULATE; break;
      case D3DTOP_ADD: mode = GL_ADD; break;
      case D3DTOP_BLENDTEXTUREALPHA: mode = QGL_INTERPOLATE; break;
      case D3DTOP_DISABLE: mode = GL_REPLACE, x = QGL_PREVIOUS; break;
      default: mode = GL_REPLACE, x = y; break;  // bump mapping: the colour below
    }
    glTexEnvi(GL_TEXTURE_ENV, which, static_cast<GLint>(mode));
    glTexEnvi(GL_TEXTURE_ENV, src0, static_cast<GLint>(x));
    glTexEnvi(GL_TEXTURE_ENV, src1, static_cast<GLint>(y));
    glTexEnvi(GL_TEXTURE_ENV, op0, static_cast<GLint>(operand));
    glTexEnvi(GL_TEXTURE_ENV, op0 + 1, static_cast<GLint>(operand));
    if (!alpha && mode == QGL_INTERPOLATE) {
      glTexEnvi(GL_TEXTURE_ENV, QGL_SOURCE2_RGB, GL_TEXTURE);
      glTexEnvi(GL_TEXTURE_ENV, QGL_OPERAND2_RGB, GL_SRC_ALPHA);
    }
  };
  combine(QGL_COMBINE_RGB, QGL_SOURCE0_RGB, QGL_SOURCE1_RGB, QGL_OPERAND0_RGB, s[D3DTSS_COLOROP],
          s[D3DTSS_COLORARG1], s[D3DTSS_COLORARG2], false);
  combine(QGL_COMBINE_ALPHA, QGL_SOURCE0_ALPHA, QGL_SOURCE1_ALPHA, QGL_OPERAND0_ALPHA, s[D3DTSS_ALPHAOP],
          s[D3DTSS_ALPHAARG1], s[D3DTSS_ALPHAARG2], true);
}

float as_float(uint32_t v) {
  float f;
  std::memcpy(&f, &v, sizeof f);
  return f;
}

void apply_state(Direct3DDevice7* d) {
  const uint32_t* rs = d->render_state;
  // Stage 1 follows stage 0 only while stage 0 is not disabled.
  const bool stage0 = apply_stage(d, 0);
  if (stage0 && d->stage_state[0][D3DTSS_COLOROP] != D3DTOP_DISABLE) {
    apply_stage(d, 1);
  } else {
    if (Active_texture) Active_texture(QGL_TEXTURE0 + 1);
    glDisable(GL_TEXTURE_2D);
  }
  if (Active_texture) Active_texture(QGL_TEXTURE0);

  if (rs[D3DRENDERSTATE_ALPHABLENDENABLE]) {
    glEnable(GL_BLEND);
    uint32_t src = rs[D3DRENDERSTATE_SRCBLEND], dst = rs[D3DRENDERSTATE_DESTBLEND];
    if (src == D3DBLEND_BOTHSRCALPHA) src = D3DBLEND_SRCALPHA, dst = D3DBLEND_INVSRCALPHA;
    if (src == D3DBLEND_BOTHINVSRCALPHA) src = D3DBLEND_INVSRCALPHA, dst = D3DBLEND_SRCALPHA;
    glBlendFunc(gl_blend(src), gl_blend(dst));
  } else {
    glDisable(GL_BLEND);
  }
  if (rs[D3DRENDERSTATE_ALPHATESTENABLE]) {
    glEnable(GL_ALPHA_TEST);
    glAlphaFunc(gl_cmp(rs[D3DRENDERSTATE_ALPHAFUNC]), static_cast<float>(rs[D3DRENDERSTATE_ALPHAREF] & 255) / 255.0f);
  } else {
    glDisable(GL_ALPHA_TEST);
  }
  if (rs[D3DRENDERSTATE_ZENABLE]) {
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(gl_cmp(rs[D3DRENDERSTATE_ZFUNC]));
  } else if (rs[D3DRENDERSTATE_ZWRITEENABLE]) {
    // Writing without testing: GL writes depth only while the test is on.
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_ALWAYS);
  } else {
    glDisable(GL_DEPTH_TEST);
  }
  glDepthMask(rs[D3DRENDERSTATE_ZWRITEENABLE] ? GL_TRUE : GL_FALSE);
  if (rs[D3DRENDERSTATE_FOGENABLE] && Fog_coord) {
    glEnable(GL_FOG);
    const uint32_t c = rs[D3DRENDERSTATE_FOGCOLOR];
    const GLfloat colour[4] = {((c >> 16) & 255) / 255.0f, ((c >> 8) & 255) / 255.0f, (c & 255) / 255.0f, 1.0f};
    glFogfv(GL_FOG_COLOR, colour);
    if (rs[D3DRENDERSTATE_FOGTABLEMODE] != D3DFOG_NONE) {
      glFogf(GL_FOG_START, as_float(rs[D3DRENDERSTATE_FOGSTART]));
      glFogf(GL_FOG_END, as_float(rs[D3DRENDERSTATE_FOGEND]));
    } else {
      glFogf(GL_FOG_START, 0.0f);
      glFogf(GL_FOG_END, 1.0f);
    }
  } else {
    glDisable(GL_FOG);
  }
}

void set_projection(Direct3DDevice7* d) {
  const DirectDrawSurface7* t = d->target;
  const int w = t ? static_cast<int>(t->desc.dwWidth) : 1, h = t ? static_cast<int>(t->desc.dwHeight) : 1;
  const int oy = origin_y(h);
  glViewport(0, oy, w, h);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  // Depth: the device's z in [0, 1] is the window depth.
  glOrtho(0.0, w, h, 0.0, 0.0, -1.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glEnable(GL_SCISSOR_TEST);
  const D3DVIEWPORT7& vp = d->viewport;
  glScissor(static_cast<GLint>(vp.dwX), oy + h - static_cast<GLint>(vp.dwY + vp.dwHeight), static_cast<GLsizei>(vp.dwWidth),
            static_cast<GLsizei>(vp.dwHeight));
}

void emit(Direct3DDevice7* d, const D3dTLVertex& v) {
  const uint32_t* rs = d->render_state;
  const float q = v.rhw > 0.0f ? v.rhw : 1.0f;
  glColor4ub(static_cast<GLubyte>(v.diffuse >> 16), static_cast<GLubyte>(v.diffuse >> 8),
             static_cast<GLubyte>(v.diffuse), static_cast<GLubyte>(v.diffuse >> 24));
  if (Multi_tex_coord) {
    const uint32_t i0 = d->stage_state[0][D3DTSS_TEXCOORDINDEX] & 1, i1 = d->stage_state[1][D3DTSS_TEXCOORDINDEX] & 1;
    Multi_tex_coord(QGL_TEXTURE0, (i0 ? v.u2 : v.u) * q, (i0 ? v.v2 : v.v) * q, 0.0f, q);
    Multi_tex_coord(QGL_TEXTURE0 + 1, (i1 ? v.u2 : v.u) * q, (i1 ? v.v2 : v.v) * q, 0.0f, q);
  }
  if (Fog_coord && rs[D3DRENDERSTATE_FOGENABLE]) {
    if (rs[D3DRENDERSTATE_FOGTABLEMODE] != D3DFOG_NONE) {
      // Table fog runs on w for a perspective projection, else on depth.
      const bool w_fog = (d->caps.dwRasterCaps & D3DPRASTERCAPS_WFOG) && d->projection.m[2][3] != 0.0f;
      Fog_coord(w_fog ? 1.0f / q : v.z);
    } else {
      Fog_coord(1.0f - static_cast<float>(v.specular >> 24) / 255.0f);
    }
  }
  // Depth, colour and fog run straight across the screen as the device's
  // rasteriser runs them; texture coordinates carry 1/w for perspective.
  glVertex3f(v.x + 0.5f, v.y + 0.5f, v.z);
}

void draw(Direct3DDevice7* d, GLenum mode, const D3dTLVertex* v, const uint16_t* idx, uint32_t n) {
  if (!d->use_gl || !Ctx) return;
  // A change of texture alone, to another texture with contents, needs only
  // the bind: the common case of many bitmaps drawn one after another.
  if (!d->gl_dirty && !Texture_unit_moved && d->texture_dirty) {
    for (int i = 0; i < 2 && !d->gl_dirty; i++) {
      DirectDrawSurface7* t = d->texture[i];
      const DirectDrawSurface7* a = d->applied_texture[i];
      if (t == a) continue;
      if (!t || !a || !t->gl_name || !a->gl_name) d->gl_dirty = true;
    }
    if (!d->gl_dirty) {
      for (int i = 1; i >= 0; i--) {
        if (d->texture[i] == d->applied_texture[i]) continue;
        if (Active_texture) Active_texture(QGL_TEXTURE0 + i);
        bind_sampled(d, i);
        set_applied(d, i);
      }
      d->texture_dirty = false;
    }
  }
  if (d->gl_dirty || Texture_unit_moved || d->texture_dirty) {
    Texture_unit_moved = false;
    set_projection(d);
    apply_state(d);
    d->gl_dirty = d->texture_dirty = false;
    set_applied(d, 0);
    set_applied(d, 1);
  }
  glBegin(mode);
  for (uint32_t i = 0; i < n; i++) emit(d, v[idx ? idx[i] : i]);
  glEnd();
}

D3DDEVICEDESC7 default_caps() {
  D3DDEVICEDESC7 c;
  c.dwDevCaps = D3DDEVCAPS_DRAWPRIMITIVES2EX;
  // Table fog on depth values, the way the OpenGL renderer fogs, so a scene
  // looks the same under either renderer.
  c.dwRasterCaps = D3DPRASTERCAPS_FOGTABLE | D3DPRASTERCAPS_FOGVERTEX;
  c.dwSrcBlendCaps = D3DPBLENDCAPS_SRCALPHA | D3DPBLENDCAPS_DESTCOLOR | D3DPBLENDCAPS_BOTHSRCALPHA;
  c.dwDestBlendCaps = D3DPBLENDCAPS_INVSRCALPHA | D3DPBLENDCAPS_BOTHINVSRCALPHA;
  c.dwTextureCaps = D3DPTEXTURECAPS_POW2;
  c.dwTextureBlendCaps = D3DPTBLENDCAPS_MODULATE | D3DPTBLENDCAPS_MODULATEALPHA;
  c.dwMinTextureWidth = c.dwMinTextureHeight = 1;
  c.dwMaxTextureWidth = c.dwMaxTextureHeight = 2048;
  c.wMaxTextureBlendStages = 2;
  c.wMaxSimultaneousTextures = 2;
  c.deviceGUID = IID_IDirect3DHALDevice;
  return c;
}

}  // namespace

uint32_t LayerObject::Release() {
  if (--refs_ == 0) {
    delete this;
    return 0;
  }
  return refs_;
}

D3dLayerDevice d3d_layer_default_device() {
  return {"Orrimund software display", "Hardware device", default_caps()};
}

DDPIXELFORMAT d3d_layer_rgb_format(uint32_t bits, uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
  DDPIXELFORMAT f;
  f.dwFlags = DDPF_RGB | (a ? DDPF_ALPHAPIXELS : 0u);
  f.dwRGBBitCount = bits;
  f.dwRBitMask = r;
  f.dwGBitMask = g;
  f.dwBBitMask = b;
  f.dwRGBAlphaBitMask = a;
  return f;
}

void d3d_layer_reset_config() {
  Config = D3dLayerConfig();
  Config.devices = {d3d_layer_default_device()};
  Config.texture_formats = {d3d_layer_rgb_format(16, 0xF800, 0x07E0, 0x001F, 0),
                            d3d_layer_rgb_format(16, 0x7C00, 0x03E0, 0x001F, 0x8000),
                            d3d_layer_rgb_format(16, 0x0F00, 0x00F0, 0x000F, 0xF000)};
  DDPIXELFORMAT z;
  z.dwFlags = DDPF_ZBUFFER;
  z.dwRGBBitCount = 16;
  Config.zbuffer_formats = {z};
  // End-to-end tests make the real program's start-up fail at a named call.
  if (const char* fail = std::getenv("ORRIMUND_D3D_FAIL")) Config.fail_call = fail;
  Configured = true;
}

D3dLayerConfig& d3d_layer_config() {
  if (!Configured) d3d_layer_reset_config();
  return Config;
}

void d3d_layer_record(bool on) {
  Recording = on;
  Calls.clear();
  Drawn.clear();
}
std::vector<D3dCall>& d3d_layer_calls() { return Calls; }
std::vector<D3dTLVertex>& d3d_layer_drawn_vertices() { return Drawn; }
int d3d_layer_surfaces_alive() { return Surfaces_alive; }

bool d3d_layer_load_library(const char*) { return d3d_layer_config().library; }
bool d3d_layer_lookup(const char*) { return d3d_layer_config().entry; }

HRESULT DirectDrawEnumerateA(DirectDrawEnumCallback cb, void* ctx) {
  if (fails("DirectDrawEnumerateA")) return d3d_layer_config().fail_result;
  D3dLayerConfig& c = d3d_layer_config();
  // The primary display driver (no GUID), then a second one the game never lists.
  if (cb(nullptr, c.driver_description.data(), c.driver_name.data(), ctx) == DDENUMRET_CANCEL) return DD_OK;
  Guid second = {{0x02}};
  char desc[] = "Secondary display";
  char name[] = "display2";
  cb(&second, desc, name, ctx);
  return DD_OK;
}

HRESULT DirectDrawCreateEx(const Guid*, void** out, const Guid& iid, void*) {
  if (fails("DirectDrawCreateEx")) return d3d_layer_config().fail_result;
  if (!(iid == IID_IDirectDraw7)) return E_INVALIDARG;
  *out = new DirectDraw7();
  return DD_OK;
}

HRESULT DirectDraw7::QueryInterface(const Guid& iid, void** out) {
  if (fails("QueryInterface") || !(iid == IID_IDirect3D7)) return E_INVALIDARG;
  auto* d3d = new Direct3D7();
  d3d->ddraw = this;
  *out = d3d;
  return DD_OK;
}

HRESULT DirectDraw7::GetDeviceIdentifier(DDDEVICEIDENTIFIER2* id, uint32_t) {
  if (fails("GetDeviceIdentifier")) return d3d_layer_config().fail_result;
  const D3dLayerConfig& c = d3d_layer_config();
  *id = DDDEVICEIDENTIFIER2();
  std::snprintf(id->szDriver, sizeof id->szDriver, "%s", c.driver_name.c_str());
  std::snprintf(id->szDescription, sizeof id->szDescription, "%s", c.driver_description.c_str());
  id->dwVendorId = c.vendor_id;
  id->dwDeviceId = c.device_id;
  return DD_OK;
}

HRESULT DirectDraw7::SetCooperativeLevel(unsigned long w, uint32_t flags) {
  if (fails("SetCooperativeLevel")) return d3d_layer_config().fail_result;
  window = w;
  cooperative = flags;
  return DD_OK;
}

// The window layer has already made the window the size of the screen.
HRESULT DirectDraw7::SetDisplayMode(uint32_t, uint32_t, uint32_t bpp, uint32_t, uint32_t) {
  if (fails("SetDisplayMode")) return d3d_layer_config().fail_result;
  return bpp == 16 ? DD_OK : DDERR_UNSUPPORTED;
}

HRESULT DirectDraw7::RestoreDisplayMode() { return DD_OK; }

HRESULT DirectDraw7::CreateSurface(DDSURFACEDESC2* desc, DirectDrawSurface7** out, void*) {
  if (fails("CreateSurface")) return d3d_layer_config().fail_result;
  if (!desc || !out) return DDERR_INVALIDPARAMS;
  auto make = [](const DDSURFACEDESC2& d) {
    auto* s = new DirectDrawSurface7();
    Surfaces_alive++;
    s->desc = d;
    s->top = s;
    s->desc.lPitch = static_cast<int32_t>(d.dwWidth * 2);
    s->pixels.assign(static_cast<size_t>(d.dwWidth) * d.dwHeight * 2, 0);
    return s;
  };
  DDSURFACEDESC2 d = *desc;
  if (d.dwCaps & DDSCAPS_PRIMARYSURFACE) {
    // The primary surface is the window: as large as the back buffer.
    d.dwWidth = d.dwHeight = 0;
  }
  if (d.dwCaps & DDSCAPS_TEXTURE) {
    if (d.dwWidth < 1 || d.dwHeight < 1 || d.dwWidth > 2048 || d.dwHeight > 2048) return DDERR_INVALIDPARAMS;
    if (!(d.dwFlags & DDSD_MIPMAPCOUNT) || !(d.dwCaps & DDSCAPS_MIPMAP)) d.dwMipMapCount = 1;
  }
  DirectDrawSurface7* s = make(d);
  if ((d.dwCaps & DDSCAPS_FLIP) && (d.dwCaps & DDSCAPS_COMPLEX)) {
    DDSURFACEDESC2 back = d;
    back.dwCaps = (d.dwCaps & ~(DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX)) | DDSCAPS_BACKBUFFER;
    back.dwWidth = desc->dwWidth;
    back.dwHeight = desc->dwHeight;
    s->attached = make(back);
  }
  if ((d.dwCaps & DDSCAPS_MIPMAP) && d.dwMipMapCount > 1) {
    DirectDrawSurface7* prev = s;
    uint32_t w = d.dwWidth, h = d.dwHeight;
    for (uint32_t i = 1; i < d.dwMipMapCount; i++) {
      w = std::max(1u, w / 2);
      h = std::max(1u, h / 2);
      DDSURFACEDESC2 ld = d;
      ld.dwWidth = w;
      ld.dwHeight = h;
      DirectDrawSurface7* l = make(ld);
      l->top = s;
      l->level = static_cast<int>(i);
      prev->attached = l;
      prev = l;
    }
  }
  *out = s;
  return DD_OK;
}

HRESULT DirectDraw7::CreateClipper(uint32_t, DirectDrawClipper** out, void*) {
  if (fails("CreateClipper")) return d3d_layer_config().fail_result;
  *out = new DirectDrawClipper();
  return DD_OK;
}

HRESULT DirectDraw7::GetAvailableVidMem(const uint32_t*, uint32_t* total, uint32_t* free) {
  if (fails("GetAvailableVidMem")) return d3d_layer_config().fail_result;
  if (total) *total = d3d_layer_config().free_texture_memory;
  if (free) *free = d3d_layer_config().free_texture_memory;
  return DD_OK;
}

HRESULT DirectDrawClipper::SetHWnd(uint32_t, unsigned long w) {
  window = w;
  return DD_OK;
}

DirectDrawSurface7::~DirectDrawSurface7() {
  Surfaces_alive--;
  if (gl_name && Ctx) glDeleteTextures(1, &gl_name);
  // Attached surfaces of a complex surface (back buffer, mip levels) go with
  // it; a z-buffer attached by the caller holds its own reference.
  if (attached) attached->Release();
}

HRESULT DirectDrawSurface7::GetAttachedSurface(const uint32_t*, DirectDrawSurface7** out) {
  if (fails("GetAttachedSurface")) return d3d_layer_config().fail_result;
  if (!attached) return DDERR_NOTFOUND;
  attached->AddRef();
  *out = attached;
  return DD_OK;
}

HRESULT DirectDrawSurface7::AddAttachedSurface(DirectDrawSurface7* s) {
  if (fails("AddAttachedSurface")) return d3d_layer_config().fail_result;
  if (attached) return DDERR_INVALIDPARAMS;
  s->AddRef();
  attached = s;
  return DD_OK;
}

HRESULT DirectDrawSurface7::SetClipper(DirectDrawClipper*) { return fails("SetClipper") ? DDERR_GENERIC : DD_OK; }

HRESULT DirectDrawSurface7::Blt(Rect*, DirectDrawSurface7*, Rect*, uint32_t, void*) {
  if (fails("Blt")) return d3d_layer_config().fail_result;
  record(D3dCall::FLIP, 0, 0, 0);
  swap();
  return DD_OK;
}

HRESULT DirectDrawSurface7::GetBltStatus(uint32_t) { return DD_OK; }
HRESULT DirectDrawSurface7::IsLost() { return lost ? DDERR_SURFACELOST : DD_OK; }
HRESULT DirectDrawSurface7::Restore() {
  lost = false;
  return DD_OK;
}

HRESULT DirectDrawSurface7::Flip(DirectDrawSurface7*, uint32_t) {
  if (fails("Flip")) return d3d_layer_config().fail_result;
  if (lost) return DDERR_SURFACELOST;
  record(D3dCall::FLIP, 0, 0, 0);
  swap();
  return DD_OK;
}

HRESULT DirectDrawSurface7::Lock(Rect*, DDSURFACEDESC2* out, uint32_t, void*) {
  if (fails("Lock")) return d3d_layer_config().fail_result;
  if (locked) return DDERR_SURFACEBUSY;
  const bool render_target = (desc.dwCaps & (DDSCAPS_BACKBUFFER | DDSCAPS_OFFSCREENPLAIN)) != 0;
  if (render_target && Ctx) {
    // The back buffer as 5-6-5, rows from the top.
    const int w = static_cast<int>(desc.dwWidth), h = static_cast<int>(desc.dwHeight);
    std::vector<uint8_t> rgb(static_cast<size_t>(w) * h * 3);
    glReadPixels(0, origin_y(h), w, h, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    for (int y = 0; y < h; y++) {
      const uint8_t* src = rgb.data() + static_cast<size_t>(h - 1 - y) * w * 3;
      uint8_t* dst = pixels.data() + static_cast<size_t>(y) * w * 2;
      for (int x = 0; x < w; x++, src += 3) {
        // Rounded to the nearest level of a channel widened by shifting, as
        // the screenshot code widens it.
        const uint32_t r = std::min(31u, (src[0] + 4u) >> 3), g = std::min(63u, (src[1] + 2u) >> 2),
                       b = std::min(31u, (src[2] + 4u) >> 3);
        const uint32_t v = (r << 11) | (g << 5) | b;
        dst[2 * x] = static_cast<uint8_t>(v);
        dst[2 * x + 1] = static_cast<uint8_t>(v >> 8);
      }
    }
  }
  locked = true;
  *out = desc;
  out->lpSurface = pixels.data();
  out->lPitch = static_cast<int32_t>(desc.dwWidth * 2);
  return DD_OK;
}

HRESULT DirectDrawSurface7::Unlock(Rect*) {
  if (!locked) return DDERR_NOTLOCKED;
  locked = false;
  if (desc.dwCaps & DDSCAPS_TEXTURE) upload_level(this);
  return DD_OK;
}

HRESULT Direct3D7::EnumDevices(DeviceCallback cb, void* ctx) {
  if (fails("EnumDevices")) return d3d_layer_config().fail_result;
  for (D3dLayerDevice& d : d3d_layer_config().devices) {
    D3DDEVICEDESC7 desc = d.caps;
    if (cb(d.description.empty() ? nullptr : d.description.data(), d.name.data(), &desc, ctx) == D3DENUMRET_CANCEL)
      break;
  }
  return D3D_OK;
}

HRESULT Direct3D7::EnumZBufferFormats(const Guid&, ZFormatCallback cb, void* ctx) {
  if (fails("EnumZBufferFormats")) return d3d_layer_config().fail_result;
  for (DDPIXELFORMAT f : d3d_layer_config().zbuffer_formats)
    if (cb(&f, ctx) == D3DENUMRET_CANCEL) break;
  return D3D_OK;
}

HRESULT Direct3D7::CreateDevice(const Guid& guid, DirectDrawSurface7* target, Direct3DDevice7** out) {
  if (fails("CreateDevice")) return d3d_layer_config().fail_result;
  const D3DDEVICEDESC7* caps = nullptr;
  for (const D3dLayerDevice& d : d3d_layer_config().devices)
    if (d.caps.deviceGUID == guid) caps = &d.caps;
  if (!caps || !target) return DDERR_INVALIDPARAMS;
  auto* dev = new Direct3DDevice7();
  dev->caps = *caps;
  dev->target = target;
  target->AddRef();
  dev->use_gl = ddraw && make_context(ddraw->window);
  // The display keeps the desktop's mode: a full-screen back buffer is
  // drawn apart and stretched over the window at each flip.
  if (dev->use_gl && (ddraw->cooperative & DDSCL_FULLSCREEN))
    scaled_present_open(static_cast<int>(target->desc.dwWidth), static_cast<int>(target->desc.dwHeight));
  dev->viewport = {0, 0, target->desc.dwWidth, target->desc.dwHeight, 0.0f, 1.0f};
  *out = dev;
  return D3D_OK;
}

HRESULT Direct3D7::CreateVertexBuffer(D3DVERTEXBUFFERDESC* desc, Direct3DVertexBuffer7** out, uint32_t) {
  if (fails("CreateVertexBuffer")) return d3d_layer_config().fail_result;
  if (!desc || desc->dwFVF != D3DFVF_TLVERTEX2 || desc->dwNumVertices == 0) return DDERR_INVALIDPARAMS;
  auto* vb = new Direct3DVertexBuffer7();
  vb->vertices.resize(desc->dwNumVertices);
  *out = vb;
  return D3D_OK;
}

HRESULT Direct3D7::EvictManagedTextures() { return D3D_OK; }

HRESULT Direct3DVertexBuffer7::Lock(uint32_t, void** data, uint32_t* size) {
  if (fails("VertexBufferLock")) return d3d_layer_config().fail_result;
  *data = vertices.data();
  if (size) *size = static_cast<uint32_t>(vertices.size() * sizeof(D3dTLVertex));
  return D3D_OK;
}
HRESULT Direct3DVertexBuffer7::Unlock() { return D3D_OK; }

Direct3DDevice7::~Direct3DDevice7() {
  for (auto*& t : texture)
    if (t) t->Release(), t = nullptr;
  for (auto*& t : applied_texture)
    if (t) t->Release(), t = nullptr;
  if (target) target->Release();
  if (use_gl) drop_context();
}

HRESULT Direct3DDevice7::GetCaps(D3DDEVICEDESC7* desc) {
  if (fails("GetCaps")) return d3d_layer_config().fail_result;
  *desc = caps;
  return D3D_OK;
}

HRESULT Direct3DDevice7::EnumTextureFormats(TextureFormatCallback cb, void* ctx) {
  if (fails("EnumTextureFormats")) return d3d_layer_config().fail_result;
  for (DDPIXELFORMAT f : d3d_layer_config().texture_formats)
    if (cb(&f, ctx) == D3DENUMRET_CANCEL) break;
  return D3D_OK;
}

HRESULT Direct3DDevice7::SetTransform(uint32_t which, D3DMATRIX* m) {
  if (fails("SetTransform")) return d3d_layer_config().fail_result;
  if (which == D3DTRANSFORMSTATE_PROJECTION) projection = *m;
  return D3D_OK;
}

HRESULT Direct3DDevice7::SetViewport(D3DVIEWPORT7* vp) {
  if (fails("SetViewport")) return d3d_layer_config().fail_result;
  viewport = *vp;
  gl_dirty = true;
  return D3D_OK;
}

HRESULT Direct3DDevice7::BeginScene() {
  if (in_scene) return DDERR_GENERIC;
  record(D3dCall::BEGIN, 0, 0, 0);
  in_scene = true;
  gl_dirty = true;
  return D3D_OK;
}

HRESULT Direct3DDevice7::EndScene() {
  if (!in_scene) return DDERR_GENERIC;
  record(D3dCall::END, 0, 0, 0);
  in_scene = false;
  return D3D_OK;
}

HRESULT Direct3DDevice7::Clear(uint32_t count, Rect* rects, uint32_t flags, uint32_t color, float z, uint32_t) {
  record(D3dCall::CLEAR, 0, flags, color);
  if (!use_gl || !Ctx) return D3D_OK;
  set_projection(this);
  gl_dirty = true;
  GLbitfield bits = 0;
  if (flags & D3DCLEAR_TARGET) {
    glClearColor(((color >> 16) & 255) / 255.0f, ((color >> 8) & 255) / 255.0f, (color & 255) / 255.0f,
                 ((color >> 24) & 255) / 255.0f);
    bits |= GL_COLOR_BUFFER_BIT;
  }
  if (flags & D3DCLEAR_ZBUFFER) {
    glClearDepth(z);
    glDepthMask(GL_TRUE);
    bits |= GL_DEPTH_BUFFER_BIT;
  }
  const int h = static_cast<int>(target->desc.dwHeight), oy = origin_y(h);
  for (uint32_t i = 0; i < count && rects; i++) {
    const Rect& r = rects[i];
    if (r.right <= r.left || r.bottom <= r.top) continue;
    glScissor(r.left, oy + h - r.bottom, r.right - r.left, r.bottom - r.top);
    glClear(bits);
  }
  return D3D_OK;
}

HRESULT Direct3DDevice7::SetRenderState(D3dRenderState state, uint32_t value) {
  record(D3dCall::RENDER, 0, state, value);
  if (state >= D3DRENDERSTATE_MAX) return DDERR_INVALIDPARAMS;
  if (render_state[state] == value) return D3D_OK;
  render_state[state] = value;
  gl_dirty = true;
  return D3D_OK;
}

HRESULT Direct3DDevice7::SetTextureStageState(uint32_t stage, D3dStageState state, uint32_t value) {
  record(D3dCall::STAGE, stage, state, value);
  if (stage > 1 || state >= D3DTSS_MAX) return DDERR_INVALIDPARAMS;
  if (state == D3DTSS_ADDRESS) {
    stage_state[stage][D3DTSS_ADDRESSU] = stage_state[stage][D3DTSS_ADDRESSV] = value;
  }
  if (stage_state[stage][state] == value && state != D3DTSS_ADDRESS) return D3D_OK;
  stage_state[stage][state] = value;
  gl_dirty = true;
  return D3D_OK;
}

HRESULT Direct3DDevice7::SetTexture(uint32_t stage, DirectDrawSurface7* surface) {
  record(D3dCall::TEXTURE, stage, 0, surface ? 1u : 0u);
  if (stage > 1) return DDERR_INVALIDPARAMS;
  if (surface) surface->AddRef();
  if (texture[stage]) texture[stage]->Release();
  texture[stage] = surface;
  texture_dirty = true;
  return D3D_OK;
}

HRESULT Direct3DDevice7::DrawPrimitive(uint32_t type, uint32_t fvf, void* vertices, uint32_t count, uint32_t) {
  record(D3dCall::DRAW, 0, type, count);
  if (fvf != D3DFVF_TLVERTEX2 || !vertices) return DDERR_INVALIDPARAMS;
  if (Recording) {
    const auto* v = static_cast<const D3dTLVertex*>(vertices);
    Drawn.insert(Drawn.end(), v, v + count);
  }
  const GLenum mode = type == D3DPT_LINELIST ? GL_LINES : type == D3DPT_TRIANGLELIST ? GL_TRIANGLES : GL_TRIANGLE_FAN;
  draw(this, mode, static_cast<const D3dTLVertex*>(vertices), nullptr, count);
  return D3D_OK;
}

HRESULT Direct3DDevice7::DrawPrimitiveVB(uint32_t type, Direct3DVertexBuffer7* vb, uint32_t start, uint32_t count,
                                         uint32_t) {
  record(D3dCall::DRAW, 0, type, count);
  if (!vb || start + count > vb->vertices.size()) return DDERR_INVALIDPARAMS;
  if (Recording) Drawn.insert(Drawn.end(), vb->vertices.begin() + start, vb->vertices.begin() + start + count);
  const GLenum mode = type == D3DPT_LINELIST ? GL_LINES : type == D3DPT_TRIANGLELIST ? GL_TRIANGLES : GL_TRIANGLE_FAN;
  draw(this, mode, vb->vertices.data() + start, nullptr, count);
  return D3D_OK;
}

HRESULT Direct3DDevice7::DrawIndexedPrimitiveVB(uint32_t type, Direct3DVertexBuffer7* vb, uint32_t start,
                                                uint32_t count, uint16_t* indices, uint32_t index_count, uint32_t) {
  record(D3dCall::DRAW, 1, type, index_count);
  if (!vb || !indices || start + count > vb->vertices.size()) return DDERR_INVALIDPARAMS;
  for (uint32_t i = 0; i < index_count; i++)
    if (indices[i] >= count) return DDERR_INVALIDPARAMS;
  if (Recording)
    for (uint32_t i = 0; i < index_count; i++) Drawn.push_back(vb->vertices[start + indices[i]]);
  draw(this, type == D3DPT_TRIANGLELIST ? GL_TRIANGLES : GL_TRIANGLE_FAN, vb->vertices.data() + start, indices,
       index_count);
  return D3D_OK;
}
