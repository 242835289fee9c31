#include "Orrimund/screens/save_list.h"

#include <cstdio>
#include <cstring>

#include "quarn/vfile/path_types.h"
#include "levelscripts/level_scripts.h"
#include "levelscripts/savegame.h"
#include "quarn/vfile/vfile.h"

bool save_list_is_new_entry(const SaveListEntry& e) { return e.level < 0; }

int save_list_build(bool save_mode, time_t now, SaveListEntry out[SAVE_LIST_MAX]) {
  SaveListEntry saves[SAVE_LIST_MAX];
  int n = 0;
  VFileListEntry head;
  vfile_list_init(&head);
  vfile_list_files(&head, Savegame_path_type, "*.sav", VF_LIST_KEEP_EXT);
  for (VFileListEntry* f = head.next; f != &head && n < SAVE_LIST_MAX; f = f->next) {
    if (std::strlen(f->name) >= SAVE_FILE_NAME_SIZE) continue;
    SaveHeaderInfo info;
    if (save_read_header(f->name, &info) != 1) continue;
    const int level = level_script_info_lookup(info.level);
    const int script = level_script_name_index(level, info.script);
    if (level < 0 || script < 0) continue;
    SaveListEntry& e = saves[n++];
    e = SaveListEntry{};
    std::snprintf(e.file_name, sizeof e.file_name, "%s", f->name);
    e.level = level;
    e.script = script;
    e.play_time = info.play_time;
    e.file_time = f->write_time;
    std::snprintf(e.description, sizeof e.description, "%s", info.description);
  }
  vfile_list_free(&head);
  int count = 0;
  if (save_mode && n < SAVE_LIST_MAX) {
    SaveListEntry& e = out[count++];
    e = SaveListEntry{};
    e.level = -1;
    e.script = -1;
    e.file_time = now;
    std::snprintf(e.description, sizeof e.description, "No description");
  }
  for (int i = 0; i < n && count < SAVE_LIST_MAX; i++) out[count++] = saves[i];
  return count;
}

bool save_new_file_name(char* out, int size) {
  for (int i = 0;; i++) {
    const int len = std::snprintf(out, static_cast<size_t>(size), "orrimund%d%s", i, ".sav");
    if (len < 0 || len >= size || len >= SAVE_FILE_NAME_SIZE) return false;
    if (!vfile_loose_exists(out, Savegame_path_type)) return true;
  }
}

bool save_list_may_save(int allowed_check_answer) { return allowed_check_answer == 0; }

void save_format_time(time_t t, char* out, int size) {
  struct tm lt {};
  localtime_r(&t, &lt);
  const int hour = lt.tm_hour == 0 ? 12 : lt.tm_hour > 12 ? lt.tm_hour - 12 : lt.tm_hour;
  std::snprintf(out, static_cast<size_t>(size), "%d:%02d %s", hour, lt.tm_min, lt.tm_hour < 12 ? "am" : "pm");
}

void save_format_date(time_t t, char* out, int size) {
  static const char* const months[12] = {"Jan.", "Feb.", "Mar.", "Apr.", "May",  "Jun.",
                                         "Jul.", "Aug.", "Sep.", "Oct.", "Nov.", "Dec."};
  struct tm lt {};
  localtime_r(&t, &lt);
  std::snprintf(out, static_cast<size_t>(size), "%s %d, %d", months[lt.tm_mon], lt.tm_mday, lt.tm_year + 1900);
}

void save_format_play_time(float seconds, char* out, int size) {
  const int whole = seconds > 0.0f ? static_cast<int>(seconds) : 0;
  std::snprintf(out, static_cast<size_t>(size), "%02d:%02d", whole / 3600, whole / 60 % 60);
}

bool save_read_thumbnail(const char* file_name, uint16_t* pixels) {
  constexpr int N = SAVE_THUMB_W * SAVE_THUMB_H;
  std::memset(pixels, 0, N * 2);
  // The picture follows the header and its eight zero bytes.
  constexpr int THUMB_OFFSET = 512;
  FileHandle f;
  if (!file_name || f.open(file_name, VF_READ, Savegame_path_type) != VF_OK) return false;
  static uint8_t bytes[N * 2];
  const bool ok = f.seek(THUMB_OFFSET, SEEK_SET) == 0 && f.read(bytes, N * 2) == N * 2;
  f.close();
  if (!ok) return false;
  for (int i = 0; i < N; i++) pixels[i] = static_cast<uint16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
  return true;
}
