// Cutting polygons along texture tile lines, and the choice of tile.
#include "quarn/gr/gr_tile.h"

#include <cmath>
#include <cstdio>

#include "quarn/bmpman/bmpman.h"
#include "quarn/gr/gr3d.h"

namespace {

constexpr float TILE_TEXELS = 256.0f;

struct Piece {
  int count;
  GrLayeredVertex* verts[MAX_TILE_PIECE_VERTS];
  int next;  // ring link
};

Piece Pieces[MAX_TILE_PIECES];
int Piece_count = 0;
GrVertex New_points[MAX_TILE_NEW_VERTS];
GrLayeredVertex New_verts[MAX_TILE_NEW_VERTS];
int New_used = 0;
bool Reported = false;

void report_once(const char* what) {
  if (Reported) return;
  Reported = true;
  std::fprintf(stderr, "gr_tile: %s; the rest of the polygon is drawn uncut\n", what);
}

float coord(const GrLayeredVertex* v, int layer, int axis) {
  return axis == 0 ? v->layer[layer].u : v->layer[layer].v;
}

uint8_t lerp_byte(uint8_t a, uint8_t b, float t) {
  return static_cast<uint8_t>(static_cast<int>(a + (b - a) * t));
}

// The vertex where the line value crosses the edge a-b, or nullptr when the
// supply is used up.
GrLayeredVertex* cut_vertex(const GrLayeredVertex* a, const GrLayeredVertex* b, int layer, int axis,
                            float line, int layer_count, const GrLayer* layers) {
  if (New_used >= MAX_TILE_NEW_VERTS) return nullptr;
  GrVertex* p = &New_points[New_used];
  GrLayeredVertex* n = &New_verts[New_used];
  New_used++;
  const float ca = coord(a, layer, axis), cb = coord(b, layer, axis);
  const float t = (line - ca) / (cb - ca);
  const GrVertex& pa = *a->vertex;
  const GrVertex& pb = *b->vertex;
  *p = pa;
  p->x = pa.x + (pb.x - pa.x) * t;
  p->y = pa.y + (pb.y - pa.y) * t;
  p->z = pa.z + (pb.z - pa.z) * t;
  p->proj_flags = 0;
  gr_3d_project_point(*p);
  n->vertex = p;
  for (int l = 0; l < layer_count && l < GR_MAX_LAYERS; l++) {
    const GrLayerVertexData& da = a->layer[l];
    const GrLayerVertexData& db = b->layer[l];
    GrLayerVertexData& d = n->layer[l];
    d = da;
    if (layers[l].use_layer_uv) {
      d.u = da.u + (db.u - da.u) * t;
      d.v = da.v + (db.v - da.v) * t;
    }
    if (layers[l].use_vertex_rgb) {
      d.r = lerp_byte(da.r, db.r, t);
      d.g = lerp_byte(da.g, db.g, t);
      d.b = lerp_byte(da.b, db.b, t);
    }
    if (layers[l].use_vertex_alpha) d.a = lerp_byte(da.a, db.a, t);
  }
  // Exactly on the line, so the next line of the same axis sees it as a
  // vertex, not as a crossing.
  if (axis == 0)
    n->layer[layer].u = line;
  else
    n->layer[layer].v = line;
  return n;
}

// Cuts the piece at `index` along the line; true when it became two.
bool cut_piece(int index, int layer, int axis, float line, int layer_count, const GrLayer* layers) {
  Piece& pc = Pieces[index];
  const int n = pc.count;
  int edge[2] = {-1, -1};
  int crossed = 0;
  for (int i = 0; i < n && crossed < 2; i++) {
    const float a = coord(pc.verts[i], layer, axis);
    const float b = coord(pc.verts[(i + 1) % n], layer, axis);
    if ((a < line && line < b) || (b < line && line < a)) edge[crossed++] = i;
  }
  if (crossed == 0) return false;

  // With one crossed edge the line leaves through a vertex: the vertex
  // nearest the line is the second crossing.
  int through = -1;
  if (crossed == 1) {
    float best = 0.0f;
    for (int i = 0; i < n; i++) {
      const float d = std::fabs(coord(pc.verts[i], layer, axis) - line);
      if (through < 0 || d < best) {
        best = d;
        through = i;
      }
    }
    if (through == edge[0] || through == (edge[0] + 1) % n) return false;
  }

  if (Piece_count >= MAX_TILE_PIECES) {
    report_once("more pieces than MAX_TILE_PIECES");
    return false;
  }
  const int need = crossed == 2 ? 2 : 1;
  if (New_used + need > MAX_TILE_NEW_VERTS) {
    report_once("more new vertices than MAX_TILE_NEW_VERTS");
    return false;
  }

  // Walk from the first crossing round to the second and back.
  GrLayeredVertex* first = cut_vertex(pc.verts[edge[0]], pc.verts[(edge[0] + 1) % n], layer, axis, line,
                                      layer_count, layers);
  GrLayeredVertex* second;
  int second_end;  // last original vertex of side A
  int resume;      // first original vertex of side B
  if (crossed == 2) {
    second = cut_vertex(pc.verts[edge[1]], pc.verts[(edge[1] + 1) % n], layer, axis, line, layer_count,
                        layers);
    second_end = edge[1];
    resume = (edge[1] + 1) % n;
  } else {
    second = pc.verts[through];
    second_end = (through + n - 1) % n;
    resume = (through + 1) % n;
  }

  GrLayeredVertex* side_a[MAX_TILE_PIECE_VERTS + 2];
  GrLayeredVertex* side_b[MAX_TILE_PIECE_VERTS + 2];
  int na = 0, nb = 0;
  side_a[na++] = first;
  for (int i = (edge[0] + 1) % n;; i = (i + 1) % n) {
    side_a[na++] = pc.verts[i];
    if (i == second_end) break;
  }
  side_a[na++] = second;
  side_b[nb++] = second;
  for (int i = resume;; i = (i + 1) % n) {
    side_b[nb++] = pc.verts[i];
    if (i == edge[0]) break;
  }
  side_b[nb++] = first;

  if (na > MAX_TILE_PIECE_VERTS || nb > MAX_TILE_PIECE_VERTS) {
    New_used -= need;
    report_once("a piece with more than MAX_TILE_PIECE_VERTS vertices");
    return false;
  }
  Piece& added = Pieces[Piece_count];
  added.count = nb;
  for (int i = 0; i < nb; i++) added.verts[i] = side_b[i];
  added.next = pc.next;
  pc.next = Piece_count++;
  pc.count = na;
  for (int i = 0; i < na; i++) pc.verts[i] = side_a[i];
  return true;
}

void draw_piece(int count, GrLayeredVertex** verts, int layer_count, const GrLayer* layers, void*) {
  gr_draw_polygon_layers(count, verts, layer_count, layers);
}

}  // namespace

int gr_cut_polygon_tiles(int count, GrLayeredVertex** verts, int layer_count, const GrLayer* layers,
                         GrTilePieceFn draw, void* context) {
  if (count < 3 || count > MAX_TILE_PIECE_VERTS || !verts || !layers || layer_count < 1) return 0;
  if (layer_count > GR_MAX_LAYERS) layer_count = GR_MAX_LAYERS;
  Piece_count = 1;
  New_used = 0;
  Reported = false;
  Pieces[0].count = count;
  Pieces[0].next = -1;
  for (int i = 0; i < count; i++) Pieces[0].verts[i] = verts[i];

  for (int l = 0; l < layer_count; l++) {
    if (!layers[l].use_layer_uv) continue;
    int bw = 0, bh = 0;
    bm_get_size(layers[l].bitmap, &bw, &bh);
    for (int axis = 0; axis < 2; axis++) {
      const int size = axis == 0 ? bw : bh;
      if (size <= 0) continue;
      const float step = TILE_TEXELS / static_cast<float>(size);
      if (step >= 1.0f) continue;
      float lo = coord(verts[0], l, axis), hi = lo;
      for (int i = 1; i < count; i++) {
        const float c = coord(verts[i], l, axis);
        lo = c < lo ? c : lo;
        hi = c > hi ? c : hi;
      }
      if (!std::isfinite(lo) || !std::isfinite(hi)) continue;
      const float k_first = std::ceil(lo / step), k_last = std::floor(hi / step);
      // Coordinates far outside 0..1 would ask for more lines than there
      // are pieces to hold them.
      if (k_last - k_first > static_cast<float>(MAX_TILE_PIECES)) {
        report_once("texture coordinates span more tiles than MAX_TILE_PIECES");
        continue;
      }
      for (float k = k_first; k <= k_last; k += 1.0f) {
        const float line = k * step;
        for (int p = 0; p >= 0;) {
          const int next = Pieces[p].next;
          cut_piece(p, l, axis, line, layer_count, layers);
          p = next;
        }
      }
    }
  }

  int drawn = 0;
  for (int p = 0; p >= 0; p = Pieces[p].next) {
    draw(Pieces[p].count, Pieces[p].verts, layer_count, layers, context);
    drawn++;
  }
  return drawn;
}

int gr_draw_polygon_tiled(int count, GrLayeredVertex** verts, int layer_count, const GrLayer* layers) {
  return gr_cut_polygon_tiles(count, verts, layer_count, layers, draw_piece, nullptr);
}

int gr_tile_for_polygon(int count, GrLayeredVertex** verts, int layer, int* width, int* height,
                        float* u_offset, float* v_offset, float* u_scale, float* v_scale) {
  const int max_w = gr_screen.max_texture_w > 0 ? gr_screen.max_texture_w : 256;
  const int max_h = gr_screen.max_texture_h > 0 ? gr_screen.max_texture_h : 256;
  const float w = static_cast<float>(*width > max_w ? *width : max_w);
  const float h = static_cast<float>(*height > max_h ? *height : max_h);
  const float mw = static_cast<float>(max_w), mh = static_cast<float>(max_h);
  const int across = static_cast<int>(std::ceil(w / mw));
  const int down = static_cast<int>(std::ceil(h / mh));
  float su = 0.0f, sv = 0.0f;
  if (layer < 0 || layer >= GR_MAX_LAYERS) layer = 0;
  for (int i = 0; i < count; i++) {
    su += verts[i]->layer[layer].u;
    sv += verts[i]->layer[layer].v;
  }
  const float n = count > 0 ? static_cast<float>(count) : 1.0f;
  float fu = std::floor(su / n * w / mw), fv = std::floor(sv / n * h / mh);
  // A coordinate of no finite value still names some tile.
  if (!std::isfinite(fu) || std::fabs(fu) > 1e6f) fu = 0.0f;
  if (!std::isfinite(fv) || std::fabs(fv) > 1e6f) fv = 0.0f;
  const int tu = static_cast<int>(fu), tv = static_cast<int>(fv);
  *u_offset = static_cast<float>(tu) * mw / w;
  *u_scale = w / mw;
  *v_offset = static_cast<float>(tv) * mh / h;
  *v_scale = h / mh;
  *width = max_w;
  *height = max_h;
  return (std::abs(tv) % down) * across + (std::abs(tu) % across);
}
