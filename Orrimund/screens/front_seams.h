#pragma once
// What the front end reads of the party, the level and the saves. Those
// belong to the gameplay, party and save modules; until they fill these
// seams at start-up the defaults let the game run: a party of the four base
// heroes with full points, saving always allowed, no pending exit.
#include <cstdint>

constexpr int FRONT_MAX_PARTY = 5;

// Saving rule answers: savegame_allowed_check's (SAVE_ALLOWED, SAVE_IN_COMBAT,
// SAVE_NOT_HERE, SAVE_SUMMONING).
#include "levelscripts/level_flags.h"
constexpr int SAVE_SUMMON = SAVE_SUMMONING;

// Leave-state values of a pending exit.
constexpr int LEAVE_OK = 0;
constexpr int LEAVE_SPREAD_OUT = 1;
constexpr int LEAVE_ENEMIES = 2;

struct FrontPartyMember {
  const char* name;
  int hero_kind;  // 1..16: the portrait number; 0 none
  int hp, hp_max;
  int ap, ap_max;
  bool can_act;       // lacks the state bits that keep a member from being selected
  bool level_up;      // unspent points
  bool local = true;  // belongs to this player (networked games)
};

class FrontServices {
 public:
  virtual ~FrontServices() = default;
  // The party, in in-party order.
  virtual int party_count();
  virtual FrontPartyMember party_member(int index);
  virtual int party_selected();  // -1 none
  virtual void party_select(int index);
  virtual bool party_combat_ready();
  virtual void party_toggle_combat();

  // Saving.
  virtual int save_allowed();  // SAVE_*
  virtual const char* level_display_name();  // "unknown" when the level has none
  // Writes the save file `file_name` (in the save folder) with a description.
  virtual bool save_write(const char* file_name, const char* description);
  // Whether the save's header reads; when it does, the save is marked to load.
  virtual bool save_load(const char* file_name);
  // The save folder (an absolute path) listed by quick save.
  virtual const char* save_dir();

  // The level script's exit: pending, its leave state, target display name
  // (null when the target is not a known level), and the answers.
  virtual bool exit_pending();
  virtual int exit_leave_state();
  virtual const char* exit_target_name();
  virtual void exit_accept();
  virtual void exit_refuse();  // clears the exit and puts the hero back

  // A running cutscene that may be skipped stops; true when it did.
  virtual bool cutscene_skip();

  // A spell chosen for the selected hero (a hot button): whether it can be
  // cast now, and the cast; false when it could not be.
  virtual bool spell_usable(int spell);
  virtual bool cast_spell(int spell);
  // A skill on a hot button, likewise: whether the selected hero may use it
  // now, and the use by the selected hero; false when it could not be used.
  virtual bool skill_usable(int skill);
  virtual bool use_skill(int skill);

  // Starts a level by file name ("rand-forest01"), start point or null.
  virtual void start_level(const char* level, const char* start);
  // Up to seven start names of a level, for the level picker.
  virtual int level_start_names(const char* level, const char** names, int max);
};

// The services in force; never null.
FrontServices& front();
// Installs other services (null: the defaults). The caller keeps ownership.
void front_set_services(FrontServices* services);

// The level the default start_level was last asked for ("" none): what the
// default gameplay state loads.
const char* front_pending_level();
void front_clear_pending_level();
