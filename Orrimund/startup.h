#pragma once
// The shell's own start-up decisions: the command line, the registry values
// the game keeps, the screen size, the renderer and the sound card. main.cpp
// calls these in its fixed order; each reads what earlier steps set up.
#include <cstdint>

constexpr const char* GAME_COMPANY_NAME = "Quorvane";
constexpr const char* GAME_APPLICATION_NAME = "Orrimund Demo";
constexpr int DEFAULT_UDP_PORT = 10234;

struct Resolution {
  int width, height;
};
constexpr int NUM_RESOLUTIONS = 3;
// The screen sizes the game offers; the front end picks its layouts by row.
extern const Resolution Resolutions[NUM_RESOLUTIONS];
// The row in use (0 at load); a registry pair that is none of the rows
// leaves it as it was.
extern int ResolutionIndex;

// What the command line asked for, recorded by read_command_line.
extern int Udp_port;
extern bool Cmdline_directsound3d;
extern bool Cmdline_eax;
extern bool Cmdline_pack;

// Parses the command line (unknown switches are ignored) and records the
// port and the sound switches.
void read_command_line();
// "Version"/"Major" 1, "Minor" 1, "Build" 0.
void registry_write_version();
// "Resolution Width"/"Resolution Height" (640 by 480), then -800 or -1024.
void read_resolution();
int screen_width();
int screen_height();

// The renderer number (GR_*) and window mode from the registry's card
// choice and the switches. A renderer that this build cannot start falls
// back to OpenGL in a window, with a line saying so.
int choose_renderer(int* window_mode);

// How the sound layer is to start.
struct SoundCardChoice {
  bool three_d;  // -directsound3d only
  bool eax;      // -eax, or "Soundcard" = "EAX"
  bool silent;   // "Soundcard" = "No Sound", or -nosound
  bool dsinit;   // -dsinit: the plain device instead of the EAX creation
};
// Reads "Soundcard" unless -directsound3d or -eax was given.
SoundCardChoice choose_sound_card();

// "InstallPath" := the installation root.
void registry_write_install_path();
