#pragma once
// Convex plane volumes (at most 6 planes with a bounding sphere), shared by
// the shadow obstacles below and the decal code, and the per-frame obstacle
// volumes: pyramids that the shadow code registers anew every frame.
//
// Planes face out of the volume: a point p is inside when n . p + d <= 0
// for every plane.
#include <cstdint>

#include "quarn/math/matrix.h"
#include "quarn/math/vector.h"

struct LevelMeshInstance;

constexpr int CONVEX_MAX_PLANES = 6;
constexpr int MAX_OBSTACLES = 16;
// Level mesh instances an obstacle records in one frame.
constexpr int OBSTACLE_MAX_INSTANCES = 7;
// Flags word of a volume.
constexpr uint32_t CV_MARK = 0x1;
constexpr uint32_t CV_COUNT_MASK = 0xE;  // plane count in bits 1-3
constexpr uint32_t CV_INSIDE = 0x10;     // result of the last sphere test
constexpr uint32_t CV_SET_UP = 0x20;

struct ConvexPlane {
  float nx, ny, nz, d;
};

struct ConvexVolume {
  ConvexVolume() { reset(); }
  uint32_t flags;
  float radius;
  vector center;
  ConvexPlane planes[CONVEX_MAX_PLANES];
  // The planes in the frame of the mesh instance last tested.
  ConvexPlane local[CONVEX_MAX_PLANES];

  int count() const { return static_cast<int>((flags & CV_COUNT_MASK) >> 1); }
  void reset();
  // d = -(normal . point); ignored once 6 planes are set.
  void add_plane(const vector& normal, const vector& point);
  void add_plane(float nx, float ny, float nz, float d);
  // Starts a volume with its bounding sphere and a first plane.
  void begin(const vector& c, float r, const ConvexPlane& first);
  // Whether a sphere lies inside or touches every plane; kept in CV_INSIDE.
  bool sphere_test(const vector& c, float r);
  // The planes carried into an instance's frame (origin `pos`, axes the
  // rows of `orient`), kept in `local`.
  void to_local(const vector& pos, const matrix& orient);
  // Whether the volume holds or touches the bounding sphere of a level mesh
  // instance; kept in CV_INSIDE.
  bool touches_mesh(const LevelMeshInstance& inst);
  // Clips a polygon (`n` points) against every plane; the points left go to
  // `out` (room for n + 6) and their count is returned.
  int clip(const vector* in, int n, vector* out) const;
};

// What a caller may hand along with an obstacle (kept as given).
struct ObstacleExtra {
  matrix m1;
  float v[3];
  matrix m2;
  float w;
};

struct Obstacle {
  vector pos;
  matrix orient;
  float tan_half_angle;
  float near_dist, far_dist;
  float value;
  uint32_t flags;  // bit 0 from the caller, bit 1 in use, bits 6-8 instances recorded
  bool has_extra;
  ObstacleExtra extra;
  LevelMeshInstance* instances[OBSTACLE_MAX_INSTANCES];
  ConvexVolume volume;

  int instance_count() const { return static_cast<int>((flags >> 6) & 7); }
};

extern Obstacle Obstacles[MAX_OBSTACLES];
extern int Num_obstacles;
// The height, over the controlled hero, at which obstacle outlines are
// drawn (console "obstacle_height_offset").
extern float Obstacle_height_offset;

// Registers this frame's pyramid: apex at `pos`, opening along the
// orientation's forward axis with half angle `half_angle` (radians), cut by
// the near and far distances. Ignored (-1) once 16 exist this frame;
// otherwise the record's index.
int obstacle_add(const vector& pos, const matrix& orient, float half_angle, float near_dist, float far_dist,
                 float value, bool flag_bit, const ObstacleExtra* extra = nullptr);
// The level renderer's record of an instance the obstacle's volume meets;
// false once 7 are recorded this frame.
bool obstacle_record_instance(int obstacle, LevelMeshInstance* inst);
// The obstacles of this frame near an object: those whose volume comes
// within the current far fog distance of the object's sphere (centre `pos`,
// `radius`). Their indices go to `out` (room for MAX_OBSTACLES), the count
// is returned. `layer` and `flag` are the caller's and select nothing here.
int obstacle_query_object(const vector& pos, float radius, int layer, int* out, int flag);
// Debug drawing: every face of every recorded instance, clipped to its
// obstacle's volume, handed to `draw` in world space when at least 3 points
// are left.
// Debug drawing of the pathfinding graph's obstacle outlines of a size
// class, at `hero_height` (the controlled hero's) plus Obstacle_height_offset.
void obstacles_draw(float hero_height, int size_class);
using ObstacleDrawFn = void (*)(const vector* points, int count);
void obstacles_debug_draw(ObstacleDrawFn draw);
// The gameplay frame's reset: no obstacles, recorded-instance bits cleared.
void obstacles_frame_reset();
