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
