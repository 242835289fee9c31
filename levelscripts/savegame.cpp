#include "levelscripts/savegame.h"

#include <strings.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "Engine/Objects/items.h"
#include "Orrimund/gamestate.h"
#include "levelscripts/level_flags.h"
#include "levelscripts/save_parts.h"
#include "levelscripts/script_world.h"
#include "quarn/os/console.h"
#include "quarn/os/error.h"
#include "quarn/os/os.h"
#include "quarn/parse/parse.h"
#include "quarn/vfile/path_types.h"
#include "quarn/vfile/vfile.h"

SaveGameImage Save_image;
float Savegame_play_time = 0.0f;
bool Save_write_slowly = false;

namespace {

alignas(16) uint8_t Image[SAVE_IMAGE_CAPACITY];

constexpr int LEVEL_DATA_HEAD = 4 * NUM_LEVEL_SCRIPTS;  // the visit counters
constexpr int INVENTORY_SIZE = 8352;
constexpr int CAMERA_SIZE = 40;
constexpr int ITEM_OBJECTS_SIZE = 6324;
constexpr int QUEST_FLAGS_SIZE = (MAX_QUESTS + 7) / 8;
constexpr int LEVEL_ITEMS_SIZE = 4 + 4 * SAVE_MAX_LEVEL_ITEMS;
constexpr int TWO_STAGE_OBJECTS = NUM_LEVEL_SCRIPTS * SAVE_TWO_STAGE_PER_LEVEL;
constexpr int TWO_STAGE_SIZE = 4 * NUM_LEVEL_SCRIPTS + 4 * TWO_STAGE_OBJECTS + (TWO_STAGE_OBJECTS * 2 + 7) / 8;
constexpr int AUTOMAP_LABELS_SIZE = 4 + SAVE_MAX_AUTOMAP_LABELS * SAVE_AUTOMAP_LABEL_SIZE;
constexpr int HOT_BUTTON_SIZE = 6;
constexpr int HOT_BUTTONS_SIZE = SAVE_HOT_CHARACTERS * SAVE_HOT_SLOTS * HOT_BUTTON_SIZE;
constexpr int ENTITIES_HEAD = 52;
constexpr int ENTITIES_TRAILER = 408;
constexpr int ENTITIES_SIZE = ENTITIES_HEAD + SAVE_MAX_ENTITIES * (SAVE_ENTITY_RECORD_SIZE + 4) + ENTITIES_TRAILER;
constexpr int THUMBNAIL_OFFSET = 512;
constexpr int MAX_LOOSE_ITEMS = 32;

// The order of the header's size words, which is not the order of the file.
constexpr SaveSection Header_size_order[13] = {
    SEC_THUMBNAIL, SEC_LEVEL_DATA, SEC_CONVERSATION, SEC_ITEMS, SEC_INVENTORY, SEC_ENTITIES, SEC_CAMERA,
    SEC_ITEM_OBJECTS, SEC_QUEST_FLAGS, SEC_LEVEL_ITEMS, SEC_TWO_STAGE, SEC_AUTOMAP_LABELS, SEC_HOT_BUTTONS};

int items_size(int n) { return 8 + 4 * n + (n + 7) / 8; }

void put_text(uint8_t* p, int size, const char* text) {
  std::memset(p, 0, static_cast<size_t>(size));
  if (!text) return;
  size_t n = strnlen(text, static_cast<size_t>(size - 1));
  std::memcpy(p, text, n);
}

void get_text(char* out, int out_size, const uint8_t* p, int size) {
  int n = 0;
  while (n < size && n < out_size - 1 && p[n]) {
    out[n] = static_cast<char>(p[n]);
    n++;
  }
  out[n] = '\0';
}

void read_level_items_table() {
  ParseContext pc;
  if (pc.open("level_items.tbl", Tables_path_type) != 0) return;
  if (!pc.find_string("#Level Items")) return;
  pc.require_string("#Level Items");
  char name[PARSE_MAX_NAME_LEN + 2];
  // Every level's section: the names of all levels are kept in one list.
  while (pc.skip_to_string("$Name:", "#End")) {
    pc.require_string("$Name:");
    pc.read_string(name, sizeof name);
    if (!save_level_item_add(name_checksum(name))) {
      console_printf("level_items.tbl: more than %d level items, %s not listed\n", SAVE_MAX_LEVEL_ITEMS, name);
    }
  }
}

// --- names the item table renamed after saves were made ----------------------

uint32_t item_rename(uint32_t sum) {
  static const uint32_t brown = name_checksum("Brown Dragon Scale");
  static const uint32_t preservation = name_checksum("Ring of Preservation");
  if (sum == brown) return name_checksum("Gray Dragon Scale");
  if (sum == preservation) return name_checksum("Preservation Ring");
  return sum;
}

// --- the tagged parts -----------------------------------------------------------

bool build_items(SaveWriter& w) {
  w.put_tag("ITEM");
  w.put_u32(static_cast<uint32_t>(Num_item_infos));
  for (int i = 0; i < Num_item_infos; i++) w.put_u32(name_checksum(Item_infos[i].name));
  for (int i = 0; i < Num_item_infos; i += 8) {
    uint8_t byte = 0;
    for (int b = 0; b < 8 && i + b < Num_item_infos; b++)
      if (Item_infos[i + b].flags & IF_NOT_IDENTIFIED) byte |= static_cast<uint8_t>(1u << b);
    w.put_u8(byte);
  }
  return w.ok();
}

// An empty tagged part ending with its length word, for a world that has no
// owner of that part yet; it reads back as "nothing kept".
bool build_empty_counted(SaveWriter& w, const char tag[4], int zero_words) {
  w.put_tag(tag);
  for (int i = 0; i < zero_words; i++) w.put_u32(0);
  w.put_u32(static_cast<uint32_t>(w.used() + 4));
  return w.ok();
}

bool build_entities_default(SaveWriter& w) {
  w.put_tag("LENT");
  w.put_u32(0);
  w.put_u32(0);
  for (int i = 0; i < 9; i++) w.put_u32(0);  // the 36-byte party record
  w.put_u32(0);                              // no records
  w.put_u32(static_cast<uint32_t>(w.used() + 4));
  return w.ok();
}

bool build_camera_default(SaveWriter& w) {
  w.put_tag("CMRA");
  for (int i = 0; i < 9; i++) w.put_u32(0);
  return w.ok();
}

bool build_parts(uint8_t* image) {
  struct Part {
    SaveSection section;
    bool (*hook)(SaveWriter&);
    bool (*fallback)(SaveWriter&);
  };
  const ScriptWorld& s = Script_world;
  const Part parts[] = {
      {SEC_ITEMS, build_items, build_items},
      {SEC_INVENTORY, s.save_inventory, [](SaveWriter& w) { return build_empty_counted(w, "INVT", 2); }},
      {SEC_ENTITIES, s.save_entities, build_entities_default},
      {SEC_CAMERA, s.save_camera, build_camera_default},
      {SEC_ITEM_OBJECTS, s.save_item_objects,
       [](SaveWriter& w) {
         w.put_tag("CONT");
         w.put_u32(0);
         w.put_u32(0);
         return w.ok();
       }},
  };
  for (const Part& p : parts) {
    uint8_t* at = image + Save_image.offset[p.section];
    int size = Save_image.size[p.section];
    std::memset(at, 0, static_cast<size_t>(size));
    SaveWriter w(at, size);
    bool (*fn)(SaveWriter&) = p.hook ? p.hook : p.fallback;
    if (!fn(w) || !w.ok()) return false;
  }
  return true;
}

// --- checks of a whole file before anything live changes ------------------------

bool check_items(const uint8_t* at, int size) {
  SaveReader r(at, size);
  if (!r.tag_is("ITEM")) return false;
  uint32_t n = r.get_u32();
  if (n != static_cast<uint32_t>(Num_item_infos)) return false;
  for (uint32_t i = 0; i < n; i++)
    if (item_lookup_by_checksum(item_rename(r.get_u32())) < 0) return false;
  return r.ok();
}

bool check_inventory(const uint8_t* at, int size) {
  SaveReader r(at, size);
  if (!r.tag_is("INVT")) return false;
  r.get_u32();  // gold
  uint32_t count = r.get_u32();
  if (count > SAVE_MAX_INVENTORY_ENTRIES) return false;
  for (uint32_t i = 0; i < count; i++) {
    uint32_t sum = r.get_u32();
    r.get_u32();
    r.get_u32();
    if (r.ok() && item_lookup_by_checksum(item_rename(sum)) < 0) {
      console_printf("Couldn't find item type!!!\n");
      return false;
    }
  }
  uint32_t length = r.get_u32();
  return r.ok() && length == static_cast<uint32_t>(r.used());
}

bool check_entities(const uint8_t* at, int size) {
  SaveReader r(at, size);
  if (!r.tag_is("LENT")) return false;
  r.get_u32();
  r.get_u32();
  uint8_t party[36];
  r.get_bytes(party, 36);
  uint32_t count = r.get_u32();
  if (!r.ok() || count > SAVE_MAX_ENTITIES) return false;
  // The records (a key and a fixed slot each) and the party trailer belong to
  // the entities' service, which checks them; here the part must end with its
  // own length, behind its records and inside the section.
  for (int end = r.used() + static_cast<int>(count) * (SAVE_ENTITY_RECORD_SIZE + 4) + 4; end <= size; end++) {
    if (save_get_u32(at + end - 4) == static_cast<uint32_t>(end)) return true;
  }
  return false;
}

bool check_item_objects(const uint8_t* at, int size) {
  SaveReader r(at, size);
  if (!r.tag_is("CONT")) return false;
  uint32_t containers = r.get_u32();
  if (containers > static_cast<uint32_t>(size / 17)) return false;
  for (uint32_t c = 0; c < containers && r.ok(); c++) {
    r.get_float();
    r.get_float();
    r.get_float();
    uint32_t items = r.get_u32();
    r.get_u8();
    if (items > static_cast<uint32_t>(r.remaining() / 8)) return false;
    for (uint32_t i = 0; i < items; i++) {
      uint32_t type = r.get_u32();
      r.get_u32();
      if (r.ok() && type >= static_cast<uint32_t>(Num_item_infos)) return false;
    }
  }
  uint32_t loose = r.get_u32();
  if (loose > MAX_LOOSE_ITEMS) return false;
  for (uint32_t i = 0; i < loose; i++) {
    r.get_float();
    r.get_float();
    r.get_float();
    r.get_u32();
  }
  return r.ok();
}

bool check_counts(const uint8_t* image) {
  if (save_get_u32(image + Save_image.offset[SEC_LEVEL_ITEMS]) > SAVE_MAX_LEVEL_ITEMS) return false;
  if (save_get_u32(image + Save_image.offset[SEC_AUTOMAP_LABELS]) > SAVE_MAX_AUTOMAP_LABELS) return false;
  const uint8_t* two = image + Save_image.offset[SEC_TWO_STAGE];
  for (int l = 0; l < NUM_LEVEL_SCRIPTS; l++)
    if (save_get_u32(two + 4 * l) > SAVE_TWO_STAGE_PER_LEVEL) return false;
  return true;
}

// What is wrong with a whole save held in memory, or null when it would load.
const char* check_whole(const uint8_t* bytes, size_t length, SaveHeaderInfo* info) {
  if (length < SAVE_HEADER_SIZE) return "it is shorter than its header";
  int h = save_header_check(bytes, info);
  if (h < 0) return "it is not a save of this game";
  if (h == 0) return "it was saved by a game with other tables";
  if (length != static_cast<size_t>(Save_image.cursor)) return "its length is not the length of a save";
  const uint8_t* s = bytes;
  if (!check_items(s + Save_image.offset[SEC_ITEMS], Save_image.size[SEC_ITEMS])) return "its item list is damaged";
  if (!check_inventory(s + Save_image.offset[SEC_INVENTORY], Save_image.size[SEC_INVENTORY]))
    return "its inventory is damaged";
  if (!check_entities(s + Save_image.offset[SEC_ENTITIES], Save_image.size[SEC_ENTITIES]))
    return "its creatures are damaged";
  SaveReader cam(s + Save_image.offset[SEC_CAMERA], Save_image.size[SEC_CAMERA]);
  if (!cam.tag_is("CMRA")) return "its camera is damaged";
  if (!check_item_objects(s + Save_image.offset[SEC_ITEM_OBJECTS], Save_image.size[SEC_ITEM_OBJECTS]))
    return "its containers are damaged";
  if (!check_counts(s)) return "a list in it is longer than its room";
  return nullptr;
}

void apply_items() {
  SaveReader r(save_section(SEC_ITEMS), save_section_size(SEC_ITEMS));
  r.tag_is("ITEM");
  uint32_t n = r.get_u32();
  std::vector<int> types(n);
  for (uint32_t i = 0; i < n; i++) types[i] = item_lookup_by_checksum(item_rename(r.get_u32()));
  for (uint32_t i = 0; i < n; i += 8) {
    uint8_t byte = r.get_u8();
    for (uint32_t b = 0; b < 8 && i + b < n; b++) {
      Item_info& info = Item_infos[types[i + b]];
      if (byte & (1u << b)) info.flags |= IF_NOT_IDENTIFIED;
      else info.flags &= static_cast<uint16_t>(~IF_NOT_IDENTIFIED);
    }
  }
}

bool run_restorer(bool (*hook)(SaveReader&), SaveSection s, const char* code) {
  if (!hook) return true;
  SaveReader r(save_section(s), save_section_size(s));
  if (hook(r) && r.ok()) return true;
  console_printf("%s\n", code);
  return false;
}

bool safe_file_name(const char* name) {
  if (!name || !*name || std::strlen(name) > 127) return false;
  return !std::strpbrk(name, "/\\:") && !std::strstr(name, "..");
}

bool read_file(const char* filename, std::vector<uint8_t>& out) {
  FileHandle f;
  if (f.open(filename, VF_READ, Savegame_path_type) != VF_OK) return false;
  int size = f.size();
  if (size < 0 || size > SAVE_IMAGE_CAPACITY * 2) {
    f.close();
    return false;
  }
  out.resize(static_cast<size_t>(size));
  int got = size ? f.read(out.data(), size) : 0;
  f.close();
  return got == size;
}

bool write_file(const char* filename, const uint8_t* bytes, int length) {
  vfile_create_type_dir(Savegame_path_type);
  FileHandle f;
  if (f.open(filename, VF_WRITE, Savegame_path_type) != VF_OK) return false;
  int written = 0;
  if (Save_write_slowly) {
    // Test pacing: a kill can land while the file is half written.
    constexpr int SLOW_PIECE = 4096, SLOW_PAUSE_MS = 150;
    for (int at = 0; at < length; at += SLOW_PIECE) {
      const int n = length - at < SLOW_PIECE ? length - at : SLOW_PIECE;
      written = f.write(bytes + at, n);  // the running total
      if (written != at + n) break;
      os_sleep(SLOW_PAUSE_MS);
    }
  } else {
    written = f.write(bytes, length);
  }
  // The file layer writes beside the old file and renames only on a clean
  // close, so a failed save leaves the old one as it was.
  return f.close() == VF_OK && written == length;
}

void write_header(uint8_t* h, const char* description) {
  std::memset(h, 0, SAVE_HEADER_SIZE);
  save_put_u32(h, SAVE_MAGIC);
  save_put_u32(h + 4, SAVE_VERSION);
  put_text(h + 8, 128, Level_position.level);
  put_text(h + 136, 32, Level_position.script);
  save_put_u32(h + 168, 0);
  uint32_t t;
  std::memcpy(&t, &Savegame_play_time, 4);
  save_put_u32(h + 172, t);
  put_text(h + 176, 256, description);
  for (int i = 0; i < 13; i++) save_put_u32(h + 432 + 4 * i, static_cast<uint32_t>(Save_image.size[Header_size_order[i]]));
  save_put_u32(h + 432 + 52, script_filenames_checksum());
  save_put_u32(h + 488, SAVE_HEADER_LENGTH_WORD);
}

}  // namespace

// --- words and readers ---------------------------------------------------------------

uint32_t save_get_u32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

void save_put_u32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

bool SaveWriter::put_bytes(const void* bytes, int n) {
  if (!ok_ || n < 0 || n > capacity_ - used_) {
    ok_ = false;
    return false;
  }
  std::memcpy(start_ + used_, bytes, static_cast<size_t>(n));
  used_ += n;
  return true;
}

bool SaveWriter::put_u32(uint32_t v) {
  uint8_t b[4];
  save_put_u32(b, v);
  return put_bytes(b, 4);
}

bool SaveWriter::put_float(float v) {
  uint32_t bits;
  std::memcpy(&bits, &v, 4);
  return put_u32(bits);
}

bool SaveReader::get_bytes(void* out, int n) {
  if (!ok_ || n < 0 || n > capacity_ - used_) {
    ok_ = false;
    std::memset(out, 0, n > 0 ? static_cast<size_t>(n) : 0);
    return false;
  }
  std::memcpy(out, start_ + used_, static_cast<size_t>(n));
  used_ += n;
  return true;
}

uint8_t SaveReader::get_u8() {
  uint8_t v = 0;
  get_bytes(&v, 1);
  return v;
}

uint32_t SaveReader::get_u32() {
  uint8_t b[4];
  get_bytes(b, 4);
  return save_get_u32(b);
}

float SaveReader::get_float() {
  uint32_t bits = get_u32();
  float f;
  std::memcpy(&f, &bits, 4);
  return f;
}

bool SaveReader::tag_is(const char tag[4]) {
  char got[4];
  get_bytes(got, 4);
  return ok_ && std::memcmp(got, tag, 4) == 0;
}

// --- layout -----------------------------------------------------------------------------

uint8_t* save_section(SaveSection s) { return Save_image.buffer + Save_image.offset[s]; }
int save_section_size(SaveSection s) { return Save_image.size[s]; }

void savegame_layout() {
  SaveGameImage& im = Save_image;
  im.buffer = Image;
  im.capacity = SAVE_IMAGE_CAPACITY;
  std::memset(Image, 0, sizeof Image);
  int cursor = 0;
  auto place = [&](SaveSection s, long size) {
    if (size < 0 || cursor + size > SAVE_IMAGE_CAPACITY) {
      CRITICAL_ERROR("The save image needs more than SAVE_IMAGE_CAPACITY (%d bytes): section %d of %ld bytes at %d",
                     SAVE_IMAGE_CAPACITY, static_cast<int>(s), size, cursor);
    }
    im.offset[s] = cursor;
    im.size[s] = static_cast<int>(size);
    cursor += static_cast<int>(size);
  };
  place(SEC_HEADER, SAVE_HEADER_SIZE);
  cursor = THUMBNAIL_OFFSET;
  place(SEC_THUMBNAIL, SAVE_THUMB_SIZE);

  long level_data = LEVEL_DATA_HEAD;
  for (int l = 0; l < NUM_LEVEL_SCRIPTS; l++) {
    SaveLevelRecord& r = im.levels[l];
    r.flag_count = level_declared_flags(l);
    r.automap_bits = level_automap_layers(l) * AUTOMAP_BITS_PER_LAYER;
    r.int_count = level_declared_ints(l);
    r.float_count = level_declared_floats(l);
    r.size = (r.flag_count + r.automap_bits + 7) / 8 + 4 * (r.int_count + r.float_count);
    r.offset = cursor + static_cast<int>(level_data);
    level_data += r.size;
  }
  place(SEC_LEVEL_DATA, level_data);
  place(SEC_INVENTORY, INVENTORY_SIZE);

  long conversation = 0;
  int conv_start = cursor;
  for (int l = 0; l < NUM_LEVEL_SCRIPTS; l++) {
    for (int s = 0; s < MAX_LEVEL_SCRIPT_ENTRIES; s++) {
      int size = Script_world.conversation_slot_size ? Script_world.conversation_slot_size(l, s) : 0;
      if (size < 0) size = 0;
      im.conversation_offset[l][s] = conv_start + static_cast<int>(conversation);
      im.conversation_size[l][s] = size;
      conversation += size;
    }
  }
  place(SEC_CONVERSATION, conversation);
  place(SEC_ITEMS, items_size(Num_item_infos));
  place(SEC_ENTITIES, ENTITIES_SIZE);
  place(SEC_CAMERA, CAMERA_SIZE);
  place(SEC_ITEM_OBJECTS, ITEM_OBJECTS_SIZE);
  place(SEC_QUEST_FLAGS, QUEST_FLAGS_SIZE);
  place(SEC_LEVEL_ITEMS, LEVEL_ITEMS_SIZE);
  place(SEC_TWO_STAGE, TWO_STAGE_SIZE);
  place(SEC_AUTOMAP_LABELS, AUTOMAP_LABELS_SIZE);
  place(SEC_HOT_BUTTONS, HOT_BUTTONS_SIZE);
  im.cursor = cursor;

  savegame_no_save_reset();
  if (Script_world.reset_hot_buttons) Script_world.reset_hot_buttons();
  read_level_items_table();
}

void savegame_init() {
  save_parts_install();
  Save_image.pending_name[0] = '\0';
  Save_image.pending_mode = -1;
  savegame_layout();
  console_printf("SAVE GAME ALLOCATED : %d\n", Save_image.cursor);
}

// --- header ---------------------------------------------------------------------------------

int save_header_check(const uint8_t* h, SaveHeaderInfo* info) {
  SaveHeaderInfo local;
  SaveHeaderInfo& out = info ? *info : local;
  get_text(out.level, sizeof out.level, h + 8, 128);
  get_text(out.script, sizeof out.script, h + 136, 32);
  out.word168 = save_get_u32(h + 168);
  uint32_t t = save_get_u32(h + 172);
  std::memcpy(&out.play_time, &t, 4);
  get_text(out.description, sizeof out.description, h + 176, 256);
  if (save_get_u32(h) != SAVE_MAGIC) return -1;
  uint32_t version = save_get_u32(h + 4);
  if (version < SAVE_OLDEST_VERSION || version > SAVE_VERSION) return -1;
  int level = level_script_info_lookup(out.level);
  if (level < 0) return -1;
  // An empty script name is the level's default arrival, which every level has.
  if (out.script[0] && level_script_name_index(level, out.script) < 0) return -1;
  Save_image.version = static_cast<int32_t>(version);
  for (int i = 0; i < 13; i++) {
    uint32_t stored = save_get_u32(h + 432 + 4 * i);
    uint32_t expected = static_cast<uint32_t>(Save_image.size[Header_size_order[i]]);
    if (stored != expected) {
      console_printf("Save section %d is %u bytes, this game expects %u\n", i, stored, expected);
      return 0;
    }
  }
  if (save_get_u32(h + 488) != SAVE_HEADER_LENGTH_WORD) return -1;
  return 1;
}

int save_read_header(const char* filename, SaveHeaderInfo* info) {
  if (!safe_file_name(filename)) return -1;
  FileHandle f;
  if (f.open(filename, VF_READ, Savegame_path_type) != VF_OK) return -1;
  uint8_t h[SAVE_HEADER_SIZE];
  int got = f.read(h, SAVE_HEADER_SIZE);
  f.close();
  if (got != SAVE_HEADER_SIZE) return -1;
  return save_header_check(h, info);
}

// --- save and load ----------------------------------------------------------------------------

bool save_write(const char* filename, const char* description) {
  if (!Save_image.buffer || !safe_file_name(filename)) return false;
  if (!description || std::strlen(description) > SAVE_DESCRIPTION_MAX) return false;
  if (Script_world.capture_thumbnail) {
    uint16_t pixels[SAVE_THUMB_W * SAVE_THUMB_H];
    Script_world.capture_thumbnail(pixels);
    uint8_t* t = save_section(SEC_THUMBNAIL);
    for (int i = 0; i < SAVE_THUMB_W * SAVE_THUMB_H; i++) {
      t[2 * i] = static_cast<uint8_t>(pixels[i]);
      t[2 * i + 1] = static_cast<uint8_t>(pixels[i] >> 8);
    }
  }
  write_header(save_section(SEC_HEADER), description);
  if (!build_parts(Save_image.buffer)) {
    console_printf("Save %s failed: a part of the game does not fit its section\n", filename);
    return false;
  }
  if (!write_file(filename, Save_image.buffer, Save_image.cursor)) {
    console_printf("Save %s could not be written\n", filename);
    return false;
  }
  return true;
}

bool save_check_bytes(const uint8_t* bytes, size_t length) {
  SaveHeaderInfo info;
  return bytes && check_whole(bytes, length, &info) == nullptr;
}

bool save_read(const char* filename, int mode) {
  (void)mode;
  std::vector<uint8_t> bytes;
  if (!safe_file_name(filename) || !read_file(filename, bytes)) {
    console_printf("Cannot read save %s\n", filename ? filename : "(none)");
    return false;
  }
  SaveHeaderInfo info;
  if (const char* why = check_whole(bytes.data(), bytes.size(), &info)) {
    console_printf("Save %s not loaded: %s\n", filename, why);
    std::fprintf(stderr, "Save %s not loaded: %s\n", filename, why);
    return false;
  }
  // Every section checked: the image now becomes the saved one.
  std::memcpy(Save_image.buffer, bytes.data(), bytes.size());
  level_position_set_level(info.level, info.script);
  std::memcpy(&Savegame_play_time, &info.play_time, 4);
  apply_items();
  const ScriptWorld& w = Script_world;
  if (!run_restorer(w.load_inventory, SEC_INVENTORY, "4a")) return false;
  if (!run_restorer(w.load_entities, SEC_ENTITIES, "5a")) return false;
  if (!run_restorer(w.load_camera, SEC_CAMERA, "6a")) return false;
  if (!run_restorer(w.load_item_objects, SEC_ITEM_OBJECTS, "7a")) return false;
  if (w.remove_taken_level_items) w.remove_taken_level_items();
  if (w.apply_two_stage_states) w.apply_two_stage_states();
  if (w.apply_automap_labels) w.apply_automap_labels();
  return true;
}

bool save_rewrite_header(const char* filename, const char* description) {
  if (!description || std::strlen(description) > SAVE_DESCRIPTION_MAX) return false;
  std::vector<uint8_t> bytes;
  if (!safe_file_name(filename) || !read_file(filename, bytes)) return false;
  SaveHeaderInfo info;
  if (check_whole(bytes.data(), bytes.size(), &info) != nullptr) return false;
  uint8_t header[SAVE_HEADER_SIZE];
  std::memcpy(header, bytes.data(), SAVE_HEADER_SIZE);
  put_text(header + 176, 256, description);
  std::memcpy(bytes.data(), header, SAVE_HEADER_SIZE);
  std::memcpy(bytes.data() + Save_image.offset[SEC_THUMBNAIL], save_section(SEC_THUMBNAIL), SAVE_THUMB_SIZE);
  return write_file(filename, bytes.data(), static_cast<int>(bytes.size()));
}

void savegame_set_pending_load(const char* filename, int mode) {
  std::snprintf(Save_image.pending_name, sizeof Save_image.pending_name, "%s", filename ? filename : "");
  Save_image.pending_mode = mode;
}

int savegame_pending_load_length() { return static_cast<int>(std::strlen(Save_image.pending_name)); }

int savegame_load_pending() {
  bool ok = save_read(Save_image.pending_name, Save_image.pending_mode);
  Save_image.pending_name[0] = '\0';
  Save_image.pending_mode = -1;
  return ok ? 1 : 0;
}

// --- level items ----------------------------------------------------------------------------

int save_level_item_count() {
  return Save_image.buffer ? static_cast<int>(save_get_u32(save_section(SEC_LEVEL_ITEMS))) : 0;
}

bool save_level_item_listed(uint32_t checksum) {
  uint8_t* p = save_section(SEC_LEVEL_ITEMS);
  int n = save_level_item_count();
  for (int i = 0; i < n && i < SAVE_MAX_LEVEL_ITEMS; i++)
    if (save_get_u32(p + 4 + 4 * i) == checksum) return true;
  return false;
}

bool save_level_item_add(uint32_t checksum) {
  if (!Save_image.buffer) return false;
  if (save_level_item_listed(checksum)) return true;
  int n = save_level_item_count();
  if (n >= SAVE_MAX_LEVEL_ITEMS) return false;
  uint8_t* p = save_section(SEC_LEVEL_ITEMS);
  save_put_u32(p + 4 + 4 * n, checksum);
  save_put_u32(p, static_cast<uint32_t>(n + 1));
  return true;
}

void save_level_item_remove(uint32_t checksum) {
  if (!Save_image.buffer) return;
  uint8_t* p = save_section(SEC_LEVEL_ITEMS);
  int n = save_level_item_count();
  for (int i = 0; i < n; i++) {
    if (save_get_u32(p + 4 + 4 * i) != checksum) continue;
    std::memmove(p + 4 + 4 * i, p + 8 + 4 * i, static_cast<size_t>(4 * (n - i - 1)));
    save_put_u32(p + 4 + 4 * (n - 1), 0);
    save_put_u32(p, static_cast<uint32_t>(n - 1));
    return;
  }
}

// --- two-stage states ---------------------------------------------------------------------

uint32_t two_stage_key(const char* script, const char* object) {
  char key[130];
  std::snprintf(key, sizeof key, "%.64s%.64s", script ? script : "", object ? object : "");
  return name_checksum(key);
}

namespace {
uint8_t* two_stage() { return save_section(SEC_TWO_STAGE); }
uint8_t* two_stage_sums(int level) { return two_stage() + 4 * NUM_LEVEL_SCRIPTS + 4 * SAVE_TWO_STAGE_PER_LEVEL * level; }
uint8_t* two_stage_bits() { return two_stage() + 4 * NUM_LEVEL_SCRIPTS + 4 * TWO_STAGE_OBJECTS; }
int two_stage_find(int level, uint32_t key) {
  int n = two_stage_count(level);
  for (int i = 0; i < n; i++)
    if (save_get_u32(two_stage_sums(level) + 4 * i) == key) return i;
  return -1;
}
void two_stage_bit_put(int bit, bool on) {
  uint8_t* b = two_stage_bits();
  if (on) b[bit >> 3] |= static_cast<uint8_t>(1u << (bit & 7));
  else b[bit >> 3] &= static_cast<uint8_t>(~(1u << (bit & 7)));
}
bool two_stage_bit(int bit) { return (two_stage_bits()[bit >> 3] >> (bit & 7)) & 1; }
}  // namespace

int two_stage_count(int level) {
  if (!Save_image.buffer || level < 0 || level >= NUM_LEVEL_SCRIPTS) return 0;
  uint32_t n = save_get_u32(two_stage() + 4 * level);
  return n > SAVE_TWO_STAGE_PER_LEVEL ? SAVE_TWO_STAGE_PER_LEVEL : static_cast<int>(n);
}

uint32_t two_stage_checksum_at(int level, int i) {
  if (i < 0 || i >= two_stage_count(level)) return 0;
  return save_get_u32(two_stage_sums(level) + 4 * i);
}

bool two_stage_state_set_key(int level, uint32_t key, bool open, bool second_stage) {
  if (!Save_image.buffer || level < 0 || level >= NUM_LEVEL_SCRIPTS) return false;
  int i = two_stage_find(level, key);
  if (i < 0) {
    i = two_stage_count(level);
    if (i >= SAVE_TWO_STAGE_PER_LEVEL) return false;
    save_put_u32(two_stage_sums(level) + 4 * i, key);
    save_put_u32(two_stage() + 4 * level, static_cast<uint32_t>(i + 1));
  }
  int bit = (level * SAVE_TWO_STAGE_PER_LEVEL + i) * 2;
  two_stage_bit_put(bit, open);
  two_stage_bit_put(bit + 1, second_stage);
  return true;
}

bool two_stage_state_get_key(int level, uint32_t key, bool* open, bool* second_stage) {
  bool o = false, s = false;
  int i = level >= 0 && level < NUM_LEVEL_SCRIPTS ? two_stage_find(level, key) : -1;
  if (i >= 0) {
    int bit = (level * SAVE_TWO_STAGE_PER_LEVEL + i) * 2;
    o = two_stage_bit(bit);
    s = two_stage_bit(bit + 1);
  }
  if (open) *open = o;
  if (second_stage) *second_stage = s;
  return i >= 0;
}

// --- automap labels ---------------------------------------------------------------------

namespace {
uint8_t* label_at(int i) { return save_section(SEC_AUTOMAP_LABELS) + 4 + SAVE_AUTOMAP_LABEL_SIZE * i; }
void label_put(uint8_t* p, const AutomapLabel& l) {
  save_put_u32(p, l.level);
  save_put_u32(p + 4, static_cast<uint32_t>(l.script));
  uint32_t bits;
  std::memcpy(&bits, &l.x, 4);
  save_put_u32(p + 8, bits);
  std::memcpy(&bits, &l.y, 4);
  save_put_u32(p + 12, bits);
  save_put_u32(p + 16, l.word);
  put_text(p + 20, 32, l.text);
}
void label_delete(int i) {
  int n = automap_label_count();
  std::memmove(label_at(i), label_at(i + 1), static_cast<size_t>(SAVE_AUTOMAP_LABEL_SIZE * (n - i - 1)));
  std::memset(label_at(n - 1), 0, SAVE_AUTOMAP_LABEL_SIZE);
  save_put_u32(save_section(SEC_AUTOMAP_LABELS), static_cast<uint32_t>(n - 1));
}
}  // namespace

int automap_label_count() {
  if (!Save_image.buffer) return 0;
  uint32_t n = save_get_u32(save_section(SEC_AUTOMAP_LABELS));
  return n > SAVE_MAX_AUTOMAP_LABELS ? SAVE_MAX_AUTOMAP_LABELS : static_cast<int>(n);
}

AutomapLabel automap_label_at(int i) {
  AutomapLabel l{};
  if (i < 0 || i >= automap_label_count()) return l;
  const uint8_t* p = label_at(i);
  l.level = save_get_u32(p);
  l.script = static_cast<int32_t>(save_get_u32(p + 4));
  uint32_t bits = save_get_u32(p + 8);
  std::memcpy(&l.x, &bits, 4);
  bits = save_get_u32(p + 12);
  std::memcpy(&l.y, &bits, 4);
  l.word = save_get_u32(p + 16);
  get_text(l.text, sizeof l.text, p + 20, 32);
  return l;
}

bool automap_label_add(const AutomapLabel& label) {
  if (!Save_image.buffer || label.level == 0xFFFFFFFFu || label.script < 0) return false;
  int n = automap_label_count();
  if (n >= SAVE_MAX_AUTOMAP_LABELS) return false;
  label_put(label_at(n), label);
  save_put_u32(save_section(SEC_AUTOMAP_LABELS), static_cast<uint32_t>(n + 1));
  return true;
}

void automap_label_remove(uint32_t level, int32_t script, float x, float y) {
  for (int i = 0; i < automap_label_count(); i++) {
    AutomapLabel l = automap_label_at(i);
    if (l.level == level && l.script == script && l.x == x && l.y == y) {
      label_delete(i);
      return;
    }
  }
}

void automap_label_remove_all(uint32_t level, int32_t script) {
  for (int i = automap_label_count() - 1; i >= 0; i--) {
    AutomapLabel l = automap_label_at(i);
    if (l.level == level && l.script == script) label_delete(i);
  }
}

// --- hot buttons -------------------------------------------------------------------------

namespace {
uint8_t* hot_at(int character, int slot) {
  return save_section(SEC_HOT_BUTTONS) + (character * SAVE_HOT_SLOTS + slot) * HOT_BUTTON_SIZE;
}
bool hot_valid(int character, int slot) {
  return Save_image.buffer && character >= 0 && character < SAVE_HOT_CHARACTERS && slot >= 0 &&
         slot < SAVE_HOT_SLOTS;
}
}  // namespace

bool hotbutton_get(uint8_t* kind, uint32_t* value, int character, int slot) {
  if (!hot_valid(character, slot)) return false;
  const uint8_t* p = hot_at(character, slot);
  if (!p[0]) return false;
  if (kind) *kind = p[1];
  if (value) *value = save_get_u32(p + 2);
  return true;
}

void hotbutton_set(int character, int slot, uint8_t kind, uint32_t value) {
  if (!hot_valid(character, slot)) return;
  uint8_t* p = hot_at(character, slot);
  p[0] = 1;
  p[1] = kind;
  save_put_u32(p + 2, value);
}

void hotbutton_clear(int character, int slot) {
  if (hot_valid(character, slot)) std::memset(hot_at(character, slot), 0, HOT_BUTTON_SIZE);
}

void hotbuttons_clear(int character) {
  if (hot_valid(character, 0)) std::memset(hot_at(character, 0), 0, HOT_BUTTON_SIZE * SAVE_HOT_SLOTS);
}

// --- the console's saving and loading ---------------------------------------------------
// "savegame name" and "loadgame name", with the names checked so that a save
// never lands outside the save folder.

namespace {

// The longest name: the 31-character file name less ".sav".
constexpr int SAVE_NAME_MAX = 27;

// Null when the name makes a good file name, else the answer to give.
const char* name_problem(const char* name) {
  if (!name || !*name) return "No filename specified.";
  if (std::strlen(name) > SAVE_NAME_MAX) return "Filename is too long.";
  if (std::strpbrk(name, "\\/:*?\"<>|.")) return "Filename contains invalid characters.";
  return nullptr;
}

// The argument as typed (the console lower-cases its copy).
const char* name_argument(const char* usage) {
  console_get_arg(ARG_STRING | ARG_NONE);
  if (!(Console_arg.type & ARG_STRING)) {
    console_printf("%s\n", usage);
    return nullptr;
  }
  return Console_arg.original;
}

void savegame_command() {
  static const char usage[] = "Usage: savegame <x>, where x is the filename (do not include extension)";
  if (Console_help) console_printf("%s\n", usage);
  if (!Console_run) return;
  if (game_state_current() != GS_GAMEPLAY) {
    console_printf("Can only save in gameplay mode.\n");
    return;
  }
  switch (savegame_allowed_check()) {
    case SAVE_IN_COMBAT: console_printf("Cannot save in combat.\n"); return;
    case SAVE_NOT_HERE: console_printf("Cannot save in this area.\n"); return;
    case SAVE_SUMMONING: console_printf("Cannot save while summon is emerging.\n"); return;
    default: break;
  }
  const char* name = name_argument(usage);
  if (!name) return;
  if (const char* why = name_problem(name)) {
    console_printf("%s\n", why);
    return;
  }
  char file[64];
  std::snprintf(file, sizeof file, "%s.sav", name);
  if (Script_world.store_conversation_state) Script_world.store_conversation_state();
  if (save_write(file, "No description")) console_printf("Saved \"%s\".\n", file);
  else console_printf("Error saving \"%s\".\n", file);
}

void loadgame_command() {
  static const char usage[] = "Usage: loadgame <x>, where x is the filename (do not include extension)";
  if (Console_help) console_printf("%s\n", usage);
  if (!Console_run) return;
  const char* name = name_argument(usage);
  if (!name) return;
  if (const char* why = name_problem(name)) {
    console_printf("%s\n", why);
    return;
  }
  char file[64];
  std::snprintf(file, sizeof file, "%s.sav", name);
  SaveHeaderInfo info;
  if (save_read_header(file, &info) < 1) {
    console_printf("Unable to read header from file.\n");
    return;
  }
  savegame_set_pending_load(file, 0);
  if (Script_world.start_level) Script_world.start_level(info.level, info.script);
  else console_printf("No level can be started yet: %s waits for the next level start.\n", file);
}

}  // namespace

static ConsoleCommand cc_savegame("savegame", "Save the game to a file", savegame_command);
CONSOLE_BOOL_SWITCH(cc_save_write_slowly, "save_write_slowly", "Toggles Save_write_slowly", Save_write_slowly);
static ConsoleCommand cc_loadgame("loadgame", "Load a previously saved game", loadgame_command);
