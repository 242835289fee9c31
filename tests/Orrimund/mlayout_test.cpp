// Monster layouts: files written here byte by byte as the layout describes
// them, both forms, damaged files refused whole, and a layout applied to a
// world of kit entities: creatures replaced, heroes moved and not doubled,
// another level's layout refused with the world untouched.
#include "Orrimund/mlayout.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "Engine/Objects/objects.h"
#include "Engine/ai/ai_core.h"
#include "Engine/ai/party_controller.h"
#include "quarn/os/console.h"
#include "tests/support/world_kit.h"

namespace {

struct Bytes {
  std::vector<uint8_t> b;
  Bytes& u16(unsigned v) {
    b.push_back(v & 0xff);
    b.push_back((v >> 8) & 0xff);
    return *this;
  }
  Bytes& s32(int32_t v) {
    for (int i = 0; i < 4; i++) b.push_back((static_cast<uint32_t>(v) >> (8 * i)) & 0xff);
    return *this;
  }
  Bytes& f32(float f) {
    uint32_t u;
    std::memcpy(&u, &f, 4);
    return s32(static_cast<int32_t>(u));
  }
  Bytes& str(const char* s) {
    u16(static_cast<unsigned>(std::strlen(s)));
    b.insert(b.end(), s, s + std::strlen(s));
    return *this;
  }
  // A record: kind, name, position, then the third, first and second rows.
  Bytes& rec(int kind, const char* name, float x, float y, float z, const float (&rows)[9]) {
    s32(kind).str(name).f32(x).f32(y).f32(z);
    for (float f : rows) f32(f);
    return *this;
  }
};

// A turn of 90 degrees about y: right (0,0,-1), up (0,1,0), forward (1,0,0),
// stored forward, right, up.
constexpr float kTurned[9] = {1, 0, 0, 0, 0, -1, 0, 1, 0};
constexpr float kPlain[9] = {0, 0, 1, 1, 0, 0, 0, 1, 0};

Bytes version1() {
  Bytes f;
  f.str("").s32(1).str("rand-forest01");
  f.rec(5, "Rat", 1.5f, 0, -2, kTurned).rec(7, "Ruvizo", 3, 0, 4, kPlain).s32(0);
  return f;
}

TEST(MlayoutFile, BothFormsReadTheSameRecords) {
  Bytes older;
  older.str("rand-forest01").rec(5, "Rat", 1.5f, 0, -2, kTurned).rec(7, "Ruvizo", 3, 0, 4, kPlain).s32(0);
  for (const Bytes& f : {version1(), older}) {
    MlayoutFile m;
    std::string error;
    ASSERT_TRUE(mlayout_parse(f.b.data(), f.b.size(), &m, &error)) << error;
    EXPECT_EQ(m.level, "rand-forest01");
    ASSERT_EQ(m.records.size(), 2u);
    const MlayoutRecord& r = m.records[0];
    EXPECT_EQ(r.kind, 5);
    EXPECT_EQ(r.type_name, "Rat");
    EXPECT_EQ(r.pos.x, 1.5f);
    EXPECT_EQ(r.pos.z, -2.0f);
    EXPECT_EQ(r.orient.right.z, -1.0f);
    EXPECT_EQ(r.orient.up.y, 1.0f);
    EXPECT_EQ(r.orient.forward.x, 1.0f);
    EXPECT_EQ(m.records[1].type_name, "Ruvizo");
  }
}

TEST(MlayoutFile, TheWriterWritesTheSameBytes) {
  const Bytes f = version1();
  MlayoutFile m;
  ASSERT_TRUE(mlayout_parse(f.b.data(), f.b.size(), &m, nullptr));
  EXPECT_EQ(mlayout_encode(m), f.b);
}

TEST(MlayoutFile, DamagedFilesAreRefusedWhole) {
  const Bytes good = version1();
  // Every cut short of the end record fails rather than reading on.
  for (size_t n = 0; n < good.b.size(); n++) {
    MlayoutFile m;
    EXPECT_FALSE(mlayout_parse(good.b.data(), n, &m, nullptr)) << "cut at " << n;
    EXPECT_TRUE(m.records.empty());
  }
  std::string long_name(257, 'x');
  struct Case {
    const char* what;
    Bytes file;
  } cases[] = {
      {"obsolete version", Bytes().str("").s32(-1).str("l").s32(0)},
      {"kind of no living entity", Bytes().str("").s32(1).str("l").rec(3, "Rat", 0, 0, 0, kPlain).s32(0)},
      {"name past 256", Bytes().str("").s32(1).str(long_name.c_str()).s32(0)},
      {"bytes after the end", Bytes().str("").s32(1).str("l").s32(0).s32(0)},
      {"name with a zero", Bytes().str("").s32(1).u16(3).s32(0x00614c).s32(0)},
  };
  for (Case& c : cases) {
    MlayoutFile m;
    std::string error;
    EXPECT_FALSE(mlayout_parse(c.file.b.data(), c.file.b.size(), &m, &error)) << c.what;
    EXPECT_FALSE(error.empty()) << c.what;
  }
  // A name of exactly 256 characters is still a name.
  std::string longest(256, 'y');
  Bytes edge = Bytes().str("").s32(1).str(longest.c_str()).s32(0);
  MlayoutFile m;
  EXPECT_TRUE(mlayout_parse(edge.b.data(), edge.b.size(), &m, nullptr));
  EXPECT_EQ(m.level, longest);
}

class MlayoutWorld : public WorldTest {
 protected:
  int count(int type, const char* name) {
    int n = 0;
    for (living_entity& e : Living_entities)
      if (e.type == type && (!name || std::strcmp(e.character->name, name) == 0)) n++;
    return n;
  }
  static void hear(const char* text) { Heard += text; }
  static std::string Heard;
};
std::string MlayoutWorld::Heard;

TEST_F(MlayoutWorld, SavingAndLoadingRestoresTheCreaturesAndMovesTheHeroes) {
  const matrix flat(vector(1, 0, 0), vector(0, 1, 0), vector(0, 0, 1));
  living_entity* hero = kit.spawn(kit.type("Ruvizo"), {0, 0, 0}, OBJ_PLAYER);
  kit.spawn(kit.type("Rat"), {2, 0, 1});
  kit.spawn(kit.type("Rat"), {-3, 0, 4});
  kit.spawn(kit.type("Golem"), {5, 0, 5}, OBJ_NEUTRAL);
  hero->pos = vector(7, 0, 8);
  const MlayoutFile saved = mlayout_capture("demo");
  ASSERT_EQ(saved.records.size(), 4u);

  // The world changes: the hero walks off, a rat dies away, another comes.
  hero->pos = vector(-9, 0, -9);
  for (living_entity& e : Living_entities)
    if (e.type == OBJ_CREATURE) {
      e.deinit();
      break;
    }
  kit.spawn(kit.type("Golem"), {1, 0, 1});
  (void)flat;

  // Through the bytes, as a file would carry it.
  const std::vector<uint8_t> bytes = mlayout_encode(saved);
  MlayoutFile loaded;
  ASSERT_TRUE(mlayout_parse(bytes.data(), bytes.size(), &loaded, nullptr));
  ASSERT_TRUE(mlayout_apply(loaded, "demo"));
  EXPECT_EQ(count(OBJ_PLAYER, nullptr), 1);
  EXPECT_EQ(hero->pos.x, 7.0f);
  EXPECT_EQ(hero->pos.z, 8.0f);
  EXPECT_EQ(count(OBJ_CREATURE, "Rat"), 2);
  EXPECT_EQ(count(OBJ_NEUTRAL, "Golem"), 1);
  EXPECT_EQ(count(OBJ_CREATURE, "Golem"), 0);
  bool at[2] = {};
  for (living_entity& e : Living_entities) {
    if (e.type != OBJ_CREATURE) continue;
    if (e.pos.x == 2.0f && e.pos.z == 1.0f) at[0] = true;
    if (e.pos.x == -3.0f && e.pos.z == 4.0f) at[1] = true;
  }
  EXPECT_TRUE(at[0] && at[1]);
}

TEST_F(MlayoutWorld, AnotherLevelsLayoutLeavesTheWorldAlone) {
  kit.spawn(kit.type("Rat"), {2, 0, 1});
  MlayoutFile other;
  other.level = "Demo";  // the level's name differs by case only
  other.records.push_back({OBJ_CREATURE, "Golem", vector(0, 0, 0), matrix()});
  Heard.clear();
  console_set_output_hook(hear);
  EXPECT_FALSE(mlayout_apply(other, "demo"));
  console_set_output_hook(nullptr);
  EXPECT_EQ(Heard, "This monster layout is for map \"Demo\"\n");
  EXPECT_EQ(count(OBJ_CREATURE, "Rat"), 1);
  EXPECT_EQ(count(OBJ_CREATURE, "Golem"), 0);
}

TEST_F(MlayoutWorld, UnknownTypesAreSkippedAndTheRestLoad) {
  MlayoutFile m;
  m.level = "demo";
  const matrix flat(vector(1, 0, 0), vector(0, 1, 0), vector(0, 0, 1));
  m.records.push_back({OBJ_CREATURE, "Nosuchthing", vector(0, 0, 0), flat});
  m.records.push_back({OBJ_CREATURE, "Rat", vector(1, 0, 1), flat});
  m.records.push_back({OBJ_PLAYER, "Zazuru", vector(1, 0, 1), flat});  // no such hero here: skipped
  ASSERT_TRUE(mlayout_apply(m, "demo"));
  EXPECT_EQ(count(OBJ_CREATURE, "Rat"), 1);
  EXPECT_EQ(count(OBJ_PLAYER, nullptr), 0);
  EXPECT_NE(entity_find_by_name("Rat#1"), nullptr);
}

TEST_F(MlayoutWorld, APackSetDownTogetherIsOneGroupEachTimeTheLayoutLoads) {
  ai_install_core();  // as the game does at start-up: teardown reaches the AI
  party_table_reset();
  MlayoutFile m;
  m.level = "demo";
  const matrix flat(vector(1, 0, 0), vector(0, 1, 0), vector(0, 0, 1));
  for (const vector& at : {vector(3.5f, 0, 4.5f), vector(-1.5f, 0, 5.0f), vector(5.0f, 0, 2.0f), vector(60, 0, 60)})
    m.records.push_back({OBJ_CREATURE, "Rat", at, flat});
  for (int load = 0; load < 2; load++) {
    ASSERT_TRUE(mlayout_apply(m, "demo"));
    living_entity* rats[4] = {};
    for (living_entity& e : Living_entities)
      if (e.type == OBJ_CREATURE)
        for (int i = 0; i < 4; i++)
          if (e.pos.x == m.records[i].pos.x && e.pos.z == m.records[i].pos.z) rats[i] = &e;
    for (living_entity* r : rats) ASSERT_NE(r, nullptr);
    const int g = rats[0]->ai.group;
    ASSERT_GE(g, 0) << load;
    EXPECT_EQ(rats[1]->ai.group, g);
    EXPECT_EQ(rats[2]->ai.group, g);
    EXPECT_EQ(rats[3]->ai.group, -1);
    // The creatures of the first load left their group with them.
    int used = 0;
    for (const party_group& r : PartyController) used += r.member_count > 0;
    EXPECT_EQ(used, 1) << load;
    EXPECT_EQ(PartyController[g].member_count, 3);
  }
  party_table_reset();
  ai_set_hooks(AiHooks{});
}

TEST_F(MlayoutWorld, ALayoutTooBigForTheEntityRecordsIsRefusedFirst) {
  for (int i = 0; i < 100; i++) kit.spawn(kit.type("Ruvizo"), {0, 0, 0}, OBJ_PLAYER, 1, true);
  kit.spawn(kit.type("Rat"), {2, 0, 1});
  MlayoutFile m;
  m.level = "demo";
  for (int i = 0; i < 80; i++) m.records.push_back({OBJ_CREATURE, "Rat", vector(0, 0, 0), matrix()});
  EXPECT_FALSE(mlayout_apply(m, "demo"));
  EXPECT_EQ(count(OBJ_CREATURE, "Rat"), 1);
}

}  // namespace
