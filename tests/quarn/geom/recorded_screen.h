#pragma once
// The recording renderer set up as a 640 by 480 screen with square pixels,
// an eye at the origin looking along +z, 90 degrees across, keeping the
// screen corners of every polygon drawn; and where a plain pinhole camera
// of that kind puts a view-space point, worked out independently.
#include <utility>
#include <vector>

#include "quarn/bmpman/bmpman.h"
#include "quarn/gr/gr.h"
#include "quarn/gr/gr3d.h"
#include "quarn/gr/gr_recorder.h"

struct CornerRecorder : GrRecorder {
  std::vector<std::vector<std::pair<float, float>>> polygons;
  void polygon_layers(int n, GrLayeredVertex** v, int, const GrLayer*) override {
    std::vector<std::pair<float, float>> p;
    for (int i = 0; i < n; i++) p.emplace_back(v[i]->vertex->sx, v[i]->vertex->sy);
    polygons.push_back(p);
  }
};

struct ScreenBox {
  float x0 = 1e9f, y0 = 1e9f, x1 = -1e9f, y1 = -1e9f;
  float w() const { return x1 - x0; }
  float h() const { return y1 - y0; }
};
inline ScreenBox screen_box(const std::vector<std::pair<float, float>>& corners) {
  ScreenBox b;
  for (const auto& c : corners) {
    b.x0 = c.first < b.x0 ? c.first : b.x0, b.x1 = c.first > b.x1 ? c.first : b.x1;
    b.y0 = c.second < b.y0 ? c.second : b.y0, b.y1 = c.second > b.y1 ? c.second : b.y1;
  }
  return b;
}

// The bitmap manager and the recording renderer at 640 by 480, drawing into
// `rec`, for as long as this lives.
struct RecordingRenderer {
  explicit RecordingRenderer(GrRecorder& rec) {
    bm_init();
    gr_set_recorder(&rec);
    gr_init(640, 480, GR_RECORDER, GR_WINDOWED, 0, false);
  }
  ~RecordingRenderer() {
    gr_close();
    gr_set_recorder(nullptr);
    bm_close();
  }
  RecordingRenderer(const RecordingRenderer&) = delete;
  RecordingRenderer& operator=(const RecordingRenderer&) = delete;
};

struct RecordedScreen {
  CornerRecorder rec;
  RecordingRenderer renderer{rec};
  RecordedScreen() {
    gr_set_aspect(1.0f);
    start_frame();
  }
  static void start_frame() {
    gr_3d_set_far_plane(0.0f);
    gr_3d_start_frame(vector(0, 0, 0), identity_matrix, 90.0f, false);
  }
};

inline std::pair<float, float> pinhole(const vector& p) {
  return {320.0f + 320.0f * p.x / p.z, 240.0f - 320.0f * p.y / p.z};
}
