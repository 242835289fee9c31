#pragma once
// What level scripting asks of the world around it: the party, the living
// entities, the level's triggers and effects, the HUD. The modules that own
// those fill the hooks at start-up; a hook left null is a world without that
// part (no party, no creatures, no triggers), never a crash. Tests fill the
// hooks with fakes.
#include <cstdint>

struct vector;
class SaveWriter;
class SaveReader;

struct ScriptWorld {
  // --- level load and start (level-script table) -------------------------
  // Reads the level's script data: player starts, level items, the level's
  // data table and demo script table.
  void (*read_level_script_data)() = nullptr;
  // Sets each click record's used bit from its object's saved two-state value.
  void (*restore_click_records)() = nullptr;
  // Level of the selected hero, -1 without one.
  int (*selected_hero_level)() = nullptr;
  // Living entities that are not player characters, by position 0..count-1.
  int (*creature_count)() = nullptr;
  int (*creature_level)(int i) = nullptr;
  int (*creature_base_level)(int i) = nullptr;
  // Sets the level and recomputes the entity's stats from it.
  void (*creature_set_level)(int i, int level) = nullptr;
  // Multiplayer game settings: difficulty 0..2, party level and multiplier.
  int (*mp_difficulty)() = nullptr;
  int (*mp_party_level)() = nullptr;
  float (*mp_level_multiplier)() = nullptr;
  // Networked level start: hide every level effect made from the file.
  void (*hide_effects_of_file)(const char* vfx) = nullptr;
  // Networked level start of an unlock row with a per-level script marker.
  void (*set_level_script_marker)(int unlock_row) = nullptr;

  // --- level frame ----------------------------------------------------------
  void (*update_ambient_sounds)() = nullptr;
  void (*music_timer_step)() = nullptr;  // starts or fades the pending track when due
  void (*step_script_characters)() = nullptr;
  void (*test_exit_triggers)() = nullptr;
  // Whether a cutscene is playing now.
  bool (*cutscene_playing)() = nullptr;
  // The first segment of the level's spline of that name; false when none.
  bool (*spline_first_segment)(const char* name, vector* a, vector* b) = nullptr;
  // Name of the running cutscene script, "" or null when none.
  const char* (*cutscene_script_name)() = nullptr;

  // --- level exit -----------------------------------------------------------
  void (*kill_level_effects)(bool restarting) = nullptr;
  void (*stop_avoidance_splines)() = nullptr;
  // Restart: characters, movable meshes, click records and level items back
  // to their start.
  void (*restart_level_objects)() = nullptr;

  // --- level change ---------------------------------------------------------
  // The current exit trigger when its leave is confirmed: destination level,
  // its script name and the trigger's index; false when none.
  bool (*confirmed_exit)(const char** level, const char** script, int* index) = nullptr;
  // Networked host: tell the session (destination unlock row, entry index);
  // false when the session does not allow the change.
  bool (*mp_level_change)(int unlock_row, int entry_index) = nullptr;

  // --- flags ----------------------------------------------------------------
  // After a flag change: level items shown or hidden, script characters
  // enabled or disabled by their controlling flags.
  void (*refresh_level_items)() = nullptr;
  void (*refresh_script_characters)() = nullptr;
  // Game stages: a hero (0 Ruvizo, 1 Zazuru, 2 Rivud, 3 Rivadara) joins;
  // party members below the level are raised to it; the party gains an item.
  void (*hero_join)(int hero) = nullptr;
  void (*party_raise_to_level)(int level) = nullptr;
  void (*party_gain_item)(const char* name) = nullptr;
  // True while the level start restores a saved game or starts "masad".
  bool (*level_start_restoring)() = nullptr;
  // savegame_allowed_check: a summon still emerging; a monster fighting a
  // party member.
  bool (*summon_emerging)() = nullptr;
  bool (*party_in_combat)() = nullptr;

  // --- the shell -------------------------------------------------------------
  // Starts a level by name and arrival script (the gameplay state's entry).
  void (*start_level)(const char* level, const char* script) = nullptr;
  // Stores the running conversation's state into the image before a save.
  void (*store_conversation_state)() = nullptr;

  // --- script operations ------------------------------------------------------
  // Starts a cutscene by name; false when none can play.
  bool (*cutscene_play)(const char* name) = nullptr;
  // The game camera follows the controlled hero again (a cutscene script
  // undone).
  void (*camera_on_hero)() = nullptr;
  // Makes the current conversation person's topic available or not.
  void (*topic_set_available)(const char* topic, bool available) = nullptr;
  // The same for a person named (the console's topic commands).
  void (*person_topic_set_available)(const char* person, const char* topic, bool available) = nullptr;
  // The one-handed stance of an entity.
  void (*set_one_hand_stance)(class living_entity* e, bool one_hand) = nullptr;
  // An avoidance barrier across the way between the entity and the selected
  // hero: its polygon, -1 when none was made; and its removal.
  int (*avoid_barrier_add)(int entity) = nullptr;
  void (*avoid_barrier_remove)(int polygon) = nullptr;

  // --- level data table -------------------------------------------------------
  // A looping emitter of the sound file at a place; -1 when none was made.
  int (*ambient_emitter_create)(const char* sound, const vector& pos) = nullptr;
  // An automap bitmap by file name (-1 when missing), and its release.
  int (*automap_bitmap_load)(const char* name) = nullptr;
  void (*automap_bitmap_release)(int bitmap) = nullptr;

  // --- front end ------------------------------------------------------------
  void (*hud_message)(const char* text) = nullptr;

  // --- save sections --------------------------------------------------------
  // Each builder appends its tagged part to the writer and returns false to
  // fail the save; each restorer takes its checked part and returns false to
  // fail the load. The reader is bounded by the section.
  bool (*save_inventory)(SaveWriter& w) = nullptr;
  bool (*load_inventory)(SaveReader& r) = nullptr;
  bool (*save_entities)(SaveWriter& w) = nullptr;
  bool (*load_entities)(SaveReader& r) = nullptr;
  bool (*save_camera)(SaveWriter& w) = nullptr;
  bool (*load_camera)(SaveReader& r) = nullptr;
  bool (*save_item_objects)(SaveWriter& w) = nullptr;
  bool (*load_item_objects)(SaveReader& r) = nullptr;
  // Deletes from the world the level items the list no longer holds.
  void (*remove_taken_level_items)() = nullptr;
  // Puts the current level's movable meshes in their saved two-stage states.
  void (*apply_two_stage_states)() = nullptr;
  // Hands the current level's automap labels to the automap.
  void (*apply_automap_labels)() = nullptr;
  // Resets the party's hot buttons (layout of a new image).
  void (*reset_hot_buttons)() = nullptr;
  // Fills the 201 x 151 16-bit thumbnail from the view.
  void (*capture_thumbnail)(uint16_t* pixels) = nullptr;
  // Sizes of the conversation state of each level's script slots.
  int (*conversation_slot_size)(int level, int slot) = nullptr;
};

extern ScriptWorld Script_world;
// Back to a world without parts (tests).
void script_world_reset();

// The HUD line, or the console while no HUD is there.
void script_hud_message(const char* text);
