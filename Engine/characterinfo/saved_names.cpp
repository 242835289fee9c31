#include "Engine/characterinfo/saved_names.h"

#include <cctype>
#include <cstring>
#include <map>
#include <utility>

#include "quarn/os/crc32.h"

namespace {

using Key = std::pair<int, uint32_t>;
std::map<Key, int>& store() {
  static std::map<Key, int> values;
  return values;
}
std::map<Key, bool>& flags() {
  static std::map<Key, bool> values;
  return values;
}

bool level_valid(int level) { return level >= 0 && level <= SAVED_MAX_LEVEL; }

const SavedNamesBackend* Backend = nullptr;

}  // namespace

void saved_names_set_backend(const SavedNamesBackend* backend) { Backend = backend; }

uint32_t name_checksum(const char* name) {
  if (!name) return 0;
  char lowered[128];
  int n = 0;
  for (; name[n] && n < 127; n++) {
    char c = name[n];
    lowered[n] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  }
  return crc32_of(lowered, static_cast<size_t>(n));
}

int level_int_get(int level, const char* name) {
  if (Backend) return Backend->int_get(level, name);
  if (!level_valid(level) || !name) return 0;
  auto it = store().find({level, name_checksum(name)});
  return it == store().end() ? 0 : it->second;
}

void level_int_set(int level, const char* name, int value) {
  if (Backend) return Backend->int_set(level, name, value);
  if (!level_valid(level) || !name) return;
  store()[{level, name_checksum(name)}] = value;
}

bool level_flag_get(int level, const char* name) {
  if (Backend) return Backend->flag_get(level, name);
  if (!level_valid(level) || !name) return false;
  auto it = flags().find({level, name_checksum(name)});
  return it != flags().end() && it->second;
}

void level_flag_set(int level, const char* name, bool value) {
  if (Backend) return Backend->flag_set(level, name, value);
  if (!level_valid(level) || !name) return;
  flags()[{level, name_checksum(name)}] = value;
}

void saved_names_clear() {
  store().clear();
  flags().clear();
}
