#include "quarn/ca/base_character.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "quarn/bmpman/bmpman.h"
#include "quarn/ca/ca_internal.h"
#include "quarn/os/error.h"
#include "quarn/os/memory.h"
#include "quarn/os/stringpool.h"
#include "quarn/vfile/readstream.h"
#include "quarn/vfile/vfile.h"

namespace {

BaseCharacter g_characters[MAX_BASE_CHARACTERS];
MeshRecord g_mesh_records[MAX_MESH_RECORDS];
BaseCharacterCounters g_counters = {0, -1, 0, 0, -1};
CharacterTypeLookup g_type_lookup = nullptr;

struct AnimPack {
  bool present = false;
  uint8_t* image = nullptr;  // ANIM_PACK_SIZE bytes once a pack was read
  int count = 0;
  char names[ANIM_PACK_MAX_ENTRIES][ANIM_PACK_NAME_BYTES];
  int sizes[ANIM_PACK_MAX_ENTRIES];
  int offsets[ANIM_PACK_MAX_ENTRIES];
};
AnimPack g_pack;

// Names from callers are short; one longer than its field keeps its start.
void copy_name(char* dest, int size, const char* src) {
  int n = 0;
  for (; src && src[n] && n < size - 1; ++n) dest[n] = src[n];
  dest[n] = 0;
}

// The name without its extension.
void copy_stripped(char* dest, int size, const char* src) {
  char buffer[VFILE_MAX_PATH];
  copy_name(buffer, sizeof(buffer), src);
  char* dot = std::strrchr(buffer, '.');
  if (dot) *dot = 0;
  copy_name(dest, size, buffer);
}

MeshRecord* take_mesh_record(BaseCharacter* owner) {
  for (MeshRecord& mr : g_mesh_records) {
    if (!mr.owner) {
      std::memset(&mr, 0, sizeof(mr));
      mr.owner = owner;
      return &mr;
    }
  }
  CRITICAL_ERROR("Error loading character %s.  No more mesh records.\nPlease up the MAX_MESH_RECORDS constant.",
                 owner->name);
}

void free_mesh_record(MeshRecord* mr, bool free_meshes) {
  if (!mr) return;
  if (free_meshes) {
    vim_free(mr->mesh);
    vim_free(mr->shadow);
  }
  std::memset(mr, 0, sizeof(*mr));
}

void destroy_anim(BaseCharacter* bc, int i) {
  // Arena-built animations keep their arrays in the arena (the skeleton
  // knows); the record itself always goes, so the counters stay true.
  delete bc->anims[i];
  bc->anims[i] = nullptr;
}

skeleton* anim_at(const BaseCharacter* bc, int anim) {
  if (!bc || anim < 0 || anim >= bc->anim_count) return nullptr;
  return bc->anims[anim];
}

void clear_record(BaseCharacter* bc) {
  std::memset(bc, 0, sizeof(*bc));
}

}  // namespace

const BaseCharacterCounters& base_character_counters() { return g_counters; }

void base_character_set_type_lookup(CharacterTypeLookup lookup) { g_type_lookup = lookup; }

void character_instance_system_init(int string_pool_size) {
  g_counters = {0, -1, 0, 0, -1};
  StringPool& pool = ca_detail::names();
  pool.free();
  pool.alloc(string_pool_size == -1 ? 5120 : string_pool_size);
  for (MeshRecord& mr : g_mesh_records) free_mesh_record(&mr, false);
  for (BaseCharacter& bc : g_characters) clear_record(&bc);
  skeleton_counters_reset();
}

void character_instance_system_shutdown() {
  for (BaseCharacter& bc : g_characters) {
    if (bc.flags & BC_IN_USE) base_character_release(&bc);
  }
  anim_pack_release();
  ca_detail::names().free();
}

bool base_character_load_shadow(BaseCharacter* bc, const char* name, MeshRecord* mr) {
  mr->shadow = nullptr;
  mr->mesh = vim_load(name, -1);
  if (!mr->mesh) {
    // A character without its mesh is not loaded (its bones would be read
    // through a mesh that is not there).
    mr->skeleton = nullptr;
    std::printf("Unable to load character mesh : %s\n", name);
    return false;
  }
  mr->skeleton = &mr->mesh->bone_part;
  const int type_flags = g_type_lookup ? g_type_lookup(bc->name) : 0;
  if (type_flags >= 0 && !(type_flags & 1)) {
    char shadow[VFILE_MAX_PATH + 16];
    char stem[VFILE_MAX_PATH];
    copy_stripped(stem, sizeof(stem), name);
    std::snprintf(shadow, sizeof(shadow), "%s_shadow.vim", stem);
    std::printf("ATTEMPTING TO LOAD : %s\n", shadow);
    mr->shadow = vim_load(shadow, -1);
    std::printf(mr->shadow ? "SHADOW LOADED!\n" : "SHADOW FAILED TO LOAD!\n");
  }
  bc->flags |= BC_MESHES_LOADED;
  return true;
}

BaseCharacter* base_character_load(const char* const* names, int count, MemArena* arena, MemArena* restore_arena) {
  if (!names || count < 1 || !names[0]) return nullptr;
  BaseCharacter* bc = nullptr;
  for (BaseCharacter& c : g_characters) {
    if (!(c.flags & BC_IN_USE)) {
      bc = &c;
      break;
    }
  }
  if (!bc) {
    CRITICAL_ERROR(
        "Error loading character %s.  No more base character room.\nPlease up the MAX_BASE_CHARACTERS constant.",
        names[0]);
  }
  clear_record(bc);
  bc->flags = BC_IN_USE;
  ++g_counters.count;
  copy_stripped(bc->name, sizeof(bc->name), names[0]);
  MeshRecord* mr = take_mesh_record(bc);
  bc->meshes[0] = mr;
  bc->current = mr;
  if (arena) {
    mem_set_arena(arena);
    bc->arena = arena;
  }
  const bool loaded = base_character_load_shadow(bc, bc->name, mr);
  copy_name(mr->mesh_name, sizeof(mr->mesh_name), bc->name);
  if (arena) {
    mem_set_arena(restore_arena);
  }
  if (!loaded) {
    free_mesh_record(mr, true);
    clear_record(bc);
    --g_counters.count;
    return nullptr;
  }
  for (int v = 1; v < count && v < MAX_CHARACTER_VARIANTS; ++v) {
    if (!names[v]) continue;
    MeshRecord* other = take_mesh_record(bc);
    copy_stripped(other->mesh_name, sizeof(other->mesh_name), names[v]);
    bc->meshes[v] = other;
  }
  if (mem_arena_active()) {
    bc->flags |= BC_IN_ARENA;
  }
  return bc;
}

BaseCharacter* character_find(const char* name) {
  if (!name) return nullptr;
  for (BaseCharacter& bc : g_characters) {
    if ((bc.flags & BC_IN_USE) && strcasecmp(bc.name, name) == 0) return &bc;
  }
  return nullptr;
}

BaseCharacter* character_load(const char* const* names, int count, int keep, int /*unused*/, MemArena* arena,
                              MemArena* restore_arena) {
  const char* first = names && count > 0 ? names[0] : nullptr;
  char stem[BASE_CHARACTER_NAME_MAX];
  copy_stripped(stem, sizeof(stem), first);
  BaseCharacter* bc = character_find(stem);
  if (!bc) {
    bc = base_character_load(names, count, arena, restore_arena);
    if (!bc) {
      CRITICAL_ERROR("Couldn't load character %s in charanim.tbl file.", first ? first : "");
    }
  } else if (bc->current && bc->current->mesh && !vim_bitmaps_valid(bc->current->mesh)) {
    // Handle 0 is a real bitmap; only a negative handle was flushed.
    std::printf("RE-LOADING bitmaps for : %s\n", bc->name);
    vim_reload_bitmaps(bc->current->mesh_name, bc->current->mesh);
  }
  if (keep == 1) bc->flags |= BC_KEEP;
  return bc;
}

int base_character_add_skeleton(BaseCharacter* bc, const char* file_name, const char* anim_name, int kind,
                                int unused, int reuse, int root_tracking) {
  if (!bc || !file_name) return -1;
  if (bc->anim_count >= MAX_CHARACTER_ANIMS) {
    CRITICAL_ERROR("No more room for skeletons in character %s (MAX_CHARACTER_ANIMS is %d)", bc->name,
                   MAX_CHARACTER_ANIMS);
  }
  if (reuse == 1) {
    for (int i = 0; i < bc->anim_count; ++i) {
      if (bc->anims[i] && strcasecmp(bc->anims[i]->file_name, file_name) == 0) return i;
    }
  }
  auto* sk = new skeleton(file_name, anim_name, kind, unused, root_tracking);
  int size = 0, offset = 0;
  bool ok;
  if (anim_pack_find(file_name, &size, &offset) && size < ANIM_PACK_SIZE) {
    ReadStream s;
    s.open_memory(g_pack.image + offset, size);
    ok = sk->read_mvf(s, file_name, VFILE_ANY_TYPE);
  } else {
    FileHandle fh;
    if (fh.open(file_name, VF_READ, VFILE_ANY_TYPE) != VF_OK) {
      delete sk;
      CRITICAL_ERROR("Error opening : %s\n", file_name);
    }
    ReadStream s;
    s.open_file(&fh);
    ok = sk->read_mvf(s, file_name, VFILE_ANY_TYPE);
    fh.close();
  }
  if (!ok) {
    // A broken animation is not an animation: the caller learns it here
    // instead of posing from an empty skeleton.
    delete sk;
    return -1;
  }
  const int index = bc->anim_count;
  bc->anims[index] = sk;
  ++bc->anim_count;
  return index;
}

void base_character_remove_skeletons(BaseCharacter* bc) {
  if (!bc) return;
  for (int i = 0; i < bc->anim_count; ++i) destroy_anim(bc, i);
  bc->anim_count = 0;
}

void base_character_remove_skeleton(BaseCharacter* bc, int index) {
  if (!bc || index < 0 || index >= bc->anim_count) return;
  destroy_anim(bc, index);
  if (index == bc->anim_count - 1) --bc->anim_count;
}

void base_character_mark(BaseCharacter* bc) {
  if (!bc || (bc->flags & BC_MARKED)) return;
  bc->flags |= BC_MARKED;
  bc->mark_count = bc->anim_count;
}

void base_character_release_to_mark(BaseCharacter* bc) {
  if (!bc || !(bc->flags & BC_MARKED)) return;
  for (int i = bc->mark_count; i < bc->anim_count; ++i) destroy_anim(bc, i);
  bc->anim_count = bc->mark_count;
  bc->flags &= ~BC_MARKED;
}

int character_find_anim(const BaseCharacter* bc, const char* name, int kind) {
  if (!bc || !name) return -1;
  for (int i = 0; i < bc->anim_count; ++i) {
    const skeleton* sk = bc->anims[i];
    if (sk && sk->kind == kind && sk->name && strcasecmp(sk->name, name) == 0) return i;
  }
  return -1;
}

int character_find_bone(const BaseCharacter* bc, const char* name) {
  if (!bc || !name || !bc->current || !bc->current->skeleton) return -1;
  const VimBonePart& bp = *bc->current->skeleton;
  for (int b = 0; b < bp.bone_count; ++b) {
    if (strcasecmp(bp.bones[b].name, name) == 0) return b;
  }
  for (int t = 0; t < bp.bone_tag_count; ++t) {
    if (bp.bone_tags[t].name && strcasecmp(bp.bone_tags[t].name, name) == 0) return bp.bone_count + t;
  }
  return -1;
}

void character_select_variant(BaseCharacter* bc, int v) {
  if (!bc || (v != 0 && v != 1)) return;
  MeshRecord* target = bc->meshes[v];
  if (!target || target == bc->current || !bc->arena) return;
  MeshRecord* old = bc->current;
  bc->current = target;
  vim_save_bitmaps(old ? old->mesh : nullptr);
  if (old) {
    old->mesh = nullptr;
    old->shadow = nullptr;
    old->skeleton = nullptr;
  }
  // The arena holds one variant at a time.
  bc->arena->used = 0;
  mem_set_arena(bc->arena);
  if (base_character_load_shadow(bc, target->mesh_name, target)) {
    vim_restore_bitmaps(target->mesh);
    vim_restore_bitmaps(target->shadow);
  }
  mem_set_arena(nullptr);
}

void character_set_bitmap(BaseCharacter* bc, int slot, const char* file_name) {
  if (!bc || !bc->current || !bc->current->mesh || slot < 0 || slot >= VIM_MAX_BITMAPS || !file_name) return;
  VimMesh* mesh = bc->current->mesh;
  const int h = mesh->bitmaps[slot];
  if (h >= 0 && bm_replace_file(h, file_name, -1) == 0) return;
  mesh->bitmaps[slot] = bm_load(file_name, -1);
  if (slot >= mesh->bitmap_count) mesh->bitmap_count = slot + 1;
}

void base_character_add_event(BaseCharacter* bc, int anim, const char* name, float frame) {
  skeleton* sk = anim_at(bc, anim);
  if (!sk || !name) return;
  for (SoundEvent& ev : sk->sound_events) {
    if (!ev.name) {
      ev.name = ca_detail::pooled_exact(name);
      ev.tick = static_cast<int32_t>(frame * TICKS_PER_FRAME);
      return;
    }
  }
}

void base_character_add_event_if_absent(BaseCharacter* bc, int anim, const char* name, float frame) {
  skeleton* sk = anim_at(bc, anim);
  if (!sk || !name) return;
  for (const SoundEvent& ev : sk->sound_events) {
    if (ev.name && std::strcmp(ev.name, name) == 0) return;
  }
  base_character_add_event(bc, anim, name, frame);
}

void base_character_set_event(BaseCharacter* bc, int anim, const char* name, float frame) {
  skeleton* sk = anim_at(bc, anim);
  if (!sk || !name) return;
  for (SoundEvent& ev : sk->sound_events) {
    if (ev.name && std::strcmp(ev.name, name) == 0) {
      ev.tick = static_cast<int32_t>(frame * TICKS_PER_FRAME);
      return;
    }
  }
}

void base_character_release(BaseCharacter* bc) {
  if (!bc || !(bc->flags & BC_IN_USE)) return;
  --g_counters.count;
  base_character_remove_skeletons(bc);
  const bool free_meshes = !(bc->flags & BC_IN_ARENA);
  for (MeshRecord* mr : bc->meshes) free_mesh_record(mr, free_meshes);
  clear_record(bc);
}

void base_character_release_unkept() {
  for (BaseCharacter& bc : g_characters) {
    if ((bc.flags & BC_IN_USE) && !(bc.flags & BC_KEEP)) base_character_release(&bc);
  }
}

void base_character_memory_report(const BaseCharacter* bc) {
  if (!bc) return;
  const VimBonePart* bp = bc->current ? bc->current->skeleton : nullptr;
  const int bones = bp ? bp->bone_count * VIM_BONE_BYTES : 0;
  int tags = 0;
  for (int t = 0; bp && t < bp->bone_tag_count; ++t) {
    tags += VIM_BONE_TAG_BYTES + (bp->bone_tags[t].name ? static_cast<int>(std::strlen(bp->bone_tags[t].name)) : 0);
  }
  int anims = bc->anim_count * 212;
  for (int i = 0; i < bc->anim_count; ++i) {
    const skeleton* sk = bc->anims[i];
    if (sk) anims += sk->position_key_total * 64 + sk->bone_count * 45 + sk->rotation_key_total * 36;
  }
  mem_log_printf(bc->name, "\n");
  mem_log_indent();
  mem_log_printf("bones :", "%d\n", bones);
  mem_log_printf("bone weights :", "%d\n", 0);
  mem_log_printf("tags :", "%d\n", tags);
  mem_log_printf("skeleton :", "%d\n", anims);
  mem_log_printf("TOTAL :", "%d\n", bones + tags + anims);
  mem_log_unindent();
}

// ---- Animation pack ---------------------------------------------------------

namespace {

bool refuse_pack(const char* file, const char* why) {
  std::printf("ANIM PACK REFUSED : %s (%s)\n", file, why);
  g_pack.present = false;
  g_pack.count = 0;
  return false;
}

}  // namespace

bool anim_pack_load(const char* file_name) {
  if (!file_name) return false;
  g_pack.present = false;
  g_pack.count = 0;
  FileHandle fh;
  if (fh.open(file_name, VF_READ, VFILE_ANY_TYPE) != VF_OK) {
    char message[VFILE_MAX_PATH + 32];
    std::snprintf(message, sizeof(message), "Error opening : %s\n", file_name);  // kept, not shown
    return false;
  }
  const int file_size = fh.size();
  ReadStream s;
  s.open_file(&fh);
  s.read_int();
  s.read_int();
  const int count = s.read_int();
  const int total = s.read_int();
  if (s.error() != 0) {
    fh.close();
    return refuse_pack(file_name, "the header is cut short");
  }
  // The pack must fit its fixed tables and image, and the file must hold it.
  if (count < 0 || count > ANIM_PACK_MAX_ENTRIES || total < 16 + count * 72 || total > ANIM_PACK_SIZE ||
      total > file_size) {
    fh.close();
    return refuse_pack(file_name, "its entry count or size is beyond the pack's limits");
  }
  if (!g_pack.image) {
    g_pack.image = static_cast<uint8_t*>(std::malloc(ANIM_PACK_SIZE));
    if (!g_pack.image) {
      fh.close();
      return refuse_pack(file_name, "no memory for the pack");
    }
  }
  s.seek(0, 0);
  const int got = s.read(g_pack.image, total);
  fh.close();
  if (got != total) {
    return refuse_pack(file_name, "the file is shorter than its size");
  }
  for (int i = 0; i < count; ++i) {
    const uint8_t* e = g_pack.image + 16 + i * 72;
    if (!memchr(e, 0, ANIM_PACK_NAME_BYTES)) {
      return refuse_pack(file_name, "an entry name is unterminated");
    }
    std::memcpy(g_pack.names[i], e, ANIM_PACK_NAME_BYTES);
    g_pack.sizes[i] = ca_detail::get_i32(e + 64);
    g_pack.offsets[i] = ca_detail::get_i32(e + 68);
    if (g_pack.sizes[i] < 0 || g_pack.offsets[i] < 0 ||
        static_cast<long long>(g_pack.offsets[i]) + g_pack.sizes[i] > total) {
      return refuse_pack(file_name, "an entry lies outside the pack");
    }
  }
  g_pack.count = count;
  g_pack.present = true;
  return true;
}

void anim_pack_release() {
  std::free(g_pack.image);
  g_pack.image = nullptr;
  g_pack.present = false;
  g_pack.count = 0;
}

bool anim_pack_present() { return g_pack.present; }

bool anim_pack_find(const char* file_name, int* size, int* offset) {
  if (!g_pack.present || !file_name) return false;
  for (int i = 0; i < g_pack.count; ++i) {
    if (strcasecmp(g_pack.names[i], file_name) == 0) {
      if (size) *size = g_pack.sizes[i];
      if (offset) *offset = g_pack.offsets[i];
      return true;
    }
  }
  return false;
}
