#include "tools/writers/pfg_writer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <queue>

#include "tools/writers/byte_put.h"

// ---- The file -------------------------------------------------------------------------

int PfgFile::add_point(float x, float z) {
  points.push_back({x, z});
  return static_cast<int>(points.size()) - 1;
}

int PfgFile::polygon_segment_base(int size_class, int sector) const {
  int base = static_cast<int>(first_run.size());
  for (int c = 0; c < PFG_SPEC_CLASSES; c++) {
    for (int s = 0; s < PFG_SPEC_SECTORS; s++) {
      if (c == size_class && s == sector) return base;
      for (const PfgPolygonSpec& p : sectors[c][s].polygons) base += static_cast<int>(p.segments.size());
    }
  }
  return base;
}

namespace {

void put_i32(std::vector<uint8_t>& out, int32_t v) { put_u32(out, static_cast<uint32_t>(v)); }

void put_run(std::vector<uint8_t>& out, const std::vector<PfgSegmentSpec>& run) {
  put_i32(out, static_cast<int32_t>(run.size()));
  for (const PfgSegmentSpec& s : run) {
    put_i32(out, s.a);
    put_i32(out, s.b);
    put_u16(out, s.flags);
    put_u16(out, s.door);
  }
}

}  // namespace

std::vector<uint8_t> pfg_bytes(const PfgFile& f) {
  int32_t polygons = 0, nodes = 0, links = 0, tree = 0, buckets = 0, cells = 0, refs = 0, segments = 0;
  segments += static_cast<int32_t>(f.first_run.size() + f.last_run.size());
  for (const auto& cls : f.sectors) {
    for (const PfgSectorSpec& s : cls) {
      polygons += static_cast<int32_t>(s.polygons.size());
      for (const PfgPolygonSpec& p : s.polygons) segments += static_cast<int32_t>(p.segments.size());
      nodes += static_cast<int32_t>(s.nodes.size() + s.locals.size());
      for (const PfgNodeSpec& n : s.nodes) links += static_cast<int32_t>(n.links.size());
      for (const PfgLocalSpec& n : s.locals) links += static_cast<int32_t>(n.links.size());
      tree += static_cast<int32_t>(s.tree.size());
      buckets += static_cast<int32_t>(s.grid.buckets.size());
      for (const auto& b : s.grid.buckets) {
        cells += static_cast<int32_t>(b.size());
        for (const PfgCellSpec& c : b) refs += static_cast<int32_t>(c.segments.size());
      }
    }
  }
  std::vector<uint8_t> out;
  put_i32(out, f.version);
  put_i32(out, 0);
  // Header totals: 16-bit pool, polygons, nodes, links, spare, tree records,
  // buckets, cells, cell segment references, and a last spare.
  for (int32_t v : {0, polygons, nodes, links, 0, tree, buckets, cells, refs, 0}) put_i32(out, v);
  put_i32(out, static_cast<int32_t>(f.points.size()));
  for (const PfgPt& p : f.points) {
    put_f32(out, p.x);
    put_f32(out, p.z);
  }
  put_i32(out, segments);
  put_run(out, f.first_run);
  put_i32(out, static_cast<int32_t>(f.portals.size()));
  for (const PfgPortalSpec& p : f.portals) {
    put_i32(out, p.a);
    put_i32(out, p.b);
    put_i32(out, p.sector_a);
    put_i32(out, p.sector_b);
  }
  int32_t door_total = 0;
  for (const auto& l : f.door_lists) door_total += static_cast<int32_t>(l.size());
  put_i32(out, door_total);
  for (const auto& l : f.door_lists) {
    put_i32(out, static_cast<int32_t>(l.size()));
    for (int v : l) put_i32(out, v);
  }
  for (const auto& cls : f.sectors) {
    for (const PfgSectorSpec& s : cls) {
      put_i32(out, static_cast<int32_t>(s.polygons.size()));
      for (const PfgPolygonSpec& p : s.polygons) {
        put_run(out, p.segments);
        put_f32(out, p.min_x);
        put_f32(out, p.max_x);
        put_f32(out, p.max_z);
        put_f32(out, p.min_z);
      }
      put_i32(out, static_cast<int32_t>(s.nodes.size()));
      for (const PfgNodeSpec& n : s.nodes) {
        put_i32(out, n.point);
        put_i32(out, static_cast<int32_t>(n.links.size()));
        out.push_back(n.free ? 1 : 0);
        if (!n.free) {
          put_i32(out, n.seg1);
          put_i32(out, n.seg2);
        }
      }
      put_i32(out, static_cast<int32_t>(s.locals.size()));
      for (const PfgLocalSpec& n : s.locals) {
        put_i32(out, n.point);
        put_i32(out, static_cast<int32_t>(n.links.size()));
        for (int l : n.links) put_i32(out, l);
      }
      put_i32(out, 0);  // the spare block
      put_i32(out, static_cast<int32_t>(s.tree.size()));
      for (const PfgTreeSpec& t : s.tree) {
        put_i32(out, t.kind);
        put_i32(out, t.kind == 3 ? 0 : t.ref);
        put_i32(out, t.below);
        put_i32(out, t.above);
      }
    }
  }
  put_run(out, f.last_run);
  for (const auto& cls : f.sectors) {
    for (const PfgSectorSpec& s : cls) {
      const PfgGridSpec& g = s.grid;
      for (float v : {g.origin_x, g.value2, g.origin_z, g.value4, g.cell_width, g.cell_depth}) put_f32(out, v);
      put_i32(out, g.columns);
      put_i32(out, g.rows);
      put_i32(out, static_cast<int32_t>(g.buckets.size()));
      put_i32(out, g.value5);
      for (const auto& b : g.buckets) {
        put_u16(out, static_cast<uint16_t>(b.size()));
        for (const PfgCellSpec& c : b) {
          put_i32(out, c.key);
          put_u16(out, static_cast<uint16_t>(c.segments.size()));
          for (int seg : c.segments) put_i32(out, seg);
        }
      }
    }
  }
  for (const auto& cls : f.sectors)
    for (const PfgSectorSpec& s : cls)
      for (const PfgNodeSpec& n : s.nodes)
        for (const auto& l : n.links) {
          put_u16(out, static_cast<uint16_t>(l.first));
          put_i32(out, l.second);
        }
  for (const PfgPt& p : f.points) {
    put_f32(out, p.x);
    put_f32(out, p.z);
  }
  return out;
}

bool pfg_write_file(const std::string& path, const PfgFile& f) {
  const std::vector<uint8_t> bytes = pfg_bytes(f);
  FILE* fp = std::fopen(path.c_str(), "wb");
  if (!fp) {
    std::fprintf(stderr, "pfg: cannot write %s\n", path.c_str());
    return false;
  }
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), fp) == bytes.size();
  return std::fclose(fp) == 0 && ok;
}

// ---- The builder ----------------------------------------------------------------------------

namespace {

using Poly = std::vector<PfgPt>;

double cross(PfgPt o, PfgPt a, PfgPt b) {
  return double(a.x - o.x) * double(b.z - o.z) - double(a.z - o.z) * double(b.x - o.x);
}

Poly ccw(Poly p) {
  double area = 0;
  for (size_t i = 0; i < p.size(); i++) {
    const PfgPt& a = p[i];
    const PfgPt& b = p[(i + 1) % p.size()];
    area += double(a.x) * b.z - double(b.x) * a.z;
  }
  if (area < 0) std::reverse(p.begin(), p.end());
  return p;
}

// Outward unit normal of edge a-b of a counter-clockwise outline.
PfgPt outward(PfgPt a, PfgPt b) {
  const double dx = b.x - a.x, dz = b.z - a.z, l = std::sqrt(dx * dx + dz * dz);
  return {static_cast<float>(dz / l), static_cast<float>(-dx / l)};
}

Poly grow(const Poly& in, float r) {
  const Poly p = ccw(in);
  Poly out;
  const size_t n = p.size();
  for (size_t i = 0; i < n; i++) {
    const PfgPt prev = p[(i + n - 1) % n], v = p[i], next = p[(i + 1) % n];
    const PfgPt n1 = outward(prev, v), n2 = outward(v, next);
    const double k = r / (1.0 + double(n1.x) * n2.x + double(n1.z) * n2.z);
    out.push_back({static_cast<float>(v.x + k * (n1.x + n2.x)), static_cast<float>(v.z + k * (n1.z + n2.z))});
  }
  return out;
}

// Signed distances of p inside a ccw outline: the largest n.(p - a) over the
// edges (negative inside).
double outside_by(const Poly& p, PfgPt q) {
  double worst = -std::numeric_limits<double>::infinity();
  for (size_t i = 0; i < p.size(); i++) {
    const PfgPt a = p[i], b = p[(i + 1) % p.size()];
    const PfgPt n = outward(a, b);
    worst = std::max(worst, double(n.x) * (q.x - a.x) + double(n.z) * (q.z - a.z));
  }
  return worst;
}

bool proper_cross(PfgPt p, PfgPt q, PfgPt a, PfgPt b) {
  const double eps = 1e-7;
  const double d1 = cross(p, q, a), d2 = cross(p, q, b), d3 = cross(a, b, p), d4 = cross(a, b, q);
  return ((d1 > eps && d2 < -eps) || (d1 < -eps && d2 > eps)) && ((d3 > eps && d4 < -eps) || (d3 < -eps && d4 > eps));
}

bool hits(const std::vector<Poly>& grown, PfgPt p, PfgPt q) {
  for (const Poly& g : grown) {
    for (size_t i = 0; i < g.size(); i++)
      if (proper_cross(p, q, g[i], g[(i + 1) % g.size()])) return true;
    for (double t : {0.125, 0.25, 0.375, 0.5, 0.625, 0.75, 0.875}) {
      const PfgPt m{static_cast<float>(p.x + t * (q.x - p.x)), static_cast<float>(p.z + t * (q.z - p.z))};
      if (outside_by(g, m) < -1e-4) return true;
    }
  }
  return false;
}

struct ClassGeometry {
  std::vector<Poly> grown;
  float lo_x, hi_x, lo_z, hi_z;  // the shrunk ground
  std::vector<PfgPt> corners;    // corners that are open ground
  std::vector<std::pair<int, int>> corner_of;  // (obstacle, vertex)
};

ClassGeometry class_geometry(const PfgLevel& L, float r) {
  ClassGeometry g;
  for (const Poly& o : L.obstacles) g.grown.push_back(grow(o, r));
  g.lo_x = L.min_x + r;
  g.hi_x = L.max_x - r;
  g.lo_z = L.min_z + r;
  g.hi_z = L.max_z - r;
  for (size_t j = 0; j < g.grown.size(); j++) {
    for (size_t v = 0; v < g.grown[j].size(); v++) {
      const PfgPt c = g.grown[j][v];
      if (!(c.x > g.lo_x + 0.001f && c.x < g.hi_x - 0.001f && c.z > g.lo_z + 0.001f && c.z < g.hi_z - 0.001f))
        continue;
      bool open = true;
      for (size_t k = 0; k < g.grown.size() && open; k++)
        if (k != j && outside_by(g.grown[k], c) <= 0.001) open = false;
      if (!open) continue;
      g.corners.push_back(c);
      g.corner_of.push_back({static_cast<int>(j), static_cast<int>(v)});
    }
  }
  return g;
}

}  // namespace

int pfg_sector_of(const PfgLevel& level, float x) {
  int s = 0;
  for (float split : level.sector_splits)
    if (x >= split) s++;
  return s;
}

bool pfg_segment_hits_obstacle(const PfgLevel& level, float r, PfgPt a, PfgPt b) {
  std::vector<Poly> grown;
  for (const Poly& o : level.obstacles) grown.push_back(grow(o, r));
  return hits(grown, a, b);
}

double pfg_shortest_length(const PfgLevel& level, int size_class, PfgPt from, PfgPt to, std::vector<PfgPt>* corners) {
  const ClassGeometry g = class_geometry(level, level.radius[size_class]);
  std::vector<PfgPt> pts = g.corners;
  pts.push_back(from);
  pts.push_back(to);
  const int n = static_cast<int>(pts.size());
  const int src = n - 2, dst = n - 1;
  std::vector<double> dist(n, std::numeric_limits<double>::infinity());
  std::vector<int> prev(n, -1);
  std::vector<bool> done(n, false);
  dist[src] = 0;
  for (;;) {
    int u = -1;
    for (int i = 0; i < n; i++)
      if (!done[i] && (u < 0 || dist[i] < dist[u])) u = i;
    if (u < 0 || !std::isfinite(dist[u])) break;
    done[u] = true;
    if (u == dst) break;
    for (int v = 0; v < n; v++) {
      if (done[v] || hits(g.grown, pts[u], pts[v])) continue;
      const double d = dist[u] + std::hypot(double(pts[v].x) - pts[u].x, double(pts[v].z) - pts[u].z);
      if (d < dist[v]) {
        dist[v] = d;
        prev[v] = u;
      }
    }
  }
  if (!std::isfinite(dist[dst])) return -1.0;
  if (corners) {
    corners->clear();
    for (int v = prev[dst]; v >= 0 && v != src; v = prev[v]) corners->insert(corners->begin(), pts[v]);
  }
  return dist[dst];
}

PfgFile pfg_build(const PfgLevel& L) {
  PfgFile f;
  const int sectors = static_cast<int>(L.sector_splits.size()) + 1;
  std::vector<float> xs{L.min_x};
  for (float s : L.sector_splits) xs.push_back(s);
  xs.push_back(L.max_x);

  // Doors: one wall facing each way, so they stop moves from both sides.
  for (const PfgLevel::Door& d : L.doors) {
    const int a = f.add_point(d.a.x, d.a.z), b = f.add_point(d.b.x, d.b.z);
    f.first_run.push_back({a, b, 0x2, static_cast<uint16_t>(d.door)});
    f.first_run.push_back({b, a, 0x2, static_cast<uint16_t>(d.door)});
    for (int s = 0; s < sectors; s++) {
      if (std::max(d.a.x, d.b.x) >= xs[s] && std::min(d.a.x, d.b.x) <= xs[s + 1]) f.door_lists[s].push_back(d.door);
    }
  }
  // Portals between neighbouring sectors: sector A (the right one) on the
  // side of the normal.
  for (int s = 0; s + 1 < sectors; s++) {
    const int a = f.add_point(xs[s + 1], L.min_z), b = f.add_point(xs[s + 1], L.max_z);
    f.portals.push_back({a, b, s + 1, s});
  }

  for (int c = 0; c < PFG_SPEC_CLASSES; c++) {
    const ClassGeometry g = class_geometry(L, L.radius[c]);
    std::vector<std::vector<int>> outline_points;
    for (const Poly& p : g.grown) {
      std::vector<int> ids;
      for (const PfgPt& q : p) ids.push_back(f.add_point(q.x, q.z));
      outline_points.push_back(ids);
    }
    // Per sector: the polygon index of each obstacle in it (-1 when absent).
    std::vector<std::vector<int>> poly_in(sectors, std::vector<int>(g.grown.size(), -1));
    std::vector<int> node_sector(g.corners.size()), node_index(g.corners.size());
    for (int s = 0; s < sectors; s++) {
      PfgSectorSpec& S = f.sectors[c][s];
      const float lo = s == 0 ? g.lo_x : xs[s], hi = s == sectors - 1 ? g.hi_x : xs[s + 1];
      const int base = f.polygon_segment_base(c, s);
      int next_seg = base;
      // The ground's own walls in this sector.
      PfgPolygonSpec walls;
      const int p00 = f.add_point(lo, g.lo_z), p10 = f.add_point(hi, g.lo_z), p01 = f.add_point(lo, g.hi_z),
                p11 = f.add_point(hi, g.hi_z);
      walls.segments.push_back({p10, p00});  // facing +z
      walls.segments.push_back({p01, p11});  // facing -z
      if (s == 0) walls.segments.push_back({p00, p01});
      if (s == sectors - 1) walls.segments.push_back({p11, p10});
      walls.min_x = lo;
      walls.max_x = hi;
      walls.min_z = g.lo_z;
      walls.max_z = g.hi_z;
      const int wall_lo_z = next_seg, wall_hi_z = next_seg + 1;
      next_seg += static_cast<int>(walls.segments.size());
      S.polygons.push_back(walls);
      std::vector<int> first_seg(g.grown.size(), -1);
      for (size_t j = 0; j < g.grown.size(); j++) {
        const Poly& p = g.grown[j];
        PfgPolygonSpec poly;
        poly.min_x = poly.min_z = std::numeric_limits<float>::max();
        poly.max_x = poly.max_z = -std::numeric_limits<float>::max();
        for (const PfgPt& q : p) {
          poly.min_x = std::min(poly.min_x, q.x);
          poly.max_x = std::max(poly.max_x, q.x);
          poly.min_z = std::min(poly.min_z, q.z);
          poly.max_z = std::max(poly.max_z, q.z);
        }
        if (poly.max_x < lo - 0.01f || poly.min_x > hi + 0.01f) continue;
        for (size_t v = 0; v < p.size(); v++)
          poly.segments.push_back({outline_points[j][v], outline_points[j][(v + 1) % p.size()]});
        poly_in[s][j] = static_cast<int>(S.polygons.size());
        first_seg[j] = next_seg;
        next_seg += static_cast<int>(poly.segments.size());
        S.polygons.push_back(poly);
      }
      // The walkable tree: inside the sector's x range and its z walls, and
      // outside every obstacle (each edge tested in turn: outside any edge
      // means outside that obstacle).
      const int xlo_point = f.add_point(lo, g.lo_z), xhi_point = f.add_point(hi, g.lo_z);
      S.tree.push_back({1, xlo_point, -1, 1});
      S.tree.push_back({1, xhi_point, 2, -1});
      S.tree.push_back({2, wall_lo_z, -1, 3});
      S.tree.push_back({2, wall_hi_z, -1, 4});
      std::vector<size_t> present;
      for (size_t j = 0; j < g.grown.size(); j++)
        if (first_seg[j] >= 0) present.push_back(j);
      int at = 4;
      for (size_t k = 0; k < present.size(); k++) {
        const size_t j = present[k];
        const int edges = static_cast<int>(g.grown[j].size());
        const int after = at + edges;  // the next obstacle's first record, or the leaf
        for (int e = 0; e < edges; e++)
          S.tree.push_back({2, first_seg[j] + e, e + 1 < edges ? at + e + 1 : -1, after});
        at = after;
      }
      S.tree.push_back({3, 0});
      // Grid of the walls and doors.
      PfgGridSpec& G = S.grid;
      G.origin_x = xs[s];
      G.origin_z = L.min_z;
      G.cell_width = G.cell_depth = L.cell;
      G.columns = std::max(1, static_cast<int>(std::ceil((xs[s + 1] - xs[s]) / L.cell)));
      G.rows = std::max(1, static_cast<int>(std::ceil((L.max_z - L.min_z) / L.cell)));
      G.buckets.resize(static_cast<size_t>(std::max(1, G.columns * G.rows / 2)));
      std::vector<std::vector<int>> cell_segs(static_cast<size_t>(G.columns * G.rows));
      auto add_seg = [&](int seg, PfgPt a, PfgPt b) {
        const int c0 = std::clamp(int(std::floor((std::min(a.x, b.x) - G.origin_x) / L.cell)), 0, G.columns - 1);
        const int c1 = std::clamp(int(std::floor((std::max(a.x, b.x) - G.origin_x) / L.cell)), 0, G.columns - 1);
        const int r0 = std::clamp(int(std::floor((std::min(a.z, b.z) - G.origin_z) / L.cell)), 0, G.rows - 1);
        const int r1 = std::clamp(int(std::floor((std::max(a.z, b.z) - G.origin_z) / L.cell)), 0, G.rows - 1);
        for (int r = r0; r <= r1; r++)
          for (int col = c0; col <= c1; col++) cell_segs[r * G.columns + col].push_back(seg);
      };
      int seg = base;
      for (const PfgPolygonSpec& p : S.polygons)
        for (const PfgSegmentSpec& sp : p.segments) add_seg(seg++, f.points[sp.a], f.points[sp.b]);
      for (size_t d = 0; d < f.first_run.size(); d++) {
        const PfgPt a = f.points[f.first_run[d].a], b = f.points[f.first_run[d].b];
        if (std::max(a.x, b.x) >= xs[s] && std::min(a.x, b.x) <= xs[s + 1]) add_seg(static_cast<int>(d), a, b);
      }
      for (int key = 0; key < G.columns * G.rows; key++) {
        if (cell_segs[key].empty()) continue;
        G.buckets[key % G.buckets.size()].push_back({key, cell_segs[key]});
      }
    }
    // Graph nodes on the open corners, each in the sector that holds it.
    for (size_t i = 0; i < g.corners.size(); i++) {
      const auto [j, v] = g.corner_of[i];
      const int s = std::min(pfg_sector_of(L, g.corners[i].x), sectors - 1);
      PfgSectorSpec& S = f.sectors[c][s];
      const int edges = static_cast<int>(g.grown[j].size());
      const int first = f.polygon_segment_base(c, s);
      int seg0 = first;
      for (int p = 0; p < poly_in[s][j]; p++) seg0 += static_cast<int>(S.polygons[p].segments.size());
      PfgNodeSpec n;
      n.point = outline_points[j][v];
      n.seg1 = seg0 + (v + edges - 1) % edges;  // the edge that ends here
      n.seg2 = seg0 + v;                         // the edge that starts here
      node_sector[i] = s;
      node_index[i] = static_cast<int>(S.nodes.size());
      S.nodes.push_back(n);
    }
    // The game counts a sector without graph nodes as no ground at all, so
    // open ground with no corner on it (a flat clearing) gets one free node
    // where the sector is open.
    std::vector<PfgPt> at = g.corners;
    for (int s = 0; s < sectors; s++) {
      PfgSectorSpec& S = f.sectors[c][s];
      if (!S.nodes.empty()) continue;
      const float lo = s == 0 ? g.lo_x : xs[s], hi = s == sectors - 1 ? g.hi_x : xs[s + 1];
      if (hi <= lo || g.hi_z <= g.lo_z) continue;
      for (int t = 0; t < 25; t++) {
        const int k = (t + 12) % 25;  // the middle first
        const PfgPt q{lo + (hi - lo) * (0.5f + 0.2f * (k % 5 - 2)),
                      g.lo_z + (g.hi_z - g.lo_z) * (0.5f + 0.2f * (k / 5 - 2))};
        bool open = true;
        for (const Poly& o : g.grown) open = open && outside_by(o, q) > 0.001;
        if (!open) continue;
        PfgNodeSpec n;
        n.point = f.add_point(q.x, q.z);
        n.free = true;
        node_sector.push_back(s);
        node_index.push_back(0);
        at.push_back(q);
        S.nodes.push_back(n);
        break;
      }
    }
    for (size_t i = 0; i < at.size(); i++) {
      for (size_t k = 0; k < at.size(); k++) {
        if (i == k || hits(g.grown, at[i], at[k])) continue;
        f.sectors[c][node_sector[i]].nodes[node_index[i]].links.push_back({node_sector[k], node_index[k]});
      }
    }
  }
  return f;
}

// ---- The demo levels' ground -----------------------------------------------------------------

namespace {
Poly box(float x0, float z0, float x1, float z1) { return {{x0, z0}, {x1, z0}, {x1, z1}, {x0, z1}}; }
}  // namespace

void demo_graph_outdoor(PfgLevel& L) {
  L.min_x = L.min_z = -24.0f;
  L.max_x = L.max_z = 24.0f;
  L.sector_splits = {-5.0f};
  // The houses of the two hamlets (their chimneys stand on the roofs).
  for (int side = 0; side < 2; side++)
    for (int i = 0; i < 10; i++)
      for (int j = 0; j < 4; j++) {
        const float x = -22.0f + i * 4.4f, z = (side ? 14.0f : -22.0f) + j * 2.2f;
        L.obstacles.push_back(box(x, z, x + 3.0f, z + 1.6f));
      }
  L.obstacles.push_back(box(6.0f, 6.0f, 12.0f, 12.0f));      // lookout platform
  L.obstacles.push_back(box(-14.0f, -14.0f, -10.0f, -10.0f));  // tower
  L.obstacles.push_back(box(-4.0f, 2.0f, -2.0f, 4.0f));      // crate01
  {
    // crate02: a unit half-size square turned by 0.6 rad about (2, -6).
    Poly p;
    const float c = std::cos(0.6f), s = std::sin(0.6f);
    for (auto [u, v] : {std::pair{-1.0f, -1.0f}, {1.0f, -1.0f}, {1.0f, 1.0f}, {-1.0f, 1.0f}})
      p.push_back({2.0f + u * c + v * s, -6.0f - u * s + v * c});
    L.obstacles.push_back(p);
  }
  L.obstacles.push_back(box(-10.0f, 9.95f, -2.0f, 10.05f));  // fence01
  // The L-shaped wall.
  L.obstacles.push_back(box(-8.0f, -11.0f, -7.0f, -3.0f));
  L.obstacles.push_back(box(-7.0f, -4.0f, -1.0f, -3.0f));
}

void demo_graph_indoor(PfgLevel& L) {
  L.min_x = -12.0f;
  L.max_x = 12.0f;
  L.min_z = -5.0f;
  L.max_z = 5.0f;
  L.sector_splits = {0.0f};
  L.obstacles.push_back(box(-0.25f, 1.0f, 0.25f, 5.0f));    // divider north
  L.obstacles.push_back(box(-0.25f, -5.0f, 0.25f, -1.0f));  // divider south
  L.obstacles.push_back(box(6.0f, 0.0f, 10.0f, 4.0f));      // stage
  L.obstacles.push_back(box(-10.0f, 3.0f, -9.0f, 4.0f));    // key chest
  L.doors.push_back({{0.0f, -1.0f}, {0.0f, 1.0f}, 0});
}
