#include "Orrimund/screens/item_cameras.h"

#include <strings.h>

#include <cstdio>

#include "Engine/Objects/items.h"
#include "Engine/characterinfo/characterinfo.h"
#include "quarn/os/console.h"
#include "quarn/parse/parse.h"
#include "quarn/vfile/path_types.h"
#include "quarn/vfile/vfile.h"

IcamTable Bs_cameras, Inv_cameras, Status_cameras;

namespace {

constexpr float DEG_TO_RAD = 0.017453f;

const char* real_item_name(int i) { return i >= 0 && i < Num_item_infos ? Item_infos[i].name : nullptr; }
const char* real_character_name(int i) {
  return i >= 0 && i < Num_character_infos ? Character_infos[i].name : nullptr;
}

const IcamNames Real_names = {item_lookup, real_item_name, charinfo_lookup, real_character_name};

// One section of entries up to its "#End"; names the lookup does not know,
// and entries past the table's room, are read and dropped.
void read_section(ParseContext& pc, IcamTable& table, uint8_t kind, int (*lookup)(const char*)) {
  while (!pc.optional_string("#End")) {
    if (pc.at_end()) pc.error("#End");
    char name[ICAM_NAME_LEN];
    pc.require_string("$Name:");
    pc.read_string(name, sizeof name);
    IcamEntry e;
    e.kind = kind;
    pc.require_string("$Offset:");
    e.offset.x = pc.read_float();
    e.offset.y = pc.read_float();
    e.offset.z = pc.read_float();
    pc.require_string("$PBH:");
    e.pitch = pc.read_float();
    e.bank = pc.read_float();
    e.heading = pc.read_float();
    const int index = lookup ? lookup(name) : -1;
    if (index >= 0 && index <= INT16_MAX && table.count < MAX_ICAM_ENTRIES) {
      e.index = static_cast<int16_t>(index);
      table.entries[table.count++] = e;
    } else if (index < 0 && kind == ICAM_CHARACTER) {
      console_printf("Unable to parse item \"%s\" in new_icam_load()\n", name);
    }
  }
}

void read_table(ParseContext& pc, IcamTable& table, const IcamNames& names) {
  read_section(pc, table, ICAM_ITEM, names.item_index);
  read_section(pc, table, ICAM_CHARACTER, names.character_index);
}

void start(IcamTable& table, const char* filename) {
  snprintf(table.filename, sizeof table.filename, "%s", filename);
  table.count = 0;
}

}  // namespace

const IcamNames& icam_default_names() { return Real_names; }

void new_icam_load(IcamTable& table, const char* filename, const IcamNames& names) {
  start(table, filename);
  ParseContext pc;
  pc.open_or_die(filename, Tables_path_type >= 0 ? Tables_path_type : VFILE_ANY_TYPE);
  read_table(pc, table, names);
}

void new_icam_load_text(IcamTable& table, const char* filename, const char* text, int length,
                        const IcamNames& names) {
  start(table, filename);
  ParseContext pc;
  pc.open_memory(filename, text, static_cast<size_t>(length));
  read_table(pc, table, names);
}

bool new_icam_get(const IcamTable& table, const char* name, matrix* orientation, vector* offset,
                  const IcamNames& names) {
  for (int i = 0; name && i < table.count; i++) {
    const IcamEntry& e = table.entries[i];
    const char* own = e.kind == ICAM_ITEM ? (names.item_name ? names.item_name(e.index) : nullptr)
                                          : (names.character_name ? names.character_name(e.index) : nullptr);
    if (!own || strcasecmp(own, name) != 0) continue;
    // Models are built facing the viewer; the table's heading 0 turns them
    // to face away, as the screens' cameras expect.
    if (orientation) {
      *orientation = matrix::from_angles(e.pitch * DEG_TO_RAD, e.bank * DEG_TO_RAD,
                                         (e.heading + 180.0f) * DEG_TO_RAD);
    }
    if (offset) *offset = e.offset;
    return true;
  }
  console_printf("DIDN'T FIND %s in new_icam_get()\n", name ? name : "(null)");
  return false;
}

// A world without one of the tables still starts: its screen shows every
// model as built, unturned. A table that is there but damaged is still the
// parse error that names it.
static void load_if_present(IcamTable& table, const char* filename) {
  start(table, filename);
  ParseContext pc;
  if (pc.open(filename, Tables_path_type >= 0 ? Tables_path_type : VFILE_ANY_TYPE) != 0) {
    console_printf("No %s: item models are shown unturned\n", filename);
    return;
  }
  read_table(pc, table, icam_default_names());
}

void item_cameras_load_all() {
  load_if_present(Bs_cameras, "bs_cameras.tbl");
  load_if_present(Inv_cameras, "inv_cameras.tbl");
  load_if_present(Status_cameras, "status_cameras.tbl");
}
