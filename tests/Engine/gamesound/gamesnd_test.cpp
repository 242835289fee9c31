#include "quarn/bmpman/bmpman.h"
#include "quarn/math/floatops.h"
#include "tools/writers/image_writers.h"
#include "tests/Engine/gamesound/gamesound_fixture.h"
#include "tests/support/critical_error_trap.h"

namespace {

std::string feedback_hero(const char* name, const char* success_line) {
  static const char* const actions[] = {"+Affirmative:", "+Attack:", "+NoEffect:", "+Locked:",
                                        "+Injured:", "+InvalidAction:", "+InvalidLocation:",
                                        "+InvalidTarget:", "+Success:", "+Failed:", "+Poison:",
                                        "+HideSuccess:", "+SneakSuccess:", "+Unlocked:", "+LevelUp:",
                                        "+Death:"};
  std::string t = std::string("$Name: \"") + name + "\"\n";
  for (int a = 0; a < 16; ++a) {
    t += std::string(actions[a]) + " ";
    t += a == 8 ? success_line : "0";
    t += "\n";
  }
  return t;
}

class GameSideTest : public GameSoundTest {
 protected:
  void SetUp() override {
    GameSoundTest::SetUp();
    start(false);
    wave("v1.wav");
    wave("v2.wav");
    wave("title.wav", 3.0, 44100);
    wave("battle.wav", 3.0, 44100);
    table("music.tbl", "$Name: \"Title\"\n$Filename: \"title.wav\"\n$Name: \"Battle\"\n$Filename: \"battle.wav\"\n#End\n");
    GameFlags = GF_LEVEL_IN_PLAY;
  }
  void TearDown() override {
    GameFlags = 0;
    GameSoundTest::TearDown();
  }
};

TEST_F(GameSideTest, MusicCrossFadesOverTwoHundredMs) {
  table("feedback.tbl", "#End\n");
  music_load_tables();
  EXPECT_EQ(music_find("TITLE"), 0);
  EXPECT_EQ(music_find("Credits"), -1);
  music_play(0, true);
  int title = music_signature();
  ASSERT_GE(title, 0);
  EXPECT_EQ(music_current(), 0);
  music_play(0, true);  // the same track goes on
  EXPECT_EQ(music_signature(), title);
  int ch_old = ds_channel_from_handle(title);
  music_play(1, true);
  int battle = music_signature();
  EXPECT_NE(battle, title);
  EXPECT_TRUE(snd_is_playing(battle));  // starts at once
  ASSERT_TRUE(Sound_channels[ch_old].flags & SCF_FADING);
  EXPECT_FLOAT_EQ(Sound_channels[ch_old].fade_step, 0.5f);  // 200 ms: two 75 ms steps
  snd_update();
  EXPECT_FLOAT_EQ(Sound_channels[ch_old].volume, 0.5f);
  timer_real_clock += 75;
  snd_update();
  EXPECT_EQ(ds_channel_from_handle(title), -1);
  EXPECT_TRUE(snd_is_playing(battle));
  // Music plays on category 1.
  music_set_volume(0.25f);
  EXPECT_FLOAT_EQ(snd_get_category_volume(1), 0.25f);
  EXPECT_FLOAT_EQ(Sound_channels[ds_channel_from_handle(battle)].volume, 0.25f);
  music_fade_out(300);
  EXPECT_EQ(music_current(), -1);
}

TEST_F(GameSideTest, MusicTableStopsAtSixtyFourTracks) {
  std::string t;
  for (int i = 0; i < 70; ++i) t += "$Name: \"t" + std::to_string(i) + "\"\n$Filename: \"title.wav\"\n";
  table("music.tbl", t + "#End\n");
  table("feedback.tbl", "#End\n");
  testing::internal::CaptureStdout();
  music_load_tables();
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(Num_music_tracks, 64);
  EXPECT_EQ(music_find("t63"), 63);
  EXPECT_EQ(music_find("t64"), -1);
  EXPECT_NE(out.find("music.tbl"), std::string::npos);
}

TEST_F(GameSideTest, FeedbackTableAndChances) {
  table("feedback.tbl", feedback_hero("zazuru", "100 \"v1.wav\" \"v2.wav\"") +
                            feedback_hero("Ruvizo", "0 \"v1.wav\"") + "#End\n");
  music_load_tables();
  int zs = 1 * 16 + 8, rs = 0 * 16 + 8;
  EXPECT_EQ(Feedback_count[zs], 2);
  EXPECT_EQ(Feedback_chance[zs], 100);
  EXPECT_EQ(Feedback_count[rs], 1);
  EXPECT_EQ(Num_feedback_sounds, 3);
  EXPECT_STREQ(SoundTable[Feedback_sounds[0]].name, "feedback\\v1.wav");
  vector at{0, 0, 0};
  // Chance 100 always speaks.
  for (int i = 0; i < 5; ++i) {
    int before = snd_count_playing();
    feedback_play(1, 8, &at);
    EXPECT_EQ(snd_count_playing(), before + 1);
  }
  snd_stop_all();
  // Chance 0 speaks only when the random value gives 0: count against an
  // independent run of the same generator.
  uint32_t state = os_rand_get_state();
  int expected = 0;
  for (int i = 0; i < 400; ++i) {
    int r = static_cast<int>(frand() * 100.0f);
    if (r <= 0) {
      ++expected;
      os_rand();  // the pick
    }
  }
  os_rand_set_state(state);
  int spoke = 0;
  for (int i = 0; i < 400; ++i) {
    int before = snd_count_playing();
    feedback_play(0, 8, &at);
    spoke += snd_count_playing() > before;
    snd_stop_all();
  }
  EXPECT_EQ(spoke, expected);
  EXPECT_GT(spoke, 0);
  // Not during a cutscene, nor outside play, nor for a non-hero.
  GameFlags |= GF_CUTSCENE;
  feedback_play(1, 8, &at);
  GameFlags = 0;
  feedback_play(1, 8, &at);
  GameFlags = GF_LEVEL_IN_PLAY;
  feedback_play(4, 8, &at);
  EXPECT_EQ(snd_count_playing(), 0);
}

TEST_F(GameSideTest, FeedbackFatalErrors) {
  struct {
    std::string text, message;
  } cases[] = {
      {feedback_hero("Bob", "0") + "#End\n", "Bad feedback party name.\n"},
      {feedback_hero("Rivud", "0 \"v1.wav\" \"v1.wav\" \"v1.wav\" \"v1.wav\" \"v2.wav\"") + "#End\n",
       "Too many feedback sounds for this action!\n"},
  };
  std::string many;
  for (const char* h : {"Ruvizo", "Zazuru", "Rivud", "Rivadara"}) {
    std::string line = "0";
    for (int k = 0; k < 4; ++k) line += " \"v1.wav\"";
    std::string t = std::string("$Name: \"") + h + "\"\n";
    for (const char* a : {"+Affirmative:", "+Attack:", "+NoEffect:", "+Locked:", "+Injured:",
                          "+InvalidAction:", "+InvalidLocation:", "+InvalidTarget:", "+Success:",
                          "+Failed:", "+Poison:", "+HideSuccess:", "+SneakSuccess:", "+Unlocked:",
                          "+LevelUp:", "+Death:"})
      t += std::string(a) + " " + line + "\n";
    many += t;  // 4 heroes x 16 actions x 4 = 256 sounds
  }
  CriticalErrorTrap trap;
  for (auto& c : cases) {
    table("feedback.tbl", c.text);
    try {
      music_load_tables();
      ADD_FAILURE() << c.message;
    } catch (const CriticalErrorThrown& e) {
      EXPECT_EQ(e.text, c.message);
    }
  }
  table("feedback.tbl", many + "#End\n");
  try {
    music_load_tables();
    ADD_FAILURE() << "256 feedback sounds accepted";
  } catch (const CriticalErrorThrown& e) {
    EXPECT_EQ(e.text, "Too many feedback sounds!  c'mon guys ..\n");
    EXPECT_EQ(Num_feedback_sounds, 255);
  }
}

TEST_F(GameSideTest, HitSoundsAndWrappers) {
  table("feedback.tbl", "#End\n");
  music_load_tables();
  struct {
    int a, d, sound;
  } hits[] = {{1, 1, 34}, {1, 2, 32}, {2, 1, 32}, {5, 5, 21}, {3, 4, 27}, {12, 12, 19},
              {12, 13, -1}, {10, 1, 14}, {4, 16, 18}, {0, 0, -1}, {6, 6, -1}};
  for (auto h : hits) EXPECT_EQ(Hit_sounds[h.a][h.d], h.sound) << h.a << "," << h.d;
  vector at{0, 0, 0};
  EXPECT_EQ(gamesound_play_hit(12, 13, &at), -1);
  EXPECT_EQ(gamesound_play_hit(-1, 40, &at), -1);
  // Index 0 never plays through the wrappers.
  wave("zero.wav");
  EXPECT_EQ(snd_load("zero.wav", 1.0f, 1.0f, 1.0f, 0, true), 0);
  EXPECT_EQ(gamesound_play(0, 1.0f, 0.0f), 1);
  EXPECT_EQ(gamesound_play_3d(0, &at), -1);
  EXPECT_EQ(snd_count_playing(), 0);
  GameSound door{"v2.wav", -1, 128, 4, 1};
  gamesound_ensure_loaded(&door, true);
  ASSERT_GE(door.index, 8);
  EXPECT_NEAR(SoundTable[door.index].volume, 128 / 255.0f, 1e-6);
  EXPECT_FLOAT_EQ(SoundTable[door.index].min_distance, 4.0f);
  GameSound missing{"nowhere.wav", -1, 255, 1, 1};
  gamesound_ensure_loaded(&missing, true);
  EXPECT_EQ(missing.index, -1);
}

int fake_bitmap(int mesh, int polygon) { return mesh * 100 + polygon; }

TEST_F(GameSideTest, SurfaceKindsPerLevel) {
  surfaces_set_texture_lookup(fake_bitmap);
  surfaces_load("nolevel.s3d");
  EXPECT_EQ(gamesound_surface_sound(0, 3), SURFACE_GRASS);
  // Textures are known bitmaps; the fake lookup gives bitmap handles directly.
  std::filesystem::create_directories(root_ + "/data/maps/levels");
  surfaces_set_texture_lookup(nullptr);
  surfaces_set_texture_lookup(fake_bitmap);
  table("lvl_surfaces.tbl", "$Default: \"sand\"\n\"unknown.tga\" \"wood\"\n#End\n");
  surfaces_load("lvl.s3d");
  EXPECT_EQ(Surface_default, SURFACE_SAND);
  EXPECT_EQ(Num_surface_pairs, 0);
  EXPECT_EQ(gamesound_surface_sound(-1, 0), SURFACE_SAND);
  surfaces_set_texture_lookup(nullptr);
}

int Bitmaps[70];
int bitmap_of_polygon(int, int polygon) { return polygon < 70 ? Bitmaps[polygon] : -1; }

TEST_F(GameSideTest, SurfacePairsByTextureUpToSixtyFour) {
  std::filesystem::create_directories(root_ + "/data/maps/levels");
  bm_init();
  uint8_t px[4 * 4 * 3] = {};
  std::string t = "$Default: \"stone\"\n";
  for (int i = 0; i < 70; ++i) {
    std::string name = "tex" + std::to_string(i) + ".tga";
    ASSERT_TRUE(tga_write_file(root_ + "/data/maps/levels/" + name, px, 4, 4, 24));
    Bitmaps[i] = bm_load(name.c_str());
    ASSERT_GE(Bitmaps[i], 0);
    const char* kinds[] = {"wood", "stone", "grass", "sand", "swamp"};
    t += "\"" + name + "\" \"" + kinds[i % 5] + "\"\n";
    if (i == 2) t += "\"notloaded.tga\" \"swamp\"\n";  // an unknown texture drops its kind
  }
  table("cave_surfaces.tbl", t + "#End\n");
  surfaces_set_texture_lookup(bitmap_of_polygon);
  testing::internal::CaptureStdout();
  surfaces_load("cave.s3d");
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(Num_surface_pairs, 64);
  EXPECT_NE(out.find("cave_surfaces.tbl"), std::string::npos);
  EXPECT_EQ(gamesound_surface_sound(0, 0), SURFACE_WOOD);
  EXPECT_EQ(gamesound_surface_sound(0, 3), SURFACE_SAND);
  EXPECT_EQ(gamesound_surface_sound(0, 63), SURFACE_SAND);
  EXPECT_EQ(gamesound_surface_sound(0, 64), SURFACE_STONE);  // beyond the pairs: the default
  EXPECT_EQ(gamesound_surface_sound(0, -1), SURFACE_STONE);
  surfaces_set_texture_lookup(nullptr);
  bm_close();
}

}  // namespace
