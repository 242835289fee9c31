#pragma once
// The search core of find_path on its own, for benchmarks and tests that
// run it over graphs of their own: A* from `start` (whose parent is itself
// and g 0) to `terminal` over the nodes' links, with `goal_entry` (may be
// null) as the extra neighbour of every node that sees the goal. The nodes
// of `size_class` must have no parent. Leaves the parents set; false when
// the open list runs dry. *expanded gets the count of nodes expanded.
#include "Engine/ai/path_graph.h"

bool path_astar_run(GraphNode* start, GraphNode* terminal, GraphNode* goal_entry, const PathPoint& goal,
                    int size_class, int* expanded);
