// Decals on the level.
#include "Engine/rendering/decal.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <vector>

#include "quarn/geom/lights.h"
#include "quarn/gr/gr.h"
#include "quarn/gr/gr3d.h"
#include "quarn/gr/gr3d_draw.h"
#include "quarn/gr/gr_alpha.h"
#include "quarn/math/matrix.h"
#include "quarn/math/planeclip.h"
#include "quarn/os/timer.h"

namespace {

Decal Pool[MAX_DECALS];
int Free_head = -1, Used_head = -1;
int Expiry[MAX_DECALS];  // decals in use, least lifetime left first
int Expiry_count = 0;

const RenderStateWord Decal_state(1, 1, 3, 3, 1, 0);

// Circular doubly linked rings through next and prev.
void ring_append(int* head, int d) {
  if (*head < 0) {
    Pool[d].next = Pool[d].prev = d;
    *head = d;
    return;
  }
  const int tail = Pool[*head].prev;
  Pool[d].next = *head;
  Pool[d].prev = tail;
  Pool[tail].next = d;
  Pool[*head].prev = d;
}

void ring_unlink(int* head, int d) {
  if (Pool[d].next == d) {
    *head = -1;
  } else {
    Pool[Pool[d].prev].next = Pool[d].next;
    Pool[Pool[d].next].prev = Pool[d].prev;
    if (*head == d) *head = Pool[d].next;
  }
  Pool[d].next = Pool[d].prev = -1;
}

int lifetime_of(const Decal& d) { return static_cast<int>(d.state & DECAL_LIFETIME_MASK); }

// A lifetime-0 decal sorts after every decal with time left: it goes at the
// end of the frame anyway.
int time_left(const Decal& d, int32_t now) {
  const int life = lifetime_of(d);
  return life == 0 ? INT_MAX : life - (now - d.created);
}

plane outward(const vector& n, const vector& through) {
  plane p;
  p.normal = n;
  p.d = -vector::dot(n, through);
  return p;
}

void build_box(Decal& d, const vector& r, const vector& u) {
  vector n;
  r.cross(n, u);
  n.normalize_safe();
  const float rl = r.length(), ul = u.length();
  const vector depth = n * (std::max(rl, ul) * d.depth_scale);
  d.normal = n;
  d.radius = (r + u + depth).length();
  vector rn = r, un = u;
  rn.normalize_safe();
  un.normalize_safe();
  const vector& p = d.pos;
  d.planes[0] = outward(rn, p + r);
  d.planes[1] = outward(-rn, p - r);
  d.planes[2] = outward(un, p + u);
  d.planes[3] = outward(-un, p - u);
  d.planes[4] = outward(n, p + depth);
  d.planes[5] = outward(-n, p - depth);
  d.plane_count = 6;
  d.active = true;
  d.u_plane = 2;
  d.u_scale = ul > 0.0f ? 0.5f / ul : 0.0f;
  d.v_plane = 0;
  d.v_scale = rl > 0.0f ? 0.5f / rl : 0.0f;
}

vector world_of(const LevelMeshInstance& mi, const vector& p) {
  vector w;
  p.unrotated(w, mi.orient);
  return w + mi.pos;
}

bool touches_instance(const Decal& d, const LevelMeshInstance& mi) {
  const vector c = (mi.bound_min + mi.bound_max) * 0.5f;
  const float r = (mi.bound_max - mi.bound_min).length() * 0.5f;
  return (d.pos - c).length_squared() <= (d.radius + r) * (d.radius + r);
}

uint8_t Face_mask[DECAL_FACE_MASK_BYTES];
std::vector<int> Mask_offset;  // first bit per instance, -1 none

bool takes_decals(const LevelMeshInstance& mi) { return (mi.flags & (MI_GROUND | MI_DECALS)) != 0; }

}  // namespace

int decal_mask_layout() {
  Mask_offset.assign(static_cast<size_t>(std::max(Level.instance_count, 0)), -1);
  std::memset(Face_mask, 0, sizeof Face_mask);
  int bytes = 0, placed = 0;
  for (int i = 0; i < Level.instance_count; i++) {
    const LevelMeshInstance& mi = Level.instances[i];
    if (!takes_decals(mi) || !mi.mesh) continue;
    const int run = (mi.mesh->face_count + 7) / 8;
    // A level with more decal faces than the mask holds would have its later
    // runs written past the mask's end; those instances simply take none.
    if (bytes + run > DECAL_FACE_MASK_BYTES) continue;
    Mask_offset[static_cast<size_t>(i)] = bytes * 8;
    bytes += run;
    placed++;
  }
  return placed;
}

void decal_mask_clear() { std::memset(Face_mask, 0, sizeof Face_mask); }

int decal_mask_offset(int instance) {
  if (instance < 0 || instance >= static_cast<int>(Mask_offset.size())) return -1;
  return Mask_offset[static_cast<size_t>(instance)];
}

void decal_mask_set(int instance, int face) {
  const int base = decal_mask_offset(instance);
  if (base < 0 || face < 0 || face >= Level.instances[instance].mesh->face_count) return;
  const int bit = base + face;
  Face_mask[bit >> 3] |= static_cast<uint8_t>(1u << (bit & 7));
}

bool decal_mask_test(int instance, int face) {
  const int base = decal_mask_offset(instance);
  if (base < 0 || face < 0 || face >= Level.instances[instance].mesh->face_count) return false;
  const int bit = base + face;
  return (Face_mask[bit >> 3] >> (bit & 7)) & 1;
}

void decal_pool_reset() {
  Free_head = Used_head = -1;
  Expiry_count = 0;
  for (int i = 0; i < MAX_DECALS; i++) {
    Pool[i] = Decal{};
    ring_append(&Free_head, i);
  }
}

int decal_add(int bitmap, const vector& pos, const vector& right, const vector& up, int lifetime_ms, bool lit,
              int light_word, float depth_scale, bool persistent) {
  if (Free_head < 0 && Used_head < 0) decal_pool_reset();
  if (Free_head < 0) decal_remove(Expiry[0]);
  const int i = Free_head;
  ring_unlink(&Free_head, i);
  Decal& d = Pool[i];
  d = Decal{};
  d.created = timer_game_clock;
  d.bitmap = bitmap;
  d.pos = pos;
  d.light_word = light_word;
  d.depth_scale = depth_scale;
  d.persistent = persistent;
  const uint32_t life = static_cast<uint32_t>(std::max(lifetime_ms, 0)) & DECAL_LIFETIME_MASK;
  d.state = life | (lit ? DECAL_LIT : 0u) | DECAL_IN_USE;
  build_box(d, right, up);
  d.state |= DECAL_BUILT;
  ring_append(&Used_head, i);
  // The new decal's key is its lifetime as given.
  const int key = static_cast<int>(life);
  int at = 0;
  while (at < Expiry_count && time_left(Pool[Expiry[at]], timer_game_clock) <= key) at++;
  for (int k = Expiry_count; k > at; k--) Expiry[k] = Expiry[k - 1];
  Expiry[at] = i;
  Expiry_count++;
  return i;
}

void decal_remove(int decal) {
  if (decal < 0 || decal >= MAX_DECALS || !(Pool[decal].state & DECAL_IN_USE)) return;
  ring_unlink(&Used_head, decal);
  for (int k = 0; k < Expiry_count; k++) {
    if (Expiry[k] != decal) continue;
    for (int j = k; j + 1 < Expiry_count; j++) Expiry[j] = Expiry[j + 1];
    Expiry_count--;
    break;
  }
  Pool[decal].state &= ~DECAL_IN_USE;
  Pool[decal].bitmap = -1;
  ring_append(&Free_head, decal);
}

const Decal* decal_get(int decal) {
  if (decal < 0 || decal >= MAX_DECALS || !(Pool[decal].state & DECAL_IN_USE)) return nullptr;
  return &Pool[decal];
}

int decal_used_count() { return Expiry_count; }

int decal_expiry_order(int* out, int capacity) {
  const int n = std::min(Expiry_count, capacity);
  for (int k = 0; k < n; k++) out[k] = Expiry[k];
  return n;
}

int decal_alpha(const Decal& d, int32_t now) {
  const int life = lifetime_of(d);
  const int age = now - d.created;
  if (life == 0 || age <= life - 1000) return 255;
  const float t = std::min(1.0f, static_cast<float>(age - life + 1000) * 0.001f);
  return static_cast<int>(255.0f * (1.0f - t));
}

void decal_uv(const Decal& d, const vector& p, float* u, float* v) {
  *u = -d.planes[d.u_plane].distance(p) * d.u_scale;
  *v = -d.planes[d.v_plane].distance(p) * d.v_scale;
}

int decal_mark_faces(int instance) {
  if (instance < 0 || instance >= Level.instance_count || decal_mask_offset(instance) < 0) return 0;
  const LevelMeshInstance& mi = Level.instances[instance];
  int touched = 0;
  for (int k = 0; k < Expiry_count; k++) {
    const Decal& d = Pool[Expiry[k]];
    if (!d.active || !touches_instance(d, mi)) continue;
    touched++;
    for (int f = 0; f < mi.mesh->face_count; f++) {
      const LevelFace& face = mi.mesh->faces[f];
      vector corners[3];
      for (int c = 0; c < 3; c++) corners[c] = world_of(mi, mi.mesh->positions[face.v[c]]);
      if (points_behind_all_planes(3, corners, d.planes, d.plane_count, 0.0f)) decal_mask_set(instance, f);
    }
  }
  return touched;
}

void decal_draw_on_mesh(int instance, const vector* positions) {
  if (instance < 0 || instance >= Level.instance_count || Used_head < 0) return;
  const LevelMeshInstance& mi = Level.instances[instance];
  if (!positions) positions = mi.mesh->positions;
  const int32_t now = timer_game_clock;
  int order[MAX_DECALS];
  int count = 0;
  for (int i = Used_head; count < MAX_DECALS;) {
    order[count++] = i;
    i = Pool[i].next;
    if (i == Used_head) break;
  }
  for (int k = 0; k < count; k++) {
    Decal& d = Pool[order[k]];
    if (lifetime_of(d) < now - d.created) {
      decal_remove(order[k]);
      continue;
    }
    if (!d.active || !(d.state & DECAL_BUILT) || !touches_instance(d, mi)) continue;
    const bool lit = (d.state & DECAL_LIT) != 0;
    bool gathered = false;
    const int alpha = decal_alpha(d, now);
    for (int f = 0; f < mi.mesh->face_count; f++) {
      if (!decal_mask_test(instance, f)) continue;
      const LevelFace& face = mi.mesh->faces[f];
      vector corners[3];
      for (int c = 0; c < 3; c++) corners[c] = world_of(mi, positions[face.v[c]]);
      if (!points_behind_all_planes(3, corners, d.planes, d.plane_count, 0.0f)) continue;
      vector clipped[CLIP_POLYGON_MAX];
      const int n = clip_polygon_to_planes(3, corners, clipped, d.planes, d.plane_count);
      if (n < 3) continue;
      if (lit && !gathered) {
        lights_gather(d.pos, d.radius);
        gathered = true;
      }
      GrVertex verts[CLIP_POLYGON_MAX];
      GrVertex* list[CLIP_POLYGON_MAX];
      gr_3d_rotate_points(verts, clipped, n);
      for (int i = 0; i < n; i++) {
        GrVertex& v = verts[i];
        decal_uv(d, clipped[i], &v.u, &v.v);
        if (lit) {
          light_vertex_colour(v.r, v.g, v.b, clipped[i], &d.normal, true, false);
        } else {
          v.r = v.g = v.b = 255;
        }
        v.a = static_cast<uint8_t>(alpha);
        v.flags = GR_VERTEX_UV | GR_VERTEX_RGB | GR_VERTEX_ALPHA;
        gr_3d_push_toward_eye(v, -0.25f);
        list[i] = &v;
      }
      gr_set_bitmap(d.bitmap);
      gr_set_color(255, 255, 255, 255);
      gr_3d_draw_poly(n, list, Decal_state);
      gr_alpha_flush();
    }
    if (gathered) lights_pop();
  }
}

void decal_end_frame() {
  for (int k = Expiry_count - 1; k >= 0; k--)
    if (lifetime_of(Pool[Expiry[k]]) == 0) decal_remove(Expiry[k]);
}

void decal_rotated_axes(float angle_deg, float size_a, float size_b, vector* first, vector* second) {
  // The degree factor as the callers have always used it, a little short
  // of the exact one.
  const float h = -(angle_deg * 0.017453f);
  matrix m = identity_matrix;
  m.set_angles(0.0f, 0.0f, h);
  *first = m.forward * size_a;
  *second = m.right * size_b;
}

int decal_add_rotated(int bitmap, const vector& pos, float angle_deg, float size_a, float size_b) {
  vector first, second;
  decal_rotated_axes(angle_deg, size_a, size_b, &first, &second);
  return decal_add(bitmap, pos, first, second, 0, false, 0, 0.75f);
}
