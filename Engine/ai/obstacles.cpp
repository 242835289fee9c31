#include "Engine/ai/obstacles.h"

#include <cmath>
#include <cstdlib>
#include <utility>

#include "Engine/ai/avoidance.h"
#include "Engine/ai/path_graph.h"
#include "Engine/rendering/levelvis.h"
#include "Engine/s3d/s3d.h"
#include "quarn/gr/gr3d_draw.h"
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

void ConvexVolume::to_local(const vector& pos, const matrix& orient) {
  for (int i = 0; i < count(); i++) {
    const ConvexPlane& p = planes[i];
    const vector n{p.nx, p.ny, p.nz};
    // n . (pos + right lx + up ly + forward lz) + d, term by term.
    local[i] = {vector::dot(n, orient.right), vector::dot(n, orient.up), vector::dot(n, orient.forward), p.d + vector::dot(n, pos)};
  }
}

bool ConvexVolume::touches_mesh(const LevelMeshInstance& inst) {
  if (!inst.mesh) {
    flags &= ~CV_INSIDE;
    return false;
  }
  to_local(inst.pos, inst.orient);
  const vector& c = inst.mesh->center;
  const float r = inst.mesh->radius;
  bool inside = true;
  for (int i = 0; i < count() && inside; i++) {
    const ConvexPlane& p = local[i];
    const float len = std::sqrt(p.nx * p.nx + p.ny * p.ny + p.nz * p.nz);
    if (len <= 0.0f) continue;
    inside = (p.nx * c.x + p.ny * c.y + p.nz * c.z + p.d) / len <= r;
  }
  flags = inside ? (flags | CV_INSIDE) : (flags & ~CV_INSIDE);
  return inside;
}

int ConvexVolume::clip(const vector* in, int n, vector* out) const {
  vector a[3 + 2 * CONVEX_MAX_PLANES + 16], b[3 + 2 * CONVEX_MAX_PLANES + 16];
  constexpr int ROOM = static_cast<int>(sizeof a / sizeof a[0]);
  if (n > ROOM - CONVEX_MAX_PLANES) n = ROOM - CONVEX_MAX_PLANES;
  for (int i = 0; i < n; i++) a[i] = in[i];
  vector* cur = a;
  vector* next = b;
  for (int k = 0; k < count() && n > 0; k++) {
    const ConvexPlane& p = planes[k];
    auto dist = [&](const vector& v) { return p.nx * v.x + p.ny * v.y + p.nz * v.z + p.d; };
    int m = 0;
    for (int i = 0; i < n; i++) {
      const vector& s = cur[i];
      const vector& e = cur[(i + 1) % n];
      const float ds = dist(s), de = dist(e);
      if (ds <= 0.0f) next[m++] = s;
      if ((ds < 0.0f && de > 0.0f) || (ds > 0.0f && de < 0.0f)) next[m++] = s + (e - s) * (ds / (ds - de));
    }
    n = m;
    std::swap(cur, next);
  }
  for (int i = 0; i < n; i++) out[i] = cur[i];
  return n;
}

int obstacle_add(const vector& pos, const matrix& orient, float half_angle, float near_dist, float far_dist,
                 float value, bool flag_bit, const ObstacleExtra* extra) {
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
  o.has_extra = extra != nullptr;
  if (extra) o.extra = *extra;
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

bool obstacle_record_instance(int obstacle, LevelMeshInstance* inst) {
  if (obstacle < 0 || obstacle >= Num_obstacles) return false;
  Obstacle& o = Obstacles[obstacle];
  const int n = o.instance_count();
  if (n >= OBSTACLE_MAX_INSTANCES) return false;
  o.instances[n] = inst;
  o.flags = (o.flags & ~OBSTACLE_INSTANCE_BITS) | (static_cast<uint32_t>(n + 1) << 6);
  return true;
}

int obstacle_query_object(const vector& pos, float radius, int layer, int* out, int flag) {
  (void)layer;
  (void)flag;
  const float reach = fog_get_far();
  int found = 0;
  for (int i = 0; i < Num_obstacles; i++) {
    const ConvexVolume& v = Obstacles[i].volume;
    const vector d = v.center - pos;
    const float gap = std::sqrt(vector::dot(d, d)) - v.radius - radius;
    if (gap <= reach) out[found++] = i;
  }
  return found;
}

void obstacles_debug_draw(ObstacleDrawFn draw) {
  for (int i = 0; i < Num_obstacles; i++) {
    Obstacle& o = Obstacles[i];
    for (int k = 0; k < o.instance_count(); k++) {
      const LevelMeshInstance* inst = o.instances[k];
      if (!inst || !inst->mesh) continue;
      const LevelMesh& mesh = *inst->mesh;
      for (int f = 0; f < mesh.face_count; f++) {
        vector tri[3], clipped[3 + CONVEX_MAX_PLANES];
        for (int c = 0; c < 3; c++) {
          const vector& l = mesh.positions[mesh.faces[f].v[c]];
          tri[c] = inst->pos + inst->orient.right * l.x + inst->orient.up * l.y + inst->orient.forward * l.z;
        }
        const int n = o.volume.clip(tri, 3, clipped);
        if (n >= 3) draw(clipped, n);
      }
    }
  }
}

void obstacles_draw(float hero_height, int size_class) {
  if (size_class < 0 || size_class >= PFG_SIZE_CLASSES) return;
  const float y = hero_height + Obstacle_height_offset;
  for (const PathSector& S : Path_graph.sectors[size_class])
    for (const SectorPolygon* p = S.polygons; p; p = p->next)
      for (int i = 0; i < p->count; i++) {
        const PathSegment& w = p->segments[i];
        // Doors in yellow, walls in red.
        const int g = (w.flags & PSEG_DOOR) ? 255 : 0;
        gr_3d_debug_line(w.a->x, y, w.a->z, w.b->x, y, w.b->z, 255, g, 0);
      }
  aa_debug_draw(y, size_class);
}
