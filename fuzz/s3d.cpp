// Fuzz target: the level loader over arbitrary file bytes. A file is either
// refused (-1, nothing left loaded) or loads whole, and then every lookup,
// door and collision query over it stays inside its arrays.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "Engine/s3d/collide.h"
#include "Engine/s3d/level_objects.h"
#include "Engine/s3d/s3d.h"
#include "quarn/bmpman/bmpman.h"
#include "quarn/vfile/vfile.h"

static char g_dir[64];

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::snprintf(g_dir, sizeof g_dir, "/dev/shm/fuzz_s3d_%d", static_cast<int>(getpid()));
  if (mkdir(g_dir, 0700) != 0) std::abort();
  std::atexit([] {
    unlink((std::string(g_dir) + "/level.s3d").c_str());
    rmdir(g_dir);
  });
  vfile_set_root(g_dir, false);
  vfile_add_path_type("", ".s3d");
  // Level loads print why they refuse a file; keep the run quiet.
  if (!std::freopen("/dev/null", "w", stdout)) std::abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  char path[VFILE_MAX_PATH];
  vfile_build_path(0, "level.s3d", path);
  FILE* fp = std::fopen(path, "wb");
  if (!fp) return 0;
  std::fwrite(data, 1, size, fp);
  std::fclose(fp);
  const int rc = s3d_load("level.s3d", &Level);
  if (rc != 0) {
    if (Level.flags != 0 || Level.instance_count != 0) __builtin_trap();
    return 0;
  }
  // Rays and spheres from the middle of every instance outward.
  for (int i = 0; i < Level.instance_count && i < 16; i++) {
    CollisionQuery q{};
    q.start = Level.instances[i].bound_center + vector{0.5f, 3.0f, 0.25f};
    q.delta = vector{-1.0f, -6.0f, -0.5f};
    q.radius = (i & 1) ? 0.3f : 0.0f;
    CollisionResult r;
    collide_level(&q, &r);
    vector floor;
    level_floor_point(q.start, 10.0f, 0, &floor);
    level_vertex_anim_find(i);
  }
  for (int m = 0; m < Level.movable_count; m++) {
    const int inst = Level.movables[m].instance;
    level_movable_place(inst);
    level_door_open(inst, 1.0f, true, true);
    level_door_update(inst);
  }
  for (int k = 0; k < Level.movable_count; k++) {
    int inst, rec;
    level_movable_find(Level.movable_keys[k].name, &inst, &rec);
  }
  // The game keeps level textures for the next level; a fuzzing run would
  // fill the bitmap table with made-up names, so they go here.
  for (int t = 0; t < Level.texture_count; t++)
    if (Level.texture_handles[t] >= 0) bm_release(Level.texture_handles[t]);
  for (int v = 0; v < Level.vertex_anim_count; v++)
    if (Level.vertex_anims[v].texture >= 0) bm_release(Level.vertex_anims[v].texture);
  s3d_unload(&Level);
  return 0;
}
