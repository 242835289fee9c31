#pragma once
// The value types of all geometry: 3-D vector, 2-D vector, plane, and the
// free operations on them. The world is y-up: x right, y up, z forward.
//
// Members take the object as the left operand. Operations that produce a new
// value write it to an "out" object and return a reference to it, so calls
// chain; in-place operations change the object.
#include <cstdint>

struct matrix;

struct vector {
  float x, y, z;

  // Left uninitialised on purpose: hot paths fill vectors right away. Use
  // vector{} or zero() when zero is wanted.
  vector() = default;
  constexpr vector(float ax, float ay, float az) : x(ax), y(ay), z(az) {}

  float& operator[](int i) { return i == 0 ? x : (i == 1 ? y : z); }
  float operator[](int i) const { return i == 0 ? x : (i == 1 ? y : z); }

  vector& set(float ax, float ay, float az) {
    x = ax;
    y = ay;
    z = az;
    return *this;
  }
  void set_xyz(float ax, float ay, float az) { set(ax, ay, az); }
  vector& copy(const vector& o) { return *this = o; }
  // this = other, and the caller gets a copy.
  vector assign(const vector& o) { return *this = o; }
  vector& zero() { return set(0.0f, 0.0f, 0.0f); }

  bool operator==(const vector& o) const { return x == o.x && y == o.y && z == o.z; }
  bool operator!=(const vector& o) const { return !(*this == o); }
  // Every component differs by less than 0.0001.
  bool near_equal(const vector& o) const;
  bool is_zero() const { return x == 0.0f && y == 0.0f && z == 0.0f; }
  // False when a component is NaN; infinities are valid.
  bool is_valid() const { return x == x && y == y && z == z; }

  vector operator+(const vector& o) const { return {x + o.x, y + o.y, z + o.z}; }
  vector operator-(const vector& o) const { return {x - o.x, y - o.y, z - o.z}; }
  vector operator-() const { return {-x, -y, -z}; }
  vector operator*(float s) const { return {x * s, y * s, z * s}; }
  vector& operator+=(const vector& o) {
    x += o.x;
    y += o.y;
    z += o.z;
    return *this;
  }
  vector& operator-=(const vector& o) {
    x -= o.x;
    y -= o.y;
    z -= o.z;
    return *this;
  }
  vector& scale(float s) {
    x *= s;
    y *= s;
    z *= s;
    return *this;
  }
  vector& scaled(vector& out, float s) const { return out.set(x * s, y * s, z * s); }
  // One reciprocal, three products.
  vector& divide(float s) { return scale(1.0f / s); }
  vector& negated(vector& out) const { return out.set(-x, -y, -z); }
  vector& negate() { return set(-x, -y, -z); }
  vector& plus_scalar(vector& out, float s) const { return out.set(x + s, y + s, z + s); }
  vector& minus_scalar(vector& out, float s) const { return out.set(x - s, y - s, z - s); }
  vector& add_scalar(float s) { return set(x + s, y + s, z + s); }
  vector& subtract_scalar(float s) { return set(x - s, y - s, z - s); }

  static float dot(const vector& a, const vector& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
  float dot(const vector& b) const { return dot(*this, b); }
  // out = this x other. out may be this or other.
  vector& cross(vector& out, const vector& o) const {
    return out.set(y * o.z - z * o.y, z * o.x - x * o.z, x * o.y - y * o.x);
  }
  float length() const;
  float length_squared() const { return x * x + y * y + z * z; }
  // max + 0.375 mid + 0.1875 min of the absolute components; no square root.
  float approx_length() const;

  // Unchecked: a zero vector comes out non-finite. Callers that may hold a
  // zero vector use the _safe forms.
  vector& normalize();
  float normalize_len();  // returns the old length
  vector& normalized(vector& out) const;
  // A zero vector becomes (1, 0, 0) (and _len returns 1).
  vector& normalize_safe();
  float normalize_safe_len();

  // rotate: (dot(v, r0), dot(v, r1), dot(v, r2)), a world direction into the
  // matrix's frame. unrotate: x r0 + y r1 + z r2, back out to the world.
  vector& rotated(vector& out, const matrix& m) const;
  vector& rotate(const matrix& m);
  // Defined inline in matrix.h: every bone of every posed character goes
  // through it several times a frame.
  inline vector& unrotated(vector& out, const matrix& m) const;
  vector& unrotate(const matrix& m);
  // this = rotate(this - origin, M) / this = unrotate(this, M) + origin.
  vector& to_frame(const vector& origin, const matrix& m);
  vector& from_frame(const vector& origin, const matrix& m);

  // Random directions from the shared sequence: z is drawn first, then the
  // angle (the order is part of the behaviour).
  static vector random_unit();
  static vector random_unit_2();
  static vector random_in_cap(float zmin);
  // A direction within the cone about `direction` (used as given) whose
  // half-angle has the cosine cos_limit.
  static vector random_in_cone(const vector& direction, float cos_limit);
};

inline vector operator*(float s, const vector& v) { return v * s; }
inline float vec_mag_squared(const vector& v) { return v.length_squared(); }

vector& vector_scaled(vector& out, float s, const vector& v);
float vector_distance(const vector& a, const vector& b);
float vector_distance_squared(const vector& a, const vector& b);
float vector_distance_approx(const vector& a, const vector& b);
// dot(n, p - q): the signed distance of p from the plane through q with
// normal n.
float vector_plane_distance(const vector& p, const vector& n, const vector& q);
// out = normalize(a - b); returns |a - b|.
float vector_direction(vector& out, const vector& a, const vector& b);
// out = n dot(v, n); returns dot(v, n). n is unit.
float vector_along(vector& out, const vector& v, const vector& n);
// out = v - n dot(v, n).
vector& vector_across(vector& out, const vector& v, const vector& n);
// dot(v, normalize(b - a)).
float vector_component_toward(const vector& v, const vector& a, const vector& b);
// out = p - n (dot(p, n) - dot(q, n)).
vector& vector_project_to_plane(vector& out, const vector& p, const vector& n, const vector& q);
// (p2 - p1) x (p3 - p2), not normalised.
vector& triangle_normal(vector& out, const vector& p1, const vector& p2, const vector& p3);
vector& triangle_unit_normal(vector& out, const vector& p1, const vector& p2, const vector& p3);
// The angle from a to b in radians, negative when (a x b) points against the
// axis.
float vector_signed_angle(const vector& a, const vector& b, const vector& axis);
// p turned by angle about the axis through center.
vector& vector_rotate_about(vector& out, const vector& p, float angle, const vector& center,
                            const vector& axis);
// v turned toward w by the given fraction of the angle between them (both
// unit).
vector& vector_rotate_toward(vector& out, const vector& v, const vector& w, float fraction);

// ---------------------------------------------------------------------------
struct vector2 {
  float x, y;

  vector2() = default;
  constexpr vector2(float ax, float ay) : x(ax), y(ay) {}

  vector2& set(float ax, float ay) {
    x = ax;
    y = ay;
    return *this;
  }
  vector2& copy(const vector2& o) { return *this = o; }
  // The ground-plane position of a 3-D point: (v.x, v.z).
  vector2& from_xz(const vector& v) { return set(v.x, v.z); }
  vector2& add(vector2& out, const vector2& o) const { return out.set(x + o.x, y + o.y); }
  vector2& sub(vector2& out, const vector2& o) const { return out.set(x - o.x, y - o.y); }
  vector2 operator+(const vector2& o) const { return {x + o.x, y + o.y}; }
  vector2 operator-(const vector2& o) const { return {x - o.x, y - o.y}; }
  vector2 operator*(float s) const { return {x * s, y * s}; }
  bool operator==(const vector2& o) const { return x == o.x && y == o.y; }
  static float dot(const vector2& a, const vector2& b) { return a.x * b.x + a.y * b.y; }
  float dot(const vector2& b) const { return dot(*this, b); }
  vector2& negate() { return set(-x, -y); }
  float length() const;
  float length_squared() const { return x * x + y * y; }
  // In place; returns the old length. A zero vector becomes (1, 0) and 1 is
  // returned.
  float normalize();
};

vector2& vector2_scaled(vector2& out, float s, const vector2& v);
float vector2_distance(const vector2& a, const vector2& b);
float vector2_distance_squared(const vector2& a, const vector2& b);
// Squared distance of p from the infinite line through a and b.
float vector2_line_distance_squared(const vector2& p, const vector2& a, const vector2& b);
// out = the point of segment a-b closest to p; returns |out - p|^2.
float vector2_closest_on_segment(const vector2& p, const vector2& a, const vector2& b, vector2& out);
// Does the point moving from a to b come within r of c? True with t = 0 when
// a is already inside; else the first t in [0, 1] at which it enters.
bool vector2_segment_circle(const vector2& a, const vector2& b, const vector2& c, float r, float& t);

// Names the navigation code uses for the two 2-D tests above.
inline float point_segment_distance_sq(const vector2& p, const vector2& a, const vector2& b,
                                       vector2& nearest) {
  return vector2_closest_on_segment(p, a, b, nearest);
}
inline bool sweep_point_circle(const vector2& start, const vector2& end, const vector2& centre,
                               float radius, float& t) {
  return vector2_segment_circle(start, end, centre, radius, t);
}

// ---------------------------------------------------------------------------
// dot(p, normal) + d = 0 on the plane; the signed distance is positive on the
// side the normal points to (the front).
struct plane {
  vector normal;
  float d;

  float distance(const vector& p) const { return vector::dot(p, normal) + d; }
  // normal = triangle_unit_normal(p1, p2, p3), d = -dot(normal, p1).
  plane& from_points(const vector& p1, const vector& p2, const vector& p3);
  static plane& from_normal_point(plane& out, const vector& n, const vector& p);
  plane& copy(const plane& o) { return *this = o; }
  // The plane expressed in the frame with origin t and orientation m.
  plane& to_frame(plane& out, const matrix& m, const vector& t) const;
};

// A plane with the two box corners (0..7) that lie farthest against and along
// its normal, so box tests against it need two corner distances only.
struct plane_record {
  int32_t flags;  // the low byte holds the caller's flag
  plane pl;
  int32_t corner_against;
  int32_t corner_along;

  plane_record() = default;
  plane_record(uint8_t flag, const vector& p1, const vector& p2, const vector& p3);
  plane_record(uint8_t flag, const vector& normal, const vector& point);
  plane_record& assign(const plane_record& o) { return *this = o; }
};

// ---------------------------------------------------------------------------
// Bulk geometry.

// Ritter's bounding sphere. count 0 leaves the outputs untouched.
void bounding_sphere(const vector* points, int count, vector& center, float& radius);
// Area of a planar convex polygon (fanned from the first point) and its
// centroid. A polygon of zero area (or fewer than 3 points) has no centroid:
// out is the mean of the points and 0 is returned.
float polygon_area_centroid(int count, const vector* points, vector& centroid);
// The axis of the largest |component| (ties go to the later axis) and the
// two others, ordered so that a polygon projected onto (u, v) keeps its
// winding whatever the normal's sign.
void dominant_axis(const vector& normal, int& index, int& u, int& v);

// Constant globals.
inline constexpr vector zero_vector{0.0f, 0.0f, 0.0f};
inline constexpr vector2 zero_vector2{0.0f, 0.0f};
