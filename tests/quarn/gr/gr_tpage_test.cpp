// The texture-page packer: places never overlap (gutters included), stay
// inside the page, fill a page before opening the next, and say when every
// page is full.
#include "quarn/gr/gr_tpage.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Rect {
  int page, x0, y0, x1, y1;  // with the gutter, x1 and y1 exclusive
};

bool overlap(const Rect& a, const Rect& b) {
  return a.page == b.page && a.x0 < b.x1 && b.x0 < a.x1 && a.y0 < b.y1 && b.y0 < a.y1;
}

TEST(TexturePages, PlacesKeepTheirGuttersApartInsideThePage) {
  GrPagePacker p;
  p.reset(256, 4);
  std::vector<Rect> placed;
  // A mix of sizes, as a screen's icons, glyph sheets and frames give.
  const int sizes[][2] = {{16, 16}, {32, 8}, {64, 64}, {1, 1}, {17, 33}, {64, 2}, {40, 40}, {8, 64}};
  for (int i = 0; i < 60; i++) {
    const int w = sizes[i % 8][0], h = sizes[i % 8][1];
    GrPagePlace at;
    ASSERT_TRUE(p.place(w, h, &at)) << i;
    ASSERT_GE(at.page, 0);
    // One transparent texel on every side, inside the page.
    const Rect r{at.page, at.x - 1, at.y - 1, at.x + w + 1, at.y + h + 1};
    EXPECT_GE(r.x0, 0);
    EXPECT_GE(r.y0, 0);
    EXPECT_LE(r.x1, 256);
    EXPECT_LE(r.y1, 256);
    for (const Rect& o : placed) ASSERT_FALSE(overlap(r, o)) << i;
    placed.push_back(r);
  }
  // 60 bitmaps of these sizes (about 47,000 texels with gutters) fit in two
  // pages of 65,536: the first is filled before the second is opened.
  EXPECT_LE(p.pages_used(), 2);
}

TEST(TexturePages, LargeBitmapsAndFullPagesAreRefused) {
  GrPagePacker p;
  p.reset(256, 1);
  GrPagePlace at;
  EXPECT_FALSE(p.place(GR_PAGE_MAX_BITMAP_SIDE + 1, 4, &at));
  EXPECT_FALSE(p.place(0, 4, &at));
  EXPECT_FALSE(gr_page_takes(GR_PAGE_MAX_BITMAP_SIDE, 255, 256));
  EXPECT_TRUE(gr_page_takes(GR_PAGE_MAX_BITMAP_SIDE, GR_PAGE_MAX_BITMAP_SIDE, 256));
  // 62x62 with gutters is 64x64: sixteen fill a 256 page exactly.
  for (int i = 0; i < 16; i++) {
    ASSERT_TRUE(p.place(62, 62, &at)) << i;
    EXPECT_EQ(at.page, 0);
    EXPECT_EQ(at.x, (i % 4) * 64 + 1);
    EXPECT_EQ(at.y, (i / 4) * 64 + 1);
  }
  EXPECT_FALSE(p.place(1, 1, &at));  // the one page is full
  p.reset(256, 1);
  EXPECT_TRUE(p.place(1, 1, &at));  // emptied, it takes bitmaps again
  EXPECT_EQ(at.x, 1);
  EXPECT_EQ(at.y, 1);
}

}  // namespace
