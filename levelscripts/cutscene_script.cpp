#include "levelscripts/cutscene_script.h"

#include <strings.h>

#include <cstdio>
#include <cstring>

#include "Engine/Objects/living_entity.h"
#include "Engine/ai/ai_component.h"
#include "Engine/gameflags.h"
#include "levelscripts/level_scripts.h"
#include "levelscripts/script_runner.h"
#include "levelscripts/script_world.h"
#include "quarn/os/console.h"
#include "quarn/os/stringpool.h"
#include "quarn/parse/parse.h"
#include "quarn/vfile/vfile.h"

int Cscript_cutscene_index = -1;

namespace {

constexpr char SUFFIX[] = "_cscript.tbl";

struct ScriptedObject {
  int32_t entity;
  vector pos;
  matrix orient;
};
ScriptedObject Objects[MAX_CSCRIPT_OBJECTS];
int Num_objects = 0;
StringPool Strings;
char Current[64] = "";
bool Level_matches = false;

// Where the object stood before its actions start.
void remember(living_entity* e, bool) {
  for (int i = 0; i < Num_objects; i++)
    if (Objects[i].entity == e->handle) return;
  if (Num_objects >= MAX_CSCRIPT_OBJECTS) {
    console_printf("Cutscene script %s: more than %d objects; %s will not be put back\n", Current,
                   MAX_CSCRIPT_OBJECTS, e->get_name());
    return;
  }
  Objects[Num_objects++] = {e->handle, e->pos, e->orient};
}

void read_cscript(ParseContext& pc) {
  pc.require_string("$Level: ");
  char level[256];
  pc.read_string(level, sizeof level);
  Level_matches = strcasecmp(level, Level_position.level) == 0;
  if (!Level_matches) return;
  if (Strings.capacity() == 0) Strings.alloc(CSCRIPT_STRING_POOL_SIZE);
  if (static_cast<int>(std::strlen(level)) < Strings.free_bytes()) Strings.add(level);
  pc.require_string("#Navpoints");
  script_read_navpoints(pc, true);
  pc.require_string("#Objects");
  while (pc.optional_string("$Name:")) script_read_object(pc, remember);
  pc.require_string("#end");
  console_printf("Cutscene script string pool usage: %d bytes\n", Strings.used());
}

bool begin(const char* name) {
  if (!name || Cscript_cutscene_index < 0) return false;
  cscript_restore_objects();
  return true;
}

}  // namespace

bool cscript_file_name(const char* name, char* out, size_t size) {
  const size_t n = std::strlen(name), s = sizeof SUFFIX - 1;
  const bool has = n >= s && !strcasecmp(name + n - s, SUFFIX);
  const int written = std::snprintf(out, size, has ? "%s" : "%s_cscript.tbl", name);
  return written >= 0 && static_cast<size_t>(written) < size;
}

bool cscript_table_load(const char* name) {
  if (!begin(name)) return false;
  char file[96];
  if (!cscript_file_name(name, file, sizeof file)) return false;
  ParseContext pc;
  if (pc.open(file, VFILE_ANY_TYPE) != 0) return false;
  std::snprintf(Current, sizeof Current, "%s", name);
  read_cscript(pc);
  pc.close();
  if (!Level_matches) Current[0] = '\0';
  return Level_matches;
}

bool cscript_table_read_text(const char* name, const char* text, int length) {
  if (!begin(name)) return false;
  std::snprintf(Current, sizeof Current, "%s", name);
  ParseContext pc;
  pc.open_memory(name, text, length > 0 ? static_cast<size_t>(length) : 0);
  read_cscript(pc);
  pc.close();
  if (!Level_matches) Current[0] = '\0';
  return Level_matches;
}

void cscript_restore_objects() {
  for (int i = 0; i < Num_objects; i++) {
    living_entity* e = entity_from_handle(Objects[i].entity);
    if (!e) continue;
    e->pos = e->last_pos = Objects[i].pos;
    e->orient = e->last_orient = Objects[i].orient;
    ai_reset_to_idle(&e->ai);
    // Its script character stops with the cutscene.
    for (int c = 0; c < script_character_count(); c++) {
      ScriptCharacter* sc = script_character_at(c);
      if (sc->entity == Objects[i].entity) {
        sc->action_count = 0;
        sc->current = -1;
        sc->timer = 0;
      }
    }
  }
  Num_objects = 0;
  // Weapons and armour the cutscene's characters changed go back.
  script_replaced_items_restore();
  navpoints_reset(true);
  if (Script_world.camera_on_hero) Script_world.camera_on_hero();
  if (Strings.capacity() == 0) Strings.alloc(CSCRIPT_STRING_POOL_SIZE);
  Strings.reset();
  Current[0] = '\0';
}

const char* cscript_current_name() { return Current; }
bool cscript_is_running() { return game_flags_test(GF_CUTSCENE) || Current[0] != '\0'; }
int cscript_object_count() { return Num_objects; }
int cscript_string_pool_used() { return Strings.used(); }
