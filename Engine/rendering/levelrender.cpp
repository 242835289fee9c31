// The shared stages of the level renderer and its OpenGL path. Everything
// here works on fixed static scratch: nothing is allocated while drawing.
#include "Engine/rendering/levelrender.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>

#include "Engine/s3d/level_objects.h"
#include "quarn/bmpman/bmpman.h"
#include "quarn/geom/lights.h"
#include "quarn/gr/grclip.h"
#include "quarn/gr/directx/gr_d3d.h"
#include "quarn/gr/glide/gr_glide.h"
#include "quarn/gr/glide/gr_glide_tcache.h"
#include "quarn/gr/opengl/gr_opengl.h"
#include "quarn/os/error.h"
#include "quarn/platform/d3d7.h"
#include "quarn/math/noise.h"
#include "quarn/os/console.h"
#include "quarn/os/timer.h"

float Time_mult = 5.0f;
float Space_mult = 20.0f;
float Small_mesh_threshold = 3.0f;
float Level_light_scale = 1.0f;

CONSOLE_FLOAT_VARIABLE(Time_mult_cmd, "time_mult", "Sets Time_mult", Time_mult);
CONSOLE_FLOAT_VARIABLE(Space_mult_cmd, "space_mult", "Sets Space_mult", Space_mult);
CONSOLE_FLOAT_VARIABLE(Small_mesh_cmd, "small_mesh_threshold", "Sets Small_mesh_threshold", Small_mesh_threshold);

const RenderStateWord Levelrender_lightmap_preset(4, 1, 3, 3, 4, 0);
const RenderStateWord Levelrender_dynamic_preset(1, 2, 3, 2, 1, 0);
const RenderStateWord Levelrender_untextured_preset(0, 0, 0, 3, 4, 0);
const RenderStateWord Levelrender_textured_preset(1, 2, 3, 3, 4, 0);

LevelRenderStats Levelrender_stats;

namespace {

constexpr unsigned int QGL_TEXTURE0_ARB = 0x84C0;
constexpr unsigned int QGL_TEXTURE1_ARB = 0x84C1;
// The largest polygon a clipped triangle may become and still be drawn.
constexpr int MAX_CLIPPED_CORNERS = 8;

LevelVertexScratch Scratch;
vector Anim_positions[LEVELRENDER_MAX_VERTICES];

// The client arrays of the OpenGL path.
float Gl_pos[LEVELRENDER_STORE_VERTICES][3];
uint8_t Gl_col[LEVELRENDER_STORE_VERTICES][4];
float Gl_tex0[LEVELRENDER_STORE_VERTICES][4];
float Gl_tex1[LEVELRENDER_STORE_VERTICES][4];
// The first pass of a lightmapped batch: white, with the faded alpha.
uint8_t Gl_white[LEVELRENDER_STORE_VERTICES][4];
// What the Direct3D and Glide paths take from the same slots: the texture
// coordinates unprojected and the vertex fog factor.
float Raw_uv[LEVELRENDER_STORE_VERTICES][4];
uint8_t Vertex_fog[LEVELRENDER_STORE_VERTICES];

// The level's Direct3D vertex buffer, one for every mesh.
Direct3DVertexBuffer7* Level_vb = nullptr;
// The Glide vertex store.
GlideVertex Glide_store[LEVELRENDER_STORE_VERTICES];
uint16_t Gl_index[6 * 65536];  // one group's triangles, clipped ones split

bool Anim_clock_set = false;
GameTimestamp Anim_clock;

// Corner numbers of the triangles of a clipped polygon, by corner count.
const uint8_t Triangulation[MAX_CLIPPED_CORNERS + 1][6][3] = {
    {}, {}, {},
    {{0, 1, 2}},
    {{0, 1, 2}, {2, 3, 0}},
    {{0, 1, 2}, {2, 3, 4}, {2, 4, 0}},
    {{0, 1, 2}, {2, 3, 4}, {2, 4, 0}, {4, 5, 0}},
    {{0, 1, 2}, {2, 3, 4}, {4, 5, 6}, {0, 2, 6}, {2, 4, 6}},
    {{0, 1, 5}, {1, 2, 4}, {2, 3, 4}, {4, 5, 1}, {5, 6, 7}, {7, 0, 5}},
};

uint8_t clamp_byte(float v) { return static_cast<uint8_t>(std::clamp(v, 0.0f, 255.0f)); }

// The records a clipped face starts from, and room for the clipper's list.
GrVertex Clip_in[3];
GrVertex* Clip_list[MAX_CLIP_VERTICES];
// The clipper's pool as it stood when the draw began: each face's clipped
// vertices are copied at once, so the next face takes the same ones again.
int Clip_mark = 0;

int texture_handle(int slot) {
  if (slot < 1 || slot > Level.texture_count || !Level.texture_handles) return -1;
  return Level.texture_handles[slot - 1];
}

int lightmap_handle(const InstanceFace& f) {
  const int lm = instance_face_lightmap(f);
  if (lm < 0 || lm >= Level.lightmap_count || !Level.lightmap_handles) return -1;
  return Level.lightmap_handles[lm];
}

}  // namespace

// ---- Level lights ---------------------------------------------------------------

void levelrender_setup_lights() {
  lights_reset();
  lights_set_ambient(Level.ambient.x * Level_light_scale, Level.ambient.y * Level_light_scale,
                     Level.ambient.z * Level_light_scale);
  for (int i = 0; i < Level.light_count && Level.lights; i++) {
    const LevelLight& l = Level.lights[i];
    const bool ranged = (l.flags & 2) != 0;
    const float near_r = ranged ? l.near_range : 20000.0f;
    const float far_r = ranged ? l.far_range : 20000.0f;
    const float intensity = l.intensity * Level_light_scale;
    if (l.type == 0) {
      light_create_point(l.pos, near_r, far_r, intensity, l.color.x, l.color.y, l.color.z, true);
    } else if (l.type == 1 || l.type == 4) {
      if (l.texture >= Level.texture_count) continue;
      matrix m;
      l.orient.to_matrix(m);
      vector dir;
      vector(0.0f, -1.0f, 0.0f).unrotated(dir, m);
      const int bitmap = l.texture >= 0 && Level.texture_handles ? Level.texture_handles[l.texture] : -1;
      light_create_spot(l.pos, l.pos + dir, l.angle_a, l.angle_b, 0.0f, far_r, intensity, l.color.x, l.color.y,
                        l.color.z, true, bitmap, &m);
    }
  }
}

// ---- Vertex animation -------------------------------------------------------------

void levelrender_vertex_anim_at(const LevelMeshInstance& mi, const VertexAnimRecord& rec, float seconds,
                                vector* out) {
  const LevelMesh& m = *mi.mesh;
  // A record without a period or scale would send the noise to infinity.
  const float t = rec.period > 0.0f ? seconds / rec.period : 0.0f;
  const float xs = rec.x_scale != 0.0f ? rec.x_scale : 1.0f;
  const float zs = rec.z_scale != 0.0f ? rec.z_scale : 1.0f;
  const int n = std::min(m.vertex_count, LEVELRENDER_MAX_VERTICES);
  for (int i = 0; i < n; i++) {
    const vector& p = m.positions[i];
    vector w;
    p.unrotated(w, mi.orient);
    w += mi.pos;
    const float noise = noise_3d(Space_mult * (w.x / xs), Space_mult * w.y, Space_mult * (w.z / zs) + Time_mult * t);
    const float weight = rec.weights && static_cast<uint32_t>(i) < rec.count ? rec.weights[i] : 0.0f;
    out[i] = p;
    out[i].y += noise * weight * rec.amplitude;
  }
}

void levelrender_vertex_anim(const LevelMeshInstance& mi, vector* out) {
  const int index = static_cast<int>(&mi - Level.instances);
  const VertexAnimRecord* rec =
      index >= 0 && index < Level.instance_count ? level_vertex_anim_find(index) : nullptr;
  if (!Anim_clock_set) {
    Anim_clock.set(0);
    Anim_clock_set = true;
  }
  const float seconds = static_cast<float>(-Anim_clock.time_left()) * 0.001f;
  if (!rec) {
    for (int i = 0; i < std::min(mi.mesh->vertex_count, LEVELRENDER_MAX_VERTICES); i++) out[i] = mi.mesh->positions[i];
    return;
  }
  levelrender_vertex_anim_at(mi, *rec, seconds, out);
}

void levelrender_reset_anim_clock() { Anim_clock_set = false; }

// ---- Vertex stage ---------------------------------------------------------------------

int levelrender_light_vertex(vector* sum, const vector& pos, const vector& normal, int light_count,
                             const LevelDynLight* const* lights) {
  float r = 0.0f, g = 0.0f, b = 0.0f;
  int hits = 0;
  for (int i = 0; i < light_count; i++) {
    const LevelDynLight& l = *lights[i];
    const vector d = l.pos - pos;
    const float dist = d.length();
    if (l.ranged && dist > l.far_dist) continue;
    float f = dist < 1.0f ? 1.0f : vector::dot(d, normal) / dist;
    if (f <= 0.0f) continue;
    if (l.ranged && dist > l.near_dist && l.far_dist > l.near_dist)
      f *= (l.far_dist - dist) / (l.far_dist - l.near_dist);
    f *= l.intensity * 0.75f;
    r += std::min(f * l.r, 1.0f);
    g += std::min(f * l.g, 1.0f);
    b += std::min(f * l.b, 1.0f);
    hits++;
  }
  sum->set(std::min(r, 1.0f), std::min(g, 1.0f), std::min(b, 1.0f));
  return std::min(hits, 255);
}

const LevelVertexScratch& levelrender_scratch() { return Scratch; }

int levelrender_vertex_stage(const LevelMeshInstance& mi, const vector* positions, int first, int end,
                             const Gr3dFrame& frame, int light_count, const LevelDynLight* const* lights) {
  const LevelMesh& m = *mi.mesh;
  end = std::min({end, m.vertex_count, LEVELRENDER_MAX_VERTICES});
  const bool bias = (mi.flags & (MI_DEPTH_BIAS | MI_DECALS)) != 0;
  const float bias_z = bias ? gr_3d_zoom_scale(0.1f) : 0.0f;
  int computed = 0;
  for (int i = std::max(first, 0); i < end; i++) {
    // A share offset k > 0 names a vertex k places earlier at the same
    // point; 0 (itself) or one reaching before the mesh is computed here.
    const int k = m.values ? m.values[i] : -1;
    if (k > 0 && k <= i) {
      const int s = i - k;
      Scratch.codes[i] = Scratch.codes[s];
      Scratch.view[i] = Scratch.view[s];
      Scratch.light[i] = Scratch.light[s];
      Scratch.hits[i] = Scratch.hits[s];
      if (Scratch.codes[s] == 0) {
        Scratch.sx[i] = Scratch.sx[s];
        Scratch.sy[i] = Scratch.sy[s];
        Scratch.ooz[i] = Scratch.ooz[s];
      }
      continue;
    }
    computed++;
    if (light_count > 0) {
      Scratch.hits[i] = static_cast<uint8_t>(
          levelrender_light_vertex(&Scratch.light[i], positions[i], m.normals[i], light_count, lights));
    } else {
      Scratch.light[i].set(0.0f, 0.0f, 0.0f);
      Scratch.hits[i] = 0;
    }
    vector v;
    (positions[i] - frame.cam_pos).rotated(v, frame.cam_orient);
    Scratch.view[i] = v;
    uint8_t c = 0;
    if (v.z < v.x) c |= CLIP_RIGHT;
    if (v.z < v.y) c |= CLIP_TOP;
    if (v.x < -v.z) c |= CLIP_LEFT;
    if (v.y < -v.z) c |= CLIP_BOTTOM;
    if (v.z <= 0.0f) c |= CLIP_BEHIND;
    if (frame.far_clipping && frame.far_z > 0.0f && v.z > frame.far_z) c |= CLIP_FAR;
    Scratch.codes[i] = c;
    if (c == 0) {
      const float ooz = 1.0f / v.z;
      Scratch.sx[i] = (v.x * ooz + 1.0f) * frame.x_scale + static_cast<float>(frame.x_offset);
      Scratch.sy[i] = (1.0f - v.y * ooz) * frame.y_scale + static_cast<float>(frame.y_offset);
      Scratch.ooz[i] = bias && v.z - bias_z > 0.0f ? 1.0f / (v.z - bias_z) : ooz;
    }
  }
  return computed;
}

// ---- Face stage -------------------------------------------------------------------------

const uint8_t (*levelrender_triangulation(int n))[3] {
  if (n < 3 || n > MAX_CLIPPED_CORNERS) return nullptr;
  return Triangulation[n];
}

int levelrender_groups(const LevelMesh& mesh, LevelFaceGroup* out, int capacity) {
  if (capacity < 1) return 0;
  int faces = 0, verts = 0, n = 0;
  bool fits = mesh.extra_count > 0 && mesh.extra_count <= capacity && mesh.extra;
  for (int g = 0; fits && g < mesh.extra_count; g++) {
    const uint32_t word = static_cast<uint32_t>(mesh.extra[g]);
    const int fc = static_cast<int16_t>(word & 0xFFFF), vc = static_cast<int16_t>(word >> 16);
    if (fc < 0 || vc < 0) {
      fits = false;
      break;
    }
    out[n++] = LevelFaceGroup{faces, fc, verts, vc};
    faces += fc;
    verts += vc;
  }
  if (fits && faces == mesh.face_count && verts == mesh.vertex_count) return n;
  out[0] = LevelFaceGroup{0, mesh.face_count, 0, mesh.vertex_count};
  return 1;
}

bool levelrender_uses_lightmaps(const LevelMeshInstance& mi) {
  if (!mi.faces || !mi.lightmap_uvs || mi.mesh->face_count < 1) return false;
  if (gr_screen.tint_on || (mi.flags & MI_LIGHTMAP_OFF)) return false;
  return instance_face_lightmap(mi.faces[0]) != -1;
}

void levelrender_corner_colour(const LevelMeshInstance& mi, int vertex, int light_count, bool lightmapped,
                               uint8_t* rgb) {
  const uint8_t* pre = mi.colors ? mi.colors + 3 * vertex : nullptr;
  const float pr = pre ? pre[0] : 255.0f, pg = pre ? pre[1] : 255.0f, pb = pre ? pre[2] : 255.0f;
  if (gr_screen.tint_on) {
    const float s = std::clamp(pr + pg + pb, 0.0f, 255.0f);
    rgb[0] = clamp_byte(s * gr_screen.tint_r);
    rgb[1] = clamp_byte(s * gr_screen.tint_g);
    rgb[2] = clamp_byte(s * gr_screen.tint_b);
  } else if (light_count <= 0) {
    rgb[0] = static_cast<uint8_t>(pr), rgb[1] = static_cast<uint8_t>(pg), rgb[2] = static_cast<uint8_t>(pb);
  } else {
    const vector& l = Scratch.light[vertex];
    const float base = lightmapped ? 0.0f : 1.0f;
    rgb[0] = clamp_byte(base * pr + l.x * 255.0f);
    rgb[1] = clamp_byte(base * pg + l.y * 255.0f);
    rgb[2] = clamp_byte(base * pb + l.z * 255.0f);
  }
}

int levelrender_fade_alpha(int alpha, float z, bool small_mesh) {
  if (!gr_screen.fog_on) return alpha;
  const float start = small_mesh ? gr_screen.fog_alpha_near : gr_screen.fog_alpha2_near;
  const float end = small_mesh ? gr_screen.fog_alpha_far : gr_screen.fog_alpha2_far;
  if (z <= start) return alpha;
  const float k = std::min(1.0f, std::max(0.0f, (end - z) * gr_screen.fog_alpha_scale));
  return static_cast<int>(static_cast<float>(alpha) * k);
}

int levelrender_clip_face(const LevelMeshInstance& mi, int face, const float* lightmap_uv, int light_count,
                          bool lightmapped, GrVertex** out) {
  const LevelMesh& m = *mi.mesh;
  const LevelFace& f = m.faces[face];
  for (int c = 0; c < 3; c++) {
    const int vi = f.v[c];
    GrVertex& g = Clip_in[c];
    g = GrVertex{};
    g.x = Scratch.view[vi].x, g.y = Scratch.view[vi].y, g.z = Scratch.view[vi].z;
    g.u = m.uvs[vi].x, g.v = m.uvs[vi].y;
    if (lightmap_uv) g.u2 = lightmap_uv[c], g.v2 = lightmap_uv[3 + c];
    uint8_t rgb[3];
    levelrender_corner_colour(mi, vi, light_count, lightmapped, rgb);
    g.r = rgb[0], g.g = rgb[1], g.b = rgb[2], g.a = 255;
    g.flags = GR_VERTEX_UV | GR_VERTEX_UV2 | GR_VERTEX_RGB | GR_VERTEX_ALPHA;
    g.corner = static_cast<uint8_t>(c);
    g.codes = Scratch.codes[vi];
    out[c] = &g;
  }
  clip_pool_rewind(Clip_mark);
  const int n = gr_3d_clip_polygon(3, out);
  if (n < 3 || n > MAX_CLIPPED_CORNERS) return 0;
  for (int i = 0; i < n; i++) gr_3d_project_point(*out[i]);
  return n;
}

// ---- The render paths ------------------------------------------------------------------
//
// The three paths share the vertex and face stages and write every vertex
// into the same slots of the static arrays; what differs is how a range of
// slots reaches the card. OpenGL and Direct3D share the batching of
// lightmapped instances and the indexed groups of the others; Glide draws
// each face as one polygon.

namespace {

struct PathDraw {
  const LevelMeshInstance* mi;
  int alpha;
  int light_count;
  bool small_mesh;
  bool bias;
  float bias_z;
  Gr3dDepthMap depth;
};

// The fog factor of a vertex for the Direct3D path's specular alpha.
uint8_t fog_factor(float z) {
  if (!gr_screen.fog_on || z <= gr_screen.fog_start) return 255;
  return static_cast<uint8_t>(255.0f * std::max(0.0f, std::min(1.0f, (gr_screen.fog_end - z) * gr_screen.fog_scale)));
}

void put_vertex(int slot, float sx, float sy, float ooz, float z, float u, float v, float u2, float v2,
                const uint8_t* rgb, const PathDraw& d) {
  Gl_pos[slot][0] = sx;
  Gl_pos[slot][1] = sy;
  Gl_pos[slot][2] = d.depth(ooz);
  Gl_col[slot][0] = rgb[0];
  Gl_col[slot][1] = rgb[1];
  Gl_col[slot][2] = rgb[2];
  const uint8_t a = static_cast<uint8_t>(std::clamp(levelrender_fade_alpha(d.alpha, z, d.small_mesh), 0, 255));
  Gl_col[slot][3] = a;
  Gl_white[slot][0] = Gl_white[slot][1] = Gl_white[slot][2] = 255;
  Gl_white[slot][3] = a;
  Gl_tex0[slot][0] = u * ooz;
  Gl_tex0[slot][1] = v * ooz;
  Gl_tex0[slot][2] = 0.0f;
  Gl_tex0[slot][3] = ooz;
  Gl_tex1[slot][0] = u2 * ooz;
  Gl_tex1[slot][1] = v2 * ooz;
  Gl_tex1[slot][2] = 0.0f;
  Gl_tex1[slot][3] = ooz;
  Raw_uv[slot][0] = u, Raw_uv[slot][1] = v, Raw_uv[slot][2] = u2, Raw_uv[slot][3] = v2;
  Vertex_fog[slot] = fog_factor(z);
}

// A clipped vertex's 1/z, biased again for flagged instances.
float clipped_ooz(const GrVertex& g, const PathDraw& d) {
  if (d.bias && g.z - d.bias_z > 0.0f) return 1.0f / (g.z - d.bias_z);
  return g.ooz;
}

void put_clipped(int slot, const GrVertex& g, const PathDraw& d) {
  const uint8_t rgb[3] = {g.r, g.g, g.b};
  put_vertex(slot, g.sx, g.sy, clipped_ooz(g, d), g.z, g.u, g.v, g.u2, g.v2, rgb, d);
}

void put_corner(int slot, int vi, const float* luv, int corner, const uint8_t* rgb, const PathDraw& d) {
  const LevelMesh& m = *d.mi->mesh;
  put_vertex(slot, Scratch.sx[vi], Scratch.sy[vi], Scratch.ooz[vi], Scratch.view[vi].z, m.uvs[vi].x, m.uvs[vi].y,
             luv ? luv[corner] : 0.0f, luv ? luv[3 + corner] : 0.0f, rgb, d);
}

// The face stage of one face: false when it is culled; *clipped is 0 for a
// whole face, else the corner count of its clipped polygon in Clip_list.
bool face_stage(const PathDraw& d, const vector* positions, int face, int vert_end, const float* luv,
                bool lightmapped, int* clipped) {
  const LevelMeshInstance& mi = *d.mi;
  const LevelFace& f = mi.mesh->faces[face];
  *clipped = 0;
  if (f.v[0] >= vert_end || f.v[1] >= vert_end || f.v[2] >= vert_end) return false;
  if (!(f.flags & FACE_TWO_SIDED) && !gr_3d_facing_eye(f.normal, positions[f.v[0]])) return false;
  const uint8_t c0 = Scratch.codes[f.v[0]], c1 = Scratch.codes[f.v[1]], c2 = Scratch.codes[f.v[2]];
  if (c0 & c1 & c2) return false;
  if (!(c0 | c1 | c2)) return true;
  *clipped = levelrender_clip_face(mi, face, luv, d.light_count, lightmapped, Clip_list);
  if (!*clipped) return false;
  Levelrender_stats.faces_clipped++;
  return true;
}

// A clipped corner that is one of the face's own, unclipped, keeps its
// mesh vertex.
bool is_input_corner(const GrVertex& cv, const LevelFace& f) {
  return !(cv.proj_flags & PF_TEMPORARY) && Scratch.codes[f.v[cv.corner]] == 0;
}

// Gives each corner of a clipped polygon its slot: the mesh vertex for an
// input corner, else a new one written at the append slot. False, with
// nothing written, when the new ones would pass the stores.
template <class Put>
bool place_clipped(const LevelFace& f, int n, int* append, int* slots, Put put) {
  int needed = 0;
  for (int i = 0; i < n; i++) needed += !is_input_corner(*Clip_list[i], f);
  if (*append + needed > LEVELRENDER_STORE_VERTICES) {
    Levelrender_stats.vertices_dropped += needed;
    return false;
  }
  for (int i = 0; i < n; i++) {
    const GrVertex& cv = *Clip_list[i];
    if (is_input_corner(cv, f)) {
      slots[i] = f.v[cv.corner];
    } else {
      slots[i] = *append;
      put((*append)++, cv);
    }
  }
  return true;
}

// How one renderer takes the slots of a batched or indexed draw.
struct BatchOps {
  void (*lightmap_state)();
  void (*group_texture)(int base);  // lightmapped path, before the group's faces
  void (*bind_lightmap)(int handle);
  void (*draw_range)(int start, int end);
  // The additive dynamic-light pass over the same range, then back to the
  // lightmap state.
  void (*second_pass)(int start, int end);
  void (*set_state)(RenderStateWord state);
  void (*bind_base)(int base);
  void (*draw_indexed)(const uint16_t* indices, int count, int vertex_end);
};

void draw_batch(const BatchOps& ops, int start, int end, int hit_sum, const PathDraw& d, int* current_lightmap) {
  if (end <= start) return;
  ops.draw_range(start, end);
  Levelrender_stats.draw_calls++;
  if (d.light_count > 0 && hit_sum != 0) {
    ops.second_pass(start, end);
    Levelrender_stats.draw_calls++;
    Levelrender_stats.second_passes++;
    // The second pass may have left another texture on the lightmap's
    // unit: the next face binds its lightmap again.
    *current_lightmap = -2;
  }
}

void draw_lightmapped(const BatchOps& ops, const PathDraw& d, const vector* positions, const Gr3dFrame& frame,
                      const LevelDynLight* const* lights) {
  const LevelMeshInstance& mi = *d.mi;
  const LevelMesh& m = *mi.mesh;
  ops.lightmap_state();
  int current = -2;  // no lightmap bound yet
  int write = 0;
  LevelFaceGroup groups[64];
  const int group_count = levelrender_groups(m, groups, 64);
  for (int gi = 0; gi < group_count; gi++) {
    const LevelFaceGroup& g = groups[gi];
    if (g.face_count < 1) continue;
    ops.group_texture(texture_handle(mi.faces[g.first_face].texture));
    const int vert_end = g.first_vertex + g.vertex_count;
    levelrender_vertex_stage(mi, positions, g.first_vertex, vert_end, frame, d.light_count, lights);
    int start = write, hit_sum = 0;
    for (int fi = g.first_face; fi < g.first_face + g.face_count; fi++) {
      const LevelFace& f = m.faces[fi];
      const float* luv = mi.lightmap_uvs + 6 * fi;
      int clipped = 0;
      if (!face_stage(d, positions, fi, vert_end, luv, true, &clipped)) continue;
      const int n = clipped ? 3 * (clipped - 2) : 3;
      const int lm = lightmap_handle(mi.faces[fi]);
      if ((lm != current && write > start) || write + n > LEVELRENDER_BATCH_LIMIT) {
        draw_batch(ops, start, write, hit_sum, d, &current);
        if (write + 3 > LEVELRENDER_BATCH_LIMIT) write = 0;
        start = write;
        hit_sum = 0;
      }
      if (write + n > LEVELRENDER_STORE_VERTICES) {
        Levelrender_stats.vertices_dropped += n;
        continue;
      }
      if (d.light_count > 0) hit_sum += Scratch.hits[f.v[0]] + Scratch.hits[f.v[1]] + Scratch.hits[f.v[2]];
      if (lm != current) {
        ops.bind_lightmap(lm);
        Levelrender_stats.lightmap_binds++;
        current = lm;
      }
      if (!clipped) {
        for (int c = 0; c < 3; c++) {
          uint8_t rgb[3] = {0, 0, 0};
          if (d.light_count > 0) levelrender_corner_colour(mi, f.v[c], d.light_count, true, rgb);
          put_corner(write++, f.v[c], luv, c, rgb, d);
        }
      } else {
        const uint8_t(*tri)[3] = levelrender_triangulation(clipped);
        for (int t = 0; t < clipped - 2; t++)
          for (int c = 0; c < 3; c++) put_clipped(write++, *Clip_list[tri[t][c]], d);
      }
      Levelrender_stats.faces_drawn++;
    }
    if (write > start) {
      draw_batch(ops, start, write, hit_sum, d, &current);
      current = -2;
    }
  }
}

void draw_indexed(const BatchOps& ops, const PathDraw& d, const vector* positions, const Gr3dFrame& frame,
                  const LevelDynLight* const* lights) {
  const LevelMeshInstance& mi = *d.mi;
  const LevelMesh& m = *mi.mesh;
  int append = m.vertex_count;
  int textured = -1;  // none applied yet
  LevelFaceGroup groups[64];
  const int group_count = levelrender_groups(m, groups, 64);
  for (int gi = 0; gi < group_count; gi++) {
    const LevelFaceGroup& g = groups[gi];
    if (g.face_count < 1) continue;
    const int slot = mi.faces ? mi.faces[g.first_face].texture : 0;
    const int base = slot ? texture_handle(slot) : -1;
    const int is_textured = slot != 0 ? 1 : 0;
    if (is_textured != textured) {
      ops.set_state(is_textured ? Levelrender_textured_preset : Levelrender_untextured_preset);
      textured = is_textured;
    }
    if (base >= 0) ops.bind_base(base);
    const int vert_end = g.first_vertex + g.vertex_count;
    levelrender_vertex_stage(mi, positions, g.first_vertex, vert_end, frame, d.light_count, lights);
    for (int vi = g.first_vertex; vi < vert_end; vi++) {
      if (Scratch.codes[vi]) continue;
      uint8_t rgb[3];
      levelrender_corner_colour(mi, vi, d.light_count, false, rgb);
      put_corner(vi, vi, nullptr, 0, rgb, d);
    }
    int count = 0;
    const int index_room = static_cast<int>(sizeof Gl_index / sizeof Gl_index[0]);
    for (int fi = g.first_face; fi < g.first_face + g.face_count; fi++) {
      const LevelFace& f = m.faces[fi];
      int n = 0;
      if (!face_stage(d, positions, fi, vert_end, nullptr, false, &n)) continue;
      if (!n) {
        if (count + 3 > index_room) break;
        for (int c = 0; c < 3; c++) Gl_index[count++] = f.v[c];
        Levelrender_stats.faces_drawn++;
        continue;
      }
      int slots[MAX_CLIPPED_CORNERS];
      if (count + 3 * (n - 2) > index_room) continue;
      if (!place_clipped(f, n, &append, slots, [&](int slot, const GrVertex& cv) { put_clipped(slot, cv, d); }))
        continue;
      const uint8_t(*tri)[3] = levelrender_triangulation(n);
      for (int t = 0; t < n - 2; t++)
        for (int c = 0; c < 3; c++) Gl_index[count++] = static_cast<uint16_t>(slots[tri[t][c]]);
      Levelrender_stats.faces_drawn++;
    }
    if (count >= 3) {
      ops.draw_indexed(Gl_index, count, append > m.vertex_count ? append : vert_end);
      Levelrender_stats.draw_calls++;
    }
  }
}

// What every path does first: the animated positions, the fade range, the
// depth bias. Null when the instance cannot be drawn.
const vector* path_start(const LevelMeshInstance* mi, int alpha, int light_count, PathDraw* d) {
  if (!mi || !mi->mesh || mi->mesh->vertex_count < 1 || mi->mesh->face_count < 1 || !mi->faces) return nullptr;
  if (mi->mesh->vertex_count > LEVELRENDER_MAX_VERTICES) return nullptr;
  const vector* positions = mi->mesh->positions;
  if (mi->flags & MI_VERTEX_ANIM) {
    levelrender_vertex_anim(*mi, Anim_positions);
    positions = Anim_positions;
  }
  *d = PathDraw{mi, alpha, light_count, mi->mesh->radius <= Small_mesh_threshold,
                (mi->flags & (MI_DEPTH_BIAS | MI_DECALS)) != 0, gr_3d_zoom_scale(0.1f), Gr3dDepthMap()};
  return positions;
}

// ---- OpenGL ----

void select_unit(unsigned int unit) {
  if (Gl_active_texture_arb) Gl_active_texture_arb(unit);
  if (Gl_client_active_texture_arb) Gl_client_active_texture_arb(unit);
}

void point_arrays(bool white = false) {
  glVertexPointer(3, GL_FLOAT, 0, Gl_pos);
  glColorPointer(4, GL_UNSIGNED_BYTE, 0, white ? Gl_white : Gl_col);
  select_unit(QGL_TEXTURE0_ARB);
  glTexCoordPointer(4, GL_FLOAT, 0, Gl_tex0);
}

// The lightmap pass under OpenGL: the base texture on unit 0 modulated by
// white with the faded alpha (so see-through and distance fades show), the
// lightmap on unit 1.
void lightmap_arrays() {
  point_arrays(true);
  select_unit(QGL_TEXTURE0_ARB);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  select_unit(QGL_TEXTURE1_ARB);
  glTexCoordPointer(4, GL_FLOAT, 0, Gl_tex1);
}

void gl_lightmap_state() {
  gr_opengl_set_render_state(Levelrender_lightmap_preset);
  lightmap_arrays();
}

const BatchOps Gl_ops = {
    gl_lightmap_state,
    [](int base) {
      float us, vs;
      if (base >= 0) gr_opengl_set_texture(base, &us, &vs, 0);
      lightmap_arrays();
    },
    [](int handle) {
      float us, vs;
      gr_opengl_set_texture(handle, &us, &vs, 1);
      lightmap_arrays();
    },
    [](int start, int end) { glDrawArrays(GL_TRIANGLES, start, end - start); },
    [](int start, int end) {
      select_unit(QGL_TEXTURE0_ARB);
      gr_opengl_set_render_state(Levelrender_dynamic_preset);
      point_arrays();
      glDrawArrays(GL_TRIANGLES, start, end - start);
      gl_lightmap_state();
    },
    [](RenderStateWord state) { gr_opengl_set_render_state(state); },
    [](int base) {
      float us, vs;
      gr_opengl_set_texture(base, &us, &vs, 0);
    },
    [](const uint16_t* indices, int count, int) {
      point_arrays();
      glDrawElements(GL_TRIANGLES, count, GL_UNSIGNED_SHORT, indices);
    },
};

// ---- Direct3D ----

// The first lock of a draw call discards what the buffer held; later ones
// leave earlier batches alone for the card.
bool Vb_discard = true;

uint32_t bgra(const uint8_t* c) {
  return (static_cast<uint32_t>(c[3]) << 24) | (static_cast<uint32_t>(c[0]) << 16) |
         (static_cast<uint32_t>(c[1]) << 8) | c[2];
}

// Copies slots [start, end) into the level buffer at the same places.
void vb_fill(int start, int end) {
  void* p = nullptr;
  const HRESULT r = Level_vb->Lock(Vb_discard ? 0x2820u : 0x1820u, &p, nullptr);
  if (r != D3D_OK) critical_error(__FILE__, __LINE__, gr_d3d_error_text(r));
  Vb_discard = false;
  auto* v = static_cast<D3dTLVertex*>(p);
  for (int i = start; i < end; i++)
    v[i] = D3dTLVertex{Gl_pos[i][0] - 0.5f, Gl_pos[i][1] - 0.5f, Gl_pos[i][2], Gl_tex0[i][3], bgra(Gl_col[i]),
                       static_cast<uint32_t>(Vertex_fog[i]) << 24, Raw_uv[i][0], Raw_uv[i][1], Raw_uv[i][2],
                       Raw_uv[i][3]};
  Level_vb->Unlock();
}

void d3d_draw_range(int start, int end) {
  if (!Level_vb || !gr_d3d_device()) return;
  vb_fill(start, end);
  gr_d3d_device()->DrawPrimitiveVB(D3DPT_TRIANGLELIST, Level_vb, static_cast<uint32_t>(start),
                                   static_cast<uint32_t>(end - start), 0);
}

const BatchOps D3d_ops = {
    [] { gr_d3d_set_render_state(Levelrender_lightmap_preset); },
    [](int base) {
      float us, vs;
      gr_d3d_set_texture(0, base, 0, &us, &vs, true);
    },
    [](int handle) {
      float us, vs;
      gr_d3d_set_texture(1, handle, 0, &us, &vs, true);
    },
    d3d_draw_range,
    [](int start, int end) {
      gr_d3d_set_render_state(Levelrender_dynamic_preset);
      if (Level_vb && gr_d3d_device())
        gr_d3d_device()->DrawPrimitiveVB(D3DPT_TRIANGLELIST, Level_vb, static_cast<uint32_t>(start),
                                         static_cast<uint32_t>(end - start), 0);
      gr_d3d_set_render_state(Levelrender_lightmap_preset);
    },
    [](RenderStateWord state) { gr_d3d_set_render_state(state); },
    [](int base) {
      float us, vs;
      gr_d3d_set_texture(0, base, 0, &us, &vs, true);
    },
    [](const uint16_t* indices, int count, int vertex_end) {
      if (!Level_vb || !gr_d3d_device()) return;
      vb_fill(0, vertex_end);
      gr_d3d_device()->DrawIndexedPrimitiveVB(D3DPT_TRIANGLELIST, Level_vb, 0, static_cast<uint32_t>(vertex_end),
                                              const_cast<uint16_t*>(indices), static_cast<uint32_t>(count), 0);
    },
};

// ---- Glide ----

void glide_vertex(GlideVertex& g, int slot, float ss, float ts, float lss, float lts) {
  const float w = Gl_tex0[slot][3];
  g = GlideVertex{};
  g.x = Gl_pos[slot][0] + GR_GLIDE_SNAP_BIAS;
  g.y = Gl_pos[slot][1] + GR_GLIDE_SNAP_BIAS;
  g.r = Gl_col[slot][0];
  g.g = Gl_col[slot][1];
  g.b = Gl_col[slot][2];
  g.a = Gl_col[slot][3];
  g.oow = w;
  g.tmu[0].sow = Raw_uv[slot][0] * ss * w;
  g.tmu[0].tow = Raw_uv[slot][1] * ts * w;
  g.tmu[0].oow = w;
  g.tmu[1].sow = Raw_uv[slot][2] * lss * w;
  g.tmu[1].tow = Raw_uv[slot][3] * lts * w;
  g.tmu[1].oow = w;
}

void draw_glide_lightmapped(const PathDraw& d, const vector* positions, const Gr3dFrame& frame,
                            const LevelDynLight* const* lights) {
  const LevelMeshInstance& mi = *d.mi;
  const LevelMesh& m = *mi.mesh;
  gr_glide_set_render_state(Levelrender_lightmap_preset);
  int current = -2;
  float ss = 1.0f, ts = 1.0f, lss = 1.0f, lts = 1.0f;
  LevelFaceGroup groups[64];
  const int group_count = levelrender_groups(m, groups, 64);
  for (int gi = 0; gi < group_count; gi++) {
    const LevelFaceGroup& g = groups[gi];
    if (g.face_count < 1) continue;
    const int base = texture_handle(mi.faces[g.first_face].texture);
    if (base >= 0) gr_glide_set_texture(0, base, 0, &ss, &ts, 1);
    const int vert_end = g.first_vertex + g.vertex_count;
    levelrender_vertex_stage(mi, positions, g.first_vertex, vert_end, frame, d.light_count, lights);
    for (int fi = g.first_face; fi < g.first_face + g.face_count; fi++) {
      const LevelFace& f = m.faces[fi];
      const float* luv = mi.lightmap_uvs + 6 * fi;
      int clipped = 0;
      if (!face_stage(d, positions, fi, vert_end, luv, true, &clipped)) continue;
      const int lm = lightmap_handle(mi.faces[fi]);
      if (lm != current) {
        gr_glide_set_texture(1, lm, 0, &lss, &lts, 1);
        Levelrender_stats.lightmap_binds++;
        current = lm;
      }
      const int n = clipped ? clipped : 3;
      for (int c = 0; c < n; c++) {
        if (clipped) {
          put_clipped(c, *Clip_list[c], d);
        } else {
          uint8_t rgb[3] = {0, 0, 0};
          if (d.light_count > 0) levelrender_corner_colour(mi, f.v[c], d.light_count, true, rgb);
          put_corner(c, f.v[c], luv, c, rgb, d);
        }
        glide_vertex(Glide_store[c], c, ss, ts, lss, lts);
      }
      Glide_api.grDrawPlanarPolygonVertexList(n, Glide_store);
      Levelrender_stats.draw_calls++;
      Levelrender_stats.faces_drawn++;
      const int hits = Scratch.hits[f.v[0]] + Scratch.hits[f.v[1]] + Scratch.hits[f.v[2]];
      if (d.light_count > 0 && hits != 0) {
        gr_glide_set_render_state(Levelrender_dynamic_preset);
        Glide_api.grDrawPlanarPolygonVertexList(n, Glide_store);
        gr_glide_set_render_state(Levelrender_lightmap_preset);
        Levelrender_stats.draw_calls++;
        Levelrender_stats.second_passes++;
      }
    }
  }
}

void draw_glide_indexed(const PathDraw& d, const vector* positions, const Gr3dFrame& frame,
                        const LevelDynLight* const* lights) {
  const LevelMeshInstance& mi = *d.mi;
  const LevelMesh& m = *mi.mesh;
  int append = m.vertex_count;
  int textured = -1;
  float ss = 1.0f, ts = 1.0f;
  LevelFaceGroup groups[64];
  const int group_count = levelrender_groups(m, groups, 64);
  for (int gi = 0; gi < group_count; gi++) {
    const LevelFaceGroup& g = groups[gi];
    if (g.face_count < 1) continue;
    const int slot = mi.faces[g.first_face].texture;
    const int is_textured = slot != 0 ? 1 : 0;
    if (is_textured != textured) {
      gr_glide_set_render_state(is_textured ? Levelrender_textured_preset : Levelrender_untextured_preset);
      textured = is_textured;
    }
    if (slot != 0 && texture_handle(slot) >= 0) {
      gr_glide_set_texture(0, texture_handle(slot), 0, &ss, &ts, 1);
      // Meshes marked at load for Glide stretch their t like their s.
      if (mi.flags & MI_STALAG) ts = ss;
    }
    const int vert_end = g.first_vertex + g.vertex_count;
    levelrender_vertex_stage(mi, positions, g.first_vertex, vert_end, frame, d.light_count, lights);
    for (int vi = g.first_vertex; vi < vert_end; vi++) {
      if (Scratch.codes[vi]) continue;
      uint8_t rgb[3];
      levelrender_corner_colour(mi, vi, d.light_count, false, rgb);
      put_corner(vi, vi, nullptr, 0, rgb, d);
      glide_vertex(Glide_store[vi], vi, ss, ts, 1.0f, 1.0f);
    }
    for (int fi = g.first_face; fi < g.first_face + g.face_count; fi++) {
      const LevelFace& f = m.faces[fi];
      int n = 0;
      if (!face_stage(d, positions, fi, vert_end, nullptr, false, &n)) continue;
      int idx[MAX_CLIPPED_CORNERS];
      if (!n) {
        for (int c = 0; c < 3; c++) idx[c] = f.v[c];
        n = 3;
      } else {
        const bool placed = place_clipped(f, n, &append, idx, [&](int slot, const GrVertex& cv) {
          put_clipped(slot, cv, d);
          glide_vertex(Glide_store[slot], slot, ss, ts, 1.0f, 1.0f);
        });
        if (!placed) continue;
      }
      Glide_api.grDrawPlanarPolygon(n, idx, Glide_store);
      Levelrender_stats.draw_calls++;
      Levelrender_stats.faces_drawn++;
    }
  }
}

}  // namespace

void levelrender_draw_opengl(const LevelMeshInstance* mi, int alpha, int light_count,
                             const LevelDynLight* const* lights) {
  if (gr_screen.renderer != GR_OPENGL) return;
  PathDraw d{};
  const vector* positions = path_start(mi, alpha, light_count, &d);
  if (!positions) return;
  Gr3dFrame frame;
  gr_3d_get_frame(frame);
  gr_opengl_flush_2d();
  Clip_mark = clip_pool_used();
  if (levelrender_uses_lightmaps(*mi)) {
    draw_lightmapped(Gl_ops, d, positions, frame, lights);
    // Unit 0 back to what the renderer believes its state left there.
    select_unit(QGL_TEXTURE0_ARB);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
  } else {
    draw_indexed(Gl_ops, d, positions, frame, lights);
  }
  clip_pool_rewind(Clip_mark);
  // Leave unit 0 current for the renderer's own draws.
  select_unit(QGL_TEXTURE0_ARB);
}

void levelrender_draw_d3d(const LevelMeshInstance* mi, int alpha, int light_count, const LevelDynLight* const* lights) {
  if (gr_screen.renderer != GR_DIRECT3D || !Level_vb) return;
  PathDraw d{};
  const vector* positions = path_start(mi, alpha, light_count, &d);
  if (!positions) return;
  Gr3dFrame frame;
  gr_3d_get_frame(frame);
  gr_d3d_flush_2d();
  Clip_mark = clip_pool_used();
  Vb_discard = true;
  if (levelrender_uses_lightmaps(*mi)) draw_lightmapped(D3d_ops, d, positions, frame, lights);
  else draw_indexed(D3d_ops, d, positions, frame, lights);
  clip_pool_rewind(Clip_mark);
}

void levelrender_draw_glide(const LevelMeshInstance* mi, int alpha, int light_count,
                            const LevelDynLight* const* lights) {
  if (gr_screen.renderer != GR_GLIDE || !Glide_api.grDrawPlanarPolygon) return;
  PathDraw d{};
  const vector* positions = path_start(mi, alpha, light_count, &d);
  if (!positions) return;
  Gr3dFrame frame;
  gr_3d_get_frame(frame);
  Clip_mark = clip_pool_used();
  if (levelrender_uses_lightmaps(*mi)) draw_glide_lightmapped(d, positions, frame, lights);
  else draw_glide_indexed(d, positions, frame, lights);
  clip_pool_rewind(Clip_mark);
}

void levelrender_create_vertex_buffer() {
  if (gr_screen.renderer != GR_DIRECT3D || Level_vb || !gr_d3d_object()) return;
  // Write-only, in system memory; pre-transformed vertices with two
  // texture sets.
  D3DVERTEXBUFFERDESC desc{0x10800u, D3DFVF_TLVERTEX2, LEVELRENDER_STORE_VERTICES};
  if (gr_d3d_object()->CreateVertexBuffer(&desc, &Level_vb, 0) != D3D_OK || !Level_vb)
    critical_error(__FILE__, __LINE__, "Unable to create level vertex buffer for D3d!");
}

void levelrender_release_vertex_buffer() {
  if (!Level_vb) return;
  Level_vb->Release();
  Level_vb = nullptr;
}
