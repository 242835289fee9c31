#pragma once
// The steps of the demo builder. Each area of the game contributes steps in
// its own file of this folder and registers them with DEMO_STEP; they run in
// ascending order. A step returns false after printing why it failed.
#include <string>

using DemoStepFn = bool (*)(const std::string& root);

// Order bands, so that a step can be placed without knowing the others:
// tables and data 100-499, images and fonts 500-899, packing last.
constexpr int DEMO_ORDER_TABLES = 100;
constexpr int DEMO_ORDER_IMAGES = 500;
constexpr int DEMO_ORDER_FONTS = 600;
constexpr int DEMO_ORDER_PACK = 1000;

// Adds a step to the builder; called from static initialisers.
int demo_register_step(const char* name, int order, DemoStepFn run);
// Runs every registered step in order; false at the first that fails.
bool demo_run_steps(const std::string& root);

#define DEMO_STEP(fn, order) \
  [[maybe_unused]] static const int fn##_registered = demo_register_step(#fn, order, fn)

// Bitmaps (Targa with mips, PCX, VBM) under <root>/data/...
bool demo_build_images(const std::string& root);
// Fonts (.vf) under <root>/data/fonts
bool demo_build_fonts(const std::string& root);
// Packs <root>/data into the packfiles the game mounts, in <root>.
bool demo_build_packfiles(const std::string& root);
