#pragma once
// The frame of 10,000 small bitmaps that the renderer benches share: the
// sixteen pictures as bitmaps, the same pictures as plain GL textures and as
// one atlas, and the two plain OpenGL loops they are measured against (one
// bind and one draw per quad; every quad in one call from the atlas).
#include <GL/gl.h>
#include <GL/glx.h>
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "bench/gr/bench_screen.h"
#include "quarn/bmpman/bmpman.h"
#include "quarn/gr/gr.h"
#include "quarn/gr/opengl/gr_opengl.h"

namespace bitmap_frame {

constexpr int kBitmaps = 16;
constexpr int kSize = 16;
constexpr int kPerFrame = 10000;
// The frames of the growth runs (Arg) go up to this many bitmaps.
constexpr int kMaxPerFrame = 40000;
inline int Per_frame = kPerFrame;

// Sets the frame's bitmap count for a run and puts it back after.
struct FrameSize {
  explicit FrameSize(benchmark::State& state) { Per_frame = static_cast<int>(state.range(0)); }
  ~FrameSize() { Per_frame = kPerFrame; }
};
constexpr int kAtlasSide = 4 * kSize;  // four pictures a row

inline std::vector<std::vector<uint8_t>> Pixels;
inline int Handles[kBitmaps];
inline GLuint Plain_textures[kBitmaps];
inline GLuint Atlas = 0;

inline int pos_x(int i) { return (i * 37) % (640 - kSize); }
inline int pos_y(int i) { return (i * 53) % (480 - kSize); }

// The pictures as bitmaps of the manager (once; bm_init first).
inline void make_pictures() {
  if (!Pixels.empty()) return;
  for (int i = 0; i < kBitmaps; i++) {
    Pixels.emplace_back(kSize * kSize * 3);
    for (size_t p = 0; p < Pixels[i].size(); p++) Pixels[i][p] = static_cast<uint8_t>(p * 7 + i * 31);
    Handles[i] = bm_create(BM_FORMAT_BGR24, kSize, kSize, Pixels[i].data());
  }
}

inline void upload_nearest(GLuint tex, int side, const uint8_t* rgba) {
  glBindTexture(GL_TEXTURE_2D, tex);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, side, side, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
}

// The plain loops' own copies of the pictures, converted as the renderer
// converts them, in the current GL context.
inline void upload_plain_textures() {
  std::vector<uint8_t> rgba(kSize * kSize * 4), atlas(kAtlasSide * kAtlasSide * 4);
  glGenTextures(kBitmaps, Plain_textures);
  for (int i = 0; i < kBitmaps; i++) {
    gr_opengl_convert(BM_FORMAT_BGR24, Pixels[i].data(), nullptr, kSize, kSize, rgba.data(), kSize, kSize);
    upload_nearest(Plain_textures[i], kSize, rgba.data());
    const int ax = (i % 4) * kSize, ay = (i / 4) * kSize;
    for (int y = 0; y < kSize; y++)
      std::memcpy(&atlas[((ay + y) * kAtlasSide + ax) * 4], &rgba[y * kSize * 4], kSize * 4);
  }
  glGenTextures(1, &Atlas);
  upload_nearest(Atlas, kAtlasSide, atlas.data());
}

inline void front_end_frame() {
  gr_clear();
  gr_set_color(255, 255, 255, 255);
  for (int i = 0; i < Per_frame; i++) gr_bitmap(Handles[i % kBitmaps], pos_x(i), pos_y(i), Gr_preset[1]);
}

// Pixels of the frame that differ between drawing it as the renderer does
// (pages, runs in one call) and drawing every bitmap alone from its own
// texture; read through the renderer's own read-back.
inline int pixels_differ_from_alone() {
  std::vector<uint8_t> alone(640 * 480 * 3), batched(640 * 480 * 3);
  gr_batch_2d(false);
  front_end_frame();
  gr_read_screen(0, 0, 640, 480, alone.data());
  gr_flip();
  gr_batch_2d(true);
  front_end_frame();
  gr_read_screen(0, 0, 640, 480, batched.data());
  gr_flip();
  int differ = 0;
  for (size_t i = 0; i < alone.size(); i += 3) differ += std::memcmp(&alone[i], &batched[i], 3) != 0;
  return differ;
}

// The first frame after the textures were dropped: every bitmap is converted
// and uploaded (into its page or its own texture) as it is drawn.
inline void run_first_frames(benchmark::State& state, bool ready) {
  if (!ready) {
    state.SkipWithError("no display");
    return;
  }
  for (auto _ : state) {
    state.PauseTiming();
    gr_flush_textures();
    gr_finish();
    state.ResumeTiming();
    front_end_frame();
    gr_flip();
    gr_finish();
  }
  bench_count_fps(state);
}

// Fills two triangles a quad from the atlas (s, t, 0, 1 and x, y, -1);
// answers the vertex count.
inline size_t atlas_vertices(float* tex, float* pos) {
  size_t v = 0;
  auto put = [&](float x, float y, float s, float t) {
    float* tc = &tex[v * 4];
    tc[0] = s, tc[1] = t, tc[2] = 0.0f, tc[3] = 1.0f;
    float* p = &pos[v * 3];
    p[0] = x, p[1] = y, p[2] = -1.0f;
    v++;
  };
  const float step = static_cast<float>(kSize) / kAtlasSide;
  for (int i = 0; i < Per_frame; i++) {
    const int b = i % kBitmaps;
    const float s0 = static_cast<float>(b % 4) * step, t0 = static_cast<float>(b / 4) * step;
    const float s1 = s0 + step, t1 = t0 + step;
    const float x0 = static_cast<float>(pos_x(i)), y0 = static_cast<float>(pos_y(i));
    const float x1 = x0 + kSize, y1 = y0 + kSize;
    put(x1, y0, s1, t0), put(x1, y1, s1, t1), put(x0, y0, s0, t0);
    put(x1, y1, s1, t1), put(x0, y1, s0, t1), put(x0, y0, s0, t0);
  }
  return v;
}

// The plain loops' clear and bitmap state, through the OpenGL renderer's own
// state mapping so both draw with the same GL state as the front end.
inline void plain_clear() {
  gr_opengl_set_render_state(RenderStateWord(0, 0, 0, 0, 0, 0));
  glColor4ub(0, 0, 0, 255);
  glDisable(GL_BLEND);
  glRecti(0, 0, 640, 480);
  glEnable(GL_BLEND);
  gr_opengl_set_render_state(Gr_preset[1]);
  glEnable(GL_TEXTURE_2D);
}

// One bind and one draw per quad.
inline void plain_quads_frame() {
  float tex[4][4] = {{0, 0, 0, 1}, {1, 0, 0, 1}, {1, 1, 0, 1}, {0, 1, 0, 1}};
  float pos[4][3];
  uint8_t col[4][4];
  for (auto& c : col) c[0] = c[1] = c[2] = c[3] = 255;
  plain_clear();
  glTexCoordPointer(4, GL_FLOAT, 0, tex);
  glVertexPointer(3, GL_FLOAT, 0, pos);
  glColorPointer(4, GL_UNSIGNED_BYTE, 0, col);
  for (int i = 0; i < Per_frame; i++) {
    glBindTexture(GL_TEXTURE_2D, Plain_textures[i % kBitmaps]);
    const float x = static_cast<float>(pos_x(i)), y = static_cast<float>(pos_y(i));
    pos[0][0] = x, pos[0][1] = y;
    pos[1][0] = x + kSize, pos[1][1] = y;
    pos[2][0] = x + kSize, pos[2][1] = y + kSize;
    pos[3][0] = x, pos[3][1] = y + kSize;
    for (auto& p : pos) p[2] = -1.0f;
    glDrawArrays(GL_POLYGON, 0, 4);
  }
}

// Every quad in one call from the atlas.
inline void atlas_frame() {
  static std::vector<float> tex(kMaxPerFrame * 6 * 4), pos(kMaxPerFrame * 6 * 3);
  static std::vector<uint8_t> col(kMaxPerFrame * 6 * 4, 255);
  plain_clear();
  glBindTexture(GL_TEXTURE_2D, Atlas);
  const size_t v = atlas_vertices(tex.data(), pos.data());
  glTexCoordPointer(4, GL_FLOAT, 0, tex.data());
  glVertexPointer(3, GL_FLOAT, 0, pos.data());
  glColorPointer(4, GL_UNSIGNED_BYTE, 0, col.data());
  glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(v));
}

// Times a plain loop's frame with its own buffer swap; the front end's
// texture cache believes its textures are bound afterwards, so its flip
// puts things right again.
inline void run_plain(benchmark::State& state, bool ready, void (*frame)()) {
  if (!ready) {
    state.SkipWithError("no display");
    return;
  }
  Display* dpy = glXGetCurrentDisplay();
  GLXDrawable win = glXGetCurrentDrawable();
  for (auto _ : state) {
    frame();
    glXSwapBuffers(dpy, win);
    glFinish();
  }
  gr_flip();
  bench_count_fps(state);
}

}  // namespace bitmap_frame
