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
#include <utility>
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
  const struct FacePrep* prep;  // the mesh's faces made ready for rays, or null
  const struct NodePrep* nodes;  // the mesh's tree nodes decoded, or null
};

// A tree node as the walk reads it: the plane decoded from its word, and its
// children as indices (-1 none), by side: child[0] on the plane's front,
// child[1] behind it. The plane is the very value the word decodes to.
struct alignas(16) NodePrep {
  float nx, ny, nz, d;
  int child[2];
  uint32_t word2;  // the node's faces
  int unused;
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

// What a ray's face test works out from the corners alone, kept per face
// of each mesh: the same values in the same lanes, so a prepared face gives
// bit for bit what its corners give.
struct alignas(16) FacePrep {
  Edges e;
  __m128 slack;  // -1e-5 of each edge's length squared
  vector centroid;
  FacePrep(const vector& a, const vector& b, const vector& c)
      : e(a, b, c),
        slack(_mm_mul_ps(_mm_set1_ps(-1e-5f), _mm_add_ps(_mm_add_ps(_mm_mul_ps(e.ex, e.ex), _mm_mul_ps(e.ey, e.ey)),
                                                         _mm_mul_ps(e.ez, e.ez)))),
        centroid((a + b + c) * (1.0f / 3.0f)) {}
  int outside(const __m128& side) const { return _mm_movemask_ps(_mm_cmplt_ps(side, slack)) & 7; }
};

// Edges count as inside, with a hair of slack: a ray down the edge two
// faces share must not slip between them by rounding.
template <typename E>
bool inside_edges(const vector& p, const E& e, const Edges& g, const vector& n) {
  // (edge x (p - start)) . n
  const __m128 dx = _mm_sub_ps(_mm_set1_ps(p.x), g.x0), dy = _mm_sub_ps(_mm_set1_ps(p.y), g.y0),
               dz = _mm_sub_ps(_mm_set1_ps(p.z), g.z0);
  const __m128 cx = _mm_sub_ps(_mm_mul_ps(g.ey, dz), _mm_mul_ps(g.ez, dy));
  const __m128 cy = _mm_sub_ps(_mm_mul_ps(g.ez, dx), _mm_mul_ps(g.ex, dz));
  const __m128 cz = _mm_sub_ps(_mm_mul_ps(g.ex, dy), _mm_mul_ps(g.ey, dx));
  const __m128 side = _mm_add_ps(_mm_add_ps(_mm_mul_ps(cx, _mm_set1_ps(n.x)), _mm_mul_ps(cy, _mm_set1_ps(n.y))),
                                 _mm_mul_ps(cz, _mm_set1_ps(n.z)));
  return e.outside(side) == 0;
}

bool inside_triangle(const vector& p, const vector& a, const vector& b, const vector& c, const vector& n) {
  const Edges e(a, b, c);
  return inside_edges(p, e, e, n);
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
template <typename E>
bool beside_level_face(const Walk& w, const E& e, const Edges& g, float ny) {
  const __m128 dx = _mm_sub_ps(_mm_set1_ps(w.start.x), g.x0), dz = _mm_sub_ps(_mm_set1_ps(w.start.z), g.z0);
  const __m128 cy = _mm_sub_ps(_mm_mul_ps(g.ez, dx), _mm_mul_ps(g.ex, dz));
  return e.outside(_mm_mul_ps(cy, _mm_set1_ps(ny))) != 0;
}

// The test of one face from its edges and centroid, worked out here or
// prepared at the first query.
template <typename E>
bool ray_face_from(Walk& w, const LevelFace& f, const E& e, const Edges& g, const vector& centroid) {
  const float facing = vector::dot(f.normal, w.delta);
  const bool back = facing > 0.0f;
  if (back && !(f.flags & FACE_TWO_SIDED)) return false;
  const vector n = back ? -f.normal : f.normal;
  // A zero normal (a degenerate face) gives dn 0 and no contact.
  const float dn = vector::dot(n, w.delta);
  if (w.plumb && f.normal.x == 0.0f && f.normal.z == 0.0f && beside_level_face(w, e, g, f.normal.y)) return false;
  const float t = vector::dot(n, centroid - w.start) / dn;
  const vector p = w.start + w.delta * t;
  if (!((dn != 0.0f) & (t >= 0.0f) & (t <= 1.0f) & (t < w.bound) & inside_edges(p, e, g, f.normal))) return false;
  accept(w, f, t, p, n, 0);
  return true;
}

bool ray_face(Walk& w, const LevelFace& f) {
  if (w.prep) {
    const FacePrep& fp = w.prep[&f - w.mesh->faces];
    return ray_face_from(w, f, fp, fp.e, fp.centroid);
  }
  const vector a = corner(w, f, 0), b = corner(w, f, 1), c = corner(w, f, 2);
  const Edges e(a, b, c);
  return ray_face_from(w, f, e, e, (a + b + c) * (1.0f / 3.0f));
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
bool node_faces(Walk& w, const CollisionTree& t, uint32_t word2) {
  const uint32_t ref = (word2 >> 16) & 0x7FFF;
  if (word2 & CNODE_FACE_LIST) {
    const uint16_t* list = t.face_list + ref;
    const uint32_t count = list[0];
    bool hit = false;
    for (uint32_t k = 1; k <= count && (Sphere || !hit); k++) hit |= test_face<Sphere>(w, w.mesh->faces[list[k]]);
    return hit;
  }
  if (ref == CNODE_NO_FACE) return false;
  return test_face<Sphere>(w, w.mesh->faces[ref]);
}

NodePrep prepare_node(const CollisionNode& n) {
  const vector normal = collide_node_normal(n.word0);
  const int c = static_cast<int>(n.word2 & 0xFFFF);
  const bool has_first = n.word0 & CNODE_FIRST_CHILD, has_second = n.word0 & CNODE_SECOND_CHILD;
  return NodePrep{normal.x, normal.y, normal.z, n.d, {has_first ? c : -1, has_second ? (has_first ? c + 1 : c) : -1},
                  n.word2, 0};
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
    uint32_t word2;
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
      const NodePrep n = w.nodes ? w.nodes[node] : prepare_node(t.nodes[node]);
      const vector normal{n.nx, n.ny, n.nz};
      const float sa = vector::dot(normal, w.start) + n.d;
      const float ds = vector::dot(normal, end) + n.d - sa;
      const float s0 = sa + ds * t0, s1 = sa + ds * t1;
      const bool front = s0 >= 0.0f;
      const int near = n.child[!front];
      const int far = n.child[front];
      // The stretch on the near side reaches as far as -band past the plane
      // (front) or +band before it (back); the far side starts where the
      // segment comes within band of the plane from the other side.
      // (Choosing these without branches measured no faster: the division
      // then sits on the path to the next node.)
      const bool crossing = front ? ds < 0.0f : ds > 0.0f;
      const float inv = crossing ? 1.0f / ds : 0.0f;
      if (std::min(s0, s1) <= band && std::max(s0, s1) >= -band && sp < COLLISION_STACK_SIZE)
        stack[sp++] = Entry{far, n.word2, crossing ? std::max(t0, ((front ? band : -band) - sa) * inv) : t0, t1};
      node = near;
      if (crossing) t1 = std::max(std::min(t1, ((front ? -band : band) - sa) * inv), t0);
    }
    if (sp == 0) return;
    const Entry e = stack[--sp];
    // A ray's first contact in this order is its nearest; a sphere can touch
    // a far face before a near one, so it looks at every face it reaches.
    if (node_faces<Sphere>(w, t, e.word2) && !Sphere) return;
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
    const float ta = (min - s) * inv, tb = (max - s) * inv;
    // The nearer and farther crossings chosen without a branch (which one
    // is nearer is a coin toss for rays in any direction).
    t0 = std::max(t0, std::min(ta, tb));
    t1 = std::min(t1, std::max(tb, ta));
  }
  return t0 <= t1;
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

const FacePrep* prepared_faces(const LevelMesh* mesh);
const NodePrep* prepared_nodes(const LevelMesh* mesh);

// An instance that passed its masks: its mesh's box, then its tree.
void collide_instance(int instance, const LevelMeshInstance& mi, CollisionQuery* q, CollisionResult* result) {
  const LevelMesh* mesh = mi.mesh;
  to_mesh_space(q, mi);
  CollisionResult local;
  reset_result(&local);
  // In the level's order a contact must be nearer than the earlier
  // instances' to count, so of equal contacts the first instance keeps it;
  // an instance tested out of that order takes an equal contact from a
  // later one.
  float bound = FLT_MAX;
  if (result->count > 0)
    bound = instance < result->instance ? std::nextafter(result->fraction, INFINITY) : result->fraction;
  Walk w{mesh,  q->local_start, q->local_delta, q->radius, q->radius >= COLLIDE_RAY_RADIUS,
         &local, instance,        bound,          false,     prepared_faces(mesh), prepared_nodes(mesh)};
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
// segment against these first, so the instances it passes far from cost
// neither the move into mesh space nor a walk, and a grid over the ground
// plane hands it only the boxes of the cells it crosses: a query costs the
// same in a level of fifty instances as in one of eight hundred.
//
// The boxes and the grid are made from the placements at the first query
// after a level is loaded or cleared; an instance moved after that must be
// announced with collide_instance_moved (the level's movers do), or rays
// meet it where it stood. (These boxes, like the last-contact globals, make
// queries single-threaded.)

// Four instances' boxes, by axis then instance: the box around the mesh box
// with rounding room, and how far one unit of mesh-space padding reaches
// along the axis. An orientation that cannot be inverted gets an endless box.
struct alignas(16) BoxGroup {
  float lo[3][4], hi[3][4], pad_scale[3][4];
};

// Cells of the ground plane (x, z) and the box groups each one touches.
// Boxes over too many cells, endless ones and the moved are kept apart and
// tested by every query.
constexpr int Grid_max_side = 256;
constexpr int Grid_max_cells_a_box = 16;
constexpr size_t Grid_max_moved = 64;

struct WorldBoxes {
  bool built = false;
  const LevelMeshInstance* instances = nullptr;  // what the boxes were made for
  int count = 0;
  std::vector<BoxGroup> groups;  // the last group's spare lanes may be met, never walked
  std::vector<uint64_t> near;    // a bit an instance, of the current query
  float x0 = 0, z0 = 0, inv_cell = 0;
  int nx = 0, nz = 0;
  std::vector<int> cell_start;   // nx * nz + 1 offsets into cell_groups
  std::vector<int> cell_groups;
  std::vector<int> everywhere;   // groups every query tests
  std::vector<uint32_t> seen;    // a group's last query stamp
  uint32_t stamp = 0;
  float max_pad_scale = 0;
  const LevelMesh* meshes = nullptr;  // what the prepared faces were made for
  int mesh_count = 0;
  std::vector<FacePrep> prep;      // every face of every mesh, mesh by mesh
  std::vector<size_t> prep_start;  // a mesh's first face in prep
  std::vector<NodePrep> nodes;     // every tree node of every mesh, mesh by mesh
  std::vector<size_t> node_start;  // a mesh's first node in nodes
} World;

// The faces of every mesh made ready for rays; mesh space, so the
// instances' placements do not touch them.
void prepare_faces() {
  World.meshes = Level.meshes;
  World.mesh_count = Level.meshes ? Level.mesh_count : 0;
  World.prep.clear();
  World.prep_start.assign(World.mesh_count, 0);
  World.nodes.clear();
  World.node_start.assign(World.mesh_count, 0);
  for (int i = 0; i < World.mesh_count; i++) {
    const LevelMesh& m = Level.meshes[i];
    World.prep_start[i] = World.prep.size();
    for (int f = 0; f < m.face_count; f++) {
      const LevelFace& face = m.faces[f];
      World.prep.emplace_back(m.positions[face.v[0]], m.positions[face.v[1]], m.positions[face.v[2]]);
    }
    World.node_start[i] = World.nodes.size();
    for (uint32_t k = 0; k < m.tree.node_count; k++) World.nodes.push_back(prepare_node(m.tree.nodes[k]));
  }
}

const FacePrep* prepared_faces(const LevelMesh* mesh) {
  if (!World.built || World.meshes != Level.meshes || !World.meshes) return nullptr;
  const ptrdiff_t i = mesh - World.meshes;
  if (i < 0 || i >= World.mesh_count || World.prep.empty()) return nullptr;
  return World.prep.data() + World.prep_start[i];
}

const NodePrep* prepared_nodes(const LevelMesh* mesh) {
  if (!World.built || World.meshes != Level.meshes || !World.meshes) return nullptr;
  const ptrdiff_t i = mesh - World.meshes;
  if (i < 0 || i >= World.mesh_count || World.nodes.empty()) return nullptr;
  return World.nodes.data() + World.node_start[i];
}

void make_world_box(int i, const LevelMeshInstance& mi) {
  BoxGroup& g = World.groups[i / 4];
  const int lane = i % 4;
  for (int a = 0; a < 3; a++) {
    g.lo[a][lane] = -INFINITY;
    g.hi[a][lane] = INFINITY;
    g.pad_scale[a][lane] = 0.0f;
  }
  if (!mi.mesh) {  // nothing to meet: a box no segment reaches
    for (int a = 0; a < 3; a++) g.lo[a][lane] = INFINITY, g.hi[a][lane] = -INFINITY;
    return;
  }
  const vector mesh_min = mi.mesh->box_min, mesh_max = mi.mesh->box_max;
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

bool box_is_finite(int i) {
  const BoxGroup& g = World.groups[i / 4];
  const int lane = i % 4;
  for (int a = 0; a < 3; a++)
    if (!std::isfinite(g.lo[a][lane]) || !std::isfinite(g.hi[a][lane])) return false;
  return true;
}

int cell_of(float v, float origin, int side) {
  const float c = (v - origin) * World.inv_cell;
  if (!(c > 0.0f)) return 0;  // NaN too
  return c >= static_cast<float>(side - 1) ? side - 1 : static_cast<int>(c);
}

void add_everywhere(int group) {
  if (std::find(World.everywhere.begin(), World.everywhere.end(), group) == World.everywhere.end())
    World.everywhere.push_back(group);
}

// Every box from the present placements, and the grid over them.
void build_world_boxes() {
  const int n = Level.instance_count;
  World.built = true;
  prepare_faces();
  World.instances = Level.instances;
  World.count = n;
  World.groups.assign((n + 3) / 4, BoxGroup{});
  World.near.assign((n + 63) / 64, 0);
  World.seen.assign(World.groups.size(), 0);
  World.stamp = 0;
  World.everywhere.clear();
  World.max_pad_scale = 0.0f;
  float lo[2] = {INFINITY, INFINITY}, hi[2] = {-INFINITY, -INFINITY};
  double area = 0.0;
  int placed = 0;
  for (int i = 0; i < n; i++) {
    make_world_box(i, Level.instances[i]);
    if (!box_is_finite(i)) continue;
    const BoxGroup& g = World.groups[i / 4];
    const int lane = i % 4;
    for (int a = 0; a < 3; a++) World.max_pad_scale = std::max(World.max_pad_scale, g.pad_scale[a][lane]);
    lo[0] = std::min(lo[0], g.lo[0][lane]), hi[0] = std::max(hi[0], g.hi[0][lane]);
    lo[1] = std::min(lo[1], g.lo[2][lane]), hi[1] = std::max(hi[1], g.hi[2][lane]);
    area += static_cast<double>(g.hi[0][lane] - g.lo[0][lane]) * (g.hi[2][lane] - g.lo[2][lane]);
    placed++;
  }
  // Cells about the size of an average box, so a box touches a few cells
  // and a cell holds a few boxes.
  World.nx = World.nz = 1;
  World.x0 = placed ? lo[0] : 0.0f;
  World.z0 = placed ? lo[1] : 0.0f;
  World.inv_cell = 0.0f;
  if (placed) {
    const double extent = std::max(1e-3, static_cast<double>(std::max(hi[0] - lo[0], hi[1] - lo[1])));
    const double cell = std::max({std::sqrt(area / placed), extent / Grid_max_side, 1e-3});
    World.inv_cell = static_cast<float>(1.0 / cell);
    World.nx = std::clamp(static_cast<int>((hi[0] - lo[0]) / cell) + 1, 1, Grid_max_side);
    World.nz = std::clamp(static_cast<int>((hi[1] - lo[1]) / cell) + 1, 1, Grid_max_side);
  }
  std::vector<int> counts(static_cast<size_t>(World.nx) * World.nz + 1, 0);
  const auto cells = [](int i, int* cx0, int* cx1, int* cz0, int* cz1) {
    const BoxGroup& g = World.groups[i / 4];
    const int lane = i % 4;
    *cx0 = cell_of(g.lo[0][lane], World.x0, World.nx), *cx1 = cell_of(g.hi[0][lane], World.x0, World.nx);
    *cz0 = cell_of(g.lo[2][lane], World.z0, World.nz), *cz1 = cell_of(g.hi[2][lane], World.z0, World.nz);
    return (*cx1 - *cx0 + 1) * (*cz1 - *cz0 + 1) <= Grid_max_cells_a_box;
  };
  std::vector<char> wide(n, 0);
  for (int pass = 0; pass < 2; pass++) {
    if (pass == 1) {
      for (size_t c = 1; c < counts.size(); c++) counts[c] += counts[c - 1];
      World.cell_start = counts;
      World.cell_groups.assign(counts.back(), 0);
      std::fill(counts.begin(), counts.end(), 0);
    }
    for (int i = 0; i < n; i++) {
      if (!Level.instances[i].mesh) continue;
      int cx0, cx1, cz0, cz1;
      if (!box_is_finite(i) || !cells(i, &cx0, &cx1, &cz0, &cz1)) {
        if (pass == 0) add_everywhere(i / 4);
        continue;
      }
      for (int z = cz0; z <= cz1; z++)
        for (int x = cx0; x <= cx1; x++) {
          const int c = z * World.nx + x;
          if (pass == 0) counts[c + 1]++;
          else World.cell_groups[World.cell_start[c] + counts[c]++] = i / 4;
        }
    }
  }
}

// A query's segment made ready for the box tests: four lanes of each.
struct BoxQuery {
  __m128 pads, slack, start[3], inv[3], flat[3], lift[3];
  float reach;  // how far beyond a cell's edge a box it holds can be met
  bool finite;
};

BoxQuery box_query(const CollisionQuery* q) {
  BoxQuery b;
  const float pad = 2.0f * COLLIDE_TOLERANCE + (q->radius >= COLLIDE_RAY_RADIUS ? q->radius : 0.0f);
  bool finite = std::isfinite(pad);
  float size = 0.0f;
  for (int a = 0; a < 3; a++) {
    finite = finite && std::isfinite(q->start[a]) && std::isfinite(q->delta[a]);
    size = std::max({size, std::fabs(q->start[a]), std::fabs(q->delta[a])});
  }
  b.finite = finite;
  // Room for the rounding of the segment's own size.
  b.slack = _mm_set1_ps(1e-5f * size);
  b.pads = _mm_set1_ps(pad);
  b.reach = pad * World.max_pad_scale + 1e-5f * size + 1e-4f;
  // A segment level with an axis must start between the box's faces on it;
  // on any other axis it is limited to the stretch between them. Level axes
  // take 0 for the reciprocal, and their stretch is lifted to an endless one.
  // A NaN (from an endless box) limits nothing.
  for (int a = 0; a < 3; a++) {
    const float r = 1.0f / q->delta[a];
    const bool level = !std::isfinite(r);  // no move, or too little to divide by
    b.start[a] = _mm_set1_ps(q->start[a]);
    b.inv[a] = _mm_set1_ps(level ? 0.0f : r);
    b.flat[a] = _mm_castsi128_ps(_mm_set1_epi32(level ? -1 : 0));
    b.lift[a] = _mm_set1_ps(level ? INFINITY : 0.0f);
  }
  return b;
}

// The lanes of a group whose box the segment comes near, padded as the mesh
// box test pads, and where the segment enters each.
__m128 group_entry(int group, const BoxQuery& b, int* lanes) {
  const BoxGroup* g = &World.groups[group];
  __m128 t0 = _mm_setzero_ps(), t1 = _mm_set1_ps(1.0f), out = _mm_setzero_ps();
  for (int a = 0; a < 3; a++) {
    const __m128 p = _mm_add_ps(_mm_mul_ps(b.pads, _mm_load_ps(g->pad_scale[a])), b.slack);
    const __m128 mn = _mm_sub_ps(_mm_load_ps(g->lo[a]), p);
    const __m128 mx = _mm_add_ps(_mm_load_ps(g->hi[a]), p);
    out = _mm_or_ps(out, _mm_and_ps(b.flat[a], _mm_or_ps(_mm_cmplt_ps(b.start[a], mn), _mm_cmpgt_ps(b.start[a], mx))));
    const __m128 ta = _mm_mul_ps(_mm_sub_ps(mn, b.start[a]), b.inv[a]);
    const __m128 tb = _mm_mul_ps(_mm_sub_ps(mx, b.start[a]), b.inv[a]);
    t0 = _mm_max_ps(_mm_min_ps(ta, tb), t0);
    t1 = _mm_min_ps(_mm_add_ps(_mm_max_ps(ta, tb), b.lift[a]), t1);
  }
  *lanes = ~_mm_movemask_ps(_mm_or_ps(out, _mm_cmpgt_ps(t0, t1))) & 0xF;
  return t0;
}

int test_group(int group, const BoxQuery& b) {
  int lanes;
  group_entry(group, b, &lanes);
  return lanes;
}

bool world_boxes_stale() {
  return !World.built || World.instances != Level.instances || World.count != Level.instance_count;
}

// What a visitor did with a group it was offered.
enum class Offer { taken, passed, stop };

// Calls visit(group, cell_t, row_t) for every group the segment may come
// near: first those every query tests, then the grid's cells the padded
// segment crosses, row by row and cell by cell in the segment's direction,
// with row_done() after each row. cell_t and row_t are where the segment
// reaches the cell and its row: no box met there is entered sooner, and
// row_t never falls from one row to the next (cell_t may: a cell of the
// next row can be reached before the far cells of this one). A group taken
// is not offered again in the query; one passed is offered again from the
// next cell that holds it; stop ends the visit.
template <typename Visit, typename RowDone>
void visit_groups(const CollisionQuery* q, const BoxQuery& b, Visit&& visit, RowDone&& row_done) {
  if (++World.stamp == 0) {
    std::fill(World.seen.begin(), World.seen.end(), 0);
    World.stamp = 1;
  }
  const uint32_t stamp = World.stamp;
  const auto offer = [&](int group, float t, float row_t) {
    if (World.seen[group] == stamp) return true;
    const Offer taken = visit(group, t, row_t);
    if (taken != Offer::passed) World.seen[group] = stamp;
    return taken != Offer::stop;
  };
  for (int group : World.everywhere)
    if (!offer(group, 0.0f, 0.0f)) return;
  if (World.inv_cell <= 0.0f) return;
  const float reach = b.reach;
  const float sx = q->start.x, sz = q->start.z, dx = q->delta.x, dz = q->delta.z;
  const float cell = 1.0f / World.inv_cell;
  const int rz0 = cell_of(std::min(sz, sz + dz) - reach, World.z0, World.nz);
  const int rz1 = cell_of(std::max(sz, sz + dz) + reach, World.z0, World.nz);
  const bool z_down = dz < 0.0f, x_down = dx < 0.0f;
  const bool z_moves = std::fabs(dz) > 1e-12f, x_moves = std::fabs(dx) > 1e-12f;
  // Rows and cells are stepped through by sign, not by a choice each step
  // (the direction is a coin toss from one query to the next).
  const int z_first = z_down ? rz1 : rz0, z_step = z_down ? -1 : 1;
  for (int k = 0; k <= rz1 - rz0; k++) {
    const int z = z_first + k * z_step;
    // The row's stretch of the segment, widened, with the outer rows
    // reaching to infinity (the grid's edge cells hold what lies beyond).
    float t0 = 0.0f, t1 = 1.0f;
    if (z_moves) {
      const float za = z == 0 ? -INFINITY : World.z0 + z * cell - reach;
      const float zb = z == World.nz - 1 ? INFINITY : World.z0 + (z + 1) * cell + reach;
      const float ta = (za - sz) / dz, tb = (zb - sz) / dz;
      t0 = std::max(t0, std::min(ta, tb));
      t1 = std::min(t1, std::max(tb, ta));
      if (!(t0 <= t1)) continue;
    }
    const float xa = sx + dx * t0, xb = sx + dx * t1;
    const int cx0 = cell_of(std::min(xa, xb) - reach, World.x0, World.nx);
    const int cx1 = cell_of(std::max(xa, xb) + reach, World.x0, World.nx);
    const int* starts = World.cell_start.data() + z * World.nx;
    const int x_first = x_down ? cx1 : cx0, x_step = x_down ? -1 : 1;
    for (int j = 0; j <= cx1 - cx0; j++) {
      const int x = x_first + j * x_step;
      float tc = t0;
      if (x_moves) {
        // Where the segment reaches the cell's widened x stretch.
        const float edge = x_down ? (x == World.nx - 1 ? INFINITY : World.x0 + (x + 1) * cell + reach)
                                  : (x == 0 ? -INFINITY : World.x0 + x * cell - reach);
        tc = std::max(t0, (edge - sx) / dx);
      }
      for (int i = starts[x]; i < starts[x + 1]; i++)
        if (!offer(World.cell_groups[i], tc, t0)) return;
    }
    if (!row_done()) return;
  }
}

// Marks in World.near every instance whose box the segment comes near.
// Non-finite segments mark every instance.
void mark_near_instances(const CollisionQuery* q) {
  if (world_boxes_stale()) build_world_boxes();
  const BoxQuery b = box_query(q);
  std::fill(World.near.begin(), World.near.end(), b.finite ? 0 : ~uint64_t{0});
  if (!b.finite || Level.instance_count == 0) return;
  visit_groups(
      q, b,
      [&](int group, float, float) {
        const int i = group * 4;
        World.near[i / 64] |= static_cast<uint64_t>(test_group(group, b)) << (i % 64);
        return Offer::taken;
      },
      [] { return true; });
}

}  // namespace

void collide_instance_moved(int instance) {
  if (!World.built || World.instances != Level.instances || World.count != Level.instance_count) return;
  if (instance < 0 || instance >= World.count) return;
  if (World.everywhere.size() >= Grid_max_moved) {
    World.built = false;  // many movers: cheaper to lay the grid again
    return;
  }
  make_world_box(instance, Level.instances[instance]);
  add_everywhere(instance / 4);
}

void collide_level_changed() { World.built = false; }

void collide_mesh(int instance, CollisionQuery* q, CollisionResult* result, int reset) {
  if (reset) reset_result(result);
  if (instance < 0 || instance >= Level.instance_count) return;
  const LevelMeshInstance& mi = Level.instances[instance];
  if (!instance_allowed(mi, q)) return;
  if (world_boxes_stale()) build_world_boxes();
  collide_instance(instance, mi, q, result);
}

namespace {

// Whether a query is through: it stops at its first contact nearer than its
// limit.
bool limit_reached(const CollisionQuery* q, const CollisionResult* result) {
  return (q->options & CQ_LIMIT) && result->count > 0 && result->fraction < q->limit;
}

// Every instance the segment comes near, in the level's order. True when
// the query stopped early.
bool collide_marked(CollisionQuery* q, CollisionResult* result) {
  mark_near_instances(q);
  const int n = Level.instance_count;
  for (int word = 0; word * 64 < n; word++) {
    for (uint64_t bits = World.near[word]; bits; bits &= bits - 1) {
      const int i = word * 64 + __builtin_ctzll(bits);
      if (i >= n) break;
      const LevelMeshInstance& mi = Level.instances[i];
      if (!instance_allowed(mi, q)) continue;
      collide_instance(i, mi, q, result);
      if ((q->options & CQ_FIRST_INSTANCE) && result->count > 0) return true;
      if (limit_reached(q, result)) return true;
    }
  }
  return false;
}

// The instances in about the order the segment enters their boxes, cell
// by cell along it: once a contact lies nearer than where a box begins,
// that instance cannot better it, and once it lies nearer than a row of
// cells begins, nothing further along can. The nearest contact is the one a
// walk of every instance in the level's order finds; the count, which only
// grows with contacts that better the nearest so far, is smaller, as the
// far instances are never walked.
bool collide_nearest_first(CollisionQuery* q, CollisionResult* result, const BoxQuery& b) {
  struct Pending {
    float entry;
    int i;
  };
  // Every group is taken at most once a query: room for all of their lanes.
  static std::vector<Pending> pending;
  if (pending.size() < World.groups.size() * 4) pending.resize(World.groups.size() * 4);
  int count = 0;
  const int n = Level.instance_count;
  const auto beyond = [&](float t) { return result->count > 0 && t > result->fraction; };
  bool through = false;
  const auto walk_pending = [&] {
    // By entry, then by index.
    for (int k = 1; k < count; k++) {
      const Pending p = pending[k];
      int j = k;
      for (; j > 0 && (p.entry < pending[j - 1].entry || (p.entry == pending[j - 1].entry && p.i < pending[j - 1].i));
           j--)
        pending[j] = pending[j - 1];
      pending[j] = p;
    }
    for (int k = 0; k < count; k++) {
      const auto [entry, i] = pending[k];
      if (beyond(entry)) break;
      // The last group's spare lanes hold no instance.
      if (i >= n || !instance_allowed(Level.instances[i], q)) continue;
      collide_instance(i, Level.instances[i], q, result);
      if (limit_reached(q, result)) {
        through = true;
        break;
      }
    }
    count = 0;
    return !through;
  };
  // Every lane is written and only those whose box the segment meets are
  // kept: whether a box is met is a guess the branch predictor keeps losing.
  const auto take = [&](int group) {
    int lanes;
    alignas(16) float entry[4];
    _mm_store_ps(entry, group_entry(group, b, &lanes));
    for (int l = 0; l < 4; l++) {
      pending[count] = Pending{entry[l], group * 4 + l};
      count += (lanes >> l) & 1;
    }
  };
  visit_groups(
      q, b,
      [&](int group, float cell_t, float row_t) {
        if (beyond(row_t)) return Offer::stop;
        if (beyond(cell_t)) return Offer::passed;
        take(group);
        return Offer::taken;
      },
      walk_pending);
  if (!through) walk_pending();
  return through;
}

}  // namespace

void collide_level(CollisionQuery* q, CollisionResult* result) {
  reset_result(result);
  if (world_boxes_stale()) build_world_boxes();
  const BoxQuery b = box_query(q);
  const bool stopped = (q->options & CQ_FIRST_INSTANCE) || !b.finite ? collide_marked(q, result)
                                                                   : collide_nearest_first(q, result, b);
  if (stopped) return;  // the query keeps the segment of the instance it stopped at
  // Otherwise it keeps the mesh-space segment of the last instance the masks
  // let through, as if every instance had been moved into.
  for (int i = Level.instance_count - 1; i >= 0; i--) {
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
