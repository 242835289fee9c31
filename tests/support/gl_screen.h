#pragma once
// The screen of the end-to-end graphics tests: the game's window with the
// OpenGL renderer at 640 by 480 (Xvfb, Mesa's software OpenGL), and what it
// shows read back through the game's own screenshot code.
#include <cstdint>
#include <filesystem>
#include <vector>

#include "quarn/math/matrix.h"
#include "quarn/math/vector.h"

// Opens the window, the bitmap manager and the renderer; a fatal test
// failure when there is no X display (wrap in ASSERT_NO_FATAL_FAILURE).
void gl_screen_open(const char* application);
void gl_screen_close();

struct ScreenImage {
  int w = 0, h = 0;
  std::vector<uint8_t> bgr;  // top row first
  const uint8_t* at(int x, int y) const { return &bgr[(static_cast<size_t>(y) * w + x) * 3]; }
};

// Saves the screen as `base`.tga in `dir` (the folder of `path_type`) with the
// game's screenshot code and reads the file back.
ScreenImage gl_screen_shot(const std::filesystem::path& dir, const char* base, int path_type);

// Share of pixels whose every channel is within `tolerance` levels (0 when
// the sizes differ); the largest difference in *worst when given.
double gl_screen_share_alike(const ScreenImage& a, const ScreenImage& b, int tolerance, int* worst = nullptr);

// The test bitmap's picture: four coloured quadrants and a white diagonal,
// so a shifted or flipped copy shows.
void gl_screen_quadrant_pixel(int x, int y, int size, uint8_t* bgr);
// Writes the 32 by 32 quadrant bitmap as data/interface/quads.tga and a
// blocky font (every glyph a 6 by 10 block, advance 8) as
// data/fonts/blocks.vf below root. False when a file could not be written.
bool gl_screen_write_test_data(const std::filesystem::path& root);

// Where a plain pinhole camera at the origin looking down +z, 90 degrees
// across 640 pixels with square pixels, puts a point: the independent
// projection the screen tests compare the renderer's pixels with.
void gl_screen_pinhole(const vector& p, float& px, float& py);
// M^T p + t, written out: where a skin transform takes a mesh point.
vector gl_screen_skin_point(const transform& t, const vector& p);
