#pragma once
// Geometric queries for collision, picking and movement: lines, segments,
// rays and moving spheres against planes, triangles, polygons, spheres and
// boxes, plus a few closest-point helpers.
//
// Conventions: a ray or segment is an origin and a direction; a segment is
// origin + direction * t for t in [0, 1] (the direction carries the length).
// Contact data goes to caller-provided out parameters. Every test keeps its
// scratch values in locals, so all of them may be called from any thread.
struct vector;
struct vector2;
struct plane;
struct matrix;

// Marks a profiled section for the length of a scope. The section records
// nothing; its closing call is the game's empty profiling callback.
class profile_scope {
 public:
  explicit profile_scope(const char* name) : name_(name) {}
  ~profile_scope();
  profile_scope(const profile_scope&) = delete;
  profile_scope& operator=(const profile_scope&) = delete;
  const char* name() const { return name_; }

 private:
  const char* name_;
};

// ---- planes ---------------------------------------------------------------

// The infinite line against a plane: false when parallel; either sign of t.
bool ix_line_plane(const vector& origin, const vector& dir, const plane& p, vector& out_point);
bool ix_line_plane_t(const vector& origin, const vector& dir, const plane& p, float& out_t);
// As ix_line_plane, writes the point, but true only for t >= 0.
bool ix_ray_plane(const vector& origin, const vector& dir, const plane& p, vector& out_point);
// Segment against the plane through `on_plane` with normal n; t in [0, 1].
bool ix_segment_plane_point(vector& out_point, float& out_t, const vector& origin, const vector& dir,
                            const vector& on_plane, const vector& normal);
// Only a segment moving against the normal (entering from the front) hits.
bool ix_segment_plane_front(vector& out_point, float& out_t, const vector& origin, const vector& dir,
                            const plane& p);
// Segment starting in front of (or on) the plane and reaching it.
bool ix_segment_plane_t(const vector& origin, const vector& dir, const plane& p, float& out_t);
// The line where two planes meet (a point and a unit direction); false for
// (near) parallel planes.
bool ix_plane_plane(const plane& a, const plane& b, vector& out_point, vector& out_dir);
// A sphere moving by `dir` against a plane it approaches from the front.
bool ix_moving_sphere_plane(const vector& start, const vector& dir, float radius, const plane& p,
                            float& out_t, vector& out_point);

// ---- triangles, polygons, quads ---------------------------------------------

// Point (on the polygon's plane) inside a convex polygon, edges included.
bool ix_point_in_polygon(const vector& p, int count, const vector* const* verts, const vector& normal);
// Infinite line against a triangle (no range check on t).
bool ix_line_triangle(const vector& origin, const vector& dir, const vector* const* tri, const plane& p,
                      vector& out_point, float& out_t);
// Segment entering the triangle's front side.
bool ix_segment_triangle(const vector& origin, const vector& dir, const vector* const* tri,
                         const plane& p, vector& out_point, float& out_t);
// Segment against the parallelogram corner + u * e1 + v * e2.
bool ix_segment_parallelogram(const vector& origin, const vector& dir, const vector& corner,
                              const vector& e1, const vector& e2, vector& out_point, float& out_u,
                              float& out_v);
// Line against the quad p1 p2 p4 p3 split both ways; s is the mean position
// along the diagonals, clamped to [0, 1].
bool ix_line_quad(const vector& origin, const vector& dir, const vector& p1, const vector& p2,
                  const vector& p3, const vector& p4, vector& out_point, float& out_s);

// ---- spheres --------------------------------------------------------------

bool ix_sphere_sphere(const vector& c1, const vector& c2, float r1, float r2);
// Ray (unit direction) against a sphere. An origin inside or on the sphere
// is its own hit: the point is the origin and t is 0.
bool ix_ray_sphere(vector& out_point, float& out_t, const vector& origin, const vector& dir,
                   const vector& center, float radius);
// Segment a-b against a sphere: true when some part of the segment lies
// inside; the point is where the segment enters (a itself when a is inside).
bool ix_segment_sphere(vector& out_point, const vector& a, const vector& b, const vector& center,
                       float radius);
// Length of the part of a-b inside the sphere, 0 when none.
float ix_segment_length_in_sphere(const vector& a, const vector& b, const vector& center, float radius);
// The tangent circle of a sphere seen from an eye outside it: the circle's
// radius, the full apex angle of the tangent cone, and the distance from the
// centre to the circle's plane (toward the eye).
bool ix_sphere_silhouette(const vector& eye, const vector& center, float radius, float& out_circle_radius,
                          float& out_cone_angle, float& out_offset);

// ---- boxes ----------------------------------------------------------------
// Axis-aligned boxes are a min and a max corner; oriented boxes a centre, an
// orientation and a full size (the box spans +-size/2 along each local axis).

bool ix_box_box(const vector& min_a, const vector& max_a, const vector& min_b, const vector& max_b);
bool ix_point_box(const vector& p, const vector& min, const vector& max);
bool ix_point_box_expanded(const vector& p, float r, const vector& min, const vector& max);
bool ix_point_box_oriented(const vector& p, const vector& center, const matrix& m, const vector& size);
bool ix_point_box_oriented_expanded(const vector& p, float r, const vector& center, const matrix& m,
                                    const vector& size);
// Ray against a box; an origin inside is its own hit.
bool ix_ray_boundingbox(const vector& min, const vector& max, const vector& origin, const vector& dir,
                        vector& out_point);
// Segment a-b against a box; an end inside is its own hit (a first).
bool ix_segment_box(const vector& min, const vector& max, const vector& a, const vector& b,
                    vector& out_point);
bool ix_linesegment_box_oriented(const vector& center, const matrix& m, const vector& size,
                                 const vector& a, const vector& b, vector& out_point);
bool ix_ray_box_oriented(const vector& origin, const vector& dir, const vector& center, const matrix& m,
                         const vector& size, vector& out_point);
// Separating-axis test of two oriented boxes: box B relative to box A is the
// rotation `r` (three rows of three, each row stored four floats apart) and
// the translation `t`; a and b are the half sizes. 0 when they overlap, else
// the number 1..15 of the first separating axis found.
int ix_obb_obb(const float r[3][4], const vector& t, const vector& a, const vector& b);

// ---- moving spheres and slabs ----------------------------------------------

// A sphere moving from `start` by `velocity` against the edge e0-e1 (and the
// corner e0). Only contacts before t_limit count.
bool ix_moving_sphere_edge(vector& out_point, const vector& start, const vector& velocity, float radius,
                           const vector& e0, const vector& e1, float& out_t, float t_limit);
// The first contact of a moving sphere with the edges of a polygon.
bool ix_moving_sphere_polygon(vector& out_point, const vector& start, const vector& velocity,
                              float radius, int count, const vector* const* verts, float& out_t);
// A segment against the slab of half-thickness h around the plane through q
// with normal n: entry t and the t span inside.
bool ix_segment_slab(vector& out_point, const vector& origin, const vector& dir, float h,
                     const vector& n, const vector& q, float& out_t_enter, float& out_t_span);

// ---- distances ------------------------------------------------------------

bool ix_segments_cross_2d(const vector2& p1, const vector2& p2, const vector2& q1, const vector2& q2);
// Closest point of a line (unit direction); returns its parameter.
float ix_closest_point_on_line(const vector& p, const vector& origin, const vector& dir, vector& out);
// Closest point of the segment a-b; returns its distance from a along it.
float ix_closest_point_on_segment(const vector& p, const vector& a, const vector& b, vector& out);
