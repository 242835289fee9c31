#include "Engine/ai/obstacles.h"

#include <cmath>
#include <cstdlib>

#include "quarn/os/console.h"

Obstacle Obstacles[MAX_OBSTACLES];
int Num_obstacles;
float Obstacle_height_offset;

namespace {

constexpr uint32_t OBSTACLE_IN_USE = 0x2;
constexpr uint32_t OBSTACLE_INSTANCE_BITS = 0x1C0;

ConsoleCommand cc_obstacle_height("obstacle_height_offset",
                                  "Set the height level to draw obstacles relative to main player pos", [] {
                                    if (Console_run) {
                                      console_get_arg(ARG_FLOAT | ARG_INT | ARG_NONE);
                                      if (Console_arg.type & (ARG_FLOAT | ARG_INT))
                                        Obstacle_height_offset = Console_arg.float_value;
                                    }
                                    if (Console_help)
                                      console_printf(
                                          "Usage: obstacle_height_offset <distance> -- where distance is in meters.\n");
                                    if (Console_status)
                                      console_printf("Obstacle height offset currently at %.3f meters.\n",
                                                     Obstacle_height_offset);
                                  });

// A direction given in the obstacle's frame, in the world.
vector to_world(const matrix& m, float x, float y, float z) {
  return m.right * x + m.up * y + m.forward * z;
}

}  // namespace

void ConvexVolume::reset() {
  flags = 0;
  radius = 0.0f;
  center = vector{0.0f, 0.0f, 0.0f};
}

void ConvexVolume::add_plane(float nx, float ny, float nz, float d) {
  const int n = count();
  if (n >= CONVEX_MAX_PLANES) return;
  planes[n] = {nx, ny, nz, d};
  flags = (flags & ~CV_COUNT_MASK) | (static_cast<uint32_t>(n + 1) << 1);
}

void ConvexVolume::add_plane(const vector& normal, const vector& point) {
  add_plane(normal.x, normal.y, normal.z, -(normal.x * point.x + normal.y * point.y + normal.z * point.z));
}

void ConvexVolume::begin(const vector& c, float r, const ConvexPlane& first) {
  reset();
  center = c;
  radius = r;
  flags |= CV_SET_UP;
  add_plane(first.nx, first.ny, first.nz, first.d);
}

bool ConvexVolume::sphere_test(const vector& c, float r) {
  bool inside = true;
  for (int i = 0; i < count() && inside; i++) {
    const ConvexPlane& p = planes[i];
    const float len = std::sqrt(p.nx * p.nx + p.ny * p.ny + p.nz * p.nz);
    if (len <= 0.0f) continue;
    inside = (p.nx * c.x + p.ny * c.y + p.nz * c.z + p.d) / len <= r;
  }
  flags = inside ? (flags | CV_INSIDE) : (flags & ~CV_INSIDE);
  return inside;
}

int obstacle_add(const vector& pos, const matrix& orient, float half_angle, float near_dist, float far_dist,
                 float value, bool flag_bit) {
  if (Num_obstacles >= MAX_OBSTACLES) return -1;
  const int index = Num_obstacles++;
  Obstacle& o = Obstacles[index];
  o.pos = pos;
  o.orient = orient;
  o.tan_half_angle = std::tan(half_angle);
  o.near_dist = near_dist;
  o.far_dist = far_dist;
  o.value = value;
  o.flags = OBSTACLE_IN_USE | (flag_bit ? 1u : 0u);
  const float t = o.tan_half_angle;
  ConvexVolume& v = o.volume;
  v.reset();
  // The four sides, facing out of the pyramid, through its apex.
  const float sides[4][3] = {{-1, 0, -t}, {1, 0, -t}, {0, -1, -t}, {0, 1, -t}};
  for (const auto& s : sides) {
    vector n = to_world(orient, s[0], s[1], s[2]);
    const float len = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
    if (len > 0.0f) n = n * (1.0f / len);
    v.add_plane(n, pos);
  }
  const vector fwd = orient.forward;
  v.add_plane(fwd * -1.0f, pos + fwd * near_dist);  // near: the inside lies forward of it
  v.add_plane(fwd, pos + fwd * far_dist);           // far: the inside lies behind it
  v.center = pos + fwd * (0.5f * (near_dist + far_dist));
  v.radius = 0.5f * (far_dist - near_dist);
  v.flags |= CV_SET_UP;
  return index;
}

void obstacles_frame_reset() {
  for (Obstacle& o : Obstacles) o.flags &= ~OBSTACLE_INSTANCE_BITS;
  Num_obstacles = 0;
}
