#pragma once
// The posed model of one living entity, as the entity code drives it: the
// animations of its character type by slot, their weights and clocks, the
// root motion they make, the triggers they fire, bones, tint and alpha, and
// the hero skins and textures. The game's model wraps a character instance
// of its type's base character; the world test kit gives a fake with
// scripted lengths, speeds, triggers and bones, so entity logic runs
// without files or a window.
#include <cstdint>

#include "quarn/math/matrix.h"
#include "quarn/math/vector.h"

struct Character_info;

class EntityModel {
 public:
  virtual ~EntityModel() = default;
  // What entities of one type share (the base character). Teardown keeps
  // it while any other entity, live or corpse, still draws it.
  virtual const void* shared() const = 0;
  virtual void release_shared() = 0;

  virtual void get_bounds(vector* centre, float* radius) const = 0;
  virtual void reset_anims() = 0;
  // Starts an animation from time 0 at a weight and a playing rate.
  virtual void start_anim(int anim, float weight, float rate, bool make_current) = 0;
  virtual void set_anim_weight(int anim, float weight) = 0;
  virtual float anim_weight(int anim) const = 0;
  virtual float anim_length(int anim) const = 0;
  // The root speed (units a second) an animation moves at, played alone.
  virtual float anim_root_speed(int anim) const = 0;
  // Sets every playing clock to one time (the random start of a new entity).
  virtual void set_time(float seconds) = 0;
  virtual void process(float seconds) = 0;
  // The blended root motion of the last process call, in the model's frame
  // (forward is +z), and its speed.
  virtual vector motion_step(float seconds) const = 0;
  virtual float motion_speed() const = 0;
  // True once for a trigger ("left-foot", "right-foot") passed by the last
  // process call.
  virtual bool event_fired(const char* name) = 0;
  virtual int find_bone(const char* name) const = 0;
  // A bone's position in the model's frame.
  virtual vector bone_position(int bone) const = 0;
  // How many bones the skeleton has (its points, where blows land), and a
  // bone's orientation in the model's frame.
  virtual int bone_count() const { return 0; }
  virtual matrix bone_orientation(int bone) const {
    (void)bone;
    return identity_matrix;
  }
  virtual void set_tint(uint8_t r, uint8_t g, uint8_t b) = 0;
  virtual void reset_tint() = 0;
  virtual uint8_t alpha() const = 0;
  virtual void set_alpha(uint8_t a) = 0;
  // Hero appearance: a skin variant (0 light, 1 heavy) and a mesh layer's
  // texture by file name.
  virtual void set_skin(int variant) = 0;
  virtual int skin() const = 0;
  virtual void set_layer_texture(int layer, const char* file_name) = 0;
};

// Makes the model of a new entity of a type (null when the type has no
// model); `summon` picks the summon arena. The game installs the maker over
// character instances, the world test kit its fakes.
using EntityModelMaker = EntityModel* (*)(Character_info* type, bool summon);
void entity_model_set_maker(EntityModelMaker maker);
EntityModel* entity_model_create(Character_info* type, bool summon);
// The models' own name for it.
inline EntityModel* charinfo_create_instance(Character_info* type, bool summon) {
  return entity_model_create(type, summon);
}
