#pragma once
// The toolkit without a display: the recording renderer, a monospaced font
// (8 pixels a character, 10 high), a fake clock (the real-time clock set by
// hand), a mouse the test moves and clicks, and a log of the events that
// reach window callbacks.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "quarn/bmpman/bmpman.h"
#include "quarn/gr/gr_font.h"
#include "quarn/gr/gr_recorder.h"
#include "quarn/os/key.h"
#include "quarn/os/timer.h"
#include "quarn/ui/ui.h"
#include "quarn/vfile/vfile.h"
#include "tools/writers/vf_writer.h"

struct UiLineCall {
  float x1, y1, x2, y2;
};
struct UiBitmapCall {
  int handle, x, y, w, h, sx, sy;
};

class UiRecorder : public GrRecorder {
 public:
  std::vector<UiLineCall> lines;
  std::vector<UiBitmapCall> bitmaps;
  void line(float x1, float y1, float x2, float y2, RenderStateWord) override { lines.push_back({x1, y1, x2, y2}); }
  void bitmap(int handle, int x, int y, int w, int h, int sx, int sy, int, int, RenderStateWord) override {
    bitmaps.push_back({handle, x, y, w, h, sx, sy});
  }
  void reset() {
    lines.clear();
    bitmaps.clear();
  }
};

struct UiFakeMouse {
  UiMouseInput next;
  void move(int x, int y) {
    next.moved = next.moved || x != next.x || y != next.y;
    next.x = x;
    next.y = y;
  }
  void left(bool down) {
    if (down && !next.left_down) next.left_pressed = true;
    if (!down && next.left_down) next.left_released = true;
    next.left_down = down;
  }
  void right(bool down) {
    if (down && !next.right_down) next.right_pressed = true;
    if (!down && next.right_down) next.right_released = true;
    next.right_down = down;
  }
};

extern UiFakeMouse Fake_mouse;
using UiEvent = std::pair<int, int>;  // code, id
extern std::vector<UiEvent> Ui_events;
int ui_log_event(int code, int id);   // logs, answers 0
extern int Ui_sound_log_last;         // last handle played, -1 none

class UiTest : public ::testing::Test {
 protected:
  std::filesystem::path root;
  UiRecorder rec;
  int font = -1;

  void SetUp() override;
  void TearDown() override;

  // One frame: the clock moves on by ms, the mouse as set, the key.
  int frame(int key = 0, int ms = 10);
  void click(int x, int y);  // press and release on two frames at the point
  void wait(int ms, int step = 10);  // frames with a still mouse
  // Events of one code in the log.
  int count(int code) const;
  std::vector<int> codes() const;
  // The logged events of these codes, in order.
  std::vector<UiEvent> only(std::initializer_list<int> wanted) const;
  // A window with the event log as callback.
  void open(UiWindow& w, int x = 0, int y = 0, int width = 640, int height = 480, uint32_t flags = 1);
};
