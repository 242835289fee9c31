#pragma once
// The Glide 2 interface as this program uses it: our own declarations of the
// records, the numbers and the entry points, shared by the renderer (which
// loads the library at run time) and by our library libglide2x.so (which
// draws them with OpenGL). Only what the game calls carries a type; the other
// entry points are looked up all the same, because the loader wants a
// complete library.
#include <cstdint>
#include <type_traits>

using GlideBool = int32_t;

// One vertex as the card takes it: 15 floats.
struct GlideTmuVertex {
  float sow, tow, oow;
};
struct GlideVertex {
  float x, y, z;
  float r, g, b;
  float ooz;
  float a;
  float oow;
  GlideTmuVertex tmu[2];
};
static_assert(sizeof(GlideVertex) == 15 * sizeof(float), "the card's vertex is 15 floats");

struct GlideTexInfo {
  int32_t small_lod;
  int32_t large_lod;
  int32_t aspect;
  int32_t format;
  void* data;
};

// What grSstQueryHardware fills: boards with their frame-buffer megabytes
// and texture units.
struct GlideTmuConfig {
  int32_t revision;
  int32_t ram_mb;
};
struct GlideBoardConfig {
  int32_t type;
  int32_t fb_ram_mb;
  int32_t fbi_revision;
  int32_t tmu_count;
  int32_t sli;
  GlideTmuConfig tmu[2];
};
struct GlideHwConfig {
  int32_t board_count;
  GlideBoardConfig board[4];
};

// Numbers of the interface.
enum : int32_t {
  GLIDE_TMU0 = 0,
  GLIDE_TMU1 = 1,

  GLIDE_COMBINE_FUNCTION_ZERO = 0,
  GLIDE_COMBINE_FUNCTION_LOCAL = 1,
  GLIDE_COMBINE_FUNCTION_LOCAL_ALPHA = 2,
  GLIDE_COMBINE_FUNCTION_SCALE_OTHER = 3,
  GLIDE_COMBINE_FUNCTION_SCALE_OTHER_ADD_LOCAL = 4,

  GLIDE_COMBINE_FACTOR_ZERO = 0,
  GLIDE_COMBINE_FACTOR_LOCAL = 1,
  GLIDE_COMBINE_FACTOR_ONE = 8,

  GLIDE_COMBINE_LOCAL_ITERATED = 0,
  GLIDE_COMBINE_LOCAL_CONSTANT = 1,

  GLIDE_COMBINE_OTHER_ITERATED = 0,
  GLIDE_COMBINE_OTHER_TEXTURE = 1,
  GLIDE_COMBINE_OTHER_CONSTANT = 2,

  GLIDE_TEXCOMBINE_ZERO = 0,
  GLIDE_TEXCOMBINE_DECAL = 1,
  GLIDE_TEXCOMBINE_OTHER = 2,
  GLIDE_TEXCOMBINE_ADD = 3,
  GLIDE_TEXCOMBINE_MULTIPLY = 4,
  GLIDE_TEXCOMBINE_ONE = 8,

  GLIDE_BLEND_ZERO = 0,
  GLIDE_BLEND_SRC_ALPHA = 1,
  GLIDE_BLEND_SRC_COLOR = 2,
  GLIDE_BLEND_DST_COLOR = 2,
  GLIDE_BLEND_DST_ALPHA = 3,
  GLIDE_BLEND_ONE = 4,
  GLIDE_BLEND_ONE_MINUS_SRC_ALPHA = 5,
  GLIDE_BLEND_ONE_MINUS_SRC_COLOR = 6,
  GLIDE_BLEND_ONE_MINUS_DST_COLOR = 6,
  GLIDE_BLEND_ONE_MINUS_DST_ALPHA = 7,
  GLIDE_BLEND_PREFOG_COLOR = 15,

  GLIDE_CMP_NEVER = 0,
  GLIDE_CMP_LESS = 1,
  GLIDE_CMP_EQUAL = 2,
  GLIDE_CMP_LEQUAL = 3,
  GLIDE_CMP_GREATER = 4,
  GLIDE_CMP_NOTEQUAL = 5,
  GLIDE_CMP_GEQUAL = 6,
  GLIDE_CMP_ALWAYS = 7,

  GLIDE_DEPTHBUFFER_DISABLE = 0,
  GLIDE_DEPTHBUFFER_ZBUFFER = 1,
  GLIDE_DEPTHBUFFER_WBUFFER = 2,

  GLIDE_FOG_DISABLE = 0,
  GLIDE_FOG_WITH_TABLE = 2,
  GLIDE_FOG_MULT2 = 0x100,
  GLIDE_FOG_ADD2 = 0x200,
  GLIDE_FOG_TABLE_SIZE = 64,

  GLIDE_TEXTUREFILTER_POINT_SAMPLED = 0,
  GLIDE_TEXTUREFILTER_BILINEAR = 1,
  GLIDE_TEXTURECLAMP_WRAP = 0,
  GLIDE_TEXTURECLAMP_CLAMP = 1,
  GLIDE_MIPMAP_DISABLE = 0,
  GLIDE_MIPMAP_NEAREST = 1,
  GLIDE_MIPMAPLEVELMASK_BOTH = 3,

  GLIDE_LOD_256 = 0,
  GLIDE_LOD_1 = 8,
  GLIDE_ASPECT_8x1 = 0,
  GLIDE_ASPECT_1x1 = 3,
  GLIDE_ASPECT_1x8 = 6,

  GLIDE_TEXFMT_ALPHA_8 = 2,
  GLIDE_TEXFMT_RGB_565 = 10,
  GLIDE_TEXFMT_ARGB_1555 = 11,
  GLIDE_TEXFMT_ARGB_4444 = 12,

  GLIDE_RESOLUTION_640x480 = 7,
  GLIDE_RESOLUTION_800x600 = 8,
  GLIDE_RESOLUTION_1024x768 = 12,
  GLIDE_REFRESH_60Hz = 0,
  GLIDE_COLORFORMAT_ABGR = 1,
  GLIDE_ORIGIN_UPPER_LEFT = 0,
  GLIDE_CONTROL_ACTIVATE = 1,
  GLIDE_CONTROL_DEACTIVATE = 2,
  GLIDE_BUFFER_BACKBUFFER = 1,
  GLIDE_HINT_STWHINT = 0,
  GLIDE_STWHINT_ST_DIFF_TMU1 = 0x20,
};

// The entry points with the byte count of their arguments, in the order the
// loader asks for them: name, argument bytes, type (V for the ones the game
// does not call).
#define GLIDE_ENTRY_POINTS(X)                                                                 \
  X(grDrawLine, 8, void (*)(const GlideVertex*, const GlideVertex*))                          \
  X(grDrawPlanarPolygon, 12, void (*)(int, const int*, const GlideVertex*))                   \
  X(grDrawPlanarPolygonVertexList, 8, void (*)(int, const GlideVertex*))                                                \
  X(grDrawPoint, 4, V)                                                                        \
  X(grDrawPolygon, 12, V)                                                                     \
  X(grDrawPolygonVertexList, 8, void (*)(int, const GlideVertex*))                            \
  X(grDrawTriangle, 12, V)                                                                    \
  X(guDrawTriangleWithClip, 12, V)                                                            \
  X(grBufferClear, 12, void (*)(uint32_t, uint32_t, uint32_t))                                \
  X(grBufferNumPending, 0, V)                                                                 \
  X(grBufferSwap, 4, void (*)(int))                                                           \
  X(grRenderBuffer, 4, V)                                                                     \
  X(grErrorSetCallback, 4, V)                                                                 \
  X(grSstIdle, 0, void (*)())                                                                 \
  X(grSstVideoLine, 0, V)                                                                     \
  X(grSstVRetraceOn, 0, V)                                                                    \
  X(grSstIsBusy, 0, GlideBool (*)())                                                          \
  X(grSstWinOpen, 28, GlideBool (*)(unsigned long, int, int, int, int, int, int))             \
  X(grSstWinClose, 0, void (*)())                                                             \
  X(grSstControl, 4, GlideBool (*)(int))                                                      \
  X(grSstQueryHardware, 4, GlideBool (*)(GlideHwConfig*))                                     \
  X(grSstQueryBoards, 4, V)                                                                   \
  X(grSstOrigin, 4, V)                                                                        \
  X(grSstSelect, 4, void (*)(int))                                                            \
  X(grSstScreenHeight, 0, V)                                                                  \
  X(grSstScreenWidth, 0, V)                                                                   \
  X(grSstStatus, 0, V)                                                                        \
  X(grSstPerfStats, 4, V)                                                                     \
  X(grSstResetPerfStats, 0, V)                                                                \
  X(grResetTriStats, 0, V)                                                                    \
  X(grTriStats, 8, V)                                                                         \
  X(grAlphaBlendFunction, 16, void (*)(int, int, int, int))                                   \
  X(grAlphaCombine, 20, void (*)(int, int, int, int, GlideBool))                              \
  X(grAlphaControlsITRGBLighting, 4, void (*)(GlideBool))                                     \
  X(grAlphaTestFunction, 4, void (*)(int))                                                    \
  X(grAlphaTestReferenceValue, 4, void (*)(uint8_t))                                          \
  X(grChromakeyMode, 4, V)                                                                    \
  X(grChromakeyValue, 4, V)                                                                   \
  X(grClipWindow, 16, void (*)(uint32_t, uint32_t, uint32_t, uint32_t))                       \
  X(grColorCombine, 20, void (*)(int, int, int, int, GlideBool))                              \
  X(grColorMask, 8, void (*)(GlideBool, GlideBool))                                           \
  X(grCullMode, 4, V)                                                                         \
  X(grConstantColorValue, 4, void (*)(uint32_t))                                              \
  X(grConstantColorValue4, 16, V)                                                             \
  X(grDepthBiasLevel, 4, V)                                                                   \
  X(grDepthBufferFunction, 4, void (*)(int))                                                  \
  X(grDepthBufferMode, 4, void (*)(int))                                                      \
  X(grDepthMask, 4, void (*)(GlideBool))                                                      \
  X(grDisableAllEffects, 0, V)                                                                \
  X(grDitherMode, 4, V)                                                                       \
  X(grFogColorValue, 4, void (*)(uint32_t))                                                   \
  X(grFogMode, 4, void (*)(int))                                                              \
  X(grFogTable, 4, void (*)(const uint8_t*))                                                  \
  X(grGammaCorrectionValue, 4, void (*)(float))                                               \
  X(grSplash, 20, V)                                                                          \
  X(grTexCalcMemRequired, 16, V)                                                              \
  X(grTexTextureMemRequired, 8, uint32_t (*)(uint32_t, const GlideTexInfo*))                  \
  X(grTexMinAddress, 4, uint32_t (*)(int))                                                    \
  X(grTexMaxAddress, 4, uint32_t (*)(int))                                                    \
  X(grTexNCCTable, 8, V)                                                                      \
  X(grTexSource, 16, void (*)(int, uint32_t, uint32_t, const GlideTexInfo*))                  \
  X(grTexClampMode, 12, void (*)(int, int, int))                                              \
  X(grTexCombine, 28, V)                                                                      \
  X(grTexCombineFunction, 8, void (*)(int, int))                                              \
  X(grTexDetailControl, 16, V)                                                                \
  X(grTexFilterMode, 12, void (*)(int, int, int))                                             \
  X(grTexLodBiasValue, 8, void (*)(int, float))                                               \
  X(grTexDownloadMipMap, 16, void (*)(int, uint32_t, uint32_t, const GlideTexInfo*))          \
  X(grTexDownloadMipMapLevel, 32, V)                                                          \
  X(grTexDownloadMipMapLevelPartial, 40, V)                                                   \
  X(ConvertAndDownloadRle, 64, V)                                                             \
  X(grCheckForRoom, 4, V)                                                                     \
  X(grTexDownloadTable, 12, V)                                                                \
  X(grTexDownloadTablePartial, 20, V)                                                         \
  X(grTexMipMapMode, 12, void (*)(int, int, GlideBool))                                       \
  X(grTexMultibase, 8, V)                                                                     \
  X(grTexMultibaseAddress, 20, V)                                                             \
  X(guTexAllocateMemory, 60, V)                                                               \
  X(guTexChangeAttributes, 48, V)                                                             \
  X(guTexCombineFunction, 8, V)                                                               \
  X(guTexGetCurrentMipMap, 4, V)                                                              \
  X(guTexGetMipMapInfo, 4, V)                                                                 \
  X(guTexMemQueryAvail, 4, uint32_t (*)(int))                                                 \
  X(guTexMemReset, 0, V)                                                                      \
  X(guTexDownloadMipMap, 12, V)                                                               \
  X(guTexDownloadMipMapLevel, 12, V)                                                          \
  X(guTexSource, 4, V)                                                                        \
  X(guColorCombineFunction, 4, V)                                                             \
  X(grLfbLock, 24, V)                                                                         \
  X(grLfbUnlock, 8, V)                                                                        \
  X(grLfbConstantAlpha, 4, V)                                                                 \
  X(grLfbConstantDepth, 4, V)                                                                 \
  X(grLfbWriteColorSwizzle, 8, V)                                                             \
  X(grLfbWriteColorFormat, 4, V)                                                              \
  X(grLfbWriteRegion, 32, V)                                                                  \
  X(grLfbReadRegion, 28, GlideBool (*)(int, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, void*)) \
  X(grAADrawLine, 8, V)                                                                       \
  X(grAADrawPoint, 4, V)                                                                      \
  X(grAADrawPolygon, 12, V)                                                                   \
  X(grAADrawPolygonVertexList, 8, V)                                                          \
  X(grAADrawTriangle, 24, V)                                                                  \
  X(grGlideInit, 0, void (*)())                                                               \
  X(grGlideShutdown, 0, void (*)())                                                           \
  X(grGlideGetVersion, 4, void (*)(char*))                                                    \
  X(grGlideGetState, 4, V)                                                                    \
  X(grGlideSetState, 4, V)                                                                    \
  X(grGlideShamelessPlug, 4, V)                                                               \
  X(grHints, 8, void (*)(uint32_t, uint32_t))                                                 \
  X(guFogTableIndexToW, 4, V)                                                                 \
  X(guFogGenerateExp, 8, V)                                                                   \
  X(guFogGenerateExp2, 8, V)                                                                  \
  X(guFogGenerateLinear, 12, void (*)(uint8_t*, float, float))

// The entry-point table the renderer calls through.
struct GlideApi {
  using V = void (*)();
#define GLIDE_API_MEMBER(name, bytes, ...) std::type_identity_t<__VA_ARGS__> name = nullptr;
  GLIDE_ENTRY_POINTS(GLIDE_API_MEMBER)
#undef GLIDE_API_MEMBER
};
