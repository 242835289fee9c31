#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "quarn/os/key.h"
#include "quarn/os/timer.h"
#include "quarn/platform/messages.h"

namespace {
uint64_t g_fake_ns = 0;
uint64_t fake_counter() { return g_fake_ns; }
void fake_sleep(int ms) { g_fake_ns += static_cast<uint64_t>(ms) * 1000000ull; }
void advance_ms(int ms) { g_fake_ns += static_cast<uint64_t>(ms) * 1000000ull; }

void down(int scan) { key_message_hook(OS_MSG_KEYDOWN, 0, os_key_lparam(scan)); }
void up(int scan) { key_message_hook(OS_MSG_KEYUP, 0, os_key_lparam(scan)); }

std::vector<int> drain() {
  std::vector<int> codes;
  while (int k = key_inkey()) codes.push_back(k);
  return codes;
}

struct KeyTest : ::testing::Test {
  void SetUp() override {
    g_fake_ns = 1000000000ull;
    timer_set_source(fake_counter, fake_sleep);
    timer_init();
    key_close();
    key_init(true);
  }
  void TearDown() override {
    key_close();
    timer_set_source(nullptr, nullptr);
  }
};
}  // namespace

TEST_F(KeyTest, ShiftAQueuesShiftedCodeAndItsCharacter) {
  down(KEY_LSHIFT);
  down(30);
  up(30);
  up(KEY_LSHIFT);
  std::vector<int> codes = drain();
  // The Shift key itself is queued too, carrying its own state.
  ASSERT_EQ(codes, (std::vector<int>{KEY_LSHIFT | KEY_SHIFTED, 0x101E}));
  EXPECT_EQ(key_to_ascii(0x101E), 'A');
  EXPECT_EQ(key_to_ascii(30), 'a');
  EXPECT_FALSE(key_checkch());
  EXPECT_EQ(key_inkey(), 0);
}

TEST_F(KeyTest, ModifierBitsFollowTheHeldKeys) {
  down(KEY_RCTRL);
  down(KEY_LALT);
  EXPECT_EQ(key_get_modifiers(), KEY_CTRLED | KEY_ALTED);
  drain();
  down(32);  // D
  EXPECT_EQ(key_inkey(), 32 | KEY_CTRLED | KEY_ALTED);
  up(KEY_RCTRL);
  up(KEY_LALT);
  EXPECT_EQ(key_get_modifiers(), 0);
}

TEST_F(KeyTest, RightShiftAndRightAltAreTheLeftKeys) {
  down(KEY_RSHIFT);
  down(KEY_RALT);
  EXPECT_TRUE(key_is_down(KEY_LSHIFT));
  EXPECT_TRUE(key_is_down(KEY_LALT));
  EXPECT_FALSE(key_is_down(KEY_RSHIFT));
  EXPECT_FALSE(key_is_down(KEY_RALT));
  drain();
  down(30);
  EXPECT_EQ(key_inkey(), 30 | KEY_SHIFTED | KEY_ALTED);
  EXPECT_EQ(key_down_count(KEY_LSHIFT), 1);
  EXPECT_EQ(key_down_count(KEY_RSHIFT), 0);
  up(KEY_RSHIFT);
  up(KEY_RALT);
  EXPECT_FALSE(key_is_down(KEY_LSHIFT));
  EXPECT_FALSE(key_is_down(KEY_LALT));
}

TEST_F(KeyTest, AutoRepeatQueuesEveryRepeatButEscapeOnce) {
  for (int i = 0; i < 4; ++i) down(30);
  up(30);
  for (int i = 0; i < 4; ++i) down(KEY_ESC);
  up(KEY_ESC);
  EXPECT_EQ(drain(), (std::vector<int>{30, 30, 30, 30, KEY_ESC}));
  EXPECT_EQ(key_down_count(30), 1);
  EXPECT_EQ(key_down_count(30), 0);  // the call reset it
}

TEST_F(KeyTest, SixteenthKeyIsDroppedFirstFifteenStayInOrder) {
  const int scans[] = {16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 30, 31, 32, 33, 34, 35};
  for (int s : scans) {
    down(s);
    up(s);
  }
  std::vector<int> expected(scans, scans + 15);
  EXPECT_EQ(drain(), expected);
}

TEST_F(KeyTest, PrintScreenReleaseCountsAPressAndARelease) {
  // The window layer passes Print Screen as a release with its virtual key.
  key_message_hook(OS_MSG_KEYUP, OS_VK_SNAPSHOT, os_key_lparam(KEY_PRINT_SCRN));
  EXPECT_EQ(drain(), (std::vector<int>{KEY_PRINT_SCRN}));
  EXPECT_EQ(key_down_count(KEY_PRINT_SCRN), 1);
  EXPECT_FALSE(key_is_down(KEY_PRINT_SCRN));
}

TEST_F(KeyTest, FocusChangesReleaseEveryKey) {
  for (uint32_t msg : {OS_MSG_KILLFOCUS, OS_MSG_SETFOCUS}) {
    down(17);
    down(KEY_LSHIFT);
    key_message_hook(msg, 0, 0);
    EXPECT_FALSE(key_is_down(17));
    EXPECT_FALSE(key_is_down(KEY_LSHIFT));
    EXPECT_FALSE(key_checkch());
    EXPECT_EQ(key_down_count(17), 0);
  }
}

TEST_F(KeyTest, QueriesOutsideTheTableAreSafe) {
  for (int code : {-1, 256, 300, 0x101E, 1 << 20}) {
    EXPECT_FALSE(key_is_down(code)) << code;
    EXPECT_EQ(key_down_count(code), 0) << code;
    EXPECT_EQ(key_down_fraction(code), 0.0) << code;
  }
  key_close();
  EXPECT_EQ(key_to_ascii(30), 255);
  EXPECT_EQ(key_down_count(30), 0);
}

TEST_F(KeyTest, AsciiTable) {
  struct Case {
    int code, ch;
  };
  const Case cases[] = {
      {2, '1'},     {2 | KEY_SHIFTED, '!'},  {13, '='},  {13 | KEY_SHIFTED, '+'},
      {16, 'q'},    {27 | KEY_SHIFTED, '}'}, {40, '\''}, {40 | KEY_SHIFTED, '"'},
      {41, '`'},    {41 | KEY_SHIFTED, '~'}, {43, '\\'}, {43 | KEY_SHIFTED, '|'},
      {53, '/'},    {53 | KEY_SHIFTED, '?'}, {55, '*'},  {55 | KEY_SHIFTED, 255},
      {57, ' '},    {57 | KEY_SHIFTED, ' '}, {1, 255},   {28, 255},
      {127, 255},   {KEY_UP, 255},           {30 | KEY_CTRLED, 'a'},
  };
  for (const Case& c : cases) EXPECT_EQ(key_to_ascii(c.code), c.ch) << std::hex << c.code;
}

TEST_F(KeyTest, DownFractionIsTheShareOfTheInterval) {
  key_down_fraction(17);  // start sampling
  advance_ms(20);
  down(17);
  advance_ms(20);
  EXPECT_NEAR(key_down_fraction(17), 0.5, 1e-9);  // pressed halfway through
  advance_ms(20);
  EXPECT_NEAR(key_down_fraction(17), 1.0, 1e-9);  // held the whole interval
  advance_ms(5);
  up(17);
  advance_ms(15);
  EXPECT_NEAR(key_down_fraction(17), 0.25, 1e-9);  // released after a quarter
  advance_ms(20);
  EXPECT_NEAR(key_down_fraction(17), 0.0, 1e-9);
  down(17);
  EXPECT_NEAR(key_down_fraction(17), 1.0, 1e-9);  // no time passed, held
}
