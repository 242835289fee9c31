// Living entities in the level: moves and their tag points, the standard
// movement animations, animation throttling and culling, texts over
// entities, fades, hero skins and textures, placement, floor settling,
// line of sight, collision between entities and distances.
#include <strings.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "Engine/Objects/entity_model.h"
#include "Engine/Objects/entity_world.h"
#include "Engine/Objects/inventory.h"
#include "Engine/Objects/items.h"
#include "Engine/Objects/living_entity.h"
#include "Engine/gameflags.h"
#include "quarn/math/floatops.h"
#include "quarn/os/error.h"
#include "quarn/os/timer.h"

SpeechText Speech_texts[NUM_SPEECH_SLOTS];
FadeRecord Fade_records[NUM_FADE_RECORDS];

namespace {

constexpr float kTagEpsilon = 0.0001f;
constexpr float kStanding = 0.0005f;

// Per hero: the mesh layer of each texture layer (-1 none) and its default.
struct HeroLayers {
  int mesh[6];
  const char* texture[6];
};
const HeroLayers Hero_layers[4] = {
    {{4, 0, -1, 1, 2, 3},
     {"Ruvizo05.tga", "Torso_Uwear_Ruvz.tga", nullptr, "Thigh_Uwear_Ruvz.tga", "Leg_Uwear_Ruvz.tga",
      "Arms_Uwear_Ruvz.tga"}},
    {{1, 0, -1, 3, 4, 2},
     {"Zazuru02.tga", "Torso_Uwear_Zazr.tga", nullptr, "Thigh_Uwear_Zazr.tga", "Leg_Uwear_Zazr.tga",
      "Arms_Uwear_Zazr.tga"}},
    {{5, 2, 0, 1, 4, 3},
     {"Rivud06.tga", "Torso_Uwear_Rivd.tga", "Cape_Uwear_Rivd.tga", "Thigh_Uwear_Rivd.tga", "Leg_Uwear_Rivd.tga",
      "Arms_Uwear_Rivd.tga"}},
    {{5, 1, 0, 3, 4, 2},
     {"Rvda06.tga", "Torso_Uwear_Rvda.tga", "Cape_Uwear_Rvda.tga", "Thigh_Uwear_Rvda.tga", "Leg_Uwear_Rvda.tga",
      "Arms_Uwear_Rvda.tga"}},
};

const int Death_kind_list[] = {4, 8, 9, 69, 87, 88, 89, 90, 144, 149, 159, 164, 176, 185, 186, 192, 202, 203, 204, 205, 206};

bool death_kind(int kind) {
  for (int k : Death_kind_list) {
    if (k == kind) return true;
  }
  return false;
}

const MoveTrigger* find_tag(const Move_info* m, int kind) {
  if (!m) return nullptr;
  for (const MoveTrigger& t : m->triggers) {
    if (t.type == kind) return &t;
  }
  return nullptr;
}

int tag_index(const Move_info* m, int kind) {
  for (int i = 0; i < MAX_MOVE_TRIGGERS; i++) {
    if (m && m->triggers[i].type == kind) return i;
  }
  return -1;
}

}  // namespace

const char* hero_default_texture(int kind, int layer, bool alt_arm) {
  if (kind < 0 || kind > 3 || layer < 0 || layer > 5) return nullptr;
  if (kind == 0 && layer == 5 && alt_arm) return "Arms_Underwear1A_Ruvz.tga";
  return Hero_layers[kind].texture[layer];
}

// ---- moves ---------------------------------------------------------------------

int living_entity::play_move(const Move_info* move, float speed, bool layered, bool reset, int move_flags) {
  if (!move || move->anim_slot < 0) return -1;
  if (ai_is_uninterruptible(&ai) && ai.current_action >= 0) return -1;
  if (!layered) {
    const MoveTrigger* t = get_current_move() ? find_tag(current_move, TRIGGER_NO_INTERRUPT) : nullptr;
    if (t && frame_clock - move_start >= t->time - kTagEpsilon) return -1;
  }
  if (reset && instance) instance->reset_anims();
  current_move = move;
  move_start = frame_clock;
  current_move_id = entity_next_move_id();
  tag_done[0] = tag_done[1] = tag_done[2] = 0;
  const bool death = move->list == MOVE_DEATH;
  if (death && character && death_kind(character->kind)) state |= ES_DEATH_KIND;
  (void)move_flags;
  if (instance) instance->start_anim(move->anim_slot, 1.0f, speed, true);
  const EntitySoundHooks& snd = entity_sounds();
  if (move->sound.index >= 0 && !game_flags_test(GF_CUTSCENE) && snd.play_3d) {
    if (move_sound >= 0 && snd.fade_out && (!snd.playing || snd.playing(move_sound))) snd.fade_out(move_sound, 100);
    move_sound = snd.play_3d(move->sound.index, pos);
  }
  if (move->effect) {
    const EntityEffectHooks& fx = entity_effects();
    int handle = -1;
    if (death && character && character->kind >= 87 && character->kind <= 90) {
      if (fx.place) handle = fx.place(move->effect, vector(pos.x, pos.y + 0.77f, pos.z));
    } else if (fx.attach) {
      handle = fx.attach(this, move->effect, -1);
    }
    if (death) {
      const bool earlier_running = move_effect >= 0 && fx.alive && fx.alive(move_effect);
      if (!earlier_running) move_effect = handle;
    }
  }
  return current_move_id;
}

const Move_info* living_entity::find_move(int kind, int id) const {
  if (is_boss() && kind == MOVE_FLINCH) return nullptr;
  return charinfo_get_move(character, kind, id, false);
}

float living_entity::get_move_progress(int move_id) const {
  if (move_id != current_move_id || !current_move || !instance) return 1.0f;
  const float length = instance->anim_length(current_move->anim_slot);
  if (length <= 0.0f) return 1.0f;
  const float p = static_cast<float>(frame_clock - move_start) / length;
  return p > 1.0f ? 1.0f : p;
}

bool living_entity::get_move_time_left(int move_id, float* seconds) {
  if (seconds) *seconds = 0.0f;
  if (move_id < 0 || move_id != current_move_id || !current_move || !instance) return false;
  const float left = instance->anim_length(current_move->anim_slot) - static_cast<float>(frame_clock - move_start);
  if (left < kTagEpsilon) {
    current_move_id = -1;
    return false;
  }
  if (seconds) *seconds = left;
  return true;
}

const Move_info* living_entity::get_current_move() {
  return current_move_id >= 0 && get_move_time_left(current_move_id, nullptr) ? current_move : nullptr;
}

bool living_entity::move_has_tag(int kind) const { return current_move_id >= 0 && find_tag(current_move, kind); }

float living_entity::time_to_tag(int kind) const {
  const MoveTrigger* t = current_move_id >= 0 ? find_tag(current_move, kind) : nullptr;
  return t ? t->time - static_cast<float>(frame_clock - move_start) : 0.0f;
}

void living_entity::mark_tag_done(int kind) {
  const int i = current_move_id >= 0 ? tag_index(current_move, kind) : -1;
  if (i >= 0) tag_done[i] = 1;
}

int living_entity::move_tag_state(int kind) {
  const int i = current_move_id >= 0 ? tag_index(current_move, kind) : -1;
  if (i < 0) return -1;
  if (tag_done[i] || time_to_tag(kind) > kTagEpsilon) return 0;
  tag_done[i] = 1;
  return 1;
}

const Move_info* living_entity::pick_talk_move() const {
  const Move_info* found[64];
  int n = 0;
  for (int list = 0; list < NUM_MOVE_LISTS; list++) {
    for (const Move_info* m = character->moves[list]; m && n < 64; m = m->next) {
      if (m->action && strncasecmp(m->action, "talk", 4) == 0) found[n++] = m;
    }
  }
  if (n == 0) return nullptr;
  return n == 1 ? found[0] : found[os_rand() % n];
}

void living_entity::setup_standard_anims() {
  for (int i = 0; i < NUM_STANDARD_ANIMS; i++) anim[i] = charinfo_find_move_by_name(character, Standard_anim_names[i]);
  auto fill = [&](int to, int from) {
    if (anim[to] < 0) anim[to] = anim[from];
  };
  fill(SA_STAND, SA_READY);
  fill(SA_READY, SA_STAND);
  fill(SA_WALK, SA_NORM_WALK);
  fill(SA_NORM_WALK, SA_WALK);
  fill(SA_RUN, SA_NORM_RUN);
  fill(SA_NORM_RUN, SA_RUN);
  fill(SA_STAND_HURT, SA_STAND);
  fill(SA_READY_HURT, SA_READY);
  fill(SA_WALK_HURT, SA_NORM_WALK);
  fill(SA_NORM_WALK_HURT, SA_WALK);
  fill(SA_RUN_HURT, SA_NORM_RUN);
  fill(SA_NORM_RUN_HURT, SA_RUN);
}

void living_entity::update_animation(float frametime) {
  bool invisible = is_culled(1.0f) || (flags & OF_HIDDEN);
  const bool town = entity_world().is_town_level && entity_world().is_town_level();
  if (town) {
    const bool last = (state & ES_THROTTLED) != 0;
    state = (state & ~(ES_THROTTLED | ES_THROTTLED_LAST)) | (last ? static_cast<uint32_t>(ES_THROTTLED_LAST) : 0u);
    if (move_speed < kStanding && current_move_id < 0) {
      if (anim_skip_count >= 4) {
        anim_skip_count = 0;
      } else {
        anim_skip_count++;
        state |= ES_THROTTLED;
      }
    }
    if ((state & ES_THROTTLED) && (state & ES_THROTTLED_LAST)) {
      living_entity* sel = entity_game().selected ? entity_game().selected() : nullptr;
      if (sel && vector_distance_squared(sel->pos, pos) < 225.0f) invisible = true;
    }
  }
  (void)invisible;
  if (instance && !(state & ES_THROTTLED)) instance->process(frametime);
}

bool living_entity::is_culled(float factor) const {
  if (!instance) return false;
  vector centre;
  float r = 0.0f;
  instance->get_bounds(&centre, &r);
  const vector world(pos.x + centre.x, pos.y + centre.y, pos.z + centre.z);
  const EntityWorldHooks& w = entity_world();
  const float far = w.far_distance ? w.far_distance() : 0.0f;
  if (far > 0.0f && w.camera_position) {
    const float d2 = vector_distance_squared(world, w.camera_position());
    return d2 - r * r * factor > far * far;
  }
  if (character && character->kind == 88) factor *= 1.5f;
  return w.sphere_outside_view && w.sphere_outside_view(world, r * factor);
}

float living_entity::anim_speed_at(float speed_setting) {
  const float saved = move_blend;
  set_anim_rate(speed_setting);
  const float b = move_blend;
  move_blend = saved;
  if (b < 0.5f) return 2.0f * b * walk_speed;
  return walk_speed + (b - 0.5f) * 2.0f * (run_speed - walk_speed);
}

void living_entity::show_floating_text(const char* text, float seconds, uint8_t r, uint8_t g, uint8_t b) {
  std::snprintf(float_text, sizeof float_text, "%.*s", FLOAT_TEXT_LEN, text ? text : "");
  float_rgb[0] = r;
  float_rgb[1] = g;
  float_rgb[2] = b;
  float_time = seconds;
}

void living_entity::show_speech_text(const char* text, float seconds) {
  SpeechText* slot = nullptr;
  for (SpeechText& s : Speech_texts) {
    if (s.entity == handle) slot = &s;
  }
  for (SpeechText& s : Speech_texts) {
    if (!slot && s.entity == -1) slot = &s;
  }
  if (!slot) {
    for (SpeechText& s : Speech_texts) {
      if (s.time_left < 100.0f && (!slot || s.time_left < slot->time_left)) slot = &s;
    }
  }
  if (!slot) return;
  // Words are laid out into lines of at most 250 pixels, five lines at most;
  // a text that would pass the slot is cut at its last whole line.
  const std::string quoted = std::string("\"") + (text ? text : "") + "\"";
  auto width = [](const std::string& s) {
    return entity_world().text_width ? entity_world().text_width(s.c_str()) : static_cast<int>(s.size()) * 8;
  };
  std::string out, line;
  int lines = 0;
  size_t i = 0;
  while (i < quoted.size() && lines < 5) {
    size_t j = quoted.find(' ', i);
    if (j == std::string::npos) j = quoted.size();
    const std::string word = quoted.substr(i, j - i);
    const std::string trial = line.empty() ? word : line + " " + word;
    if (!line.empty() && width(trial) > 250) {
      const std::string next = out.empty() ? line : out + "\n" + line;
      if (next.size() > SPEECH_TEXT_LEN - 1) break;
      out = next;
      lines++;
      line = word;
    } else {
      line = trial;
    }
    i = j + 1;
  }
  if (!line.empty() && lines < 5) {
    const std::string next = out.empty() ? line : out + "\n" + line;
    if (next.size() <= SPEECH_TEXT_LEN - 1) out = next;
  }
  std::snprintf(slot->text, sizeof slot->text, "%s", out.c_str());
  slot->entity = handle;
  slot->time_left = seconds;
}

void speech_texts_frame(float frametime) {
  for (SpeechText& s : Speech_texts) {
    if (s.entity == -1) continue;
    s.time_left -= frametime;
    if (s.time_left <= 0.0f || !entity_from_handle(s.entity)) s = SpeechText{};
  }
}

bool entity_add_fade(living_entity* e, int move_id, float fraction) {
  for (FadeRecord& f : Fade_records) {
    if (f.entity == -1) {
      f = FadeRecord{e->handle, move_id, fraction};
      return true;
    }
  }
  return false;
}

uint8_t living_entity::get_fade_alpha() {
  const uint8_t own = instance ? instance->alpha() : 255;
  for (FadeRecord& rec : Fade_records) {
    if (rec.entity != handle) continue;
    const float p = get_move_progress(rec.move_id);
    const float f = rec.fraction;
    if (p >= 1.0f || f <= 0.0f) {
      rec = FadeRecord{};
      return own;
    }
    if (p < f) return static_cast<uint8_t>(std::trunc((f - p) * 255.0f / f));
    if (p > 1.0f - f) return static_cast<uint8_t>(std::trunc((p - (1.0f - f)) * 255.0f / f));
    return 0;
  }
  return own;
}

// ---- appearance ------------------------------------------------------------------

void living_entity::set_skin(int variant) {
  if (!instance || !character || !charinfo_is_hero(character->kind)) return;
  const int kind = character->kind;
  if (variant < 0 || variant > 1 || (kind == 3 && variant != 0)) return;
  instance->set_skin(variant);
  const bool heavy = entity_wears_heavy_armour(this);
  const bool alt = (state & ES_ALT_ARM) != 0;
  const char* names[6] = {};
  auto textures = [&](const item_instance* it, bool heavy_group) -> const char* const* {
    if (!it || !it->info || it->info->type != ITEM_ARMOR) return nullptr;
    return it->info->armor.textures[kind + (heavy_group ? 4 : 0)];
  };
  if (const char* const* t = textures(equipment[EQ_TORSO], heavy)) {
    names[1] = t[0];
    names[0] = t[2];
    names[2] = t[1];
    if (heavy) names[3] = t[3];
  }
  if (!heavy) {
    if (const char* const* t = textures(equipment[EQ_LEGS], false)) names[3] = t[0];
  }
  if (const char* const* t = textures(equipment[EQ_FEET], false)) names[4] = t[0];
  if (const char* const* t = textures(equipment[EQ_HANDS], false)) names[5] = alt ? t[1] : t[0];
  for (int l = 0; l < 6; l++) apply_hero_texture(l, names[l] ? names[l] : hero_default_texture(kind, l, alt));
}

void living_entity::apply_hero_texture(int l, const char* file_name) {
  if (!instance || !character || !charinfo_is_hero(character->kind) || l < 0 || l > 5 || !file_name) return;
  const int mesh_layer = Hero_layers[character->kind].mesh[l];
  if (mesh_layer < 0) return;
  instance->set_layer_texture(mesh_layer, file_name);
}

void living_entity::refresh_hero_textures(bool alternate, bool force) {
  if (!character || character->kind != 0) return;
  const bool was = (state & ES_ALT_ARM) != 0;
  if (alternate) state |= ES_ALT_ARM;
  else state &= ~ES_ALT_ARM;
  if (was == alternate && !force) return;
  const item_instance* hands = equipment[EQ_HANDS];
  const char* name = nullptr;
  if (hands && hands->info && hands->info->type == ITEM_ARMOR) name = hands->info->armor.textures[0][alternate ? 1 : 0];
  apply_hero_texture(5, name ? name : hero_default_texture(0, 5, alternate));
}

int living_entity::select_armour_model() const {
  if (!character || !charinfo_is_hero(character->kind)) return 0;
  static const int Light[4] = {6, 6, 2, 2};
  const item_instance* torso = equipment[EQ_TORSO];
  if (!torso || !torso->info) return Light[character->kind];
  static const char* const Names[4] = {"ruvizo", "zazuru", "rivud", "rivadara"};
  char key[32];
  std::snprintf(key, sizeof key, "%s%s", torso->info->slot == SLOT_HEAVY ? "heavy " : "", Names[character->kind]);
  const int m = hero_model_index(key);
  return m < 0 ? 0 : torso->info->render_masks[m];
}

// ---- placement and the floor ----------------------------------------------------

void living_entity::place_at_point(const vector& p, float heading, int new_layer) {
  pos = p;
  orient = matrix(vector(std::cos(heading), 0, -std::sin(heading)), vector(0, 1, 0),
                  vector(std::sin(heading), 0, std::cos(heading)));
  layer = new_layer;
  pos.y += 1.0f;
  settle_on_floor();
  // A place given without its layer (a saved member's record keeps none)
  // takes the layer of the floor it lands on: the view draws the level of
  // the leader's layer, and with none it would draw no level at all.
  if (new_layer < 0) check_floor_layer();
  last_pos = pos;
  last_orient = orient;
  if (state & ES_DOWN) {
    if (death_move && instance) instance->start_anim(death_move->anim_slot, 1.0f, 1.0f, true);
    if (death_move && instance) instance->set_time(instance->anim_length(death_move->anim_slot));
    hp = 0.0f;
  }
}

bool living_entity::place_at_party_start(int slot) {
  const EntityWorldHooks& w = entity_world();
  if (slot >= 0 && slot < 4) {
    vector p;
    float heading = 0.0f;
    int l = -1;
    if (!w.party_start || !w.party_start(slot, &p, &heading, &l)) return false;
    place_at_point(p, heading, l);
    return true;
  }
  living_entity* leader = entity_game().selected ? entity_game().selected() : nullptr;
  vector p;
  if (!leader || !ai_hooks().formation_point || !ai_hooks().formation_point(leader, &p, slot)) return false;
  orient = leader->orient;
  const float heading = std::atan2(leader->orient.forward.x, leader->orient.forward.z);
  place_at_point(p, heading, leader->layer);
  return true;
}

void living_entity::settle_on_floor() {
  if (state & (ES_NO_FLOOR_FOLLOW | ES_FREE_MOVE)) return;
  if (!(flags & OF_KEEP_FLOOR)) state &= ~ES_ON_FLOOR;
  const EntityWorldHooks& w = entity_world();
  const bool on_floor = (state & ES_ON_FLOOR) != 0;
  const float up = on_floor ? 2.0f : 10.0f;
  const float length = on_floor ? 4.0f : 20.0f;
  const vector top(pos.x, pos.y + up, pos.z);
  FloorHit hit;
  bool found = false;
  if (w.floor_ray) {
    for (int step = FLOOR_CURRENT_POLY; step <= FLOOR_ALL_MESHES && !found; step++) {
      if (step == FLOOR_CURRENT_POLY && floor_mesh == 65535) continue;
      found = w.floor_ray(top, length, step, layer, floor_mesh == 65535 ? -1 : floor_mesh,
                          floor_poly == 65535 ? -1 : floor_poly, &hit);
    }
  }
  if (!found) {
    floor_poly = static_cast<uint16_t>(-1);
    return;
  }
  pos.y = hit.height;
  floor_mesh = static_cast<uint16_t>(hit.mesh);
  floor_poly = static_cast<uint16_t>(hit.poly);
  floor_normal = hit.normal;
  state |= ES_ON_FLOOR;
}

void living_entity::check_floor_layer() {
  if (floor_poly == 65535) return;
  if (floor_mesh == 65535) {
    layer = -1;
    return;
  }
  const EntityWorldHooks& w = entity_world();
  const int l = w.mesh_layer ? w.mesh_layer(floor_mesh) : layer;
  if (l == MESH_NO_LAYER) {
    critical_error_fmt("living_entity", 0,
                       "Invalid layer for mesh %s.  It is probably not in a $layer selection set.\nThis problem "
                       "should be fixed immediately.  Problem could also be a hole in the world.",
                       w.mesh_name ? w.mesh_name(floor_mesh) : "?");
    return;
  }
  layer = l;
}

bool living_entity::can_see_point(const vector& point) const {
  const EntityWorldHooks& w = entity_world();
  if (!w.obstacle_query) return true;
  const vector eye(pos.x, pos.y + get_height(), pos.z);
  return w.obstacle_query(eye, point, 0.3f, 1088, layer) == 0;
}

bool living_entity::can_see(const game_object* other) const {
  if (!other) return false;
  vector p = other->pos;
  if (obj_is_living_entity(other) || obj_is_dead_entity(other)) {
    p.y += static_cast<const living_entity*>(other)->get_height();
  }
  return can_see_point(p);
}

float living_entity::distance_to(const living_entity* other, bool flat, int tag) const {
  if (!other) return 0.0f;
  const vector a(pos.x + offset.x, pos.y + offset.y, pos.z + offset.z);
  vector b(other->pos.x + other->offset.x, other->pos.y + other->offset.y, other->pos.z + other->offset.z);
  if (tag >= 0 && other->instance) {
    const vector local = other->instance->bone_position(tag);
    const matrix& m = other->orient;
    b = vector(other->pos.x + m.right.x * local.x + m.up.x * local.y + m.forward.x * local.z + other->offset.x,
               other->pos.y + m.right.y * local.x + m.up.y * local.y + m.forward.y * local.z + other->offset.y,
               other->pos.z + m.right.z * local.x + m.up.z * local.y + m.forward.z * local.z + other->offset.z);
  }
  const float dx = b.x - a.x, dy = flat ? 0.0f : b.y - a.y, dz = b.z - a.z;
  const float d = std::sqrt(dx * dx + dy * dy + dz * dz);
  if (tag >= 0) return d;
  return d - get_radius() - other->get_radius();
}

bool living_entity::collide_with_entities(const vector& point_or_offset, vector* out, bool relative) const {
  if (state & (ES_AI_DISABLED | ES_HELD | ES_AI_INTERRUPTED)) return false;
  // One standing still bumps nobody; but a move's own motion (a lunge, an
  // attack) carries it along at speed 0, and must not take it into another.
  const bool moved = relative && (point_or_offset.x != 0.0f || point_or_offset.z != 0.0f);
  if (get_speed() < 0.001f && desired_speed < 0.001f && !moved) return false;
  const vector p = relative ? vector(pos.x + point_or_offset.x, pos.y + point_or_offset.y, pos.z + point_or_offset.z)
                            : point_or_offset;
  const float my_radius = get_radius(), my_height = get_height();
  living_entity* list = entity_live_list();
  for (living_entity* o = list->next_entity; o != list; o = o->next_entity) {
    if (o == this || (o->state & ES_AI_DISABLED)) continue;
    const float dx = p.x - o->pos.x, dz = p.z - o->pos.z;
    const float rs = (my_radius + o->get_radius()) * (o->team == team ? 0.75f : 1.0f);
    if (dx * dx + dz * dz >= rs * rs) continue;
    if (p.y > o->pos.y + o->get_height() || o->pos.y > p.y + my_height) continue;
    if (relative && out) {
      const float d = std::sqrt(dx * dx + dz * dz);
      const float nx = d > 0.0f ? dx / d : 1.0f, nz = d > 0.0f ? dz / d : 0.0f;
      *out = vector(o->pos.x + nx * rs, p.y, o->pos.z + nz * rs);
    }
    return true;
  }
  return false;
}

void living_entity::set_speed_scale(float scale, bool override_scale) {
  speed_scale = scale < 0.0f ? speed_scale_default : scale;
  if (override_scale) state |= ES_SPEED_OVERRIDE;
  else state &= ~ES_SPEED_OVERRIDE;
}
