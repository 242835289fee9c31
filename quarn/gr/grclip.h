#pragma once
// View clipping of lines and polygons in pre-scaled view space, and the
// axis-aligned box helpers that culling, collision and plane records share.
//
// The view is pre-scaled (see gr3d.h) so the four side planes sit at 45
// degrees: x = -z, x = z, y = -z, y = z. Planes are named by their clip code.
#include <cstdint>

struct vector;
struct plane;
struct GrVertex;

// Clip codes of a view-space point; also the names of the clipping planes.
enum : uint8_t {
  CLIP_FAR = 1,
  CLIP_LEFT = 2,    // x < -z
  CLIP_RIGHT = 4,   // x > z
  CLIP_BOTTOM = 8,  // y < -z
  CLIP_TOP = 16,    // y > z
  CLIP_BEHIND = 32  // z at or behind the eye; never a clipping plane here
};

// New vertices made by clipping come from a small pool that the 3D frame
// start empties. Running out refuses the vertex (nullptr) instead of writing
// past the pool; the clip then leaves the geometry rejected.
#define MAX_CLIP_VERTICES 64

// The or and the and of the clip codes of a vertex list.
struct ClipCodes {
  uint8_t or_codes = 0;
  uint8_t and_codes = 0;
};

// The far plane the clipper cuts at, in pre-scaled view depth; the 3D view
// sets it at every frame start and far-plane change.
void clip_set_far(bool on, float far_z);
float clip_far_z();  // 0 when far clipping is off
// Clip codes of a view-space point.
uint8_t clip_codes_of(float x, float y, float z);

// The next pool vertex (projection flags 4, temporary), or nullptr when the
// pool is used up for this frame.
GrVertex* clip_new_vertex();
// Empties the pool; the 3D frame start calls it. Pointers handed out before
// stay readable until the pool hands them out again.
void clip_pool_reset();
// Pool vertices handed out since the last reset.
int clip_pool_used();
// Hands the vertices after `used` out again: a caller that copies each
// clipped polygon at once gives its pool vertices back, so a mesh with many
// clipped faces does not run the frame's pool dry. Earlier ones stay intact.
void clip_pool_rewind(int used);

// The point where the edge from `inside` to `outside` meets the plane, with
// its attributes interpolated and its clip codes computed; nullptr when the
// pool is used up.
GrVertex* clip_edge(int plane_code, const GrVertex* inside, const GrVertex* outside);

// Clips the segment a-b against every plane whose code is set in `codes` (the
// two end codes or-ed). The ends may be replaced by pool vertices. Returns the
// two ends' codes or-ed after clipping; a result sharing bits between the ends
// (check the ends' own codes) means nothing is left.
uint8_t clip_line(GrVertex*& a, GrVertex*& b, uint8_t codes);

// Clips the polygon `src` (count vertices) against one plane into `dst`,
// which has room for `dst_capacity` pointers (at least count + 1 for a convex
// polygon). Updates count and codes and returns the new count. The source
// list needs no spare slots. When `dst` or the pool runs out the polygon is
// marked rejected (codes.and_codes gets the plane's bit).
int clip_plane(int plane_code, GrVertex* const* src, GrVertex** dst, int& count, ClipCodes& codes,
               int dst_capacity = MAX_CLIP_VERTICES);

// Clips against every plane set in codes.or_codes (far and the four sides),
// ping-ponging between `list` and `scratch`, both with room for
// `capacity` pointers (count + 5 is enough for a convex polygon). Returns the
// list holding the result; a non-zero codes.and_codes afterwards means the
// polygon lies wholly outside (or could not be clipped) and must be dropped.
GrVertex** clip_polygon(GrVertex** list, GrVertex** scratch, int& count, ClipCodes& codes,
                        int capacity = MAX_CLIP_VERTICES);

// A view-space sphere against the side planes and the eye: -1 wholly
// outside, 0 crossing, 1 wholly inside. The far plane is not tested.
int clip_sphere_view(const vector& center, float radius);

// Box corners are numbered 0..7. Corners 0..3 lie on z min and 4..7 on z max;
// within each four, (x, y) runs (max, max), (max, min), (min, min), (min, max).
void box_corner(vector& out, int corner, const vector& min, const vector& max);
void box_from_points(vector& min, vector& max, const vector& a, const vector& b);
// Inclusive overlap on every axis.
bool box_overlap(const vector& min_a, const vector& max_a, const vector& min_b, const vector& max_b);
void box_grow(vector& min, vector& max, const vector& other_min, const vector& other_max);
// Extends the box by a movement: positive components grow max, negative min.
void box_sweep(vector& min, vector& max, const vector& movement);
// The outline corners of the box seen from a point (up to 6, in order);
// 0 when the point is inside (on a face counts as inside on that axis).
int box_silhouette(int corners[6], const vector& point, const vector& min, const vector& max);
// From the signs of the plane's normal (0 counting as negative): the corner
// farthest against the normal (smallest distance) and the one farthest along it.
void box_plane_corners(const plane& p, int& corner_against, int& corner_along);
// False when the box lies wholly on the positive side; otherwise true when
// the farthest corner along the normal reaches the plane or beyond.
bool box_crosses_plane(const vector& min, const vector& max, const plane& p);
