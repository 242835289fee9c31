#pragma once
// Effect images for the tests: built by the effect-file writer and viewed as
// the effect memory would hold them.
#include <cstdint>
#include <vector>

#include "quarn/bmpman/bmpman.h"
#include "quarn/geom/effect_emitter.h"
#include "quarn/geom/effect_image.h"
#include "quarn/geom/effect_instance.h"
#include "quarn/geom/effect_mem.h"
#include "quarn/geom/lights.h"
#include "tests/quarn/bmpman/bm_test_util.h"
#include "tools/writers/effect_writer.h"

struct Image {
  std::vector<uint8_t> bytes;  // the whole file
  EffectImage view;
  uint32_t def(int i) const { return effect_image_def_offset(view, i); }
};

inline Image make_image(const std::vector<EffectDefSpec>& defs) {
  Image img;
  img.bytes = effect_file_build(defs);
  img.view = effect_file_view(img.bytes);
  return img;
}

// Definitions used straight from an image carry the pool class the loader
// would have written.
inline EffectDefSpec spell_def(const char* name) {
  EffectDefSpec d;
  d.name = name;
  d.pool_class = EFFECT_POOL_SPELL;
  return d;
}

// Every light, emitter and instance back in its pool, as a level starts.
inline void effect_pools_fresh() {
  lights_reset();
  effect_emitter_pool_reset();
  effect_instances_reset();
}

// A scratch root with the bitmap manager up, for elements that load their
// bitmaps by name.
class BitmapRootTest : public TempRootTest {
 protected:
  void SetUp() override {
    TempRootTest::SetUp();
    bm_init();
  }
  void TearDown() override {
    bm_close();
    TempRootTest::TearDown();
  }
};
