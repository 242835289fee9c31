// Fuzz target: the pathfinding graph reader over arbitrary bytes. A file is
// either refused (nothing left loaded) or loads whole, and then the walkable
// test, line tests, slides, the visibility sweep and a path search over it
// stay inside its arrays.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "Engine/ai/path_geometry.h"
#include "Engine/ai/path_graph.h"
#include "Engine/ai/path_search.h"
#include "Engine/ai/point_vis.h"
#include "quarn/vfile/readstream.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The reader prints why it refuses a file; keep the run quiet.
  if (!std::freopen("/dev/null", "w", stdout)) std::abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  ReadStream in;
  in.open_memory(data, static_cast<int>(size));
  if (path_graph_read(in, static_cast<int>(size), "fuzz.pfg") != 0) {
    if (Path_graph.loaded) std::abort();
    return 0;
  }
  path_pool_reset();
  const PathBounds b = Path_graph.bounds;
  const vector lo{b.min_x - 1.0f, 0.0f, b.min_z - 1.0f}, hi{b.max_x + 1.0f, 0.0f, b.max_z + 1.0f};
  const vector mid{(lo.x + hi.x) * 0.5f, 0.0f, (lo.z + hi.z) * 0.5f};
  for (int cls = 0; cls < PFG_SIZE_CLASSES; cls++) {
    for (int s = 0; s < 4; s++) {
      path_sector_select(cls, s);
      path_point_in_sector(mid, cls, s);
      determine_point_visibility(path_point(mid), s, PATH_LINE_ALL);
      path_line_test(path_point(lo), s, path_point(hi), (s + 1) % 4, PATH_LINE_ALL);
      vector out;
      path_slide_move(lo, hi, &out, cls, s);
      path_line_walkable(lo, mid, cls, s);
      path_door_blocks(mid, vector{1.0f, 0.0f, 0.0f}, s, cls, 3.0f);
      vector goal = hi;
      path_free(find_path(lo, s, goal, s, cls, 0.0f));
      vector p = mid;
      path_push_out_of_obstacles(p, cls, s);
    }
  }
  if (path_nodes_in_use() != 0) std::abort();
  return 0;
}
