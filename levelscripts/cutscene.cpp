#include "levelscripts/cutscene.h"

#include <strings.h>

#include <cstdio>
#include <cstring>

#include "Engine/Objects/living_entity.h"
#include "Engine/ai/ai_component.h"
#include "Engine/characterinfo/saved_names.h"
#include "Engine/gameflags.h"
#include "Orrimund/gamestate.h"
#include "Orrimund/player/party.h"
#include "Engine/ai/boss_hooks.h"
#include "Engine/rendering/snow.h"
#include "levelscripts/cutscene_script.h"
#include "levelscripts/script_runner.h"
#include "levelscripts/level_scripts.h"
#include "quarn/os/console.h"
#include "quarn/os/timer.h"

float Cutscene_scale_word = 1.0f;

namespace {

CutsceneGameHooks Hooks;

// Loading screen steps of a cutscene's load.
constexpr int LOADING_STEPS = 6;
constexpr int CUTSCENE_FADE_MS = 200;
// Entity state bits the snapshot keeps (a flags word of 0x10 asks for the AI
// back after the cutscene).
constexpr uint32_t AI_BACK_AFTER_CUTSCENE = 0x10;

struct SnapshotEntry {
  uint32_t checksum;
  uint8_t bits;
};
SnapshotEntry Snapshot[MAX_LIVING_ENTIITES];
int Snapshot_count = 0;

struct Remembered {
  float fog_near = 0.0f, fog_far = 0.0f;
  float scale = 1.0f;
  int music = -1;
} Before;
int Sound_channel = -1;
int Vis_index = -1;
int Loads_counted = 0;
int32_t Persistent[MAX_CUTSCENE_PERSISTENT_EFFECTS] = {-1, -1};
char Pending[64] = "";

const char* level_name() { return Hooks.level_name ? Hooks.level_name() : Level_position.level; }

void for_each_living(void (*fn)(living_entity*)) {
  living_entity* list = entity_live_list();
  for (living_entity* e = entity_first(list); e; e = entity_next(list, e)) fn(e);
}

uint8_t snapshot_bits(const living_entity* e) {
  return static_cast<uint8_t>(((e->state & ES_HELD) ? 1 : 0) | ((e->state & ES_AI_DISABLED) ? 2 : 0) |
                              ((e->state & ES_ALT_ARM) ? 4 : 0) | ((e->flags & OF_ACTIVE) ? 8 : 0));
}

void entity_before(living_entity* e) {
  e->cure_all_status_effects();
  if ((e->state & ES_AI_INTERRUPTED) || e->ai.state == AI_STATE_HIDING) ai_reset_to_idle(&e->ai);
  e->state &= ~ES_AI_INTERRUPTED;
  if (Snapshot_count < MAX_LIVING_ENTIITES) Snapshot[Snapshot_count++] = {name_checksum(e->get_name()), snapshot_bits(e)};
}

void set_bit(uint32_t& word, uint32_t bit, bool on) { word = on ? (word | bit) : (word & ~bit); }

bool is_name(const CutsceneRecord* r, const char* name) { return r && !strcasecmp(r->name, name); }

// The snow switch the "Nar-ThalemAct4" cutscene turns off while it plays.
constexpr const char* SNOWLESS_CUTSCENE = "Nar-ThalemAct4";

void entity_after(living_entity* e) {
  e->set_speed_scale(1.0f, false);
  if (e->state & AI_BACK_AFTER_CUTSCENE) e->state &= ~(AI_BACK_AFTER_CUTSCENE | ES_AI_DISABLED);
  const uint32_t sum = name_checksum(e->get_name());
  for (int i = 0; i < Snapshot_count; i++) {
    if (Snapshot[i].checksum != sum) continue;
    const uint8_t b = Snapshot[i].bits;
    set_bit(e->state, ES_HELD, (b & 1) && e->type != OBJ_PLAYER);
    set_bit(e->state, ES_AI_DISABLED, b & 2);
    set_bit(e->state, ES_ALT_ARM, b & 4);
    set_bit(e->flags, OF_ACTIVE, b & 8);
    if (e->character && e->character->kind == 0) e->refresh_hero_textures(b & 4, true);
    break;
  }
  e->refresh_item_status_effects();
}

void destroy(int32_t& handle) {
  if (handle >= 0 && Hooks.effect_destroy) Hooks.effect_destroy(handle);
  handle = -1;
}

// The player's release, with the effects and the sound track it holds.
void release_player() {
  for (int32_t& h : Persistent) destroy(h);
  for (int32_t& h : Cutscene_player.timed_effects) destroy(h);
  if (Sound_channel >= 0 && Hooks.sound_fade_out) Hooks.sound_fade_out(Sound_channel, 0);
  Sound_channel = -1;
  cutscene_player_release();
  campath_release_keys();
}

void step() {
  if (Hooks.loading_step) Hooks.loading_step();
}

// Steps 2-4 of a play undone: the game as it was before a failed load.
void roll_back(bool loading) {
  if (Hooks.hud_show) Hooks.hud_show(true);
  if (Hooks.fog_set) Hooks.fog_set(Before.fog_near, Before.fog_far);
  Cutscene_scale_word = Before.scale;
  if (Before.music >= 0 && Hooks.music_play) Hooks.music_play(Before.music);
  if (loading && Hooks.loading_end) Hooks.loading_end();
}

bool load(const CutsceneRecord* r) {
  if (!cutscene_load_record(r)) return false;
  step();
  for (int i = 0; i < r->persistent_count && i < MAX_CUTSCENE_PERSISTENT_EFFECTS; i++)
    Persistent[i] = Hooks.effect_create ? Hooks.effect_create(r->persistent[i], true) : -1;
  step();
  Loads_counted++;
  if (Hooks.sounds_page_in) Hooks.sounds_page_in();
  Sound_channel = -1;
  step();
  return true;
}

}  // namespace

void cutscene_set_game_hooks(const CutsceneGameHooks& hooks) { Hooks = hooks; }

CutscenePlayerHooks cutscene_default_player_hooks() {
  CutscenePlayerHooks h;
  h.effect_start = [](const CutsceneEffectEntry& e) { return Hooks.effect_create ? Hooks.effect_create(e, false) : -1; };
  h.fog = [](float n, float f) {
    if (Hooks.fog_set) Hooks.fog_set(n, f);
  };
  h.stop = [] {
    const bool load_after = game_flags_test(GF_CUTSCENE_WAITS);
    cutscene_stop();
    if (load_after && Hooks.request_state) Hooks.request_state(GS_TITLE);
  };
  return h;
}

bool cutscene_running() { return game_flags_test(GF_CUTSCENE) && Cutscene_player.record; }
int cutscene_snapshot_count() { return Snapshot_count; }
const char* cutscene_pending_name() { return Pending; }

void cutscene_play(const char* name) {
  if (!name) return;
  const CutsceneRecord* r = cutscene_find(name, level_name());
  if (!r) return;
  const bool loading = !cutscene_running();
  if (!loading) cutscene_stop();
  else if (Hooks.loading_begin) Hooks.loading_begin(LOADING_STEPS);

  if (!strcasecmp(r->name, "serpent-dismount") && Hooks.serpent_rider_animation)
    Hooks.serpent_rider_animation("ride_horse_walk");
  if (!strcasecmp(r->name, SNOWLESS_CUTSCENE)) Snow_enabled = false;

  if (Hooks.hud_show) Hooks.hud_show(false);
  if (Hooks.fog_get) Hooks.fog_get(&Before.fog_near, &Before.fog_far);
  Before.scale = Cutscene_scale_word;
  Cutscene_scale_word = 1.0f;
  if (Hooks.level_list) Hooks.level_list(true);
  Before.music = Hooks.music_current ? Hooks.music_current() : -1;
  if (Hooks.music_fade_out) Hooks.music_fade_out(CUTSCENE_FADE_MS);
  if (Hooks.sounds_stop_all) Hooks.sounds_stop_all();

  if (!load(r)) {
    console_printf("Cutscene %s did not load\n", r->name);
    release_player();
    if (Hooks.level_list) Hooks.level_list(false);
    if (!strcasecmp(r->name, SNOWLESS_CUTSCENE)) Snow_enabled = true;
    roll_back(loading);
    return;
  }
  if (Hooks.camera_release_view) Hooks.camera_release_view();
  if (r->vis_set_count > 0 && Hooks.vis_override) Hooks.vis_override(true);
  Vis_index = -1;

  Cscript_cutscene_index = static_cast<int>(r - cutscene_record_at(0));
  cscript_table_load(r->name);

  Snapshot_count = 0;
  for_each_living(entity_before);
  if (Hooks.effects_begin) Hooks.effects_begin();

  if (Hooks.vsync) Hooks.vsync(true);
  Loading_icon_shown = 1;
  game_flags_set(GF_CUTSCENE | GF_SKIP_SWAP);
  step();
  if (loading && Hooks.loading_end) Hooks.loading_end();
  console_printf("Cutscene %s plays\n", r->name);
}

void cutscene_stop() {
  if (!cutscene_running()) return;
  const CutsceneRecord* r = Cutscene_player.record;
  Loading_icon_shown = 0;
  if (Loads_counted > 0) Loads_counted--;
  Cutscene_player.frame_step = 0.0f;
  if (Hooks.sounds_clear_used) Hooks.sounds_clear_used();
  if (Sound_channel >= 0 && Hooks.sound_fade_out) Hooks.sound_fade_out(Sound_channel, CUTSCENE_FADE_MS);
  Sound_channel = -1;

  game_flags_clear(GF_CUTSCENE);
  if (Before.music >= 0 && Hooks.music_play) Hooks.music_play(Before.music);
  game_flags_set(GF_SKIP_SWAP);
  if (Hooks.vsync) Hooks.vsync(false);
  if (is_name(r, SNOWLESS_CUTSCENE)) Snow_enabled = true;

  cscript_restore_objects();
  Cscript_cutscene_index = -1;
  for_each_living(entity_after);

  if (Hooks.level_list) Hooks.level_list(false);
  if (Hooks.camera_end_track) Hooks.camera_end_track();
  if (Hooks.fog_set) Hooks.fog_set(Before.fog_near, Before.fog_far);
  Cutscene_scale_word = Before.scale;
  if (r->vis_set_count > 0 && Hooks.vis_override) Hooks.vis_override(false);
  Vis_index = -1;

  if (Hooks.summon_effects_destroy) Hooks.summon_effects_destroy();
  console_printf("killing off %d effects\n", r->timed_effect_count);
  for (int i = 0; i < r->timed_effect_count; i++)
    if (Cutscene_player.timed_effects[i] >= 0) console_printf("killing effect %d\n", i);
  release_player();
  if (Hooks.effect_memory_reset) Hooks.effect_memory_reset();
  if (Hooks.effects_end) Hooks.effects_end();
  if (!game_flags_test(GF_CUTSCENE_WAITS) && Hooks.hud_show) Hooks.hud_show(true);
  if (Hooks.charinfo_after) Hooks.charinfo_after();
  if (Hooks.fade_clear) Hooks.fade_clear();
  if (Hooks.party_combat_ready && Selected_entity) Hooks.party_combat_ready(Selected_entity->state & ES_COMBAT_READY);
  Snapshot_count = 0;
  console_printf("Cutscene %s stopped\n", r->name);
}

bool cutscene_skip() {
  if (!cutscene_running()) return false;
  script_characters_skip_to_synch(cutscene_synch_number());
  cutscene_stop();
  return true;
}

int cutscene_synch_number() { return Cutscene_player.current_track < 0 ? 0 : Cutscene_player.current_track; }

void cutscene_frame(uint32_t now_ms) {
  if (!cutscene_running() || (Hooks.ui_mode && Hooks.ui_mode())) return;
  const CutsceneRecord* r = Cutscene_player.record;
  cutscene_frame_camera(now_ms);
  if (!cutscene_running()) return;
  CutscenePlayer& p = Cutscene_player;
  if (p.track_changed && p.current_track == 0 && r->sound_track && Hooks.sound_track_start)
    Sound_channel = Hooks.sound_track_start(r->sound_track);
  if (p.current_track >= 0 && p.current_track < p.tracks.count) Loading_icon_shown = 0;
  cutscene_frame_events();
  if (p.current_track < 0 || p.current_track >= p.tracks.count) return;
  const int next = Vis_index + 1;
  if (next < r->vis_set_count && r->vis_sets[next].track == p.current_track) {
    if (Hooks.vis_set) Hooks.vis_set(r->vis_sets[next].names, r->vis_sets[next].name_count);
    Vis_index = next;
  }
}

void play_and_load_cutscene(const char* name) {
  const CutsceneRecord* r = name ? cutscene_find_any_level(name) : nullptr;
  if (!r) return;
  if (Hooks.start_level && !Hooks.start_level(r->level, r->script)) return;
  game_flags_set(GF_CUTSCENE_WAITS | GF_CUTSCENE_ON_ENTRY);
  std::snprintf(Pending, sizeof Pending, "%s", r->name);
}

void cutscene_choose_escape() {
  game_flags_clear(GF_CUTSCENE_ON_ENTRY);
  if (!Pending[0]) return;
  if (Hooks.hud_show) Hooks.hud_show(false);
  // The escape cutscenes begin with their rider boss out of the fight and
  // off its mount.
  if (Hooks.rider_escape) {
    if (!strcasecmp(Pending, "Tiger-Escape")) Hooks.rider_escape(BOSS_TIGER_RIDER, true);
    else if (!strcasecmp(Pending, "PHNX-Escape")) Hooks.rider_escape(BOSS_PHOENIX_RIDER, false);
    else if (!strcasecmp(Pending, "Serpent-Escape")) Hooks.rider_escape(BOSS_SERPENT, false);
  }
  char name[sizeof Pending];
  std::snprintf(name, sizeof name, "%s", Pending);
  Pending[0] = '\0';
  cutscene_play(name);
}

void cutscene_table_startup() {
  if (!cutscene_table_load("cutscenes.tbl")) console_printf("No cutscenes.tbl: the game has no cutscenes\n");
  else console_printf("Read cutscenes.tbl: %d cutscenes\n", cutscene_count());
}

namespace {
void name_command(void (*fn)(const char*)) {
  if (!Console_run) return;
  console_get_arg(ARG_STRING);
  fn(Console_arg.original);
}
}  // namespace

static ConsoleCommand cc_play_cutscene("play_cutscene", "Play a cutscene", [] { name_command(cutscene_play); });
static ConsoleCommand cc_play_and_load("play_and_load_cutscene",
                                       "Play a cutscene and loads the level associated with it",
                                       [] { name_command(play_and_load_cutscene); });
static ConsoleCommand cc_stop_cutscene("stop_cutscene", "Stop the current cutscene", [] {
  if (Console_run) cutscene_stop();
});
