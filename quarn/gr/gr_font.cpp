// Bitmap fonts: .vf reading, glyph packing, measuring, drawing and line
// breaking.
#include "quarn/gr/gr_font.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>

#include "quarn/bmpman/bmpman.h"
#include "quarn/os/error.h"
#include "quarn/vfile/readstream.h"
#include "quarn/vfile/vfile.h"

namespace {

FontInfo Fonts[MAX_FONTS];
int Num_fonts = 0;       // slots filled since start (or since the last close)
int Current_font = -1;
int Default_font = -1;
int Pen_x = 0, Pen_y = 0;

bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool is_white(char c) { return c == ' ' || c == '\t' || c == '\n'; }

// The font a "-1 or index" argument names, or null.
const FontInfo* resolve(int font) {
  if (font < 0) font = Current_font >= 0 ? Current_font : Default_font;
  if (font < 0 || font >= MAX_FONTS || Fonts[font].id == 0) return nullptr;
  return &Fonts[font];
}

int index_of(const FontInfo& f, int c) {
  const long long i = static_cast<long long>(c) - f.first_char;
  if (i < 0 || i >= f.char_count) return -1;
  return static_cast<int>(i);
}

void metrics(const FontInfo& f, int c, int next, int* width, int* advance) {
  const int i = index_of(f, c);
  if (i < 0) {
    *width = 0;
    *advance = f.default_advance;
    return;
  }
  const FontCharacter& ch = f.chars[i];
  *width = ch.width;
  *advance = ch.advance;
  if (ch.kern_first < 0 || ch.kern_count <= 0 || next == 0) return;
  const int ni = index_of(f, next);
  if (ni < 0) return;
  const int total = static_cast<int>(f.kern_pairs.size());
  for (int k = ch.kern_first; k < total; k++) {
    const FontKernPair& kp = f.kern_pairs[k];
    if (kp.first != i || kp.second > ni) break;
    if (kp.second == ni) {
      *advance += kp.offset;
      break;
    }
  }
}

// Measures length characters (all when negative) of text: the widest line
// and the number of lines.
void measure(const FontInfo& f, const char* text, int length, int* w, int* lines) {
  int width = 0, widest = 0, count = 1;
  for (int i = 0; (length < 0 || i < length) && text[i]; i++) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '\n') {
      if (widest < width) widest = width;
      width = 0;
      const bool more = (length < 0 || i + 1 < length) && text[i + 1];
      if (more) count++;
      continue;
    }
    if (c < 32) continue;
    const bool has_next = length < 0 || i + 1 < length;
    const int next = has_next ? static_cast<unsigned char>(text[i + 1]) : 0;
    int cw, adv;
    metrics(f, c, next, &cw, &adv);
    width += adv;
  }
  if (widest < width) widest = width;
  *w = widest;
  *lines = count;
}

int width_of(const FontInfo& f, const char* text, int length) {
  int w, lines;
  measure(f, text, length, &w, &lines);
  return w;
}

int centered_x(const FontInfo& f, const char* text) {
  int len = 0;
  while (text[len] && text[len] != '\n') len++;
  return (gr_screen.clip_width - width_of(f, text, len)) / 2;
}

bool fail(std::string* error, const char* text) {
  if (error) *error = text;
  return false;
}

// Packs the glyphs into a side by side texture of format-4 texels. False when
// a glyph does not fit.
bool pack_glyphs(FontInfo& f, int side, std::string* error) {
  f.texture_w = f.texture_h = side;
  f.texture.assign(static_cast<size_t>(side) * side, 0);
  f.glyph_x.assign(f.char_count, 0);
  f.glyph_y.assign(f.char_count, 0);
  const int bpp = f.kind == VF_KIND_4444 ? 2 : 1;
  int x = 0, y = 0;
  for (int i = 0; i < f.char_count; i++) {
    const FontCharacter& ch = f.chars[i];
    if (ch.width > side) return fail(error, "Font too big!\n");
    if (x + ch.width >= side) {
      x = 0;
      if (static_cast<long long>(y) + f.height > side) return fail(error, "Font too big!\n");
      y += f.height;
    }
    if (static_cast<long long>(y) + f.height > side) return fail(error, "Font too big!\n");
    f.glyph_x[i] = x;
    f.glyph_y[i] = y;
    for (int row = 0; row < f.height; row++) {
      for (int col = 0; col < ch.width; col++) {
        // vf_parse checked that every glyph lies inside the pixel data.
        const size_t src = static_cast<size_t>(ch.offset) +
                           (static_cast<size_t>(row) * ch.width + col) * bpp;
        uint16_t texel;
        if (bpp == 1) {
          int level = f.pixels[src];
          if (level > 14) level = 14;
          const int alpha = Gr_gamma_lookup[level * 255 / 14] >> 4;
          texel = static_cast<uint16_t>((alpha << 12) | 0x0FFF);
        } else {
          texel = static_cast<uint16_t>(f.pixels[src] | (f.pixels[src + 1] << 8));
        }
        f.texture[static_cast<size_t>(y + row) * side + x + col] = texel;
      }
    }
    x += ch.width;
  }
  return true;
}

void free_slot(FontInfo& f) {
  if (f.bitmap >= 0) bm_release(f.bitmap);
  f = FontInfo();
  f.bitmap = -1;
}

}  // namespace

int gr_font_texture_side(int pixel_count) {
  const long long twice = 2LL * pixel_count;
  if (twice < 4096) return 64;
  if (twice < 16384) return 128;
  return 256;
}

int vf_parse(const uint8_t* data, size_t size, VfFont* out, std::string* error) {
  auto refuse = [&](const char* why) {
    if (error) *error = why;
    return -1;
  };
  if (!data || size > static_cast<size_t>(INT_MAX)) return refuse("no data");
  ReadStream rs;
  rs.open_memory(data, static_cast<int>(size));
  VfFont f;
  f.id = rs.read_int();
  f.version = rs.read_int();
  if (rs.error()) return refuse("file too short for a font header");
  if (f.version > 1) {
    if (error) *error = "Trying to read a newer font version than supported!!\n";
    return -2;
  }
  if (f.version < 0) return refuse("negative font version");
  f.kind = f.version >= 1 ? rs.read_int() : VF_KIND_COVERAGE;
  const int char_count = rs.read_int();
  f.first_char = rs.read_int();
  f.default_advance = rs.read_int();
  f.height = rs.read_int();
  const int kern_count = rs.read_int();
  if (f.version == 0) {
    rs.read_int();
    rs.read_int();
  }
  const int pixel_size = rs.read_int();
  if (rs.error()) return refuse("file too short for a font header");
  if (f.id == 0) return refuse("font id 0 marks a free slot");
  if (f.kind != VF_KIND_COVERAGE && f.kind != VF_KIND_4444) return refuse("unknown pixel kind");
  if (char_count < 0 || kern_count < 0 || pixel_size < 0 || f.height < 0)
    return refuse("negative count or size");
  const long long remaining = static_cast<long long>(size) - rs.tell();
  if (3LL * kern_count + 16LL * char_count + pixel_size > remaining)
    return refuse("counts run past the end of the file");

  f.kern_pairs.resize(kern_count);
  for (auto& kp : f.kern_pairs) {
    kp.first = rs.read_ubyte();
    kp.second = rs.read_ubyte();
    kp.offset = rs.read_byte();
    if (kp.first >= char_count || kp.second >= char_count)
      return refuse("kern pair names a character outside the font");
  }
  const int bpp = f.kind == VF_KIND_4444 ? 2 : 1;
  f.chars.resize(char_count);
  for (auto& ch : f.chars) {
    ch.advance = rs.read_int();
    ch.width = rs.read_int();
    ch.offset = rs.read_int();
    ch.kern_first = rs.read_short();
    ch.kern_count = rs.read_short();
    if (ch.width < 0 || ch.offset < 0) return refuse("negative glyph width or offset");
    const long long bytes = static_cast<long long>(ch.width) * f.height * bpp;
    if (ch.offset + bytes > pixel_size) return refuse("glyph lies outside the pixel data");
    if (ch.kern_first < 0) {
      ch.kern_first = -1;
      ch.kern_count = 0;
    } else if (ch.kern_count < 0 || ch.kern_first + ch.kern_count > kern_count) {
      return refuse("character's kern pairs lie outside the kern table");
    }
  }
  f.pixels.resize(pixel_size);
  if (pixel_size > 0 && rs.read(f.pixels.data(), pixel_size) != pixel_size)
    return refuse("pixel data cut short");
  if (rs.error()) return refuse("file cut short");
  *out = std::move(f);
  return 0;
}

// Builds a loaded font's texture from parsed data; false (with the reason)
// when the glyphs do not fit. No bitmap is made here.
static bool font_build(FontInfo& fi, VfFont&& vf, std::string* error) {
  fi.id = vf.id;
  fi.kind = vf.kind;
  fi.char_count = static_cast<int>(vf.chars.size());
  fi.first_char = vf.first_char;
  fi.default_advance = vf.default_advance;
  fi.height = vf.height;
  fi.line_spacing = vf.height;
  fi.kern_count = static_cast<int>(vf.kern_pairs.size());
  fi.pixel_size = static_cast<int>(vf.pixels.size());
  fi.kern_pairs = std::move(vf.kern_pairs);
  fi.chars = std::move(vf.chars);
  fi.pixels = std::move(vf.pixels);
  const int pixel_count = fi.kind == VF_KIND_4444 ? fi.pixel_size / 2 : fi.pixel_size;
  return pack_glyphs(fi, gr_font_texture_side(pixel_count), error);
}

// For the fuzz target and tests: the whole load path from bytes, without
// files, fatal errors or bitmaps. Returns 0, or a negative code with the reason.
int gr_font_check_image(const uint8_t* data, size_t size, std::string* error) {
  VfFont vf;
  const int rc = vf_parse(data, size, &vf, error);
  if (rc != 0) return rc;
  FontInfo fi;
  if (!font_build(fi, std::move(vf), error)) return -3;
  return 0;
}

int gr_font_load(const char* name, int line_spacing) {
  if (!name) return -1;
  for (int i = 0; i < MAX_FONTS; i++) {
    if (Fonts[i].id != 0 && std::strcmp(Fonts[i].name, name) == 0) return i;
  }
  if (std::strlen(name) >= FONT_NAME_LEN) {
    std::printf("Font name too long (at most %d characters): %s\n", FONT_NAME_LEN - 1, name);
    return -1;
  }
  if (Num_fonts >= MAX_FONTS) {
    critical_error(__FILE__, __LINE__,
                   "Too many fonts loaded. Increase MAX_FONTS in \"Graphics\\Font.h\".\n");
  }

  FileHandle fh;
  if (fh.open(name, VF_READ, VFILE_ANY_TYPE) != 0) return -1;
  const int size = fh.size();
  std::vector<uint8_t> bytes(size > 0 ? static_cast<size_t>(size) : 0);
  const int got = size > 0 ? fh.read(bytes.data(), size) : 0;
  fh.close();
  if (got != size) {
    std::printf("Couldn't read font %s\n", name);
    return -1;
  }

  VfFont vf;
  std::string why;
  const int rc = vf_parse(bytes.data(), bytes.size(), &vf, &why);
  if (rc == -2) critical_error(__FILE__, __LINE__, "Trying to read a newer font version than supported!!\n");
  if (rc != 0) {
    std::printf("Bad font file %s: %s\n", name, why.c_str());
    return -1;
  }

  // The slot is taken only now, so a font that could not be read does not
  // use one up.
  FontInfo built;
  built.bitmap = -1;
  if (!font_build(built, std::move(vf), &why)) critical_error(__FILE__, __LINE__, why.c_str());
  const int slot = Num_fonts;
  FontInfo& fi = Fonts[slot];
  fi = std::move(built);
  std::snprintf(fi.name, sizeof(fi.name), "%s", name);
  if (line_spacing >= 0) fi.line_spacing = line_spacing;
  fi.bitmap = bm_create(BM_FORMAT_4444, fi.texture_w, fi.texture_h, fi.texture.data(), nullptr, -1);
  Num_fonts++;
  if (Default_font < 0) Default_font = slot;
  return slot;
}

void gr_font_close() {
  for (auto& f : Fonts) {
    if (f.id != 0) free_slot(f);
  }
  // Every slot is empty again, so the table can be filled anew (a screen
  // reopened after gr_close loads its fonts again).
  Num_fonts = 0;
  Current_font = -1;
  Default_font = -1;
}

int gr_font_select(int font) {
  if (font < 0) font = Default_font;
  if (font >= 0 && font < MAX_FONTS && Fonts[font].id != 0) {
    Current_font = font;
    return Fonts[font].height;
  }
  return 16;
}

int gr_font_select_spacing(int font) {
  if (font < 0) font = Default_font;
  if (font >= 0 && font < MAX_FONTS && Fonts[font].id != 0) {
    Current_font = font;
    return Fonts[font].line_spacing;
  }
  return 16;
}

int gr_font_get_current() { return Current_font; }

const FontInfo* gr_font_get(int font) {
  if (font < 0 || font >= MAX_FONTS || Fonts[font].id == 0) return nullptr;
  return &Fonts[font];
}

void gr_font_char_metrics(int font, int c, int next, int* width, int* advance) {
  const FontInfo* f = resolve(font);
  if (!f) {
    *width = *advance = 0;
    return;
  }
  metrics(*f, c, next, width, advance);
}

void gr_get_string_size(int* w, int* h, const char* text, int length, int font) {
  int ww = 0, hh = 0;
  const FontInfo* f = resolve(font);
  if (text && f) {
    int lines;
    measure(*f, text, length, &ww, &lines);
    hh = lines * f->height;
  }
  if (w) *w = ww;
  if (h) *h = hh;
}

int gr_string_centered_x(const char* text) {
  const FontInfo* f = resolve(-1);
  if (!text || !f) return gr_screen.clip_width / 2;
  return centered_x(*f, text);
}

void gr_string(int x, int y, const char* text, int font, RenderStateWord state) {
  if (!text) {
    Pen_x = x;
    Pen_y = y;
    return;
  }
  const FontInfo* f = resolve(font);
  if (!f) return;
  const bool centre = x == GR_CENTER_X;
  if (centre) x = centered_x(*f, text);
  const int start_x = x;
  for (const char* p = text; *p; p++) {
    const unsigned char c = static_cast<unsigned char>(*p);
    if (c == '\n') {
      x = centre ? centered_x(*f, p + 1) : start_x;
      y += f->height;
      continue;
    }
    if (c < 32) continue;
    int width, advance;
    metrics(*f, c, static_cast<unsigned char>(p[1]), &width, &advance);
    const int i = index_of(*f, c);
    if (i >= 0 && width > 0 && f->height > 0)
      gr_bitmap_ex(f->bitmap, x, y, width, f->height, f->glyph_x[i], f->glyph_y[i], state);
    x += advance;
  }
  Pen_x = x;
  Pen_y = y;
}

void gr_string_continue(const char* text, int font, RenderStateWord state) {
  if (!text) return;
  gr_string(Pen_x, Pen_y, text, font, state);
}

int gr_split_text(int* line_lengths, const char** line_starts, const char* text, int max_width,
                  int max_lines, char skip_char, int font) {
  if (!text || max_lines < 1) return 0;
  const FontInfo* f = resolve(font);
  const char* p = text;
  while (*p && is_white(*p)) p++;
  if (!*p) return 0;

  char line[FONT_MAX_MEASURED_LINE + 1];
  int line_len = 0;
  int count = 0;
  const char* start = nullptr;
  const char* break_at = nullptr;
  auto store = [&](const char* end) {
    if (line_starts) line_starts[count] = start;
    if (line_lengths) line_lengths[count] = static_cast<int>(end - start);
    count++;
    start = nullptr;
  };

  while (*p && count < max_lines) {
    if (!start) {
      while (is_blank(*p)) p++;
      if (!*p) break;
      start = p;
      line_len = 0;
      break_at = nullptr;
    }
    const char c = *p;
    if (skip_char && c == skip_char) {
      p++;
      while (*p && !is_white(*p)) p++;
      continue;
    }
    if (c == '\n') {
      store(p);
      p++;
      continue;
    }
    if (c == '-') break_at = p + 1;
    else if (is_blank(c) && p > start && !is_blank(p[-1])) break_at = p;

    bool too_wide = line_len >= FONT_MAX_MEASURED_LINE;
    if (!too_wide) {
      line[line_len++] = c;
      line[line_len] = 0;
      const int w = f ? width_of(*f, line, line_len) : 0;
      too_wide = w >= max_width;
    }
    if (!too_wide) {
      p++;
      continue;
    }
    if (break_at && break_at > start && break_at <= p + 1) {
      store(break_at);
      p = break_at;
    } else if (p > start) {
      store(p);  // this character starts the next line
    } else {
      // A single character wider than the line still makes a line, or the
      // walk would never move on.
      store(p + 1);
      p++;
    }
  }
  if (start && count < max_lines) store(p);
  return count;
}

int text_wrap(char* dest, size_t dest_size, const char* text, int max_width, int font) {
  if (!dest || dest_size == 0) return 0;
  dest[0] = 0;
  if (!text) return 0;
  // Every line holds at least one character, so this many lines is enough.
  const size_t most = std::min<size_t>(std::strlen(text) + 1, INT_MAX);
  std::vector<int> lengths(most);
  std::vector<const char*> starts(most);
  const int lines =
      gr_split_text(lengths.data(), starts.data(), text, max_width, static_cast<int>(most), 0, font);
  size_t out = 0;
  for (int i = 0; i < lines; i++) {
    if (i > 0 && out + 1 < dest_size) dest[out++] = '\n';
    for (int k = 0; k < lengths[i] && out + 1 < dest_size; k++) dest[out++] = starts[i][k];
  }
  dest[out] = 0;
  return lines;
}

const char* gr_next_line(int* length, const char* text, int max_width, int font) {
  if (!text) {
    if (length) *length = 0;
    return nullptr;
  }
  const int n = static_cast<int>(std::strlen(text));
  const FontInfo* f = resolve(font);
  auto width = [&](int len) { return f ? width_of(*f, text, len) : 0; };
  if (width(n) <= max_width) {
    if (length) *length = n;
    return nullptr;
  }
  int last_blank = -1, overflow = n;
  for (int i = 0; i < n; i++) {
    const char c = text[i];
    if (c == '\n') {
      if (length) *length = i;
      return text[i + 1] ? text + i + 1 : nullptr;
    }
    if (is_blank(c) && (i == 0 || !is_blank(text[i - 1]))) last_blank = i;
    if (width(i + 1) > max_width) {
      overflow = i;
      break;
    }
  }
  int pos = last_blank >= 0 ? last_blank : overflow;
  // At least one character per line, or a caller walking the text by lines
  // would be handed the same text again.
  if (pos == 0 && last_blank < 0) pos = 1;
  if (length) *length = pos;
  const char* q = text + pos;
  while (is_blank(*q)) q++;
  if (*q == '\n') q++;
  return *q ? q : nullptr;
}
