#include "Engine/Objects/entity_model_ca.h"

#include <cmath>
#include <cstdio>
#include <string>

#include "Engine/Objects/entity_world.h"
#include "Engine/Objects/living_entity.h"
#include "Engine/characterinfo/characterinfo.h"
#include "Engine/characterinfo/charmodels.h"
#include "quarn/ca/base_character.h"
#include "quarn/ca/character_instance.h"
#include "quarn/gr/gr_mesh.h"
#include "quarn/os/memory.h"
#include "quarn/vfile/vfile.h"

namespace {

class CharacterModel : public EntityModel {
 public:
  explicit CharacterModel(BaseCharacter* base) : base_(base), inst_(base) {}
  const void* shared() const override { return base_; }
  void release_shared() override { base_character_release(base_); }
  void get_bounds(vector* centre, float* radius) const override { inst_.get_bounds(centre, radius); }
  void reset_anims() override { inst_.reset_anim_frames(1); }
  void start_anim(int anim, float weight, float rate, bool make_current) override {
    if (valid(anim)) inst_.start_anim(anim, weight, make_current ? 1 : 0, rate);
  }
  void set_anim_weight(int anim, float weight) override {
    if (valid(anim)) inst_.set_anim_weight(anim, weight);
  }
  float anim_weight(int anim) const override { return valid(anim) && inst_.weights ? inst_.weights[anim] : 0.0f; }
  float anim_length(int anim) const override { return valid(anim) ? inst_.get_anim_length(anim) : 0.0f; }
  float anim_root_speed(int anim) const override { return valid(anim) ? inst_.get_anim_speed(anim) : 0.0f; }
  void set_time(float seconds) override { inst_.phase = seconds - std::floor(seconds); }
  void process(float seconds) override {
    inst_.process(seconds, 0, 0);
    inst_.blend_anim_motion();
    last_step_ = seconds;
  }
  vector motion_step(float seconds) const override {
    vector v;
    const_cast<character_instance&>(inst_).get_motion_step(&v, seconds);
    return v;
  }
  float motion_speed() const override {
    vector v;
    inst_.get_anim_velocity(&v);
    return v.length();
  }
  bool event_fired(const char* name) override { return inst_.event_fired(name); }
  int find_bone(const char* name) const override { return character_find_bone(base_, name); }
  vector bone_position(int bone) const override {
    vector p(0, 0, 0);
    if (bone >= 0) const_cast<character_instance&>(inst_).get_bone_transform(&p, nullptr, bone);
    return p;
  }
  int bone_count() const override { return inst_.bone_count(); }
  matrix bone_orientation(int bone) const override {
    vector p(0, 0, 0);
    matrix m = identity_matrix;
    if (bone >= 0) const_cast<character_instance&>(inst_).get_bone_transform(&p, &m, bone);
    return m;
  }
  void set_tint(uint8_t r, uint8_t g, uint8_t b) override { inst_.set_tint(r, g, b); }
  void reset_tint() override { inst_.set_tint(255, 255, 255); }
  uint8_t alpha() const override { return inst_.alpha; }
  void set_alpha(uint8_t a) override { inst_.alpha = a; }
  void set_skin(int variant) override {
    skin_ = variant;
    character_select_variant(base_, variant);
  }
  int skin() const override { return skin_; }
  void set_layer_texture(int layer, const char* file_name) override { character_set_bitmap(base_, layer, file_name); }

  character_instance* character() { return &inst_; }

  bool draw(const vector& pos, const matrix& orient, int alpha) {
    if (!base_->current || !base_->current->mesh) return false;
    // The base is shared: its variant follows this entity's skin.
    character_select_variant(base_, skin_);
    inst_.setup_matrices();
    gr_mesh_set_current(base_->current->mesh);
    gr_mesh_set_character(base_, &inst_);
    MeshDrawRecord rec;
    rec.alpha = alpha;
    rec.r = inst_.colour[0];
    rec.g = inst_.colour[1];
    rec.b = inst_.colour[2];
    gr_mesh_render(pos, orient, rec);
    gr_mesh_set_character(nullptr, nullptr);
    return true;
  }

 private:
  bool valid(int anim) const { return anim >= 0 && anim < base_->anim_count && base_->anims[anim]; }
  BaseCharacter* base_;
  character_instance inst_;
  int skin_ = 0;
  float last_step_ = 0.0f;
};

bool file_exists(const char* name) {
  FileHandle fh;
  if (fh.open(name, VF_READ, VFILE_ANY_TYPE) != VF_OK) return false;
  fh.close();
  return true;
}

LevelAnimContext Level_context;

// One move's animation into its type's base character; a missing file
// leaves the move without one.
int load_move(Character_info* ci, Move_info* m) {
  const Character_info* owner = ci->parent ? ci->parent : ci;
  BaseCharacter* bc = owner->name ? character_find(owner->name) : nullptr;
  if (!bc || !m->animation) return -1;
  if (!file_exists(m->animation)) {
    std::printf("No animation %s for %s\n", m->animation, owner->name);
    return -1;
  }
  const bool cycle = m->list == MOVE_MOVEMENT;
  return base_character_add_skeleton(bc, m->animation, m->action ? m->action : m->animation, cycle ? 1 : 0, 0, 1, 0);
}

// The stat-screen pose's arena: it holds one pose at a time, so dropping
// the pose empties it.
alignas(16) uint8_t Statscreen_memory[STATSCREEN_POOL_SIZE];
MemArena Statscreen_arena;

BaseCharacter* base_of(const Character_info* ci) {
  const Character_info* owner = ci->parent ? ci->parent : ci;
  return owner->name ? character_find(owner->name) : nullptr;
}

int load_statscreen(Character_info* ci, Move_info* m) {
  BaseCharacter* bc = base_of(ci);
  if (!bc || !m || !m->animation) return -1;
  if (!file_exists(m->animation)) {
    std::printf("No animation %s for %s\n", m->animation, bc->name);
    return -1;
  }
  // A full set of slots would be fatal to the loader: the pose is only
  // something to look at, so it is left out instead.
  if (bc->anim_count >= MAX_CHARACTER_ANIMS) return -1;
  Statscreen_arena.init(Statscreen_memory, sizeof Statscreen_memory, "statscreen");
  MemArena* was = mem_get_arena();
  mem_set_arena(&Statscreen_arena);
  // A cycle, so the pose keeps playing while the screen shows it.
  const int slot = base_character_add_skeleton(bc, m->animation, m->action ? m->action : m->animation, 1, 0, 0, 0);
  mem_set_arena(was);
  if (slot < 0) std::printf("The stat screen pose %s does not fit its %d bytes\n", m->animation, STATSCREEN_POOL_SIZE);
  return slot;
}

void unload_statscreen(Character_info* ci, int slot) {
  BaseCharacter* bc = base_of(ci);
  if (bc && slot >= 0) base_character_remove_skeleton(bc, slot);
  Statscreen_arena.used = 0;
}

// Loads a type's moves for a weapon class, then lets every entity of the
// type find its movement animations again.
void set_weapon_class(Character_info* ci, int weapon_class) {
  if (charinfo_set_weapon_class(Level_context, ci, weapon_class, load_move) == 0) return;
  for (living_entity* list : {entity_live_list(), entity_dead_list()}) {
    for (living_entity* e = entity_first(list); e; e = entity_next(list, e)) {
      if (e->character == ci) e->setup_standard_anims();
    }
  }
}

EntityModel* make_model(Character_info* ci, bool) {
  const Character_info* owner = ci->parent ? ci->parent : ci;
  if (!owner->name) return nullptr;
  BaseCharacter* bc = character_find(owner->name);
  if (!bc) {
    // The second variant is the heavy-armour model of a hero.
    char alt[64];
    std::snprintf(alt, sizeof alt, "%s_alt", owner->name);
    const char* names[2] = {owner->name, alt};
    bc = base_character_load(names, file_exists((std::string(alt) + ".vim").c_str()) ? 2 : 1, nullptr, nullptr);
  }
  if (!bc) return nullptr;
  return new CharacterModel(bc);
}

}  // namespace

void entity_model_use_characters() {
  entity_model_set_maker(make_model);
  EntityGameHooks g = entity_game();
  g.set_weapon_class = set_weapon_class;
  g.load_statscreen_anim = load_statscreen;
  g.unload_statscreen_anim = unload_statscreen;
  entity_set_game_hooks(g);
}

int entity_model_load_statscreen(Character_info* type, Move_info* move) { return load_statscreen(type, move); }
void entity_model_unload_statscreen(Character_info* type, int slot) { unload_statscreen(type, slot); }
const MemArena& entity_model_statscreen_arena() { return Statscreen_arena; }

void entity_model_set_level(const LevelAnimContext& ctx) { Level_context = ctx; }

character_instance* entity_model_character(EntityModel* model) {
  CharacterModel* m = dynamic_cast<CharacterModel*>(model);
  return m ? m->character() : nullptr;
}

bool entity_model_draw(EntityModel* model, const vector& pos, const matrix& orient, int alpha) {
  CharacterModel* m = dynamic_cast<CharacterModel*>(model);
  return m && m->draw(pos, orient, alpha);
}
