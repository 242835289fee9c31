#pragma once
// Bitmap fonts from .vf files: a table of at most MAX_FONTS fonts, each
// font's glyphs packed into one square texture, strings measured with
// per-pair kerning, drawn glyph by glyph and broken into lines.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "quarn/gr/gr.h"

#define MAX_FONTS 6
#define FONT_NAME_LEN 32         // name field, terminator included
#define FONT_MAX_MEASURED_LINE 511
// Text x that centres each line.
#define GR_CENTER_X 0x8000

// Pixel kinds of a .vf file.
#define VF_KIND_COVERAGE 15          // one byte per pixel, coverage 0..14
#define VF_KIND_4444 0x0F0F0F0F      // two bytes per pixel, format 4

struct FontKernPair {
  uint8_t first, second;  // character indexes (code minus first character)
  int8_t offset;          // added to the first character's advance
};

struct FontCharacter {
  int advance;
  int width;
  int offset;  // of the glyph's pixels in the pixel data
  int16_t kern_first;  // -1 none
  int16_t kern_count;
};

// A .vf file as read, checked for internal consistency.
struct VfFont {
  int id = 0;
  int version = 0;
  int kind = VF_KIND_COVERAGE;
  int first_char = 0;
  int default_advance = 0;
  int height = 0;
  std::vector<FontKernPair> kern_pairs;
  std::vector<FontCharacter> chars;
  std::vector<uint8_t> pixels;
};

// Reads a .vf image from memory. Returns 0 on success; -1 for a file that is
// not a usable font (truncated, inconsistent, an unknown pixel kind), with
// the reason in *error; -2 for a version newer than this reader knows.
int vf_parse(const uint8_t* data, size_t size, VfFont* out, std::string* error);

struct FontInfo {
  char name[FONT_NAME_LEN];
  int id;  // 0: free slot
  int kind;
  int char_count;
  int first_char;
  int default_advance;
  int height;
  int line_spacing;
  int kern_count;
  int pixel_size;
  std::vector<FontKernPair> kern_pairs;
  std::vector<FontCharacter> chars;
  std::vector<uint8_t> pixels;
  int bitmap;  // texture bitmap handle
  int texture_w, texture_h;
  std::vector<int> glyph_x, glyph_y;
  std::vector<uint16_t> texture;  // format-4 texels, owned here for bm_create
};

// Loads a font (or returns the slot that already holds that name) and sets
// its line spacing when line_spacing is 0 or more; -1 when it cannot be read.
int gr_font_load(const char* name, int line_spacing = -1);
void gr_font_close();
// Makes the font current (-1: the default font); returns its height, 16
// when there is no font.
int gr_font_select(int font);
int gr_font_select_spacing(int font);
int gr_font_get_current();
const FontInfo* gr_font_get(int font);  // null for a free or invalid slot

// Width of the widest line and height times the number of lines.
void gr_get_string_size(int* w, int* h, const char* text, int length = -1, int font = -1);
void gr_string(int x, int y, const char* text, int font = -1, RenderStateWord state = Gr_preset[1]);
void gr_string_continue(const char* text, int font = -1, RenderStateWord state = Gr_preset[1]);
int gr_string_centered_x(const char* text);
// Breaks text into lines no wider than max_width; returns the line count.
int gr_split_text(int* line_lengths, const char** line_starts, const char* text, int max_width,
                  int max_lines, char skip_char = 0, int font = -1);
// Start of what does not fit on the first line (null when all fits), with
// the length of the part that does.
const char* gr_next_line(int* length, const char* text, int max_width, int font = -1);

// Copies text into dest with the line breaks of gr_split_text (no skip
// character) as line feeds, cut to dest_size - 1 characters; returns the
// number of lines.
int text_wrap(char* dest, size_t dest_size, const char* text, int max_width, int font = -1);
template <size_t N>
int text_wrap(char (&dest)[N], const char* text, int max_width, int font = -1) {
  return text_wrap(dest, N, text, max_width, font);
}

// Width and advance of a character followed by next (0 for none), kerning
// included.
void gr_font_char_metrics(int font, int c, int next, int* width, int* advance);

// The whole load path from bytes (reading, checks, glyph packing) without
// files, fatal errors or bitmaps: 0, or a negative code with the reason.
int gr_font_check_image(const uint8_t* data, size_t size, std::string* error);

// The texture side a font of this many pixels gets (64, 128 or 256).
int gr_font_texture_side(int pixel_count);
