#pragma once
// Writers for effect files (.vfx, .rfx) and the effect list, shared by the
// demo builder, the tests, the fuzz seeds and the benches. A file is
// described as definitions made of emitters, parameter sets, nodes, VIF
// emitters, mesh elements, animated lights and material tracks; key tracks
// are given as their byte streams (helpers below build the usual ones).
#include <cstdint>
#include <string>
#include <vector>

#include "quarn/geom/effect_image.h"
#include "quarn/math/vector.h"
#include "tools/writers/effect_instance_writer.h"

struct EffectTrackSpec {
  std::vector<uint8_t> stream;  // empty: no stream
  uint16_t base = 0;
  bool narrow = false;
};
// The same value for `frames` frames (wide runs of up to 255).
EffectTrackSpec effect_track_constant(int16_t value, int frames = 1200);
// One value per frame from frame 0 (single keys, or one-frame runs for odd
// values).
EffectTrackSpec effect_track_frames(const std::vector<int16_t>& values);
// A stream as given.
EffectTrackSpec effect_track_raw(std::vector<uint8_t> bytes, uint16_t base, bool narrow);

struct EffectParamSetSpec {
  std::string name;
  int kind = 0;  // 1 point field
  int key_count = 1;
  EffectTrackSpec position[3], rotation[4], scalar[5];
};

struct EffectEmitterSpec {
  std::string name, parent;
  bool enabled = true;
  std::vector<int> links;  // indices into the definition's parameter sets
  int item_count = 32;
  int start_frame = -1;  // -1: none
  int32_t lifetime_ticks = 4800;
  float lifetime_variation = 0.0f;
  uint32_t flags = 0;
  uint8_t grow_end = 0, shrink_start = 255;
  int16_t fade_in_end = 0, fade_out_start = 256, stretch = 256;
  int rate_cycle = 0;
  EffectTrackSpec position[3], rotation[4], scalar[5], rate;
};

struct EffectNodeSpec {
  std::string name, parent;
  int key_count = 1;
  EffectTrackSpec position[3], rotation[4];
};

struct VifEmitterSpec {
  std::string name, parent, bitmap;
  vector centre{0, 0, 0};
  float size = 0.1f, radius = 0.1f, half_height = 0.1f, speed = 1.0f, speed_variation = 0.0f;
  float lifetime = 1.0f, lifetime_variation = 0.0f;
  float ramps[5] = {0.0f, 1.0f, 0.0f, 1.0f, 1.0f};
  int count = 50;
  uint16_t flags = 1u << 9;
  vector force_point{0, 0, 0}, force_direction{0, 1, 0};
  std::vector<float> force_values, force_times, interval_values, interval_times;
  std::vector<vector> path;
  std::vector<float> path_times;
  int force_count_override = -1, interval_count_override = -1, path_count_override = -1;
};

// A camera element: keyed like a node element; when it drives the camera,
// the instance playing it may hold the camera.
struct EffectCameraSpec {
  std::string name, parent;
  bool enabled = true;
  bool drives = true;
  int key_count = 1;
  EffectTrackSpec position[3], rotation[4];
};

struct EffectDefSpec {
  std::string name;
  int length = 30;  // effect frames
  uint32_t flags = 0;
  uint32_t pool_class = 0;  // written by the loader when the file is read; set here for images used straight
  vector offset{0, 0, 0};
  uint32_t copied = 0;
  std::vector<EffectEmitterSpec> emitters;
  std::vector<EffectParamSetSpec> params;
  std::vector<EffectNodeSpec> nodes;
  std::vector<VifEmitterSpec> vifs;
  std::vector<MeshElementSpec> meshes;
  std::vector<ChannelElementSpec> channels;
  std::vector<MaterialSpec> material_tracks;
  std::vector<MotionPathSpec> paths;  // the first places the instance
  std::vector<EffectCameraSpec> cameras;
  int environment_track = -1;  // the material track the environment follows; -1: no selector
};

// The whole file: 20-byte header, then the image.
std::vector<uint8_t> effect_file_build(const std::vector<EffectDefSpec>& defs);
bool effect_file_write(const std::string& path, const std::vector<EffectDefSpec>& defs);
// The image view of a whole file held in memory (sizes from its header).
EffectImage effect_file_view(std::vector<uint8_t>& file);
// A file of exactly `image_bytes` image bytes holding one empty definition
// (for placement by size).
std::vector<uint8_t> effect_file_sized(const std::string& def_name, uint32_t image_bytes);

struct EffectListEntry {
  std::string file;
  std::string pool;  // "level", "spell", ...
  std::vector<std::string> names;
};
std::string effect_list_text(const std::vector<EffectListEntry>& entries);
bool effect_list_write(const std::string& path, const std::vector<EffectListEntry>& entries);
