#include "quarn/math/intersect.h"

#include <cfloat>
#include <cmath>
#include <utility>

#include "quarn/vfile/path_types.h"
#include "quarn/gr/grclip.h"
#include "quarn/math/matrix.h"
#include "quarn/math/vector.h"

profile_scope::~profile_scope() {
  null_callback();
}

// ---- planes -------------------------------------------------------------------

bool ix_line_plane_t(const vector& origin, const vector& dir, const plane& p, float& out_t) {
  const float d = vector::dot(p.normal, dir);
  if (d == 0.0f) return false;
  out_t = -p.distance(origin) / d;
  return true;
}

bool ix_line_plane(const vector& origin, const vector& dir, const plane& p, vector& out_point) {
  float t;
  if (!ix_line_plane_t(origin, dir, p, t)) return false;
  out_point = origin + dir * t;
  return true;
}

bool ix_ray_plane(const vector& origin, const vector& dir, const plane& p, vector& out_point) {
  float t;
  if (!ix_line_plane_t(origin, dir, p, t)) return false;
  out_point = origin + dir * t;
  return t >= 0.0f;
}

bool ix_segment_plane_point(vector& out_point, float& out_t, const vector& origin, const vector& dir,
                            const vector& on_plane, const vector& normal) {
  const float d = -vector::dot(normal, dir);
  if (d == 0.0f) return false;
  const float t = vector::dot(normal, origin - on_plane) / d;
  if (!(t >= 0.0f && t <= 1.0f)) return false;
  out_t = t;
  out_point = origin + dir * t;
  return true;
}

bool ix_segment_plane_front(vector& out_point, float& out_t, const vector& origin, const vector& dir,
                            const plane& p) {
  const float d = -vector::dot(dir, p.normal);
  if (d <= 0.0f) return false;
  const float t = p.distance(origin) / d;
  out_t = t;
  if (!(t >= 0.0f && t <= 1.0f)) return false;
  out_point = origin + dir * t;
  return true;
}

bool ix_segment_plane_t(const vector& origin, const vector& dir, const plane& p, float& out_t) {
  const float dist = p.distance(origin);
  if (dist < 0.0f) return false;
  const float approach = -vector::dot(dir, p.normal);
  if (approach < dist) return false;
  // Only a start on the plane moving along it gets here with no approach;
  // it touches at once (the plain division would give 0/0).
  out_t = approach == 0.0f ? 0.0f : dist / approach;
  return true;
}

bool ix_plane_plane(const plane& a, const plane& b, vector& out_point, vector& out_dir) {
  vector d;
  a.normal.cross(d, b.normal);
  const float dx2 = d.x * d.x, dy2 = d.y * d.y, dz2 = d.z * d.z;
  const vector& an = a.normal;
  const vector& bn = b.normal;
  if (dz2 > dy2 && dz2 > dx2 && dz2 > 1e-8f) {
    out_point.set((an.y * b.d - bn.y * a.d) / d.z, (a.d * bn.x - an.x * b.d) / d.z, 0.0f);
  } else if (dy2 > dx2 && dy2 > 1e-8f) {
    out_point.set((bn.z * a.d - an.z * b.d) / d.y, 0.0f, (an.x * b.d - a.d * bn.x) / d.y);
  } else if (dx2 > 1e-8f) {
    out_point.set(0.0f, (an.z * b.d - bn.z * a.d) / d.x, (bn.y * a.d - an.y * b.d) / d.x);
  } else {
    return false;
  }
  out_dir = d;
  out_dir.normalize();
  return true;
}

bool ix_moving_sphere_plane(const vector& start, const vector& dir, float radius, const plane& p,
                            float& out_t, vector& out_point) {
  const vector lead = start - p.normal * radius;
  if (!ix_segment_plane_t(lead, dir, p, out_t)) return false;
  out_point = lead + dir * out_t;
  return true;
}

// ---- triangles, polygons, quads -------------------------------------------------

bool ix_point_in_polygon(const vector& p, int count, const vector* const* verts, const vector& normal) {
  if (count < 3) return false;
  int axis, iu, iv;
  dominant_axis(normal, axis, iu, iv);
  const vector& v0 = *verts[0];
  const float du = p[iu] - v0[iu];
  const float dv = p[iv] - v0[iv];
  for (int i = 2; i < count; i++) {
    const vector& va = *verts[i - 1];
    const vector& vb = *verts[i];
    const float e1u = va[iu] - v0[iu], e1v = va[iv] - v0[iv];
    const float e2u = vb[iu] - v0[iu], e2v = vb[iv] - v0[iv];
    float a, b;
    // Comparisons written so that a NaN (a degenerate fan triangle) skips it.
    if (-0.0001f < e1u && e1u < 0.0001f) {
      b = du / e2u;
      if (!(b >= 0.0f && b <= 1.0f)) continue;
      a = (dv - b * e2v) / e1v;
    } else {
      b = (e1u * dv - e1v * du) / (e2v * e1u - e2u * e1v);
      if (!(b >= 0.0f && b <= 1.0f)) continue;
      a = (du - b * e2u) / e1u;
    }
    if (a >= 0.0f && a + b <= 1.0f) return true;
  }
  return false;
}

bool ix_line_triangle(const vector& origin, const vector& dir, const vector* const* tri, const plane& p,
                      vector& out_point, float& out_t) {
  float t;
  if (!ix_line_plane_t(origin, dir, p, t)) return false;
  const vector hit = origin + dir * t;
  if (!ix_point_in_polygon(hit, 3, tri, p.normal)) return false;
  out_point = hit;
  out_t = t;
  return true;
}

bool ix_segment_triangle(const vector& origin, const vector& dir, const vector* const* tri,
                         const plane& p, vector& out_point, float& out_t) {
  float t;
  if (!ix_segment_plane_t(origin, dir, p, t)) return false;
  const vector hit = origin + dir * t;
  if (!ix_point_in_polygon(hit, 3, tri, p.normal)) return false;
  out_point = hit;
  out_t = t;
  return true;
}

bool ix_segment_parallelogram(const vector& origin, const vector& dir, const vector& corner,
                              const vector& e1, const vector& e2, vector& out_point, float& out_u,
                              float& out_v) {
  plane pl;
  pl.from_points(corner, corner + e1, corner + e2);
  float t;
  if (!ix_line_plane_t(origin, dir, pl, t)) return false;
  if (!(t >= 0.0f && t <= 1.0f)) return false;
  const vector hit = origin + dir * t;
  const float e2_len2 = e2.length_squared();
  const vector e1p = e1 - e2 * (vector::dot(e1, e2) / e2_len2);
  const float u = vector::dot(hit - corner, e1p) / e1p.length_squared();
  if (!(u >= 0.0f && u <= 1.0f)) return false;
  const vector w = hit - (corner + e1 * u);
  if (!(vector::dot(w, e2) > 0.0f)) return false;
  const float v = w.length() / std::sqrt(e2_len2);
  if (!(v >= 0.0f && v <= 1.0f)) return false;
  out_point = hit;
  out_u = u;
  out_v = v;
  return true;
}

namespace {

bool line_hits_triangle(const vector& origin, const vector& dir, const vector& a, const vector& b,
                        const vector& c, float& t) {
  plane pl;
  pl.from_points(a, b, c);
  const vector* tri[3] = {&a, &b, &c};
  vector hit;
  return ix_line_triangle(origin, dir, tri, pl, hit, t);
}

float clamp01(float s) {
  if (s < 0.0f) return 0.0f;
  if (s > 1.0f) return 1.0f;
  return s;
}

}  // namespace

bool ix_line_quad(const vector& origin, const vector& dir, const vector& p1, const vector& p2,
                  const vector& p3, const vector& p4, vector& out_point, float& out_s) {
  float ta, tb;
  if (!line_hits_triangle(origin, dir, p1, p2, p3, ta) && !line_hits_triangle(origin, dir, p4, p2, p3, ta))
    return false;
  if (!line_hits_triangle(origin, dir, p1, p2, p4, tb) && !line_hits_triangle(origin, dir, p1, p3, p4, tb))
    return false;
  const vector hit = origin + dir * ((ta + tb) * 0.5f);
  const vector d13 = p3 - p1;
  const vector d24 = p4 - p2;
  const float s1 = vector::dot(hit - p1, d13) / d13.length_squared();
  const float s2 = vector::dot(hit - p2, d24) / d24.length_squared();
  out_point = hit;
  out_s = clamp01((s1 + s2) * 0.5f);
  return true;
}

// ---- spheres --------------------------------------------------------------------

bool ix_sphere_sphere(const vector& c1, const vector& c2, float r1, float r2) {
  const float r = r1 + r2;
  return vector_distance_squared(c1, c2) < r * r;
}

bool ix_ray_sphere(vector& out_point, float& out_t, const vector& origin, const vector& dir,
                   const vector& center, float radius) {
  profile_scope scope("ix_ray_sphere");
  const vector oc = center - origin;
  const float oc2 = oc.length_squared();
  const float r2 = radius * radius;
  if (oc2 <= r2) {
    out_point = origin;
    out_t = 0.0f;
    return true;
  }
  const float tca = vector::dot(dir, oc);
  if (tca < 0.0f) return false;
  const float disc = r2 - (oc2 - tca * tca);
  if (disc < 0.0f) return false;
  out_t = tca - std::sqrt(disc);
  out_point = origin + dir * out_t;
  return true;
}

bool ix_segment_sphere(vector& out_point, const vector& a, const vector& b, const vector& center,
                       float radius) {
  const vector d = b - a;
  const vector w = center - a;
  const float len = d.length();
  if (len <= 0.0f) {
    out_point = a;
    return w.length() < radius;
  }
  const vector u = d * (1.0f / len);
  const float t = vector::dot(u, w);
  if (t < -radius || t > len + radius) return false;
  const vector p = a + u * t;
  const float e = vector_distance(p, center);
  if (!(e < radius)) return false;
  const float half = std::sqrt(radius * radius - e * e);
  const float t_in = t - half;
  const float t_out = t + half;
  // The line meets the sphere, but the segment must reach into it too.
  if (t_out < 0.0f || t_in > len) return false;
  out_point = t_in > 0.0f ? a + u * t_in : a;
  return true;
}

float ix_segment_length_in_sphere(const vector& a, const vector& b, const vector& center, float radius) {
  const vector d = b - a;
  const float len = d.length();
  if (len <= 0.0f) return 0.0f;
  const vector u = d * (1.0f / len);
  const vector ac = center - a;
  const float tc = vector::dot(u, ac);
  if (!(tc >= -radius && tc < len + radius)) return 0.0f;
  const float disc = radius * radius - (ac.length_squared() - tc * tc);
  if (!(disc > 0.0f)) return 0.0f;
  const float s = std::sqrt(disc);
  auto clamp_len = [len](float x) {
    x = x > 0.0f ? x : 0.0f;
    return x < len ? x : len;
  };
  return clamp_len(tc + s) - clamp_len(tc - s);
}

bool ix_sphere_silhouette(const vector& eye, const vector& center, float radius, float& out_circle_radius,
                          float& out_cone_angle, float& out_offset) {
  const float d = vector_distance(eye, center);
  if (!(d > 0.0f) || !(radius > 0.0f) || d <= radius) return false;
  out_circle_radius = radius * std::sqrt(d * d - radius * radius) / d;
  out_offset = radius * radius / d;
  out_cone_angle = 2.0f * std::asin(radius / d);
  return true;
}

// ---- boxes -------------------------------------------------------------------------

bool ix_box_box(const vector& min_a, const vector& max_a, const vector& min_b, const vector& max_b) {
  return box_overlap(min_a, max_a, min_b, max_b);
}

bool ix_point_box(const vector& p, const vector& min, const vector& max) {
  return p.x >= min.x && p.x <= max.x && p.y >= min.y && p.y <= max.y && p.z >= min.z && p.z <= max.z;
}

bool ix_point_box_expanded(const vector& p, float r, const vector& min, const vector& max) {
  return p.x >= min.x - r && p.x <= max.x + r && p.y >= min.y - r && p.y <= max.y + r &&
         p.z >= min.z - r && p.z <= max.z + r;
}

bool ix_point_box_oriented(const vector& p, const vector& center, const matrix& m, const vector& size) {
  return ix_point_box_oriented_expanded(p, 0.0f, center, m, size);
}

bool ix_point_box_oriented_expanded(const vector& p, float r, const vector& center, const matrix& m,
                                    const vector& size) {
  vector local = p - center;
  local.rotate(m);
  const vector half = size * 0.5f;
  return ix_point_box_expanded(local, r, -half, half);
}

bool ix_ray_boundingbox(const vector& min, const vector& max, const vector& origin, const vector& dir,
                        vector& out_point) {
  profile_scope scope("ix_ray_boundingbox");
  enum { BELOW, ABOVE, BETWEEN };
  int quadrant[3];
  float candidate[3] = {0.0f, 0.0f, 0.0f};
  bool inside = true;
  for (int i = 0; i < 3; i++) {
    if (origin[i] < min[i]) {
      quadrant[i] = BELOW;
      candidate[i] = min[i];
      inside = false;
    } else if (origin[i] > max[i]) {
      quadrant[i] = ABOVE;
      candidate[i] = max[i];
      inside = false;
    } else {
      quadrant[i] = BETWEEN;
    }
  }
  if (inside) {
    out_point = origin;
    return true;
  }
  float max_t[3];
  for (int i = 0; i < 3; i++)
    max_t[i] = (quadrant[i] != BETWEEN && dir[i] != 0.0f) ? (candidate[i] - origin[i]) / dir[i] : -1.0f;
  int which = 0;
  for (int i = 1; i < 3; i++)
    if (max_t[i] > max_t[which]) which = i;
  if (max_t[which] < 0.0f) return false;
  vector hit;
  for (int i = 0; i < 3; i++) {
    if (i == which) {
      hit[i] = candidate[i];
    } else {
      hit[i] = origin[i] + max_t[which] * dir[i];
      if (hit[i] < min[i] || hit[i] > max[i]) return false;
    }
  }
  out_point = hit;
  return true;
}

namespace {

int box_outcode(const vector& p, const vector& min, const vector& max) {
  int c = 0;
  if (p.x > max.x)
    c |= 1;
  else if (p.x < min.x)
    c |= 2;
  if (p.y > max.y)
    c |= 4;
  else if (p.y < min.y)
    c |= 8;
  if (p.z > max.z)
    c |= 32;
  else if (p.z < min.z)
    c |= 16;
  return c;
}

}  // namespace

bool ix_segment_box(const vector& min, const vector& max, const vector& a, const vector& b,
                    vector& out_point) {
  const int ca = box_outcode(a, min, max);
  if (ca == 0) {
    out_point = a;
    return true;
  }
  const int cb = box_outcode(b, min, max);
  if (cb == 0) {
    out_point = b;
    return true;
  }
  if (ca & cb) return false;
  static const int above_bit[3] = {1, 4, 32};
  static const int below_bit[3] = {2, 8, 16};
  for (int i = 0; i < 3; i++) {
    float face;
    if (ca & above_bit[i])
      face = max[i];
    else if (ca & below_bit[i])
      face = min[i];
    else
      continue;
    const float t = (face - a[i]) / (b[i] - a[i]);
    vector hit;
    bool ok = true;
    for (int k = 0; k < 3; k++) {
      if (k == i) {
        hit[k] = face;
        continue;
      }
      hit[k] = a[k] + (b[k] - a[k]) * t;
      if (!(hit[k] >= min[k] && hit[k] <= max[k])) ok = false;
    }
    if (ok) {
      out_point = hit;
      return true;
    }
  }
  return false;
}

bool ix_linesegment_box_oriented(const vector& center, const matrix& m, const vector& size,
                                 const vector& a, const vector& b, vector& out_point) {
  profile_scope scope("ix_linesegment_box_oriented");
  vector la = a - center;
  la.rotate(m);
  vector lb = b - center;
  lb.rotate(m);
  const vector half = size * 0.5f;
  // A miss leaves the start as the out point rather than an unset value.
  vector local = la;
  const bool hit = ix_segment_box(-half, half, la, lb, local);
  out_point = local;
  out_point.from_frame(center, m);
  return hit;
}

bool ix_ray_box_oriented(const vector& origin, const vector& dir, const vector& center, const matrix& m,
                         const vector& size, vector& out_point) {
  profile_scope scope("ix_ray_box_oriented");
  vector lo = origin - center;
  lo.rotate(m);
  vector ld;
  dir.rotated(ld, m);
  const vector half = size * 0.5f;
  vector local = lo;
  const bool hit = ix_ray_boundingbox(-half, half, lo, ld, local);
  out_point = local;
  out_point.from_frame(center, m);
  return hit;
}

int ix_obb_obb(const float r[3][4], const vector& t, const vector& a, const vector& b) {
  float f[3][3];
  for (int i = 0; i < 3; i++)
    for (int j = 0; j < 3; j++) f[i][j] = std::fabs(r[i][j]) + 1e-6f;

  // Axes of A.
  for (int i = 0; i < 3; i++)
    if (std::fabs(t[i]) > a[i] + b[0] * f[i][0] + b[1] * f[i][1] + b[2] * f[i][2]) return 1 + i;
  // Axes of B.
  for (int j = 0; j < 3; j++) {
    const float s = t[0] * r[0][j] + t[1] * r[1][j] + t[2] * r[2][j];
    if (std::fabs(s) > b[j] + a[0] * f[0][j] + a[1] * f[1][j] + a[2] * f[2][j]) return 4 + j;
  }
  // Ai x Bj: the projections of T and of both boxes on the cross product.
  int axis = 7;
  for (int i = 0; i < 3; i++) {
    const int i1 = (i + 1) % 3, i2 = (i + 2) % 3;
    for (int j = 0; j < 3; j++, axis++) {
      const int j1 = (j + 1) % 3, j2 = (j + 2) % 3;
      const float s = t[i2] * r[i1][j] - t[i1] * r[i2][j];
      const float ra = a[i1] * f[i2][j] + a[i2] * f[i1][j];
      const float rb = b[j1] * f[i][j2] + b[j2] * f[i][j1];
      if (std::fabs(s) > ra + rb) return axis;
    }
  }
  return 0;
}

// ---- moving spheres and slabs --------------------------------------------------------

namespace {

// A sphere touching a corner: the smaller root of |s + v t|^2 = r^2.
bool moving_sphere_vertex(vector& out_point, const vector& corner, const vector& s, const vector& v,
                          float radius, float& out_t, float t_limit) {
  const float sv = vector::dot(s, v);
  const float vv = v.length_squared();
  const float disc = (2.0f * sv) * (2.0f * sv) - 4.0f * (s.length_squared() - radius * radius) * vv;
  if (disc <= 0.0f) return false;
  const float t = (-2.0f * sv - std::sqrt(disc)) / (2.0f * vv);
  if (!(t >= 0.0f && t <= 1.0f) || !(t < t_limit)) return false;
  out_point = corner;
  out_t = t;
  return true;
}

}  // namespace

bool ix_moving_sphere_edge(vector& out_point, const vector& start, const vector& velocity, float radius,
                           const vector& e0, const vector& e1, float& out_t, float t_limit) {
  const vector e = e1 - e0;
  const vector s = start - e0;
  const float ee = e.length_squared();
  const float ev = vector::dot(e, velocity);
  const float se = vector::dot(s, e);
  const float sv = vector::dot(s, velocity);
  const float vv = velocity.length_squared();
  const float a = ev * ev - vv * ee;
  if (a != 0.0f) {
    const float b = 2.0f * (ev * se - ee * sv);
    const float c = ee * radius * radius + se * se - ee * s.length_squared();
    const float disc = b * b - 4.0f * a * c;
    if (disc <= 0.0f) return false;
    const float root = std::sqrt(disc);
    float t0 = (root - b) / (2.0f * a);
    float t1 = (-root - b) / (2.0f * a);
    if (t0 > t1) std::swap(t0, t1);
    if (t0 >= -0.05f) {
      // Already touching by a little of the move counts as touching at once.
      if (t0 < 0.0f)
        t0 = 1e-6f;
      else if (t0 > 1.0f)
        return false;
      if (!(t0 < t_limit)) return false;
      const vector contact = start + velocity * t0;
      const float sigma = vector::dot(contact - e0, e) / ee;
      if (sigma >= 0.0f && sigma <= 1.0f) {
        out_point = e0 + e * sigma;
        out_t = t0;
        return true;
      }
    } else if (t1 < 0.0f) {
      return false;
    }
  }
  // The far corner is the next edge's start.
  return moving_sphere_vertex(out_point, e0, s, velocity, radius, out_t, t_limit);
}

bool ix_moving_sphere_polygon(vector& out_point, const vector& start, const vector& velocity,
                              float radius, int count, const vector* const* verts, float& out_t) {
  if (count < 1) return false;
  vector bmin = start, bmax = start;
  bmin.subtract_scalar(radius);
  bmax.add_scalar(radius);
  box_sweep(bmin, bmax, velocity);

  float best = FLT_MAX;
  vector best_point = start;
  for (int i = 0; i < count; i++) {
    const vector& a = *verts[i];
    const vector& b = *verts[(i + 1) % count];
    vector tmp;
    if (!ix_segment_box(bmin, bmax, a, b, tmp)) continue;
    vector p;
    float t;
    if (ix_moving_sphere_edge(p, start, velocity, radius, a, b, t, best) && t < best) {
      best = t;
      best_point = p;
    }
  }
  if (!(best <= 1.0f)) return false;
  out_point = best_point;
  out_t = best;
  return true;
}

bool ix_segment_slab(vector& out_point, const vector& origin, const vector& dir, float h,
                     const vector& n, const vector& q, float& out_t_enter, float& out_t_span) {
  const float a = vector::dot(n, q);
  const float b = vector::dot(n, origin);
  const float c = vector::dot(n, dir);
  if (std::fabs(c) <= 1e-30f) return false;
  float t1 = (h - (b - a)) / c;
  float t2 = (a - b - h) / c;
  if (t1 > t2) std::swap(t1, t2);
  out_t_enter = t1;
  out_t_span = t2 - t1;
  if (t1 > 0.0f && t1 < 1.0f) vector_project_to_plane(out_point, origin + dir * t1, n, q);
  if (t1 >= 1.0f) return false;
  return t2 > 0.0f;
}

// ---- distances ----------------------------------------------------------------------

bool ix_segments_cross_2d(const vector2& p1, const vector2& p2, const vector2& q1, const vector2& q2) {
  const float dpx = p2.x - p1.x, dpy = p2.y - p1.y;
  const float dqx = q2.x - q1.x, dqy = q2.y - q1.y;
  const float den = dpx * dqy - dpy * dqx;
  if (den == 0.0f) return false;
  const float wx = q1.x - p1.x, wy = q1.y - p1.y;
  const float s = (wx * dqy - wy * dqx) / den;
  const float u = (wx * dpy - wy * dpx) / den;
  return s >= 0.0f && s <= 1.0f && u >= 0.0f && u <= 1.0f;
}

float ix_closest_point_on_line(const vector& p, const vector& origin, const vector& dir, vector& out) {
  const float t = vector::dot(p - origin, dir);
  out = origin + dir * t;
  return t;
}

float ix_closest_point_on_segment(const vector& p, const vector& a, const vector& b, vector& out) {
  const vector d = b - a;
  const float len = d.length();
  if (len == 0.0f) {
    out = a;
    return 0.0f;
  }
  const vector u = d * (1.0f / len);
  float t = vector::dot(u, p - a);
  if (t < 0.0f) t = 0.0f;
  if (t > len) t = len;
  out = a + u * t;
  return t;
}
