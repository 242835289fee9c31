// One scene pass over demo_outdoor (the level, four heroes, four monsters and
// eight effect sprites) under the OpenGL renderer, beside a plain OpenGL
// program in the same context that draws the same triangles with the same
// textures in the fewest calls: world-space vertex buffers made once, the
// hardware transform, one draw per texture (per texture and lightmap pair
// for lightmapped faces). The same again on a level four times as large,
// made by the level builder from four copies of the demo level. Needs an X
// server: run under xvfb-run.
#define GL_GLEXT_PROTOTYPES 1
#include <benchmark/benchmark.h>

#include <GL/gl.h>
#include <GL/glext.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "Engine/rendering/levelrender.h"
#include "Engine/rendering/levelvis.h"
#include "Engine/rendering/scene.h"
#include "Engine/s3d/s3d.h"
#include "bench/gr/bench_screen.h"
#include "quarn/bmpman/bmpman.h"
#include "quarn/ca/vim.h"
#include "quarn/geom/lights.h"
#include "quarn/gr/gr.h"
#include "quarn/gr/gr3d.h"
#include "quarn/gr/gr3d_draw.h"
#include "quarn/gr/gr_mesh.h"
#include "quarn/gr/opengl/gr_opengl.h"
#include "quarn/os/os.h"
#include "quarn/vfile/readstream.h"
#include "quarn/vfile/vfile.h"
#include "tools/writers/demo_level_layouts.h"
#include "tools/writers/figure_writer.h"
#include "tools/writers/image_writers.h"

namespace {

VimMesh* Figure = nullptr;
std::vector<uint8_t> White(64 * 64 * 2, 0xff);
int Figure_bitmap = -1;
int Sprite_bitmap = -1;
transform Skin[FIG_BONES];

vector Eye;
matrix Orient;
vector Centre;
std::vector<vector> Figures;  // four heroes, then four monsters
std::vector<vector> Sprites;

bool camera(vector* eye, matrix* orient, float* fov) {
  *eye = Eye;
  *orient = Orient;
  *fov = 90.0f;
  return true;
}

void draw_figure(int handle, int, int alpha) {
  MeshDrawRecord rec;
  rec.alpha = alpha;
  gr_mesh_render(Figures[static_cast<size_t>(handle)], identity_matrix, rec);
}

int characters(SceneCharacter* out, int capacity) {
  int n = 0;
  for (size_t i = 0; i < Figures.size() && n < capacity; i++, n++)
    out[n] = SceneCharacter{static_cast<int>(i), i < 4 ? 7 : 5, Figures[i], 1.2f, 255, -1, -1, i == 0, draw_figure, nullptr};
  return n;
}

void draw_sprite(int handle) {
  gr_set_bitmap(Sprite_bitmap);
  gr_3d_draw_sprite(Sprites[static_cast<size_t>(handle)], 0.0f, 1.0f, Gr_preset[19]);
}

int effects(SceneEffect* out, int capacity) {
  int n = 0;
  for (size_t i = 0; i < Sprites.size() && n < capacity; i++, n++)
    out[n] = SceneEffect{static_cast<int>(i), Sprites[i], 1.0f, false, -1, draw_sprite};
  return n;
}

// The demo level, or four copies of it side by side (2 by 2, 48 apart).
void build_level(LevelBuilder& b, bool large) {
  demo_level_outdoor(b);
  if (!large) return;
  const size_t originals = b.instances.size();
  for (int copy = 1; copy < 4; copy++) {
    const vector shift(48.0f * (copy % 2), 0.0f, 48.0f * (copy / 2));
    for (size_t i = 0; i < originals; i++) {
      LevelBuilder::Instance in = b.instances[i];
      in.name += "_" + std::to_string(copy);
      in.pos += shift;
      in.flags &= ~MI_VERTEX_ANIM;
      b.instances.push_back(in);
    }
  }
}

std::string Dir;
int Type = -1;

bool write_textures() {
  const char* names[] = {"demo_grass", "demo_stone", "demo_wood", "demo_fence"};
  const int colours[4][3] = {{70, 140, 60}, {150, 145, 135}, {140, 95, 55}, {160, 120, 80}};
  for (int t = 0; t < 4; t++) {
    std::vector<uint8_t> px;
    for (int y = 0; y < 64; y++)
      for (int x = 0; x < 64; x++) {
        const int v = ((x / 8 + y / 8) % 2) ? 255 : 200;
        px.push_back(static_cast<uint8_t>(colours[t][2] * v / 255));
        px.push_back(static_cast<uint8_t>(colours[t][1] * v / 255));
        px.push_back(static_cast<uint8_t>(colours[t][0] * v / 255));
      }
    if (!tga_write_file(Dir + "/" + names[t] + ".tga", px.data(), 64, 64, 24)) return false;
  }
  return true;
}

// The plain side: per texture (and lightmap) one buffer of world-space
// triangles, the faces the scene pass draws from this eye.
struct Batch {
  int texture = -1, lightmap = -1;
  GLuint buffer = 0;
  int count = 0;
};
struct PlainVertex {
  float x, y, z;
  uint8_t r, g, b, a;
  float u, v, u2, v2;
};
std::vector<Batch> Plain;
int Plain_triangles = 0;

void bake_plain() {
  std::map<std::pair<int, int>, std::vector<PlainVertex>> by_texture;
  for (int i = 0; i < Level.instance_count; i++) {
    const LevelMeshInstance& mi = Level.instances[i];
    const LevelMesh& m = *mi.mesh;
    const bool lit = levelrender_uses_lightmaps(mi);
    vector local_eye;
    (Eye - mi.pos).rotated(local_eye, mi.orient);
    for (int f = 0; f < m.face_count; f++) {
      const LevelFace& face = m.faces[f];
      if (!(face.flags & FACE_TWO_SIDED) && vector::dot(face.normal, m.positions[face.v[0]] - local_eye) >= 0.0f)
        continue;
      const int slot = mi.faces[f].texture;
      const int tex = slot ? Level.texture_handles[slot - 1] : -1;
      const int lm_index = instance_face_lightmap(mi.faces[f]);
      const int lm = lit && lm_index >= 0 ? Level.lightmap_handles[lm_index] : -1;
      std::vector<PlainVertex>& out = by_texture[{tex, lm}];
      for (int c = 0; c < 3; c++) {
        const int vi = face.v[c];
        vector w;
        m.positions[vi].unrotated(w, mi.orient);
        w += mi.pos;
        PlainVertex pv{};
        pv.x = w.x, pv.y = w.y, pv.z = w.z;
        pv.r = lit ? 255 : mi.colors[3 * vi];
        pv.g = lit ? 255 : mi.colors[3 * vi + 1];
        pv.b = lit ? 255 : mi.colors[3 * vi + 2];
        pv.a = 255;
        pv.u = m.uvs[vi].x, pv.v = m.uvs[vi].y;
        if (lit) pv.u2 = mi.lightmap_uvs[6 * f + c], pv.v2 = mi.lightmap_uvs[6 * f + 3 + c];
        out.push_back(pv);
      }
      Plain_triangles++;
    }
  }
  // The figures in their rest pose and the sprites as quads.
  for (const vector& p : Figures)
    for (int gi = 0; gi < Figure->group_count; gi++) {
      const VimGroup& g = Figure->groups[gi];
      std::vector<PlainVertex>& out = by_texture[{Figure_bitmap, -1}];
      for (int k = 0; k < g.face_count; k++) {
        for (int c = 0; c < 3; c++) {
          const vector& v = g.positions[g.faces[k].v[c]];
          out.push_back(PlainVertex{v.x + p.x, v.y + p.y, v.z + p.z, 200, 180, 160, 255, 0.5f, 0.5f, 0, 0});
        }
        Plain_triangles++;
      }
    }
  for (const vector& s : Sprites) {
    std::vector<PlainVertex>& out = by_texture[{Sprite_bitmap, -1}];
    const vector r = Orient.right * 0.5f, u = Orient.up * 0.5f;
    const vector q[4] = {s - r - u, s + r - u, s + r + u, s - r + u};
    const float uv[4][2] = {{0, 1}, {1, 1}, {1, 0}, {0, 0}};
    for (int k : {0, 1, 2, 0, 2, 3})
      out.push_back(PlainVertex{q[k].x, q[k].y, q[k].z, 255, 255, 255, 255, uv[k][0], uv[k][1], 0, 0});
    Plain_triangles += 2;
  }
  for (auto& [key, verts] : by_texture) {
    Batch b;
    b.texture = key.first;
    b.lightmap = key.second;
    b.count = static_cast<int>(verts.size());
    glGenBuffers(1, &b.buffer);
    glBindBuffer(GL_ARRAY_BUFFER, b.buffer);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(verts.size() * sizeof(PlainVertex)), verts.data(),
                 GL_STATIC_DRAW);
    Plain.push_back(b);
  }
  glBindBuffer(GL_ARRAY_BUFFER, 0);
}

void release_plain() {
  for (Batch& b : Plain) glDeleteBuffers(1, &b.buffer);
  Plain.clear();
  Plain_triangles = 0;
}

bool Window_ok = false;
int Loaded = -1;  // 0 the demo level, 1 the large one

bool start(int large) {
  static bool started = false;
  if (!started) {
    started = true;
    if (!bench_window("Orrimund Scene Bench")) return false;
    bm_init();
    bench_screen(GR_OPENGL);
    gr_set_aspect(1.0f);
    Dir = (std::filesystem::temp_directory_path() / "orrimund_scene_bench").string();
    std::filesystem::create_directories(Dir);
    vfile_set_root(Dir.c_str(), false);
    Type = vfile_add_path_type("", ".s3d .tga .vis .tbl");
    if (!write_textures()) return false;
    const std::vector<uint8_t> bytes = vim_build(figure_mesh(FigureSpec{"ruvizo", 1.0f, 1.0f, {170, 60, 50}}, 0));
    ReadStream s;
    s.open_memory(bytes.data(), static_cast<int>(bytes.size()));
    Figure = vim_load_stream(s, 0);
    if (!Figure) return false;
    Figure_bitmap = bm_create(BM_FORMAT_565, 64, 64, White.data());
    Sprite_bitmap = bm_create(BM_FORMAT_565, 64, 64, White.data());
    Figure->bitmaps[0] = Figure->bitmaps[1] = Figure_bitmap;
    for (transform& t : Skin) t.identity();
    gr_mesh_set_current(Figure);
    gr_mesh_set_skin(Skin, FIG_BONES);
    SceneServices sv{};
    sv.camera = camera;
    sv.characters = characters;
    sv.effects = effects;
    scene_set_services(sv);
    Window_ok = true;
  }
  if (!Window_ok) return false;
  if (Loaded == large) return true;

  release_plain();
  if (Loaded >= 0) {
    level_render_reset();
    s3d_unload(&Level);
  }
  LevelBuilder b;
  build_level(b, large != 0);
  if (!b.write("bench.s3d", Type)) return false;
  if (s3d_load("bench.s3d", &Level) != 0) return false;
  s3d_preload_textures(&Level);
  vis_load("bench");
  level_render_setup("bench.s3d");
  fog_apply_zone(0);
  const float span = large ? 96.0f : 48.0f;
  Centre = large ? vector(24.0f, 0.0f, 24.0f) : vector(0.0f, 0.0f, 0.0f);
  Eye = Centre + vector(0.0f, span * 0.75f, -span * 0.9f);
  Orient = matrix::from_forward(Centre - Eye);
  fog_set(span * 2.0f, span * 2.5f);
  Figures.clear();
  Sprites.clear();
  for (int i = 0; i < 8; i++) {
    Figures.push_back(Centre + vector(-6.0f + 1.7f * i, 1.0f, -2.0f + (i >= 4 ? 3.0f : 0.0f)));
    Sprites.push_back(Centre + vector(-6.0f + 1.7f * i, 3.5f, 0.0f));
  }
  lights_reset();
  bake_plain();
  Loaded = large;
  return true;
}

void run_passes(benchmark::State& state) {
  for (auto _ : state) {
    Levelrender_stats = LevelRenderStats{};
    gr_clear();
    scene_render();
    glFinish();
  }
}

void BM_ScenePass(benchmark::State& state) {
  if (!start(static_cast<int>(state.range(0)))) {
    state.SkipWithError("no display or no level");
    return;
  }
  run_passes(state);
  state.counters["triangles"] = Plain_triangles;
  state.counters["level_faces"] = Levelrender_stats.faces_drawn;
  state.counters["clipped"] = Levelrender_stats.faces_clipped;
  state.counters["draws"] = Levelrender_stats.draw_calls;
  state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
// The large level first: drawn after the small one in the same process, the
// level path runs several times slower under Mesa's software renderer (the
// plain side does not), which would measure the switch, not the pass.
BENCHMARK(BM_ScenePass)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PlainBuffers(benchmark::State& state) {
  if (!start(static_cast<int>(state.range(0)))) {
    state.SkipWithError("no display or no level");
    return;
  }
  const float far_d = fog_get_far();
  for (auto _ : state) {
    gr_clear();
    // Depth cleared, the 3D frame's projection in GL's own matrices.
    gr_3d_set_far_plane(far_d);
    gr_3d_start_frame(Eye, Orient, 90.0f, true);
    gr_fog_set(true, Fog_r, Fog_g, Fog_b, fog_get_near(), far_d);
    gr_opengl_set_render_state(Levelrender_textured_preset);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glFrustum(-0.1, 0.1, -0.1, 0.1, 0.1, far_d * 1.2);
    glScalef(1.0f, 1.0f, -1.0f);  // the game looks down +z
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    const GLfloat view[16] = {Orient.right.x, Orient.up.x, Orient.forward.x, 0, Orient.right.y, Orient.up.y,
                              Orient.forward.y, 0, Orient.right.z, Orient.up.z, Orient.forward.z, 0, 0, 0, 0, 1};
    glLoadMatrixf(view);
    glTranslatef(-Eye.x, -Eye.y, -Eye.z);
    glDisable(GL_FOG);
    int last_state = -1;
    for (const Batch& b : Plain) {
      const int want = b.lightmap >= 0 ? 1 : 0;
      if (want != last_state) {
        gr_opengl_set_render_state(want ? Levelrender_lightmap_preset : Levelrender_textured_preset);
        last_state = want;
      }
      float us, vs;
      gr_opengl_set_texture(b.texture, &us, &vs, 0);
      if (want) gr_opengl_set_texture(b.lightmap, &us, &vs, 1);
      glBindBuffer(GL_ARRAY_BUFFER, b.buffer);
      glVertexPointer(3, GL_FLOAT, sizeof(PlainVertex), reinterpret_cast<void*>(offsetof(PlainVertex, x)));
      glColorPointer(4, GL_UNSIGNED_BYTE, sizeof(PlainVertex), reinterpret_cast<void*>(offsetof(PlainVertex, r)));
      if (Gl_client_active_texture_arb) Gl_client_active_texture_arb(0x84C0);
      glTexCoordPointer(2, GL_FLOAT, sizeof(PlainVertex), reinterpret_cast<void*>(offsetof(PlainVertex, u)));
      if (want && Gl_client_active_texture_arb) {
        Gl_client_active_texture_arb(0x84C1);
        glTexCoordPointer(2, GL_FLOAT, sizeof(PlainVertex), reinterpret_cast<void*>(offsetof(PlainVertex, u2)));
        Gl_client_active_texture_arb(0x84C0);
      }
      glDrawArrays(GL_TRIANGLES, 0, b.count);
    }
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glFinish();
  }
  state.counters["triangles"] = Plain_triangles;
  state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PlainBuffers)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

// The same pass of demo_outdoor under Direct3D (102) and Glide (103), each
// through its own layer on the same display; the plain OpenGL program above
// is the baseline for all three.
void BM_ScenePassRenderer(benchmark::State& state) {
  if (!start(0)) {
    state.SkipWithError("no display or no level");
    return;
  }
  const int renderer = static_cast<int>(state.range(0));
  auto use = [](int r) {
    levelrender_release_vertex_buffer();
    gr_close();
    gr_init(640, 480, r, r == GR_GLIDE ? GR_FULLSCREEN : GR_WINDOWED, os_get_window(), false);
    gr_fade_in(0);
    levelrender_create_vertex_buffer();
  };
  use(renderer);
  if (gr_screen.renderer != renderer) {
    use(GR_OPENGL);
    state.SkipWithError("renderer not available");
    return;
  }
  run_passes(state);
  state.counters["draws"] = Levelrender_stats.draw_calls;
  state.counters["level_faces"] = Levelrender_stats.faces_drawn;
  use(GR_OPENGL);
}
BENCHMARK(BM_ScenePassRenderer)->Arg(GR_DIRECT3D)->Arg(GR_GLIDE)->Unit(benchmark::kMillisecond)->UseRealTime();
