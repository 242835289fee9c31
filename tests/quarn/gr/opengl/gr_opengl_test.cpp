// The OpenGL texture cache's pure parts: texture sizes and the conversion of
// every bitmap format to RGBA.
#include "quarn/gr/opengl/gr_opengl.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "quarn/bmpman/bmpman.h"

namespace {

using Rgba = std::array<uint8_t, 4>;

Rgba texel(const std::vector<uint8_t>& buf, int tex_w, int x, int y) {
  const size_t i = (static_cast<size_t>(y) * tex_w + x) * 4;
  return {buf[i], buf[i + 1], buf[i + 2], buf[i + 3]};
}

TEST(GrOpenglTexture, SidesArePowersOfTwoHeldToTheMaximum) {
  struct Case {
    int side, max, want;
  } cases[] = {{1, 2048, 1}, {2, 2048, 2}, {3, 2048, 4}, {60, 2048, 64}, {100, 2048, 128},
               {257, 2048, 512}, {3000, 2048, 2048}, {0, 2048, 0}, {-5, 2048, 0}};
  for (const auto& c : cases) EXPECT_EQ(gr_opengl_texture_side(c.side, c.max), c.want) << c.side;
}

TEST(GrOpenglTexture, BitmapGoesTopLeftAndTheRestIsTransparentBlack) {
  // A 100 by 60 bitmap in a 128 by 64 texture.
  const int w = 100, h = 60;
  std::vector<uint8_t> px(static_cast<size_t>(w) * h * 3);
  for (size_t i = 0; i < px.size(); i += 3) px[i] = 10, px[i + 1] = 20, px[i + 2] = 30;
  std::vector<uint8_t> out(128 * 64 * 4, 0xEE);
  ASSERT_TRUE(gr_opengl_convert(BM_FORMAT_BGR24, px.data(), nullptr, w, h, out.data(), 128, 64));
  EXPECT_EQ(texel(out, 128, 0, 0), (Rgba{30, 20, 10, 255}));
  EXPECT_EQ(texel(out, 128, 99, 59), (Rgba{30, 20, 10, 255}));
  EXPECT_EQ(texel(out, 128, 100, 0), (Rgba{0, 0, 0, 0}));
  EXPECT_EQ(texel(out, 128, 0, 60), (Rgba{0, 0, 0, 0}));
  EXPECT_EQ(texel(out, 128, 127, 63), (Rgba{0, 0, 0, 0}));
}

TEST(GrOpenglTexture, EveryFormatConverts) {
  std::vector<uint8_t> palette(768, 0);
  palette[3 * 1 + 0] = 200, palette[3 * 1 + 1] = 100, palette[3 * 1 + 2] = 50;
  palette[3 * 2 + 1] = 255;  // pure green: transparent
  struct Case {
    const char* what;
    int format;
    std::vector<uint8_t> pixel;
    Rgba want;
  } cases[] = {
      {"palette", BM_FORMAT_PAL8, {1}, {200, 100, 50, 255}},
      {"palette green", BM_FORMAT_PAL8, {2}, {0, 0, 0, 0}},
      {"alpha byte through gamma", BM_FORMAT_ALPHA8, {255}, {255, 255, 255, 255}},
      {"alpha byte zero", BM_FORMAT_ALPHA8, {0}, {255, 255, 255, 0}},
      {"565 white", BM_FORMAT_565, {0xFF, 0xFF}, {255, 255, 255, 255}},
      {"565 red", BM_FORMAT_565, {0x00, 0xF8}, {255, 0, 0, 255}},
      {"565 mid green", BM_FORMAT_565, {0xE0, 0x03}, {0, 31 * 255 / 63, 0, 255}},
      {"4444", BM_FORMAT_4444, {0x8F, 0x4F}, {255, 136, 255, 68}},
      {"1555 opaque blue", BM_FORMAT_1555, {0x1F, 0x00}, {0, 0, 255, 255}},
      {"1555 transparent bit", BM_FORMAT_1555, {0x1F, 0x80}, {0, 0, 255, 0}},
      {"24-bit", BM_FORMAT_BGR24, {1, 2, 3}, {3, 2, 1, 255}},
      {"24-bit pure green", BM_FORMAT_BGR24, {0, 255, 0}, {0, 0, 0, 0}},
      {"32-bit", BM_FORMAT_BGRA32, {1, 2, 3, 4}, {3, 2, 1, 4}},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> out(4, 0xEE);
    EXPECT_TRUE(gr_opengl_convert(c.format, c.pixel.data(), palette.data(), 1, 1, out.data(), 1, 1)) << c.what;
    EXPECT_EQ(texel(out, 1, 0, 0), c.want) << c.what;
  }
  std::vector<uint8_t> out(4, 0xEE);
  const uint8_t two[2] = {1, 2};
  EXPECT_FALSE(gr_opengl_convert(BM_FORMAT_16BIT, two, nullptr, 1, 1, out.data(), 1, 1));
  EXPECT_FALSE(gr_opengl_convert(BM_FORMAT_PAL8, two, nullptr, 1, 1, out.data(), 1, 1));
}

TEST(GrOpenglTexture, LargerThanTheTextureIsSampledDownNotOverrun) {
  // A 64 by 32 bitmap whose columns count up, into an 8 by 4 texture: the
  // conversion never writes past the texture and keeps the picture's order.
  const int w = 64, h = 32;
  std::vector<uint8_t> px(static_cast<size_t>(w) * h * 4);
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) {
      uint8_t* p = &px[(static_cast<size_t>(y) * w + x) * 4];
      p[0] = static_cast<uint8_t>(y), p[1] = 0, p[2] = static_cast<uint8_t>(x), p[3] = 255;
    }
  std::vector<uint8_t> out(8 * 4 * 4 + 16, 0xEE);
  ASSERT_TRUE(gr_opengl_convert(BM_FORMAT_BGRA32, px.data(), nullptr, w, h, out.data(), 8, 4));
  EXPECT_EQ(texel(out, 8, 0, 0), (Rgba{0, 0, 0, 255}));
  EXPECT_EQ(texel(out, 8, 1, 0), (Rgba{8, 0, 0, 255}));
  EXPECT_EQ(texel(out, 8, 7, 3), (Rgba{56, 0, 24, 255}));
  for (size_t i = 8 * 4 * 4; i < out.size(); i++) EXPECT_EQ(out[i], 0xEE);
}

}  // namespace
