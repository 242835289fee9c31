// Plane volumes and the per-frame pyramid obstacles: which spheres lie in
// a pyramid, the limits of 6 planes and 16 obstacles, and the height
// command's answers.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "Engine/ai/obstacles.h"
#include "Engine/rendering/levelvis.h"
#include "Engine/s3d/s3d.h"
#include "quarn/os/console.h"

namespace {

TEST(Obstacles, APyramidHoldsTheSpheresBetweenItsSidesAndItsCuts) {
  obstacles_frame_reset();
  // Opening along +z, 45 degrees each way, from 1 to 10.
  ASSERT_EQ(obstacle_add(vector{0, 0, 0}, identity_matrix, 0.7853982f, 1.0f, 10.0f, 0.0f, false), 0);
  ConvexVolume& v = Obstacles[0].volume;
  EXPECT_EQ(v.count(), 6);
  EXPECT_NEAR(v.center.z, 5.5f, 1e-5f);
  EXPECT_NEAR(v.radius, 4.5f, 1e-5f);
  struct {
    vector c;
    float r;
    bool in;
  } cases[] = {{{0, 0, 5}, 0.1f, true},    {{4.9f, 0, 5}, 0.05f, true},  {{5.5f, 0, 5}, 0.1f, false},
               {{0, -5.5f, 5}, 0.1f, false}, {{0, 0, -5}, 0.1f, false},  {{0, 0, 0.5f}, 0.1f, false},
               {{0, 0, 0.5f}, 0.6f, true},   {{0, 0, 12}, 1.0f, false},  {{0, 0, 10.5f}, 1.0f, true}};
  for (auto& c : cases) {
    EXPECT_EQ(v.sphere_test(c.c, c.r), c.in) << c.c.x << "," << c.c.y << "," << c.c.z << " r " << c.r;
    EXPECT_EQ((v.flags & CV_INSIDE) != 0, c.in);
  }
}

TEST(Obstacles, AZeroHalfAngleGivesAxisNormals) {
  obstacles_frame_reset();
  obstacle_add(vector{1, 2, 3}, identity_matrix, 0.0f, 0.0f, 4.0f, 0.0f, true);
  const ConvexPlane* p = Obstacles[0].volume.planes;
  const float want[4][3] = {{-1, 0, 0}, {1, 0, 0}, {0, -1, 0}, {0, 1, 0}};
  for (int i = 0; i < 4; i++) {
    EXPECT_FLOAT_EQ(p[i].nx, want[i][0]);
    EXPECT_FLOAT_EQ(p[i].ny, want[i][1]);
    EXPECT_FLOAT_EQ(std::fabs(p[i].nz), 0.0f);
  }
  // Planes pass through the apex.
  EXPECT_FLOAT_EQ(p[1].nx * 1 + p[1].d, 0.0f);
  EXPECT_EQ(Obstacles[0].flags & 1u, 1u);
}

TEST(Obstacles, LimitsOfSixPlanesAndSixteenObstacles) {
  obstacles_frame_reset();
  for (int i = 0; i < MAX_OBSTACLES; i++)
    EXPECT_EQ(obstacle_add(vector{0, 0, float(i)}, identity_matrix, 0.3f, 0, 1, 0, false), i);
  EXPECT_EQ(obstacle_add(vector{0, 0, 0}, identity_matrix, 0.3f, 0, 1, 0, false), -1);
  EXPECT_EQ(Num_obstacles, MAX_OBSTACLES);
  obstacles_frame_reset();
  EXPECT_EQ(Num_obstacles, 0);
  ConvexVolume v;
  for (int i = 0; i < 8; i++) v.add_plane(1, 0, 0, float(-i));
  EXPECT_EQ(v.count(), 6);
  EXPECT_EQ(v.planes[5].d, -5.0f);
}

TEST(Obstacles, TheHeightCommandSetsAndReports) {
  std::string out;
  static std::string* sink;
  sink = &out;
  console_set_output_hook([](const char* t) { *sink += t; });
  console_execute("obstacle_height_offset 1.25");
  EXPECT_FLOAT_EQ(Obstacle_height_offset, 1.25f);
  EXPECT_NE(out.find("Obstacle height offset currently at 1.250 meters.\n"), std::string::npos) << out;
  out.clear();
  console_execute("help obstacle_height_offset");
  console_execute("obstacle_height_offset ?");
  console_set_output_hook(nullptr);
  EXPECT_NE(out.find("Usage: obstacle_height_offset <distance> -- where distance is in meters.\n"), std::string::npos)
      << out;
}

// The pyramid of the first test, and a mesh instance turned a quarter about
// y (its local +x is the world's -z) standing at (0, 0, 20): its sphere of
// 0.5, centred at local (x, 0, 0), lies on the axis at world z = 20 - x,
// inside while 0.5 <= z <= 10.5.
TEST(Obstacles, AMeshInstanceIsTestedInItsOwnFrame) {
  obstacles_frame_reset();
  ASSERT_EQ(obstacle_add(vector{0, 0, 0}, identity_matrix, 0.7853982f, 1.0f, 10.0f, 0.0f, false), 0);
  ConvexVolume& v = Obstacles[0].volume;
  LevelMesh mesh{};
  mesh.radius = 0.5f;
  LevelMeshInstance inst{};
  inst.mesh = &mesh;
  inst.pos = vector{0, 0, 20};
  inst.orient = matrix{vector{0, 0, -1}, vector{0, 1, 0}, vector{1, 0, 0}};
  const struct {
    float local_x;
    bool in;
  } cases[] = {{15, true}, {9.6f, true}, {9.4f, false}, {19.4f, true}, {20, false}};
  for (auto c : cases) {
    mesh.center = vector{c.local_x, 0, 0};
    EXPECT_EQ(v.touches_mesh(inst), c.in) << "world z " << 20 - c.local_x;
    EXPECT_EQ((v.flags & CV_INSIDE) != 0, c.in);
  }
  // Seven instances a frame; the frame reset forgets them.
  for (int i = 0; i < OBSTACLE_MAX_INSTANCES; i++) EXPECT_TRUE(obstacle_record_instance(0, &inst));
  EXPECT_FALSE(obstacle_record_instance(0, &inst));
  EXPECT_EQ(Obstacles[0].instance_count(), 7);
  EXPECT_FALSE(obstacle_record_instance(1, &inst));
  obstacles_frame_reset();
  EXPECT_EQ(Obstacles[0].instance_count(), 0);
}

TEST(Obstacles, PolygonsAreClippedToTheVolume) {
  obstacles_frame_reset();
  ASSERT_EQ(obstacle_add(vector{0, 0, 0}, identity_matrix, 0.7853982f, 1.0f, 10.0f, 0.0f, false), 0);
  const ConvexVolume& v = Obstacles[0].volume;
  // A floor square at y = -1 from z = 0 to 20, x -20..20: the pyramid keeps
  // the part with 1 <= z <= 10 and |x| <= z, a trapezium of 4 corners.
  const vector quad[4] = {{-20, -1, 0}, {20, -1, 0}, {20, -1, 20}, {-20, -1, 20}};
  vector out[4 + CONVEX_MAX_PLANES];
  const int n = v.clip(quad, 4, out);
  ASSERT_EQ(n, 4);
  float area = 0;
  for (int i = 0; i < n; i++) area += out[i].x * out[(i + 1) % n].z - out[(i + 1) % n].x * out[i].z;
  // The floor at y = -1 lies inside |y| <= z only from z = 1: x in [-z, z].
  EXPECT_NEAR(std::fabs(area) / 2, (10 * 10 - 1 * 1), 1e-3);  // integral of 2z dz from 1 to 10
  // A triangle wholly outside is dropped.
  const vector behind[3] = {{0, 0, -5}, {1, 0, -5}, {0, 1, -5}};
  EXPECT_EQ(v.clip(behind, 3, out), 0);
}

TEST(Obstacles, TheQueryListsObstaclesWithinTheFarFog) {
  obstacles_frame_reset();
  fog_set(5.0f, 100.0f);
  ASSERT_EQ(obstacle_add(vector{0, 0, 0}, identity_matrix, 0.5f, 1.0f, 10.0f, 0.0f, false), 0);
  ASSERT_EQ(obstacle_add(vector{500, 0, 0}, identity_matrix, 0.5f, 1.0f, 10.0f, 0.0f, false), 1);
  int out[MAX_OBSTACLES];
  // The first volume's sphere: centre (0, 0, 5.5), radius 4.5.
  EXPECT_EQ(obstacle_query_object(vector{0, 0, 50}, 1.0f, 0, out, 0), 1);
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(obstacle_query_object(vector{0, 0, 5.5f + 4.5f + 1.0f + 99.0f}, 1.0f, 0, out, 0), 1);
  EXPECT_EQ(obstacle_query_object(vector{0, 0, 5.5f + 4.5f + 1.0f + 101.0f}, 1.0f, 0, out, 0), 0);
  EXPECT_EQ(obstacle_query_object(vector{450, 0, 0}, 1.0f, 0, out, 0), 1);
  EXPECT_EQ(out[0], 1);
  fog_set(-1.0f, -1.0f);
}

}  // namespace
