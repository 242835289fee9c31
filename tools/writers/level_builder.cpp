// The level builder: solids become meshes with their collision trees, and
// the loader's record routines write them out.
#include "tools/writers/level_builder.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>

#include "Engine/s3d/collide.h"
#include "quarn/vfile/vfile.h"

namespace {

// Faces whose corners lie within this of a node's plane are that node's own.
constexpr float ON_PLANE = 0.01f;
// Trees stop growing here rather than split without end on odd geometry.
constexpr size_t MAX_TREE_FACES = 30000;

using Face = LevelBuilder::Face;
using Mesh = LevelBuilder::Mesh;

vector face_normal(const Mesh& m, const Face& f) {
  LevelFace lf{};
  std::memcpy(lf.v, f.v, sizeof lf.v);
  return s3d_face_normal(m.positions.data(), lf);
}

float dist(const vector& n, float d, const vector& p) { return vector::dot(n, p) + d; }

// A quad p00 p10 p11 p01 cut into cells of at most `cell`, each cell two
// triangles facing away from `center` (toward it with `inward`).
void add_quad(Mesh& m, const vector& p00, const vector& p10, const vector& p11, const vector& p01,
              const vector& center, bool inward, float cell, int texture, int lightmap) {
  const float lu = std::max((p10 - p00).length(), (p11 - p01).length());
  const float lv = std::max((p01 - p00).length(), (p11 - p10).length());
  const int nu = std::max(1, static_cast<int>(std::ceil(lu / cell)));
  const int nv = std::max(1, static_cast<int>(std::ceil(lv / cell)));
  const uint16_t base = static_cast<uint16_t>(m.positions.size());
  for (int j = 0; j <= nv; j++) {
    for (int i = 0; i <= nu; i++) {
      const float a = static_cast<float>(i) / nu, b = static_cast<float>(j) / nv;
      const vector bottom = p00 * (1.0f - a) + p10 * a;
      const vector top = p01 * (1.0f - a) + p11 * a;
      m.positions.push_back(bottom * (1.0f - b) + top * b);
      m.uvs.push_back(vector2{a * lu / 4.0f, b * lv / 4.0f});
    }
  }
  auto at = [&](int i, int j) { return static_cast<uint16_t>(base + j * (nu + 1) + i); };
  for (int j = 0; j < nv; j++) {
    for (int i = 0; i < nu; i++) {
      const uint16_t q[4] = {at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j + 1)};
      const float uv[4][2] = {{float(i) / nu, float(j) / nv},
                              {float(i + 1) / nu, float(j) / nv},
                              {float(i + 1) / nu, float(j + 1) / nv},
                              {float(i) / nu, float(j + 1) / nv}};
      const int tris[2][3] = {{0, 1, 2}, {0, 2, 3}};
      for (const auto& t : tris) {
        Face f;
        f.texture = static_cast<uint16_t>(texture);
        f.lightmap = lightmap;
        for (int k = 0; k < 3; k++) {
          f.v[k] = q[t[k]];
          f.lm_uv[k][0] = uv[t[k]][0];
          f.lm_uv[k][1] = uv[t[k]][1];
        }
        const vector n = face_normal(m, f);
        if (n.is_zero()) continue;
        const vector mid = (m.positions[f.v[0]] + m.positions[f.v[1]] + m.positions[f.v[2]]) * (1.0f / 3.0f);
        const bool toward = vector::dot(n, mid - center) < 0.0f;
        if (toward != inward) {
          std::swap(f.v[1], f.v[2]);
          for (int c = 0; c < 2; c++) std::swap(f.lm_uv[1][c], f.lm_uv[2][c]);
        }
        m.faces.push_back(f);
      }
    }
  }
}

// The six sides of a solid given by its eight corners: 0-3 the bottom
// (x0z0, x1z0, x1z1, x0z1), 4-7 the top above them.
void add_solid(Mesh& m, const vector c[8], bool inward, float cell, int texture, int lightmap) {
  vector center{0.0f, 0.0f, 0.0f};
  for (int i = 0; i < 8; i++) center += c[i];
  center = center * 0.125f;
  const int sides[6][4] = {{0, 1, 2, 3}, {4, 5, 6, 7}, {0, 1, 5, 4}, {3, 2, 6, 7}, {0, 3, 7, 4}, {1, 2, 6, 5}};
  for (const auto& s : sides) {
    // A side squeezed to a line (a ramp's low end) has no area to add.
    if ((c[s[1]] - c[s[0]]).length() < 1e-6f && (c[s[2]] - c[s[3]]).length() < 1e-6f) continue;
    if ((c[s[3]] - c[s[0]]).length() < 1e-6f && (c[s[2]] - c[s[1]]).length() < 1e-6f) continue;
    add_quad(m, c[s[0]], c[s[1]], c[s[2]], c[s[3]], center, inward, cell, texture, lightmap);
  }
}

// ---- Collision tree --------------------------------------------------------

struct Plane {
  uint32_t word;
  vector n;
  float d;
};

Plane plane_of(const Mesh& m, const Face& f) {
  Plane p;
  p.word = collide_quantise_normal(face_normal(m, f));
  p.n = collide_node_normal(p.word);
  float sum = 0.0f;
  for (uint16_t v : f.v) sum += vector::dot(p.n, m.positions[v]);
  p.d = -sum / 3.0f;
  return p;
}

// -1 behind, 0 on, 1 in front, 2 across.
int classify(const Mesh& m, const Face& f, const Plane& p) {
  bool front = false, back = false;
  for (uint16_t v : f.v) {
    const float s = dist(p.n, p.d, m.positions[v]);
    if (s > ON_PLANE) front = true;
    if (s < -ON_PLANE) back = true;
  }
  if (front && back) return 2;
  return front ? 1 : (back ? -1 : 0);
}

struct Corner {
  vector pos;
  vector2 uv;
  float lm[2];
};

uint16_t add_vertex(Mesh& m, const Corner& c) {
  m.positions.push_back(c.pos);
  m.uvs.push_back(c.uv);
  return static_cast<uint16_t>(m.positions.size() - 1);
}

// Splits a face across the plane into fragments wholly on one side; the first
// fragment takes the face's place, the rest are appended; their indices go
// to the side they lie on.
void split_face(Mesh& m, int index, const Plane& p, std::vector<int>* front, std::vector<int>* back) {
  const Face f = m.faces[index];
  Corner c[3];
  float s[3];
  for (int k = 0; k < 3; k++) {
    c[k] = Corner{m.positions[f.v[k]], m.uvs[f.v[k]], {f.lm_uv[k][0], f.lm_uv[k][1]}};
    s[k] = dist(p.n, p.d, c[k].pos);
  }
  std::vector<std::pair<Corner, int>> poly[2];  // corner and its vertex (-1 new)
  for (int k = 0; k < 3; k++) {
    const int j = (k + 1) % 3;
    if (s[k] >= -ON_PLANE) poly[0].push_back({c[k], f.v[k]});
    if (s[k] <= ON_PLANE) poly[1].push_back({c[k], f.v[k]});
    if ((s[k] > ON_PLANE && s[j] < -ON_PLANE) || (s[k] < -ON_PLANE && s[j] > ON_PLANE)) {
      const float t = s[k] / (s[k] - s[j]);
      Corner x;
      x.pos = c[k].pos + (c[j].pos - c[k].pos) * t;
      x.uv = vector2{c[k].uv.x + (c[j].uv.x - c[k].uv.x) * t, c[k].uv.y + (c[j].uv.y - c[k].uv.y) * t};
      for (int a = 0; a < 2; a++) x.lm[a] = c[k].lm[a] + (c[j].lm[a] - c[k].lm[a]) * t;
      const int v = add_vertex(m, x);
      poly[0].push_back({x, v});
      poly[1].push_back({x, v});
    }
  }
  bool replaced = false;
  for (int side = 0; side < 2; side++) {
    auto& pts = poly[side];
    for (size_t k = 1; k + 1 < pts.size(); k++) {
      Face frag = f;
      const std::pair<Corner, int>* tri[3] = {&pts[0], &pts[k], &pts[k + 1]};
      for (int a = 0; a < 3; a++) {
        frag.v[a] = static_cast<uint16_t>(tri[a]->second);
        frag.lm_uv[a][0] = tri[a]->first.lm[0];
        frag.lm_uv[a][1] = tri[a]->first.lm[1];
      }
      if (face_normal(m, frag).is_zero()) continue;
      int at;
      if (!replaced) {
        m.faces[index] = frag;
        at = index;
        replaced = true;
      } else {
        m.faces.push_back(frag);
        at = static_cast<int>(m.faces.size() - 1);
      }
      (side == 0 ? front : back)->push_back(at);
    }
  }
  if (!replaced) {
    // Nothing of area was left: the face stays, kept on the front side.
    front->push_back(index);
  }
}

int choose_splitter(const Mesh& m, const std::vector<int>& faces) {
  const size_t step = std::max<size_t>(1, faces.size() / 160);
  int best = faces[0];
  long best_score = -1;
  for (size_t i = 0; i < faces.size(); i += step) {
    const Plane p = plane_of(m, m.faces[faces[i]]);
    long front = 0, back = 0, splits = 0;
    for (int f : faces) {
      const int c = classify(m, m.faces[f], p);
      if (c == 1) front++;
      else if (c == -1) back++;
      else if (c == 2) splits++;
    }
    const long score = 8 * splits + std::labs(front - back);
    if (best_score < 0 || score < best_score) {
      best_score = score;
      best = faces[i];
    }
  }
  return best;
}

matrix yaw_matrix(float yaw) {
  const float c = std::cos(yaw), s = std::sin(yaw);
  // 0 - s rather than -s: a turn of 0 must not store a negative zero.
  return matrix{vector{c, 0.0f, 0.0f - s}, vector{0.0f, 1.0f, 0.0f}, vector{s, 0.0f, c}};
}

}  // namespace

bool LevelBuilder::build_tree(Mesh& m, std::vector<CollisionNode>* nodes, std::vector<uint16_t>* face_list) {
  nodes->clear();
  face_list->clear();
  std::vector<int> all;
  for (size_t i = 0; i < m.faces.size(); i++)
    if (!face_normal(m, m.faces[i]).is_zero()) all.push_back(static_cast<int>(i));
  if (all.empty()) return true;
  struct Work {
    int node;
    std::vector<int> faces;
  };
  std::deque<Work> work;
  nodes->push_back(CollisionNode{0, 0.0f, 0});
  work.push_back(Work{0, all});
  while (!work.empty()) {
    Work w = std::move(work.front());
    work.pop_front();
    const int splitter = choose_splitter(m, w.faces);
    const Plane p = plane_of(m, m.faces[splitter]);
    std::vector<int> on, front, back;
    for (int f : w.faces) {
      const int c = f == splitter ? 0 : classify(m, m.faces[f], p);
      if (c == 0) on.push_back(f);
      else if (c == 1) front.push_back(f);
      else if (c == -1) back.push_back(f);
      else split_face(m, f, p, &front, &back);
    }
    if (m.faces.size() > MAX_TREE_FACES || m.positions.size() > S3D_MAX_MESH_VERTICES) {
      std::fprintf(stderr, "level builder: mesh %s grows past %d vertices in its tree\n", m.name.c_str(),
                   S3D_MAX_MESH_VERTICES);
      return false;
    }
    CollisionNode n{p.word, p.d, 0};
    const uint32_t c = static_cast<uint32_t>(nodes->size());
    if (!front.empty()) n.word0 |= CNODE_FIRST_CHILD;
    if (!back.empty()) n.word0 |= CNODE_SECOND_CHILD;
    uint32_t ref;
    if (on.size() == 1) {
      ref = static_cast<uint32_t>(on[0]);
    } else {
      ref = static_cast<uint32_t>(face_list->size()) | 0x8000u;
      face_list->push_back(static_cast<uint16_t>(on.size()));
      for (int f : on) face_list->push_back(static_cast<uint16_t>(f));
    }
    if ((ref & 0x7FFF) >= CNODE_NO_FACE || face_list->size() > 0x7FFF || c + 2 > 0xFFFF) {
      std::fprintf(stderr, "level builder: the tree of mesh %s is too large\n", m.name.c_str());
      return false;
    }
    n.word2 = c | ((ref & 0x7FFF) << 16) | ((ref & 0x8000u) ? CNODE_FACE_LIST : 0);
    (*nodes)[w.node] = n;
    int next = static_cast<int>(c);
    if (!front.empty()) {
      nodes->push_back(CollisionNode{});
      work.push_back(Work{next++, std::move(front)});
    }
    if (!back.empty()) {
      nodes->push_back(CollisionNode{});
      work.push_back(Work{next++, std::move(back)});
    }
  }
  return true;
}

int LevelBuilder::texture(const std::string& name) {
  for (size_t i = 0; i < textures.size(); i++)
    if (textures[i] == name) return static_cast<int>(i + 1);
  textures.push_back(name);
  return static_cast<int>(textures.size());
}

namespace {

// The 5-bit level of an 8-bit light value. Sixteen levels: level j is kept
// as 2j + 1, whose widening (x 255 / 31) cut back to 4 bits is j again and
// lies at most 7 above 17j.
int lightmap_level(int v, bool sixteen) {
  v = std::clamp(v, 0, 255);
  if (!sixteen) return v >> 3;
  const int j = (v + 8) / 17;
  return j ? 2 * j + 1 : 0;
}

}  // namespace

int LevelBuilder::lightmap(int size, int bright, int dark) {
  Lightmap lm{size, size, {}};
  for (int y = 0; y < size; y++) {
    const int v = bright + (dark - bright) * y / std::max(1, size - 1);
    for (int x = 0; x < size; x++) {
      const int w = lightmap_level(v + ((x + y) % 4 == 0 ? 8 : 0), sixteen_level_lightmaps);
      lm.pixels.push_back(static_cast<uint16_t>((w << 10) | (w << 5) | w));
    }
  }
  lightmaps.push_back(std::move(lm));
  return static_cast<int>(lightmaps.size() - 1);
}

int LevelBuilder::lightmap_tinted(int size, int bright, int dark, int r, int g, int b) {
  Lightmap lm{size, size, {}};
  for (int y = 0; y < size; y++) {
    const int v = bright + (dark - bright) * y / std::max(1, size - 1);
    for (int x = 0; x < size; x++) {
      const int c[3] = {v * r / 255, v * g / 255, v * b / 255};
      int w[3];
      for (int k = 0; k < 3; k++) w[k] = lightmap_level(c[k], sixteen_level_lightmaps);
      lm.pixels.push_back(static_cast<uint16_t>((w[0] << 10) | (w[1] << 5) | w[2]));
    }
  }
  lightmaps.push_back(std::move(lm));
  return static_cast<int>(lightmaps.size() - 1);
}

void LevelBuilder::prelight(int instance, void (*colour)(const vector& world, uint8_t* rgb)) {
  instances[instance].prelit = colour;
}

int LevelBuilder::add_mesh_instance(Mesh mesh, const std::string& name, const vector& pos, const matrix& orient,
                                    uint32_t flags) {
  mesh.name = name;
  meshes.push_back(std::move(mesh));
  instances.push_back(Instance{name, static_cast<int>(meshes.size() - 1), pos, orient, flags, -1, 200, nullptr});
  return static_cast<int>(instances.size() - 1);
}

int LevelBuilder::add_box(const std::string& name, const vector& min, const vector& max, int texture_slot,
                          uint32_t flags, int lightmap_index, bool inside) {
  const vector center = (min + max) * 0.5f;
  const vector h = (max - min) * 0.5f;
  const vector c[8] = {{-h.x, -h.y, -h.z}, {h.x, -h.y, -h.z}, {h.x, -h.y, h.z}, {-h.x, -h.y, h.z},
                       {-h.x, h.y, -h.z},  {h.x, h.y, -h.z},  {h.x, h.y, h.z},  {-h.x, h.y, h.z}};
  Mesh m;
  add_solid(m, c, inside, max_cell, texture_slot, lightmap_index);
  return add_mesh_instance(std::move(m), name, center, yaw_matrix(0.0f), flags);
}

int LevelBuilder::add_room_with_doorway(const std::string& name, const vector& min, const vector& max,
                                        int texture_slot, int lightmap_index, bool at_max_x, float z0, float z1,
                                        float y1) {
  const vector center = (min + max) * 0.5f;
  const vector h = (max - min) * 0.5f;
  const vector c[8] = {{-h.x, -h.y, -h.z}, {h.x, -h.y, -h.z}, {h.x, -h.y, h.z}, {-h.x, -h.y, h.z},
                       {-h.x, h.y, -h.z},  {h.x, h.y, -h.z},  {h.x, h.y, h.z},  {-h.x, h.y, h.z}};
  const vector mid{0.0f, 0.0f, 0.0f};
  Mesh m;
  // Every side but the one with the doorway, as add_solid lays them.
  const int sides[6][4] = {{0, 1, 2, 3}, {4, 5, 6, 7}, {0, 1, 5, 4}, {3, 2, 6, 7}, {0, 3, 7, 4}, {1, 2, 6, 5}};
  const int skip = at_max_x ? 5 : 4;
  for (int i = 0; i < 6; i++)
    if (i != skip) add_quad(m, c[sides[i][0]], c[sides[i][1]], c[sides[i][2]], c[sides[i][3]], mid, true, max_cell,
                            texture_slot, lightmap_index);
  // The doorway's wall in three pieces round the opening: either side of it
  // full height, and above it.
  const float x = at_max_x ? h.x : -h.x;
  const float za = z0 - center.z, zb = z1 - center.z, top = y1 - center.y;
  auto piece = [&](float ya, float yb, float zl, float zh) {
    if (zh - zl < 1e-6f || yb - ya < 1e-6f) return;
    add_quad(m, vector{x, ya, zl}, vector{x, ya, zh}, vector{x, yb, zh}, vector{x, yb, zl}, mid, true, max_cell,
             texture_slot, lightmap_index);
  };
  piece(-h.y, h.y, -h.z, za);
  piece(-h.y, h.y, zb, h.z);
  piece(top, h.y, za, zb);
  return add_mesh_instance(std::move(m), name, center, yaw_matrix(0.0f), 0);
}

int LevelBuilder::add_boxes(const std::string& name, const std::vector<std::pair<vector, vector>>& boxes,
                            int texture_slot, uint32_t flags, int lightmap_index) {
  vector lo = boxes.empty() ? vector{0, 0, 0} : boxes[0].first, hi = lo;
  for (const auto& b : boxes) {
    lo.set(std::min(lo.x, b.first.x), std::min(lo.y, b.first.y), std::min(lo.z, b.first.z));
    hi.set(std::max(hi.x, b.second.x), std::max(hi.y, b.second.y), std::max(hi.z, b.second.z));
  }
  const vector center = (lo + hi) * 0.5f;
  Mesh m;
  for (const auto& b : boxes) {
    const vector a = b.first - center, z = b.second - center;
    const vector c[8] = {{a.x, a.y, a.z}, {z.x, a.y, a.z}, {z.x, a.y, z.z}, {a.x, a.y, z.z},
                         {a.x, z.y, a.z}, {z.x, z.y, a.z}, {z.x, z.y, z.z}, {a.x, z.y, z.z}};
    add_solid(m, c, false, max_cell, texture_slot, lightmap_index);
  }
  return add_mesh_instance(std::move(m), name, center, yaw_matrix(0.0f), flags);
}

int LevelBuilder::add_box_turned(const std::string& name, const vector& center, const vector& h, float yaw,
                                 int texture_slot, uint32_t flags, int lightmap_index) {
  const vector c[8] = {{-h.x, -h.y, -h.z}, {h.x, -h.y, -h.z}, {h.x, -h.y, h.z}, {-h.x, -h.y, h.z},
                       {-h.x, h.y, -h.z},  {h.x, h.y, -h.z},  {h.x, h.y, h.z},  {-h.x, h.y, h.z}};
  Mesh m;
  add_solid(m, c, false, max_cell, texture_slot, lightmap_index);
  return add_mesh_instance(std::move(m), name, center, yaw_matrix(yaw), flags);
}

int LevelBuilder::add_ramp(const std::string& name, float x0, float z0, float x1, float z1, float y0, float y1,
                           int texture_slot, uint32_t flags, int lightmap_index) {
  const float base = std::min(y0, y1) - 0.5f;
  const vector center{(x0 + x1) * 0.5f, base, (z0 + z1) * 0.5f};
  const float hx = (x1 - x0) * 0.5f, hz = (z1 - z0) * 0.5f;
  const float t0 = y0 - base, t1 = y1 - base;
  const vector c[8] = {{-hx, 0.0f, -hz}, {hx, 0.0f, -hz}, {hx, 0.0f, hz}, {-hx, 0.0f, hz},
                       {-hx, t0, -hz},   {hx, t0, -hz},   {hx, t1, hz},   {-hx, t1, hz}};
  Mesh m;
  add_solid(m, c, false, max_cell, texture_slot, lightmap_index);
  return add_mesh_instance(std::move(m), name, center, yaw_matrix(0.0f), flags);
}

int LevelBuilder::add_floor(const std::string& name, float x0, float z0, float x1, float z1, float y,
                            int texture_slot, uint32_t flags, int lightmap_index) {
  return add_box(name, vector{x0, y - 0.5f, z0}, vector{x1, y, z1}, texture_slot, flags, lightmap_index);
}

int LevelBuilder::add_terrain(const std::string& name, float x0, float z0, int cells, float cell, float bottom,
                              float (*height)(float, float), int texture_slot, uint32_t flags, int lightmap_index) {
  const float half = cells * cell * 0.5f;
  const vector center{x0 + half, bottom, z0 + half};
  Mesh m;
  auto world = [&](int i, int j) {
    const float x = x0 + i * cell, z = z0 + j * cell;
    return vector{x - center.x, height(x, z) - bottom, z - center.z};
  };
  for (int j = 0; j < cells; j++)
    for (int i = 0; i < cells; i++)
      add_quad(m, world(i, j), world(i + 1, j), world(i + 1, j + 1), world(i, j + 1), vector{0.0f, -1e6f, 0.0f},
               false, cell, texture_slot, lightmap_index);
  // The skirt: four sides down to the bottom, facing out.
  for (int side = 0; side < 4; side++) {
    for (int k = 0; k < cells; k++) {
      int i0, j0, i1, j1;
      if (side == 0) i0 = k, j0 = 0, i1 = k + 1, j1 = 0;
      else if (side == 1) i0 = cells, j0 = k, i1 = cells, j1 = k + 1;
      else if (side == 2) i0 = k, j0 = cells, i1 = k + 1, j1 = cells;
      else i0 = 0, j0 = k, i1 = 0, j1 = k + 1;
      const vector a = world(i0, j0), b = world(i1, j1);
      add_quad(m, vector{a.x, 0.0f, a.z}, vector{b.x, 0.0f, b.z}, b, a, vector{0.0f, 0.0f, 0.0f}, false, 1e6f,
               texture_slot, lightmap_index);
    }
  }
  return add_mesh_instance(std::move(m), name, center, yaw_matrix(0.0f), flags);
}

int LevelBuilder::add_panel(const std::string& name, const vector& center, float hw, float hh, float yaw,
                            bool two_sided, int texture_slot) {
  Mesh m;
  add_quad(m, vector{-hw, -hh, 0.0f}, vector{hw, -hh, 0.0f}, vector{hw, hh, 0.0f}, vector{-hw, hh, 0.0f},
           vector{0.0f, 0.0f, -1.0f}, false, max_cell, texture_slot, -1);
  if (two_sided)
    for (Face& f : m.faces) f.flags |= FACE_TWO_SIDED;
  return add_mesh_instance(std::move(m), name, center, yaw_matrix(yaw), 0);
}

int LevelBuilder::add_door(const std::string& name, const vector& min, const vector& max, const vector& open_offset,
                           float travel_time, const std::string& key, int texture_slot) {
  const int inst = add_box(name, min, max, texture_slot, MI_MOVABLE);
  const vector closed = instances[inst].pos;
  int list = -1;
  if (!key.empty()) list = add_named_points(key, {closed, closed + open_offset});
  Door d;
  d.instance = inst;
  d.named_points = list;
  d.travel_time = travel_time;
  d.closed_pos = closed;
  d.open_pos = closed + open_offset;
  d.closed_orient = quaternion{0.0f, 0.0f, 0.0f, 1.0f};
  d.open_orient = d.closed_orient;
  doors.push_back(d);
  return inst;
}

void LevelBuilder::add_node(const std::string& name, const vector& pos, float yaw) {
  node_names_.push_back(name);
  nodes.push_back(LevelNode{nullptr, yaw_matrix(yaw), pos});
}

int LevelBuilder::add_named_points(const std::string& name, const std::vector<vector>& points, int value) {
  list_names_.push_back(name);
  named_point_data.push_back(points);
  named_points.push_back(LevelNamedPoints{nullptr, value, static_cast<int32_t>(points.size()), nullptr});
  return static_cast<int>(named_points.size() - 1);
}

void LevelBuilder::add_light(int type, const vector& pos, const vector& color, float near_range, float far_range) {
  LevelLight l{};
  l.type = type;
  l.orient = quaternion{0.0f, 0.0f, 0.0f, 1.0f};
  l.pos = pos;
  l.color = color;
  l.intensity = 1.0f;
  l.near_range = near_range;
  l.far_range = far_range;
  l.flags = 2;
  l.texture = -1;
  lights.push_back(l);
}

void LevelBuilder::add_vis_group(const std::string& name, const std::vector<int>& members) {
  vis_groups.push_back({name, members});
}

void LevelBuilder::add_vertex_anim(int instance, float x_scale, float z_scale, float amplitude, float period,
                                   const std::string& texture) {
  instances[instance].flags |= MI_VERTEX_ANIM;
  vertex_anims.push_back(VertexAnim{instance, x_scale, z_scale, amplitude, period, texture});
}

void LevelBuilder::add_surface(float a, float b, float c, int value) { surfaces.push_back({a, b, c, value}); }

bool LevelBuilder::write(const char* name, int path_type) {
  std::vector<std::vector<CollisionNode>> trees(meshes.size());
  std::vector<std::vector<uint16_t>> lists(meshes.size());
  for (size_t i = 0; i < meshes.size(); i++)
    if (!build_tree(meshes[i], &trees[i], &lists[i])) return false;

  // Storage that the level's arrays point into while it is written.
  std::vector<LevelMesh> out_meshes(meshes.size());
  std::vector<std::vector<vector>> normals(meshes.size());
  std::vector<std::vector<int16_t>> values(meshes.size());
  std::vector<std::vector<LevelFace>> faces(meshes.size());
  for (size_t i = 0; i < meshes.size(); i++) {
    Mesh& m = meshes[i];
    if (m.positions.size() > S3D_MAX_MESH_VERTICES) {
      std::fprintf(stderr, "level builder: mesh %s has %zu vertices\n", m.name.c_str(), m.positions.size());
      return false;
    }
    normals[i].assign(m.positions.size(), vector{0.0f, 1.0f, 0.0f});
    values[i].assign(m.positions.size(), 0);
    for (const Face& f : m.faces) {
      LevelFace lf{};
      lf.flags = f.flags;
      std::memcpy(lf.v, f.v, sizeof lf.v);
      lf.normal = s3d_face_normal(m.positions.data(), lf);
      for (uint16_t v : f.v) normals[i][v] = lf.normal;
      faces[i].push_back(lf);
    }
    vector lo = m.positions.empty() ? vector{0, 0, 0} : m.positions[0], hi = lo;
    for (const vector& p : m.positions) {
      lo.set(std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z));
      hi.set(std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z));
    }
    LevelMesh& o = out_meshes[i];
    o = LevelMesh{};
    o.name = m.name.c_str();
    o.vertex_count = static_cast<int32_t>(m.positions.size());
    o.positions = m.positions.data();
    o.normals = normals[i].data();
    o.uvs = m.uvs.data();
    o.values = values[i].data();
    o.face_count = static_cast<int32_t>(faces[i].size());
    o.faces = faces[i].data();
    o.center = (lo + hi) * 0.5f;
    o.radius = (hi - lo).length() * 0.5f;
    o.tree = CollisionTree{trees[i].data(), lists[i].data(), static_cast<uint32_t>(trees[i].size()), 0,
                           static_cast<uint32_t>(lists[i].size())};
  }

  std::vector<LevelMeshInstance> out_inst(instances.size());
  std::vector<std::vector<InstanceFace>> iface(instances.size());
  std::vector<std::vector<float>> lm_uvs(instances.size());
  std::vector<std::vector<uint8_t>> colors(instances.size());
  for (size_t i = 0; i < instances.size(); i++) {
    const Instance& in = instances[i];
    const Mesh& m = meshes[in.mesh];
    LevelMeshInstance& o = out_inst[i];
    o = LevelMeshInstance{};
    o.name = in.name.c_str();
    o.mesh = &out_meshes[in.mesh];
    o.mesh_index = in.mesh;
    o.flags = in.flags;
    o.pos = in.pos;
    o.orient = in.orient;
    o.sector[0] = static_cast<int8_t>(in.sector);
    o.sector[1] = -1;
    for (const Face& f : m.faces) {
      iface[i].push_back(InstanceFace{f.texture, static_cast<uint32_t>(f.lightmap) & 0xFFFFFFu});
      for (int k = 0; k < 3; k++) lm_uvs[i].push_back(f.lm_uv[k][0]);
      for (int k = 0; k < 3; k++) lm_uvs[i].push_back(f.lm_uv[k][1]);
    }
    o.faces = iface[i].data();
    o.lightmap_uvs = !m.faces.empty() && m.faces[0].lightmap >= 0 ? lm_uvs[i].data() : nullptr;
    colors[i].assign(m.positions.size() * 3, in.shade);
    for (size_t k = 0; in.prelit && k < m.positions.size(); k++) {
      vector w;
      m.positions[k].unrotated(w, in.orient);
      w += in.pos;
      in.prelit(w, &colors[i][3 * k]);
    }
    o.colors = colors[i].data();
    vector lo{0, 0, 0}, hi{0, 0, 0};
    for (size_t k = 0; k < m.positions.size(); k++) {
      vector w;
      m.positions[k].unrotated(w, in.orient);
      w += in.pos;
      if (k == 0) lo = hi = w;
      lo.set(std::min(lo.x, w.x), std::min(lo.y, w.y), std::min(lo.z, w.z));
      hi.set(std::max(hi.x, w.x), std::max(hi.y, w.y), std::max(hi.z, w.z));
    }
    o.bound_min = lo;
    o.bound_max = hi;
    o.bound_center = (lo + hi) * 0.5f;
  }

  std::vector<LevelNode> out_nodes = nodes;
  for (size_t i = 0; i < out_nodes.size(); i++) out_nodes[i].name = node_names_[i].c_str();
  std::vector<LevelNamedPoints> out_lists = named_points;
  for (size_t i = 0; i < out_lists.size(); i++) {
    out_lists[i].name = list_names_[i].c_str();
    out_lists[i].points = named_point_data[i].data();
  }

  std::vector<LevelMovableMesh> out_doors;
  for (const Door& d : doors) {
    LevelMovableMesh m{};
    m.instance = d.instance;
    m.named_points = static_cast<int16_t>(d.named_points);
    m.second_index = -1;
    m.travel_time = d.travel_time;
    m.closed_pos = d.closed_pos;
    m.closed_orient = d.closed_orient;
    m.open_pos = d.open_pos;
    m.open_orient = d.open_orient;
    out_doors.push_back(m);
  }
  std::sort(out_doors.begin(), out_doors.end(),
            [](const LevelMovableMesh& a, const LevelMovableMesh& b) { return a.instance < b.instance; });

  std::vector<VisGroup> out_groups;
  std::vector<std::vector<int32_t>> members(vis_groups.size());
  for (size_t i = 0; i < vis_groups.size(); i++) {
    members[i].assign(vis_groups[i].second.begin(), vis_groups[i].second.end());
    out_groups.push_back(VisGroup{vis_groups[i].first.c_str(), static_cast<int32_t>(members[i].size()),
                                  members[i].data()});
  }

  std::string block;
  for (const std::string& t : textures) {
    block += t;
    block.push_back('\0');
  }
  std::vector<uint16_t*> lm_pixels;
  std::vector<int16_t> lm_sizes;
  for (Lightmap& lm : lightmaps) {
    lm_pixels.push_back(lm.pixels.data());
    lm_sizes.push_back(static_cast<int16_t>(lm.width));
    lm_sizes.push_back(static_cast<int16_t>(lm.height));
  }

  std::vector<VertexAnim> anims = vertex_anims;
  std::sort(anims.begin(), anims.end(), [](const VertexAnim& a, const VertexAnim& b) { return a.instance < b.instance; });
  std::vector<VertexAnimRecord> out_anims;
  std::vector<std::vector<float>> weights(anims.size());
  for (size_t i = 0; i < anims.size(); i++) {
    const Mesh& m = meshes[instances[anims[i].instance].mesh];
    float lo = 0.0f, hi = 0.0f;
    for (size_t k = 0; k < m.positions.size(); k++) {
      lo = k ? std::min(lo, m.positions[k].y) : m.positions[k].y;
      hi = k ? std::max(hi, m.positions[k].y) : m.positions[k].y;
    }
    for (const vector& p : m.positions) weights[i].push_back(hi > lo ? (p.y - lo) / (hi - lo) : 0.0f);
    const VertexAnim& a = anims[i];
    out_anims.push_back(VertexAnimRecord{a.instance, a.x_scale, a.z_scale, a.amplitude, a.period, a.texture.c_str(), -1,
                                         static_cast<uint32_t>(weights[i].size()), weights[i].data()});
  }

  LevelData L;
  L.version = version;
  L.file_name = name;
  L.mesh_count = static_cast<int32_t>(out_meshes.size());
  L.meshes = out_meshes.data();
  L.instance_count = static_cast<int32_t>(out_inst.size());
  L.instances = out_inst.data();
  L.node_count = static_cast<int32_t>(out_nodes.size());
  L.nodes = out_nodes.data();
  L.named_points_count = static_cast<int32_t>(out_lists.size());
  L.named_points = out_lists.data();
  L.light_count = static_cast<int32_t>(lights.size());
  L.lights = lights.data();
  L.vis_group_count = static_cast<int32_t>(out_groups.size());
  L.vis_groups = out_groups.data();
  L.surface_count = static_cast<int32_t>(surfaces.size());
  L.surfaces = surfaces.data();
  L.vertex_anim_count = static_cast<int32_t>(out_anims.size());
  L.vertex_anims = out_anims.data();
  L.movable_count = static_cast<int32_t>(out_doors.size());
  L.movables = out_doors.data();
  L.lightmap_count = static_cast<int32_t>(lightmaps.size());
  L.lightmap_pixels = lm_pixels.data();
  L.lightmap_sizes = lm_sizes.data();
  L.texture_count = static_cast<int32_t>(textures.size());
  L.texture_block_size = static_cast<int32_t>(block.size());
  L.texture_block = block.data();
  L.ambient = ambient;
  const int rc = s3d_write(name, path_type, &L);
  // Nothing of the level's arrays belongs to it: leave it empty.
  L.vertex_anim_count = 0;
  L.lightmap_count = 0;
  L.lightmap_handles = nullptr;
  if (rc != 0) std::fprintf(stderr, "level builder: %s could not be written\n", name);
  return rc == 0;
}

bool LevelBuilder::write_file(const std::string& path) {
  const std::filesystem::path p(path);
  const std::string old_root = vfile_initialized() ? vfile_root() : "";
  vfile_set_root(p.parent_path().string().c_str(), false);
  const int type = vfile_add_path_type("", ".s3d");
  const bool ok = write(p.filename().string().c_str(), type);
  vfile_remove_path_type(type);
  if (!old_root.empty()) vfile_set_root(old_root.c_str(), false);
  return ok;
}
