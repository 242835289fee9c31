#pragma once
// The game's path types: numbers the file layer hands out when the game
// registers its folders at start-up (vfile_add_path_type, in a fixed order).
// They live beside the file layer so that every layer can open by type; the
// shell fills them in (fs_register_path_types) before anything loads.

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

// Empty: the closing call of profiled sections, which record nothing.
void null_callback();
