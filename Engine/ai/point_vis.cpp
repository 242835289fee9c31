#include "Engine/ai/point_vis.h"

#include <chrono>

#include "Engine/ai/path_geometry.h"

int determine_point_visibility(const PathPoint& p, int sector, int mode) {
  const auto began = std::chrono::steady_clock::now();
  const int cls = path_current_size_class();
  if (cls < 0) return 0;
  // Every node of the size class is tested on its own line; a node behind a
  // wall is hidden whatever lies on the same ray.
  for (int s = 0; s < PFG_SECTORS; s++) {
    PathSector& S = Path_graph.sectors[cls][s];
    for (int i = 0; i < S.node_count; i++) {
      GraphNode& n = S.nodes[i];
      if (path_line_test(p, sector, *n.point, n.sector, mode)) n.flags |= GN_MARK;
      else n.flags &= static_cast<uint16_t>(~GN_MARK);
    }
  }
  return static_cast<int>(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - began).count());
}
