#pragma once
// Queries over the pathfinding graph, all in the flat (x, z) plane: which
// points are walkable, which grid cells and walls lie near a point or along
// a line, whether a straight line is free, where a line leaves a sector
// through a portal, and how a moving creature slides along walls and stops
// at shut doors. Movement and the AI ask these every frame; path search per
// request. They answer "nothing there" on a level without a graph.
//
// Results of the last query (grid cells, intersection parameters) are kept
// in module state, so queries run on the main thread, one at a time.
#include <cstdint>

#include "Engine/ai/path_graph.h"
#include "quarn/math/vector.h"

// Line-test modes: which obstacles a line test looks at.
constexpr int PATH_LINE_OBSTACLES = 1;  // the sector's obstacle polygons
constexpr int PATH_LINE_PROHIBIT = 2;   // avoidance areas that forbid entry
constexpr int PATH_LINE_AVOID = 4;      // avoidance areas that cost extra
constexpr int PATH_LINE_ALL = 7;

// Segment intersection kinds.
constexpr int PATH_ISECT_NONE = 0;
constexpr int PATH_ISECT_CROSS = 1;       // inside both segments
constexpr int PATH_ISECT_COLLINEAR = 2;
constexpr int PATH_ISECT_SHARED_END = 3;  // the segments share an end point
constexpr int PATH_ISECT_AT_END = 4;      // the crossing is an end of one of them
constexpr int PATH_ISECT_PARALLEL = -1;

constexpr int PATH_GRID_MAX_CELLS = 100;
// The creature circle of the slide move and its wall contact.
constexpr float PATH_CONTACT_RADIUS = 0.03f;
// A door at least this far open lets moves and slides through.
constexpr float PATH_DOOR_OPEN_FRACTION = 0.4f;

// ---- Small helpers ------------------------------------------------------------

inline PathPoint path_point(const vector& v) { return {v.x, v.z}; }
// Equal within 0.001 in x and z.
bool path_points_equal(const PathPoint& a, const PathPoint& b);
// n . (p - a) for segment a-b with n = (bz - az, -(bx - ax)): positive on the
// side the segment's normal points to (the walkable side of an unreversed wall).
float path_side(const PathPoint& a, const PathPoint& b, const PathPoint& p);
// The point of segment a-b nearest p, clamped to its ends.
PathPoint path_nearest_on_segment(const PathPoint& a, const PathPoint& b, const PathPoint& p);
float point_segment_distance_sq(const PathPoint& p, const PathPoint& a, const PathPoint& b);
// The smallest t in [0, 1] at which from + t (to - from) comes within
// `radius` of `center` (0 when it starts within); false when it never does.
bool sweep_point_circle(const PathPoint& from, const PathPoint& to, const PathPoint& center, float radius,
                        float* t);

// ---- Intersections ---------------------------------------------------------------

// The parameters of the last segment intersection (along the first segment,
// along the second) and its denominator.
struct PathIntersection {
  float t, u, denom;
};
extern PathIntersection Path_isect;
// Kind of the intersection of a1-a2 with b1-b2 (PATH_ISECT_*); the crossing
// point goes to *out when it is given and the lines cross.
int path_segment_intersect(const PathPoint& a1, const PathPoint& a2, const PathPoint& b1, const PathPoint& b2,
                           PathPoint* out = nullptr);

// ---- Walkable area ----------------------------------------------------------------

// The walkable leaf of the current size class's sector (-1: the current
// sector) under (x, z), or null. A point within the tree's tolerance of a
// split is walkable when either side is.
AreaTreeNode* path_point_walkable(float x, float z, int sector = -1);
// False when the sector has no graph nodes, true when it has no tree,
// otherwise whether the tree finds a walkable leaf.
bool path_point_in_sector(const vector& p, int size_class, int sector);

// The sector of the size class that holds the point: the lowest numbered
// one, unless a neighbour holds it too and a portal between them says
// otherwise. -1 when none does.
int path_sector_at(int size_class, float x, float z);
// The sector a walk from `from` toward `to` starts in: path_sector_at,
// except that a point on the border of two sectors starts on the side the
// walk leaves toward (a line from a point on a portal crosses nothing).
int path_sector_toward(int size_class, const vector& from, const vector& to);

// ---- Grid ------------------------------------------------------------------------

// The cells listed by the latest grid query.
extern GridCell* Path_grid_result[PATH_GRID_MAX_CELLS];
extern int Path_grid_result_count;
// Cells crossed by the line from-to, from its start cell on; at most 100.
int path_sector_grid_lookup(int sector, int size_class, const PathPoint& from, const PathPoint& to);
// Cells of the square of half-size `half` around the point; at most 100.
int path_sector_grid_lookup(int sector, int size_class, const PathPoint& center, float half);
// The grid cell at (column, row), or null.
GridCell* path_grid_cell(const SectorGrid& grid, int column, int row);

// ---- Line tests ----------------------------------------------------------------------

// Each line query takes a new stamp, so a wall met in several cells is
// tested once.
uint32_t path_next_query_stamp();
// Whether from-to stays clear within one sector of the current size class.
bool path_segment_test(const PathPoint& from, const PathPoint& to, int sector, int mode);
// Where from-to first leaves `sector` through one of its portals, and the
// sector behind it; false when it leaves through none.
bool path_next_portal_crossing(const PathPoint& from, const PathPoint& to, int sector, PathPoint* crossing,
                               int* next_sector);
// Whether the line from-to, followed across portals, is clear in every leg
// (the size class is the current one) and ends in to_sector.
bool path_line_test(const PathPoint& from, int from_sector, const PathPoint& to, int to_sector, int mode);
// Which of two sectors holds the point, decided by a portal between them
// within 3.0 of it; the second sector when there is none.
int path_portal_side(int sector_a, int sector_b, const PathPoint& p);
inline int path_sector_grid_test(int sector_a, int sector_b, const PathPoint& p) {
  return path_portal_side(sector_a, sector_b, p);
}

// A straight move from `from` to `to` in the size class, starting in
// `sector`: the sector it ends in when no wall of the grid (nor a shut door)
// stands in the way, -1 when something does. Movement keeps the answer as
// the sector the creature stands in.
int path_line_walkable(const vector& from, const vector& to, int size_class, int sector);

// ---- Moves against walls ---------------------------------------------------------------

// The per-wall contact test of the slide move: a circle of radius 0.03
// moving from (fx, fz) to (tx, tz).
struct PathMove {
  float fx, fz, tx, tz;
  PathSegment* wall;
  uint32_t stamp;
  const PathPoint* last_end;  // wall end touched last, skipped
  // Results.
  float cx, cz, t;
  int corner;                 // 1 a wall end, 0 the face
  const PathPoint* touched;   // the end touched, null for the face
};
bool path_wall_contact(PathMove& m);

// Moves from `from` toward `to`, stopping at the first wall and sliding the
// rest of the way along it (once); *out keeps from's height. True when a
// wall changed the move.
bool path_slide_move(const vector& from, const vector& to, vector* out, int size_class, int sector);
// Whether a shut door stands within `reach` along `dir` from `from`.
bool path_door_blocks(const vector& from, const vector& dir, int sector, int size_class, float reach);

// Whether door `door` (a movable level mesh) is at least `fraction` open;
// doors that do not exist count as open. The level's movables by default.
using PathDoorOpenFn = bool (*)(int door, float fraction);
void path_set_door_open_hook(PathDoorOpenFn fn);
bool path_door_open(int door, float fraction);

// The doorway of a movable: the midpoint of its door segment in the graph
// and the sector holding it (the level's doorway service); false when the
// graph has none.
bool path_doorway(int movable, float* x, float* z, int* sector);
