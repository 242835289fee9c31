// Demo step: the four heroes and a few monsters as articulated figures:
// two mesh variants and a shadow mesh each, their textures, their
// animations at several .mvf versions, and the heroes' animation pack.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/make_demo/demo_steps.h"
#include "tools/writers/figure_writer.h"
#include "tools/writers/image_writers.h"

namespace {

namespace fs = std::filesystem;

const FigureSpec kHeroes[] = {
    {"ruvizo", 1.0f, 1.0f, {170, 60, 50}},
    {"zazuru", 0.95f, 0.9f, {60, 120, 180}},
    {"rivud", 1.08f, 1.2f, {90, 150, 70}},
    {"rivadara", 0.92f, 0.85f, {200, 170, 80}},
};

const FigureSpec kMonsters[] = {
    {"grub", 0.55f, 1.8f, {120, 100, 60}},
    {"brute", 1.4f, 1.5f, {100, 70, 90}},
    {"skulker", 0.8f, 0.7f, {60, 60, 60}},
    {"generic fighter", 1.05f, 1.1f, {150, 150, 165}},  // the scripts' watchman and townsfolk
};

// Each motion is written in its own file version, so every reader path of
// the game is exercised by the demo: idle 8, walk 5, run 2, attack 8,
// death 0 (the oldest files, whose rotation controls are computed at load).
struct MotionFile {
  FigureMotion motion;
  int version;
};
const MotionFile kMotions[] = {{FigureMotion::idle, 8},
                               {FigureMotion::walk, 5},
                               {FigureMotion::run, 2},
                               {FigureMotion::attack, 8},
                               {FigureMotion::death, 0}};

bool write_figure(const std::string& data, const FigureSpec& spec, std::vector<AnimPackEntry>* pack) {
  const std::string models = data + "/models/characters/";
  const std::string maps = data + "/maps/characters/";
  const std::string anims = data + "/ca/";
  if (!vim_write_file(models + spec.name + ".vim", figure_mesh(spec, 0)) ||
      !vim_write_file(models + spec.name + "_alt.vim", figure_mesh(spec, 1)) ||
      !vim_write_file(models + spec.name + "_shadow.vim", figure_shadow_mesh(spec))) {
    return false;
  }
  for (int variant = 0; variant < 2; ++variant) {
    const std::string stem = spec.name + (variant ? "_alt" : "");
    const std::vector<uint8_t> px = figure_texture(spec, variant);
    if (!tga_write_file(maps + stem + ".tga", px.data(), 64, 64, 24) ||
        !tga_write_file(maps + stem + "_head.tga", px.data(), 64, 64, 24)) {
      return false;
    }
  }
  for (const MotionFile& m : kMotions) {
    const std::string file = spec.name + "_" + figure_motion_name(m.motion) + ".mvf";
    const std::vector<uint8_t> bytes = mvf_build(figure_anim(spec, m.motion, m.version));
    if (!writer_put_file(anims + file, bytes)) return false;
    if (pack) pack->push_back({file, bytes});
  }
  return true;
}

bool demo_build_characters(const std::string& root) {
  const std::string data = root + "/data";
  std::error_code ec;
  for (const char* dir : {"/models/characters", "/maps/characters", "/ca", "/pack/svfs"}) {
    fs::create_directories(data + dir, ec);
  }
  std::vector<AnimPackEntry> pack;
  for (const FigureSpec& hero : kHeroes) {
    if (!write_figure(data, hero, &pack)) {
      std::fprintf(stderr, "make_demo: characters: cannot write %s\n", hero.name.c_str());
      return false;
    }
  }
  for (const FigureSpec& monster : kMonsters) {
    if (!write_figure(data, monster, nullptr)) {
      std::fprintf(stderr, "make_demo: characters: cannot write %s\n", monster.name.c_str());
      return false;
    }
  }
  // The heroes' animations are also served from one pack read whole.
  return writer_put_file(data + "/pack/svfs/heroes.svf", anim_pack_build(pack));
}

}  // namespace

DEMO_STEP(demo_build_characters, DEMO_ORDER_IMAGES + 50);
