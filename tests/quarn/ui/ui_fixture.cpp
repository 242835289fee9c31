#include "tests/quarn/ui/ui_fixture.h"

#include "tests/support/test_files.h"

UiFakeMouse Fake_mouse;
std::vector<UiEvent> Ui_events;
int Ui_sound_log_last = -1;

int ui_log_event(int code, int id) {
  // Drawing events would drown the rest.
  if (code > UI_EVENT_DRAWN) Ui_events.emplace_back(code, id);
  return 0;
}

namespace {
void fake_source(UiMouseInput* out) {
  *out = Fake_mouse.next;
  Fake_mouse.next.moved = false;
  Fake_mouse.next.left_pressed = Fake_mouse.next.left_released = false;
  Fake_mouse.next.right_pressed = Fake_mouse.next.right_released = false;
  Fake_mouse.next.left_double = Fake_mouse.next.right_double = false;
  Fake_mouse.next.wheel = 0;
}
void no_discard() {}
void log_sound(int handle, float) { Ui_sound_log_last = handle; }

VfWriterFont mono_font() {
  VfWriterFont f;
  f.first_char = 32;
  f.height = 10;
  f.default_advance = 8;
  for (int i = 0; i < 95; i++) {
    VfWriterGlyph g;
    g.advance = 8;
    g.width = 8;
    g.pixels.assign(8 * 10, static_cast<uint8_t>(i % 15));
    f.glyphs.push_back(g);
  }
  return f;
}
}  // namespace

void UiTest::SetUp() {
  // A folder of this process's own, so the same test run from another build
  // at the same moment cannot empty it.
  root = fresh_temp_dir("ui_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
  std::filesystem::create_directories(root / "data" / "fonts");
  std::filesystem::create_directories(root / "data" / "interface");
  vfile_set_root(root.c_str(), false);
  vfile_add_path_type("data\\fonts", ".vf");
  vfile_add_path_type("data\\interface", ".tga");
  bm_init();
  gr_set_recorder(&rec);
  gr_init(640, 480, GR_RECORDER, GR_WINDOWED, 0, false);
  gr_fade_in(0);
  ASSERT_TRUE(vf_write_file((root / "data" / "fonts" / "mono.vf").string(), mono_font()));
  font = gr_font_load("mono.vf");
  ASSERT_GE(font, 0);
  gr_font_select(font);
  key_init(false);
  timer_real_clock = 1000;
  Fake_mouse = UiFakeMouse{};
  Ui_events.clear();
  Ui_sound_log_last = -1;
  ui_init();
  ui_set_mouse_source(fake_source);
  ui_set_mouse_discard(no_discard);
  ui_set_sound_player(log_sound);
  for (int i = 0; i < UI_NUM_SOUNDS; i++) Ui_sounds[i] = 100 + i;
  frame();  // settles the mouse position
}

void UiTest::TearDown() {
  ui_close_all();
  while (ui_get_layer() > 0) ui_pop_layer();
  ui_set_mouse_source(nullptr);
  ui_set_mouse_discard(nullptr);
  ui_set_sound_player(nullptr);
  for (int& s : Ui_sounds) s = -1;
  key_close();
  gr_close();
  gr_set_recorder(nullptr);
  bm_close();
  vfile_shutdown();
  std::filesystem::remove_all(root);
}

int UiTest::frame(int key, int ms) {
  timer_real_clock += ms;
  return ui_process(key, 0);
}

void UiTest::click(int x, int y) {
  Fake_mouse.move(x, y);
  frame();
  Fake_mouse.left(true);
  frame();
  Fake_mouse.left(false);
  frame();
}

void UiTest::wait(int ms, int step) {
  for (int t = 0; t < ms; t += step) frame(0, step);
}

int UiTest::count(int code) const {
  int n = 0;
  for (const UiEvent& e : Ui_events) n += e.first == code;
  return n;
}

std::vector<int> UiTest::codes() const {
  std::vector<int> out;
  for (const UiEvent& e : Ui_events) out.push_back(e.first);
  return out;
}

void UiTest::open(UiWindow& w, int x, int y, int width, int height, uint32_t flags) {
  w.create(x, y, width, height, -1, flags);
  w.callback = ui_log_event;
}

std::vector<UiEvent> UiTest::only(std::initializer_list<int> wanted) const {
  std::vector<UiEvent> out;
  for (const UiEvent& e : Ui_events)
    for (int c : wanted)
      if (e.first == c) out.push_back(e);
  return out;
}
