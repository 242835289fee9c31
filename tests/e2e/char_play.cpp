// A demo hero as the game will load it: the demo builder writes the world,
// char_play loads Ruvizo through the packfiles (animations from the heroes'
// pack), walks 40 frames and attacks 24, and its printout must show the
// clock of every frame, the root motion of the walk, each foot step once
// per pass, the attack's swing and hit at frames 6 and 7, and the weapon
// where the arm's pose puts it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "quarn/math/matrix.h"
#include "quarn/math/quaternion.h"
#include "tests/support/test_files.h"
#include "tools/writers/figure_writer.h"

namespace fs = std::filesystem;

namespace {

struct PlayRun {
  int status = -1;
  std::vector<std::string> lines;
};

PlayRun run(const std::string& cmd) {
  PlayRun r;
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return r;
  char buf[512];
  while (std::fgets(buf, sizeof buf, p)) {
    std::string s(buf);
    if (!s.empty() && s.back() == '\n') s.pop_back();
    r.lines.push_back(s);
  }
  const int st = pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

struct Frame {
  std::string kind;
  int frame = 0, clock = 0;
  float step[3] = {}, weapon[3] = {};
  std::string events;
};

bool parse(const std::string& line, Frame* f) {
  std::istringstream in(line);
  std::string w_clock, w_step, w_weapon, w_events;
  in >> f->kind >> f->frame >> w_clock >> f->clock >> w_step >> f->step[0] >> f->step[1] >> f->step[2] >> w_weapon >>
      f->weapon[0] >> f->weapon[1] >> f->weapon[2] >> w_events >> f->events;
  return !in.fail() && (f->kind == "walk" || f->kind == "attack") && w_clock == "clock";
}

class CharPlay : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* bin = std::getenv("ORRIMUND_BIN_DIR");
    ASSERT_NE(bin, nullptr);
    bin_ = bin;
    root_ = (test_scratch_root("char_play") / "world").string();
    fs::remove_all(root_);
    ASSERT_EQ(std::system((bin_ + "/make_demo " + root_ + " >/dev/null 2>&1").c_str()), 0);
  }
  std::string play(const std::string& args) {
    return "cd " + root_ + " && ORRIMUND_ROOT=" + root_ + " " + bin_ + "/char_play " + args + " 2>/dev/null";
  }
  std::string bin_, root_;
};

TEST_F(CharPlay, WalkThenAttack) {
  const PlayRun r = run(play("ruvizo 40 24"));
  ASSERT_EQ(r.status, 0);
  std::vector<Frame> walk, attack;
  bool header = false;
  for (const std::string& line : r.lines) {
    if (line == "character ruvizo bones 20 bone-tags 3 pack yes") header = true;
    Frame f;
    if (parse(line, &f)) (f.kind == "walk" ? walk : attack).push_back(f);
  }
  EXPECT_TRUE(header);
  ASSERT_EQ(walk.size(), 40u);
  ASSERT_EQ(attack.size(), 24u);

  // Walk: a 32-frame cycle of 5120 ticks advanced 160 ticks a frame; it
  // moves 1.6 over 5120/4800 s, so 1.5 per second, 0.05 a frame, along +z.
  for (const Frame& f : walk) {
    EXPECT_EQ(f.clock, (160 * f.frame) % 5120) << f.frame;
    EXPECT_NEAR(f.step[0], 0.0f, 1e-4f);
    EXPECT_NEAR(f.step[2], 1.6f / (5120.0f / 4800.0f) / 30.0f, 1e-4f) << f.frame;
    // Feet at frames 3 and 19 of each pass, each once.
    const int in_pass = (f.frame - 1) % 32 + 1;
    const std::string expect = in_pass == 3 ? "left-foot" : in_pass == 19 ? "right-foot" : "-";
    EXPECT_EQ(f.events, expect) << f.frame;
  }

  // Attack: its own clock from 0, swing at frame 6, hit at 7.
  for (const Frame& f : attack) {
    EXPECT_EQ(f.clock, 160 * f.frame);
    EXPECT_EQ(f.events, f.frame == 6 ? "swing" : f.frame == 7 ? "hit" : "-") << f.frame;
  }
  // At frame 6 only the right upper arm is turned (-100 degrees about x):
  // the weapon is the shoulder joint plus the turned arm-to-weapon offset.
  FigureSpec ruvizo;
  ruvizo.height = 1.0f;
  const auto joint = figure_rest(ruvizo, FIG_R_UPPERARM);
  const auto hand = figure_rest(ruvizo, FIG_R_HAND);
  const auto off = figure_weapon_offset(ruvizo);
  const vector d(hand[0] - joint[0] + off[0], hand[1] - joint[1] + off[1], hand[2] - joint[2] + off[2]);
  const float h = FIGURE_ATTACK_RAISE * 3.14159265f / 360.0f;
  matrix m;
  quaternion(std::sin(h), 0, 0, std::cos(h)).to_matrix(m);
  vector turned;
  d.unrotated(turned, m);
  const Frame& six = attack[5];
  EXPECT_NEAR(six.weapon[0], joint[0] + turned.x, 2e-3f);
  EXPECT_NEAR(six.weapon[1], joint[1] + turned.y, 2e-3f);
  EXPECT_NEAR(six.weapon[2], joint[2] + turned.z, 2e-3f);
  // The raise lifts the weapon above the shoulder.
  EXPECT_GT(six.weapon[1], joint[1]);
  // At its last frame the attack is back at rest and, as the current action,
  // holds there: the weapon hangs at the hand.
  const Frame& last = attack.back();
  EXPECT_EQ(last.clock, 3840);
  EXPECT_NEAR(last.weapon[0], hand[0] + off[0], 2e-3f);
  EXPECT_NEAR(last.weapon[1], hand[1] + off[1], 2e-3f);
  EXPECT_NEAR(last.weapon[2], hand[2] + off[2], 2e-3f);
}

TEST_F(CharPlay, UnknownCharacterFails) {
  EXPECT_EQ(run(play("nobody 1 1")).status, 1);
  EXPECT_EQ(run(play("ruvizo")).status, 2);
}

}  // namespace
