#pragma once
// A recording screen for the 3D drawing tests: every polygon, layered
// polygon and 3D line the front end hands to the renderer is copied here.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "quarn/bmpman/bmpman.h"
#include "quarn/gr/gr.h"
#include "quarn/gr/gr3d.h"
#include "quarn/gr/gr_recorder.h"
#include "quarn/math/matrix.h"

struct LayeredCall {
  std::vector<GrVertex> points;
  std::vector<GrLayerVertexData> data[GR_MAX_LAYERS];
  std::vector<GrLayer> layers;
};
struct Line3dCall {
  GrVertex a, b;
  uint32_t state;
  Color color;
};

class Draw3dRecorder : public GrRecorder {
 public:
  std::vector<LayeredCall> layered;
  std::vector<Line3dCall> lines;
  int plain_polygons = 0;

  void polygon(int, GrVertex**, RenderStateWord) override { plain_polygons++; }
  void polygon_layers(int count, GrLayeredVertex** v, int layer_count, const GrLayer* layers) override {
    LayeredCall c;
    for (int i = 0; i < count; i++) {
      c.points.push_back(*v[i]->vertex);
      for (int l = 0; l < layer_count; l++) c.data[l].push_back(v[i]->layer[l]);
    }
    c.layers.assign(layers, layers + layer_count);
    layered.push_back(c);
  }
  void line3d(const GrVertex* a, const GrVertex* b, RenderStateWord s) override {
    lines.push_back({*a, *b, s.bits, gr_screen.current_color});
  }
  void reset() {
    layered.clear();
    lines.clear();
    plain_polygons = 0;
  }
};

// A 640 by 480 recording screen with square pixels and a 90 degree view from
// the origin looking down +z; far clipping off.
class Draw3dTest : public ::testing::Test {
 protected:
  Draw3dRecorder rec;
  void SetUp() override {
    bm_init();
    gr_set_recorder(&rec);
    gr_init(640, 480, GR_RECORDER, GR_WINDOWED, 0, false);
    gr_set_aspect(1.0f);
    gr_3d_set_far_plane(0.0f);
    start_view();
    rec.reset();
  }
  void TearDown() override {
    gr_close();
    gr_set_recorder(nullptr);
  }
  void start_view() { gr_3d_start_frame(vector(0, 0, 0), identity_matrix, 90.0f, false); }
  int make_bitmap(int w, int h) {
    pixels_.emplace_back(static_cast<size_t>(w) * h * 2, 0);
    return bm_create(BM_FORMAT_565, w, h, pixels_.back().data());
  }
  // A view-space point of a world point.
  static GrVertex view_point(float x, float y, float z) {
    GrVertex v;
    gr_3d_rotate_point(v, vector(x, y, z));
    return v;
  }

 private:
  std::vector<std::vector<uint8_t>> pixels_;
};
