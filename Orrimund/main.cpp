// Program entry of the game: the crash filter, start-up in its fixed order,
// the main loop and shutdown in two passes. Later steps rely on earlier ones
// (the file layer before any table, the graphics before fonts, every table
// before the title state), so the lists below keep the game's order. A line
// "(not built yet)" marks where a step of a subsystem still to come goes.
#include <signal.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "Engine/Objects/items.h"
#include "Engine/Objects/entity_model_ca.h"
#include "Engine/Objects/objects.h"
#include "Engine/ai/ai_core.h"
#include "Engine/ai/ai_driver.h"
#include "Engine/characterinfo/alt_textures.h"
#include "Engine/characterinfo/characterinfo.h"
#include "Engine/characterinfo/experience.h"
#include "Engine/characterinfo/skills.h"
#include "Engine/characterinfo/spells.h"
#include "Engine/gamesound/gamesnd.h"
#include "Engine/gamesound/sound.h"
#include "Engine/rendering/levelvis.h"
#include "quarn/vfile/preload.h"
#include "Orrimund/fs_paths.h"
#include "Orrimund/gameoptions.h"
#include "Orrimund/cutscene_services.h"
#include "Orrimund/dialogue_services.h"
#include "Orrimund/gameplay.h"
#include "Engine/Objects/game_effects.h"
#include "Orrimund/player/party.h"
#include "Orrimund/gamestate.h"
#include "Orrimund/gamewide.h"
#include "Orrimund/screens/automap_screen.h"
#include "Orrimund/screens/dev_dialogs.h"
#include "Orrimund/screens/front_states.h"
#include "Orrimund/screens/item_cameras.h"
#include "Orrimund/screens/screens.h"
#include "Orrimund/splash.h"
#include "Orrimund/startup.h"
#include "levelscripts/conversation_state.h"
#include "levelscripts/cutscene.h"
#include "levelscripts/level_flags.h"
#include "levelscripts/level_scripts.h"
#include "levelscripts/savegame.h"
#include "quarn/bmpman/bmpman.h"
#include "quarn/ca/ca_preload.h"
#include "quarn/ca/character_instance.h"
#include "quarn/geom/effect_mem.h"
#include "quarn/geom/vif_emitter.h"
#include "quarn/gr/gr.h"
#include "quarn/gr/gr3d_draw.h"
#include "quarn/gr/gr_font.h"
#include "quarn/gr/gr_mesh.h"
#include "quarn/os/console.h"
#include "quarn/os/crash_report.h"
#include "quarn/os/key.h"
#include "quarn/os/memory.h"
#include "quarn/os/mouse.h"
#include "quarn/os/os.h"
#include "quarn/os/registry.h"
#include "quarn/os/timer.h"
#include "quarn/platform/window.h"
#include "quarn/ui/ui.h"

namespace {
std::atomic<bool> g_quit_requested{false};

bool Graphics_started = false;
// The game's three fonts, in the order the screens expect them; the second
// is the main font of the overlays and the console.
int Font_title = -1, Font_main = -1, Font_large = -1;

void on_quit_signal(int) { g_quit_requested = true; }

// SIGINT and SIGTERM end the main loop, so shutdown still runs in order.
void install_quit_signals() {
  struct sigaction sa{};
  sa.sa_handler = on_quit_signal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
}

void init_graphics() {
  int window_mode = GR_WINDOWED;
  const int renderer = choose_renderer(&window_mode);
  // Without a display there is nothing to draw on; the rest of the program
  // runs the same.
  if (window_is_null_backend() || !os_get_window() || !window_main_display()) {
    std::printf("No display: running without graphics\n");
    return;
  }
  gr_init(screen_width(), screen_height(), renderer, window_mode, os_get_window(), false);
  Graphics_started = true;
}

void sound_start(const SoundCardChoice& c) {
  snd_init(reinterpret_cast<void*>(os_get_window()), 44100, 16, 2, c.three_d, c.eax, c.silent, c.dsinit);
}

void mouse_to_screen_centre() {
  if (Graphics_started) mouse_set_pos(gr_screen_width() / 2, gr_screen_height() / 2);
}

void load_fonts() {
  if (!Graphics_started) return;
  const struct {
    int* font;
    const char* name;
    int line_spacing;
  } fonts[] = {{&Font_title, "orrbones-small-pc.vf", -1},
               {&Font_main, "font-small.vf", 9},
               {&Font_large, "Orrbones-small.vf", -1}};
  for (const auto& f : fonts) {
    *f.font = gr_font_load(f.name, f.line_spacing);
    if (*f.font < 0) std::printf("Font %s could not be loaded\n", f.name);
  }
  Overlay_font = Font_main;
  gr_fade_in(0);  // no fade pending: the screen shows from the first frame
}

uint32_t Init_start_ms = 0;
void init_time_start() { Init_start_ms = timer_get(1000); }
void init_time_print() {
  std::printf("SYSTEM INIT TIME : %.2f\n", (timer_get(1000) - Init_start_ms) / 1000.0);
  std::fflush(stdout);
}

void request_title_state() {
  game_state_reset();
  game_state_request(GS_TITLE);
  game_pause();
}

// First pass of start-up: the base services.
void startup_base() {
  os_init(GAME_COMPANY_NAME, GAME_APPLICATION_NAME);       // single-instance guard, window thread and window
  os_reg_set_root(GAME_COMPANY_NAME, GAME_APPLICATION_NAME);  // registry root: Software\company\application
  read_command_line();                                     // switches plus "CmdLineOptions"; unknown ones ignored
  registry_write_version();                                // "Version": Major 1, Minor 1, Build 0
  read_resolution();                                       // "Resolution Width"/"Height", -800, -1024
  timer_init();                                            // the high-resolution timer
  fs_init();                                               // root, packfiles and the 34 path types
  effects_init();                                          // effect list "demo_effects.arr", effect pools (a missing list leaves no effects)
  // (not built yet) network layer on Udp_port
  key_init(true);                                          // keyboard (NumLock option), before the mouse
  bm_init();                                               // the bitmap manager
  mouse_init(screen_width(), screen_height());             // mouse, with the screen size
  sound_start(choose_sound_card());                        // sound manager from choose_sound_card(), 44100 Hz, 16 bits, 2 channels
  snd_read_sounds_tbl();                                   // sounds.tbl
  character_instance_system_init(-1);                      // character tables and counters, the 5120-byte name pool
  console_init();                                          // the console (its commands registered themselves)
  init_graphics();                                         // renderer choice and graphics start-up
  ui_init();                                               // the UI toolkit: window list, layer 0, colour schemes
  gr_envmap_load();                                        // environment map "refmap01.tga"
  mouse_to_screen_centre();                                // mouse at the centre of the screen
  // (not built yet) the UI toolkit's five colours
  registry_write_install_path();                           // "InstallPath" := installation root
  vif_particle_emitters_init();                            // mesh particle emitters cleared
  gr_set_use_buffered_alpha_polys(true);                   // buffered translucent polygons on
}

// Second pass of start-up: the game services.
void startup_game() {
  os_random_seed(-1);                                      // the shared random sequence, from the clock
  load_fonts();                                            // three fonts; the second is the main one
  splash_show();                                           // "combined.tga" for 505 ms
  cursors_load();                                          // the six cursor bitmaps
  preload_init();                                          // the asset preload queue
  character_preload_install();                             // the queue reads animations and meshes
  // (not built yet) level timed slots and level-name copy reset
  dialog_list_init();                                      // developer dialog list
  init_time_start();                                       // the tables below are timed
  spells_load();                                           // spells.tbl: the 108 spells, before anything names one
  item_tables_init();                                      // materials.tbl and items.tbl
  alt_textures_load();                                     // alt_textures.tbl (optional), before the character tables
  charinfo_init();                                         // character types from data\tables\characterinfo
  experience_load();                                       // experience.tbl
  item_cameras_load_all();                                 // the item screens' camera tables
  fx_startup();                                            // the game effect pool and the 16 falloff textures
  objects_init();                                          // the object pools and handles
  entity_model_use_characters();                           // living entities posed on character models
  shadows_load();                                          // shadows.tbl and the blob shadow "Shadow01.tga"
  party_init();                                            // the party's five player records
  ai_install_core();                                       // entities reach the AI core through its hooks
  ai_init_tables();                                        // the AI's sixteen directions
  conversation_state_install();                             // the save layout sizes each script's conversation state
  script_filenames_load();                                 // script_filenames.tbl: each level's arrival scripts and caps
  level_flags_init();                                      // demo_events.tbl: named flags and quests; automap layers
  savegame_init();                                         // the save image laid out ("SAVE GAME ALLOCATED : %d")
  // (not built yet) network game layer
  init_time_print();                                       // "SYSTEM INIT TIME : %.2f"
  request_title_state();                                   // reset, request the title state, hold the game clock
  music_load_tables();                                     // music and hero-feedback tables
  screens_load_all();                                      // screens' resources
  gameplay_install();                                      // the gameplay state, its services and hooks
  cutscene_install();                                      // cutscenes.tbl, and the cutscene's services
  dialogue_install();                                      // the conversation text box and the talk click
  front_states_install();                                  // the front end's own game states, where still empty
  automap_startup();                                       // every level's explored cells and the label list cleared
  // (not built yet) base characters "Ruvizo", "Zazuru", "Rivud", "Rivadara"
  chain_skills_defaults();                                 // heroes' chain-skill defaults
  options_read();                                          // orrimund.cfg over the defaults
  options_adjust_to_card();                                // options the card cannot carry; detail levels
}

// First pass of shutdown: the game services.
void shutdown_game() {
  // (not built yet) conversation manager
  // (not built yet) level name, start name and travel destination cleared
  cutscene_stop();                                         // a running cutscene
  fx_reset();                                              // game effects
  item_tables_free();                                      // items and materials
  spells_free();                                           // spells
  objects_reset_all();                                     // world objects
  // (not built yet) UI toolkit
  screens_reset();                                         // screen manager reset
  alt_textures_free();                                     // alternate textures
}

// Second pass of shutdown: the base services.
void shutdown_base() {
  character_instance_system_shutdown();                    // base characters released, name pool freed
  bm_close();                                              // bitmap manager
  if (Graphics_started) gr_close();                        // graphics
  snd_shutdown();                                          // sound manager
  os_shutdown();                                           // single-instance lock released, window closed
}

// A signal, or the window closed under the game, ends the loop as quitting does.
bool main_loop_should_stop() { return g_quit_requested || !os_window_thread_running(); }

int main_routine() {
  std::atexit(mem_exit);  // the base library's exit routine comes first
  install_quit_signals();
  startup_base();
  startup_game();
  console_run_autoexec();  // developer route: the script ORRIMUND_AUTOEXEC names, after start-up

  main_loop(main_loop_should_stop);

  shutdown_game();
  shutdown_base();
  return 0;
}
}  // namespace

int main() {
  // Faults that escape leave errorlog.txt beside the program.
  crash_report_install("Orrimund Main Thread");
  return main_routine();
}
