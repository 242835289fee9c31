// The world map's landmarks on the HUD: the records are filled at each
// level start, the "L" key turns them on and off, and each frame their
// labels (and for those outside the view, an arrow at the edge of the view
// pointing at them) are drawn over the scene through the frame's 3-D view.
#include "Orrimund/screens/landmarks_hud.h"

#include <cstdio>

#include "Engine/Objects/living_entity.h"
#include "Orrimund/player/party.h"
#include "Orrimund/screens/screen_ui.h"
#include "Orrimund/screens/screens.h"
#include "Orrimund/startup.h"
#include "levelscripts/Scripts/front_story.h"
#include "levelscripts/level_flags.h"
#include "levelscripts/level_scripts.h"
#include "levelscripts/script_runner.h"
#include "quarn/bmpman/bmpman.h"
#include "quarn/gr/gr.h"
#include "quarn/gr/gr3d.h"
#include "quarn/gr/gr_font.h"

namespace {
struct FrameView final : LandmarkView {
  bool project(const vector& p, float* x, float* y) override {
    GrVertex v;
    gr_3d_rotate_point(v, p);
    if (gr_3d_project_point(v) & PF_BEHIND) return false;
    *x = v.sx;
    *y = v.sy;
    return true;
  }
  bool sphere_in_view(const vector& c, float r) override { return !gr_3d_sphere_culled(c, r, true); }
  void text_size(const char* text, int* w, int* h) override { gr_get_string_size(w, h, text); }
};

bool find_navpoint(const char* name, vector* pos) {
  matrix orient;
  return navpoint_get_position(name, pos, &orient);
}

bool on_map() { return Level_script_current == WORLDMAP_LEVEL_INDEX; }

// The arrow art, which points left: drawn turned by the arrow's angle plus
// half a turn, it points from the hero towards the landmark.
int Arrow_bitmap = -1;
constexpr float ARROW_SIZE_FACTOR[3] = {1.0f, 1.25f, 1.6f};
}  // namespace

void landmarks_hud_level_start() {
  if (!on_map()) return;
  char name[64];
  std::snprintf(name, sizeof name, "LandmarkArrow%s", ui_art_suffix());
  const int bm = bm_load(name);
  Arrow_bitmap = bm >= 0 && !bm_is_placeholder(bm) ? bm : -1;
  landmarks_level_start(judge_game_stage(), find_navpoint);
}

bool landmarks_hud_key(int key) {
  if (!on_map() || !landmarks_key(Level_script_current, key)) return false;
  front_play_sound(39);
  return true;
}

void landmarks_hud_render() {
  if (!on_map() || !Landmarks_display || !Selected_entity || Arrow_bitmap < 0) return;
  FrameView view;
  if (!landmarks_update(view, Selected_entity->pos, ResolutionIndex)) return;
  const float size = ARROW_SIZE_FACTOR[ResolutionIndex < 0 ? 0 : ResolutionIndex > 2 ? 2 : ResolutionIndex];
  for (const Landmark& l : Landmarks) {
    if (l.flags & LANDMARK_ARROW) {
      gr_set_color(255, 255, 255, 255);
      gr_bitmap_rotated(Arrow_bitmap, l.arrow_x, l.arrow_y, l.scale * size, l.angle + 3.14159265f, Gr_preset[1]);
    }
    if (!(l.flags & LANDMARK_LABEL)) continue;
    const int x = static_cast<int>(l.label_x), y = static_cast<int>(l.label_y);
    ui_fill_rect(x, y, l.label_w, l.label_h, Color(0, 0, 0, 160));
    gr_set_color(255, 255, 220, 255);
    gr_string(x + 2, y + 2, l.label);
  }
}
