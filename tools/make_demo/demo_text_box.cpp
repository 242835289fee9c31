// Demo step: the conversation text box's frame, "hud-dialoguebox01.tga": a
// dark, half-clear panel with a gilt edge, drawn over the lower part of the
// view at the 640 layout's size (the box stretches it at other sizes).
#include <cstdio>
#include <filesystem>
#include <string>

#include "tools/make_demo/demo_canvas.h"
#include "tools/make_demo/demo_steps.h"

namespace {

using namespace demo_art;

constexpr int BOX_W = 608, BOX_H = 150;

bool demo_build_text_box(const std::string& root) {
  const std::string dir = root + "/data/interface/pc";
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  Canvas box(BOX_W, BOX_H, {14, 12, 10, 215});
  box.gradient(2, 2, BOX_W - 4, 22, {52, 44, 32}, {24, 20, 16});
  box.frame(0, 0, BOX_W, BOX_H, 2, {150, 124, 70});
  box.frame(3, 3, BOX_W - 6, BOX_H - 6, 1, {70, 60, 40});
  // The line between the speaker's text and the choices.
  box.fill(BOX_W * 3 / 5, 28, 1, BOX_H - 36, {90, 76, 48});
  if (!box.write(dir + "/hud-dialoguebox01.tga", true)) {
    std::fprintf(stderr, "make_demo: cannot write hud-dialoguebox01.tga\n");
    return false;
  }
  return true;
}

}  // namespace

DEMO_STEP(demo_build_text_box, DEMO_ORDER_TABLES + 335);
