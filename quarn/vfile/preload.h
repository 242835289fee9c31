#pragma once
// The asset preload queue: up to 100 effect, animation and mesh files read in
// the background one at a time while the game runs. The game-state driver
// steps it once per frame, so preloading never holds a frame up for longer
// than turning one file into its asset. A failed entry stops the whole queue
// until preload_reset.
#include <cstdint>

struct MemArena;

constexpr int MAX_PRELOAD_ENTRIES = 100;
constexpr int PRELOAD_NAME_SIZE = 40;          // 39 characters and the terminator
constexpr int PRELOAD_BUFFER_SIZE = 262144;    // shared by animation and mesh reads
constexpr int PRELOAD_EFFECT_HEADER = 20;      // effect files are read from this byte on

constexpr int PRELOAD_IDLE = 0;
constexpr int PRELOAD_LOADING = 1;
constexpr int PRELOAD_FAILED = 2;
constexpr int PRELOAD_DONE = 3;

constexpr int PRELOAD_KIND_UNKNOWN = -1;
constexpr int PRELOAD_KIND_PEG = 0;  // nothing is read
constexpr int PRELOAD_KIND_RFX = 1;  // effect image
constexpr int PRELOAD_KIND_MVF = 2;  // animation
constexpr int PRELOAD_KIND_VIM = 3;  // mesh

// The kind of a file by its extension, compared without case.
int preload_kind(const char* name);

void preload_init();
// Appends an entry. Refused when the queue has failed or is done, when it is
// full, when the name is null or longer than 39 characters (a cut name would
// load another file).
bool preload_add(const char* name, MemArena* arena, void* target);
// An entry of that name exists (compared without case).
bool preload_contains(const char* name);
// Starts reading the first entry. False when the queue is not idle or the
// first read cannot start (the queue then stays idle); an empty queue, or
// one whose every effect is loaded already, is done at once.
bool preload_start();
// One step while loading; in any other state answers that state.
int preload_tick();
int preload_state();
int preload_count();
void preload_reset();
// Steps until the queue stops loading, then resets it.
void preload_finish_all();

// What the asset code supplies to turn read bytes into assets. A builder
// left null makes entries of its kind fail.
struct PreloadBuilders {
  // Effect images.
  bool (*effect_loaded)(const char* name);      // already in memory: the entry is skipped
  int (*effect_create)(const char* name);       // the effect base's index, or -1
  void* (*effect_alloc_image)(int base, int size);  // memory for the image, or null
  bool (*effect_complete)(int base);            // called once the image is read
  // Animations: the bytes are read into `target`.
  bool (*animation_read)(const uint8_t* data, int size, void* target);
  // Meshes: the mesh made of the bytes, or null; stored through `target`.
  void* (*mesh_read)(const uint8_t* data, int size);
};
void preload_set_builders(const PreloadBuilders& builders);
// The builders in force, so each asset module can fill in its own kinds.
PreloadBuilders preload_builders();

// The file the queue reads through. The game's own goes through the file
// layer's background read; tests put in one they step themselves.
class PreloadFile {
 public:
  virtual ~PreloadFile() = default;
  virtual bool open(const char* name) = 0;
  virtual int length() = 0;                 // bytes, or -1
  virtual bool seek(int offset) = 0;
  // Starts reading n bytes into dest (n may be 0); false when it cannot.
  virtual bool start_read(void* dest, int n) = 0;
  // -1 error, 0 still reading, 1 done.
  virtual int poll() = 0;
  virtual void close() = 0;
};
// Null restores the file layer's.
void preload_set_file(PreloadFile* file);
