#include "Engine/ai/path_graph.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

#include "Engine/ai/path_search.h"
#include "quarn/bmpman/bmpman.h"
#include "quarn/os/error.h"
#include "quarn/os/timer.h"
#include "quarn/vfile/path_types.h"
#include "quarn/vfile/readstream.h"
#include "quarn/vfile/vfile.h"

PathGraph Path_graph;

namespace {

// The graph's arrays. Each is sized once per load from the header totals
// and never grows afterwards, so the pointers the records hold stay valid
// until the next load or free.
struct Storage {
  std::vector<PathPoint> points;
  std::vector<PathSegment> segments;
  std::vector<SectorPortal> portals;
  std::vector<int32_t> door_values;
  std::vector<SectorPolygon> polygons;
  std::vector<GraphNode> nodes;
  std::vector<GraphNode*> links;
  std::vector<AreaTreeNode> tree;
  std::vector<GridBucket> buckets;
  std::vector<GridCell> cells;
  std::vector<PathSegment*> cell_refs;
};
Storage Store;

PathAvoidanceHooks Avoidance{};
int Current_class = -1;
int Current_sector = -1;

// Header totals, by their place in the header.
enum {
  T_POOL16,
  T_POLYGONS,
  T_NODES,
  T_LINKS,
  T_SPARE,
  T_TREE,
  T_BUCKETS,
  T_CELLS,
  T_CELL_REFS,
  T_SPARE2,
};

struct Reader {
  ReadStream& in;
  int size;
  const char* name;
  const char* section = "header";
  bool bad = false;
  // How much of each array later blocks may still take.
  size_t used_polygons = 0, used_nodes = 0, used_links = 0, used_tree = 0;
  size_t used_buckets = 0, used_cells = 0, used_refs = 0, used_segments = 0;

  int remaining() const { return size - in.tell(); }
  bool fail(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
  int32_t i32() { return in.read_int(); }
  float f32() { return in.read_float(); }
  uint16_t u16() { return in.read_ushort(); }
  uint8_t u8() { return in.read_ubyte(); }
  bool ok() {
    if (bad) return false;
    if (in.error() != 0) return fail("the file ends early");
    return true;
  }
  // A count of records of at least `min_bytes` each that the rest of the
  // file can still hold.
  bool count_fits(int32_t n, int min_bytes, const char* what) {
    if (!ok()) return false;
    if (n < 0 || static_cast<int64_t>(n) * min_bytes > remaining())
      return fail("%s count %d does not fit the file", what, n);
    return true;
  }
  bool take(size_t* used, size_t total, int32_t n, const char* what) {
    if (n < 0 || *used + static_cast<size_t>(n) > total)
      return fail("%s count %d exceeds the header total %zu", what, n, total);
    *used += static_cast<size_t>(n);
    return true;
  }
  bool skip(int64_t bytes) {
    if (bytes < 0 || bytes > remaining()) return fail("the file ends early");
    return in.seek(static_cast<int>(bytes), 1) == 0 || fail("the file ends early");
  }
  PathPoint* point(int32_t i) {
    if (i < 0 || static_cast<size_t>(i) >= Store.points.size()) {
      fail("point index %d out of range", i);
      return nullptr;
    }
    return &Store.points[i];
  }
  PathSegment* segment(int32_t i, bool allow_null = false) {
    if (allow_null && i == -1) return nullptr;
    // Splits of the area tree may name segments of the last run, which is
    // read after the sectors: any index of the array will be filled by then.
    if (i < 0 || static_cast<size_t>(i) >= Store.segments.size()) {
      fail("segment index %d out of range", i);
      return nullptr;
    }
    return &Store.segments[i];
  }
};

bool Reader::fail(const char* fmt, ...) {
  if (bad) return false;
  bad = true;
  char why[200];
  va_list ap;
  va_start(ap, fmt);
  std::vsnprintf(why, sizeof why, fmt, ap);
  va_end(ap);
  std::printf("Pathfinding graph %s refused (%s): %s\n", name, section, why);
  return false;
}

void reset_graph() {
  Store = Storage{};
  std::memset(&Path_graph, 0, sizeof Path_graph);
  Current_class = Current_sector = -1;
}

// One segment run: count, then the segments, appended in file order.
bool read_segment_run(Reader& r, int32_t* first, int32_t* count) {
  const int32_t n = r.i32();
  if (!r.count_fits(n, 12, "segment")) return false;
  if (!r.take(&r.used_segments, Store.segments.size(), n, "segment")) return false;
  *first = static_cast<int32_t>(r.used_segments) - n;
  *count = n;
  for (int32_t i = 0; i < n; i++) {
    PathSegment& s = Store.segments[*first + i];
    s.a = r.point(r.i32());
    s.b = r.point(r.i32());
    s.flags = r.u16();
    s.door = static_cast<uint8_t>(r.u16() & 0xFF);
    s.stamp = 0;
    if (!r.ok()) return false;
  }
  return true;
}

bool read_sector_block(Reader& r, int cls, int sec) {
  PathSector& S = Path_graph.sectors[cls][sec];
  // a. Polygons.
  r.section = "polygons";
  const int32_t polys = r.i32();
  if (!r.count_fits(polys, 20, "polygon") || !r.take(&r.used_polygons, Store.polygons.size(), polys, "polygon"))
    return false;
  SectorPolygon* prev = nullptr;
  for (int32_t i = 0; i < polys; i++) {
    SectorPolygon& p = Store.polygons[r.used_polygons - polys + i];
    int32_t first = 0, count = 0;
    if (!read_segment_run(r, &first, &count)) return false;
    p.count = count;
    p.segments = count > 0 ? &Store.segments[first] : nullptr;
    p.min_x = r.f32();
    p.max_x = r.f32();
    p.max_z = r.f32();
    p.min_z = r.f32();
    p.next = nullptr;
    if (prev) prev->next = &p;
    else S.polygons = &p;
    prev = &p;
    if (!r.ok()) return false;
  }
  load_progress_tick();

  // b. Graph nodes; their links come at the end of the file.
  r.section = "graph nodes";
  const int32_t nodes = r.i32();
  if (!r.count_fits(nodes, 9, "graph node") || !r.take(&r.used_nodes, Store.nodes.size(), nodes, "graph node"))
    return false;
  S.node_count = nodes;
  S.nodes = nodes > 0 ? &Store.nodes[r.used_nodes - nodes] : nullptr;
  for (int32_t i = 0; i < nodes; i++) {
    GraphNode& n = S.nodes[i];
    n.point = r.point(r.i32());
    const int32_t links = r.i32();
    if (r.ok() && (links < 0 || links > PFG_MAX_LINKS)) return r.fail("node %d has %d links", i, links);
    n.link_count = static_cast<int16_t>(links);
    n.sector = static_cast<uint16_t>(sec);
    if (r.u8() != 0) {
      n.flags = GN_FREE;
    } else {
      n.seg1 = r.segment(r.i32());
      n.seg2 = r.segment(r.i32());
    }
    if (!r.ok()) return false;
  }

  // c. Local nodes, linked within the sector.
  r.section = "local nodes";
  const int32_t locals = r.i32();
  if (!r.count_fits(locals, 8, "local node") || !r.take(&r.used_nodes, Store.nodes.size(), locals, "local node"))
    return false;
  S.local_count = locals;
  S.locals = locals > 0 ? &Store.nodes[r.used_nodes - locals] : nullptr;
  for (int32_t i = 0; i < locals; i++) {
    GraphNode& n = S.locals[i];
    n.point = r.point(r.i32());
    n.sector = static_cast<uint16_t>(sec);
    const int32_t links = r.i32();
    if (!r.count_fits(links, 4, "local link")) return false;
    if (links > PFG_MAX_LINKS) return r.fail("local node %d has %d links", i, links);
    if (!r.take(&r.used_links, Store.links.size(), links, "local link")) return false;
    n.link_count = static_cast<int16_t>(links);
    n.links = links > 0 ? &Store.links[r.used_links - links] : nullptr;
    for (int32_t k = 0; k < links; k++) {
      const int32_t target = r.i32();
      if (r.ok() && (target < 0 || target >= locals)) return r.fail("local link %d out of range", target);
      n.links[k] = &S.locals[target];
    }
    if (!r.ok()) return false;
  }
  load_progress_tick();

  // d. A block nothing uses: stepped over, but its sizes are still checked.
  r.section = "spare block";
  const int32_t spare = r.i32();
  if (!r.count_fits(spare, 16, "spare entry")) return false;
  for (int32_t i = 0; i < spare; i++) {
    if (!r.skip(8)) return false;
    const int32_t k = r.i32();
    if (!r.count_fits(k, 4, "spare value") || !r.skip(int64_t(k) * 4)) return false;
    const int32_t m = r.i32();
    if (!r.count_fits(m, 2, "spare value") || !r.skip(int64_t(m) * 2)) return false;
  }

  // e. Area tree.
  r.section = "area tree";
  const int32_t tree = r.i32();
  if (!r.count_fits(tree, 16, "area tree") || !r.take(&r.used_tree, Store.tree.size(), tree, "area tree record"))
    return false;
  S.tree_count = tree;
  S.tree = tree > 0 ? &Store.tree[r.used_tree - tree] : nullptr;
  for (int32_t i = 0; i < tree; i++) {
    AreaTreeNode& t = S.tree[i];
    t.kind = r.i32();
    const int32_t ref = r.i32();
    if (!r.ok()) return false;
    if (t.kind == AREA_SPLIT_X) t.point = r.point(ref);
    else if (t.kind == AREA_SPLIT_SEGMENT) t.segment = r.segment(ref);
    else if (t.kind != AREA_WALKABLE) return r.fail("tree record %d has kind %d", i, t.kind);
    const int32_t below = r.i32(), above = r.i32();
    if (!r.ok()) return false;
    // A child before its parent could make the walk go round for ever.
    for (int32_t c : {below, above}) {
      if (c != -1 && (c <= i || c >= tree)) return r.fail("tree record %d has child %d", i, c);
    }
    t.below = below >= 0 ? &S.tree[below] : nullptr;
    t.above = above >= 0 ? &S.tree[above] : nullptr;
  }
  load_progress_tick();
  return r.ok();
}

bool read_grid(Reader& r, SectorGrid& G) {
  r.section = "grid";
  G.origin_x = r.f32();
  G.value2 = r.f32();
  G.origin_z = r.f32();
  G.value4 = r.f32();
  G.cell_width = r.f32();
  G.cell_depth = r.f32();
  G.columns = r.i32();
  G.rows = r.i32();
  G.bucket_count = r.i32();
  G.value5 = r.i32();
  if (!r.ok()) return false;
  if (G.columns < 0 || G.rows < 0 || static_cast<int64_t>(G.columns) * G.rows > INT32_MAX)
    return r.fail("grid of %d x %d cells", G.columns, G.rows);
  if (G.bucket_count > 0 && !(G.cell_width > 0.0f && G.cell_depth > 0.0f && std::isfinite(G.cell_width) &&
                              std::isfinite(G.cell_depth) && std::isfinite(G.origin_x) && std::isfinite(G.origin_z)))
    return r.fail("grid cells of %g x %g", G.cell_width, G.cell_depth);
  if (!r.count_fits(G.bucket_count, 2, "grid bucket") ||
      !r.take(&r.used_buckets, Store.buckets.size(), G.bucket_count, "grid bucket"))
    return false;
  G.buckets = G.bucket_count > 0 ? &Store.buckets[r.used_buckets - G.bucket_count] : nullptr;
  for (int32_t b = 0; b < G.bucket_count; b++) {
    GridBucket& B = G.buckets[b];
    const int32_t entries = r.u16();
    if (!r.count_fits(entries, 6, "grid cell") || !r.take(&r.used_cells, Store.cells.size(), entries, "grid cell"))
      return false;
    B.count = static_cast<uint16_t>(entries);
    B.entries = entries > 0 ? &Store.cells[r.used_cells - entries] : nullptr;
    for (int32_t e = 0; e < entries; e++) {
      GridCell& C = B.entries[e];
      C.key = r.i32();
      const int32_t refs = r.u16();
      if (!r.count_fits(refs, 4, "cell segment") ||
          !r.take(&r.used_refs, Store.cell_refs.size(), refs, "cell segment reference"))
        return false;
      C.count = static_cast<uint16_t>(refs);
      C.segments = refs > 0 ? &Store.cell_refs[r.used_refs - refs] : nullptr;
      for (int32_t k = 0; k < refs; k++) C.segments[k] = r.segment(r.i32());
      if (!r.ok()) return false;
    }
  }
  return true;
}

void compute_bounds() {
  PathBounds b{0.0f, 0.0f, 0.0f, 0.0f};
  bool any = false;
  for (auto& cls : Path_graph.sectors) {
    for (PathSector& s : cls) {
      for (SectorPolygon* p = s.polygons; p; p = p->next) {
        if (!any) b = {p->min_x, p->max_x, p->min_z, p->max_z};
        any = true;
        b.min_x = std::fmin(b.min_x, p->min_x);
        b.max_x = std::fmax(b.max_x, p->max_x);
        b.min_z = std::fmin(b.min_z, p->min_z);
        b.max_z = std::fmax(b.max_z, p->max_z);
      }
    }
  }
  Path_graph.bounds = b;
}

template <typename T>
bool size_array(Reader& r, std::vector<T>& v, int32_t total, int min_bytes, const char* what) {
  // Every record of an array takes at least `min_bytes` of the file, so a
  // total the file cannot hold is refused before anything is allocated.
  if (total < 0 || static_cast<int64_t>(total) * min_bytes > r.size)
    return r.fail("header total of %s %d does not fit the file", what, total);
  v.assign(static_cast<size_t>(total), T{});
  return true;
}

}  // namespace

void path_set_avoidance_hooks(const PathAvoidanceHooks& hooks) { Avoidance = hooks; }
const PathAvoidanceHooks& path_avoidance_hooks() { return Avoidance; }

int path_graph_read(ReadStream& in, int size, const char* name) {
  reset_graph();
  Reader r{in, size, name};
  const int32_t version = r.i32();
  if (!r.ok()) return PFG_ERR_DAMAGED;
  if (version != PFG_VERSION) {
    std::printf("Pathfinding graph data is obsolete.  Continuing without pathfinding data\n");
    return 1;
  }
  r.i32();  // carries nothing
  int32_t* T = Path_graph.totals;
  for (int i = 0; i < PFG_HEADER_TOTALS; i++) T[i] = r.i32();
  r.section = "points";
  const int32_t P = r.i32();
  if (!r.count_fits(P, 8, "point")) return PFG_ERR_DAMAGED;
  Store.points.resize(static_cast<size_t>(P));
  for (PathPoint& p : Store.points) {
    p.x = r.f32();
    p.z = r.f32();
  }
  r.section = "header";
  const int32_t S = r.i32();
  // The file's records are larger than these floors, so a total that passes
  // cannot make the load allocate more than a few times the file's size.
  if (!r.ok() || !size_array(r, Store.segments, S, 12, "segments") ||
      !size_array(r, Store.polygons, T[T_POLYGONS], 20, "polygons") ||
      !size_array(r, Store.nodes, T[T_NODES], 8, "nodes") || !size_array(r, Store.links, T[T_LINKS], 4, "links") ||
      !size_array(r, Store.tree, T[T_TREE], 16, "area tree records") ||
      !size_array(r, Store.buckets, T[T_BUCKETS], 2, "grid buckets") ||
      !size_array(r, Store.cells, T[T_CELLS], 6, "grid cells") ||
      !size_array(r, Store.cell_refs, T[T_CELL_REFS], 4, "cell segment references")) {
    reset_graph();
    return PFG_ERR_DAMAGED;
  }

  bool good = true;
  r.section = "first segment run";
  int32_t first = 0, count = 0;
  good = read_segment_run(r, &first, &count);

  if (good) {
    r.section = "portals";
    const int32_t portals = r.i32();
    good = r.count_fits(portals, 16, "portal");
    if (good) Store.portals.resize(static_cast<size_t>(portals));
    for (int32_t i = 0; good && i < portals; i++) {
      SectorPortal& p = Store.portals[i];
      p.a = r.point(r.i32());
      p.b = r.point(r.i32());
      p.sector_a = r.i32();
      p.sector_b = r.i32();
      p.next = i + 1 < portals ? &Store.portals[i + 1] : nullptr;
      good = r.ok();
      if (good && (p.sector_a < 0 || p.sector_a >= PFG_SECTORS || p.sector_b < 0 || p.sector_b >= PFG_SECTORS))
        good = r.fail("portal %d joins sectors %d and %d", i, p.sector_a, p.sector_b);
      if (good) {
        Path_graph.adjacency[p.sector_a] |= 1u << p.sector_b;
        Path_graph.adjacency[p.sector_b] |= 1u << p.sector_a;
      }
    }
    Path_graph.portal_count = static_cast<int32_t>(Store.portals.size());
    Path_graph.portals = Store.portals.empty() ? nullptr : &Store.portals[0];
  }

  if (good) {
    r.section = "door lists";
    const int32_t total = r.i32();
    good = r.count_fits(total, 4, "door value");
    if (good) Store.door_values.resize(static_cast<size_t>(total));
    size_t used = 0;
    for (int s = 0; good && s < PFG_SECTORS; s++) {
      const int32_t n = r.i32();
      good = r.count_fits(n, 4, "door value") && r.take(&used, Store.door_values.size(), n, "door list");
      if (!good) break;
      Path_graph.door_list_count[s] = n;
      Path_graph.door_lists[s] = n > 0 ? &Store.door_values[used - n] : nullptr;
      for (int32_t k = 0; k < n; k++) Path_graph.door_lists[s][k] = r.i32();
      good = r.ok();
    }
  }

  for (int c = 0; good && c < PFG_SIZE_CLASSES; c++)
    for (int s = 0; good && s < PFG_SECTORS; s++) good = read_sector_block(r, c, s);

  if (good) {
    r.section = "last segment run";
    good = read_segment_run(r, &first, &count);
  }
  for (int c = 0; good && c < PFG_SIZE_CLASSES; c++)
    for (int s = 0; good && s < PFG_SECTORS; s++) good = read_grid(r, Path_graph.sectors[c][s].grid);

  for (int c = 0; good && c < PFG_SIZE_CLASSES; c++) {
    r.section = "links";
    for (int s = 0; good && s < PFG_SECTORS; s++) {
      PathSector& S = Path_graph.sectors[c][s];
      for (int32_t i = 0; good && i < S.node_count; i++) {
        GraphNode& n = S.nodes[i];
        const int32_t links = n.link_count;
        good = r.count_fits(links, 6, "link") && r.take(&r.used_links, Store.links.size(), links, "link");
        if (!good) break;
        n.links = links > 0 ? &Store.links[r.used_links - links] : nullptr;
        for (int32_t k = 0; good && k < links; k++) {
          const int target_sector = r.u16();
          const int32_t target = r.i32();
          good = r.ok();
          if (good && (target_sector >= PFG_SECTORS || target < 0 ||
                       target >= Path_graph.sectors[c][target_sector].node_count))
            good = r.fail("node %d of sector %d links to node %d of sector %d", i, s, target, target_sector);
          if (good) n.links[k] = &Path_graph.sectors[c][target_sector].nodes[target];
        }
      }
    }
  }
  if (good && r.used_segments != Store.segments.size()) {
    r.section = "segments";
    good = r.fail("the runs hold %zu of %zu segments", r.used_segments, Store.segments.size());
  }
  if (good) {
    r.section = "trailing points";
    good = r.skip(int64_t(P) * 8) && r.ok();
  }
  if (!good) {
    reset_graph();
    return PFG_ERR_DAMAGED;
  }
  Path_graph.point_count = P;
  Path_graph.points = P > 0 ? Store.points.data() : nullptr;
  Path_graph.segment_count = S;
  Path_graph.segments = S > 0 ? Store.segments.data() : nullptr;
  Path_graph.memory_bytes = static_cast<uint32_t>(
      Store.points.size() * sizeof(PathPoint) + Store.segments.size() * sizeof(PathSegment) +
      Store.portals.size() * sizeof(SectorPortal) + Store.door_values.size() * 4 +
      Store.polygons.size() * sizeof(SectorPolygon) + Store.nodes.size() * sizeof(GraphNode) +
      Store.links.size() * sizeof(GraphNode*) + Store.tree.size() * sizeof(AreaTreeNode) +
      Store.buckets.size() * sizeof(GridBucket) + Store.cells.size() * sizeof(GridCell) +
      Store.cell_refs.size() * sizeof(PathSegment*));
  Path_graph.loaded = true;
  compute_bounds();
  return 0;
}

int path_graph_load(const char* level_name) {
  if (Avoidance.reset) Avoidance.reset();
  path_pool_reset();
  reset_graph();
  char base[VFILE_MAX_PATH];
  char name[VFILE_MAX_PATH];
  vfile_strip_extension(base, level_name);
  vfile_make_name(name, base, ".pfg");
  FileHandle fh;
  const int rc = fh.open(name, VF_READ, Internal_path_type);
  if (rc == VF_ERR_NOT_FOUND) {
    fh.close();
    return 0;
  }
  if (rc != VF_OK) CRITICAL_ERROR("Couldn't open pathfinding graph data file %s", name);
  const int size = fh.size();
  ReadStream in;
  in.open_file(&fh);
  const int result = path_graph_read(in, size, name);
  if (result == 1) {
    fh.close();
    return 0;
  }
  if (result != 0) {
    const int err = fh.error();
    fh.close();
    return err != 0 ? err : result;
  }
  std::printf("PFG memory size: %d\n", static_cast<int>(Path_graph.memory_bytes));
  std::fflush(stdout);
  const int close_rc = fh.close();
  if (close_rc != 0) reset_graph();
  return close_rc;
}

void path_graph_free() {
  reset_graph();
  if (Avoidance.free) Avoidance.free();
}

bool path_sector_select(int size_class, int sector) {
  if (size_class < 0 || size_class >= PFG_SIZE_CLASSES || sector < 0 || sector >= PFG_SECTORS) {
    Current_class = Current_sector = -1;
    return false;
  }
  Current_class = size_class;
  Current_sector = sector;
  return true;
}

PathSector* path_sector_current() { return path_sector_get(Current_class, Current_sector); }
int path_current_size_class() { return Current_class; }
int path_current_sector() { return Current_sector; }

PathSector* path_sector_get(int size_class, int sector) {
  if (size_class < 0 || size_class >= PFG_SIZE_CLASSES || sector < 0 || sector >= PFG_SECTORS) return nullptr;
  return &Path_graph.sectors[size_class][sector];
}

void path_graph_frame() {
  for (GraphNode& n : Store.nodes) n.flags &= static_cast<uint16_t>(GN_FREE | GN_AVOIDANCE);
}
