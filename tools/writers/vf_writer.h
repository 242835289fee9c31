#pragma once
// Writer of .vf bitmap fonts, for the demo builder and test fixtures.
#include <cstdint>
#include <string>
#include <vector>

struct VfWriterGlyph {
  int advance = 0;
  int width = 0;
  // width * height pixels, rows top first: coverage levels 0..14 for kind
  // 15, two bytes (4-4-4-4, little-endian) per pixel for kind 0x0F0F0F0F.
  std::vector<uint8_t> pixels;
};

struct VfWriterKern {
  int first = 0, second = 0;  // character codes
  int offset = 0;             // added to the first character's advance
};

struct VfWriterFont {
  int id = 1;
  int version = 1;  // 0 or 1
  int kind = 15;    // 15 or 0x0F0F0F0F (version 1 only)
  int first_char = 32;
  int default_advance = 0;
  int height = 0;
  std::vector<VfWriterGlyph> glyphs;  // glyph i is character first_char + i
  std::vector<VfWriterKern> kerns;    // any order; sorted when written
};

// The file's bytes. Kern pairs are sorted by first and second character and
// each character record points at its run of pairs.
std::vector<uint8_t> vf_build(const VfWriterFont& font);
// Writes the file; false (with a message on stderr) when it cannot.
bool vf_write_file(const std::string& path, const VfWriterFont& font);
