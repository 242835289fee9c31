#pragma once
// Avoidance areas: short-lived shapes on the ground (a spell's beam, a spot
// a level script closes) that paths must go round (prohibit kind) or should
// go round at a price (avoid kind). They leave the loaded graph alone: the
// primitives live in small fixed pools, overlapping ones of a kind merge
// into avoid polygons whose outline is their union, and each avoid polygon
// becomes an obstacle polygon cut against the sector's walls, with nodes of
// its own that the path search walks like graph nodes. The search reaches
// them through the hooks of path_graph.h, installed on first use.
#include <cstdint>

#include "Engine/ai/path_graph.h"
#include "quarn/math/vector.h"

constexpr int AA_MAX_PRIMITIVES = 14;
constexpr int AA_MAX_POLYS = 14;  // avoid polygons, and obstacle polygons
constexpr int AA_MAX_HANDLES = 14;
constexpr int AA_MAX_POLY_PRIMITIVES = 4;
constexpr int AA_MAX_OUTLINE = 30;
constexpr int AA_MAX_NODES = 30;
constexpr int AA_NODE_LINKS = 20;
constexpr int AA_LINK_ARRAYS = 500;
constexpr int AA_BACKUP_WALLS = 100;

// Type bits of aa_add_primitive and of the aa_add record's kind.
constexpr int AA_TYPE_RECT = 0x01;      // else a circle
constexpr int AA_TYPE_PROHIBIT = 0x04;  // else the avoid kind

// Primitive flags.
constexpr uint8_t AP_IN_USE = 0x01;
constexpr uint8_t AP_PROHIBIT = 0x02;
constexpr uint8_t AP_AVOID = 0x04;
constexpr uint8_t AP_RECT = 0x08;
constexpr uint8_t AP_CIRCLE = 0x10;
constexpr uint8_t AP_SEGMENT = 0x20;

// Obstacle polygon flags.
constexpr uint32_t OP_IN_USE = 0x01;
constexpr uint32_t OP_PROHIBIT = 0x02;
constexpr uint32_t OP_AVOID = 0x04;
constexpr uint32_t OP_UNLINKED = 0x08;  // left out of linking and visibility marking

// A wall with a closing segment of an obstacle polygon along it.
constexpr uint16_t PSEG_AVOID_CLOSED = 0x20;

struct AvoidPrimitive {
  uint8_t flags;
  int16_t corners;  // 4 a rectangle, 8 a circle, 2 a segment
  int16_t layer, sector;
  float cx, cz;
  PathPoint axis[4];  // a1, a2 = a1 turned to (-z, x), a3 = unit(a1 + a2), a4 = a3 turned
  float h1, h2;
  PathPoint pts[8];
  float min_x, max_x, min_z, max_z;
};

struct AvoidPoly {
  uint16_t flags;  // OP_IN_USE and the kind bits of its primitives
  int16_t prim_count;
  int16_t outline_count;
  int16_t obstacle;
  uint8_t prims[AA_MAX_POLY_PRIMITIVES];
  int16_t layer, sector;
  PathPoint outline[AA_MAX_OUTLINE];
  float max_z, min_z, min_x, max_x;
};

struct OutlineSegment {
  int16_t n1, n2;
  PathSegment* wall;  // the wall a closing segment runs along, else null
  int32_t end_mark;   // 0 from the wall's end to the outline, 1 back to it
  float nx, nz;       // unit normal: the direction (dx, dz) turned to (dz, -dx)
};

struct ObstacleNode {
  float cx, cz;  // the outline corner
  float ox, oz;  // the offset point
  float dx, dz;  // the outward corner direction
  PathPoint point;
  GraphNode node;  // what the search walks (flag GN_AVOIDANCE)
  int32_t dir_mark;
  GraphNode** links;  // an array of AA_NODE_LINKS from the pool, or null
};

struct ObstaclePoly {
  uint32_t flags;
  int32_t avoid;
  int16_t seg_count, node_count;
  int32_t layer, sector;
  OutlineSegment segs[AA_MAX_OUTLINE];
  ObstacleNode nodes[AA_MAX_NODES];
  float max_z, min_z, min_x, max_x;
};

// A handle holds the primitives of one area in every size class it covers.
constexpr int AA_HANDLE_PRIMITIVES = 2 * PFG_SIZE_CLASSES;
struct AvoidHandle {
  uint16_t flags;
  int16_t count;
  uint8_t prims[AA_HANDLE_PRIMITIVES];
};

// A caller's area (spells, effects, level scripts): kind as the type bits;
// one point: a rectangle (or circle) of size x by size y round it; two or
// three points: a rectangle along each leg, half as wide as size x and
// reaching 0.3 past the leg's ends and 0.1 past its sides. `size_class`
// picks the graph the area stands in; -1 (the default) puts it in every
// size class, so that creatures of every size go round it.
struct AvoidShape {
  int kind;
  int count;
  const vector* points;
  float size_x, size_y;
  float weight;
  int owner;
  int size_class = -1;
};

// A level script's barrier: a line of points whose legs paths may not
// cross. Each leg becomes a script avoid segment in the sector of each of
// its ends, for one size class or (-1) every one.
constexpr int AA_MAX_SCRIPT_SHAPES = 20;
constexpr int AA_MAX_SCRIPT_SEGMENTS = 100;
constexpr int AA_SHAPE_SEGMENTS = 24;
struct AvoidShapeList {
  int count;
  const vector* points;
  int size_class = -1;
};
struct AvoidScriptSegment {
  uint8_t flags;  // AP_IN_USE
  int16_t layer, sector;
  PathPoint a, b;
};
struct AvoidScriptShape {
  uint16_t flags;  // 1 in use
  int16_t count;
  uint8_t segs[AA_SHAPE_SEGMENTS];
};

struct AvoidSettings {
  bool enable = true;
  bool no_remove = false;
  bool rect = true;
  bool prohibit = true;
};

extern AvoidPrimitive Avoid_primitives[AA_MAX_PRIMITIVES];
extern AvoidPoly Avoid_polys[AA_MAX_POLYS];
extern ObstaclePoly Obstacle_polys[AA_MAX_POLYS];
extern AvoidHandle Avoid_handles[AA_MAX_HANDLES];
extern AvoidSettings Avoid_settings;

// Clears every pool and counter (at every graph load and "avoidance reset").
void aa_reset();
// A primitive at `center` whose half axes are `half1` and `half2` (their
// lengths the half extents; a circle's radius is half2's length), merged
// into the avoid polygons of (layer, sector). Its id, or -1 when areas are
// off or the pool is full.
int aa_add_primitive(const vector& center, int type, const vector& half1, const vector& half2, int layer,
                     int sector);
void aa_remove_primitive(int id);
// A handle over the primitives built for the shape, or -1 when none was.
int aa_add(const AvoidShape& shape);
void aa_remove(int handle);
// A script's barrier from its line of points: the shape's index, or -1
// when no leg lies in a sector or the pools are full.
int aa_create_avoid_poly(const AvoidShapeList& list);
// Frees the shape (0-19) and its segments; other indices are ignored.
void aa_clear_avoid_poly(int index);
extern AvoidScriptShape Avoid_script_shapes[AA_MAX_SCRIPT_SHAPES];
extern AvoidScriptSegment Avoid_script_segments[AA_MAX_SCRIPT_SEGMENTS];

// Whether any area primitive or script barrier segment stands in the size
// class, in any sector.
bool aa_any_in_size_class(int size_class);

// Whether the point lies in an active prohibit primitive of the size class
// and sector, with a margin of 0.05.
bool aa_point_blocked(const vector& p, int sector, int size_class);
// Whether the point lies at least 0.25 inside one of the handle's primitives.
bool aa_point_in_handle(const vector& p, int sector, int size_class, int handle);

// Primitive tests (a positive margin grows the primitive).
bool aa_point_in_primitive(const AvoidPrimitive& p, float x, float z, float margin);
// A segment shape of two points, for the segment test.
AvoidPrimitive aa_segment_shape(const PathPoint& p, const PathPoint& q);
bool aa_segment_meets_primitive(const AvoidPrimitive& seg, const AvoidPrimitive& p, float margin);
bool aa_primitives_meet(const AvoidPrimitive& a, const AvoidPrimitive& b);
// The corner rule: the outward direction at a corner between an incoming
// and an outgoing unit direction.
PathPoint aa_corner_direction(const PathPoint& d1, const PathPoint& d2);

// Debug drawing: the outline segments of the active obstacle polygons of a
// size class at height y, prohibit in blue and avoid in red, each with its
// normal and its nodes' directions at half length.
void aa_debug_draw(float y, int size_class);
