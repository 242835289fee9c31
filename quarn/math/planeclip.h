#pragma once
// Clipping convex polygons by planes, and point and sphere tests against
// convex volumes whose planes face outward (in front = outside). Decals are
// cut to the surfaces they land on with it; obstacle volumes use the tests.
#include "quarn/math/vector.h"

// Point classes.
constexpr int PLANE_FRONT = 1;
constexpr int PLANE_BEHIND = 2;
constexpr int PLANE_ON = 3;

// The point buffers of the multi-plane and 2-D clips hold this many points.
constexpr int CLIP_POLYGON_MAX = 32;

// 1 when the point's distance exceeds offset + 0.0001, 3 within 0.0001 of
// offset, 2 otherwise.
int plane_classify(const plane& pl, const vector& p, float offset);

// The part on or behind the plane. out must hold count + 1 points. Returns
// the new count.
int clip_polygon_by_plane(int count, const vector* in, vector* out, const plane& pl);

// Clips by each plane in turn into out (CLIP_POLYGON_MAX points). Returns the
// final count, or 0 when fewer than 3 points remain after some plane, when
// count is CLIP_POLYGON_MAX or more, or when a result would not fit in the
// buffers.
int clip_polygon_to_planes(int count, const vector* in, vector* out, const plane* planes,
                           int plane_count);

// Some point lies in front of the plane.
bool points_any_in_front(int count, const vector* points, const plane& pl);
// Every plane has at least one point behind it (class 2 with the offset);
// true for no planes. A polygon for which this holds may touch the volume.
bool points_behind_all_planes(int count, const vector* points, const plane* planes,
                              int plane_count, float offset);
// False as soon as the sphere lies wholly in front of one plane.
bool sphere_touches_volume(const vector& center, float radius, const plane* planes,
                           int plane_count, float offset);
// False as soon as the sphere reaches past one plane.
bool sphere_inside_volume(const vector& center, float radius, const plane* planes,
                          int plane_count, float offset);

// Clips the convex polygon `points` (at most 31) by the convex polygon
// `clip` (either winding; at most 32 points). Returns the count, 0 when
// fewer than 3 remain or the input is beyond the limits, and sets *result to
// the points holding the answer: `points` itself when nothing was cut, else
// `out` (CLIP_POLYGON_MAX points).
int clip_polygon_2d(int clip_count, const vector2* clip, int count, const vector2* points,
                    vector2* out, const vector2** result);
