#include "quarn/geom/effect_mem.h"

#include <strings.h>

#include <cctype>
#include <cstring>

#include "quarn/vfile/preload.h"
#include "quarn/geom/effect_emitter.h"
#include "quarn/os/console.h"
#include "quarn/os/error.h"
#include "quarn/os/memory.h"
#include "quarn/vfile/vfile.h"

namespace {
constexpr int kStringPoolSize = 12288;
constexpr uint32_t kAlign = 64;
constexpr uint32_t kSmallBase = EFFECT_PRELOAD_REGION;
constexpr uint32_t kLargeBase = EFFECT_PRELOAD_REGION + EFFECT_SLOTS * EFFECT_SMALL_SLOT;
constexpr uint32_t kBigBase = EFFECT_PRELOAD_REGION;
static_assert(kBigBase + EFFECT_BIG_REGION == EFFECTS_ARENA_SIZE, "the big region ends the arena");
static_assert(EFFECT_SLOTS * (EFFECT_SMALL_SLOT + EFFECT_LARGE_SLOT) == EFFECT_BIG_REGION,
              "the big region is the slots' bytes");

alignas(64) uint8_t g_block[EFFECTS_ARENA_SIZE];
MemArena g_arena;
MemArena* g_level_arena = nullptr;
MemArena* g_character_arena = nullptr;

EffectBase g_bases[MAX_EFFECT_FILES];
int g_base_count = 0;
EffectName g_names[MAX_EFFECT_BASES];
int g_name_count = 0;
uint8_t g_refs[MAX_EFFECT_FILES];
bool g_bad[MAX_EFFECT_FILES];  // refused when read: not asked for again
// Counted among the big region's users; released when such a base is
// unloaded, whether or not its read ever completed.
bool g_big_user[MAX_EFFECT_FILES];
int g_small[EFFECT_SLOTS], g_large[EFFECT_SLOTS];
int g_small_cursor = 0, g_large_cursor = 0;
int g_saved_small[EFFECT_SLOTS], g_saved_large[EFFECT_SLOTS];
int g_big_users = 0;
bool g_preloaded = false;
uint32_t g_preload_mark = 0;  // bytes from the arena's start

char g_pool[kStringPoolSize];
int g_pool_used = 0;

effect_def_relocate_fn g_relocate = nullptr;
effect_def_reset_fn g_reset = nullptr;
void (*g_pools_reset)() = nullptr;

uint32_t round64(uint32_t n) { return (n + kAlign - 1) & ~(kAlign - 1); }

const char* pool_add(const char* s, bool lower) {
  const int n = static_cast<int>(std::strlen(s)) + 1;
  if (g_pool_used + n > kStringPoolSize) return nullptr;
  char* out = g_pool + g_pool_used;
  for (int i = 0; i < n; i++)
    out[i] = lower ? static_cast<char>(std::tolower(static_cast<unsigned char>(s[i]))) : s[i];
  g_pool_used += n;
  return out;
}

bool valid_base(int b) { return b >= 0 && b < g_base_count; }

void arena_point(uint8_t* base, uint32_t size) {
  g_arena.base = base;
  g_arena.size = size;
  g_arena.used = 0;
}

bool in_block(const uint8_t* p, uint32_t from, uint32_t to) {
  return p && p >= g_block + from && p < g_block + to;
}

uint32_t region_end(const EffectBase& b) {
  const uint32_t at = static_cast<uint32_t>(b.image - g_block);
  if (b.pool() == EFFECT_POOL_PRELOAD) return EFFECT_PRELOAD_REGION;
  if (b.pool() == EFFECT_POOL_CUTSCENE) return kBigBase + EFFECT_BIG_REGION;
  if (b.flags & EFB_LARGE_SLOT) return at + EFFECT_LARGE_SLOT;
  return at + EFFECT_SMALL_SLOT;
}

int take_slot(int* table, int& cursor) {
  for (int k = 0; k < EFFECT_SLOTS; k++) {
    const int s = (cursor + k) % EFFECT_SLOTS;
    const int o = table[s];
    // A slot whose occupant was dropped by a reset holds nothing any more.
    if (o < 0 || !(g_bases[o].flags & (EFB_RESIDENT | EFB_REQUESTED))) {
      table[s] = -1;
      cursor = (s + 1) % EFFECT_SLOTS;
      return s;
    }
  }
  for (int k = 0; k < EFFECT_SLOTS; k++) {
    const int s = (cursor + k) % EFFECT_SLOTS;
    if (g_refs[table[s]] == 0) {
      effect_base_unload(table[s]);
      table[s] = -1;
      cursor = (s + 1) % EFFECT_SLOTS;
      return s;
    }
  }
  return -1;
}

// The big region's last user is gone: the evicted slot occupants come back,
// and definitions read meanwhile get their reset pass.
void big_region_released() {
  for (int s = 0; s < EFFECT_SLOTS; s++) {
    const int small = g_saved_small[s], large = g_saved_large[s];
    g_saved_small[s] = g_saved_large[s] = -1;
    if (small >= 0) effect_base_page_in(small);
    if (large >= 0) effect_base_page_in(large);
  }
  for (int n = 0; n < g_name_count; n++) {
    const EffectBase& b = g_bases[g_names[n].base];
    if (!b.resident() || !(b.flags & EFB_FRESH)) continue;
    EffectDefRef ref = effect_base_get(n);
    if (ref && g_reset) g_reset(ref.image, ref.def, -1);
  }
  for (int i = 0; i < g_base_count; i++) g_bases[i].flags &= ~EFB_FRESH;
}

// Preload-queue builders.
bool queue_effect_loaded(const char* name) {
  const int b = effect_base_find_file(name);
  return b >= 0 && g_bases[b].resident();
}
int queue_effect_create(const char* name) { return effect_base_find_file(name); }
void* queue_alloc_image(int base, int size) { return effect_base_alloc_image(base, size); }
bool queue_complete(int base) { return effect_base_loaded(base); }

void install_builders() {
  PreloadBuilders b = preload_builders();
  b.effect_loaded = queue_effect_loaded;
  b.effect_create = queue_effect_create;
  b.effect_alloc_image = queue_alloc_image;
  b.effect_complete = queue_complete;
  preload_set_builders(b);
}

// Separators of the effect list.
bool is_separator(char c) { return c == ' ' || c == '\r' || c == '\n' || c == '\t' || c == ':' || c == ','; }

ConsoleCommand cc_show_effect_mem("show_effect_mem", "Shows how much memory the effects system is using.", [] {});
}  // namespace

int effect_pool_from_name(const char* word) {
  static const char* const names[] = {"level", "preload", "spell", "cutscene", "summon", "character"};
  if (!word) return -1;
  for (int i = 0; i < 6; i++)
    if (strcasecmp(word, names[i]) == 0) return i;
  return -1;
}
const char* effect_pool_name(int pool) {
  static const char* const names[] = {"level", "preload", "spell", "cutscene", "summon", "character"};
  return pool >= 0 && pool < 6 ? names[pool] : "?";
}

int effect_list_parse_line(const char* line, char* filename, int* pool, int* name_count,
                           char names[][EFFECT_LIST_TOKEN_SIZE]) {
  *name_count = 0;
  char tokens[2][EFFECT_LIST_TOKEN_SIZE];
  int count = 0;
  const char* p = line;
  while (*p && *p != ';') {
    while (*p && *p != ';' && is_separator(*p)) p++;
    if (!*p || *p == ';') break;
    const char* start = p;
    while (*p && *p != ';' && !is_separator(*p)) p++;
    const size_t len = static_cast<size_t>(p - start);
    // A token that does not fit its buffer would be cut into another name.
    if (len >= EFFECT_LIST_TOKEN_SIZE) return -1;
    char* dest;
    if (count < 2) {
      dest = tokens[count];
    } else {
      if (*name_count >= MAX_EFFECT_LIST_NAMES) return -1;
      dest = names[(*name_count)++];
    }
    std::memcpy(dest, start, len);
    dest[len] = '\0';
    count++;
  }
  if (count < 3) return 0;
  const int cls = effect_pool_from_name(tokens[1]);
  if (cls < 0) return 0;
  std::strcpy(filename, tokens[0]);
  *pool = cls;
  return 1;
}

int effect_list_read_line(FILE* fp, int* line_count, char* filename, int* pool, int* name_count,
                          char names[][EFFECT_LIST_TOKEN_SIZE]) {
  char line[EFFECT_LIST_LINE_SIZE + 1];
  for (;;) {
    if (!std::fgets(line, sizeof line, fp)) return -1;
    // A longer line goes on in the next read; it is taken as lines of its own.
    if (line_count) (*line_count)++;
    const int r = effect_list_parse_line(line, filename, pool, name_count, names);
    if (r != 0) return r;
  }
}

void effects_set_level_arena(MemArena* arena) { g_level_arena = arena; }
void effects_set_character_arena(MemArena* arena) { g_character_arena = arena; }
MemArena* effects_arena() { return &g_arena; }
uint8_t* effects_arena_base() { return g_block; }
void effects_set_definition_hooks(effect_def_relocate_fn relocate, effect_def_reset_fn reset) {
  g_relocate = relocate;
  g_reset = reset;
}
void effects_set_pools_reset(void (*reset)()) { g_pools_reset = reset; }

static void reset_element_pools() {
  effect_emitter_pool_reset();
  if (g_pools_reset) g_pools_reset();
}

int effects_init() {
  g_arena.init(g_block, EFFECTS_ARENA_SIZE, "Effects");
  for (int s = 0; s < EFFECT_SLOTS; s++) g_small[s] = g_large[s] = g_saved_small[s] = g_saved_large[s] = -1;
  g_small_cursor = g_large_cursor = 0;
  std::memset(g_refs, 0, sizeof g_refs);
  std::memset(g_bad, 0, sizeof g_bad);
  std::memset(g_big_user, 0, sizeof g_big_user);
  g_base_count = g_name_count = 0;
  g_pool_used = 0;
  g_big_users = 0;
  g_preloaded = false;
  g_preload_mark = 0;
  reset_element_pools();
  install_builders();

  FileHandle fh;
  if (fh.open("demo_effects.arr", VF_READ) < 0) return -1;
  const int size = fh.size();
  if (size < 0) return -1;
  // The list is read whole and split into lines here, as the file layer
  // serves packfile members as well as plain files.
  static char text[1 << 20];
  if (size >= static_cast<int>(sizeof text)) return -1;
  const int got = size > 0 ? fh.read(text, size) : 0;
  fh.close();
  if (got != size) return -1;
  text[size] = '\0';
  FILE* fp = fmemopen(text, static_cast<size_t>(size) + 1, "r");
  if (!fp) return -1;
  int result = 0;
  char line[EFFECT_LIST_LINE_SIZE + 1];
  char filename[EFFECT_LIST_TOKEN_SIZE];
  char names[MAX_EFFECT_LIST_NAMES][EFFECT_LIST_TOKEN_SIZE];
  int pool = 0, name_count = 0;
  while (result == 0 && std::fgets(line, sizeof line, fp)) {
    const int r = effect_list_parse_line(line, filename, &pool, &name_count, names);
    if (r == 0) continue;
    if (r < 0) {
      std::printf("demo_effects.arr: bad line: %s", line);
      result = -1;
      break;
    }
    int b = effect_base_find_file(filename);
    if (b < 0) {
      const char* stored = g_base_count < MAX_EFFECT_FILES ? pool_add(filename, false) : nullptr;
      if (!stored) {
        result = -1;
        break;
      }
      b = g_base_count++;
      g_bases[b] = EffectBase{};
      g_bases[b].filename = stored;
      g_bases[b].flags = static_cast<uint32_t>(pool) << EFB_POOL_SHIFT;
    }
    for (int i = 0; i < name_count; i++) {
      if (g_name_count >= MAX_EFFECT_BASES)
        critical_error("quarn/geom/effect_mem", 1767, "Too many effects! MAX_EFFECT_BASES needs to be increased!");
      const char* stored = pool_add(names[i], true);
      if (!stored) {
        result = -1;
        break;
      }
      g_names[g_name_count++] = EffectName{stored, static_cast<uint8_t>(b), EFFECT_DEF_UNRESOLVED};
    }
  }
  std::fclose(fp);
  return result;
}

int effect_name_find(const char* name) {
  if (!name || g_name_count == 0) return -1;
  const char* slash = std::strrchr(name, '\\');
  if (slash) name = slash + 1;
  for (int i = 0; i < g_name_count; i++)
    if (strcasecmp(g_names[i].name, name) == 0) return i;
  return -1;
}

int effect_base_find_file(const char* filename) {
  if (!filename) return -1;
  for (int i = 0; i < g_base_count; i++)
    if (strcasecmp(g_bases[i].filename, filename) == 0) return i;
  return -1;
}

EffectImage effect_base_image(int base) {
  if (!valid_base(base) || !g_bases[base].resident()) return EffectImage{};
  const EffectBase& b = g_bases[base];
  return effect_image_view(b.image, b.first_size, b.second_size(), b.def_count);
}

EffectDefRef effect_base_get(int n) {
  EffectDefRef ref;
  if (n < 0 || n >= g_name_count) return ref;
  EffectName& name = g_names[n];
  const int bi = name.base;
  EffectBase& b = g_bases[bi];
  if (!b.resident()) {
    if (g_big_users > 0 && b.pool() != EFFECT_POOL_CUTSCENE && !(b.flags & EFB_OUTSIDE)) return ref;
    if (effect_base_page_in(bi) != 0) return ref;
  }
  EffectImage img = effect_base_image(bi);
  if (name.def == EFFECT_DEF_UNRESOLVED) {
    const uint32_t hash = effect_name_hash(name.name);
    for (uint32_t i = 0; i < img.def_count && i < EFFECT_DEF_UNRESOLVED; i++)
      if (effect_image_def_hash(img, static_cast<int>(i)) == hash) {
        name.def = static_cast<uint8_t>(i);
        break;
      }
    if (name.def == EFFECT_DEF_UNRESOLVED) return ref;
  }
  const uint32_t def = effect_image_def_offset(img, name.def);
  if (!def) return ref;
  img.put_u32(def + EFFECT_DEF_POOL_CLASS, static_cast<uint32_t>(b.pool()));
  ref.image = img;
  ref.def = def;
  ref.base = bi;
  return ref;
}

EffectDefRef effect_base_find(const char* name, int* index_out) {
  const int n = effect_name_find(name);
  if (index_out) *index_out = n;
  if (n < 0) return EffectDefRef{};
  return effect_base_get(n);
}

int effect_base_page_in(int base) {
  if (!valid_base(base)) return -1;
  EffectBase& b = g_bases[base];
  if (b.resident()) return 0;
  if (preload_state() != PRELOAD_IDLE) return -1;
  if (g_bad[base]) return -1;
  if (!(b.flags & EFB_REQUESTED) && !preload_contains(b.filename)) {
    // Refused once with the reason, so a modder can find the file; later
    // asks are refused quietly.
    if (effect_base_read_header(base) != 0) {
      std::printf("Effect file %s: its header cannot be read\n", b.filename);
      g_bad[base] = true;
      return -1;
    }
    if (b.version != EFFECT_FORMAT_VERSION) {
      std::printf("Effect file %s is version %d, not %d\n", b.filename, b.version, EFFECT_FORMAT_VERSION);
      g_bad[base] = true;
      return -1;
    }
    if (effect_base_add_streaming(base) != 0) return -1;
  }
  if (!preload_start()) {
    preload_reset();
    if (!b.resident()) effect_base_unload(base);
    return -1;
  }
  while (preload_tick() == PRELOAD_LOADING) {
  }
  preload_reset();
  // A read that failed leaves the base unloaded, and the caller is told so.
  if (!b.resident()) {
    effect_base_unload(base);
    if (g_refs[base] > 0) g_refs[base]--;
    return -1;
  }
  return 0;
}

int effect_base_add_streaming(int base) {
  if (!valid_base(base)) return -1;
  EffectBase& b = g_bases[base];
  std::printf("*************** ADD STREAMING EFFECT *****************\n");
  if (b.resident() || preload_contains(b.filename)) return 0;
  if (g_bad[base]) return -1;
  if (effect_base_read_header(base) != 0) return -1;
  MemArena* arena = mem_get_arena();
  if (!arena) {
    if (b.pool() == EFFECT_POOL_LEVEL && g_level_arena) arena = g_level_arena;
    else if (b.pool() == EFFECT_POOL_CHARACTER && g_character_arena) arena = g_character_arena;
    else arena = &g_arena;
  }
  std::printf("Going into pool %s\n", arena->name);
  b.flags &= ~EFB_KEEP;
  const uint32_t needed = round64(b.first_size + b.second_size());
  b.image = nullptr;
  if (arena != &g_arena) {
    std::printf("AS 9\n");
    b.flags |= EFB_OUTSIDE;
    b.flags &= ~EFB_LARGE_SLOT;
    if (!preload_add(b.filename, arena, nullptr)) return -1;
    g_refs[base]++;
    return 0;
  }
  std::printf("AS 0\n");
  uint8_t* region;
  uint32_t region_size;
  if (b.pool() == EFFECT_POOL_PRELOAD) {
    std::printf("AS 1\n");
    if (needed > EFFECT_PRELOAD_REGION)
      critical_error("quarn/geom/effect_mem", 1079, "Preload.rfx is too big for the current preload size! I refuse to run!\n");
    b.flags &= ~EFB_OUTSIDE;
    region = g_block;
    region_size = EFFECT_PRELOAD_REGION;
  } else {
    b.flags &= ~EFB_OUTSIDE;
    if (needed > EFFECT_LARGE_SLOT || b.pool() == EFFECT_POOL_CUTSCENE) {
      std::printf("AS 2\n");
      if (b.pool() != EFFECT_POOL_CUTSCENE) {
        std::printf("AS 3\n");
        return -1;
      }
      b.flags &= ~EFB_LARGE_SLOT;
      if (g_big_users == 0) {
        for (int s = 0; s < EFFECT_SLOTS; s++) {
          g_saved_large[s] = g_large[s];
          g_saved_small[s] = g_small[s];
          if (g_large[s] >= 0) effect_base_unload(g_large[s]);
          if (g_small[s] >= 0) effect_base_unload(g_small[s]);
          g_large[s] = g_small[s] = -1;
        }
        region = g_block + kBigBase;
      } else {
        region = g_arena.base + g_arena.used;
      }
      const uint32_t at = static_cast<uint32_t>(region - g_block);
      if (at < kBigBase || at > EFFECTS_ARENA_SIZE) return -1;
      region_size = EFFECTS_ARENA_SIZE - at;
      g_big_users++;
      g_big_user[base] = true;
    } else if (needed > EFFECT_SMALL_SLOT) {
      const int s = take_slot(g_large, g_large_cursor);
      std::printf("AS 4 (%x)\n", s);
      if (s < 0) {
        std::printf("AS 4b\n");
        return -1;
      }
      g_large[s] = base;
      b.flags |= EFB_LARGE_SLOT;
      region = g_block + kLargeBase + static_cast<uint32_t>(s) * EFFECT_LARGE_SLOT;
      region_size = EFFECT_LARGE_SLOT;
    } else {
      std::printf("AS 5\n");
      int s = take_slot(g_small, g_small_cursor);
      if (s >= 0) {
        std::printf("AS 6 (%x)\n", s);
        g_small[s] = base;
        b.flags &= ~EFB_LARGE_SLOT;
        region = g_block + kSmallBase + static_cast<uint32_t>(s) * EFFECT_SMALL_SLOT;
        region_size = EFFECT_SMALL_SLOT;
      } else {
        s = take_slot(g_large, g_large_cursor);
        if (s < 0) {
          std::printf("AS AIEEEEEEEEEEE\n");
          return -1;
        }
        std::printf("AS 7 (%x)\n", s);
        g_large[s] = base;
        b.flags |= EFB_LARGE_SLOT;
        region = g_block + kLargeBase + static_cast<uint32_t>(s) * EFFECT_LARGE_SLOT;
        region_size = EFFECT_LARGE_SLOT;
      }
    }
  }
  arena_point(region, region_size);
  if (!preload_add(b.filename, &g_arena, nullptr)) {
    effect_base_unload(base);
    return -1;
  }
  g_refs[base]++;
  return 0;
}

int effect_base_request(const char* name) {
  const int n = effect_name_find(name);
  if (n < 0) return -1;
  const EffectBase& b = g_bases[g_names[n].base];
  if (b.resident() || (b.flags & EFB_REQUESTED)) return 0;
  return effect_base_add_streaming(g_names[n].base);
}

void* effect_base_alloc_image(int base, int file_length) {
  if (!valid_base(base)) return nullptr;
  EffectBase& b = g_bases[base];
  if (b.flags & (EFB_RESIDENT | EFB_REQUESTED)) return nullptr;
  const uint32_t bytes = b.first_size + b.second_size();
  // The queue reads the whole file after its header into this memory: a file
  // whose length disagrees with its header would not fit, or leave a hole.
  if (file_length < EFFECT_FILE_HEADER_SIZE ||
      static_cast<uint32_t>(file_length - EFFECT_FILE_HEADER_SIZE) != bytes || bytes == 0) {
    std::printf("Effect file %s: its length does not match its header\n", b.filename);
    g_bad[base] = true;
    if (g_refs[base] > 0) g_refs[base]--;
    return nullptr;
  }
  MemArena* arena = mem_get_arena();
  void* image = arena ? arena->alloc(bytes) : nullptr;
  if (!image) {
    if (g_refs[base] > 0) g_refs[base]--;
    return nullptr;
  }
  b.image = static_cast<uint8_t*>(image);
  if (!(b.flags & EFB_OUTSIDE)) {
    const uint32_t needed = round64(bytes);
    const uint32_t end = region_end(b);
    const uint32_t at = static_cast<uint32_t>(b.image - g_block);
    arena_point(b.image + needed, end > at + needed ? end - at - needed : 0);
  }
  b.flags |= EFB_REQUESTED;
  return image;
}

bool effect_base_loaded(int base) {
  if (!valid_base(base)) return false;
  EffectBase& b = g_bases[base];
  if (!(b.flags & EFB_REQUESTED) || b.resident()) return true;
  g_refs[base] = 0;
  EffectImage img = effect_image_view(b.image, b.first_size, b.second_size(), b.def_count);
  char err[160];
  bool ok = effect_image_check(img, err, sizeof err);
  for (uint32_t i = 0; ok && i < img.def_count; i++) {
    const uint32_t def = effect_image_def_offset(img, static_cast<int>(i));
    if (g_relocate && !g_relocate(img, def)) {
      std::snprintf(err, sizeof err, "definition %u refused", i);
      ok = false;
    }
  }
  if (!ok) {
    // The effect is not available; the queue goes on with its other files.
    std::printf("Effect file %s is damaged: %s\n", b.filename, err);
    g_bad[base] = true;
    effect_base_unload(base);
    return true;
  }
  if (!(b.flags & EFB_OUTSIDE) && g_arena.size - g_arena.used >= kAlign) g_arena.used = round64(g_arena.used);
  b.flags &= ~EFB_REQUESTED;
  b.flags |= EFB_RESIDENT | EFB_FRESH;
  return true;
}

void effect_base_unload(int base) {
  if (!valid_base(base)) return;
  EffectBase& b = g_bases[base];
  b.flags &= ~(EFB_RESIDENT | EFB_REQUESTED);
  b.image = nullptr;
  if (g_big_user[base]) {
    g_big_user[base] = false;
    if (g_big_users > 0 && --g_big_users == 0) big_region_released();
  }
}

int effects_load_preload() {
  if (g_preloaded) return 0;
  const int b = effect_base_find_file("preload.rfx");
  if (b < 0) return -1;
  if (!g_bases[b].resident() && effect_base_page_in(b) != 0) return -1;
  g_preloaded = true;
  const EffectBase& pb = g_bases[b];
  g_preload_mark = in_block(pb.image, 0, EFFECT_PRELOAD_REGION)
                       ? static_cast<uint32_t>(pb.image - g_block) + round64(pb.first_size + pb.second_size())
                       : 0;
  return 0;
}

void effects_reset_arena() {
  arena_point(g_block + g_preload_mark, EFFECTS_ARENA_SIZE - g_preload_mark);
  for (int i = 0; i < g_base_count; i++)
    if (g_bases[i].resident() && in_block(g_bases[i].image, g_preload_mark, EFFECTS_ARENA_SIZE))
      effect_base_unload(i);
}

void effects_release_cutscene_region() {
  for (int i = 0; i < g_base_count && g_big_users > 0; i++)
    if (g_big_user[i]) effect_base_unload(i);
}

void effects_level_reset() {
  for (int s = 0; s < EFFECT_SLOTS; s++) g_small[s] = g_large[s] = -1;
  for (int i = 0; i < g_base_count; i++) {
    g_bases[i].flags &= ~EFB_KEEP;
    if (g_bases[i].resident() && g_bases[i].pool() != EFFECT_POOL_PRELOAD) {
      effect_base_unload(i);
      g_refs[i] = 0;
    }
  }
  reset_element_pools();
}

bool effect_base_is_loaded(const char* filename) {
  const int b = effect_base_find_file(filename);
  return b < 0 || g_bases[b].resident();
}

int effects_all_loaded(const char* const names[25]) {
  for (int i = 0; i < 25; i++) {
    if (!names[i]) continue;
    const int b = effect_base_find_file(names[i]);
    if (b >= 0 && !g_bases[b].resident()) return 0;
  }
  return 1;
}

bool effect_base_outside_arena(int n) {
  if (n < 0 || n >= g_name_count) return false;
  return (g_bases[g_names[n].base].flags & EFB_OUTSIDE) != 0;
}
int effect_base_count() { return g_base_count; }
int effect_name_count() { return g_name_count; }
const EffectBase* effect_base_at(int base) { return valid_base(base) ? &g_bases[base] : nullptr; }
const EffectName* effect_name_at(int n) { return n >= 0 && n < g_name_count ? &g_names[n] : nullptr; }

void effect_base_set_header(int base, int def_count, uint32_t first_size, uint32_t second_size, int version) {
  if (!valid_base(base)) return;
  EffectBase& b = g_bases[base];
  b.def_count = static_cast<uint16_t>(def_count);
  b.version = static_cast<uint16_t>(version);
  b.first_size = first_size;
  b.flags = (b.flags & ~EFB_SECOND_SIZE_MASK) | (second_size & EFB_SECOND_SIZE_MASK);
}

int effect_base_read_header(int base) {
  if (!valid_base(base)) return -1;
  FileHandle fh;
  if (fh.open(g_bases[base].filename, VF_READ) < 0) return -1;
  uint8_t h[EFFECT_FILE_HEADER_SIZE];
  const int got = fh.read(h, EFFECT_FILE_HEADER_SIZE);
  fh.close();
  if (got != EFFECT_FILE_HEADER_SIZE) return -1;
  auto u16 = [&](int o) { return static_cast<uint32_t>(h[o] | h[o + 1] << 8); };
  auto u32 = [&](int o) { return u16(o) | u16(o + 2) << 16; };
  effect_base_set_header(base, static_cast<int>(u16(0)), u32(4), u32(8), static_cast<int>(u16(2)));
  return 0;
}

int effect_base_refs(int base) { return valid_base(base) ? g_refs[base] : 0; }
void effect_base_add_ref(int base) {
  if (valid_base(base) && g_refs[base] < 255) g_refs[base]++;
}
void effect_base_drop_ref(int base) {
  if (valid_base(base) && g_refs[base] > 0) g_refs[base]--;
}
int effect_small_slot(int s) { return s >= 0 && s < EFFECT_SLOTS ? g_small[s] : -1; }
int effect_large_slot(int s) { return s >= 0 && s < EFFECT_SLOTS ? g_large[s] : -1; }
int effect_big_region_users() { return g_big_users; }
bool effect_in_cutscene_pool(const char* filename) {
  const int b = effect_base_find_file(filename);
  return b >= 0 && g_bases[b].pool() == EFFECT_POOL_CUTSCENE;
}
