// The full-screen present: the game's picture stretched over a 1920x1080
// window with black bars (scaled_present_show), against the plainest present
// of the same size: one glBlitFramebuffer of a picture of the same size to
// the same rectangle, with no bars and no state kept. Run under xvfb-run with
// a 1920x1080 screen (-s "-screen 0 1920x1080x24"). Arguments: picture width
// and height, window width and height.
#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glx.h>
#include <benchmark/benchmark.h>

#include "bench/gr/bench_screen.h"
#include "quarn/platform/picture_fit.h"
#include "quarn/platform/scaled_present.h"

namespace {

bool Ready = false;

// The engine's window with its GL context current on this thread; the
// pictures below are made in it.
bool ready() {
  if (Ready) return true;
  if (!bench_window("Orrimund Present Bench")) return false;
  bench_screen(GR_OPENGL, GR_WINDOWED);
  Ready = true;
  return true;
}

template <typename Fn>
Fn gl(const char* name) {
  return reinterpret_cast<Fn>(glXGetProcAddressARB(reinterpret_cast<const GLubyte*>(name)));
}

void BM_ScaledPresent(benchmark::State& state) {
  if (!ready()) {
    state.SkipWithError("no X display");
    return;
  }
  const int pw = static_cast<int>(state.range(0)), ph = static_cast<int>(state.range(1));
  const int ww = static_cast<int>(state.range(2)), wh = static_cast<int>(state.range(3));
  if (!scaled_present_open(pw, ph)) {
    state.SkipWithError("no framebuffer objects");
    return;
  }
  glClearColor(0.2f, 0.4f, 0.6f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT);
  for (auto _ : state) {
    scaled_present_show(ww, wh);
    glFinish();
  }
  scaled_present_close();
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(ww) * wh);
}

void BM_PlainBlit(benchmark::State& state) {
  if (!ready()) {
    state.SkipWithError("no X display");
    return;
  }
  const int pw = static_cast<int>(state.range(0)), ph = static_cast<int>(state.range(1));
  const int ww = static_cast<int>(state.range(2)), wh = static_cast<int>(state.range(3));
  auto gen_fb = gl<PFNGLGENFRAMEBUFFERSPROC>("glGenFramebuffers");
  auto del_fb = gl<PFNGLDELETEFRAMEBUFFERSPROC>("glDeleteFramebuffers");
  auto bind_fb = gl<PFNGLBINDFRAMEBUFFERPROC>("glBindFramebuffer");
  auto fb_rb = gl<PFNGLFRAMEBUFFERRENDERBUFFERPROC>("glFramebufferRenderbuffer");
  auto gen_rb = gl<PFNGLGENRENDERBUFFERSPROC>("glGenRenderbuffers");
  auto del_rb = gl<PFNGLDELETERENDERBUFFERSPROC>("glDeleteRenderbuffers");
  auto bind_rb = gl<PFNGLBINDRENDERBUFFERPROC>("glBindRenderbuffer");
  auto storage = gl<PFNGLRENDERBUFFERSTORAGEPROC>("glRenderbufferStorage");
  auto blit = gl<PFNGLBLITFRAMEBUFFERPROC>("glBlitFramebuffer");
  GLuint fb = 0, rb = 0;
  gen_fb(1, &fb);
  gen_rb(1, &rb);
  bind_rb(GL_RENDERBUFFER, rb);
  storage(GL_RENDERBUFFER, GL_RGB8, pw, ph);
  bind_fb(GL_FRAMEBUFFER, fb);
  fb_rb(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, rb);
  glClearColor(0.2f, 0.4f, 0.6f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT);
  bind_fb(GL_DRAW_FRAMEBUFFER, 0);
  // The same rectangle and filter as the scaled present chooses.
  const PictureFit f = picture_fit(pw, ph, ww, wh);
  const int bottom = wh - f.y - f.height;
  for (auto _ : state) {
    blit(0, 0, pw, ph, f.x, bottom, f.x + f.width, bottom + f.height, GL_COLOR_BUFFER_BIT,
         f.nearest ? GL_NEAREST : GL_LINEAR);
    glFinish();
  }
  bind_fb(GL_FRAMEBUFFER, 0);
  del_fb(1, &fb);
  del_rb(1, &rb);
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(ww) * wh);
}

void sizes(benchmark::internal::Benchmark* b) {
  b->Args({640, 480, 1920, 1080})->Args({800, 600, 1920, 1080})->Args({1024, 768, 1920, 1080});
  // The same picture on a quarter of the screen, and a whole factor (nearest).
  b->Args({640, 480, 960, 540})->Args({640, 480, 1280, 960});
  b->Unit(benchmark::kMicrosecond);
}

BENCHMARK(BM_ScaledPresent)->Apply(sizes);
BENCHMARK(BM_PlainBlit)->Apply(sizes);

}  // namespace
