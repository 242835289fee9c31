// Demo step: what the game shell shows on its own: the start-up splash
// "combined.tga" and the cursors that are not part of the bitmap samples.
// The splash is four coloured quarters around a pale diamond, so a picture of
// the screen tells at a glance which quarter landed where.
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "tools/make_demo/demo_steps.h"
#include "tools/writers/image_writers.h"

namespace {

constexpr int SPLASH_W = 640, SPLASH_H = 480;

// Quarters, red-green-blue: top left red, top right green, bottom left blue,
// bottom right yellow.
constexpr uint8_t QUARTERS[4][3] = {{200, 40, 40}, {40, 180, 60}, {40, 60, 200}, {220, 200, 40}};

std::vector<uint8_t> splash_pixels() {
  std::vector<uint8_t> out;
  out.reserve(SPLASH_W * SPLASH_H * 3);
  for (int y = 0; y < SPLASH_H; y++) {
    for (int x = 0; x < SPLASH_W; x++) {
      const int q = (y >= SPLASH_H / 2 ? 2 : 0) + (x >= SPLASH_W / 2 ? 1 : 0);
      const bool diamond = std::abs(x - SPLASH_W / 2) + std::abs(y - SPLASH_H / 2) < 60;
      const uint8_t r = diamond ? 240 : QUARTERS[q][0];
      const uint8_t g = diamond ? 236 : QUARTERS[q][1];
      const uint8_t b = diamond ? 220 : QUARTERS[q][2];
      out.insert(out.end(), {b, g, r});
    }
  }
  return out;
}

uint16_t argb1555(int r, int g, int b, bool transparent) {
  return static_cast<uint16_t>((transparent ? 0x8000 : 0) | ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3));
}

// A still 16-bit cursor of `size` pixels drawn by `on` (x, y) -> lit.
template <typename Shape>
bool write_cursor(const std::string& path, int size, int r, int g, int b, Shape on) {
  std::vector<uint8_t> pixels;
  for (int y = 0; y < size; y++)
    for (int x = 0; x < size; x++) {
      const uint16_t p = argb1555(r, g, b, !on(x, y));
      pixels.push_back(static_cast<uint8_t>(p & 0xff));
      pixels.push_back(static_cast<uint8_t>(p >> 8));
    }
  VbmWriterHeader h;
  h.width = size;
  h.height = size;
  h.pixel_type = 0;
  return vbm_write_file(path, h, pixels.data(), pixels.size());
}

bool demo_build_shell(const std::string& root) {
  const std::string interface_dir = root + "/data/interface/pc";
  const auto splash = splash_pixels();
  if (!tga_write_file(interface_dir + "/combined.tga", splash.data(), SPLASH_W, SPLASH_H, 24)) return false;
  // Cross hairs, centred on the point they aim at.
  if (!write_cursor(interface_dir + "/cursor-target.vbm", 32, 240, 60, 40, [](int x, int y) {
        return (std::abs(x - 16) <= 1 || std::abs(y - 16) <= 1) && std::abs(x - 16) + std::abs(y - 16) > 3;
      }))
    return false;
  if (!write_cursor(interface_dir + "/cursorspot-target.vbm", 32, 240, 60, 40, [](int x, int y) {
        return std::fabs(std::hypot(x - 15.5, y - 15.5) - 12.0) < 1.5;
      }))
    return false;
  if (!write_cursor(interface_dir + "/cursorspot-invalid.vbm", 32, 160, 160, 160, [](int x, int y) {
        return std::abs(x - y) <= 1 || std::abs(x + y - 31) <= 1;
      }))
    return false;
  return true;
}

}  // namespace

DEMO_STEP(demo_build_shell, DEMO_ORDER_IMAGES + 10);
