#pragma once
// The 3D view of the current frame: camera, projection, frustum culling,
// object frames (instances), screen-to-ray picking, and the light record and
// depth-key sort the level, mesh and effect renderers share.
//
// View space is pre-scaled: the view orientation's rows are multiplied by the
// x, y and z scales, so the side planes of the frustum sit at 45 degrees
// (x = +-z, y = +-z) and the far plane at depth `far distance * z scale`.
#include <algorithm>
#include <cstdint>

#include "quarn/math/matrix.h"
#include "quarn/math/vector.h"

struct GrVertex;

// The depth below which a view-space point is treated as being at the eye:
// polygons that cross the eye are clipped here before projection. In the
// pre-scaled view one world unit is about 0.004 at the default far distance,
// so this is a few hundredths of a unit.
constexpr float GR_3D_NEAR_Z = 0.0001f;

// Projection flags of a GrVertex.
enum : uint8_t {
  PF_PROJECTED = 1,
  PF_BEHIND = 2,      // not projectable: at or behind the eye
  PF_TEMPORARY = 4    // made by the clipper, from its per-frame pool
};

#define MAX_INSTANCE_DEPTH 5
#define MAX_FRUSTUM_PLANES 6

// Console variables (float commands far_min, far_max, zmult, zmax).
extern float Gr_far_min;   // 31.25
extern float Gr_far_max;   // 250.0
extern float Gr_3d_zmult;  // 0.2, read by the level and mesh renderers
extern float Gr_3d_zmax;   // 0.998, likewise

// What the level renderer reads of the current frame (see gr_3d_get_frame).
// cam_orient is the pre-scaled orientation, so that cam_orient * (p - cam_pos)
// is the same view-space point gr_3d_rotate_point makes: its clip codes use
// the 45-degree planes and its x/z, y/z give the screen position below.
struct Gr3dFrame {
  vector cam_pos;           // eye in the current frame (world or instance)
  matrix cam_orient;        // pre-scaled view orientation in the current frame
  float x_scale, y_scale;   // screen x = (x/z + 1) * x_scale + x_offset
  int x_offset, y_offset;   // screen y = (1 - y/z) * y_scale + y_offset
  bool far_clipping;
  float far_distance;       // world units; 0 when there is no far clipping
  float far_z;              // the far plane's view-space depth; 0 without one
  // 1 / far distance; without far clipping 1 / the distance the view's depth
  // scale was built from, so depth still orders what is drawn.
  float depth_scale;
  float zmult, zmax;        // depth = min(depth_scale * (1/z) * zmult, zmax)
};

// Starts the frame's view. fov is the horizontal field of view in degrees
// when 2 or more, else the tangent of half of it.
void gr_3d_start_frame(const vector& eye, const matrix& orient, float fov, bool clear_depth);
// d above 1 switches far clipping on at Gr_level_fog_multiplier * d.
void gr_3d_set_far_plane(float distance);
void gr_3d_get_fov(float& horizontal_deg, float& vertical_deg);
// The field of view of the other axis (degrees) for a horizontal one given
// in degrees (or as a tangent when below 2).
float gr_3d_fov_other_axis(float fov);

// Enters an object's local frame; nesting deeper than MAX_INSTANCE_DEPTH is
// refused (with a debug message) and the view stays as it was, and the
// matching end_instance then pops nothing.
void gr_3d_start_instance(const vector& position, const matrix& orient, bool lighting);
void gr_3d_end_instance();
int gr_3d_instance_depth();

// World point into view space; clears the projection flags and returns the
// clip codes.
uint8_t gr_3d_rotate_point(GrVertex& out, const vector& world);
void gr_3d_rotate_points(GrVertex* out, const vector* world, int count);
// Direction only (no translation), into pre-scaled view space.
void gr_3d_rotate_vector(vector& out, const vector& world_dir);
uint8_t gr_3d_codes(GrVertex& v);
uint8_t gr_3d_codes_of(const vector& view_point);
// Screen position and 1/z; returns the projection flags.
uint8_t gr_3d_project_point(GrVertex& v);
// Moves a view-space point d world units along its eye ray (negative: toward
// the eye); nothing when that would bring it to the eye.
void gr_3d_push_toward_eye(GrVertex& v, float distance);
void gr_3d_push_toward_eye(vector& view_point, float distance);
bool gr_3d_facing_eye(const vector& normal, const vector& world_point);
bool gr_3d_eye_in_front(const plane& p);
float gr_3d_eye_cos(const vector& dir, const vector& world_point);
// The world ray through a screen position relative to the clip area.
void gr_3d_screen_to_ray(vector& out_origin, vector& out_dir, float sx, float sy);
float gr_3d_screen_size(const vector& view_point, float length);
float gr_3d_zoom_scale(float length);
float gr_3d_world_z(const vector& view_point);

// Frustum culling; true when wholly outside one plane.
// The view's planes as the culling tests read them, kept beside the view
// (every frame start, far-plane change and view restore), so the tests
// inline into the caller's loop instead of a call per object.
struct GrCullPlane {
  vector normal;
  float d;
  // The box corner farthest against the normal takes min on these axes.
  bool min_x, min_y, min_z;
};
struct GrCullPlanes {
  int count = 0;
  GrCullPlane frustum[MAX_FRUSTUM_PLANES];
  GrCullPlane unfogged[MAX_FRUSTUM_PLANES];  // the far plane at the distance given, before fog
};
extern GrCullPlanes Gr_cull;

inline bool gr_3d_sphere_culled(const vector& center, float radius, bool use_frustum_far) {
  const GrCullPlane* p = use_frustum_far ? Gr_cull.frustum : Gr_cull.unfogged;
  for (int i = 0, n = Gr_cull.count; i < n; i++)
    if (vector::dot(center, p[i].normal) + p[i].d > radius) return true;
  return false;
}
inline bool gr_3d_box_culled(const vector& min, const vector& max) {
  const GrCullPlane* p = Gr_cull.frustum;
  for (int i = 0, n = Gr_cull.count; i < n; i++) {
    const vector c{p[i].min_x ? min.x : max.x, p[i].min_y ? min.y : max.y, p[i].min_z ? min.z : max.z};
    if (vector::dot(c, p[i].normal) + p[i].d > 0.0f) return true;
  }
  return false;
}
bool gr_3d_oriented_box_culled(const matrix& orient, const vector& position, const vector& min,
                               const vector& max);
// Planes left, right, bottom, top, near, then far when far clipping is on,
// in world space as of the last frame start or far-plane change (entering
// an instance does not move them). Normals point out of the view; the flag
// byte of each record is its clip code. `codes` may be null.
int gr_3d_get_frustum(plane_record* planes, uint8_t* codes);

void gr_3d_get_view(vector& eye, matrix& orient);
// The eye and orientation in the frame lighting works in: instances entered
// with the lighting flag move it, others leave it in the enclosing frame.
void gr_3d_get_light_frame(vector& eye, matrix& orient);
// The far plane's depth in pre-scaled view space; 0 without far clipping.
float gr_3d_far_depth();
void gr_3d_get_frame(Gr3dFrame& out);
// The depth a point of this 1/z is drawn at (the 3D view's depth value),
// taken from the frame current when it is made.
struct Gr3dDepthMap {
  float k;
  float zmax;
  Gr3dDepthMap() {
    Gr3dFrame f;
    gr_3d_get_frame(f);
    k = f.depth_scale * f.zmult;
    zmax = f.zmax;
  }
  float operator()(float ooz) const { return std::min(k * ooz, zmax); }
};
void gr_3d_save_view();
void gr_3d_restore_view();
// b becomes a applied to b (orientation and position).
void gr_3d_compose(const matrix& orient_a, const vector& pos_a, matrix& orient_b, vector& pos_b);

// Clips a polygon of view-space vertices (codes set) against the planes its
// vertices' codes name, rewriting the list in place. The list needs room for
// count + 5 pointers. Input vertices keep their corner number with the
// temporary flag clear; clipper-made ones have PF_TEMPORARY set. Returns the
// new count, 0 when nothing is left.
int gr_3d_clip_polygon(int count, GrVertex** list);

// A light handed to the mesh and level renderers.
struct LightRecord {
  int32_t kind = 0;
  int32_t index = -1;
  int32_t intensity = 255;
  vector vec{0.0f, 0.0f, 0.0f};
  float range = -1.0f;  // -1 when unset
  int32_t last = 0;

  LightRecord() = default;
  void reset() { *this = LightRecord(); }
};

struct DepthKey {
  float key;
  int32_t value;
};
// Descending key order (the farthest first).
void gr_shell_sort_keys(DepthKey* keys, int count);
