// The pathfinding graph reader: a file spelled out byte by byte from the
// format's layout, graphs from the writer read back, and damaged files
// refused whole with a line naming the file.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "Engine/ai/path_geometry.h"
#include "Engine/ai/path_graph.h"
#include "Engine/ai/path_search.h"
#include "quarn/vfile/path_types.h"
#include "quarn/vfile/readstream.h"
#include "quarn/vfile/vfile.h"
#include "tests/support/test_files.h"
#include "tools/writers/pfg_writer.h"

namespace {

struct Bytes {
  std::vector<uint8_t> b;
  void i32(int32_t v) {
    for (int i = 0; i < 4; i++) b.push_back(static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i)));
  }
  void u16(uint16_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
  }
  void f32(float f) {
    uint32_t u;
    std::memcpy(&u, &f, 4);
    i32(static_cast<int32_t>(u));
  }
  void seg(int a, int c, uint16_t flags, uint16_t door) {
    i32(a);
    i32(c);
    u16(flags);
    u16(door);
  }
};

// One square obstacle (2,2)-(4,4) in size class 0, sector 0; a portal
// between sectors 3 and 7; the tree walkable left of x 2, right of x 4 and
// below z 2 between them.
std::vector<uint8_t> hand_file(int version = 109, int link_target = 1) {
  Bytes f;
  f.i32(version);
  f.i32(0);
  // pool16, polygons, nodes, links, spare, tree, buckets, cells, refs, spare
  for (int v : {0, 1, 6, 4, 0, 4, 2, 1, 2, 0}) f.i32(v);
  const float pts[][2] = {{2, 2}, {4, 2}, {4, 4}, {2, 4}, {10, 0}, {10, 5}};
  f.i32(6);
  for (auto& p : pts) {
    f.f32(p[0]);
    f.f32(p[1]);
  }
  f.i32(5);  // segments
  f.i32(0);  // first run
  f.i32(1);  // portals
  f.i32(4);
  f.i32(5);
  f.i32(3);
  f.i32(7);
  f.i32(1);  // door values
  f.i32(1);
  f.i32(9);
  for (int s = 1; s < 20; s++) f.i32(0);
  for (int c = 0; c < 3; c++) {
    for (int s = 0; s < 20; s++) {
      if (c != 0 || s != 0) {
        for (int k = 0; k < 5; k++) f.i32(0);
        continue;
      }
      f.i32(1);  // one polygon of four segments
      f.i32(4);
      f.seg(0, 1, 0, 0xFF);
      f.seg(1, 2, 0, 0xFF);
      f.seg(2, 3, 0, 0xFF);
      f.seg(3, 0, 0, 0xFF);
      f.f32(2);  // min x, max x, max z, min z
      f.f32(4);
      f.f32(4);
      f.f32(2);
      f.i32(4);  // graph nodes
      for (int n = 0; n < 3; n++) {
        f.i32(n);
        f.i32(n < 2 ? 1 : 0);
        f.b.push_back(0);
        f.i32((n + 3) % 4);
        f.i32(n);
      }
      f.i32(3);  // a free node
      f.i32(0);
      f.b.push_back(1);
      f.i32(2);  // local nodes, linked to each other
      f.i32(0);
      f.i32(1);
      f.i32(1);
      f.i32(1);
      f.i32(1);
      f.i32(0);
      f.i32(0);  // spare block
      f.i32(4);  // tree
      f.i32(1);
      f.i32(0);
      f.i32(3);
      f.i32(1);
      f.i32(1);
      f.i32(1);
      f.i32(2);
      f.i32(3);
      f.i32(2);
      f.i32(0);
      f.i32(-1);
      f.i32(3);
      f.i32(3);
      f.i32(0);
      f.i32(-1);
      f.i32(-1);
    }
  }
  f.i32(1);  // last run
  f.seg(0, 2, 0, 0xFF);
  for (int c = 0; c < 3; c++) {
    for (int s = 0; s < 20; s++) {
      const bool grid = c == 0 && s == 0;
      for (float v : {0.0f, 0.0f, 0.0f, 0.0f, grid ? 2.0f : 0.0f, grid ? 2.0f : 0.0f}) f.f32(v);
      f.i32(grid ? 3 : 0);
      f.i32(grid ? 3 : 0);
      f.i32(grid ? 2 : 0);
      f.i32(0);
      if (grid) {
        f.u16(1);  // bucket 0 holds cell 4 (column 1, row 1)
        f.i32(4);
        f.u16(2);
        f.i32(0);
        f.i32(1);
        f.u16(0);
      }
    }
  }
  f.u16(0);  // node 0 -> node 1, node 1 -> node 0
  f.i32(link_target);
  f.u16(0);
  f.i32(0);
  for (int i = 0; i < 12; i++) f.f32(0);
  return f.b;
}

int read_bytes(const std::vector<uint8_t>& b, std::string* printed = nullptr) {
  ReadStream in;
  in.open_memory(b.data(), static_cast<int>(b.size()));
  testing::internal::CaptureStdout();
  const int rc = path_graph_read(in, static_cast<int>(b.size()), "hand.pfg");
  const std::string out = testing::internal::GetCapturedStdout();
  if (printed) *printed = out;
  return rc;
}

TEST(PathGraph, ReadsEveryRecordOfAHandWrittenFile) {
  ASSERT_EQ(read_bytes(hand_file()), 0);
  const PathSector& S = Path_graph.sectors[0][0];
  ASSERT_EQ(S.node_count, 4);
  EXPECT_EQ(S.nodes[0].point->x, 2.0f);
  EXPECT_EQ(S.nodes[2].point->z, 4.0f);
  EXPECT_EQ(S.nodes[0].links[0], &S.nodes[1]);
  EXPECT_EQ(S.nodes[1].links[0], &S.nodes[0]);
  EXPECT_EQ(S.nodes[0].seg1->a->x, 2.0f);  // segment 3 runs (2,4) -> (2,2)
  EXPECT_EQ(S.nodes[0].seg1->a->z, 4.0f);
  // The free node: flag 0x80, no bounding segments.
  EXPECT_EQ(S.nodes[3].flags, GN_FREE);
  EXPECT_EQ(S.nodes[3].seg1, nullptr);
  ASSERT_EQ(S.local_count, 2);
  EXPECT_EQ(S.locals[0].links[0], &S.locals[1]);
  // Portal (3, 7): bit 7 of mask 3 and bit 3 of mask 7.
  EXPECT_EQ(Path_graph.adjacency[3], 1u << 7);
  EXPECT_EQ(Path_graph.adjacency[7], 1u << 3);
  EXPECT_EQ(Path_graph.door_list_count[0], 1);
  EXPECT_EQ(Path_graph.door_lists[0][0], 9);
  EXPECT_EQ(Path_graph.segment_count, 5);
  EXPECT_EQ(Path_graph.segments[4].b->x, 4.0f);
  const PathBounds& b = Path_graph.bounds;
  EXPECT_EQ(b.min_x, 2.0f);
  EXPECT_EQ(b.max_x, 4.0f);
  EXPECT_EQ(b.min_z, 2.0f);
  EXPECT_EQ(b.max_z, 4.0f);
  GridCell* cell = path_grid_cell(S.grid, 1, 1);
  ASSERT_NE(cell, nullptr);
  EXPECT_EQ(cell->count, 2);
  EXPECT_EQ(path_grid_cell(S.grid, 0, 0), nullptr);
}

TEST(PathGraph, TreeWalkTakesEitherSideOfASplitItLiesOn) {
  ASSERT_EQ(read_bytes(hand_file()), 0);
  path_sector_select(0, 0);
  struct {
    float x, z;
    bool walkable;
  } cases[] = {{1, 3, true}, {5, 3, true}, {3, 1, true}, {3, 3, false},
               // on the split at x 2: the below side (left) is walkable
               {2.0f, 3, true}, {2.00005f, 3, true}, {2.001f, 3, false},
               // on the bottom edge's line: either side
               {3, 2.001f, true}, {3, 2.01f, false}};
  for (auto& c : cases) EXPECT_EQ(path_point_walkable(c.x, c.z) != nullptr, c.walkable) << c.x << "," << c.z;
}

TEST(PathGraph, ObsoleteVersionsLeaveTheLevelWithoutAGraph) {
  for (int v : {108, 110}) {
    std::string out;
    EXPECT_EQ(read_bytes(hand_file(v), &out), 1);
    EXPECT_NE(out.find("Pathfinding graph data is obsolete.  Continuing without pathfinding data"), std::string::npos);
    EXPECT_FALSE(Path_graph.loaded);
  }
}

TEST(PathGraph, DamagedFilesAreRefusedWholeNamingTheFile) {
  const std::vector<uint8_t> good = hand_file();
  // Every cut of the file.
  for (size_t n = 4; n < good.size(); n += 3) {
    std::vector<uint8_t> cut(good.begin(), good.begin() + static_cast<long>(n));
    std::string out;
    ASSERT_LT(read_bytes(cut, &out), 0) << n;
    EXPECT_NE(out.find("Pathfinding graph hand.pfg refused"), std::string::npos) << out;
    EXPECT_FALSE(Path_graph.loaded);
    EXPECT_EQ(Path_graph.sectors[0][0].node_count, 0);
  }
  // A link to a node the sector does not have.
  std::string out;
  EXPECT_LT(read_bytes(hand_file(109, 4), &out), 0);
  EXPECT_NE(out.find("links to node 4"), std::string::npos) << out;
  // A header total smaller than the blocks, and one the file cannot hold.
  for (int32_t v : {3, 100000000}) {
    std::vector<uint8_t> bad = good;
    std::memcpy(&bad[8 + 4 * 5], &v, 4);  // the tree total
    EXPECT_LT(read_bytes(bad, &out), 0);
    EXPECT_FALSE(Path_graph.loaded);
  }
}

TEST(PathGraph, WriterGraphsReadBackRecordForRecord) {
  PfgLevel level;
  demo_graph_outdoor(level);
  const PfgFile f = pfg_build(level);
  ASSERT_EQ(read_bytes(pfg_bytes(f)), 0);
  for (int c = 0; c < 3; c++) {
    for (int s = 0; s < 20; s++) {
      const PfgSectorSpec& want = f.sectors[c][s];
      const PathSector& got = Path_graph.sectors[c][s];
      ASSERT_EQ(got.node_count, static_cast<int>(want.nodes.size()));
      ASSERT_EQ(got.tree_count, static_cast<int>(want.tree.size()));
      for (size_t i = 0; i < want.nodes.size(); i++) {
        const PfgPt& p = f.points[want.nodes[i].point];
        EXPECT_EQ(got.nodes[i].point->x, p.x);
        EXPECT_EQ(got.nodes[i].point->z, p.z);
        ASSERT_EQ(got.nodes[i].link_count, static_cast<int>(want.nodes[i].links.size()));
        for (size_t k = 0; k < want.nodes[i].links.size(); k++) {
          const auto [ls, li] = want.nodes[i].links[k];
          EXPECT_EQ(got.nodes[i].links[k], &Path_graph.sectors[c][ls].nodes[li]);
        }
      }
    }
  }
}

TEST(PathGraph, LoadsThroughTheFileLayerAndAMissingGraphIsNoError) {
  const std::string dir = fresh_temp_dir("pfg");
  vfile_set_root(dir.c_str(), false);
  const int saved = Internal_path_type;
  Internal_path_type = vfile_add_path_type("", ".pfg");
  PfgLevel level;
  demo_graph_indoor(level);
  ASSERT_TRUE(pfg_write_file(dir + "/room.pfg", pfg_build(level)));
  testing::internal::CaptureStdout();
  EXPECT_EQ(pfg_load("room.s3d"), 0);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("PFG memory size: "), std::string::npos);
  EXPECT_TRUE(Path_graph.loaded);
  EXPECT_EQ(pfg_load("nothing_here"), 0);
  EXPECT_FALSE(Path_graph.loaded);
  vector goal{5, 0, 0};
  EXPECT_EQ(find_path(vector{-5, 0, 0}, 0, goal, 1, 0, 0.0f), nullptr);
  EXPECT_EQ(path_nodes_in_use(), 0);
  vfile_remove_path_type(Internal_path_type);
  Internal_path_type = saved;
  pfg_free();
}

}  // namespace
