#include "quarn/geom/effect_instance.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "quarn/bmpman/bmpman.h"
#include "quarn/ca/character_instance.h"
#include "quarn/geom/effect_mem.h"
#include "quarn/geom/effect_tracks.h"
#include "quarn/geom/lights.h"
#include "quarn/math/quaternion.h"

namespace {

// Circular doubly linked lists through the records' own links; head null
// when empty.
template <class T>
void list_append(T*& head, T* r) {
  if (!head) {
    head = r->next = r->prev = r;
    return;
  }
  r->prev = head->prev;
  r->next = head;
  head->prev->next = r;
  head->prev = r;
}
template <class T>
T* list_take(T*& head) {
  T* r = head;
  if (!r) return nullptr;
  if (r->next == r) {
    head = nullptr;
  } else {
    r->prev->next = r->next;
    r->next->prev = r->prev;
    head = r->next;
  }
  r->next = r->prev = nullptr;
  return r;
}
template <class T>
int list_count(T* head) {
  int n = 0;
  if (head)
    for (T* r = head;; r = r->next) {
      n++;
      if (r->next == head) break;
    }
  return n;
}
// The k-th record, k links from the head.
template <class T>
T* list_at(T* head, int k) {
  if (!head || k < 0) return nullptr;
  T* r = head;
  for (int i = 0; i < k; i++) {
    r = r->next;
    if (r == head) return nullptr;
  }
  return r;
}
template <class T>
void list_give_back(T*& from, T*& free_list) {
  while (T* r = list_take(from)) list_append(free_list, r);
}

EffectInstance g_instances[MAX_EFFECT_INSTANCES];
EffectMeshRecord g_meshes[MAX_EFFECT_MESH_RECORDS];
EffectChannelRecord g_channels[MAX_EFFECT_CHANNEL_RECORDS];
EffectNodeRun g_nodes[MAX_EFFECT_NODE_RUNS];
EffectParamRecord g_params[MAX_EFFECT_PARAM_RECORDS];
EffectVifRecord g_vifs[MAX_EFFECT_VIF_RECORDS];
EffectInstance* g_free_instances = nullptr;
EffectMeshRecord* g_free_meshes = nullptr;
EffectChannelRecord* g_free_channels = nullptr;
EffectNodeRun* g_free_nodes = nullptr;
EffectParamRecord* g_free_params = nullptr;
EffectVifRecord* g_free_vifs = nullptr;
const EffectInstance* g_camera_holder = nullptr;
vector g_camera_pos{0, 0, 0};
matrix g_camera_orient = identity_matrix;
bool g_ready = false;

template <class T, size_t N>
void fill_pool(T (&pool)[N], T*& free_list) {
  free_list = nullptr;
  for (T& r : pool) {
    r = T{};
    list_append(free_list, &r);
  }
}

void ensure_ready() {
  if (!g_ready) effect_instances_reset();
}

matrix matrix_from_quat(const float q[4]) {
  quaternion qq;
  qq.set(q[0], q[1], q[2], q[3]);
  matrix m;
  qq.to_matrix(m);
  return m;
}

// child = parent o (offset, rotation): the child's offset is taken out of
// the parent's frame, its orientation composed with the parent's.
void place_child(vector& pos, matrix& orient, const vector& parent_pos, const matrix& parent_orient,
                 const vector& offset, const float rot[4]) {
  vector p = offset;
  p.unrotate(parent_orient);
  pos = p + parent_pos;
  const matrix local = matrix_from_quat(rot);
  // Rotating by the child is rotating by its own rotation, then the parent's.
  local.multiply(orient, parent_orient);
}

void give_back_records(EffectInstance* inst) {
  for (EffectVifRecord* v = inst->vifs; v;) {
    EffectVifRecord* r = list_take(inst->vifs);
    if (r->emitter) vif_emitter_release(r->emitter, r->def);
    r->emitter = nullptr;
    list_append(g_free_vifs, r);
    v = inst->vifs;
  }
  for (EffectChannelRecord* c = inst->channels; c; c = c->next == inst->channels ? nullptr : c->next)
    anim_channel_stop(c->state);
  list_give_back(inst->meshes, g_free_meshes);
  list_give_back(inst->channels, g_free_channels);
  list_give_back(inst->nodes, g_free_nodes);
  list_give_back(inst->params, g_free_params);
  while (EffectEmitter* e = list_take(inst->emitters)) effect_emitter_free(e);
}

const char* mesh_name(const EffectInstance* inst, uint32_t record, int which) {
  return inst->image.name_at(record + 4u * static_cast<uint32_t>(which));
}

// Mesh and channel elements are checked with the rest of an image when it
// arrives, so a bad one refuses the file instead of silently going missing.
bool check_def(const EffectImage& img, uint32_t def, char* err, int err_size) {
  const EffectDefArray meshes = effect_def_array(img, def, EFFECT_ARRAY_MESH);
  for (int i = 0; i < meshes.count; i++) {
    MeshEffectElement e;
    if (!mesh_effect_relocate(e, img.data, img.size, meshes.record(i), err, err_size)) return false;
  }
  const EffectDefArray channels = effect_def_array(img, def, EFFECT_ARRAY_CHANNEL);
  for (int i = 0; i < channels.count; i++) {
    AnimChannelDef c;
    if (!anim_channel_relocate(c, img.data, img.size, channels.record(i), err, err_size)) return false;
  }
  const EffectDefArray paths = effect_def_array(img, def, EFFECT_ARRAY_MOTION_PATH);
  for (int i = 0; i < paths.count; i++) {
    MotionPath p;
    if (!motion_path_read(p, img.data, img.size, paths.record(i), err, err_size)) return false;
  }
  return effect_tracks_check(img, def, err, err_size);
}

// The instance starts at the definition's offset, moved and turned by where
// its first motion path stands at frame 0; its mesh and channel elements
// start there until they are placed.
void place_at_creation(EffectInstance* inst) {
  const EffectImage& img = inst->image;
  const uint32_t at0 = inst->def + EFFECT_DEF_OFFSET_VECTOR;
  inst->position = vector(img.f32(at0), img.f32(at0 + 4), img.f32(at0 + 8));
  inst->orient = identity_matrix;
  const EffectDefArray paths = effect_def_array(img, inst->def, EFFECT_ARRAY_MOTION_PATH);
  MotionPath path;
  vector at;
  quaternion turn;
  char err[120];
  if (paths.count > 0 && motion_path_read(path, img.data, img.size, paths.record(0), err, sizeof err) &&
      motion_path_sample(path, 0.0f, at, turn)) {
    inst->position += at;
    turn.to_matrix(inst->orient);
  }
  for (EffectMeshRecord* r = inst->meshes; r; r = r->next == inst->meshes ? nullptr : r->next)
    r->position = r->state.world_position = inst->position, r->orient = r->state.world_orient = inst->orient;
  for (EffectChannelRecord* r = inst->channels; r; r = r->next == inst->channels ? nullptr : r->next)
    r->position = inst->position, r->orient = inst->orient;
}

struct InstallChecker {
  InstallChecker() {
    effect_image_set_def_checker(check_def);
    effects_set_definition_hooks(nullptr, effect_definition_reset);
    effects_set_pools_reset(effect_instances_reset);
  }
} g_install_checker;

}  // namespace

void effect_instances_reset() {
  g_ready = true;
  fill_pool(g_instances, g_free_instances);
  fill_pool(g_meshes, g_free_meshes);
  fill_pool(g_channels, g_free_channels);
  fill_pool(g_nodes, g_free_nodes);
  fill_pool(g_params, g_free_params);
  fill_pool(g_vifs, g_free_vifs);
  g_camera_holder = nullptr;
}

int effect_instance_free_count() {
  ensure_ready();
  return list_count(g_free_instances);
}
int effect_mesh_record_free_count() {
  ensure_ready();
  return list_count(g_free_meshes);
}
int effect_channel_record_free_count() {
  ensure_ready();
  return list_count(g_free_channels);
}

EffectInstance* effect_create_from_def(const EffectImage& img, uint32_t def, int base, int name_index, int flags,
                                       bool world) {
  ensure_ready();
  if (!img.valid() || def == 0 || !img.has(def, EFFECT_DEF_SIZE)) return nullptr;
  EffectInstance* inst = list_take(g_free_instances);
  if (!inst) return nullptr;
  *inst = EffectInstance{};
  inst->flags = EI_IN_USE;
  inst->image = img;
  inst->def = def;
  inst->base = base;
  inst->length = std::max(0, effect_def_length(img, def));
  inst->pool_class = static_cast<int>(img.u32(def + EFFECT_DEF_POOL_CLASS));
  inst->copied = img.u32(def + EFFECT_DEF_COPIED);
  if (inst->pool_class == EFFECT_POOL_LEVEL) world = true;
  char err[200];

  const EffectDefArray meshes = effect_def_array(img, def, EFFECT_ARRAY_MESH);
  for (int i = 0; i < meshes.count; i++) {
    MeshEffectElement e;
    if (!mesh_effect_relocate(e, img.data, img.size, meshes.record(i), err, sizeof err)) continue;
    EffectMeshRecord* r = list_take(g_free_meshes);
    if (!r) break;
    *r = EffectMeshRecord{};
    r->def = e;
    r->def.name = img.name_at(e.record);
    r->flags = (world ? EMR_WORLD : 0u) | (e.enabled ? EMR_SHOWN : 0u);
    r->orient = identity_matrix;
    list_append(inst->meshes, r);
  }
  const EffectDefArray channels = effect_def_array(img, def, EFFECT_ARRAY_CHANNEL);
  for (int i = 0; i < channels.count; i++) {
    AnimChannelDef d;
    if (!anim_channel_relocate(d, img.data, img.size, channels.record(i), err, sizeof err)) continue;
    EffectChannelRecord* r = list_take(g_free_channels);
    if (!r) break;
    *r = EffectChannelRecord{};
    r->def = d;
    r->flags = d.enabled ? 0u : ECR_HIDDEN;
    r->orient = identity_matrix;
    list_append(inst->channels, r);
  }
  const EffectDefArray params = effect_def_array(img, def, EFFECT_ARRAY_PARAM_SET);
  for (int i = 0; i < params.count; i++) {
    EffectParamRecord* r = list_take(g_free_params);
    if (!r) break;
    r->run = EffectParamRun{};
    effect_param_set_def_at(img, params.record(i), r->def);
    list_append(inst->params, r);
  }
  const EffectDefArray nodes = effect_def_array(img, def, EFFECT_ARRAY_NODE);
  for (int i = 0; i < nodes.count; i++) {
    EffectNodeRun* r = list_take(g_free_nodes);
    if (!r) break;
    r->node = EffectNode{};
    r->node.orient = identity_matrix;
    r->def = nodes.record(i);
    list_append(inst->nodes, r);
  }
  const EffectDefArray emitters = effect_def_array(img, def, EFFECT_ARRAY_EMITTER);
  for (int i = 0; i < emitters.count; i++) {
    EffectEmitter* e = effect_emitter_alloc();
    if (!e) break;
    if (!effect_emitter_bind_def(e, &inst->image, def, emitters.record(i))) {
      effect_emitter_free(e);
      continue;
    }
    inst->tail = std::max(inst->tail, effect_emitter_def_tail(e->def));
    effect_emitter_take_items(e, e->def.item_count);
    for (int k = 0; k < EFFECT_EMITTER_LINKS; k++) {
      const int link = effect_emitter_link_index(e, k);
      EffectParamRecord* p = link >= 0 ? list_at(inst->params, link) : nullptr;
      e->params[k] = p ? &p->run : nullptr;
      if (p) e->param_defs[k] = p->def;
    }
    list_append(inst->emitters, e);
  }

  inst->time = static_cast<float>(inst->length) / 15.0f;
  inst->frame = static_cast<float>(inst->length);
  for (EffectMeshRecord* r = inst->meshes; r; r = r->next == inst->meshes ? nullptr : r->next)
    mesh_effect_init(r->state, r->def);
  for (EffectChannelRecord* r = inst->channels; r; r = r->next == inst->channels ? nullptr : r->next)
    anim_channel_start(r->state, r->def, (flags & 1) != 0);
  for (EffectEmitter* e = inst->emitters; e; e = e->next == inst->emitters ? nullptr : e->next)
    effect_emitter_start(e);
  for (EffectNodeRun* r = inst->nodes; r; r = r->next == inst->nodes ? nullptr : r->next) effect_node_reset(&r->node);
  inst->flags |= EI_FINISHED | EI_CHANNELS;
  inst->flags &= ~(EI_STOPPING | EI_LOOPING | EI_KEEP_DRAWING);
  const EffectDefArray vifs = effect_def_array(img, def, EFFECT_ARRAY_VIF);
  for (int i = 0; i < vifs.count; i++) {
    EffectVifRecord* r = list_take(g_free_vifs);
    if (!r) break;
    if (!vif_emitter_def_at(img, vifs.record(i), r->def) ||
        !(r->emitter = vif_emitter_instantiate(r->def, inst->pool_class == EFFECT_POOL_LEVEL))) {
      r->emitter = nullptr;
      list_append(g_free_vifs, r);
      continue;
    }
    list_append(inst->vifs, r);
  }

  inst->flags |= static_cast<uint32_t>(name_index < 0 ? 0 : name_index) << EI_NAME_SHIFT;
  place_at_creation(inst);
  inst->flags |= ((img.u32(def + EFFECT_DEF_FLAGS) >> 1) & 3u) << EI_DEF_FLAGS_SHIFT;
  inst->flags &= ~EI_WRAPPED;
  if (base >= 0) effect_base_add_ref(base);
  return inst;
}

EffectInstance* effect_create_by_name(const char* name, int flags) {
  if (!name || !*name) return nullptr;
  // The caller's string may be a literal: the lower-casing works on a copy.
  char copy[EFFECT_LIST_TOKEN_SIZE];
  std::snprintf(copy, sizeof copy, "%s", name);
  for (int i = 0; i < 4 && copy[i]; i++) copy[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(copy[i])));
  const bool world = std::strncmp(copy, "nar-", 4) == 0 || std::strncmp(copy, "mi-", 3) == 0 ||
                     std::strncmp(copy, "worl", 4) == 0;
  int index = -1;
  EffectDefRef ref = effect_base_find(copy, &index);
  if (!ref) return nullptr;
  // Before the elements are made, so that they start from the bitmaps it
  // loads.
  effect_definition_reset(ref.image, ref.def, -1);
  return effect_create_from_def(ref.image, ref.def, ref.base, index, flags, world);
}

void effect_instance_start(EffectInstance* inst, bool loop, bool keep_drawing) {
  if (!inst) return;
  inst->flags &= ~(EI_STOPPING | EI_WRAPPED | EI_FINISHED | EI_LOOPING | EI_KEEP_DRAWING);
  inst->time = 0.0f;
  inst->frame = 0.0f;
  if (loop) inst->flags |= EI_LOOPING;
  if (keep_drawing) inst->flags |= EI_KEEP_DRAWING;
}

void effect_instance_stop(EffectInstance* inst) {
  if (!inst) return;
  inst->flags |= EI_STOPPING;
  for (EffectEmitter* e = inst->emitters; e; e = e->next == inst->emitters ? nullptr : e->next)
    effect_emitter_stop(e);
}

bool effect_instance_is_stopping(const EffectInstance* inst) { return inst && (inst->flags & EI_STOPPING); }

float effect_instance_time_left(const EffectInstance* inst) {
  if (!inst || (inst->flags & EI_FINISHED)) return 0.0f;
  return std::max(0.0f, (static_cast<float>(inst->length) - inst->frame) / 15.0f + inst->tail);
}

bool effect_instance_update(EffectInstance* inst, float seconds, const transform* parent, int /*flags*/) {
  if (!inst || !(inst->flags & EI_IN_USE) || !inst->def) return false;
  if (inst->image.u32(inst->def + EFFECT_DEF_FLAGS) & EFFECT_DEF_DISABLED) return false;
  if (inst->flags & EI_FINISHED) return false;
  if (!std::isfinite(seconds) || seconds < 0.0f) seconds = 0.0f;
  inst->time += seconds;
  inst->frame = inst->time * 15.0f;
  const float length = static_cast<float>(inst->length);
  bool wrapped = false;
  if (inst->frame < length) {
    inst->flags &= ~EI_WRAPPED;
  } else if ((inst->flags & EI_LOOPING) && inst->length > 0) {
    // fmod, not a loop of subtractions: a long pause cannot spin here.
    inst->time = std::fmod(inst->time, length / 15.0f);
    inst->frame = inst->time * 15.0f;
    inst->flags |= EI_WRAPPED;
    wrapped = true;
  } else {
    // A looping definition of length 0 has nothing to repeat: it ends.
    effect_instance_stop(inst);
  }
  const vector* ppos = parent ? &parent->pos : nullptr;
  const matrix* porient = parent ? &parent->orient : nullptr;
  if (!(inst->flags & EI_STOPPING)) {
    if (inst->flags & EI_CHANNELS)
      for (EffectChannelRecord* r = inst->channels; r; r = r->next == inst->channels ? nullptr : r->next) {
        if (r->flags & ECR_HIDDEN) continue;
        anim_channel_update(r->state, r->def, inst->frame, &r->position, nullptr);
      }
    for (EffectNodeRun* r = inst->nodes; r; r = r->next == inst->nodes ? nullptr : r->next)
      effect_node_update(&r->node, inst->image, r->def, inst->frame);
    for (EffectEmitter* e = inst->emitters; e; e = e->next == inst->emitters ? nullptr : e->next)
      effect_emitter_step(e, inst->frame, ppos, porient, wrapped);
    for (EffectVifRecord* v = inst->vifs; v; v = v->next == inst->vifs ? nullptr : v->next)
      vif_emitter_update(v->emitter, v->def, true, ppos, porient, inst->time, seconds);
    if (!g_camera_holder || g_camera_holder == inst) {
      g_camera_holder = nullptr;
      vector pos;
      matrix orient;
      if (effect_cameras_evaluate(inst->image, inst->def, inst->frame, ppos, porient, pos, orient)) {
        g_camera_holder = inst;
        g_camera_pos = pos;
        g_camera_orient = orient;
      }
    }
    return true;
  }
  if (g_camera_holder == inst) g_camera_holder = nullptr;
  for (EffectEmitter* e = inst->emitters; e; e = e->next == inst->emitters ? nullptr : e->next) {
    if (e->live > 0) {
      effect_emitter_step(e, inst->frame, ppos, porient, wrapped);
      for (EffectVifRecord* v = inst->vifs; v; v = v->next == inst->vifs ? nullptr : v->next)
        vif_emitter_update(v->emitter, v->def, false, ppos, porient, inst->time, seconds);
      return true;
    }
  }
  inst->flags |= EI_FINISHED;
  inst->frame = length;
  return false;
}

int effect_instance_element_count(const EffectImage& img, uint32_t def) {
  int n = effect_def_array(img, def, EFFECT_ARRAY_MESH).count;
  const EffectDefArray em = effect_def_array(img, def, EFFECT_ARRAY_EMITTER);
  for (int i = 0; i < em.count; i++) n += img.u16(em.record(i) + EMITTER_ITEM_COUNT);
  n += effect_def_array(img, def, EFFECT_ARRAY_VIF).count;
  n += effect_def_array(img, def, EFFECT_ARRAY_CHANNEL).count;
  n += effect_def_array(img, def, EFFECT_ARRAY_NODE).count;
  n += em.count;
  return n;
}

int effect_instance_elements(const EffectInstance* inst) {
  if (!inst) return 0;
  int n = list_count(inst->meshes);
  for (EffectEmitter* e = inst->emitters; e; e = e->next == inst->emitters ? nullptr : e->next) n += e->item_total;
  return n + list_count(inst->vifs) + list_count(inst->channels) + list_count(inst->nodes) +
         list_count(inst->emitters);
}

EffectElementRef effect_instance_element(const EffectInstance* inst, int number) {
  EffectElementRef ref;
  if (!inst || number < 0) return ref;
  int n = number;
  const int meshes = list_count(inst->meshes);
  if (n < meshes) return {EEK_MESH, n, 0};
  n -= meshes;
  int ei = 0;
  for (EffectEmitter* e = inst->emitters; e; e = e->next == inst->emitters ? nullptr : e->next, ei++) {
    if (n < e->item_total) return {EEK_ITEM, ei, n};
    n -= e->item_total;
  }
  const int counts[4] = {list_count(inst->vifs), list_count(inst->channels), list_count(inst->nodes),
                         list_count(inst->emitters)};
  const int kinds[4] = {EEK_VIF, EEK_CHANNEL, EEK_NODE, EEK_EMITTER};
  for (int k = 0; k < 4; k++) {
    if (n < counts[k]) return {kinds[k], n, 0};
    n -= counts[k];
  }
  return ref;
}

namespace {

struct ElementNames {
  const char* name = nullptr;
  const char* parent = nullptr;
};

ElementNames names_of(const EffectInstance* inst, const EffectElementRef& ref) {
  ElementNames out;
  switch (ref.kind) {
    case EEK_MESH:
      if (auto* r = list_at(inst->meshes, ref.index))
        out = {mesh_name(inst, r->def.record, 0), mesh_name(inst, r->def.record, 1)};
      break;
    case EEK_CHANNEL:
      if (auto* r = list_at(inst->channels, ref.index))
        out = {mesh_name(inst, r->def.record, 0), mesh_name(inst, r->def.record, 1)};
      break;
    case EEK_NODE:
      if (auto* r = list_at(inst->nodes, ref.index)) out = {mesh_name(inst, r->def, 0), mesh_name(inst, r->def, 1)};
      break;
    case EEK_EMITTER:
      if (auto* e = list_at(inst->emitters, ref.index)) out = {e->def.name, e->def.parent};
      break;
    case EEK_VIF:
      if (auto* v = list_at(inst->vifs, ref.index)) out = {v->def.name, v->def.parent};
      break;
    default:
      break;
  }
  return out;
}

bool same_name(const char* a, const char* b) { return a && b && *a && strcasecmp(a, b) == 0; }

// The element's offset and rotation relative to its parent.
bool relative_of(const EffectInstance* inst, const EffectElementRef& ref, vector& offset, float rot[4]) {
  const float ident[4] = {0, 0, 0, 1};
  std::memcpy(rot, ident, sizeof ident);
  offset = vector(0, 0, 0);
  if (ref.kind == EEK_MESH) {
    const auto* r = list_at(inst->meshes, ref.index);
    if (!r) return false;
    offset = r->def.offset;
    std::memcpy(rot, r->def.orient, 4 * sizeof(float));
    return true;
  }
  if (ref.kind == EEK_CHANNEL) {
    const auto* r = list_at(inst->channels, ref.index);
    if (!r) return false;
    offset = r->def.offset;
    std::memcpy(rot, r->def.orient, 4 * sizeof(float));
    return true;
  }
  return ref.kind != EEK_NONE;
}

void store_transform(EffectInstance* inst, const EffectElementRef& ref, const vector& pos, const matrix& orient) {
  switch (ref.kind) {
    case EEK_MESH:
      if (auto* r = list_at(inst->meshes, ref.index)) {
        r->position = pos, r->orient = orient;
        r->state.world_position = pos, r->state.world_orient = orient;
      }
      break;
    case EEK_CHANNEL:
      if (auto* r = list_at(inst->channels, ref.index)) r->position = pos, r->orient = orient;
      break;
    case EEK_NODE:
      if (auto* r = list_at(inst->nodes, ref.index)) r->node.position = pos, r->node.orient = orient;
      break;
    case EEK_EMITTER:
      if (auto* e = list_at(inst->emitters, ref.index)) e->parent_position = pos, e->parent_orient = orient;
      break;
    case EEK_VIF:
      if (auto* v = list_at(inst->vifs, ref.index)) v->emitter->position = pos, v->emitter->orient = orient;
      break;
    default:
      break;
  }
}

void set_transform(EffectInstance* inst, int number, const vector& pos, const matrix& orient, int depth) {
  const EffectElementRef ref = effect_instance_element(inst, number);
  if (ref.kind == EEK_NONE || ref.kind == EEK_ITEM) return;
  store_transform(inst, ref, pos, orient);
  const char* own = names_of(inst, ref).name;
  // A chain of parents is at most as long as the element list; a cycle in a
  // damaged image stops there.
  if (!own || depth > effect_instance_elements(inst)) return;
  const int total = effect_instance_elements(inst);
  for (int i = 0; i < total; i++) {
    if (i == number) continue;
    const EffectElementRef child = effect_instance_element(inst, i);
    if (child.kind == EEK_ITEM) continue;
    if (!same_name(names_of(inst, child).parent, own)) continue;
    vector offset, cpos;
    float rot[4];
    matrix corient;
    if (!relative_of(inst, child, offset, rot)) continue;
    place_child(cpos, corient, pos, orient, offset, rot);
    set_transform(inst, i, cpos, corient, depth + 1);
  }
}

void show(EffectInstance* inst, int number, bool on, int depth) {
  const EffectElementRef ref = effect_instance_element(inst, number);
  if (ref.kind == EEK_MESH) {
    if (auto* r = list_at(inst->meshes, ref.index)) r->flags = on ? (r->flags | EMR_SHOWN) : (r->flags & ~EMR_SHOWN);
  } else if (ref.kind == EEK_CHANNEL) {
    if (auto* r = list_at(inst->channels, ref.index)) {
      const bool was_hidden = r->flags & ECR_HIDDEN;
      r->flags = on ? (r->flags & ~ECR_HIDDEN) : (r->flags | ECR_HIDDEN);
      if (on && was_hidden && r->state.light < 0) anim_channel_start(r->state, r->def, false);
      if (!on && r->state.light >= 0) light_set_enabled(r->state.light, false);
    }
  } else {
    return;
  }
  const char* own = names_of(inst, ref).name;
  if (!own || depth > effect_instance_elements(inst)) return;
  const int total = effect_instance_elements(inst);
  for (int i = 0; i < total; i++)
    if (i != number && same_name(names_of(inst, effect_instance_element(inst, i)).parent, own))
      show(inst, i, on, depth + 1);
}

}  // namespace

int effect_instance_find_element(const EffectInstance* inst, const char* name) {
  const int total = effect_instance_elements(inst);
  for (int i = 0; i < total; i++)
    if (same_name(names_of(inst, effect_instance_element(inst, i)).name, name)) return i;
  std::printf(">>> FAILED TO GET TAG %s\n", name ? name : "");
  return -1;
}

const char* effect_instance_element_name(const EffectInstance* inst, int number) {
  return inst ? names_of(inst, effect_instance_element(inst, number)).name : nullptr;
}
const char* effect_instance_element_parent(const EffectInstance* inst, int number) {
  return inst ? names_of(inst, effect_instance_element(inst, number)).parent : nullptr;
}

bool effect_instance_element_visible(const EffectInstance* inst, int number) {
  const EffectElementRef ref = effect_instance_element(inst, number);
  switch (ref.kind) {
    case EEK_MESH: {
      const auto* r = list_at(inst->meshes, ref.index);
      return r && r->def.enabled;
    }
    case EEK_CHANNEL: {
      const auto* r = list_at(inst->channels, ref.index);
      return r && r->def.enabled;
    }
    case EEK_EMITTER: {
      const auto* e = list_at(inst->emitters, ref.index);
      return e && e->def.enabled;
    }
    case EEK_NODE: {
      const auto* r = list_at(inst->nodes, ref.index);
      return r && (inst->image.u16(r->def + NODE_KEYS) & 0x8000);
    }
    case EEK_VIF: {
      const auto* v = list_at(inst->vifs, ref.index);
      return v && (v->def.flags & (1u << 9));
    }
    default:
      return false;
  }
}

void effect_instance_get_element_transform(const EffectInstance* inst, int number, vector* pos, matrix* orient) {
  vector p(0, 0, 0);
  matrix m = identity_matrix;
  const EffectElementRef ref = inst ? effect_instance_element(inst, number) : EffectElementRef{};
  bool found = false;
  if (ref.kind == EEK_MESH) {
    if (const auto* r = list_at(inst->meshes, ref.index)) p = r->position, m = r->orient, found = true;
  } else if (ref.kind == EEK_CHANNEL) {
    if (const auto* r = list_at(inst->channels, ref.index)) p = r->position, m = r->orient, found = true;
  } else if (ref.kind == EEK_NODE) {
    if (const auto* r = list_at(inst->nodes, ref.index)) p = r->node.position, m = r->node.orient, found = true;
  } else if (ref.kind == EEK_EMITTER || ref.kind == EEK_ITEM) {
    if (const auto* e = list_at(inst->emitters, ref.index)) p = e->position, m = e->orient, found = true;
  } else if (ref.kind == EEK_VIF) {
    if (const auto* v = list_at(inst->vifs, ref.index)) p = v->emitter->position, m = v->emitter->orient, found = true;
  }
  if (!found && inst && inst->meshes) p = inst->meshes->position, m = inst->meshes->orient;
  if (pos) *pos = p;
  if (orient) *orient = m;
}

void effect_instance_set_element_transform(EffectInstance* inst, int number, const vector& pos,
                                           const matrix& orient) {
  if (inst) set_transform(inst, number, pos, orient, 0);
}

void effect_instance_show_element(EffectInstance* inst, int number, bool on) {
  if (inst) show(inst, number, on, 0);
}

void effect_instance_bind_element(EffectInstance* inst, int number, void* value, uint32_t bits) {
  const EffectElementRef ref = effect_instance_element(inst, number);
  switch (ref.kind) {
    case EEK_MESH:
      if (auto* r = list_at(inst->meshes, ref.index))
        r->bound_value = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(value)),
        r->flags = (r->flags & ~EMR_VALUE_MASK) | (bits & EMR_VALUE_MASK) | EMR_BOUND;
      break;
    case EEK_CHANNEL:
      if (auto* r = list_at(inst->channels, ref.index)) {
        r->state.instance = static_cast<character_instance*>(value);
        r->state.control = (r->state.control & ~ACH_BONE_MASK) | (bits & ACH_BONE_MASK) | ACH_FOLLOW_BONE;
        r->flags |= ECR_BOUND;
      }
      break;
    case EEK_EMITTER:
      if (auto* e = list_at(inst->emitters, ref.index)) {
        e->bound = static_cast<character_instance*>(value);
        e->binding = (e->binding & ~EMITTER_TAG_MASK) | (bits & EMITTER_TAG_MASK) | EMITTER_BIND_TAG;
      }
      break;
    case EEK_NODE:
      if (auto* r = list_at(inst->nodes, ref.index)) {
        r->node.bound = static_cast<character_instance*>(value);
        r->node.binding = (r->node.binding & ~NODE_TAG_MASK) | (bits & NODE_TAG_MASK) | NODE_BOUND;
      }
      break;
    case EEK_VIF:
      if (auto* v = list_at(inst->vifs, ref.index)) {
        v->emitter->bound = static_cast<character_instance*>(value);
        v->emitter->tag = static_cast<uint16_t>(bits);
        v->emitter->flags |= VIF_RUN_BOUND;
      }
      break;
    default:
      break;
  }
}

namespace {

bool draws(const EffectInstance* inst) {
  return inst && (inst->flags & EI_IN_USE) && (!(inst->flags & EI_FINISHED) || (inst->flags & EI_KEEP_DRAWING));
}
void render_mesh(const EffectInstance* inst, EffectMeshRecord* r) {
  if ((inst->flags & EI_STOPPING) && !(inst->flags & EI_KEEP_DRAWING)) return;
  if (r && (r->flags & EMR_SHOWN))
    mesh_effect_render(r->state, r->def, inst->frame, &r->position, &r->orient, static_cast<float>(inst->value));
}

}  // namespace

void effect_instance_render(EffectInstance* inst, int number, int /*flags*/) {
  if (!draws(inst)) return;
  const EffectElementRef ref = effect_instance_element(inst, number);
  if (ref.kind == EEK_MESH) {
    render_mesh(inst, list_at(inst->meshes, ref.index));
  } else if (ref.kind == EEK_EMITTER) {
    EffectEmitter* e = list_at(inst->emitters, ref.index);
    if (e) effect_emitter_draw(e, inst->frame);
  } else if (ref.kind == EEK_VIF) {
    EffectVifRecord* v = list_at(inst->vifs, ref.index);
    if (v) vif_emitter_draw(v->emitter, v->def);
  }
}

void effect_instance_render_all(EffectInstance* inst, int /*flags*/) {
  // In the order of the numbering (meshes, VIF emitters, emitters), each
  // list walked once instead of every number looked up from the start.
  if (!draws(inst)) return;
  for (EffectMeshRecord* r = inst->meshes; r; r = r->next == inst->meshes ? nullptr : r->next) render_mesh(inst, r);
  for (EffectVifRecord* v = inst->vifs; v; v = v->next == inst->vifs ? nullptr : v->next)
    vif_emitter_draw(v->emitter, v->def);
  for (EffectEmitter* e = inst->emitters; e; e = e->next == inst->emitters ? nullptr : e->next)
    effect_emitter_draw(e, inst->frame);
}

void effect_instance_release(EffectInstance* inst) {
  if (!inst || !(inst->flags & EI_IN_USE)) return;
  if (g_camera_holder == inst) g_camera_holder = nullptr;
  give_back_records(inst);
  inst->flags &= ~EI_IN_USE;
  const int base = inst->base;
  list_append(g_free_instances, inst);
  if (base < 0) return;
  effect_base_drop_ref(base);
  if (effect_base_refs(base) > 0) return;
  const EffectBase* b = effect_base_at(base);
  if (!b) return;
  if (b->pool() == EFFECT_POOL_CUTSCENE && !(b->flags & EFB_OUTSIDE) && effect_big_region_users() > 0)
    effect_base_unload(base);
  else if ((b->flags & EFB_OUTSIDE) && !(b->flags & EFB_KEEP))
    effect_base_unload(base);
}

void effect_camera_get(vector* pos, matrix* orient) {
  if (pos) *pos = g_camera_holder ? g_camera_pos : vector(0, 0, 0);
  if (orient) *orient = g_camera_holder ? g_camera_orient : identity_matrix;
}
const EffectInstance* effect_camera_holder() { return g_camera_holder; }

void effect_definition_reset(EffectImage& img, uint32_t def, int /*value*/) {
  // Mesh elements load their glow and material bitmaps into the image by
  // name, material tracks theirs; VIF emitters their particle bitmap.
  const EffectDefArray meshes = effect_def_array(img, def, EFFECT_ARRAY_MESH);
  char err[160];
  for (int i = 0; i < meshes.count; i++) {
    MeshEffectElement e;
    if (!mesh_effect_relocate(e, img.data, img.size, meshes.record(i), err, sizeof err)) continue;
    img.put_u32(meshes.record(i) + MESH_ELEMENT_GLOW_HANDLE,
                static_cast<uint32_t>(effect_bitmap_load_named(img.name(e.glow_name))));
    for (int m = 0; m < e.materials; m++)
      effect_material_load_bitmaps(img, e.material_list + static_cast<uint32_t>(m) * MESH_MATERIAL_SIZE);
  }
  const EffectDefArray tracks = effect_def_array(img, def, EFFECT_ARRAY_MATERIAL);
  for (int i = 0; i < tracks.count; i++) effect_material_load_bitmaps(img, tracks.record(i));
  const EffectDefArray vifs = effect_def_array(img, def, EFFECT_ARRAY_VIF);
  for (int i = 0; i < vifs.count; i++) vif_emitter_def_reset(img, vifs.record(i));
}

EffectEnvironment Effect_environment;

void effect_environment_clear() {
  Effect_environment = EffectEnvironment{};
  Effect_environment.colour = -1;
}
