// The game-state machine with fake state operations: when requests are
// carried out, what runs in one driver turn and in what order, and the
// game-wide bits the shell's own operations set.
#include "Orrimund/gamestate.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "quarn/vfile/preload.h"
#include "Orrimund/gamewide.h"
#include "quarn/gr/gr.h"
#include "quarn/gr/gr_recorder.h"
#include "quarn/os/key.h"
#include "quarn/os/mouse.h"
#include "quarn/os/os.h"
#include "quarn/os/timer.h"
#include "quarn/platform/messages.h"
#include "quarn/platform/window.h"

namespace {
uint64_t g_fake_ns = 0;
uint64_t fake_counter() { return g_fake_ns; }
void fake_sleep(int ms) { g_fake_ns += static_cast<uint64_t>(ms) * 1000000ull; }

std::vector<std::string> g_log;
// What the fake frame operations saw when they ran.
int g_seen_mouse_x = -1;
int g_seen_preload_state = -1;
float g_seen_frame_time = -1.0f;

// One set of fake operations per state, logging "enter N" and so on.
template <int N>
struct Fake {
  static void enter() { g_log.push_back("enter " + std::to_string(N)); }
  static void frame() { g_log.push_back("frame " + std::to_string(N)); }
  static void leave() { g_log.push_back("leave " + std::to_string(N)); }
  static GameStateOps ops() { return {enter, frame, leave}; }
};

class FlipCounter : public GrRecorder {
 public:
  int flips = 0;
  void flip() override { flips++; }
};

struct GameStateTest : ::testing::Test {
  GameStateOps saved[NUM_GAME_STATES];
  FlipCounter recorder;

  void SetUp() override {
    window_force_null_backend(true);
    g_fake_ns = 1000000000ull;
    timer_set_source(fake_counter, fake_sleep);
    timer_init();
    os_window_proc(OS_MSG_ACTIVATEAPP, 1, 0);
    key_close();
    key_init(true);
    mouse_close();
    mouse_init(640, 480);
    for (int s = 0; s < NUM_GAME_STATES; s++) saved[s] = game_state_get_ops(s);
    game_state_set_ops(5, Fake<5>::ops());
    game_state_set_ops(6, Fake<6>::ops());
    game_state_set_ops(7, Fake<7>::ops());
    game_state_reset();
    GameFlags = 0;
    time_frozen = 0;
    g_log.clear();
    preload_set_file(nullptr);
    preload_reset();
  }
  void TearDown() override {
    for (int s = 0; s < NUM_GAME_STATES; s++) game_state_set_ops(s, saved[s]);
    if (gr_is_initialised()) gr_close();
    gr_set_recorder(nullptr);
    while (game_pause_depth() > 0) game_resume();
    mouse_close();
    key_close();
    time_frozen = 0;
    GameFlags = 0;
    timer_set_source(nullptr, nullptr);
  }
  void start_recorder() {
    gr_set_recorder(&recorder);
    gr_init(640, 480, GR_RECORDER, GR_WINDOWED, 0, false);
  }
  // The window layer delivers only the release of Print Screen.
  static void key(int scan) {
    if (scan != KEY_PRINT_SCRN) key_message_hook(OS_MSG_KEYDOWN, 0, os_key_lparam(scan));
    key_message_hook(OS_MSG_KEYUP, 0, os_key_lparam(scan));
  }
};

using Log = std::vector<std::string>;

void request_6() { g_log.push_back("enter 5"), game_state_request(6); }
}  // namespace

TEST_F(GameStateTest, OnlyTheLastOfTwoRequestsBeforeATurnIsEntered) {
  game_state_request(5);
  game_state_request(6);
  EXPECT_EQ(game_state_requested(), 6);
  EXPECT_EQ(game_state_current(), 0);  // nothing changes before the driver runs
  EXPECT_EQ(game_state_driver(), 6);
  EXPECT_EQ(g_log, (Log{"enter 6", "frame 6"}));
  EXPECT_EQ(game_state_previous(), 0);
  EXPECT_FALSE(game_state_pending());
}

TEST_F(GameStateTest, AnEnterThatRequestsIsFollowedWithinTheSameTurn) {
  game_state_set_ops(5, {request_6, Fake<5>::frame, Fake<5>::leave});
  game_state_request(5);
  EXPECT_EQ(game_state_driver(), 6);
  // The frame that runs is the last state's; the one passed through is left.
  EXPECT_EQ(g_log, (Log{"enter 5", "leave 5", "enter 6", "frame 6"}));
  EXPECT_EQ(game_state_previous(), 5);
}

TEST_F(GameStateTest, RequestingTheCurrentStateLeavesAndEntersItAgain) {
  game_state_request(7);
  game_state_driver();
  g_log.clear();
  game_state_request(7);
  game_state_driver();
  EXPECT_EQ(g_log, (Log{"leave 7", "enter 7", "frame 7"}));
  EXPECT_EQ(game_state_previous(), 7);
  EXPECT_EQ(game_state_current(), 7);
}

TEST_F(GameStateTest, StatesWithoutOperationsAndTheQuitState) {
  game_state_request(5);
  game_state_driver();
  g_log.clear();
  // Quit has no operations: the driver only leaves the old state and says 3.
  game_state_request(GS_QUIT);
  EXPECT_EQ(game_state_driver(), GS_QUIT);
  EXPECT_EQ(g_log, (Log{"leave 5"}));
  // An out-of-range request is carried out without touching any row.
  game_state_request(99);
  EXPECT_EQ(game_state_driver(), 99);
  game_state_request(5);
  EXPECT_EQ(game_state_driver(), 5);
}

TEST_F(GameStateTest, MainLoopEndsWhenTheDriverReturnsQuit) {
  static int frames;
  frames = 0;
  game_state_set_ops(5, {nullptr, [] {
                           if (++frames == 3) game_state_request(GS_QUIT);
                         },
                         nullptr});
  game_state_request(5);
  main_loop();
  EXPECT_EQ(frames, 3);
  EXPECT_EQ(game_state_current(), GS_QUIT);
}

TEST_F(GameStateTest, DriverStepsRunBeforeTheFrameAndTheEndOfFrameAfterIt) {
  start_recorder();
  preload_set_builders({});
  ASSERT_TRUE(preload_add("sparks.peg", nullptr, nullptr));
  ASSERT_TRUE(preload_start());
  ASSERT_EQ(preload_state(), PRELOAD_LOADING);
  window_set_cursor_pos(123, 45);
  time_frozen = 1;
  g_seen_mouse_x = -1;
  game_state_set_ops(5, {nullptr, [] {
                           g_seen_mouse_x = Mouse_x;
                           g_seen_preload_state = preload_state();
                           g_seen_frame_time = FrameTimer;
                           GameFlags |= GF_SCREENSHOT;
                           g_log.push_back("frame");
                         },
                         nullptr});
  game_state_request(5);
  game_state_driver();
  // Frame time, mouse snapshot and preload step came first...
  EXPECT_EQ(g_seen_frame_time, 0.0f);  // frozen time
  EXPECT_EQ(g_seen_mouse_x, 123);
  EXPECT_EQ(g_seen_preload_state, PRELOAD_DONE);
  // ...the end of frame after: the request made by the frame is served in the
  // same turn and the frame is presented.
  EXPECT_FALSE(GameFlags & GF_SCREENSHOT);
  EXPECT_EQ(recorder.flips, 1);
  EXPECT_EQ(Mouse_prev_x, 123);
}

TEST_F(GameStateTest, AFrameThatSkipsTheSwapIsNotPresentedAndTheNextIs) {
  start_recorder();
  game_state_set_ops(5, {nullptr, [] { GameFlags |= GF_SKIP_SWAP; }, nullptr});
  game_state_request(5);
  game_state_driver();
  EXPECT_EQ(recorder.flips, 0);
  EXPECT_FALSE(GameFlags & GF_SKIP_SWAP);  // cleared every frame
  game_state_set_ops(5, Fake<5>::ops());
  game_state_driver();
  EXPECT_EQ(recorder.flips, 1);
}

TEST_F(GameStateTest, MenuKeyReader) {
  struct Case {
    int scan;
    bool networked;
    int answer;
    uint32_t flags_after;
    int requested_after;
  } cases[] = {
      {KEY_PRINT_SCRN, false, 0, GF_SCREENSHOT, 0},
      {30, false, 30, 0, 0},                            // 'a' passes through
      {KEY_ESC, false, KEY_ESC, 0, 0},                  // Escape alone is a menu key
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.scan);
    GameFlags = c.networked ? GF_NETWORKED : 0;
    game_state_reset();
    key(c.scan);
    EXPECT_EQ(menu_frame_input(), c.answer);
    EXPECT_EQ(GameFlags & ~GF_NETWORKED, c.flags_after);
    EXPECT_EQ(game_state_requested(), c.requested_after);
  }
  EXPECT_EQ(menu_frame_input(), 0);  // empty queue
}

TEST_F(GameStateTest, AnInactiveWindowThatIsGoneDoesNotHoldTheMenuForEver) {
  // No window thread runs here, as after the window was closed.
  ASSERT_FALSE(os_window_thread_running());
  os_window_proc(OS_MSG_ACTIVATEAPP, 0, 0);
  key(30);
  EXPECT_EQ(menu_frame_input(), 30);
  // The clock held for the wait is released again.
  const int32_t before = timer_game_clock;
  g_fake_ns += 100000000ull;
  frametime_update();
  EXPECT_GT(timer_game_clock, before);
  os_window_proc(OS_MSG_ACTIVATEAPP, 1, 0);
}

TEST_F(GameStateTest, ShiftEscapeQuitsASinglePlayerMenuButNotANetworkedOne) {
  for (bool networked : {false, true}) {
    SCOPED_TRACE(networked);
    GameFlags = networked ? GF_NETWORKED : GF_SINGLE_PLAYER;
    game_state_reset();
    key_message_hook(OS_MSG_KEYDOWN, 0, os_key_lparam(KEY_LSHIFT));
    key(KEY_ESC);
    key_message_hook(OS_MSG_KEYUP, 0, os_key_lparam(KEY_LSHIFT));
    int k;
    while ((k = menu_frame_input()) == (KEY_LSHIFT | KEY_SHIFTED)) {
    }
    EXPECT_EQ(k, 0);
    EXPECT_EQ(game_state_pending(), !networked);
    if (!networked) {
      EXPECT_EQ(game_state_requested(), GS_QUIT);
    }
  }
}

TEST_F(GameStateTest, StateKeyLoopHandsEveryKeyToTheHandler) {
  static std::vector<int> seen;
  seen.clear();
  key(30);
  key(KEY_PRINT_SCRN);
  key(31);
  EXPECT_EQ(state_key_loop([](int k) { seen.push_back(k); }, false), 0);
  // The screenshot key is taken by the reader and reaches the handler as 0,
  // which ends the loop; the rest waits for the next frame.
  EXPECT_EQ(seen, (std::vector<int>{30, 0}));
  EXPECT_TRUE(GameFlags & GF_SCREENSHOT);
  // With no window open the toolkit leaves the key to the state.
  EXPECT_EQ(state_key_loop(nullptr, true), 31);  // without a handler: one key
}

TEST_F(GameStateTest, UiModePausesOnceAndResumesOnce) {
  const int32_t clock_before = timer_game_clock;
  enter_ui_mode(0, 0);
  enter_ui_mode(0, 0);  // already in UI mode: nothing more is held
  EXPECT_EQ(in_ui_mode(), 1);
  EXPECT_EQ(game_pause_depth(), 1);
  g_fake_ns += 100000000ull;
  frametime_update();
  EXPECT_EQ(timer_game_clock, clock_before);  // the world stands still
  leave_ui_mode();
  leave_ui_mode();
  EXPECT_EQ(in_ui_mode(), 0);
  EXPECT_EQ(game_pause_depth(), 0);
  g_fake_ns += 100000000ull;
  frametime_update();
  EXPECT_GT(timer_game_clock, clock_before);
  // A resume with nothing held releases nothing another holder took.
  game_clock_hold();
  game_resume();
  const int32_t held = timer_game_clock;
  g_fake_ns += 100000000ull;
  frametime_update();
  EXPECT_EQ(timer_game_clock, held);
  game_clock_release();
}

TEST_F(GameStateTest, FlagSettersAndReaders) {
  lock_player_input();
  EXPECT_TRUE(game_flags_test(GF_INPUT_LOCKED));
  unlock_player_input();
  EXPECT_FALSE(game_flags_test(GF_INPUT_LOCKED));
  game_flags_set(GF_SOLO | GF_CUTSCENE);
  EXPECT_EQ(GameFlags, GF_SOLO | GF_CUTSCENE);
  game_flags_clear(GF_SOLO);
  EXPECT_EQ(GameFlags, GF_CUTSCENE);
  EXPECT_FALSE(game_is_networked());
  // The title state starts a single-player game with every other bit clear.
  GameFlags = 0xFFFFFFFFu;
  title_enter();
  EXPECT_EQ(GameFlags, GF_SINGLE_PLAYER);
  EXPECT_TRUE(game_is_single_player());
  title_leave();
}

TEST_F(GameStateTest, NewGameKeepsTheUiAndCutsceneBitsAndChoosesTheKindOfGame) {
  struct Case {
    int previous;
    uint32_t before, after;
  } cases[] = {
      {GS_TITLE, 0xFFFFFFFFu, 0x1C | GF_SINGLE_PLAYER},
      {GS_LOBBY_LEVEL_SELECT, GF_SINGLE_PLAYER | GF_CUTSCENE, GF_NETWORKED},
      {GS_LOBBY_LEVEL_SELECT, GF_UI_MODE, GF_UI_MODE | GF_NETWORKED},
  };
  for (const Case& c : cases) {
    game_state_reset();
    game_state_set_ops(c.previous, {nullptr, nullptr, nullptr});
    game_state_set_ops(GS_NEW_GAME, {newgame_enter, nullptr, nullptr});
    game_state_request(c.previous);
    game_state_driver();
    GameFlags = c.before;
    game_state_request(GS_NEW_GAME);
    game_state_driver();
    EXPECT_EQ(GameFlags, c.after) << c.previous;
  }
  // Its frame goes on to the game at once.
  newgame_frame();
  EXPECT_EQ(game_state_requested(), GS_GAMEPLAY);
}
