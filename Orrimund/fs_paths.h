#pragma once
// The game's path types: registered once at start-up, after vfile_set_root,
// in a fixed order; the numbers are kept for later opens.

extern int Root_path_type;
extern int Data_path_type;
extern int Interface_path_type;
extern int Maps_path_type;        // data\maps\characters (first of the map types)
extern int Tables_path_type;
extern int Models_path_type;      // data\models\levels
extern int Scripts_path_type;
extern int Characterinfo_path_type;
extern int Internal_path_type;
extern int Player_path_type;
extern int Savegame_path_type;
extern int Level_tables_path_type;
extern int Movie_path_type;

constexpr int FS_NUM_PATH_TYPES = 34;

void fs_register_path_types();
// Start-up step: root (with packfiles mounted) and the path types.
void fs_init();
// Empty: the closing call of profiled sections, which record nothing.
void null_callback();
