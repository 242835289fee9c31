// Builds the demo world: every file the game needs, made from code and small
// text sources of our own, packed into the packfiles the game mounts.
//
// Each area of the game contributes one step, defined in its own file of
// this folder; a step that is not linked in is skipped.
#include <cstdio>
#include <filesystem>
#include <string>

#include "tools/make_demo/demo_steps.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_demo <output-directory>\n");
    return 2;
  }
  const std::string root = argv[1];
  std::error_code ec;
  std::filesystem::create_directories(root, ec);
  if (ec) {
    std::fprintf(stderr, "make_demo: cannot create %s: %s\n", root.c_str(), ec.message().c_str());
    return 1;
  }
  // Loose data first, packing last: the packing step gathers what the others wrote.
  for (auto step : {demo_build_tables, demo_build_images, demo_build_fonts, demo_build_packfiles}) {
    if (step && !step(root)) return 1;
  }
  return 0;
}
