// Effect emitters: spawning by rate with the fraction carried over, stopping,
// size and opacity ramps, gravity and force fields over whole steps, and the
// guard against a step of no time. Records come from the effect writer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "quarn/geom/effect_emitter.h"
#include "quarn/gr/gr_alpha.h"
#include "quarn/math/floatops.h"
#include "tests/quarn/geom/effect_test_util.h"
#include "tests/quarn/geom/recorded_screen.h"
#include "tools/writers/effect_writer.h"

namespace {
EffectEmitterSpec straight_up(float speed) {
  EffectEmitterSpec e;
  e.name = "jet";
  e.item_count = 64;
  e.lifetime_ticks = 4800 * 10;
  for (auto& t : e.position) t = effect_track_constant(0);
  e.rotation[3] = effect_track_constant(16383 - 1);
  e.scalar[2] = effect_track_constant(4096);                             // item size 1
  e.scalar[3] = effect_track_constant(static_cast<int16_t>(speed * 4096));  // shape A: the speed
  e.scalar[4] = effect_track_constant(0);                                // B 0: straight
  return e;
}

// One definition in a file kept alive by the fixture.
class EmitterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    effect_emitter_pool_reset();
    os_srand(1234);
  }
  EffectEmitter* make(const EffectDefSpec& d, int index = 0) {
    img_ = make_image({d});
    char err[128];
    EXPECT_TRUE(effect_image_check(img_.view, err, sizeof err)) << err;
    const uint32_t def = img_.def(0);
    const EffectDefArray a = effect_def_array(img_.view, def, EFFECT_ARRAY_EMITTER);
    EffectEmitter* e = effect_emitter_alloc();
    EXPECT_TRUE(e);
    EXPECT_TRUE(effect_emitter_bind_def(e, &img_.view, def, a.record(index)));
    effect_emitter_take_items(e, e->def.item_count);
    return e;
  }
  static void steps(EffectEmitter* e, float from, float to, float by) {
    for (float f = from; f <= to + 1e-4f; f += by) effect_emitter_step(e, f, nullptr, nullptr, false);
  }
  // A still emitter linked to one force field, whose run `run` is sampled
  // afresh.
  EffectEmitter* make_in_field(const char* name, const EffectParamSetSpec& field, EffectParamRun& run) {
    EffectDefSpec d;
    d.name = name;
    d.params = {field};
    EffectEmitterSpec e = straight_up(0.0f);
    e.links = {0};
    d.emitters = {e};
    EffectEmitter* em = make(d);
    run.reset();
    em->params[0] = &run;
    return em;
  }
  // An item born by hand at the emitter, as a spawn would: age 0, alive long
  // past the test.
  static void born(EffectItem* it, const vector& at, const vector& velocity) {
    it->age = 0;
    it->lifetime = 10 * 256;
    it->velocity = velocity;
    it->position = at;
  }

  Image img_;
};

// Items per frame as the rate track's raw 4.12 value (x 320 / 4096).
int16_t rate_for(float items_per_frame) { return static_cast<int16_t>(items_per_frame * 4096.0f / 320.0f); }
}  // namespace

TEST_F(EmitterTest, RateSpawnsWholeItemsAndCarriesTheFraction) {
  EffectDefSpec d;
  d.name = "sparks";
  EffectEmitterSpec e = straight_up(1.0f);
  e.rate = effect_track_constant(rate_for(2.5f));  // exactly 32
  d.emitters = {e};
  EffectEmitter* em = make(d);
  effect_emitter_step(em, 1.0f, nullptr, nullptr, false);
  EXPECT_EQ(em->live, 2);
  EXPECT_NEAR(em->accumulator, 0.5f, 1e-3);
  effect_emitter_step(em, 2.0f, nullptr, nullptr, false);
  EXPECT_EQ(em->live, 5);
  EXPECT_NEAR(em->accumulator, 0.0f, 1e-3);
  // Half a frame brings half the rate.
  effect_emitter_step(em, 2.5f, nullptr, nullptr, false);
  EXPECT_EQ(em->live, 6);
  EXPECT_NEAR(em->accumulator, 0.25f, 1e-3);
}

TEST_F(EmitterTest, ItemsBornInOneStepAreSpreadAlongIt) {
  EffectDefSpec d;
  d.name = "trail";
  EffectEmitterSpec e = straight_up(0.0f);
  e.position[0] = effect_track_frames({0, 256, 512});  // x moves 1 per frame
  e.rate = effect_track_constant(64);                  // 5 items a frame
  d.emitters = {e};
  EffectEmitter* em = make(d);
  effect_emitter_step(em, 1.0f, nullptr, nullptr, false);
  effect_emitter_step(em, 2.0f, nullptr, nullptr, false);
  ASSERT_EQ(em->live, 10);
  // The second step's five items are born at x = 1.2 .. 2 with the
  // emitter's velocity (15 per second) and ages (1 - i/5) / 15 s.
  std::vector<float> xs;
  for (EffectItem* it = em->items; it; it = it->next)
    if (it->age >= 0) xs.push_back(it->position.x);
  std::sort(xs.begin(), xs.end());
  // Every item, whatever its fraction, ends at the current position: further
  // along the step exactly by the age it was born with.
  for (float x : std::vector<float>(xs.end() - 5, xs.end())) EXPECT_NEAR(x, 2.0f, 0.02f);
  for (float x : std::vector<float>(xs.begin(), xs.begin() + 5)) EXPECT_NEAR(x, 1.0f, 0.02f);
}

TEST_F(EmitterTest, StoppingAgesWithoutSpawning) {
  EffectDefSpec d;
  d.name = "burst";
  EffectEmitterSpec e = straight_up(1.0f);
  e.lifetime_ticks = 4800;  // one second
  e.rate = effect_track_constant(64);  // 5 items a frame
  d.emitters = {e};
  EffectEmitter* em = make(d);
  steps(em, 1.0f, 3.0f, 1.0f);
  ASSERT_EQ(em->live, 15);
  effect_emitter_stop(em);
  steps(em, 4.0f, 10.0f, 1.0f);
  EXPECT_EQ(em->live, 15);  // nothing new, nothing old enough to die
  float y_before = 0, y_after = 0;
  for (EffectItem* it = em->items; it; it = it->next)
    if (it->age >= 0) y_before += it->position.y;
  steps(em, 11.0f, 12.0f, 1.0f);
  for (EffectItem* it = em->items; it; it = it->next)
    if (it->age >= 0) y_after += it->position.y;
  EXPECT_GT(y_after, y_before);  // still moving
  steps(em, 13.0f, 25.0f, 1.0f);
  EXPECT_EQ(em->live, 0);
}

TEST_F(EmitterTest, GravityOverWholeStepsMatchesTheFall) {
  // One item launched straight up at 6 m/s; steps of 1/15 s are longer than
  // the 1/30 s sub-step, so each must be covered whole.
  EffectDefSpec d;
  d.name = "fountain";
  EffectEmitterSpec e = straight_up(6.0f);
  e.flags = EMITTER_GRAVITY;
  e.rate = effect_track_frames({0, 0, 1 * 0 + 0});  // no spawn by rate
  d.emitters = {e};
  EffectEmitter* em = make(d);
  effect_emitter_step(em, 1.0f, nullptr, nullptr, false);
  EffectItem* it = em->items;
  born(it, vector(0, 0, 0), vector(0, 6.0f, 0));
  em->live = 1;
  for (int f = 2; f <= 16; f++) effect_emitter_step(em, static_cast<float>(f), nullptr, nullptr, false);
  const float t = 15.0f / 15.0f;
  EXPECT_NEAR(it->position.y, 6.0f * t - 0.5f * 9.8f * t * t, 1e-3);
  EXPECT_NEAR(it->velocity.y, 6.0f - 9.8f * t, 1e-3);
  // A single long step covers the same time.
  it->position.set(0, 0, 0);
  it->velocity.set(0, 6.0f, 0);
  it->age = 0;
  effect_emitter_step(em, 31.0f, nullptr, nullptr, false);
  EXPECT_NEAR(it->position.y, 6.0f - 4.9f, 1e-3);
}

TEST_F(EmitterTest, DirectionalFieldPushesAlongItsAxis) {
  EffectParamSetSpec field;
  field.key_count = 100;
  for (auto& t : field.position) t = effect_track_constant(0);
  field.rotation[3] = effect_track_constant(16382);
  field.scalar[0] = effect_track_constant(1);  // strength 2000
  EffectParamRun run;
  EffectEmitter* em = make_in_field("wind", field, run);
  ASSERT_EQ(effect_emitter_link_index(em, 0), 0);
  effect_emitter_step(em, 1.0f, nullptr, nullptr, false);
  EffectItem* it = em->items;
  born(it, vector(0, 0, 0), vector(0, 0, 0));
  em->live = 1;
  effect_emitter_step(em, 2.0f, nullptr, nullptr, false);
  // Up (the identity rotation's axis) at 2000 x 0.0625 = 125 m/s^2.
  const float t = 1.0f / 15.0f;
  EXPECT_NEAR(it->position.y, 0.5f * 125.0f * t * t, 1e-3);
  EXPECT_NEAR(it->position.x, 0.0f, 1e-5);
}

TEST_F(EmitterTest, NoTimeStepNeverDivides) {
  EffectDefSpec d;
  d.name = "loop";
  EffectEmitterSpec e = straight_up(1.0f);
  e.rate_cycle = 10;
  e.position[0] = effect_track_frames({0, 256, 512, 768});
  e.rate = effect_track_constant(64);
  d.emitters = {e};
  EffectEmitter* em = make(d);
  steps(em, 1.0f, 8.0f, 1.0f);
  // Wrapped from frame 12 of a 10-frame cycle to frame 2: no time passes.
  effect_emitter_step(em, 12.0f, nullptr, nullptr, false);
  const int live = em->live;
  effect_emitter_step(em, 2.0f, nullptr, nullptr, true);
  EXPECT_EQ(em->live, live);
  effect_emitter_step(em, 3.0f, nullptr, nullptr, false);
  for (EffectItem* it = em->items; it; it = it->next) {
    if (it->age < 0) continue;
    EXPECT_TRUE(std::isfinite(it->position.x) && std::isfinite(it->velocity.x));
  }
}

TEST(EffectItemRamps, SizeAndOpacity) {
  EXPECT_FLOAT_EQ(effect_item_size_factor(0.125f, 0.25f, 0.75f), 0.5f);
  EXPECT_FLOAT_EQ(effect_item_size_factor(0.875f, 0.25f, 0.75f), 0.5f);
  EXPECT_FLOAT_EQ(effect_item_size_factor(0.5f, 0.25f, 0.75f), 1.0f);
  EXPECT_FLOAT_EQ(effect_item_opacity_factor(0.0f, 0.0f, 1.0f), 1.0f);
  EXPECT_FLOAT_EQ(effect_item_size_factor(1.0f, 0.0f, 1.0f), 1.0f);
}

TEST(EffectEmitterPool, ItemsAndRecordsGoBack) {
  effect_emitter_pool_reset();
  EffectEmitter* a = effect_emitter_alloc();
  ASSERT_TRUE(a);
  EXPECT_EQ(effect_emitter_take_items(a, 5000), 5000);
  EffectEmitter* b = effect_emitter_alloc();
  EXPECT_EQ(effect_emitter_take_items(b, 5000), 1000);  // the pool ran dry
  EXPECT_EQ(effect_item_pool_free_count(), 0);
  effect_emitter_free(a);
  effect_emitter_free(b);
  EXPECT_EQ(effect_item_pool_free_count(), MAX_EFFECT_ITEMS);
  EXPECT_EQ(effect_emitter_pool_free_count(), MAX_EFFECT_EMITTER_RECORDS);
}

TEST_F(EmitterTest, PointFieldPullsTowardsItsPosition) {
  EffectParamSetSpec field;
  field.kind = 1;
  field.key_count = 100;
  field.position[1] = effect_track_constant(512);  // at (0, 2, 0)
  field.rotation[3] = effect_track_constant(16382);
  field.scalar[0] = effect_track_constant(1);  // strength 2000
  EffectParamRun run;
  EffectEmitter* em = make_in_field("well", field, run);
  effect_emitter_step(em, 1.0f, nullptr, nullptr, false);
  // One item below the point and one above it, at rest.
  const float start_y[2] = {0.0f, 4.0f};
  EffectItem* items[2] = {em->items, em->items->next};
  for (int i = 0; i < 2; i++) born(items[i], vector(0, start_y[i], 0), vector(0, 0, 0));
  em->live = 2;
  effect_emitter_step(em, 2.0f, nullptr, nullptr, false);
  const float t = 1.0f / 15.0f, pull = 0.5f * 125.0f * t * t;
  EXPECT_NEAR(items[0]->position.y, pull, 1e-4);
  EXPECT_NEAR(items[1]->position.y, 4.0f - pull, 1e-4);
}

TEST_F(EmitterTest, SpawnShapes) {
  struct Case {
    uint32_t shape;
    float a, b;
    float min_speed, max_speed, max_angle;  // angle from straight up; < 0: not checked
  };
  const Case cases[] = {
      {0, 2.0f, 0.0f, 2.0f, 2.0f, 0.0f},    // straight emission
      {0, 2.0f, 0.5f, 2.0f, 2.0f, 0.5f},    // a cone of half-angle B
      {1, 3.0f, 1.0f, 2.0f, 4.0f, -1.0f},   // any direction, speed A +/- B
      {2, 3.0f, 1.0f, 0.0f, 0.0f, -1.0f},   // no direction at all
  };
  for (const Case& c : cases) {
    effect_emitter_pool_reset();
    EffectDefSpec d;
    d.name = "shape";
    EffectEmitterSpec e = straight_up(c.a);
    e.flags = c.shape;
    e.scalar[4] = effect_track_constant(static_cast<int16_t>(c.b * 4096));
    e.rate = effect_track_constant(64);  // 5 a frame
    d.emitters = {e};
    EffectEmitter* em = make(d);
    effect_emitter_step(em, 1.0f, nullptr, nullptr, false);
    ASSERT_EQ(em->live, 5) << c.shape;
    for (EffectItem* it = em->items; it; it = it->next) {
      if (it->age < 0) continue;
      const float speed = it->velocity.length();
      EXPECT_GE(speed, c.min_speed - 1e-3f) << c.shape;
      EXPECT_LE(speed, c.max_speed + 1e-3f) << c.shape;
      if (c.max_angle >= 0.0f && speed > 0.0f) {
        EXPECT_LE(std::acos(std::min(1.0f, it->velocity.y / speed)), c.max_angle + 1e-3f) << c.shape;
      }
    }
  }
}

namespace {

// One item at (0, 0, 10) moving up at 3 a second, item size 0.5 (drawn size
// 2), stretch 1, seen by an eye at the origin looking along +z (90 degrees
// across 640 pixels, square pixels). Its streak runs across the view from
// x = -0.5 to 0.5 (a quarter of the drawn size each way) and trails down by
// 3 / 15 x 1.6 = 0.32: on the screen 320 +- 16 across, rows 240 to 250.24.
TEST_F(EmitterTest, AnItemIsAStreakHalfItsSizeAcrossTrailingByItsSpeed) {
  RecordedScreen screen;
  EffectDefSpec d;
  d.name = "one";
  EffectEmitterSpec spec = straight_up(1.0f);
  spec.item_count = 1;
  d.emitters = {spec};
  EffectEmitter* e = make(d);
  e->param[2] = 2048;  // item size 0.5 (4.12)
  e->state |= 255u << 24;
  EffectItem* it = e->items;
  ASSERT_NE(it, nullptr);
  it->age = 26;        // 0.1 s
  it->lifetime = 256;  // 1 s
  it->position = vector(0, 0, 10);
  it->velocity = vector(0, 3, 0);
  e->live = 1;
  effect_emitter_draw(e, 0.0f);
  gr_alpha_flush();
  ASSERT_EQ(screen.rec.polygons.size(), 1u);
  const ScreenBox box = screen_box(screen.rec.polygons[0]);
  EXPECT_NEAR(box.x0, 304.0f, 0.05f);
  EXPECT_NEAR(box.x1, 336.0f, 0.05f);
  EXPECT_NEAR(box.y0, 240.0f, 0.05f);
  EXPECT_NEAR(box.y1, 250.24f, 0.05f);
  effect_emitter_free(e);
}

}  // namespace
