// UI mode and the sounds: a modal screen pauses what plays and leaving it
// lets the same sounds go on; music (streamed) keeps playing unless asked.
#include <gtest/gtest.h>

#include "Orrimund/gamestate.h"
#include "tests/Engine/gamesound/gamesound_fixture.h"

TEST_F(GameSoundTest, UiModePausesTheSoundsAndLeavingResumesThem) {
  start(false);
  wave("loop.wav", 1.0);
  const int s = snd_load("loop.wav", 1.0f, 1.0f, 1.0f, 0, false);
  ASSERT_GE(snd_play_looping(s, 1.0f, 0.0f), 0);
  GameFlags = 0;
  EXPECT_EQ(snd_count_playing(), 1);
  enter_ui_mode(0, 0);
  EXPECT_EQ(snd_count_playing(), 0);
  leave_ui_mode();
  EXPECT_EQ(snd_count_playing(), 1);
  // Entering twice pauses once; one leave resumes.
  enter_ui_mode(0, 0);
  enter_ui_mode(0, 0);
  leave_ui_mode();
  EXPECT_EQ(snd_count_playing(), 1);
  EXPECT_EQ(in_ui_mode(), 0);
  // A streamed sound (the music) plays on through UI mode unless asked.
  wave("music.wav", 2.0);
  const int m = snd_load("music.wav", 1.0f, 1.0f, 1.0f, 1, false);
  ASSERT_GE(snd_stream_looping(m, 1.0f, 0.0f), 0);
  EXPECT_EQ(snd_count_playing(), 2);
  enter_ui_mode(0, 0);
  EXPECT_EQ(snd_count_playing(), 1);
  leave_ui_mode();
  enter_ui_mode(0, 1);
  EXPECT_EQ(snd_count_playing(), 0);
  leave_ui_mode();
  EXPECT_EQ(snd_count_playing(), 2);
  snd_stop_all();
  GameFlags = 0;
}
