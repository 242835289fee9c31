#pragma once
// The shell's registration of the game's folders as path types; the numbers
// themselves are declared beside the file layer.
#include "quarn/vfile/path_types.h"

void fs_register_path_types();
// Start-up step: root (with packfiles mounted) and the path types.
void fs_init();
