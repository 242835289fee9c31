#pragma once
// Which graph nodes of the current size class a point sees, for the
// visibility pass of path search when Precalc_vis_method is set: one
// rotational sweep around the point over the walls that bound the nodes.
// Every visible node gets GN_MARK, every other node loses it.
#include "Engine/ai/path_graph.h"

// Walls crossed by one sweep ray at a time, and events on one ray applied
// together.
constexpr int POINT_VIS_MAX_EDGES = 100;
constexpr int POINT_VIS_MAX_BATCH = 50;
// Nodes and wall ends of a size class the sweep takes in.
constexpr int POINT_VIS_MAX_EVENTS = 8192;

// How many sweeps found more walls across one ray (or more events) than
// their pools hold and answered with one line test per node instead
// (`mode` as for the line test), so that a crowded level slows the search
// rather than ending the game.
extern int Point_vis_fallbacks;

// The elapsed milliseconds; the time and the share of each phase go to the
// debug output.
int determine_point_visibility(const PathPoint& p, int sector, int mode);

// The graph nodes of the current size class and sector in clockwise order
// round the point (seen with x to the right and z up, starting straight
// down -z), nodes on one ray nearest first; the point's own node and nodes
// at its position are left out. GN_SAME_BEARING marks a node on the ray of
// the one before it. At most `max` go to `out`; the count is returned.
int sort_points_clockwise(const PathPoint& point, GraphNode** out, int max);
// How long the last clockwise sort took, in milliseconds.
extern double Sort_points_clockwise_ms;
