#include "Orrimund/fs_paths.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "quarn/vfile/vfile.h"

TEST(FsPaths, TheGamesPathTypesInOrder) {
  vfile_shutdown();
  char t[] = "/tmp/fs_pathsXXXXXX";
  ASSERT_NE(mkdtemp(t), nullptr);
  vfile_set_root(t, false);
  fs_register_path_types();
  struct Row {
    const char* dir;
    const char* ext;
  } rows[] = {
      {"", ".cfg .vpp .vcs .brw .arr .ico .sys .pre "},
      {"data", ".cfg "},
      {"data\\ca", ".mvf "},
      {"data\\fonts", ".vf .tga .vbm "},
      {"data\\pack\\svfs", ".svf "},
      {"data\\interface\\pc", ".vbm .tga .m2v .vaf  "},
      {"data\\sounds\\pc", ".wav "},
      {"data\\sounds\\pc\\cutscenes", ".wav "},
      {"data\\sounds\\pc\\music", ".wav "},
      {"data\\maps\\characters", ".vbm .tga .m2v "},
      {"data\\maps\\effects", ".vbm .tga .m2v "},
      {"data\\maps\\items", ".vbm .tga .m2v "},
      {"data\\maps\\levels", ".vbm .tga .m2v "},
      {"data\\maps\\cutscenes", ".vbm .tga .m2v "},
      {"data\\tables\\ui\\worldmap", ".ui "},
      {"data\\effects\\characters", ".tga .m2v .vfx .vbm "},
      {"data\\effects\\cutscenes", ".tga .m2v .vfx .vbm "},
      {"data\\effects\\items", ".tga .m2v .vfx .vbm "},
      {"data\\effects\\levels", ".tga .m2v .vfx .vbm "},
      {"data\\effects\\spells", ".tga .m2v .vfx .vbm "},
      {"data\\effects", ".vfx .rfx "},
      {"data\\tables\\boss", ".tbl "},
      {"data\\tables", ".tbl "},
      {"data\\v3d", ".v3d .s3d .vfx "},
      {"data\\models\\levels", ".v3d .s3d .vfx .vlm "},
      {"data\\models\\characters", ".v3d .vfx .vim "},
      {"data\\models\\items", ".v3d .vfx .vim "},
      {"data\\scripts", ".scr .tbl "},
      {"data\\tables\\characterinfo", ".tbl "},
      {"data\\internal", ".pfg .mlo .vis .vex .bsp .lkf "},
      {"players", ".plr "},
      {"savegame", ".sav "},
      {"data\\tables\\levels", ".tbl "},
      {"data\\movies", "*.bik "},
  };
  ASSERT_EQ(sizeof rows / sizeof rows[0], static_cast<size_t>(FS_NUM_PATH_TYPES));
  for (int i = 0; i < FS_NUM_PATH_TYPES; ++i) {
    EXPECT_STREQ(vfile_type_dir_name(i), rows[i].dir) << i;
    EXPECT_STREQ(vfile_type_ext_list(i), rows[i].ext) << i;
  }
  EXPECT_FALSE(vfile_type_valid(FS_NUM_PATH_TYPES));
  struct Global {
    int value;
    int want;
  } globals[] = {{Root_path_type, 0},         {Data_path_type, 1},    {Interface_path_type, 5},
                 {Maps_path_type, 9},         {Tables_path_type, 22}, {Models_path_type, 24},
                 {Scripts_path_type, 27},     {Characterinfo_path_type, 28},
                 {Internal_path_type, 29},    {Player_path_type, 30}, {Savegame_path_type, 31},
                 {Level_tables_path_type, 32}, {Movie_path_type, 33}};
  for (const Global& g : globals) {
    EXPECT_EQ(g.value, g.want);
  }
  // Registering again keeps the numbers.
  fs_register_path_types();
  EXPECT_EQ(Movie_path_type, 33);
  EXPECT_FALSE(vfile_type_valid(34));
  null_callback();
  vfile_shutdown();
  std::filesystem::remove_all(t);
}
