#include "tests/Engine/gamesound/gamesound_fixture.h"

namespace {

class EmitterTest : public GameSoundTest {
 protected:
  void SetUp() override {
    GameSoundTest::SetUp();
    start(false);
    wave("loop.wav", 0.5);
    wave("shot.wav", 0.05);
    loop_ = snd_load("loop.wav", 1.0f, 1.0f, 1.0f, 0, false);
    shot_ = snd_load("shot.wav", 1.0f, 1.0f, 1.0f, 0, false);
  }
  // Updates at the listener's own position: the gain is the scale.
  void update_at_listener(int e, float scale) {
    vector here{0, 0, 0};
    snd_emitter_update(e, &here, nullptr, scale);
  }
  int loop_ = -1, shot_ = -1;
};

TEST_F(EmitterTest, GainThresholdIsStrict) {
  int e = snd_emitter_create(loop_, 0, 0);
  ASSERT_GE(e, 0);
  update_at_listener(e, 0.1f);
  EXPECT_EQ(snd_emitter_get_channel(e), -1);
  update_at_listener(e, 0.11f);
  EXPECT_NE(snd_emitter_get_channel(e), -1);
  EXPECT_TRUE(snd_is_playing(snd_emitter_get_channel(e)));
  EXPECT_EQ(snd_emitter_get_frequency(e), 22050);
  EXPECT_EQ(snd_emitter_get_frequency(200), 11025);
  EXPECT_EQ(snd_emitter_get_channel(200), -1);
  EXPECT_EQ(snd_emitter_get_repeat_delay(-5), 0);
}

TEST_F(EmitterTest, SixteenChannelsQuietestDisplacedTiesToTheNewcomer) {
  std::vector<int> em;
  for (int i = 0; i < 16; ++i) {
    em.push_back(snd_emitter_create(loop_, 0, 0));
    update_at_listener(em.back(), 0.5f + 0.01f * static_cast<float>(i));
  }
  EXPECT_EQ(snd_emitter_sounding_count(), 16);
  // Quieter than every sounding one: stays silent.
  int quiet = snd_emitter_create(loop_, 0, 0);
  update_at_listener(quiet, 0.3f);
  EXPECT_EQ(snd_emitter_get_channel(quiet), -1);
  // Exactly as loud as the quietest (em[0] at 0.5): takes its channel.
  int tie = snd_emitter_create(loop_, 0, 0);
  update_at_listener(tie, 0.5f);
  EXPECT_NE(snd_emitter_get_channel(tie), -1);
  EXPECT_EQ(snd_emitter_get_channel(em[0]), -1);
  // Louder: takes the quietest now sounding, the newcomer at 0.5.
  int loud = snd_emitter_create(loop_, 0, 0);
  update_at_listener(loud, 0.9f);
  EXPECT_NE(snd_emitter_get_channel(loud), -1);
  EXPECT_EQ(snd_emitter_get_channel(tie), -1);
  EXPECT_NE(snd_emitter_get_channel(em[1]), -1);
  EXPECT_EQ(snd_emitter_sounding_count(), 16);
  EXPECT_EQ(snd_count_playing(), 16);
}

TEST_F(EmitterTest, UpdatesGatedByTheRealClock) {
  int e = snd_emitter_create(loop_, 100, 0);
  update_at_listener(e, 0.5f);  // first update is due at once
  int ch = snd_emitter_get_channel(e);
  ASSERT_NE(ch, -1);
  update_at_listener(e, 0.05f);  // too soon: ignored
  EXPECT_EQ(snd_emitter_get_channel(e), ch);
  timer_real_clock += 99;
  update_at_listener(e, 0.05f);
  EXPECT_EQ(snd_emitter_get_channel(e), ch);
  timer_real_clock += 1;
  update_at_listener(e, 0.05f);
  EXPECT_EQ(snd_emitter_get_channel(e), -1);
}

TEST_F(EmitterTest, OneShotRepeatsAfterItsDelayOfGameTime) {
  int e = snd_emitter_create(shot_, 0, 500);
  update_at_listener(e, 1.0f);
  int first = snd_emitter_get_channel(e);
  ASSERT_NE(first, -1);
  std::vector<float> buf(44100 / 5 * 2);
  ds_platform_render(buf.data(), 44100 / 5);  // the 50 ms shot ends
  EXPECT_FALSE(snd_is_playing(first));
  update_at_listener(e, 1.0f);  // finds it ended: waits 500 ms of game time
  EXPECT_EQ(snd_emitter_get_channel(e), first);
  timer_real_clock += 1000;  // the real clock alone does not count
  update_at_listener(e, 1.0f);
  EXPECT_EQ(snd_emitter_get_channel(e), first);
  timer_game_clock += 499;
  update_at_listener(e, 1.0f);
  EXPECT_EQ(snd_emitter_get_channel(e), first);
  timer_game_clock += 1;
  update_at_listener(e, 1.0f);
  int again = snd_emitter_get_channel(e);
  EXPECT_NE(again, first);
  EXPECT_TRUE(snd_is_playing(again));
}

TEST_F(EmitterTest, PanFollowsTheListenerWithoutVelocityNoDoppler) {
  int e = snd_emitter_create(loop_, 0, 0);
  vector right{3, 0, 0};
  snd_emitter_update(e, &right, nullptr, 1.0f);
  EXPECT_FLOAT_EQ(Sound_emitters[e].pan, 1.0f);
  EXPECT_EQ(snd_emitter_get_frequency(e), 22050);
  vector left{-3, 0, 0};
  snd_emitter_update(e, &left, nullptr, 1.0f);
  EXPECT_FLOAT_EQ(Sound_emitters[e].pan, -1.0f);
}

TEST_F(EmitterTest, EveryOperationChecksItsIndex) {
  // A failed create gives -1; the callers that store it delete it later.
  wave("x.wav");
  int missing = snd_load("x.wav", 1.0f, 1.0f, 1.0f, 0, false);
  std::filesystem::remove(root_ + "/data/sounds/pc/x.wav");
  int e = snd_emitter_create(missing, 0, 0);
  EXPECT_EQ(e, -1);
  EXPECT_EQ(snd_emitter_delete(e, 0), 0);
  snd_emitter_mute(e);
  snd_emitter_unmute(-1);
  snd_emitter_set_frequency(128, 22050);
  vector here{0, 0, 0};
  snd_emitter_update(-1, &here, nullptr, 1.0f);
  snd_emitter_update_segment(500, &here, &here, nullptr, 1.0f);
  // The slots are untouched.
  for (const SoundEmitter& s : Sound_emitters) EXPECT_EQ(s.flags, 0u);
}

TEST_F(EmitterTest, MuteDeleteWithFadeAndSegments) {
  int e = snd_emitter_create(loop_, 0, 0);
  update_at_listener(e, 0.5f);
  snd_emitter_mute(e);
  EXPECT_EQ(snd_emitter_get_channel(e), -1);
  update_at_listener(e, 0.5f);
  EXPECT_EQ(snd_emitter_get_channel(e), -1);
  snd_emitter_unmute(e);
  update_at_listener(e, 0.5f);
  int ch = snd_emitter_get_channel(e);
  ASSERT_NE(ch, -1);
  EXPECT_EQ(snd_emitter_delete(e, 300), 0);
  EXPECT_EQ(Sound_emitters[e].flags, 0u);
  // The channel fades rather than stopping at once.
  int c = ds_channel_from_handle(ch);
  ASSERT_GE(c, 0);
  EXPECT_TRUE(Sound_channels[c].flags & SCF_FADING);

  vector a{-5, 0, 1}, b{5, 0, 1};
  int seg = snd_emitter_create_segment(loop_, &a, &b, 0, 0);
  snd_emitter_update_segment(seg, nullptr, nullptr, nullptr, 1.0f);
  EXPECT_NEAR(Sound_emitters[seg].gain, 1.0f, 1e-6);  // nearest point 1 unit away: inside min distance
  EXPECT_NE(snd_emitter_get_channel(seg), -1);
}

}  // namespace
