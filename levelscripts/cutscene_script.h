#pragma once
// Cutscene scripts: the table that places a cutscene's actors and camera
// points in the current level ("<name>_cscript.tbl": the level it belongs
// to, its navpoints, its objects), and the undoing that puts every object it
// placed back where it stood before.
#include <cstddef>

// Objects one cutscene script places.
#define MAX_CSCRIPT_OBJECTS 64
#define CSCRIPT_STRING_POOL_SIZE 10240

// The cutscene being played (-1 none); its player sets it. A script loads
// only while one is current.
extern int Cscript_cutscene_index;

// The file of a script name: the name with "_cscript.tbl" added unless it
// already ends so. False when it does not fit.
bool cscript_file_name(const char* name, char* out, size_t size);
// Undoes the current script, then reads the named one. False for a null
// name, without a current cutscene, without the file, or when the file
// belongs to another level (which is then left untouched).
bool cscript_table_load(const char* name);
// The same from text (tests, tools): `name` becomes the current name.
bool cscript_table_read_text(const char* name, const char* text, int length);
// Every object the script placed goes back to where it stood, idle; the
// script's navpoints and string pool are emptied and its name cleared.
void cscript_restore_objects();
const char* cscript_current_name();
// In cutscene mode (game flag 0x20) or while a script is loaded.
bool cscript_is_running();
int cscript_object_count();
int cscript_string_pool_used();
