#pragma once
// Path search: from a point in a sector to a point in a sector, within one
// size class, stopping within a radius. The answer is a list of path nodes
// from a fixed pool of PATH_MAX_NODES, owned by whoever holds its first
// node and returned with path_free. The ends join the graph only through
// the nodes they can see; avoidance areas make edges dearer or forbid them.
//
// The search keeps its state in the graph's nodes, so one search runs at a
// time, on the main thread.
#include <cstdint>

#include "Engine/ai/path_graph.h"
#include "quarn/math/vector.h"

constexpr int PATH_MAX_NODES = 1000;
// Path-node flags.
constexpr int PATH_NODE_PINNED = 0x2;  // smoothing never removes the node before it

struct PathNode {
  float x, y, z;  // y is set only on the end node and nodes built from a 3-D point
  int32_t sector;
  float dir_x, dir_y, dir_z;  // unit direction of the leg ending here, y 0
  float remaining;            // 2-D length from here to the end, less the radius
  int32_t flags;
  PathNode* next;
};

// Whether the visibility pass uses the point-visibility sweep (and skips
// smoothing); console "precalc_vis_method".
extern bool Precalc_vis_method;

// Empties the pool (at every graph load).
void path_pool_reset();
int path_nodes_in_use();
// A node from the pool, or null with "Out of ai path nodes -- current max
// is 1000." printed.
PathNode* path_node_alloc();
// A node at the point before `next`; its remaining distance is the 2-D
// distance to next plus next's remaining (0 without next). Null when the
// pool is empty.
PathNode* path_node_new(const vector& p, int sector, PathNode* next);
PathNode* path_node_new(float x, float z, int sector, PathNode* next);
// Returns one node to the pool and gives back its successor.
PathNode* path_node_pop(PathNode* node);
void path_free(PathNode* path);

// The path from start to goal, or null. The goal may be pulled back toward
// the start when it lies outside the walkable area; the caller's goal then
// holds the moved point.
PathNode* find_path(const vector& start, int start_sector, vector& goal, int goal_sector, int size_class,
                    float radius);

// The developer's look at a search (console "path_debug <size class> <x0>
// <z0> <x1> <z1>"): finds the path between two ground points and prints
// "Path from ... : <n> nodes, length <L>" (counted from the start point)
// and one "  node <x> <z> sector <s>" line a node, or "No path from ...".
void path_debug_print(int size_class, float x0, float z0, float x1, float z1);

// Moves a point that lies on or within 0.025 of an obstacle wall 0.035 out
// along the wall's normal; true when it moved. The height is kept.
bool path_push_out_of_obstacles(vector& p, int size_class, int sector);

// Marks with GN_MARK the graph nodes of the current size class that a
// point sees, among the dozen or so nearest it (the default visibility
// method; `mode` as for the line test).
void path_mark_visible_nodes(const PathPoint& p, int sector, int mode);
