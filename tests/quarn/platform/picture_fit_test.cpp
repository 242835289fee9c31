#include "quarn/platform/picture_fit.h"

#include <gtest/gtest.h>

TEST(PictureFit, TheLargestRectangleOfThePicturesShapeCentredOnTheWindow) {
  struct Case {
    int pic_w, pic_h, out_w, out_h;
    int x, y, w, h;
    bool nearest;
  };
  const Case cases[] = {
      // Wider than 4:3: the full height, bars left and right (1080 * 4 / 3).
      {640, 480, 1920, 1080, 240, 0, 1440, 1080, false},
      {800, 600, 1920, 1080, 240, 0, 1440, 1080, false},
      {1024, 768, 1920, 1080, 240, 0, 1440, 1080, false},
      // 5:4: the full width, bars above and below (1280 * 3 / 4 = 960).
      {640, 480, 1280, 1024, 0, 32, 1280, 960, true},
      {1024, 768, 1280, 1024, 0, 32, 1280, 960, false},
      // Whole factors keep square texels.
      {640, 480, 1280, 960, 0, 0, 1280, 960, true},
      {640, 480, 2560, 1440, 320, 0, 1920, 1440, true},
      {640, 480, 640, 480, 0, 0, 640, 480, true},
      // A display smaller than the picture shrinks it.
      {1024, 768, 800, 600, 0, 0, 800, 600, false},
      // Portrait: 1080 * 3 / 4 = 810 high, (1920 - 810) / 2 = 555 down.
      {640, 480, 1080, 1920, 0, 555, 1080, 810, false},
      // Ultra-wide: 1440 * 4 / 3 = 1920 wide, three times over.
      {640, 480, 3440, 1440, 760, 0, 1920, 1440, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.pic_w << "x" << c.pic_h << " on " << c.out_w << "x" << c.out_h);
    const PictureFit f = picture_fit(c.pic_w, c.pic_h, c.out_w, c.out_h);
    EXPECT_EQ(f.x, c.x);
    EXPECT_EQ(f.y, c.y);
    EXPECT_EQ(f.width, c.w);
    EXPECT_EQ(f.height, c.h);
    EXPECT_EQ(f.nearest, c.nearest);
  }
}

TEST(PictureFit, AWindowOfNoSizeYetShowsThePictureUnscaledAtTheTopLeft) {
  for (auto [w, h] : {std::pair{0, 0}, std::pair{-5, 600}, std::pair{1920, 0}}) {
    const PictureFit f = picture_fit(640, 480, w, h);
    EXPECT_EQ(f.x, 0);
    EXPECT_EQ(f.y, 0);
    EXPECT_EQ(f.width, 640);
    EXPECT_EQ(f.height, 480);
  }
}

TEST(PictureFit, WindowPointsMapToThePictureAndBarsFallOutsideIt) {
  const PictureFit f = picture_fit(640, 480, 1920, 1080);
  struct Case {
    int wx, wy, px, py;
  };
  // 2.25 window pixels to a picture pixel, the picture starting at x 240.
  const Case cases[] = {
      {960, 540, 320, 240},    // the display's centre
      {240, 0, 0, 0},          // the picture's first pixel
      {1679, 1079, 639, 479},  // its last
      {242, 2, 0, 0},          // still the first: 2.25 wide
      {243, 3, 1, 1},
      {239, 540, -1, 240},     // the left bar
      {0, 540, -107, 240},     // floor(-240 / 2.25)
      {1680, 540, 640, 240},   // the right bar
  };
  for (const Case& c : cases) {
    int px, py;
    picture_fit_to_picture(f, 640, 480, c.wx, c.wy, &px, &py);
    EXPECT_EQ(px, c.px) << c.wx << "," << c.wy;
    EXPECT_EQ(py, c.py) << c.wx << "," << c.wy;
  }
}

// The game pulls the pointer back by setting a picture position; reading it
// again must give that position, or the pointer would be pulled every frame.
TEST(PictureFit, EveryShownPicturePixelComesBackFromWhereItIsShown) {
  struct Size {
    int pic_w, pic_h, out_w, out_h;
  };
  for (const Size s : {Size{640, 480, 1920, 1080}, Size{800, 600, 1920, 1080}, Size{1024, 768, 1280, 1024},
                       Size{640, 480, 1280, 1024}, Size{800, 600, 1000, 750}, Size{640, 480, 641, 481}}) {
    const PictureFit f = picture_fit(s.pic_w, s.pic_h, s.out_w, s.out_h);
    for (int p = 0; p < s.pic_w; p++) {
      int wx, wy, px, py;
      picture_fit_to_window(f, s.pic_w, s.pic_h, p, p % s.pic_h, &wx, &wy);
      ASSERT_GE(wx, f.x);
      ASSERT_LT(wx, f.x + f.width);
      picture_fit_to_picture(f, s.pic_w, s.pic_h, wx, wy, &px, &py);
      ASSERT_EQ(px, p) << s.pic_w << " on " << s.out_w;
      ASSERT_EQ(py, p % s.pic_h) << s.pic_h << " on " << s.out_h;
    }
  }
}

TEST(PictureFit, APositionOffThePictureGoesToItsNearestEdge) {
  const PictureFit f = picture_fit(640, 480, 1920, 1080);
  int wx, wy;
  picture_fit_to_window(f, 640, 480, -50, 900, &wx, &wy);
  EXPECT_EQ(wx, 240);
  EXPECT_EQ(wy, 1079);
}
