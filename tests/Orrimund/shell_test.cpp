// The shell's start-up choices from the registry and the command line, the
// game-wide switches and the screenshot numbering.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "Orrimund/fs_paths.h"
#include "Orrimund/gamewide.h"
#include "Orrimund/startup.h"
#include "quarn/gr/gr.h"
#include "quarn/os/cmdline.h"
#include "quarn/os/console.h"
#include "quarn/os/registry.h"
#include "quarn/vfile/vfile.h"
#include "tests/support/temp_registry.h"
#include "tests/support/test_files.h"

namespace {
struct StartupChoices : ::testing::Test {
  TempRegistryFile registry{"shell_startup"};
  void SetUp() override {
    os_reg_set_root(GAME_COMPANY_NAME, GAME_APPLICATION_NAME);
    ResolutionIndex = 0;
  }
  void TearDown() override {
    cmdline_set_text(nullptr);
    cmdline_reset();
    ResolutionIndex = 0;
  }
  void command_line(const char* text) {
    cmdline_reset();
    cmdline_set_text(text);
    read_command_line();
  }
};

std::string g_console;
void capture(const char* text) { g_console += text; }
}  // namespace

TEST_F(StartupChoices, CommandLineRecordsPortAndSoundSwitches) {
  command_line("orrimund -unknown -pack");
  EXPECT_EQ(Udp_port, DEFAULT_UDP_PORT);  // unknown switches are ignored
  EXPECT_TRUE(Cmdline_pack);
  EXPECT_FALSE(Cmdline_eax);
  command_line("orrimund -port 4000 -eax -directsound3d");
  EXPECT_EQ(Udp_port, 4000);
  EXPECT_TRUE(Cmdline_eax);
  EXPECT_TRUE(Cmdline_directsound3d);
}

TEST_F(StartupChoices, VersionAndInstallPathAreWritten) {
  registry_write_version();
  int major = 0, minor = 0, build = -1;
  os_reg_read_int("Version", "Major", &major, 0);
  os_reg_read_int("Version", "Minor", &minor, 0);
  os_reg_read_int("Version", "Build", &build, -1);
  EXPECT_EQ(major, 1);
  EXPECT_EQ(minor, 1);
  EXPECT_EQ(build, 0);
}

TEST_F(StartupChoices, ResolutionFromRegistryAndSwitches) {
  struct Case {
    int w, h;
    const char* args;
    int index;
  } cases[] = {
      {0, 0, "orrimund", 0},                 // nothing in the registry
      {800, 600, "orrimund", 1},
      {1280, 1024, "orrimund", 0},           // not a row: stays at 640 by 480
      {640, 480, "orrimund -800", 1},
      {640, 480, "orrimund -1024", 2},
      {1024, 768, "orrimund -800 -1024", 1}, // -800 wins
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.args) + " " + std::to_string(c.w));
    ResolutionIndex = 0;
    if (c.w) {
      os_reg_write_int(nullptr, "Resolution Width", c.w);
      os_reg_write_int(nullptr, "Resolution Height", c.h);
    }
    command_line(c.args);
    read_resolution();
    EXPECT_EQ(ResolutionIndex, c.index);
    EXPECT_EQ(screen_width(), Resolutions[c.index].width);
  }
}

TEST_F(StartupChoices, SoundCardChoice) {
  struct Case {
    const char* soundcard;  // null: no value
    const char* args;
    bool three_d, eax, silent, dsinit;
  } cases[] = {
      {nullptr, "orrimund", false, false, false, false},
      {"DirectSound", "orrimund", false, false, false, false},
      {"eax", "orrimund", false, true, false, false},          // any case
      {"No Sound", "orrimund", false, false, true, false},
      {"no sound", "orrimund -dsinit", false, false, true, true},
      {"Something Else", "orrimund", false, false, false, false},
      {"No Sound", "orrimund -eax", false, true, false, false},  // the switch skips the registry
      {"EAX", "orrimund -directsound3d", true, false, false, false},
      {nullptr, "orrimund -nosound", false, false, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.soundcard ? c.soundcard : "(none)") + " " + c.args);
    os_reg_write_string(nullptr, "Soundcard", c.soundcard ? c.soundcard : "DirectSound");
    command_line(c.args);
    const SoundCardChoice s = choose_sound_card();
    EXPECT_EQ(s.three_d, c.three_d);
    EXPECT_EQ(s.eax, c.eax);
    EXPECT_EQ(s.silent, c.silent);
    EXPECT_EQ(s.dsinit, c.dsinit);
  }
}

TEST_F(StartupChoices, RendererAndWindowMode) {
  // What this build can start decides the last step; the table checks the
  // choice that comes before it through what is printed and returned.
  struct Case {
    int card;  // -1: no selection
    const char* card_text;
    const char* args;
    int wanted;  // before the fall-back
    int mode;    // before the fall-back
  } cases[] = {
      {-1, nullptr, "orrimund", GR_GLIDE, GR_FULLSCREEN},
      {0, "None", "orrimund", GR_GLIDE, GR_FULLSCREEN},
      {0, "Direct 3D card", "orrimund -window", GR_DIRECT3D, GR_WINDOWED},
      {3, "3DFX Direct 3D", "orrimund", GR_GLIDE, GR_FULLSCREEN},   // 3DFX is looked for first
      {0, "None", "orrimund -direct3d", GR_DIRECT3D, GR_FULLSCREEN},
      {0, "None", "orrimund -direct3d -opengl", GR_OPENGL, GR_WINDOWED},
      // Glide draws in full screen only: -window goes on with OpenGL.
      {-1, nullptr, "orrimund -window", GR_OPENGL, GR_WINDOWED},
      {3, "3DFX Voodoo", "orrimund -window", GR_OPENGL, GR_WINDOWED},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.args) + " card " + std::to_string(c.card));
    os_reg_write_int(nullptr, "Selected Video Card", c.card);
    if (c.card_text) os_reg_write_string(nullptr, ("Video Card " + std::to_string(c.card)).c_str(), c.card_text);
    command_line(c.args);
    int mode = -1;
    const int renderer = choose_renderer(&mode);
    if (gr_renderer_available(c.wanted)) {
      EXPECT_EQ(renderer, c.wanted);
      EXPECT_EQ(mode, c.wanted == GR_OPENGL ? GR_WINDOWED : c.mode);
    } else {
      EXPECT_EQ(renderer, GR_OPENGL);  // runs in a window only
      EXPECT_EQ(mode, GR_WINDOWED);
    }
  }
}

TEST(GamewideSwitches, DefaultsAndConsoleCommands) {
  EXPECT_FALSE(Gamewide_show_framerate);
  EXPECT_TRUE(Gamewide_show_hud_info);
  EXPECT_TRUE(Gamewide_show_net_stats);
  EXPECT_FALSE(Print_screen_as_targa);
  console_set_output_hook(capture);
  g_console.clear();
  EXPECT_EQ(console_execute("show_framerate"), 0);  // toggles
  EXPECT_TRUE(Gamewide_show_framerate);
  EXPECT_EQ(console_execute("show_framerate false"), 0);
  EXPECT_FALSE(Gamewide_show_framerate);
  EXPECT_EQ(console_execute("give_all_items true"), 0);  // commands ignore case
  EXPECT_TRUE(Give_all_items);
  g_console.clear();
  // The status line names the command a player types; help names both.
  console_execute("? targa");
  EXPECT_EQ(g_console, "targa is FALSE\n");
  g_console.clear();
  console_execute("show_framerate");
  EXPECT_EQ(g_console, "show_framerate is TRUE\n");
  console_execute("show_framerate false");
  g_console.clear();
  console_execute("help show_framerate");
  EXPECT_NE(g_console.find("Sets Gamewide_show_framerate to true"), std::string::npos) << g_console;
  console_set_output_hook(nullptr);
  Give_all_items = false;
}

TEST(Screenshots, TheNextNumberIsOneAboveTheHighest) {
  vfile_shutdown();
  const std::filesystem::path root = fresh_temp_dir("screenshots");
  vfile_set_root(root.c_str(), false);
  fs_register_path_types();
  struct Case {
    std::vector<std::string> files;
    int jpeg, targa;
  } cases[] = {
      {{}, 0, 0},
      {{"screen000.jpg"}, 1, 0},
      // Directory order is not name order: the highest counts, never the
      // last listed, so screen007 is not written over.
      {{"screen007.jpg", "screen000.jpg", "screen003.jpg"}, 8, 0},
      {{"screen000.jpg", "screen001.tga"}, 1, 2},  // each format numbers its own
      {{"Screen012.JPG"}, 13, 0},                  // names match without case
      {{"screenshot.jpg", "screen-4.jpg", "screen5x.jpg", "screen2147483647.jpg", "other9.jpg"}, 0, 0},
      {{"screen1000.jpg"}, 1001, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.files.empty() ? std::string("(none)") : c.files[0]);
    for (const auto& e : std::filesystem::directory_iterator(root)) std::filesystem::remove_all(e.path());
    for (const auto& f : c.files) std::ofstream(root / f) << "x";
    EXPECT_EQ(screenshot_next_number(false), c.jpeg);
    EXPECT_EQ(screenshot_next_number(true), c.targa);
  }
  vfile_shutdown();
  std::filesystem::remove_all(root);
}

#include "quarn/gr/gr_recorder.h"

TEST(GamewideOverlays, RendererStatisticsAreResetEveryFrameTheyShow) {
  GrRecorder recorder;
  gr_set_recorder(&recorder);
  gr_init(640, 480, GR_RECORDER, GR_WINDOWED, 0, false);
  Gr_stats = GrStats{100, 10, 20, 30, 5, 25, 10};
  overlays_draw(1);  // switched off: the counters keep adding up
  EXPECT_EQ(Gr_stats.total, 100);
  Gamewide_show_gr_info = true;
  overlays_draw(1);
  EXPECT_EQ(Gr_stats.total, 0);
  EXPECT_EQ(Gr_stats.rotate, 0);
  EXPECT_EQ(Gr_stats.other, 0);
  overlays_draw(1);  // a frame that counted nothing shows nothing and divides by nothing
  EXPECT_EQ(Gr_stats.total, 0);
  Gamewide_show_gr_info = false;
  gr_close();
  gr_set_recorder(nullptr);
}
