#pragma once
// The front end without a display: the recording renderer at a chosen
// screen size, a monospaced font (8 pixels a character, 10 high), art files
// of known sizes under a scratch root, a mouse the test moves and clicks, a
// log of the sounds played, hand-set clocks and party services the test
// controls.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "Orrimund/screens/front_seams.h"
#include "Orrimund/screens/screens.h"
#include "quarn/gr/gr_recorder.h"

struct RectCall {
  int x, y, w, h;
  Color color;  // the drawing colour when it was filled
};
struct BitmapCall {
  int handle, x, y, w, h;
};

class FrontRecorder : public GrRecorder {
 public:
  std::vector<RectCall> rects;
  std::vector<BitmapCall> bitmaps;
  void bitmap(int handle, int x, int y, int w, int h, int, int, int, int, RenderStateWord) override {
    bitmaps.push_back({handle, x, y, w, h});
  }
  void polygon(int count, GrVertex** v, RenderStateWord) override {
    if (count == 4)
      rects.push_back({static_cast<int>(v[0]->sx), static_cast<int>(v[0]->sy),
                       static_cast<int>(v[2]->sx - v[0]->sx), static_cast<int>(v[2]->sy - v[0]->sy),
                       gr_screen.current_color});
  }
  void reset() {
    rects.clear();
    bitmaps.clear();
  }
};

// Party and level answers the test sets.
class FakeServices : public FrontServices {
 public:
  std::vector<FrontPartyMember> members;
  int selected = 0;
  int save_code = SAVE_ALLOWED;
  bool pending_exit = false;
  int leave_state = LEAVE_OK;
  const char* target = nullptr;
  int accepted = 0, refused = 0;
  std::vector<std::string> saves_written;
  bool save_result = true;
  std::string dir;
  std::vector<std::string> started;
  std::vector<int> casts;  // spells cast through cast_spell
  bool can_cast = true;
  struct SkillUse {
    int skill, member;  // the member selected when it was used
  };
  std::vector<SkillUse> skills_used;
  bool can_use_skill = true;

  int party_count() override { return static_cast<int>(members.size()); }
  FrontPartyMember party_member(int i) override { return members.at(i); }
  int party_selected() override { return selected; }
  void party_select(int i) override { selected = i; }
  int save_allowed() override { return save_code; }
  const char* level_display_name() override { return "Ivory Fens"; }
  bool save_write(const char* name, const char*) override {
    saves_written.push_back(name);
    return save_result;
  }
  const char* save_dir() override { return dir.c_str(); }
  bool exit_pending() override { return pending_exit; }
  int exit_leave_state() override { return leave_state; }
  const char* exit_target_name() override { return target; }
  void exit_accept() override { accepted++, pending_exit = false; }
  void exit_refuse() override { refused++, pending_exit = false; }
  void start_level(const char* level, const char*) override { started.emplace_back(level); }
  bool spell_usable(int) override { return can_cast; }
  bool cast_spell(int spell) override {
    if (can_cast) casts.push_back(spell);
    return can_cast;
  }
  bool skill_usable(int) override { return can_use_skill; }
  bool use_skill(int skill) override {
    if (can_use_skill) skills_used.push_back({skill, selected});
    return can_use_skill;
  }
};

class FrontTest : public ::testing::Test {
 public:
  std::filesystem::path root;
  FrontRecorder rec;
  FakeServices party;
  std::vector<int> sounds;

  void SetUp() override;
  void TearDown() override;

  // Restarts the screen at this size and loads the screens' art.
  void screen(int width, int height);
  // One input frame: the clocks move on by ms, the mouse as set, the key.
  int frame(int key = 0, int ms = 10);
  void move(int x, int y);
  void press();    // left button down (takes effect next frame)
  void release();
  void click(int x, int y);  // move, press, release over three frames
  void right_click(int x, int y);
  // Writes a 24-bit Targa of that size under the interface folder.
  void art(const std::string& name, int w, int h);
  // The four heroes with the given points.
  void four_heroes();
  bool played(int sound) const;
};
