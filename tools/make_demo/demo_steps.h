#pragma once
// The steps of the demo builder. Each returns false after printing why it
// failed. They are weak so that a step not yet written is simply absent.
#include <string>

// Text tables under <root>/data/...
__attribute__((weak)) bool demo_build_tables(const std::string& root);
// Bitmaps (Targa with mips, PCX, VBM) under <root>/data/...
__attribute__((weak)) bool demo_build_images(const std::string& root);
// Fonts (.vf) under <root>/data/fonts
__attribute__((weak)) bool demo_build_fonts(const std::string& root);
// Packs <root>/data into the packfiles the game mounts, in <root>.
__attribute__((weak)) bool demo_build_packfiles(const std::string& root);
