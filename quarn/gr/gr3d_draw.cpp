// 3D lines, polygons, sprites, beams and debug shapes.
#include "quarn/gr/gr3d_draw.h"

#include <cmath>

#include "quarn/bmpman/bmpman.h"
#include "quarn/gr/directx/gr_d3d.h"
#include "quarn/gr/glide/gr_glide.h"
#include "quarn/gr/gr3d.h"
#include "quarn/gr/gr_alpha.h"
#include "quarn/gr/gr_recorder.h"
#include "quarn/gr/grclip.h"
#include "quarn/gr/opengl/gr_opengl.h"
#include "quarn/os/console.h"

bool Use_buffered_alpha_polys = true;
const RenderStateWord Gr_debug_state = Gr_preset[7];

CONSOLE_BOOL_VARIABLE(Cc_use_buffered_alpha_polys, "use_buffered_alpha_polys",
                      "Toggles Use_buffered_alpha_polys", Use_buffered_alpha_polys);

void gr_set_use_buffered_alpha_polys(bool on) { Use_buffered_alpha_polys = on; }

namespace {

constexpr float PI = 3.14159265358979f;

void renderer_line3d(const GrVertex* a, const GrVertex* b, RenderStateWord state) {
  switch (gr_screen.renderer) {
    case GR_DIRECT3D: gr_d3d_line3d(a, b, state); break;
    case GR_GLIDE: gr_glide_line3d(a, b, state); break;
    case GR_OPENGL: gr_opengl_line3d(a, b, state); break;
    case GR_RECORDER:
      if (gr_get_recorder()) gr_get_recorder()->line3d(a, b, state);
      break;
    default: break;
  }
}

// The pre-scaled view's x and y scales: the lengths of its first two rows.
void view_scales(float& kx, float& ky) {
  Gr3dFrame f;
  gr_3d_get_frame(f);
  kx = f.cam_orient.right.length();
  ky = f.cam_orient.up.length();
}

bool sprite(GrVertex& point, float angle, float x_half, float y_half, float size, RenderStateWord state) {
  if (gr_3d_project_point(point) & PF_BEHIND) return false;
  const float s = std::sin(angle), c = std::cos(angle);
  const float a = y_half * s, b = x_half * c, d = x_half * s, e = y_half * c;
  float kx, ky;
  view_scales(kx, ky);
  GrVertex corner[4];
  const float cx[4] = {(a - b), (b + a), (b - a), (-b - a)};
  const float cy[4] = {(-d - e), (d - e), (e + d), (e - d)};
  const float tu[4] = {0.0f, 1.0f, 1.0f, 0.0f};
  const float tv[4] = {1.0f, 1.0f, 0.0f, 0.0f};
  uint8_t and_codes = 0xff;
  for (int i = 0; i < 4; i++) {
    GrVertex& v = corner[i];
    v.x = point.x + cx[i] * kx;
    v.y = point.y + cy[i] * ky;
    v.z = point.z;
    v.u = tu[i];
    v.v = tv[i];
    v.flags = GR_VERTEX_UV;
    v.proj_flags = 0;
    gr_3d_codes(v);
    and_codes &= v.codes;
  }
  if (and_codes) return false;
  const float zoom = gr_3d_zoom_scale(size);
  const float fixed = zoom < point.z ? point.z - zoom : point.z;
  GrVertex* list[4] = {&corner[3], &corner[2], &corner[1], &corner[0]};
  return gr_3d_draw_poly(4, list, state, true, fixed);
}

vector normalized_or(const vector& v, const vector& fallback) {
  vector n = v;
  return n.normalize_safe_len() == 0.0f ? fallback : n;
}

// Shaft from p1 to p2 with a head around the point `at` of the way along it.
void arrow(const vector& p1, const vector& p2, float at) {
  gr_3d_draw_line_world(p1, p2, Gr_debug_state);
  vector d = p2 - p1;
  const float len = d.normalize_safe_len();
  if (len == 0.0f) return;
  vector eye;
  matrix view;
  gr_3d_get_view(eye, view);
  vector side;
  view.forward.cross(side, d);
  if (side.normalize_safe_len() == 0.0f) {
    view.up.cross(side, d);
    side.normalize_safe();
  }
  const vector m = p1 + d * (len * at);
  const vector head = m + d * (len / 8.0f);
  gr_3d_draw_line_world(head, m + side * (len / 16.0f), Gr_debug_state);
  gr_3d_draw_line_world(head, m - side * (len / 16.0f), Gr_debug_state);
}

}  // namespace

bool gr_3d_draw_line(const GrVertex& a_in, const GrVertex& b_in, RenderStateWord state) {
  if (a_in.codes & b_in.codes) return false;
  GrVertex a = a_in, b = b_in;
  GrVertex* pa = &a;
  GrVertex* pb = &b;
  const bool clipped = (a.codes | b.codes) != 0;
  if (clipped) {
    clip_line(pa, pb, static_cast<uint8_t>(a.codes | b.codes));
    if (pa->codes || pb->codes) {
      clip_pool_reset();
      return false;
    }
  }
  if ((gr_3d_project_point(*pa) | gr_3d_project_point(*pb)) & PF_BEHIND) {
    if (clipped) clip_pool_reset();
    return false;
  }
  renderer_line3d(pa, pb, state);
  if (clipped) clip_pool_reset();
  return true;
}

bool gr_3d_draw_line_world(const vector& a, const vector& b, RenderStateWord state) {
  GrVertex va, vb;
  gr_3d_rotate_point(va, a);
  gr_3d_rotate_point(vb, b);
  return gr_3d_draw_line(va, vb, state);
}

bool gr_3d_draw_poly(int count, GrVertex** points, RenderStateWord state, bool fixed_depth, float fixed_z) {
  if (count < 1 || !points) return false;
  const Color cur = gr_screen.current_color;
  bool translucent = false;
  float depth = 0.0f;
  if (Use_buffered_alpha_polys) {
    const int src = state.alpha_source();
    translucent = src == 1 || src == 3;
    for (int i = 0; i < count && !translucent; i++) {
      const int a = (points[i]->flags & GR_VERTEX_ALPHA) ? points[i]->a : cur.alpha;
      if (a < 255) translucent = true;
    }
  }
  if (translucent) {
    depth = points[0]->z;
    for (int i = 1; i < count; i++)
      if (points[i]->z > depth) depth = points[i]->z;
  }
  gr_alpha_poly_begin(translucent, depth, static_cast<uint8_t>(gr_screen.poly_word), fixed_depth, fixed_z);
  gr_alpha_poly_state(state, gr_screen.current_bitmap, cur.red, cur.green, cur.blue, cur.alpha, 0);
  for (int i = 0; i < count; i++) {
    GrVertex* v = points[i];
    gr_alpha_poly_vertex(v);
    if (v->flags & GR_VERTEX_UV) gr_alpha_poly_uv(v->u, v->v);
    if (v->flags & GR_VERTEX_RGB) gr_alpha_poly_rgb(v->r, v->g, v->b);
    if (v->flags & GR_VERTEX_ALPHA) gr_alpha_poly_alpha(v->a);
  }
  return gr_alpha_poly_end();
}

int gr_3d_clip_project_poly(int count, GrVertex** points, int capacity) {
  if (count < 3 || !points || count > MAX_CLIP_VERTICES || capacity < count) return 0;
  // Clipped in a list of our own: the caller's may have no room to grow.
  GrVertex* work[MAX_CLIP_VERTICES];
  for (int i = 0; i < count; i++) work[i] = points[i];
  const int pool_before = clip_pool_used();
  int n = gr_3d_clip_polygon(count, work);
  for (int i = 0; i < n; i++)
    if (gr_3d_project_point(*work[i]) & PF_BEHIND) n = 0;
  if (n > capacity) n = 0;
  for (int i = 0; i < n; i++) points[i] = work[i];
  // The pool vertices stay readable until the pool is used again.
  if (clip_pool_used() != pool_before) clip_pool_reset();
  return n;
}

bool gr_3d_draw_sprite_at(GrVertex& point, float angle, float size, RenderStateWord state) {
  float x_half = size, y_half = size;
  const int bitmap = gr_screen.current_bitmap;
  if (bitmap >= 0) {
    int w = 0, h = 0;
    bm_get_size(bitmap, &w, &h);
    if (w == 0) return false;
    if (w < h)
      y_half = static_cast<float>(h) * size / static_cast<float>(w);
    else if (w > h && h > 0)
      x_half = static_cast<float>(w) * size / static_cast<float>(h);
  }
  return sprite(point, angle, x_half, y_half, size, state);
}

bool gr_3d_draw_sprite(const vector& world, float angle, float size, RenderStateWord state) {
  GrVertex p;
  gr_3d_rotate_point(p, world);
  if (!(gr_3d_project_point(p) & PF_PROJECTED)) return false;
  return gr_3d_draw_sprite_at(p, angle, size, state);
}

bool gr_3d_draw_rect_sprite_at(GrVertex& point, float angle, float width, float height,
                               RenderStateWord state) {
  // The fixed depth pulls the sprite toward the eye by its larger half.
  const float size = (width > height ? width : height) * 0.5f;
  return sprite(point, angle, width * 0.5f, height * 0.5f, size, state);
}

bool gr_3d_draw_rect_sprite(const vector& world, float angle, float width, float height,
                            RenderStateWord state) {
  GrVertex p;
  gr_3d_rotate_point(p, world);
  if (!(gr_3d_project_point(p) & PF_PROJECTED)) return false;
  return gr_3d_draw_rect_sprite_at(p, angle, width, height, state);
}

bool gr_3d_draw_beam(const vector& a, const vector& b, float width, RenderStateWord state) {
  vector eye;
  matrix view;
  gr_3d_get_view(eye, view);
  const vector dir = normalized_or(b - a, vector(1.0f, 0.0f, 0.0f));
  const vector mid = (a + b) * 0.5f;
  const vector to_eye = normalized_or(eye - mid, view.forward * -1.0f);
  vector side;
  dir.cross(side, to_eye);
  side.normalize_safe();
  const vector half = side * (width * 0.5f);
  const vector world[4] = {a + half, b + half, b - half, a - half};
  static const float tu[4] = {0.0f, 0.0f, 1.0f, 1.0f};
  static const float tv[4] = {0.0f, 1.0f, 1.0f, 0.0f};
  GrVertex v[4];
  for (int i = 0; i < 4; i++) gr_3d_rotate_point(v[i], world[i]);
  GrVertex m;
  gr_3d_rotate_point(m, a * 0.5f + b * 0.5f);

  const Color cur = gr_screen.current_color;
  gr_alpha_poly_begin(true, m.z, 0, false, 0.0f);
  gr_alpha_poly_state(state, gr_screen.current_bitmap, cur.red, cur.green, cur.blue, cur.alpha, 0);
  for (int i = 0; i < 4; i++) {
    gr_alpha_poly_vertex(&v[i]);
    gr_alpha_poly_uv(tu[i], tv[i]);
  }
  gr_alpha_poly_end();
  return true;
}

bool gr_3d_draw_sphere(const vector& center, float radius, RenderStateWord state) {
  GrVertex c;
  gr_3d_rotate_point(c, center);
  float segments = gr_3d_screen_size(vector(c.x, c.y, c.z), radius);
  // Behind the eye or at it the size means nothing (negative, infinite or
  // not a number): the fewest segments.
  if (!(segments >= GR_SPHERE_MIN_SEGMENTS)) segments = GR_SPHERE_MIN_SEGMENTS;
  if (segments > GR_SPHERE_MAX_SEGMENTS) segments = GR_SPHERE_MAX_SEGMENTS;
  const int count = static_cast<int>(segments);
  const float step = 2.0f * PI / static_cast<float>(count);
  static const vector axes[3] = {{1.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}, {0.0f, 0.0f, 1.0f}};
  for (const vector& axis : axes) {
    const matrix m = matrix::from_forward_raw(axis);
    auto point = [&](int i) {
      const float ang = step * static_cast<float>(i);
      return center + m.right * (radius * std::sin(ang)) + m.up * (radius * std::cos(ang));
    };
    vector prev = point(0);
    for (int i = 1; i <= count; i++) {
      const vector next = i == count ? point(0) : point(i);
      gr_3d_draw_line_world(prev, next, state);
      prev = next;
    }
    gr_3d_draw_line_world(center + m.forward * radius, center - m.forward * radius, state);
  }
  return true;
}

bool gr_3d_draw_box(const vector& center, const matrix& orient, const vector& size, RenderStateWord state) {
  const vector hx = orient.right * (size.x * 0.5f);
  const vector hy = orient.up * (size.y * 0.5f);
  const vector hz = orient.forward * (size.z * 0.5f);
  // Signs of (r0, r1, r2) per corner.
  static const int sign[8][3] = {{-1, -1, -1}, {1, -1, -1}, {1, -1, 1}, {-1, -1, 1},
                                 {-1, 1, -1},  {1, 1, -1},  {1, 1, 1},  {-1, 1, 1}};
  GrVertex v[8];
  for (int i = 0; i < 8; i++) {
    const vector p = center + hx * static_cast<float>(sign[i][0]) + hy * static_cast<float>(sign[i][1]) +
                     hz * static_cast<float>(sign[i][2]);
    gr_3d_rotate_point(v[i], p);
  }
  static const int edges[12][2] = {{0, 1}, {1, 2}, {2, 3}, {3, 0}, {4, 5}, {5, 6},
                                   {6, 7}, {7, 4}, {0, 4}, {1, 5}, {2, 6}, {3, 7}};
  for (const auto& e : edges) gr_3d_draw_line(v[e[0]], v[e[1]], state);
  return true;
}

void gr_3d_debug_line(float x1, float y1, float z1, float x2, float y2, float z2, int r, int g, int b) {
  gr_set_color(r, g, b, 255);
  gr_3d_draw_line_world(vector(x1, y1, z1), vector(x2, y2, z2), Gr_debug_state);
}

void gr_3d_debug_arrow(float x1, float y1, float z1, float x2, float y2, float z2, int r, int g, int b) {
  gr_set_color(r, g, b, 255);
  arrow(vector(x1, y1, z1), vector(x2, y2, z2), 0.5f);
}

void gr_3d_debug_arrow_tip(float x1, float y1, float z1, float x2, float y2, float z2, int r, int g, int b) {
  GrVertex a, c;
  gr_3d_rotate_point(a, vector(x1, y1, z1));
  gr_3d_rotate_point(c, vector(x2, y2, z2));
  // Pointing along the line of sight: there is no shaft to see.
  if (a.x == c.x && a.y == c.y) return;
  gr_set_color(r, g, b, 255);
  arrow(vector(x1, y1, z1), vector(x2, y2, z2), 0.9f);
}

void gr_3d_debug_axes(const vector& position, const matrix& orient, float length) {
  const Color keep = gr_screen.current_color;
  const vector* rows[3] = {&orient.right, &orient.up, &orient.forward};
  static const int colour[3][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
  for (int k = 0; k < 3; k++) {
    const vector end = position + *rows[k] * length;
    gr_3d_debug_arrow_tip(position.x, position.y, position.z, end.x, end.y, end.z, colour[k][0],
                          colour[k][1], colour[k][2]);
  }
  gr_set_color_rec(keep);
}
