#include "tests/support/gl_screen.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "quarn/bmpman/bmpman.h"
#include "quarn/bmpman/targautils.h"
#include "quarn/gr/gr.h"
#include "quarn/os/os.h"
#include "tests/support/test_files.h"
#include "tools/writers/image_writers.h"
#include "tools/writers/vf_writer.h"

void gl_screen_open(const char* application) {
  os_init("Quorvane", application);
  ASSERT_NE(os_get_window(), 0u) << "no X window: run under xvfb-run";
  bm_init();
  gr_init(640, 480, GR_OPENGL, GR_WINDOWED, os_get_window(), false);
  gr_fade_in(0);
}

void gl_screen_close() {
  gr_close();
  bm_close();
  os_shutdown();
}

ScreenImage gl_screen_shot(const std::filesystem::path& dir, const char* base, int path_type) {
  ScreenImage img;
  EXPECT_TRUE(gr_print_screen(base, false, path_type));
  const std::filesystem::path file = dir / (std::string(base) + ".tga");
  const std::vector<uint8_t> bytes = read_file_bytes(file);
  TargaHeader hdr;
  if (!targa_parse_header(bytes.data(), bytes.size(), &hdr)) {
    ADD_FAILURE() << "no screenshot at " << file;
    return img;
  }
  img.w = hdr.width;
  img.h = hdr.height;
  img.bgr.resize(static_cast<size_t>(img.w) * img.h * 3);
  const char* why = nullptr;
  EXPECT_EQ(targa_decode(bytes.data(), bytes.size(), img.bgr.data(), img.bgr.size(), nullptr, &why), 0)
      << (why ? why : "");
  return img;
}

double gl_screen_share_alike(const ScreenImage& a, const ScreenImage& b, int tolerance, int* worst) {
  if (a.w != b.w || a.h != b.h || a.bgr.empty()) return 0.0;
  size_t alike = 0;
  int most = 0;
  for (size_t i = 0; i + 2 < a.bgr.size(); i += 3) {
    int d = 0;
    for (int c = 0; c < 3; c++) d = std::max(d, std::abs(a.bgr[i + c] - b.bgr[i + c]));
    most = std::max(most, d);
    alike += d <= tolerance;
  }
  if (worst) *worst = most;
  return static_cast<double>(alike) / static_cast<double>(a.bgr.size() / 3);
}

void gl_screen_quadrant_pixel(int x, int y, int size, uint8_t* bgr) {
  const bool right = x >= size / 2, bottom = y >= size / 2;
  int r = 0, g = 0, b = 0;
  if (x == y) r = g = b = 255;
  else if (!right && !bottom) r = 220;
  else if (right && !bottom) g = 220;
  else if (!right && bottom) b = 220;
  else r = g = 180;
  bgr[0] = static_cast<uint8_t>(b), bgr[1] = static_cast<uint8_t>(g), bgr[2] = static_cast<uint8_t>(r);
}

bool gl_screen_write_test_data(const std::filesystem::path& root) {
  std::filesystem::create_directories(root / "data" / "fonts");
  std::filesystem::create_directories(root / "data" / "interface");
  const int size = 32;
  std::vector<uint8_t> px(size * size * 3);
  for (int y = 0; y < size; y++)
    for (int x = 0; x < size; x++) gl_screen_quadrant_pixel(x, y, size, &px[(y * size + x) * 3]);
  if (!tga_write_file((root / "data" / "interface" / "quads.tga").string(), px.data(), size, size, 24)) return false;
  VfWriterFont font;
  font.first_char = 32;
  font.height = 10;
  font.default_advance = 8;
  for (int c = 32; c < 127; c++) {
    VfWriterGlyph g;
    g.advance = 8;
    g.width = c == ' ' ? 0 : 6;
    g.pixels.assign(static_cast<size_t>(g.width) * 10, 14);
    font.glyphs.push_back(g);
  }
  return vf_write_file((root / "data" / "fonts" / "blocks.vf").string(), font);
}

void gl_screen_pinhole(const vector& p, float& px, float& py) {
  px = 320.0f + 320.0f * p.x / p.z;
  py = 240.0f - 320.0f * p.y / p.z;
}

vector gl_screen_skin_point(const transform& t, const vector& p) {
  const matrix& m = t.orient;
  return vector(m.right.x * p.x + m.up.x * p.y + m.forward.x * p.z + t.pos.x,
                m.right.y * p.x + m.up.y * p.y + m.forward.y * p.z + t.pos.y,
                m.right.z * p.x + m.up.z * p.y + m.forward.z * p.z + t.pos.z);
}
