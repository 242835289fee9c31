#pragma once
// Where an entity will stand once the animation it plays has carried it
// forward: its position plus the animation's distance times `factor` along
// its forward axis, pushed back out of the obstacles of its size class's
// graph when that point is not walkable ground.
#include "Engine/ai/ai_component.h"

void predict_move_end_position(const ai_component* ai, vector* out, float factor);
