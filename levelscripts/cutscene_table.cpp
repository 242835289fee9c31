#include "levelscripts/cutscene_table.h"

#include <strings.h>

#include <cstring>

#include "quarn/os/console.h"
#include "quarn/os/stringpool.h"
#include "quarn/parse/parse.h"
#include "quarn/vfile/vfile.h"

namespace {

constexpr int STRING_POOL_SIZE = 16384;

CutsceneRecord Records[MAX_CUTSCENES];
int Num_records = 0;
StringPool Strings;
const char Empty[] = "";

const char* read_name(ParseContext& pc) {
  char text[PARSE_MAX_NAME_LEN + 1];
  pc.read_string(text, sizeof text);
  if (Strings.capacity() == 0) Strings.alloc(STRING_POOL_SIZE);
  if (static_cast<int>(std::strlen(text)) >= Strings.free_bytes()) {
    console_printf("%s: the cutscene table's string pool is full; \"%s\" dropped\n", pc.filename(), text);
    return Empty;
  }
  return Strings.add(text);
}

// Counts past a limit read the entry and drop it.
bool room(ParseContext& pc, const CutsceneRecord& r, int count, int limit, const char* what) {
  if (count < limit) return true;
  console_printf("%s: cutscene %s holds at most %d %s; the rest are dropped\n", pc.filename(), r.name, limit, what);
  return false;
}

int16_t read_track(ParseContext& pc) {
  pc.require_string("+Track:");
  return static_cast<int16_t>(pc.read_int_in(-32768, 32767, "track"));
}

void read_record(ParseContext& pc, CutsceneRecord& r) {
  r.name = read_name(pc);
  pc.require_string("+Level:");
  r.level = read_name(pc);
  r.script = pc.optional_string("+Script:") ? read_name(pc) : Empty;
  while (pc.optional_string("+Stream:")) {
    const char* file = read_name(pc);
    if (room(pc, r, r.stream_count, MAX_CUTSCENE_STREAMS, "streams")) r.streams[r.stream_count++] = file;
  }
  while (pc.optional_string("+Persistent effect:")) {
    CutsceneEffectEntry e;
    e.file = read_name(pc);
    if (pc.optional_string("+On:")) e.entity = read_name(pc);
    if (room(pc, r, r.persistent_count, MAX_CUTSCENE_PERSISTENT_EFFECTS, "persistent effects"))
      r.persistent[r.persistent_count++] = e;
  }
  while (pc.optional_string("+Timed effect:")) {
    CutsceneEffectEntry e;
    e.file = read_name(pc);
    e.track = read_track(pc);
    if (pc.optional_string("+On:")) e.entity = read_name(pc);
    if (pc.optional_string("+Length:")) e.length = static_cast<int16_t>(pc.read_int_in(0, 32767, "length"));
    if (room(pc, r, r.timed_effect_count, MAX_CUTSCENE_TIMED_EFFECTS, "timed effects"))
      r.timed_effects[r.timed_effect_count++] = e;
  }
  if (pc.optional_string("+Sound track:")) r.sound_track = read_name(pc);
  while (pc.optional_string("+Timed sound:")) {
    CutsceneSoundEntry s;
    s.name = read_name(pc);
    s.track = read_track(pc);
    if (room(pc, r, r.timed_sound_count, MAX_CUTSCENE_TIMED_SOUNDS, "timed sounds"))
      r.timed_sounds[r.timed_sound_count++] = s;
  }
  while (pc.optional_string("+Fog:")) {
    CutsceneFogEntry f;
    f.near_distance = pc.read_float();
    f.far_distance = pc.read_float();
    f.track = read_track(pc);
    if (room(pc, r, r.fog_count, MAX_CUTSCENE_FOGS, "fog entries")) r.fogs[r.fog_count++] = f;
  }
  while (pc.optional_string("$VisSet:")) {
    CutsceneVisSet v;
    v.track = static_cast<uint16_t>(pc.read_int_in(0, 65535, "visibility set track"));
    bool full = false;
    while (pc.optional_string("$vis:")) {
      const char* name = read_name(pc);
      if (v.name_count < MAX_CUTSCENE_VIS_NAMES) v.names[v.name_count++] = name;
      else full = true;
    }
    if (full)
      console_printf("%s: a visibility set of cutscene %s holds at most %d names; the rest are dropped\n",
                     pc.filename(), r.name, MAX_CUTSCENE_VIS_NAMES);
    if (room(pc, r, r.vis_set_count, MAX_CUTSCENE_VIS_SETS, "visibility sets")) r.vis_sets[r.vis_set_count++] = v;
  }
  while (pc.optional_string("+Fade:")) {
    CutsceneFadeEntry f;
    if (pc.optional_string("in")) f.kind = CUTSCENE_FADE_IN;
    else if (pc.optional_string("out")) f.kind = CUTSCENE_FADE_OUT;
    else pc.error("in or out");
    f.start = pc.read_float();
    f.duration = pc.read_float();
    f.track = read_track(pc);
    if (room(pc, r, r.fade_count, MAX_CUTSCENE_FADES, "fades")) r.fades[r.fade_count++] = f;
  }
}

void read_table(ParseContext& pc) {
  cutscene_table_reset();
  while (pc.optional_string("$Cutscene:")) {
    CutsceneRecord r;
    read_record(pc, r);
    if (Num_records < MAX_CUTSCENES) Records[Num_records++] = r;
    else
      console_printf("%s: cutscene %s refused: the table holds %d (MAX_CUTSCENES)\n", pc.filename(), r.name,
                     MAX_CUTSCENES);
  }
  if (!pc.at_end()) pc.error("$Cutscene: or the end of the table");
}

}  // namespace

void cutscene_table_reset() {
  for (int i = 0; i < Num_records; i++) Records[i] = CutsceneRecord();
  Num_records = 0;
  if (Strings.capacity() == 0) Strings.alloc(STRING_POOL_SIZE);
  Strings.reset();
}

void cutscene_table_read_text(const char* filename, const char* text, int length) {
  ParseContext pc;
  pc.open_memory(filename, text, length > 0 ? static_cast<size_t>(length) : 0);
  read_table(pc);
  pc.close();
}

bool cutscene_table_load(const char* filename) {
  ParseContext pc;
  if (pc.open(filename, VFILE_ANY_TYPE) != 0) {
    cutscene_table_reset();
    return false;
  }
  read_table(pc);
  pc.close();
  return true;
}

int cutscene_count() { return Num_records; }
const CutsceneRecord* cutscene_record_at(int index) {
  return index >= 0 && index < Num_records ? &Records[index] : nullptr;
}

const CutsceneRecord* cutscene_find(const char* name, const char* level) {
  if (!name) return nullptr;
  for (int i = 0; i < Num_records; i++) {
    const CutsceneRecord& r = Records[i];
    if (strcasecmp(r.name, name) != 0) continue;
    if ((level && !strcasecmp(r.level, level)) || !strcasecmp(r.level, "any") || !strcasecmp(r.level, "Placeholder"))
      return &r;
  }
  return nullptr;
}

const CutsceneRecord* cutscene_find_any_level(const char* name) {
  if (!name) return nullptr;
  for (int i = 0; i < Num_records; i++)
    if (!strcasecmp(Records[i].name, name)) return &Records[i];
  return nullptr;
}
