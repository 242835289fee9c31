#pragma once
// What the scene pass draws of the objects lying about the world: loose
// items and containers, each by its item's model.
struct SceneObject;

// Fills out with the active loose ground items and containers that have a
// model (paged into the level's slot on first sight); returns how many.
int scene_world_objects(SceneObject* out, int capacity);
