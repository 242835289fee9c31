// The 3D view: the camera of the frame, the pre-scaled view orientation, clip
// codes and projection, the frustum planes used for culling, and the stack
// of object frames.
#include "quarn/gr/gr3d.h"

#include <cmath>
#include <cstdio>

#include "quarn/gr/gr.h"
#include "quarn/gr/grclip.h"
#include "quarn/os/console.h"

// The translucent polygon buffer and the Direct3D renderer's transform
// update may not be linked into every program.
__attribute__((weak)) void gr_alpha_pool_reset();
__attribute__((weak)) void gr_d3d_set_transforms(float far_distance);

float Gr_far_min = 31.25f;
float Gr_far_max = 250.0f;
float Gr_3d_zmult = 0.2f;
float Gr_3d_zmax = 0.998f;

CONSOLE_FLOAT_VARIABLE(Cc_far_min, "far_min", "Sets Gr_far_min", Gr_far_min);
CONSOLE_FLOAT_VARIABLE(Cc_far_max, "far_max", "Sets Gr_far_max", Gr_far_max);
CONSOLE_FLOAT_VARIABLE(Cc_zmult, "zmult", "Sets Gr_3d_zmult", Gr_3d_zmult);
CONSOLE_FLOAT_VARIABLE(Cc_zmax, "zmax", "Sets Gr_3d_zmax", Gr_3d_zmax);

namespace {

constexpr float RAD_TO_DEG = 57.295776f;

struct InstanceEntry {
  bool lighting;
  vector eye;
  matrix orient;
  vector light_eye;
  matrix light_orient;
};

struct ViewState {
  vector eye{0.0f, 0.0f, 0.0f};
  matrix orient = identity_matrix;
  matrix scaled = identity_matrix;
  // The frame lighting works in: follows instances only when asked to.
  vector light_eye{0.0f, 0.0f, 0.0f};
  matrix light_orient = identity_matrix;

  float half_w = 320.0f, half_h = 240.0f;
  float center_x = 320.0f, center_y = 240.0f;
  int offset_x = 0, offset_y = 0;

  float s = 1.0f, x_scale = 1.0f, y_scale = 1.0f, inv_s = 1.0f;

  bool far_on = false;
  float far_distance = 250.0f;  // as set, fog multiplier applied
  float far_given = 250.0f;     // as given, before the fog multiplier
  float far_effective = 0.0f;   // what the z scale was built from
  float far_z = 0.0f;           // far_distance * s

  plane_record planes[MAX_FRUSTUM_PLANES];
  int plane_count = 0;
  plane far_unfogged{{0.0f, 0.0f, 1.0f}, 0.0f};

  InstanceEntry stack[MAX_INSTANCE_DEPTH];
  int depth = 0;
  int refused = 0;  // start_instance calls beyond the stack, still to be ended
};

ViewState View;
ViewState Saved_view;
bool Have_saved_view = false;
}  // namespace

GrCullPlanes Gr_cull;

namespace {
GrCullPlane cull_plane(const plane& pl) {
  GrCullPlane c;
  c.normal = pl.normal;
  c.d = pl.d;
  int against, along;
  box_plane_corners(pl, against, along);
  vector lo{0, 0, 0}, hi{1, 1, 1}, corner;
  box_corner(corner, against, lo, hi);
  c.min_x = corner.x == 0.0f;
  c.min_y = corner.y == 0.0f;
  c.min_z = corner.z == 0.0f;
  return c;
}

void rebuild_cull_planes() {
  Gr_cull.count = View.plane_count;
  for (int i = 0; i < View.plane_count; i++) {
    const plane_record& pr = View.planes[i];
    Gr_cull.frustum[i] = cull_plane(pr.pl);
    Gr_cull.unfogged[i] = (pr.flags & 0xff) == CLIP_FAR ? cull_plane(View.far_unfogged) : Gr_cull.frustum[i];
  }
}

void rebuild_scaled() {
  View.scaled.right = View.orient.right * View.x_scale;
  View.scaled.up = View.orient.up * View.y_scale;
  View.scaled.forward = View.orient.forward * View.s;
}

// Planes whose normals point out of the view, so a positive distance is
// outside. In the pre-scaled view the left plane is x = -z; back in world
// space that is the plane through the eye with normal -(xs right + s fwd).
void rebuild_frustum() {
  const matrix& o = View.orient;
  const vector& e = View.eye;
  const float xs = View.x_scale, ys = View.y_scale, s = View.s;
  struct Side {
    uint8_t code;
    vector n;
  };
  const Side sides[4] = {
      {CLIP_LEFT, -(o.right * xs + o.forward * s)},
      {CLIP_RIGHT, o.right * xs - o.forward * s},
      {CLIP_BOTTOM, -(o.up * ys + o.forward * s)},
      {CLIP_TOP, o.up * ys - o.forward * s},
  };
  int n = 0;
  for (const Side& side : sides) {
    vector normal = side.n;
    normal.normalize_safe();
    View.planes[n++] = plane_record(side.code, normal, e);
  }
  View.planes[n++] = plane_record(CLIP_BEHIND, -o.forward, e);
  if (View.far_on) {
    View.planes[n++] = plane_record(CLIP_FAR, o.forward, e + o.forward * View.far_distance);
    plane::from_normal_point(View.far_unfogged, o.forward, e + o.forward * View.far_given);
  }
  View.plane_count = n;
  rebuild_cull_planes();
  clip_set_far(View.far_on, View.far_z);
}

void debug_message(const char* text) {
  std::fprintf(stderr, "gr3d: %s\n", text);
}

}  // namespace

void gr_3d_start_frame(const vector& eye, const matrix& orient, float fov, bool clear_depth) {
  const float clip_w = static_cast<float>(gr_screen.clip_width);
  const float clip_h = static_cast<float>(gr_screen.clip_height);
  View.half_w = clip_w * 0.5f;
  View.half_h = clip_h * 0.5f;
  const float aspect = gr_screen.aspect > 0.0f ? gr_screen.aspect : 1.0f;
  const float k = clip_w > 0.0f ? clip_h * aspect / clip_w : 1.0f;

  View.depth = 0;
  View.refused = 0;
  clip_pool_reset();
  if (gr_alpha_pool_reset) gr_alpha_pool_reset();

  gr_zbuffer_clear(clear_depth);

  const float t = fov >= 2.0f ? std::tan(fov * 3.14159265f / 180.0f * 0.5f) : fov;

  View.eye = eye;
  View.orient = orient;
  View.light_eye = eye;
  View.light_orient = orient;

  float numerator, far_eff;
  if (gr_screen.renderer == GR_GLIDE) {
    numerator = 65536.0f;
    far_eff = 8000.0f;
  } else {
    numerator = 0.98f;
    far_eff = View.far_distance;
    if (far_eff < Gr_far_min) far_eff = Gr_far_min;
    if (far_eff > Gr_far_max) far_eff = Gr_far_max;
    if (far_eff != View.far_effective && gr_screen.renderer == GR_DIRECT3D && gr_d3d_set_transforms)
      gr_d3d_set_transforms(far_eff);
  }
  View.far_effective = far_eff;

  View.s = numerator / far_eff;
  View.inv_s = 1.0f / View.s;
  View.x_scale = View.s / t;
  View.y_scale = View.s / (t * k);
  View.far_z = View.far_distance * View.s;
  rebuild_scaled();

  View.offset_x = gr_screen.offset_x;
  View.offset_y = gr_screen.offset_y;
  View.center_x = static_cast<float>(View.offset_x) + View.half_w;
  View.center_y = static_cast<float>(View.offset_y) + View.half_h;
  rebuild_frustum();
}

void gr_3d_set_far_plane(float distance) {
  if (distance > 1.0f) {
    View.far_on = true;
    View.far_given = distance;
    View.far_distance = Gr_level_fog_multiplier * distance;
  } else {
    View.far_on = false;
  }
  View.far_z = View.far_distance * View.s;
  rebuild_frustum();
}

void gr_3d_get_fov(float& horizontal_deg, float& vertical_deg) {
  horizontal_deg = 2.0f * std::atan(View.s / View.x_scale) * RAD_TO_DEG;
  vertical_deg = 2.0f * std::atan(View.s / View.y_scale) * RAD_TO_DEG;
}

float gr_3d_fov_other_axis(float fov) {
  const float t = fov >= 2.0f ? std::tan(fov * 3.14159265f / 180.0f * 0.5f) : fov;
  const float clip_w = static_cast<float>(gr_screen.clip_width);
  const float aspect = gr_screen.aspect > 0.0f ? gr_screen.aspect : 1.0f;
  const float k = clip_w > 0.0f ? static_cast<float>(gr_screen.clip_height) * aspect / clip_w : 1.0f;
  return 2.0f * std::atan(t * k) * RAD_TO_DEG;
}

void gr_3d_start_instance(const vector& position, const matrix& orient, bool lighting) {
  if (View.depth >= MAX_INSTANCE_DEPTH) {
    debug_message("instances nested deeper than MAX_INSTANCE_DEPTH; frame not entered");
    View.refused++;
    return;
  }
  InstanceEntry& e = View.stack[View.depth++];
  e.lighting = lighting;
  e.eye = View.eye;
  e.orient = View.orient;

  vector local_eye = View.eye - position;
  local_eye.rotate(orient);
  matrix combined;
  orient.multiply_by_transpose(combined, View.orient);  // view * object^T
  View.eye = local_eye;
  View.orient = combined;
  rebuild_scaled();

  if (lighting) {
    e.light_eye = View.light_eye;
    e.light_orient = View.light_orient;
    vector le = View.light_eye - position;
    le.rotate(orient);
    matrix lo;
    orient.multiply_by_transpose(lo, View.light_orient);
    View.light_eye = le;
    View.light_orient = lo;
  }
}

void gr_3d_end_instance() {
  if (View.refused > 0) {
    View.refused--;
    return;
  }
  if (View.depth <= 0) {
    debug_message("end_instance without start_instance");
    return;
  }
  const InstanceEntry& e = View.stack[--View.depth];
  View.eye = e.eye;
  View.orient = e.orient;
  rebuild_scaled();
  if (e.lighting) {
    View.light_eye = e.light_eye;
    View.light_orient = e.light_orient;
  }
}

int gr_3d_instance_depth() {
  return View.depth;
}

void gr_3d_get_light_frame(vector& eye, matrix& orient) {
  eye = View.light_eye;
  orient = View.light_orient;
}

uint8_t gr_3d_rotate_point(GrVertex& out, const vector& world) {
  vector v = world - View.eye;
  v.rotate(View.scaled);
  out.x = v.x;
  out.y = v.y;
  out.z = v.z;
  out.proj_flags = 0;
  out.codes = clip_codes_of(v.x, v.y, v.z);
  return out.codes;
}

void gr_3d_rotate_points(GrVertex* out, const vector* world, int count) {
  for (int i = 0; i < count; i++) gr_3d_rotate_point(out[i], world[i]);
}

void gr_3d_rotate_vector(vector& out, const vector& world_dir) {
  world_dir.rotated(out, View.scaled);
}

uint8_t gr_3d_codes(GrVertex& v) {
  v.codes = clip_codes_of(v.x, v.y, v.z);
  return v.codes;
}

uint8_t gr_3d_codes_of(const vector& view_point) {
  return clip_codes_of(view_point.x, view_point.y, view_point.z);
}

uint8_t gr_3d_project_point(GrVertex& v) {
  if (v.proj_flags & (PF_PROJECTED | PF_BEHIND)) return v.proj_flags;
  if (v.z <= 0.0f) {
    v.proj_flags |= PF_BEHIND;
    return v.proj_flags;
  }
  const float w = 1.0f / v.z;
  v.ooz = w;
  v.proj_flags |= PF_PROJECTED;
  float a = w * v.x + 1.0f;
  float b = 1.0f - w * v.y;
  a = a < 0.0f ? 0.0f : (a > 2.0f ? 2.0f : a);
  b = b < 0.0f ? 0.0f : (b > 2.0f ? 2.0f : b);
  v.sx = View.half_w * a + static_cast<float>(View.offset_x);
  v.sy = View.half_h * b + static_cast<float>(View.offset_y);
  return v.proj_flags;
}

void gr_3d_push_toward_eye(vector& p, float distance) {
  // A point at or behind the eye has no eye ray in front to move along:
  // scaling by nz / z would blow it up (z = 0) or mirror it (z < 0).
  if (!(p.z > 0.0f)) return;
  const float nz = p.z + View.s * distance;
  if (nz <= 0.004f) return;
  const float f = nz / p.z;
  p.x *= f;
  p.y *= f;
  p.z = nz;
}

void gr_3d_push_toward_eye(GrVertex& v, float distance) {
  vector p{v.x, v.y, v.z};
  gr_3d_push_toward_eye(p, distance);
  if (p.z == v.z) return;
  v.x = p.x;
  v.y = p.y;
  v.z = p.z;
  // The old screen position and codes belong to the old depth.
  v.proj_flags &= static_cast<uint8_t>(~(PF_PROJECTED | PF_BEHIND));
  v.codes = clip_codes_of(v.x, v.y, v.z);
}

bool gr_3d_facing_eye(const vector& normal, const vector& world_point) {
  return vector::dot(normal, world_point - View.eye) < 0.0f;
}

bool gr_3d_eye_in_front(const plane& p) {
  return p.distance(View.eye) > 0.0f;
}

float gr_3d_eye_cos(const vector& dir, const vector& world_point) {
  const vector to = world_point - View.eye;
  const float len = std::sqrt(to.length_squared() * dir.length_squared());
  if (len == 0.0f) return 0.0f;
  return vector::dot(dir, to) / len;
}

void gr_3d_screen_to_ray(vector& out_origin, vector& out_dir, float sx, float sy) {
  const float dx = View.half_w > 0.0f ? (sx - View.half_w) / View.half_w : 0.0f;
  const float dy = View.half_h > 0.0f ? -(sy - View.half_h) / View.half_h : 0.0f;
  vector d{View.s * dx / View.x_scale, View.s * dy / View.y_scale, 1.0f};
  d.normalize();
  d.unrotated(out_dir, View.orient);
  out_origin = View.eye;
}

float gr_3d_screen_size(const vector& view_point, float length) {
  return View.half_w * length * View.x_scale / view_point.z;
}

float gr_3d_zoom_scale(float length) {
  return length * View.s;
}

float gr_3d_world_z(const vector& view_point) {
  return view_point.z * View.inv_s;
}


bool gr_3d_oriented_box_culled(const matrix& orient, const vector& position, const vector& min,
                               const vector& max) {
  vector c;
  for (int i = 0; i < View.plane_count; i++) {
    plane local;
    View.planes[i].pl.to_frame(local, orient, position);
    int against, along;
    box_plane_corners(local, against, along);
    box_corner(c, against, min, max);
    if (local.distance(c) > 0.0f) return true;
  }
  return false;
}

int gr_3d_get_frustum(plane_record* planes, uint8_t* codes) {
  for (int i = 0; i < View.plane_count; i++) {
    if (planes) planes[i] = View.planes[i];
    if (codes) codes[i] = static_cast<uint8_t>(View.planes[i].flags & 0xff);
  }
  return View.plane_count;
}

float gr_3d_far_depth() {
  return View.far_on ? View.far_z : 0.0f;
}

void gr_3d_get_view(vector& eye, matrix& orient) {
  eye = View.eye;
  orient = View.orient;
}

void gr_3d_get_frame(Gr3dFrame& out) {
  out.cam_pos = View.eye;
  out.cam_orient = View.scaled;
  out.x_scale = View.half_w;
  out.y_scale = View.half_h;
  out.x_offset = View.offset_x;
  out.y_offset = View.offset_y;
  out.far_clipping = View.far_on;
  out.far_distance = View.far_on ? View.far_distance : 0.0f;
  out.far_z = View.far_on ? View.far_z : 0.0f;
  // Without far clipping a depth scale of 0 would put everything at one depth.
  const float depth_far = View.far_on ? View.far_distance : View.far_effective;
  out.depth_scale = depth_far > 0.0f ? 1.0f / depth_far : 0.0f;
  out.zmult = Gr_3d_zmult;
  out.zmax = Gr_3d_zmax;
}

void gr_3d_save_view() {
  Saved_view = View;
  Have_saved_view = true;
}

void gr_3d_restore_view() {
  if (!Have_saved_view) return;
  View = Saved_view;
  rebuild_cull_planes();
  clip_set_far(View.far_on, View.far_z);
}

void gr_3d_compose(const matrix& orient_a, const vector& pos_a, matrix& orient_b, vector& pos_b) {
  vector p;
  pos_b.unrotated(p, orient_a);
  pos_b = p + pos_a;
  matrix m;
  orient_a.multiply(m, orient_b);  // B * A: b's rows taken out of a's frame
  orient_b = m;
}

int gr_3d_clip_polygon(int count, GrVertex** list) {
  if (count < 3 || count > MAX_CLIP_VERTICES) return 0;
  GrVertex* work[MAX_CLIP_VERTICES];
  GrVertex* scratch[MAX_CLIP_VERTICES];
  ClipCodes codes;
  codes.and_codes = 0xff;
  for (int i = 0; i < count; i++) {
    work[i] = list[i];
    codes.or_codes |= list[i]->codes;
    codes.and_codes &= list[i]->codes;
  }
  if (codes.and_codes) return 0;
  if (!(codes.or_codes & (CLIP_FAR | CLIP_LEFT | CLIP_RIGHT | CLIP_BOTTOM | CLIP_TOP))) return count;
  // The caller's list has room for one new vertex per plane.
  const int room = count + 5 < MAX_CLIP_VERTICES ? count + 5 : MAX_CLIP_VERTICES;
  int n = count;
  GrVertex** result = clip_polygon(work, scratch, n, codes, room);
  if (codes.and_codes || n < 3) return 0;
  for (int i = 0; i < n; i++) list[i] = result[i];
  return n;
}

void gr_shell_sort_keys(DepthKey* keys, int count) {
  for (int gap = count / 2; gap > 0; gap /= 2) {
    for (int i = gap; i < count; i++) {
      for (int j = i - gap; j >= 0 && keys[j + gap].key > keys[j].key; j -= gap) {
        const DepthKey tmp = keys[j];
        keys[j] = keys[j + gap];
        keys[j + gap] = tmp;
      }
    }
  }
}
