#pragma once
// The scene render pass: once per gameplay frame it draws what the game
// camera sees. The level's instances come from the selected visibility
// groups, meshes between the camera and the party fade to see-through, and
// characters, their attached models and effects join three draw lists (two
// opaque, one translucent sorted back to front) with their level of detail.
//
// The living entities, the effects and the camera belong to other parts of
// the game: they enter the pass through SceneServices, filled at start-up.
#include <cstdint>

#include "Engine/rendering/levelrender.h"
#include "Engine/rendering/levelvis.h"
#include "Engine/s3d/s3d.h"
#include "quarn/math/matrix.h"
#include "quarn/math/vector.h"

#define SCENE_MAX_DRAW_ENTRIES 3200
#define SCENE_MAX_DYN_LIGHTS 24
#define SCENE_MAX_CHARACTERS 256
#define SCENE_MAX_EFFECTS 256
#define SCENE_MAX_OBJECTS 256
#define SCENE_MAX_ATTACHMENTS 512
// The second pool, of attached-model and item entries.
#define SCENE_SECOND_POOL_BYTES 51200
#define SCENE_ATTACHED_ENTRY_BYTES 76
#define SCENE_ITEM_ENTRY_BYTES 16

// Draw-list kinds.
enum SceneKind : uint8_t {
  SCENE_CHARACTER = 0,
  SCENE_LEVEL_MESH = 1,
  SCENE_ATTACHED = 2,
  SCENE_EFFECT = 3,
  SCENE_ITEM = 4,
  SCENE_OBJECT = 5
};

// A living entity as the pass sees it.
struct SceneCharacter {
  int handle;
  int type;             // object type: 7 heroes, 5 creatures, ...
  vector pos;
  float radius;
  int model_alpha;      // 255 opaque
  int standing_mesh;    // level mesh instance it stands on, -1 none
  int standing_second;  // negative: drawn whatever that mesh's state
  bool is_main;         // the current main character
  // Draws the model at a detail level (0 full, 2 reduced) and alpha.
  void (*draw)(int handle, int detail, int alpha);
  // Its blob shadow for this frame; false when it casts none. May be null.
  bool (*shadow)(int handle, ShadowCaster* out) = nullptr;
  float height = 1.8f;  // model height: the head point is above it
  int health = 0, max_health = 0;
  const char* name = nullptr;  // its character's name
  uint32_t state = 0;          // bit 1: a marker may show at a distance rule
  bool talk = false;           // has a conversation flagged for a marker
  // The world position of one of its bones; false when it has none.
  bool (*bone)(int handle, const char* bone_name, vector* out) = nullptr;
  // A floating value this frame: damage ("%d") and, when not negative, a
  // percentage ("%d%%"); the kind picks the colour (SCENE_PLATE_...).
  // Its character type carries "+No Shadow".
  bool no_shadow = false;
  bool plate = false;
  int plate_damage = 0;
  int plate_percent = -1;
  int plate_kind = 0;
  // Its floating text ("+20 xp", "12 AP", a status word) and the seconds
  // it has left; it rises and fades as they run out.
  const char* float_text = nullptr;
  float float_time = 0.0f;
  uint8_t float_rgb[3] = {255, 255, 255};
};

// Colours of the floating values over characters.
enum ScenePlateKind { SCENE_PLATE_DAMAGE = 0, SCENE_PLATE_HEAL = 1, SCENE_PLATE_OTHER = 2 };
constexpr int SCENE_MAX_PLATES = 16;
constexpr int SCENE_MAX_SPEECH = 16;
constexpr int SCENE_MAX_LABELS = 16;

// A spoken line shown over its speaker (a character of this frame).
struct SceneSpeech {
  int speaker;
  const char* text;
};

// A visible part of an effect.
struct SceneEffect {
  int handle;
  vector pos;
  float radius;
  bool ground;           // drawn with the second opaque list
  int owner;             // handle of the character it is attached to, -1 none
  void (*draw)(int handle);
};

// An item lying in the world (SCENE_ITEM) or a world object of type 11
// (SCENE_OBJECT), as its module hands it to the pass.
struct SceneObject {
  int handle;
  uint8_t kind;
  vector pos;
  float radius;
  int standing_mesh;  // -1 none
  void (*draw)(int handle);
};

// A model attached to a character's bone (weapon, shield, worn extra), at
// the bone's place this frame.
struct SceneAttachment {
  int handle;
  vector pos;
  float radius;
  void (*draw)(int handle, int alpha);
};

struct SceneServices {
  // The game camera: eye, orientation and horizontal field of view in
  // degrees; false when there is none (nothing is drawn).
  bool (*camera)(vector* eye, matrix* orient, float* fov);
  // Level mesh instances between the camera and the party this frame.
  int (*see_through)(int* instances, int capacity);
  int (*characters)(SceneCharacter* out, int capacity);
  int (*effects)(SceneEffect* out, int capacity);
  // Active items and type-11 objects.
  int (*objects)(SceneObject* out, int capacity);
  // A character's attached models.
  int (*attachments)(int character, SceneAttachment* out, int capacity);
  // The active light channels of the game effects, in world space.
  int (*light_channels)(LevelDynLight* out, int capacity);
  bool (*cutscene)();
  // The lines being spoken now (at most 16).
  int (*speech)(SceneSpeech* out, int capacity) = nullptr;
  // In a cutscene: whether the letterbox bars are on.
  bool (*letterbox)() = nullptr;
};
void scene_set_services(const SceneServices& services);

// Console variables.
extern float Character_lod_dist;       // lod_dist, 27
extern float Main_character_lod_dist;  // main_lod_dist, 9
extern bool Render_level, Render_characters, Render_effects;
extern bool Cull_ground, Cull_ground_too;
extern bool Scene_force_low_detail;
extern bool Scene_all_full_detail;
extern bool Scene_hide_world;  // no overlays (speech, labels, health bar)

extern int Scene_fade;  // 0..255, 255 fully shown
extern bool Scene_lights_changed;

// Once per level, after the level and its .vis file are loaded.
void level_render_setup(const char* level_file_name);
// Level unload: fog defaults back, lists and see-through records dropped.
void level_render_reset();

void scene_render();
void scene_fade_out();
void scene_fade_in();
// A highlight slot holds an object handle, or a level mesh instance given
// as scene_highlight_mesh(instance); 0 clears it.
constexpr int scene_highlight_mesh(int instance) { return -2 - instance; }
void scene_set_highlight_a(int object, int r, int g, int b);
void scene_set_highlight_b(int object, int r, int g, int b);
// The tinted entity: while it is drawn the screen's tint is on with these
// factors (handle -1 clears it).
void scene_set_tint(int handle, float r, float g, float b);
// Whether a group of that name ("$vis..." names, ignoring case) is selected
// this frame: effect parts bound to such a set show only then.
bool scene_group_selected(const char* name);
// True during a pass (and after it) that selected other groups than the
// pass before, or after a new evaluation was asked for: effects then mark
// their parts again.
bool scene_selection_changed();
void scene_request_reevaluation();
// The bitmap of the talk marker over characters with something to say
// (-1: none drawn).
extern int Scene_talk_marker_bitmap;
// Where a character's head marker goes: its "BDBN-Head" bone, else 0.1
// above its "Head" bone, else its position raised by its model height.
vector scene_head_point(const SceneCharacter& c);
// The marker rule: a character named "Dizavadi" (not a hero) gets one only
// within 4 vertically and 50 of the main character and with state bit 1.
bool scene_head_marker_allowed(const SceneCharacter& c, const SceneCharacter* main);
// Draws a bitmap centred over a character of this frame, its top 25 pixels
// above the projected head point.
void scene_draw_head_marker(int character, int bitmap);
// The overhead text labels: a translucent black box at a world point with a
// title line and text lines ('\n' between them). The level render set-up
// clears them.
void scene_label_set(int slot, const vector& pos, const char* title, const char* text);
void scene_label_clear(int slot);
// The marker over the current main character, drawn in grey by the next
// pass only.
extern int Scene_main_marker_bitmap;
void scene_request_main_marker();
// The bars the letterbox fills: top and bottom heights of a centred 2:1
// picture on a screen of w x h (0 when the screen is wider than 2:1).
int scene_letterbox_bar(int w, int h);
// Whether a character gets a blob shadow this frame: a creature record
// (types 4, 5, 7) whose near depth is at most 20 and whose type casts one.
bool scene_shadow_wanted(int type, float near_depth, bool no_shadow);
// Whether a floating value over c is written this frame (within 4
// vertically and 50 of the main character).
bool scene_plate_in_range(const SceneCharacter& c, const SceneCharacter* main);
// How far above its head point a floating text with `seconds` left stands,
// and its alpha: texts live for 2 s, rising half a unit a second and fading
// over their last half second.
float scene_float_text_rise(float seconds);
int scene_float_text_alpha(float seconds);
// Whether a sphere lies at least partly in the current view.
bool scene_point_visible(const vector& point, float radius);
void scene_set_pair_range(float a, float b);
void scene_clear_pair_range();
float scene_pair_range_b();

// ---- Pure rules of the pass, for tests ---------------------------------------------------

// The detail level (0 full, 2 reduced) of a character at a distance.
int scene_character_detail(int type, float distance, int lod_mode);
// The alpha of a character at squared distance d2 under the pair range;
// -1 when beyond it (not drawn).
int scene_pair_range_alpha(int alpha, float d2);

// The see-through record of an instance.
struct SeeThroughRecord {
  VisGroup* link;   // "$seethru" group whose members share the wish
  uint32_t state;   // bits 0-1 state, bit 2 wanted, bits 4-11 alpha
  int32_t stamp;    // ms on the game clock
};
constexpr uint32_t SEE_THROUGH_WANTED = 0x4;
// Advances one record to `now` and returns the alpha it is drawn with.
int see_through_step(SeeThroughRecord& r, int32_t now);
const SeeThroughRecord* scene_see_through(int instance);

// What the last pass drew.
struct SceneStats {
  int groups;
  int meshes_opaque, meshes_second, meshes_translucent;
  int meshes_drawn;  // past the fade and ground rules, handed to the renderer
  int characters;
  int effects;
  int attachments;
  int objects;
  int dyn_lights;
  int shadows;  // blob shadows the pass added
  int dropped;  // entries refused by the full pool
};
extern SceneStats Scene_stats;
