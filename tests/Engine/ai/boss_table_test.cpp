// Boss tables read from text written here: records land at the stage's
// place in file order, the angle is kept as its cosine, the optional fields
// in their order, names give their numbers; damaged tables (a stage out of
// range, an eleventh point, a missing field) end in the parse error naming
// the file, and nothing is written outside the caller's array.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <strings.h>

#include "Engine/ai/boss_table.h"
#include "Engine/characterinfo/spells.h"
#include "Engine/characterinfo/table_words.h"
#include "tests/support/critical_error_trap.h"
#include "tests/support/world_kit.h"

namespace {

struct Table {
  BossOffensePoint points[3 * BOSS_POINTS_PER_STAGE + 1];
  Table() { std::memset(points, 0, sizeof points); points[30].number = 12345; }
  void read(const std::string& text, int stages = 3) {
    boss_read_table_text("test_boss.tbl", text.c_str(), static_cast<int>(text.size()), stages, points);
  }
};

int variation(const char* name) {
  for (int i = 1; i < NUM_VARIATIONS; i++)
    if (Variation_names[i] && !strcasecmp(Variation_names[i], name)) return i;
  return -1;
}

TEST(BossTable, RecordsLandAtTheirStageInFileOrder) {
  WorldKit kit;  // the demo spells
  Table t;
  t.read(
      "#Boss Info\n$Num Stages: 3\n"
      "$Stage: 3\n"
      "$Offense point: \"Offense 1\"\n$Range: 0.5 3.0\n$Max angle: 180\n$Variation: kick\n"
      "+Debug: \"the first\"\n+Trip:\n"
      "$Offense point: \"Offense 12\"\n$Range: 2 9.5\n$Max angle: 0\n$Variation: variation 3\n"
      "+Push:\n+Spell: \"" + std::string(Spells[0].name) + "\"\n+Projectile:\n+Plus Spell:\n"
      "$Stage: 1\n"
      "$Offense point: \"Offense 4\"\n$Range: 1 2\n$Max angle: 60\n$Variation: trip\n+Spell: \"no such spell\"\n"
      "#End\n");
  const BossOffensePoint& a = t.points[20];
  EXPECT_EQ(a.in_use, 1u);
  EXPECT_EQ(a.number, 0);
  EXPECT_FLOAT_EQ(a.min_range, 0.5f);
  EXPECT_FLOAT_EQ(a.max_range, 3.0f);
  EXPECT_NEAR(a.facing, -1.0f, 1e-6);
  EXPECT_EQ(a.variation, variation("kick"));
  EXPECT_EQ(a.flags, BOP_TRIP);
  EXPECT_EQ(a.spell, -1);
  const BossOffensePoint& b = t.points[21];
  EXPECT_EQ(b.number, 11);
  EXPECT_NEAR(b.facing, 1.0f, 1e-6);
  EXPECT_EQ(b.variation, variation("variation 3"));
  EXPECT_EQ(b.spell, 0);
  EXPECT_EQ(b.flags, BOP_PUSH | BOP_PROJECTILE | BOP_PLUS_SPELL);
  const BossOffensePoint& c = t.points[0];
  EXPECT_EQ(c.number, 3);
  EXPECT_NEAR(c.facing, 0.5f, 1e-6);
  EXPECT_EQ(c.spell, -1);  // unknown spell
  // Stage 2 was skipped; the rest of each stage stays empty.
  for (int i : {1, 10, 15, 22, 29}) EXPECT_EQ(t.points[i].in_use, 0u) << i;

  Table empty;
  empty.read("#Boss Info\n$Num Stages: 3\n#End\n");
  for (int i = 0; i < 30; i++) EXPECT_EQ(empty.points[i].in_use, 0u);
}

TEST(BossTable, NamesGiveTheirNumbersOnlyWhenLongEnough) {
  EXPECT_EQ(boss_offense_point_number("Offense 7"), 6);
  EXPECT_EQ(boss_offense_point_number("Offense"), -1);
  EXPECT_EQ(boss_offense_point_number("Offense x"), -1);
  EXPECT_EQ(boss_offense_point_number(""), -1);
}

TEST(BossTable, DamagedTablesAreRefusedWithTheFileNamed) {
  WorldKit kit;
  CriticalErrorTrap trap;
  auto fails = [](const std::function<void()>& f, std::string* message) {
    try {
      f();
    } catch (const CriticalErrorThrown& e) {
      *message = e.what();
      return true;
    }
    return false;
  };
  const std::string point = "$Offense point: \"Offense 1\"\n$Range: 1 2\n$Max angle: 30\n$Variation: kick\n";
  std::string eleven;
  for (int i = 0; i < 11; i++) eleven += point;
  const std::string cases[] = {
      "#Boss Info\n$Num Stages: 3\n$Stage: 0\n" + point + "#End\n",
      "#Boss Info\n$Num Stages: 3\n$Stage: -2\n" + point + "#End\n",
      "#Boss Info\n$Num Stages: 1\n$Stage: 2\n" + point + "#End\n",
      "#Boss Info\n$Num Stages: 3\n$Stage: 1\n" + eleven + "#End\n",
      "#Boss Info\n$Num Stages: 3\n$Stage: 1\n$Offense point: \"Offense 1\"\n$Max angle: 30\n#End\n",
      "#Boss Info\n$Num Stages: 3\n$Stage: 1\n$Offense point: \"Offense 1\"\n$Range: 1 2\n$Max angle: 30\n"
      "$Variation: no such move\n#End\n",
      "#Boss Info\n$Num Stages: 3\n$Stage: 1\n" + point + "+Projectile:\n#End\n",
  };
  for (const std::string& text : cases) {
    Table t;
    const int stages = text.find("$Num Stages: 1") != std::string::npos ? 1 : 3;
    std::string message;
    EXPECT_TRUE(fails([&] { t.read(text, stages); }, &message)) << text;
    EXPECT_NE(message.find("test_boss.tbl"), std::string::npos) << message;
    EXPECT_EQ(t.points[30].number, 12345);  // past the array: untouched
  }
}

}  // namespace
