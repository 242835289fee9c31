// Demo step: the game's fonts, rasterised from DejaVu (Debian's
// fonts-dejavu-core) with FreeType into .vf files under <root>/data/fonts.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>

#include <ft2build.h>
#include FT_FREETYPE_H

#include "tools/make_demo/demo_steps.h"
#include "tools/writers/vf_writer.h"

namespace {

const char* const Dejavu_dir = "/usr/share/fonts/truetype/dejavu/";

struct DemoFont {
  const char* file;  // written under data/fonts
  const char* face;  // DejaVu face file
  int pixel_size;    // FreeType em size in pixels
};

// The three fonts the game loads at start-up.
const DemoFont Demo_fonts[] = {
    {"orrbones-small-pc.vf", "DejaVuSans-Bold.ttf", 11},
    {"font-small.vf", "DejaVuSans.ttf", 10},
    {"Orrbones-small.vf", "DejaVuSerif-Bold.ttf", 13},
};

// Rasterises the printable ASCII characters and the two arrows into
// coverage levels 0..14.
bool rasterise(FT_Library lib, const DemoFont& df, VfWriterFont* out) {
  const std::string path = std::string(Dejavu_dir) + df.face;
  FT_Face face;
  if (FT_New_Face(lib, path.c_str(), 0, &face) != 0) {
    std::fprintf(stderr, "make_demo: cannot open font %s (package fonts-dejavu-core)\n", path.c_str());
    return false;
  }
  FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(df.pixel_size));
  const int ascender = static_cast<int>(face->size->metrics.ascender >> 6);
  const int descender = static_cast<int>(-(face->size->metrics.descender >> 6));
  const int height = ascender + descender;

  VfWriterFont font;
  font.id = 0x4F52;
  font.version = 1;
  font.kind = 15;
  font.first_char = 32;
  font.height = height;
  // Past the printable ASCII characters the fonts hold the scroll arrows
  // of the conversation text box at 169 (up) and 170 (down); the codes
  // between them are blank.
  for (int code = 32; code <= 170; code++) {
    VfWriterGlyph g;
    const FT_ULong ft_code = code < 127 ? static_cast<FT_ULong>(code) : code == 169 ? 0x25B2 : code == 170 ? 0x25BC : 0;
    if (ft_code == 0) {
      g.advance = g.width = font.glyphs[0].advance;
      g.pixels.assign(static_cast<size_t>(g.width) * height, 0);
      font.glyphs.push_back(std::move(g));
      continue;
    }
    if (FT_Load_Char(face, ft_code, FT_LOAD_RENDER | FT_LOAD_TARGET_NORMAL) != 0) {
      std::fprintf(stderr, "make_demo: %s has no glyph for %d\n", df.face, code);
      FT_Done_Face(face);
      return false;
    }
    const FT_GlyphSlot slot = face->glyph;
    const FT_Bitmap& bm = slot->bitmap;
    g.advance = static_cast<int>((slot->advance.x + 32) >> 6);
    // The cell spans the advance and any ink beyond it.
    const int left = slot->bitmap_left < 0 ? slot->bitmap_left : 0;
    const int right = std::max(g.advance, slot->bitmap_left + static_cast<int>(bm.width));
    g.width = right - left;
    g.pixels.assign(static_cast<size_t>(g.width) * height, 0);
    for (unsigned row = 0; row < bm.rows; row++) {
      const int y = ascender - slot->bitmap_top + static_cast<int>(row);
      if (y < 0 || y >= height) continue;
      for (unsigned col = 0; col < bm.width; col++) {
        const int x = slot->bitmap_left - left + static_cast<int>(col);
        if (x < 0 || x >= g.width) continue;
        const int cov = bm.buffer[row * bm.pitch + col];
        g.pixels[static_cast<size_t>(y) * g.width + x] = static_cast<uint8_t>((cov * 14 + 127) / 255);
      }
    }
    font.glyphs.push_back(std::move(g));
  }
  font.default_advance = font.glyphs[0].advance;  // a space

  if (FT_HAS_KERNING(face)) {
    for (int a = 33; a < 127; a++) {
      for (int b = 33; b < 127; b++) {
        FT_Vector k;
        const FT_UInt ga = FT_Get_Char_Index(face, static_cast<FT_ULong>(a));
        const FT_UInt gb = FT_Get_Char_Index(face, static_cast<FT_ULong>(b));
        if (FT_Get_Kerning(face, ga, gb, FT_KERNING_DEFAULT, &k) != 0) continue;
        const int px = static_cast<int>(std::lround(k.x / 64.0));
        if (px != 0 && px >= -128 && px <= 127) font.kerns.push_back({a, b, px});
      }
    }
  }
  FT_Done_Face(face);
  *out = std::move(font);
  return true;
}

}  // namespace

bool demo_build_fonts(const std::string& root) {
  const std::filesystem::path dir = std::filesystem::path(root) / "data" / "fonts";
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec) {
    std::fprintf(stderr, "make_demo: cannot create %s\n", dir.c_str());
    return false;
  }
  FT_Library lib;
  if (FT_Init_FreeType(&lib) != 0) {
    std::fprintf(stderr, "make_demo: FreeType did not start\n");
    return false;
  }
  bool ok = true;
  for (const DemoFont& df : Demo_fonts) {
    VfWriterFont font;
    if (!rasterise(lib, df, &font) || !vf_write_file((dir / df.file).string(), font)) {
      ok = false;
      break;
    }
  }
  FT_Done_FreeType(lib);
  return ok;
}

DEMO_STEP(demo_build_fonts, DEMO_ORDER_FONTS);
