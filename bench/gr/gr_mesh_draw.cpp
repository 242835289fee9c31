// 50 demo heroes a frame, skinned and lit on the CPU and drawn with the
// OpenGL renderer, beside plain OpenGL submitting the same precomputed triangles
// (positions, colours, texture coordinates and index lists made once) in
// the same context. Needs an X server: run under xvfb-run.
#include <benchmark/benchmark.h>

#include <GL/gl.h>

#include <array>
#include <cstdio>
#include <vector>

#include "bench/gr/bench_screen.h"
#include "quarn/bmpman/bmpman.h"
#include "quarn/ca/vim.h"
#include "quarn/geom/lights.h"
#include "quarn/gr/gr.h"
#include "quarn/gr/gr3d.h"
#include "quarn/gr/gr_mesh.h"
#include "quarn/gr/opengl/gr_opengl.h"
#include "quarn/os/os.h"
#include "quarn/vfile/readstream.h"
#include "tools/writers/figure_writer.h"

namespace {

constexpr int kFigures = 50;

VimMesh* Figure = nullptr;
std::vector<uint8_t> White(64 * 64 * 2, 0xff);
int Bitmap = -1;
// The rest pose: every skin transform the identity (each vertex still
// blends its one or two bones).
transform Skin[FIG_BONES];

struct Baked {
  std::vector<std::array<float, 3>> pos;
  std::vector<std::array<uint8_t, 4>> col;
  std::vector<std::array<float, 4>> tex;
  std::vector<uint16_t> index;
};
std::vector<Baked> Plain;

vector place(int i) {
  return vector(static_cast<float>(i % 10) * 1.6f - 7.2f, static_cast<float>(i / 10) * 2.4f - 7.0f, 14.0f);
}

void start_frame() {
  gr_3d_set_far_plane(0.0f);
  gr_3d_start_frame(vector(0, 0, 0), identity_matrix, 90.0f, true);
}

bool start() {
  static bool started = false, ok = false;
  if (started) return ok;
  started = true;
  if (!bench_window("Orrimund Mesh Bench")) return false;
  bm_init();
  bench_screen(GR_OPENGL);
  gr_set_aspect(1.0f);
  const std::vector<uint8_t> bytes = vim_build(figure_mesh(FigureSpec{"ruvizo", 1.0f, 1.0f, {170, 60, 50}}, 0));
  ReadStream s;
  s.open_memory(bytes.data(), static_cast<int>(bytes.size()));
  Figure = vim_load_stream(s, 0);
  if (!Figure) return false;
  Bitmap = bm_create(BM_FORMAT_565, 64, 64, White.data());
  Figure->bitmaps[0] = Figure->bitmaps[1] = Bitmap;
  for (transform& t : Skin) t.identity();
  lights_reset();
  lights_set_ambient(0.2f, 0.2f, 0.2f);
  light_create_point(vector(0, 0, 8), 6.0f, 14.0f, 1.0f, 1.0f, 0.6f, 0.3f, false);
  gr_mesh_set_current(Figure);
  gr_mesh_set_skin(Skin, FIG_BONES);

  // The plain side's triangles: exactly what the drawer computed, kept.
  start_frame();
  for (int i = 0; i < kFigures; i++) {
    const vector p = place(i);
    gr_3d_start_instance(p, identity_matrix, true);
    lights_gather(p, Figure->radius);
    lights_to_frame(p, identity_matrix);
    lights_set_view_space(true);
    for (int gi = 0; gi < Figure->group_count; gi++) {
      const VimGroup& g = Figure->groups[gi];
      MeshDrawRecord rec;
      gr_mesh_prepare_group(g, rec, false);
      const GrMeshScratch& sc = gr_mesh_scratch();
      Baked b;
      for (int v = 0; v < g.vertex_count; v++) {
        b.pos.push_back({sc.position[v][0], sc.position[v][1], sc.position[v][2]});
        b.col.push_back({sc.colour[v][0], sc.colour[v][1], sc.colour[v][2], sc.colour[v][3]});
        b.tex.push_back({sc.tex[v][0], sc.tex[v][1], sc.tex[v][2], sc.tex[v][3]});
      }
      b.index.assign(sc.index, sc.index + sc.index_count);
      Plain.push_back(b);
    }
    lights_set_view_space(false);
    lights_pop();
    gr_3d_end_instance();
  }
  ok = true;
  return ok;
}

void BM_MeshDrawer(benchmark::State& state) {
  if (!start()) {
    state.SkipWithError("no display");
    return;
  }
  for (auto _ : state) {
    gr_clear();
    start_frame();
    for (int i = 0; i < kFigures; i++) {
      MeshDrawRecord rec;
      gr_mesh_render(place(i), identity_matrix, rec);
    }
    glFinish();
  }
  state.SetItemsProcessed(state.iterations() * kFigures);
}
BENCHMARK(BM_MeshDrawer)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PlainPrecomputed(benchmark::State& state) {
  if (!start()) {
    state.SkipWithError("no display");
    return;
  }
  for (auto _ : state) {
    gr_clear();
    start_frame();
    // The same state and texture, set once; then one draw per figure.
    gr_opengl_set_state_and_texture(Gr_preset[19], Bitmap, 0);
    for (const Baked& b : Plain) {
      glTexCoordPointer(4, GL_FLOAT, 0, b.tex.data());
      glColorPointer(4, GL_UNSIGNED_BYTE, 0, b.col.data());
      glVertexPointer(3, GL_FLOAT, 0, b.pos.data());
      glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(b.index.size()), GL_UNSIGNED_SHORT, b.index.data());
    }
    glFinish();
  }
  state.SetItemsProcessed(state.iterations() * kFigures);
}
BENCHMARK(BM_PlainPrecomputed)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
