#include "quarn/vfile/dir_cache.h"

#include <dirent.h>
#include <sys/stat.h>
#include <time.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "quarn/platform/dir_watch.h"

namespace vfile_detail {

namespace {

struct Variant {
  std::string name;
  EntryKind kind;
  std::unique_ptr<DirNode> node;  // made on first use of a directory
};

}  // namespace

struct DirNode {
  std::string path;
  int watch = -1;
  bool listed = false;
  // Without a watch: the time stamp the listing was taken at, and when.
  struct timespec mtime {};
  time_t read_at = 0;
  // Lower-case name -> every entry of that name in any case, sorted, so that
  // several case variants resolve the same way every time.
  std::unordered_map<std::string, std::vector<Variant>, NameHash, std::equal_to<>> entries;
};

namespace {

std::unique_ptr<DirNode> g_root;
std::unordered_map<int, DirNode*> g_watched;
// Every lower-case name any listed directory holds, with the number of
// directories holding it: a name that is in none needs no directory asked.
std::unordered_map<std::string, int, NameHash, std::equal_to<>> g_names;
uint64_t g_generation = 1;
bool g_notify = false;

// A directory's time stamp moves in clock ticks (seconds on some file
// systems), so a change made in the same tick as the listing leaves it
// unchanged. Without a watch, a listing taken that close to the last change
// is read again on every use until the change is safely older.
constexpr time_t RACY_SECONDS = 2;

void index_names(const DirNode& d, int delta) {
  for (const auto& [key, variants] : d.entries) {
    auto it = g_names.try_emplace(key, 0).first;
    if ((it->second += delta) <= 0) g_names.erase(it);
  }
}

// Before a directory's node goes: its watch and those below it end, and its
// names leave the index.
void drop_subtree(DirNode& d) {
  if (d.watch >= 0) {
    dir_watch_remove(d.watch);
    g_watched.erase(d.watch);
    d.watch = -1;
  }
  if (d.listed) index_names(d, -1);
  for (auto& [key, variants] : d.entries) {
    for (Variant& v : variants) {
      if (v.node) drop_subtree(*v.node);
    }
  }
  d.entries.clear();
  d.listed = false;
}

void forget(DirNode& d) {
  if (d.listed) index_names(d, -1);
  d.listed = false;
  ++g_generation;
}

void on_event(void*, int id, int event) {
  auto it = g_watched.find(id);
  if (it == g_watched.end()) return;
  DirNode* d = it->second;
  if (event & DIR_WATCH_GONE) {
    // Its entries may belong to another directory by now: read them afresh
    // through a new watch if the path is used again.
    dir_watch_remove(d->watch);
    g_watched.erase(it);
    d->watch = -1;
  }
  forget(*d);
}

void forget_all(DirNode& d) {
  forget(d);
  for (auto& [key, variants] : d.entries) {
    for (Variant& v : variants) {
      if (v.node) forget_all(*v.node);
    }
  }
}

void take_notifications() {
  if (!g_notify || !dir_watch_pending()) return;
  if (!dir_watch_drain(on_event, nullptr) && g_root) forget_all(*g_root);
}

EntryKind kind_of(const std::string& dir, const dirent* de) {
  switch (de->d_type) {
    case DT_DIR: return EntryKind::dir;
    case DT_REG: return EntryKind::file;
    case DT_LNK:
    case DT_UNKNOWN: {
      // A link counts as what it points to.
      struct stat st;
      std::string full = dir + "/" + de->d_name;
      if (stat(full.c_str(), &st) != 0) return EntryKind::missing;
      return S_ISDIR(st.st_mode) ? EntryKind::dir : EntryKind::file;
    }
    default: return EntryKind::file;  // devices and pipes open as files do
  }
}

// Reads the directory's entries, keeping the nodes of subdirectories that are
// still there. False when it cannot be read; *gone tells whether it is simply
// not there (or not a directory).
bool list(DirNode& d, bool* gone) {
  *gone = false;
  if (g_notify && d.watch < 0) {
    // Watched before it is read, so that nothing changed in between goes
    // unseen.
    d.watch = dir_watch_add(d.path.c_str());
    if (d.watch >= 0) {
      auto [it, fresh] = g_watched.emplace(d.watch, &d);
      if (!fresh) d.watch = -1;  // the same directory by another path: checked by time stamp
    }
  }
  struct timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  struct stat st;
  if (d.watch < 0 && (stat(d.path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))) {
    *gone = true;
    return false;
  }
  DIR* dp = opendir(d.path.c_str());
  if (!dp) {
    *gone = errno == ENOENT || errno == ENOTDIR;
    return false;
  }
  std::vector<Variant> found;
  while (dirent* de = readdir(dp)) {
    const char* n = de->d_name;
    if ((n[0] == '.' && n[1] == 0) || (n[0] == '.' && n[1] == '.' && n[2] == 0)) continue;
    if (is_write_temp_name(n, std::strlen(n))) continue;
    found.push_back(Variant{n, kind_of(d.path, de), nullptr});
  }
  closedir(dp);
  std::sort(found.begin(), found.end(), [](const Variant& a, const Variant& b) { return a.name < b.name; });

  if (d.listed) index_names(d, -1);
  auto old = std::move(d.entries);
  d.entries.clear();
  for (Variant& v : found) {
    std::string key(v.name);
    for (char& c : key) c = ascii_lower(c);
    if (v.kind == EntryKind::dir) {
      auto it = old.find(key);
      if (it != old.end()) {
        for (Variant& o : it->second) {
          if (o.name == v.name && o.kind == EntryKind::dir && o.node) v.node = std::move(o.node);
        }
      }
    }
    d.entries[key].push_back(std::move(v));
  }
  for (auto& [key, variants] : old) {
    for (Variant& v : variants) {
      if (v.node) drop_subtree(*v.node);
    }
  }
  index_names(d, 1);
  if (d.watch < 0) {
    d.mtime = st.st_mtim;
    d.read_at = now.tv_sec;
  }
  d.listed = true;
  ++g_generation;
  return true;
}

// The directory's entries are current. False when it cannot be read; *gone
// as for list().
bool current(DirNode& d, bool* gone) {
  *gone = false;
  if (d.listed && d.watch >= 0) return true;
  if (d.listed) {
    struct stat st;
    if (stat(d.path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
      forget(d);
      d.entries.clear();
      *gone = true;
      return false;
    }
    if (d.mtime.tv_sec == st.st_mtim.tv_sec && d.mtime.tv_nsec == st.st_mtim.tv_nsec &&
        d.read_at - st.st_mtim.tv_sec >= RACY_SECONDS)
      return true;
  }
  if (!list(d, gone)) {
    if (d.listed) index_names(d, -1);
    d.entries.clear();
    d.listed = false;
    return false;
  }
  return true;
}

Variant* find_variant(DirNode& d, std::string_view name) {
  char key[256];
  if (name.size() >= sizeof key) return nullptr;  // longer than any name a directory holds
  for (size_t i = 0; i < name.size(); ++i) key[i] = ascii_lower(name[i]);
  auto it = d.entries.find(std::string_view(key, name.size()));
  if (it == d.entries.end()) return nullptr;
  for (Variant& v : it->second) {
    if (v.name == name) return &v;
  }
  return &it->second.front();
}

DirNode* child(DirNode& parent, Variant& v) {
  if (!v.node) {
    v.node = std::make_unique<DirNode>();
    v.node->path = parent.path + "/" + v.name;
  }
  return v.node.get();
}

}  // namespace

bool is_write_temp_name(const char* name, size_t len) {
  // "<name>.~<pid>": a dot, a tilde, then digits to the end.
  size_t i = len;
  while (i > 0 && name[i - 1] >= '0' && name[i - 1] <= '9') --i;
  return i < len && i >= 3 && name[i - 1] == '~' && name[i - 2] == '.';
}

void dircache_set_root(const char* root) {
  if (g_root) drop_subtree(*g_root);
  g_root.reset();
  g_watched.clear();
  g_names.clear();
  ++g_generation;
  if (!root || !*root) return;
  g_notify = dir_watch_start();
  g_root = std::make_unique<DirNode>();
  g_root->path = root;
}

uint64_t dircache_generation() {
  take_notifications();
  return g_generation;
}

bool dircache_resolve(const char* rel, char* out, size_t used, size_t out_size, EntryKind* kind,
                      DirNode** last_dir, bool* watched) {
  if (last_dir) *last_dir = nullptr;
  if (!g_root) return false;
  take_notifications();
  DirNode* dir = g_root.get();
  bool all_watched = true;
  EntryKind k = EntryKind::dir;  // the root itself
  if (last_dir) *last_dir = dir;
  const char* p = rel;
  for (;;) {
    const char* slash = std::strchr(p, '/');
    const size_t n = slash ? static_cast<size_t>(slash - p) : std::strlen(p);
    std::string_view comp(p, n);
    if (comp == "." || comp == "..") return false;
    if (n > 0) {
      const char* chosen = p;
      if (dir) {
        bool gone;
        if (!current(*dir, &gone) && !gone) return false;
        all_watched = all_watched && dir->watch >= 0;
        Variant* v = gone ? nullptr : find_variant(*dir, comp);
        if (v) {
          chosen = v->name.c_str();
          k = v->kind;
          dir = k == EntryKind::dir ? child(*dir, *v) : nullptr;
        } else {
          k = EntryKind::missing;
          dir = nullptr;
        }
      } else {
        k = EntryKind::missing;
      }
      if (used + n >= out_size) return false;
      std::memcpy(out + used, chosen, n);
      used += n;
    }
    if (!slash) break;
    if (used + 1 >= out_size) return false;
    out[used++] = '/';
    p = slash + 1;
  }
  out[used] = 0;
  if (kind) *kind = k;
  if (last_dir) *last_dir = k == EntryKind::dir ? dir : nullptr;
  if (watched) *watched = all_watched;
  return true;
}

const char* dircache_entry(DirNode* dir, const char* name, size_t len, EntryKind* kind) {
  *kind = EntryKind::missing;
  if (!dir) return nullptr;
  take_notifications();
  bool gone;
  if (!current(*dir, &gone)) return nullptr;
  Variant* v = find_variant(*dir, std::string_view(name, len));
  if (!v) return nullptr;
  *kind = v->kind;
  return v->name.c_str();
}

bool dircache_name_unlisted(const char* lower_name, size_t len) {
  take_notifications();
  return g_names.find(std::string_view(lower_name, len)) == g_names.end();
}

bool dircache_watched(const DirNode* dir) { return dir->listed && dir->watch >= 0; }

}  // namespace vfile_detail
