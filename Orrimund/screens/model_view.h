#pragma once
// The 3D views of the item screens: an item's model, or a party member posed
// with the weapon and shield he wears, drawn into a window of the screen.
// Each view is a 3D frame of its own, placed far from any level so that no
// light of the level reaches it and lit by one light behind its camera; the
// world's view is restored after it. The camera tables say where each model
// stands; a model without an entry stands unturned at a default distance.
//
// The rule a caller must know: a model is drawn only while its mesh is paged
// in (model_view_page_worn for a member's items, slot 18 for a single item);
// the draw calls answer false otherwise, so the caller can show the name.
#include "Orrimund/screens/item_cameras.h"
#include "quarn/math/matrix.h"
#include "quarn/math/vector.h"

class living_entity;
struct Item_info;

// Where a model without a camera-table entry stands in front of its camera.
constexpr float MODEL_VIEW_DEFAULT_DISTANCE = 2.0f;
// The light of every view: its place in the camera's frame, intensity and
// the ambient level.
constexpr float MODEL_VIEW_LIGHT_Z = -3.0f;
constexpr float MODEL_VIEW_LIGHT_INTENSITY = 60.0f;
constexpr float MODEL_VIEW_AMBIENT = 0.15f;
// Degrees a second of the turning single-item views.
constexpr float MODEL_VIEW_TURN_RATE = 40.0f;

struct ModelViewRect {
  int x, y, w, h;
};

// A model's placement in its view's camera frame (camera at the origin,
// looking along +z, y up): the table's offset, and its turn after a further
// turn of `spin` degrees about the model's own vertical axis. False when the
// table has no entry for the name.
bool model_view_place(const IcamTable& table, const char* name, float spin, matrix* orient, vector* pos,
                      const IcamNames& names = icam_default_names());

// The extra pixels the inventory moves an item's view by: a few models sit
// off-centre in their windows, and heavy armour is moved left at 1024x768.
void model_view_item_nudge(const Item_info* info, int resolution, int* dx, int* dy);

// What a member holds in his hands and the bone tag each is drawn at: the
// weapon at "$weapon", the shield at "$shield". Returns the count (0-2);
// an empty hand or an item without a loaded model is left out when
// `loaded_only` is set.
struct ModelViewHandItem {
  const Item_info* info;
  const char* tag;
};
int model_view_hand_items(const living_entity* e, ModelViewHandItem out[2], bool loaded_only);

// Pages the member's worn items in: weapon and shield through the member's
// own two paging slots, the other worn items through the general slots
// 10-16, one per equipment slot. `party_index` is the member's place in the
// party list.
void model_view_page_worn(const living_entity* e, int party_index);

// Draws an item's model (true) or nothing (false: no model loaded).
bool model_view_draw_item(const IcamTable& table, const Item_info* info, const ModelViewRect& r, float spin);
// Draws the member's own model, posed as he stands, with the items in his
// hands (false: he has no character model).
bool model_view_draw_member(const IcamTable& table, living_entity* e, const ModelViewRect& r);
// The turn of the turning views now, in degrees, from the real clock.
float model_view_spin();
