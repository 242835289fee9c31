#pragma once
// Writer of .vim meshes (version 6), for the demo builder and test fixtures.
// The writer lays the data block out exactly as the loader rebuilds it
// (16-byte aligned arrays per group, then bones, bone tags and tags), and
// writes offsets where the block holds references, so a mesh it wrote is
// saved back byte for byte.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

struct VimWriterFace {
  uint32_t v[3] = {0, 0, 0};
  int16_t flags = 0;
};

struct VimWriterGroup {
  std::vector<std::array<float, 3>> positions;
  std::vector<std::array<float, 3>> normals;   // same count as positions
  std::vector<std::array<float, 2>> uvs;       // same count as positions
  std::vector<VimWriterFace> faces;
  std::vector<int16_t> dup_map;                // empty: every vertex is its own (-1)
  // Empty for an unskinned group, else per vertex 4 weights (sixteenths) and
  // 4 bone indices.
  std::vector<std::array<uint8_t, 8>> skin;
  int32_t bitmap_slot = 0;
  std::vector<int16_t> morph_map;              // morph vertex count entries when the mesh morphs
};

struct VimWriterBone {
  std::string name;
  // Mesh space into the bone's frame: 3x3 rows then position.
  std::array<float, 12> inverse_rest = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
  int32_t parent = -1;
  std::array<float, 3> point = {0, 0, 0};
  int32_t value = 0;
};

struct VimWriterBoneTag {
  std::string name;
  std::array<float, 12> local = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
  int32_t parent = 0;
};

struct VimWriterTag {
  std::string name;
  std::array<float, 4> rotation = {0, 0, 0, 1};  // x, y, z, w
  std::array<float, 3> position = {0, 0, 0};
};

struct VimWriterMesh {
  int32_t version = 6;
  int32_t flags = 0;               // bit 0: groups carry morph maps
  int32_t morph_vertex_count = 0;
  std::array<float, 3> centre = {0, 0, 0};
  float radius = 1.0f;
  int32_t spare = 0;
  int32_t root_bone = 0;
  std::vector<VimWriterGroup> groups;
  std::vector<VimWriterBone> bones;
  std::vector<VimWriterBoneTag> bone_tags;
  std::vector<VimWriterTag> tags;
  std::vector<std::string> bitmaps;
};

std::vector<uint8_t> vim_build(const VimWriterMesh& mesh);
// Writes the file; false (with a message on stderr) when it cannot.
bool vim_write_file(const std::string& path, const VimWriterMesh& mesh);
// Bytes to a file (shared by the character writers).
bool writer_put_file(const std::string& path, const std::vector<uint8_t>& bytes);
