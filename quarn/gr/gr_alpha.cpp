// Buffered translucent polygons: the byte-coded record stream, its
// far-first replay, and the in-place path (clip, project, draw) that both
// opaque polygons and the replay go through.
#include "quarn/gr/gr_alpha.h"

#include <cstdio>
#include <cstring>

#include "quarn/bmpman/bmpman.h"
#include "quarn/gr/gr3d.h"
#include "quarn/gr/gr_tile.h"
#include "quarn/gr/grclip.h"

namespace {

// ---- the recorded stream ----------------------------------------------------

uint8_t Stream[ALPHA_STREAM_SIZE];
int Write_pos = 0;
int Record_start[ALPHA_MAX_RECORDS + 1];
int Record_count = 0;
bool Recording = false;
bool Flushing = false;
// What the record being written holds so far, to keep it within the limits
// the in-place path can draw.
int Rec_verts = 0, Rec_passes = 0;
int Rec_uv = 0, Rec_rgb = 0, Rec_alpha = 0;  // attribute calls of the current pass
bool Rec_overflow = false;

// ---- the polygon built in place ----------------------------------------------

struct PassExtra {
  uint8_t stage;
  uint8_t screen_mapped;
};

GrLayeredVertex Verts[ALPHA_MAX_VERTS];
GrLayer Passes[ALPHA_MAX_PASSES];
PassExtra Pass_extra[ALPHA_MAX_PASSES];
int Vert_count = 0, Pass_count = 0, Cur_pass = -1;
int Cursor_uv = 0, Cursor_rgb = 0, Cursor_alpha = 0;
bool Fixed_depth = false;
float Fixed_z = 0.0f;
bool Needs_tiling = false;
bool Overflow = false;

// New vertices made by clipping one polygon.
GrLayeredVertex Pool[ALPHA_MAX_CLIP_VERTS];
GrVertex Pool_points[ALPHA_MAX_CLIP_VERTS];
int Pool_used = 0;

bool Reported = false;
void report_once(const char* what) {
  if (Reported) return;
  Reported = true;
  std::fprintf(stderr, "gr_alpha: %s; polygon dropped\n", what);
}

// ---- writing records ----------------------------------------------------------

void put_u8(int at, uint8_t v) { Stream[at] = v; }
void put_f32(int at, float v) { std::memcpy(&Stream[at], &v, 4); }
void put_i32(int at, int32_t v) { std::memcpy(&Stream[at], &v, 4); }
float get_f32(int at) {
  float v;
  std::memcpy(&v, &Stream[at], 4);
  return v;
}
int32_t get_i32(int at) {
  int32_t v;
  std::memcpy(&v, &Stream[at], 4);
  return v;
}

// Room for a command of n bytes; the spare bytes are zeroed so a record's
// bytes depend only on what was recorded.
int reserve(int n) {
  if (Write_pos + n > ALPHA_STREAM_SIZE) {  // cannot happen within the limits
    Rec_overflow = true;
    return -1;
  }
  const int at = Write_pos;
  std::memset(&Stream[at], 0, n);
  Write_pos += n;
  return at;
}

// Room for one more command of n bytes of a kind kept within a limit (count
// is how many the polygon has), its first byte the command; -1, and the
// record overflowed, when there is no room.
int reserve_counted(int& count, int limit, int n, uint8_t command) {
  if (count >= limit) {
    Rec_overflow = true;
    return -1;
  }
  count++;
  const int at = reserve(n);
  if (at >= 0) put_u8(at, command);
  return at;
}

void abandon_record() {
  if (!Recording) return;
  Recording = false;
  Record_count--;
  Write_pos = Record_start[Record_count];
}

// ---- clipping in place --------------------------------------------------------

GrLayeredVertex* pool_vertex() {
  if (Pool_used >= ALPHA_MAX_CLIP_VERTS) return nullptr;
  GrLayeredVertex* v = &Pool[Pool_used];
  v->vertex = &Pool_points[Pool_used];
  Pool_used++;
  return v;
}

// Signed distance inside the plane (0 on it, negative outside).
float inside_distance(uint8_t plane, const GrVertex& v) {
  switch (plane) {
    case CLIP_FAR: return clip_far_z() - v.z;
    case CLIP_LEFT: return v.x + v.z;
    case CLIP_RIGHT: return v.z - v.x;
    case CLIP_BOTTOM: return v.y + v.z;
    case CLIP_TOP: return v.z - v.y;
    default: return v.z - GR_3D_NEAR_Z;  // CLIP_BEHIND
  }
}

uint8_t lerp_byte(uint8_t a, uint8_t b, float t) {
  return static_cast<uint8_t>(static_cast<int>(a + (b - a) * t));
}

GrLayeredVertex* clip_vertex(uint8_t plane, const GrLayeredVertex* in, const GrLayeredVertex* out) {
  GrLayeredVertex* n = pool_vertex();
  if (!n) return nullptr;
  const GrVertex& a = *in->vertex;
  const GrVertex& b = *out->vertex;
  const float da = inside_distance(plane, a), db = inside_distance(plane, b);
  float t = da == db ? 1.0f : da / (da - db);
  if (t < 0.0f) t = 0.0f;
  if (t > 1.0f) t = 1.0f;
  GrVertex& p = *n->vertex;
  p = GrVertex();
  p.x = a.x + (b.x - a.x) * t;
  p.y = a.y + (b.y - a.y) * t;
  p.z = a.z + (b.z - a.z) * t;
  // Exactly on the plane, so its codes do not name the plane again.
  switch (plane) {
    case CLIP_FAR: p.z = clip_far_z(); break;
    case CLIP_LEFT: p.x = -p.z; break;
    case CLIP_RIGHT: p.x = p.z; break;
    case CLIP_BOTTOM: p.y = -p.z; break;
    case CLIP_TOP: p.y = p.z; break;
    default: p.z = GR_3D_NEAR_Z; break;
  }
  p.codes = clip_codes_of(p.x, p.y, p.z);
  p.proj_flags = PF_TEMPORARY;
  for (int l = 0; l < Pass_count; l++) {
    const GrLayerVertexData& la = in->layer[l];
    const GrLayerVertexData& lb = out->layer[l];
    GrLayerVertexData& d = n->layer[l];
    d.u = la.u + (lb.u - la.u) * t;
    d.v = la.v + (lb.v - la.v) * t;
    d.r = lerp_byte(la.r, lb.r, t);
    d.g = lerp_byte(la.g, lb.g, t);
    d.b = lerp_byte(la.b, lb.b, t);
    d.a = lerp_byte(la.a, lb.a, t);
  }
  return n;
}

// Clips src against one plane into dst (room for `cap`); -1 when the pool
// or dst ran out.
int clip_against(uint8_t plane, GrLayeredVertex** src, int n, GrLayeredVertex** dst, int cap) {
  int out = 0;
  for (int i = 0; i < n; i++) {
    GrLayeredVertex* cur = src[i];
    GrLayeredVertex* next = src[(i + 1) % n];
    const bool cur_in = !(cur->vertex->codes & plane);
    const bool next_in = !(next->vertex->codes & plane);
    if (cur_in) {
      if (out >= cap) return -1;
      dst[out++] = cur;
    }
    if (cur_in != next_in) {
      GrLayeredVertex* c = cur_in ? clip_vertex(plane, cur, next) : clip_vertex(plane, next, cur);
      if (!c || out >= cap) return -1;
      dst[out++] = c;
    }
  }
  return out;
}

void draw_in_place(GrLayeredVertex** list, int n) {
  if (Needs_tiling) {
    gr_draw_polygon_tiled(n, list, Pass_count, Passes);
  } else {
    if (Fixed_depth && Fixed_z > 0.0f) {
      for (int i = 0; i < n; i++) {
        list[i]->vertex->z = Fixed_z;
        list[i]->vertex->ooz = 1.0f / Fixed_z;
      }
    }
    gr_draw_polygon_layers(n, list, Pass_count, Passes);
  }
}

bool end_in_place() {
  Pool_used = 0;
  if (Overflow) {
    report_once("more than ALPHA_MAX_VERTS vertices or ALPHA_MAX_PASSES passes");
    return false;
  }
  if (Vert_count < 3) return false;
  uint8_t or_codes = 0, and_codes = 0xff;
  for (int i = 0; i < Vert_count; i++) {
    or_codes |= Verts[i].vertex->codes;
    and_codes &= Verts[i].vertex->codes;
  }
  if (and_codes) return false;
  if (Pass_count == 0) return false;

  constexpr int CAP = ALPHA_MAX_VERTS + ALPHA_MAX_CLIP_VERTS;
  GrLayeredVertex* a[CAP];
  GrLayeredVertex* b[CAP];
  GrLayeredVertex** list = a;
  GrLayeredVertex** spare = b;
  int n = Vert_count;
  for (int i = 0; i < n; i++) list[i] = &Verts[i];

  static const uint8_t order[6] = {CLIP_FAR, CLIP_LEFT, CLIP_RIGHT, CLIP_BOTTOM, CLIP_TOP, CLIP_BEHIND};
  for (uint8_t plane : order) {
    if (!(or_codes & plane)) continue;
    n = clip_against(plane, list, n, spare, CAP);
    if (n < 0) {
      Pool_used = 0;
      report_once("clipping needed more than ALPHA_MAX_CLIP_VERTS new vertices");
      return false;
    }
    GrLayeredVertex** t = list;
    list = spare;
    spare = t;
    or_codes = 0;
    and_codes = 0xff;
    for (int i = 0; i < n; i++) {
      or_codes |= list[i]->vertex->codes;
      and_codes &= list[i]->vertex->codes;
    }
    if (n < 3 || and_codes) {
      Pool_used = 0;
      return true;
    }
  }

  for (int i = 0; i < n; i++) {
    if (gr_3d_project_point(*list[i]->vertex) & PF_BEHIND) {
      Pool_used = 0;
      return true;
    }
  }
  draw_in_place(list, n);
  Pool_used = 0;
  return true;
}

}  // namespace

void gr_alpha_poly_begin(bool translucent, float sort_depth, uint8_t mode, bool fixed_depth, float fixed_z) {
  if (Recording) abandon_record();  // a polygon never ended
  if (translucent && !Flushing) {
    if (Write_pos >= ALPHA_BEGIN_LIMIT || Record_count >= ALPHA_MAX_RECORDS) gr_alpha_flush();
    Recording = true;
    Rec_verts = Rec_passes = 0;
    Rec_uv = Rec_rgb = Rec_alpha = 0;
    Rec_overflow = false;
    Record_start[Record_count++] = Write_pos;
    const int at = reserve(fixed_depth ? 12 : 8);
    if (at < 0) return;
    put_u8(at, fixed_depth ? ALPHA_CMD_BEGIN_FIXED : ALPHA_CMD_BEGIN);
    put_u8(at + 1, mode);
    put_f32(at + 4, sort_depth);
    if (fixed_depth) put_f32(at + 8, fixed_z);
    return;
  }
  Vert_count = Pass_count = 0;
  Cur_pass = -1;
  Cursor_uv = Cursor_rgb = Cursor_alpha = 0;
  Needs_tiling = false;
  Overflow = false;
  Fixed_depth = fixed_depth;
  Fixed_z = fixed_z;
}

void gr_alpha_poly_state(RenderStateWord state, int bitmap, int r, int g, int b, int a, int stage) {
  gr_apply_tint(r, g, b);
  if (Recording) {
    const int at = reserve_counted(Rec_passes, ALPHA_MAX_PASSES, 16, ALPHA_CMD_STATE);
    if (at < 0) return;
    Rec_uv = Rec_rgb = Rec_alpha = 0;
    put_u8(at + 1, static_cast<uint8_t>(stage));
    put_i32(at + 4, static_cast<int32_t>(state.bits));
    put_i32(at + 8, bitmap);
    put_u8(at + 12, static_cast<uint8_t>(r));
    put_u8(at + 13, static_cast<uint8_t>(g));
    put_u8(at + 14, static_cast<uint8_t>(b));
    put_u8(at + 15, static_cast<uint8_t>(a));
    return;
  }
  if (Pass_count >= ALPHA_MAX_PASSES) {
    Overflow = true;
    Cur_pass = -1;
    return;
  }
  Cur_pass = Pass_count++;
  GrLayer& p = Passes[Cur_pass];
  p.state = state;
  p.bitmap = bitmap;
  p.use_layer_uv = p.use_vertex_rgb = p.use_vertex_alpha = 0;
  p.r = static_cast<uint8_t>(r);
  p.g = static_cast<uint8_t>(g);
  p.b = static_cast<uint8_t>(b);
  p.a = static_cast<uint8_t>(a);
  Pass_extra[Cur_pass].stage = static_cast<uint8_t>(stage);
  Pass_extra[Cur_pass].screen_mapped = 0;
  Cursor_uv = Cursor_rgb = Cursor_alpha = 0;
  if (bitmap > -1 && gr_screen.max_texture_w > 0 && gr_screen.max_texture_h > 0) {
    int w = 0, h = 0;
    bm_get_size(bitmap, &w, &h);
    if (w > gr_screen.max_texture_w || h > gr_screen.max_texture_h) {
      Pass_extra[Cur_pass].screen_mapped = 1;
      Needs_tiling = true;
    }
  }
}

void gr_alpha_poly_vertex(GrVertex* point) {
  if (!point) return;
  if (Recording) {
    const int at = reserve_counted(Rec_verts, ALPHA_MAX_VERTS, 16, ALPHA_CMD_VERTEX);
    if (at < 0) return;
    put_u8(at + 1, point->codes);
    put_f32(at + 4, point->x);
    put_f32(at + 8, point->y);
    put_f32(at + 12, point->z);
    return;
  }
  if (Vert_count >= ALPHA_MAX_VERTS) {
    Overflow = true;
    return;
  }
  Verts[Vert_count++].vertex = point;
}

void gr_alpha_poly_uv(float u, float v) {
  if (Recording) {
    const int at = reserve_counted(Rec_uv, ALPHA_MAX_VERTS, 12, ALPHA_CMD_UV);
    if (at < 0) return;
    put_f32(at + 4, u);
    put_f32(at + 8, v);
    return;
  }
  if (Cur_pass < 0 || Cursor_uv >= ALPHA_MAX_VERTS) {
    Overflow = true;
    return;
  }
  Passes[Cur_pass].use_layer_uv = 1;
  GrLayerVertexData& d = Verts[Cursor_uv++].layer[Cur_pass];
  d.u = u;
  d.v = v;
}

void gr_alpha_poly_rgb(int r, int g, int b) {
  gr_apply_tint(r, g, b);
  if (Recording) {
    const int at = reserve_counted(Rec_rgb, ALPHA_MAX_VERTS, 4, ALPHA_CMD_RGB);
    if (at < 0) return;
    put_u8(at + 1, static_cast<uint8_t>(r));
    put_u8(at + 2, static_cast<uint8_t>(g));
    put_u8(at + 3, static_cast<uint8_t>(b));
    return;
  }
  if (Cur_pass < 0 || Cursor_rgb >= ALPHA_MAX_VERTS) {
    Overflow = true;
    return;
  }
  Passes[Cur_pass].use_vertex_rgb = 1;
  GrLayerVertexData& d = Verts[Cursor_rgb++].layer[Cur_pass];
  d.r = static_cast<uint8_t>(r);
  d.g = static_cast<uint8_t>(g);
  d.b = static_cast<uint8_t>(b);
}

void gr_alpha_poly_alpha(int a) {
  if (Recording) {
    const int at = reserve_counted(Rec_alpha, ALPHA_MAX_VERTS, 4, ALPHA_CMD_ALPHA);
    if (at < 0) return;
    put_u8(at + 1, static_cast<uint8_t>(a));
    return;
  }
  if (Cur_pass < 0 || Cursor_alpha >= ALPHA_MAX_VERTS) {
    Overflow = true;
    return;
  }
  Passes[Cur_pass].use_vertex_alpha = 1;
  Verts[Cursor_alpha++].layer[Cur_pass].a = static_cast<uint8_t>(a);
}

bool gr_alpha_poly_end() {
  if (Recording) {
    if (Rec_overflow) {
      abandon_record();
      report_once("more than ALPHA_MAX_VERTS vertices or ALPHA_MAX_PASSES passes");
      return false;
    }
    const int at = reserve(4);
    if (at >= 0) put_u8(at, ALPHA_CMD_END);
    Recording = false;
    return true;
  }
  return end_in_place();
}

void gr_alpha_flush() {
  if (Recording) abandon_record();
  if (Write_pos == 0 || Flushing) return;
  Flushing = true;
  const uint8_t tint_was = gr_screen.tint_on;
  gr_screen.tint_on = 0;  // colours in the stream are tinted already

  static DepthKey keys[ALPHA_MAX_RECORDS + 1];
  const int count = Record_count;
  for (int i = 0; i < count; i++) {
    keys[i].key = get_f32(Record_start[i] + 4);
    keys[i].value = Record_start[i];
  }
  gr_shell_sort_keys(keys, count);

  const int end = Write_pos;
  static GrVertex points[ALPHA_MAX_VERTS];
  for (int r = 0; r < count; r++) {
    int pos = keys[r].value;
    int used_points = 0;
    bool done = false;
    while (!done && pos < end) {
      const uint8_t op = Stream[pos];
      int size = 1;
      switch (op) {
        case ALPHA_CMD_BEGIN: size = 8; break;
        case ALPHA_CMD_BEGIN_FIXED: size = 12; break;
        case ALPHA_CMD_VERTEX:
        case ALPHA_CMD_STATE: size = 16; break;
        case ALPHA_CMD_UV: size = 12; break;
        case ALPHA_CMD_RGB:
        case ALPHA_CMD_ALPHA:
        case ALPHA_CMD_END: size = 4; break;
        default: break;
      }
      if (pos + size > end) break;
      switch (op) {
        case ALPHA_CMD_BEGIN:
          gr_alpha_poly_begin(false, get_f32(pos + 4), Stream[pos + 1], false, 0.0f);
          break;
        case ALPHA_CMD_BEGIN_FIXED:
          gr_alpha_poly_begin(false, get_f32(pos + 4), Stream[pos + 1], true, get_f32(pos + 8));
          break;
        case ALPHA_CMD_VERTEX:
          if (used_points < ALPHA_MAX_VERTS) {
            GrVertex& p = points[used_points++];
            p = GrVertex();
            p.codes = Stream[pos + 1];
            p.x = get_f32(pos + 4);
            p.y = get_f32(pos + 8);
            p.z = get_f32(pos + 12);
            gr_alpha_poly_vertex(&p);
          }
          break;
        case ALPHA_CMD_STATE:
          gr_alpha_poly_state(RenderStateWord::from_bits(static_cast<uint32_t>(get_i32(pos + 4))),
                              get_i32(pos + 8), Stream[pos + 12], Stream[pos + 13], Stream[pos + 14],
                              Stream[pos + 15], Stream[pos + 1]);
          break;
        case ALPHA_CMD_UV: gr_alpha_poly_uv(get_f32(pos + 4), get_f32(pos + 8)); break;
        case ALPHA_CMD_RGB: gr_alpha_poly_rgb(Stream[pos + 1], Stream[pos + 2], Stream[pos + 3]); break;
        case ALPHA_CMD_ALPHA: gr_alpha_poly_alpha(Stream[pos + 1]); break;
        case ALPHA_CMD_END:
          gr_alpha_poly_end();
          done = true;
          break;
        default: break;
      }
      pos += size;
    }
  }

  gr_screen.tint_on = tint_was;
  Write_pos = 0;
  Record_count = 0;
  Flushing = false;
}

void gr_alpha_pool_reset() {
  Pool_used = 0;
  Reported = false;
}

const uint8_t* gr_alpha_stream(int* bytes_used) {
  if (bytes_used) *bytes_used = Write_pos;
  return Stream;
}

int gr_alpha_record_count() { return Record_count; }
