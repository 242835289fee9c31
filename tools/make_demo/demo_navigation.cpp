// Demo step: the pathfinding graphs of the demo levels, built from the same
// ground the levels' layouts stand on.
#include <cstdio>
#include <filesystem>
#include <string>

#include "tools/make_demo/demo_steps.h"
#include "tools/writers/pfg_writer.h"

namespace {

bool demo_build_graphs(const std::string& root) {
  const std::string dir = root + "/data/internal";
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  PfgLevel outdoor;
  demo_graph_outdoor(outdoor);
  PfgLevel indoor;
  demo_graph_indoor(indoor);
  return pfg_write_file(dir + "/demo_outdoor.pfg", pfg_build(outdoor)) &&
         pfg_write_file(dir + "/demo_indoor.pfg", pfg_build(indoor));
}

}  // namespace

DEMO_STEP(demo_build_graphs, DEMO_ORDER_TABLES + 310);
