#include "Orrimund/screens/model_view.h"

#include <strings.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "Engine/Objects/entity_model_ca.h"
#include "Engine/Objects/item_paging.h"
#include "Engine/Objects/items.h"
#include "Engine/Objects/living_entity.h"
#include "Engine/Objects/objects.h"
#include "Engine/characterinfo/characterinfo.h"
#include "Orrimund/gamestate.h"
#include "quarn/ca/base_character.h"
#include "quarn/ca/character_instance.h"
#include "quarn/geom/lights.h"
#include "quarn/gr/gr.h"
#include "quarn/gr/gr3d.h"
#include "quarn/gr/gr_mesh.h"
#include "quarn/os/timer.h"

namespace {

constexpr float DEG_TO_RAD = 0.017453f;
// Views stand this far above the world's origin: further than any level's
// light reaches, near enough that a float still places a model finely.
const vector VIEW_BASE(0.0f, 4000.0f, 0.0f);
constexpr float VIEW_FOV = 40.0f;
constexpr float LIGHT_RADIUS = 1.0f, LIGHT_OUTER = 12.0f;

// Items that sit off-centre in their windows, by name, in pixels at 640x480.
struct Nudge {
  const char* name;
  int dx, dy;
};
constexpr Nudge NUDGES[] = {{"Nodachi", 1, -5}, {"Bone Jerkin", -1, 13}};

// The equipment slots whose items page through the general slots, and the
// paging slot each uses.
constexpr int WORN_SLOTS[] = {EQ_NECK, EQ_RING1, EQ_RING2, EQ_HANDS, EQ_FEET, EQ_TORSO, EQ_LEGS};
constexpr int WORN_PAGING_FIRST = 10;

// One view: its window becomes the clip and the 3D frame, a light stands
// behind the camera, and everything the frame changed is put back after.
class ViewFrame {
 public:
  explicit ViewFrame(const ModelViewRect& r) {
    gr_get_clip(&cx_, &cy_, &cw_, &ch_);
    gr_3d_save_view();
    lights_get_ambient(ambient_[0], ambient_[1], ambient_[2]);
    gr_set_clip(r.x, r.y, r.w, r.h);
    gr_3d_start_frame(VIEW_BASE, identity_matrix, VIEW_FOV, true);
    lights_set_ambient(MODEL_VIEW_AMBIENT, MODEL_VIEW_AMBIENT, MODEL_VIEW_AMBIENT);
    light_ = light_create_point(VIEW_BASE + vector(0.0f, 0.0f, MODEL_VIEW_LIGHT_Z), LIGHT_RADIUS, LIGHT_OUTER,
                                MODEL_VIEW_LIGHT_INTENSITY, 1.0f, 1.0f, 1.0f, false);
  }
  ~ViewFrame() {
    if (light_ >= 0) light_kill(light_);
    lights_set_ambient(ambient_[0], ambient_[1], ambient_[2]);
    gr_set_clip(cx_, cy_, cw_, ch_);
    gr_3d_restore_view();
  }
  ViewFrame(const ViewFrame&) = delete;
  ViewFrame& operator=(const ViewFrame&) = delete;

 private:
  int cx_ = 0, cy_ = 0, cw_ = 0, ch_ = 0;
  float ambient_[3] = {0, 0, 0};
  int light_ = -1;
};

void draw_mesh(VimMesh* mesh, const vector& pos, const matrix& orient) {
  gr_mesh_set_character(nullptr, nullptr);
  gr_mesh_set_current(mesh);
  MeshDrawRecord rec;
  gr_mesh_render(pos, orient, rec);
  gr_mesh_set_current(nullptr);
}

// The placement of a named model, or the default one.
void place(const IcamTable& table, const char* name, float spin, matrix* orient, vector* pos) {
  if (model_view_place(table, name, spin, orient, pos)) return;
  *orient = matrix::from_angles(0.0f, 0.0f, (180.0f + spin) * DEG_TO_RAD);
  *pos = vector(0.0f, 0.0f, MODEL_VIEW_DEFAULT_DISTANCE);
}

// The items in the member's hands, drawn at their tags of his posed model.
void draw_hand_items(const living_entity* e, BaseCharacter* base, character_instance& inst, const vector& pos,
                     const matrix& orient) {
  ModelViewHandItem hands[2];
  const int n = model_view_hand_items(e, hands, true);
  for (int i = 0; i < n; i++) {
    const int tag = character_find_bone(base, hands[i].tag);
    if (tag < 0) continue;
    matrix o;
    vector p;
    inst.get_tag_transform(tag, orient, pos, &o, &p);
    draw_mesh(static_cast<VimMesh*>(hands[i].info->model), p, o);
  }
}

}  // namespace

bool model_view_place(const IcamTable& table, const char* name, float spin, matrix* orient, vector* pos,
                      const IcamNames& names) {
  matrix turn;
  vector offset;
  if (!new_icam_get(table, name, &turn, &offset, names)) return false;
  // The spin turns the model about its own vertical axis before the table's
  // turn shows it to the camera.
  const matrix spin_m = matrix::from_angles(0.0f, 0.0f, spin * DEG_TO_RAD);
  spin_m.multiply(*orient, turn);
  *pos = offset;
  return true;
}

void model_view_item_nudge(const Item_info* info, int resolution, int* dx, int* dy) {
  *dx = *dy = 0;
  if (!info || !info->name) return;
  static const float SCALE[3] = {1.0f, 1.25f, 1.6f};
  const float s = SCALE[std::clamp(resolution, 0, 2)];
  // Named as the table names the item, up to any '#'.
  const char* hash = std::strchr(info->name, '#');
  const std::string name(info->name, hash ? static_cast<size_t>(hash - info->name) : std::strlen(info->name));
  for (const Nudge& n : NUDGES) {
    if (strcasecmp(n.name, name.c_str()) != 0) continue;
    *dx = static_cast<int>(std::lround(n.dx * s));
    *dy = static_cast<int>(std::lround(n.dy * s));
  }
  if (info->slot == SLOT_HEAVY && resolution == 2) *dx -= 15;
}

int model_view_hand_items(const living_entity* e, ModelViewHandItem out[2], bool loaded_only) {
  if (!e) return 0;
  int n = 0;
  const struct {
    int slot;
    const char* tag;
  } hands[2] = {{EQ_WEAPON, "$weapon"}, {EQ_SHIELD, "$shield"}};
  for (const auto& h : hands) {
    const item_instance* it = e->equipment[h.slot];
    if (!it || !it->info) continue;
    // Armour a type wears in its shield slot (its default protection) is
    // not held in the hand.
    if (h.slot == EQ_SHIELD && it->info->slot != SLOT_SHIELD) continue;
    if (loaded_only && !it->info->model) continue;
    out[n++] = {it->info, h.tag};
  }
  return n;
}

void model_view_page_worn(const living_entity* e, int party_index) {
  if (!e || !e->character) return;
  int first = -1, second = -1;
  item_paging_slot_for_player(e->character->kind, e->type == OBJ_PLAYER, party_index, &first, &second);
  const struct {
    int eq, paging;
  } hands[2] = {{EQ_WEAPON, first}, {EQ_SHIELD, second}};
  for (const auto& h : hands) {
    const item_instance* it = e->equipment[h.eq];
    if (it && it->info && h.paging >= 0) item_page_in(static_cast<int>(it->info - Item_infos), h.paging);
  }
  for (size_t i = 0; i < std::size(WORN_SLOTS); i++) {
    const item_instance* it = e->equipment[WORN_SLOTS[i]];
    const int slot = WORN_PAGING_FIRST + static_cast<int>(i);
    if (it && it->info) item_page_in(static_cast<int>(it->info - Item_infos), slot);
  }
}

bool model_view_draw_item(const IcamTable& table, const Item_info* info, const ModelViewRect& r, float spin) {
  if (!info || !info->model || !gr_is_initialised() || r.w <= 0 || r.h <= 0) return false;
  ViewFrame frame(r);
  matrix orient;
  vector pos;
  place(table, info->name, spin, &orient, &pos);
  draw_mesh(static_cast<VimMesh*>(info->model), VIEW_BASE + pos, orient);
  return true;
}

bool model_view_draw_member(const IcamTable& table, living_entity* e, const ModelViewRect& r) {
  if (!e || !e->instance || !e->character || !gr_is_initialised() || r.w <= 0 || r.h <= 0) return false;
  character_instance* own = entity_model_character(e->instance);
  if (!own || !own->base || !own->base->current || !own->base->current->mesh) return false;
  BaseCharacter* base = own->base;
  character_instance* inst = own;
  ViewFrame frame(r);
  matrix orient;
  vector pos;
  place(table, e->character->name, 0.0f, &orient, &pos);
  pos += VIEW_BASE;
  // The type's model is shared: its skin follows this member's armour.
  character_select_variant(base, e->instance->skin());
  inst->setup_matrices();
  gr_mesh_set_current(base->current->mesh);
  gr_mesh_set_character(base, inst);
  MeshDrawRecord rec;
  rec.r = inst->colour[0];
  rec.g = inst->colour[1];
  rec.b = inst->colour[2];
  gr_mesh_render(pos, orient, rec);
  gr_mesh_set_character(nullptr, nullptr);
  draw_hand_items(e, base, *inst, pos, orient);
  return true;
}

float model_view_spin() {
  const uint32_t ms = timer_get(1000) % 36000u;
  return std::fmod(static_cast<float>(ms) * MODEL_VIEW_TURN_RATE / 1000.0f, 360.0f);
}
