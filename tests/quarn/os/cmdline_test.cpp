#include "quarn/os/cmdline.h"

#include <gtest/gtest.h>

#include <string>

#include "quarn/os/registry.h"
#include "tests/support/critical_error_trap.h"
#include "tests/support/temp_registry.h"

namespace {

CommandLineOption Opt_port("-port", "", true);
CommandLineOption Opt_window("-window", "", false);
CommandLineOption Opt_opengl("-opengl", "", false);
CommandLineOption Opt_name("-name", "", true);
CommandLineOption Opt_scale("-scale", "", true);

struct CommandLine : ::testing::Test {
  TempRegistryFile registry{"cmdline"};
  void SetUp() override { os_reg_set_root("Quorvane", "Orrimund Demo"); }
  void TearDown() override {
    cmdline_set_text(nullptr);
    cmdline_reset();
  }
  void parse(const char* text, bool check = false) {
    cmdline_set_text(text);
    cmdline_parse(check);
  }
};

}  // namespace

TEST_F(CommandLine, SwitchesAndArguments) {
  parse("orrimund.exe -PORT 5000 -Window -scale 1.5");
  EXPECT_TRUE(Opt_port.found());
  EXPECT_EQ(Opt_port.int_value(), 5000);
  EXPECT_EQ(Opt_port.get_int(), 5000);
  EXPECT_STREQ(Opt_port.text(), "5000");
  EXPECT_TRUE(Opt_window.found());
  EXPECT_EQ(Opt_window.text(), nullptr);
  EXPECT_FLOAT_EQ(Opt_scale.float_value(), 1.5f);
  EXPECT_FALSE(Opt_opengl.found());
  EXPECT_EQ(Opt_opengl.int_value(), 0);

  // An option followed by another takes no argument.
  parse("game -port -window");
  EXPECT_TRUE(Opt_port.found());
  EXPECT_EQ(Opt_port.text(), nullptr);
  EXPECT_EQ(Opt_port.int_value(), 0);
  EXPECT_TRUE(Opt_window.found());

  // The later argument wins; a non-number reads as 0; the program path
  // itself is never an option.
  parse("-window -port 1 -port 2 -scale abc");
  EXPECT_FALSE(Opt_window.found());
  EXPECT_EQ(Opt_port.int_value(), 2);
  EXPECT_EQ(Opt_scale.int_value(), 0);
}

TEST_F(CommandLine, QuotedRunsJoinIntoOneToken) {
  parse("\"C:\\Program Files\\orrimund.exe\" -name \"Ruvizo  the Brave\" -window");
  ASSERT_EQ(cmdline_token_count(), 3);
  EXPECT_STREQ(cmdline_token(0), "-name");
  EXPECT_STREQ(cmdline_token(1), "\"Ruvizo the Brave\"");
  EXPECT_STREQ(Opt_name.text(), "\"Ruvizo the Brave\"");
  EXPECT_TRUE(Opt_window.found());
  // A token with two quotes is a run of its own.
  parse("game -name \"one\" -window");
  EXPECT_STREQ(Opt_name.text(), "\"one\"");
  EXPECT_TRUE(Opt_window.found());
}

TEST_F(CommandLine, RegistryAddsOptions) {
  parse("game");
  EXPECT_FALSE(Opt_opengl.found());
  os_reg_write_string(nullptr, "CmdLineOptions", "-opengl -port 6001");
  parse("game -window");
  EXPECT_TRUE(Opt_opengl.found());
  EXPECT_TRUE(Opt_window.found());
  EXPECT_EQ(Opt_port.int_value(), 6001);
}

TEST_F(CommandLine, LimitsAreKept) {
  // Tokens beyond fifty are ignored.
  std::string text = "game";
  for (int i = 0; i < 60; i++) text += " t" + std::to_string(i);
  text += " -window";
  parse(text.c_str());
  EXPECT_EQ(cmdline_token_count(), MAX_CMDLINE_TOKENS);
  EXPECT_FALSE(Opt_window.found());
  // The joined text stops at 1023 characters.
  std::string long_text = "game " + std::string(1100, 'x') + " -window";
  parse(long_text.c_str());
  EXPECT_FALSE(Opt_window.found());
}

TEST_F(CommandLine, UnknownSwitches) {
  // Start-up does not check: the switch is ignored.
  parse("game -bogus -window");
  EXPECT_TRUE(Opt_window.found());
  // With the check it is fatal; plain words and arguments are accepted.
  CriticalErrorTrap trap;
  try {
    parse("game -port -bogus word -Bogus2", true);
    parse("game word -Bogus2", true);
    ADD_FAILURE() << "no fatal error";
  } catch (const CriticalErrorThrown& e) {
    EXPECT_EQ(e.text, "Unrecognized command line parameter -Bogus2");
  }
}

TEST_F(CommandLine, ResetFreesOnceAndOptionsCanGo) {
  parse("game -port 77");
  cmdline_reset();
  EXPECT_FALSE(Opt_port.found());
  EXPECT_EQ(Opt_port.text(), nullptr);
  EXPECT_EQ(cmdline_token_count(), 0);
  {
    // An option that goes away before the exit routine runs leaves the list
    // sound, whether or not it held an argument.
    CommandLineOption local("-local", "", true);
    parse("game -local here");
    EXPECT_STREQ(local.text(), "here");
  }
  parse("game -local there -port 1");
  EXPECT_EQ(Opt_port.int_value(), 1);
  cmdline_reset();
  cmdline_reset();
}

TEST_F(CommandLine, ProcessCommandLineIsRebuilt) {
  cmdline_set_text(nullptr);
  std::string text = cmdline_get_text();
  EXPECT_NE(text.find("test_quarn_os"), std::string::npos) << text;
}
