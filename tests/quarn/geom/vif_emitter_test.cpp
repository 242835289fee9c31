// VIF particle emitters: spawn counts per frame from the keyed interval,
// sphere and rectangle positions, the static budget with compaction by
// index, key sets with reciprocal interpolation, and refused key counts.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "quarn/geom/vif_emitter.h"
#include "quarn/math/floatops.h"
#include "quarn/os/memory.h"
#include "tests/quarn/geom/effect_test_util.h"
#include "tools/writers/effect_writer.h"

namespace {
struct Built {
  Image image;
  bool ok = false;
  VifEmitterDef def;
};
Built build(const VifEmitterSpec& v) {
  EffectDefSpec d;
  d.name = "vif";
  d.vifs = {v};
  Built b;
  b.image = make_image({d});
  char err[128];
  b.ok = effect_image_check(b.image.view, err, sizeof err);
  const EffectDefArray a = effect_def_array(b.image.view, b.image.def(0), EFFECT_ARRAY_VIF);
  if (b.ok) b.ok = vif_emitter_def_at(b.image.view, a.record(0), b.def);
  return b;
}
VifEmitterSpec steady(float interval, int count) {
  VifEmitterSpec v;
  v.name = "puff";
  v.count = count;
  v.lifetime = 5.0f;
  v.interval_values = {interval};
  v.interval_times = {0.0f};
  return v;
}
class VifTest : public ::testing::Test {
 protected:
  void SetUp() override {
    vif_emitter_pool_reset();
    os_srand(99);
  }
};
}  // namespace

TEST_F(VifTest, ShortIntervalSpawnsSeveralPerFrame) {
  Built b = build(steady(0.01f, 100));
  ASSERT_TRUE(b.ok);
  vif_particle_emitter* e = vif_emitter_instantiate(b.def, false);
  ASSERT_TRUE(e);
  const float dt = 1.0f / 30.0f;
  vif_emitter_update(e, b.def, true, nullptr, nullptr, dt, dt);
  EXPECT_EQ(e->live, 3);
  vif_emitter_update(e, b.def, true, nullptr, nullptr, 2 * dt, dt);
  EXPECT_EQ(e->live, 6);
  // Without the spawn argument nothing new comes.
  vif_emitter_update(e, b.def, false, nullptr, nullptr, 3 * dt, dt);
  EXPECT_EQ(e->live, 6);
}

TEST_F(VifTest, SphereAndRectangleSpawnPlaces) {
  // Intervals and steps that are exact in binary, so the counts are too.
  VifEmitterSpec s = steady(0.0625f, 50);
  s.centre = {1, 2, 3};
  s.radius = 0.5f;
  s.speed = 0.0f;
  Built sphere = build(s);
  ASSERT_TRUE(sphere.ok);
  vif_particle_emitter* e = vif_emitter_instantiate(sphere.def, false);
  vif_emitter_update(e, sphere.def, true, nullptr, nullptr, 1.25f, 1.25f);
  ASSERT_EQ(e->live, 20);
  for (int i = e->live_list.first; i >= 0; i = e->particles[i].next)
    EXPECT_NEAR(vector_distance(e->particles[i].position, vector{1, 2, 3}), 1.0f, 1e-4);

  VifEmitterSpec r = steady(0.0625f, 50);
  r.flags |= VIF_RECTANGLE;
  r.radius = 2.0f;       // half-width
  r.half_height = 0.5f;
  r.speed = 3.0f;
  Built rect = build(r);
  ASSERT_TRUE(rect.ok);
  vif_particle_emitter* q = vif_emitter_instantiate(rect.def, false);
  vif_emitter_update(q, rect.def, true, nullptr, nullptr, 0.625f, 0.625f);
  ASSERT_EQ(q->live, 10);
  for (int i = q->live_list.first; i >= 0; i = q->particles[i].next) {
    const VifParticle& p = q->particles[i];
    // Moved along the third axis for one step at the speed.
    EXPECT_NEAR(p.position.z, 3.0f * 0.625f, 1e-5);
    EXPECT_LE(std::fabs(p.position.x), 2.0f);
    EXPECT_LE(std::fabs(p.position.y), 0.5f);
    EXPECT_NEAR(p.velocity.z, 3.0f, 1e-5);
  }
}

TEST_F(VifTest, StaticBudgetCompactsByIndex) {
  Built b = build(steady(0.0625f, 800));
  ASSERT_TRUE(b.ok);
  vif_particle_emitter* e[4];
  for (int i = 0; i < 3; i++) ASSERT_TRUE(e[i] = vif_emitter_instantiate(b.def, false));
  EXPECT_EQ(vif_static_used(), 2400);
  EXPECT_EQ(vif_emitter_instantiate(b.def, false), nullptr);  // the three still run
  // Give the third emitter live particles, release the first, and make room.
  vif_emitter_update(e[2], b.def, true, nullptr, nullptr, 3.125f, 3.125f);
  const int live = e[2]->live;
  ASSERT_EQ(live, 50);
  std::vector<vector> before;
  for (int i = e[2]->live_list.first; i >= 0; i = e[2]->particles[i].next) before.push_back(e[2]->particles[i].position);
  vif_emitter_release(e[0], b.def);
  ASSERT_TRUE(e[3] = vif_emitter_instantiate(b.def, false));
  EXPECT_EQ(vif_static_used(), 2400);
  EXPECT_EQ(e[1]->first_index, 0);
  EXPECT_EQ(e[2]->first_index, 800);
  EXPECT_EQ(e[3]->first_index, 1600);
  // The moved emitter's lists still hold the same particles in the same order.
  std::vector<vector> after;
  for (int i = e[2]->live_list.first; i >= 0; i = e[2]->particles[i].next) after.push_back(e[2]->particles[i].position);
  ASSERT_EQ(after.size(), before.size());
  for (size_t i = 0; i < after.size(); i++) EXPECT_EQ(after[i], before[i]);
  int free_count = 0;
  for (int i = e[2]->free_list.first; i >= 0; i = e[2]->particles[i].next) free_count++;
  EXPECT_EQ(free_count, 800 - live);
  vif_emitter_update(e[2], b.def, false, nullptr, nullptr, 3.25f, 0.125f);
  EXPECT_EQ(e[2]->live, live);
}

TEST_F(VifTest, LevelEmittersUseTheCurrentArena) {
  Built b = build(steady(0.1f, 10));
  ASSERT_TRUE(b.ok);
  alignas(16) static uint8_t bytes[1024];
  MemArena level;
  level.init(bytes, sizeof bytes, "level");
  mem_set_arena(&level);
  vif_particle_emitter* e = vif_emitter_instantiate(b.def, true);
  mem_set_arena(nullptr);
  ASSERT_TRUE(e);
  EXPECT_EQ(reinterpret_cast<uint8_t*>(e->particles), bytes);
  EXPECT_EQ(vif_level_bytes(), 480);
  EXPECT_EQ(e->first_index, -1);
  vif_emitter_release(e, b.def);
  EXPECT_EQ(vif_level_bytes(), 0);
  EXPECT_EQ(vif_emitter_instantiate(b.def, true), nullptr);  // no arena: refused
}

TEST(VifKeys, ReciprocalIntervalAndZeroKeys) {
  VifKeySet k{};
  k.count = 2;
  k.value[0] = 1.0f;
  k.value[1] = 0.5f;
  k.time[0] = 0.0f;
  k.time[1] = 1.0f;
  // Spawn rate 1/s to 2/s: half-way it is 1.5/s.
  EXPECT_NEAR(vif_emitter_key_value(k, 0.5f, true), 1.0f / 1.5f, 1e-6);
  EXPECT_NEAR(vif_emitter_key_value(k, 0.5f, false), 0.75f, 1e-6);
  EXPECT_FLOAT_EQ(vif_emitter_key_value(k, 3.0f, true), 0.5f);
  k.value[1] = 0.0f;  // spawning stops: no division by the zero key
  const float v = vif_emitter_key_value(k, 0.5f, true);
  EXPECT_TRUE(std::isfinite(v));
  EXPECT_NEAR(v, 0.5f, 1e-6);
  EXPECT_FLOAT_EQ(vif_size_factor(0.1f, 0.2f, 1.0f), 0.5f);  // lifetime 1 s, age 0.1 s
}

TEST(VifKeys, PathAndBounds) {
  VifPath p{};
  p.count = 2;
  p.position[0] = {0, 0, 0};
  p.position[1] = {2, 0, 0};
  p.time[0] = 0;
  p.time[1] = 2;
  vector out;
  vif_emitter_path_position(out, p, 0.5f);
  EXPECT_NEAR(out.x, 0.5f, 1e-6);
  vif_emitter_path_position(out, p, 9.0f);
  EXPECT_NEAR(out.x, 2.0f, 1e-6);
  EXPECT_FLOAT_EQ(vif_emitter_path_length(p), 2.0f);
  VifEmitterDef d;
  d.radius = 3.0f;
  d.half_height = 4.0f;
  d.flags = VIF_RECTANGLE;
  vector c;
  float r;
  vif_emitter_bounds(d, c, r);
  EXPECT_FLOAT_EQ(r, 10.0f);
  d.flags = VIF_PATH;
  d.radius = 1.0f;
  d.path = p;
  vif_emitter_bounds(d, c, r);
  EXPECT_FLOAT_EQ(c.x, 1.0f);
  EXPECT_FLOAT_EQ(r, 3.0f);
}

TEST(VifKeys, KeyCountsAbove12AreRefused) {
  for (int which = 0; which < 3; which++) {
    VifEmitterSpec v = steady(0.1f, 4);
    (which == 0 ? v.force_count_override : which == 1 ? v.interval_count_override : v.path_count_override) = 13;
    EXPECT_FALSE(build(v).ok) << which;
  }
  VifEmitterSpec v = steady(0.1f, 4);
  v.interval_count_override = 12;
  EXPECT_TRUE(build(v).ok);
}
