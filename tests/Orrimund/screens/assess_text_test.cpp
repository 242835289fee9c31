// The assess popup's text, and when it needs its scroll bar.
#include "Orrimund/screens/assess_text.h"

#include <gtest/gtest.h>

namespace {

AssessFacts troll() { return {"Cave Troll", "troll2#b", 4, 31, 40, 7, 12, 5, {2, 2, 2, 2, 2, 2, 2}}; }

TEST(AssessText, AStandardCreatureHasSevenLinesAndNoScroll) {
  const std::string t = assess_text(troll(), false);
  EXPECT_EQ(t, "Cave Troll\n\nLevel: 4\nHit Points: 31/40\nDamage: 7\nProtection: 12\nMagic Resist: 5");
  EXPECT_EQ(assess_line_count(t), 7);
  EXPECT_FALSE(assess_needs_scroll(assess_line_count(t)));
}

TEST(AssessText, NonStandardClassesAddLinesAndFourNeedTheScrollBar) {
  AssessFacts f = troll();
  f.classes[0] = 0;  // fire weak
  f.classes[3] = 4;  // magic is never listed
  f.classes[4] = 3;  // slashing strong
  f.classes[6] = 6;  // blunt friendly
  std::string t = assess_text(f, false);
  EXPECT_EQ(assess_line_count(t), 10);
  EXPECT_NE(t.find("\nfire: weak\nslashing: strong\nblunt: friendly"), std::string::npos) << t;
  EXPECT_EQ(t.find("magic:"), std::string::npos);
  EXPECT_TRUE(assess_needs_scroll(assess_line_count(t)));
  f.classes[6] = 2;
  f.classes[1] = 1;
  t = assess_text(f, false);
  EXPECT_NE(t.find("\nfire: weak\nice: vulnerable\nslashing: strong"), std::string::npos) << t;
}

TEST(AssessText, MultiplayerShowsTheTypeNameCut) {
  EXPECT_EQ(assess_text(troll(), true).substr(0, 7), "troll\n\n");
  EXPECT_EQ(assess_type_name("onif"), "Oni Female");
  EXPECT_EQ(assess_type_name("Goblin#archer"), "Goblin");
  EXPECT_EQ(assess_type_name("7up"), "");
}

}  // namespace
