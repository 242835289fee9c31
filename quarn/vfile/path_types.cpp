#include "quarn/vfile/path_types.h"

// -1 until the shell registers the folders; Root is always type 0.
int Root_path_type = 0;
int Data_path_type = -1;
int Interface_path_type = -1;
int Maps_path_type = -1;
int Tables_path_type = -1;
int Models_path_type = -1;
int Scripts_path_type = -1;
int Characterinfo_path_type = -1;
int Internal_path_type = -1;
int Player_path_type = -1;
int Savegame_path_type = -1;
int Level_tables_path_type = -1;
int Movie_path_type = -1;

void null_callback() {}
