// Lifting roll-out entries onto the HUD's hot buttons: an entry pressed and
// carried out of the list rides the pointer and lands on the hot button it
// is released over, as a skill from the skills roll-out and as a spell from
// the spells roll-out; aimed attack and summon stay on the roll-out; a press
// released where it began is a use, not a drag.
#include <gtest/gtest.h>

#include "Engine/Objects/living_entity.h"
#include "Orrimund/player/party.h"
#include "Orrimund/screens/hud.h"
#include "Orrimund/screens/skill_use.h"
#include "Orrimund/screens/skills_screen.h"
#include "tests/Orrimund/screens/front_fixture.h"
#include "tests/support/world_kit.h"

namespace {

class SkillsDrag : public FrontTest {
 protected:
  WorldKit kit;
  living_entity* hero = nullptr;

  void SetUp() override {
    FrontTest::SetUp();
    hero = kit.spawn(kit.type("Rat"), {0, 0, 0});
    for (auto& s : hero->stats) s = 0;
    Selected_entity = hero;
  }
  void TearDown() override {
    Selected_entity = nullptr;
    FrontTest::TearDown();
  }
  // The middle of list row i: the list starts 10 and 8 pixels into the frame
  // at (75, 142), one font height (10) a row.
  static int row_x() { return 75 + 10 + 20; }
  static int row_y(int i) { return 142 + 8 + i * 10 + 5; }
  // Presses row i, carries it to hot button slot and lets go there.
  void drag_row_to(int i, int slot) {
    move(row_x(), row_y(i));
    frame();
    press();
    frame();
    int x, y, w, h;
    hud_hot_rect(slot, &x, &y, &w, &h);
    move(x + w / 2, y + h / 2);
    frame();
    release();
    frame();
  }
};

TEST_F(SkillsDrag, ASkillCarriedOutOfTheListLandsOnTheHotButton) {
  hero->stats[SKILL_PICK_LOCK] = 10;
  hero->stats[SKILL_HIDE] = 10;
  set_screen(SCREEN_SKILLS, nullptr);
  frame();
  int ids[4];
  ASSERT_EQ(skills_category_entries(false, 1, hero, ids, 4), 2);  // the stealth tab opens
  drag_row_to(1, 4);
  EXPECT_FALSE(hud_dragging());
  const HudHotButton& hb = Hud_hot[party.selected][4];
  EXPECT_EQ(hb.in_use, 1);
  EXPECT_EQ(hb.is_skill, 1);
  EXPECT_EQ(hb.value, SKILL_HIDE);
  // The roll-out did not take the release for a use.
  EXPECT_FALSE(played(36));
  EXPECT_FALSE(played(35));
  EXPECT_EQ(screen_get_current(), SCREEN_SKILLS);

  // Carried again to another slot, the skill moves there.
  drag_row_to(1, 0);
  EXPECT_EQ(Hud_hot[party.selected][0].value, SKILL_HIDE);
  EXPECT_EQ(Hud_hot[party.selected][4].in_use, 0);
}

TEST_F(SkillsDrag, AimedAttackAndSummonStayOnTheRollOut) {
  for (int skill : {17, SKILL_ID_SUMMON}) {
    for (auto& s : hero->stats) s = 0;
    hero->stats[skill] = 10;
    set_screen(SCREEN_HUD, nullptr);
    set_screen(SCREEN_SKILLS, nullptr);
    frame();
    // Summon also lists the single summons it allows.
    int ids[8];
    const int category = skills_open_category(false, -1, hero);
    const int n = skills_category_entries(false, category, hero, ids, 8);
    int row = 0;
    while (row < n && ids[row] != skill) row++;
    ASSERT_LT(row, n) << skill;
    drag_row_to(row, 2);
    EXPECT_FALSE(hud_dragging()) << skill;
    for (const HudHotButton& hb : Hud_hot[party.selected]) EXPECT_EQ(hb.in_use, 0) << skill;
  }
}

TEST_F(SkillsDrag, ASpellLandsAsASpellAndAPressReleasedInPlaceIsAUse) {
  hero->stats[28] = 100;  // the heal school, fully learned
  set_screen(SCREEN_SPELLS, nullptr);
  frame();
  int ids[8];
  ASSERT_GT(skills_category_entries(true, 0, hero, ids, 8), 0);
  drag_row_to(0, 5);
  const HudHotButton& hb = Hud_hot[party.selected][5];
  EXPECT_EQ(hb.in_use, 1);
  EXPECT_EQ(hb.is_skill, 0);
  EXPECT_EQ(hb.value, ids[0]);

  // Pressed and released on the entry: a cast is tried (this hero is no
  // party member, so it fails with 36), nothing is lifted.
  Hud_hot[party.selected][5] = {};
  sounds.clear();
  click(row_x(), row_y(0));
  EXPECT_FALSE(hud_dragging());
  for (const HudHotButton& b : Hud_hot[party.selected]) EXPECT_EQ(b.in_use, 0);
  EXPECT_TRUE(played(35) || played(36));
}

}  // namespace
