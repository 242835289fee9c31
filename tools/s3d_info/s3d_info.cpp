// s3d_info: loads levels exactly as the game does (the file layer set up
// by the game's own start-up step, so packfiles and loose files are found
// the same way; bitmaps through the bitmap manager) and prints what each
// holds. A level that is refused prints its reason and the next one is
// loaded all the same.
//
//   s3d_info <level file>...
//
// Per level one line
//   Level <name>: <m> meshes, <i> instances, ... <t> textures
// then the floor under each "$player" start point, or
//   Level <name> could not be loaded
// Exit 0 when every level loaded, 1 when any was refused, 2 for a bad
// command line.
#include <strings.h>

#include <cstdio>

#include "Engine/s3d/level_objects.h"
#include "Engine/s3d/s3d.h"
#include "Orrimund/fs_paths.h"
#include "quarn/bmpman/bmpman.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: s3d_info <level file>...\n");
    return 2;
  }
  fs_init();
  bm_init();
  int refused = 0;
  for (int a = 1; a < argc; a++) {
    if (s3d_load(argv[a], &Level) != 0) {
      std::printf("Level %s could not be loaded\n", argv[a]);
      refused++;
      continue;
    }
    std::printf(
        "Level %s: %d meshes, %d instances, %d nodes, %d point lists, %d named point lists, %d movables, "
        "%d lights, %d visibility groups, %d lightmaps, %d textures, %d surfaces, %d vertex animations, "
        "%d in $vis_base\n",
        argv[a], Level.mesh_count, Level.instance_count, Level.node_count, Level.point_list_count,
        Level.named_points_count, Level.movable_count, Level.light_count, Level.vis_group_count,
        Level.lightmap_count, Level.texture_count, Level.surface_count, Level.vertex_anim_count,
        Level.vis_base.count);
    for (int i = 0; i < Level.node_count; i++) {
      const LevelNode& n = Level.nodes[i];
      if (strncasecmp(n.name, "$player", 7) != 0) continue;
      vector floor;
      if (level_floor_point(n.pos, 50.0f, 0, &floor))
        std::printf("  %s stands on the floor at height %.3f\n", n.name, floor.y);
      else
        std::printf("  %s has no floor under it\n", n.name);
    }
    for (int m = 0; m < Level.movable_count; m++) {
      level_movable_place(Level.movables[m].instance);
      std::printf("  movable %s travels %.2f s, floor at height %.3f\n", Level.movables[m].name,
                  Level.movables[m].travel_time, Level.movables[m].floor_point.y);
    }
    s3d_unload(&Level);
  }
  return refused ? 1 : 0;
}
