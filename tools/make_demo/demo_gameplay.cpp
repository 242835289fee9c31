// Demo step: the heroes' tables name their moves by plain animation files
// ("stand.mvf", "attack01.mvf", ...), shared by the four heroes as the
// game's own tables are. The figures' motions are written under those names
// too, from one hero's figure (the heroes share one skeleton), so a hero in
// play has every move it looks for.
#include <filesystem>
#include <set>
#include <string>

#include "tools/make_demo/demo_steps.h"
#include "tools/writers/byte_put.h"
#include "tools/writers/figure_writer.h"
#include "tools/writers/mvf_writer.h"
#include "tools/writers/table_writers.h"

namespace {

bool demo_build_hero_moves(const std::string& root) {
  const std::string dir = root + "/data/ca/";
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  const FigureSpec figure{"ruvizo", 1.0f, 1.0f, {170, 60, 50}};
  std::set<std::string> written;
  for (int kind = 0; kind < 4; kind++) {
    for (const MoveRecord& m : table_demo_hero(kind).moves) {
      if (!written.insert(m.animation).second) continue;
      FigureMotion motion = FigureMotion::attack;
      if (m.list == "movement") {
        motion = m.animation.find("walk") != std::string::npos  ? FigureMotion::walk
                 : m.animation.find("run") != std::string::npos ? FigureMotion::run
                                                                : FigureMotion::idle;
      } else if (m.list == "death") {
        motion = FigureMotion::death;
      } else if (m.variation == "statscreen light" || m.variation == "statscreen heavy") {
        motion = m.variation == "statscreen light" ? FigureMotion::statscreen_light : FigureMotion::statscreen_heavy;
      }
      if (!writer_put_file(dir + m.animation, mvf_build(figure_anim(figure, motion, 8)))) return false;
    }
  }
  return true;
}

}  // namespace

DEMO_STEP(demo_build_hero_moves, DEMO_ORDER_TABLES + 60);
