#pragma once
// The level's pathfinding graph (.pfg): the walkable ground in the flat
// (x, z) plane, split into PFG_SIZE_CLASSES size classes of PFG_SECTORS
// sectors. A creature's size class (its character type's path layer) picks
// the graph it walks; a search never leaves its size class.
//
// path_graph_load reads the whole file into native records with every index
// resolved to a pointer, so queries follow pointers and never look anything
// up. A file whose counts or indices do not fit together is refused whole,
// with a line naming the file: the level then has no graph rather than half
// of one. A level without a graph file plays without pathfinding.
//
// Index rules shared with the writer (tools/writers/pfg_writer.h): segments
// are numbered in file order over all runs; node, local-node and tree
// indices count within their own sector; an area-tree child always comes
// after its parent, so a walk cannot loop. A portal's sector A lies on the
// side its segment's normal (wz, -wx) points to.
#include <cstdint>

class ReadStream;

constexpr int PFG_VERSION = 109;
constexpr int PFG_SIZE_CLASSES = 3;
constexpr int PFG_SECTORS = 20;
constexpr int PFG_HEADER_TOTALS = 10;
// Graph nodes keep their link count in 16 bits; a file asking for more is
// refused instead of being cut short.
constexpr int PFG_MAX_LINKS = 32767;

// Result codes of the loader besides the file layer's own.
constexpr int PFG_ERR_DAMAGED = -20;

// Segment flags.
constexpr uint16_t PSEG_REVERSED = 0x1;  // walkable side is the other one
constexpr uint16_t PSEG_DOOR = 0x2;      // blocks only while its door is shut

// Graph-node flags.
constexpr uint16_t GN_MARK = 0x01;          // working mark of a visibility pass
constexpr uint16_t GN_SAME_BEARING = 0x02;  // clockwise order: on the ray of the node before it
constexpr uint16_t GN_SEEN_FROM_START = 0x04;
constexpr uint16_t GN_SEES_GOAL = 0x08;
constexpr uint16_t GN_CANDIDATE = 0x10;
constexpr uint16_t GN_CANDIDATE_TESTED = 0x20;
constexpr uint16_t GN_LINE_TESTED = 0x40;
constexpr uint16_t GN_FREE = 0x80;          // no bounding segments (from the file)
constexpr uint16_t GN_SPARE = 0x100;
constexpr uint16_t GN_AVOIDANCE = 0x200;    // node of an avoidance obstacle polygon

// Area-tree record kinds.
constexpr int AREA_SPLIT_X = 1;
constexpr int AREA_SPLIT_SEGMENT = 2;
constexpr int AREA_WALKABLE = 3;

struct PathPoint {
  float x, z;
};

struct PathSegment {
  PathPoint* a;
  PathPoint* b;
  uint16_t flags;
  uint8_t door;    // movable level mesh; out of range means no door
  uint32_t stamp;  // query stamp of the last line query that tested it
  uint8_t avoid_uses;  // obstacle polygons closed along it (avoidance areas)
};

struct SectorPortal {
  PathPoint* a;
  PathPoint* b;
  int32_t sector_a;
  int32_t sector_b;
  SectorPortal* next;
};

struct SectorPolygon {
  int32_t count;
  PathSegment* segments;  // a run of `count` consecutive segments
  float max_z, min_z, min_x, max_x;
  SectorPolygon* next;
};

struct GraphNode {
  PathPoint* point;
  uint16_t flags;
  uint16_t sector;
  int16_t link_count;
  GraphNode** links;
  PathSegment* seg1;  // both null for a free node
  PathSegment* seg2;
  // Search state of the one running search: the node's current entry in
  // the open list (0 none), the node it was reached from (null until then).
  uint32_t open_serial;
  GraphNode* parent;
  float g;
  float f;
};

struct AreaTreeNode {
  int32_t kind;
  PathPoint* point;      // AREA_SPLIT_X
  PathSegment* segment;  // AREA_SPLIT_SEGMENT
  AreaTreeNode* below;
  AreaTreeNode* above;
};

struct GridCell {
  int32_t key;  // row * columns + column
  uint16_t count;
  PathSegment** segments;
};

struct GridBucket {
  uint16_t count;
  GridCell* entries;
};

struct SectorGrid {
  float origin_x, value2, origin_z, value4;
  float cell_width, cell_depth;
  int32_t columns, rows, bucket_count;
  GridBucket* buckets;
  int32_t value5;
};

struct PathSector {
  int32_t node_count;
  int32_t local_count;
  int32_t tree_count;
  GraphNode* nodes;
  GraphNode* locals;
  AreaTreeNode* tree;  // first record is the root
  SectorPolygon* polygons;
  SectorGrid grid;
};

struct PathBounds {
  float min_x, max_x, min_z, max_z;
};

struct PathGraph {
  int32_t totals[PFG_HEADER_TOTALS];
  int32_t point_count;
  PathPoint* points;
  int32_t segment_count;
  PathSegment* segments;
  SectorPortal* portals;  // list in file order
  int32_t portal_count;
  uint32_t adjacency[PFG_SECTORS];
  int32_t door_list_count[PFG_SECTORS];
  int32_t* door_lists[PFG_SECTORS];
  PathSector sectors[PFG_SIZE_CLASSES][PFG_SECTORS];
  PathBounds bounds;
  bool loaded;
  uint32_t memory_bytes;
};

// The loaded graph; empty (every sector without nodes) when the level has none.
extern PathGraph Path_graph;

// What navigation asks of the avoidance areas, which live above it. Each
// hook may be left null: there are then no avoidance areas.
struct PathAvoidanceHooks {
  void (*reset)();  // at every graph load
  void (*free)();   // with the graph
  // Whether the segment meets an avoidance primitive of the kinds in `mode`
  // (PATH_LINE_PROHIBIT, PATH_LINE_AVOID) in that size class and sector.
  bool (*segment_blocked)(float x0, float z0, float x1, float z1, int size_class, int sector, int mode);
  // The cost of the search edge a-b: *prohibited when a prohibit-kind area
  // forbids it, else the penalty to add (0 for none).
  float (*edge_cost)(const GraphNode* a, const GraphNode* b, bool* prohibited);
  // The nodes of the active avoidance polygons of the size class (and of
  // the sector, unless it is -1); at most `max` into `out`, count returned.
  int (*nodes)(int size_class, int sector, GraphNode** out, int max);
};
void path_set_avoidance_hooks(const PathAvoidanceHooks& hooks);
const PathAvoidanceHooks& path_avoidance_hooks();

// Reads "<level>.pfg" (any extension of the level name is replaced). 0 when
// loaded, when the file does not exist, or when it has another version (the
// level then runs without pathfinding); otherwise the file layer's error
// code or PFG_ERR_DAMAGED, after a line naming the file and what is wrong,
// and the graph stays empty. Resets the avoidance areas and the path pool.
int path_graph_load(const char* level_name);
// Forgets the graph: every sector empty, no adjacency, no avoidance areas.
void path_graph_free();
inline int pfg_load(const char* level_name) { return path_graph_load(level_name); }
inline void pfg_free() { path_graph_free(); }

// The reader on its own, for an open stream of `size` bytes named `name`
// in messages; what path_graph_load runs after opening the file. 0 loaded,
// 1 another version (nothing loaded), negative refused.
int path_graph_read(ReadStream& in, int size, const char* name);

// Makes a sector current; false (and nothing current) when out of range.
bool path_sector_select(int size_class, int sector);
// The current sector, or null.
PathSector* path_sector_current();
int path_current_size_class();
int path_current_sector();
// The record of a sector, or null when out of range.
PathSector* path_sector_get(int size_class, int sector);

// Clears the per-frame marks the previous frame left on the graph.
void path_graph_frame();
