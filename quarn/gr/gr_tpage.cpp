#include "quarn/gr/gr_tpage.h"

namespace {
constexpr int GUTTER = 1;
}

bool gr_page_takes(int w, int h, int side) {
  return w >= 1 && h >= 1 && w <= GR_PAGE_MAX_BITMAP_SIDE && h <= GR_PAGE_MAX_BITMAP_SIDE &&
         w + 2 * GUTTER <= side && h + 2 * GUTTER <= side;
}

void GrPagePacker::reset(int side, int max_pages) {
  side_ = side;
  max_pages_ = max_pages;
  pages_.clear();
}

bool GrPagePacker::place_in(Page& p, int w, int h, int* x, int* y) {
  const int cw = w + 2 * GUTTER, ch = h + 2 * GUTTER;
  // The first shelf tall enough with room left; shelves are not reopened at
  // a smaller height, so a tall bitmap never wastes a short shelf's row.
  for (Shelf& s : p.shelves) {
    if (s.h >= ch && s.h <= ch + ch / 2 && s.x + cw <= side_) {
      *x = s.x + GUTTER;
      *y = s.y + GUTTER;
      s.x += cw;
      return true;
    }
  }
  if (p.bottom + ch > side_ || cw > side_) return false;
  p.shelves.push_back({p.bottom, ch, cw});
  *x = GUTTER;
  *y = p.bottom + GUTTER;
  p.bottom += ch;
  return true;
}

bool GrPagePacker::place(int w, int h, GrPagePlace* out) {
  if (!gr_page_takes(w, h, side_)) return false;
  for (int i = 0; i < static_cast<int>(pages_.size()); i++) {
    if (place_in(pages_[i], w, h, &out->x, &out->y)) {
      out->page = i;
      return true;
    }
  }
  if (static_cast<int>(pages_.size()) >= max_pages_) return false;
  pages_.emplace_back();
  if (!place_in(pages_.back(), w, h, &out->x, &out->y)) return false;
  out->page = static_cast<int>(pages_.size()) - 1;
  return true;
}
