#pragma once
// Writers of the bitmap files the game reads (Targa, PCX, VBM and a fake M2V
// header), for the demo builder and test fixtures. They write plain paths,
// not through the file layer, and cover the variants a reader must accept:
// raw or run-length, rows top or bottom first, with or without a colour map.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct TgaWriterOptions {
  bool rle = false;       // type 9/10/11 instead of 1/2/3
  bool top_first = true;  // descriptor bit 5
  bool grey = false;      // 8-bit grey (type 3/11) instead of a colour-mapped or true-colour type
  // Colour map of 256 or fewer red, green, blue triples (entries = size / 3);
  // empty for none. Written as 24-bit entries (blue, green, red).
  std::vector<uint8_t> colour_map;
  int colour_map_entry_bits = 24;  // 24, 32 or 16 (how entries are stored)
  int alpha_bits = 0;              // descriptor low bits
  std::string id;                  // image identification field
};

// Pixels are rows top first, bits_per_pixel / 8 bytes each, in the file's
// byte order (blue, green, red[, alpha]). Run-length packets never cross a row.
std::vector<uint8_t> tga_build(const uint8_t* pixels, int width, int height, int bits_per_pixel,
                               const TgaWriterOptions& options = {});
bool tga_write_file(const std::string& path, const uint8_t* pixels, int width, int height,
                    int bits_per_pixel, const TgaWriterOptions& options = {});

// The next mip level: each pixel the average of a 2 x 2 block per byte (8-bit
// indices and 16-bit pixels take the top-left pixel instead).
std::vector<uint8_t> image_half_size(const uint8_t* pixels, int width, int height, int bytes_per_pixel);

// Writes <dir>/<base>.tga and <dir>/<base>-mip1.tga ... for `levels` levels
// in all (1 writes only the top one). False when a file cannot be written.
bool tga_write_with_mips(const std::string& dir, const std::string& base, const uint8_t* pixels, int width,
                         int height, int bits_per_pixel, int levels, const TgaWriterOptions& options = {});

// 8-bit PCX: rows top first, `bytes_per_line` of at least the width (0 for
// the width; padding bytes are written as 0). Runs never cross a row unless
// `runs_cross_rows` is set, which encodes all rows as one stream.
std::vector<uint8_t> pcx_build(const uint8_t* pixels, int width, int height, const uint8_t* palette,
                               int bytes_per_line = 0, bool runs_cross_rows = false);
bool pcx_write_file(const std::string& path, const uint8_t* pixels, int width, int height,
                    const uint8_t* palette, int bytes_per_line = 0);

struct VbmWriterHeader {
  int width = 0;
  int height = 0;
  int pixel_type = 2;  // 0: 1-5-5-5, 1: 4-4-4-4, other: 5-6-5
  int fps = 0;
  int frames = 1;
  int mips_below = 0;
};
// `data` holds every mip level of frame 1, then frame 2, ...; 2 bytes a pixel.
std::vector<uint8_t> vbm_build(const VbmWriterHeader& header, const uint8_t* data, size_t size);
bool vbm_write_file(const std::string& path, const VbmWriterHeader& header, const uint8_t* data, size_t size);
// All mip levels of one 16-bit frame (top-left sampling), ready for vbm_build.
std::vector<uint8_t> vbm_frame_with_mips(const uint8_t* pixels, int width, int height, int mips_below);

// An MPEG-2 sequence header carrying the size, padded with zeros to `size`.
std::vector<uint8_t> m2v_build(int width, int height, size_t size);

bool image_write_bytes(const std::string& path, const std::vector<uint8_t>& bytes);
