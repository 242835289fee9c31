// Rays and moving spheres against the demo levels, checked against a plain
// test of every face of every instance: a wrong tree silently misses hits.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "Engine/s3d/collide.h"
#include "Engine/s3d/level_objects.h"
#include "tests/Engine/s3d/level_fixture.h"
#include "tools/writers/demo_level_layouts.h"

namespace {

class Collide : public LevelTest {
 protected:
  void load_demo(void (*describe)(LevelBuilder&), const char* name) {
    LevelBuilder b;
    describe(b);
    write(b, name);
    ASSERT_EQ(load(name), 0);
  }
};

vector world_corner(const LevelMeshInstance& mi, const LevelFace& f, int k) {
  vector w;
  mi.mesh->positions[f.v[k]].unrotated(w, mi.orient);
  return w + mi.pos;
}

// Plain ray against triangle in world space (the two-sided test of the
// textbook), with the game's facing rule applied afterwards.
bool ray_triangle(const vector& o, const vector& d, const vector& a, const vector& b, const vector& c, float* t) {
  const vector e1 = b - a, e2 = c - a;
  vector p;
  d.cross(p, e2);
  const double det = vector::dot(e1, p);
  if (std::fabs(det) < 1e-12) return false;
  const vector s = o - a;
  const double u = vector::dot(s, p) / det;
  if (u < 0.0 || u > 1.0) return false;
  vector q;
  s.cross(q, e1);
  const double v = vector::dot(d, q) / det;
  if (v < 0.0 || u + v > 1.0) return false;
  *t = static_cast<float>(vector::dot(e2, q) / det);
  return *t >= 0.0f && *t <= 1.0f;
}

struct Brute {
  int count = 0;
  float fraction = FLT_MAX;
  int instance = -1;
};

// Every face of every allowed instance, in world space, independent of the
// engine's own face test.
Brute brute_ray(const CollisionQuery& q) {
  Brute r;
  for (int i = 0; i < Level.instance_count; i++) {
    const LevelMeshInstance& mi = Level.instances[i];
    if ((mi.flags & q.include) != q.include || (mi.flags & q.exclude)) continue;
    vector world_normal;
    for (int f = 0; f < mi.mesh->face_count; f++) {
      const LevelFace& face = mi.mesh->faces[f];
      if (face.normal.is_zero()) continue;
      face.normal.unrotated(world_normal, mi.orient);
      if (vector::dot(world_normal, q.delta) > 0.0f && !(face.flags & FACE_TWO_SIDED)) continue;
      float t;
      if (!ray_triangle(q.start, q.delta, world_corner(mi, face, 0), world_corner(mi, face, 1),
                        world_corner(mi, face, 2), &t))
        continue;
      r.count++;
      if (t < r.fraction) {
        r.fraction = t;
        r.instance = i;
      }
    }
  }
  return r;
}

// Every face through the engine's one-face test: what the tree must find.
Brute brute_faces(CollisionQuery q) {
  Brute r;
  q.options |= CQ_ONE_FACE;
  for (int i = 0; i < Level.instance_count; i++) {
    for (int f = 0; f < Level.instances[i].mesh->face_count; f++) {
      q.face = &Level.instances[i].mesh->faces[f];
      CollisionResult c;
      collide_mesh(i, &q, &c, 1);
      if (c.count > 0 && c.fraction < r.fraction) {
        r.fraction = c.fraction;
        r.instance = i;
      }
      r.count += c.count;
    }
  }
  return r;
}

CollisionQuery ray(const vector& start, const vector& delta, float radius = 0.0f) {
  CollisionQuery q{};
  q.start = start;
  q.delta = delta;
  q.radius = radius;
  return q;
}

// Random segments through and around the level: from above, level with the
// ground, and steeply down.
std::vector<CollisionQuery> random_queries(int n, float radius, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<float> xz(-26.0f, 26.0f), y(-1.0f, 14.0f), dir(-1.0f, 1.0f);
  std::vector<CollisionQuery> out;
  for (int i = 0; i < n; i++) {
    const vector start{xz(gen), y(gen), xz(gen)};
    vector d{dir(gen), dir(gen) * (i % 3 == 0 ? 0.05f : 1.0f), dir(gen)};
    if (i % 4 == 0) d = vector{dir(gen) * 0.2f, -1.0f, dir(gen) * 0.2f};
    d.normalize();
    out.push_back(ray(start, d * 30.0f, radius));
  }
  return out;
}

void expect_same_as_brute(const CollisionQuery& query, const Brute& b, float slack, int index) {
  CollisionQuery q = query;
  CollisionResult r;
  collide_level(&q, &r);
  ASSERT_EQ(r.count > 0, b.count > 0) << "query " << index << " brute " << b.fraction;
  if (b.count == 0) return;
  // Faces within the walk's tolerance of a plane may come in either order.
  const float len = q.delta.length();
  EXPECT_NEAR(r.fraction * len, b.fraction * len, slack) << "query " << index << " instance " << r.instance
                                                          << " brute instance " << b.instance;
}

TEST_F(Collide, RaysFindTheNearestFaceAsTheBruteForceTestDoes) {
  for (auto level : {std::pair{&demo_level_outdoor, DEMO_LEVEL_OUTDOOR}, std::pair{&demo_level_indoor, DEMO_LEVEL_INDOOR}}) {
    SCOPED_TRACE(level.second);
    load_demo(level.first, level.second);
    const auto queries = random_queries(1500, 0.0f, 7);
    int hits = 0;
    for (size_t i = 0; i < queries.size(); i++) {
      const Brute b = brute_ray(queries[i]);
      hits += b.count > 0;
      expect_same_as_brute(queries[i], b, 0.02f, static_cast<int>(i));
      if (HasFailure()) return;
    }
    // The sample must mostly hit something, or it shows nothing.
    EXPECT_GT(hits, static_cast<int>(queries.size()) / 20);
  }
}

// Towns of a few and of many blocks: the grid that finds the instances near
// a segment must hand over every one a face test finds, for rays and
// spheres, short and long, from inside the town and from beyond its walls.
TEST_F(Collide, RaysAndSpheresInTownsFindWhatEveryFaceTestFinds) {
  for (int side : {1, 4, 13}) {
    SCOPED_TRACE(side);
    LevelBuilder b;
    demo_level_town(b, side);
    write(b, "town.s3d");
    ASSERT_EQ(load("town.s3d"), 0);
    ASSERT_EQ(Level.instance_count, 2 * side * side + 4);
    const float reach = side * DEMO_TOWN_BLOCK * 0.5f + 6.0f;
    std::mt19937 gen(11 + side);
    std::uniform_real_distribution<float> xz(-reach, reach), y(-0.5f, 7.0f), dir(-1.0f, 1.0f), len(0.5f, 60.0f);
    int hits = 0;
    for (int i = 0; i < 1500 && !HasFailure(); i++) {
      vector d{dir(gen), dir(gen) * (i % 3 == 0 ? 0.05f : 0.6f), dir(gen)};
      if (i % 5 == 0) d = vector{0.0f, -1.0f, 0.0f};
      if (i % 7 == 0) d = vector{1.0f, 0.0f, 0.0f};
      d.normalize();
      const CollisionQuery q = ray(vector{xz(gen), y(gen), xz(gen)}, d * len(gen));
      const Brute brute = brute_ray(q);
      hits += brute.count > 0;
      expect_same_as_brute(q, brute, 0.02f, i);
    }
    EXPECT_GT(hits, 300);
    for (int i = 0; i < 300 && !HasFailure(); i++) {
      vector d{dir(gen), dir(gen) * 0.3f, dir(gen)};
      d.normalize();
      const CollisionQuery q = ray(vector{xz(gen), y(gen), xz(gen)}, d * len(gen), 0.4f);
      expect_same_as_brute(q, brute_faces(q), 1e-4f, i);
    }
  }
}

// Renumbers a tree so that every node's children come before it (the root
// stays node 0): sibling pairs keep their order and stay side by side.
void children_before_parents(CollisionTree& t) {
  const uint32_t n = t.node_count;
  std::vector<std::vector<uint32_t>> groups;  // sibling groups in file order
  std::vector<uint32_t> group_of_first(n, UINT32_MAX);
  for (uint32_t i = 0; i < n; i++) {
    const CollisionNode& nd = t.nodes[i];
    const bool first = nd.word0 & CNODE_FIRST_CHILD, second = nd.word0 & CNODE_SECOND_CHILD;
    if (!first && !second) continue;
    const uint32_t c = nd.word2 & 0xFFFF;
    if (group_of_first[c] != UINT32_MAX) continue;
    group_of_first[c] = static_cast<uint32_t>(groups.size());
    groups.push_back(first && second ? std::vector<uint32_t>{c, c + 1} : std::vector<uint32_t>{c});
  }
  std::sort(groups.begin(), groups.end());
  std::vector<uint32_t> order = {0};
  for (auto g = groups.rbegin(); g != groups.rend(); ++g) order.insert(order.end(), g->begin(), g->end());
  ASSERT_EQ(order.size(), n) << "every node but the root is some node's child";
  std::vector<uint32_t> new_index(n);
  for (uint32_t k = 0; k < n; k++) new_index[order[k]] = k;
  std::vector<CollisionNode> old(t.nodes, t.nodes + n);
  for (uint32_t k = 0; k < n; k++) {
    CollisionNode nd = old[order[k]];
    if (nd.word0 & (CNODE_FIRST_CHILD | CNODE_SECOND_CHILD))
      nd.word2 = (nd.word2 & ~0xFFFFu) | new_index[nd.word2 & 0xFFFF];
    t.nodes[k] = nd;
  }
}

// The file may number a node's children before it, as long as node 0 is
// the root: such a level loads and its rays find what the brute test finds.
TEST_F(Collide, TreesWithChildrenBeforeTheirParentsLoadAndFindTheSameFaces) {
  load_demo(demo_level_outdoor, DEMO_LEVEL_OUTDOOR);
  int reordered = 0;
  for (int m = 0; m < Level.mesh_count; m++) {
    CollisionTree& t = Level.meshes[m].tree;
    if (t.node_count < 3) continue;
    children_before_parents(t);
    if (HasFailure()) return;
    reordered++;
    // The root's children now stand at the end.
    EXPECT_GT(t.nodes[0].word2 & 0xFFFF, t.node_count / 2);
  }
  ASSERT_GT(reordered, 0);
  ASSERT_EQ(s3d_write("reordered.s3d", type_, &Level), 0);
  s3d_unload(&Level);
  ASSERT_EQ(load("reordered.s3d"), 0);
  const auto queries = random_queries(600, 0.0f, 5);
  for (size_t i = 0; i < queries.size(); i++) {
    expect_same_as_brute(queries[i], brute_ray(queries[i]), 0.02f, static_cast<int>(i));
    if (HasFailure()) return;
  }
}

TEST_F(Collide, SpheresFindTheFirstContactAsEveryFaceTestedAloneDoes) {
  for (auto level : {std::pair{&demo_level_outdoor, DEMO_LEVEL_OUTDOOR}, std::pair{&demo_level_indoor, DEMO_LEVEL_INDOOR}}) {
    SCOPED_TRACE(level.second);
    load_demo(level.first, level.second);
    for (float radius : {0.05f, 0.5f, 1.5f}) {
      const auto queries = random_queries(300, radius, 11);
      for (size_t i = 0; i < queries.size(); i++) {
        expect_same_as_brute(queries[i], brute_faces(queries[i]), 1e-4f, static_cast<int>(i));
        if (HasFailure()) return;
      }
    }
  }
}

TEST_F(Collide, KnownContactsOnTheIndoorLevel) {
  load_demo(demo_level_indoor, DEMO_LEVEL_INDOOR);
  struct {
    const char* what;
    vector start, delta;
    float radius;
    float fraction;  // -1 no contact
    const char* instance;
    vector normal;
    int kind;
  } cases[] = {
      // Room A's west wall is at x = -12: from x = -8 a 10-long ray meets it
      // at 0.4, the normal facing back along the ray.
      {"wall", {-8, 2, 2}, {-10, 0, 0}, 0.0f, 0.4f, "room_a", {1, 0, 0}, 0},
      // Straight down onto the floor (top at 0) from 2 up.
      {"floor", {-6, 2, 2}, {0, -4, 0}, 0.0f, 0.5f, "floor_a", {0, 1, 0}, 0},
      // A sphere of radius 0.5 stops half a unit short of the wall.
      {"sphere on wall", {-8, 2, 2}, {-10, 0, 0}, 0.5f, 0.35f, "room_a", {1, 0, 0}, 0},
      // 0.00009 is below the ray radius: the same as a ray.
      {"tiny sphere", {-8, 2, 2}, {-10, 0, 0}, 0.00009f, 0.4f, "room_a", {1, 0, 0}, 0},
      // Through the closed door (x -0.1 .. 0.1) at the doorway.
      {"door", {-2, 1, 0}, {4, 0, 0}, 0.0f, 0.475f, "door_main", {-1, 0, 0}, 0},
      // Over the door (3 high) the wall closes above the doorway.
      {"lintel", {-2, 3.5f, 0}, {4, 0, 0}, 0.0f, 0.5f, "room_a", {-1, 0, 0}, 0},
      // Level with the floor, 0.01 above it, into the stage: the floor's own
      // plane is within the tolerance and the walk still looks beyond it.
      {"grazing", {4, 0.01f, 2}, {4, 0, 0}, 0.0f, 0.5f, "stage", {-1, 0, 0}, 0},
      // A sphere brushing the stage's top edge meets it at the edge.
      {"edge", {4, 1.4f, 2}, {4, 0, 0}, 0.5f, -2.0f, "stage", {0, 0, 0}, 1},
      // Up through the ceiling from outside: one-sided faces let it through
      // from behind, and nothing is above.
      {"outside", {-6, 10, 2}, {0, 5, 0}, 0.0f, -1.0f, nullptr, {0, 0, 0}, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    CollisionQuery q = ray(c.start, c.delta, c.radius);
    CollisionResult r;
    collide_level(&q, &r);
    if (c.fraction == -1.0f) {
      EXPECT_EQ(r.count, 0);
      continue;
    }
    ASSERT_GT(r.count, 0);
    EXPECT_STREQ(Level.instances[r.instance].name, c.instance);
    EXPECT_EQ(r.kind, c.kind);
    if (c.fraction >= 0.0f) {
      EXPECT_NEAR(r.fraction, c.fraction, 1e-5f);
    }
    if (c.kind == 0) {
      vector n;
      r.normal.unrotated(n, Level.instances[r.instance].orient);
      EXPECT_NEAR(n.x, c.normal.x, 1e-5f);
      EXPECT_NEAR(n.y, c.normal.y, 1e-5f);
      EXPECT_NEAR(n.z, c.normal.z, 1e-5f);
    }
    EXPECT_EQ(Collide_last_instance, r.instance);
    EXPECT_EQ(Collide_last_face, r.face);
  }
}

TEST_F(Collide, MasksAndOptions) {
  load_demo(demo_level_indoor, DEMO_LEVEL_INDOOR);
  const int floor_a = level_mesh_find_by_name("floor_a");
  const int room_a = level_mesh_find_by_name("room_a");
  const CollisionQuery down = ray(vector{-6, 2, 2}, vector{0, -4, 0});
  struct {
    uint32_t include, exclude, options;
    float limit;
    int instance;
  } cases[] = {
      {0, 0, 0, 0.0f, floor_a},
      {MI_GROUND, 0, 0, 0.0f, floor_a},
      {0, MI_GROUND, 0, 0.0f, room_a},  // the room's own floor under the ground
      {MI_GROUND | MI_MOVABLE, 0, 0, 0.0f, -1},
      {0, MI_GROUND | MI_VIS_SEEN, 0, 0.0f, room_a},
      // The room comes first in the level: stopping at the first instance
      // with a contact reports it, though the floor's is the same distance.
      {0, 0, CQ_FIRST_INSTANCE, 0.0f, room_a},
      {0, 0, CQ_LIMIT, 0.9f, room_a},
      {0, 0, CQ_LIMIT, 0.1f, floor_a},
  };
  for (const auto& c : cases) {
    CollisionQuery q = down;
    q.include = c.include;
    q.exclude = c.exclude;
    q.options = c.options;
    q.limit = c.limit;
    CollisionResult r;
    collide_level(&q, &r);
    EXPECT_EQ(r.count > 0 ? r.instance : -1, c.instance)
        << std::hex << c.include << " " << c.exclude << " " << c.options;
  }
  // One face only: the floor face under the point, and one beside it.
  CollisionQuery q = down;
  CollisionResult r;
  collide_mesh(floor_a, &q, &r, 1);
  ASSERT_GT(r.count, 0);
  q.options = CQ_ONE_FACE;
  q.face = r.face;
  collide_mesh(floor_a, &q, &r, 1);
  EXPECT_GT(r.count, 0);
  q.face = r.face == &Level.instances[floor_a].mesh->faces[0] ? &Level.instances[floor_a].mesh->faces[5]
                                                                : &Level.instances[floor_a].mesh->faces[0];
  collide_mesh(floor_a, &q, &r, 1);
  EXPECT_EQ(r.count, 0);
}

TEST_F(Collide, FirstInstanceStopsAtTheFirstInstanceInLevelOrder) {
  LevelBuilder b;
  for (int i = 0; i < 9; i++)
    b.add_box("box" + std::to_string(i), vector{100.0f + i, 0, 0}, vector{100.5f + i, 1, 1}, 0);
  // Instance 3 lies far along the ray, instance 7 near its start.
  b.instances[3].pos = vector{0.0f, 0.5f, 8.0f};
  b.instances[7].pos = vector{0.0f, 0.5f, 2.0f};
  write(b, "order.s3d");
  ASSERT_EQ(load("order.s3d"), 0);
  CollisionQuery q = ray(vector{0.0f, 0.5f, -1.0f}, vector{0.0f, 0.0f, 20.0f});
  CollisionResult r;
  collide_level(&q, &r);
  EXPECT_EQ(r.instance, 7);
  EXPECT_NEAR(r.fraction, 2.5f / 20.0f, 1e-5f);
  // The far box is never walked once the near contact is known, so the
  // count holds only the near one.
  EXPECT_EQ(r.count, 1);
  q.options = CQ_FIRST_INSTANCE;
  collide_level(&q, &r);
  EXPECT_EQ(r.instance, 3);
  EXPECT_EQ(r.count, 1);
}

// Two floor slabs meet at x = 1: a probe down the seam meets both at the
// same height, and the first instance keeps the contact, as a walk of the
// instances in the level's order gives it (a later equal one is not nearer).
TEST_F(Collide, AnEqualContactGoesToTheFirstInstance) {
  for (bool swapped : {false, true}) {
    SCOPED_TRACE(swapped);
    LevelBuilder b;
    b.add_box(swapped ? "right" : "left", vector{swapped ? 1.0f : 0.0f, 0, 0}, vector{swapped ? 2.0f : 1.0f, 1, 1}, 0);
    b.add_box(swapped ? "left" : "right", vector{swapped ? 0.0f : 1.0f, 0, 0}, vector{swapped ? 1.0f : 2.0f, 1, 1}, 0);
    write(b, "seam.s3d");
    ASSERT_EQ(load("seam.s3d"), 0);
    CollisionQuery q = ray(vector{1.0f, 5.0f, 0.5f}, vector{0.0f, -10.0f, 0.0f});
    CollisionResult r;
    collide_level(&q, &r);
    ASSERT_GT(r.count, 0);
    EXPECT_NEAR(r.fraction, 0.4f, 1e-5f);
    EXPECT_EQ(r.instance, 0);
    // A sphere coming down the seam likewise.
    q.radius = 0.25f;
    collide_level(&q, &r);
    ASSERT_GT(r.count, 0);
    EXPECT_NEAR(r.fraction, 0.375f, 1e-5f);
    EXPECT_EQ(r.instance, 0);
  }
}

TEST_F(Collide, FacesAreOneSidedUnlessFlagged) {
  load_demo(demo_level_outdoor, DEMO_LEVEL_OUTDOOR);
  const int fence = level_mesh_find_by_name("fence01");    // two-sided for rays
  const int banner = level_mesh_find_by_name("banner01");  // one-sided, facing +x
  ASSERT_GE(fence, 0);
  ASSERT_GE(banner, 0);
  struct {
    const char* what;
    int instance;
    vector start, delta;
    float radius;
    bool hit;
    float normal_dot;  // the reported normal against the delta
  } cases[] = {
      {"fence from the front", fence, {-6, 1.5f, 12}, {0, 0, -4}, 0.0f, true, -4.0f},
      {"fence from the back", fence, {-6, 1.5f, 8}, {0, 0, 4}, 0.0f, true, -4.0f},
      {"banner from the front", banner, {12, 5, 9}, {-4, 0, 0}, 0.0f, true, -4.0f},
      {"banner from the back", banner, {8, 5, 9}, {4, 0, 0}, 0.0f, false, 0.0f},
      // Spheres go by the alpha flag, not the ray flag.
      {"sphere, fence from the back", fence, {-6, 1.5f, 8}, {0, 0, 4}, 0.3f, false, 0.0f},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    CollisionQuery q = ray(c.start, c.delta, c.radius);
    CollisionResult r;
    collide_mesh(c.instance, &q, &r, 1);
    ASSERT_EQ(r.count > 0, c.hit);
    if (!c.hit) continue;
    vector n;
    r.normal.unrotated(n, Level.instances[c.instance].orient);
    EXPECT_NEAR(vector::dot(n, c.delta), c.normal_dot, 1e-4f);
  }
  // With the alpha flag the sphere meets the fence from behind too.
  for (int f = 0; f < Level.instances[fence].mesh->face_count; f++) Level.instances[fence].mesh->faces[f].flags |= FACE_ALPHA;
  CollisionQuery q = ray(vector{-6, 1.5f, 8}, vector{0, 0, 4}, 0.3f);
  CollisionResult r;
  collide_mesh(fence, &q, &r, 1);
  EXPECT_GT(r.count, 0);
  EXPECT_NEAR(r.fraction, (2.0f - 0.3f) / 4.0f, 1e-5f);
  int cr, cg, cb;
  collide_get_light(vector{1, 2, 3}, &cr, &cg, &cb);
  EXPECT_EQ(cr + cg + cb, 765);
}

TEST_F(Collide, FloorPointsOnRampsInDoorwaysAndOutside) {
  load_demo(demo_level_indoor, DEMO_LEVEL_INDOOR);
  // The stage ramp rises from 0 at z = -4 to 1 at z = 0 over x 6..10.
  for (float z : {-3.5f, -2.0f, -0.5f}) {
    vector p;
    ASSERT_TRUE(level_floor_point(vector{8.0f, 3.0f, z}, 10.0f, 0, &p)) << z;
    EXPECT_NEAR(p.y, (z + 4.0f) / 4.0f, 1e-4f);
    EXPECT_NEAR(p.x, 8.0f, 1e-5f);
  }
  vector p;
  EXPECT_TRUE(level_floor_point(vector{-6.0f, 2.0f, 0.0f}, 10.0f, 0, &p));
  EXPECT_NEAR(p.y, 0.0f, 1e-5f);
  EXPECT_FALSE(level_floor_point(vector{40.0f, 2.0f, 0.0f}, 10.0f, 0, &p));
  // The door's floor point lies on the sill of its doorway.
  const int door = level_mesh_find_by_name("door_main");
  level_movable_place(door);
  const LevelMovableMesh* m = level_mesh_movable_info(door);
  ASSERT_NE(m, nullptr);
  EXPECT_NEAR(m->floor_point.y, 0.05f, 1e-4f);
  EXPECT_NEAR(m->floor_point.x, 0.0f, 1e-4f);
  // Outdoors: on a house of the south hamlet (1.5 high), on the ground
  // where four ground tiles meet, down a cell edge, and inside a cell.
  load_demo(demo_level_outdoor, DEMO_LEVEL_OUTDOOR);
  struct {
    vector at;
    float height;
  } outdoor[] = {{{-21.0f, 0, -21.5f}, 1.5f}, {{0.0f, 0, 0.0f}, 0.0f}, {{-16.0f, 0, -8.0f}, 0.0f},
                 {{-3.3f, 0, 5.5f}, 0.0f}, {{17.1f, 0, 23.9f}, 0.0f}};
  for (const auto& c : outdoor) {
    ASSERT_TRUE(level_floor_point(vector{c.at.x, 20.0f, c.at.z}, 40.0f, 0, &p)) << c.at.x << " " << c.at.z;
    EXPECT_NEAR(p.y, c.height, 1e-4f) << c.at.x << " " << c.at.z;
  }
}

// Instances move (doors, or anything that sets a placement and says so), and
// a new level may take the old one's memory with instances in the same
// places: rays must follow what is there now.
TEST_F(Collide, RaysFollowInstancesThatMoveAndLevelsThatReplaceTheirs) {
  load_demo(demo_level_indoor, DEMO_LEVEL_INDOOR);
  const int door = level_mesh_find_by_name("door_main");
  const int chest = level_mesh_find_by_name("key_chest");
  ASSERT_GE(door, 0);
  ASSERT_GE(chest, 0);
  const auto queries = random_queries(600, 0.0f, 23);
  const auto all_same_as_brute = [&] {
    for (size_t i = 0; i < queries.size() && !HasFailure(); i++)
      expect_same_as_brute(queries[i], brute_ray(queries[i]), 0.02f, static_cast<int>(i));
  };
  // Along x through the doorway (the door spans x -0.1..0.1, z -1..1).
  const CollisionQuery through = ray(vector{-2, 1, 0}, vector{16, 0, 0});
  CollisionQuery q = through;
  CollisionResult r;
  collide_level(&q, &r);
  ASSERT_GT(r.count, 0);
  EXPECT_EQ(r.instance, door);
  all_same_as_brute();
  // The door moves 3 back into room A: the ray goes on through the open
  // doorway to the foot of room B's stage ramp at x 6, and one from further
  // back meets the door.
  Level.instances[door].pos.x -= 3.0f;
  collide_instance_moved(door);
  q = through;
  collide_level(&q, &r);
  ASSERT_GT(r.count, 0);
  EXPECT_STREQ(Level.instances[r.instance].name, "stage_ramp");
  EXPECT_NEAR(r.fraction, 8.0f / 16.0f, 1e-5f);
  q = ray(vector{-5, 1, 0}, vector{4, 0, 0});
  collide_level(&q, &r);
  ASSERT_GT(r.count, 0);
  EXPECT_EQ(r.instance, door);
  EXPECT_NEAR(r.fraction, 1.9f / 4.0f, 1e-5f);
  // The chest turns round its middle and moves 3 along x.
  const float s = std::sin(0.8f), c = std::cos(0.8f);
  Level.instances[chest].orient = matrix{vector{c, 0, -s}, vector{0, 1, 0}, vector{s, 0, c}};
  Level.instances[chest].pos.x += 3.0f;
  collide_instance_moved(chest);
  all_same_as_brute();
  // A level of the same layout whose chest is twice as tall, loaded into the
  // same memory: a ray over the old chest's top meets the new one.
  const auto tall = [](LevelBuilder& b) {
    demo_level_indoor(b);
    for (auto& inst : b.instances)
      if (inst.name == "key_chest") {
        for (auto& p : b.meshes[inst.mesh].positions) p.y *= 2.0f;
      }
  };
  const vector over_chest{-9.5f, 1.0f, 1.0f};
  q = ray(over_chest, vector{0, 0, 4});
  load_demo(demo_level_indoor, DEMO_LEVEL_INDOOR);
  collide_level(&q, &r);
  EXPECT_TRUE(r.count == 0 || r.instance != chest);
  load_demo(tall, "tall_chest.s3d");
  q = ray(over_chest, vector{0, 0, 4});
  collide_level(&q, &r);
  ASSERT_GT(r.count, 0);
  EXPECT_EQ(r.instance, chest);
  EXPECT_NEAR(r.fraction, 0.5f, 1e-5f);
  all_same_as_brute();
}

}  // namespace

namespace {

// What a walk of every instance in the level's order finds, lowest index
// first: the nearest contact, its instance and face.
CollisionResult in_level_order(CollisionQuery q) {
  CollisionResult r;
  collide_mesh(0, &q, &r, 1);
  for (int i = 1; i < Level.instance_count; i++) collide_mesh(i, &q, &r, 0);
  return r;
}

}  // namespace

// The level query visits instances nearest first and stops early; what it
// reports must be exactly what the walk in the level's order reports, for
// rays and spheres, slanted and along the axes, short and long.
TEST_F(Collide, LevelQueriesFindExactlyWhatAWalkInTheLevelsOrderFinds) {
  for (auto level : {std::pair{&demo_level_outdoor, DEMO_LEVEL_OUTDOOR}, std::pair{&demo_level_indoor, DEMO_LEVEL_INDOOR}}) {
    SCOPED_TRACE(level.second);
    load_demo(level.first, level.second);
    for (float radius : {0.0f, 0.3f}) {
      auto queries = random_queries(3000, radius, 99);
      std::mt19937 gen(5);
      // Inside the indoor level's rooms as well as about the outdoor one.
      std::uniform_real_distribution<float> xz(-10.0f, 10.0f), y(0.2f, 3.0f), dir(-1.0f, 1.0f);
      for (int i = 0; i < 3000; i++) {
        vector d{dir(gen), 0.0f, dir(gen)};
        if (i % 4 == 1) d = vector{0.0f, -1.0f, 0.0f};
        if (i % 4 == 2) d = vector{dir(gen), 0.0f, 0.0f};
        if (i % 4 == 3) d = vector{0.0f, 0.0f, dir(gen)};
        if (d.is_zero()) continue;
        d.normalize();
        queries.push_back(ray(vector{xz(gen), y(gen), xz(gen)}, d * (i % 2 ? 30.0f : 3.0f), radius));
      }
      int hits = 0;
      for (size_t i = 0; i < queries.size() && !HasFailure(); i++) {
        CollisionQuery q = queries[i];
        CollisionResult r;
        collide_level(&q, &r);
        const CollisionResult want = in_level_order(queries[i]);
        ASSERT_EQ(r.count > 0, want.count > 0) << "query " << i << " radius " << radius;
        if (want.count == 0) continue;
        hits++;
        EXPECT_EQ(r.instance, want.instance) << "query " << i << " radius " << radius;
        EXPECT_EQ(r.face, want.face) << "query " << i << " radius " << radius;
        EXPECT_EQ(r.fraction, want.fraction) << "query " << i << " radius " << radius;
        EXPECT_EQ(r.kind, want.kind) << "query " << i << " radius " << radius;
      }
      EXPECT_GT(hits, 300);
    }
  }
}

// Towns go through the ground grid and the boxes four at a time: the same
// exact answers as the walk in the level's order, for towns whose instance
// count leaves spare lanes in the last group of boxes (those lanes stand at
// the origin, so rays through it are among the queries).
TEST_F(Collide, TownQueriesFindExactlyWhatAWalkInTheLevelsOrderFinds) {
  for (int side : {1, 5, 11}) {
    SCOPED_TRACE(side);
    LevelBuilder b;
    demo_level_town(b, side);
    write(b, "town.s3d");
    ASSERT_EQ(load("town.s3d"), 0);
    ASSERT_NE(Level.instance_count % 4, 0);
    const float reach = side * DEMO_TOWN_BLOCK * 0.5f + 4.0f;
    std::mt19937 gen(23 + side);
    std::uniform_real_distribution<float> xz(-reach, reach), y(-0.5f, 7.0f), dir(-1.0f, 1.0f), len(0.5f, 40.0f);
    int hits = 0;
    for (int i = 0; i < 4000 && !HasFailure(); i++) {
      vector d{dir(gen), dir(gen) * (i % 3 == 0 ? 0.05f : 0.6f), dir(gen)};
      if (i % 5 == 0) d = vector{0.0f, -1.0f, 0.0f};
      if (i % 7 == 0) d = vector{dir(gen), 0.0f, 0.0f};
      if (d.is_zero()) continue;
      d.normalize();
      const float l = len(gen);
      vector start{xz(gen), y(gen), xz(gen)};
      if (i % 4 == 1) start = d * (-0.5f * l);  // through the origin
      const CollisionQuery query = ray(start, d * l, i % 6 == 0 ? 0.3f : 0.0f);
      CollisionQuery q = query;
      CollisionResult r;
      collide_level(&q, &r);
      const CollisionResult want = in_level_order(query);
      ASSERT_EQ(r.count > 0, want.count > 0) << "query " << i;
      if (want.count == 0) continue;
      hits++;
      EXPECT_EQ(r.instance, want.instance) << "query " << i;
      EXPECT_EQ(r.face, want.face) << "query " << i;
      EXPECT_EQ(r.fraction, want.fraction) << "query " << i;
      EXPECT_EQ(r.kind, want.kind) << "query " << i;
    }
    EXPECT_GT(hits, 1000);
  }
}
