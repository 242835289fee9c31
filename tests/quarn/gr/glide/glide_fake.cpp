#include "glide_fake.h"

#include <cstdarg>
#include <cstdio>

FakeGlide Fake_glide;

namespace {
void rec(const char* fmt, ...) {
  char line[256];
  va_list ap;
  va_start(ap, fmt);
  std::vsnprintf(line, sizeof line, fmt, ap);
  va_end(ap);
  Fake_glide.calls.emplace_back(line);
}

// Texture memory as the card counts it: every level, two bytes a texel (one
// for alpha).
uint32_t mem_required(const GlideTexInfo* info) {
  const int large = 256 >> info->large_lod;
  static const int W_DIV[7] = {1, 1, 1, 1, 2, 4, 8};
  static const int H_DIV[7] = {8, 4, 2, 1, 1, 1, 1};
  int w = large / W_DIV[info->aspect], h = large / H_DIV[info->aspect];
  uint32_t bytes = 0;
  for (int l = info->large_lod; l <= info->small_lod; l++) {
    bytes += static_cast<uint32_t>((w > 0 ? w : 1) * (h > 0 ? h : 1) * (info->format == GLIDE_TEXFMT_ALPHA_8 ? 1 : 2));
    w /= 2;
    h /= 2;
  }
  return bytes;
}
}  // namespace

std::vector<std::string> FakeGlide::named(const std::string& prefix) const {
  std::vector<std::string> out;
  for (const auto& c : calls)
    if (c.rfind(prefix, 0) == 0) out.push_back(c);
  return out;
}

GlideApi fake_glide_api() {
  GlideApi a;
  a.grDrawLine = [](const GlideVertex* p, const GlideVertex* q) {
    rec("grDrawLine");
    Fake_glide.lines.push_back(*p);
    Fake_glide.lines.push_back(*q);
  };
  a.grDrawPlanarPolygon = [](int n, const int* idx, const GlideVertex* v) {
    rec("grDrawPlanarPolygon(%d)", n);
    std::vector<GlideVertex> poly;
    for (int i = 0; i < n; i++) poly.push_back(v[idx[i]]);
    Fake_glide.polygons.push_back(poly);
  };
  a.grDrawPolygonVertexList = [](int n, const GlideVertex* v) {
    rec("grDrawPolygonVertexList(%d)", n);
    Fake_glide.polygons.emplace_back(v, v + n);
  };
  a.grBufferClear = [](uint32_t c, uint32_t al, uint32_t d) { rec("grBufferClear(%u,%u,%u)", c, al, d); };
  a.grBufferSwap = [](int i) { rec("grBufferSwap(%d)", i); };
  a.grSstIdle = [] { rec("grSstIdle"); };
  a.grSstIsBusy = []() -> GlideBool { return 0; };
  a.grSstWinOpen = [](unsigned long, int res, int, int, int, int, int) -> GlideBool {
    rec("grSstWinOpen(%d)", res);
    return 1;
  };
  a.grSstWinClose = [] { rec("grSstWinClose"); };
  a.grSstControl = [](int c) -> GlideBool {
    rec("grSstControl(%d)", c);
    return 1;
  };
  a.grSstQueryHardware = [](GlideHwConfig* hw) -> GlideBool {
    *hw = GlideHwConfig{};
    hw->board_count = 1;
    hw->board[0].fb_ram_mb = Fake_glide.fb_mb;
    hw->board[0].tmu_count = Fake_glide.tmu_count;
    return 1;
  };
  a.grSstSelect = [](int) {};
  a.grAlphaBlendFunction = [](int a1, int a2, int a3, int a4) { rec("grAlphaBlendFunction(%d,%d,%d,%d)", a1, a2, a3, a4); };
  a.grAlphaCombine = [](int f, int fa, int l, int o, GlideBool i) { rec("grAlphaCombine(%d,%d,%d,%d,%d)", f, fa, l, o, i); };
  a.grAlphaControlsITRGBLighting = [](GlideBool b) { rec("grAlphaControlsITRGBLighting(%d)", b); };
  a.grAlphaTestFunction = [](int f) { rec("grAlphaTestFunction(%d)", f); };
  a.grAlphaTestReferenceValue = [](uint8_t v) { rec("grAlphaTestReferenceValue(%d)", v); };
  a.grClipWindow = [](uint32_t x0, uint32_t y0, uint32_t x1, uint32_t y1) { rec("grClipWindow(%u,%u,%u,%u)", x0, y0, x1, y1); };
  a.grColorCombine = [](int f, int fa, int l, int o, GlideBool i) { rec("grColorCombine(%d,%d,%d,%d,%d)", f, fa, l, o, i); };
  a.grColorMask = [](GlideBool r, GlideBool al) { rec("grColorMask(%d,%d)", r, al); };
  a.grConstantColorValue = [](uint32_t c) { rec("grConstantColorValue(%08x)", c); };
  a.grDepthBufferFunction = [](int f) { rec("grDepthBufferFunction(%d)", f); };
  a.grDepthBufferMode = [](int m) { rec("grDepthBufferMode(%d)", m); };
  a.grDepthMask = [](GlideBool m) { rec("grDepthMask(%d)", m); };
  a.grFogColorValue = [](uint32_t c) { rec("grFogColorValue(%06x)", c); };
  a.grFogMode = [](int m) { rec("grFogMode(%d)", m); };
  a.grFogTable = [](const uint8_t*) { rec("grFogTable"); };
  a.grGammaCorrectionValue = [](float) { rec("grGammaCorrectionValue"); };
  a.grTexTextureMemRequired = [](uint32_t, const GlideTexInfo* info) -> uint32_t { return mem_required(info); };
  a.grTexMinAddress = [](int) -> uint32_t { return 0; };
  a.grTexMaxAddress = [](int) -> uint32_t { return Fake_glide.tmu_bytes; };
  a.grTexSource = [](int t, uint32_t addr, uint32_t, const GlideTexInfo* info) {
    rec("grTexSource(%d,%u)", t, addr);
    Fake_glide.sources.push_back({t, addr, mem_required(info)});
  };
  a.grTexClampMode = [](int t, int s, int tt) { rec("grTexClampMode(%d,%d,%d)", t, s, tt); };
  a.grTexCombineFunction = [](int t, int f) { rec("grTexCombineFunction(%d,%d)", t, f); };
  a.grTexFilterMode = [](int t, int mi, int ma) { rec("grTexFilterMode(%d,%d,%d)", t, mi, ma); };
  a.grTexLodBiasValue = [](int, float) {};
  a.grTexDownloadMipMap = [](int t, uint32_t addr, uint32_t, const GlideTexInfo* info) {
    rec("grTexDownloadMipMap(%d,%u)", t, addr);
    Fake_glide.downloads.push_back({t, addr, mem_required(info)});
  };
  a.grTexMipMapMode = [](int t, int m, GlideBool) { rec("grTexMipMapMode(%d,%d)", t, m); };
  a.guTexMemQueryAvail = [](int) -> uint32_t { return Fake_glide.tmu_bytes; };
  a.grLfbReadRegion = [](int b, uint32_t x, uint32_t y, uint32_t w, uint32_t h, uint32_t stride, void*) -> GlideBool {
    rec("grLfbReadRegion(%d,%u,%u,%u,%u,%u)", b, x, y, w, h, stride);
    return 1;
  };
  a.grGlideInit = [] { rec("grGlideInit"); };
  a.grGlideShutdown = [] { rec("grGlideShutdown"); };
  a.grGlideGetVersion = [](char* v) { std::snprintf(v, 80, "fake"); };
  a.grHints = [](uint32_t h, uint32_t v) { rec("grHints(%u,%u)", h, v); };
  a.guFogGenerateLinear = [](uint8_t* table, float n, float f) {
    rec("guFogGenerateLinear(%g,%g)", n, f);
    for (int i = 0; i < GLIDE_FOG_TABLE_SIZE; i++) table[i] = static_cast<uint8_t>(i);
  };
  return a;
}
