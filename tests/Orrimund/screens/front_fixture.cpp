#include "tests/Orrimund/screens/front_fixture.h"

#include <algorithm>
#include <cmath>

#include "Engine/gameflags.h"
#include "Orrimund/gamestate.h"
#include "Orrimund/screens/hud.h"
#include "Orrimund/screens/menus.h"
#include "Orrimund/screens/popup.h"
#include "Orrimund/screens/screen_ui.h"
#include "quarn/bmpman/bmpman.h"
#include "quarn/gr/gr_font.h"
#include "quarn/os/key.h"
#include "quarn/os/timer.h"
#include "quarn/vfile/vfile.h"
#include "tests/support/test_files.h"
#include "tools/writers/image_writers.h"
#include "tools/writers/vf_writer.h"

namespace {
ScreenMouse g_mouse;
FrontTest* g_test = nullptr;

void fake_mouse(ScreenMouse* out) {
  *out = g_mouse;
  g_mouse.left_pressed = g_mouse.right_pressed = g_mouse.middle_pressed = false;
  g_mouse.dx = g_mouse.dy = g_mouse.wheel = 0;
}
void log_sound(int s) { g_test->sounds.push_back(s); }

VfWriterFont mono_font() {
  VfWriterFont f;
  f.first_char = 32;
  f.height = 10;
  f.default_advance = 8;
  for (int i = 0; i < 95; i++) {
    VfWriterGlyph g;
    g.advance = 8;
    g.width = 8;
    g.pixels.assign(8 * 10, 7);
    f.glyphs.push_back(g);
  }
  return f;
}

// Sizes of the "640" art; the "1024" art is 1.6 times as large.
struct ArtSize {
  const char* name;
  int w, h;
};
const ArtSize ART_640[] = {{"Main-HUD-MPH", 640, 64},        {"Main-HUD-PortraitBkg", 48, 48},
                           {"Main-HUD-PortSelected", 48, 48}, {"Main-HUD-levelupicon", 12, 12},
                           {"Main-HUD-PortHiLite", 48, 48},   {"Main-HUD-PortPress", 48, 48},
                           {"Main-HUD-PauseA", 24, 24},       {"Main-HUD-PauseHiLite", 24, 24},
                           {"Main-HUD-PausePress", 24, 24},   {"Main-HUD-BttnHiLite", 36, 18},
                           {"Main-HUD-BttnPress", 36, 18},    {"Main-HUD-HotBtnBkg", 120, 80},
                           {"MenuPopup-bkg", 160, 190},       {"MenuPopup-Game", 40, 12},
                           {"MenuPopup-New", 30, 12},         {"MenuPopup-Save", 30, 12},
                           {"MenuPopup-Load", 30, 12},        {"MenuPopup-Options", 50, 12},
                           {"MenuPopup-Quit", 30, 12},        {"crossbox-hilite2", 14, 14},
                           {"crossbox2", 14, 14},             {"DemoMainMenu", 640, 480},
                           {"DemoMainMenuStartHiLite", 200, 40}, {"DemoMainMenuStartPress", 200, 40},
                           {"DemoMainMenuContHiLite", 200, 40},  {"DemoMainMenuContPress", 200, 40},
                           {"DemoMainMenuOptionHiLite", 150, 40}, {"DemoMainMenuOptionPress", 150, 40},
                           {"DemoMainMenuQuitHiLite", 130, 40},  {"DemoMainMenuQuitPress", 130, 40},
                           {"LoadingPopup", 350, 100},        {"hud-charportrait01-", 42, 42},
                           {"hud-charportrait02-", 42, 42},   {"hud-charportrait03-", 42, 42},
                           {"hud-charportrait04-", 42, 42}};
const char* const ICONS[] = {"HUD-NonCmbtIcon", "HUD-CmbtIcon", "HUD-CharIcon", "HUD-JrnIcon", "HUD-InvIcon"};
}  // namespace

void FrontTest::SetUp() {
  g_test = this;
  root = fresh_temp_dir("front_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
  std::filesystem::create_directories(root / "data" / "fonts");
  std::filesystem::create_directories(root / "data" / "interface" / "pc");
  vfile_set_root(root.c_str(), false);
  vfile_add_path_type("data\\fonts", ".vf");
  vfile_add_path_type("data\\interface\\pc", ".tga");
  ASSERT_TRUE(vf_write_file((root / "data" / "fonts" / "mono.vf").string(), mono_font()));
  for (const ArtSize& a : ART_640) {
    art(std::string(a.name) + "640.tga", a.w, a.h);
    art(std::string(a.name) + "1024.tga", static_cast<int>(std::lround(a.w * 1.6)),
        static_cast<int>(std::lround(a.h * 1.6)));
  }
  for (const char* icon : ICONS)
    for (const char* k : {"A", "B", "C"}) art(std::string(icon) + k + ".tga", 28, 28);
  for (const char* k : {"A", "B", "C"}) {
    art(std::string("Skillicon-Spells2") + k + ".tga", 28, 28);
    art(std::string("Skillicon-Skills") + k + ".tga", 28, 28);
  }
  art("DemoEndSplash.tga", 640, 480);
  art("cursorspot-focus.tga", 32, 32);
  art("cursorspot-focus-large.tga", 64, 64);
  art("MessagePopupBkgrnd2640.tga", 293, 165);
  art("MessagePopupBckgrnd21024.tga", 469, 264);
  key_init(false);
  timer_real_clock = 1000;
  timer_game_clock = 1000;
  FrameTimer = 0.01f;
  GameFlags = GF_SINGLE_PLAYER;
  Hud_level_index = 1;
  Hud_hidden = false;
  g_mouse = ScreenMouse{};
  sounds.clear();
  four_heroes();
  front_set_services(&party);
  front_set_sound_player(log_sound);
  screen_set_mouse_source(fake_mouse);
  for (auto& hero : Hud_hot)
    for (HudHotButton& h : hero) h = {};
  screen(640, 480);
}

void FrontTest::TearDown() {
  screens_reset();
  while (game_pause_depth() > 0) game_resume();
  front_set_services(nullptr);
  front_set_sound_player(nullptr);
  screen_set_mouse_source(nullptr);
  key_close();
  gr_close();
  gr_set_recorder(nullptr);
  bm_close();
  vfile_shutdown();
  std::filesystem::remove_all(root);
  g_test = nullptr;
}

void FrontTest::screen(int width, int height) {
  if (gr_is_initialised()) {
    screens_reset();
    gr_close();
    bm_close();
  }
  bm_init();
  gr_set_recorder(&rec);
  gr_init(width, height, GR_RECORDER, GR_WINDOWED, 0, false);
  gr_fade_in(0);
  const int font = gr_font_load("mono.vf");
  ASSERT_GE(font, 0);
  gr_font_select(font);
  screens_load_all();
  screens_level_init_all();
  set_screen(SCREEN_HUD, nullptr);
  rec.reset();
}

int FrontTest::frame(int key, int ms) {
  timer_real_clock += ms;
  timer_game_clock += ms;
  return screen_process_input(key);
}

void FrontTest::move(int x, int y) {
  g_mouse.dx += x - g_mouse.x;
  g_mouse.dy += y - g_mouse.y;
  g_mouse.x = x;
  g_mouse.y = y;
}
void FrontTest::press() {
  g_mouse.left_pressed = !g_mouse.left_down;
  g_mouse.left_down = true;
}
void FrontTest::release() { g_mouse.left_down = false; }

void FrontTest::click(int x, int y) {
  move(x, y);
  frame();
  press();
  frame();
  release();
  frame();
}

void FrontTest::right_click(int x, int y) {
  move(x, y);
  frame();
  g_mouse.right_pressed = true;
  g_mouse.right_down = true;
  frame();
  g_mouse.right_down = false;
  frame();
}

void FrontTest::art(const std::string& name, int w, int h) {
  std::vector<uint8_t> px(static_cast<size_t>(w) * h * 3, 100);
  ASSERT_TRUE(tga_write_file((root / "data" / "interface" / "pc" / name).string(), px.data(), w, h, 24));
}

void FrontTest::four_heroes() {
  party.members = {{"Ruvizo", 1, 120, 120, 40, 40, true, false},
                   {"Zazuru", 2, 45, 90, 20, 80, true, false},
                   {"Rivud", 3, 10, 100, 60, 60, true, true},
                   {"Rivadara", 4, 0, 80, 0, 100, false, false}};
  party.selected = 0;
}

bool FrontTest::played(int sound) const { return std::find(sounds.begin(), sounds.end(), sound) != sounds.end(); }
