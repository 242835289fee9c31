#pragma once
// Installs the save parts level scripting builds itself (the party inventory).
void save_parts_install();
