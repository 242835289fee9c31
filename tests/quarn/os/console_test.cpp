#include "quarn/os/console.h"

#include <gtest/gtest.h>
#include <strings.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "quarn/vfile/vfile.h"
#include "tests/support/test_files.h"

namespace {

std::string Out;
void capture(const char* text) { Out += text; }

// Captures console output for the test's lifetime.
struct Capture {
  Capture() {
    Out.clear();
    console_set_output_hook(capture);
  }
  ~Capture() { console_set_output_hook(nullptr); }
};

// What the probe commands saw.
struct Seen {
  int calls = 0;
  int run = -1, status = -1, help = -1;
  bool finished = false;
  ConsoleArg arg{};
};
Seen Probe;
uint32_t Probe_mask = 0xffffffffu;

void probe_handler() {
  Probe.calls++;
  Probe.run = Console_run;
  Probe.status = Console_status;
  Probe.help = Console_help;
  Probe.finished = false;
  if (Console_run) {
    console_get_arg(Probe_mask);
    Probe.arg = Console_arg;
  }
  Probe.finished = true;
}

void noop_handler() {}

ConsoleCommand Cc_probe("test_probe", "Reads one argument", probe_handler);
// Same name in other case: must not be registered.
ConsoleCommand Cc_probe_dup("TEST_PROBE", "duplicate", noop_handler);
ConsoleCommand Cc_quiet("Test_Quiet", nullptr, noop_handler);

bool Grid = false;
int Int_flag = 0;
float Speed = 1.0f;
CONSOLE_BOOL_VARIABLE(Cc_grid, "test_grid", "Toggles the test grid", Grid);
CONSOLE_BOOL_VARIABLE(Cc_int_flag, "test_int_flag", "Toggles an int flag", Int_flag);
CONSOLE_FLOAT_VARIABLE(Cc_speed, "test_speed", "Sets the test speed", Speed);

Seen run_probe(const char* line, uint32_t mask = 0xffffffffu, int* result = nullptr) {
  Probe = Seen{};
  Probe_mask = mask;
  int r = console_execute(line);
  if (result) *result = r;
  return Probe;
}

}  // namespace

TEST(Console, TableIsSortedWithoutRegardToCaseAndFirstNameWins) {
  console_init();
  int n = console_command_count();
  ASSERT_GE(n, 7);
  for (int i = 1; i < n; i++) {
    EXPECT_LT(strcasecmp(console_command_at(i - 1)->name, console_command_at(i)->name), 0)
        << console_command_at(i - 1)->name << " / " << console_command_at(i)->name;
  }
  EXPECT_EQ(console_find_command("TEST_probe"), &Cc_probe);
  EXPECT_EQ(Cc_probe_dup.name, nullptr);
  EXPECT_EQ(Cc_probe_dup.handler, nullptr);
  EXPECT_NE(console_find_command("print_to_file"), nullptr);
  EXPECT_NE(console_find_command("script"), nullptr);
  EXPECT_NE(console_find_command("sysinfo"), nullptr);
}

TEST(Console, ModesAndKeywords) {
  Capture cap;
  struct Case {
    const char* line;
    int run, status, help;
  } cases[] = {
      {"test_probe 5", 1, 1, 0},  {"TEST_PROBE 5", 1, 1, 0},  {"? test_probe", 0, 1, 0},
      {"help test_probe", 0, 0, 1}, {"man test_probe", 0, 0, 1}, {"test_probe ?", 0, 0, 1},
      {"debug test_probe 5", 1, 1, 0},
  };
  for (const Case& c : cases) {
    int r;
    Seen s = run_probe(c.line, 0xffffffffu, &r);
    EXPECT_EQ(r, 0) << c.line;
    EXPECT_EQ(s.calls, 1) << c.line;
    EXPECT_EQ(s.run, c.run) << c.line;
    EXPECT_EQ(s.status, c.status) << c.line;
    EXPECT_EQ(s.help, c.help) << c.line;
  }
  // Flags are cleared again once the line is done.
  EXPECT_EQ(Console_run + Console_status + Console_help, 0);

  struct Fail {
    const char* line;
    int result;
    const char* output;
  } fails[] = {
      {"debug", -1, "Command line:\nInvalid keyword ''\n"},
      {"no_such_command 1", -1, "Unknown command 'no_such_command'\n"},
      {"42", -1, "Invalid keyword '42'\n"},
      {"?", 0, ""},
      {"help", 0, ""},
  };
  for (const Fail& f : fails) {
    Out.clear();
    EXPECT_EQ(console_execute(f.line), f.result) << f.line;
    EXPECT_EQ(Out, f.output) << f.line;
  }
  Out.clear();
  run_probe("debug test_probe 7");
  EXPECT_NE(Out.find("Searching for command 'test_probe'\n"), std::string::npos);
  EXPECT_NE(Out.find("Calling function 'test_probe'\n"), std::string::npos);
  EXPECT_NE(Out.find("next arg is '7', was originally '7'\n"), std::string::npos);
}

TEST(Console, LineLength) {
  Capture cap;
  std::string ok = "test_probe " + std::string(254 - 11, 'a');
  EXPECT_EQ(run_probe(ok.c_str()).calls, 1);
  std::string too_long = ok + "a";
  int r;
  EXPECT_EQ(run_probe(too_long.c_str(), 0xffffffffu, &r).calls, 0);
  EXPECT_EQ(r, -1);
  EXPECT_EQ(console_execute(""), -1);
  EXPECT_EQ(Out, "");  // rejected silently
}

TEST(Console, ArgumentTypes) {
  Capture cap;
  struct Case {
    const char* arg;
    uint32_t type;
    int int_value;
    float float_value;
    const char* text;
  } cases[] = {
      {"90", 0x02 | 0x08 | 0x10 | 0x40, 90, 90.0f, "90"},
      {"0", 0x02 | 0x08 | 0x10 | 0x80, 0, 0.0f, "0"},
      {"-3", 0x02 | 0x08 | 0x10 | 0x40, -3, -3.0f, "-3"},
      {"0x1F", 0x02 | 0x08 | 0x20 | 0x40, 31, 0.0f, "0x1f"},
      {"1.5", 0x02 | 0x10, 0, 1.5f, "1.5"},
      {"0x1G", 0x02, 0, 0.0f, "0x1g"},
      {"On", 0x02 | 0x40, 0, 0.0f, "on"},
      {"TRUE", 0x02 | 0x40, 0, 0.0f, "true"},
      {"off", 0x02 | 0x80, 0, 0.0f, "off"},
      {"False", 0x02 | 0x80, 0, 0.0f, "false"},
      {",", 0x02 | 0x400, 0, 0.0f, ","},
      {"\"Two Words\"", 0x02, 0, 0.0f, "two words"},
      {"\"12\"", 0x02 | 0x08 | 0x10 | 0x40, 12, 12.0f, "12"},
      {"Level\\Dir:x", 0x02, 0, 0.0f, "level\\dir:x"},
      {"", 0x01, 0, 0.0f, ""},
  };
  for (const Case& c : cases) {
    std::string line = std::string("test_probe ") + c.arg;
    Seen s = run_probe(line.c_str());
    ASSERT_TRUE(s.finished) << c.arg;
    EXPECT_EQ(s.arg.type, c.type) << c.arg;
    if (c.type & 0x08) {
      EXPECT_EQ(s.arg.int_value, c.int_value) << c.arg;
    }
    if (c.type & 0x10) {
      EXPECT_FLOAT_EQ(s.arg.float_value, c.float_value) << c.arg;
    }
    EXPECT_STREQ(s.arg.text, c.text) << c.arg;
    EXPECT_EQ(s.arg.bool_value, (c.type & 0x40) != 0) << c.arg;
  }
  Seen s = run_probe("test_probe \"Two Words\"");
  EXPECT_STREQ(s.arg.original, "\"Two Words\"");
  // "+" and "-" are made of number characters and keywords at once.
  EXPECT_TRUE(run_probe("test_probe +").arg.type & 0x100);
  EXPECT_TRUE(run_probe("test_probe -").arg.type & 0x200);
}

TEST(Console, WrongTypesAbandonTheCommand) {
  Capture cap;
  struct Case {
    const char* line;
    uint32_t mask;
    int result;
    const char* output;
  } cases[] = {
      {"test_probe abc", ARG_INT, -1, "Error: 'abc' invalid type\n"},
      {"test_probe 1.5", ARG_INT, -1, "Error: '1.5' invalid type\n"},
      {"test_probe", ARG_INT, -1, "Error: Not enough parameters.\n"},
      {"test_probe", ARG_INT | ARG_NONE, 0, ""},
      {"test_probe 7", ARG_INT, 0, ""},
      {"test_probe \"A B\"", ARG_INT, -1, "Error: 'a b' invalid type\n"},
  };
  for (const Case& c : cases) {
    Out.clear();
    int r;
    Seen s = run_probe(c.line, c.mask, &r);
    EXPECT_EQ(r, c.result) << c.line;
    EXPECT_EQ(s.finished, c.result == 0) << c.line;
    EXPECT_EQ(Out, c.output) << c.line;
  }
}

TEST(Console, UnusedTailIsReportedInRunModeOnly) {
  Capture cap;
  run_probe("test_probe 1 2 three");
  EXPECT_EQ(Out, "Ignoring the unused command line tail '2 three'\n");
  Out.clear();
  run_probe("? test_probe 1 2");
  EXPECT_EQ(Out, "");
  Out.clear();
  console_execute("test_quiet extra");
  EXPECT_EQ(Out, "Ignoring the unused command line tail 'extra '\n");
}

TEST(Console, BoolVariables) {
  Capture cap;
  Grid = false;
  struct Step {
    const char* line;
    bool value;
    const char* output;
  } steps[] = {
      {"test_grid", true, "Grid is TRUE\n"},          // toggles
      {"test_grid", false, "Grid is FALSE\n"},
      {"test_grid on", true, "Grid is TRUE\n"},
      {"test_grid true", true, "Grid is TRUE\n"},
      {"test_grid 0", false, "Grid is FALSE\n"},
      {"test_grid 5", true, "Grid is TRUE\n"},
      {"test_grid off", false, "Grid is FALSE\n"},
      {"? test_grid", false, "Grid is FALSE\n"},
      {"test_grid maybe", false, "Error: 'maybe' invalid type\n"},
      {"help test_grid", false,
       "Usage: test_grid [bool]\nSets Grid to true or false. If nothing passed, then toggles it\n"},
  };
  for (const Step& s : steps) {
    Out.clear();
    console_execute(s.line);
    EXPECT_EQ(Grid, s.value) << s.line;
    EXPECT_EQ(Out, s.output) << s.line;
  }
  Int_flag = 0;
  console_execute("test_int_flag");
  EXPECT_EQ(Int_flag, 1);
  console_execute("test_int_flag off");
  EXPECT_EQ(Int_flag, 0);
}

TEST(Console, FloatVariables) {
  Capture cap;
  Speed = 1.0f;
  struct Step {
    const char* line;
    float value;
    const char* output;
  } steps[] = {
      {"test_speed 2.5", 2.5f, "Speed is 2.500000\n"},
      {"test_speed -1", -1.0f, "Speed is -1.000000\n"},
      {"test_speed 0x10", 16.0f, "Speed is 16.000000\n"},
      {"? test_speed", 16.0f, "Speed is 16.000000\n"},
      {"test_speed", 16.0f, "Error: Not enough parameters.\n"},
      {"test_speed fast", 16.0f, "Error: 'fast' invalid type\n"},
      {"help test_speed", 16.0f, "Usage: test_speed [float]\nSets Speed to the specified value.\n"},
  };
  for (const Step& s : steps) {
    Out.clear();
    console_execute(s.line);
    EXPECT_FLOAT_EQ(Speed, s.value) << s.line;
    EXPECT_EQ(Out, s.output) << s.line;
  }
}

namespace {

namespace fs = std::filesystem;

// An installation root whose own name holds a dot, as a script path must be
// cut at the dot of the file name only.
struct ScriptRoot {
  fs::path dir;
  ScriptRoot() : dir(fresh_temp_dir("console.test")) { vfile_set_root(dir.c_str(), false); }
  ~ScriptRoot() {
    vfile_shutdown();
    fs::remove_all(dir);
  }
  void write(const std::string& name, const std::string& text) {
    std::ofstream(dir / name, std::ios::binary) << text;
  }
  std::string path(const std::string& name) const { return (dir / name).string(); }
};

}  // namespace

TEST(ConsoleScript, RunsLinesSkipsCommentsAndCountsLines) {
  ScriptRoot root;
  Capture cap;
  Grid = false;
  Speed = 0.0f;
  root.write("Setup.vcs",
             "// a comment line\r\n"
             "  test_grid on  \r\n"
             "\r\n"
             "/* a block\r\n"
             "test_grid off\r\n"
             "*/\r\n"
             "no_such_thing\r\n"
             "\ttest_speed 4\r\n");
  Out.clear();
  // Typed in another case and with another extension: the name keeps its
  // case, the extension becomes .vcs, and the root's dot is left alone.
  console_execute("script setup.txt");
  EXPECT_TRUE(Grid);
  EXPECT_FLOAT_EQ(Speed, 4.0f);
  std::string expect_path = root.dir.string() + "/setup.vcs";
  EXPECT_NE(Out.find("Executing script file '"), std::string::npos) << Out;
  EXPECT_NE(Out.find("Unknown command 'no_such_thing'\nError processing script line 3: 'no_such_thing'\n"),
            std::string::npos)
      << Out;

  // Bare LF files run just the same.
  root.write("lf.vcs", "test_grid off\ntest_speed 9\n");
  console_execute("script lf");
  EXPECT_FALSE(Grid);
  EXPECT_FLOAT_EQ(Speed, 9.0f);

  Out.clear();
  console_execute("script missing");
  EXPECT_NE(Out.find("Couldn't find a script file '"), std::string::npos) << Out;
  EXPECT_NE(Out.find("missing.vcs'\n"), std::string::npos) << Out;

  Out.clear();
  EXPECT_EQ(console_execute("script"), -1);
  EXPECT_EQ(Out, "Error: Not enough parameters.\n");
  Out.clear();
  console_execute("script \"\"");
  EXPECT_EQ(Out, "Usage: script <scriptfilename>\n");
  Out.clear();
  console_execute("help script");
  EXPECT_EQ(Out, "Usage: script <scriptfilename>\n");
}

TEST(ConsoleScript, CommentsAndLongLinesHideNoCommands) {
  ScriptRoot root;
  Capture cap;
  // A block comment closed on its own line ends there; the tail of a comment
  // line longer than a read piece is still comment; a command line longer
  // than the console takes fails whole, and its tail does not run.
  std::string long_comment = "// " + std::string(300, 'c') + " test_grid off";
  std::string long_command = "test_speed 5" + std::string(300, ' ') + "test_int_flag off";
  root.write("lines.vcs", "/* one-line block */\r\n"
                          "test_grid on\r\n" +
                              long_comment + "\r\n" + long_command + "\r\n" +
                              std::string(256, ' ') + "\r\n"
                              "test_speed 2\r\n");
  Grid = false;
  Speed = 0.0f;
  Int_flag = 1;
  Out.clear();
  console_execute("script lines");
  EXPECT_TRUE(Grid) << Out;
  EXPECT_EQ(Int_flag, 1) << Out;
  EXPECT_FLOAT_EQ(Speed, 2.0f) << Out;
  EXPECT_NE(Out.find("Error processing script line 2: 'test_speed 5 "), std::string::npos) << Out;
  EXPECT_EQ(Out.find("line 4"), std::string::npos) << Out;
}

TEST(ConsoleScript, NestingIsBoundedAndNeverFatal) {
  ScriptRoot root;
  Capture cap;
  // A script that runs itself, and runs more lines after that.
  root.write("self.vcs", "test_speed 1\nscript self\ntest_int_flag on\n");
  Int_flag = 0;
  console_execute("script self");
  EXPECT_EQ(Int_flag, 1);
  EXPECT_NE(Out.find("Scripts nested too deep"), std::string::npos) << Out;

  // One level of nesting works, and the outer script goes on afterwards.
  root.write("outer.vcs", "script inner\ntest_grid on\n");
  root.write("inner.vcs", "test_speed 7\n");
  Grid = false;
  Out.clear();
  console_execute("script outer");
  EXPECT_FLOAT_EQ(Speed, 7.0f);
  EXPECT_TRUE(Grid);
  EXPECT_EQ(Out.find("nested too deep"), std::string::npos) << Out;
}

TEST(ConsoleScript, AutoexecAndLog) {
  ScriptRoot root;
  Capture cap;
  root.write("auto.vcs", "test_speed 3\n? test_grid\n");
  std::string log = root.path("console.log");
  console_set_log(log.c_str());
  Speed = 0.0f;
  Grid = true;
  setenv("ORRIMUND_AUTOEXEC", root.path("auto.vcs").c_str(), 1);
  console_run_autoexec();
  unsetenv("ORRIMUND_AUTOEXEC");
  console_set_log(nullptr);
  EXPECT_FLOAT_EQ(Speed, 3.0f);
  std::string text = read_file(log);
  EXPECT_NE(text.find("Speed is 3.000000\nGrid is TRUE\n"), std::string::npos) << text;
  // Without the variable nothing runs.
  Speed = 0.0f;
  console_run_autoexec();
  EXPECT_FLOAT_EQ(Speed, 0.0f);
}

TEST(ConsoleScript, PrintToFileListsEveryCommand) {
  ScriptRoot root;
  Capture cap;
  ASSERT_EQ(console_execute("print_to_file"), 0);
  std::string text = read_file(root.path("console_commands.txt"));
  std::vector<std::string> lines;
  std::string expect;
  for (int i = 0; i < console_command_count(); i++) {
    const ConsoleCommand* c = console_command_at(i);
    expect += c->name;
    if (c->help) expect += std::string(" - ") + c->help;
    expect += "\r\n";
  }
  EXPECT_EQ(text, expect);
  EXPECT_NE(text.find("test_probe - Reads one argument\r\n"), std::string::npos);
  EXPECT_NE(text.find("\r\nTest_Quiet\r\n"), std::string::npos);
  Out.clear();
  console_execute("help print_to_file");
  EXPECT_EQ(Out, "Print out console commands to the text file console.txt\n");
}

// Fills the table; keep it last in this file.
TEST(Console, TableHoldsAtMostThreeHundred) {
  int before = console_command_count();
  std::vector<ConsoleCommand*> extra;
  static std::vector<std::string> names;
  names.reserve(MAX_CONSOLE_COMMANDS + 1);
  for (int i = before; i <= MAX_CONSOLE_COMMANDS; i++) {
    names.push_back("zz_fill_" + std::to_string(1000 + i));
    // Registered objects must live as long as the table.
    extra.push_back(new ConsoleCommand(names.back().c_str(), nullptr, noop_handler));
  }
  EXPECT_EQ(console_command_count(), MAX_CONSOLE_COMMANDS);
  EXPECT_NE(extra[extra.size() - 2]->name, nullptr);
  EXPECT_EQ(extra.back()->name, nullptr);  // the 301st
  EXPECT_EQ(console_find_command(names.back().c_str()), nullptr);
  delete extra.back();  // not in the table, so it may go
}
