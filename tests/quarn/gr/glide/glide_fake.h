#pragma once
// A recording stand-in for the Glide library: every call the renderer makes
// is written as a line "name(arg,arg,...)"; downloads and sources are also
// kept as records. The texture units hold Fake_glide.tmu_bytes each.
#include <cstdint>
#include <string>
#include <vector>

#include "quarn/gr/glide/glide_api.h"

struct FakeDownload {
  int tmu;
  uint32_t address, size;
};

struct FakeGlide {
  std::vector<std::string> calls;
  std::vector<FakeDownload> downloads;
  std::vector<FakeDownload> sources;
  std::vector<std::vector<GlideVertex>> polygons;  // grDrawPolygonVertexList
  std::vector<GlideVertex> lines;                  // two per grDrawLine
  uint32_t tmu_bytes = 4u << 20;
  int tmu_count = 2;
  int fb_mb = 8;
  void reset() {
    calls.clear();
    downloads.clear();
    sources.clear();
    polygons.clear();
    lines.clear();
  }
  // Calls whose name starts with the prefix.
  std::vector<std::string> named(const std::string& prefix) const;
};
extern FakeGlide Fake_glide;

// The table of recording functions.
GlideApi fake_glide_api();
