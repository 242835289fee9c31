#include "Engine/ai/boss_layer.h"

#include "Engine/Objects/entity_world.h"
#include "Engine/ai/ai_driver.h"
#include "Engine/ai/boss_hooks.h"
#include "Engine/gamesound/gamesnd.h"
#include "Engine/Objects/living_entity.h"
#include "Engine/characterinfo/characterinfo.h"

namespace {

constexpr float SIZE_CLASS = -1.0f;

struct BossSize {
  int id;
  float height, radius;
};
constexpr BossSize Boss_sizes[] = {
    {81, 5.5f, 1.35f},        {87, SIZE_CLASS, SIZE_CLASS}, {88, SIZE_CLASS, SIZE_CLASS},
    {89, SIZE_CLASS, SIZE_CLASS}, {90, SIZE_CLASS, SIZE_CLASS}, {147, 15.0f, 5.0f},
    {172, 4.0f, 2.0f},        {177, 8.0f, SIZE_CLASS},      {183, SIZE_CLASS, SIZE_CLASS},
    {184, SIZE_CLASS, SIZE_CLASS}, {193, 3.0f, 2.5f},        {196, 3.0f, 1.8f},
    {197, 5.0f, 2.0f},        {201, SIZE_CLASS, SIZE_CLASS},
};

const BossSize* find(int id) {
  for (const BossSize& b : Boss_sizes)
    if (b.id == id) return &b;
  return nullptr;
}

int clamp_class(int c) { return c >= 0 && c < 4 ? c : 1; }

}  // namespace

bool boss_is_boss_type(int type_id) { return find(type_id) != nullptr; }

float boss_height_of(int type_id, int size_class) {
  const BossSize* b = find(type_id);
  if (!b) return 1.0f;
  return b->height == SIZE_CLASS ? Entity_size_height[clamp_class(size_class)] : b->height;
}

float boss_radius_of(int type_id, int size_class) {
  const BossSize* b = find(type_id);
  if (!b) return 1.0f;
  return b->radius == SIZE_CLASS ? Entity_size_radius[clamp_class(size_class)] : b->radius;
}

void boss_layer_install() {
  AiDriverHooks ai = ai_driver_hooks();
  ai.boss_update = [](living_entity* e) { boss_update(&e->ai); };
  ai.boss_setup = [](living_entity* e) { boss_init(&e->ai); };
  ai_set_driver_hooks(ai);
  boss_set_taunt_sound([](int sound, const vector& at) { gamesound_play_3d(sound, &at); });
  EntityGameHooks g = entity_game();
  g.boss_wants_spell = [](living_entity* e, float* range) { return boss_wants_spell(e, range) != 0; };
  g.boss_height = [](const living_entity* e) {
    return boss_height_of(e->character ? e->character->kind : -1, e->size_class());
  };
  g.boss_radius = [](const living_entity* e) {
    return boss_radius_of(e->character ? e->character->kind : -1, e->size_class());
  };
  entity_set_game_hooks(g);
}

bool boss_has_own_targeting(const living_entity* e) {
  return e && e->type == OBJ_BOSS && boss_type_has_own_targeting(boss_type_id(e));
}
