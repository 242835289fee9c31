#include "quarn/gr/grclip.h"

#include <cstdio>
#include <utility>

#include "quarn/gr/gr.h"
#include "quarn/gr/gr3d.h"
#include "quarn/math/vector.h"

namespace {

GrVertex Clip_pool[MAX_CLIP_VERTICES];
int Clip_pool_used = 0;
// One message per frame is enough to find the offender; a full pool would
// otherwise print for every later edge of the frame.
bool Clip_pool_reported = false;

bool Clip_far_on = false;
float Clip_far_z = 0.0f;

const uint8_t Plane_order[5] = {CLIP_FAR, CLIP_LEFT, CLIP_RIGHT, CLIP_BOTTOM, CLIP_TOP};

void clip_report(const char* what) {
  std::fprintf(stderr, "clip: %s\n", what);
}

}  // namespace

void clip_set_far(bool on, float far_z) {
  Clip_far_on = on;
  Clip_far_z = far_z;
}

float clip_far_z() {
  return Clip_far_on ? Clip_far_z : 0.0f;
}

uint8_t clip_codes_of(float x, float y, float z) {
  uint8_t c = 0;
  if (Clip_far_on && z > Clip_far_z) c |= CLIP_FAR;
  if (x < -z) c |= CLIP_LEFT;
  if (x > z) c |= CLIP_RIGHT;
  if (y < -z) c |= CLIP_BOTTOM;
  if (y > z) c |= CLIP_TOP;
  if (z <= 0.0f) c |= CLIP_BEHIND;
  return c;
}

GrVertex* clip_new_vertex() {
  if (Clip_pool_used >= MAX_CLIP_VERTICES) {
    if (!Clip_pool_reported) {
      clip_report("out of clip vertices (MAX_CLIP_VERTICES) this frame; geometry dropped");
      Clip_pool_reported = true;
    }
    return nullptr;
  }
  GrVertex* v = &Clip_pool[Clip_pool_used++];
  *v = GrVertex();
  v->proj_flags = PF_TEMPORARY;
  return v;
}

void clip_pool_reset() {
  Clip_pool_used = 0;
  Clip_pool_reported = false;
}

int clip_pool_used() {
  return Clip_pool_used;
}

void clip_pool_rewind(int used) {
  if (used >= 0 && used < Clip_pool_used) Clip_pool_used = used;
}

GrVertex* clip_edge(int plane_code, const GrVertex* a, const GrVertex* b) {
  GrVertex* n = clip_new_vertex();
  if (!n) return nullptr;

  float t;
  if (plane_code == CLIP_FAR) {
    const float dz = b->z - a->z;
    t = dz == 0.0f ? 1.0f : (Clip_far_z - a->z) / dz;
    n->x = a->x + (b->x - a->x) * t;
    n->y = a->y + (b->y - a->y) * t;
    n->z = Clip_far_z;
  } else {
    const bool use_x = plane_code == CLIP_LEFT || plane_code == CLIP_RIGHT;
    const float sign = (plane_code == CLIP_LEFT || plane_code == CLIP_BOTTOM) ? -1.0f : 1.0f;
    const float ca = sign * (use_x ? a->x : a->y);
    const float cb = sign * (use_x ? b->x : b->y);
    const float da = ca - a->z;
    const float denom = da - (cb - b->z);
    t = denom == 0.0f ? 1.0f : da / denom;
    n->x = a->x + (b->x - a->x) * t;
    n->y = a->y + (b->y - a->y) * t;
    // Put the point exactly on the plane so its codes do not name it again.
    n->z = sign * (use_x ? n->x : n->y);
  }

  n->flags = a->flags & b->flags;
  if (n->flags & GR_VERTEX_UV) {
    n->u = a->u + (b->u - a->u) * t;
    n->v = a->v + (b->v - a->v) * t;
  }
  if (n->flags & GR_VERTEX_UV2) {
    n->u2 = a->u2 + (b->u2 - a->u2) * t;
    n->v2 = a->v2 + (b->v2 - a->v2) * t;
  }
  if (n->flags & GR_VERTEX_RGB) {
    n->r = static_cast<uint8_t>(static_cast<int>(a->r + (b->r - a->r) * t));
    n->g = static_cast<uint8_t>(static_cast<int>(a->g + (b->g - a->g) * t));
    n->b = static_cast<uint8_t>(static_cast<int>(a->b + (b->b - a->b) * t));
  }
  if (n->flags & GR_VERTEX_ALPHA) {
    // Far geometry fading out to nothing stays invisible where it is cut.
    if (plane_code == CLIP_FAR && b->a == 0)
      n->a = 0;
    else
      n->a = static_cast<uint8_t>(static_cast<int>(a->a + (b->a - a->a) * t));
  }
  n->codes = clip_codes_of(n->x, n->y, n->z);
  return n;
}

uint8_t clip_line(GrVertex*& a, GrVertex*& b, uint8_t codes) {
  for (uint8_t code : Plane_order) {
    if (!(codes & code)) continue;
    // Both ends beyond one plane: nothing to cut, the line is gone. Cutting
    // anyway would make a point on the plane's far extension.
    if (a->codes & b->codes) break;
    if (!((a->codes | b->codes) & code)) continue;
    if (a->codes & code) std::swap(a, b);
    GrVertex* n = clip_edge(code, a, b);
    if (!n) break;  // pool used up: b keeps its codes and the caller drops the line
    b = n;
    codes = a->codes | b->codes;
  }
  return a->codes | b->codes;
}

int clip_plane(int plane_code, GrVertex* const* src, GrVertex** dst, int& count, ClipCodes& codes,
               int dst_capacity) {
  const int n = count;
  int out = 0;
  uint8_t or_c = 0, and_c = 0xff;
  bool failed = false;

  auto emit = [&](GrVertex* v) {
    if (!v || out >= dst_capacity) {
      if (v) clip_report("clipped polygon does not fit its list; polygon dropped");
      failed = true;
      return;
    }
    dst[out++] = v;
    or_c |= v->codes;
    and_c &= v->codes;
  };

  for (int i = 0; i < n && !failed; i++) {
    GrVertex* cur = src[i];
    if (cur->codes & plane_code) {
      GrVertex* prev = src[(i + n - 1) % n];
      GrVertex* next = src[(i + 1) % n];
      if (!(prev->codes & plane_code)) emit(clip_edge(plane_code, prev, cur));
      if (!failed && !(next->codes & plane_code)) emit(clip_edge(plane_code, next, cur));
    } else {
      emit(cur);
    }
  }

  if (out == 0) and_c = 0xff;
  if (failed) and_c |= static_cast<uint8_t>(plane_code);
  codes.or_codes = or_c;
  codes.and_codes = and_c;
  count = out;
  return out;
}

GrVertex** clip_polygon(GrVertex** list, GrVertex** scratch, int& count, ClipCodes& codes, int capacity) {
  GrVertex** src = list;
  GrVertex** dst = scratch;
  for (uint8_t code : Plane_order) {
    if (!(codes.or_codes & code)) continue;
    clip_plane(code, src, dst, count, codes, capacity);
    std::swap(src, dst);
    if (codes.and_codes) break;
  }
  return src;
}

int clip_sphere_view(const vector& c, float r) {
  if (c.z + r <= 0.0f) return -1;
  const float d = 0.70710677f;
  const float dist[4] = {-d * c.z - d * c.x, d * c.x - d * c.z, d * c.y - d * c.z, -d * c.z - d * c.y};
  bool all_inside = true;
  for (float s : dist) {
    if (s >= r) return -1;
    if (!(s < -r)) all_inside = false;
  }
  return all_inside ? 1 : 0;
}

// ---- boxes ------------------------------------------------------------------

void box_corner(vector& out, int corner, const vector& min, const vector& max) {
  const int k = corner & 3;
  out.x = (k == 0 || k == 1) ? max.x : min.x;
  out.y = (k == 0 || k == 3) ? max.y : min.y;
  out.z = (corner & 4) ? max.z : min.z;
}

void box_from_points(vector& min, vector& max, const vector& a, const vector& b) {
  for (int i = 0; i < 3; i++) {
    min[i] = a[i] < b[i] ? a[i] : b[i];
    max[i] = a[i] < b[i] ? b[i] : a[i];
  }
}

bool box_overlap(const vector& min_a, const vector& max_a, const vector& min_b, const vector& max_b) {
  return min_a.x <= max_b.x && max_a.x >= min_b.x && min_a.y <= max_b.y && max_a.y >= min_b.y &&
         min_a.z <= max_b.z && max_a.z >= min_b.z;
}

void box_grow(vector& min, vector& max, const vector& other_min, const vector& other_max) {
  for (int i = 0; i < 3; i++) {
    if (other_min[i] < min[i]) min[i] = other_min[i];
    if (other_max[i] > max[i]) max[i] = other_max[i];
  }
}

void box_sweep(vector& min, vector& max, const vector& movement) {
  for (int i = 0; i < 3; i++) {
    if (movement[i] >= 0.0f)
      max[i] += movement[i];
    else
      min[i] += movement[i];
  }
}

namespace {

// Outline corners of a box seen from each of the 27 regions around it,
// indexed 9 * x + 3 * y + z with 0 inside the slab, 1 below min, 2 above max.
const int8_t Silhouette[27][7] = {
    {8},
    {3, 0, 1, 2, 8},
    {4, 7, 6, 5, 8},
    {2, 1, 5, 6, 8},
    {6, 2, 3, 0, 1, 5, 8},
    {1, 5, 4, 7, 6, 2, 8},
    {7, 4, 0, 3, 8},
    {2, 3, 7, 4, 0, 1, 8},
    {3, 7, 6, 5, 4, 0, 8},
    {7, 3, 2, 6, 8},
    {7, 3, 0, 1, 2, 6, 8},
    {4, 7, 3, 2, 6, 5, 8},
    {3, 2, 1, 5, 6, 7, 8},
    {3, 0, 1, 5, 6, 7, 8},
    {3, 2, 1, 5, 4, 7, 8},
    {6, 7, 4, 0, 3, 2, 8},
    {6, 7, 4, 0, 1, 2, 8},
    {4, 0, 3, 2, 6, 5, 8},
    {0, 4, 5, 1, 8},
    {3, 0, 4, 5, 1, 2, 8},
    {0, 4, 7, 6, 5, 1, 8},
    {4, 5, 6, 2, 1, 0, 8},
    {4, 5, 6, 2, 3, 0, 8},
    {0, 4, 7, 6, 2, 1, 8},
    {1, 0, 3, 7, 4, 5, 8},
    {3, 7, 4, 5, 1, 2, 8},
    {0, 3, 7, 6, 5, 1, 8},
};

}  // namespace

int box_silhouette(int corners[6], const vector& p, const vector& min, const vector& max) {
  static const int weight[3] = {9, 3, 1};
  int row = 0;
  for (int i = 0; i < 3; i++) {
    if (p[i] < min[i])
      row += weight[i];
    else if (p[i] > max[i])
      row += 2 * weight[i];
  }
  int n = 0;
  while (n < 6 && Silhouette[row][n] != 8) {
    corners[n] = Silhouette[row][n];
    n++;
  }
  return n;
}

void box_plane_corners(const plane& p, int& corner_against, int& corner_along) {
  // The corner against the normal takes min where the component is positive.
  const bool x_min = p.normal.x > 0.0f;
  const bool y_min = p.normal.y > 0.0f;
  const bool z_min = p.normal.z > 0.0f;
  auto corner_of = [](bool xmin, bool ymin, bool zmin) {
    int k;
    if (!xmin)
      k = ymin ? 1 : 0;
    else
      k = ymin ? 2 : 3;
    return k + (zmin ? 0 : 4);
  };
  corner_against = corner_of(x_min, y_min, z_min);
  corner_along = corner_of(!x_min, !y_min, !z_min);
}

bool box_crosses_plane(const vector& min, const vector& max, const plane& p) {
  int against, along;
  box_plane_corners(p, against, along);
  vector c;
  box_corner(c, against, min, max);
  if (p.distance(c) > 0.0f) return false;
  box_corner(c, along, min, max);
  return p.distance(c) >= 0.0f;
}
