// The demo's looping fire on a real window (Xvfb, Mesa's software OpenGL):
// read through the file layer and the preload queue from the demo's own
// effect files, its flames are stepped and drawn for 30 effect frames, one
// full loop. The screenshot must show lit pixels inside the box where the
// live flames project, and none outside it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <vector>

#include "quarn/geom/effect_emitter.h"
#include "quarn/geom/effect_mem.h"
#include "quarn/gr/gr.h"
#include "quarn/gr/gr3d.h"
#include "quarn/gr/gr_alpha.h"
#include "quarn/math/floatops.h"
#include "quarn/vfile/vfile.h"
#include "tests/support/demo_effects_level.h"
#include "tests/support/gl_screen.h"
#include "tools/writers/effect_demo.h"

namespace fs = std::filesystem;

namespace {
const vector Eye(0.0f, 0.8f, -4.0f);

// A plain pinhole camera at Eye looking down +z, 90 degrees across 640 pixels.
void pinhole(const vector& world, float& px, float& py, float& z) {
  const vector p = world - Eye;
  z = p.z;
  px = 320.0f + 320.0f * p.x / p.z;
  py = 240.0f - 320.0f * p.y / p.z;
}

bool lit(const uint8_t* bgr) { return bgr[0] > 8 || bgr[1] > 8 || bgr[2] > 8; }
}  // namespace

TEST(EffectsFire, LoopingFireLightsOnlyWhereItsFlamesAre) {
  const fs::path tmp = effects_scratch_root("effects_fire");
  ASSERT_TRUE(demo_effects_write(tmp.string(), tmp.string()));
  vfile_set_root(tmp.c_str(), false);
  const int shots = vfile_add_path_type("screenshots", ".tga .jpg");
  ASSERT_NO_FATAL_FAILURE(gl_screen_open("Orrimund Effects Test"));
  gr_set_aspect(1.0f);

  ASSERT_EQ(effects_level_init(), 0);
  EffectDefRef ref = effect_base_find("fire-loop", nullptr);
  ASSERT_TRUE(ref);
  EffectImage img = ref.image;
  const EffectDefArray ems = effect_def_array(img, ref.def, EFFECT_ARRAY_EMITTER);
  ASSERT_EQ(ems.count, 1);
  os_srand(7);
  EffectEmitter* e = effect_emitter_alloc();
  ASSERT_TRUE(effect_emitter_bind_def(e, &img, ref.def, ems.record(0)));
  effect_emitter_take_items(e, e->def.item_count);
  EffectParamRun draft;
  draft.reset();
  e->params[0] = effect_emitter_link_index(e, 0) == 0 ? &draft : nullptr;

  ScreenImage shot;
  for (int n = 1; n <= 30; n++) {
    gr_reset_clip();
    gr_set_color(0, 0, 0, 255);
    gr_clear();
    gr_3d_set_far_plane(0.0f);
    gr_3d_start_frame(Eye, identity_matrix, 90.0f, true);
    effect_emitter_step(e, static_cast<float>(n % 30), nullptr, nullptr, n % 30 == 0);
    effect_emitter_draw(e, static_cast<float>(n % 30));
    gr_alpha_flush();
    if (n == 30) shot = gl_screen_shot(tmp / "screenshots", "fire", shots);
    gr_flip();
  }
  ASSERT_GT(e->live, 10);
  ASSERT_EQ(shot.w, 640);

  // Where the flames can be: each streak lies within a quarter of its size
  // of the segment from its position back along its velocity.
  float x0 = 1e9f, y0 = 1e9f, x1 = -1e9f, y1 = -1e9f;
  const float size = 4.0f * e->param[2] / 4096.0f;
  for (EffectItem* it = e->items; it; it = it->next) {
    if (it->age < 0) continue;
    const vector back = it->velocity * (1.6f * e->def.stretch / 15.0f);
    for (const vector& p : {it->position, it->position - back}) {
      float px, py, z;
      pinhole(p, px, py, z);
      ASSERT_GT(z, 0.5f);
      const float r = size / 4.0f * 320.0f / (z - size) + 2.0f;
      x0 = std::min(x0, px - r), x1 = std::max(x1, px + r);
      y0 = std::min(y0, py - r), y1 = std::max(y1, py + r);
    }
  }
  int inside = 0, outside = 0;
  for (int y = 0; y < shot.h; y++)
    for (int x = 0; x < shot.w; x++) {
      if (!lit(shot.at(x, y))) continue;
      if (x >= x0 && x <= x1 && y >= y0 && y <= y1) inside++;
      else outside++;
    }
  EXPECT_GT(inside, 50);
  EXPECT_EQ(outside, 0) << "box " << x0 << "," << y0 << " - " << x1 << "," << y1;
  effect_emitter_free(e);
  gl_screen_close();
}
