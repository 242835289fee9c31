#include "quarn/vfile/vfile.h"

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <strings.h>
#include <unordered_map>
#include <utility>
#include <vector>

#include "quarn/os/stringpool.h"
#include "quarn/os/strutil.h"
#include "quarn/vfile/dir_cache.h"
#include "quarn/vfile/packfile/file_packfile.h"
#include "quarn/vfile/vfile_internal.h"

// ---- State ------------------------------------------------------------------

namespace vfile_detail {
FileBuffer g_buffers[VFILE_NUM_BUFFERS];
}
using vfile_detail::ascii_lower;
using vfile_detail::EntryKind;
using vfile_detail::NameHash;
using vfile_detail::FileBuffer;
using vfile_detail::g_buffers;

namespace {

struct PathType {
  const char* dir;  // game form: lower case, backslashes; null when free
  const char* ext;  // lower case, every entry followed by a blank
};

char g_root[4096] = "";
char g_cd_root[VFILE_ROOT_MAX] = "";
std::vector<std::string> g_cd_labels;
bool g_initialized = false;
bool g_exit_registered = false;
PathType g_types[MAX_PATH_TYPES];
StringPool g_path_pool;
int g_cache_type = -1;
char g_cache_ext[8] = "none";
int g_group_access = 0;
// Moves whenever a path type is added or removed.
uint64_t g_types_generation = 1;
void (*g_progress_hook)() = nullptr;
void (*g_open_trace_hook)(const char*, long, int) = nullptr;

void to_slashes(char* s) {
  for (; *s; ++s) {
    if (*s == '\\') {
      *s = '/';
    }
  }
}

// ---- Case-insensitive path resolution ------------------------------------

struct DirListing {
  struct timespec mtime;
  time_t read_at;  // when the listing was taken
  std::vector<std::string> names;
};
std::unordered_map<std::string, DirListing> g_dir_cache;

// A directory's time stamp moves in clock ticks (seconds on some file
// systems), so a change made in the same tick as the listing leaves it
// unchanged. A listing taken that close to the last change is read again
// on every use until the change is safely older.
constexpr time_t RACY_SECONDS = 2;

const DirListing* list_dir(const std::string& dir) {
  struct stat st;
  const char* d = dir.empty() ? "." : dir.c_str();
  if (stat(d, &st) != 0 || !S_ISDIR(st.st_mode)) {
    g_dir_cache.erase(dir);
    return nullptr;
  }
  auto it = g_dir_cache.find(dir);
  if (it != g_dir_cache.end() && it->second.mtime.tv_sec == st.st_mtim.tv_sec &&
      it->second.mtime.tv_nsec == st.st_mtim.tv_nsec && it->second.read_at - st.st_mtim.tv_sec >= RACY_SECONDS) {
    return &it->second;
  }
  struct timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  DIR* dp = opendir(d);
  if (!dp) {
    return nullptr;
  }
  DirListing& l = g_dir_cache[dir];
  l.mtime = st.st_mtim;
  l.read_at = now.tv_sec;
  l.names.clear();
  while (dirent* de = readdir(dp)) {
    l.names.emplace_back(de->d_name);
  }
  closedir(dp);
  // A stable order so that several case variants resolve the same way.
  std::sort(l.names.begin(), l.names.end());
  return &l;
}

}  // namespace

namespace {

// Resolves a path below the root through the directory cache. False when the
// cache cannot answer: the caller takes the way through the disk.
bool resolve_cached(const std::string& in, char* out, int out_size, EntryKind* kind) {
  const size_t root_len = std::strlen(g_root);
  if (root_len <= 1 || in.size() < root_len || in.compare(0, root_len, g_root) != 0) {
    return false;
  }
  std::memcpy(out, g_root, root_len);
  return vfile_detail::dircache_resolve(in.c_str() + root_len, out, root_len, static_cast<size_t>(out_size), kind);
}

// The same through the disk: the whole path as given when it exists, else
// each component matched against its directory's listing.
bool resolve_on_disk(const std::string& in, char* out, int out_size);

// Resolves a game path; *kind tells what it names, as far as the directory
// cache knows (EntryKind::missing also when it cannot tell).
bool resolve(const char* path, char* out, int out_size, EntryKind* kind, bool* known) {
  std::string in(path);
  for (char& c : in) {
    if (c == '\\') {
      c = '/';
    }
  }
  if (in.size() >= static_cast<size_t>(out_size)) {
    return false;
  }
  *known = resolve_cached(in, out, out_size, kind);
  return *known || resolve_on_disk(in, out, out_size);
}

}  // namespace

bool vfile_resolve_path(const char* path, char* out, int out_size) {
  if (!path || !out || out_size <= 0) {
    return false;
  }
  EntryKind kind;
  bool known;
  return resolve(path, out, out_size, &kind, &known);
}

namespace {

bool resolve_on_disk(const std::string& in, char* out, int out_size) {
  struct stat st;
  if (in.empty() || stat(in.c_str(), &st) == 0) {
    std::memcpy(out, in.c_str(), in.size() + 1);
    return true;
  }
  std::string result;
  size_t i = 0;
  size_t root_len = std::strlen(g_root);
  if (root_len > 1 && in.compare(0, root_len, g_root) == 0) {
    // The root is a path of this system, taken as it is; only the game's
    // part below it is matched without regard to case. That also keeps
    // busy directories above the root (such as /tmp) out of the listings.
    result.assign(g_root, root_len);
    i = root_len;
  } else if (in[0] == '/') {
    result = "/";
    i = 1;
  }
  bool exists = true;  // the prefix so far exists on disk
  while (i <= in.size()) {
    size_t j = in.find('/', i);
    if (j == std::string::npos) {
      j = in.size();
    }
    std::string comp = in.substr(i, j - i);
    if (!comp.empty()) {
      std::string chosen = comp;
      if (exists && comp != "." && comp != "..") {
        std::string dir = result.empty() ? std::string() : result;
        if (!dir.empty() && dir.back() == '/' && dir.size() > 1) {
          dir.pop_back();
        }
        const DirListing* l = list_dir(dir);
        bool hit = false;
        if (l) {
          for (const std::string& n : l->names) {
            if (n == comp) {
              hit = true;
              break;
            }
          }
          if (!hit) {
            for (const std::string& n : l->names) {
              if (strcasecmp(n.c_str(), comp.c_str()) == 0) {
                chosen = n;
                hit = true;
                break;
              }
            }
          }
        }
        exists = hit;
      }
      result += chosen;
    }
    if (j < in.size()) {
      result += '/';
    }
    i = j + 1;
  }
  if (result.size() >= static_cast<size_t>(out_size)) {
    return false;
  }
  std::memcpy(out, result.c_str(), result.size() + 1);
  return true;
}

bool is_regular_file(const char* native) {
  struct stat st;
  return stat(native, &st) == 0 && !S_ISDIR(st.st_mode);
}

// Resolves and tests a loose file; fills out (VFILE_MAX_PATH) either way.
bool loose_file(const char* path, char* out) {
  EntryKind kind;
  bool known;
  if (!resolve(path, out, VFILE_MAX_PATH, &kind, &known)) {
    out[0] = 0;
    return false;
  }
  if (known) {
    return kind == EntryKind::file;
  }
  const char* base = std::strrchr(out, '/');
  base = base ? base + 1 : out;
  return !vfile_detail::is_write_temp_name(base, std::strlen(base)) && is_regular_file(out);
}

int mkdir_levels(const char* path) {
  char real[VFILE_MAX_PATH];
  if (!vfile_resolve_path(path, real, sizeof real)) {
    return -1;
  }
  std::string p(real);
  for (size_t i = 1; i <= p.size(); ++i) {
    if (i == p.size() || p[i] == '/') {
      std::string part = p.substr(0, i);
      struct stat st;
      if (stat(part.c_str(), &st) != 0) {
        if (mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) {
          return -1;
        }
      } else if (!S_ISDIR(st.st_mode)) {
        return -1;
      }
    }
  }
  return 0;
}

void shutdown_at_exit() { vfile_shutdown(); }

}  // namespace

// ---- Root -------------------------------------------------------------------

void vfile_set_root(const char* dir, bool mount_packfiles) {
  char buf[4096];
  if (dir && *dir) {
    std::snprintf(buf, sizeof buf, "%s", dir);
  } else if (const char* env = std::getenv("ORRIMUND_ROOT"); env && *env) {
    std::snprintf(buf, sizeof buf, "%s", env);
  } else {
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n < 0) {
      n = 0;
    }
    buf[n] = 0;
    char* slash = std::strrchr(buf, '/');
    if (slash) {
      slash[1] = 0;
    } else {
      std::strcpy(buf, "./");
    }
  }
  to_slashes(buf);
  size_t len = std::strlen(buf);
  if (len == 0 || buf[len - 1] != '/') {
    if (len + 1 < sizeof buf) {
      buf[len++] = '/';
      buf[len] = 0;
    }
  }
  std::memcpy(g_root, buf, len + 1);
  std::string cached_root(g_root, len > 1 ? len - 1 : 0);
  vfile_detail::dircache_set_root(cached_root.c_str());
  vfile_detail::reset_defaults();
  g_initialized = true;
  if (mount_packfiles) {
    packfile_init();
  }
  if (!g_exit_registered) {
    g_exit_registered = true;
    std::atexit(shutdown_at_exit);
  }
}

const char* vfile_root() { return g_root; }
const char* vfile_cd_root() { return g_cd_root; }
bool vfile_initialized() { return g_initialized; }

void vfile_set_cd_root(const char* path) {
  std::snprintf(g_cd_root, sizeof g_cd_root, "%s", path ? path : "");
}

void vfile_set_cd_labels(const char* const* labels, int count, const char* subdir) {
  g_cd_labels.clear();
  for (int i = 0; labels && i < count; ++i) {
    g_cd_labels.emplace_back(labels[i] ? std::string(labels[i]).substr(0, 255) : std::string());
  }
  if (subdir && *subdir) {
    std::snprintf(g_cd_root, sizeof g_cd_root, "z:\\%s\\", subdir);
  } else {
    std::snprintf(g_cd_root, sizeof g_cd_root, "z:\\");
  }
}

// There are no drive letters or volume labels on this system: no removable
// medium is ever found.
int vfile_find_cd_drive(int) { return -1; }

void vfile_shutdown() {
  for (int i = 0; i < VFILE_NUM_BUFFERS; ++i) {
    FileBuffer& b = g_buffers[i];
    vfile_detail::async_wait(b);
    if (b.mode) {
      if (b.stream && !b.temp_path.empty()) {
        vfile_detail::finish_write(b, b.error == 0);
      } else if (b.stream) {
        std::fclose(b.stream);
      } else if (b.entry) {
        packfile_close(b.entry);
      }
      if (b.owner) {
        b.owner->detach_slot();
      }
      b.reset();
    }
  }
  for (PathType& t : g_types) {
    t = PathType{nullptr, nullptr};
  }
  g_path_pool.free();
  packfile_shutdown();
  g_root[0] = 0;
  g_cd_root[0] = 0;
  g_cd_labels.clear();
  g_cache_type = -1;
  std::strcpy(g_cache_ext, "none");
  g_dir_cache.clear();
  vfile_detail::dircache_set_root(nullptr);
  ++g_types_generation;
  g_initialized = false;
}

// ---- Path types ---------------------------------------------------------

static void ensure_path_pool() {
  if (!g_path_pool.buffer()) {
    g_path_pool.alloc(VFILE_PATH_POOL_SIZE);
  }
}

int vfile_add_path_type(const char* dir, const char* ext_list) {
  ensure_path_pool();
  char d[VFILE_MAX_PATH];
  std::snprintf(d, sizeof d, "%s", dir ? dir : "");
  str_lower(d);
  for (char* p = d; *p; ++p) {
    if (*p == '/') {
      *p = '\\';
    }
  }
  char e[1024];
  std::snprintf(e, sizeof e - 1, "%s", ext_list ? ext_list : "");
  str_lower(e);
  std::strcat(e, " ");
  if (!d[0]) {
    g_types[0].dir = g_path_pool.find_or_add("");
    g_types[0].ext = g_path_pool.find_or_add(e);
    ++g_types_generation;
    return 0;
  }
  for (int i = 1; i < MAX_PATH_TYPES; ++i) {
    if (g_types[i].dir && strcasecmp(g_types[i].dir, d) == 0) {
      return i;
    }
  }
  for (int i = 1; i < MAX_PATH_TYPES; ++i) {
    if (!g_types[i].dir) {
      g_types[i].dir = g_path_pool.find_or_add(d);
      g_types[i].ext = g_path_pool.find_or_add(e);
      ++g_types_generation;
      return i;
    }
  }
  return -1;
}

void vfile_remove_path_type(int type) {
  if (type >= 0 && type < MAX_PATH_TYPES) {
    g_types[type] = PathType{nullptr, nullptr};
    ++g_types_generation;
  }
}

bool vfile_type_valid(int type) {
  return type == 0 || (type > 0 && type < MAX_PATH_TYPES && g_types[type].dir != nullptr);
}

const char* vfile_type_ext_list(int type) {
  if (type < 0 || type >= MAX_PATH_TYPES) {
    return nullptr;
  }
  return g_types[type].ext;
}

static char* build_path_from(const char* root, int type, const char* name, char* buffer) {
  if (!buffer || !vfile_type_valid(type) || std::strlen(root) >= VFILE_ROOT_MAX) {
    return nullptr;
  }
  int n;
  if (type == 0) {
    n = std::snprintf(buffer, VFILE_MAX_PATH, "%s%s", root, name ? name : "");
  } else {
    n = std::snprintf(buffer, VFILE_MAX_PATH, "%s%s\\%s", root, g_types[type].dir, name ? name : "");
  }
  if (n < 0 || n >= VFILE_MAX_PATH) {
    // Too long for the game's paths: refused rather than cut.
    buffer[0] = 0;
    return nullptr;
  }
  to_slashes(buffer);
  return buffer;
}

char* vfile_build_path(int type, const char* name, char* buffer) { return build_path_from(g_root, type, name, buffer); }
char* vfile_build_cd_path(int type, const char* name, char* buffer) {
  return build_path_from(g_cd_root, type, name, buffer);
}

char* vfile_type_dir_path(int type, char* buffer) {
  if (!vfile_build_path(type, nullptr, buffer)) {
    return nullptr;
  }
  size_t n = std::strlen(buffer);
  if (n > 1 && buffer[n - 1] == '/') {
    buffer[n - 1] = 0;
  }
  return buffer;
}

const char* vfile_type_dir_name(int type) {
  if (type <= 0 || !vfile_type_valid(type)) {
    return "";
  }
  return g_types[type].dir;
}

TextString vfile_type_dir_string(int type) {
  char buf[VFILE_MAX_PATH];
  return TextString(vfile_type_dir_path(type, buf) ? buf : "");
}

TextString vfile_type_cd_dir_string(int type) {
  char buf[VFILE_MAX_PATH];
  if (!vfile_build_cd_path(type, nullptr, buf)) {
    return TextString("");
  }
  size_t n = std::strlen(buf);
  if (n > 1 && buf[n - 1] == '/') {
    buf[n - 1] = 0;
  }
  return TextString(buf);
}

// ---- Lookups through the directory cache -------------------------------

namespace {

// The directory of a path type as it lies on disk, kept until something
// below the root or the set of path types changes.
struct TypeDir {
  uint64_t dirs_generation = 0;
  uint64_t types_generation = 0;
  bool usable = false;
  bool watched = false;  // the answer rests on directories kept right by notifications
  bool known = false;    // watched, and the folder's own entries are listed and watched too
  vfile_detail::DirNode* node = nullptr;  // null while the directory is not there
  size_t game_len = 0;  // root, directory and separator in the game's form
  char resolved[VFILE_MAX_PATH];
};
TypeDir g_type_dirs[MAX_PATH_TYPES];

// Types whose extension list holds an extension, in type order; keyed by the
// lower-case extension and a blank, as the lists hold it.
struct ExtTypes {
  std::vector<int> types;
  // Whether, at this generation of the directory cache, every folder the
  // extension may lie in is known (see no_loose_copy).
  uint64_t checked = 0;
  bool folders_known = false;
};
std::unordered_map<std::string, ExtTypes, NameHash, std::equal_to<>> g_ext_types;
uint64_t g_ext_types_generation = 0;
constexpr size_t EXT_TYPES_MAX = 256;  // distinct extensions remembered

ExtTypes& types_for_extension(const char* name) {
  if (g_ext_types_generation != g_types_generation || g_ext_types.size() > EXT_TYPES_MAX) {
    g_ext_types.clear();
    g_ext_types_generation = g_types_generation;
  }
  const char* e = vfile_extension(name);
  char ext[VFILE_MAX_PATH + 2];
  size_t n = 0;
  for (; e[n] && n < VFILE_MAX_PATH; ++n) {
    ext[n] = ascii_lower(e[n]);
  }
  ext[n++] = ' ';
  ext[n] = 0;
  std::string_view key(ext, n);
  auto it = g_ext_types.find(key);
  if (it != g_ext_types.end()) {
    return it->second;
  }
  std::vector<int> types;
  for (int t = 0; t < MAX_PATH_TYPES; ++t) {
    if (vfile_type_valid(t) && g_types[t].ext && ext_in_list(g_types[t].ext, ext)) {
      types.push_back(t);
    }
  }
  return g_ext_types.emplace(std::string(key), ExtTypes{std::move(types), 0, false}).first->second;
}

// dirs: the directory cache's generation as the caller last read it.
const TypeDir& type_dir(int type, uint64_t dirs) {
  TypeDir& td = g_type_dirs[type];
  if (td.dirs_generation == dirs && td.types_generation == g_types_generation) {
    return td;
  }
  td.dirs_generation = dirs;
  td.types_generation = g_types_generation;
  td.usable = false;
  td.known = false;
  char game[VFILE_MAX_PATH];
  const size_t root_len = std::strlen(g_root);
  if (root_len <= 1 || !vfile_build_path(type, nullptr, game)) {
    return td;
  }
  td.game_len = std::strlen(game);
  std::memcpy(td.resolved, g_root, root_len);
  EntryKind kind;
  td.usable = vfile_detail::dircache_resolve(game + root_len, td.resolved, root_len, sizeof td.resolved, &kind,
                                            &td.node, &td.watched);
  td.known = td.usable && td.watched && (!td.node || vfile_detail::dircache_watched(td.node));
  // Resolving may list directories afresh; that is no change on disk.
  td.dirs_generation = vfile_detail::dircache_generation();
  return td;
}

enum class Lookup { done, too_long, ask_disk };

bool is_bare_name(const char* name) {
  return name[0] && !std::strpbrk(name, "/\\") && std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0;
}

// True when the directory cache shows that none of these types' folders
// (nor the root) holds a loose file of this bare name: the name is in no
// listed folder, and each folder is listed and watched, or known not to be
// there.
bool folder_known(int t, uint64_t dirs) { return !vfile_type_valid(t) || type_dir(t, dirs).known; }

// ext: the extension's types for a lookup without a type, else null.
bool folders_known(ExtTypes* ext, int type, uint64_t dirs) {
  if (!ext) {
    return folder_known(type, dirs) && folder_known(0, dirs);
  }
  if (ext->checked != dirs) {
    bool known = folder_known(0, dirs);
    for (int t : ext->types) {
      known = known && folder_known(t, dirs);
    }
    ext->folders_known = known;
    // Taking listings moved the generation; none of it was a change on disk.
    ext->checked = vfile_detail::dircache_generation();
  }
  return ext->folders_known;
}

bool no_loose_copy(const char* name, ExtTypes* ext, int type, uint64_t dirs) {
  if (!is_bare_name(name)) {
    return false;
  }
  char key[256];
  size_t n = 0;
  for (; name[n]; ++n) {
    if (n + 1 >= sizeof key) {
      return false;
    }
    key[n] = ascii_lower(name[n]);
  }
  // The folders first: taking their listings may add names.
  return folders_known(ext, type, dirs) && vfile_detail::dircache_name_unlisted(key, n);
}

// What vfile_build_path and vfile_resolve_path give for a bare name of a
// type, and what it names, from the directory cache.
Lookup type_lookup(int type, const char* name, char* out, EntryKind* kind) {
  if (!is_bare_name(name) || !vfile_type_valid(type)) {
    return Lookup::ask_disk;
  }
  const TypeDir& td = type_dir(type, vfile_detail::dircache_generation());
  if (!td.usable) {
    return Lookup::ask_disk;
  }
  const size_t n = std::strlen(name);
  if (td.game_len + n >= VFILE_MAX_PATH) {
    return Lookup::too_long;
  }
  const char* on_disk = vfile_detail::dircache_entry(td.node, name, n, kind);
  std::memcpy(out, td.resolved, td.game_len);
  std::memcpy(out + td.game_len, on_disk ? on_disk : name, n + 1);
  return Lookup::done;
}

}  // namespace

// ---- Names --------------------------------------------------------------

char* vfile_make_name(char* buffer, const char* name, const char* ext) {
  if (!buffer) {
    return nullptr;
  }
  if (!name) {
    name = "";
  }
  if (!ext) {
    ext = "";
  }
  const char* dot = std::strrchr(name, '.');
  size_t n = dot ? static_cast<size_t>(dot - name) : std::strlen(name);
  std::string s(name, n);
  if (*ext != '.') {
    s += '.';
  }
  s += ext;
  std::memcpy(buffer, s.c_str(), s.size() + 1);
  return buffer;
}

char* vfile_strip_extension(char* buffer, const char* name) {
  if (!buffer) {
    return nullptr;
  }
  if (!name) {
    name = "";
  }
  const char* dot = std::strrchr(name, '.');
  size_t n = dot ? static_cast<size_t>(dot - name) : std::strlen(name);
  std::memmove(buffer, name, n);
  buffer[n] = 0;
  return buffer;
}

char* vfile_bare_name(char* buffer, const char* name) {
  if (!buffer) {
    return nullptr;
  }
  if (!name) {
    name = "";
  }
  const char* b = name;
  for (const char* p = name; *p; ++p) {
    if (*p == '\\' || *p == '/') {
      b = p + 1;
    }
  }
  std::memmove(buffer, b, std::strlen(b) + 1);
  return buffer;
}

const char* vfile_extension(const char* name) {
  if (!name) {
    return "";
  }
  const char* dot = std::strrchr(name, '.');
  return dot ? dot : "";
}

int vfile_create_type_dir(int type) {
  char buf[VFILE_MAX_PATH];
  if (!vfile_type_dir_path(type, buf)) {
    return -1;
  }
  return mkdir_levels(buf);
}

// ---- Listing ------------------------------------------------------------

void vfile_list_init(VFileListEntry* head) {
  head->next = head;
  head->prev = head;
  head->name[0] = 0;
}

void vfile_list_free(VFileListEntry* head) {
  VFileListEntry* e = head->next;
  while (e && e != head) {
    VFileListEntry* next = e->next;
    std::free(e);
    e = next;
  }
  vfile_list_init(head);
}

static void insert_before(VFileListEntry* pos, VFileListEntry* e) {
  e->next = pos;
  e->prev = pos->prev;
  pos->prev->next = e;
  pos->prev = e;
}

int vfile_list_files(VFileListEntry* head, int type, const char* pattern, int flags, VFileListFilter filter) {
  if (!head) {
    return -1;
  }
  vfile_list_init(head);
  char dir[VFILE_MAX_PATH];
  char real[VFILE_MAX_PATH];
  if (!vfile_type_dir_path(type, dir) || !vfile_resolve_path(dir, real, sizeof real)) {
    return -1;
  }
  DIR* dp = opendir(real);
  if (!dp) {
    return -1;
  }
  if (!pattern) {
    pattern = "*";
  }
  while (dirent* de = readdir(dp)) {
    if (fnmatch(pattern, de->d_name, FNM_CASEFOLD) != 0 ||
        vfile_detail::is_write_temp_name(de->d_name, std::strlen(de->d_name))) {
      continue;
    }
    std::string full = std::string(real) + "/" + de->d_name;
    struct stat st;
    if (stat(full.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) {
      continue;
    }
    char name[VFILE_MAX_PATH];
    std::snprintf(name, sizeof name, "%s", de->d_name);
    if (!(flags & VF_LIST_KEEP_EXT)) {
      vfile_strip_extension(name, name);
    }
    if (std::strlen(name) >= sizeof(VFileListEntry::name)) {
      continue;  // a cut name would name a different file
    }
    VFileListEntry* e = static_cast<VFileListEntry*>(std::calloc(1, sizeof(VFileListEntry)));
    if (!e) {
      break;
    }
    std::strcpy(e->name, name);
    e->attributes = ((st.st_mode & S_IWUSR) ? 0 : VF_ATTR_READONLY) | VF_ATTR_ARCHIVE;
    e->write_time = st.st_mtime;
    if (filter && !filter(e)) {
      std::free(e);
      continue;
    }
    VFileListEntry* pos = head;
    if (flags & VF_LIST_SORT_NAME) {
      for (pos = head->next; pos != head && strcasecmp(pos->name, e->name) <= 0; pos = pos->next) {
      }
    } else if (flags & VF_LIST_SORT_TIME) {
      for (pos = head->next; pos != head && pos->write_time >= e->write_time; pos = pos->next) {
      }
    }
    insert_before(pos, e);
  }
  closedir(dp);
  return head->next == head ? -1 : 0;
}

bool vfile_loose_exists(const char* name, int type) {
  if (!name || type == VFILE_ANY_TYPE || type == VFILE_CD_TYPE) {
    return false;
  }
  char path[VFILE_MAX_PATH];
  char real[VFILE_MAX_PATH];
  return vfile_build_path(type, name, path) && loose_file(path, real);
}

bool vfile_delete_loose(const char* name, int type) {
  if (!name || type == VFILE_ANY_TYPE || type == VFILE_CD_TYPE) {
    return false;
  }
  char path[VFILE_MAX_PATH];
  char real[VFILE_MAX_PATH];
  if (!vfile_build_path(type, name, path) || !loose_file(path, real)) {
    return false;
  }
  chmod(real, 0666);
  return unlink(real) == 0;
}

char* vfile_get_cwd(char* buffer, int size) {
  if (!buffer || size <= 0 || !getcwd(buffer, static_cast<size_t>(size))) {
    return nullptr;
  }
  return buffer;
}

int vfile_change_drive(int) { return -1; }

int vfile_change_dir(const char* path) {
  if (!path) {
    return 2;
  }
  const char* p = path;
  if (p[0] && p[1] == ':') {
    return 1;  // no drive letters here
  }
  char real[4096];
  if (!vfile_resolve_path(p, real, sizeof real)) {
    return 2;
  }
  return chdir(real) == 0 ? 0 : 2;
}

bool vfile_dir_exists(const char* path) {
  char real[4096];
  struct stat st;
  return path && vfile_resolve_path(path, real, sizeof real) && stat(real, &st) == 0 && S_ISDIR(st.st_mode);
}

void vfile_raise_group_access() {
  ++g_group_access;
  std::printf("Group file access raised to level %d.\n", g_group_access);
}

void vfile_lower_group_access() {
  --g_group_access;
  std::printf("Group file access lowered to level %d.\n", g_group_access);
}

int vfile_group_access_level() { return g_group_access; }

void vfile_set_load_progress_hook(void (*hook)()) { g_progress_hook = hook; }
void vfile_set_open_trace_hook(void (*hook)(const char*, long, int)) { g_open_trace_hook = hook; }

// ---- FileHandle: finding ------------------------------------------------

FileHandle::FileHandle() : type_(-1), found_(false), entry_(nullptr), on_cd_(false), slot_(-1) { path_[0] = 0; }

FileHandle::~FileHandle() {
  if (slot_ >= 0) {
    close();
  }
}

void FileHandle::detach_slot() {
  slot_ = -1;
  entry_ = nullptr;
}

const char* FileHandle::bare_name() const {
  const char* b = path_;
  for (const char* p = path_; *p; ++p) {
    if (*p == '/' || *p == '\\') {
      b = p + 1;
    }
  }
  return b;
}

bool FileHandle::find_loose_in(int type, const char* name) {
  char path[VFILE_MAX_PATH];
  char real[VFILE_MAX_PATH];
  EntryKind kind;
  switch (type_lookup(type, name, real, &kind)) {
    case Lookup::too_long: return false;
    case Lookup::done:
      if (kind != EntryKind::file) {
        return false;
      }
      std::memcpy(path_, real, sizeof path_);
      type_ = type;
      entry_ = nullptr;
      found_ = true;
      return true;
    case Lookup::ask_disk: break;
  }
  if (!vfile_build_path(type, name, path)) {
    return false;
  }
  if (loose_file(path, real)) {
    std::memcpy(path_, real, sizeof path_);
    type_ = type;
    entry_ = nullptr;
    found_ = true;
    return true;
  }
  return false;
}

bool FileHandle::find_member(const char* name) {
  PackfileEntry* e = packfile_find(name);
  if (!e) {
    return false;
  }
  entry_ = e;
  found_ = true;
  on_cd_ = e->pack && e->pack->on_cd;
  return true;
}

// The directory a new file of this name goes to: the given type, else the
// first type whose list holds the extension, else the root.
static int creation_type(const char* name, int type, ExtTypes* ext) {
  if (type != VFILE_ANY_TYPE && vfile_type_valid(type)) {
    return type;
  }
  const std::vector<int>& types = ext ? ext->types : types_for_extension(name).types;
  return types.empty() ? 0 : types.front();
}

bool FileHandle::find(const char* name, int type) {
  vfile_detail::async_wait_handle(this);
  found_ = false;
  entry_ = nullptr;
  on_cd_ = false;
  path_[0] = 0;
  type_ = type;
  if (!name || !*name) {
    return false;
  }
  if (name[0] == '/' || name[0] == '\\' || (name[0] && name[1] == ':')) {
    type_ = -1;
    char real[VFILE_MAX_PATH];
    bool ok = loose_file(name, real);
    std::memcpy(path_, real, sizeof path_);
    found_ = ok;
    return ok;
  }
  bool hit = false;
  ExtTypes* ext = type == VFILE_ANY_TYPE ? &types_for_extension(name) : nullptr;
  const uint64_t dirs = vfile_detail::dircache_generation();
  const bool none_loose = no_loose_copy(name, ext, type, dirs);
  if (none_loose) {
    // Nothing loose to find: straight to the packfiles.
  } else if (type != VFILE_ANY_TYPE) {
    hit = (vfile_type_valid(type) && find_loose_in(type, name)) || (type != 0 && find_loose_in(0, name));
  } else {
    for (int t : ext->types) {
      if (hit) {
        break;
      }
      hit = find_loose_in(t, name);
    }
    if (!hit) {
      hit = find_loose_in(0, name);
    }
  }
  if (hit) {
    return true;
  }
  // Packfile members come after every loose candidate, so a loose copy
  // always overrides a packed one.
  int ct = creation_type(name, type, ext);
  type_ = type == VFILE_ANY_TYPE ? ct : type;
  EntryKind kind;
  if (none_loose) {
    // Where a new file of this name would go; no folder holds the name.
    const TypeDir& td = type_dir(ct, dirs);
    const size_t n = std::strlen(name);
    if (td.game_len + n < VFILE_MAX_PATH) {
      std::memcpy(path_, td.resolved, td.game_len);
      std::memcpy(path_ + td.game_len, name, n + 1);
    }
  } else if (type_lookup(ct, name, path_, &kind) == Lookup::ask_disk) {
    char path[VFILE_MAX_PATH];
    if (vfile_build_path(ct, name, path)) {
      vfile_resolve_path(path, path_, sizeof path_);
    }
  }
  return find_member(name);
}

// ---- FileHandle: opening and closing ------------------------------------

int FileHandle::open(const char* name, unsigned mode, int type) {
  if (slot_ >= 0) {
    close();
  }
  const char* ext = vfile_extension(name ? name : "");
  bool ok = false;
  if (type != VFILE_ANY_TYPE) {
    ok = find(name, type);
  } else if (g_cache_type > 0 && vfile_type_valid(g_cache_type) && strcasecmp(g_cache_ext, ext) == 0) {
    // The cache only skips the type scan for a loose file in the cached
    // directory; anything else takes the full search, so a loose override
    // elsewhere is never shadowed by a packed member.
    vfile_detail::async_wait_handle(this);
    found_ = false;
    entry_ = nullptr;
    on_cd_ = false;
    path_[0] = 0;
    ok = find_loose_in(g_cache_type, name ? name : "");
    if (!ok) {
      ok = find(name, VFILE_ANY_TYPE);
    }
  } else {
    ok = find(name, VFILE_ANY_TYPE);
  }
  if (!ok && !(mode & VF_WRITE)) {
    return VF_ERR_NOT_FOUND;
  }
  int r = open_slot(mode);
  if (r == VF_OK) {
    if (std::strlen(ext) < sizeof g_cache_ext) {
      g_cache_type = type_;
      std::strcpy(g_cache_ext, ext);
    } else {
      g_cache_type = -1;  // too long to cache; the scan still finds it
    }
  }
  return r;
}

int FileHandle::open_slot(unsigned mode) {
  int s = -1;
  for (int i = 0; i < VFILE_NUM_BUFFERS; ++i) {
    if (g_buffers[i].mode == 0) {
      s = i;
      break;
    }
  }
  if (mode & VF_WRITE) {
    if (s < 0) {
      return VF_ERR_NO_BUFFER;
    }
    if (!path_[0]) {
      return VF_ERR_OS;
    }
    if (type_ > 0) {
      vfile_create_type_dir(type_);
    }
    // A regular file is replaced only once the new one is whole; one that
    // may not be written is refused as opening it in place would be. Devices
    // and pipes are written where they are.
    struct stat old_st;
    const bool exists = stat(path_, &old_st) == 0;
    const bool in_place = exists && !S_ISREG(old_st.st_mode);
    if (exists && !in_place && access(path_, W_OK) != 0) {
      return VF_ERR_OS;
    }
    std::string temp = in_place ? std::string() : std::string(path_) + ".~" + std::to_string(getpid());
    FILE* fp = std::fopen(in_place ? path_ : temp.c_str(), "wb");
    if (!fp) {
      return VF_ERR_OS;
    }
    if (exists && !in_place) {
      fchmod(fileno(fp), old_st.st_mode & 07777);
    }
    FileBuffer& b = g_buffers[s];
    b.reset();
    b.mode = mode;
    b.stream = fp;
    if (!in_place) {
      b.write_path = path_;
      b.temp_path = std::move(temp);
    }
    b.owner = this;
    entry_ = nullptr;
    found_ = true;
    slot_ = s;
    return VF_OK;
  }
  if (!found_) {
    return VF_ERR_NOT_FOUND;
  }
  if (s < 0) {
    return VF_ERR_NO_BUFFER;
  }
  FileBuffer& b = g_buffers[s];
  vfile_detail::FileBufferState fresh;
  if (entry_) {
    if (!packfile_open(entry_)) {
      return VF_ERR_OS;
    }
    fresh.entry = entry_;
    fresh.size = entry_->size;
  } else {
    FILE* fp = std::fopen(path_, "rb");
    if (!fp) {
      return VF_ERR_OS;
    }
    std::setvbuf(fp, nullptr, _IONBF, 0);
    struct stat st;
    if (fstat(fileno(fp), &st) != 0 || st.st_size > 0x7FFFFFFF) {
      std::fclose(fp);
      return VF_ERR_OS;
    }
    fresh.stream = fp;
    fresh.size = static_cast<int>(st.st_size);
  }
  fresh.mode = mode;
  fresh.owner = this;
  static_cast<vfile_detail::FileBufferState&>(b) = std::move(fresh);
  slot_ = s;
  if (g_progress_hook) {
    g_progress_hook();
  }
  if (g_open_trace_hook) {
    FILE* fp = entry_ ? (entry_->stream ? entry_->stream : entry_->cd_stream) : nullptr;
    if (fp) {
      char link[64], disk[VFILE_MAX_PATH];
      std::snprintf(link, sizeof link, "/proc/self/fd/%d", fileno(fp));
      const ssize_t n = readlink(link, disk, sizeof disk - 1);
      disk[n > 0 ? n : 0] = '\0';
      g_open_trace_hook(disk, std::ftell(fp), fresh.size);
    } else {
      g_open_trace_hook(path_, 0, fresh.size);
    }
  }
  return VF_OK;
}

bool vfile_detail::finish_write(FileBuffer& b, bool keep) {
  bool ok = std::fflush(b.stream) == 0 && fsync(fileno(b.stream)) == 0;
  ok = std::fclose(b.stream) == 0 && ok;
  b.stream = nullptr;
  if (keep && ok && std::rename(b.temp_path.c_str(), b.write_path.c_str()) == 0) {
    return true;
  }
  std::remove(b.temp_path.c_str());
  return false;
}

int FileHandle::close() {
  if (slot_ < 0) {
    return VF_OK;
  }
  FileBuffer& b = g_buffers[slot_];
  vfile_detail::async_wait(b);
  int err = b.error;
  if (b.stream && !b.temp_path.empty()) {
    if (!vfile_detail::finish_write(b, err == 0) && err == 0) {
      err = VF_ERR_OS;
    }
  } else if (b.stream) {
    if (std::fclose(b.stream) != 0 && err == 0) {
      err = VF_ERR_OS;
    }
  } else if (b.entry) {
    packfile_close(b.entry);
  }
  b.reset();
  slot_ = -1;
  entry_ = nullptr;
  return err;
}

// ---- FileHandle: queries and file operations ----------------------------

bool FileHandle::mode_is(unsigned bits) const { return slot_ >= 0 && (g_buffers[slot_].mode & bits) == bits; }

void FileHandle::set_version(int v) {
  if (slot_ >= 0) {
    g_buffers[slot_].version = v;
  }
}

int FileHandle::version() const { return slot_ >= 0 ? g_buffers[slot_].version : 0; }

int FileHandle::tell() const { return slot_ >= 0 ? g_buffers[slot_].pos : 0; }

bool FileHandle::eof() const { return slot_ < 0 || g_buffers[slot_].pos >= g_buffers[slot_].size; }

int FileHandle::error() const { return slot_ >= 0 ? g_buffers[slot_].error : 0; }

int FileHandle::stream_error() {
  if (slot_ < 0) {
    return 0;
  }
  FileBuffer& b = g_buffers[slot_];
  if (b.stream && std::ferror(b.stream) && b.error == 0) {
    b.error = VF_ERR_OS;
  }
  return b.error;
}

void FileHandle::set_key(uint32_t key) {
  if (slot_ < 0) {
    return;
  }
  FileBuffer& b = g_buffers[slot_];
  if (key) {
    b.flags |= 1;
    b.scrambler.set_state(key, 0, 0);
  } else {
    b.flags &= ~1u;
  }
}

int FileHandle::size(const char* name, int type) {
  if (name) {
    if (!find(name, type)) {
      return VF_ERR_NOT_FOUND;
    }
  } else if (slot_ >= 0) {
    return g_buffers[slot_].size;
  } else if (!found_) {
    return VF_ERR_NOT_FOUND;
  }
  if (entry_) {
    return entry_->size;
  }
  struct stat st;
  if (stat(path_, &st) != 0) {
    return VF_ERR_NOT_FOUND;
  }
  return static_cast<int>(st.st_size);
}

// Finds the named file (or keeps the handle's) for operations on loose files.
static int locate_loose(FileHandle* fh, const char* name, int type) {
  if (name && !fh->find(name, type)) {
    return VF_ERR_NOT_FOUND;
  }
  if (!fh->found()) {
    return VF_ERR_NOT_FOUND;
  }
  if (fh->pack_entry()) {
    return VF_ERR_PACKFILE;
  }
  return VF_OK;
}

int FileHandle::remove(const char* name, int type) {
  int r = locate_loose(this, name, type);
  if (r != VF_OK) {
    return r;
  }
  return unlink(path_) == 0 ? VF_OK : VF_ERR_OS;
}

int FileHandle::rename(const char* new_name, const char* name, int type) {
  int r = locate_loose(this, name, type);
  if (r != VF_OK) {
    return r;
  }
  if (!new_name || !*new_name) {
    return VF_ERR_OS;
  }
  char dir[VFILE_MAX_PATH];
  std::memcpy(dir, path_, sizeof dir);
  char* slash = std::strrchr(dir, '/');
  if (slash) {
    *slash = 0;
  } else {
    std::strcpy(dir, ".");
  }
  char target[VFILE_MAX_PATH];
  int n = std::snprintf(target, sizeof target, "%s/%s", dir, new_name);
  if (n < 0 || n >= static_cast<int>(sizeof target)) {
    return VF_ERR_OS;
  }
  to_slashes(target);
  if (::rename(path_, target) != 0) {
    return VF_ERR_OS;
  }
  std::memcpy(path_, target, sizeof path_);
  return VF_OK;
}

int FileHandle::attributes(const char* name, int type) {
  int r = locate_loose(this, name, type);
  if (r == VF_ERR_PACKFILE) {
    return 3;
  }
  if (r != VF_OK) {
    return r;
  }
  struct stat st;
  if (stat(path_, &st) != 0) {
    return VF_ERR_OS;
  }
  // There is no archive bit here; every file reports it, as a freshly
  // written file would.
  return ((st.st_mode & S_IWUSR) ? 0 : VF_ATTR_READONLY) | VF_ATTR_ARCHIVE;
}

static int change_mode(const char* path, int bits, bool set) {
  struct stat st;
  if (stat(path, &st) != 0) {
    return VF_ERR_OS;
  }
  if (!(bits & VF_ATTR_READONLY)) {
    return VF_OK;
  }
  mode_t m = st.st_mode & 07777;
  m = set ? (m & ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH)) : (m | S_IWUSR);
  return chmod(path, m) == 0 ? VF_OK : VF_ERR_OS;
}

int FileHandle::set_attributes(int bits, const char* name, int type) {
  int r = locate_loose(this, name, type);
  return r != VF_OK ? r : change_mode(path_, bits, true);
}

int FileHandle::clear_attributes(int bits, const char* name, int type) {
  int r = locate_loose(this, name, type);
  return r != VF_OK ? r : change_mode(path_, bits, false);
}

bool FileHandle::pack_location(char* path, int size, int* offset) const {
  if (!entry_ || !entry_->pack || !path || size <= 0) {
    return false;
  }
  char full[VFILE_MAX_PATH];
  const char* root = entry_->pack->on_cd ? g_cd_root : g_root;
  int n = std::snprintf(full, sizeof full, "%s%s", root, entry_->pack->name);
  if (n < 0 || n >= static_cast<int>(sizeof full)) {
    return false;
  }
  char real[VFILE_MAX_PATH];
  if (!vfile_resolve_path(full, real, sizeof real) || static_cast<int>(std::strlen(real)) >= size) {
    return false;
  }
  std::strcpy(path, real);
  if (offset) {
    *offset = entry_->start_sector * PACKFILE_SECTOR_SIZE;
  }
  return true;
}

bool FileHandle::in_removable_pack() const { return entry_ && entry_->pack && entry_->pack->on_cd; }
