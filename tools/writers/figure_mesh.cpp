#include "tools/writers/figure_mesh.h"

#include <cmath>

void figure_add_box(VimWriterGroup& g, const FigureBox& box) {
  // Outward normal n, and u, v across the side with u x v = n.
  struct Side {
    float n[3], u[3];
  };
  static const Side sides[6] = {
      {{0, 0, -1}, {0, 1, 0}}, {{0, 0, 1}, {0, 1, 0}}, {{-1, 0, 0}, {0, 1, 0}},
      {{1, 0, 0}, {0, 1, 0}},  {{0, 1, 0}, {1, 0, 0}}, {{0, -1, 0}, {1, 0, 0}},
  };
  for (const Side& s : sides) {
    const float* n = s.n;
    const float* u = s.u;
    const float v[3] = {n[1] * u[2] - n[2] * u[1], n[2] * u[0] - n[0] * u[2], n[0] * u[1] - n[1] * u[0]};
    const uint32_t first = static_cast<uint32_t>(g.positions.size());
    // Corners -u-v, -u+v, u+v, u-v.
    const float cu[4] = {-1, -1, 1, 1}, cv[4] = {-1, 1, 1, -1};
    const float tu[4] = {0, 0, 1, 1}, tv[4] = {1, 0, 0, 1};
    for (int k = 0; k < 4; k++) {
      std::array<float, 3> p;
      for (int a = 0; a < 3; a++)
        p[a] = box.centre[a] + box.half[a] * (n[a] + cu[k] * u[a] + cv[k] * v[a]);
      g.positions.push_back(p);
      g.normals.push_back({n[0], n[1], n[2]});
      g.uvs.push_back({tu[k], tv[k]});
      g.dup_map.push_back(-1);
      g.skin.push_back({16, 0, 0, 0, static_cast<uint8_t>(box.bone), 0, 0, 0});
    }
    g.faces.push_back({{first, first + 2, first + 1}, 0});
    g.faces.push_back({{first, first + 3, first + 2}, 0});
  }
}

VimWriterMesh figure_mesh(const std::string& bitmap) {
  VimWriterMesh m;
  m.centre = {0, 0.35f, 0};
  m.radius = 1.6f;
  VimWriterGroup g;
  figure_add_box(g, {{0, 0, 0}, {0.6f, 0.8f, 0.3f}, 0});
  figure_add_box(g, {{0, 1.15f, 0}, {0.35f, 0.35f, 0.35f}, 1});
  g.bitmap_slot = 0;
  m.groups.push_back(g);
  VimWriterBone torso, head;
  torso.name = "torso";
  head.name = "head";
  head.parent = 0;
  head.inverse_rest = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, -1.15f, 0};  // mesh space into the head's frame
  m.bones = {torso, head};
  if (!bitmap.empty()) m.bitmaps.push_back(bitmap);
  return m;
}

MvfWriterAnim figure_pose(float torso_turn, float head_tilt, int span) {
  MvfWriterAnim a;
  a.last_tick = span;
  MvfWriterBone torso, head;
  MvfWriterRotationKey turn, tilt;
  turn.q = {0, std::sin(torso_turn * 0.5f), 0, std::cos(torso_turn * 0.5f)};
  tilt.q = {0, 0, std::sin(head_tilt * 0.5f), std::cos(head_tilt * 0.5f)};
  torso.rotations = {turn};
  torso.positions = {MvfWriterPositionKey{}};
  head.rotations = {tilt};
  MvfWriterPositionKey neck;
  neck.value = {0, 1.15f, 0};
  head.positions = {neck};
  a.bones = {torso, head};
  return a;
}
