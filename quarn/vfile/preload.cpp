#include "quarn/vfile/preload.h"

#include <strings.h>

#include <cstring>

#include "quarn/os/memory.h"
#include "quarn/vfile/vfile.h"

namespace {
struct PreloadEntry {
  char name[PRELOAD_NAME_SIZE];
  void* target;
  MemArena* arena;
};

// The game's file: the file layer's read, run in the background for large
// reads and collected by polling.
class LayerFile : public PreloadFile {
 public:
  bool open(const char* name) override { return fh_.open(name, VF_READ) >= 0; }
  int length() override { return fh_.size(); }
  bool seek(int offset) override { return fh_.seek(offset, 0) >= 0; }
  bool start_read(void* dest, int n) override {
    if (n == 0) return true;
    const int got = fh_.read(dest, n, 0, true);
    return got >= 0 && fh_.error() == 0;
  }
  int poll() override { return fh_.async_poll(); }
  void close() override { fh_.close(); }

 private:
  FileHandle fh_;
};

// Stands in while nothing is read (".peg"): done on the next poll.
class NoFile : public PreloadFile {
 public:
  bool open(const char*) override { return true; }
  int length() override { return 0; }
  bool seek(int) override { return true; }
  bool start_read(void*, int) override { return true; }
  int poll() override { return 1; }
  void close() override {}
};

PreloadEntry g_entries[MAX_PRELOAD_ENTRIES];
int g_count = 0;
int g_current = -1;
int g_state = PRELOAD_IDLE;
int g_effect = -1;              // the effect base being built
bool g_file_open = false;
MemArena* g_saved_arena = nullptr;
PreloadBuilders g_builders{};
LayerFile g_layer_file;
NoFile g_no_file;
PreloadFile* g_file = &g_layer_file;
PreloadFile* g_reading = nullptr;   // the file the current entry reads through
uint8_t g_buffer[PRELOAD_BUFFER_SIZE];  // shared by animations and meshes
int g_read_size = 0;

void arena_enter(MemArena* arena) {
  g_saved_arena = mem_get_arena();
  mem_set_arena(arena);
}
void arena_leave() { mem_set_arena(g_saved_arena); }

void close_current() {
  if (g_file_open && g_reading) g_reading->close();
  g_file_open = false;
}

// Moves to the next entry, passing effects already in memory.
void advance() {
  g_current++;
  while (g_current < g_count && preload_kind(g_entries[g_current].name) == PRELOAD_KIND_RFX &&
         g_builders.effect_loaded && g_builders.effect_loaded(g_entries[g_current].name))
    g_current++;
}

bool open_effect(const PreloadEntry& e) {
  if (!g_builders.effect_create || !g_builders.effect_alloc_image || !g_builders.effect_complete) return false;
  g_reading = g_file;
  if (!g_reading->open(e.name)) return false;
  g_file_open = true;
  const int length = g_reading->length();
  if (length < PRELOAD_EFFECT_HEADER) return false;
  arena_enter(e.arena);
  g_effect = g_builders.effect_create(e.name);
  // The image gets memory of the whole file's length, so the read of what
  // follows the header always fits.
  void* image = g_effect >= 0 ? g_builders.effect_alloc_image(g_effect, length) : nullptr;
  arena_leave();
  if (!image) return false;
  return g_reading->seek(PRELOAD_EFFECT_HEADER) && g_reading->start_read(image, length - PRELOAD_EFFECT_HEADER);
}

bool open_into_buffer(const PreloadEntry& e) {
  g_reading = g_file;
  if (!g_reading->open(e.name)) return false;
  g_file_open = true;
  const int length = g_reading->length();
  if (length < 0 || length > PRELOAD_BUFFER_SIZE) return false;
  g_read_size = length;
  return g_reading->start_read(g_buffer, length);
}

// Opens the current entry and starts its read.
bool open_current() {
  const PreloadEntry& e = g_entries[g_current];
  bool ok;
  switch (preload_kind(e.name)) {
    case PRELOAD_KIND_PEG:
      g_reading = &g_no_file;
      g_file_open = true;
      ok = true;
      break;
    case PRELOAD_KIND_RFX:
      ok = open_effect(e);
      break;
    case PRELOAD_KIND_MVF:
    case PRELOAD_KIND_VIM:
      ok = open_into_buffer(e);
      break;
    default:
      ok = false;
  }
  if (!ok) close_current();
  return ok;
}

// Turns the bytes of the completed read into the asset.
bool finish_current() {
  const PreloadEntry& e = g_entries[g_current];
  const int kind = preload_kind(e.name);
  close_current();
  bool ok = true;
  arena_enter(e.arena);
  switch (kind) {
    case PRELOAD_KIND_RFX:
      ok = g_builders.effect_complete(g_effect);
      g_effect = -1;
      break;
    case PRELOAD_KIND_MVF:
      ok = e.target && g_builders.animation_read && g_builders.animation_read(g_buffer, g_read_size, e.target);
      break;
    case PRELOAD_KIND_VIM: {
      void* mesh = e.target && g_builders.mesh_read ? g_builders.mesh_read(g_buffer, g_read_size) : nullptr;
      if (mesh) *static_cast<void**>(e.target) = mesh;
      ok = mesh != nullptr;
      break;
    }
    default:
      break;
  }
  arena_leave();
  return ok;
}
}  // namespace

int preload_kind(const char* name) {
  if (!name) return PRELOAD_KIND_UNKNOWN;
  const char* dot = std::strrchr(name, '.');
  if (!dot) return PRELOAD_KIND_UNKNOWN;
  static const char* const kinds[] = {".peg", ".rfx", ".mvf", ".vim"};
  for (int k = 0; k < 4; k++)
    if (strcasecmp(dot, kinds[k]) == 0) return k;
  // Effect files of both extensions are the same kind of image.
  if (strcasecmp(dot, ".vfx") == 0) return PRELOAD_KIND_RFX;
  return PRELOAD_KIND_UNKNOWN;
}

void preload_init() {
  g_count = 0;
  g_state = PRELOAD_IDLE;
}

bool preload_add(const char* name, MemArena* arena, void* target) {
  if (g_state == PRELOAD_FAILED || g_state == PRELOAD_DONE) return false;
  if (g_count >= MAX_PRELOAD_ENTRIES || !name) return false;
  if (std::strlen(name) >= PRELOAD_NAME_SIZE) return false;
  PreloadEntry& e = g_entries[g_count++];
  std::strcpy(e.name, name);
  e.arena = arena;
  e.target = target;
  return true;
}

bool preload_contains(const char* name) {
  if (!name) return false;
  for (int i = 0; i < g_count; i++)
    if (strcasecmp(g_entries[i].name, name) == 0) return true;
  return false;
}

bool preload_start() {
  if (g_state != PRELOAD_IDLE) return false;
  g_current = -1;
  if (g_count == 0) {
    g_state = PRELOAD_DONE;
    return true;
  }
  advance();
  if (g_current >= g_count) {
    g_state = PRELOAD_DONE;
    return true;
  }
  if (!open_current()) return false;
  g_state = PRELOAD_LOADING;
  return true;
}

int preload_tick() {
  if (g_state != PRELOAD_LOADING) return g_state;
  const int polled = g_reading ? g_reading->poll() : -1;
  if (polled < 0) {
    close_current();
    g_state = PRELOAD_FAILED;
    return g_state;
  }
  if (polled == 0) return PRELOAD_LOADING;
  if (!finish_current()) {
    g_state = PRELOAD_FAILED;
    return g_state;
  }
  advance();
  if (g_current < g_count) g_state = open_current() ? PRELOAD_LOADING : PRELOAD_FAILED;
  else g_state = PRELOAD_DONE;
  return g_state;
}

int preload_state() { return g_state; }
int preload_count() { return g_count; }

void preload_reset() {
  close_current();  // waits for a read still running into memory its owner may free next
  g_count = 0;
  g_state = PRELOAD_IDLE;
  g_effect = -1;
}

void preload_finish_all() {
  while (preload_tick() == PRELOAD_LOADING) {
  }
  preload_reset();
}

void preload_set_builders(const PreloadBuilders& builders) { g_builders = builders; }
PreloadBuilders preload_builders() { return g_builders; }

void preload_set_file(PreloadFile* file) { g_file = file ? file : &g_layer_file; }
