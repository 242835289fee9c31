// Visibility layers, fog, the detail and shadow tables, blob shadows.
#include "Engine/rendering/levelvis.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Engine/rendering/levelrender.h"
#include "Engine/s3d/level_objects.h"
#include "quarn/bmpman/bmpman.h"
#include "quarn/gr/gr.h"
#include "quarn/os/console.h"
#include "quarn/parse/parse.h"
#include "quarn/vfile/vfile.h"

VisLayer Vis_layers[MAX_VIS_LAYERS];
int Vis_current_layer = -1;
int Vis_previous_layer = -1;

float Fog_far = 50.0f, Fog_near = 35.0f;
float Fog_default_far = 50.0f, Fog_default_near = 35.0f;
constexpr float FOG_CHAR_DEFAULT_NEAR = 35.0f, FOG_CHAR_DEFAULT_FAR = 50.0f;
float Fog_char_near = FOG_CHAR_DEFAULT_NEAR, Fog_char_far = FOG_CHAR_DEFAULT_FAR;
uint8_t Fog_r = 0, Fog_g = 0, Fog_b = 0;
bool Fog_framerate_on = false;
float Fog_framerate_factor = 0.0f;

DetailLevelEntry Detail_levels[MAX_DETAIL_LEVELS];
int Num_detail_levels = 0;
int Detail_level_current = -1;
SceneOptions Scene_options;
RendererDetail Renderer_detail;
bool Scene_top_line = false;

ShadowEntry Shadow_entries[MAX_SHADOW_ENTRIES];
int Num_shadow_entries = 0;

namespace {

VisServices Services{};
VisGroup* Plain_list[MAX_VIS_ENTRIES];
VisGroup* High_list[MAX_VIS_ENTRIES];
VisGroup* Override_list[MAX_VIS_OVERRIDE];
int Override_count = 0;
bool Override_on = false;
bool Zone_applied = false;
bool Fog_defaults_set = false;
bool Detail_loaded = false;

ShadowProjection Shadows[MAX_CREATURE_SHADOWS];
int Shadow_count = 0;
int Shadow_bitmap = -1;

VisGroup* base_group() { return &Level.vis_base; }

bool camera_allows() {
  if (!Services.camera_state) return true;
  const int s = Services.camera_state();
  return (s & 1) && !(s & 8);
}

bool quoted_next(ParseContext& p) {
  p.skip_space();
  return !p.at_end() && *p.cursor() == '"';
}

// "$layer" and a number 1..20 (the layer's index plus one); -1 otherwise.
int layer_number(const char* name) {
  if (strncasecmp(name, "$layer", 6) != 0) return -1;
  const char* digits = name + 6;
  if (!*digits) return -1;
  for (const char* c = digits; *c; c++)
    if (!std::isdigit(static_cast<unsigned char>(*c))) return -1;
  if (std::strlen(digits) > 2) return -1;
  const int n = std::atoi(digits);
  return n >= 1 && n <= MAX_VIS_LAYERS ? n - 1 : -1;
}

void clear_layers() {
  for (VisLayer& l : Vis_layers) {
    l.count = 0;
    l.plain = Plain_list;
    l.high = High_list;
    l.camera_pref = 0;
  }
}

// Reads the whole of a table file into a parse context; false when absent.
bool open_table(ParseContext& p, const char* name) { return p.open(name, VFILE_ANY_TYPE) == 0; }

}  // namespace

void vis_set_services(const VisServices& services) { Services = services; }

// ---- Visibility layers --------------------------------------------------------------------

void vis_defaults() {
  clear_layers();
  Plain_list[0] = High_list[0] = base_group();
  for (VisLayer& l : Vis_layers) l.count = 1;
}

void vis_parse_text(const char* file_name, const char* text, int length) {
  ParseContext p;
  p.open_memory(file_name, text, static_cast<size_t>(std::max(length, 0)));
  clear_layers();
  int used = 0;
  bool stopped = false;
  char name[64];
  while (p.optional_string("$vis_set")) {
    p.read_string(name, sizeof name);
    const int layer = layer_number(name);
    if (layer < 0 || used >= MAX_VIS_ENTRIES) {
      stopped = true;
      break;
    }
    VisLayer& l = Vis_layers[layer];
    if (p.optional_string("$high_camera")) {
      l.camera_pref = 1;
    } else {
      p.optional_string("$low_camera");
      l.camera_pref = 0;
    }
    // "$vis_base" is every layer's first member and takes an entry.
    l.count = 1;
    l.plain = Plain_list + used;
    l.high = High_list + used;
    Plain_list[used] = High_list[used] = base_group();
    used++;
    while (quoted_next(p)) {
      p.read_string(name, sizeof name);
      VisGroup* g = vis_group_find(name);
      if (!g) {
        console_printf("could not find visibility selset %s, ignoring!\n", name);
        continue;
      }
      char high[80];
      std::snprintf(high, sizeof high, "%.4sHIGH%s", name, std::strlen(name) > 4 ? name + 4 : "");
      VisGroup* h = vis_group_find(high);
      if (used >= MAX_VIS_ENTRIES) {
        stopped = true;
        break;
      }
      Plain_list[used] = g;
      High_list[used] = h ? h : g;
      used++;
      l.count++;
    }
    if (stopped) break;
  }
  if (stopped) return;
  p.require_string("$end");
  if (used == 0) Plain_list[0] = High_list[0] = base_group();
  for (VisLayer& l : Vis_layers) {
    if (l.count == 0) {
      l.count = 1;
      l.plain = Plain_list;
      l.high = High_list;
    }
  }
}

int vis_load(const char* level_name) {
  Override_count = 0;
  Override_on = false;
  Vis_previous_layer = -1;
  char file[256];
  if (!level_name || std::snprintf(file, sizeof file, "%s.vis", level_name) >= static_cast<int>(sizeof file)) {
    vis_defaults();
    return 0;
  }
  ParseContext p;
  if (!open_table(p, file)) {
    vis_defaults();
    return 0;
  }
  vis_parse_text(file, p.text(), static_cast<int>(p.length()));
  return 0;
}

int vis_selected_groups(int level_detail, VisGroup* const** out) {
  if (Override_on) {
    *out = Override_list;
    return Override_count;
  }
  if (Vis_current_layer < 0 || Vis_current_layer >= MAX_VIS_LAYERS) {
    *out = nullptr;
    return 0;
  }
  const VisLayer& l = Vis_layers[Vis_current_layer];
  *out = level_detail == 0 ? l.plain : l.high;
  return *out ? l.count : 0;
}

void vis_override_begin() {
  Override_on = true;
  Override_list[0] = base_group();
  Override_count = 1;
}

void vis_override_reset() {
  Override_list[0] = base_group();
  Override_count = 1;
  Vis_previous_layer = -1;
}

void vis_override_add(const char* group_name) {
  Vis_previous_layer = -1;
  if (Override_count >= MAX_VIS_OVERRIDE) return;
  VisGroup* g = vis_group_find(group_name);
  if (g) Override_list[Override_count++] = g;
}

void vis_override_end() {
  Override_on = false;
  Vis_previous_layer = -1;
}

bool vis_override_on() { return Override_on; }

int vis_layer_of_mesh(int instance) {
  int base_layer = -1;
  for (int l = 0; l < MAX_VIS_LAYERS; l++) {
    const VisLayer& layer = Vis_layers[l];
    for (int g = 0; g < layer.count && layer.plain; g++) {
      const VisGroup* grp = layer.plain[g];
      for (int k = 0; grp && k < grp->count; k++) {
        if (grp->members[k] != instance) continue;
        if (grp != base_group()) return l;
        if (base_layer < 0) base_layer = l;
      }
    }
  }
  return base_layer;
}

void vis_layer_set_snow(int layer, bool on) {
  if (layer >= 0 && layer < MAX_VIS_LAYERS) Vis_layers[layer].snow = on ? 1 : 0;
}

bool vis_layer_has_snow(int layer) { return layer >= 0 && layer < MAX_VIS_LAYERS && Vis_layers[layer].snow; }

// ---- Fog --------------------------------------------------------------------------------------

void fog_set(float near_dist, float far_dist) {
  if (far_dist < 0.0f) far_dist = Fog_default_far;
  if (near_dist <= 0.0f) near_dist = Fog_default_near;
  if (far_dist <= near_dist + 10.0f) far_dist = near_dist + 10.0f;
  Fog_near = near_dist;
  Fog_far = far_dist;
}

void fog_set_level_defaults(float near_dist, float far_dist) {
  if (Fog_defaults_set) return;
  Fog_default_near = near_dist;
  Fog_default_far = far_dist;
  Fog_defaults_set = true;
}

void fog_reset_to_defaults() {
  Fog_far = Fog_default_far;
  Fog_near = Fog_default_near;
}

void fog_level_reset() {
  Fog_default_near = 35.0f;
  Fog_default_far = 50.0f;
  Fog_defaults_set = false;
  fog_reset_character();
}

void fog_set_character(float near_dist, float far_dist) {
  Fog_char_near = near_dist;
  Fog_char_far = far_dist;
}

void fog_reset_character() { fog_set_character(FOG_CHAR_DEFAULT_NEAR, FOG_CHAR_DEFAULT_FAR); }

float fog_get_near() { return Fog_framerate_on ? Fog_near * (1.0f - Fog_framerate_factor) : Fog_near; }

float fog_get_far() {
  if (!Fog_framerate_on) return Fog_far;
  return std::max(15.0f, Fog_far * (1.0f - Fog_framerate_factor));
}

void fog_set_colour(int r, int g, int b) {
  Fog_r = static_cast<uint8_t>(std::clamp(r, 0, 255));
  Fog_g = static_cast<uint8_t>(std::clamp(g, 0, 255));
  Fog_b = static_cast<uint8_t>(std::clamp(b, 0, 255));
}

void fog_zone_set(int layer, float far_dist, float near_dist, int r, int g, int b) {
  if (layer < 0 || layer >= MAX_VIS_LAYERS) return;
  VisLayer& l = Vis_layers[layer];
  l.fog_far = far_dist;
  l.fog_near = near_dist;
  l.fog_r = static_cast<uint8_t>(std::clamp(r, 0, 255));
  l.fog_g = static_cast<uint8_t>(std::clamp(g, 0, 255));
  l.fog_b = static_cast<uint8_t>(std::clamp(b, 0, 255));
}

void fog_apply_zone(int layer) {
  Vis_current_layer = layer;
  if (layer == Vis_previous_layer && Zone_applied) return;
  if (layer != Vis_previous_layer) Zone_applied = false;
  if (!camera_allows()) return;
  const bool valid = layer >= 0 && layer < MAX_VIS_LAYERS;
  if (Services.camera_set_mode) Services.camera_set_mode(valid && Vis_layers[layer].camera_pref == 1 ? 3 : 4);
  if (valid && Vis_layers[layer].fog_far > 0.0f) {
    const VisLayer& l = Vis_layers[layer];
    Fog_far = l.fog_far;
    Fog_near = l.fog_near;
    fog_set_colour(l.fog_r, l.fog_g, l.fog_b);
  } else {
    fog_apply_fallback();
  }
  Zone_applied = true;
}

void fog_zones_changed() { Zone_applied = false; }

void fog_apply_fallback() {
  const int layer = Vis_current_layer;
  if (layer >= 0 && layer < MAX_VIS_LAYERS && Vis_layers[layer].fog_far > 0.0f) return;
  if (Services.camera_elevation && Services.camera_elevation() < 4.0f) {
    Fog_near = 20.0f;
    Fog_far = 30.0f;
  } else {
    Fog_near = 35.0f;
    Fog_far = 50.0f;
  }
}

// ---- Detail levels --------------------------------------------------------------------------

void detail_levels_parse_text(const char* file_name, const char* text, int length) {
  ParseContext p;
  p.open_memory(file_name, text, static_cast<size_t>(std::max(length, 0)));
  Num_detail_levels = 0;
  char name[PARSE_MAX_NAME_LEN + 1];
  while (quoted_next(p)) {
    DetailLevelEntry e{};
    p.read_string(name, sizeof name);
    // Longer names keep their first 30 characters.
    std::memcpy(e.name, name, std::min(std::strlen(name), sizeof e.name - 1));
    e.fog_multiplier = p.read_float();
    if (p.optional_string("+UnlockMedium")) {
      e.unlock_medium = e.unlock_high = 1;
    } else if (p.optional_string("+UnlockHigh")) {
      e.unlock_high = 1;
    }
    e.small_mesh_culling = p.optional_string("+NoSmallMeshCulling") ? 0 : 1;
    // Rows past the table's end are read and dropped.
    if (Num_detail_levels < MAX_DETAIL_LEVELS) Detail_levels[Num_detail_levels++] = e;
  }
}

void detail_levels_load() {
  Detail_loaded = true;
  ParseContext p;
  if (!open_table(p, "detail_levels.tbl")) return;
  detail_levels_parse_text("detail_levels.tbl", p.text(), static_cast<int>(p.length()));
}

int detail_level_find(const char* level_file_name) {
  if (!level_file_name) return -1;
  const char* base = std::strrchr(level_file_name, '\\');
  base = base ? base + 1 : level_file_name;
  if (const char* s = std::strrchr(base, '/')) base = s + 1;
  const char* dot = std::strrchr(base, '.');
  const size_t n = dot ? static_cast<size_t>(dot - base) : std::strlen(base);
  for (int i = 0; i < Num_detail_levels; i++)
    if (std::strlen(Detail_levels[i].name) == n && strncasecmp(Detail_levels[i].name, base, n) == 0) return i;
  return -1;
}

void detail_entry_apply(int entry, int level_detail) {
  const bool have = entry >= 0 && entry < Num_detail_levels;
  float mult = 1.0f;
  bool unlock = false;
  Small_mesh_threshold = 3.0f;
  if (have && level_detail != 0) {
    const DetailLevelEntry& e = Detail_levels[entry];
    if (level_detail == 1) {
      mult = 1.0f + (e.fog_multiplier - 1.0f) * 0.5f;
      unlock = e.unlock_medium != 0;
    } else {
      mult = e.fog_multiplier;
      unlock = e.unlock_high != 0;
    }
    Small_mesh_threshold = e.small_mesh_culling ? 3.0f : 0.0f;
  }
  if (Services.camera_set_unlock_allowed) Services.camera_set_unlock_allowed(unlock);
  if (!unlock && Services.camera_unlocked && Services.camera_unlocked() && Services.camera_set_mode)
    Services.camera_set_mode(3);
  Gr_level_fog_multiplier = Scene_top_line ? 1.0f : mult;
}

void detail_levels_apply() {
  const SceneOptions& o = Scene_options;
  Renderer_detail.switch_a = o.word_28 == 0;
  Renderer_detail.flag_b = o.word_36 == 2;
  Renderer_detail.dynamic_lights = o.dynamic_lights != 0;
  Renderer_detail.value = o.word_36 == 2 ? 6 : (o.word_36 == 1 ? 4 : 2);
  Renderer_detail.lightmaps_off = o.lightmaps_off != 0;
  for (int i = 0; i < Level.instance_count && Level.instances; i++) {
    if (o.lightmaps_off) Level.instances[i].flags |= MI_LIGHTMAP_OFF;
    else Level.instances[i].flags &= ~MI_LIGHTMAP_OFF;
  }
  detail_entry_apply(Detail_level_current, o.level_detail);
  Renderer_detail.switch_last = o.byte_44 != 0;
}

// ---- Shadows ----------------------------------------------------------------------------------

void shadows_parse_text(const char* file_name, const char* text, int length) {
  ParseContext p;
  p.open_memory(file_name, text, static_cast<size_t>(std::max(length, 0)));
  Num_shadow_entries = 0;
  p.require_string("#Object Shadow info");
  while (!p.optional_string("#End")) {
    ShadowEntry e{};
    p.require_string("$Object:");
    p.read_string(e.name, sizeof e.name);
    p.require_string("$Radius:");
    e.radius = p.read_float();
    p.require_string("$Scale:");
    e.scale = p.read_float();
    if (p.optional_string("+Prop:")) e.flags |= 1;
    if (Num_shadow_entries < MAX_SHADOW_ENTRIES) Shadow_entries[Num_shadow_entries++] = e;
  }
}

void shadows_load() {
  Num_shadow_entries = 0;
  Shadow_bitmap = bm_load("Shadow01.tga");
  ParseContext p;
  if (!open_table(p, "shadows.tbl")) return;
  shadows_parse_text("shadows.tbl", p.text(), static_cast<int>(p.length()));
}

int creature_shadow_add(const ShadowCaster& c) {
  if ((c.kind == 205 || c.kind == 206 || c.kind == 9) && c.summoning) return -1;
  if (Shadow_count >= MAX_CREATURE_SHADOWS) return -1;
  ShadowProjection& s = Shadows[Shadow_count++];
  s.pos = vector(c.shadow_point.x, c.base_height + 2.0f, c.shadow_point.z);
  s.dir = vector(0.0f, -1.0f, 0.0f);
  s.half_angle = 0.15f;
  s.near_dist = 1.0f;
  s.far_dist = 5.0f;
  s.alpha = 1.0f;
  s.bitmap = Shadow_bitmap;
  return 0;
}

void creature_shadows_clear() { Shadow_count = 0; }
int creature_shadow_count() { return Shadow_count; }
const ShadowProjection* creature_shadow_get(int i) { return i >= 0 && i < Shadow_count ? &Shadows[i] : nullptr; }
