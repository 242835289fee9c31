#pragma once
// The level renderer: draws one placed level mesh per call. What every
// renderer's path shares lives here (the level's lights, vertex animation,
// the vertex stage with its shared vertices and dynamic lighting, the face
// stage with its clipping and fixed triangulation, the per-vertex distance
// fade); the OpenGL path is levelrender_draw_opengl.
//
// The rule a caller must know: set the drawing colour to white, enter the
// instance's frame with gr_3d_start_instance and put the dynamic lights'
// positions into that frame before the draw; leave the frame afterwards.
#include <cstdint>

#include "Engine/s3d/s3d.h"
#include "quarn/gr/gr.h"
#include "quarn/gr/gr3d.h"
#include "quarn/math/vector.h"

// The scratch arrays of the vertex stage: one entry per mesh vertex.
constexpr int LEVELRENDER_MAX_VERTICES = S3D_MAX_MESH_VERTICES;
// The vertex stores of the paths: the mesh plus the vertices clipping makes.
constexpr int LEVELRENDER_STORE_VERTICES = 4256;
// A lightmapped batch is flushed before it passes this many vertices.
constexpr int LEVELRENDER_BATCH_LIMIT = 4000;

// Console settings (time_mult, space_mult, small_mesh_threshold).
extern float Time_mult;             // 5.0
extern float Space_mult;            // 20.0
extern float Small_mesh_threshold;  // 3.0
// Multiplies the level's ambient colour and its lights' intensities; a boss
// changes it while it fights.
extern float Level_light_scale;  // 1.0

// A dynamic light of the scene pass. The position is in the frame of the
// mesh being drawn (the level draw fills it per instance).
struct LevelDynLight {
  vector pos;
  float r, g, b;  // 0..1
  float intensity;
  uint8_t ranged;
  float near_dist, far_dist;
};

// The render-state presets the level paths share.
extern const RenderStateWord Levelrender_lightmap_preset;
extern const RenderStateWord Levelrender_dynamic_preset;
extern const RenderStateWord Levelrender_untextured_preset;
extern const RenderStateWord Levelrender_textured_preset;

// The renderer light list from the level: ambient and every point or spot
// light, scaled by Level_light_scale.
void levelrender_setup_lights();

// The animated mesh-space position of every vertex of an animated instance,
// `seconds` after the animation clock started. Only y moves.
void levelrender_vertex_anim_at(const LevelMeshInstance& mi, const VertexAnimRecord& rec, float seconds,
                                vector* out);
// The same on the game clock, which starts at the first animated draw.
void levelrender_vertex_anim(const LevelMeshInstance& mi, vector* out);
// Tests: the animation clock starts again at the next animated draw.
void levelrender_reset_anim_clock();

// The dynamic light summed at a vertex (each channel 0..1); the number of
// lights that reached it.
int levelrender_light_vertex(vector* sum, const vector& pos, const vector& normal, int light_count,
                             const LevelDynLight* const* lights);

// What the vertex stage leaves for the face stage, indexed by mesh vertex.
struct LevelVertexScratch {
  vector view[LEVELRENDER_MAX_VERTICES];
  float sx[LEVELRENDER_MAX_VERTICES];
  float sy[LEVELRENDER_MAX_VERTICES];
  float ooz[LEVELRENDER_MAX_VERTICES];  // depth-biased for flagged instances
  uint8_t codes[LEVELRENDER_MAX_VERTICES];
  vector light[LEVELRENDER_MAX_VERTICES];
  uint8_t hits[LEVELRENDER_MAX_VERTICES];
};
const LevelVertexScratch& levelrender_scratch();

// Runs the vertex stage over vertices [first, end) of the mesh in the frame
// given (positions are the mesh's or the animated ones). Returns how many
// vertices were computed in their own right (shared ones copy).
int levelrender_vertex_stage(const LevelMeshInstance& mi, const vector* positions, int first, int end,
                             const Gr3dFrame& frame, int light_count, const LevelDynLight* const* lights);

// The corner numbers of the triangles a clipped polygon of n corners
// (3..8) is split into; the count of triangles is n - 2.
const uint8_t (*levelrender_triangulation(int n))[3];

// A face group of a mesh: faces and vertices follow those of the groups
// before it. A mesh whose group records do not add up to its faces and
// vertices is one group.
struct LevelFaceGroup {
  int first_face, face_count;
  int first_vertex, vertex_count;
};
int levelrender_groups(const LevelMesh& mesh, LevelFaceGroup* out, int capacity);

// Whether the instance is drawn with its lightmaps.
bool levelrender_uses_lightmaps(const LevelMeshInstance& mi);

// The colour of a corner: tint, prelit colour, light sum, as the paths share.
void levelrender_corner_colour(const LevelMeshInstance& mi, int vertex, int light_count, bool lightmapped,
                               uint8_t* rgb);
// The alpha of a vertex at view depth z, faded toward the fog's end (the
// nearer range for small meshes).
int levelrender_fade_alpha(int alpha, float z, bool small_mesh);

// Clips a face that crosses a view plane: fills the polygon's vertex records
// (texture and lightmap coordinates, colour, alpha 255, corner numbers) and
// returns its count, 0 when fewer than 3 or more than 8 corners are left.
int levelrender_clip_face(const LevelMeshInstance& mi, int face, const float* lightmap_uv, int light_count,
                          bool lightmapped, GrVertex** out);

// Draws one instance through OpenGL, Direct3D or Glide; each does nothing
// under another renderer.
void levelrender_draw_opengl(const LevelMeshInstance* mi, int alpha, int light_count,
                             const LevelDynLight* const* lights);
void levelrender_draw_d3d(const LevelMeshInstance* mi, int alpha, int light_count, const LevelDynLight* const* lights);
void levelrender_draw_glide(const LevelMeshInstance* mi, int alpha, int light_count,
                            const LevelDynLight* const* lights);
// The one Direct3D vertex buffer every level mesh is drawn through: made at
// level set-up under Direct3D (fatal when it cannot be), released at
// tear-down. Nothing under the other renderers.
void levelrender_create_vertex_buffer();
void levelrender_release_vertex_buffer();

// Figures of the last draws, for tests and statistics.
struct LevelRenderStats {
  int draw_calls;      // glDrawArrays and glDrawElements
  int second_passes;   // additive dynamic-light passes
  int lightmap_binds;
  int faces_drawn;
  int faces_clipped;
  int vertices_dropped;  // clipped vertices past the stores
};
extern LevelRenderStats Levelrender_stats;
