#include "quarn/math/planeclip.h"

#include <cmath>

namespace {
constexpr float TOLERANCE = 0.0001f;

// One Sutherland-Hodgman pass into out, which holds `capacity` points.
// Returns the new count, or -1 when the result would not fit.
int clip_by_plane(int count, const vector* in, vector* out, const plane& pl, int capacity) {
  int n = 0;
  for (int i = 0; i < count; ++i) {
    const vector& a = in[i];
    const vector& b = in[i + 1 < count ? i + 1 : 0];
    bool keep_a = plane_classify(pl, a, 0.0f) != PLANE_FRONT;
    bool keep_b = plane_classify(pl, b, 0.0f) != PLANE_FRONT;
    if (keep_a) {
      if (n >= capacity) return -1;
      out[n++] = a;
    }
    if (keep_a != keep_b) {
      if (n >= capacity) return -1;
      // From the raw distances, without the tolerance.
      float da = vector::dot(a, pl.normal);
      float t = (pl.d + da) / (da - vector::dot(b, pl.normal));
      out[n++] = a + (b - a) * t;
    }
  }
  return n;
}
}  // namespace

int plane_classify(const plane& pl, const vector& p, float offset) {
  float d = pl.distance(p);
  if (d > offset + TOLERANCE) return PLANE_FRONT;
  if (d >= offset - TOLERANCE) return PLANE_ON;
  return PLANE_BEHIND;
}

int clip_polygon_by_plane(int count, const vector* in, vector* out, const plane& pl) {
  if (count <= 0 || in == nullptr || out == nullptr) return 0;
  int n = clip_by_plane(count, in, out, pl, count + 1);
  return n < 0 ? 0 : n;
}

int clip_polygon_to_planes(int count, const vector* in, vector* out, const plane* planes, int plane_count) {
  if (count <= 0 || count >= CLIP_POLYGON_MAX || in == nullptr || out == nullptr) return 0;
  if (plane_count > 0 && planes == nullptr) return 0;
  vector scratch[CLIP_POLYGON_MAX];
  if (in != out)
    for (int i = 0; i < count; ++i) out[i] = in[i];
  vector* cur = out;
  vector* other = scratch;
  for (int k = 0; k < plane_count; ++k) {
    // A convex polygon grows by at most one point per plane; past the
    // buffers' size the result is refused rather than written beyond them.
    count = clip_by_plane(count, cur, other, planes[k], CLIP_POLYGON_MAX);
    if (count < 3) return 0;
    vector* t = cur;
    cur = other;
    other = t;
  }
  if (cur != out)
    for (int i = 0; i < count; ++i) out[i] = cur[i];
  return count;
}

bool points_any_in_front(int count, const vector* points, const plane& pl) {
  for (int i = 0; i < count; ++i)
    if (plane_classify(pl, points[i], 0.0f) == PLANE_FRONT) return true;
  return false;
}

bool points_behind_all_planes(int count, const vector* points, const plane* planes, int plane_count,
                              float offset) {
  for (int k = 0; k < plane_count; ++k) {
    bool any_behind = false;
    for (int i = 0; i < count && !any_behind; ++i)
      any_behind = plane_classify(planes[k], points[i], offset) == PLANE_BEHIND;
    if (!any_behind) return false;
  }
  return true;
}

bool sphere_touches_volume(const vector& center, float radius, const plane* planes, int plane_count,
                           float offset) {
  for (int k = 0; k < plane_count; ++k)
    if (planes[k].distance(center) >= radius + offset - TOLERANCE) return false;
  return true;
}

bool sphere_inside_volume(const vector& center, float radius, const plane* planes, int plane_count,
                          float offset) {
  for (int k = 0; k < plane_count; ++k)
    if (planes[k].distance(center) >= offset - TOLERANCE - radius) return false;
  return true;
}

// ---------------------------------------------------------------------------

int clip_polygon_2d(int clip_count, const vector2* clip, int count, const vector2* points, vector2* out,
                    const vector2** result) {
  constexpr int MAX_POINTS = CLIP_POLYGON_MAX - 1;
  constexpr int MAX_EDGES = CLIP_POLYGON_MAX;
  constexpr int POOL = 64;
  constexpr int LIST = 2 * CLIP_POLYGON_MAX;

  if (result) *result = out;
  if (count < 0 || count > MAX_POINTS || clip_count < 0 || clip_count > MAX_EDGES) return 0;
  if ((count > 0 && points == nullptr) || (clip_count > 0 && clip == nullptr) || out == nullptr) return 0;

  vector2 pool[POOL];
  int pool_used = 0;
  const vector2* lists[2][LIST];
  float s[LIST];
  int cur = 0;
  int n = count;
  for (int i = 0; i < n; ++i) lists[cur][i] = &points[i];
  bool clipped = false;
  bool flip = false;

  for (int j = 0; j < clip_count; ++j) {
    const vector2& a = clip[j];
    const vector2& b = clip[j + 1 < clip_count ? j + 1 : 0];
    vector2 m{b.y - a.y, a.x - b.x};
    float l1 = std::fabs(m.x) + std::fabs(m.y);
    if (l1 < TOLERANCE) continue;
    m = m * (1.0f / l1);
    float e = vector2::dot(a, m);
    // The winding is read from the third clip point against the first edge;
    // a clip of fewer than 3 points has no third point to read.
    if (j == 0 && clip_count >= 3 && vector2::dot(clip[2], m) - e > TOLERANCE) flip = true;
    if (flip) {
      m = m * -1.0f;
      e = -e;
    }
    if (n == 0) return 0;
    int outside = 0;
    for (int i = 0; i < n; ++i) {
      s[i] = vector2::dot(*lists[cur][i], m) - e;
      if (s[i] > TOLERANCE) ++outside;
    }
    if (outside == n) return 0;
    if (outside == 0) continue;

    int next = 1 - cur;
    int nn = 0;
    for (int i = 0; i < n; ++i) {
      int i1 = i + 1 < n ? i + 1 : 0;
      if (s[i] < TOLERANCE) {
        if (nn >= LIST) return 0;
        lists[next][nn++] = lists[cur][i];
      }
      if ((s[i] < -TOLERANCE && s[i1] > TOLERANCE) || (s[i] >= TOLERANCE && s[i1] < -TOLERANCE)) {
        if (nn >= LIST || pool_used >= POOL) return 0;
        const vector2& p = *lists[cur][i];
        const vector2& q = *lists[cur][i1];
        pool[pool_used] = p + (q - p) * (s[i] / (s[i] - s[i1]));
        lists[next][nn++] = &pool[pool_used++];
      }
    }
    cur = next;
    n = nn;
    clipped = true;
  }

  if (n < 3) return 0;
  if (!clipped) {
    if (result) *result = points;
    return n;
  }
  if (n > CLIP_POLYGON_MAX) return 0;
  for (int i = 0; i < n; ++i) out[i] = *lists[cur][i];
  if (result) *result = out;
  return n;
}
