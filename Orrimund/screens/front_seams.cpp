#include "Orrimund/screens/front_seams.h"

#include <cstring>
#include <string>

#include "Orrimund/gamestate.h"

namespace {
// The four heroes every new game starts with, at full points.
struct DefaultHero {
  const char* name;
  int hp, ap;
};
constexpr DefaultHero DEFAULT_HEROES[] = {{"Ruvizo", 120, 40}, {"Zazuru", 90, 80}, {"Rivud", 100, 60},
                                          {"Rivadara", 80, 100}};
constexpr int NUM_DEFAULT_HEROES = 4;

class DefaultServices : public FrontServices {};

DefaultServices g_defaults;
FrontServices* g_services = &g_defaults;
int g_selected = 0;
bool g_combat_ready = false;
std::string g_pending_level;
}  // namespace

int FrontServices::party_count() { return NUM_DEFAULT_HEROES; }

FrontPartyMember FrontServices::party_member(int index) {
  if (index < 0 || index >= NUM_DEFAULT_HEROES) return {"", 0, 0, 0, 0, 0, false, false};
  const DefaultHero& h = DEFAULT_HEROES[index];
  return {h.name, index + 1, h.hp, h.hp, h.ap, h.ap, true, false};
}

int FrontServices::party_selected() { return g_selected; }
void FrontServices::party_select(int index) {
  if (index >= 0 && index < party_count()) g_selected = index;
}
bool FrontServices::party_combat_ready() { return g_combat_ready; }
void FrontServices::party_toggle_combat() { g_combat_ready = !g_combat_ready; }

int FrontServices::save_allowed() { return SAVE_ALLOWED; }
const char* FrontServices::level_display_name() { return "unknown"; }
// Without the save image there is nothing to write; saying so beats a file
// that no load could read.
bool FrontServices::save_write(const char*, const char*) { return false; }
bool FrontServices::save_load(const char*) { return false; }
const char* FrontServices::save_dir() { return ""; }

bool FrontServices::exit_pending() { return false; }
int FrontServices::exit_leave_state() { return LEAVE_OK; }
const char* FrontServices::exit_target_name() { return nullptr; }
void FrontServices::exit_accept() {}
void FrontServices::exit_refuse() {}

bool FrontServices::cutscene_skip() { return false; }
bool FrontServices::spell_usable(int) { return false; }
bool FrontServices::cast_spell(int) { return false; }
bool FrontServices::skill_usable(int) { return false; }
bool FrontServices::use_skill(int) { return false; }

void FrontServices::start_level(const char* level, const char*) {
  g_pending_level = level ? level : "";
  g_selected = 0;
  game_state_request(GS_NEW_GAME);
}

int FrontServices::level_start_names(const char*, const char**, int) { return 0; }

FrontServices& front() { return *g_services; }
void front_set_services(FrontServices* services) { g_services = services ? services : &g_defaults; }

const char* front_pending_level() { return g_pending_level.c_str(); }
void front_clear_pending_level() { g_pending_level.clear(); }
