#pragma once
// What of the level is seen: its visibility layers (which groups are drawn
// while the party is in a zone, with the zone's camera preference, snow and
// fog), the fog state with its defaults, the per-level detail table, the
// object shadow table and the creature blob shadows.
//
// The rule a caller must know: nothing of the level is drawn until a layer
// is current, so every level start runs vis_load and then fog_apply_zone.
#include <cstdint>

#include "Engine/s3d/s3d.h"
#include "quarn/math/vector.h"

#define MAX_VIS_LAYERS 20
#define MAX_VIS_ENTRIES 512
#define MAX_VIS_OVERRIDE 16
#define MAX_DETAIL_LEVELS 41
#define MAX_SHADOW_ENTRIES 175
#define MAX_CREATURE_SHADOWS 16

struct VisLayer {
  int count;
  VisGroup** plain;  // runs inside the two shared lists
  VisGroup** high;   // the "HIGH" variants, used at the higher details
  int camera_pref;   // 1 after "$high_camera"
  uint8_t snow;
  float fog_far, fog_near;
  uint8_t fog_r, fog_g, fog_b;
};
extern VisLayer Vis_layers[MAX_VIS_LAYERS];
extern int Vis_current_layer;   // -1 none
extern int Vis_previous_layer;  // the layer the last scene pass drew with

// What the visibility and detail code asks of the game camera and the
// options; each hook may be left null (then the camera allows everything and
// stays as it is).
struct VisServices {
  // The camera's state flags: bit 0 set and bit 3 clear allow zone changes.
  int (*camera_state)();
  void (*camera_set_mode)(int mode);
  // The camera value the near-fog fallback compares with 4.0 (its height
  // above the party).
  float (*camera_elevation)();
  bool (*camera_unlocked)();
  void (*camera_set_unlock_allowed)(bool allowed);
};
void vis_set_services(const VisServices& services);

// Reads "<level name>.vis", or gives every layer "$vis_base" alone when
// there is no such file. 0 on success (a missing file is not an error).
int vis_load(const char* level_name);
// Parses the text of a .vis file against the loaded level.
void vis_parse_text(const char* file_name, const char* text, int length);
void vis_defaults();
// The group list a scene pass draws: the override while on, else the
// current layer's plain list at level detail 0 and its "HIGH" list above.
// Returns the count (0 outside layers 0-19).
int vis_selected_groups(int level_detail, VisGroup* const** out);

void vis_override_begin();
void vis_override_reset();
void vis_override_add(const char* group_name);
void vis_override_end();
bool vis_override_on();

// The first layer whose plain list holds a group with this instance (the
// base group counts only when no other does); -1 when none.
int vis_layer_of_mesh(int instance);

void vis_layer_set_snow(int layer, bool on);
bool vis_layer_has_snow(int layer);

// ---- Fog ------------------------------------------------------------------------------
extern float Fog_far, Fog_near;                  // metres; 50 and 35
extern float Fog_default_far, Fog_default_near;  // the level's
extern uint8_t Fog_r, Fog_g, Fog_b;
extern bool Fog_framerate_on;
extern float Fog_framerate_factor;  // 0 .. 0.8
void fog_set(float near_dist, float far_dist);
void fog_set_level_defaults(float near_dist, float far_dist);
void fog_reset_to_defaults();
// Level unload: defaults back to 35 and 50, and settable again; the
// characters' fog back to its default.
void fog_level_reset();
float fog_get_near();
float fog_get_far();
void fog_set_colour(int r, int g, int b);
void fog_zone_set(int layer, float far_dist, float near_dist, int r, int g, int b);
// Makes a layer current, with its camera preference and fog.
void fog_apply_zone(int layer);
// The zone tables changed (a level's table set them): the next
// fog_apply_zone applies its layer's fog again.
void fog_zones_changed();
// The fog of a layer without zone fog: near 20, far 30 with the camera low
// over the party, else near 35, far 50. A layer with its own fog keeps it.
void fog_apply_fallback();
// The characters' own fog distances, which a level's table may give; a
// level that gives none has the default (the fog's own defaults, 35 and 50).
extern float Fog_char_near, Fog_char_far;
void fog_set_character(float near_dist, float far_dist);
void fog_reset_character();

// ---- Detail levels ----------------------------------------------------------------------
struct DetailLevelEntry {
  char name[31];
  float fog_multiplier;
  uint8_t unlock_medium;
  uint8_t unlock_high;
  uint8_t small_mesh_culling;
};
extern DetailLevelEntry Detail_levels[MAX_DETAIL_LEVELS];
extern int Num_detail_levels;
extern int Detail_level_current;  // -1 none

// The detail options of the game's options record that the world reads.
struct SceneOptions {
  int lod_main = 2;      // character detail mode of the heroes
  int lod_other = 2;     // of every other character
  int word_28 = 0;
  uint8_t lightmaps_off = 0;
  uint8_t dynamic_lights = 1;
  int word_36 = 2;
  int level_detail = 2;  // 0, 1, 2
  uint8_t byte_44 = 1;
};
extern SceneOptions Scene_options;

// What detail_levels_apply hands the renderer.
struct RendererDetail {
  bool switch_a;        // the word at 28 is 0
  bool flag_b;          // the word at 36 is 2
  bool dynamic_lights;
  int value;            // 6, 4 or 2
  bool lightmaps_off;
  bool switch_last;
};
extern RendererDetail Renderer_detail;
extern bool Scene_top_line;  // the top-line state: no fog multiplier

void detail_levels_load();
void detail_levels_parse_text(const char* file_name, const char* text, int length);
// The row for a level file name (extension and case ignored), -1 none.
int detail_level_find(const char* level_file_name);
void detail_levels_apply();
// The detail entry's effect alone (fog multiplier, small-mesh threshold,
// camera unlock) for a level detail.
void detail_entry_apply(int entry, int level_detail);

// ---- Shadows ---------------------------------------------------------------------------------
struct ShadowEntry {
  char name[65];
  float radius;
  float scale;
  uint32_t flags;  // 1: "+Prop:"
};
extern ShadowEntry Shadow_entries[MAX_SHADOW_ENTRIES];
extern int Num_shadow_entries;
void shadows_load();
void shadows_parse_text(const char* file_name, const char* text, int length);

// A creature's blob shadow for this frame: a projection straight down onto
// the level that the decal drawing shows.
struct ShadowCaster {
  int kind;            // character type's kind number
  bool summoning;      // status 6 / AI state 6
  vector shadow_point; // the point its base character names, in world space
  float base_height;
};
struct ShadowProjection {
  vector pos;
  vector dir;
  float half_angle;  // radians
  float near_dist, far_dist;
  float alpha;
  int bitmap;
};
// 0 when added; -1 when the creature casts none or 16 are already queued.
int creature_shadow_add(const ShadowCaster& c);
inline int shadow_draw(const ShadowCaster& c) { return creature_shadow_add(c); }
void creature_shadows_clear();
int creature_shadow_count();
const ShadowProjection* creature_shadow_get(int i);
