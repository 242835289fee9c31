#include "tools/writers/effect_demo.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "quarn/geom/effect_emitter.h"
#include "quarn/geom/mesh_effect.h"
#include "quarn/geom/vif_emitter.h"

namespace {
int16_t fx(float v) { return static_cast<int16_t>(v * 4096.0f); }  // 4.12
int16_t rate(float items_per_frame) { return static_cast<int16_t>(items_per_frame * 4096.0f / 320.0f); }

EffectEmitterSpec base_emitter(const std::string& name, float speed, float cone, float size) {
  EffectEmitterSpec e;
  e.name = name;
  for (auto& t : e.position) t = effect_track_constant(0);
  e.rotation[3] = effect_track_constant(16382);
  e.scalar[2] = effect_track_constant(fx(size));
  e.scalar[3] = effect_track_constant(fx(speed));
  e.scalar[4] = effect_track_constant(fx(cone));
  return e;
}

EffectDefSpec sparks() {
  EffectDefSpec d;
  d.name = "spark-burst";
  d.length = 30;
  EffectEmitterSpec e = base_emitter("sparks", 3.0f, 0.5f, 0.12f);
  e.flags = 1 | EMITTER_GRAVITY | EMITTER_WHITE;  // a base speed with a variation
  e.item_count = 120;
  e.lifetime_ticks = 3840;  // 0.8 s
  e.lifetime_variation = 0.25f;
  e.stretch = 512;
  e.fade_out_start = 160;
  e.rate = effect_track_frames({rate(40), rate(40), rate(20), 0});
  d.emitters = {e};
  return d;
}

EffectDefSpec beam() {
  EffectDefSpec d;
  d.name = "beam-streak";
  d.length = 30;
  // Items are thrown back along the path as fast as the emitter moves, so
  // they hang in the air behind it as a trail.
  EffectEmitterSpec e = base_emitter("streak", 2.34f, 0.0f, 0.2f);
  e.flags = EMITTER_ORIENTED;
  e.rotation[2] = effect_track_constant(-11585);
  e.rotation[3] = effect_track_constant(11585);
  std::vector<int16_t> xs;
  for (int f = 0; f <= 30; f++) xs.push_back(static_cast<int16_t>((f * 40) & ~1));  // 0.156 a frame along x
  e.position[0] = effect_track_frames(xs);
  e.item_count = 60;
  e.lifetime_ticks = 2400;
  e.stretch = 1024;
  e.rate = effect_track_constant(rate(2.5f));
  d.emitters = {e};
  return d;
}

EffectDefSpec blood() {
  EffectDefSpec d;
  d.name = "blood-spray";
  d.length = 20;
  EffectEmitterSpec e = base_emitter("spray", 2.5f, 0.6f, 0.08f);
  e.flags = EMITTER_GRAVITY | EMITTER_ORIENTED | EMITTER_RANDOM_SPIN;
  e.item_count = 80;
  e.lifetime_ticks = 4800;
  e.lifetime_variation = 0.2f;
  e.rate = effect_track_frames({rate(30), rate(20), rate(10), 0});
  d.emitters = {e};
  return d;
}

EffectDefSpec scene() {
  EffectDefSpec d;
  d.name = "scene-glow";
  d.length = 90;
  VifEmitterSpec v;
  v.name = "curtain";
  v.flags = VIF_ENABLED | VIF_RECTANGLE | VIF_ADDITIVE;
  v.radius = 2.0f;
  v.half_height = 1.0f;
  v.speed = 0.3f;
  v.size = 0.1f;
  v.count = 300;
  v.lifetime = 2.0f;
  v.ramps[0] = 0.2f;
  v.ramps[1] = 0.7f;
  v.interval_values = {0.05f, 0.01f};
  v.interval_times = {0.0f, 3.0f};
  d.vifs = {v};
  return d;
}

EffectDefSpec glow() {
  EffectDefSpec d;
  d.name = "hit-glow";
  d.length = 10;
  EffectEmitterSpec e = base_emitter("glow", 0.5f, 0.0f, 0.3f);
  e.flags = 1 | EMITTER_WHITE;
  e.item_count = 16;
  e.lifetime_ticks = 2400;
  e.rate = effect_track_frames({rate(8), 0});
  d.emitters = {e};
  return d;
}
// The spells' own effects, named as the spell table names them.

// A short burst of coloured motes with a light of their colour, named after
// the bone they ride on (a cast's in the caster's right hand).
EffectDefSpec cast_glow(const char* name, uint8_t r, uint8_t g, uint8_t b, const char* bone = "r_hand") {
  EffectDefSpec d;
  d.name = name;
  d.length = 20;
  ChannelElementSpec light;
  light.name = bone;
  light.radius = 1.0f;
  light.outer_radius = 3.0f;
  for (int f = 0; f <= 20; f++) light.keys.push_back({vector(0, 0, 0), static_cast<int16_t>(512 - 20 * f), r, g, b, true});
  d.channels = {light};
  EffectEmitterSpec e = base_emitter(bone, 0.8f, 1.2f, 0.06f);
  e.flags = 1;
  e.item_count = 40;
  e.lifetime_ticks = 2400;
  e.rate = effect_track_frames({rate(6), rate(6), rate(2), 0});
  d.emitters = {e};
  MaterialSpec m;
  m.layer[0].name = DEMO_SPARK_BITMAP;
  m.additive = true;
  m.colour[0] = r, m.colour[1] = g, m.colour[2] = b;
  m.curve[2] = {255};
  d.material_tracks = {m};
  return d;
}

// A glowing ball with a trail of flames: what a fire missile looks like in
// flight (four seconds, enough for any flight the demo's spells make).
EffectDefSpec fire_missile() {
  EffectDefSpec d;
  d.name = "fire-hit.vfx";
  d.length = 60;
  MeshElementSpec core;
  core.display = MESH_DISPLAY_SPRITE;
  core.flags = 15u << 6;
  for (int f = 0; f <= 60; f++) {
    MeshFrameSpec frame;
    frame.size = frame.length = 0.45f + 0.08f * std::sin(f * 3.14159265f / 5.0f);
    core.frames.push_back(frame);
  }
  MaterialSpec glow;
  glow.additive = true;
  glow.layer[0].name = DEMO_SPARK_BITMAP;
  glow.curve[2] = {255};
  core.materials = {glow};
  d.meshes = {core};
  EffectEmitterSpec e = base_emitter("flames", 0.6f, 0.6f, 0.2f);
  e.item_count = 120;
  e.lifetime_ticks = 2400;
  e.lifetime_variation = 0.3f;
  e.fade_out_start = 120;
  e.rate_cycle = 60;
  e.rate = effect_track_constant(rate(4.0f), 60);
  d.emitters = {e};
  MaterialSpec flame;
  flame.layer[0].name = DEMO_SPARK_BITMAP;
  flame.additive = true;
  flame.colour[0] = 255, flame.colour[1] = 140, flame.colour[2] = 40;
  flame.curve[2] = {255};
  d.material_tracks = {flame};
  // The ball lights what it passes.
  ChannelElementSpec light;
  light.radius = 1.5f;
  light.outer_radius = 5.0f;
  for (int f = 0; f <= 60; f++) light.keys.push_back({vector(0, 0, 0), 768, 255, 150, 60, true});
  d.channels = {light};
  return d;
}

// A ring of light on the ground at the area's final reach (5 units): glowing
// motes rising slowly from sixteen points round the effect's place.
EffectDefSpec ground_ring(const char* name, uint8_t r, uint8_t g, uint8_t b) {
  EffectDefSpec d;
  d.name = name;
  d.length = 45;
  const int points = 16;
  for (int k = 0; k < points; k++) {
    const float a = 6.2831853f * static_cast<float>(k) / points;
    EffectEmitterSpec e = base_emitter("ring" + std::to_string(k), 0.4f, 0.2f, 0.35f);
    // 8.8 units, even.
    e.position[0] = effect_track_constant(static_cast<int16_t>(static_cast<int>(5.0f * std::cos(a) * 256.0f) & ~1));
    e.position[2] = effect_track_constant(static_cast<int16_t>(static_cast<int>(5.0f * std::sin(a) * 256.0f) & ~1));
    e.flags = 1 | EMITTER_WHITE;
    e.item_count = 12;
    e.lifetime_ticks = 4800;
    e.fade_out_start = 160;
    e.rate = effect_track_constant(rate(0.6f));
    d.emitters.push_back(e);
  }
  MaterialSpec m;
  m.additive = true;
  m.layer[0].name = DEMO_SPARK_BITMAP;
  m.colour[0] = r, m.colour[1] = g, m.colour[2] = b;
  m.curve[2] = {255};
  d.material_tracks = {m};
  return d;
}

}  // namespace

EffectDefSpec demo_fire_def() {
  EffectDefSpec d;
  d.name = "fire-loop";
  d.length = 30;
  // A gentle updraft with some turbulence.
  EffectParamSetSpec draft;
  draft.name = "draft";
  draft.key_count = 30;
  for (auto& t : draft.position) t = effect_track_constant(0);
  draft.rotation[3] = effect_track_constant(16382);
  draft.scalar[0] = effect_track_constant(0);      // no push of its own
  draft.scalar[2] = effect_track_constant(128);    // turbulence 0.5
  draft.scalar[3] = effect_track_constant(64);     // speed 0.25
  draft.scalar[4] = effect_track_constant(512);    // scale 2
  d.params = {draft};
  EffectEmitterSpec e = base_emitter("flames", 1.2f, 0.35f, 0.25f);
  e.links = {0};
  e.item_count = 120;
  e.lifetime_ticks = 4800;  // 1 s
  e.lifetime_variation = 0.2f;
  e.grow_end = 50;
  e.shrink_start = 150;
  e.fade_in_end = 25;
  e.fade_out_start = 180;
  e.rate_cycle = 30;
  e.rate = effect_track_constant(rate(3.0f), 30);
  d.emitters = {e};
  VifEmitterSpec v;
  v.name = "embers";
  v.flags = VIF_ENABLED | VIF_ADDITIVE;
  v.radius = 0.1f;
  v.speed = 0.6f;
  v.speed_variation = 0.2f;
  v.size = 0.03f;
  v.count = 40;
  v.lifetime = 1.2f;
  v.interval_values = {0.1f};
  v.interval_times = {0.0f};
  d.vifs = {v};
  return d;
}

EffectDefSpec demo_spell_def() {
  EffectDefSpec d;
  d.name = "spell-loop";
  d.length = 30;
  // The core: a white sprite that swells and shrinks once a loop (a frame
  // for every effect frame, so it shows for the whole loop).
  MeshElementSpec core;
  core.display = MESH_DISPLAY_SPRITE;
  core.flags = 15u << 6;
  for (int f = 0; f <= 30; f++) {
    MeshFrameSpec frame;
    frame.size = frame.length = 0.25f + 0.15f * std::sin(f * 3.14159265f / 30.0f);
    core.frames.push_back(frame);
  }
  MaterialSpec glow;
  glow.curve[2] = {230};
  core.materials = {glow};
  // A mote circling the core once a loop, spinning as it goes: a rigid mesh
  // moved by its key tracks (four Bezier quarter arcs of a circle of radius
  // 0.3 in the hand's plane, and a turn about its own axis), textured with
  // the spark bitmap on both sides.
  MeshElementSpec mote;
  mote.name = "mote";
  mote.flags = MESH_FLAG_KEY_TRACKS | (15u << 6);
  mote.display = MESH_DISPLAY_UNLIT;
  mote.rigid = true;
  mote.frames.resize(31);  // shown for the whole loop
  const float half = 0.06f, radius = 0.3f, pi = 3.14159265f;
  mote.vertex_positions = {{0, half, 0}, {half, 0, 0}, {0, -half, 0}, {-half, 0, 0}};
  mote.vertices = mote.light_records = 4;
  for (const auto& tri : {std::array<uint16_t, 3>{0, 1, 2}, {0, 2, 3}, {0, 2, 1}, {0, 3, 2}}) {
    MeshFaceSpec f;
    for (int j = 0; j < 3; j++) {
      const vector& v = mote.vertex_positions[tri[j]];
      f.vertex[j] = f.light[j] = tri[j];
      f.u[j] = (v.x / half + 1.0f) / 2.0f;
      f.v[j] = (1.0f - v.y / half) / 2.0f;
    }
    mote.faces.push_back(f);
  }
  MaterialSpec dot;
  dot.additive = true;
  dot.layer[0].name = DEMO_SPARK_BITMAP;
  dot.curve[2] = {255};
  mote.materials = {dot};
  mote.slots = {0};
  for (int q = 0; q <= 4; q++) {
    const float a = static_cast<float>(q) * pi / 2;
    const vector at(radius * std::cos(a), radius * std::sin(a), 0);
    const vector along(-std::sin(a) * 0.5523f * radius, std::cos(a) * 0.5523f * radius, 0);  // a quarter arc's control
    mote.position_keys.push_back({q * 2400, at, at - along, at + along});
    MeshRotationKeySpec spin;
    spin.tick = q * 2400;
    spin.rotation[2] = std::sin(a / 2), spin.rotation[3] = std::cos(a / 2);
    mote.rotation_keys.push_back(spin);
  }
  d.meshes = {core, mote};
  // Sparks thrown off the core, short-lived so they stay near the hand. A
  // spark's streak is twice its item size across and trails behind it by its
  // speed times the stretch; the hand's swing throws sparks at several units
  // a second, so a small size and a short stretch keep each a dot of its own.
  EffectEmitterSpec e = base_emitter("sparks", 0.5f, 0.8f, 0.015f);
  e.stretch = 32;  // 0.125
  e.item_count = 60;
  e.lifetime_ticks = 2400;  // half a second
  e.fade_in_end = 10;
  e.fade_out_start = 200;
  e.rate_cycle = 30;
  e.rate = effect_track_constant(rate(2.0f), 30);
  d.emitters = {e};  // material bits 0: the first track
  // The sparks' look: the round spark bitmap, warm, opaque as a loop begins
  // and fading to three-quarters over its first second.
  MaterialSpec spark;
  spark.layer[0].name = DEMO_SPARK_BITMAP;
  spark.colour[0] = 255, spark.colour[1] = 210, spark.colour[2] = 140;
  spark.rate = 1;  // one curve byte a second
  spark.curve[2] = {255, 190, 190};
  d.material_tracks = {spark};
  // A warm light that pulses with the core.
  ChannelElementSpec light;
  light.radius = 1.5f;
  light.outer_radius = 4.0f;
  for (int f = 0; f <= 30; f++) {
    const auto intensity = static_cast<int16_t>(640 + 128 * std::sin(f * 6.2831853f / 30.0f));  // 2.5 +- 0.5
    light.keys.push_back({vector(0, 0, 0), intensity, 255, 200, 120, true});
  }
  d.channels = {light};
  return d;
}

std::vector<uint8_t> demo_spark_pixels(int size) {
  std::vector<uint8_t> px(static_cast<size_t>(size) * size * 4);
  const float c = (static_cast<float>(size) - 1.0f) / 2.0f;
  for (int y = 0; y < size; y++)
    for (int x = 0; x < size; x++) {
      const float d = std::hypot(static_cast<float>(x) - c, static_cast<float>(y) - c) / (c + 0.5f);
      const float a = std::max(0.0f, 1.0f - d * d);
      uint8_t* p = &px[(static_cast<size_t>(y) * size + x) * 4];
      p[0] = p[1] = p[2] = 255;  // blue, green, red
      p[3] = static_cast<uint8_t>(a * 255.0f);
    }
  return px;
}

std::vector<DemoEffectFile> demo_effect_files() {
  return {
      {"preload.rfx", "preload", {glow()}},
      {"sparks.vfx", "spell", {sparks()}},
      {"fire.vfx", "level", {demo_fire_def()}},
      {"spell.vfx", "spell", {demo_spell_def()}},
      {"beam.vfx", "summon", {beam()}},
      {"blood.vfx", "character", {blood()}},
      {"scene.vfx", "cutscene", {scene()}},
      {"spells-cast.vfx", "spell",
       {cast_glow("heal-cast.vfx", 150, 255, 150), cast_glow("heal-hit.vfx", 200, 255, 200, "chest"),
        cast_glow("fire-cast.vfx", 255, 150, 60), fire_missile(), cast_glow("spell-status.vfx", 180, 180, 255, "chest"),
        cast_glow("stone-loop.vfx", 150, 150, 150, "chest"), cast_glow("stone-fade.vfx", 200, 200, 200, "chest"),
        cast_glow("titus-rockerrupt.vfx", 160, 120, 90)}},
      {"spells-area.vfx", "spell", {ground_ring("curse-ring.vfx", 190, 90, 255)}},
  };
}

bool demo_effects_write(const std::string& effects_dir, const std::string& list_dir) {
  std::vector<EffectListEntry> list;
  for (const DemoEffectFile& f : demo_effect_files()) {
    if (!effect_file_write(effects_dir + "/" + f.file, f.defs)) return false;
    EffectListEntry e{f.file, f.pool, {}};
    for (const EffectDefSpec& d : f.defs) e.names.push_back(d.name);
    list.push_back(e);
  }
  return effect_list_write(list_dir + "/demo_effects.arr", list);
}
