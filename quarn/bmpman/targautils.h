#pragma once
// Flat image files: Targa (raw and run-length), 8-bit PCX, the size probe and
// raw read of M2V streams, and screenshots written as Targa or JPEG.
//
// The file routines open names through the file layer with a path type
// (BM_ANY_PATH_TYPE searches every type). Each of them reads the whole file and
// hands the bytes to a decoder that works on memory; the decoders are public
// so that fuzzers, benchmarks and tools can run them without files. Every
// count, length and run in a file is checked against the file and the caller's
// buffer: a bad image is refused with a message on stdout, never overruns.
#include <cstddef>
#include <cstdint>

// The file layer's "any path type".
constexpr int BM_ANY_PATH_TYPE = 9999999;

// Error codes of the PCX and Targa routines (texts from pcx_error_string).
enum : int {
  PCX_ERROR_NONE = 0,
  PCX_ERROR_OPENING = 1,
  PCX_ERROR_NO_HEADER = 2,
  PCX_ERROR_WRONG_VERSION = 3,
  PCX_ERROR_READING = 4,
  PCX_ERROR_NO_PALETTE = 5,
  PCX_ERROR_WRITING = 6,
};

// "No error." .. "Error writing data."; codes outside 0..6 give "Unknown error.".
const char* pcx_error_string(int code);

// ---------------------------------------------------------------------------
// Targa

constexpr int TARGA_HEADER_SIZE = 18;

struct TargaHeader {
  uint8_t id_length = 0;
  uint8_t colour_map_type = 0;
  uint8_t image_type = 0;
  uint16_t colour_map_first = 0;
  uint16_t colour_map_length = 0;
  uint8_t colour_map_entry_size = 0;
  uint16_t x_origin = 0;
  uint16_t y_origin = 0;
  uint16_t width = 0;
  uint16_t height = 0;
  uint8_t bits_per_pixel = 0;
  uint8_t descriptor = 0;
};

// Reads the 18 header bytes; false when fewer are given.
bool targa_parse_header(const uint8_t* file, size_t file_size, TargaHeader* header);

// Decodes a Targa file held in memory into `pixels` (top row first, bits per
// pixel / 8 bytes per pixel) and, when the file has a colour map, the
// 768-byte palette (red, green, blue per entry; may be null; left untouched
// by a file without a map). Returns 0, or 1 with *error (when not
// null) set to a static text saying why the image was refused. Nothing is
// written past pixels + pixels_size, which must hold the whole image.
int targa_decode(const uint8_t* file, size_t file_size, uint8_t* pixels, size_t pixels_size,
                 uint8_t* palette, const char** error = nullptr);

// Header of a Targa file: width, height and bits per pixel. Returns 0, or 1
// when the file cannot be opened or its header read. The name is tried with
// ".tga" added only when it has no "." at all. The two unused arguments stay
// for callers written against the older shape; pass nullptr.
int targa_read_header(const char* name, int* width, int* height, int* bits_per_pixel,
                      int* unused, uint8_t* unused_palette, int path_type);

// Reads the pixels of a Targa file into `pixels`, which holds `pixels_size`
// bytes (an image that would not fit is refused). The name is tried with the
// path type, then with its extension made ".tga", then that with any path
// type; when none opens, the fatal error "Could not open file: %s".
// Returns 0, or 1 for a file that is not a Targa image this reader knows.
int targa_read_bitmap(const char* name, uint8_t* pixels, uint8_t* palette, size_t pixels_size,
                      int path_type);

// Run-length encodes `byte_count` bytes of in_bpp-byte pixels into `out` as
// out_bpp-byte pixels and returns the bytes written. From 2 to 3 bytes a
// 5-6-5 pixel is widened; from 2 to 2 bytes bit 15 is inverted (the file's
// alpha bit is the opposite of format 5's transparent bit). `out` must hold
// the worst case, targa_compress_bound(byte_count / in_bpp, out_bpp).
int targa_compress(uint8_t* out, const uint8_t* pixels, int out_bpp, int in_bpp, int byte_count);
size_t targa_compress_bound(size_t pixel_count, int out_bpp);

// Write a Targa file (the name's extension becomes ".tga"): run-length type
// 10 or raw type 2, descriptor 32 (top row first). 0, or -1 when the file
// cannot be opened or written, or the arguments make no image.
int targa_write_bitmap(const char* name, const uint8_t* pixels, int unused, int width, int height,
                       int bits_per_pixel, int path_type);
int targa_write_raw(const char* name, const uint8_t* pixels, int unused, int width, int height,
                    int bits_per_pixel, int path_type);

// ---------------------------------------------------------------------------
// PCX (8 bits, one plane, run-length)

constexpr int PCX_HEADER_SIZE = 128;

struct PcxHeader {
  int width = 0;
  int height = 0;
  int bits_per_pixel = 0;
  int bytes_per_line = 0;
};

// Checks the 128-byte header: PCX_ERROR_NO_HEADER when short,
// PCX_ERROR_WRONG_VERSION when a field is not what this reader knows or the
// width or height is not 1..65535.
int pcx_parse_header(const uint8_t* file, size_t file_size, PcxHeader* header);

// Decodes a PCX file in memory into width x height bytes at `pixels` (which
// holds pixels_size bytes) and the 768-byte palette (may be null).
// Returns an error code; *error (when not null) gets a reason text.
int pcx_decode(const uint8_t* file, size_t file_size, uint8_t* pixels, size_t pixels_size,
               uint8_t* palette, const char** error = nullptr);

// Any out pointer may be null. Opens with the path type, then with ".pcx".
int pcx_read_header(const char* name, int* width, int* height, int* bits_per_pixel,
                    uint8_t* palette, int path_type);
// `pixels` holds pixels_size bytes; a larger image is refused.
int pcx_read_bitmap(const char* name, uint8_t* pixels, uint8_t* palette, size_t pixels_size,
                    int path_type);
// Writes "<name without extension>.pcx" (through the file layer, any path
// type) from `rows` (height pointers to width bytes) and a 768-byte palette.
int pcx_write_bitmap(const char* name, int width, int height, const uint8_t* const* rows,
                     const uint8_t* palette);

// ---------------------------------------------------------------------------
// M2V (MPEG-2 video elementary streams kept as bitmaps)

// Width and height from bytes 4..7 (big-endian: top 12 bits width, next 12
// height). False when the block is shorter than 8 bytes.
bool m2v_parse_size(const uint8_t* file, size_t file_size, int* width, int* height);
// File size in bytes, 0 on failure. Always any path type.
int m2v_read_header(const char* name, int* width, int* height);
// Allocates (std::malloc) the file size, reads the whole file into it.
// Returns the size; 0 and *buffer null on failure. The caller frees.
int m2v_read_file(const char* name, uint8_t** buffer);

// ---------------------------------------------------------------------------
// Screenshots

// Writes 24-bit red, green, blue pixels (rows top first) as a baseline JPEG
// with libjpeg's default quality. Nothing is written when the file cannot be
// opened. Returns true when the file was written.
bool jpeg_write_file(const char* name, const uint8_t* pixels, int width, int height);

// Saves the front end's clip rectangle as "<base>.tga" (run-length, bottom
// row first, 24 bits) or "<base>.jpg". A screen read in a format other than
// 5-6-5 (3) or 24-bit (6) is reported on stdout and the shot is skipped.
// Returns true when a file was written.
bool gr_print_screen(const char* base_name, bool jpeg, int path_type);

// The front end fills these in at start-up. `get_clip` gives the clip
// rectangle; `read_screen` copies w x h pixels at (x, y) of the back buffer
// into `buffer` (room for 4 bytes a pixel) top row first and returns the
// pixel format: 3 (5-6-5, 2 bytes) or 6 (blue, green, red bytes), 0 when it
// could not read. Until set, the screen is empty and nothing is saved.
// Passing nullptr restores the empty default.
using GrGetClipFn = void (*)(int* x, int* y, int* w, int* h);
using GrReadScreenFn = int (*)(int x, int y, int w, int h, uint8_t* buffer);
void gr_print_screen_set_hooks(GrGetClipFn get_clip, GrReadScreenFn read_screen);
