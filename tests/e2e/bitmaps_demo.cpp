// The demo's bitmaps as the game sees them: the data builder writes them and
// packs them, the bitmap manager finds them by name through the game's path
// types, the OpenGL renderer draws them (Xvfb, Mesa), and the screenshot
// code saves the screen as Targa and as JPEG, which Debian's djpeg decodes.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "Orrimund/fs_paths.h"
#include "quarn/bmpman/bmpman.h"
#include "quarn/bmpman/targautils.h"
#include "quarn/gr/gr.h"
#include "quarn/os/os.h"
#include "quarn/vfile/vfile.h"
#include "tests/support/gl_screen.h"
#include "tests/support/test_files.h"

namespace fs = std::filesystem;

namespace {

fs::path Tmp;
fs::path Demo;
int Shots_type = -1;

struct Image {
  int w = 0, h = 0;
  std::vector<uint8_t> rgb;  // red, green, blue; top row first
  const uint8_t* at(int x, int y) const { return &rgb[(static_cast<size_t>(y) * w + x) * 3]; }
};

Image targa_image(const std::vector<uint8_t>& bytes) {
  Image img;
  TargaHeader h;
  if (!targa_parse_header(bytes.data(), bytes.size(), &h) || h.bits_per_pixel != 24) return img;
  img.w = h.width;
  img.h = h.height;
  std::vector<uint8_t> bgr(static_cast<size_t>(img.w) * img.h * 3);
  if (targa_decode(bytes.data(), bytes.size(), bgr.data(), bgr.size(), nullptr) != 0) return Image{};
  img.rgb.resize(bgr.size());
  for (size_t i = 0; i < bgr.size(); i += 3) {
    img.rgb[i] = bgr[i + 2];
    img.rgb[i + 1] = bgr[i + 1];
    img.rgb[i + 2] = bgr[i];
  }
  return img;
}

// A binary PPM as djpeg writes it.
Image ppm_image(const std::vector<uint8_t>& bytes) {
  Image img;
  std::string head(bytes.begin(), bytes.begin() + std::min<size_t>(bytes.size(), 64));
  int maxval = 0, consumed = 0;
  if (std::sscanf(head.c_str(), "P6 %d %d %d%n", &img.w, &img.h, &maxval, &consumed) != 3 || maxval != 255)
    return Image{};
  const size_t start = static_cast<size_t>(consumed) + 1;
  const size_t n = static_cast<size_t>(img.w) * img.h * 3;
  if (bytes.size() < start + n) return Image{};
  img.rgb.assign(bytes.begin() + start, bytes.begin() + start + n);
  return img;
}

class BitmapsDemo : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Tmp = test_scratch_root("bitmaps_demo");
    Demo = Tmp / "demo";
    fs::remove_all(Demo);
    const char* bin = std::getenv("ORRIMUND_BIN_DIR");
    const std::string make_demo = (bin ? std::string(bin) : std::string(".")) + "/make_demo";
    ASSERT_EQ(std::system((make_demo + " " + Demo.string() + " > /dev/null").c_str()), 0);

    vfile_set_root(Demo.c_str(), true);
    fs_register_path_types();
    Shots_type = vfile_add_path_type("screenshots", ".tga .jpg");
    ASSERT_NO_FATAL_FAILURE(gl_screen_open("Orrimund Bitmap Test"));
  }
  static void TearDownTestSuite() { gl_screen_close(); }
};

TEST_F(BitmapsDemo, EveryDemoBitmapLoadsByNameAndLocks) {
  struct Want {
    const char* name;
    int type, format, w, h, mips, frames;
  };
  const Want wants[] = {
      {"refmap01.tga", BM_TYPE_TGA, BM_FORMAT_BGRA32, 64, 64, 4, 1},
      {"hud-loading.tga", BM_TYPE_TGA, BM_FORMAT_BGR24, 256, 32, 1, 1},
      {"Shadow01.tga", BM_TYPE_TGA, BM_FORMAT_PAL8, 32, 32, 2, 1},
      {"cursor-walk.vbm", BM_TYPE_VBM, BM_FORMAT_1555, 32, 32, 1, 8},
      {"cursorspot-walkto.vbm", BM_TYPE_VBM, BM_FORMAT_1555, 32, 32, 1, 6},
      {"colourwheel.pcx", BM_TYPE_PCX, BM_FORMAT_PAL8, 64, 64, 1, 1},
  };
  for (const Want& w : wants) {
    SCOPED_TRACE(w.name);
    int frames = 0, fps = 0;
    const int h = bm_load_animation(w.name, &frames, &fps);
    ASSERT_GE(h, 0);
    EXPECT_FALSE(bm_is_placeholder(h));
    EXPECT_EQ(frames, w.frames);
    const BitmapEntry* e = bm_get_entry(h);
    EXPECT_EQ(e->type, w.type);
    EXPECT_EQ(e->format, w.format);
    EXPECT_EQ(e->width, w.w);
    EXPECT_EQ(e->height, w.h);
    EXPECT_EQ(e->mip_levels, w.mips);
    uint8_t* data = nullptr;
    uint8_t* palette = nullptr;
    EXPECT_EQ(bm_lock(h, &data, &palette), w.format);
    EXPECT_NE(data, nullptr);
    if (w.format == BM_FORMAT_PAL8) {
      EXPECT_NE(palette, nullptr);
    }
    bm_unlock(h);
  }
  EXPECT_FALSE(bm_is_placeholder(-1)) << "no demo bitmap was missing";
}

TEST_F(BitmapsDemo, DrawnBitmapsComeBackInTargaAndJpegScreenshots) {
  const int bar = bm_load("hud-loading.tga");
  const int wheel = bm_load("colourwheel.pcx");
  ASSERT_FALSE(bm_is_placeholder(bar));
  ASSERT_FALSE(bm_is_placeholder(wheel));

  gr_clear();
  gr_set_color(255, 255, 255, 255);
  gr_bitmap(bar, 40, 60, Gr_preset[1]);
  gr_bitmap(wheel, 400, 200, Gr_preset[1]);
  ASSERT_TRUE(gr_print_screen("demo0001", false, Shots_type));
  ASSERT_TRUE(gr_print_screen("demo0002", true, Shots_type));
  gr_flip();

  // What was drawn, from the demo's own files.
  const Image bar_src = targa_image(read_file_bytes(Demo / "data/interface/pc/hud-loading.tga"));
  ASSERT_EQ(bar_src.w, 256);
  const auto pcx = read_file_bytes(Demo / "data/interface/pc/colourwheel.pcx");
  std::vector<uint8_t> indices(64 * 64);
  uint8_t palette[768];
  ASSERT_EQ(pcx_decode(pcx.data(), pcx.size(), indices.data(), indices.size(), palette), PCX_ERROR_NONE);

  const Image tga = targa_image(read_file_bytes(Tmp / "demo/screenshots/demo0001.tga"));
  ASSERT_EQ(tga.w, 640);
  ASSERT_EQ(tga.h, 480);

  const fs::path ppm = Tmp / "demo0002.ppm";
  const std::string cmd = "djpeg -pnm -outfile " + ppm.string() + " " + (Tmp / "demo/screenshots/demo0002.jpg").string();
  ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
  const Image jpg = ppm_image(read_file_bytes(ppm));
  ASSERT_EQ(jpg.w, 640);
  ASSERT_EQ(jpg.h, 480);

  // The Targa shot holds the drawn pixels; the JPEG is close to it.
  int wrong = 0;
  double jpeg_error = 0;
  int count = 0;
  auto compare = [&](int sx, int sy, const uint8_t* want) {
    const uint8_t* got = tga.at(sx, sy);
    for (int c = 0; c < 3; c++) {
      if (std::abs(got[c] - want[c]) > 6) wrong++;
      jpeg_error += std::abs(jpg.at(sx, sy)[c] - want[c]);
      count++;
    }
  };
  for (int y = 0; y < 32; y++)
    for (int x = 0; x < 256; x++) compare(40 + x, 60 + y, bar_src.at(x, y));
  for (int y = 0; y < 64; y++)
    for (int x = 0; x < 64; x++) compare(400 + x, 200 + y, &palette[indices[y * 64 + x] * 3]);
  EXPECT_EQ(wrong, 0) << "drawn pixels differ in the Targa screenshot";
  EXPECT_LT(jpeg_error / count, 6.0) << "the JPEG screenshot is far from the screen";
  // Black around the bitmaps.
  for (const auto& [x, y] : {std::pair{39, 60}, std::pair{296, 91}, std::pair{399, 200}, std::pair{464, 264}})
    EXPECT_LE(tga.at(x, y)[0] + tga.at(x, y)[1] + tga.at(x, y)[2], 6) << x << "," << y;
}

}  // namespace
