// The level file: one routine per record serves reading and writing, and the
// load checks everything it takes from the file before using it.
#include "Engine/s3d/s3d.h"

#include <strings.h>

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <type_traits>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "Engine/s3d/collide.h"
#include "Engine/s3d/level_objects.h"
#include "quarn/bmpman/bmpman.h"
#include "quarn/bmpman/image_io.h"
#include "quarn/gr/gr.h"
#include "quarn/os/console.h"
#include "quarn/os/memory.h"
#include "quarn/vfile/vfile.h"

LevelData Level;
bool S3d_load_lightmaps = true;

namespace {

bool Test_meshes_on_load = false;
bool P3D_files = false;

CONSOLE_BOOL_VARIABLE(Cmd_load_lightmaps, "load_lightmaps", "Toggles S3d_load_lightmaps",
                      S3d_load_lightmaps);
CONSOLE_BOOL_VARIABLE(Cmd_test_meshes, "test_meshes_on_load", "Toggles Test_meshes_on_load",
                      Test_meshes_on_load);
CONSOLE_BOOL_VARIABLE(Cmd_p3d_files, "p3d_files", "Toggles P3D_files", P3D_files);

void set_lightmap_off(bool on) {
  for (int i = 0; i < Level.instance_count; i++) {
    if (on) Level.instances[i].flags |= MI_LIGHTMAP_OFF;
    else Level.instances[i].flags &= ~MI_LIGHTMAP_OFF;
  }
}
ConsoleCommand Cmd_lmap_off("lmap_off", "", [] { set_lightmap_off(true); });
ConsoleCommand Cmd_lmap_reset("lmap_reset", "", [] { set_lightmap_off(false); });

alignas(16) uint8_t Level_arena_block[S3D_ARENA_SIZE];
MemArena Level_arena;

// The unit normal of a face from its corners (a degenerate face gets zero).
inline vector face_normal(const vector* p, const LevelFace& f) {
  const vector a = p[f.v[0]], b = p[f.v[1]], c = p[f.v[2]];
  const vector e1 = b - a;
  const vector e2 = c - b;
  vector n;
  e1.cross(n, e2);
  // The same sum as vector::length, kept here where the call would cost
  // more than the root on a level's thousands of faces.
  const float len = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
  const float inv = 1.0f / len;
  return len > 0.0f ? n * inv : vector{0.0f, 0.0f, 0.0f};
}

// Every face's normal, four faces to a register where the machine has the
// lanes: the same operations in the same order as face_normal, so the same
// bits. Sixteen faces go through each step together, so that their roots
// and divisions overlap. A position is read as four floats: the point pool
// keeps a spare float after its last point.
void face_normals(const vector* p, LevelFace* faces, int count) {
  int i = 0;
#if defined(__SSE2__)
  constexpr int GROUPS = 4;
  for (; i + 4 * GROUPS <= count; i += 4 * GROUPS) {
    __m128 n[GROUPS][4], len[GROUPS];
    for (int g = 0; g < GROUPS; g++) {
      const LevelFace* f = faces + i + 4 * g;
      __m128 a[4], b[4], c[4];
      for (int k = 0; k < 4; k++) {
        a[k] = _mm_loadu_ps(&p[f[k].v[0]].x);
        b[k] = _mm_loadu_ps(&p[f[k].v[1]].x);
        c[k] = _mm_loadu_ps(&p[f[k].v[2]].x);
      }
      _MM_TRANSPOSE4_PS(a[0], a[1], a[2], a[3]);
      _MM_TRANSPOSE4_PS(b[0], b[1], b[2], b[3]);
      _MM_TRANSPOSE4_PS(c[0], c[1], c[2], c[3]);
      const __m128 e1x = _mm_sub_ps(b[0], a[0]), e1y = _mm_sub_ps(b[1], a[1]), e1z = _mm_sub_ps(b[2], a[2]);
      const __m128 e2x = _mm_sub_ps(c[0], b[0]), e2y = _mm_sub_ps(c[1], b[1]), e2z = _mm_sub_ps(c[2], b[2]);
      n[g][0] = _mm_sub_ps(_mm_mul_ps(e1y, e2z), _mm_mul_ps(e1z, e2y));
      n[g][1] = _mm_sub_ps(_mm_mul_ps(e1z, e2x), _mm_mul_ps(e1x, e2z));
      n[g][2] = _mm_sub_ps(_mm_mul_ps(e1x, e2y), _mm_mul_ps(e1y, e2x));
      len[g] = _mm_sqrt_ps(_mm_add_ps(_mm_add_ps(_mm_mul_ps(n[g][0], n[g][0]), _mm_mul_ps(n[g][1], n[g][1])),
                                      _mm_mul_ps(n[g][2], n[g][2])));
    }
    for (int g = 0; g < GROUPS; g++) {
      const __m128 inv = _mm_div_ps(_mm_set1_ps(1.0f), len[g]);
      const __m128 keep = _mm_cmpgt_ps(len[g], _mm_setzero_ps());
      for (int k = 0; k < 3; k++) n[g][k] = _mm_and_ps(_mm_mul_ps(n[g][k], inv), keep);
      n[g][3] = _mm_setzero_ps();
      _MM_TRANSPOSE4_PS(n[g][0], n[g][1], n[g][2], n[g][3]);
      LevelFace* f = faces + i + 4 * g;
      for (int k = 0; k < 4; k++) {
        float* out = &f[k].normal.x;
        _mm_storel_pi(reinterpret_cast<__m64*>(out), n[g][k]);
        _mm_store_ss(out + 2, _mm_movehl_ps(n[g][k], n[g][k]));
      }
    }
  }
#endif
  for (; i < count; i++) faces[i].normal = face_normal(p, faces[i]);
}

// Whether every value of a 16-bit array is below `limit`.
bool all_below(const uint16_t* a, uint32_t count, int limit) {
  if (limit <= 0) return count == 0;
  if (limit > 0xFFFF) return true;
  uint32_t i = 0;
  bool inside = true;
#if defined(__SSE2__)
  // What a value has above limit - 1 stays in `over`.
  const __m128i top = _mm_set1_epi16(static_cast<int16_t>(limit - 1));
  __m128i over = _mm_setzero_si128();
  for (; i + 8 <= count; i += 8)
    over = _mm_or_si128(over, _mm_subs_epu16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i)), top));
  inside = _mm_movemask_epi8(_mm_cmpeq_epi16(over, _mm_setzero_si128())) == 0xFFFF;
#endif
  for (; i < count; i++) inside = inside && a[i] < limit;
  return inside;
}

// Whether every vertex index of the faces is below V.
bool faces_inside(const LevelFace* faces, int count, int V) {
  if (count <= 0) return true;
  if (V <= 0) return false;
  int i = 0;
  uint32_t top = 0;
#if defined(__SSE2__)
  // Flags and the three indices as four 16-bit lanes; what an index has
  // above V - 1 stays in `over` (the flags' lane is never above 0xFFFF).
  const __m128i limit = _mm_setr_epi16(-1, static_cast<int16_t>(V - 1), static_cast<int16_t>(V - 1),
                                       static_cast<int16_t>(V - 1), -1, -1, -1, -1);
  __m128i over = _mm_setzero_si128();
  static_assert(offsetof(LevelFace, flags) == 0 && offsetof(LevelFace, v) == 2);
  for (; i < count; i++)
    over = _mm_or_si128(over, _mm_subs_epu16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(&faces[i])), limit));
  top = _mm_movemask_epi8(_mm_cmpeq_epi16(over, _mm_setzero_si128())) == 0xFFFF ? 0 : 0xFFFF;
#endif
  for (; i < count; i++) top = std::max<uint32_t>(top, std::max(faces[i].v[0], std::max(faces[i].v[1], faces[i].v[2])));
  return top < uint32_t(V);
}

// The box around a mesh's positions (the first position when it has none
// other; NaN positions after the first are passed over).
void position_box(const vector* p, int count, vector& lo, vector& hi) {
  lo = hi = count > 0 ? p[0] : vector{0.0f, 0.0f, 0.0f};
  int i = 1;
#if defined(__SSE2__)
  if (count > 1) {
    // Two pairs of running bounds, both from the first position, so that
    // each step waits on the one two before.
    __m128 lo0 = _mm_loadu_ps(&p[0].x), hi0 = lo0, lo1 = lo0, hi1 = lo0;
    for (; i + 2 <= count; i += 2) {
      const __m128 a = _mm_loadu_ps(&p[i].x), b = _mm_loadu_ps(&p[i + 1].x);
      lo0 = _mm_min_ps(a, lo0), hi0 = _mm_max_ps(a, hi0);
      lo1 = _mm_min_ps(b, lo1), hi1 = _mm_max_ps(b, hi1);
    }
    float l[4], h[4];
    _mm_storeu_ps(l, _mm_min_ps(lo1, lo0));
    _mm_storeu_ps(h, _mm_max_ps(hi1, hi0));
    lo.set(l[0], l[1], l[2]);
    hi.set(h[0], h[1], h[2]);
  }
#endif
  for (; i < count; i++) {
    const vector q = p[i];
    lo.x = std::min(lo.x, q.x), lo.y = std::min(lo.y, q.y), lo.z = std::min(lo.z, q.z);
    hi.x = std::max(hi.x, q.x), hi.y = std::max(hi.y, q.y), hi.z = std::max(hi.z, q.z);
  }
}

// Why the bitmap manager would end the program on a texture name, or null:
// it must tell the kind of image by the extension, and a PCX or VBM image
// must be there (a missing Targa gets a stand-in). An empty name is none.
const char* texture_name_fault(const char* name) {
  if (!name || !*name) return nullptr;
  const int type = bm_get_type_from_ext(name);
  if (type == BM_TYPE_NONE) return "is no kind of image the game reads";
  if ((type == BM_TYPE_PCX || type == BM_TYPE_VBM) && !image_io_exists(name, BM_ANY_PATH_TYPE)) return "is missing";
  return nullptr;
}

bool has_prefix(const char* s, const char* prefix) {
  return s && strncasecmp(s, prefix, std::strlen(prefix)) == 0;
}

// Little-endian fields in a byte buffer: the level's records decode from the
// file image and encode into the write buffer through the same calls.
template <bool Reading>
class Codec {
  using Bytes = std::conditional_t<Reading, const uint8_t*, uint8_t*>;

 public:
  explicit Codec(Bytes p) : p_(p) {}
  void u16(uint16_t& v) {
    if constexpr (Reading) v = static_cast<uint16_t>(p_[0] | (p_[1] << 8));
    else p_[0] = static_cast<uint8_t>(v), p_[1] = static_cast<uint8_t>(v >> 8);
    p_ += 2;
  }
  void u32(uint32_t& v) {
    if constexpr (Reading) {
      v = uint32_t(p_[0]) | (uint32_t(p_[1]) << 8) | (uint32_t(p_[2]) << 16) | (uint32_t(p_[3]) << 24);
    } else {
      for (int k = 0; k < 4; k++) p_[k] = static_cast<uint8_t>(v >> (8 * k));
    }
    p_ += 4;
  }
  void i16(int16_t& v) {
    uint16_t u = static_cast<uint16_t>(v);
    u16(u);
    v = static_cast<int16_t>(u);
  }
  void i32(int32_t& v) {
    uint32_t u = static_cast<uint32_t>(v);
    u32(u);
    v = static_cast<int32_t>(u);
  }
  void f32(float& v) {
    uint32_t u;
    std::memcpy(&u, &v, 4);
    u32(u);
    std::memcpy(&v, &u, 4);
  }
  void vec(vector& v) {
    f32(v.x);
    f32(v.y);
    f32(v.z);
  }

 private:
  Bytes p_;
};

// Where a load or a write stands: the file, the level, the shared pools and
// their cursors, and why it failed.
//
// A load reads the whole file with one read and the records decode from
// that image: a read through the file handle for every field and array
// cost more than the disk read itself. A write goes through the handle.
struct S3dIo {
  FileHandle* fh;
  bool reading;
  const uint8_t* at;   // reading: the next byte of the image
  const uint8_t* end;
  bool ran_out;        // reading: a record went past the end of the file
  int version;
  LevelData* L;
  const char* section;
  bool failed;

  LevelFace* face_pool;
  InstanceFace* iface_pool;
  vector* point_pool;
  vector* normal_pool;
  vector2* uv_pool;
  int16_t* value_pool;
  uint8_t* color_pool;
  int32_t* int_pool;
  int64_t face_cur, iface_cur, point_cur, vert_cur, color_cur, int_cur;

  // The next n bytes of the image, or null once the file ends before them
  // (every later read is null too, as after a failed read of a file).
  const uint8_t* next(int64_t n) {
    if (ran_out || n < 0 || n > end - at) {
      ran_out = true;
      return nullptr;
    }
    const uint8_t* p = at;
    at += n;
    return p;
  }
  // Fields: decoded from the image when reading (left as they are when the
  // file ends), written through the handle otherwise.
  template <typename T, typename Decode>
  void field(T* v, int n, Decode decode, void (FileHandle::*write)(T*, int, T)) {
    if (!reading) return (fh->*write)(v, 0, T{});
    if (const uint8_t* p = next(n)) {
      Codec<true> c(p);
      decode(c, *v);
    }
  }
  void serialize_int(int32_t* v) { field(v, 4, [](auto& c, int32_t& x) { c.i32(x); }, &FileHandle::serialize_int); }
  void serialize_uint(uint32_t* v) { field(v, 4, [](auto& c, uint32_t& x) { c.u32(x); }, &FileHandle::serialize_uint); }
  void serialize_short(int16_t* v) { field(v, 2, [](auto& c, int16_t& x) { c.i16(x); }, &FileHandle::serialize_short); }
  void serialize_float(float* v) { field(v, 4, [](auto& c, float& x) { c.f32(x); }, &FileHandle::serialize_float); }
  void serialize_vector(vector* v) {
    if (!reading) return fh->serialize_vector(v);
    if (const uint8_t* p = next(12)) Codec<true>(p).vec(*v);
  }
  // Reading: the next four floats as a rotation, false once the file ends.
  bool read_quaternion(quaternion& q) {
    const uint8_t* p = next(16);
    if (!p) return false;
    float f[4];
    Codec<true> c(p);
    for (float& x : f) c.f32(x);
    q.set(f[0], f[1], f[2], f[3]);
    return true;
  }
  void serialize_quaternion(quaternion* q) {
    if (!reading) return fh->serialize_quaternion(q);
    read_quaternion(*q);
  }
  // A rotation stored as four floats and kept as a matrix.
  void serialize_quaternion(matrix* m) {
    if (!reading) return fh->serialize_quaternion(m);
    if (quaternion q; read_quaternion(q)) q.to_matrix(*m);
  }
  // Stored as the third row, then the first, then the second.
  void serialize_matrix(matrix* m) {
    if (!reading) return fh->serialize_matrix(m);
    if (const uint8_t* p = next(36)) {
      Codec<true> c(p);
      c.vec(m->forward);
      c.vec(m->right);
      c.vec(m->up);
    }
  }
  void serialize_bytes(void* block, int n) {
    if (!reading) return fh->serialize_bytes(block, n);
    if (const uint8_t* p = next(n); p && n > 0) std::memcpy(block, p, static_cast<size_t>(n));
  }
};

bool fail(S3dIo& io, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
bool fail(S3dIo& io, const char* fmt, ...) {
  if (io.failed) return false;
  io.failed = true;
  char why[256];
  va_list ap;
  va_start(ap, fmt);
  std::vsnprintf(why, sizeof why, fmt, ap);
  va_end(ap);
  std::printf("Level %s refused (%s): %s\n", io.L->file_name ? io.L->file_name : "?", io.section, why);
  return false;
}

// False (with the message) when the handle reports a read error.
bool io_ok(S3dIo& io) {
  if (io.failed) return false;
  if (io.reading && io.ran_out) return fail(io, "the file ends inside a record");
  return true;
}

void* arena_alloc(S3dIo& io, int64_t count, int64_t size) {
  if (count <= 0) return nullptr;
  const int64_t bytes = count * size;
  void* p = bytes <= static_cast<int64_t>(S3D_ARENA_SIZE) ? Level_arena.alloc(static_cast<uint32_t>(bytes))
                                                        : nullptr;
  if (!p) fail(io, "%lld bytes do not fit in the level memory", static_cast<long long>(bytes));
  return p;
}

template <typename T>
T* take(S3dIo& io, T* pool, int64_t& cursor, int64_t total, int64_t count, const char* what) {
  if (count <= 0) return nullptr;
  if (count > total - cursor) {
    fail(io, "more %s than the header's total of %lld", what, static_cast<long long>(total));
    return nullptr;
  }
  T* p = pool + cursor;
  cursor += count;
  return p;
}

void serialize_name(S3dIo& io, const char** field, int size, bool keep = true) {
  if (!io.reading) {
    io.fh->write_counted_string(*field ? *field : "");
    return;
  }
  // A counted string: at most size - 1 characters kept, the rest skipped.
  char buf[S3D_VERTEX_ANIM_NAME_LENGTH];
  size = std::min<int>(size, sizeof buf);
  const uint8_t* count = io.next(2);
  const int n = count ? count[0] | (count[1] << 8) : 0;
  const int kept = std::min(n, size - 1);
  const uint8_t* text = io.next(n);
  if (!io_ok(io) || !keep) return;
  std::memcpy(buf, text, static_cast<size_t>(kept));
  buf[kept] = 0;
  if (static_cast<int>(std::strlen(buf)) + 1 > io.L->strings.free_bytes()) {
    fail(io, "the names do not fit in the level's string pool");
    return;
  }
  *field = io.L->strings.add(buf);
}

// Whole-array field decoders. Each field is still read as itself, little
// end first; the restrict pointers only tell the compiler that the file's
// bytes and the level's arrays never overlap, so it may move many fields per
// instruction.
template <typename T>
inline T le_load(const uint8_t* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  if constexpr (std::endian::native == std::endian::big) {
    if constexpr (sizeof(T) == 2) v = static_cast<T>(__builtin_bswap16(static_cast<uint16_t>(v)));
    if constexpr (sizeof(T) == 4) v = static_cast<T>(__builtin_bswap32(static_cast<uint32_t>(v)));
  }
  return v;
}
inline float le_f32(const uint8_t* p) { return std::bit_cast<float>(le_load<uint32_t>(p)); }

// The decoders are worth the full vectoriser even where the build is tuned
// for size of code.
#if defined(__GNUC__) && !defined(__clang__)
#define S3D_WIDE_LOOP __attribute__((optimize("tree-vectorize", "vect-cost-model=dynamic")))
#else
#define S3D_WIDE_LOOP
#endif

S3D_WIDE_LOOP void read_vectors(vector* __restrict out, const uint8_t* __restrict p, int64_t n) {
  for (int64_t i = 0; i < n; i++, p += 12) {
    out[i].x = le_f32(p);
    out[i].y = le_f32(p + 4);
    out[i].z = le_f32(p + 8);
  }
}
template <typename T>
S3D_WIDE_LOOP void read_scalars(T* __restrict out, const uint8_t* __restrict p, int64_t n) {
  for (int64_t i = 0; i < n; i++) out[i] = le_load<T>(p + i * static_cast<int64_t>(sizeof(T)));
}
S3D_WIDE_LOOP void read_floats(float* __restrict out, const uint8_t* __restrict p, int64_t n) {
  for (int64_t i = 0; i < n; i++) out[i] = le_f32(p + 4 * i);
}
S3D_WIDE_LOOP void read_uvs(vector2* __restrict out, const uint8_t* __restrict p, int64_t n) {
  for (int64_t i = 0; i < n; i++, p += 8) {
    out[i].x = le_f32(p);
    out[i].y = le_f32(p + 4);
  }
}
S3D_WIDE_LOOP void read_faces(LevelFace* __restrict out, const uint8_t* __restrict p, int64_t n) {
  for (int64_t i = 0; i < n; i++, p += 20) {
    out[i].flags = le_load<uint16_t>(p);
    out[i].v[0] = le_load<uint16_t>(p + 2);
    out[i].v[1] = le_load<uint16_t>(p + 4);
    out[i].v[2] = le_load<uint16_t>(p + 6);
    out[i].normal.x = le_f32(p + 8);
    out[i].normal.y = le_f32(p + 12);
    out[i].normal.z = le_f32(p + 16);
  }
}
S3D_WIDE_LOOP void read_nodes(CollisionNode* __restrict out, const uint8_t* __restrict p, int64_t n) {
  for (int64_t i = 0; i < n; i++, p += 12) {
    out[i].word0 = le_load<uint32_t>(p);
    out[i].d = le_f32(p + 4);
    out[i].word2 = le_load<uint32_t>(p + 8);
  }
}

// `count` records of `size` bytes, each read or written by fn(codec, i).
// `read`, when given, decodes the whole array at once on reading; it must
// read the same fields as fn.
template <typename Fn, typename Read = std::nullptr_t>
bool bulk(S3dIo& io, int64_t count, int64_t size, Fn fn, Read read = nullptr) {
  if (io.failed) return false;
  if (count <= 0) return true;
  const int64_t bytes = count * size;
  if (bytes > 0x7FFFFFFF) return fail(io, "an array of %lld bytes", static_cast<long long>(bytes));
  if (io.reading) {
    const uint8_t* p = io.next(bytes);
    if (!p) return fail(io, "the file ends inside a record");
    if constexpr (!std::is_null_pointer_v<Read>) {
      read(p, count);
    } else {
      Codec<true> c(p);
      for (int64_t i = 0; i < count; i++) fn(c, i);
    }
    return true;
  }
  static std::vector<uint8_t> buffer;
  buffer.resize(static_cast<size_t>(bytes));
  Codec<false> c(buffer.data());
  for (int64_t i = 0; i < count; i++) fn(c, i);
  io.fh->write(buffer.data(), static_cast<int>(bytes));
  return io_ok(io);
}

bool serialize_vectors(S3dIo& io, vector* v, int64_t n) {
  return bulk(io, n, 12, [v](auto& c, int64_t i) { c.vec(v[i]); },
              [v](const uint8_t* p, int64_t k) { read_vectors(v, p, k); });
}

bool serialize_floats(S3dIo& io, float* v, int64_t n) {
  return bulk(io, n, 4, [v](auto& c, int64_t i) { c.f32(v[i]); },
              [v](const uint8_t* p, int64_t k) { read_floats(v, p, k); });
}

bool serialize_ushorts(S3dIo& io, uint16_t* v, int64_t n) {
  return bulk(io, n, 2, [v](auto& c, int64_t i) { c.u16(v[i]); },
              [v](const uint8_t* p, int64_t k) { read_scalars(v, p, k); });
}

bool serialize_ints(S3dIo& io, int32_t* v, int64_t n) {
  return bulk(io, n, 4, [v](auto& c, int64_t i) { c.i32(v[i]); },
              [v](const uint8_t* p, int64_t k) { read_scalars(v, p, k); });
}

// ---- Header and textures --------------------------------------------------

void serialize_header(S3dIo& io, S3dHeader* h) {
  int32_t* ints[] = {&h->version, &h->mesh_count, &h->instance_count, &h->node_count,
                     &h->point_list_count, &h->named_points_count, &h->light_count,
                     &h->vis_group_count, &h->movable_count, &h->lightmap_count, &h->texture_count,
                     &h->vertex_anim_count, &h->total_faces, &h->total_instance_faces,
                     &h->total_vertices, &h->total_points, &h->int_pool_size, &h->color_bytes,
                     &h->texture_block_size, &h->surface_count};
  for (int32_t* v : ints) io.serialize_int(v);
  for (float& f : h->ambient) io.serialize_float(&f);
}

bool check_header(S3dIo& io, const S3dHeader& h) {
  const int32_t* counts = &h.mesh_count;
  for (int i = 0; i < 19; i++)
    if (counts[i] < 0) return fail(io, "a negative count in the header");
  if (h.instance_count > 0x7FFF || h.movable_count > 0x7FFF)
    return fail(io, "more instances than the level can hold");
  if (h.lightmap_count > 0x7FFFFF) return fail(io, "more lightmaps than a face can name");
  return true;
}

bool serialize_textures(S3dIo& io) {
  LevelData& L = *io.L;
  io.section = "textures";
  int32_t size = L.texture_block_size;
  io.serialize_int(&size);
  if (!io_ok(io)) return false;
  if (io.reading) {
    if (size != L.header.texture_block_size) return fail(io, "the name block size differs from the header");
    L.texture_block = static_cast<char*>(arena_alloc(io, size, 1));
    if (size > 0 && !L.texture_block) return false;
  }
  if (size > 0) io.serialize_bytes(L.texture_block, size);
  if (!io_ok(io)) return false;
  if (io.reading) {
    // Every name must end inside the block, or bm_load would read past it,
    // and be one the bitmap manager can take without ending the program.
    int at = 0;
    for (int i = 0; i < L.texture_count; i++) {
      const void* end = at < size ? std::memchr(L.texture_block + at, 0, size - at) : nullptr;
      if (!end) return fail(io, "texture name %d is not terminated inside the block", i);
      if (const char* why = texture_name_fault(L.texture_block + at))
        return fail(io, "texture %d, %s, %s", i, L.texture_block + at, why);
      at = static_cast<int>(static_cast<const char*>(end) - L.texture_block) + 1;
    }
    L.texture_handles = take(io, io.int_pool, io.int_cur, L.header.int_pool_size, L.texture_count,
                             "pool ints");
    if (io.failed) return false;
    for (int i = 0; i < L.texture_count; i++) L.texture_handles[i] = -1;
    load_progress_tick();
  }
  return true;
}

// ---- Lightmaps ----------------------------------------------------------------

bool serialize_lightmaps(S3dIo& io) {
  LevelData& L = *io.L;
  io.section = "lightmaps";
  if (io.reading) {
    L.lightmap_handles = take(io, io.int_pool, io.int_cur, L.header.int_pool_size, L.lightmap_count,
                              "pool ints");
    L.lightmap_pixels = static_cast<uint16_t**>(arena_alloc(io, L.lightmap_count, sizeof(uint16_t*)));
    L.lightmap_sizes = static_cast<int16_t*>(arena_alloc(io, L.lightmap_count, 2 * sizeof(int16_t)));
    if (io.failed) return false;
    for (int i = 0; i < L.lightmap_count; i++) {
      L.lightmap_handles[i] = -1;
      L.lightmap_pixels[i] = nullptr;
    }
  }
  for (int i = 0; i < L.lightmap_count; i++) {
    int16_t* wh = &L.lightmap_sizes[2 * i];
    io.serialize_short(&wh[0]);
    io.serialize_short(&wh[1]);
    if (!io_ok(io)) return false;
    const int w = wh[0], h = wh[1];
    if (w < 1 || h < 1) return fail(io, "lightmap %d is %d by %d", i, w, h);
    const int bytes = w * h * 2;
    if (!io.reading) {
      std::vector<uint16_t> blank;
      uint16_t* px = L.lightmap_pixels[i];
      if (!px) {
        blank.assign(size_t(w) * h, 0);
        px = blank.data();
      }
      if (!serialize_ushorts(io, px, int64_t(w) * h)) return false;
      continue;
    }
    if (!S3d_load_lightmaps) {
      if (!io.next(bytes)) return fail(io, "the file ends inside lightmap %d", i);
      continue;
    }
    if (bytes > S3D_LIGHTMAP_MAX_BYTES) return fail(io, "Lightmap too big to be loaded!");
    // Each lightmap keeps its own pixels: the renderer's texture cache may
    // upload it again long after the load.
    uint16_t* pixels = static_cast<uint16_t*>(arena_alloc(io, w * h, 2));
    if (!pixels) return false;
    if (!serialize_ushorts(io, pixels, int64_t(w) * h)) return false;
    L.lightmap_pixels[i] = pixels;
    L.lightmap_handles[i] = bm_create(BM_FORMAT_1555, w, h, pixels);
    if (L.lightmap_handles[i] >= 0) gr_preload(L.lightmap_handles[i], 1);
  }
  load_progress_tick();
  return true;
}

// ---- Meshes and collision trees ---------------------------------------------

bool serialize_mesh(S3dIo& io, LevelMesh& m) {
  serialize_name(io, &m.name, S3D_NAME_LENGTH);
  io.serialize_int(&m.kind);
  io.serialize_int(&m.vertex_count);
  io.serialize_int(&m.face_count);
  io.serialize_int(&m.extra_count);
  io.serialize_vector(&m.center);
  io.serialize_float(&m.radius);
  if (!io_ok(io)) return false;
  const int V = m.vertex_count, F = m.face_count, E = m.extra_count;
  if (io.reading) {
    if (V < 0 || F < 0 || E < 0) return fail(io, "mesh %s has a negative count", m.name);
    if (V > S3D_MAX_MESH_VERTICES)
      return fail(io, "mesh %s has %d vertices, more than the level renderer's %d", m.name, V,
                  S3D_MAX_MESH_VERTICES);
    m.positions = take(io, io.point_pool, io.point_cur, io.L->header.total_points, V, "points");
    const int64_t vert_start = io.vert_cur;
    m.normals = take(io, io.normal_pool, io.vert_cur, io.L->header.total_vertices, V, "mesh vertices");
    if (m.normals) {
      m.uvs = io.uv_pool + vert_start;
      m.values = io.value_pool + vert_start;
    }
    m.faces = take(io, io.face_pool, io.face_cur, io.L->header.total_faces, F, "faces");
    m.extra = static_cast<int32_t*>(arena_alloc(io, E, 4));
    if (io.failed) return false;
  }
  if (V > 0) {
    serialize_vectors(io, m.positions, V);
    serialize_vectors(io, m.normals, V);
    bulk(
        io, V, 8,
        [&m](auto& c, int64_t i) {
          c.f32(m.uvs[i].x);
          c.f32(m.uvs[i].y);
        },
        [&m](const uint8_t* p, int64_t k) { read_uvs(m.uvs, p, k); });
    bulk(
        io, V, 2, [&m](auto& c, int64_t i) { c.i16(m.values[i]); },
        [&m](const uint8_t* p, int64_t k) { read_scalars(m.values, p, k); });
  }
  bulk(
      io, F, 20,
      [&m](auto& c, int64_t i) {
        LevelFace& f = m.faces[i];
        c.u16(f.flags);
        for (uint16_t& v : f.v) c.u16(v);
        c.vec(f.normal);
      },
      [&m](const uint8_t* p, int64_t k) { read_faces(m.faces, p, k); });
  if (!io_ok(io)) return false;
  if (io.reading) {
    // Every vertex a face uses is checked before any normal reads it.
    if (!faces_inside(m.faces, F, V)) {
      for (int i = 0; i < F; i++)
        for (uint16_t v : m.faces[i].v)
          if (v >= V) return fail(io, "face %d of mesh %s uses vertex %d of %d", i, m.name, v, V);
    }
    face_normals(m.positions, m.faces, F);
    position_box(m.positions, V, m.box_min, m.box_max);
  }
  if (!serialize_ints(io, m.extra, E)) return false;
  load_progress_tick();
  return true;
}

// A child or face reference that points outside the tree refuses it, as does
// a child that is the root or has a second parent: the walk starts at node 0,
// so with one parent for each node it can never come round again, whatever
// order the nodes are numbered in.
bool check_tree(S3dIo& io, const LevelMesh& m) {
  const CollisionTree& t = m.tree;
  std::vector<uint8_t> has_parent(t.node_count, 0);
  // When no entry of the face lists reaches past the faces, only the lists'
  // bounds need a look at each node.
  const bool lists_inside = all_below(t.face_list, t.face_list_length, m.face_count);
  for (uint32_t i = 0; i < t.node_count; i++) {
    const CollisionNode& n = t.nodes[i];
    const uint32_t c = n.word2 & 0xFFFF;
    const bool first = n.word0 & CNODE_FIRST_CHILD, second = n.word0 & CNODE_SECOND_CHILD;
    if (first || second) {
      const uint32_t last = c + (first && second ? 1 : 0);
      if (c == 0 || last >= t.node_count)
        return fail(io, "node %u of mesh %s has child %u of %u", i, m.name, c, t.node_count);
      for (uint32_t k = c; k <= last; k++) {
        if (has_parent[k]) return fail(io, "node %u of mesh %s has two parents", k, m.name);
        has_parent[k] = 1;
      }
    }
    const uint32_t ref = (n.word2 >> 16) & 0x7FFF;
    if (n.word2 & CNODE_FACE_LIST) {
      if (ref >= t.face_list_length || ref + 1u + t.face_list[ref] > t.face_list_length)
        return fail(io, "node %u of mesh %s lists faces past the list's end", i, m.name);
      for (uint32_t k = 0; k < t.face_list[ref] && !lists_inside; k++)
        if (t.face_list[ref + 1 + k] >= static_cast<uint32_t>(m.face_count))
          return fail(io, "node %u of mesh %s lists face %u of %d", i, m.name, t.face_list[ref + 1 + k],
                      m.face_count);
    } else if (ref != CNODE_NO_FACE && ref >= static_cast<uint32_t>(m.face_count)) {
      return fail(io, "node %u of mesh %s names face %u of %d", i, m.name, ref, m.face_count);
    }
  }
  return true;
}

bool serialize_tree(S3dIo& io, LevelMesh& m) {
  CollisionTree& t = m.tree;
  io.serialize_uint(&t.node_count);
  io.serialize_uint(&t.second_count);
  io.serialize_uint(&t.face_list_length);
  if (!io_ok(io)) return false;
  if (io.reading) {
    if (t.node_count > 0xFFFF || t.face_list_length > 0x7FFF)
      return fail(io, "the tree of mesh %s is larger than its references reach", m.name);
    t.nodes = static_cast<CollisionNode*>(arena_alloc(io, t.node_count, sizeof(CollisionNode)));
    t.face_list = static_cast<uint16_t*>(arena_alloc(io, t.face_list_length, 2));
    if (io.failed) return false;
  }
  bulk(
      io, t.node_count, 12,
      [&t](auto& c, int64_t i) {
        c.u32(t.nodes[i].word0);
        c.f32(t.nodes[i].d);
        c.u32(t.nodes[i].word2);
      },
      [&t](const uint8_t* p, int64_t k) { read_nodes(t.nodes, p, k); });
  if (!serialize_ushorts(io, t.face_list, t.face_list_length)) return false;
  return !io.reading || check_tree(io, m);
}

// ---- Instances ------------------------------------------------------------------

void check_orientation(const LevelMeshInstance& mi) {
  const matrix& m = mi.orient;
  bool bad = false;
  for (int i = 0; i < 3; i++) {
    if (std::fabs(m.row(i).length() - 1.0f) > 0.03f) bad = true;
    if (std::fabs(vector::dot(m.row(i), m.row((i + 1) % 3))) > 0.03f) bad = true;
  }
  if (bad) std::printf("WARNING: mesh '%s' may have an invalid orientation matrix!\n", mi.name);
}

// `textured` (reading): whether some face has a texture slot.
bool serialize_instance(S3dIo& io, LevelMeshInstance& mi, bool* textured) {
  LevelData& L = *io.L;
  serialize_name(io, &mi.name, S3D_NAME_LENGTH);
  const char* discarded = "";
  serialize_name(io, &discarded, S3D_NAME_LENGTH, false);
  io.serialize_int(&mi.mesh_index);
  if (!io_ok(io)) return false;
  if (io.reading) {
    if (mi.mesh_index < 0 || mi.mesh_index >= L.mesh_count)
      return fail(io, "instance %s uses mesh %d of %d", mi.name, mi.mesh_index, L.mesh_count);
    mi.mesh = &L.meshes[mi.mesh_index];
    mi.faces = take(io, io.iface_pool, io.iface_cur, L.header.total_instance_faces, mi.mesh->face_count,
                    "instance faces");
    mi.colors = take(io, io.color_pool, io.color_cur, L.header.color_bytes,
                     int64_t(mi.mesh->vertex_count) * 3, "colour bytes");
    if (io.failed) return false;
  }
  const int F = mi.mesh->face_count, V = mi.mesh->vertex_count;
  const bool old_layout = io.version < S3D_VERSION_LIGHTMAP_UV_AFTER;
  // Older files put the six corner coordinates in front of every face.
  static std::vector<float> old_uvs;
  if (old_layout) {
    old_uvs.assign(size_t(F) * 6, 0.0f);
    if (!io.reading && mi.lightmap_uvs)
      for (int i = 0; i < F; i++)
        if (instance_face_lightmap(mi.faces[i]) >= 0)
          std::memcpy(&old_uvs[6 * i], mi.lightmap_uvs + 6 * i, 6 * sizeof(float));
  }
  const bool reading = io.reading;
  // Reading: the highest slot and lightmap, checked once the faces are in;
  // the face is looked for only in a damaged file.
  uint32_t top_texture = 0;
  int top_lightmap = -1;
  bulk(io, F, old_layout ? 32 : 8, [&](auto& c, int64_t i) {
    if (old_layout)
      for (int k = 0; k < 6; k++) c.f32(old_uvs[6 * i + k]);
    InstanceFace& f = mi.faces[i];
    int32_t word = static_cast<int32_t>(f.lightmap << 8) >> 8;
    int16_t high = static_cast<int8_t>(f.lightmap >> 24);
    c.u16(f.texture);
    c.i32(word);
    c.i16(high);
    if (reading) {
      f.lightmap = (static_cast<uint32_t>(word) & 0xFFFFFF) | (static_cast<uint32_t>(high & 0xFF) << 24);
      top_texture = std::max<uint32_t>(top_texture, f.texture);
      top_lightmap = std::max(top_lightmap, static_cast<int32_t>(static_cast<uint32_t>(word) << 8) >> 8);
    }
  });
  if (!io_ok(io)) return false;
  // They are kept, as the newer layout keeps them, for faces with a lightmap.
  if (io.reading && old_layout) {
    for (int i = 0; i < F; i++) {
      if (instance_face_lightmap(mi.faces[i]) < 0) continue;
      if (!mi.lightmap_uvs) {
        mi.lightmap_uvs = static_cast<float*>(arena_alloc(io, F, 24));
        if (!mi.lightmap_uvs) return false;
        std::memset(mi.lightmap_uvs, 0, size_t(F) * 24);
      }
      std::memcpy(mi.lightmap_uvs + 6 * i, &old_uvs[6 * i], 6 * sizeof(float));
    }
  }
  if (io.reading) {
    if (top_texture > uint32_t(L.texture_count) || top_lightmap >= L.lightmap_count) {
      for (int i = 0; i < F; i++) {
        const InstanceFace& f = mi.faces[i];
        if (f.texture > L.texture_count)
          return fail(io, "instance %s face %d uses texture %d of %d", mi.name, i, f.texture, L.texture_count);
        const int lm = instance_face_lightmap(f);
        if (lm >= L.lightmap_count)
          return fail(io, "instance %s face %d uses lightmap %d of %d", mi.name, i, lm, L.lightmap_count);
      }
    }
    *textured = top_texture > 0;
  }
  if (V > 0) io.serialize_bytes(mi.colors, V * 3);
  if (!old_layout && F > 0 && instance_face_lightmap(mi.faces[0]) >= 0) {
    if (io.reading) {
      mi.lightmap_uvs = static_cast<float*>(arena_alloc(io, F, 24));
      if (!mi.lightmap_uvs) return false;
    }
    serialize_floats(io, mi.lightmap_uvs, int64_t(F) * 6);
  }
  io.serialize_vector(&mi.pos);
  io.serialize_matrix(&mi.orient);
  io.serialize_vector(&mi.bound_center);
  io.serialize_vector(&mi.bound_min);
  io.serialize_vector(&mi.bound_max);
  int32_t sector = mi.sector[0];
  io.serialize_int(&sector);
  io.serialize_uint(&mi.flags);
  if (!io_ok(io)) return false;
  if (!io.reading) return true;
  mi.sector[0] = static_cast<int8_t>(sector & 0xFF);
  check_orientation(mi);
  return true;
}

// What the load derives for an instance once its fields are in.
void instance_fixups(LevelMeshInstance& mi, bool glide, bool ocean, bool textured) {
  mi.flags = s3d_name_flags(mi.name, mi.flags, glide, ocean);
  if (textured) mi.flags &= ~MI_UNTEXTURED;
  else mi.flags |= MI_UNTEXTURED;
  mi.flags &= ~(MI_VIS_SEEN | MI_VIS_MEMBER);
  if ((mi.flags & MI_NO_LIGHTMAP_FILE) || !S3d_load_lightmaps)
    for (int i = 0; i < mi.mesh->face_count; i++)
      mi.faces[i].lightmap = (mi.faces[i].lightmap & 0xFF000000u) | S3D_LIGHTMAP_NONE;
}

// ---- Lists, nodes, movables, lights, groups, surfaces, vertex animation ----

// A list's points, taken from the shared pool when reading.
bool serialize_points(S3dIo& io, vector*& points, int count) {
  if (io.reading) {
    points = take(io, io.point_pool, io.point_cur, io.L->header.total_points, count, "points");
    if (io.failed) return false;
  }
  serialize_vectors(io, points, count);
  return io_ok(io);
}

bool serialize_point_list(S3dIo& io, LevelPointList& p) {
  io.serialize_int(&p.count);
  io.serialize_int(&p.value);
  io.serialize_bytes(p.bytes, 4);
  if (!io_ok(io)) return false;
  if (io.reading && p.count < 0) return fail(io, "a negative point count");
  return serialize_points(io, p.points, p.count);
}

bool serialize_node(S3dIo& io, LevelNode& n) {
  serialize_name(io, &n.name, S3D_NAME_LENGTH);
  io.serialize_quaternion(&n.orient);
  io.serialize_vector(&n.pos);
  return io_ok(io);
}

bool serialize_named_points(S3dIo& io, LevelNamedPoints& p) {
  serialize_name(io, &p.name, S3D_NAME_LENGTH);
  io.serialize_int(&p.value);
  io.serialize_int(&p.count);
  if (!io_ok(io)) return false;
  if (io.reading && p.count < 0) return fail(io, "list %s has a negative point count", p.name);
  return serialize_points(io, p.points, p.count);
}

bool serialize_movable(S3dIo& io, LevelMovableMesh& m, int index) {
  io.serialize_int(&m.instance);
  io.serialize_short(&m.named_points);
  io.serialize_short(&m.second_index);
  io.serialize_float(&m.travel_time);
  io.serialize_vector(&m.closed_pos);
  io.serialize_quaternion(&m.closed_orient);
  io.serialize_vector(&m.open_pos);
  io.serialize_quaternion(&m.open_orient);
  if (!io_ok(io)) return false;
  if (!io.reading) return true;
  const LevelData& L = *io.L;
  if (m.instance < 0 || m.instance >= L.instance_count)
    return fail(io, "movable %d names instance %d of %d", index, m.instance, L.instance_count);
  // The lookups search by instance, so the file must keep them in order.
  if (index > 0 && m.instance <= L.movables[index - 1].instance)
    return fail(io, "movable %d is out of instance order", index);
  if (m.named_points < -1 || m.named_points >= L.named_points_count)
    return fail(io, "movable %d names point list %d of %d", index, m.named_points, L.named_points_count);
  m.stamp.invalidate();
  m.floor_point.zero();
  m.state = 0;
  m.runtime_f[0] = m.runtime_f[1] = 0.0f;
  m.runtime_i = 0;
  std::memset(m.runtime_b, 0, sizeof m.runtime_b);
  m.open_sound = m.close_sound = -1;
  m.name = L.instances[m.instance].name;
  m.open_sound_info = m.close_sound_info = DoorSound{nullptr, 0, 0, 0};
  m.door_flags = 0;
  m.lock_value = 0.0f;
  m.key_item = -1;
  return true;
}

bool serialize_light(S3dIo& io, LevelLight& l) {
  io.serialize_int(&l.type);
  io.serialize_quaternion(&l.orient);
  io.serialize_vector(&l.pos);
  io.serialize_vector(&l.color);
  float* floats[] = {&l.intensity, &l.angle_a, &l.angle_b, &l.near_range, &l.far_range};
  for (float* f : floats) io.serialize_float(f);
  io.serialize_int(&l.flags);
  io.serialize_float(&l.value);
  io.serialize_int(&l.texture);
  if (!io_ok(io)) return false;
  if (io.reading && (l.texture < -1 || l.texture >= io.L->texture_count))
    return fail(io, "a light uses texture %d of %d", l.texture, io.L->texture_count);
  return true;
}

bool serialize_vis_group(S3dIo& io, VisGroup& g) {
  serialize_name(io, &g.name, S3D_NAME_LENGTH);
  io.serialize_int(&g.count);
  if (!io_ok(io)) return false;
  const LevelData& L = *io.L;
  if (io.reading) {
    if (g.count < 0 || g.count > 0xFFFF) return fail(io, "group %s has %d members", g.name, g.count);
    g.members = take(io, io.int_pool, io.int_cur, L.header.int_pool_size, g.count, "pool ints");
    if (io.failed) return false;
  }
  if (!serialize_ints(io, g.members, g.count) || !io.reading) return io_ok(io);
  const bool vis = has_prefix(g.name, "$vis");
  for (int i = 0; i < g.count; i++) {
    const int m = g.members[i];
    if (m < 0 || m >= L.instance_count) return fail(io, "group %s lists instance %d of %d", g.name, m, L.instance_count);
    if (vis) L.instances[m].flags |= MI_VIS_MEMBER;
  }
  return true;
}

bool serialize_surface(S3dIo& io, LevelSurfaceRecord& s) {
  io.serialize_float(&s.a);
  io.serialize_float(&s.b);
  io.serialize_float(&s.c);
  io.serialize_int(&s.value);
  if (!io_ok(io)) return false;
  if (io.reading) {
    s.a = std::clamp(s.a, 0.0f, 1.0f);
    s.c = std::clamp(s.c, 0.0f, 1.0f);
    s.b = s.b > 0.0f ? std::min(s.b, 0.998f) : 0.0f;
  }
  return true;
}

bool serialize_vertex_anim(S3dIo& io, VertexAnimRecord& r, int index) {
  const LevelData& L = *io.L;
  io.serialize_int(&r.instance);
  float* floats[] = {&r.x_scale, &r.z_scale, &r.amplitude, &r.period};
  for (float* f : floats) io.serialize_float(f);
  serialize_name(io, &r.texture_name, S3D_VERTEX_ANIM_NAME_LENGTH);
  io.serialize_uint(&r.count);
  if (!io_ok(io)) return false;
  if (io.reading) {
    if (r.instance < 0 || r.instance >= L.instance_count)
      return fail(io, "record %d names instance %d of %d", index, r.instance, L.instance_count);
    if (index > 0 && r.instance <= L.vertex_anims[index - 1].instance)
      return fail(io, "record %d is out of instance order", index);
    const uint32_t V = static_cast<uint32_t>(L.instances[r.instance].mesh->vertex_count);
    // The renderer reads one weight a vertex of the mesh.
    if (r.count != V) return fail(io, "record %d has %u weights for %u vertices", index, r.count, V);
    if (const char* why = texture_name_fault(r.texture_name))
      return fail(io, "record %d: texture %s %s", index, r.texture_name, why);
    r.weights = r.count ? static_cast<float*>(mem_alloc(r.count * sizeof(float))) : nullptr;
  }
  serialize_floats(io, r.weights, r.count);
  if (!io_ok(io)) return false;
  if (io.reading) r.texture = r.texture_name && *r.texture_name ? bm_load(r.texture_name, -1) : -1;
  return true;
}

// ---- Whole-level steps ------------------------------------------------------

void free_heap_parts(LevelData* L) {
  if (L->vis_base.members) mem_free(L->vis_base.members);
  L->vis_base.members = nullptr;
  L->vis_base.count = 0;
  for (int i = 0; i < L->vertex_anim_count && L->vertex_anims; i++) {
    if (L->vertex_anims[i].weights) mem_free(L->vertex_anims[i].weights);
    L->vertex_anims[i].weights = nullptr;
  }
}

void clear_level(LevelData* L) {
  collide_level_changed();
  free_heap_parts(L);
  for (int i = 0; i < L->lightmap_count && L->lightmap_handles; i++)
    if (L->lightmap_handles[i] != -1) bm_release(L->lightmap_handles[i]);
  L->strings.free();
  L->flags = 0;
  L->version = 0;
  L->file_name = nullptr;
  std::memset(&L->header, 0, sizeof L->header);
  L->mesh_count = L->instance_count = L->point_list_count = L->node_count = 0;
  L->named_points_count = L->light_count = L->vis_group_count = L->surface_count = 0;
  L->movable_count = L->vertex_anim_count = L->lightmap_count = L->texture_count = 0;
  L->texture_block_size = 0;
  L->meshes = nullptr;
  L->instances = nullptr;
  L->point_lists = nullptr;
  L->nodes = nullptr;
  L->named_points = nullptr;
  L->lights = nullptr;
  L->vis_groups = nullptr;
  L->surfaces = nullptr;
  L->movables = nullptr;
  L->movable_keys = nullptr;
  L->vertex_anims = nullptr;
  L->lightmap_handles = nullptr;
  L->texture_handles = nullptr;
  L->lightmap_pixels = nullptr;
  L->lightmap_sizes = nullptr;
  L->texture_block = nullptr;
  L->vis_base = VisGroup{"$vis_base", 0, nullptr};
  L->ambient.zero();
}

template <typename T>
T* alloc_records(S3dIo& io, int count) {
  T* p = static_cast<T*>(arena_alloc(io, count, sizeof(T)));
  if (p)
    for (int i = 0; i < count; i++) new (&p[i]) T{};
  return p;
}

bool allocate(S3dIo& io) {
  LevelData& L = *io.L;
  const S3dHeader& h = L.header;
  Level_arena.init(Level_arena_block, S3D_ARENA_SIZE, "level");
  io.section = "header";
  L.meshes = alloc_records<LevelMesh>(io, h.mesh_count);
  L.instances = alloc_records<LevelMeshInstance>(io, h.instance_count);
  for (int i = 0; i < h.instance_count && L.instances; i++) L.instances[i].sector[0] = L.instances[i].sector[1] = -1;
  L.nodes = alloc_records<LevelNode>(io, h.node_count);
  L.point_lists = alloc_records<LevelPointList>(io, h.point_list_count);
  L.named_points = alloc_records<LevelNamedPoints>(io, h.named_points_count);
  L.lights = alloc_records<LevelLight>(io, h.light_count);
  L.vis_groups = alloc_records<VisGroup>(io, h.vis_group_count);
  L.surfaces = alloc_records<LevelSurfaceRecord>(io, h.surface_count);
  L.vertex_anims = alloc_records<VertexAnimRecord>(io, h.vertex_anim_count);
  L.movables = alloc_records<LevelMovableMesh>(io, h.movable_count);
  L.movable_keys = alloc_records<MovableKey>(io, h.movable_count);
  // Filled from the file as the meshes and instances take them.
  io.face_pool = static_cast<LevelFace*>(arena_alloc(io, h.total_faces, sizeof(LevelFace)));
  io.iface_pool = static_cast<InstanceFace*>(arena_alloc(io, h.total_instance_faces, sizeof(InstanceFace)));
  // A spare float after the last point: the load reads a position as four
  // floats at once.
  io.point_pool =
      h.total_points > 0 ? static_cast<vector*>(arena_alloc(io, int64_t(h.total_points) * 12 + 4, 1)) : nullptr;
  io.normal_pool = static_cast<vector*>(arena_alloc(io, h.total_vertices, sizeof(vector)));
  io.uv_pool = static_cast<vector2*>(arena_alloc(io, h.total_vertices, sizeof(vector2)));
  io.value_pool = static_cast<int16_t*>(arena_alloc(io, h.total_vertices, 2));
  io.color_pool = static_cast<uint8_t*>(arena_alloc(io, h.color_bytes, 1));
  io.int_pool = static_cast<int32_t*>(arena_alloc(io, h.int_pool_size, 4));
  if (io.failed) return false;
  L.mesh_count = h.mesh_count;
  L.instance_count = h.instance_count;
  L.node_count = h.node_count;
  L.point_list_count = h.point_list_count;
  L.named_points_count = h.named_points_count;
  L.light_count = h.light_count;
  L.vis_group_count = h.vis_group_count;
  L.surface_count = h.surface_count;
  L.vertex_anim_count = h.vertex_anim_count;
  L.movable_count = h.movable_count;
  L.lightmap_count = h.lightmap_count;
  L.texture_count = h.texture_count;
  L.texture_block_size = h.texture_block_size;
  L.ambient.set(h.ambient[0], h.ambient[1], h.ambient[2]);
  return true;
}

// The sections after the header, in file order; shared by load and write.
bool serialize_sections(S3dIo& io) {
  LevelData& L = *io.L;
  if (!serialize_textures(io) || !serialize_lightmaps(io)) return false;
  io.section = "meshes";
  for (int i = 0; i < L.mesh_count; i++)
    if (!serialize_mesh(io, L.meshes[i])) return false;
  io.section = "collision trees";
  for (int i = 0; i < L.mesh_count; i++)
    if (!serialize_tree(io, L.meshes[i])) return false;
  io.section = "mesh instances";
  const bool glide = gr_screen.renderer == GR_GLIDE;
  const bool ocean = L.file_name && strcasecmp(L.file_name, "odrinext.s3d") == 0;
  for (int i = 0; i < L.instance_count; i++) {
    bool textured = false;
    if (!serialize_instance(io, L.instances[i], &textured)) return false;
    if (io.reading) {
      instance_fixups(L.instances[i], glide, ocean, textured);
      load_progress_tick();
    }
  }
  if (io.reading)
    for (int i = 0; i < L.instance_count; i++)
      if (s3d_level_name_fixup(L.file_name, L.instances[i].name)) L.instances[i].flags |= MI_DEPTH_BIAS;
  io.section = "point lists";
  for (int i = 0; i < L.point_list_count; i++)
    if (!serialize_point_list(io, L.point_lists[i])) return false;
  io.section = "nodes";
  for (int i = 0; i < L.node_count; i++) {
    if (!serialize_node(io, L.nodes[i])) return false;
    if (io.reading) {
      const char* n = L.nodes[i].name;
      if (has_prefix(n, "$npc") || has_prefix(n, "$hostile") || has_prefix(n, "$player"))
        level_navpoint_add(&L.nodes[i]);
      load_progress_tick();
    }
  }
  io.section = "named point lists";
  for (int i = 0; i < L.named_points_count; i++) {
    if (!serialize_named_points(io, L.named_points[i])) return false;
    if (io.reading) load_progress_tick();
  }
  io.section = "movable meshes";
  for (int i = 0; i < L.movable_count; i++)
    if (!serialize_movable(io, L.movables[i], i)) return false;
  io.section = "lights";
  for (int i = 0; i < L.light_count; i++) {
    if (!serialize_light(io, L.lights[i])) return false;
    if (io.reading) load_progress_tick();
  }
  io.section = "visibility groups";
  for (int i = 0; i < L.vis_group_count; i++) {
    if (!serialize_vis_group(io, L.vis_groups[i])) return false;
    if (io.reading) load_progress_tick();
  }
  io.section = "surfaces";
  for (int i = 0; i < L.surface_count; i++)
    if (!serialize_surface(io, L.surfaces[i])) return false;
  io.section = "vertex animation";
  for (int i = 0; i < L.vertex_anim_count; i++)
    if (!serialize_vertex_anim(io, L.vertex_anims[i], i)) return false;
  return true;
}

// Room for the whole file, read at once. It stays for the next level, whose
// load then finds its pages in place, and starts on a page: the system's
// copy into a buffer at another offset ran at a fraction of the speed.
uint8_t* level_image(size_t size) {
  static uint8_t* image = nullptr;
  static size_t capacity = 0;
  if (size > capacity || !image) {
    std::free(image);
    capacity = (std::max<size_t>(size, 1) + 4095) & ~size_t(4095);
    image = static_cast<uint8_t*>(std::aligned_alloc(4096, capacity));
    if (!image) capacity = 0;
  }
  return image;
}

bool finish_load(S3dIo& io) {
  LevelData& L = *io.L;
  for (int i = 0; i < L.movable_count; i++) {
    const int np = L.movables[i].named_points;
    L.movable_keys[i] = MovableKey{np >= 0 ? L.named_points[np].name : "", i};
  }
  std::sort(L.movable_keys, L.movable_keys + L.movable_count,
            [](const MovableKey& a, const MovableKey& b) { return strcasecmp(a.name, b.name) < 0; });
  const char* name = L.texture_block;
  for (int i = 0; i < L.texture_count; i++) {
    L.texture_handles[i] = bm_load(name, -1);
    name += std::strlen(name) + 1;
    load_progress_tick();
  }
  std::vector<bool> alpha(L.texture_count);
  bool any_alpha = false;
  for (int t = 0; t < L.texture_count; t++) {
    const int fmt = L.texture_handles[t] >= 0 ? bm_get_format(L.texture_handles[t]) : BM_FORMAT_NONE;
    alpha[t] = fmt == BM_FORMAT_4444 || fmt == BM_FORMAT_1555 || fmt == BM_FORMAT_BGRA32;
    any_alpha = any_alpha || alpha[t];
  }
  for (int i = 0; i < L.instance_count && any_alpha; i++) {
    LevelMeshInstance& mi = L.instances[i];
    for (int f = 0; f < mi.mesh->face_count; f++) {
      const int s = mi.faces[f].texture;
      if (s && alpha[s - 1]) {
        mi.mesh->faces[f].flags |= FACE_ALPHA;
        mi.flags |= MI_HAS_ALPHA_FACES;
      }
    }
  }
  int outside = 0;
  for (int i = 0; i < L.instance_count; i++)
    if (!(L.instances[i].flags & MI_VIS_MEMBER)) outside++;
  L.vis_base = VisGroup{"$vis_base", 0, nullptr};
  if (outside) {
    L.vis_base.members = static_cast<int32_t*>(mem_alloc(outside * sizeof(int32_t)));
    for (int i = 0; i < L.instance_count; i++)
      if (!(L.instances[i].flags & MI_VIS_MEMBER)) L.vis_base.members[L.vis_base.count++] = i;
  }
  for (int i = 0; i < L.instance_count; i++) L.instances[i].flags &= ~(MI_VIS_SEEN | MI_VIS_MEMBER);
  L.flags |= LEVEL_LOADED;
  return true;
}

}  // namespace

LevelData::LevelData() {
  vertex_anim_count = lightmap_count = 0;
  vertex_anims = nullptr;
  lightmap_handles = nullptr;
  vis_base.members = nullptr;
  clear_level(this);
}

int instance_face_lightmap(const InstanceFace& f) { return static_cast<int32_t>(f.lightmap << 8) >> 8; }

vector s3d_face_normal(const vector* p, const LevelFace& f) { return face_normal(p, f); }

uint32_t s3d_name_flags(const char* n, uint32_t flags, bool glide, bool ocean_level) {
  if (has_prefix(n, "blackpoly") || has_prefix(n, "shackfloor-black")) flags |= MI_BLACK;
  if (has_prefix(n, "sidewalk") || has_prefix(n, "rubblepile02") || has_prefix(n, "rubblepile01")) {
    flags &= ~MI_DECALS;
    flags |= MI_DEPTH_BIAS;
  }
  if (has_prefix(n, "s1-sewe") || has_prefix(n, "mosaic0")) flags |= MI_NEAR_DEPTH;
  if (glide && has_prefix(n, "Stalag-Small")) flags |= MI_STALAG;
  if (ocean_level && has_prefix(n, "Ocean")) flags |= MI_OCEAN;
  return flags;
}

bool s3d_level_name_fixup(const char* level_file_name, const char* n) {
  static const char* const names[] = {
      "Carpet01-End02", "Carpet01-End02-02", "Carpet01-End02-03", "Carpet01-End07",
      "Carpet01-End15", "Carpet01-End16",    "Carpet01-Tile",     "Carpet01-Tile17",
      "Carpet02-02",    "Tapestry01-01-LCF", "Tapestry01-06-LCF", "Tapestry01-08-LCF"};
  if (!has_prefix(level_file_name, "lpalaceint02")) return false;
  if (!has_prefix(n, "carp") && !has_prefix(n, "tape")) return false;
  for (const char* s : names)
    if (strcasecmp(n, s) == 0) return true;
  return false;
}

int s3d_load(const char* file_name, LevelData* level, int string_pool_size) {
  if (level->flags & LEVEL_LOADED) s3d_unload(level);
  bm_init();  // lightmaps and textures become bitmaps
  FileHandle fh;
  if (fh.open(file_name, VF_READ, VFILE_ANY_TYPE) != 0) return -1;
  clear_level(level);
  level->strings.alloc(string_pool_size);
  level->file_name = level->strings.add(file_name);
  S3dIo io{};
  io.fh = &fh;
  io.reading = true;
  io.L = level;
  io.section = "header";
  const int size = fh.size();
  uint8_t* image = size >= 0 ? level_image(static_cast<size_t>(size)) : nullptr;
  bool ok = image && fh.read(image, size) == size && !fh.error();
  if (!ok) fail(io, "the file cannot be read whole");
  io.at = image;
  io.end = image + (ok ? size : 0);
  const uint8_t* magic = io.next(4);
  if (ok && !(magic && std::memcmp(magic, S3D_MAGIC, 4) == 0)) ok = fail(io, "not a level file");
  if (ok) {
    serialize_header(io, &level->header);
    ok = io_ok(io) && check_header(io, level->header);
  }
  if (ok) {
    level->version = io.version = level->header.version;
    fh.set_version(level->version);
    ok = allocate(io) && serialize_sections(io);
  }
  fh.close();
  if (ok) ok = finish_load(io);
  if (!ok) {
    clear_level(level);
    return -1;
  }
  return 0;
}

void s3d_unload(LevelData* level) {
  for (int i = 0; i < level->light_count && level->lights; i++) {
    const int t = level->lights[i].texture;
    if (t >= 0 && t < level->texture_count && level->texture_handles[t] >= 0) {
      uint8_t *data, *palette;
      if (bm_lock(level->texture_handles[t], &data, &palette)) bm_unlock(level->texture_handles[t]);
    }
  }
  clear_level(level);
}

void s3d_preload_textures(LevelData* level) {
  for (int i = 0; i < level->texture_count; i++) {
    if (level->texture_handles[i] >= 0) gr_preload(level->texture_handles[i], 0);
    load_progress_tick();
  }
  level->flags |= LEVEL_TEXTURES_PRELOADED;
}

int s3d_write(const char* file_name, int path_type, LevelData* L) {
  S3dHeader& h = L->header;
  std::memset(&h, 0, sizeof h);
  h.version = L->version;
  h.mesh_count = L->mesh_count;
  h.instance_count = L->instance_count;
  h.node_count = L->node_count;
  h.point_list_count = L->point_list_count;
  h.named_points_count = L->named_points_count;
  h.light_count = L->light_count;
  h.vis_group_count = L->vis_group_count;
  h.movable_count = L->movable_count;
  h.lightmap_count = L->lightmap_count;
  h.texture_count = L->texture_count;
  h.vertex_anim_count = L->vertex_anim_count;
  h.texture_block_size = L->texture_block_size;
  h.surface_count = L->surface_count;
  for (int i = 0; i < L->mesh_count; i++) {
    h.total_faces += L->meshes[i].face_count;
    h.total_vertices += L->meshes[i].vertex_count;
    h.total_points += L->meshes[i].vertex_count;
  }
  for (int i = 0; i < L->instance_count; i++) {
    h.total_instance_faces += L->instances[i].mesh->face_count;
    h.color_bytes += L->instances[i].mesh->vertex_count * 3;
  }
  for (int i = 0; i < L->point_list_count; i++) h.total_points += L->point_lists[i].count;
  for (int i = 0; i < L->named_points_count; i++) h.total_points += L->named_points[i].count;
  h.int_pool_size = L->texture_count + L->lightmap_count;
  for (int i = 0; i < L->vis_group_count; i++) h.int_pool_size += L->vis_groups[i].count;
  h.ambient[0] = L->ambient.x;
  h.ambient[1] = L->ambient.y;
  h.ambient[2] = L->ambient.z;

  FileHandle fh;
  if (fh.open(file_name, VF_WRITE, path_type) != 0) return -1;
  fh.set_version(L->version);
  S3dIo io{};
  io.fh = &fh;
  io.reading = false;
  io.version = L->version;
  io.L = L;
  io.section = "header";
  fh.write(S3D_MAGIC, 4);
  serialize_header(io, &h);
  const bool ok = serialize_sections(io);
  const int err = fh.error();
  const int rc = fh.close();
  return ok && !err && rc == 0 ? 0 : -1;
}
