#pragma once
// Builds .s3d level files from a small description: boxes, ramps, doors,
// lights, nodes and named points. Every mesh gets its collision tree here
// (faces on the node of their own plane, children side by side, front
// first), and the file is written by the loader's own record routines, so
// what the builder writes is what the game reads.
#include <cstdint>
#include <string>
#include <vector>

#include "Engine/s3d/s3d.h"

struct LevelBuilder {
  struct Face {
    uint16_t v[3];
    uint16_t flags = 0;
    uint16_t texture = 0;  // 1-based, 0 none
    int lightmap = -1;
    float lm_uv[3][2] = {};  // lightmap coordinates of the three corners
  };
  struct Mesh {
    std::string name;
    std::vector<vector> positions;
    std::vector<vector2> uvs;
    std::vector<Face> faces;
  };
  struct Instance {
    std::string name;
    int mesh;
    vector pos;
    matrix orient;
    uint32_t flags;
    int sector = -1;
    uint8_t shade = 200;  // prelit vertex colour
    // Prelit colour of a vertex from its world position, in place of the
    // shade (taken when the file is written, after faces are split).
    void (*prelit)(const vector& world, uint8_t* rgb) = nullptr;
  };
  struct Door {
    int instance;
    int named_points;  // -1 none
    float travel_time;
    vector closed_pos, open_pos;
    quaternion closed_orient, open_orient;
  };
  struct VertexAnim {
    int instance;
    float x_scale, z_scale, amplitude, period;
    std::string texture;
  };
  struct Lightmap {
    int width, height;
    std::vector<uint16_t> pixels;  // 1-5-5-5
  };

  int version = S3D_VERSION_LIGHTMAP_UV_AFTER;
  vector ambient{0.3f, 0.3f, 0.3f};
  std::vector<std::string> textures;
  std::vector<Lightmap> lightmaps;
  std::vector<Mesh> meshes;
  std::vector<Instance> instances;
  std::vector<LevelNode> nodes;              // named when written
  std::vector<LevelNamedPoints> named_points;
  std::vector<std::vector<vector>> named_point_data;
  std::vector<Door> doors;
  std::vector<LevelLight> lights;
  std::vector<std::pair<std::string, std::vector<int>>> vis_groups;
  std::vector<LevelSurfaceRecord> surfaces;
  std::vector<VertexAnim> vertex_anims;  // weights: a vertex's height over its mesh's
  // Longest edge of a face before a box side is divided: the tree's
  // quantised planes stay within the walk's tolerance of every face.
  float max_cell = 4.0f;

  // Lightmaps baked at the 16 levels a card with 4-bit lightmap texels
  // keeps: each stored as the 5-bit level that widens onto one of them, so
  // every card shows the same light.
  bool sixteen_level_lightmaps = false;

  // 1-based texture slot of a file name (added when new).
  int texture(const std::string& name);
  // A lightmap that shades from `bright` at the top to `dark` at the bottom.
  int lightmap(int size, int bright, int dark);
  // The same lit by a coloured light: each channel scaled by r, g, b / 255.
  int lightmap_tinted(int size, int bright, int dark, int r, int g, int b);
  // Prelit vertex colours of an instance from its vertices' world positions.
  void prelight(int instance, void (*colour)(const vector& world, uint8_t* rgb));

  // An axis-aligned box centred on its instance's position, faces outward
  // (inward with `inside`, for a room). Returns the instance index.
  int add_box(const std::string& name, const vector& min, const vector& max, int texture_slot,
              uint32_t flags = 0, int lightmap_index = -1, bool inside = false);
  // A room (an inward box) whose wall at its low x (`at_max_x` false) or
  // high x is open over z0..z1 from the box's bottom up to height y1: the
  // doorway into the next room.
  int add_room_with_doorway(const std::string& name, const vector& min, const vector& max, int texture_slot,
                            int lightmap_index, bool at_max_x, float z0, float z1, float y1);
  // The same box turned by `yaw` radians about the vertical axis.
  int add_box_turned(const std::string& name, const vector& center, const vector& half, float yaw,
                     int texture_slot, uint32_t flags = 0, int lightmap_index = -1);
  // Many boxes in one mesh (a village, a rock field): one instance whose
  // collision tree sorts them all.
  int add_boxes(const std::string& name, const std::vector<std::pair<vector, vector>>& boxes, int texture_slot,
                uint32_t flags = 0, int lightmap_index = -1);
  // A ramp over the rectangle [x0, x1] x [z0, z1], rising along z from y0 to
  // y1 (a sloping top over a solid base).
  int add_ramp(const std::string& name, float x0, float z0, float x1, float z1, float y0, float y1,
               int texture_slot, uint32_t flags = 0, int lightmap_index = -1);
  // A flat floor split into cells, its top at height y.
  int add_floor(const std::string& name, float x0, float z0, float x1, float z1, float y, int texture_slot,
                uint32_t flags = 0, int lightmap_index = -1);
  // A heightfield over [x0, x0 + cells * cell] x [z0, ...]; height(x, z)
  // gives the surface, which sits on a solid skirt down to `bottom`.
  int add_terrain(const std::string& name, float x0, float z0, int cells, float cell, float bottom,
                  float (*height)(float x, float z), int texture_slot, uint32_t flags = 0,
                  int lightmap_index = -1);
  // One thin upright panel (a fence, a banner): a single quad of two
  // triangles facing +z before the turn, two-sided for rays when asked.
  int add_panel(const std::string& name, const vector& center, float half_width, float half_height, float yaw,
                bool two_sided, int texture_slot);
  // A door: a box instance that slides from its closed to its open place in
  // `travel_time` seconds; `key` names its track (a named point list).
  int add_door(const std::string& name, const vector& min, const vector& max, const vector& open_offset,
               float travel_time, const std::string& key, int texture_slot);
  void add_node(const std::string& name, const vector& pos, float yaw = 0.0f);
  int add_named_points(const std::string& name, const std::vector<vector>& points, int value = 0);
  void add_light(int type, const vector& pos, const vector& color, float near_range, float far_range);
  void add_vis_group(const std::string& name, const std::vector<int>& members);
  void add_surface(float a, float b, float c, int value);
  // Sways an instance (a banner, a tree) by vertex animation; sets its flag.
  void add_vertex_anim(int instance, float x_scale, float z_scale, float amplitude, float period,
                       const std::string& texture = "");

  // Builds the trees and writes the file through the file layer; false with
  // a line on stderr when the level cannot be written.
  bool write(const char* name, int path_type);
  // The same to a path of the system (the file layer is pointed at its
  // folder for the write).
  bool write_file(const std::string& path);

  // Collision tree of one mesh (faces may be split, adding vertices); false
  // when the mesh outgrows what a tree or the level renderer can hold.
  static bool build_tree(Mesh& mesh, std::vector<CollisionNode>* nodes, std::vector<uint16_t>* face_list);

 private:
  std::vector<std::string> node_names_;
  std::vector<std::string> list_names_;
  int add_mesh_instance(Mesh mesh, const std::string& name, const vector& pos, const matrix& orient,
                        uint32_t flags);
};
