#include "Orrimund/startup.h"

#include <strings.h>

#include <cstdio>
#include <cstring>

#include "quarn/gr/gr.h"
#include "quarn/os/cmdline.h"
#include "quarn/os/registry.h"
#include "quarn/vfile/vfile.h"

const Resolution Resolutions[NUM_RESOLUTIONS] = {{640, 480}, {800, 600}, {1024, 768}};
int ResolutionIndex = 0;

int Udp_port = DEFAULT_UDP_PORT;
bool Cmdline_directsound3d = false;
bool Cmdline_eax = false;
bool Cmdline_pack = false;

namespace {
// The shell's switches carry no help text.
CommandLineOption Opt_port("-port", "", true);
CommandLineOption Opt_directsound3d("-directsound3d", "", false);
CommandLineOption Opt_eax("-eax", "", false);
CommandLineOption Opt_dsinit("-dsinit", "", false);
CommandLineOption Opt_pack("-pack", "", false);
CommandLineOption Opt_glide("-glide", "", false);  // Glide is the default anyway
CommandLineOption Opt_direct3d("-direct3d", "", false);
CommandLineOption Opt_opengl("-opengl", "", false);
CommandLineOption Opt_window("-window", "", false);
CommandLineOption Opt_800("-800", "", false);
CommandLineOption Opt_1024("-1024", "", false);
CommandLineOption Opt_nosound("-nosound", "", false);
// Read by the Direct3D renderer; registered here so the shell knows them.
CommandLineOption Opt_vertexfog("-vertexfog", "", false);
CommandLineOption Opt_fb2("-fb2", "", false);

bool contains(const char* text, const char* word) { return std::strstr(text, word) != nullptr; }
}  // namespace

void read_command_line() {
  cmdline_parse(false);
  Udp_port = Opt_port.found() ? Opt_port.int_value() : DEFAULT_UDP_PORT;
  Cmdline_directsound3d = Opt_directsound3d.found();
  Cmdline_eax = Opt_eax.found();
  Cmdline_pack = Opt_pack.found();
}

void registry_write_version() {
  os_reg_write_int("Version", "Major", 1);
  os_reg_write_int("Version", "Minor", 1);
  os_reg_write_int("Version", "Build", 0);
}

void read_resolution() {
  int w = 640, h = 480;
  os_reg_read_int(nullptr, "Resolution Width", &w, 640);
  os_reg_read_int(nullptr, "Resolution Height", &h, 480);
  if (Opt_800.found()) w = 800, h = 600;
  else if (Opt_1024.found()) w = 1024, h = 768;
  for (int i = 0; i < NUM_RESOLUTIONS; i++)
    if (Resolutions[i].width == w && Resolutions[i].height == h) ResolutionIndex = i;
}

int screen_width() { return Resolutions[ResolutionIndex].width; }
int screen_height() { return Resolutions[ResolutionIndex].height; }

int choose_renderer(int* window_mode) {
  int renderer = GR_GLIDE;
  int card = -1;
  os_reg_read_int(nullptr, "Selected Video Card", &card, -1);
  if (card != -1) {
    char name[32], text[256];
    std::snprintf(name, sizeof name, "Video Card %d", card);
    os_reg_read_string_default(nullptr, name, text, sizeof text, "None");
    if (std::strcmp(text, "None") != 0) {
      if (contains(text, "3DFX")) renderer = GR_GLIDE;
      else if (contains(text, "Direct 3D")) renderer = GR_DIRECT3D;
    }
  }
  *window_mode = Opt_window.found() ? GR_WINDOWED : GR_FULLSCREEN;
  if (Opt_direct3d.found()) renderer = GR_DIRECT3D;
  if (Opt_opengl.found()) renderer = GR_OPENGL;
  // Glide draws in full screen only; -window is a documented switch, so it
  // chooses OpenGL rather than ending the game.
  if (renderer == GR_GLIDE && *window_mode == GR_WINDOWED) {
    std::printf("Glide can only be used in fullscreen mode: drawing with OpenGL in a window\n");
    renderer = GR_OPENGL;
  }
  if (renderer != GR_OPENGL && !gr_renderer_available(renderer)) {
    std::printf("%s is not available: drawing with OpenGL in a window\n",
                renderer == GR_DIRECT3D ? "Direct3D" : "Glide");
    renderer = GR_OPENGL;
  }
  if (renderer == GR_OPENGL) *window_mode = GR_WINDOWED;  // it runs in a window only
  return renderer;
}

SoundCardChoice choose_sound_card() {
  SoundCardChoice c{};
  c.three_d = Cmdline_directsound3d;
  c.eax = Cmdline_eax;
  c.dsinit = Opt_dsinit.found();
  c.silent = Opt_nosound.found();
  if (!Cmdline_directsound3d && !Cmdline_eax) {
    char text[256];
    os_reg_read_string_default(nullptr, "Soundcard", text, sizeof text, "DirectSound");
    if (strcasecmp(text, "EAX") == 0) c.eax = true;
    else if (strcasecmp(text, "No Sound") == 0) c.silent = true;
  }
  return c;
}

void registry_write_install_path() { os_reg_write_string(nullptr, "InstallPath", vfile_root()); }
