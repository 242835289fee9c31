#pragma once
// Whole-file access for the image readers and writers, through the file
// layer. Image files are small enough to read whole, and decoding from
// memory keeps every bound check in one place.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Reads the whole file; false when it cannot be opened or read in full.
bool image_io_read_file(const char* name, int path_type, std::vector<uint8_t>& out);
// Reads the first n bytes; false when the file is shorter or cannot be opened.
bool image_io_read_prefix(const char* name, int path_type, uint8_t* out, size_t n);
// Size in bytes, or a negative code when the file cannot be found.
int image_io_file_size(const char* name, int path_type);
bool image_io_exists(const char* name, int path_type);
// Writes (creating or replacing) the file; false on any failure, with
// *opened (when given) telling whether the file could be opened at all.
bool image_io_write_file(const char* name, int path_type, const void* data, size_t size,
                         bool* opened = nullptr);
// The name up to its last '.', then the extension (".tga").
std::string image_io_make_name(const char* name, const char* ext);
// The path on disk a new file of that name and path type is written to
// (its directory created), for writers that need a C stream.
std::string image_io_write_path(const char* name, int path_type);
