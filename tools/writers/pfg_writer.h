#pragma once
// Pathfinding graph files (.pfg, version 109): a writer of the file's
// records as plain indexed data, and a builder that makes a whole graph
// from a flat description of a level's ground (a rectangle of open ground
// split into sectors along x, convex obstacles, doors).
//
// Index rules (the loader's, Engine/ai/path_graph.h): segments are numbered
// in file order over the first run, every polygon run (size class 0 sector
// 0 first) and the last run; node, local-node and tree indices count within
// their sector; a tree child comes after its parent; a portal's sector A
// lies on the side its normal (dz, -dx) points to. Walls face their
// walkable side the same way.
//
// The builder grows every obstacle by the size class's radius and puts a
// graph node on each corner of the grown outline that is open ground (a
// sector with no such corner, a flat clearing, gets one free node on its
// open ground instead); nodes that see each other are linked. pfg_shortest_length answers, with its own
// geometry and a plain Dijkstra over the same corners, the length of the
// shortest way between two points, so tests can check the game's search.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct PfgPt {
  float x, z;
};

struct PfgSegmentSpec {
  int a, b;  // point indices
  uint16_t flags = 0;
  uint16_t door = 0xFF;
};
struct PfgPortalSpec {
  int a, b;
  int sector_a, sector_b;
};
struct PfgPolygonSpec {
  std::vector<PfgSegmentSpec> segments;
  float min_x, max_x, max_z, min_z;
};
struct PfgNodeSpec {
  int point;
  bool free = false;
  int seg1 = -1, seg2 = -1;                 // global segment indices
  std::vector<std::pair<int, int>> links;  // (sector, node index) in the same size class
};
struct PfgLocalSpec {
  int point;
  std::vector<int> links;
};
struct PfgTreeSpec {
  int kind;  // 1 split at a point's x, 2 split by a segment, 3 walkable
  int ref;   // point or segment index (ignored for kind 3)
  int below = -1, above = -1;
};
struct PfgCellSpec {
  int key;
  std::vector<int> segments;
};
struct PfgGridSpec {
  float origin_x = 0, value2 = 0, origin_z = 0, value4 = 0, cell_width = 1, cell_depth = 1;
  int columns = 0, rows = 0, value5 = 0;
  std::vector<std::vector<PfgCellSpec>> buckets;
};
struct PfgSectorSpec {
  std::vector<PfgPolygonSpec> polygons;
  std::vector<PfgNodeSpec> nodes;
  std::vector<PfgLocalSpec> locals;
  std::vector<PfgTreeSpec> tree;
  PfgGridSpec grid;
};
constexpr int PFG_SPEC_CLASSES = 3;
constexpr int PFG_SPEC_SECTORS = 20;

struct PfgFile {
  int version = 109;
  std::vector<PfgPt> points;
  std::vector<PfgSegmentSpec> first_run;
  std::vector<PfgPortalSpec> portals;
  std::vector<int> door_lists[PFG_SPEC_SECTORS];
  PfgSectorSpec sectors[PFG_SPEC_CLASSES][PFG_SPEC_SECTORS];
  std::vector<PfgSegmentSpec> last_run;

  int add_point(float x, float z);
  // Global index of the next segment a polygon run of (size class, sector)
  // would get, given what the file holds so far.
  int polygon_segment_base(int size_class, int sector) const;
};

// The file's bytes; the header totals are counted from the records.
std::vector<uint8_t> pfg_bytes(const PfgFile& f);
bool pfg_write_file(const std::string& path, const PfgFile& f);

// ---- Building a graph from a level's ground ------------------------------------

struct PfgLevel {
  float min_x = 0, max_x = 0, min_z = 0, max_z = 0;  // the open ground
  std::vector<float> sector_splits;                // x of each border between sectors, ascending
  std::vector<std::vector<PfgPt>> obstacles;       // convex outlines, either turn
  struct Door {
    PfgPt a, b;
    int door;  // movable level mesh
  };
  std::vector<Door> doors;
  float radius[PFG_SPEC_CLASSES] = {0.3f, 0.6f, 1.0f};
  float cell = 4.0f;
};

PfgFile pfg_build(const PfgLevel& level);
// The sector (0 ...) of a point of the level, by the splits.
int pfg_sector_of(const PfgLevel& level, float x);
// The shortest walk between two points for a size class, among the grown
// obstacles and inside the shrunk ground; negative when there is none.
// `corners` (when given) gets the corner points the walk bends at.
double pfg_shortest_length(const PfgLevel& level, int size_class, PfgPt from, PfgPt to,
                           std::vector<PfgPt>* corners = nullptr);
// Whether the segment a-b crosses the inside of an obstacle grown by `grow`.
bool pfg_segment_hits_obstacle(const PfgLevel& level, float grow, PfgPt a, PfgPt b);

// The demo levels' ground, matching their layouts (demo_level_layouts.h).
void demo_graph_outdoor(PfgLevel& level);
void demo_graph_indoor(PfgLevel& level);
