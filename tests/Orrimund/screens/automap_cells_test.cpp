// Explored cells of the automap: which cell a point falls in, the bits the
// party's walk sets, and the points off the map that must set none.
#include "Orrimund/screens/automap_cells.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "levelscripts/level_flags.h"
#include "levelscripts/level_scripts.h"
#include "levelscripts/savegame.h"
#include "tests/support/save_world.h"

namespace {

std::string automap_table(int layers) {
  std::string t = "#Automap\r\n";
  for (int i = 1; i <= layers; i++)
    t += "$AutomapPC: \"$layer" + std::to_string(i) + "\" " + std::to_string(i) + " \"map" + std::to_string(i) +
         ".tga\"\r\n";
  return t + "#End\r\n";
}

struct Automap : ::testing::Test {
  std::filesystem::path root;
  int sewer = -1;
  void SetUp() override {
    root = fresh_temp_dir("automap_cells");
    save_world_setup(root);
    // Levels by their fixed indices: 9 sewer; the pairs 7/49 and 30/35.
    const std::pair<const char*, int> levels[] = {
        {"sewer", 2}, {"thalem1d", 2}, {"thalem2d", 2}, {"thalem2aa", 2}, {"thalem1aa", 1}};
    for (const auto& [name, layers] : levels)
      save_world_write(root, std::string("data/tables/levels/demo_") + name + ".tbl", automap_table(layers));
    level_flags_init();
    savegame_layout();
    sewer = level_script_info_lookup("sewer");
    ASSERT_EQ(sewer, 9);
    ASSERT_EQ(level_automap_layers(sewer), 2);
    ASSERT_EQ(level_script_info_lookup("thalem1d"), 7);
    ASSERT_EQ(level_script_info_lookup("thalem2d"), 49);
    ASSERT_EQ(level_script_info_lookup("thalem2aa"), 30);
    ASSERT_EQ(level_script_info_lookup("thalem1aa"), 35);
  }
  void TearDown() override {
    script_world_reset();
    vfile_shutdown();
    std::filesystem::remove_all(root);
  }
  int explored_count(int level) {
    int n = 0;
    for (int layer = 0; layer < level_automap_layers(level); layer++)
      for (int cy = 0; cy < AUTOMAP_GRID; cy++)
        for (int cx = 0; cx < AUTOMAP_GRID; cx++) n += automap_cell_explored(level, layer, cx, cy);
    return n;
  }
};

}  // namespace

// x grows leftwards from the upper left corner, z downwards.
TEST(AutomapCell, PointsFallInSixteenUnitCells) {
  const AutomapExtent e{1000.0f, -200.0f, 200.0f, 600.0f};  // 800 x 800: 50 x 50 cells
  int w, h;
  automap_cell_counts(e, &w, &h);
  EXPECT_EQ(w, 50);
  EXPECT_EQ(h, 50);
  struct Case {
    float x, z;
    bool inside;
    int cx, cy;
  } cases[] = {
      {1000.0f, -200.0f, true, 0, 0},   // the corner itself
      {984.1f, -184.1f, true, 0, 0},
      {984.0f, -184.0f, true, 1, 1},    // on the next cell's edge
      {500.0f, 300.0f, true, 31, 31},   // (1000-500)/16 = 31.25
      {200.5f, 599.5f, true, 49, 49},
      {200.0f, 600.0f, false, 0, 0},    // the far corner is past the last cell
      {1000.5f, 0.0f, false, 0, 0},     // right of the box: would truncate to 0
      {500.0f, -200.5f, false, 0, 0},   // above it
      {5000.0f, 300.0f, false, 0, 0},   // far outside: a negative index
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.x << "," << c.z);
    int cx = -7, cy = -7;
    EXPECT_EQ(automap_cell_of(e, c.x, c.z, &cx, &cy), c.inside);
    if (c.inside) {
      EXPECT_EQ(cx, c.cx);
      EXPECT_EQ(cy, c.cy);
    }
  }
  // A box wider than a layer's 64 cells: the 65th column is off the grid.
  const AutomapExtent wide{2000.0f, 0.0f, 0.0f, 2000.0f};  // 125 cells
  int cx, cy;
  EXPECT_TRUE(automap_cell_of(wide, 2000.0f - 63 * 16 - 1, 10.0f, &cx, &cy));
  EXPECT_EQ(cx, 63);
  EXPECT_FALSE(automap_cell_of(wide, 2000.0f - 64 * 16 - 1, 10.0f, &cx, &cy));
  // Corners given the wrong way round (UL.x < LR.x) put every point off it.
  const AutomapExtent flipped{0.0f, 0.0f, 800.0f, 800.0f};
  EXPECT_FALSE(automap_cell_of(flipped, 400.0f, 400.0f, &cx, &cy));
}

TEST_F(Automap, WalkingRevealsTheCellsUnderThePartyOnItsLayer) {
  const AutomapExtent e{1024.0f, 0.0f, 0.0f, 1024.0f};  // 64 x 64 cells
  // A walk along z on layer 1, and a step on layer 0.
  for (float z = 8.0f; z < 64.0f; z += 4.0f) automap_reveal_point(sewer, 1, e, 1000.0f, z);
  automap_reveal_point(sewer, 0, e, 8.0f, 1016.0f);
  automap_reveal_point(sewer, -1, e, 500.0f, 500.0f);  // no layer: nothing
  EXPECT_EQ(explored_count(sewer), 5);
  for (int cy = 0; cy < 4; cy++) EXPECT_TRUE(automap_cell_explored(sewer, 1, 1, cy)) << cy;
  EXPECT_TRUE(automap_cell_explored(sewer, 0, 63, 63));
  EXPECT_FALSE(automap_cell_explored(sewer, 0, 1, 0));
  // The bits lie where the flag store's layout puts them.
  EXPECT_TRUE(level_automap_bit_get(sewer, (1 * 64 + 2) * 64 + 1));
  EXPECT_TRUE(level_automap_bit_get(sewer, 4095));
}

// Off the map nothing is written: neither a neighbouring row's or layer's bit
// nor a byte of the next level.
TEST_F(Automap, PointsOffTheMapAndBadIndicesMarkNothing) {
  const AutomapExtent e{1024.0f, 0.0f, 0.0f, 1024.0f};
  const int next = sewer + 1;
  const float off[][2] = {{1040.0f, 16.0f}, {-16.0f, 16.0f}, {16.0f, -16.0f}, {16.0f, 1040.0f}, {-5000.0f, -5000.0f}};
  for (const auto& p : off) automap_reveal_point(sewer, 1, e, p[0], p[1]);
  automap_mark_cell(sewer, 0, 64, 0, true);
  automap_mark_cell(sewer, 0, -1, 1, true);
  automap_mark_cell(sewer, 0, 0, 64, true);
  automap_mark_cell(sewer, 2, 0, 0, true);   // beyond the level's two layers
  automap_mark_cell(51, 0, 0, 0, true);      // beyond level 50
  automap_mark_cell(-1, 0, 0, 0, true);
  EXPECT_EQ(explored_count(sewer), 0);
  EXPECT_EQ(explored_count(next), 0);
  EXPECT_FALSE(automap_cell_explored(sewer, 2, 0, 0));
}

TEST_F(Automap, PairedLevelsShareMarksOnlyWithTheSameLayerCount) {
  automap_mark_cell(49, 1, 5, 6, true);
  EXPECT_TRUE(automap_cell_explored(7, 1, 5, 6));
  EXPECT_TRUE(automap_cell_explored(49, 1, 5, 6));
  automap_mark_cell(7, 1, 5, 6, false);
  EXPECT_FALSE(automap_cell_explored(49, 1, 5, 6));
  automap_mark_cell(30, 0, 2, 3, true);  // 35 has one layer, 30 two
  EXPECT_TRUE(automap_cell_explored(30, 0, 2, 3));
  EXPECT_FALSE(automap_cell_explored(35, 0, 2, 3));
  automap_mark_cell(sewer, 0, 1, 1, true);  // not a paired level
  EXPECT_EQ(explored_count(sewer), 1);
}

// The reveal: the mask sprite stamped on explored cells. A 4 x 4 sprite,
// opaque in its middle 2 x 2 and half in its ring, on 8-pixel cells, drawn
// 16 pixels across (two cells) as the screen does.
namespace {
const uint8_t SPRITE[16] = {128, 128, 128, 128,  //
                            128, 255, 255, 128,  //
                            128, 255, 255, 128,  //
                            128, 128, 128, 128};
constexpr int MW = 48, MH = 32;  // a bitmap of 6 x 4 cells

std::vector<uint8_t> cover_of(const std::vector<std::pair<int, int>>& cells, int cells_w = 6, int cells_h = 4) {
  std::vector<uint8_t> explored(AUTOMAP_GRID * AUTOMAP_GRID, 0);
  for (auto [cx, cy] : cells) explored[cy * AUTOMAP_GRID + cx] = 1;
  std::vector<uint8_t> cover(MW * MH, 77);
  automap_mask_cover(cover.data(), MW, MH, explored.data(), cells_w, cells_h, 8.0f, 8.0f, 16.0f, 16.0f,
                     AutomapMaskSprite{SPRITE, 4, 4});
  return cover;
}
int at(const std::vector<uint8_t>& c, int x, int y) { return c[y * MW + x]; }
}  // namespace

TEST(AutomapReveal, ACellShowsThroughTheSpriteSoftlyAndNothingBeyondIt) {
  const std::vector<uint8_t> c = cover_of({{2, 1}});
  // The cell (16..23, 8..15) has its centre at (20, 12); the sprite spans
  // 12..27 by 4..19, its opaque texels' centres 4 pixels either side.
  for (int y = 10; y < 14; y++)
    for (int x = 18; x < 22; x++) EXPECT_EQ(at(c, x, y), 255) << x << "," << y;
  // From the rim inwards the cover only grows, through values between: no
  // hard edge.
  int partial = 0;
  for (int x = 12; x < 20; x++) {
    EXPECT_LE(at(c, x, 12), at(c, x + 1, 12)) << x;
    partial += at(c, x, 12) > 0 && at(c, x, 12) < 255;
  }
  EXPECT_GE(partial, 4);
  // One stamp is symmetric about the cell's centre.
  for (int y = 4; y < 20; y++)
    for (int x = 12; x < 28; x++) {
      EXPECT_EQ(at(c, x, y), at(c, 39 - x, y)) << x << "," << y;
      EXPECT_EQ(at(c, x, y), at(c, x, 23 - y)) << x << "," << y;
    }
  // Beyond the sprite nothing shows, and what the buffer held is gone.
  int outside = 0;
  for (int y = 0; y < MH; y++)
    for (int x = 0; x < MW; x++)
      if (x < 12 || x >= 28 || y < 4 || y >= 20) outside += at(c, x, y);
  EXPECT_EQ(outside, 0);
}

TEST(AutomapReveal, NeighbouringStampsJoinAsOneShape) {
  const std::vector<uint8_t> a = cover_of({{2, 1}}), b = cover_of({{3, 1}}), ab = cover_of({{2, 1}, {3, 1}});
  for (int y = 0; y < MH; y++)
    for (int x = 0; x < MW; x++) {
      // Each shows its share of what the other left hidden.
      const double joined = at(a, x, y) + at(b, x, y) * (255.0 - at(a, x, y)) / 255.0;
      EXPECT_NEAR(at(ab, x, y), joined, 1.0) << x << "," << y;
    }
  // Where both stamps fade, together they show more than either.
  int stronger = 0;
  for (int y = 0; y < MH; y++)
    for (int x = 0; x < MW; x++)
      if (at(a, x, y) > 0 && at(a, x, y) < 255 && at(b, x, y) > 0 && at(b, x, y) < 255)
        stronger += at(ab, x, y) > std::max(at(a, x, y), at(b, x, y));
  EXPECT_GT(stronger, 0);
}

TEST(AutomapReveal, CellsOffTheMapOrAtItsEdgeStayInside) {
  // A cell past the level's cell count is not stamped; a corner cell's
  // stamp is cut at the bitmap's edge.
  const std::vector<uint8_t> off = cover_of({{5, 3}}, 5, 3);
  for (uint8_t v : off) EXPECT_EQ(v, 0);
  const std::vector<uint8_t> corner = cover_of({{0, 0}, {5, 3}});
  EXPECT_EQ(at(corner, 4, 4), 255);
  EXPECT_EQ(at(corner, MW - 4, MH - 4), 255);
  EXPECT_GT(at(corner, 0, 0), 0);
  // Nothing explored, or no sprite: nothing shows.
  std::vector<uint8_t> cover(MW * MH, 9);
  std::vector<uint8_t> none(AUTOMAP_GRID * AUTOMAP_GRID, 1);
  automap_mask_cover(cover.data(), MW, MH, none.data(), 6, 4, 8.0f, 8.0f, 16.0f, 16.0f, AutomapMaskSprite{nullptr, 4, 4});
  for (uint8_t v : cover) EXPECT_EQ(v, 0);
}
