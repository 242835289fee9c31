#include "Orrimund/fs_paths.h"

#include "quarn/vfile/vfile.h"

void fs_register_path_types() {
  // The order fixes the type numbers, which the game keeps.
  Root_path_type = vfile_add_path_type("", ".cfg .vpp .vcs .brw .arr .ico .sys .pre");
  Data_path_type = vfile_add_path_type("data", ".cfg");
  vfile_add_path_type("data\\ca", ".mvf");
  vfile_add_path_type("data\\fonts", ".vf .tga .vbm");
  vfile_add_path_type("data\\pack\\svfs", ".svf");
  Interface_path_type = vfile_add_path_type("data\\interface\\pc", ".vbm .tga .m2v .vaf ");
  vfile_add_path_type("data\\sounds\\pc", ".wav");
  vfile_add_path_type("data\\sounds\\pc\\cutscenes", ".wav");
  vfile_add_path_type("data\\sounds\\pc\\music", ".wav");
  Maps_path_type = vfile_add_path_type("data\\maps\\characters", ".vbm .tga .m2v");
  vfile_add_path_type("data\\maps\\effects", ".vbm .tga .m2v");
  vfile_add_path_type("data\\maps\\items", ".vbm .tga .m2v");
  vfile_add_path_type("data\\maps\\levels", ".vbm .tga .m2v");
  vfile_add_path_type("data\\maps\\cutscenes", ".vbm .tga .m2v");
  vfile_add_path_type("data\\tables\\ui\\worldmap", ".ui");
  vfile_add_path_type("data\\effects\\characters", ".tga .m2v .vfx .vbm");
  vfile_add_path_type("data\\effects\\cutscenes", ".tga .m2v .vfx .vbm");
  vfile_add_path_type("data\\effects\\items", ".tga .m2v .vfx .vbm");
  vfile_add_path_type("data\\effects\\levels", ".tga .m2v .vfx .vbm");
  vfile_add_path_type("data\\effects\\spells", ".tga .m2v .vfx .vbm");
  vfile_add_path_type("data\\effects", ".vfx .rfx");
  vfile_add_path_type("data\\tables\\boss", ".tbl");
  Tables_path_type = vfile_add_path_type("data\\tables", ".tbl");
  vfile_add_path_type("data\\v3d", ".v3d .s3d .vfx");
  Models_path_type = vfile_add_path_type("data\\models\\levels", ".v3d .s3d .vfx .vlm");
  vfile_add_path_type("data\\models\\characters", ".v3d .vfx .vim");
  vfile_add_path_type("data\\models\\items", ".v3d .vfx .vim");
  Scripts_path_type = vfile_add_path_type("data\\scripts", ".scr .tbl");
  Characterinfo_path_type = vfile_add_path_type("data\\tables\\characterinfo", ".tbl");
  Internal_path_type = vfile_add_path_type("data\\internal", ".pfg .mlo .vis .vex .bsp .lkf");
  Player_path_type = vfile_add_path_type("players", ".plr");
  Savegame_path_type = vfile_add_path_type("savegame", ".sav");
  Level_tables_path_type = vfile_add_path_type("data\\tables\\levels", ".tbl");
  Movie_path_type = vfile_add_path_type("data\\movies", "*.bik");
}

void fs_init() {
  vfile_set_root(nullptr, true);
  fs_register_path_types();
}
