#pragma once
// The demo's effects, one or more of each pool class: a spark burst, a
// looping fire, a beam-like streak, a blood spray, a cutscene-only effect
// and the preloaded glow. The demo builder writes them and the tests use
// the same definitions.
#include <cstdint>
#include <string>
#include <vector>

#include "tools/writers/effect_writer.h"

struct DemoEffectFile {
  std::string file;  // e.g. "fire.vfx"
  std::string pool;
  std::vector<EffectDefSpec> defs;
};

std::vector<DemoEffectFile> demo_effect_files();
// The looping fire on its own.
EffectDefSpec demo_fire_def();
// The looping spell: a glowing core (a sprite mesh element), a mote that
// circles it (a mesh element moved by key tracks), sparks and a pulsing
// animated light, meant to be held at a character's hand.
EffectDefSpec demo_spell_def();
// The spell's spark bitmap: a soft round dot, white at its centre and
// clear at its rim (32-bit, `size` x `size`), and the name it is found by.
constexpr const char* DEMO_SPARK_BITMAP = "spell-spark.tga";
std::vector<uint8_t> demo_spark_pixels(int size);
// Writes every file into `effects_dir` and the list "demo_effects.arr" into
// `list_dir`; false when a file cannot be written.
bool demo_effects_write(const std::string& effects_dir, const std::string& list_dir);
