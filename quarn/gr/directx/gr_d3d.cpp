// The Direct3D renderer: start-up and the device's checks, the render-state
// word mapped onto render and texture-stage states, and the drawing of
// bitmaps, lines, polygons and meshes as pre-transformed vertices.
#include "quarn/gr/directx/gr_d3d.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "quarn/bmpman/bmpman.h"
#include "quarn/gr/gr3d.h"
#include "quarn/gr/gr_mesh.h"
#include "quarn/gr/gr_tile.h"
#include "quarn/os/cmdline.h"
#include "quarn/os/error.h"
#include "quarn/os/os.h"
#include "quarn/platform/d3d7.h"
#include "quarn/platform/message_box.h"

namespace {

CommandLineOption Opt_fb2("-fb2", "", false);
CommandLineOption Opt_vertexfog("-vertexfog", "", false);

struct DeviceEntry {
  Guid driver{};
  bool has_driver = false;
  Guid device{};
  std::string name;
};
constexpr int MAX_DRIVERS = 8;
constexpr int MAX_DEVICES = 16;
std::vector<DeviceEntry> Drivers, Devices;

DirectDraw7* DDraw = nullptr;
Direct3D7* D3d = nullptr;
Direct3DDevice7* Device = nullptr;
DirectDrawSurface7* Primary = nullptr;
DirectDrawSurface7* Back = nullptr;
DirectDrawSurface7* Zbuffer = nullptr;
Direct3DVertexBuffer7* Vb = nullptr;
GrWindow Window = 0;
bool Windowed = true;
Rect Dest_rect, Src_rect;

D3DDEVICEDESC7 Desc;
bool Multitexture = false;
bool Antialias = false;
bool No_dp2ex = false;
uint32_t Texture_blend_caps = 0;
int Fog_mode = 0;
uint32_t Depth_func = D3DCMP_GREATEREQUAL;
float Depth_clear = 0.0f;
bool Vendor_s3 = false;
int Free_memory = 0;
bool Scene_open = false;
bool Ready = false;
RenderStateWord Last;
float Fog_start_sent = -1.0f, Fog_end_sent = -1.0f;
bool Use_colour = true, Use_alpha = true;
std::string Failure;

// The 2D batch: unscaled bitmaps from one texture page under one state
// collect here as triangles and go to the device as one draw.
constexpr int BATCH_MAX_QUADS = 2048;
D3dTLVertex Batch[6 * BATCH_MAX_QUADS];
int Batch_count = 0;
bool Batching = true;

// Owned by the texture cache but chosen here.
}  // namespace

void gr_d3d_flush_2d() {
  if (Batch_count == 0) return;
  const int n = Batch_count;
  Batch_count = 0;
  if (Device) Device->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_TLVERTEX2, Batch, static_cast<uint32_t>(n), 0);
}

void gr_d3d_batch_2d(bool on) {
  gr_d3d_flush_2d();
  Batching = on;
}

DDPIXELFORMAT Gr_d3d_alpha_format, Gr_d3d_rgb_format, Gr_d3d_bump_format;
bool Gr_d3d_bump_available = false;
D3dTextureRules Gr_d3d_texture_rules;

namespace {
int Alpha_bits = 0, Rgb_bits = 0;

template <class T>
void release(T*& p) {
  if (p) p->Release();
  p = nullptr;
}

void release_all() {
  Batch_count = 0;
  if (Ready || D3d) gr_d3d_tcache_shutdown();
  release(Vb);
  release(Device);
  release(Zbuffer);
  release(Back);
  release(Primary);
  release(D3d);
  if (DDraw) {
    DDraw->RestoreDisplayMode();
    DDraw->SetCooperativeLevel(Window, DDSCL_NORMAL);
  }
  release(DDraw);
  Ready = false;
  Scene_open = false;
}

// A failed call at start-up: everything is released and the renderer is
// unavailable, with a line that names the call.
bool failed(const char* call, HRESULT hr) {
  char text[256];
  std::snprintf(text, sizeof text, "Direct3D: %s failed: %s", call, gr_d3d_error_text(hr));
  Failure = text;
  std::printf("%s\n", text);
  release_all();
  return false;
}

// A refusal the player must read: the box, then exit code 1.
[[noreturn]] void refuse(const char* text, const char* title) {
  release_all();
  platform_message_box(text, title);
  std::exit(1);
}

uint32_t f2dw(float f) {
  uint32_t v;
  std::memcpy(&v, &f, sizeof v);
  return v;
}

void rs(D3dRenderState s, uint32_t v) { Device->SetRenderState(s, v); }
void ts(uint32_t stage, D3dStageState s, uint32_t v) { Device->SetTextureStageState(stage, s, v); }

int driver_callback(Guid* guid, char* description, char*, void*) {
  if (static_cast<int>(Drivers.size()) < MAX_DRIVERS) {
    DeviceEntry e;
    if (guid) e.driver = *guid, e.has_driver = true;
    e.name = description ? description : "";
    Drivers.push_back(e);
  }
  return DDENUMRET_CANCEL;  // only the first driver
}

const DeviceEntry* Enum_driver = nullptr;
HRESULT device_callback(char* description, char*, D3DDEVICEDESC7* desc, void*) {
  if (!description || (desc->dwDevCaps & D3DDEVCAPS_HWTRANSFORMANDLIGHT)) return D3DENUMRET_OK;
  if (static_cast<int>(Devices.size()) < MAX_DEVICES) {
    DeviceEntry e = *Enum_driver;
    e.device = desc->deviceGUID;
    e.name = "Direct 3D - " + Enum_driver->name;
    Devices.push_back(e);
  }
  return D3DENUMRET_OK;
}

bool choose_device(const DeviceEntry** chosen) {
  Drivers.clear();
  Devices.clear();
  HRESULT hr = DirectDrawEnumerateA(driver_callback, nullptr);
  if (hr != DD_OK) return failed("DirectDrawEnumerate", hr);
  for (const DeviceEntry& d : Drivers) {
    void* p = nullptr;
    hr = DirectDrawCreateEx(d.has_driver ? &d.driver : nullptr, &p, IID_IDirectDraw7, nullptr);
    if (hr != DD_OK) return failed("DirectDrawCreateEx", hr);
    auto* dd = static_cast<DirectDraw7*>(p);
    void* q = nullptr;
    hr = dd->QueryInterface(IID_IDirect3D7, &q);
    if (hr != DD_OK) {
      dd->Release();
      return failed("QueryInterface", hr);
    }
    auto* d3d = static_cast<Direct3D7*>(q);
    Enum_driver = &d;
    hr = d3d->EnumDevices(device_callback, nullptr);
    d3d->Release();
    dd->Release();
    if (hr != DD_OK) return failed("EnumDevices", hr);
  }
  if (Devices.empty()) critical_error(__FILE__, __LINE__, "No Direct3D devices found!\n");
  *chosen = &Devices.back();
  return true;
}

DDPIXELFORMAT Zformat;
bool Zfound = false;
HRESULT zformat_callback(DDPIXELFORMAT* f, void*) {
  if (f->dwFlags == DDPF_ZBUFFER) {
    Zformat = *f;
    Zfound = true;
    return D3DENUMRET_CANCEL;
  }
  return D3DENUMRET_OK;
}

int bits(uint32_t m) { return __builtin_popcount(m); }

HRESULT texture_format_callback(DDPIXELFORMAT* f, void*) {
  if ((f->dwFlags & DDPF_BUMPDUDV) && f->dwRGBBitCount == 16 && bits(f->dwRBitMask) == 8 && bits(f->dwGBitMask) == 8) {
    Gr_d3d_bump_format = *f;
    Gr_d3d_bump_available = true;
  } else if ((f->dwFlags & DDPF_RGB) && (f->dwFlags & DDPF_ALPHAPIXELS)) {
    const int a = bits(f->dwRGBAlphaBitMask);
    if (f->dwRGBBitCount <= 16 && a >= 1 && a <= 7 && a > Alpha_bits) {
      Gr_d3d_alpha_format = *f;
      Alpha_bits = a;
    }
  } else if ((f->dwFlags & DDPF_RGB) && f->dwRGBBitCount == 16 && f->dwRBitMask && f->dwGBitMask && f->dwBBitMask) {
    const int c = bits(f->dwRBitMask) + bits(f->dwGBitMask) + bits(f->dwBBitMask);
    if (c > Rgb_bits) {
      Gr_d3d_rgb_format = *f;
      Rgb_bits = c;
    }
  }
  return D3DENUMRET_OK;
}

bool contains_nocase(const char* text, const char* word) {
  std::string t(text), w(word);
  for (auto& c : t) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (auto& c : w) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return t.find(w) != std::string::npos;
}

void client_rects(GrWindow) {
  // The window is the screen's size at the origin of the desktop's view of it.
  const int w = gr_screen.width, h = gr_screen.height;
  Dest_rect = {0, 0, w - 1, h - 1};
  Src_rect = {0, 0, w - 1, h - 1};
}

void begin_scene() {
  if (Ready && !Scene_open && Device->BeginScene() == D3D_OK) Scene_open = true;
}
void end_scene() {
  if (Scene_open) Device->EndScene();
  Scene_open = false;
}

bool direct3d_init() {
  Failure.clear();
  Ready = false;
  if (!d3d_layer_load_library("ddraw.dll") || !d3d_layer_lookup("DirectDrawCreateEx")) {
    Failure = "Direct3D: ddraw.dll or DirectDrawCreateEx is missing";
    std::printf("%s\n", Failure.c_str());
    return false;
  }
  switch (gr_screen.window_mode) {
    case GR_WINDOWED:
    case GR_WINDOW_AS_IS: Windowed = true; break;
    case GR_FULLSCREEN: Windowed = false; break;
    default: critical_error(__FILE__, __LINE__, "Invalid window_mode passed to gr_direct3d_init\n");
  }
  const DeviceEntry* chosen = nullptr;
  if (!choose_device(&chosen)) return false;
  const DeviceEntry choice = *chosen;

  void* p = nullptr;
  HRESULT hr = DirectDrawCreateEx(choice.has_driver ? &choice.driver : nullptr, &p, IID_IDirectDraw7, nullptr);
  if (hr != DD_OK) return failed("DirectDrawCreateEx", hr);
  DDraw = static_cast<DirectDraw7*>(p);
  hr = DDraw->QueryInterface(IID_IDirect3D7, &p);
  if (hr != DD_OK) return failed("QueryInterface", hr);
  D3d = static_cast<Direct3D7*>(p);
  DDDEVICEIDENTIFIER2 id;
  hr = DDraw->GetDeviceIdentifier(&id, 0);
  if (hr != DD_OK) return failed("GetDeviceIdentifier", hr);

  DDSURFACEDESC2 sd;
  if (Windowed) {
    client_rects(Window);
    if ((hr = DDraw->SetCooperativeLevel(Window, DDSCL_NORMAL)) != DD_OK) return failed("SetCooperativeLevel", hr);
    sd = DDSURFACEDESC2();
    sd.dwFlags = DDSD_CAPS;
    sd.dwCaps = DDSCAPS_PRIMARYSURFACE;
    if ((hr = DDraw->CreateSurface(&sd, &Primary, nullptr)) != DD_OK) return failed("CreateSurface", hr);
    sd = DDSURFACEDESC2();
    sd.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
    sd.dwWidth = static_cast<uint32_t>(gr_screen.width);
    sd.dwHeight = static_cast<uint32_t>(gr_screen.height);
    sd.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE;
    if ((hr = DDraw->CreateSurface(&sd, &Back, nullptr)) != DD_OK) return failed("CreateSurface", hr);
    DirectDrawClipper* clipper = nullptr;
    if ((hr = DDraw->CreateClipper(0, &clipper, nullptr)) != DD_OK) return failed("CreateClipper", hr);
    clipper->SetHWnd(0, Window);
    hr = Primary->SetClipper(clipper);
    clipper->Release();
    if (hr != DD_OK) return failed("SetClipper", hr);
  } else {
    if ((hr = DDraw->SetCooperativeLevel(Window, DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE | DDSCL_NOWINDOWCHANGES)) != DD_OK)
      return failed("SetCooperativeLevel", hr);
    if ((hr = DDraw->SetDisplayMode(gr_screen.width, gr_screen.height, 16, 0, 0)) != DD_OK)
      return failed("SetDisplayMode", hr);
    sd = DDSURFACEDESC2();
    sd.dwFlags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
    sd.dwBackBufferCount = 1;
    sd.dwWidth = static_cast<uint32_t>(gr_screen.width);
    sd.dwHeight = static_cast<uint32_t>(gr_screen.height);
    sd.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX | DDSCAPS_3DDEVICE;
    if ((hr = DDraw->CreateSurface(&sd, &Primary, nullptr)) != DD_OK) return failed("CreateSurface", hr);
    const uint32_t caps = DDSCAPS_BACKBUFFER;
    if ((hr = Primary->GetAttachedSurface(&caps, &Back)) != DD_OK) return failed("GetAttachedSurface", hr);
  }

  Zfound = false;
  if ((hr = D3d->EnumZBufferFormats(choice.device, zformat_callback, nullptr)) != DD_OK)
    return failed("EnumZBufferFormats", hr);
  sd = DDSURFACEDESC2();
  sd.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
  sd.dwWidth = static_cast<uint32_t>(gr_screen.width);
  sd.dwHeight = static_cast<uint32_t>(gr_screen.height);
  sd.dwCaps = DDSCAPS_ZBUFFER | (choice.device == IID_IDirect3DHALDevice ? DDSCAPS_VIDEOMEMORY : DDSCAPS_SYSTEMMEMORY);
  sd.ddpfPixelFormat = Zformat;
  if (!Zfound) return failed("EnumZBufferFormats", DDERR_NOTFOUND);
  if ((hr = DDraw->CreateSurface(&sd, &Zbuffer, nullptr)) != DD_OK) return failed("CreateSurface", hr);
  if ((hr = Back->AddAttachedSurface(Zbuffer)) != DD_OK) return failed("AddAttachedSurface", hr);

  if ((hr = D3d->CreateDevice(choice.device, Back, &Device)) != DD_OK) return failed("CreateDevice", hr);
  gr_d3d_set_transforms(250.0f);
  D3DVIEWPORT7 vp = {0, 0, static_cast<uint32_t>(gr_screen.width), static_cast<uint32_t>(gr_screen.height), 0.0f, 0.0f};
  if ((hr = Device->SetViewport(&vp)) != DD_OK) return failed("SetViewport", hr);

  Alpha_bits = Rgb_bits = 0;
  Gr_d3d_bump_available = false;
  if ((hr = Device->EnumTextureFormats(texture_format_callback, nullptr)) != DD_OK)
    return failed("EnumTextureFormats", hr);
  if (Alpha_bits == 0) refuse("Alpha channel textures", "Missing Features");
  if (Rgb_bits == 0) refuse("16-bpp RGB textures", "Missing Features");

  if ((hr = Device->GetCaps(&Desc)) != DD_OK) return failed("GetCaps", hr);
  Multitexture = Desc.wMaxTextureBlendStages >= 2 && Desc.wMaxSimultaneousTextures >= 2;
  D3dTextureRules& r = Gr_d3d_texture_rules;
  r.pow2 = (Desc.dwTextureCaps & D3DPTEXTURECAPS_POW2) != 0;
  r.square = (Desc.dwTextureCaps & D3DPTEXTURECAPS_SQUAREONLY) != 0;
  r.min_w = std::max<int>(16, static_cast<int>(Desc.dwMinTextureWidth));
  r.min_h = std::max<int>(16, static_cast<int>(Desc.dwMinTextureHeight));
  r.max_w = Desc.dwMaxTextureWidth < 16 ? 256 : static_cast<int>(Desc.dwMaxTextureWidth);
  r.max_h = Desc.dwMaxTextureHeight < 16 ? 256 : static_cast<int>(Desc.dwMaxTextureHeight);
  gr_screen.max_texture_w = r.max_w;
  gr_screen.max_texture_h = r.max_h;
  Antialias = (Desc.dwRasterCaps & D3DPRASTERCAPS_ANTIALIASSORTINDEPENDENT) != 0;
  No_dp2ex = !(Desc.dwDevCaps & D3DDEVCAPS_DRAWPRIMITIVES2EX);
  if (No_dp2ex) gr_d3d_set_transforms(250.0f);

  std::string missing;
  Texture_blend_caps = Desc.dwTextureBlendCaps;
  if (!(Texture_blend_caps & D3DPTBLENDCAPS_MODULATE)) missing += "Texture blending mode = Modulate\r\n";
  if (!(Desc.dwSrcBlendCaps & (D3DPBLENDCAPS_SRCALPHA | D3DPBLENDCAPS_BOTHSRCALPHA)))
    missing += "Source blending mode = SRCALPHA or BOTHSRCALPHA\r\n";
  if (!(Desc.dwDestBlendCaps & (D3DPBLENDCAPS_INVSRCALPHA | D3DPBLENDCAPS_BOTHINVSRCALPHA)))
    missing += "Destination blending mode = INVSRCALPHA or BOTHINVSRCALPHA\r\n";
  if (Alpha_bits < 4) Texture_blend_caps &= ~D3DPTBLENDCAPS_MODULATEALPHA;
  if (!missing.empty()) {
    const std::string text = "Your video card is missing the following features required by Orrimund:\r\n\r\n" + missing;
    refuse(text.c_str(), "Missing Features");
  }

  if (Desc.dwRasterCaps & D3DPRASTERCAPS_FOGTABLE) {
    Fog_mode = (Desc.dwRasterCaps & D3DPRASTERCAPS_WFOG) && id.dwVendorId != 0x102B ? 2 : 1;
  } else if (Desc.dwRasterCaps & D3DPRASTERCAPS_FOGVERTEX) {
    Fog_mode = 3;
  } else {
    Fog_mode = 0;
    rs(D3DRENDERSTATE_FOGVERTEXMODE, D3DFOG_NONE);
    rs(D3DRENDERSTATE_FOGENABLE, 1);
    rs(D3DRENDERSTATE_FOGTABLEMODE, D3DFOG_LINEAR);
    rs(D3DRENDERSTATE_FOGSTART, f2dw(1.0f));
    rs(D3DRENDERSTATE_FOGEND, f2dw(1.0f));
    rs(D3DRENDERSTATE_FOGENABLE, 0);
  }

  if (contains_nocase(id.szDriver, "3dfx") || contains_nocase(id.szDescription, "Voodoo") ||
      contains_nocase(id.szDescription, "Banshee")) {
    char text[700];
    std::snprintf(text, sizeof text, "Error -- %s -- This Voodoo card cannot be run in Direct3D mode.  Use Glide instead.",
                  id.szDescription);
    refuse(text, "Error");
  }

  Vendor_s3 = false;
  Depth_clear = 0.0f;
  Depth_func = D3DCMP_GREATEREQUAL;
  if (id.dwVendorId == 0x1002) {
    Fog_mode = 3;
  } else if (id.dwVendorId == 0x5333) {
    Fog_mode = 5;
    Vendor_s3 = true;
    Depth_clear = 1.0f;
    Depth_func = D3DCMP_LESSEQUAL;
  }
  if (Opt_fb2.found()) Fog_mode = 5;
  if (Opt_vertexfog.found()) Fog_mode = 3;

  const uint32_t tex_caps = DDSCAPS_TEXTURE;
  uint32_t total = 0, free = 0;
  if (DDraw->GetAvailableVidMem(&tex_caps, &total, &free) != DD_OK) free = 0;
  if (free < 5242880u) refuse("At least 8 MB of available video memory required.", "Missing Features");
  Free_memory = static_cast<int>(std::min<uint32_t>(free, 0x7FFFFFFF));

  rs(D3DRENDERSTATE_DITHERENABLE, 0);
  rs(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
  ts(0, D3DTSS_MINFILTER, D3DTFN_LINEAR);
  ts(0, D3DTSS_MAGFILTER, D3DTFG_LINEAR);
  rs(D3DRENDERSTATE_SHADEMODE, D3DSHADE_GOURAUD);
  rs(D3DRENDERSTATE_TEXTUREPERSPECTIVE, 1);
  rs(D3DRENDERSTATE_SPECULARENABLE, 0);
  rs(D3DRENDERSTATE_ALPHAFUNC, D3DCMP_GREATER);
  rs(D3DRENDERSTATE_ALPHAREF, 0);
  ts(0, D3DTSS_MIPFILTER, D3DTFP_LINEAR);
  ts(1, D3DTSS_MIPFILTER, D3DTFP_LINEAR);
  Ready = true;
  return true;
}

// The vertex colour of bitmaps, lines and untinted-by-vertex polygons.
void base_colour(int* r, int* g, int* b, int* a) {
  const Color& c = gr_screen.current_color;
  *r = Use_colour ? c.red : 255;
  *g = Use_colour ? c.green : 255;
  *b = Use_colour ? c.blue : 255;
  *a = Use_alpha ? c.alpha : 255;
}

uint32_t argb(int a, int r, int g, int b) {
  return (static_cast<uint32_t>(a) << 24) | (static_cast<uint32_t>(r) << 16) | (static_cast<uint32_t>(g) << 8) |
         static_cast<uint32_t>(b);
}

// Bitmaps and 3D lines on a card that cannot modulate alpha: the colour is
// premultiplied and the vertex opaque.
uint32_t flat_colour() {
  int r, g, b, a;
  base_colour(&r, &g, &b, &a);
  gr_apply_tint(r, g, b);
  if (!(Texture_blend_caps & D3DPTBLENDCAPS_MODULATEALPHA)) {
    r = r * a / 255, g = g * a / 255, b = b * a / 255;
    a = 255;
  }
  return argb(a, r, g, b);
}

// The vertex fog of a view depth, in the specular colour's alpha.
uint32_t fog_factor(float depth) { return static_cast<uint32_t>(gr_fog_alpha(255, depth)) << 24; }

void quad(float x0, float y0, float x1, float y1, float u0, float v0, float u1, float v1, uint32_t colour) {
  D3dTLVertex v[4];
  const float xs[4] = {x0, x1, x1, x0}, ys[4] = {y0, y0, y1, y1};
  const float us[4] = {u0, u1, u1, u0}, vs[4] = {v0, v0, v1, v1};
  for (int i = 0; i < 4; i++) v[i] = {xs[i], ys[i], 0.99f, 1.0f, colour, 255u << 24, us[i], vs[i], 0.0f, 0.0f};
  Device->DrawPrimitive(D3DPT_TRIANGLEFAN, D3DFVF_TLVERTEX2, v, 4, 0);
}

uint8_t lookup(uint8_t c) { return static_cast<uint8_t>(std::clamp(Gr_gamma_lookup_float[c], 0.0f, 255.0f)); }

}  // namespace

bool gr_d3d_available() { return true; }
Direct3DDevice7* gr_d3d_device() { return Device; }
Direct3D7* gr_d3d_object() { return D3d; }
const char* gr_d3d_failure() { return Failure.c_str(); }
int gr_d3d_fog_mode() { return Fog_mode; }

bool gr_d3d_init(GrWindow window) {
  Window = window;
  Last.invalidate();
  Fog_start_sent = Fog_end_sent = -1.0f;
  if (!direct3d_init()) return false;
  gr_d3d_tcache_init();
  begin_scene();
  D3DVERTEXBUFFERDESC vd = {D3DVBCAPS_WRITEONLY, D3DFVF_TLVERTEX2, D3D_CHARACTER_VB_SIZE};
  if (D3d->CreateVertexBuffer(&vd, &Vb, 0) != D3D_OK)
    critical_error(__FILE__, __LINE__, "Unable to create character vertex buffer for D3d!");
  return true;
}

void gr_d3d_shutdown() {
  gr_d3d_flush_2d();
  if (Ready) {
    gr_reset_clip();
    gr_clear();
    end_scene();
    Primary->Flip(nullptr, DDFLIP_WAIT);
  }
  release_all();
}

void gr_d3d_set_transforms(float far_distance) {
  gr_d3d_flush_2d();
  if (!Device) return;
  D3DMATRIX id{}, proj{};
  for (int i = 0; i < 4; i++) id.m[i][i] = 1.0f;
  Device->SetTransform(D3DTRANSFORMSTATE_WORLD, &id);
  Device->SetTransform(D3DTRANSFORMSTATE_VIEW, &id);
  const float q = No_dp2ex ? 2.0f : far_distance / (far_distance - 1.0f);
  proj.m[0][0] = proj.m[1][1] = 2.0f;
  proj.m[2][2] = q;
  proj.m[2][3] = 1.0f;
  proj.m[3][2] = -q;
  Device->SetTransform(D3DTRANSFORMSTATE_PROJECTION, &proj);
}

void gr_d3d_set_render_state(RenderStateWord state) {
  if (!Device || state == Last) return;
  gr_d3d_flush_2d();
  Last = state;
  const int tmode = state.texture_mode();
  const uint32_t colour_op = state.color_source() == 3 ? D3DTOP_ADD : D3DTOP_MODULATE;
  auto filter = [](uint32_t stage, uint32_t f) {
    ts(stage, D3DTSS_MINFILTER, f);
    ts(stage, D3DTSS_MAGFILTER, f);
  };
  auto address = [](uint32_t stage, uint32_t a) {
    ts(stage, D3DTSS_ADDRESSU, a);
    ts(stage, D3DTSS_ADDRESSV, a);
  };
  auto ops = [](uint32_t stage, uint32_t cop, uint32_t c2, uint32_t aop) {
    ts(stage, D3DTSS_COLOROP, cop);
    ts(stage, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    ts(stage, D3DTSS_COLORARG2, c2);
    ts(stage, D3DTSS_ALPHAOP, aop);
    ts(stage, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    ts(stage, D3DTSS_ALPHAARG2, c2);
  };
  switch (tmode) {
    case 0:
      gr_d3d_set_texture(0, -1, 0, nullptr, nullptr, true);
      gr_d3d_set_texture(1, -1, 0, nullptr, nullptr, true);
      ts(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
      ts(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
      ts(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
      ts(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
      ts(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
      break;
    case 1:
    case 2:
    case 3:
      address(0, tmode == 1 ? D3DTADDRESS_WRAP : D3DTADDRESS_CLAMP);
      filter(0, tmode == 3 ? D3DTFG_POINT : D3DTFG_LINEAR);
      ops(0, colour_op, D3DTA_DIFFUSE, D3DTOP_MODULATE);
      ts(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
      break;
    case 4:
    case 6:
      filter(0, D3DTFG_LINEAR);
      ops(0, tmode == 4 ? D3DTOP_SELECTARG1 : D3DTOP_MODULATE, D3DTA_DIFFUSE, D3DTOP_DISABLE);
      address(0, D3DTADDRESS_WRAP);
      ts(0, D3DTSS_TEXCOORDINDEX, 0);
      filter(1, D3DTFG_LINEAR);
      ops(1, tmode == 4 ? colour_op : D3DTOP_BLENDTEXTUREALPHA, D3DTA_CURRENT, D3DTOP_DISABLE);
      address(1, tmode == 4 ? D3DTADDRESS_CLAMP : D3DTADDRESS_WRAP);
      ts(1, D3DTSS_TEXCOORDINDEX, 1);
      break;
    case 5:
      filter(0, D3DTFG_LINEAR);
      ts(0, D3DTSS_ADDRESS, D3DTADDRESS_MIRROR);
      ts(0, D3DTSS_TEXCOORDINDEX, 0);
      ts(0, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
      ts(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
      ts(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
      ts(0, D3DTSS_COLOROP, D3DTOP_BUMPENVMAP);
      ts(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
      ts(0, D3DTSS_COLORARG2, D3DTA_CURRENT);
      filter(1, D3DTFG_LINEAR);
      ts(1, D3DTSS_ADDRESS, D3DTADDRESS_MIRROR);
      ts(1, D3DTSS_TEXCOORDINDEX, 1);
      ops(1, D3DTOP_SELECTARG1, D3DTA_CURRENT, D3DTOP_DISABLE);
      break;
    default: break;
  }
  Use_colour = state.color_source() != 1;
  Use_alpha = state.alpha_source() != 2;

  switch (state.blend_mode()) {
    case 0:
      rs(D3DRENDERSTATE_ALPHABLENDENABLE, 0);
      rs(D3DRENDERSTATE_ALPHATESTENABLE, 0);
      break;
    case 1:
      rs(D3DRENDERSTATE_ALPHABLENDENABLE, 1);
      rs(D3DRENDERSTATE_SRCBLEND, D3DBLEND_ONE);
      rs(D3DRENDERSTATE_DESTBLEND, D3DBLEND_ONE);
      rs(D3DRENDERSTATE_ALPHATESTENABLE, 0);
      break;
    case 2:
    case 4:
      rs(D3DRENDERSTATE_ALPHABLENDENABLE, 1);
      rs(D3DRENDERSTATE_SRCBLEND, D3DBLEND_SRCALPHA);
      rs(D3DRENDERSTATE_DESTBLEND, D3DBLEND_ONE);
      rs(D3DRENDERSTATE_ALPHATESTENABLE, 1);
      break;
    case 3:
      rs(D3DRENDERSTATE_ALPHATESTENABLE, 1);
      rs(D3DRENDERSTATE_ALPHABLENDENABLE, 1);
      if (Desc.dwSrcBlendCaps & D3DPBLENDCAPS_SRCALPHA) {
        rs(D3DRENDERSTATE_SRCBLEND, D3DBLEND_SRCALPHA);
        rs(D3DRENDERSTATE_DESTBLEND, D3DBLEND_INVSRCALPHA);
      } else {
        rs(D3DRENDERSTATE_SRCBLEND, D3DBLEND_BOTHSRCALPHA);
      }
      break;
    case 5:
      rs(D3DRENDERSTATE_ALPHATESTENABLE, 1);
      if (Desc.dwSrcBlendCaps & D3DPBLENDCAPS_DESTCOLOR) {
        rs(D3DRENDERSTATE_ALPHABLENDENABLE, 1);
        rs(D3DRENDERSTATE_SRCBLEND, D3DBLEND_DESTCOLOR);
        rs(D3DRENDERSTATE_DESTBLEND, D3DBLEND_ZERO);
      }
      break;
    default: break;
  }

  auto depth = [](uint32_t on, uint32_t write, uint32_t func) {
    rs(D3DRENDERSTATE_ZENABLE, on);
    rs(D3DRENDERSTATE_ZWRITEENABLE, write);
    if (func) rs(D3DRENDERSTATE_ZFUNC, func);
  };
  switch (state.depth_mode()) {
    case 0: depth(0, 0, 0); break;
    case 1: depth(1, 0, Depth_func); break;
    case 2: depth(1, 0, D3DCMP_EQUAL); break;
    case 3: depth(0, 1, 0); break;
    case 4: depth(1, 1, Depth_func); break;
    default: break;
  }

  const int fog = state.fog_mode();
  if (fog <= 2) rs(D3DRENDERSTATE_FOGENABLE, gr_screen.fog_on ? 1 : 0);
  else if (fog == 3) rs(D3DRENDERSTATE_FOGENABLE, 0);
}

void gr_d3d_depth_greater() {
  if (!Vendor_s3) return;
  Depth_clear = 0.0f;
  Depth_func = D3DCMP_GREATEREQUAL;
  Last.invalidate();
}

void gr_d3d_depth_less() {
  if (!Vendor_s3) return;
  Depth_clear = 1.0f;
  Depth_func = D3DCMP_LESSEQUAL;
  Last.invalidate();
}

bool gr_d3d_flip() {
  gr_d3d_flush_2d();
  if (!Ready) return true;
  gr_reset_clip();
  end_scene();
  HRESULT hr = DD_OK;
  const char* call = "Flip";
  if (Windowed) {
    call = "Blt";
    for (int attempt = 0; attempt < 2; attempt++) {
      hr = Primary->Blt(&Dest_rect, Back, &Src_rect, DDBLT_WAIT, nullptr);
      if (hr != DDERR_SURFACELOST) break;
      for (DirectDrawSurface7* s : {Primary, Back, Zbuffer})
        if (s && s->IsLost() == DDERR_SURFACELOST) s->Restore();
    }
    while (hr == DD_OK) {
      const HRESULT status = Primary->GetBltStatus(DDGBS_ISBLTDONE);
      if (status == DD_OK) break;
      if (status != DDERR_WASSTILLDRAWING) hr = status, call = "GetBltStatus";
    }
  } else {
    for (;;) {
      for (DirectDrawSurface7* s : {Primary, Back, Zbuffer})
        if (s && s->IsLost() == DDERR_SURFACELOST) s->Restore();
      hr = Primary->Flip(nullptr, DDFLIP_WAIT);
      if (hr != DDERR_SURFACELOST) break;
      os_sleep(1000);
    }
  }
  if (hr != DD_OK) {
    // The frame never reaches the screen: a black screen with no word of
    // why is worse than giving up the renderer, as start-up does.
    failed(call, hr);
    return false;
  }
  begin_scene();
  return true;
}

void gr_d3d_clear() {
  gr_d3d_flush_2d();
  if (!Ready) return;
  gr_d3d_set_render_state(RenderStateWord(0, 0, 0, 0, 0, 0));
  Rect r = {gr_screen.clip_left + gr_screen.offset_x, gr_screen.clip_top + gr_screen.offset_y,
            gr_screen.clip_right + gr_screen.offset_x + 1, gr_screen.clip_bottom + gr_screen.offset_y + 1};
  Device->Clear(1, &r, D3DCLEAR_TARGET, 0, 0.0f, 0);
}

void gr_d3d_clear_depth() {
  gr_d3d_flush_2d();
  if (!Ready) return;
  gr_d3d_set_render_state(RenderStateWord(0, 0, 0, 0, 4, 0));
  Rect r = {gr_screen.clip_left + gr_screen.offset_x, gr_screen.clip_top + gr_screen.offset_y,
            gr_screen.clip_right + gr_screen.offset_x, gr_screen.clip_bottom + gr_screen.offset_y};
  Device->Clear(1, &r, D3DCLEAR_ZBUFFER, 0, Depth_clear, 0);
}

void gr_d3d_set_clip() {
  gr_d3d_flush_2d();
  if (!Ready) return;
  D3DVIEWPORT7 vp = {static_cast<uint32_t>(gr_screen.offset_x + gr_screen.clip_left),
                     static_cast<uint32_t>(gr_screen.offset_y + gr_screen.clip_top),
                     static_cast<uint32_t>(gr_screen.clip_width), static_cast<uint32_t>(gr_screen.clip_height), 0.0f,
                     0.0f};
  Device->SetViewport(&vp);
}

void gr_d3d_set_window(GrWindow window) {
  gr_d3d_flush_2d();
  const bool changed = window != Window;
  Window = window;
  client_rects(window);
  if (changed && Ready && Windowed && DDraw && Primary) {
    DirectDrawClipper* clipper = nullptr;
    if (DDraw->CreateClipper(0, &clipper, nullptr) == DD_OK) {
      clipper->SetHWnd(0, window);
      Primary->SetClipper(clipper);
      clipper->Release();
    }
  }
}

int gr_d3d_read_screen(int x, int y, int w, int h, void* dest) {
  gr_d3d_flush_2d();
  if (!Ready || !dest || w < 1 || h < 1) return 0;
  end_scene();
  DDSURFACEDESC2 sd;
  // A failed lock keeps the frame going: the scene is opened again and the
  // caller learns that nothing was read.
  if (Back->Lock(nullptr, &sd, DDLOCK_WAIT | DDLOCK_READONLY, nullptr) != DD_OK) {
    begin_scene();
    return 0;
  }
  const int bw = static_cast<int>(sd.dwWidth), bh = static_cast<int>(sd.dwHeight);
  uint8_t* out = static_cast<uint8_t*>(dest);
  for (int row = 0; row < h; row++) {
    uint8_t* d = out + static_cast<size_t>(row) * w * 2;
    std::memset(d, 0, static_cast<size_t>(w) * 2);
    const int sy = y + row;
    if (sy < 0 || sy >= bh) continue;
    const int x0 = std::max(0, x), x1 = std::min(bw, x + w);
    if (x1 <= x0) continue;
    std::memcpy(d + (x0 - x) * 2, static_cast<const uint8_t*>(sd.lpSurface) + static_cast<size_t>(sy) * sd.lPitch + x0 * 2,
                static_cast<size_t>(x1 - x0) * 2);
  }
  Back->Unlock(nullptr);
  begin_scene();
  return 3;
}

void gr_d3d_fog_set(bool changed) {
  gr_d3d_flush_2d();
  if (!Ready) return;
  if (gr_screen.fog_on && Fog_mode != 0) {
    rs(D3DRENDERSTATE_FOGENABLE, 1);
    if (Fog_mode == 3) {
      rs(D3DRENDERSTATE_FOGVERTEXMODE, D3DFOG_LINEAR);
    } else {
      rs(D3DRENDERSTATE_FOGTABLEMODE, D3DFOG_LINEAR);
      if (changed) {
        float start = 0, end = 0;
        if (Fog_mode == 5) {
          start = gr_screen.fog_near * 100.0f;
          end = gr_screen.fog_far * 100.0f;
        } else if (Fog_mode == 2) {
          start = gr_3d_zoom_scale(gr_screen.fog_near);
          end = gr_3d_zoom_scale(gr_screen.fog_far);
        } else {
          const Gr3dDepthMap depth;
          const float n = gr_3d_zoom_scale(gr_screen.fog_near), f = gr_3d_zoom_scale(gr_screen.fog_far);
          start = depth(n > 0 ? 1.0f / n : 0.0f);
          end = depth(f > 0 ? 1.0f / f : 0.0f);
        }
        if (start != Fog_start_sent) rs(D3DRENDERSTATE_FOGSTART, f2dw(Fog_start_sent = start));
        if (end != Fog_end_sent) rs(D3DRENDERSTATE_FOGEND, f2dw(Fog_end_sent = end));
      }
    }
    const Color& c = gr_screen.fog_color;
    rs(D3DRENDERSTATE_FOGCOLOR, argb(255, c.red, c.green, c.blue));
  } else {
    rs(D3DRENDERSTATE_FOGENABLE, 0);
    rs(D3DRENDERSTATE_FOGTABLEMODE, D3DFOG_NONE);
    if (Fog_mode == 3) rs(D3DRENDERSTATE_FOGVERTEXMODE, D3DFOG_NONE);
  }
  Last.invalidate();
}

bool gr_d3d_render_state_supported(RenderStateWord state) { return Multitexture || state.texture_mode() < 4; }
int gr_d3d_get_video_memory() { return Free_memory; }
bool gr_d3d_antialias_supported() { return Antialias; }
void gr_d3d_set_antialias(bool on) {
  gr_d3d_flush_2d();
  if (Device) rs(D3DRENDERSTATE_ANTIALIAS, on ? D3DANTIALIAS_SORTINDEPENDENT : D3DANTIALIAS_NONE);
}
void gr_d3d_set_alpha_test(bool on) {
  gr_d3d_flush_2d();
  if (Device) rs(D3DRENDERSTATE_ALPHAFUNC, on ? D3DCMP_GREATER : D3DCMP_ALWAYS);
}
void gr_d3d_set_zbias(int value) {
  gr_d3d_flush_2d();
  if (Device) rs(D3DRENDERSTATE_ZBIAS, static_cast<uint32_t>(value));
}

void gr_d3d_preload(int handle) {
  if (Ready && handle >= 0) gr_d3d_set_texture(0, handle, 0, nullptr, nullptr, false);
}

void gr_d3d_bitmap(int handle, int x, int y, int w, int h, int sx, int sy, int sw, int sh, RenderStateWord state) {
  if (!Ready || w < 1 || h < 1) return;
  // Point-sampled draws at the bitmap's own size come from its page: each
  // pixel samples the texel its own texture gives.
  GrD3dPageQuad page;
  if (Batching && w == sw && h == sh && state.texture_mode() == 3 && gr_d3d_page_bind(handle, &page)) {
    gr_d3d_set_render_state(state);
    if (Batch_count + 6 > 6 * BATCH_MAX_QUADS) gr_d3d_flush_2d();
    const uint32_t colour = flat_colour();
    const float x0 = static_cast<float>(gr_screen.offset_x + x) - 0.5f;
    const float y0 = static_cast<float>(gr_screen.offset_y + y) - 0.5f;
    const float x1 = x0 + static_cast<float>(w), y1 = y0 + static_cast<float>(h);
    const float k = 1.0f / static_cast<float>(page.side);
    const float u0 = static_cast<float>(page.x + sx) * k, u1 = static_cast<float>(page.x + sx + sw) * k;
    const float v0 = static_cast<float>(page.y + sy) * k, v1 = static_cast<float>(page.y + sy + sh) * k;
    // The fan's two triangles, as a fan of the quad would give them.
    const float xs[4] = {x0, x1, x1, x0}, ys[4] = {y0, y0, y1, y1};
    const float us[4] = {u0, u1, u1, u0}, vs[4] = {v0, v0, v1, v1};
    for (int i : {0, 1, 2, 0, 2, 3})
      Batch[Batch_count++] = {xs[i], ys[i], 0.99f, 1.0f, colour, 255u << 24, us[i], vs[i], 0.0f, 0.0f};
    return;
  }
  float us = 1, vs = 1;
  gr_d3d_set_texture(0, handle, 0, &us, &vs, true);
  gr_d3d_set_render_state(state);
  const uint32_t colour = flat_colour();
  int bw = 0, bh = 0;
  bm_get_size(handle, &bw, &bh);
  if (bw < 1 || bh < 1) return;
  const float ox = static_cast<float>(gr_screen.offset_x + x) - 0.5f;
  const float oy = static_cast<float>(gr_screen.offset_y + y) - 0.5f;
  const int sections = gr_d3d_section_count(handle);
  // A run of unscaled draws from one texture of its own (the glyphs of a
  // font's sheet) joins the batch as well.
  if (Batching && sections <= 1 && w == sw && h == sh && state.texture_mode() == 3) {
    if (Batch_count + 6 > 6 * BATCH_MAX_QUADS) gr_d3d_flush_2d();
    const float x1 = ox + static_cast<float>(w), y1 = oy + static_cast<float>(h);
    const float u0 = sx * us / bw, u1 = (sx + sw) * us / bw, v0 = sy * vs / bh, v1 = (sy + sh) * vs / bh;
    const float xs[4] = {ox, x1, x1, ox}, ys[4] = {oy, oy, y1, y1};
    const float uu[4] = {u0, u1, u1, u0}, vv[4] = {v0, v0, v1, v1};
    for (int i : {0, 1, 2, 0, 2, 3})
      Batch[Batch_count++] = {xs[i], ys[i], 0.99f, 1.0f, colour, 255u << 24, uu[i], vv[i], 0.0f, 0.0f};
    return;
  }
  gr_d3d_flush_2d();
  if (sections <= 1) {
    quad(ox, oy, ox + w, oy + h, sx * us / bw, sy * vs / bh, (sx + sw) * us / bw, (sy + sh) * vs / bh, colour);
    return;
  }
  // Each section draws the part of the source rectangle it holds, scaled to
  // the destination size, as one texture would.
  const float kx = static_cast<float>(w) / sw, ky = static_cast<float>(h) / sh;
  for (int i = 0; i < sections; i++) {
    int qx, qy, qw, qh;
    gr_d3d_section_rect(handle, i, &qx, &qy, &qw, &qh);
    const int l = std::max(sx, qx), t = std::max(sy, qy);
    const int r = std::min(sx + sw, qx + qw), b = std::min(sy + sh, qy + qh);
    if (r <= l || b <= t || qw < 1 || qh < 1) continue;
    if (!gr_d3d_set_texture(0, handle, i, &us, &vs, true)) continue;
    gr_d3d_set_render_state(state);
    quad(ox + (l - sx) * kx, oy + (t - sy) * ky, ox + (r - sx) * kx, oy + (b - sy) * ky, (l - qx) * us / qw,
         (t - qy) * vs / qh, (r - qx) * us / qw, (b - qy) * vs / qh, colour);
  }
}

void gr_d3d_line(float x1, float y1, float x2, float y2, RenderStateWord state) {
  gr_d3d_flush_2d();
  if (!Ready) return;
  gr_d3d_set_render_state(RenderStateWord::from_bits(state.bits & ~31u));
  int r, g, b, a;
  base_colour(&r, &g, &b, &a);
  gr_apply_tint(r, g, b);
  float ax = static_cast<float>(gr_screen.offset_x + static_cast<int>(x1));
  float ay = static_cast<float>(gr_screen.offset_y + static_cast<int>(y1));
  float bx = static_cast<float>(gr_screen.offset_x + static_cast<int>(x2));
  float by = static_cast<float>(gr_screen.offset_y + static_cast<int>(y2));
  if (ax == bx) {
    (ay > by ? ay : by) += 0.5f;
  } else if (ay == by) {
    (ax > bx ? ax : bx) += 0.5f;
  }
  const uint32_t c = argb(a, r, g, b);
  D3dTLVertex v[2] = {{ax, ay, 0.99f, 1.0f, c, 255u << 24, 0, 0, 0, 0}, {bx, by, 0.99f, 1.0f, c, 255u << 24, 0, 0, 0, 0}};
  Device->DrawPrimitive(D3DPT_LINELIST, D3DFVF_TLVERTEX2, v, 2, 0);
}

void gr_d3d_line3d(const GrVertex* a, const GrVertex* b, RenderStateWord state) {
  gr_d3d_flush_2d();
  if (!Ready || !a || !b) return;
  gr_d3d_set_render_state(RenderStateWord::from_bits(state.bits & ~31u));
  const uint32_t c = flat_colour();
  const Gr3dDepthMap depth;
  // The half-pixel shift of the polygons, so a line along a polygon's edge
  // lands on it.
  D3dTLVertex v[2] = {{a->sx - 0.5f, a->sy - 0.5f, depth(a->ooz), a->ooz, c, fog_factor(a->z), 0, 0, 0, 0},
                      {b->sx - 0.5f, b->sy - 0.5f, depth(b->ooz), b->ooz, c, fog_factor(b->z), 0, 0, 0, 0}};
  Device->DrawPrimitive(D3DPT_LINELIST, D3DFVF_TLVERTEX2, v, 2, 0);
}

void gr_d3d_poly(int count, GrVertex** verts, RenderStateWord state) {
  gr_d3d_flush_2d();
  if (!Ready || count < 3 || !verts) return;
  if (count > 32) count = 32;
  float us = 1, vs = 1;
  if (state.texture_mode() != 0) gr_d3d_set_texture(0, gr_screen.current_bitmap, 0, &us, &vs, true);
  gr_d3d_set_render_state(state);
  int br, bg, bb, ba;
  base_colour(&br, &bg, &bb, &ba);
  const Gr3dDepthMap depth;
  D3dTLVertex out[32];
  for (int i = 0; i < count; i++) {
    const GrVertex* p = verts[i];
    int r = br, g = bg, b = bb, a = ba;
    if (Use_colour && (p->flags & GR_VERTEX_RGB)) r = lookup(p->r), g = lookup(p->g), b = lookup(p->b);
    if (Use_alpha && (p->flags & GR_VERTEX_ALPHA)) a = p->a;
    gr_apply_tint(r, g, b);
    D3dTLVertex& v = out[i];
    v = {p->sx - 0.5f, p->sy - 0.5f, depth(p->ooz), p->ooz > 0 ? p->ooz : 1.0f, argb(a, r, g, b), fog_factor(p->z),
         0, 0, 0, 0};
    if (p->flags & GR_VERTEX_UV) v.u = p->u * us, v.v = p->v * vs;
    if (p->flags & GR_VERTEX_UV2) v.u2 = p->u2, v.v2 = p->v2;
  }
  Device->DrawPrimitive(D3DPT_TRIANGLEFAN, D3DFVF_TLVERTEX2, out, static_cast<uint32_t>(count), 0);
}

void gr_d3d_poly_multipass(int count, GrLayeredVertex** verts, int pass_count, const GrLayer* passes) {
  gr_d3d_flush_2d();
  if (!Ready || count < 3 || !verts) return;
  if (count > 32) count = 32;
  const Gr3dDepthMap depth;
  D3dTLVertex out[32];
  for (int p = 0; p < pass_count; p++) {
    const GrLayer& pass = passes[p];
    const int tmode = pass.state.texture_mode();
    const bool two = (tmode == 4 || tmode == 6) && p + 1 < pass_count;
    float us = 1, vs = 1, us2 = 1, vs2 = 1;
    // A bitmap beyond the largest texture is held as sections: the polygon
    // (already cut along the section lines) is drawn with the one under it.
    float uo = 0, vo = 0, tu = 1, tv = 1;
    RenderStateWord state = pass.state;
    int section = 0;
    if (tmode != 0 && pass.bitmap >= 0 && pass.use_layer_uv) {
      int bw = 0, bh = 0;
      bm_get_size(pass.bitmap, &bw, &bh);
      if (bw > gr_screen.max_texture_w || bh > gr_screen.max_texture_h) {
        section = gr_tile_for_polygon(count, verts, p, &bw, &bh, &uo, &vo, &tu, &tv);
        if (tmode == 1) state = RenderStateWord::from_bits((state.bits & ~31u) | 2u);
      }
    }
    if (tmode != 0 && pass.bitmap >= 0) gr_d3d_set_texture(0, pass.bitmap, section, &us, &vs, true);
    if (tu != 1 || tv != 1) {
      // The tile's coordinates run across the largest texture's size; a
      // section at the bitmap's edge is narrower.
      int qx, qy, qw, qh;
      gr_d3d_section_rect(pass.bitmap, section, &qx, &qy, &qw, &qh);
      if (qw > 0) tu *= static_cast<float>(gr_screen.max_texture_w) / qw;
      if (qh > 0) tv *= static_cast<float>(gr_screen.max_texture_h) / qh;
    }
    if (two) gr_d3d_set_texture(1, passes[p + 1].bitmap, 0, &us2, &vs2, true);
    gr_d3d_set_render_state(state);
    for (int i = 0; i < count; i++) {
      const GrVertex* pt = verts[i]->vertex;
      const GrLayerVertexData& d = verts[i]->layer[p];
      int r = pass.r, g = pass.g, b = pass.b, a = pass.a;
      if (pass.use_vertex_rgb) r = lookup(d.r), g = lookup(d.g), b = lookup(d.b);
      if (pass.use_vertex_alpha) a = d.a;
      D3dTLVertex& v = out[i];
      v = {pt->sx - 0.5f, pt->sy - 0.5f, depth(pt->ooz), pt->ooz > 0 ? pt->ooz : 1.0f, argb(a, r, g, b),
           fog_factor(pt->z), pt->u * us, pt->v * vs, 0, 0};
      if (pass.use_layer_uv) v.u = (d.u - uo) * tu * us, v.v = (d.v - vo) * tv * vs;
      if (two) v.u2 = verts[i]->layer[p + 1].u * us2, v.v2 = verts[i]->layer[p + 1].v * vs2;
    }
    Device->DrawPrimitive(D3DPT_TRIANGLEFAN, D3DFVF_TLVERTEX2, out, static_cast<uint32_t>(count), 0);
    if (two) p++;
  }
}

void gr_d3d_mesh_draw(const float (*positions)[3], const uint8_t (*colours)[4], const float (*tex)[4],
                      int vertex_count, RenderStateWord state, int bitmap, const uint16_t* indices, int index_count,
                      const uint8_t* fog) {
  gr_d3d_flush_2d();
  if (!Ready || !Vb || !positions || !indices || index_count < 3 || vertex_count < 1) return;
  float us = 1, vs = 1;
  gr_d3d_set_texture(0, bitmap, 0, &us, &vs, true);
  gr_d3d_set_render_state(state);
  // The buffer holds D3D_CHARACTER_VB_SIZE vertices: a larger group goes in
  // pieces of whole triangles, each piece's vertices copied afresh.
  static std::vector<uint16_t> local;
  static std::vector<int> remap;
  remap.assign(static_cast<size_t>(vertex_count), -1);
  int done = 0;
  while (done + 2 < index_count) {
    void* p = nullptr;
    if (Vb->Lock(0x2820, &p, nullptr) != D3D_OK) return;
    auto* v = static_cast<D3dTLVertex*>(p);
    local.clear();
    int used = 0;
    std::fill(remap.begin(), remap.end(), -1);
    while (done + 2 < index_count) {
      int need = 0;
      for (int k = 0; k < 3; k++) {
        const int i = indices[done + k];
        if (i >= vertex_count) return Vb->Unlock(), void();
        if (remap[i] < 0) need++;
      }
      if (used + need > D3D_CHARACTER_VB_SIZE) break;
      for (int k = 0; k < 3; k++) {
        const int i = indices[done + k];
        if (remap[i] < 0) {
          const float w = tex[i][3] > 0 ? tex[i][3] : 1.0f;
          v[used] = {positions[i][0] - 0.5f, positions[i][1] - 0.5f, positions[i][2], w,
                     argb(colours[i][3], colours[i][0], colours[i][1], colours[i][2]),
                     static_cast<uint32_t>(fog ? fog[i] : 255) << 24,
                     tex[i][0] / w * us, tex[i][1] / w * vs, 0, 0};
          remap[i] = used++;
        }
        local.push_back(static_cast<uint16_t>(remap[i]));
      }
      done += 3;
    }
    Vb->Unlock();
    Device->DrawIndexedPrimitiveVB(D3DPT_TRIANGLELIST, Vb, 0, static_cast<uint32_t>(used), local.data(),
                                   static_cast<uint32_t>(local.size()), 0);
  }
}

const char* gr_d3d_error_text(int32_t result) {
  struct Entry {
    int32_t code;
    const char* text;
  };
  static const Entry table[] = {
      {DD_OK, "No error."},
      {E_FAIL, "Generic failure."},
      {E_OUTOFMEMORY, "DirectDraw does not have enough memory to perform the operation."},
      {E_INVALIDARG, "One or more of the parameters passed to the function are incorrect."},
      {DDERR_UNSUPPORTED, "Action not supported."},
      {DDERR_INVALIDOBJECT, "DirectDraw received a pointer that was an invalid DIRECTDRAW object."},
      {DDERR_NOTFOUND, "The requested item was not found."},
      {DDERR_SURFACELOST,
       "Access to this surface is being refused because the surface memory is gone. The DirectDrawSurface "
       "object representing this surface should have Restore called on it."},
      {DDERR_SURFACEBUSY, "Access to this surface is being refused because the surface is already locked by another thread."},
      {DDERR_NOTLOCKED, "Surface was not locked.  An attempt to unlock a surface that was not locked at all, or by this process, has been attempted."},
      {DDERR_WASSTILLDRAWING, "Informs DirectDraw that the previous Blt which is transfering information to or from this Surface is incomplete."},
      {DDERR_NODIRECTDRAWHW, "A hardware only DirectDraw object creation was attempted but the driver did not support any hardware."},
      {dd_result(700), "D3DERR_BADMAJORVERSION"},
      {dd_result(701), "D3DERR_BADMINORVERSION"},
      {dd_result(710), "D3DERR_EXECUTE_CREATE_FAILED"},
      {dd_result(711), "D3DERR_EXECUTE_DESTROY_FAILED"},
      {dd_result(712), "D3DERR_EXECUTE_LOCK_FAILED"},
      {dd_result(713), "D3DERR_EXECUTE_UNLOCK_FAILED"},
      {dd_result(714), "D3DERR_EXECUTE_LOCKED"},
      {dd_result(715), "D3DERR_EXECUTE_NOT_LOCKED"},
      {dd_result(716), "D3DERR_EXECUTE_FAILED"},
      {dd_result(717), "D3DERR_EXECUTE_CLIPPED_FAILED"},
      {dd_result(720), "D3DERR_TEXTURE_NO_SUPPORT"},
      {dd_result(721), "D3DERR_TEXTURE_CREATE_FAILED"},
      {dd_result(722), "D3DERR_TEXTURE_DESTROY_FAILED"},
      {dd_result(723), "D3DERR_TEXTURE_LOCK_FAILED"},
      {dd_result(724), "D3DERR_TEXTURE_UNLOCK_FAILED"},
      {dd_result(725), "D3DERR_TEXTURE_LOAD_FAILED"},
      {dd_result(727), "D3DERR_TEXTURELOCKED"},
      {dd_result(728), "D3DERR_TEXTURE_NOT_LOCKED"},
      {dd_result(730), "D3DERR_MATRIX_CREATE_FAILED"},
      {dd_result(731), "D3DERR_MATRIX_DESTROY_FAILED"},
      {dd_result(732), "D3DERR_MATRIX_SETDATA_FAILED"},
      {dd_result(734), "D3DERR_SETVIEWPORTDATA_FAILED"},
      {dd_result(740), "D3DERR_MATERIAL_CREATE_FAILED"},
      {dd_result(741), "D3DERR_MATERIAL_DESTROY_FAILED"},
      {dd_result(742), "D3DERR_MATERIAL_SETDATA_FAILED"},
      {dd_result(750), "D3DERR_LIGHT_SET_FAILED"},
  };
  for (const Entry& e : table)
    if (e.code == result) return e.text;
  return "Unrecognized error value.";
}
