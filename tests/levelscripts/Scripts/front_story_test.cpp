// The tutorial lessons, the networked elevators and the world map's
// landmarks, on the fake host.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "levelscripts/Scripts/front_story.h"
#include "levelscripts/Scripts/story_scripts.h"
#include "quarn/os/console.h"
#include "tests/support/fake_script_host.h"

namespace {
const char* const Scout = "kasdrian scout#$npc002";
}

TEST(TutorialTriggers, EachLessonFiresOnceWhenItsConditionsHold) {
  struct Case {
    const char* what;
    int level;
    std::vector<const char*> flags;
    float scout_distance;  // < 0: no scout
    bool scout_moving;
    bool rivud;
    float shell_value;
    int lesson;  // -1 none
  } cases[] = {
      {"nothing yet", L_MASAD, {}, -1, false, false, 1.0f, -1},
      {"controls after the intro", L_MASAD, {"masad_intro"}, -1, false, false, 1.0f, 0},
      {"controls on another level", L_THALEM1AA, {"masad_intro"}, -1, false, false, 1.0f, -1},
      {"combat with the scout near", L_MASAD, {"masad_intro", "masad_basic_controls_tutorial"}, 4.5f, false, false,
       1.0f, 1},
      {"combat with the scout far", L_MASAD, {"masad_intro", "masad_basic_controls_tutorial"}, 6.0f, false, false,
       1.0f, -1},
      {"scout still fighting", L_MASAD,
       {"masad_intro", "masad_basic_controls_tutorial", "masad_basic_combat_tutorial_part1"}, 9.0f, true, false,
       1.0f, -1},
      {"scout defeated", L_MASAD,
       {"masad_intro", "masad_basic_controls_tutorial", "masad_basic_combat_tutorial_part1"}, 9.0f, false, false,
       1.0f, 2},
      {"second hero", L_SEWER, {}, -1, false, true, 0.5f, 3},
      {"second hero, shell value low", L_SEWER, {}, -1, false, true, 0.4f, -1},
      {"summoning", L_LPALACE_INT, {"got_ring_of_darkness"}, -1, false, false, 1.0f, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeScriptHost h;
    tutorial_level_start();
    Tutorial_second_hero_value = c.shell_value;
    for (const char* f : c.flags) h.put(c.level, f);
    if (c.scout_distance >= 0) h.char_distance[Scout] = c.scout_distance;
    else h.hidden.insert(Scout);
    if (c.scout_moving) h.moving.insert(Scout);
    if (c.rivud) h.party.insert("rivud");
    EXPECT_EQ(tutorial_triggers_frame(c.level), c.lesson);
    if (c.lesson < 0) continue;
    EXPECT_TRUE(tutorial_box_shown());
    while (h.popup_is_open) h.press(0);
    EXPECT_EQ(static_cast<int>(h.lines("popup Tutorial").size()), Tutorial_lessons[c.lesson].page_count);
    EXPECT_FALSE(tutorial_box_shown());
    EXPECT_NE(tutorial_triggers_frame(c.level), c.lesson) << "fired twice";
    if (c.lesson == 2) {
      EXPECT_TRUE(h.two_stage["invis-door01"]);
      EXPECT_TRUE(h.logged("fx_hide masad-firedoor2.vfx"));
    }
  }
  Tutorial_second_hero_value = 1.0f;
}

TEST(TutorialTriggers, IgnoreTutorialSkipsEveryLesson) {
  FakeScriptHost h;
  tutorial_level_start();
  h.put(L_MASAD, "masad_intro");
  console_execute("Ignore_tutorial on");
  EXPECT_EQ(tutorial_triggers_frame(L_MASAD), -1);
  console_execute("Ignore_tutorial off");
  EXPECT_EQ(tutorial_triggers_frame(L_MASAD), 0);
}

TEST(Elevators, EveryButtonMovesTheHeroToItsStartSetAndTheLiftWaitsUntilLeft) {
  struct Case {
    int level;
    const char* navpoint;
    int button;
    const char* popup;
    int set;
  } cases[] = {
      {L_ODRIN_EXT, "$npc117", 0, "popup Elevator | Go up? [Yes] [No]", 4},
      {L_ODRIN_EXT, "$npc117", 1, "popup Elevator | Go up? [Yes] [No]", 3},
      {L_ODRIN_EXT, "$npc118", 1, "popup Elevator | Go down? [Yes] [No]", 4},
      {L_ELEH, "$npc106", 2, "popup Elevator | Which floor? [Upper] [Lower] [Cancel]", 3},
      {L_ELEH, "$npclg2", 1, "popup Elevator | Which floor? [Upper] [Ground] [Cancel]", 3},
      {L_ELEH, "$npclg3", 2, "popup Elevator | Which floor? [Ground] [Lower] [Cancel]", 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.navpoint);
    FakeScriptHost h;
    elevators_reset();
    h.is_networked = true;
    h.near[c.navpoint] = 1.9f;
    elevators_frame(c.level);
    EXPECT_TRUE(h.logged(c.popup));
    elevators_frame(c.level);
    EXPECT_EQ(h.lines("popup").size(), 1u);
    h.press(c.button);
    EXPECT_TRUE(h.logged("start_set " + std::to_string(c.set)));
    // Still within reach after the ride: no new popup until the hero leaves.
    elevators_frame(c.level);
    EXPECT_EQ(h.lines("popup").size(), 1u);
    h.near.clear();
    elevators_frame(c.level);
    h.near[c.navpoint] = 1.0f;
    elevators_frame(c.level);
    EXPECT_EQ(h.lines("popup").size(), 2u);
  }
}

TEST(Elevators, NeverInASinglePlayerGameOrOnOtherLevels) {
  FakeScriptHost h;
  elevators_reset();
  h.near["$npc117"] = 0.0f;
  elevators_frame(L_ODRIN_EXT);
  h.is_networked = true;
  elevators_frame(L_ELEH);
  EXPECT_TRUE(h.lines("popup").empty());
}

namespace {
// Looks down the z axis from the origin: a point projects to 320 + 10 x,
// 240 - 10 y when 0 < z; the view holds |x| and |y| up to z.
struct FlatView : LandmarkView {
  bool project(const vector& p, float* x, float* y) override {
    if (p.z <= 0.0f) return false;
    *x = 320.0f + 10.0f * p.x;
    *y = 240.0f - 10.0f * p.y;
    return true;
  }
  bool sphere_in_view(const vector& c, float r) override {
    return c.z + r > 0.0f && std::fabs(c.x) - r < c.z && std::fabs(c.y) - r < c.z;
  }
  void text_size(const char* text, int* w, int* h) override {
    *w = 8 * static_cast<int>(std::strlen(text));
    *h = 12;
  }
};

vector Where[NUM_LANDMARKS];
bool find_landmark(const char* name, vector* pos) {
  for (int i = 0; i < NUM_LANDMARKS; i++)
    if (std::strcmp(Landmarks[i].navpoint, name) == 0) {
      *pos = Where[i];
      return true;
    }
  return false;
}
}  // namespace

TEST(Landmarks, EnabledByStageAndFlags) {
  FakeScriptHost h;
  struct Case {
    int stage;
    bool map, khosani;
    const char* enabled;  // eight 0/1
  } cases[] = {
      {0, false, false, "11000000"}, {2, true, true, "11111000"},  {9, true, true, "00000010"},
      {13, false, false, "00000011"}, {14, false, false, "00000111"}, {15, true, false, "01110000"},
  };
  for (const Case& c : cases) {
    h.flags.clear();
    if (c.map) h.put(L_THALEM1B, "got_ikaemos_map");
    if (c.khosani) h.put(L_WORLDMAP1, "found_khosani");
    landmarks_level_start(c.stage, find_landmark);
    std::string got;
    for (const Landmark& l : Landmarks) got += (l.flags & LANDMARK_ENABLED) ? '1' : '0';
    EXPECT_EQ(got, c.enabled) << "stage " << c.stage;
  }
}

TEST(Landmarks, ArrowsScaleWithDistanceAndPointAtTheEdgeLabelsCentreInView) {
  FakeScriptHost h;
  for (vector& v : Where) v = {0, 0, 5};
  Where[0] = {-10.0f, 0.0f, 0.0f};  // Masad: 10 units to the left, behind the view plane
  Where[1] = {60.0f, 0.0f, 1.0f};   // Thalem: far right
  Where[2] = {0.0f, 0.0f, 10.0f};   // Odrin: straight ahead, in view
  landmarks_level_start(2, find_landmark);
  FlatView view;
  ASSERT_TRUE(landmarks_update(view, {0, 0, 1}, 0));
  const Landmark& masad = Landmarks[0];
  ASSERT_EQ(masad.flags & (LANDMARK_ARROW | LANDMARK_LABEL), LANDMARK_ARROW | LANDMARK_LABEL);
  // d = sqrt(100 + 1); scale 0.5 + 0.5 x clamp((50 - d) x 0.025).
  float d = std::sqrt(101.0f);
  EXPECT_NEAR(masad.scale, 0.5f + 0.5f * std::min(1.0f, (50.0f - d) * 0.025f), 1e-5f);
  const Landmark& thalem = Landmarks[1];
  EXPECT_NEAR(thalem.scale, 0.5f, 1e-6f);
  // Thalem lies along +x from the hero: angle 0, the arrow on the right bound.
  EXPECT_NEAR(thalem.angle, 0.0f, 1e-5f);
  EXPECT_NEAR(thalem.arrow_x, 629.0f, 1e-3f);
  EXPECT_NEAR(thalem.arrow_y, 240.0f, 1e-3f);
  // Its label sits the gap inside the edge, centred on its own size.
  EXPECT_NEAR(thalem.label_x, 629.0f - 20.0f - (8 * 6 + 3) * 0.5f, 1e-3f);
  const Landmark& odrin = Landmarks[2];
  EXPECT_EQ(odrin.flags & (LANDMARK_ARROW | LANDMARK_LABEL), LANDMARK_LABEL);
  EXPECT_NEAR(odrin.label_x, 320.0f - (8 * 5 + 3) * 0.5f, 1e-3f);
  EXPECT_NEAR(odrin.label_y, 240.0f - 16 * 0.5f, 1e-3f);
  // Disabled ones never show.
  for (int i = 3; i < NUM_LANDMARKS; i++) EXPECT_EQ(Landmarks[i].flags, 0u) << i;
}

TEST(Landmarks, ArrowScaleIsFullAtTenUnitsAndHalfFromFifty) {
  FakeScriptHost h;
  for (vector& v : Where) v = {0, 0, 5};
  Where[0] = {0.0f, 0.0f, -9.5f};  // 10 units behind the hero
  Where[1] = {0.0f, 0.0f, -49.5f};  // 50 units
  landmarks_level_start(0, find_landmark);
  FlatView view;
  ASSERT_TRUE(landmarks_update(view, {0, 0, 0.5f}, 0));
  EXPECT_NEAR(Landmarks[0].scale, 1.0f, 1e-6f);
  EXPECT_NEAR(Landmarks[1].scale, 0.5f, 1e-6f);
}

TEST(Landmarks, TheLKeyTogglesOnlyOnTheWorldMap) {
  Landmarks_display = true;
  EXPECT_FALSE(landmarks_key(L_MASAD, 38));
  EXPECT_TRUE(Landmarks_display);
  EXPECT_TRUE(landmarks_key(L_WORLDMAP1, 38));
  EXPECT_FALSE(Landmarks_display);
  EXPECT_FALSE(landmarks_key(L_WORLDMAP1, 39));
}
