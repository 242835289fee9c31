#include "Engine/characterinfo/table_sound.h"

#include <cstdio>
#include <cstring>

#include "quarn/parse/parse.h"

namespace {
uint8_t to_byte(float v) {
  if (!(v > 0.0f)) return 0;
  if (v >= 255.0f) return 255;
  return static_cast<uint8_t>(v);
}
}  // namespace

void table_sound_read(ParseContext& pc, TableSoundStore store, const char* folder, TableSound& out) {
  char name[TABLE_SOUND_NAME_MAX + 1];
  pc.read_string(name, sizeof name);
  // A folder of up to 255 characters and a name of up to 127 always fit: the
  // prefixed name is built to its full length, never into a fixed buffer.
  if (folder && *folder && !strchr(name, '\\')) {
    char full[256 + TABLE_SOUND_NAME_MAX + 2];
    snprintf(full, sizeof full, "%s%c%s", folder, '\\', name);
    out.file_name = store(full);
  } else {
    out.file_name = store(name);
  }
  out.index = -1;
  out.volume = to_byte(pc.read_float() * 255.0f);
  out.min_distance = to_byte(pc.read_float());
  out.rolloff = to_byte(pc.read_float());
}
