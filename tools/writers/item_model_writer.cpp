// Item models of boxes.
#include "tools/writers/item_model_writer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "tools/writers/image_writers.h"

namespace {

using Rgb = std::array<uint8_t, 3>;

constexpr Rgb IRON = {190, 196, 208}, DARK_IRON = {90, 92, 100}, WOOD = {130, 86, 44}, LEATHER = {120, 74, 40},
              GOLD = {226, 184, 60}, CLOTH = {214, 206, 180}, RED = {190, 40, 40}, GLASS = {170, 210, 220},
              PAPER = {236, 226, 196}, FLAME = {250, 150, 40};

bool has(const std::string& name, const char* word) {
  std::string a = name, b = word;
  for (char& c : a) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  for (char& c : b) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return a.find(b) != std::string::npos;
}

struct Builder {
  ItemModelSpec spec;
  int colour(const Rgb& c) {
    for (size_t i = 0; i < spec.colours.size(); i++)
      if (spec.colours[i] == c) return static_cast<int>(i);
    spec.colours.push_back(c);
    return static_cast<int>(spec.colours.size()) - 1;
  }
  void box(float x0, float y0, float z0, float x1, float y1, float z1, const Rgb& c) {
    spec.boxes.push_back({{x0, y0, z0}, {x1, y1, z1}, colour(c)});
  }
  // A box centred on x and z.
  void column(float half_x, float y0, float y1, float half_z, const Rgb& c, float cx = 0, float cz = 0) {
    box(cx - half_x, y0, cz - half_z, cx + half_x, y1, cz + half_z, c);
  }
};

// A blade on a guard and a grip, the grip's top at the origin.
ItemModelSpec blade(float length, float width, const Rgb& metal, const Rgb& guard) {
  Builder b;
  b.column(0.018f, -0.14f, 0.0f, 0.018f, LEATHER);
  b.column(0.03f, -0.17f, -0.14f, 0.03f, guard);
  b.column(0.09f, 0.0f, 0.03f, 0.025f, guard);
  b.column(width, 0.03f, length, 0.007f, metal);
  b.column(width * 0.5f, length, length + width * 1.5f, 0.006f, metal);
  return b.spec;
}

ItemModelSpec weapon(const ItemRecord& item) {
  const std::string& n = item.name;
  if (has(n, "long sword")) return blade(0.85f, 0.032f, IRON, DARK_IRON);
  if (has(n, "katana")) return blade(0.8f, 0.022f, IRON, GOLD);
  if (has(n, "dagger")) return blade(0.28f, 0.03f, IRON, DARK_IRON);
  if (has(n, "sword")) return blade(0.6f, 0.035f, IRON, DARK_IRON);
  Builder b;
  if (has(n, "axe")) {
    b.column(0.02f, -0.3f, 0.75f, 0.02f, WOOD);
    b.box(0.02f, 0.5f, -0.01f, 0.22f, 0.75f, 0.01f, IRON);
    b.box(-0.08f, 0.58f, -0.01f, -0.02f, 0.68f, 0.01f, DARK_IRON);
  } else if (has(n, "bow")) {
    // The arc in five staves, the string straight across.
    const float ys[6] = {-0.5f, -0.3f, -0.1f, 0.1f, 0.3f, 0.5f};
    const float xs[6] = {0.0f, 0.07f, 0.1f, 0.1f, 0.07f, 0.0f};
    for (int i = 0; i < 5; i++)
      b.box(std::min(xs[i], xs[i + 1]) - 0.015f, ys[i], -0.015f, std::max(xs[i], xs[i + 1]) + 0.015f, ys[i + 1],
            0.015f, WOOD);
    b.column(0.004f, -0.5f, 0.5f, 0.004f, CLOTH, -0.01f);
  } else if (has(n, "club")) {
    b.column(0.022f, -0.1f, 0.25f, 0.022f, WOOD);
    b.column(0.05f, 0.25f, 0.6f, 0.05f, WOOD);
  } else if (has(n, "claws")) {
    for (int i = -1; i <= 1; i++) b.box(i * 0.04f - 0.008f, 0.0f, -0.008f, i * 0.04f + 0.008f, 0.22f, 0.008f, PAPER);
    b.column(0.07f, -0.05f, 0.0f, 0.03f, LEATHER);
  } else if (has(n, "torch")) {
    b.column(0.02f, -0.1f, 0.45f, 0.02f, WOOD);
    b.column(0.04f, 0.45f, 0.58f, 0.04f, FLAME);
  } else {
    // A staff and anything else long.
    b.column(0.02f, -0.55f, 1.0f, 0.02f, WOOD);
    b.column(0.035f, 1.0f, 1.08f, 0.035f, DARK_IRON);
  }
  return b.spec;
}

Rgb armour_colour(const ItemRecord& item) {
  if (has(item.type_part, "iron")) return IRON;
  if (has(item.name, "servant")) return CLOTH;
  return LEATHER;
}

ItemModelSpec armour(const ItemRecord& item) {
  Builder b;
  const Rgb c = armour_colour(item);
  const Rgb trim = c == IRON ? DARK_IRON : LEATHER;
  if (item.slot == "legs") {
    b.column(0.2f, 0.45f, 0.55f, 0.1f, c);
    b.column(0.07f, 0.0f, 0.45f, 0.08f, c, -0.1f);
    b.column(0.07f, 0.0f, 0.45f, 0.08f, c, 0.1f);
  } else if (item.slot == "hands") {
    for (float x : {-0.09f, 0.09f}) {
      b.column(0.05f, 0.0f, 0.12f, 0.025f, c, x);
      b.column(0.045f, -0.08f, 0.0f, 0.04f, trim, x);
    }
  } else if (item.slot == "feet") {
    for (float x : {-0.1f, 0.1f}) {
      b.column(0.05f, 0.0f, 0.28f, 0.05f, c, x);
      b.box(x - 0.05f, 0.0f, 0.05f, x + 0.05f, 0.07f, 0.2f, trim);
    }
  } else {
    // A body piece; heavy armour is longer and has a skirt of plates.
    const bool heavy = item.slot == "heavy";
    b.column(0.2f, 0.0f, 0.45f, 0.1f, c);
    b.column(0.09f, 0.38f, 0.47f, 0.11f, trim, -0.25f);
    b.column(0.09f, 0.38f, 0.47f, 0.11f, trim, 0.25f);
    b.column(0.06f, 0.45f, 0.5f, 0.06f, trim);
    if (heavy) {
      b.column(0.22f, -0.3f, 0.0f, 0.11f, trim);
      b.column(0.1f, 0.18f, 0.3f, 0.005f, GOLD, 0.0f, 0.105f);
    }
  }
  return b.spec;
}

Rgb ring_gem(const std::string& name) {
  static const struct {
    const char* word;
    Rgb colour;
  } gems[] = {{"darkness", {70, 30, 90}},  {"light", {250, 250, 200}}, {"fire", {230, 60, 20}},
              {"stone", {130, 120, 110}},  {"water", {40, 110, 230}},  {"winds", {140, 230, 230}},
              {"forest", {30, 120, 40}},   {"jade", {60, 200, 120}}};
  for (const auto& g : gems)
    if (has(name, g.word)) return g.colour;
  return RED;
}

ItemModelSpec misc(const ItemRecord& item) {
  Builder b;
  const std::string& n = item.name;
  if (item.slot == "finger") {
    // A band facing the camera, and its stone on top.
    b.box(-0.1f, -0.1f, -0.02f, 0.1f, -0.06f, 0.02f, GOLD);
    b.box(-0.1f, 0.06f, -0.02f, 0.1f, 0.1f, 0.02f, GOLD);
    b.box(-0.1f, -0.06f, -0.02f, -0.06f, 0.06f, 0.02f, GOLD);
    b.box(0.06f, -0.06f, -0.02f, 0.1f, 0.06f, 0.02f, GOLD);
    b.box(-0.045f, 0.1f, -0.04f, 0.045f, 0.17f, 0.04f, ring_gem(n));
  } else if (item.slot == "neck") {
    b.box(-0.14f, 0.14f, -0.01f, 0.14f, 0.16f, 0.01f, GOLD);
    b.box(-0.14f, -0.02f, -0.01f, -0.12f, 0.14f, 0.01f, GOLD);
    b.box(0.12f, -0.02f, -0.01f, 0.14f, 0.14f, 0.01f, GOLD);
    b.box(-0.07f, -0.16f, -0.02f, 0.07f, -0.02f, 0.02f, {110, 110, 130});
  } else if (has(n, "tonic")) {
    b.column(0.07f, -0.15f, 0.06f, 0.07f, RED);
    b.column(0.025f, 0.06f, 0.15f, 0.025f, GLASS);
    b.column(0.03f, 0.15f, 0.19f, 0.03f, WOOD);
  } else if (has(n, "book")) {
    b.box(-0.14f, -0.18f, -0.04f, 0.14f, 0.18f, 0.04f, {120, 30, 30});
    b.box(-0.12f, -0.17f, -0.035f, 0.15f, 0.17f, 0.035f, PAPER);
  } else if (has(n, "gold")) {
    for (int i = 0; i < 4; i++) b.column(0.08f - i * 0.005f, i * 0.03f, i * 0.03f + 0.025f, 0.08f, GOLD, i * 0.01f);
  } else if (has(n, "key")) {
    b.box(-0.015f, -0.16f, -0.008f, 0.015f, 0.1f, 0.008f, DARK_IRON);
    b.box(-0.06f, 0.1f, -0.008f, 0.06f, 0.18f, 0.008f, DARK_IRON);
    b.box(0.015f, -0.16f, -0.008f, 0.06f, -0.12f, 0.008f, DARK_IRON);
  } else {
    // A bag or a pack.
    b.column(0.15f, -0.15f, 0.12f, 0.1f, LEATHER);
    b.column(0.155f, 0.04f, 0.13f, 0.105f, {90, 56, 30});
  }
  return b.spec;
}

void put_box(VimWriterGroup& g, const ItemModelBox& box) {
  const auto& a = box.min;
  const auto& z = box.max;
  const float centre[3] = {(a[0] + z[0]) / 2, (a[1] + z[1]) / 2, (a[2] + z[2]) / 2};
  // Each face: its axis, side and the two axes it spans.
  for (int axis = 0; axis < 3; axis++) {
    for (int side = 0; side < 2; side++) {
      const int u = (axis + 1) % 3, v = (axis + 2) % 3;
      const uint32_t base = static_cast<uint32_t>(g.positions.size());
      std::array<float, 3> normal = {0, 0, 0};
      normal[axis] = side ? 1.0f : -1.0f;
      for (int k = 0; k < 4; k++) {
        std::array<float, 3> p;
        p[axis] = side ? z[axis] : a[axis];
        p[u] = (k == 1 || k == 2) ? z[u] : a[u];
        p[v] = (k >= 2) ? z[v] : a[v];
        g.positions.push_back(p);
        g.normals.push_back(normal);
        g.uvs.push_back({(k == 1 || k == 2) ? 1.0f : 0.0f, k >= 2 ? 1.0f : 0.0f});
      }
      // Outward winding: (p1 - p0) x (p2 - p0) points away from the centre.
      auto add = [&](uint32_t i0, uint32_t i1, uint32_t i2) {
        const auto& p0 = g.positions[base + i0];
        const auto& p1 = g.positions[base + i1];
        const auto& p2 = g.positions[base + i2];
        const float e1[3] = {p1[0] - p0[0], p1[1] - p0[1], p1[2] - p0[2]};
        const float e2[3] = {p2[0] - p0[0], p2[1] - p0[1], p2[2] - p0[2]};
        const float n[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2], e1[0] * e2[1] - e1[1] * e2[0]};
        float out = 0;
        for (int c = 0; c < 3; c++) out += n[c] * ((p0[c] + p1[c] + p2[c]) / 3 - centre[c]);
        if (out < 0) std::swap(i1, i2);
        VimWriterFace f;
        f.v[0] = base + i0, f.v[1] = base + i1, f.v[2] = base + i2;
        g.faces.push_back(f);
      };
      add(0, 1, 2);
      add(0, 2, 3);
    }
  }
}

}  // namespace

ItemModelSpec item_model_for(const ItemRecord& item) {
  if (item.type == "Weapon") return weapon(item);
  if (item.type == "Armor") return armour(item);
  return misc(item);
}

std::array<float, 6> item_model_bounds(const ItemModelSpec& spec) {
  std::array<float, 6> b = {1e9f, 1e9f, 1e9f, -1e9f, -1e9f, -1e9f};
  for (const ItemModelBox& box : spec.boxes) {
    for (int k = 0; k < 3; k++) {
      b[k] = std::min(b[k], box.min[k]);
      b[3 + k] = std::max(b[3 + k], box.max[k]);
    }
  }
  if (spec.boxes.empty()) b = {0, 0, 0, 0, 0, 0};
  return b;
}

VimWriterMesh item_model_mesh(const ItemModelSpec& spec, const std::string& stem) {
  VimWriterMesh m;
  for (size_t c = 0; c < spec.colours.size(); c++) {
    VimWriterGroup g;
    g.bitmap_slot = static_cast<int32_t>(c);
    for (const ItemModelBox& box : spec.boxes)
      if (box.colour == static_cast<int>(c)) put_box(g, box);
    if (!g.faces.empty()) m.groups.push_back(g);
    m.bitmaps.push_back(stem + "_" + std::to_string(c) + ".tga");
  }
  const auto b = item_model_bounds(spec);
  m.centre = {(b[0] + b[3]) / 2, (b[1] + b[4]) / 2, (b[2] + b[5]) / 2};
  float r = 0;
  for (int k = 0; k < 3; k++) r += (b[3 + k] - b[k]) * (b[3 + k] - b[k]) / 4;
  m.radius = std::sqrt(r);
  m.tags = spec.tags;
  return m;
}

bool item_model_write(const ItemModelSpec& spec, const std::string& model_dir, const std::string& model_file,
                      const std::string& maps_dir) {
  std::string stem = model_file.substr(0, model_file.rfind('.'));
  for (char& c : stem) c = c == '#' ? '_' : c;
  VimWriterMesh mesh = item_model_mesh(spec, stem);
  if (!vim_write_file(model_dir + "/" + model_file, mesh)) return false;
  for (size_t c = 0; c < spec.colours.size(); c++) {
    // A little grain, so the faces read as surfaces.
    uint8_t px[8 * 8 * 3];
    for (int i = 0; i < 64; i++) {
      const int shade = ((i * 37) % 7) - 3;
      for (int k = 0; k < 3; k++)
        px[i * 3 + k] = static_cast<uint8_t>(std::clamp(spec.colours[c][2 - k] + shade * 4, 0, 255));
    }
    if (!tga_write_file(maps_dir + "/" + mesh.bitmaps[c], px, 8, 8, 24)) {
      std::fprintf(stderr, "cannot write %s/%s\n", maps_dir.c_str(), mesh.bitmaps[c].c_str());
      return false;
    }
  }
  return true;
}
