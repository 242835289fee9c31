// Demo step: packs the demo data tree into the nine packfiles the game
// mounts. The loose files stay where they are; the game prefers a loose file
// to a packed one, so they remain editable.
#include <cstdio>
#include <string>

#include "tools/make_demo/demo_steps.h"
#include "tools/writers/packfile_writer.h"

bool demo_build_packfiles(const std::string& root) {
  std::string err;
  if (!packfile_build_game_set(root, false, &err)) {
    std::fprintf(stderr, "make_demo: packfiles: %s\n", err.c_str());
    return false;
  }
  return true;
}

DEMO_STEP(demo_build_packfiles, DEMO_ORDER_PACK);
