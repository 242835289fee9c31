// The scene render pass.
#include "Engine/rendering/scene.h"

#include <strings.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <vector>

#include "Engine/rendering/decal.h"
#include "Engine/rendering/lampglow.h"
#include "Engine/rendering/snow.h"
#include "Engine/s3d/collide.h"
#include "Engine/s3d/level_objects.h"
#include "quarn/bmpman/bmpman.h"
#include "quarn/gr/gr.h"
#include "quarn/gr/gr_alpha.h"
#include "quarn/gr/gr_font.h"
#include "quarn/gr/gr3d.h"
#include "quarn/gr/grclip.h"
#include "quarn/os/console.h"
#include "quarn/os/timer.h"

float Character_lod_dist = 27.0f;
float Main_character_lod_dist = 9.0f;
bool Render_level = true, Render_characters = true, Render_effects = true;
bool Cull_ground = false, Cull_ground_too = true;
bool Scene_force_low_detail = false;
bool Scene_all_full_detail = false;
bool Scene_hide_world = false;
int Scene_talk_marker_bitmap = -1;
int Scene_main_marker_bitmap = -1;
int Scene_fade = 255;
bool Scene_lights_changed = false;
SceneStats Scene_stats;

CONSOLE_FLOAT_VARIABLE(Lod_dist_cmd, "lod_dist", "Sets Character_lod_dist", Character_lod_dist);
CONSOLE_FLOAT_VARIABLE(Main_lod_dist_cmd, "main_lod_dist", "Sets Main_character_lod_dist", Main_character_lod_dist);
CONSOLE_BOOL_VARIABLE(Render_level_cmd, "render_level", "Toggles Render_level", Render_level);
CONSOLE_BOOL_VARIABLE(Render_characters_cmd, "render_characters", "Toggles Render_characters", Render_characters);
CONSOLE_BOOL_VARIABLE(Render_effects_cmd, "render_effects", "Toggles Render_effects", Render_effects);
CONSOLE_BOOL_VARIABLE(Cull_ground_cmd, "Cull_ground", "Toggles Cull_ground", Cull_ground);
CONSOLE_BOOL_VARIABLE(Cull_ground_too_cmd, "Cull_ground_too", "Toggles Cull_ground_too", Cull_ground_too);

namespace {

struct DrawEntry {
  uint8_t kind;
  float depth, near_depth;
  int index;  // instance, or the slot in the frame's characters or effects
  int alpha;
};

SceneServices Services{};
DrawEntry Pool[SCENE_MAX_DRAW_ENTRIES];
int Pool_used = 0;
DrawEntry* Opaque[SCENE_MAX_DRAW_ENTRIES];
DrawEntry* Second[SCENE_MAX_DRAW_ENTRIES];
DrawEntry* Translucent[SCENE_MAX_DRAW_ENTRIES];
int Opaque_count = 0, Second_count = 0, Translucent_count = 0;

SceneCharacter Characters[SCENE_MAX_CHARACTERS];
int Character_count = 0;
bool Character_drawn[SCENE_MAX_CHARACTERS];
SceneEffect Effects[SCENE_MAX_EFFECTS];
int Effect_count = 0;

SceneObject Objects[SCENE_MAX_OBJECTS];
int Object_count = 0;
SceneAttachment Attachments[SCENE_MAX_ATTACHMENTS];
int Attachment_owner[SCENE_MAX_ATTACHMENTS];  // slot in the frame's characters
int Attachment_count = 0;
int Second_pool_used = 0;  // bytes

VisGroup* Last_selection[MAX_VIS_ENTRIES];
int Last_selection_count = -1;
VisGroup* const* Selection = nullptr;
int Selection_count = 0;
bool Selection_changed = true;
bool Reevaluate = false;

LevelDynLight Dyn_lights[SCENE_MAX_DYN_LIGHTS];
int Dyn_count = 0;

std::vector<SeeThroughRecord> See_through;
bool Fade_in = true;

struct Highlight {
  int object = 0;
  int r = 0, g = 0, b = 0;
};
Highlight Highlight_a, Highlight_b;

int Tint_handle = -1;
float Tint_r = 1.0f, Tint_g = 1.0f, Tint_b = 1.0f;

bool Pair_on = false;
float Pair_a = 0.0f, Pair_b = 0.0f, Pair_a2 = 0.0f, Pair_b2 = 0.0f;

struct Label {
  bool on = false;
  vector pos;
  char title[64] = {};
  char text[256] = {};
};
Label Labels[SCENE_MAX_LABELS];
bool Main_marker_requested = false;
int Plates[SCENE_MAX_PLATES];  // slots in the frame's characters
int Plate_count = 0;

// One per instance: its lamp glow and what hid it last.
struct LampRecord {
  int glow = -1;
  int occluder = -1;
};
std::vector<LampRecord> Lamps;
bool Glows_marked = false;
// The animated positions of an instance whose decals are drawn.
vector Decal_positions[LEVELRENDER_MAX_VERTICES];

vector Eye;
matrix View_orient;
float Frame_far = 0.0f;  // the far clip the frame's fog set

bool cutscene() { return Services.cutscene && Services.cutscene(); }

// Attached-model and item entries share one pool of bytes; a full pool adds
// nothing more this frame.
bool second_pool_take(int bytes) {
  if (Second_pool_used + bytes > SCENE_SECOND_POOL_BYTES) {
    Scene_stats.dropped++;
    return false;
  }
  Second_pool_used += bytes;
  return true;
}

DrawEntry* new_entry(uint8_t kind, float depth, float radius, int index, int alpha) {
  if (Pool_used >= SCENE_MAX_DRAW_ENTRIES) {
    Scene_stats.dropped++;
    return nullptr;
  }
  DrawEntry* e = &Pool[Pool_used++];
  *e = DrawEntry{kind, depth, depth - radius, index, alpha};
  return e;
}

float depth_of(const vector& p) { return vector::dot(View_orient.forward, p - Eye); }

void set_fog_for_frame() {
  float near_d = Fog_near, far_d = Fog_far;
  if (near_d <= 0.0f && far_d <= 0.0f) {
    gr_fog_set(false, 0, 0, 0, 0.0f, 0.0f);
    Frame_far = 0.0f;
    gr_3d_set_far_plane(0.0f);
    return;
  }
  if (Fog_framerate_on) {
    near_d = fog_get_near();
    far_d = fog_get_far();
  }
  Frame_far = far_d;
  gr_3d_set_far_plane(far_d);
  gr_fog_set(true, Fog_r, Fog_g, Fog_b, near_d, far_d);
}

// Marks every member of the selected groups and resets its wish.
void mark_see_through(VisGroup* const* groups, int count, int32_t now) {
  for (int g = 0; g < count; g++) {
    const VisGroup* grp = groups[g];
    for (int k = 0; grp && k < grp->count; k++) {
      const int i = grp->members[k];
      if (i < 0 || i >= Level.instance_count) continue;
      LevelMeshInstance& mi = Level.instances[i];
      if (mi.flags & MI_VIS_MEMBER) continue;
      mi.flags |= MI_VIS_MEMBER;
      See_through[i].state = (See_through[i].state & ~(0xFFu << 4) & ~SEE_THROUGH_WANTED) | (0xFFu << 4);
    }
  }
  if (!cutscene() && Services.see_through) {
    int list[64];
    const int n = std::min(Services.see_through(list, 64), 64);
    for (int k = 0; k < n; k++) {
      const int i = list[k];
      if (i < 0 || i >= Level.instance_count) continue;
      See_through[i].state |= SEE_THROUGH_WANTED;
      if (const VisGroup* link = See_through[i].link)
        for (int m = 0; m < link->count; m++)
          if (link->members[m] >= 0 && link->members[m] < Level.instance_count)
            See_through[link->members[m]].state |= SEE_THROUGH_WANTED;
    }
  }
  for (int i = 0; i < Level.instance_count; i++) {
    LevelMeshInstance& mi = Level.instances[i];
    if (!(mi.flags & MI_VIS_MEMBER) || !(See_through[i].state & (0xFFu << 4))) continue;
    mi.flags &= ~MI_VIS_MEMBER;
    see_through_step(See_through[i], now);
  }
}

void select_meshes(VisGroup* const* groups, int count) {
  for (int g = 0; g < count; g++) {
    const VisGroup* grp = groups[g];
    for (int k = 0; grp && k < grp->count; k++) {
      const int i = grp->members[k];
      if (i < 0 || i >= Level.instance_count) continue;
      LevelMeshInstance& mi = Level.instances[i];
      if (mi.flags & MI_VIS_SEEN) continue;
      mi.flags |= MI_VIS_SEEN;
      const int alpha = static_cast<int>((See_through[i].state >> 4) & 0xFF);
      if (alpha == 0) continue;
      float r = mi.mesh->radius;
      const LevelMovableMesh* mv = level_mesh_movable_info(i);
      if (mv && (mv->state & MOVABLE_MOVING)) r += (mv->open_pos - mv->closed_pos).length();
      const vector c = mi.bound_center;
      if (gr_3d_sphere_culled(c, r, r > Small_mesh_threshold)) continue;
      if (!mv && gr_3d_box_culled(mi.bound_min, mi.bound_max)) continue;
      if (Scene_force_low_detail) {
        const float q = (c - Eye).length_squared() - r * r;
        const float far_d = fog_get_far();
        if (q >= far_d * far_d) continue;
        if (r < 3.0f && q >= 400.0f) continue;
        if (r >= 3.0f && r < 8.0f && q >= 900.0f) continue;
      }
      DrawEntry* e = new_entry(SCENE_LEVEL_MESH, depth_of(c), r, i, alpha);
      if (!e) continue;
      if (alpha < 255) Translucent[Translucent_count++] = e;
      else if (mi.flags & MI_HAS_ALPHA_FACES) Second[Second_count++] = e;
      else Opaque[Opaque_count++] = e;
      if ((mi.flags & MI_LAMP) && i < static_cast<int>(Lamps.size())) {
        lampglow_fade_out(Lamps[static_cast<size_t>(i)].glow, FrameTimer);
        Glows_marked = true;
      }
    }
  }
}

bool stands_on_seen_mesh(int mesh) {
  if (mesh < 0 || mesh >= Level.instance_count) return false;
  return (Level.instances[mesh].flags & (MI_VIS_SEEN | MI_HIDDEN)) != 0;
}

void select_characters() {
  Character_count = Services.characters && Render_characters
                        ? std::clamp(Services.characters(Characters, SCENE_MAX_CHARACTERS), 0, SCENE_MAX_CHARACTERS)
                        : 0;
  const bool cut = cutscene();
  const float far_d = fog_get_far();
  for (int i = 0; i < Character_count; i++) {
    const SceneCharacter& c = Characters[i];
    Character_drawn[i] = false;
    if (gr_3d_sphere_culled(c.pos, c.radius, false) && !cut) continue;
    bool drawn = cut || c.is_main ||
                 (c.standing_mesh >= 0 && c.standing_mesh < Level.instance_count &&
                  (c.standing_second < 0 || stands_on_seen_mesh(c.standing_mesh)));
    if (!drawn) continue;
    const float d2 = (c.pos - Eye).length_squared();
    if (!cut) {
      if (d2 >= far_d * far_d) continue;
      GrVertex v;
      gr_3d_rotate_point(v, c.pos);
      const float size = v.z > 0.0f ? gr_3d_screen_size(vector(v.x, v.y, v.z), c.radius) : 0.0f;
      if (size < 2.0f && d2 >= 5625.0f) continue;
    } else if (d2 >= 50625.0f) {
      continue;
    }
    DrawEntry* e = new_entry(SCENE_CHARACTER, depth_of(c.pos), c.radius, i, c.model_alpha);
    if (!e) continue;
    if (c.model_alpha != 255) Translucent[Translucent_count++] = e;
    else Second[Second_count++] = e;
    Character_drawn[i] = true;
  }
}

// A character in the lists brings its attached models when near enough.
void select_attachments() {
  Attachment_count = 0;
  if (!Services.attachments) return;
  for (int i = 0; i < Character_count; i++) {
    const SceneCharacter& c = Characters[i];
    if (!Character_drawn[i] || c.type == 1 || c.type == 3) continue;
    if ((c.pos - Eye).length_squared() >= 900.0f) continue;
    const int room = SCENE_MAX_ATTACHMENTS - Attachment_count;
    const int n = std::clamp(Services.attachments(c.handle, Attachments + Attachment_count, room), 0, room);
    for (int k = 0; k < n; k++) {
      const int slot = Attachment_count + k;
      Attachment_owner[slot] = i;
      if (!second_pool_take(SCENE_ATTACHED_ENTRY_BYTES)) continue;
      DrawEntry* e = new_entry(SCENE_ATTACHED, depth_of(Attachments[slot].pos), Attachments[slot].radius, slot, 255);
      if (e) Opaque[Opaque_count++] = e;
      Scene_stats.attachments += e != nullptr;
    }
    Attachment_count += n;
  }
}

// Items and objects near the camera, in view, on a mesh drawn this frame.
void select_objects() {
  Object_count = Services.objects ? std::clamp(Services.objects(Objects, SCENE_MAX_OBJECTS), 0, SCENE_MAX_OBJECTS) : 0;
  const bool cut = cutscene();
  for (int i = 0; i < Object_count; i++) {
    const SceneObject& o = Objects[i];
    if ((o.pos - Eye).length_squared() >= 400.0f) continue;
    if (gr_3d_sphere_culled(o.pos, o.radius, false)) continue;
    if (!cut && o.standing_mesh >= 0 && !stands_on_seen_mesh(o.standing_mesh)) continue;
    if (!second_pool_take(SCENE_ITEM_ENTRY_BYTES)) continue;
    DrawEntry* e = new_entry(o.kind == SCENE_OBJECT ? SCENE_OBJECT : SCENE_ITEM, depth_of(o.pos), o.radius, i, 255);
    if (e) Opaque[Opaque_count++] = e;
    Scene_stats.objects += e != nullptr;
  }
}

void select_effects() {
  Effect_count = Services.effects && Render_effects
                     ? std::clamp(Services.effects(Effects, SCENE_MAX_EFFECTS), 0, SCENE_MAX_EFFECTS)
                     : 0;
  for (int i = 0; i < Effect_count; i++) {
    const SceneEffect& fx = Effects[i];
    bool keep = false;
    if (fx.owner >= 0) {
      for (int c = 0; c < Character_count; c++)
        if (Characters[c].handle == fx.owner && Character_drawn[c]) keep = true;
    } else {
      keep = !gr_3d_sphere_culled(fx.pos, fx.radius, false);
    }
    if (!keep) continue;
    DrawEntry* e = new_entry(SCENE_EFFECT, depth_of(fx.pos), fx.radius, i, 255);
    if (!e) continue;
    if (fx.ground) Second[Second_count++] = e;
    else Translucent[Translucent_count++] = e;
  }
}

void note_selection(VisGroup* const* groups, int count) {
  Selection = groups;
  Selection_count = count;
  bool same = count == Last_selection_count;
  for (int i = 0; same && i < count; i++) same = Last_selection[i] == groups[i];
  Selection_changed = !same || Reevaluate;
  Reevaluate = false;
  Last_selection_count = std::min(count, MAX_VIS_ENTRIES);
  for (int i = 0; i < Last_selection_count; i++) Last_selection[i] = groups[i];
}

const SceneCharacter* main_character() {
  for (int i = 0; i < Character_count; i++)
    if (Characters[i].is_main) return &Characters[i];
  return nullptr;
}

void draw_marker_at(const vector& head, int bitmap, int grey = 255) {
  GrVertex v;
  if (gr_3d_rotate_point(v, head) & CLIP_BEHIND) return;
  if (!(gr_3d_project_point(v) & PF_PROJECTED)) return;
  int w = 0, h = 0;
  bm_get_info(bitmap, &w, &h);
  if (w <= 0) return;
  gr_set_color(grey, grey, grey, 255);
  gr_bitmap(bitmap, static_cast<int>(v.sx) - w / 2 - gr_screen.offset_x, static_cast<int>(v.sy) - 25 - gr_screen.offset_y,
            Gr_preset[1]);
}

// Characters with something to say, near the main character.
void draw_talk_markers() {
  if (Scene_hide_world || cutscene() || Scene_talk_marker_bitmap < 0) return;
  const SceneCharacter* main = main_character();
  if (!main) return;
  for (int i = 0; i < Character_count; i++) {
    const SceneCharacter& c = Characters[i];
    if (!Character_drawn[i] || !c.talk || c.type == 5 || c.type == 9) continue;
    if ((c.pos - main->pos).length_squared() >= 100.0f) continue;
    if (!scene_head_marker_allowed(c, main)) continue;
    draw_marker_at(scene_head_point(c), Scene_talk_marker_bitmap);
  }
}

// The highlighted character's health bar, over its head point.
void draw_health_bar() {
  if (Scene_hide_world || !Highlight_a.object) return;
  const SceneCharacter* main = nullptr;
  for (int i = 0; i < Character_count; i++)
    if (Characters[i].is_main) main = &Characters[i];
  for (int i = 0; i < Character_count; i++) {
    const SceneCharacter& c = Characters[i];
    if (c.handle != Highlight_a.object || !Character_drawn[i]) continue;
    if (c.type != 5 && c.type != 7 && c.type != 9) return;
    if (!cutscene()) {
      if (!main || std::fabs(c.pos.y - main->pos.y) > 4.0f || (c.pos - main->pos).length_squared() >= 2500.0f) return;
    }
    const vector head = c.pos + vector(0.0f, c.height + (c.type == 9 ? 0.0f : 0.75f), 0.0f);
    GrVertex v;
    if (gr_3d_rotate_point(v, head) & CLIP_BEHIND) return;
    if (!(gr_3d_project_point(v) & PF_PROJECTED)) return;
    const int x = static_cast<int>(v.sx) - 16 - gr_screen.offset_x;
    const int y = static_cast<int>(v.sy) - 16 - 5 - gr_screen.offset_y;
    gr_set_color(64, 0, 0, 255);
    gr_rect(x, y, 32, 5, Gr_preset[7]);
    if (c.health > 0 && c.max_health > 0) {
      gr_set_color(255, 0, 0, 255);
      gr_rect(x, y, std::min(32, 32 * c.health / c.max_health), 5, Gr_preset[7]);
    }
    gr_set_color(255, 255, 255, 255);
    return;
  }
}

// Where a world point lands on screen (clip-relative); false when it does
// not project.
bool project(const vector& p, int* x, int* y) {
  GrVertex v;
  if (gr_3d_rotate_point(v, p) & CLIP_BEHIND) return false;
  if (!(gr_3d_project_point(v) & PF_PROJECTED)) return false;
  *x = static_cast<int>(v.sx) - gr_screen.offset_x;
  *y = static_cast<int>(v.sy) - gr_screen.offset_y;
  return true;
}

// A translucent black box of text centred over a world point, its bottom
// at the point: an optional title line, then the text's lines.
void draw_text_box(const vector& at, const char* title, const char* text) {
  int x = 0, y = 0;
  if (!project(at, &x, &y)) return;
  constexpr int MAX_LINES = 8;
  char lines[MAX_LINES + 1][128];
  int count = 0;
  if (title && *title) std::snprintf(lines[count++], sizeof lines[0], "%s", title);
  const int first_text = count;
  for (const char* p = text ? text : ""; *p && count <= MAX_LINES;) {
    const char* end = std::strchr(p, '\n');
    const int len = static_cast<int>(end ? end - p : static_cast<long>(std::strlen(p)));
    std::snprintf(lines[count++], sizeof lines[0], "%.*s", len, p);
    if (!end) break;
    p = end + 1;
  }
  if (count == 0) return;
  int box_w = 0, line_h = 0;
  for (int i = 0; i < count; i++) {
    int w = 0, h = 0;
    gr_get_string_size(&w, &h, lines[i]);
    box_w = std::max(box_w, w);
    line_h = std::max(line_h, h);
  }
  box_w += 8;
  const int box_h = count * line_h + 4;
  const int bx = x - box_w / 2, by = y - box_h;
  gr_set_color(0, 0, 0, 190);
  gr_rect(bx, by, box_w, box_h, Gr_preset[7]);
  for (int i = 0; i < count; i++) {
    if (i < first_text) gr_set_color(200, 100, 100, 255);
    else gr_set_color(200, 200, 200, 255);
    gr_string(bx + 4, by + 2 + i * line_h, lines[i]);
  }
  gr_set_color(255, 255, 255, 255);
}

int find_character(int handle) {
  for (int i = 0; i < Character_count; i++)
    if (Characters[i].handle == handle) return i;
  return -1;
}

// Spoken lines over their speakers.
void draw_speech() {
  if (!Services.speech) return;
  SceneSpeech lines[SCENE_MAX_SPEECH];
  const int n = std::clamp(Services.speech(lines, SCENE_MAX_SPEECH), 0, SCENE_MAX_SPEECH);
  const SceneCharacter* main = main_character();
  for (int i = 0; i < n; i++) {
    const int slot = find_character(lines[i].speaker);
    if (slot < 0 || !Character_drawn[slot] || !lines[i].text) continue;
    const SceneCharacter& c = Characters[slot];
    if (!scene_head_marker_allowed(c, main)) continue;
    draw_text_box(c.pos + vector(0.0f, c.height + 0.3f, 0.0f), nullptr, lines[i].text);
  }
}

void draw_labels() {
  for (const Label& l : Labels)
    if (l.on) draw_text_box(l.pos, l.title, l.text);
}

// The floating values of the characters queued this frame.
void draw_plates() {
  const SceneCharacter* main = main_character();
  for (int i = 0; i < Plate_count; i++) {
    const SceneCharacter& c = Characters[Plates[i]];
    if (!scene_plate_in_range(c, main)) continue;
    int x = 0, y = 0;
    if (!project(c.pos + vector(0.0f, c.height + 0.3f, 0.0f), &x, &y)) continue;
    switch (c.plate_kind) {
      case SCENE_PLATE_HEAL: gr_set_color(80, 255, 80, 255); break;
      case SCENE_PLATE_OTHER: gr_set_color(255, 255, 120, 255); break;
      default: gr_set_color(255, 70, 50, 255); break;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%d", c.plate_damage);
    int w = 0, h = 0;
    gr_get_string_size(&w, &h, text);
    gr_string(x - w / 2, y - h, text);
    if (c.plate_percent >= 0) {
      std::snprintf(text, sizeof text, "%d%%", c.plate_percent);
      int pw = 0;
      gr_get_string_size(&pw, &h, text);
      gr_string(x - pw / 2, y - 2 * h, text);
    }
  }
  gr_set_color(255, 255, 255, 255);
}

// The floating texts of the characters drawn this frame.
void draw_float_texts() {
  const SceneCharacter* main = main_character();
  for (int i = 0; i < Character_count; i++) {
    const SceneCharacter& c = Characters[i];
    if (!Character_drawn[i] || !c.float_text || !c.float_text[0] || c.float_time <= 0.0f) continue;
    if (!scene_plate_in_range(c, main)) continue;
    int x = 0, y = 0;
    const vector at = c.pos + vector(0.0f, c.height + 0.5f + scene_float_text_rise(c.float_time), 0.0f);
    if (!project(at, &x, &y)) continue;
    int w = 0, h = 0;
    gr_get_string_size(&w, &h, c.float_text);
    gr_set_color(c.float_rgb[0], c.float_rgb[1], c.float_rgb[2], scene_float_text_alpha(c.float_time));
    gr_string(x - w / 2, y - h, c.float_text);
  }
  gr_set_color(255, 255, 255, 255);
}

void draw_main_marker() {
  const bool requested = Main_marker_requested;
  Main_marker_requested = false;
  if (!requested || Scene_main_marker_bitmap < 0) return;
  if (const SceneCharacter* main = main_character())
    draw_marker_at(scene_head_point(*main), Scene_main_marker_bitmap, 200);
}

// Black bars over and under the cutscene's picture, or the top line.
void draw_letterbox() {
  const bool bars = cutscene() && Services.letterbox && Services.letterbox();
  if (!bars && !Scene_top_line) return;
  const int ox = gr_screen.offset_x, oy = gr_screen.offset_y;
  const int cw = gr_screen.clip_width, ch = gr_screen.clip_height;
  gr_reset_clip();
  gr_set_color(0, 0, 0, 255);
  if (bars) {
    const int bar = scene_letterbox_bar(gr_screen.width, gr_screen.height);
    if (bar > 0) {
      gr_rect(0, 0, gr_screen.width, bar, Gr_preset[7]);
      gr_rect(0, gr_screen.height - bar, gr_screen.width, bar, Gr_preset[7]);
    }
  } else {
    gr_rect(0, 0, gr_screen.width, 3, Gr_preset[7]);
  }
  gr_set_color(255, 255, 255, 255);
  gr_set_clip(ox, oy, cw, ch);
}

void sort_translucent() {
  for (int gap = Translucent_count / 2; gap > 0; gap /= 2)
    for (int i = gap; i < Translucent_count; i++)
      for (int j = i - gap; j >= 0 && Translucent[j + gap]->near_depth > Translucent[j]->near_depth; j -= gap)
        std::swap(Translucent[j], Translucent[j + gap]);
}

void draw_mesh(const DrawEntry& e) {
  LevelMeshInstance& mi = Level.instances[e.index];
  if (mi.flags & MI_HIDDEN) return;
  int alpha = e.alpha;
  if (!Cull_ground) {
    if (Scene_fade < 255 && (Cull_ground_too || !(mi.flags & MI_GROUND))) alpha = Scene_fade;
  } else if (Cull_ground_too || !(mi.flags & MI_GROUND)) {
    return;
  }
  if (alpha <= 0) return;
  Scene_stats.meshes_drawn++;
  gr_set_color(255, 255, 255, 255);
  bool restore_far = false;
  Gr3dFrame frame;
  gr_3d_get_frame(frame);
  if (mi.flags & MI_OCEAN) {
    const float ocean = cutscene() ? 160.0f : 80.0f;
    if (!frame.far_clipping || ocean < frame.far_distance) {
      gr_3d_set_far_plane(ocean / std::max(Gr_level_fog_multiplier, 0.0001f));
      restore_far = true;
    }
  }
  // Lights that reach the instance, moved into its own frame.
  LevelDynLight local[SCENE_MAX_DYN_LIGHTS];
  const LevelDynLight* list[SCENE_MAX_DYN_LIGHTS];
  int n = 0;
  if (Scene_options.dynamic_lights && !(mi.flags & (MI_NO_LIGHTMAP_FILE | MI_NO_DYNAMIC_LIGHT))) {
    for (int i = 0; i < Dyn_count; i++) {
      const LevelDynLight& l = Dyn_lights[i];
      const float reach = mi.mesh->radius + (l.ranged ? l.far_dist : 1e9f);
      if ((l.pos - mi.bound_center).length_squared() > reach * reach) continue;
      local[n] = l;
      (l.pos - mi.pos).rotated(local[n].pos, mi.orient);
      list[n] = &local[n];
      n++;
    }
  }
  const int as_object = scene_highlight_mesh(e.index);
  const Highlight* h = Highlight_a.object == as_object   ? &Highlight_a
                       : Highlight_b.object == as_object ? &Highlight_b
                                                         : nullptr;
  if (h) gr_set_tint(true, h->r / 255.0f, h->g / 255.0f, h->b / 255.0f);
  gr_3d_start_instance(mi.pos, mi.orient, false);
  switch (gr_screen.renderer) {
    case GR_DIRECT3D: levelrender_draw_d3d(&mi, alpha, n, list); break;
    case GR_GLIDE: levelrender_draw_glide(&mi, alpha, n, list); break;
    case GR_OPENGL: levelrender_draw_opengl(&mi, alpha, n, list); break;
    default: break;
  }
  gr_3d_end_instance();
  if ((mi.flags & (MI_GROUND | MI_NEAR_DEPTH)) && e.depth < 20.0f && decal_mark_faces(e.index) > 0) {
    const vector* positions = mi.mesh->positions;
    if ((mi.flags & MI_VERTEX_ANIM) && mi.mesh->vertex_count <= LEVELRENDER_MAX_VERTICES) {
      levelrender_vertex_anim(mi, Decal_positions);
      positions = Decal_positions;
    }
    decal_draw_on_mesh(e.index, positions);
  }
  if (h) gr_set_tint(false, 1.0f, 1.0f, 1.0f);
  if (restore_far) gr_3d_set_far_plane(Frame_far);
}

void draw_character(const DrawEntry& e) {
  const SceneCharacter& c = Characters[e.index];
  if (!c.draw) return;
  int detail = 0;
  if (!cutscene() && !Scene_all_full_detail) {
    const int mode = c.type == 7 ? Scene_options.lod_main : Scene_options.lod_other;
    detail = scene_character_detail(c.type, (c.pos - Eye).length(), mode);
  }
  if (Scene_force_low_detail) detail = 2;
  int alpha = c.model_alpha;
  if (Pair_on) {
    alpha = scene_pair_range_alpha(alpha, (c.pos - Eye).length_squared());
    if (alpha < 0) {
      Character_drawn[e.index] = false;
      return;
    }
  }
  const Highlight* h = c.handle == 0                     ? nullptr
                       : Highlight_a.object == c.handle ? &Highlight_a
                       : Highlight_b.object == c.handle ? &Highlight_b
                                                        : nullptr;
  if (h) gr_set_color(h->r, h->g, h->b, 255);
  else gr_set_color(255, 255, 255, 255);
  const bool tinted = Tint_handle >= 0 && c.handle == Tint_handle;
  if (tinted) gr_set_tint(true, Tint_r, Tint_g, Tint_b);
  c.draw(c.handle, detail, alpha);
  if (tinted) gr_set_tint(false, 1.0f, 1.0f, 1.0f);
  if (c.plate && Plate_count < SCENE_MAX_PLATES) Plates[Plate_count++] = e.index;
}

// The shadow pass: characters near the eye, each list from its end to its
// start (the two opaque lists as one, then the translucent one), add their
// blob shadows; the first sixteen are kept.
void add_shadows(DrawEntry** list, int count) {
  for (int i = count - 1; i >= 0; i--) {
    if (list[i]->kind != SCENE_CHARACTER) continue;
    const SceneCharacter& c = Characters[list[i]->index];
    if (!scene_shadow_wanted(c.type, list[i]->near_depth, c.no_shadow)) continue;
    ShadowCaster caster{};
    if (Character_drawn[list[i]->index] && c.shadow && c.shadow(c.handle, &caster) &&
        creature_shadow_add(caster) == 0)
      Scene_stats.shadows++;
  }
}

// Each blob shadow is a one-frame decal straight down from its point: as
// wide as its cone where the ground lies, 2 below, and deep enough to reach
// its far distance.
void place_shadow_decals() {
  for (int i = 0; i < creature_shadow_count(); i++) {
    const ShadowProjection* p = creature_shadow_get(i);
    if (!p || p->bitmap < 0) continue;
    const float r = std::tan(p->half_angle) * 2.0f;
    if (r <= 0.0f) continue;
    decal_add(p->bitmap, p->pos, vector(r, 0.0f, 0.0f), vector(0.0f, 0.0f, r), 0, false, 0, p->far_dist / r);
  }
}

// Lamps near the eye in the opaque lists: a ray from the lamp to the eye
// tries the mesh that hid it last, then the list's other meshes from the
// last; a clear ray grows the glow. Then the glow is drawn.
void lamp_glows(DrawEntry** list, int count) {
  for (int i = 0; i < count; i++) {
    const DrawEntry& e = *list[i];
    if (e.kind != SCENE_LEVEL_MESH || e.index >= static_cast<int>(Lamps.size())) continue;
    const LevelMeshInstance& mi = Level.instances[e.index];
    if (!(mi.flags & MI_LAMP) || (mi.bound_center - Eye).length_squared() >= 1600.0f) continue;
    LampRecord& lamp = Lamps[static_cast<size_t>(e.index)];
    CollisionQuery q{};
    q.start = mi.bound_center;
    q.delta = Eye - mi.bound_center;
    q.radius = 0.0f;
    q.options = CQ_FIRST_INSTANCE;
    CollisionResult r{};
    auto hits = [&](int instance) {
      if (instance < 0 || instance == e.index) return false;
      collide_mesh(instance, &q, &r, 1);
      return r.count > 0;
    };
    int hit = hits(lamp.occluder) ? lamp.occluder : -1;
    for (int k = count - 1; hit < 0 && k >= 0; k--)
      if (list[k]->kind == SCENE_LEVEL_MESH && list[k]->index != lamp.occluder && hits(list[k]->index))
        hit = list[k]->index;
    lamp.occluder = hit;
    if (hit < 0) lampglow_fade_in(lamp.glow, FrameTimer);
    lampglow_draw(lamp.glow);
  }
}

void draw_list(DrawEntry** list, int count) {
  for (int i = 0; i < count; i++) {
    const DrawEntry& e = *list[i];
    switch (e.kind) {
      case SCENE_LEVEL_MESH:
        if (Render_level) draw_mesh(e);
        break;
      case SCENE_CHARACTER: draw_character(e); break;
      case SCENE_ATTACHED: {
        const SceneAttachment& a = Attachments[e.index];
        const int owner = Attachment_owner[e.index];
        const int alpha = owner >= 0 && owner < Character_count ? Characters[owner].model_alpha : 255;
        gr_set_color(255, 255, 255, 255);
        if (a.draw) a.draw(a.handle, alpha);
        break;
      }
      case SCENE_ITEM:
      case SCENE_OBJECT:
        gr_set_color(255, 255, 255, 255);
        if (Objects[e.index].draw) Objects[e.index].draw(Objects[e.index].handle);
        break;
      case SCENE_EFFECT:
        if (!(Cull_ground && Effects[e.index].ground) && Effects[e.index].draw) Effects[e.index].draw(Effects[e.index].handle);
        break;
      default: break;
    }
  }
}

}  // namespace

void scene_set_services(const SceneServices& services) { Services = services; }

int scene_character_detail(int type, float distance, int lod_mode) {
  if (lod_mode == 0) return distance >= 0.6f * Main_character_lod_dist ? 2 : 0;
  if (lod_mode == 1) return 0;
  return distance >= (type == 7 ? Main_character_lod_dist : Character_lod_dist) ? 2 : 0;
}

int scene_pair_range_alpha(int alpha, float d2) {
  if (!Pair_on || d2 <= Pair_a2) return alpha;
  if (d2 > Pair_b2 || Pair_b2 <= Pair_a2) return -1;
  return static_cast<int>(static_cast<float>(alpha) * (Pair_b2 - d2) / (Pair_b2 - Pair_a2));
}

int see_through_step(SeeThroughRecord& r, int32_t now) {
  const bool wanted = (r.state & SEE_THROUGH_WANTED) != 0;
  int32_t e = now - r.stamp;
  int state = static_cast<int>(r.state & 3);
  int alpha = 255;
  switch (state) {
    case 0:
      if (wanted) {
        r.stamp = now;
        state = 3;
        e = 0;
      }
      break;
    case 1:
      // While still wanted the second of grace starts again.
      if (wanted) {
        r.stamp = now;
      } else if (e > 1000) {
        r.stamp = now;
        state = 2;
        e = 0;
      }
      break;
    case 2:
      if (wanted) {
        e = std::clamp(270 - e, 0, 270);
        r.stamp = now - e;
        state = 3;
      } else if (e >= 270) {
        state = 0;
      }
      break;
    case 3:
      if (e >= 270) {
        state = 1;
        r.stamp = now;
      } else if (!wanted && e > 1000) {
        e = std::clamp(270 - e, 0, 270);
        r.stamp = now - e;
        state = 2;
      }
      break;
  }
  switch (state) {
    case 0: alpha = 255; break;
    case 1: alpha = 128; break;
    case 2: alpha = 128 + std::clamp(e, 0, 270) * 127 / 270; break;
    case 3: alpha = 255 - std::clamp(e, 0, 270) * 127 / 270; break;
  }
  r.state = (r.state & ~3u & ~(0xFFu << 4)) | static_cast<uint32_t>(state) | (static_cast<uint32_t>(alpha) << 4);
  return alpha;
}

const SeeThroughRecord* scene_see_through(int instance) {
  if (instance < 0 || instance >= static_cast<int>(See_through.size())) return nullptr;
  return &See_through[instance];
}

void scene_fade_out() {
  if (Scene_fade >= 254) Scene_fade = 254;
  Fade_in = false;
}

void scene_fade_in() {
  Scene_fade = 255;
  Fade_in = true;
  Cull_ground = false;
}

void scene_set_highlight_a(int object, int r, int g, int b) { Highlight_a = Highlight{object, r, g, b}; }
void scene_set_highlight_b(int object, int r, int g, int b) { Highlight_b = Highlight{object, r, g, b}; }

void scene_set_tint(int handle, float r, float g, float b) {
  Tint_handle = handle;
  Tint_r = r, Tint_g = g, Tint_b = b;
}

vector scene_head_point(const SceneCharacter& c) {
  vector p;
  if (c.bone && c.bone(c.handle, "BDBN-Head", &p)) return p;
  if (c.bone && c.bone(c.handle, "Head", &p)) return p + vector(0.0f, 0.1f, 0.0f);
  return c.pos + vector(0.0f, c.height, 0.0f);
}

bool scene_head_marker_allowed(const SceneCharacter& c, const SceneCharacter* main) {
  if (!c.name || strcasecmp(c.name, "Dizavadi") != 0 || c.type == 7) return true;
  if (!main || !(c.state & 2)) return false;
  return std::fabs(c.pos.y - main->pos.y) <= 4.0f && (c.pos - main->pos).length_squared() < 2500.0f;
}

void scene_draw_head_marker(int character, int bitmap) {
  for (int i = 0; i < Character_count; i++) {
    const SceneCharacter& c = Characters[i];
    if (c.handle != character) continue;
    if (scene_head_marker_allowed(c, main_character())) draw_marker_at(scene_head_point(c), bitmap);
    return;
  }
}

bool scene_group_selected(const char* name) {
  if (!name) return false;
  for (int i = 0; i < Selection_count; i++)
    if (Selection[i] && strcasecmp(Selection[i]->name, name) == 0) return true;
  return false;
}

bool scene_selection_changed() { return Selection_changed; }

void scene_request_reevaluation() { Reevaluate = true; }

void scene_label_set(int slot, const vector& pos, const char* title, const char* text) {
  if (slot < 0 || slot >= SCENE_MAX_LABELS) return;
  Label& l = Labels[slot];
  l.on = true;
  l.pos = pos;
  std::snprintf(l.title, sizeof l.title, "%s", title ? title : "");
  std::snprintf(l.text, sizeof l.text, "%s", text ? text : "");
}

void scene_label_clear(int slot) {
  if (slot >= 0 && slot < SCENE_MAX_LABELS) Labels[slot].on = false;
}

float scene_float_text_rise(float seconds) {
  const float age = 2.0f - std::clamp(seconds, 0.0f, 2.0f);
  return 0.5f * age;
}

int scene_float_text_alpha(float seconds) {
  if (seconds >= 0.5f) return 255;
  return seconds <= 0.0f ? 0 : static_cast<int>(255.0f * seconds / 0.5f);
}

void scene_request_main_marker() { Main_marker_requested = true; }

int scene_letterbox_bar(int w, int h) { return std::max(0, (h - w / 2) / 2); }

bool scene_shadow_wanted(int type, float near_depth, bool no_shadow) {
  if (near_depth > 20.0f) return false;
  if (type != 4 && type != 5 && type != 7) return false;
  return !no_shadow;
}

bool scene_plate_in_range(const SceneCharacter& c, const SceneCharacter* main) {
  if (!main) return false;
  return std::fabs(c.pos.y - main->pos.y) <= 4.0f && (c.pos - main->pos).length_squared() < 2500.0f;
}

bool scene_point_visible(const vector& point, float radius) { return !gr_3d_sphere_culled(point, radius, false); }

void scene_set_pair_range(float a, float b) {
  Pair_on = true;
  Pair_a = a, Pair_b = b;
  Pair_a2 = a * a, Pair_b2 = b * b;
}
void scene_clear_pair_range() { Pair_on = false; }
float scene_pair_range_b() { return Pair_on ? Pair_b : 0.0f; }

void level_render_setup(const char* level_file_name) {
  lampglow_init();
  if (Num_detail_levels == 0) detail_levels_load();
  Detail_level_current = detail_level_find(level_file_name);
  detail_entry_apply(Detail_level_current, Scene_options.level_detail);
  for (int l = 0; l < MAX_VIS_LAYERS; l++) vis_layer_set_snow(l, true);
  for (VisLayer& l : Vis_layers) l.fog_far = l.fog_near = 0.0f;
  vis_override_end();
  for (int i = 0; i < SCENE_MAX_LABELS; i++) scene_label_clear(i);
  decal_mask_layout();
  fog_apply_fallback();
  detail_levels_apply();
  Opaque_count = Second_count = Translucent_count = Pool_used = 0;
  Dyn_count = 0;
  See_through.assign(static_cast<size_t>(std::max(Level.instance_count, 0)),
                     SeeThroughRecord{nullptr, 0xFFu << 4, timer_game_clock});
  for (int g = 0; g < Level.vis_group_count; g++) {
    VisGroup& grp = Level.vis_groups[g];
    if (strncasecmp(grp.name, "$seethru", 8) != 0) continue;
    for (int k = 0; k < grp.count; k++)
      if (grp.members[k] >= 0 && grp.members[k] < Level.instance_count) See_through[grp.members[k]].link = &grp;
  }
  levelrender_setup_lights();
  levelrender_create_vertex_buffer();
  decal_pool_reset();
  Lamps.assign(static_cast<size_t>(std::max(Level.instance_count, 0)), LampRecord{});
  for (int i = 0; i < Level.instance_count; i++) {
    const LevelMeshInstance& mi = Level.instances[i];
    if ((mi.flags & MI_LAMP) && mi.mesh) Lamps[static_cast<size_t>(i)].glow = lampglow_add(mi.bound_center, mi.mesh->radius);
  }
}

void level_render_reset() {
  lampglow_clear();
  Lamps.clear();
  decal_pool_reset();
  levelrender_release_vertex_buffer();
  fog_level_reset();
  Opaque_count = Second_count = Translucent_count = Pool_used = 0;
  See_through.clear();
  if (Level.instances)
    for (int i = 0; i < Level.instance_count; i++) Level.instances[i].flags &= ~(MI_VIS_SEEN | MI_VIS_MEMBER);
}

void scene_render() {
  Scene_stats = SceneStats{};
  Opaque_count = Second_count = Translucent_count = Pool_used = 0;
  Second_pool_used = 0;
  vector eye;
  matrix orient;
  float fov = 90.0f;
  if (!Services.camera || !Services.camera(&eye, &orient, &fov)) return;
  Eye = eye;
  View_orient = orient;
  if (static_cast<int>(See_through.size()) != Level.instance_count)
    See_through.assign(static_cast<size_t>(std::max(Level.instance_count, 0)),
                       SeeThroughRecord{nullptr, 0xFFu << 4, timer_game_clock});

  VisGroup* const* groups = nullptr;
  const int group_count = vis_selected_groups(Scene_options.level_detail, &groups);
  Scene_stats.groups = group_count;
  note_selection(groups, group_count);

  if (Scene_fade > 0 && Scene_fade < 255) {
    Scene_fade += static_cast<int>(FrameTimer * (Fade_in ? 256.0f : -256.0f));
    Scene_fade = std::clamp(Scene_fade, 0, 255);
  }
  Cull_ground = Scene_fade == 0;

  if (Scene_lights_changed) {
    levelrender_setup_lights();
    Scene_lights_changed = false;
  }
  Dyn_count = 0;
  if (!Scene_force_low_detail && Services.light_channels)
    Dyn_count = std::clamp(Services.light_channels(Dyn_lights, SCENE_MAX_DYN_LIGHTS), 0, SCENE_MAX_DYN_LIGHTS);
  Scene_stats.dyn_lights = Dyn_count;
  decal_mask_clear();
  Plate_count = 0;
  Glows_marked = false;

  if (Fog_framerate_on) {
    if (frametime_fps < 15.0f) Fog_framerate_factor += 0.02f;
    else if (frametime_fps >= 24.0f) Fog_framerate_factor -= 0.02f;
    Fog_framerate_factor = std::clamp(Fog_framerate_factor, 0.0f, 0.8f);
  }
  set_fog_for_frame();
  gr_3d_start_frame(eye, orient, fov, true);
  set_fog_for_frame();  // the fog's depth range follows the frame's projection
  snow_update(FrameTimer);

  mark_see_through(groups, group_count, timer_game_clock);
  select_meshes(groups, group_count);
  Scene_stats.meshes_opaque = Opaque_count;
  Scene_stats.meshes_second = Second_count;
  Scene_stats.meshes_translucent = Translucent_count;
  select_characters();
  select_attachments();
  select_objects();
  select_effects();
  sort_translucent();
  for (int i = 0; i < Character_count; i++) Scene_stats.characters += Character_drawn[i];
  Scene_stats.effects = Effect_count;

  // Shadows go down as decals before the level they land on is drawn.
  creature_shadows_clear();
  add_shadows(Second, Second_count);
  add_shadows(Opaque, Opaque_count);
  add_shadows(Translucent, Translucent_count);
  place_shadow_decals();

  draw_list(Opaque, Opaque_count);
  draw_list(Second, Second_count);
  draw_list(Translucent, Translucent_count);
  if (Glows_marked) {
    lamp_glows(Opaque, Opaque_count);
    lamp_glows(Second, Second_count);
  }
  gr_set_color(255, 255, 255, 255);
  if (vis_layer_has_snow(Vis_current_layer)) snow_draw();
  // The world's buffered translucent polygons (glows, sprites) go out
  // before the overlays are written over them.
  gr_alpha_flush();
  gr_set_color(255, 255, 255, 255);
  if (!Scene_hide_world) {
    draw_speech();
    draw_labels();
    draw_health_bar();
    draw_main_marker();
    draw_plates();
    draw_float_texts();
  }
  draw_talk_markers();

  for (int g = 0; g < group_count; g++) {
    const VisGroup* grp = groups[g];
    for (int k = 0; grp && k < grp->count; k++)
      if (grp->members[k] >= 0 && grp->members[k] < Level.instance_count)
        Level.instances[grp->members[k]].flags &= ~(MI_VIS_SEEN | MI_VIS_MEMBER);
  }
  Vis_previous_layer = Vis_current_layer;
  decal_end_frame();
  draw_letterbox();
}

// "set_fog far [near]".
static ConsoleCommand Set_fog_cmd("set_fog", "Set the fogging clip plane.", [] {
  if (Console_run) {
    console_get_arg(ARG_FLOAT | ARG_INT);
    const float far_d = Console_arg.float_value;
    float near_d = far_d - 10.0f >= 1.0f ? far_d - 10.0f : 1.0f;
    console_get_arg(ARG_FLOAT | ARG_INT | ARG_NONE);
    if (!(Console_arg.type & ARG_NONE)) near_d = Console_arg.float_value;
    fog_set(near_d, far_d);
  }
  if (Console_help) console_printf("Usage: set_fog far [near]\nSet the fogging clip plane.\n");
  if (Console_status)
    console_printf("Fog is currently at far: %.3f meters and near: %.3f meters.\n", static_cast<double>(Fog_far),
                   static_cast<double>(Fog_near));
});
