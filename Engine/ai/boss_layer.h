#pragma once
// The common boss layer's defaults: which character type ids are bosses,
// and their heights and radii (a boss of no own size takes its size
// class's; any other id 1.0). The bosses' own modules plug in later.
class living_entity;

bool boss_is_boss_type(int type_id);
// The height and radius the boss table gives a type id of a size class.
float boss_height_of(int type_id, int size_class);
float boss_radius_of(int type_id, int size_class);
// Whether a boss picks its targets itself rather than turning on whoever
// strikes it (the boss table's list); ordinary creatures never.
bool boss_has_own_targeting(const living_entity* e);
// Makes the entity code's boss height and radius, the AI driver's boss
// update and set-up, the spell wish and the taunt sound the layer's.
void boss_layer_install();
