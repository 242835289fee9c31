// The collision tree is a node tree whose every node holds the faces lying
// on its plane: walking the side the segment starts on first, then the
// node's own faces, then the far side, meets faces in the order a ray does.
#include "Engine/s3d/collide.h"

#include <emmintrin.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <vector>

#include "quarn/math/intersect.h"

int Collide_last_instance = -1;
const LevelFace* Collide_last_face = nullptr;

namespace {

struct Walk {
  const LevelMesh* mesh;
  vector start;   // mesh space
  vector delta;
  float radius;
  bool sphere;
  CollisionResult* res;  // this instance's contacts
  int instance;
  float bound;  // contacts no nearer than this are of no use
  bool plumb;   // a ray along y alone, of moderate size (see beside_level_face)
};

vector corner(const Walk& w, const LevelFace& f, int i) { return w.mesh->positions[f.v[i]]; }

// A triangle's three edges side by side, one lane an edge: its start corner
// and its vector. The lanes do exactly the arithmetic of one edge's scalar
// test each, and the caller takes one branch at the end: which edge a random
// point falls outside of is a guess the branch predictor keeps losing.
struct Edges {
  __m128 x0, y0, z0;  // start corners a, b, c
  __m128 ex, ey, ez;  // b - a, c - b, a - c
  Edges(const vector& a, const vector& b, const vector& c)
      : x0(_mm_setr_ps(a.x, b.x, c.x, 0.0f)),
        y0(_mm_setr_ps(a.y, b.y, c.y, 0.0f)),
        z0(_mm_setr_ps(a.z, b.z, c.z, 0.0f)),
        ex(_mm_sub_ps(_mm_setr_ps(b.x, c.x, a.x, 0.0f), x0)),
        ey(_mm_sub_ps(_mm_setr_ps(b.y, c.y, a.y, 0.0f), y0)),
        ez(_mm_sub_ps(_mm_setr_ps(b.z, c.z, a.z, 0.0f), z0)) {}
  // The edges whose side value falls below the slack (a hair of each edge's
  // length squared): the point lies outside them.
  int outside(const __m128& side) const {
    const __m128 len2 = _mm_add_ps(_mm_add_ps(_mm_mul_ps(ex, ex), _mm_mul_ps(ey, ey)), _mm_mul_ps(ez, ez));
    return _mm_movemask_ps(_mm_cmplt_ps(side, _mm_mul_ps(_mm_set1_ps(-1e-5f), len2))) & 7;
  }
};

// Edges count as inside, with a hair of slack: a ray down the edge two
// faces share must not slip between them by rounding.
bool inside_triangle(const vector& p, const vector& a, const vector& b, const vector& c, const vector& n) {
  const Edges e(a, b, c);
  const __m128 dx = _mm_sub_ps(_mm_set1_ps(p.x), e.x0), dy = _mm_sub_ps(_mm_set1_ps(p.y), e.y0),
               dz = _mm_sub_ps(_mm_set1_ps(p.z), e.z0);
  // (edge x (p - start)) . n
  const __m128 cx = _mm_sub_ps(_mm_mul_ps(e.ey, dz), _mm_mul_ps(e.ez, dy));
  const __m128 cy = _mm_sub_ps(_mm_mul_ps(e.ez, dx), _mm_mul_ps(e.ex, dz));
  const __m128 cz = _mm_sub_ps(_mm_mul_ps(e.ex, dy), _mm_mul_ps(e.ey, dx));
  const __m128 side = _mm_add_ps(_mm_add_ps(_mm_mul_ps(cx, _mm_set1_ps(n.x)), _mm_mul_ps(cy, _mm_set1_ps(n.y))),
                                 _mm_mul_ps(cz, _mm_set1_ps(n.z)));
  return e.outside(side) == 0;
}

void accept(Walk& w, const LevelFace& f, float t, const vector& point, const vector& normal, int kind) {
  CollisionResult& r = *w.res;
  r.count++;
  r.fraction = t;
  r.point = point;
  if (kind == 0) r.normal = normal;
  r.kind = kind;
  r.instance = w.instance;
  r.face = &f;
  Collide_last_instance = w.instance;
  Collide_last_face = &f;
}

float best_fraction(const Walk& w) { return w.res->count > 0 ? std::min(w.bound, w.res->fraction) : w.bound; }

// A ray's walk ends at its first contact, so every face it tests has only
// the nearest contact of earlier instances (w.bound) to beat. One branch on
// the outcome: which test a face fails is a guess the predictor keeps losing.
// Floor probes are the commonest query: a ray along y alone (in mesh space)
// meets a level face (normal along y alone) where the ray already is in x and
// z, so the face's edge tests need no contact fraction, and the many faces of
// a floor the ray passes beside are turned away before any division. Each
// lane does what the full edge test does: there n.x and n.z are 0, so their
// terms add only zeros (the sizes checked for plumb keep every product
// finite), and whether x and z carry a zero's sign changes no comparison.
bool beside_level_face(const Walk& w, const vector& a, const vector& b, const vector& c, float ny) {
  const Edges e(a, b, c);
  const __m128 dx = _mm_sub_ps(_mm_set1_ps(w.start.x), e.x0), dz = _mm_sub_ps(_mm_set1_ps(w.start.z), e.z0);
  const __m128 cy = _mm_sub_ps(_mm_mul_ps(e.ez, dx), _mm_mul_ps(e.ex, dz));
  return e.outside(_mm_mul_ps(cy, _mm_set1_ps(ny))) != 0;
}

bool ray_face(Walk& w, const LevelFace& f) {
  const float facing = vector::dot(f.normal, w.delta);
  const bool back = facing > 0.0f;
  if (back && !(f.flags & FACE_TWO_SIDED)) return false;
  const vector n = back ? -f.normal : f.normal;
  // A zero normal (a degenerate face) gives dn 0 and no contact.
  const float dn = vector::dot(n, w.delta);
  const vector a = corner(w, f, 0), b = corner(w, f, 1), c = corner(w, f, 2);
  if (w.plumb && f.normal.x == 0.0f && f.normal.z == 0.0f && beside_level_face(w, a, b, c, f.normal.y)) return false;
  const vector centroid = (a + b + c) * (1.0f / 3.0f);
  const float t = vector::dot(n, centroid - w.start) / dn;
  const vector p = w.start + w.delta * t;
  if (!((dn != 0.0f) & (t >= 0.0f) & (t <= 1.0f) & (t < w.bound) & inside_triangle(p, a, b, c, f.normal)))
    return false;
  accept(w, f, t, p, n, 0);
  return true;
}

bool sphere_face(Walk& w, const LevelFace& f) {
  vector n = f.normal;
  if (vector::dot(n, w.delta) > 0.0f) {
    if (!(f.flags & FACE_ALPHA)) return false;
    n = -n;
  }
  const vector a = corner(w, f, 0), b = corner(w, f, 1), c = corner(w, f, 2);
  const vector centroid = (a + b + c) * (1.0f / 3.0f);
  const float d0 = vector::dot(n, w.start - centroid);
  const float dn = vector::dot(n, w.delta);
  // Already wholly behind the face: it has passed it.
  if (d0 < -w.radius) return false;
  float t;
  if (d0 <= w.radius) t = 0.0f;
  else if (dn < 0.0f) t = (d0 - w.radius) / -dn;
  else return false;
  if (t > 1.0f) return false;
  const vector centre = w.start + w.delta * t;
  const vector on_plane = centre - n * vector::dot(n, centre - centroid);
  if (t < best_fraction(w) && inside_triangle(on_plane, a, b, c, f.normal)) {
    accept(w, f, t, on_plane, n, 0);
    return true;
  }
  const vector* pts[3] = {&a, &b, &c};
  vector p;
  float te;
  if (!ix_moving_sphere_polygon(p, w.start, w.delta, w.radius, 3, pts, te) || te > 1.0f) return false;
  if (te < best_fraction(w)) {
    accept(w, f, te, p, n, 1);
  } else {
    w.res->count++;
  }
  return true;
}

template <bool Sphere>
bool test_face(Walk& w, const LevelFace& f) {
  if constexpr (Sphere) return !f.normal.is_zero() && sphere_face(w, f);
  return ray_face(w, f);
}

// The faces of one node; true when one gave a contact.
template <bool Sphere>
bool node_faces(Walk& w, const CollisionTree& t, const CollisionNode& n) {
  const uint32_t ref = (n.word2 >> 16) & 0x7FFF;
  if (n.word2 & CNODE_FACE_LIST) {
    const uint16_t* list = t.face_list + ref;
    const uint32_t count = list[0];
    bool hit = false;
    for (uint32_t k = 1; k <= count && (Sphere || !hit); k++) hit |= test_face<Sphere>(w, w.mesh->faces[list[k]]);
    return hit;
  }
  if (ref == CNODE_NO_FACE) return false;
  return test_face<Sphere>(w, w.mesh->faces[ref]);
}

template <bool Sphere>
void walk_tree(Walk& w) {
  const CollisionTree& t = w.mesh->tree;
  // Each pending far side keeps the part of the segment that can reach it
  // (plane slack included), so a long segment stops visiting subtrees its
  // remaining stretch never comes near. A ray's contacts beyond the nearest
  // one already found are refused anyway, which bounds the segment too.
  struct Entry {
    int far;
    int node;
    float t0, t1;
  } stack[COLLISION_STACK_SIZE];
  int sp = 0;
  // A sphere reaches a plane its centre passes within its radius of.
  const float band = COLLIDE_TOLERANCE + (Sphere ? w.radius : 0.0f);
  const vector end = w.start + w.delta;
  float t0 = 0.0f, t1 = 1.0f;
  if (!Sphere && w.bound < 1.0f) t1 = std::max(w.bound, 0.0f);
  int node = 0;
  for (;;) {
    while (node >= 0) {
      const CollisionNode& n = t.nodes[node];
      const vector normal = collide_node_normal(n.word0);
      const float sa = vector::dot(normal, w.start) + n.d;
      const float ds = vector::dot(normal, end) + n.d - sa;
      const float s0 = sa + ds * t0, s1 = sa + ds * t1;
      const uint32_t c = n.word2 & 0xFFFF;
      const bool has_first = n.word0 & CNODE_FIRST_CHILD, has_second = n.word0 & CNODE_SECOND_CHILD;
      const int first = has_first ? static_cast<int>(c) : -1;
      const int second = has_second ? static_cast<int>(has_first ? c + 1 : c) : -1;
      const bool front = s0 >= 0.0f;
      const int near = front ? first : second;
      const int far = front ? second : first;
      // The stretch on the near side reaches as far as -band past the plane
      // (front) or +band before it (back); the far side starts where the
      // segment comes within band of the plane from the other side.
      const bool crossing = front ? ds < 0.0f : ds > 0.0f;
      const float inv = crossing ? 1.0f / ds : 0.0f;
      if (std::min(s0, s1) <= band && std::max(s0, s1) >= -band && sp < COLLISION_STACK_SIZE)
        stack[sp++] = Entry{far, node, crossing ? std::max(t0, ((front ? band : -band) - sa) * inv) : t0, t1};
      node = near;
      if (crossing) t1 = std::max(std::min(t1, ((front ? -band : band) - sa) * inv), t0);
    }
    if (sp == 0) return;
    const Entry e = stack[--sp];
    // A ray's first contact in this order is its nearest; a sphere can touch
    // a far face before a near one, so it looks at every face it reaches.
    if (node_faces<Sphere>(w, t, t.nodes[e.node]) && !Sphere) return;
    node = e.far;
    t0 = e.t0;
    t1 = e.t1;
  }
}

// Whether the segment comes within `pad` of the box (slab test).
bool segment_near_box(const vector& start, const vector& delta, const vector& lo, const vector& hi, float pad,
                      float t1) {
  float t0 = 0.0f;
  for (int a = 0; a < 3; a++) {
    const float s = start[a], d = delta[a], min = lo[a] - pad, max = hi[a] + pad;
    if (d == 0.0f) {
      if (s < min || s > max) return false;
      continue;
    }
    const float inv = 1.0f / d;
    float ta = (min - s) * inv, tb = (max - s) * inv;
    if (ta > tb) std::swap(ta, tb);
    t0 = std::max(t0, ta);
    t1 = std::min(t1, tb);
    if (t0 > t1) return false;
  }
  return true;
}

void merge(CollisionResult* into, const CollisionResult& c) {
  if (c.count <= 0) return;
  if (into->count == 0 || !(into->fraction < c.fraction)) {
    const int count = into->count + c.count;
    *into = c;
    into->count = count;
  } else {
    into->count++;
  }
}

void reset_result(CollisionResult* r) {
  r->count = 0;
  r->kind = 0;
  r->face = nullptr;
  r->fraction = 1.0f;
  r->instance = -1;
  r->point.zero();
  r->normal.zero();
}

}  // namespace

namespace {

// Every walk step decodes a node normal: three table reads instead of three
// conversions, with the very same values (built at compile time, so no
// query can run before it is filled).
struct NormalSteps {
  float v[1024];
};
constexpr NormalSteps make_normal_steps() {
  constexpr float step = 2.0f / 1023.0f;
  NormalSteps s{};
  for (uint32_t q = 0; q < 1024; q++) s.v[q] = static_cast<float>(q) * step - 1.0f;
  return s;
}
constexpr NormalSteps Normal_steps = make_normal_steps();

}  // namespace

vector collide_node_normal(uint32_t word0) {
  const float* v = Normal_steps.v;
  return vector{v[word0 & 0x3FF], v[(word0 >> 10) & 0x3FF], v[(word0 >> 20) & 0x3FF]};
}

uint32_t collide_quantise_normal(const vector& n) {
  uint32_t word = 0;
  for (int i = 0; i < 3; i++) {
    const float q = std::nearbyint((n[i] + 1.0f) * 1023.0f / 2.0f);
    word |= static_cast<uint32_t>(std::clamp(q, 0.0f, 1023.0f)) << (10 * i);
  }
  return word;
}

namespace {

// The segment in an instance's mesh space: subtract its position, rotate by
// the inverse of its orientation.
void to_mesh_space(CollisionQuery* q, const LevelMeshInstance& mi) {
  const vector s = q->start - mi.pos;
  const matrix& m = mi.orient;
  q->local_start = vector{vector::dot(s, m.right), vector::dot(s, m.up), vector::dot(s, m.forward)};
  const vector& d = q->delta;
  q->local_delta = vector{vector::dot(d, m.right), vector::dot(d, m.up), vector::dot(d, m.forward)};
}

// An instance that passed its masks: its mesh's box, then its tree.
void collide_instance(int instance, const LevelMeshInstance& mi, CollisionQuery* q, CollisionResult* result) {
  const LevelMesh* mesh = mi.mesh;
  to_mesh_space(q, mi);
  CollisionResult local;
  reset_result(&local);
  Walk w{mesh,   q->local_start, q->local_delta, q->radius, q->radius >= COLLIDE_RAY_RADIUS,
         &local, instance,       result->count > 0 ? result->fraction : FLT_MAX, false};
  // Sizes up to 1e15 keep every product of the edge tests finite.
  const auto moderate = [](const vector& v) {
    return std::fabs(v.x) <= 1e15f && std::fabs(v.y) <= 1e15f && std::fabs(v.z) <= 1e15f;
  };
  w.plumb = !w.sphere && w.delta.x == 0.0f && w.delta.z == 0.0f && moderate(w.start) && moderate(w.delta) &&
            moderate(mesh->box_min) && moderate(mesh->box_max);
  // Nothing of the mesh lies near a segment that misses its box.
  const float pad = 2.0f * COLLIDE_TOLERANCE + (w.sphere ? q->radius : 0.0f);
  // A ray's contact at or beyond the nearest one found so far is refused, so
  // only the segment up to it counts.
  const float reach = !w.sphere && w.bound < 1.0f ? std::max(w.bound, 0.0f) : 1.0f;
  if (!segment_near_box(w.start, w.delta, mesh->box_min, mesh->box_max, pad, reach)) return;
  if (q->options & CQ_ONE_FACE) {
    if (q->face && q->face >= mesh->faces && q->face < mesh->faces + mesh->face_count)
      w.sphere ? test_face<true>(w, *q->face) : test_face<false>(w, *q->face);
  } else {
    w.sphere ? walk_tree<true>(w) : walk_tree<false>(w);
  }
  merge(result, local);
}

bool instance_allowed(const LevelMeshInstance& mi, const CollisionQuery* q) {
  if ((mi.flags & q->include) != q->include || (mi.flags & q->exclude)) return false;
  return mi.mesh && mi.mesh->tree.node_count;
}

// Where each instance's mesh box lies in the world. A level query tests the
// segment against these first, four instances at a time, so the instances it
// passes far from cost neither the move into mesh space nor a walk. Each box
// keeps the placement and mesh box it was made for, and every query checks
// them: doors and anything else may move an instance at any time, and a stale
// box would silently miss contacts. (These boxes, like the last-contact
// globals, make queries single-threaded.)
//
// The words a box depends on: the instance's position and orientation
// (48 bytes), and its mesh's box (24 bytes, taken as two overlapping halves).
struct Placement {
  __m128i words[5];
  const LevelMesh* mesh;
};
static_assert(offsetof(LevelMeshInstance, orient) == offsetof(LevelMeshInstance, pos) + sizeof(vector) &&
              sizeof(vector) + sizeof(matrix) == 48 &&
              offsetof(LevelMesh, box_max) == offsetof(LevelMesh, box_min) + sizeof(vector));

void placement_words(const LevelMeshInstance& mi, const LevelMesh* mesh, __m128i* w) {
  const char* at = reinterpret_cast<const char*>(&mi.pos);
  const char* box = reinterpret_cast<const char*>(&mesh->box_min);
  w[0] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
  w[1] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 16));
  w[2] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 32));
  w[3] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(box));
  w[4] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(box + 8));
}

// Four instances' boxes, by axis then instance: the box around the mesh box
// with rounding room, and how far one unit of mesh-space padding reaches
// along the axis. An orientation that cannot be inverted gets an endless box.
struct alignas(16) BoxGroup {
  float lo[3][4], hi[3][4], pad_scale[3][4];
};

struct WorldBoxes {
  std::vector<Placement> placed;
  std::vector<BoxGroup> groups;  // the spare lanes of the last group are never read
  std::vector<uint64_t> near;    // a bit an instance, of the current query
} World;

void make_world_box(int i, const LevelMeshInstance& mi) {
  Placement& p = World.placed[i];
  placement_words(mi, mi.mesh, p.words);
  p.mesh = mi.mesh;
  const vector mesh_min = mi.mesh->box_min, mesh_max = mi.mesh->box_max;
  BoxGroup& g = World.groups[i / 4];
  const int lane = i % 4;
  for (int a = 0; a < 3; a++) {
    g.lo[a][lane] = -INFINITY;
    g.hi[a][lane] = INFINITY;
    g.pad_scale[a][lane] = 0.0f;
  }
  // Mesh space is rows . (world - pos); back out takes the true inverse, as
  // a file's orientation need not be a pure rotation.
  const matrix& m = mi.orient;
  const double r[3][3] = {{m.right.x, m.right.y, m.right.z}, {m.up.x, m.up.y, m.up.z},
                          {m.forward.x, m.forward.y, m.forward.z}};
  const double det = r[0][0] * (r[1][1] * r[2][2] - r[1][2] * r[2][1]) -
                     r[0][1] * (r[1][0] * r[2][2] - r[1][2] * r[2][0]) +
                     r[0][2] * (r[1][0] * r[2][1] - r[1][1] * r[2][0]);
  if (!std::isfinite(det) || std::fabs(det) < 1e-9) return;
  double inv[3][3];
  for (int a = 0; a < 3; a++)
    for (int j = 0; j < 3; j++) {
      const int j1 = (j + 1) % 3, j2 = (j + 2) % 3, a1 = (a + 1) % 3, a2 = (a + 2) % 3;
      inv[a][j] = (r[j1][a1] * r[j2][a2] - r[j1][a2] * r[j2][a1]) / det;
    }
  double lo[3], hi[3], scale[3], size = 0.0;
  for (int a = 0; a < 3; a++) {
    lo[a] = hi[a] = mi.pos[a];
    scale[a] = 0.0;
    for (int j = 0; j < 3; j++) {
      const double u = inv[a][j] * mesh_min[j], v = inv[a][j] * mesh_max[j];
      lo[a] += std::min(u, v);
      hi[a] += std::max(u, v);
      scale[a] += std::fabs(inv[a][j]);
    }
    size = std::max({size, std::fabs(lo[a]), std::fabs(hi[a])});
  }
  for (int a = 0; a < 3; a++)
    if (!std::isfinite(lo[a]) || !std::isfinite(hi[a]) || !std::isfinite(scale[a])) return;
  // The walk works in floats on the moved segment: leave room for its
  // rounding (a few units in the last place of the largest coordinate).
  const double slack = 1e-5 * (1.0 + size);
  for (int a = 0; a < 3; a++) {
    g.lo[a][lane] = static_cast<float>(lo[a] - slack);
    g.hi[a][lane] = static_cast<float>(hi[a] + slack);
    g.pad_scale[a][lane] = static_cast<float>(scale[a] * 1.00001);
  }
}

// Brings every box up to the instances' present placements.
void update_world_boxes() {
  const int n = Level.instance_count;
  if (World.placed.size() < static_cast<size_t>(n)) {
    World.placed.resize(n, Placement{{}, nullptr});
    World.groups.resize((n + 3) / 4, BoxGroup{});
    World.near.resize((n + 63) / 64);
  }
  const LevelMeshInstance* instances = Level.instances;
  const Placement* placed = World.placed.data();
  for (int i = 0; i < n; i++) {
    const LevelMesh* mesh = instances[i].mesh;
    if (!mesh) continue;
    __m128i now[5];
    placement_words(instances[i], mesh, now);
    const __m128i* was = placed[i].words;
    const __m128i same = _mm_and_si128(
        _mm_and_si128(_mm_and_si128(_mm_cmpeq_epi32(now[0], was[0]), _mm_cmpeq_epi32(now[1], was[1])),
                      _mm_and_si128(_mm_cmpeq_epi32(now[2], was[2]), _mm_cmpeq_epi32(now[3], was[3]))),
        _mm_cmpeq_epi32(now[4], was[4]));
    if ((_mm_movemask_epi8(same) != 0xFFFF) | (placed[i].mesh != mesh)) make_world_box(i, instances[i]);
  }
}

// Marks in World.near the instances whose box the segment comes near, padded
// as the mesh box test pads. Non-finite segments mark every instance.
void mark_near_instances(const CollisionQuery* q) {
  const int n = Level.instance_count;
  const float pad = 2.0f * COLLIDE_TOLERANCE + (q->radius >= COLLIDE_RAY_RADIUS ? q->radius : 0.0f);
  bool finite = std::isfinite(pad);
  float size = 0.0f;
  for (int a = 0; a < 3; a++) {
    finite = finite && std::isfinite(q->start[a]) && std::isfinite(q->delta[a]);
    size = std::max({size, std::fabs(q->start[a]), std::fabs(q->delta[a])});
  }
  std::fill(World.near.begin(), World.near.end(), finite ? 0 : ~uint64_t{0});
  if (!finite) return;
  // Room for the rounding of the segment's own size.
  const __m128 slack = _mm_set1_ps(1e-5f * size), pads = _mm_set1_ps(pad);
  // A segment level with an axis must start between the box's faces on it;
  // on any other axis it is limited to the stretch between them. Level axes
  // take 0 for the reciprocal, and their stretch is lifted to an endless one.
  // A NaN (from an endless box) limits nothing.
  struct Axis {
    __m128 start, inv, flat, lift;
  } axes[3];
  for (int a = 0; a < 3; a++) {
    const float inv = 1.0f / q->delta[a];
    const bool flat = !std::isfinite(inv);  // no move, or too little to divide by
    axes[a] = Axis{_mm_set1_ps(q->start[a]), _mm_set1_ps(flat ? 0.0f : inv),
                   _mm_castsi128_ps(_mm_set1_epi32(flat ? -1 : 0)), _mm_set1_ps(flat ? INFINITY : 0.0f)};
  }
  const BoxGroup* g = World.groups.data();
  for (int i = 0; i < n; i += 4, g++) {
    __m128 t0 = _mm_setzero_ps(), t1 = _mm_set1_ps(1.0f), out = _mm_setzero_ps();
    const auto axis = [&](int a, const Axis& x) {
      const __m128 p = _mm_add_ps(_mm_mul_ps(pads, _mm_load_ps(g->pad_scale[a])), slack);
      const __m128 mn = _mm_sub_ps(_mm_load_ps(g->lo[a]), p);
      const __m128 mx = _mm_add_ps(_mm_load_ps(g->hi[a]), p);
      out = _mm_or_ps(out, _mm_and_ps(x.flat, _mm_or_ps(_mm_cmplt_ps(x.start, mn), _mm_cmpgt_ps(x.start, mx))));
      const __m128 ta = _mm_mul_ps(_mm_sub_ps(mn, x.start), x.inv);
      const __m128 tb = _mm_mul_ps(_mm_sub_ps(mx, x.start), x.inv);
      t0 = _mm_max_ps(_mm_min_ps(ta, tb), t0);
      t1 = _mm_min_ps(_mm_add_ps(_mm_max_ps(ta, tb), x.lift), t1);
    };
    axis(0, axes[0]);
    axis(1, axes[1]);
    axis(2, axes[2]);
    const uint64_t miss = static_cast<uint64_t>(_mm_movemask_ps(_mm_or_ps(out, _mm_cmpgt_ps(t0, t1))));
    World.near[i / 64] |= (~miss & 0xF) << (i % 64);
  }
}

}  // namespace

void collide_mesh(int instance, CollisionQuery* q, CollisionResult* result, int reset) {
  if (reset) reset_result(result);
  if (instance < 0 || instance >= Level.instance_count) return;
  const LevelMeshInstance& mi = Level.instances[instance];
  if (!instance_allowed(mi, q)) return;
  collide_instance(instance, mi, q, result);
}

void collide_level(CollisionQuery* q, CollisionResult* result) {
  reset_result(result);
  update_world_boxes();
  mark_near_instances(q);
  const int n = Level.instance_count;
  int moved = -1;
  for (int word = 0; word * 64 < n; word++) {
    for (uint64_t bits = World.near[word]; bits; bits &= bits - 1) {
      const int i = word * 64 + __builtin_ctzll(bits);
      if (i >= n) break;
      const LevelMeshInstance& mi = Level.instances[i];
      if (!instance_allowed(mi, q)) continue;
      collide_instance(i, mi, q, result);
      moved = i;
      if ((q->options & CQ_FIRST_INSTANCE) && result->count > 0) return;
      if ((q->options & CQ_LIMIT) && result->count > 0 && result->fraction < q->limit) return;
    }
  }
  // The last instance the masks let through keeps its mesh-space segment in
  // the query, as if every instance had been moved into.
  for (int i = n - 1; i > moved; i--) {
    if (instance_allowed(Level.instances[i], q)) {
      to_mesh_space(q, Level.instances[i]);
      break;
    }
  }
}

void collide_get_light(const vector&, int* r, int* g, int* b) {
  *r = 255;
  *g = 255;
  *b = 255;
}
