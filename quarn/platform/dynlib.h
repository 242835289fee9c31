#pragma once
// Libraries loaded at run time, by the names the game asks for: "name.dll"
// is the shared library "libname.so" beside the program (then anywhere the
// dynamic loader looks). Entry points are found by their exported names; a
// decorated name "_fn@8" is exported as "_fn$8", because ELF linkers keep '@'
// for symbol versions.

// Null when the library cannot be loaded.
void* os_load_library(const char* name);
// Why the last os_load_library failed when a library of that name was found
// but would not load (damaged, empty, wrong machine); empty when none was
// found or the load succeeded.
const char* os_library_load_error();
// Null when the library has no such entry point.
void* os_get_proc_address(void* library, const char* name);
void os_free_library(void* library);
// Tests: the folder searched first instead of the program's own (null: the
// program's folder again).
void os_set_library_dir(const char* dir);
