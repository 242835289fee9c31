// Demo step: the bitmaps the engine loads at start-up and a few that show
// every file kind it reads: Targa with mip files, VBM animations and a PCX.
// All are drawn from code here.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/make_demo/demo_steps.h"
#include "tools/writers/image_writers.h"

namespace {

// Blue, green, red (and alpha) pixels of a soft sky-and-ground picture, the
// environment map meshes reflect.
std::vector<uint8_t> reflection_map(int size) {
  std::vector<uint8_t> out;
  for (int y = 0; y < size; y++) {
    for (int x = 0; x < size; x++) {
      const double v = static_cast<double>(y) / (size - 1);
      const double swirl = 0.5 + 0.5 * std::sin(x * 0.2 + y * 0.1);
      const int r = static_cast<int>(60 + 120 * v + 30 * swirl);
      const int g = static_cast<int>(90 + 100 * v);
      const int b = static_cast<int>(200 - 120 * v + 40 * swirl);
      out.insert(out.end(), {uint8_t(b), uint8_t(g), uint8_t(r), 255});
    }
  }
  return out;
}

// A framed bar for the loading screen: long runs, so run-length pays.
std::vector<uint8_t> loading_bar(int w, int h) {
  std::vector<uint8_t> out;
  for (int y = 0; y < h; y++) {
    for (int x = 0; x < w; x++) {
      const bool frame = x < 2 || y < 2 || x >= w - 2 || y >= h - 2;
      const bool stripe = ((x + y) / 8) % 2 == 0;
      const uint8_t r = frame ? 200 : (stripe ? 90 : 70);
      const uint8_t g = frame ? 170 : (stripe ? 60 : 45);
      const uint8_t b = frame ? 60 : 30;
      out.insert(out.end(), {b, g, r});
    }
  }
  return out;
}

// 1-5-5-5 pixel; bit 15 set marks a transparent one.
uint16_t argb1555(int r, int g, int b, bool transparent) {
  return static_cast<uint16_t>((transparent ? 0x8000 : 0) | ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3));
}

// A ring that pulses over `frames` frames, 16-bit with a transparent outside.
std::vector<uint8_t> pulsing_ring(int size, int frames, int r, int g, int b) {
  std::vector<uint8_t> out;
  for (int f = 0; f < frames; f++) {
    const double radius = size * (0.25 + 0.2 * f / frames);
    for (int y = 0; y < size; y++) {
      for (int x = 0; x < size; x++) {
        const double d = std::hypot(x - size / 2.0 + 0.5, y - size / 2.0 + 0.5);
        const bool on = std::fabs(d - radius) < 2.0;
        const uint16_t p = argb1555(r, g, b, !on);
        out.push_back(static_cast<uint8_t>(p & 0xff));
        out.push_back(static_cast<uint8_t>(p >> 8));
      }
    }
  }
  return out;
}

bool write_vbm_animation(const std::string& path, int size, int frames, int fps, int r, int g, int b) {
  const auto pixels = pulsing_ring(size, frames, r, g, b);
  VbmWriterHeader h;
  h.width = size;
  h.height = size;
  h.pixel_type = 0;
  h.fps = fps;
  h.frames = frames;
  return vbm_write_file(path, h, pixels.data(), pixels.size());
}

}  // namespace

bool demo_build_images(const std::string& root) {
  const std::string interface_dir = root + "/data/interface/pc";
  const std::string maps_dir = root + "/data/maps/levels";

  const auto refmap = reflection_map(64);
  TgaWriterOptions rle;
  rle.rle = true;
  if (!tga_write_with_mips(maps_dir, "refmap01", refmap.data(), 64, 64, 32, 4, rle)) return false;

  const auto bar = loading_bar(256, 32);
  TgaWriterOptions bottom_up = rle;
  bottom_up.top_first = false;
  if (!tga_write_file(interface_dir + "/hud-loading.tga", bar.data(), 256, 32, 24, bottom_up)) return false;

  // A soft round shadow: 8-bit grey levels through a colour map.
  std::vector<uint8_t> shadow;
  for (int y = 0; y < 32; y++)
    for (int x = 0; x < 32; x++)
      shadow.push_back(static_cast<uint8_t>(std::max(0.0, 255.0 - 16.0 * std::hypot(x - 15.5, y - 15.5))));
  TgaWriterOptions grey_map;
  for (int i = 0; i < 256; i++) grey_map.colour_map.insert(grey_map.colour_map.end(), {uint8_t(i), uint8_t(i), uint8_t(i)});
  if (!tga_write_with_mips(maps_dir, "Shadow01", shadow.data(), 32, 32, 8, 2, grey_map)) return false;

  // The world's dressing, soft round spots with alpha: snowflakes, the lamp
  // glow and a blood splot for hits.
  auto spot = [&](const char* name, int side, uint8_t r, uint8_t g, uint8_t b, double edge) {
    std::vector<uint8_t> px;
    const double c = (side - 1) / 2.0;
    for (int y = 0; y < side; y++)
      for (int x = 0; x < side; x++) {
        const double d = std::hypot(x - c, y - c) / (side / 2.0);
        const double a = std::clamp((1.0 - d) / edge, 0.0, 1.0);
        px.insert(px.end(), {b, g, r, static_cast<uint8_t>(255.0 * a)});
      }
    TgaWriterOptions with_alpha;
    with_alpha.alpha_bits = 8;
    return tga_write_file(maps_dir + "/" + name, px.data(), side, side, 32, with_alpha);
  };
  if (!spot("SnowFlake.tga", 16, 255, 255, 255, 0.5)) return false;
  if (!spot("VozidoLampGlow01.tga", 64, 255, 220, 140, 1.0)) return false;
  if (!spot("BloodSplot-small02.tga", 32, 150, 10, 10, 0.3)) return false;

  if (!write_vbm_animation(interface_dir + "/cursor-walk.vbm", 32, 8, 12, 240, 220, 80)) return false;
  if (!write_vbm_animation(interface_dir + "/cursorspot-walkto.vbm", 32, 6, 10, 80, 220, 120)) return false;

  // A palette picture as PCX: a colour wheel of 256 entries.
  std::vector<uint8_t> palette;
  for (int i = 0; i < 256; i++) {
    const double a = i * 6.283185307179586 / 256.0;
    palette.insert(palette.end(), {uint8_t(128 + 127 * std::cos(a)), uint8_t(128 + 127 * std::cos(a - 2.094)),
                                   uint8_t(128 + 127 * std::cos(a + 2.094))});
  }
  std::vector<uint8_t> wheel;
  for (int y = 0; y < 64; y++)
    for (int x = 0; x < 64; x++)
      wheel.push_back(static_cast<uint8_t>(std::atan2(y - 31.5, x - 31.5) / 6.283185307179586 * 256.0 + 256) & 0xff);
  if (!pcx_write_file(interface_dir + "/colourwheel.pcx", wheel.data(), 64, 64, palette.data())) return false;
  return true;
}

DEMO_STEP(demo_build_images, DEMO_ORDER_IMAGES);
