// Demo step: a UI table with a window holding one gadget of each kind, for
// developers and the end-to-end tests of the toolkit (data\tables).
#include <cstdio>
#include <filesystem>
#include <string>

#include "tools/make_demo/demo_steps.h"
#include "tools/writers/ui_table_writer.h"

namespace {

// Screen coordinates for a 640 by 480 screen.
UiTableWriter demo_window() {
  UiTableWriter t;
  t.window(120, 40, 400, 400).text("+Name:", "gadget demo").field("+Id:", 100).flag("+Allow arrows");
  t.section("#Static", "title").field("$Id:", 10).field("$Position:", 130, 46).field("$Size:", 380, 18);
  t.text("+Horizontal justification:", "Center").text("+Text:", "Gadget demo");
  t.section("#Button", "press").field("$Id:", 1).field("$Position:", 140, 80).field("$Size:", 100, 24);
  t.text("+Text:", "Press me").hotkey("Ctrl+P").tooltip("Fires event 12", 0, 28);
  t.section("#Checkbox", "sound").field("$Id:", 2).field("$Position:", 270, 84).field("$Box size:", 14, 14);
  t.text("$Label:", "Sound").field("+Label offset:", 6, 0);
  t.section("#Container", "difficulty").field("$Id:", 3).field("$Position:", 140, 120).field("$Size:", 170, 74);
  t.text("$Label:", "Difficulty").raw("$Inventory start");
  t.section("#Radio button", "easy").field("$Id:", 4).field("$Position:", 150, 142).field("$Box size:", 14, 14);
  t.text("$Label:", "Easy").field("+Label offset:", 6, 0);
  t.section("#Radio button", "hard").field("$Id:", 5).field("$Position:", 150, 166).field("$Box size:", 14, 14);
  t.text("$Label:", "Hard").field("+Label offset:", 6, 0);
  t.raw("$Inventory end");
  t.section("#Inputbox", "name").field("$Id:", 6).field("$Position:", 330, 120).field("$Size:", 170, 22);
  t.text("+Valid chars:", "a-zA-Z0-9 ").field("+Max text length:", 20);
  t.section("#Slider", "volume").field("$Id:", 7).field("$Position:", 330, 164).field("$Size:", 170, 16);
  t.flag("$Horizontal").field("$Marker size:", 16).field("+Positions:", 11).field("+Marker position:", 0);
  t.section("#Listbox", "log").field("$Id:", 8).field("$Position:", 140, 210).field("$Size:", 340, 120);
  t.field("$Content size:", 0).flag("+Mouseover highlights").flag("+Add vertical scrollbar");
  return t.end();
}

bool demo_build_ui(const std::string& root) {
  const std::filesystem::path dir = std::filesystem::path(root) / "data" / "tables";
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  const std::string path = (dir / "ui_demo.tbl").string();
  if (!demo_window().write_file(path)) {
    std::fprintf(stderr, "make_demo: cannot write %s\n", path.c_str());
    return false;
  }
  return true;
}

}  // namespace

DEMO_STEP(demo_build_ui, DEMO_ORDER_TABLES + 40);
