// The collision tree is a node tree whose every node holds the faces lying
// on its plane: walking the side the segment starts on first, then the
// node's own faces, then the far side, meets faces in the order a ray does.
#include "Engine/s3d/collide.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

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
};

vector corner(const Walk& w, const LevelFace& f, int i) { return w.mesh->positions[f.v[i]]; }

// Edges count as inside, with a hair of slack: a ray down the edge two
// faces share must not slip between them by rounding.
bool inside_triangle(const vector& p, const vector& a, const vector& b, const vector& c, const vector& n) {
  const vector* pts[3] = {&a, &b, &c};
  for (int i = 0; i < 3; i++) {
    const vector& e0 = *pts[i];
    const vector e = *pts[(i + 1) % 3] - e0;
    vector x;
    e.cross(x, p - e0);
    if (vector::dot(x, n) < -1e-5f * e.length_squared()) return false;
  }
  return true;
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

bool ray_face(Walk& w, const LevelFace& f) {
  vector n = f.normal;
  const float facing = vector::dot(n, w.delta);
  if (facing > 0.0f) {
    if (!(f.flags & FACE_TWO_SIDED)) return false;
    n = -n;
  }
  const float dn = vector::dot(n, w.delta);
  if (dn == 0.0f) return false;
  const vector a = corner(w, f, 0), b = corner(w, f, 1), c = corner(w, f, 2);
  const vector centroid = (a + b + c) * (1.0f / 3.0f);
  const float t = vector::dot(n, centroid - w.start) / dn;
  if (!(t >= 0.0f && t <= 1.0f) || !(t < best_fraction(w))) return false;
  const vector p = w.start + w.delta * t;
  if (!inside_triangle(p, a, b, c, f.normal)) return false;
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

bool test_face(Walk& w, const LevelFace& f) {
  if (f.normal.is_zero()) return false;
  return w.sphere ? sphere_face(w, f) : ray_face(w, f);
}

// The faces of one node; true when one gave a contact.
bool node_faces(Walk& w, const CollisionTree& t, const CollisionNode& n) {
  const uint32_t ref = (n.word2 >> 16) & 0x7FFF;
  if (n.word2 & CNODE_FACE_LIST) {
    const uint16_t count = t.face_list[ref];
    bool hit = false;
    for (uint32_t k = 0; k < count && (!hit || w.sphere); k++)
      hit |= test_face(w, w.mesh->faces[t.face_list[ref + 1 + k]]);
    return hit;
  }
  if (ref == CNODE_NO_FACE) return false;
  return test_face(w, w.mesh->faces[ref]);
}

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
  const float band = COLLIDE_TOLERANCE + (w.sphere ? w.radius : 0.0f);
  const vector end = w.start + w.delta;
  float t0 = 0.0f, t1 = 1.0f;
  if (!w.sphere && w.bound < 1.0f) t1 = std::max(w.bound, 0.0f);
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
    if (node_faces(w, t, t.nodes[e.node]) && !w.sphere) return;
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

void collide_mesh(int instance, CollisionQuery* q, CollisionResult* result, int reset) {
  if (reset) reset_result(result);
  if (instance < 0 || instance >= Level.instance_count) return;
  const LevelMeshInstance& mi = Level.instances[instance];
  if ((mi.flags & q->include) != q->include || (mi.flags & q->exclude)) return;
  const LevelMesh* mesh = mi.mesh;
  if (!mesh || !mesh->tree.node_count) return;
  q->local_start = q->start - mi.pos;
  q->local_start.rotate(mi.orient);
  q->local_delta = q->delta;
  q->local_delta.rotate(mi.orient);
  CollisionResult local;
  reset_result(&local);
  Walk w{mesh,   q->local_start, q->local_delta, q->radius, q->radius >= COLLIDE_RAY_RADIUS,
         &local, instance,       result->count > 0 ? result->fraction : FLT_MAX};
  // Nothing of the mesh lies near a segment that misses its box.
  const float pad = 2.0f * COLLIDE_TOLERANCE + (w.sphere ? q->radius : 0.0f);
  // A ray's contact at or beyond the nearest one found so far is refused, so
  // only the segment up to it counts.
  const float reach = !w.sphere && w.bound < 1.0f ? std::max(w.bound, 0.0f) : 1.0f;
  if (!segment_near_box(w.start, w.delta, mesh->box_min, mesh->box_max, pad, reach)) return;
  if (q->options & CQ_ONE_FACE) {
    if (q->face && q->face >= mesh->faces && q->face < mesh->faces + mesh->face_count) test_face(w, *q->face);
  } else {
    walk_tree(w);
  }
  merge(result, local);
}

void collide_level(CollisionQuery* q, CollisionResult* result) {
  reset_result(result);
  for (int i = 0; i < Level.instance_count; i++) {
    collide_mesh(i, q, result, 0);
    if ((q->options & CQ_FIRST_INSTANCE) && result->count > 0) return;
    if ((q->options & CQ_LIMIT) && result->count > 0 && result->fraction < q->limit) return;
  }
}

void collide_get_light(const vector&, int* r, int* g, int* b) {
  *r = 255;
  *g = 255;
  *b = 255;
}
