// 1,000 lines of text a frame in the demo font through the front end with
// the OpenGL renderer, beside a plain OpenGL loop that lays out the same
// glyph quads and draws them in one call from the same texture. Both frames
// are read back once and compared pixel for pixel (counter pixels_differ).
// Needs an X server and the make_demo tool beside this program: run under
// xvfb-run.
#include <benchmark/benchmark.h>

#include <GL/gl.h>
#include <GL/glx.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/gr/bench_screen.h"
#include "quarn/bmpman/bmpman.h"
#include "quarn/gr/gr.h"
#include "quarn/gr/gr_font.h"
#include "quarn/gr/opengl/gr_opengl.h"
#include "quarn/os/os.h"
#include "quarn/vfile/vfile.h"

namespace fs = std::filesystem;

namespace {

constexpr int kLines = 1000;
const char* const kText = "The quick brown fox jumps over the lazy dog 0123456789";

int Font = -1;

bool start() {
  static bool started = false, ok = false;
  if (started) return ok;
  started = true;
  char self[4096];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return false;
  self[n] = 0;
  const fs::path root = fs::temp_directory_path() / ("bench_gr_text_" + std::to_string(getpid()));
  const std::string cmd = (fs::path(self).parent_path() / "make_demo").string() + " " + root.string() + " > /dev/null";
  if (std::system(cmd.c_str()) != 0) {
    std::fprintf(stderr, "make_demo failed\n");
    return false;
  }
  if (!bench_window("Orrimund Text Bench")) return false;
  vfile_set_root(root.c_str(), false);
  vfile_add_path_type("data\\fonts", ".vf");
  bm_init();
  bench_screen(GR_OPENGL);
  Font = gr_font_load("font-small.vf", 9);
  ok = Font >= 0;
  return ok;
}

int line_x(int i) { return 5 + (i * 13) % 200; }
int line_y(int i) { return (i * 7) % 460; }

void front_end_frame() {
  gr_clear();
  gr_set_color(255, 255, 255, 255);
  for (int i = 0; i < kLines; i++) gr_string(line_x(i), line_y(i), kText, Font, Gr_preset[1]);
}

// The plain loop: the same layout (advances and kerning from the font's
// metrics), the same texture and state, one draw call.
std::vector<float> Tex, Pos;
std::vector<uint8_t> Col;

void plain_frame() {
  const FontInfo* f = gr_font_get(Font);
  gr_opengl_set_render_state(RenderStateWord(0, 0, 0, 0, 0, 0));
  glColor4ub(0, 0, 0, 255);
  glDisable(GL_BLEND);
  glRecti(0, 0, 640, 480);
  glEnable(GL_BLEND);
  float us = 1, vs = 1;
  gr_opengl_set_texture(f->bitmap, &us, &vs, 0);
  gr_opengl_set_render_state(Gr_preset[1]);
  int bw = 0, bh = 0;
  bm_get_size(f->bitmap, &bw, &bh);
  size_t v = 0;
  auto put = [&](float x, float y, float s, float t) {
    float* tc = &Tex[v * 4];
    tc[0] = s, tc[1] = t, tc[2] = 0.0f, tc[3] = 1.0f;
    float* p = &Pos[v * 3];
    p[0] = x, p[1] = y, p[2] = -1.0f;
    std::memset(&Col[v * 4], 255, 4);
    v++;
  };
  const float h = static_cast<float>(f->height);
  for (int i = 0; i < kLines; i++) {
    int x = line_x(i);
    const float y0 = static_cast<float>(line_y(i)), y1 = y0 + h;
    for (const char* p = kText; *p; p++) {
      const int c = static_cast<unsigned char>(*p);
      int width, advance;
      gr_font_char_metrics(Font, c, static_cast<unsigned char>(p[1]), &width, &advance);
      const int g = c - f->first_char;
      if (width > 0) {
        const float s0 = static_cast<float>(f->glyph_x[g]) * us / static_cast<float>(bw);
        const float s1 = static_cast<float>(f->glyph_x[g] + width) * us / static_cast<float>(bw);
        const float t0 = static_cast<float>(f->glyph_y[g]) * vs / static_cast<float>(bh);
        const float t1 = static_cast<float>(f->glyph_y[g] + f->height) * vs / static_cast<float>(bh);
        const float x0 = static_cast<float>(x), x1 = x0 + static_cast<float>(width);
        // Two triangles: each edge of the quad, then its first corner.
        put(x1, y0, s1, t0), put(x1, y1, s1, t1), put(x0, y0, s0, t0);
        put(x1, y1, s1, t1), put(x0, y1, s0, t1), put(x0, y0, s0, t0);
      }
      x += advance;
    }
  }
  glTexCoordPointer(4, GL_FLOAT, 0, Tex.data());
  glVertexPointer(3, GL_FLOAT, 0, Pos.data());
  glColorPointer(4, GL_UNSIGNED_BYTE, 0, Col.data());
  glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(v));
}

std::vector<uint8_t> screen() {
  std::vector<uint8_t> px(640 * 480 * 3);
  gr_read_screen(0, 0, 640, 480, px.data());
  return px;
}

int Pixels_differ = -1;

void compare_once() {
  if (Pixels_differ >= 0) return;
  const size_t verts = static_cast<size_t>(kLines) * std::strlen(kText) * 6;
  Tex.resize(verts * 4);
  Pos.resize(verts * 3);
  Col.resize(verts * 4);
  front_end_frame();
  const std::vector<uint8_t> a = screen();
  gr_flip();
  plain_frame();
  const std::vector<uint8_t> b = screen();
  gr_flip();
  Pixels_differ = 0;
  for (size_t i = 0; i < a.size(); i += 3) Pixels_differ += std::memcmp(&a[i], &b[i], 3) != 0;
}

void BM_FrontEndText(benchmark::State& state) {
  if (!start()) {
    state.SkipWithError("no display or no demo font");
    return;
  }
  compare_once();
  for (auto _ : state) {
    front_end_frame();
    gr_flip();
    glFinish();
  }
  state.counters["pixels_differ"] = Pixels_differ;
  bench_count_fps(state);
}
BENCHMARK(BM_FrontEndText)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PlainOpenglTextOneCall(benchmark::State& state) {
  if (!start()) {
    state.SkipWithError("no display or no demo font");
    return;
  }
  compare_once();
  Display* dpy = glXGetCurrentDisplay();
  GLXDrawable win = glXGetCurrentDrawable();
  for (auto _ : state) {
    plain_frame();
    glXSwapBuffers(dpy, win);
    glFinish();
  }
  gr_flip();
  state.counters["pixels_differ"] = Pixels_differ;
  bench_count_fps(state);
}
BENCHMARK(BM_PlainOpenglTextOneCall)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
