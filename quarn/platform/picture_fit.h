#pragma once
// Where the game's picture goes on a larger (or smaller) window: the largest
// rectangle of the picture's own shape that fits, centred, with black bars
// beside or above it. The display is not switched to the game's resolution,
// so a full-screen window is as large as the desktop and the picture is
// stretched over it instead.
//
// Header only: the Glide library, a shared object of its own, places its
// picture with the same sums as the window layer maps the mouse, so that a
// click lands on the pixel the player sees.
#include <algorithm>
#include <cstdint>

struct PictureFit {
  int x = 0, y = 0;           // top-left corner on the window
  int width = 0, height = 0;  // size on the window
  // A whole-number factor keeps texels square; any other takes the linear
  // filter so that rows and columns are not dropped unevenly.
  bool nearest = true;
};

namespace picture_fit_detail {
inline int64_t floor_div(int64_t a, int64_t b) {
  const int64_t q = a / b;
  return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}
inline int64_t ceil_div(int64_t a, int64_t b) { return -floor_div(-a, b); }
}  // namespace picture_fit_detail

// The picture's place on a window of out_w x out_h. A window of no size yet
// (0 or less) shows the picture unscaled at the top left.
inline PictureFit picture_fit(int pic_w, int pic_h, int out_w, int out_h) {
  PictureFit f;
  if (pic_w <= 0 || pic_h <= 0 || out_w <= 0 || out_h <= 0) {
    f.width = std::max(pic_w, 0);
    f.height = std::max(pic_h, 0);
    return f;
  }
  const int64_t pw = pic_w, ph = pic_h, ow = out_w, oh = out_h;
  if (ow * ph <= oh * pw) {
    // Narrower than the picture's shape: full width, bars above and below.
    f.width = out_w;
    f.height = static_cast<int>(std::clamp<int64_t>((2 * ow * ph + pw) / (2 * pw), 1, oh));
  } else {
    f.height = out_h;
    f.width = static_cast<int>(std::clamp<int64_t>((2 * oh * pw + ph) / (2 * ph), 1, ow));
  }
  f.x = (out_w - f.width) / 2;
  f.y = (out_h - f.height) / 2;
  f.nearest = f.width % pic_w == 0 && f.height % pic_h == 0 && f.width / pic_w == f.height / pic_h;
  return f;
}

// The picture's pixel under a window pixel. Not clamped: a point on a bar
// lies outside the picture (negative, or at or past its size), and the
// caller decides what to do with it.
inline void picture_fit_to_picture(const PictureFit& f, int pic_w, int pic_h, int wx, int wy, int* px, int* py) {
  using picture_fit_detail::floor_div;
  *px = f.width > 0 ? static_cast<int>(floor_div(static_cast<int64_t>(wx - f.x) * pic_w, f.width)) : wx;
  *py = f.height > 0 ? static_cast<int>(floor_div(static_cast<int64_t>(wy - f.y) * pic_h, f.height)) : wy;
}

namespace picture_fit_detail {
// The window pixel nearest the middle of the run that shows picture pixel p,
// kept on the picture; mapping it back gives p whenever p is shown at all.
inline int to_window(int p, int pic, int offset, int size) {
  if (size <= 0 || pic <= 0) return p;
  const int64_t first = ceil_div(static_cast<int64_t>(p) * size, pic);
  const int64_t middle = floor_div((2 * static_cast<int64_t>(p) + 1) * size, 2 * static_cast<int64_t>(pic));
  return offset + static_cast<int>(std::clamp<int64_t>(std::max(first, middle), 0, size - 1));
}
}  // namespace picture_fit_detail

// The window pixel where the picture's pixel (px, py) is shown.
inline void picture_fit_to_window(const PictureFit& f, int pic_w, int pic_h, int px, int py, int* wx, int* wy) {
  *wx = picture_fit_detail::to_window(px, pic_w, f.x, f.width);
  *wy = picture_fit_detail::to_window(py, pic_h, f.y, f.height);
}
