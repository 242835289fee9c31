// The demo's gadget window on the game's screen, driven by real X input:
// xdotool clicks the button, the check box and a radio button, types into
// the text box, drags the slider's marker and turns the wheel over the list.
// The callback sees the events in that order, and the screenshot shows the
// check mark, the chosen radio button, the typed text and the moved marker.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "Orrimund/fs_paths.h"
#include "quarn/bmpman/bmpman.h"
#include "quarn/gr/gr.h"
#include "quarn/gr/gr_font.h"
#include "quarn/os/key.h"
#include "quarn/os/mouse.h"
#include "quarn/os/os.h"
#include "quarn/os/timer.h"
#include "quarn/platform/window.h"
#include "quarn/ui/ui.h"
#include "quarn/ui/ui_table.h"
#include "quarn/vfile/vfile.h"
#include "tests/support/gl_screen.h"
#include "tests/support/test_files.h"

extern char** environ;
namespace fs = std::filesystem;

namespace {
std::vector<std::pair<int, int>> Events;

int log_event(int code, int id) {
  if (code >= UI_EVENT_CLICK) Events.emplace_back(code, id);
  return 0;
}

void frame() {
  os_poll();
  frametime_update();
  mouse_frame();
  ui_process(key_inkey(), 1);  // as the game: clicks the windows used stay theirs
  gr_clear();
  ui_render();
  gr_flip();
}

// Index of the first event of code and id at or after `from`, -1 when none.
int find_event(int code, int id, int from = 0) {
  for (int i = from; i < static_cast<int>(Events.size()); i++)
    if (Events[i].first == code && Events[i].second == id) return i;
  return -1;
}

bool near(const uint8_t* bgr, int r, int g, int b, int tolerance = 24) {
  return std::abs(bgr[2] - r) <= tolerance && std::abs(bgr[1] - g) <= tolerance && std::abs(bgr[0] - b) <= tolerance;
}
}  // namespace

TEST(UiDemo, RealInputDrivesTheDemoGadgets) {
  ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "runs under xvfb-run";
  const fs::path tmp = test_scratch_root("ui_demo");
  const fs::path demo = tmp / "demo";
  fs::remove_all(demo);
  const char* bin = std::getenv("ORRIMUND_BIN_DIR");
  const std::string make_demo = (bin ? std::string(bin) : std::string(".")) + "/make_demo";
  ASSERT_EQ(std::system((make_demo + " " + demo.string() + " > /dev/null").c_str()), 0);
  vfile_set_root(demo.c_str(), true);
  fs_register_path_types();
  const int shots = vfile_add_path_type("screenshots", ".tga .jpg");
  ASSERT_NO_FATAL_FAILURE(gl_screen_open("Orrimund UI Demo"));
  timer_init();
  key_init(true);
  mouse_init(640, 480);
  window_set_position(0, 0);
  window_set_size(640, 480);
  window_show(true);
  window_sync();
  ASSERT_GE(gr_font_select(gr_font_load("font-small.vf", 9)), 1);
  ui_init();

  UiWindow w;
  ui_load_window(&w, "ui_demo.tbl", Tables_path_type);
  w.callback = log_event;
  auto* list = static_cast<UiListBox*>(w.find_gadget(8));
  auto* slider = static_cast<UiSlider*>(w.find_gadget(7));
  auto* text = static_cast<UiTextInput*>(w.find_gadget(6));
  ASSERT_TRUE(list && slider && text);
  for (int i = 1; i <= 30; i++) list->add_entry(("Log line " + std::to_string(i)).c_str());

  const std::string wid = std::to_string(os_get_window());
  const std::string move = "xdotool mousemove --window " + wid + " ";
  const std::string script =
      move + "190 92 && sleep 0.3 && xdotool click 1 && sleep 0.6 && " +   // the button
      move + "277 91 && sleep 0.3 && xdotool click 1 && sleep 0.6 && " +   // the check box
      move + "157 173 && sleep 0.3 && xdotool click 1 && sleep 0.6 && " +  // "Hard"
      move + "400 131 && sleep 0.3 && xdotool click 1 && sleep 0.3 && "    // the text box
      "xdotool type --delay 120 'Orri 7' && sleep 0.4 && " +
      move + "338 172 && sleep 0.3 && xdotool mousedown 1 && sleep 0.3 && " +  // the slider's marker
      move + "360 172 && sleep 0.2 && " + move + "390 172 && sleep 0.2 && " + move +
      "415 172 && sleep 0.3 && xdotool mouseup 1 && sleep 0.3 && " +
      move + "300 260 && sleep 0.3 && xdotool click 5 && sleep 0.3 && xdotool click 5 && sleep 0.3 && " +
      move + "600 470 && sleep 0.5";
  pid_t pid;
  const char* argv[] = {"sh", "-c", script.c_str(), nullptr};
  ASSERT_EQ(posix_spawnp(&pid, "sh", nullptr, nullptr, const_cast<char**>(argv), environ), 0);
  int status = 0;
  for (int turns = 0; turns < 120 * 60; ++turns) {  // at most a minute of frames
    frame();
    if (waitpid(pid, &status, WNOHANG) == pid) break;
  }
  for (int i = 0; i < 30; ++i) frame();
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "xdotool failed";

  // The events arrived in the order of the actions.
  const int press = find_event(UI_EVENT_CLICK, 1);
  const int sound = find_event(UI_EVENT_TOGGLED, 2, press);
  const int hard = find_event(UI_EVENT_TOGGLED, 5, sound);
  const int typed = find_event(UI_EVENT_TEXT_CHANGED, 6, hard);
  EXPECT_GE(press, 0);
  EXPECT_GT(sound, press);
  EXPECT_GT(hard, sound);
  EXPECT_GT(typed, hard);
  EXPECT_EQ(find_event(UI_EVENT_CLICK, 1, press + 1), -1);  // one click, one event
  EXPECT_STREQ(text->get_text(), "Orri 7");
  EXPECT_EQ(slider->get_position(), 5);  // 77 of 154 pixels of travel
  EXPECT_EQ(list->view_y, 2 * (list->first_entry()->height + list->spacing));

  const ScreenImage img = gl_screen_shot(demo / "screenshots", "ui_demo", shots);
  ASSERT_EQ(img.w, 640);
  // The check box is crossed in red; "Hard" is chosen, "Easy" no longer is.
  EXPECT_TRUE(near(img.at(277, 91), 255, 0, 0)) << int(img.at(277, 91)[2]);
  EXPECT_TRUE(near(img.at(157, 173), 255, 0, 0));
  EXPECT_TRUE(near(img.at(157, 149), 255, 255, 255));
  // The marker stands at offset 77: its face there, the track before it
  // where it started.
  EXPECT_TRUE(near(img.at(415, 172), 62, 66, 94)) << int(img.at(415, 172)[2]);
  EXPECT_TRUE(near(img.at(338, 172), 120, 120, 120)) << int(img.at(338, 172)[2]);
  // Text-coloured pixels in the text box.
  int lit = 0;
  for (int y = 122; y < 140; y++)
    for (int x = 332; x < 400; x++) lit += img.at(x, y)[1] > 150;
  EXPECT_GT(lit, 20);

  w.close();
  gl_screen_close();
}
