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

constexpr int CONVEX_MAX_PLANES = 6;
constexpr int MAX_OBSTACLES = 16;
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

  int count() const { return static_cast<int>((flags & CV_COUNT_MASK) >> 1); }
  void reset();
  // d = -(normal . point); ignored once 6 planes are set.
  void add_plane(const vector& normal, const vector& point);
  void add_plane(float nx, float ny, float nz, float d);
  // Starts a volume with its bounding sphere and a first plane.
  void begin(const vector& c, float r, const ConvexPlane& first);
  // Whether a sphere lies inside or touches every plane; kept in CV_INSIDE.
  bool sphere_test(const vector& c, float r);
};

struct Obstacle {
  vector pos;
  matrix orient;
  float tan_half_angle;
  float near_dist, far_dist;
  float value;
  uint32_t flags;  // bit 0 from the caller, bit 1 in use, bits 6-8 instances recorded
  ConvexVolume volume;
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
                 float value, bool flag_bit);
// The gameplay frame's reset: no obstacles, recorded-instance bits cleared.
void obstacles_frame_reset();
