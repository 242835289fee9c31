// Demo step: the skinned figure the mesh drawer shows, with a held pose, as
// a character kind's mesh and animation.
#include <cstdio>
#include <filesystem>
#include <string>

#include "tools/make_demo/demo_steps.h"
#include "tools/writers/figure_mesh.h"
#include "tools/writers/mvf_writer.h"
#include "tools/writers/vim_writer.h"

namespace {

bool demo_build_figure(const std::string& root) {
  namespace fs = std::filesystem;
  const fs::path models = fs::path(root) / "data" / "models" / "characters";
  const fs::path anims = fs::path(root) / "data" / "ca";
  std::error_code ec;
  fs::create_directories(models, ec);
  fs::create_directories(anims, ec);
  // The figure wears the environment map the engine loads at start-up.
  if (!vim_write_file((models / "figure.vim").string(), figure_mesh("refmap01.tga")) ||
      !mvf_write_file((anims / "figure_pose.mvf").string(), figure_pose(0.25f, 0.3f, 4800))) {
    std::fprintf(stderr, "make_demo: cannot write the figure\n");
    return false;
  }
  return true;
}

}  // namespace

DEMO_STEP(demo_build_figure, DEMO_ORDER_TABLES + 300);
