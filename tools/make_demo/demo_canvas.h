#pragma once
// A small RGBA picture the demo's front-end art is drawn on: fills, frames,
// gradients, discs and DejaVu text through FreeType, written as Targa.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <ft2build.h>
#include FT_FREETYPE_H

#include "tools/writers/image_writers.h"

namespace demo_art {

struct Rgba {
  int r, g, b, a = 255;
};

// Item colours: idle labels grey, the lit ones pale yellow, as the screens'
// text colours are.
constexpr Rgba TEXT{180, 180, 180}, LIT{255, 255, 158}, PRESSED{212, 165, 51};
constexpr Rgba CLEAR{0, 0, 0, 0};

class Canvas {
 public:
  Canvas(int w, int h, Rgba c) : w_(w), h_(h), px_(static_cast<size_t>(w) * h * 4) { fill(0, 0, w, h, c); }
  int w() const { return w_; }
  int h() const { return h_; }

  void put(int x, int y, Rgba c, double cover = 1.0) {
    if (x < 0 || y < 0 || x >= w_ || y >= h_) return;
    uint8_t* p = &px_[(static_cast<size_t>(y) * w_ + x) * 4];
    const double a = c.a / 255.0 * cover;
    const double old_a = p[3] / 255.0;
    const double out_a = a + old_a * (1 - a);
    auto mix = [&](int src, uint8_t dst) {
      return out_a <= 0 ? 0 : static_cast<uint8_t>(std::lround((src * a + dst * old_a * (1 - a)) / out_a));
    };
    p[0] = mix(c.b, p[0]);
    p[1] = mix(c.g, p[1]);
    p[2] = mix(c.r, p[2]);
    p[3] = static_cast<uint8_t>(std::lround(out_a * 255));
  }
  void set(int x, int y, Rgba c) {
    if (x < 0 || y < 0 || x >= w_ || y >= h_) return;
    uint8_t* p = &px_[(static_cast<size_t>(y) * w_ + x) * 4];
    p[0] = static_cast<uint8_t>(c.b), p[1] = static_cast<uint8_t>(c.g), p[2] = static_cast<uint8_t>(c.r);
    p[3] = static_cast<uint8_t>(c.a);
  }
  void fill(int x, int y, int w, int h, Rgba c) {
    for (int j = y; j < y + h; j++)
      for (int i = x; i < x + w; i++) set(i, j, c);
  }
  void frame(int x, int y, int w, int h, int t, Rgba c) {
    fill(x, y, w, t, c);
    fill(x, y + h - t, w, t, c);
    fill(x, y, t, h, c);
    fill(x + w - t, y, t, h, c);
  }
  // Top to bottom from one colour to the other.
  void gradient(int x, int y, int w, int h, Rgba top, Rgba bottom) {
    for (int j = 0; j < h; j++) {
      const double t = h > 1 ? static_cast<double>(j) / (h - 1) : 0;
      const Rgba c{static_cast<int>(top.r + (bottom.r - top.r) * t), static_cast<int>(top.g + (bottom.g - top.g) * t),
                   static_cast<int>(top.b + (bottom.b - top.b) * t), 255};
      fill(x, y + j, w, 1, c);
    }
  }
  void disc(double cx, double cy, double r, Rgba c) {
    for (int j = static_cast<int>(cy - r) - 1; j <= cy + r + 1; j++)
      for (int i = static_cast<int>(cx - r) - 1; i <= cx + r + 1; i++) {
        const double d = std::hypot(i + 0.5 - cx, j + 0.5 - cy);
        if (d < r + 0.5) put(i, j, c, std::clamp(r + 0.5 - d, 0.0, 1.0));
      }
  }
  // Text with its top at y; x is the left edge, or the centre when `centre`.
  void text(FT_Face face, int size, int x, int y, const char* s, Rgba c, bool centre = false) {
    FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(size));
    if (centre) x -= text_width(face, size, s) / 2;
    const int base = y + static_cast<int>(face->size->metrics.ascender >> 6);
    int pen = x;
    for (const char* p = s; *p; p++) {
      if (FT_Load_Char(face, static_cast<unsigned char>(*p), FT_LOAD_RENDER) != 0) continue;
      const FT_GlyphSlot g = face->glyph;
      for (unsigned row = 0; row < g->bitmap.rows; row++)
        for (unsigned col = 0; col < g->bitmap.width; col++) {
          const int v = g->bitmap.buffer[row * g->bitmap.pitch + col];
          if (v) put(pen + g->bitmap_left + static_cast<int>(col), base - g->bitmap_top + static_cast<int>(row), c, v / 255.0);
        }
      pen += static_cast<int>(g->advance.x >> 6);
    }
  }
  static int text_width(FT_Face face, int size, const char* s) {
    FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(size));
    int w = 0;
    for (const char* p = s; *p; p++)
      if (FT_Load_Char(face, static_cast<unsigned char>(*p), FT_LOAD_DEFAULT) == 0) w += static_cast<int>(face->glyph->advance.x >> 6);
    return w;
  }
  bool write(const std::string& path, bool alpha) const {
    if (alpha) {
      TgaWriterOptions o;
      o.alpha_bits = 8;
      return tga_write_file(path, px_.data(), w_, h_, 32, o);
    }
    std::vector<uint8_t> rgb;
    rgb.reserve(static_cast<size_t>(w_) * h_ * 3);
    for (size_t i = 0; i < px_.size(); i += 4) rgb.insert(rgb.end(), {px_[i], px_[i + 1], px_[i + 2]});
    return tga_write_file(path, rgb.data(), w_, h_, 24);
  }

 private:
  int w_, h_;
  std::vector<uint8_t> px_;  // blue, green, red, alpha
};

// Starts FreeType with the two DejaVu faces the art is lettered in; false
// (with the reason printed) when they cannot be had.
inline bool open_faces(FT_Library* lib, FT_Face* bold, FT_Face* serif) {
  if (FT_Init_FreeType(lib) != 0) {
    std::fprintf(stderr, "make_demo: FreeType did not start\n");
    return false;
  }
  const std::string dejavu = "/usr/share/fonts/truetype/dejavu/";
  if (FT_New_Face(*lib, (dejavu + "DejaVuSans-Bold.ttf").c_str(), 0, bold) != 0 ||
      FT_New_Face(*lib, (dejavu + "DejaVuSerif-Bold.ttf").c_str(), 0, serif) != 0) {
    std::fprintf(stderr, "make_demo: cannot open the DejaVu fonts (package fonts-dejavu-core)\n");
    FT_Done_FreeType(*lib);
    return false;
  }
  return true;
}

}  // namespace demo_art
