#pragma once
// The DirectDraw 7 / Direct3D 7 layer: plain objects with exactly the
// operations the Direct3D renderer and its texture cache call, drawing with
// OpenGL on the game window. Every call answers a result code as the
// renderer expects (DD_OK or an error), so the renderer's own error handling
// runs unchanged.
//
// The device is one of our own choosing: one driver, one multitexture device
// without hardware transform and lighting, a neutral vendor id. Tests change
// what it reports (d3d_layer_config) to reach the renderer's refusals, and
// read back every state call it received (d3d_layer_calls). Without a window
// or a display the objects work in memory and draw nothing.
#include <cstdint>
#include <string>
#include <vector>

using HRESULT = int32_t;

#define DD_OK 0
#define D3D_OK 0
#define DDENUMRET_CANCEL 0
#define DDENUMRET_OK 1
#define D3DENUMRET_CANCEL 0
#define D3DENUMRET_OK 1

constexpr HRESULT dd_result(uint32_t code) { return static_cast<HRESULT>(0x88760000u | code); }
#define E_FAIL static_cast<HRESULT>(0x80004005u)
#define E_OUTOFMEMORY static_cast<HRESULT>(0x8007000Eu)
#define E_INVALIDARG static_cast<HRESULT>(0x80070057u)
#define DDERR_GENERIC E_FAIL
#define DDERR_OUTOFMEMORY E_OUTOFMEMORY
#define DDERR_INVALIDPARAMS E_INVALIDARG
#define DDERR_INVALIDOBJECT dd_result(130)
#define DDERR_NOTFOUND dd_result(255)
#define DDERR_SURFACELOST dd_result(450)
#define DDERR_SURFACEBUSY dd_result(430)
#define DDERR_NOTLOCKED dd_result(584)
#define DDERR_WASSTILLDRAWING dd_result(540)
#define DDERR_NODIRECTDRAWHW dd_result(561)
#define DDERR_UNSUPPORTED static_cast<HRESULT>(0x80004001u)
#define D3DERR_TEXTURE_CREATE_FAILED dd_result(721)

struct Guid {
  uint8_t bytes[16];
  bool operator==(const Guid&) const = default;
};
extern const Guid IID_IDirectDraw7;
extern const Guid IID_IDirect3D7;
extern const Guid IID_IDirect3DHALDevice;
extern const Guid IID_IDirect3DTnLHalDevice;

// Pixel format flags and record (32 bytes, as the renderer keeps them).
#define DDPF_ALPHAPIXELS 0x1u
#define DDPF_RGB 0x40u
#define DDPF_ZBUFFER 0x400u
#define DDPF_BUMPDUDV 0x80000u
struct DDPIXELFORMAT {
  uint32_t dwSize = 32, dwFlags = 0, dwFourCC = 0;
  uint32_t dwRGBBitCount = 0;  // also the z-buffer and bump bit counts
  uint32_t dwRBitMask = 0;     // bump: du mask
  uint32_t dwGBitMask = 0;     // bump: dv mask
  uint32_t dwBBitMask = 0;
  uint32_t dwRGBAlphaBitMask = 0;
};
static_assert(sizeof(DDPIXELFORMAT) == 32);

// Surface caps.
#define DDSCAPS_3DDEVICE 0x2000u
#define DDSCAPS_BACKBUFFER 0x4u
#define DDSCAPS_COMPLEX 0x8u
#define DDSCAPS_FLIP 0x10u
#define DDSCAPS_OFFSCREENPLAIN 0x40u
#define DDSCAPS_PRIMARYSURFACE 0x200u
#define DDSCAPS_SYSTEMMEMORY 0x800u
#define DDSCAPS_TEXTURE 0x1000u
#define DDSCAPS_VIDEOMEMORY 0x4000u
#define DDSCAPS_ZBUFFER 0x20000u
#define DDSCAPS_MIPMAP 0x400000u
#define DDSCAPS2_TEXTUREMANAGE 0x10u

#define DDSD_CAPS 0x1u
#define DDSD_HEIGHT 0x2u
#define DDSD_WIDTH 0x4u
#define DDSD_PITCH 0x8u
#define DDSD_BACKBUFFERCOUNT 0x20u
#define DDSD_MIPMAPCOUNT 0x20000u
#define DDSD_PIXELFORMAT 0x1000u

struct DDSURFACEDESC2 {
  uint32_t dwFlags = 0;
  uint32_t dwWidth = 0, dwHeight = 0;
  int32_t lPitch = 0;
  uint32_t dwBackBufferCount = 0;
  uint32_t dwMipMapCount = 0;
  void* lpSurface = nullptr;
  DDPIXELFORMAT ddpfPixelFormat;
  uint32_t dwCaps = 0, dwCaps2 = 0;
};

// Cooperative level, blit, flip, lock.
#define DDSCL_FULLSCREEN 0x1u
#define DDSCL_NORMAL 0x8u
#define DDSCL_EXCLUSIVE 0x10u
#define DDSCL_NOWINDOWCHANGES 0x4u
#define DDBLT_WAIT 0x1000000u
#define DDGBS_ISBLTDONE 0x2u
#define DDFLIP_WAIT 0x1u
#define DDLOCK_WAIT 0x1u
#define DDLOCK_READONLY 0x10u

struct Rect {
  int32_t left = 0, top = 0, right = 0, bottom = 0;
};

// Capabilities.
#define D3DPTEXTURECAPS_POW2 0x2u
#define D3DPTEXTURECAPS_SQUAREONLY 0x20u
#define D3DPRASTERCAPS_FOGVERTEX 0x80u
#define D3DPRASTERCAPS_FOGTABLE 0x100u
#define D3DPRASTERCAPS_ANTIALIASSORTINDEPENDENT 0x800u
#define D3DPRASTERCAPS_WFOG 0x100000u
#define D3DDEVCAPS_DRAWPRIMITIVES2EX 0x8000u
#define D3DDEVCAPS_HWTRANSFORMANDLIGHT 0x10000u
#define D3DPTBLENDCAPS_MODULATE 0x8u
#define D3DPTBLENDCAPS_MODULATEALPHA 0x10u
#define D3DPBLENDCAPS_SRCALPHA 0x10u
#define D3DPBLENDCAPS_INVSRCALPHA 0x20u
#define D3DPBLENDCAPS_DESTCOLOR 0x100u
#define D3DPBLENDCAPS_BOTHSRCALPHA 0x800u
#define D3DPBLENDCAPS_BOTHINVSRCALPHA 0x1000u

struct D3DDEVICEDESC7 {
  uint32_t dwDevCaps = 0;
  uint32_t dwRasterCaps = 0;
  uint32_t dwSrcBlendCaps = 0, dwDestBlendCaps = 0;
  uint32_t dwTextureCaps = 0;
  uint32_t dwTextureBlendCaps = 0;
  uint32_t dwMinTextureWidth = 0, dwMinTextureHeight = 0;
  uint32_t dwMaxTextureWidth = 0, dwMaxTextureHeight = 0;
  uint16_t wMaxTextureBlendStages = 0, wMaxSimultaneousTextures = 0;
  Guid deviceGUID{};
};

struct DDDEVICEIDENTIFIER2 {
  char szDriver[512] = {};
  char szDescription[512] = {};
  uint32_t dwVendorId = 0, dwDeviceId = 0;
};

// Render states, texture-stage states and their values (those in use).
enum D3dRenderState : uint32_t {
  D3DRENDERSTATE_ANTIALIAS = 2,
  D3DRENDERSTATE_TEXTUREPERSPECTIVE = 4,
  D3DRENDERSTATE_ZENABLE = 7,
  D3DRENDERSTATE_SHADEMODE = 9,
  D3DRENDERSTATE_ZWRITEENABLE = 14,
  D3DRENDERSTATE_ALPHATESTENABLE = 15,
  D3DRENDERSTATE_TEXTUREMAG = 17,
  D3DRENDERSTATE_TEXTUREMIN = 18,
  D3DRENDERSTATE_SRCBLEND = 19,
  D3DRENDERSTATE_DESTBLEND = 20,
  D3DRENDERSTATE_CULLMODE = 22,
  D3DRENDERSTATE_ZFUNC = 23,
  D3DRENDERSTATE_ALPHAREF = 24,
  D3DRENDERSTATE_ALPHAFUNC = 25,
  D3DRENDERSTATE_DITHERENABLE = 26,
  D3DRENDERSTATE_ALPHABLENDENABLE = 27,
  D3DRENDERSTATE_FOGENABLE = 28,
  D3DRENDERSTATE_SPECULARENABLE = 29,
  D3DRENDERSTATE_FOGCOLOR = 34,
  D3DRENDERSTATE_FOGTABLEMODE = 35,
  D3DRENDERSTATE_FOGSTART = 36,
  D3DRENDERSTATE_FOGEND = 37,
  D3DRENDERSTATE_ZBIAS = 47,
  D3DRENDERSTATE_FOGVERTEXMODE = 140,
  D3DRENDERSTATE_MAX = 160
};
enum D3dStageState : uint32_t {
  D3DTSS_COLOROP = 1,
  D3DTSS_COLORARG1 = 2,
  D3DTSS_COLORARG2 = 3,
  D3DTSS_ALPHAOP = 4,
  D3DTSS_ALPHAARG1 = 5,
  D3DTSS_ALPHAARG2 = 6,
  D3DTSS_TEXCOORDINDEX = 11,
  D3DTSS_ADDRESS = 12,
  D3DTSS_ADDRESSU = 13,
  D3DTSS_ADDRESSV = 14,
  D3DTSS_MAGFILTER = 16,
  D3DTSS_MINFILTER = 17,
  D3DTSS_MIPFILTER = 18,
  D3DTSS_MAX = 32
};
enum D3dTextureOp : uint32_t {
  D3DTOP_DISABLE = 1,
  D3DTOP_SELECTARG1 = 2,
  D3DTOP_SELECTARG2 = 3,
  D3DTOP_MODULATE = 4,
  D3DTOP_ADD = 7,
  D3DTOP_BLENDTEXTUREALPHA = 13,
  D3DTOP_BUMPENVMAP = 22
};
#define D3DTA_DIFFUSE 0u
#define D3DTA_CURRENT 1u
#define D3DTA_TEXTURE 2u
#define D3DTADDRESS_WRAP 1u
#define D3DTADDRESS_MIRROR 2u
#define D3DTADDRESS_CLAMP 3u
#define D3DTFG_POINT 1u
#define D3DTFG_LINEAR 2u
#define D3DTFN_POINT 1u
#define D3DTFN_LINEAR 2u
#define D3DTFP_NONE 1u
#define D3DTFP_LINEAR 3u
#define D3DFILTER_LINEAR 2u
#define D3DCULL_NONE 1u
#define D3DSHADE_GOURAUD 2u
#define D3DFOG_NONE 0u
#define D3DFOG_LINEAR 3u
#define D3DANTIALIAS_NONE 0u
#define D3DANTIALIAS_SORTINDEPENDENT 2u
enum D3dCmpFunc : uint32_t {
  D3DCMP_NEVER = 1,
  D3DCMP_LESS,
  D3DCMP_EQUAL,
  D3DCMP_LESSEQUAL,
  D3DCMP_GREATER,
  D3DCMP_NOTEQUAL,
  D3DCMP_GREATEREQUAL,
  D3DCMP_ALWAYS
};
enum D3dBlend : uint32_t {
  D3DBLEND_ZERO = 1,
  D3DBLEND_ONE,
  D3DBLEND_SRCCOLOR,
  D3DBLEND_INVSRCCOLOR,
  D3DBLEND_SRCALPHA,
  D3DBLEND_INVSRCALPHA,
  D3DBLEND_DESTALPHA,
  D3DBLEND_INVDESTALPHA,
  D3DBLEND_DESTCOLOR,
  D3DBLEND_INVDESTCOLOR,
  D3DBLEND_SRCALPHASAT,
  D3DBLEND_BOTHSRCALPHA,
  D3DBLEND_BOTHINVSRCALPHA
};

#define D3DTRANSFORMSTATE_WORLD 1u
#define D3DTRANSFORMSTATE_VIEW 2u
#define D3DTRANSFORMSTATE_PROJECTION 3u
struct D3DMATRIX {
  float m[4][4];  // m[0][0] is m11
};
struct D3DVIEWPORT7 {
  uint32_t dwX, dwY, dwWidth, dwHeight;
  float dvMinZ, dvMaxZ;
};

#define D3DCLEAR_TARGET 0x1u
#define D3DCLEAR_ZBUFFER 0x2u

#define D3DPT_LINELIST 2u
#define D3DPT_TRIANGLELIST 4u
#define D3DPT_TRIANGLEFAN 6u

// The one vertex format in use: screen position, 1/w, diffuse, specular and
// two texture-coordinate sets (40 bytes).
#define D3DFVF_TLVERTEX2 0x2C4u
struct D3dTLVertex {
  float x, y, z, rhw;
  uint32_t diffuse;   // ARGB
  uint32_t specular;  // the alpha byte is the vertex fog factor
  float u, v, u2, v2;
};
static_assert(sizeof(D3dTLVertex) == 40);

#define D3DVBCAPS_WRITEONLY 0x10000u
struct D3DVERTEXBUFFERDESC {
  uint32_t dwCaps, dwFVF, dwNumVertices;
};

class DirectDrawSurface7;
class DirectDrawClipper;
class Direct3D7;
class Direct3DDevice7;
class Direct3DVertexBuffer7;

// Objects are counted references: Release drops one and deletes the object
// at zero.
class LayerObject {
 public:
  virtual ~LayerObject() = default;
  uint32_t AddRef() { return ++refs_; }
  uint32_t Release();

 private:
  uint32_t refs_ = 1;
};

class DirectDrawClipper : public LayerObject {
 public:
  HRESULT SetHWnd(uint32_t flags, unsigned long window);
  unsigned long window = 0;
};

class DirectDraw7 : public LayerObject {
 public:
  HRESULT QueryInterface(const Guid& iid, void** out);
  HRESULT GetDeviceIdentifier(DDDEVICEIDENTIFIER2* id, uint32_t flags);
  HRESULT SetCooperativeLevel(unsigned long window, uint32_t flags);
  HRESULT SetDisplayMode(uint32_t w, uint32_t h, uint32_t bpp, uint32_t refresh, uint32_t flags);
  HRESULT RestoreDisplayMode();
  HRESULT CreateSurface(DDSURFACEDESC2* desc, DirectDrawSurface7** out, void* outer);
  HRESULT CreateClipper(uint32_t flags, DirectDrawClipper** out, void* outer);
  HRESULT GetAvailableVidMem(const uint32_t* caps, uint32_t* total, uint32_t* free);

  unsigned long window = 0;
  uint32_t cooperative = 0;
};

class DirectDrawSurface7 : public LayerObject {
 public:
  ~DirectDrawSurface7() override;
  HRESULT GetAttachedSurface(const uint32_t* caps, DirectDrawSurface7** out);
  HRESULT AddAttachedSurface(DirectDrawSurface7* surface);
  HRESULT SetClipper(DirectDrawClipper* clipper);
  HRESULT Blt(Rect* dest, DirectDrawSurface7* src, Rect* src_rect, uint32_t flags, void* fx);
  HRESULT GetBltStatus(uint32_t flags);
  HRESULT IsLost();
  HRESULT Restore();
  HRESULT Flip(DirectDrawSurface7* target, uint32_t flags);
  HRESULT Lock(Rect* rect, DDSURFACEDESC2* desc, uint32_t flags, void* event);
  HRESULT Unlock(Rect* rect);

  DDSURFACEDESC2 desc;
  std::vector<uint8_t> pixels;
  DirectDrawSurface7* attached = nullptr;  // back buffer, z-buffer or next mip level
  DirectDrawSurface7* top = nullptr;       // a mip level's top surface (itself for the top)
  int level = 0;
  unsigned int gl_name = 0;
  uint64_t sampler = ~0ull;  // the wrap and filter values last given to GL
  bool locked = false;
  bool lost = false;
};

// Caps recorded for each device the enumeration offers.
struct D3dLayerDevice {
  std::string description;  // empty: the device is offered without one
  std::string name;
  D3DDEVICEDESC7 caps;
};

class Direct3D7 : public LayerObject {
 public:
  using DeviceCallback = HRESULT (*)(char* description, char* name, D3DDEVICEDESC7* desc, void* ctx);
  using ZFormatCallback = HRESULT (*)(DDPIXELFORMAT* format, void* ctx);
  HRESULT EnumDevices(DeviceCallback cb, void* ctx);
  HRESULT EnumZBufferFormats(const Guid& device, ZFormatCallback cb, void* ctx);
  HRESULT CreateDevice(const Guid& device, DirectDrawSurface7* target, Direct3DDevice7** out);
  HRESULT CreateVertexBuffer(D3DVERTEXBUFFERDESC* desc, Direct3DVertexBuffer7** out, uint32_t flags);
  HRESULT EvictManagedTextures();

  DirectDraw7* ddraw = nullptr;
};

class Direct3DVertexBuffer7 : public LayerObject {
 public:
  HRESULT Lock(uint32_t flags, void** data, uint32_t* size);
  HRESULT Unlock();
  std::vector<D3dTLVertex> vertices;
};

class Direct3DDevice7 : public LayerObject {
 public:
  using TextureFormatCallback = HRESULT (*)(DDPIXELFORMAT* format, void* ctx);
  ~Direct3DDevice7() override;
  HRESULT GetCaps(D3DDEVICEDESC7* desc);
  HRESULT EnumTextureFormats(TextureFormatCallback cb, void* ctx);
  HRESULT SetTransform(uint32_t which, D3DMATRIX* m);
  HRESULT SetViewport(D3DVIEWPORT7* vp);
  HRESULT BeginScene();
  HRESULT EndScene();
  HRESULT Clear(uint32_t count, Rect* rects, uint32_t flags, uint32_t color, float z, uint32_t stencil);
  HRESULT SetRenderState(D3dRenderState state, uint32_t value);
  HRESULT SetTextureStageState(uint32_t stage, D3dStageState state, uint32_t value);
  HRESULT SetTexture(uint32_t stage, DirectDrawSurface7* surface);
  HRESULT DrawPrimitive(uint32_t type, uint32_t fvf, void* vertices, uint32_t count, uint32_t flags);
  HRESULT DrawPrimitiveVB(uint32_t type, Direct3DVertexBuffer7* vb, uint32_t start, uint32_t count, uint32_t flags);
  HRESULT DrawIndexedPrimitiveVB(uint32_t type, Direct3DVertexBuffer7* vb, uint32_t start, uint32_t count,
                                 uint16_t* indices, uint32_t index_count, uint32_t flags);

  D3DDEVICEDESC7 caps;
  DirectDrawSurface7* target = nullptr;
  uint32_t render_state[D3DRENDERSTATE_MAX] = {};
  uint32_t stage_state[2][D3DTSS_MAX] = {};
  DirectDrawSurface7* texture[2] = {};
  D3DMATRIX projection{};
  D3DVIEWPORT7 viewport{};
  bool in_scene = false;
  bool use_gl = false;
  bool gl_dirty = true;        // states: everything is sent again
  bool texture_dirty = true;   // only the bound textures changed
  DirectDrawSurface7* applied_texture[2] = {};
};

// Loading: the library and its entry (both present unless a test says not).
using DirectDrawEnumCallback = int (*)(Guid* guid, char* description, char* driver, void* ctx);
bool d3d_layer_load_library(const char* name);
bool d3d_layer_lookup(const char* entry);
HRESULT DirectDrawEnumerateA(DirectDrawEnumCallback cb, void* ctx);
HRESULT DirectDrawCreateEx(const Guid* driver, void** out, const Guid& iid, void* outer);

// What the layer reports, and the faults tests ask of it.
struct D3dLayerConfig {
  bool library = true;
  bool entry = true;
  std::string driver_description = "Orrimund software display driver";
  std::string driver_name = "gldisplay";
  uint32_t vendor_id = 0x0, device_id = 0x0;
  std::vector<D3dLayerDevice> devices;
  std::vector<DDPIXELFORMAT> texture_formats;
  std::vector<DDPIXELFORMAT> zbuffer_formats;
  uint32_t free_texture_memory = 64u << 20;
  // A call named here ("CreateSurface", "Lock", ...) answers fail_result.
  std::string fail_call;
  HRESULT fail_result = DDERR_GENERIC;
  int fail_after = 0;  // successful calls of that name before it fails
};
D3dLayerConfig& d3d_layer_config();
void d3d_layer_reset_config();
// The usual device, texture formats and z formats of our layer.
D3dLayerDevice d3d_layer_default_device();
DDPIXELFORMAT d3d_layer_rgb_format(uint32_t bits, uint32_t r, uint32_t g, uint32_t b, uint32_t a);

// Every state, texture and draw call the device received, in order, for
// tests. Recording starts off.
struct D3dCall {
  enum Kind { RENDER, STAGE, TEXTURE, DRAW, CLEAR, BEGIN, END, FLIP } kind;
  uint32_t stage = 0, state = 0, value = 0;
  bool operator==(const D3dCall&) const = default;
};
void d3d_layer_record(bool on);
std::vector<D3dCall>& d3d_layer_calls();
// The vertices of every draw while recording, in drawing order (indexed draws
// through their indices).
std::vector<D3dTLVertex>& d3d_layer_drawn_vertices();
// The number of surfaces alive (tests check that the cache releases them).
int d3d_layer_surfaces_alive();
