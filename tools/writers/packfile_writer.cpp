#include "tools/writers/packfile_writer.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <strings.h>

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kMagic = 0x51890ACE;
constexpr size_t kSector = 2048;

void put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
  b[at + 2] = static_cast<uint8_t>(v >> 16);
  b[at + 3] = static_cast<uint8_t>(v >> 24);
}

size_t sectors(size_t bytes) { return (bytes + kSector - 1) / kSector; }

bool read_file(const fs::path& p, std::vector<uint8_t>* out) {
  std::ifstream in(p, std::ios::binary);
  if (!in) {
    return false;
  }
  out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

std::string lower(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') {
      c = static_cast<char>(c + 32);
    }
  }
  return s;
}

}  // namespace

bool packfile_build(const std::vector<PackfileMember>& members, std::vector<uint8_t>* out, std::string* err) {
  size_t count = members.size();
  size_t dir_sectors = sectors(count * 64);
  size_t total_sectors = 1 + dir_sectors;
  for (const PackfileMember& m : members) {
    if (m.name.empty() || m.name.size() > 59 || m.name.find_first_of("/\\") != std::string::npos) {
      if (err) *err = "member name does not fit a packfile: '" + m.name + "'";
      return false;
    }
    if (m.data.size() > 0x7FFFFFFFu) {
      if (err) *err = "member too large: " + m.name;
      return false;
    }
    total_sectors += sectors(m.data.size());
  }
  std::vector<uint8_t>& b = *out;
  b.assign(total_sectors * kSector, 0);
  put32(b, 0, kMagic);
  put32(b, 4, 1);
  put32(b, 8, static_cast<uint32_t>(count));
  put32(b, 12, static_cast<uint32_t>(b.size()));
  size_t sector = 1 + dir_sectors;
  for (size_t i = 0; i < count; ++i) {
    const PackfileMember& m = members[i];
    size_t e = kSector + i * 64;
    std::copy(m.name.begin(), m.name.end(), b.begin() + static_cast<long>(e));
    put32(b, e + 60, static_cast<uint32_t>(m.data.size()));
    std::copy(m.data.begin(), m.data.end(), b.begin() + static_cast<long>(sector * kSector));
    sector += sectors(m.data.size());
  }
  return true;
}

bool packfile_write(const std::string& path, const std::vector<PackfileMember>& members, std::string* err) {
  std::vector<uint8_t> bytes;
  if (!packfile_build(members, &bytes, err)) {
    return false;
  }
  FILE* fp = std::fopen(path.c_str(), "wb");
  if (!fp) {
    if (err) *err = "cannot write " + path;
    return false;
  }
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), fp) == bytes.size();
  ok = std::fclose(fp) == 0 && ok;
  if (!ok && err) {
    *err = "cannot write " + path;
  }
  return ok;
}

bool packfile_collect_directory(const std::string& dir, std::vector<PackfileMember>* out, std::string* err) {
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) {
    if (err) *err = "not a directory: " + dir;
    return false;
  }
  std::map<std::string, fs::path> by_name;
  for (auto it = fs::recursive_directory_iterator(dir, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    if (!it->is_regular_file()) {
      continue;
    }
    std::string name = it->path().filename().string();
    std::string key = lower(name);
    if (by_name.count(key)) {
      if (err) *err = "two files named " + name + " below " + dir;
      return false;
    }
    by_name[key] = it->path();
  }
  if (ec) {
    if (err) *err = "cannot list " + dir;
    return false;
  }
  for (const auto& [key, path] : by_name) {
    PackfileMember m;
    m.name = path.filename().string();
    if (!read_file(path, &m.data)) {
      if (err) *err = "cannot read " + path.string();
      return false;
    }
    out->push_back(std::move(m));
  }
  return true;
}

const char* const kGamePackfiles[9] = {"orrimund.vpp", "tables.vpp", "chars.vpp",  "items.vpp", "cutscene.vpp",
                                       "effects.vpp",  "sounds.vpp", "music.vpp", "levels.vpp"};

int packfile_game_pack_for(const std::string& rel_path) {
  std::string p = lower(rel_path);
  for (char& c : p) {
    if (c == '\\') c = '/';
  }
  auto under = [&](const char* prefix) { return p.rfind(prefix, 0) == 0; };
  if (under("sounds/pc/music/")) return 7;
  if (under("sounds/pc/cutscenes/") || under("maps/cutscenes/") || under("effects/cutscenes/")) return 4;
  if (under("sounds/")) return 6;
  if (under("tables/")) return 1;
  if (under("models/characters/") || under("maps/characters/") || under("effects/characters/") || under("ca/"))
    return 2;
  if (under("models/items/") || under("maps/items/") || under("effects/items/")) return 3;
  if (under("models/levels/") || under("maps/levels/") || under("effects/levels/") || under("internal/") ||
      under("v3d/"))
    return 8;
  if (under("effects/") || under("maps/effects/")) return 5;
  return 0;
}

bool packfile_build_game_set(const std::string& root, bool verbose, std::string* err) {
  fs::path data = fs::path(root) / "data";
  std::vector<std::vector<PackfileMember>> packs(9);
  std::error_code ec;
  if (fs::is_directory(data, ec)) {
    // Sorted by path so the packfiles come out the same on every run.
    std::map<std::string, fs::path> by_path;
    std::map<std::string, std::string> first_of_name;
    for (auto it = fs::recursive_directory_iterator(data, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
      if (it->is_regular_file()) {
        by_path[it->path().generic_string()] = it->path();
      }
    }
    if (ec) {
      if (err) *err = "cannot list " + data.string();
      return false;
    }
    for (const auto& [key, path] : by_path) {
      // Members are found by bare name: a second file of the same name is
      // packed too, but only the loose copy can reach it.
      std::string name = lower(path.filename().string());
      if (first_of_name.count(name)) {
        std::fprintf(stderr, "packfiles: %s has the same name as %s; lookups find the first\n", key.c_str(),
                     first_of_name[name].c_str());
      } else {
        first_of_name[name] = key;
      }
      PackfileMember m;
      m.name = path.filename().string();
      if (!read_file(path, &m.data)) {
        if (err) *err = "cannot read " + path.string();
        return false;
      }
      if (m.name.size() > 59) {
        std::fprintf(stderr, "packfiles: %s: name too long for a packfile, left loose\n", key.c_str());
        continue;
      }
      int which = packfile_game_pack_for(fs::relative(path, data).generic_string());
      packs[static_cast<size_t>(which)].push_back(std::move(m));
    }
  }
  for (int i = 0; i < 9; ++i) {
    std::string out = (fs::path(root) / kGamePackfiles[i]).string();
    if (!packfile_write(out, packs[static_cast<size_t>(i)], err)) {
      return false;
    }
    if (verbose) {
      std::printf("%s: %zu files\n", kGamePackfiles[i], packs[static_cast<size_t>(i)].size());
    }
  }
  return true;
}
