// Mesh drawing: morph keys, skinning, view transform, lighting and
// projection on the CPU, then one indexed triangle list per group.
#include "quarn/gr/gr_mesh.h"

#include <algorithm>
#include <cmath>

#include "quarn/bmpman/bmpman.h"
#include "quarn/ca/base_character.h"
#include "quarn/ca/character_instance.h"
#include "quarn/ca/skeleton.h"
#include "quarn/ca/vim.h"
#include "quarn/geom/lights.h"
#include "quarn/gr/gr.h"
#include "quarn/gr/gr3d.h"
#include "quarn/gr/gr_recorder.h"
#include "quarn/gr/directx/gr_d3d.h"
#include "quarn/gr/glide/gr_glide_mesh.h"
#include "quarn/gr/opengl/gr_opengl.h"

static_assert(GR_MESH_MAX_VERTS == VIM_MAX_GROUP_VERTS && GR_MESH_MAX_FACES == VIM_MAX_GROUP_FACES,
              "the loader refuses exactly the groups the scratch arrays cannot hold");

namespace {

// The mesh render state: wrapped bilinear texture, vertex colour and alpha,
// alpha blend, depth test and write, fog as the screen has it.
const RenderStateWord Mesh_state = Gr_preset[19];
// Beyond this screen distance the Glide and Direct3D rasterisers misdraw.
constexpr float FAR_SCREEN = 2048.0f;

VimMesh* Current = nullptr;
BaseCharacter* Character_base = nullptr;
character_instance* Character = nullptr;
const transform* Skin = nullptr;
int Skin_count = 0;
skeleton* Morph = nullptr;
int Morph_clock = 0;
int Overlay_bitmap = -1;
int Overlay_alpha = 255;
int Envmap = -1;

GrMeshScratch Scratch;
vector Morphed[GR_MESH_MAX_VERTS];

// The current frame's projection, read once per mesh.
Gr3dFrame Frame;
float Depth_k = 0.0f;

uint8_t to_byte(float v) {
  if (!(v > 0.0f)) return 0;
  if (v >= 255.0f) return 255;
  return static_cast<uint8_t>(v);
}

bool skinned() { return Skin != nullptr && Skin_count > 0; }

// Replaces the positions of the morph vertices of this group.
const vector* morph_positions(const VimGroup& g) {
  if (!skinned() || !Morph || !g.morph_map || !Current || !Morph->morph_tracks || !Morph->morph_vertex_indices)
    return g.positions;
  std::copy(g.positions, g.positions + g.vertex_count, Morphed);
  const int keys = Morph->morph_key_count;
  const float f = gr_mesh_morph_fraction(static_cast<float>(Morph_clock), static_cast<float>(Morph->first_tick),
                                         static_cast<float>(Morph->last_tick), keys);
  for (int m = 0; m < Morph->morph_vertex_count; m++) {
    const int mesh_index = Morph->morph_vertex_indices[m];
    if (mesh_index < 0 || mesh_index >= Current->morph_vertex_count) continue;
    const int v = g.morph_map[mesh_index];
    if (v < 0 || v >= g.vertex_count) continue;
    Morphed[v] = gr_mesh_morph_position(Morph->morph_tracks[m], f, keys);
  }
  return Morphed;
}

void compute_vertex(const VimGroup& g, const vector* src, int i, const MeshDrawRecord& record, bool far_limit) {
  GrMeshScratch& s = Scratch;
  vector p = src[i];
  vector n = g.normals[i];
  if (skinned() && g.skin) {
    const uint8_t* e = g.skin + 8 * i;
    vector sp(0, 0, 0), sn(0, 0, 0);
    for (int k = 0; k < 4; k++) {
      const int weight = e[k];
      if (weight == 0) continue;
      const int bone = e[4 + k];
      if (bone >= Skin_count) continue;
      vector tp, tn;
      Skin[bone].apply(tp, p);
      n.unrotated(tn, Skin[bone].orient);
      sp += tp * static_cast<float>(weight);
      sn += tn * static_cast<float>(weight);
    }
    p = sp * (1.0f / 16.0f);
    n = sn * (1.0f / 16.0f);
    n.normalize_safe();
  }
  s.object[i] = p;
  s.normal[i] = n;
  vector view = p - Frame.cam_pos;
  view.rotate(Frame.cam_orient);
  s.view[i] = view;
  // A vertex at or behind the eye has no screen position: 1/z would be
  // infinite (or mirrored) there.
  if (!(view.z > 0.0f)) {
    s.visible[i] = 0;
    s.w[i] = 0.0f;
    return;
  }
  const float w = 1.0f / view.z;
  const float sx = (view.x * w + 1.0f) * Frame.x_scale + static_cast<float>(Frame.x_offset);
  const float sy = (1.0f - view.y * w) * Frame.y_scale + static_cast<float>(Frame.y_offset);
  s.w[i] = w;
  if (far_limit && (std::fabs(sx) >= FAR_SCREEN || std::fabs(sy) >= FAR_SCREEN)) {
    s.visible[i] = 0;
    return;
  }
  s.visible[i] = 1;
  uint8_t r, gr, b;
  light_vertex_colour(r, gr, b, p, &n, true, false);
  if (gr_screen.tint_on) {
    const float mean = std::clamp((r + gr + b) / 3.0f, 0.0f, 255.0f);
    r = to_byte(mean * gr_screen.tint_r);
    gr = to_byte(mean * gr_screen.tint_g);
    b = to_byte(mean * gr_screen.tint_b);
  }
  s.colour[i][0] = r;
  s.colour[i][1] = gr;
  s.colour[i][2] = b;
  s.colour[i][3] = static_cast<uint8_t>(std::clamp(record.alpha, 0, 255));
  s.position[i][0] = sx;
  s.position[i][1] = sy;
  s.position[i][2] = std::min(Depth_k * w, Frame.zmax);
}

void set_tex(int i, const VimGroup& g) {
  const float w = Scratch.w[i];
  Scratch.tex[i][0] = g.uvs[2 * i] * w;
  Scratch.tex[i][1] = g.uvs[2 * i + 1] * w;
  Scratch.tex[i][2] = 0.0f;
  Scratch.tex[i][3] = w;
}

// False when the renderer skipped the group (Glide: its bitmap did not bind).
bool submit(int vertex_count, int bitmap) {
  switch (gr_screen.renderer) {
    case GR_OPENGL:
      gr_opengl_mesh_draw(Mesh_state, bitmap, Scratch.index, Scratch.index_count);
      break;
    case GR_DIRECT3D: {
      // Vertex fog reads each vertex's own fog value; with table fog the
      // device fogs by depth and the value is not looked at.
      static uint8_t fog[GR_MESH_MAX_VERTS];
      for (int i = 0; i < vertex_count; i++) fog[i] = static_cast<uint8_t>(gr_fog_value(Scratch.view[i].z));
      gr_d3d_mesh_draw(Scratch.position, Scratch.colour, Scratch.tex, vertex_count, Mesh_state, bitmap, Scratch.index,
                       Scratch.index_count, fog);
      break;
    }
    case GR_GLIDE: return gr_glide_mesh_draw(Mesh_state, bitmap, Scratch, vertex_count);
    case GR_RECORDER:
      if (gr_get_recorder()) gr_get_recorder()->mesh_group(Scratch, vertex_count, bitmap, Mesh_state);
      break;
    default: break;
  }
  return true;
}

// The skin and morph block of the current instance, as of its last process.
void take_character() {
  if (!Character) return;
  gr_mesh_set_skin(Character->skin, Character->skin ? Character->bone_count() : 0);
  BaseCharacter* base = Character_base ? Character_base : Character->base;
  Morph = nullptr;
  if (!base || !Character->ticks) return;
  const int slots = std::min(base->anim_count, static_cast<int32_t>(MAX_CHARACTER_ANIMS));
  for (int a : {Character->root_anim, Character->cycle_anim}) {
    if (a < 0 || a >= slots || !base->anims[a]) continue;
    skeleton* s = base->anims[a];
    if (s->morph_vertex_count > 0 && s->morph_tracks) {
      gr_mesh_set_morph(s, Character->ticks[a]);
      return;
    }
  }
}

void draw_mesh(VimMesh* mesh, const vector& position, const matrix& orient, const MeshDrawRecord& record) {
  if (gr_screen.renderer != GR_OPENGL && gr_screen.renderer != GR_GLIDE && gr_screen.renderer != GR_DIRECT3D &&
      gr_screen.renderer != GR_RECORDER)
    return;
  take_character();
  vector centre;
  mesh->centre.unrotated(centre, orient);
  centre += position;
  gr_3d_start_instance(position, orient, true);
  lights_gather(centre, mesh->radius);
  lights_to_frame(position, orient);
  lights_set_view_space(true);

  if (gr_screen.renderer == GR_OPENGL) gr_opengl_mesh_arrays(Scratch.position, Scratch.colour, Scratch.tex);
  for (int gi = 0; gi < mesh->group_count; gi++) {
    const VimGroup& g = mesh->groups[gi];
    const bool far_limit = gr_screen.renderer == GR_GLIDE || gr_screen.renderer == GR_DIRECT3D;
    if (!gr_mesh_prepare_group(g, record, far_limit)) continue;
    // A mesh has VIM_MAX_BITMAPS slots, and so has an override list; a
    // slot beyond them names no bitmap.
    int bitmap = -1;
    if (g.bitmap_slot < VIM_MAX_BITMAPS)
      bitmap = record.bitmaps ? record.bitmaps[g.bitmap_slot] : mesh->bitmaps[g.bitmap_slot];
    if (Scratch.index_count == 0) continue;
    if (!submit(g.vertex_count, bitmap)) continue;
    if (Overlay_bitmap >= 0) {
      for (int i = 0; i < g.vertex_count; i++) {
        Scratch.colour[i][0] = record.r;
        Scratch.colour[i][1] = record.g;
        Scratch.colour[i][2] = record.b;
        // Glide scales the mesh's own alpha by the overlay's.
        Scratch.colour[i][3] = static_cast<uint8_t>(
            gr_screen.renderer == GR_GLIDE ? Scratch.colour[i][3] * Overlay_alpha / 255 : Overlay_alpha);
      }
      submit(g.vertex_count, Overlay_bitmap);
    }
  }

  lights_set_view_space(false);
  lights_pop();
  gr_3d_end_instance();
}

}  // namespace

void gr_mesh_set_character(BaseCharacter* base, character_instance* instance) {
  Character_base = base;
  Character = instance;
  if (!instance) {
    gr_mesh_set_skin(nullptr, 0);
    gr_mesh_set_morph(nullptr, 0);
  }
}

void gr_mesh_set_skin(const transform* skin, int bone_count) {
  Skin = skin;
  Skin_count = skin ? bone_count : 0;
}

void gr_mesh_set_morph(skeleton* anim, int clock) {
  Morph = anim;
  Morph_clock = clock;
}
void gr_mesh_set_current(VimMesh* mesh) { Current = mesh; }
VimMesh* gr_mesh_get_current() { return Current; }
bool gr_mesh_has_current() { return Current != nullptr; }

void gr_mesh_set_overlay(int bitmap, int alpha) {
  Overlay_bitmap = bitmap;
  Overlay_alpha = std::clamp(alpha, 0, 255);
}

void gr_mesh_render(const vector& position, const matrix& orient, MeshDrawRecord& record) {
  if (!Current) return;
  record.alpha = gr_mesh_distance_alpha(record.alpha, position);
  if (record.flags & MESH_DRAW_HIDDEN) return;
  draw_mesh(Current, position, orient, record);
}

int gr_mesh_distance_alpha(int alpha, const vector& world) {
  GrVertex v;
  gr_3d_rotate_point(v, world);
  return gr_fog_alpha(alpha, v.z);
}

int gr_fog_alpha(int alpha, float depth) {
  if (!gr_screen.fog_on || depth <= gr_screen.fog_alpha_near) return alpha;
  const float k = std::max(0.0f, (gr_screen.fog_alpha_far - depth) * gr_screen.fog_alpha_scale);
  return static_cast<int>(static_cast<float>(alpha) * std::min(k, 1.0f));
}

int gr_fog_value(float depth) {
  if (!gr_screen.fog_on || depth <= gr_screen.fog_start) return 255;
  const float k = std::max(0.0f, (gr_screen.fog_end - depth) * gr_screen.fog_scale);
  return static_cast<int>(255.0f * std::min(k, 1.0f));
}

int gr_envmap_load() {
  Envmap = bm_load("refmap01.tga");
  return Envmap;
}

int gr_envmap_handle() { return Envmap; }

float gr_mesh_morph_fraction(float clock, float first_tick, float last_tick, int key_count) {
  const float span = last_tick - first_tick;
  // One tick of animation has no key range to lie in: the first key.
  if (!(span != 0.0f) || !std::isfinite(span)) return 0.0f;
  return (clock - first_tick) / span * static_cast<float>(key_count);
}

vector gr_mesh_morph_position(MorphTrack& t, float f, int key_count) {
  // The track's own keys bound the search whatever the animation's count says.
  const int n = t.key_count;
  if (n < 1 || !t.keys) return vector(0, 0, 0);
  if (!std::isfinite(f)) return t.keys[0].position;
  if (!(f < static_cast<float>(key_count - 1)) || n < 2) return t.keys[n - 1].position;
  const int start = std::clamp(static_cast<int>(t.cursor), 1, n - 1);
  auto frame = [&](int k) { return static_cast<float>(t.keys[k].frame); };
  int found = -1;
  for (int k = start; k < n && found < 0; k++)
    if (frame(k) >= f && frame(k - 1) < f) found = k;
  for (int k = 1; k <= start && found < 0; k++)
    if (frame(k) >= f) found = k;
  if (found < 0) return t.keys[n - 1].position;
  t.cursor = static_cast<uint16_t>(found);
  const float f0 = frame(found - 1), f1 = frame(found);
  const float a = f1 > f0 ? std::clamp((f - f0) / (f1 - f0), 0.0f, 1.0f) : 1.0f;
  const vector& p0 = t.keys[found - 1].position;
  return p0 + (t.keys[found].position - p0) * a;
}

const GrMeshScratch& gr_mesh_scratch() { return Scratch; }

bool gr_mesh_prepare_group(const VimGroup& g, const MeshDrawRecord& record, bool far_limit) {
  Scratch.index_count = 0;
  if (g.face_count == 0 || g.bitmap_slot < 0) return false;
  if (g.vertex_count > GR_MESH_MAX_VERTS || g.face_count > GR_MESH_MAX_FACES) return false;
  gr_3d_get_frame(Frame);
  Depth_k = Frame.depth_scale * Frame.zmult;
  const vector* src = morph_positions(g);
  for (int i = 0; i < g.vertex_count; i++) {
    const int d = g.dup_map[i];
    if (d < 0 || d > i) {
      compute_vertex(g, src, i, record, far_limit);
    } else {
      const int from = i - d;
      Scratch.visible[i] = Scratch.visible[from];
      Scratch.w[i] = Scratch.w[from];
      Scratch.view[i] = Scratch.view[from];
      Scratch.object[i] = Scratch.object[from];
      Scratch.normal[i] = Scratch.normal[from];
      std::copy(Scratch.position[from], Scratch.position[from] + 3, Scratch.position[i]);
      std::copy(Scratch.colour[from], Scratch.colour[from] + 4, Scratch.colour[i]);
    }
    set_tex(i, g);
  }

  const int hide = record.hide_mask << VIM_FACE_HIDE_SHIFT;
  for (int f = 0; f < g.face_count; f++) {
    const VimFace& face = g.faces[f];
    if (hide & face.flags) continue;
    const uint32_t a = face.v[0], b = face.v[1], c = face.v[2];
    if (a >= g.vertex_count || b >= g.vertex_count || c >= g.vertex_count) continue;
    if (!Scratch.visible[a] || !Scratch.visible[b] || !Scratch.visible[c]) continue;
    if (!(face.flags & VIM_FACE_TWO_SIDED)) {
      vector n;
      (Scratch.object[b] - Scratch.object[a]).cross(n, Scratch.object[c] - Scratch.object[a]);
      if (vector::dot(n, Scratch.object[a] - Frame.cam_pos) >= 0.0f) continue;
    }
    Scratch.index[Scratch.index_count++] = static_cast<uint16_t>(a);
    Scratch.index[Scratch.index_count++] = static_cast<uint16_t>(b);
    Scratch.index[Scratch.index_count++] = static_cast<uint16_t>(c);
  }
  return true;
}
