// Screenshots from a fake back buffer: Targa rows bottom first and encoded
// row by row, JPEG within JPEG's tolerance, and screens that cannot be read
// skipped without ending the program.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "quarn/bmpman/targautils.h"
#include "tests/quarn/bmpman/bm_test_util.h"
#include "tools/writers/image_writers.h"

namespace {

int g_w = 0, g_h = 0, g_format = 6;
// The back buffer: blue, green, red bytes (format 6) or 5-6-5 (format 3), top row first.
std::vector<uint8_t> g_screen;

void fake_clip(int* x, int* y, int* w, int* h) {
  *x = 3;
  *y = 5;
  *w = g_w;
  *h = g_h;
}

int fake_read(int x, int y, int w, int h, uint8_t* buffer) {
  EXPECT_EQ(x, 3);
  EXPECT_EQ(y, 5);
  const size_t bytes = g_format == 3 ? 2 : 3;
  std::copy(g_screen.begin(), g_screen.begin() + static_cast<size_t>(w) * h * bytes, buffer);
  return g_format;
}

// A smooth picture, so JPEG's losses stay small.
void make_screen(int w, int h, int format) {
  g_w = w;
  g_h = h;
  g_format = format;
  g_screen.clear();
  for (int y = 0; y < h; y++) {
    for (int x = 0; x < w; x++) {
      const int r = x * 255 / w, g = y * 255 / h, b = 128 + (x + y) % 64;
      if (format == 3) {
        const int p = ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3);
        g_screen.push_back(static_cast<uint8_t>(p & 0xff));
        g_screen.push_back(static_cast<uint8_t>(p >> 8));
      } else {
        g_screen.insert(g_screen.end(), {uint8_t(b), uint8_t(g), uint8_t(r)});
      }
    }
  }
}

std::vector<uint8_t> read_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// Red, green, blue bytes of the screen as the player saw it.
std::vector<uint8_t> screen_rgb() {
  std::vector<uint8_t> out;
  for (size_t i = 0; i < static_cast<size_t>(g_w) * g_h; i++) {
    if (g_format == 3) {
      const int p = g_screen[i * 2] | (g_screen[i * 2 + 1] << 8);
      out.insert(out.end(), {uint8_t((p >> 8) & 0xf8), uint8_t((p >> 3) & 0xfc), uint8_t((p & 31) << 3)});
    } else {
      out.insert(out.end(), {g_screen[i * 3 + 2], g_screen[i * 3 + 1], g_screen[i * 3]});
    }
  }
  return out;
}

std::vector<uint8_t> decode_jpeg(const std::string& path, int* w, int* h) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return {};
  jpeg_decompress_struct cinfo;
  jpeg_error_mgr err;
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_decompress(&cinfo);
  jpeg_stdio_src(&cinfo, f);
  jpeg_read_header(&cinfo, TRUE);
  cinfo.out_color_space = JCS_RGB;
  jpeg_start_decompress(&cinfo);
  *w = static_cast<int>(cinfo.output_width);
  *h = static_cast<int>(cinfo.output_height);
  std::vector<uint8_t> out(static_cast<size_t>(*w) * *h * 3);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = out.data() + static_cast<size_t>(cinfo.output_scanline) * *w * 3;
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  std::fclose(f);
  return out;
}

class Screenshot : public TempRootTest {
 protected:
  void SetUp() override {
    TempRootTest::SetUp();
    gr_print_screen_set_hooks(fake_clip, fake_read);
    shots_ = vfile_add_path_type("data\\screenshots", ".tga .jpg");
    ASSERT_GT(shots_, 0);
  }
  void TearDown() override {
    gr_print_screen_set_hooks(nullptr, nullptr);
    TempRootTest::TearDown();
  }
  std::string shot_path(const std::string& file) const { return root() + "data/screenshots/" + file; }
  int shots_ = 0;
};

TEST_F(Screenshot, TargaIsBottomRowFirstAndEncodedRowByRow) {
  for (int format : {6, 3}) {
    SCOPED_TRACE(format == 6 ? "24-bit screen" : "16-bit screen");
    make_screen(640, 480, format);
    ASSERT_TRUE(gr_print_screen("shot0001", false, shots_));
    const auto file = read_bytes(shot_path("shot0001.tga"));
    ASSERT_GT(file.size(), 18u);
    EXPECT_EQ(file[2], 10);
    EXPECT_EQ(file[12] | (file[13] << 8), 640);
    EXPECT_EQ(file[14] | (file[15] << 8), 480);
    EXPECT_EQ(file[16], 24);
    EXPECT_EQ(file[17], 0) << "descriptor 0: the first row in the file is the bottom one";

    // Every row ends on a packet boundary.
    size_t pos = 18;
    for (int row = 0; row < 480; row++) {
      int x = 0;
      while (x < 640) {
        ASSERT_LT(pos, file.size());
        const int head = file[pos++];
        const int n = (head & 0x7f) + 1;
        pos += (head & 0x80) ? 3 : 3 * n;
        x += n;
      }
      ASSERT_EQ(x, 640) << "a packet crosses the end of row " << row;
    }
    EXPECT_EQ(pos, file.size());

    std::vector<uint8_t> pixels(640 * 480 * 3);
    ASSERT_EQ(targa_decode(file.data(), file.size(), pixels.data(), pixels.size(), nullptr), 0);
    const auto rgb = screen_rgb();
    for (size_t i = 0; i < pixels.size(); i += 3) {
      ASSERT_EQ(pixels[i], rgb[i + 2]) << "pixel " << i / 3;
      ASSERT_EQ(pixels[i + 1], rgb[i + 1]);
      ASSERT_EQ(pixels[i + 2], rgb[i]);
    }
  }
}

TEST_F(Screenshot, JpegDecodesCloseToTheScreen) {
  for (int format : {6, 3}) {
    SCOPED_TRACE(format == 6 ? "24-bit screen" : "16-bit screen");
    make_screen(160, 96, format);
    ASSERT_TRUE(gr_print_screen("view", true, shots_));
    int w = 0, h = 0;
    const auto got = decode_jpeg(shot_path("view.jpg"), &w, &h);
    ASSERT_EQ(w, 160);
    ASSERT_EQ(h, 96);
    const auto want = screen_rgb();
    double total = 0;
    int worst = 0;
    for (size_t i = 0; i < want.size(); i++) {
      const int d = std::abs(int(got[i]) - int(want[i]));
      total += d;
      worst = std::max(worst, d);
    }
    EXPECT_LT(total / want.size(), 3.0);
    EXPECT_LT(worst, 48);
  }
}

TEST_F(Screenshot, UnreadableScreenIsReportedAndSkipped) {
  make_screen(32, 16, 7);  // a format the writer does not know
  ::testing::internal::CaptureStdout();
  EXPECT_FALSE(gr_print_screen("odd", false, shots_));
  EXPECT_FALSE(gr_print_screen("odd", true, shots_));
  const std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("The current screen mode doesn't support print screen... see your graphics guy.\n"),
            std::string::npos)
      << out;
  EXPECT_FALSE(std::filesystem::exists(shot_path("odd.tga")));
  EXPECT_FALSE(std::filesystem::exists(shot_path("odd.jpg")));

  make_screen(32, 16, 0);  // the renderer could not read its buffer
  ::testing::internal::CaptureStdout();
  EXPECT_FALSE(gr_print_screen("failed", false, shots_));
  ::testing::internal::GetCapturedStdout();

  gr_print_screen_set_hooks(nullptr, nullptr);  // no renderer yet: an empty screen
  ::testing::internal::CaptureStdout();
  EXPECT_FALSE(gr_print_screen("none", false, shots_));
  ::testing::internal::GetCapturedStdout();
  EXPECT_FALSE(std::filesystem::exists(shot_path("none.tga")));
}

TEST_F(Screenshot, JpegWriterReportsAFileItCannotOpen) {
  std::vector<uint8_t> rgb(8 * 8 * 3, 100);
  EXPECT_FALSE(jpeg_write_file((root() + "no/such/dir/x.jpg").c_str(), rgb.data(), 8, 8));
  EXPECT_TRUE(jpeg_write_file((root() + "x.jpg").c_str(), rgb.data(), 8, 8));
}

}  // namespace
