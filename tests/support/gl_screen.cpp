#include "tests/support/gl_screen.h"

#include <gtest/gtest.h>

#include <string>

#include "quarn/bmpman/bmpman.h"
#include "quarn/bmpman/targautils.h"
#include "quarn/gr/gr.h"
#include "quarn/os/os.h"
#include "tests/support/test_files.h"

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
