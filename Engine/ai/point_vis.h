#pragma once
// Which graph nodes of the current size class a point sees, for the
// visibility pass of path search when Precalc_vis_method is set: every
// visible node gets GN_MARK, every other node loses it.
#include "Engine/ai/path_graph.h"

// The elapsed milliseconds. Lines are tested as the path search's default
// visibility pass tests them (`mode` as for the line test).
int determine_point_visibility(const PathPoint& p, int sector, int mode);
