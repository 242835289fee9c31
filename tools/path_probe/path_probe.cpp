// path_probe: loads a level's pathfinding graph through the file layer as
// the level load does, then runs a console script whose "path" lines ask
// for paths and print them:
//
//   path_probe <level> <script>
//   path <size class> <x0> <z0> <x1> <z1>
//
// Output: "graph <level> loaded: <n> nodes in <s> sectors" (or "graph
// <level> missing"), then for each request what the game's path_debug
// prints, and "shortest <L>": the length of the shortest walk among the level's ground
// as the demo builder describes it (demo levels only), worked out apart
// from the game's search.
// Exit 0; 1 when the graph cannot be loaded or the script cannot be read.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "Engine/ai/path_geometry.h"
#include "Engine/ai/path_graph.h"
#include "Engine/ai/path_search.h"
#include "Orrimund/fs_paths.h"
#include "quarn/os/console.h"
#include "tools/writers/pfg_writer.h"

namespace {

PfgLevel Ground;
bool Have_ground;

void path_command() {
  float v[5];
  for (float& f : v) {
    console_get_arg(ARG_FLOAT | ARG_INT);
    f = Console_arg.float_value;
  }
  path_debug_print(static_cast<int>(v[0]), v[1], v[2], v[3], v[4]);
  if (Have_ground)
    std::printf("shortest %.4f\n", pfg_shortest_length(Ground, static_cast<int>(v[0]), {v[1], v[2]}, {v[3], v[4]}));
}

ConsoleCommand cc_path("path", "path <size class> <x0> <z0> <x1> <z1>: prints the path between two points",
                       path_command);

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: path_probe <level> <script>\n");
    return 2;
  }
  fs_init();
  console_set_output_hook([](const char* text) { std::fputs(text, stdout); });
  const std::string level = argv[1];
  if (level.rfind("demo_outdoor", 0) == 0) demo_graph_outdoor(Ground), Have_ground = true;
  if (level.rfind("demo_indoor", 0) == 0) demo_graph_indoor(Ground), Have_ground = true;
  const int rc = path_graph_load(level.c_str());
  if (rc != 0) {
    std::fprintf(stderr, "path_probe: the graph of %s cannot be loaded (%d)\n", level.c_str(), rc);
    return 1;
  }
  int nodes = 0, sectors = 0;
  for (int s = 0; s < PFG_SECTORS; s++) {
    nodes += Path_graph.sectors[0][s].node_count;
    sectors += Path_graph.sectors[0][s].tree_count > 0;
  }
  if (Path_graph.loaded) std::printf("graph %s loaded: %d nodes in %d sectors\n", level.c_str(), nodes, sectors);
  else std::printf("graph %s missing\n", level.c_str());
  std::ifstream script(argv[2]);
  if (!script) {
    std::fprintf(stderr, "path_probe: cannot read %s\n", argv[2]);
    return 1;
  }
  std::string line;
  while (std::getline(script, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    console_execute(line.c_str());
  }
  std::fflush(stdout);
  return 0;
}
