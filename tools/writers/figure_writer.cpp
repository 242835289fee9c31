// Articulated demo figures.
#include "tools/writers/figure_writer.h"

#include <cmath>
#include <utility>

namespace {

struct BoneDef {
  const char* name;
  int parent;
  std::array<float, 3> rest;  // at height 1
  std::array<float, 3> end;   // far end of the bone's box
  float thickness;
};

const BoneDef kBones[FIG_BONES] = {
    {"root", -1, {0, 0, 0}, {0, 0, 0}, 0},
    {"pelvis", 0, {0, 1.0f, 0}, {0, 1.2f, 0}, 0.14f},
    {"spine", 1, {0, 1.2f, 0}, {0, 1.45f, 0}, 0.13f},
    {"chest", 2, {0, 1.45f, 0}, {0, 1.65f, 0}, 0.16f},
    {"neck", 3, {0, 1.65f, 0}, {0, 1.75f, 0}, 0.05f},
    {"BDBN-Head", 4, {0, 1.75f, 0}, {0, 2.0f, 0}, 0.11f},
    {"l_shoulder", 3, {0.12f, 1.6f, 0}, {0.25f, 1.6f, 0}, 0.06f},
    {"l_upperarm", 6, {0.25f, 1.6f, 0}, {0.25f, 1.3f, 0}, 0.05f},
    {"l_forearm", 7, {0.25f, 1.3f, 0}, {0.25f, 1.05f, 0}, 0.045f},
    {"l_hand", 8, {0.25f, 1.05f, 0}, {0.25f, 0.95f, 0}, 0.04f},
    {"r_shoulder", 3, {-0.12f, 1.6f, 0}, {-0.25f, 1.6f, 0}, 0.06f},
    {"r_upperarm", 10, {-0.25f, 1.6f, 0}, {-0.25f, 1.3f, 0}, 0.05f},
    {"r_forearm", 11, {-0.25f, 1.3f, 0}, {-0.25f, 1.05f, 0}, 0.045f},
    {"r_hand", 12, {-0.25f, 1.05f, 0}, {-0.25f, 0.95f, 0}, 0.04f},
    {"l_thigh", 1, {0.1f, 0.95f, 0}, {0.1f, 0.5f, 0}, 0.07f},
    {"l_shin", 14, {0.1f, 0.5f, 0}, {0.1f, 0.08f, 0}, 0.055f},
    {"l_foot", 15, {0.1f, 0.08f, 0}, {0.1f, 0.02f, 0.15f}, 0.05f},
    {"r_thigh", 1, {-0.1f, 0.95f, 0}, {-0.1f, 0.5f, 0}, 0.07f},
    {"r_shin", 17, {-0.1f, 0.5f, 0}, {-0.1f, 0.08f, 0}, 0.055f},
    {"r_foot", 18, {-0.1f, 0.08f, 0}, {-0.1f, 0.02f, 0.15f}, 0.05f},
};

constexpr float kPi = 3.14159265358979f;

std::array<float, 4> about_x(float degrees) {
  const float h = degrees * kPi / 360.0f;
  return {std::sin(h), 0, 0, std::cos(h)};
}
std::array<float, 4> about_z(float degrees) {
  const float h = degrees * kPi / 360.0f;
  return {0, 0, std::sin(h), std::cos(h)};
}
std::array<float, 4> about_y(float degrees) {
  const float h = degrees * kPi / 360.0f;
  return {0, std::sin(h), 0, std::cos(h)};
}

std::array<float, 3> scaled(const std::array<float, 3>& v, float s) { return {v[0] * s, v[1] * s, v[2] * s}; }

// A straight Bézier segment between two values: the controls lie on the
// line at a third and two thirds, so the curve moves evenly.
void linear_positions(std::vector<MvfWriterPositionKey>& keys) {
  for (size_t i = 0; i < keys.size(); ++i) {
    for (int k = 0; k < 3; ++k) {
      const float here = keys[i].value[k];
      const float prev = i > 0 ? keys[i - 1].value[k] : here;
      const float next = i + 1 < keys.size() ? keys[i + 1].value[k] : here;
      keys[i].in_control[k] = here + (prev - here) / 3;
      keys[i].out_control[k] = here + (next - here) / 3;
    }
  }
}

}  // namespace

std::array<float, 3> figure_rest(const FigureSpec& spec, int bone) { return scaled(kBones[bone].rest, spec.height); }
int figure_parent(int bone) { return kBones[bone].parent; }
const char* figure_bone_name(int bone) { return kBones[bone].name; }
std::array<float, 3> figure_weapon_offset(const FigureSpec& spec) { return {0, -0.1f * spec.height, 0.05f * spec.height}; }

VimWriterMesh figure_mesh(const FigureSpec& spec, int variant) {
  VimWriterMesh m;
  m.centre = {0, 1.0f * spec.height, 0};
  m.radius = 1.1f * spec.height;
  m.root_bone = FIG_ROOT;
  const float girth = spec.girth * (variant == 1 ? 1.35f : 1.0f);
  VimWriterGroup body, head;
  body.bitmap_slot = 0;
  head.bitmap_slot = 1;
  for (int b = 1; b < FIG_BONES; ++b) {
    VimWriterGroup& g = b == FIG_HEAD ? head : body;
    const auto a = figure_rest(spec, b);
    const auto e = scaled(kBones[b].end, spec.height);
    const float t = kBones[b].thickness * girth * spec.height;
    const uint32_t base = static_cast<uint32_t>(g.positions.size());
    for (int end = 0; end < 2; ++end) {
      const auto& c = end ? e : a;
      for (int corner = 0; corner < 4; ++corner) {
        const float dx = (corner & 1) ? t : -t;
        const float dz = (corner & 2) ? t : -t;
        g.positions.push_back({c[0] + dx, c[1], c[2] + dz});
        const float n = 1.0f / std::sqrt(2.0f);
        g.normals.push_back({dx > 0 ? n : -n, 0, dz > 0 ? n : -n});
        g.uvs.push_back({(corner & 1) ? 1.0f : 0.0f, end ? 1.0f : 0.0f});
        const int parent = kBones[b].parent;
        // The near end bends with the parent a little, so joints stay closed.
        if (end == 0 && parent > 0) {
          g.skin.push_back({12, 4, 0, 0, static_cast<uint8_t>(b), static_cast<uint8_t>(parent), 0, 0});
        } else {
          g.skin.push_back({16, 0, 0, 0, static_cast<uint8_t>(b), 0, 0, 0});
        }
      }
    }
    // Four sides and two caps of the box. The mesh drawer shows a face whose
    // edge cross product points toward the eye, so each triangle is wound
    // to point out of its box whichever way the bone runs.
    const uint32_t quads[6][4] = {{0, 1, 5, 4}, {1, 3, 7, 5}, {3, 2, 6, 7}, {2, 0, 4, 6}, {0, 2, 3, 1}, {4, 5, 7, 6}};
    const std::array<float, 3> centre = {(a[0] + e[0]) / 2, (a[1] + e[1]) / 2, (a[2] + e[2]) / 2};
    auto add = [&](uint32_t i0, uint32_t i1, uint32_t i2) {
      const auto& p0 = g.positions[base + i0];
      const auto& p1 = g.positions[base + i1];
      const auto& p2 = g.positions[base + i2];
      float u[3], v[3], out = 0.0f;
      for (int k = 0; k < 3; ++k) {
        u[k] = p1[k] - p0[k];
        v[k] = p2[k] - p0[k];
      }
      const float n[3] = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
      for (int k = 0; k < 3; ++k) out += n[k] * ((p0[k] + p1[k] + p2[k]) / 3 - centre[k]);
      if (out < 0.0f) std::swap(i1, i2);
      g.faces.push_back({{base + i0, base + i1, base + i2}, 0});
    };
    for (const auto& q : quads) {
      add(q[0], q[1], q[2]);
      add(q[0], q[2], q[3]);
    }
  }
  m.groups = {body, head};
  for (int b = 0; b < FIG_BONES; ++b) {
    VimWriterBone bone;
    bone.name = kBones[b].name;
    bone.parent = kBones[b].parent;
    const auto r = figure_rest(spec, b);
    bone.inverse_rest = {1, 0, 0, 0, 1, 0, 0, 0, 1, -r[0], -r[1], -r[2]};
    bone.point = {0, 0.05f * spec.height, 0};
    bone.value = b;
    m.bones.push_back(bone);
  }
  VimWriterBoneTag weapon, shield, fx;
  weapon.name = "$weapon";
  weapon.parent = FIG_R_HAND;
  const auto w = figure_weapon_offset(spec);
  weapon.local = {1, 0, 0, 0, 1, 0, 0, 0, 1, w[0], w[1], w[2]};
  shield.name = "$shield";
  shield.parent = FIG_L_HAND;
  shield.local = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, -0.05f * spec.height, 0};
  fx.name = "fx_head";
  fx.parent = FIG_HEAD;
  fx.local = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0.3f * spec.height, 0};
  m.bone_tags = {weapon, shield, fx};
  VimWriterTag missile, hit, chest;
  missile.name = "$missile";
  missile.position = {-0.25f * spec.height, 1.0f * spec.height, 0.4f * spec.height};
  hit.name = "hit";
  hit.position = {0, 1.3f * spec.height, 0.15f * spec.height};
  chest.name = "fx_chest";
  chest.position = {0, 1.5f * spec.height, 0.1f * spec.height};
  chest.rotation = about_y(180);
  m.tags = {missile, hit, chest};
  const std::string stem = spec.name + (variant == 1 ? "_alt" : "");
  m.bitmaps = {stem + ".tga", stem + "_head.tga"};
  return m;
}

VimWriterMesh figure_shadow_mesh(const FigureSpec& spec) {
  VimWriterMesh m;
  m.radius = 0.6f * spec.height;
  VimWriterGroup g;
  const float r = 0.4f * spec.height * spec.girth;
  g.positions = {{-r, 0.01f, -r}, {r, 0.01f, -r}, {r, 0.01f, r}, {-r, 0.01f, r}};
  g.normals.assign(4, {0, 1, 0});
  g.uvs = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
  g.faces = {{{0, 2, 1}, 0}, {{0, 3, 2}, 0}};
  g.skin.assign(4, {16, 0, 0, 0, 0, 0, 0, 0});
  m.groups = {g};
  VimWriterBone root;
  root.name = "root";
  m.bones = {root};
  m.bitmaps = {spec.name + ".tga"};
  return m;
}

const char* figure_motion_name(FigureMotion motion) {
  switch (motion) {
    case FigureMotion::idle: return "idle";
    case FigureMotion::walk: return "walk";
    case FigureMotion::run: return "run";
    case FigureMotion::attack: return "attack01";
    case FigureMotion::death: return "death01";
    case FigureMotion::statscreen_light: return "statscreen_light";
    case FigureMotion::statscreen_heavy: return "statscreen_heavy";
  }
  return "";
}

MvfWriterAnim figure_anim(const FigureSpec& spec, FigureMotion motion, int version) {
  MvfWriterAnim a;
  a.version = version;
  int frames = 32;
  // Rotation keys per bone as (frame, degrees about x); a bone left out
  // holds still.
  std::vector<std::vector<std::pair<int, float>>> swing(FIG_BONES);
  // Bones turned sideways instead, about z (the stat-screen poses).
  std::vector<std::vector<std::pair<int, float>>> spread(FIG_BONES);
  std::vector<std::pair<int, float>> root_y;  // (frame, height offset)
  float turn = 0;
  switch (motion) {
    case FigureMotion::idle:
      frames = 64;
      swing[FIG_CHEST] = {{0, 0}, {32, 3}, {64, 0}};
      swing[FIG_HEAD] = {{0, 0}, {32, -2}, {64, 0}};
      break;
    case FigureMotion::walk:
    case FigureMotion::run: {
      const bool run = motion == FigureMotion::run;
      frames = run ? 20 : 32;
      const float leg = run ? 40.0f : 25.0f, arm = run ? 35.0f : 20.0f;
      const int q = frames / 4;
      swing[FIG_L_THIGH] = {{0, leg}, {2 * q, -leg}, {4 * q, leg}};
      swing[FIG_R_THIGH] = {{0, -leg}, {2 * q, leg}, {4 * q, -leg}};
      swing[FIG_L_SHIN] = {{0, 0}, {q, 30}, {2 * q, 0}, {4 * q, 0}};
      swing[FIG_R_SHIN] = {{0, 0}, {2 * q, 0}, {3 * q, 30}, {4 * q, 0}};
      swing[FIG_L_UPPERARM] = {{0, -arm}, {2 * q, arm}, {4 * q, -arm}};
      swing[FIG_R_UPPERARM] = {{0, arm}, {2 * q, -arm}, {4 * q, arm}};
      root_y = {{0, 0}, {q, 0.04f}, {2 * q, 0}, {3 * q, 0.04f}, {4 * q, 0}};
      const float stride = (run ? 3.0f : 1.6f) * spec.height;
      a.root_displacement = {0, 0, stride};
      a.sounds = {{"left-foot", 3 * 160}, {"right-foot", (frames / 2 + 3) * 160}};
      break;
    }
    case FigureMotion::attack:
      frames = 24;
      swing[FIG_R_UPPERARM] = {{0, 0}, {6, FIGURE_ATTACK_RAISE}, {9, 40}, {24, 0}};
      swing[FIG_R_FOREARM] = {{0, 0}, {6, 0}, {9, -20}, {24, 0}};
      swing[FIG_SPINE] = {{0, 0}, {6, 0}, {9, 15}, {24, 0}};
      a.sounds = {{"swing", 6 * 160}, {"hit", 7 * 160}};
      a.fade_in_frames = 3;
      a.fade_out_frames = 3;
      break;
    case FigureMotion::death:
      frames = 30;
      swing[FIG_PELVIS] = {{0, 0}, {20, -80}, {30, -90}};
      swing[FIG_L_THIGH] = {{0, 0}, {20, 60}, {30, 70}};
      swing[FIG_R_THIGH] = {{0, 0}, {20, 50}, {30, 75}};
      root_y = {{0, 0}, {20, -0.7f}, {30, -0.85f}};
      turn = 45;
      a.fade_in_frames = 2;
      break;
    case FigureMotion::statscreen_light:
    case FigureMotion::statscreen_heavy: {
      const bool heavy = motion == FigureMotion::statscreen_heavy;
      const float arm = FIGURE_STATSCREEN_ARMS[heavy ? 1 : 0], leg = heavy ? 6.0f : 2.0f;
      frames = 48;
      // A bone turned by -z swings its lower end towards +x: the left side.
      spread[FIG_L_UPPERARM] = {{0, -arm}, {24, -arm - 3}, {48, -arm}};
      spread[FIG_R_UPPERARM] = {{0, arm}, {24, arm + 3}, {48, arm}};
      spread[FIG_L_FOREARM] = {{0, arm / 2}};
      spread[FIG_R_FOREARM] = {{0, -arm / 2}};
      spread[FIG_L_THIGH] = {{0, -leg}};
      spread[FIG_R_THIGH] = {{0, leg}};
      spread[FIG_L_SHIN] = {{0, leg}};
      spread[FIG_R_SHIN] = {{0, -leg}};
      swing[FIG_CHEST] = {{0, 0}, {24, -2}, {48, 0}};
      swing[FIG_HEAD] = {{0, 0}, {24, 1}, {48, 0}};
      break;
    }
  }
  a.first_tick = 0;
  a.last_tick = frames * 160;
  for (int b = 0; b < FIG_BONES; ++b) {
    MvfWriterBone bone;
    bone.weight = 10;
    const bool sideways = !spread[b].empty();
    if (swing[b].empty() && !sideways) swing[b] = {{0, 0}};
    for (const auto& [frame, deg] : sideways ? spread[b] : swing[b]) {
      MvfWriterRotationKey k;
      k.tick = frame * 160;
      k.q = sideways ? about_z(deg) : about_x(deg);
      bone.rotations.push_back(k);
    }
    if (b == FIG_ROOT && turn != 0) {
      bone.rotations = {{0, about_y(0)}, {frames * 160, about_y(turn)}};
    }
    const int parent = kBones[b].parent;
    const auto rest = figure_rest(spec, b);
    const auto prest = parent >= 0 ? figure_rest(spec, parent) : std::array<float, 3>{0, 0, 0};
    const std::array<float, 3> local = {rest[0] - prest[0], rest[1] - prest[1], rest[2] - prest[2]};
    if (b == FIG_ROOT && !root_y.empty()) {
      for (const auto& [frame, y] : root_y) {
        MvfWriterPositionKey k;
        k.tick = frame * 160;
        k.value = {0, y * spec.height, 0};
        bone.positions.push_back(k);
      }
      linear_positions(bone.positions);
    } else {
      MvfWriterPositionKey k;
      k.value = k.in_control = k.out_control = local;
      bone.positions = {k};
    }
    a.bones.push_back(bone);
  }
  return a;
}

std::vector<uint8_t> figure_texture(const FigureSpec& spec, int variant) {
  std::vector<uint8_t> px;
  for (int y = 0; y < 64; ++y) {
    for (int x = 0; x < 64; ++x) {
      const bool band = ((y / 8) % 2 == 0) != (variant == 1 && (x / 8) % 2 == 0);
      const float k = band ? 1.0f : 0.75f;
      px.push_back(static_cast<uint8_t>(spec.colour[2] * k));
      px.push_back(static_cast<uint8_t>(spec.colour[1] * k));
      px.push_back(static_cast<uint8_t>(spec.colour[0] * k));
    }
  }
  return px;
}
