#include "quarn/platform/registry.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

namespace {

const char* const Hive_names[REG_HIVE_COUNT] = {
    "HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_USERS"};

struct Value {
  std::string name;
  uint32_t type = 0;
  std::string data;
};

struct Key {
  int hive = 0;
  std::string path;  // normalised: no leading, trailing or doubled backslashes
  std::vector<Value> values;
};

struct Store {
  std::vector<Key> keys;
};

std::recursive_mutex Reg_mutex;
std::string Override_path;
std::string Current_path;
std::string Damaged_reported;  // the file whose damage was last reported

bool iequal(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); i++) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + 32);
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + 32);
    if (x != y) return false;
  }
  return true;
}

std::string normalise_path(const char* path) {
  std::string out;
  if (!path) return out;
  for (const char* p = path; *p; p++) {
    char c = *p == '/' ? '\\' : *p;
    if (c == '\\' && (out.empty() || out.back() == '\\')) continue;
    out += c;
  }
  while (!out.empty() && out.back() == '\\') out.pop_back();
  return out;
}

bool path_is_valid(const std::string& path) {
  for (char c : path) {
    if (c == '\r' || c == '\n' || c == '\0') return false;
  }
  return true;
}

std::string default_path() {
  std::string dir;
  const char* xdg = getenv("XDG_CONFIG_HOME");
  if (xdg && *xdg) {
    dir = xdg;
  } else {
    const char* home = getenv("HOME");
    dir = std::string(home && *home ? home : ".") + "/.config";
  }
  return dir + "/Quorvane/Orrimund Demo/registry.txt";
}

const std::string& file_path() {
  Current_path = Override_path.empty() ? default_path() : Override_path;
  return Current_path;
}

// --- text form ----------------------------------------------------------------

void put_quoted(std::string& out, const std::string& text) {
  out += '"';
  for (unsigned char c : text) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '"': out += "\\\""; break;
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 32 || c == 127) {
          char hex[8];
          snprintf(hex, sizeof hex, "\\x%02x", c);
          out += hex;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  out += '"';
}

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads a quoted text at p; advances p past it. False on a malformed text.
bool get_quoted(const char*& p, const char* end, std::string& out) {
  out.clear();
  if (p >= end || *p != '"') return false;
  p++;
  while (p < end) {
    char c = *p++;
    if (c == '"') return true;
    if (c != '\\') {
      out += c;
      continue;
    }
    if (p >= end) return false;
    char e = *p++;
    switch (e) {
      case '\\': out += '\\'; break;
      case '"': out += '"'; break;
      case 'r': out += '\r'; break;
      case 'n': out += '\n'; break;
      case 't': out += '\t'; break;
      case 'x': {
        if (end - p < 2) return false;
        int h = hex_digit(p[0]), l = hex_digit(p[1]);
        if (h < 0 || l < 0) return false;
        out += static_cast<char>(h * 16 + l);
        p += 2;
        break;
      }
      default: return false;
    }
  }
  return false;
}

std::string to_text(const Store& store) {
  std::string out = "; Orrimund settings. Written by the game; edit with care.\n";
  for (const Key& key : store.keys) {
    out += "\n[";
    out += Hive_names[key.hive];
    if (!key.path.empty()) {
      out += '\\';
      out += key.path;
    }
    out += "]\n";
    for (const Value& v : key.values) {
      put_quoted(out, v.name);
      out += '=';
      if (v.type == REG_SZ) {
        out += "sz:";
        put_quoted(out, v.data);
      } else if (v.type == REG_DWORD && v.data.size() == 4) {
        uint32_t d = 0;
        for (int i = 3; i >= 0; i--) d = (d << 8) | static_cast<unsigned char>(v.data[i]);
        char buf[32];
        snprintf(buf, sizeof buf, "dword:%08x", d);
        out += buf;
      } else {
        char buf[32];
        snprintf(buf, sizeof buf, "hex(%u):", v.type);
        out += buf;
        for (size_t i = 0; i < v.data.size(); i++) {
          snprintf(buf, sizeof buf, "%s%02x", i ? "," : "", static_cast<unsigned char>(v.data[i]));
          out += buf;
        }
      }
      out += '\n';
    }
  }
  return out;
}

Key* find_key(Store& store, int hive, const std::string& path) {
  for (Key& k : store.keys) {
    if (k.hive == hive && iequal(k.path, path)) return &k;
  }
  return nullptr;
}

Value* find_value(Key& key, const std::string& name) {
  for (Value& v : key.values) {
    if (iequal(v.name, name)) return &v;
  }
  return nullptr;
}

// Parses one value line. False when it is malformed.
bool parse_value(const char* p, const char* end, Value& v) {
  if (!get_quoted(p, end, v.name)) return false;
  if (p >= end || *p++ != '=') return false;
  std::string rest(p, end);
  if (rest.compare(0, 3, "sz:") == 0) {
    const char* q = p + 3;
    if (!get_quoted(q, end, v.data) || q != end) return false;
    v.type = REG_SZ;
    return true;
  }
  if (rest.compare(0, 6, "dword:") == 0) {
    std::string digits = rest.substr(6);
    if (digits.empty() || digits.size() > 8) return false;
    uint32_t d = 0;
    for (char c : digits) {
      int h = hex_digit(c);
      if (h < 0) return false;
      d = d * 16 + static_cast<uint32_t>(h);
    }
    v.type = REG_DWORD;
    v.data.assign(4, '\0');
    for (int i = 0; i < 4; i++) v.data[i] = static_cast<char>((d >> (8 * i)) & 0xff);
    return true;
  }
  if (rest.compare(0, 4, "hex(") == 0) {
    size_t close = rest.find("):");
    if (close == std::string::npos || close == 4 || close > 14) return false;
    uint64_t type = 0;
    for (size_t i = 4; i < close; i++) {
      if (rest[i] < '0' || rest[i] > '9') return false;
      type = type * 10 + static_cast<uint64_t>(rest[i] - '0');
    }
    if (type > 0xffffffffu) return false;
    v.type = static_cast<uint32_t>(type);
    v.data.clear();
    std::string bytes = rest.substr(close + 2);
    size_t i = 0;
    while (i < bytes.size()) {
      if (bytes.size() - i < 2) return false;
      int h = hex_digit(bytes[i]), l = hex_digit(bytes[i + 1]);
      if (h < 0 || l < 0) return false;
      v.data += static_cast<char>(h * 16 + l);
      i += 2;
      if (i < bytes.size()) {
        if (bytes[i] != ',' || i + 1 == bytes.size()) return false;
        i++;
      }
    }
    return true;
  }
  return false;
}

// Parses the file's text. Returns 0, or the number of the first bad line.
int parse_text(const std::string& text, Store& store) {
  store.keys.clear();
  Key* current = nullptr;
  size_t pos = 0;
  int line_no = 0;
  while (pos < text.size()) {
    size_t nl = text.find('\n', pos);
    if (nl == std::string::npos) nl = text.size();
    std::string line = text.substr(pos, nl - pos);
    pos = nl + 1;
    line_no++;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
      line.pop_back();
    size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos) continue;
    line.erase(0, first);
    if (line[0] == ';' || line[0] == '#') continue;
    if (line[0] == '[') {
      if (line.back() != ']') return line_no;
      std::string full = line.substr(1, line.size() - 2);
      size_t bs = full.find('\\');
      std::string hive_name = full.substr(0, bs);
      int hive = -1;
      for (int h = 0; h < REG_HIVE_COUNT; h++) {
        if (iequal(hive_name, Hive_names[h])) hive = h;
      }
      if (hive < 0) return line_no;
      std::string path = bs == std::string::npos ? std::string() : normalise_path(full.c_str() + bs + 1);
      current = find_key(store, hive, path);
      if (!current) {
        store.keys.push_back(Key{hive, path, {}});
        current = &store.keys.back();
      }
      continue;
    }
    if (!current) return line_no;
    Value v;
    if (!parse_value(line.data(), line.data() + line.size(), v)) return line_no;
    if (Value* old = find_value(*current, v.name)) {
      *old = v;
    } else {
      current->values.push_back(v);
    }
  }
  return 0;
}

// Reads the store; a missing file is an empty store, a damaged one is
// reported (once) and taken as empty. Returns false for a damaged file.
bool load(Store& store) {
  store.keys.clear();
  const std::string& path = file_path();
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return true;
  std::string text;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
  bool read_error = ferror(f) != 0;
  fclose(f);
  int bad_line = read_error ? -1 : parse_text(text, store);
  if (bad_line != 0) {
    store.keys.clear();
    if (Damaged_reported != path) {
      Damaged_reported = path;
      if (bad_line > 0) {
        fprintf(stderr, "Registry file \"%s\" is damaged at line %d; its settings are ignored.\n",
                path.c_str(), bad_line);
      } else {
        fprintf(stderr, "Registry file \"%s\" could not be read; its settings are ignored.\n",
                path.c_str());
      }
    }
    return false;
  }
  return true;
}

// Writes the store to a temporary file beside the real one and renames it
// over it. A damaged file that is about to be replaced is first moved aside
// to "<file>.damaged", so that the settings in it can still be recovered by
// hand.
int save(const Store& store, bool keep_damaged = false) {
  const std::string& path = file_path();
  std::error_code ec;
  std::filesystem::path dir = std::filesystem::path(path).parent_path();
  if (!dir.empty()) std::filesystem::create_directories(dir, ec);
  std::string tmp = path + ".tmp" + std::to_string(getpid());
  int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return REG_FAILED;
  std::string text = to_text(store);
  const char* p = text.data();
  size_t left = text.size();
  bool ok = true;
  while (left > 0) {
    ssize_t w = ::write(fd, p, left);
    if (w < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    p += w;
    left -= static_cast<size_t>(w);
  }
  if (ok && fsync(fd) != 0) ok = false;
  if (::close(fd) != 0) ok = false;
  if (ok && keep_damaged) {
    std::string aside = path + ".damaged";
    if (rename(path.c_str(), aside.c_str()) == 0) {
      fprintf(stderr, "Registry file \"%s\" is replaced; the damaged one is kept as \"%s\".\n",
              path.c_str(), aside.c_str());
    }
  }
  if (!ok || rename(tmp.c_str(), path.c_str()) != 0) {
    unlink(tmp.c_str());
    return REG_FAILED;
  }
  if (Damaged_reported == path) Damaged_reported.clear();
  return REG_OK;
}

bool fill_key(int hive, const char* path, RegKey* out, std::string& norm) {
  if (!out || hive < 0 || hive >= REG_HIVE_COUNT) return false;
  norm = normalise_path(path);
  if (!path_is_valid(norm) || norm.size() >= sizeof out->path) return false;
  out->hive = hive;
  memcpy(out->path, norm.c_str(), norm.size() + 1);
  return true;
}

}  // namespace

const char* reg_hive_name(int hive) {
  if (hive < 0 || hive >= REG_HIVE_COUNT) return nullptr;
  return Hive_names[hive];
}

int reg_create_key(int hive, const char* path, RegKey* out) {
  std::lock_guard<std::recursive_mutex> lock(Reg_mutex);
  std::string norm;
  if (!fill_key(hive, path, out, norm)) return REG_FAILED;
  if (norm.empty()) return REG_OK;  // a hive's top always exists
  Store store;
  bool sound = load(store);
  bool added = false;
  // Every level of the path becomes a key of its own, so that opening a
  // parent works as it would for keys created one by one.
  size_t at = 0;
  while (true) {
    size_t bs = norm.find('\\', at);
    std::string prefix = norm.substr(0, bs);
    if (!find_key(store, hive, prefix)) {
      store.keys.push_back(Key{hive, prefix, {}});
      added = true;
    }
    if (bs == std::string::npos) break;
    at = bs + 1;
  }
  return added ? save(store, !sound) : REG_OK;
}

int reg_open_key(int hive, const char* path, RegKey* out) {
  std::lock_guard<std::recursive_mutex> lock(Reg_mutex);
  std::string norm;
  if (!fill_key(hive, path, out, norm)) return REG_FAILED;
  if (norm.empty()) return REG_OK;
  Store store;
  load(store);
  return find_key(store, hive, norm) ? REG_OK : REG_NOT_FOUND;
}

void reg_close_key(RegKey* key) {
  if (key) key->path[0] = '\0';
}

int reg_set_value(const RegKey* key, const char* name, uint32_t type, const void* data,
                  uint32_t size) {
  if (!key || (size > 0 && !data)) return REG_FAILED;
  std::lock_guard<std::recursive_mutex> lock(Reg_mutex);
  Store store;
  bool sound = load(store);
  std::string path = normalise_path(key->path);
  Key* k = find_key(store, key->hive, path);
  if (!k) {
    store.keys.push_back(Key{key->hive, path, {}});
    k = &store.keys.back();
  }
  std::string vname = name ? name : "";
  Value v{vname, type, std::string(static_cast<const char*>(data), size)};
  if (Value* old = find_value(*k, vname)) {
    *old = v;
  } else {
    k->values.push_back(v);
  }
  return save(store, !sound);
}

int reg_query_value(const RegKey* key, const char* name, uint32_t* type, void* data,
                    uint32_t* size) {
  if (!key || !size) return REG_FAILED;
  std::lock_guard<std::recursive_mutex> lock(Reg_mutex);
  Store store;
  load(store);
  Key* k = find_key(store, key->hive, normalise_path(key->path));
  if (!k) return REG_NOT_FOUND;
  Value* v = find_value(*k, name ? name : "");
  if (!v) return REG_NOT_FOUND;
  if (type) *type = v->type;
  uint32_t capacity = *size;
  *size = static_cast<uint32_t>(v->data.size());
  if (v->data.size() > capacity) return REG_MORE_DATA;
  if (!v->data.empty()) {
    if (!data) return REG_MORE_DATA;
    memcpy(data, v->data.data(), v->data.size());
  }
  return REG_OK;
}

void reg_set_file_path(const char* path) {
  std::lock_guard<std::recursive_mutex> lock(Reg_mutex);
  Override_path = path ? path : "";
}

const char* reg_file_path() {
  std::lock_guard<std::recursive_mutex> lock(Reg_mutex);
  return file_path().c_str();
}
