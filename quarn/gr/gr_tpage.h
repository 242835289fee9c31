#pragma once
// Texture pages: many small bitmaps share one texture, so a frame of small
// 2D draws binds a few textures instead of one per bitmap, and the renderers
// can send a run of draws from one page as one draw call.
//
// The packer only hands out rectangles; each renderer keeps its own page
// textures. Every bitmap gets a gutter of one texel on each side that stays
// transparent black, which is what a clamped sample just outside a bitmap's
// own texture reads, so a bitmap drawn from a page shows the pixels it shows
// from its own texture.
#include <vector>

// The largest bitmap side placed in a page; larger bitmaps keep textures of
// their own.
#define GR_PAGE_MAX_BITMAP_SIDE 64

struct GrPagePlace {
  int page = -1;
  int x = 0, y = 0;  // the bitmap's top-left texel in the page (inside its gutter)
};

class GrPagePacker {
 public:
  // Pages of side x side texels, at most max_pages of them.
  void reset(int side, int max_pages);
  // A place for a w x h bitmap: rows of equal height ("shelves") filled left
  // to right, a new shelf below the last, a new page when a page is full.
  // False when the bitmap is too large or every page is full; the caller
  // then empties the pages and places again.
  bool place(int w, int h, GrPagePlace* out);
  int pages_used() const { return static_cast<int>(pages_.size()); }
  int side() const { return side_; }

 private:
  struct Shelf {
    int y, h, x;
  };
  struct Page {
    std::vector<Shelf> shelves;
    int bottom = 0;
  };
  bool place_in(Page& p, int w, int h, int* x, int* y);
  int side_ = 0, max_pages_ = 0;
  std::vector<Page> pages_;
};

// True when a w x h bitmap goes in a page of the given side.
bool gr_page_takes(int w, int h, int side);
