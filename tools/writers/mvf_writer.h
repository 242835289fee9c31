#pragma once
// Writer of .mvf animations (every version 0 to 8) and of animation packs,
// for the demo builder and test fixtures. Keys are given in their meaning
// (float quaternions, absolute Bézier controls, ease 0..1); the writer
// stores them the way the chosen version does.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

struct MvfWriterRotationKey {
  int32_t tick = 0;
  std::array<float, 4> q = {0, 0, 0, 1};  // x, y, z, w
  float tension = 0, continuity = 0, bias = 0;  // stored below version 2 only
  float ease_to = 0, ease_from = 0;             // 0..1
};

struct MvfWriterPositionKey {
  int32_t tick = 0;
  std::array<float, 3> value = {0, 0, 0};
  std::array<float, 3> in_control = {0, 0, 0};   // absolute
  std::array<float, 3> out_control = {0, 0, 0};  // absolute
};

struct MvfWriterBone {
  uint8_t weight = 10;
  std::vector<MvfWriterRotationKey> rotations;
  std::vector<MvfWriterPositionKey> positions;
};

struct MvfWriterSound {
  std::string name;  // empty: no event
  int32_t tick = 0;
};

struct MvfWriterMorphVertex {
  int32_t index = 0;
  std::vector<std::pair<uint16_t, std::array<float, 3>>> keys;  // frame, position
};

struct MvfWriterAnim {
  int version = 8;
  int32_t first_tick = 0;
  int32_t last_tick = 0;
  std::array<float, 4> root_rotation = {0, 0, 0, 1};
  std::array<float, 3> root_displacement = {0, 0, 0};
  std::vector<MvfWriterBone> bones;
  bool trailer = true;
  int32_t fade_in_frames = 0;
  int32_t fade_out_frames = 0;
  std::vector<MvfWriterSound> sounds;  // at most 5; the rest are empty
  // Morph block (version 4 and up). Below version 8 every vertex has the
  // same number of keys and their frames are 0, 1, 2...
  std::vector<MvfWriterMorphVertex> morph;
};

std::vector<uint8_t> mvf_build(const MvfWriterAnim& anim);
bool mvf_write_file(const std::string& path, const MvfWriterAnim& anim);

// An animation pack: named entries, each a file's bytes.
struct AnimPackEntry {
  std::string name;
  std::vector<uint8_t> bytes;
};
std::vector<uint8_t> anim_pack_build(const std::vector<AnimPackEntry>& entries);
