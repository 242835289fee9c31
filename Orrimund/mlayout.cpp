#include "Orrimund/mlayout.h"

#include <strings.h>

#include <cstring>

#include "Engine/Objects/living_entity.h"
#include "Engine/Objects/objects.h"
#include "Engine/ai/ai_component.h"
#include "Engine/ai/party_controller.h"
#include "Engine/characterinfo/characterinfo.h"
#include "Orrimund/gameplay.h"
#include "Orrimund/gamestate.h"
#include "quarn/os/console.h"
#include "quarn/vfile/le_bytes.h"
#include "quarn/vfile/path_types.h"
#include "quarn/vfile/vfile.h"

using vfile_detail::le16;
using vfile_detail::le32;
using vfile_detail::lef32;

namespace {

// A layout file holds at most one record per living entity and short
// strings, so anything far beyond that is damage, not a layout.
constexpr int MLAYOUT_FILE_MAX = 1 << 20;

bool kind_is_living(int32_t kind) {
  return kind == OBJ_NEUTRAL || kind == OBJ_CREATURE || kind == OBJ_PLAYER || kind == OBJ_BOSS;
}

class Reader {
 public:
  Reader(const uint8_t* data, size_t size) : p_(data), end_(data + size) {}
  bool string(std::string* out) {
    if (left() < 2) return false;
    const size_t n = le16(p_);
    if (n > MLAYOUT_NAME_MAX || left() < 2 + n) return false;
    out->assign(reinterpret_cast<const char*>(p_ + 2), n);
    p_ += 2 + n;
    // A name is text: a zero inside would cut it short where it is used.
    return out->find('\0') == std::string::npos;
  }
  bool s32(int32_t* v) {
    if (left() < 4) return false;
    *v = static_cast<int32_t>(le32(p_));
    p_ += 4;
    return true;
  }
  bool f32(float* v) {
    if (left() < 4) return false;
    *v = lef32(p_);
    p_ += 4;
    return true;
  }
  bool vec(vector* v) { return f32(&v->x) && f32(&v->y) && f32(&v->z); }
  size_t left() const { return static_cast<size_t>(end_ - p_); }

 private:
  const uint8_t* p_;
  const uint8_t* end_;
};

bool fail(std::string* error, const char* why) {
  if (error) *error = why;
  return false;
}

void put_string(std::vector<uint8_t>& out, const std::string& s) {
  const size_t n = s.size() > MLAYOUT_NAME_MAX ? MLAYOUT_NAME_MAX : s.size();
  out.push_back(static_cast<uint8_t>(n));
  out.push_back(static_cast<uint8_t>(n >> 8));
  out.insert(out.end(), s.begin(), s.begin() + static_cast<std::ptrdiff_t>(n));
}

void put_s32(std::vector<uint8_t>& out, int32_t v) {
  uint8_t b[4];
  vfile_detail::put_le32(b, static_cast<uint32_t>(v));
  out.insert(out.end(), b, b + 4);
}

void put_f32(std::vector<uint8_t>& out, float f) {
  uint8_t b[4];
  vfile_detail::put_lef32(b, f);
  out.insert(out.end(), b, b + 4);
}

void put_vec(std::vector<uint8_t>& out, const vector& v) {
  put_f32(out, v.x);
  put_f32(out, v.y);
  put_f32(out, v.z);
}

// The name typed with ".mlo" added; empty for a name that would leave the
// data\internal folder.
std::string file_name(const char* file) {
  if (!file || !*file || std::strpbrk(file, "/\\:") || std::strstr(file, "..")) return "";
  return std::string(file) + ".mlo";
}

bool finite(const vector& v) { return v.x == v.x && v.y == v.y && v.z == v.z; }

}  // namespace

namespace {
bool parse_into(const uint8_t* data, size_t size, MlayoutFile* out, std::string* error) {
  Reader r(data, size);
  std::string first;
  if (!r.string(&first)) return fail(error, "the level name is damaged");
  if (first.empty()) {
    if (!r.s32(&out->version)) return fail(error, "the file ends in its header");
    if (out->version < 0) return fail(error, "This monster layout is obsolete");
    if (!r.string(&out->level)) return fail(error, "the level name is damaged");
  } else {
    out->older_form = true;
    out->version = 0;
    out->level = first;
  }
  for (;;) {
    MlayoutRecord rec;
    // The older reader went on "until a kind of 0" whatever happened; a
    // file cut short must fail, not loop or make creatures of garbage.
    if (!r.s32(&rec.kind)) return fail(error, "the file ends before its end record");
    if (rec.kind == 0) break;
    if (!kind_is_living(rec.kind)) return fail(error, "a record's kind is no living entity's");
    if (!r.string(&rec.type_name)) return fail(error, "a record's type name is damaged");
    if (!r.vec(&rec.pos) || !r.vec(&rec.orient.forward) || !r.vec(&rec.orient.right) || !r.vec(&rec.orient.up))
      return fail(error, "the file ends inside a record");
    if (!finite(rec.pos)) return fail(error, "a record's position is not a number");
    out->records.push_back(std::move(rec));
    if (out->records.size() > static_cast<size_t>(MAX_LIVING_ENTIITES))
      return fail(error, "more records than there can be living entities");
  }
  if (r.left() != 0) return fail(error, "bytes follow the end record");
  return true;
}
}  // namespace

bool mlayout_parse(const uint8_t* data, size_t size, MlayoutFile* out, std::string* error) {
  *out = MlayoutFile{};
  if (parse_into(data, size, out, error)) return true;
  *out = MlayoutFile{};
  return false;
}

std::vector<uint8_t> mlayout_encode(const MlayoutFile& file) {
  std::vector<uint8_t> out;
  // The older form cannot carry an empty level name: that is the marker.
  if (!file.older_form || file.level.empty()) {
    put_string(out, "");
    put_s32(out, file.version);
  }
  put_string(out, file.level);
  for (const MlayoutRecord& rec : file.records) {
    put_s32(out, rec.kind);
    put_string(out, rec.type_name);
    put_vec(out, rec.pos);
    put_vec(out, rec.orient.forward);
    put_vec(out, rec.orient.right);
    put_vec(out, rec.orient.up);
  }
  put_s32(out, 0);
  return out;
}

MlayoutFile mlayout_capture(const char* level) {
  MlayoutFile f;
  f.level = level ? level : "";
  for (game_object* o = objects_first(); o; o = objects_next(o)) {
    if (!obj_is_living_entity(o)) continue;
    const living_entity* e = static_cast<const living_entity*>(o);
    if (!e->character || !e->character->name) continue;
    MlayoutRecord rec;
    rec.kind = e->type;
    rec.type_name = e->character->name;
    rec.pos = e->pos;
    rec.orient = e->orient;
    f.records.push_back(std::move(rec));
  }
  return f;
}

int mlayout_save(const char* file) {
  const std::vector<uint8_t> bytes = mlayout_encode(mlayout_capture(LevelName));
  vfile_create_type_dir(Internal_path_type);
  const std::string name = file_name(file);
  if (name.empty()) return -1;
  FileHandle f;
  if (f.open(name.c_str(), VF_WRITE, Internal_path_type) != VF_OK) return -1;
  const int written = f.write(bytes.data(), static_cast<int>(bytes.size()));
  return f.close() == VF_OK && written == static_cast<int>(bytes.size()) ? 0 : -1;
}

bool mlayout_apply(const MlayoutFile& layout, const char* level) {
  if (layout.level != (level ? level : "")) {
    console_printf("This monster layout is for map \"%s\"\n", layout.level.c_str());
    return false;
  }
  // Room is checked before anything goes: running out of entity records
  // half-way is fatal.
  int staying = 0, created = 0;
  for (const living_entity& e : Living_entities)
    if (e.type != OBJ_FREE && e.type != OBJ_NEUTRAL && e.type != OBJ_CREATURE && e.type != OBJ_BOSS) staying++;
  for (const MlayoutRecord& rec : layout.records)
    if (rec.kind != OBJ_PLAYER) created++;
  if (staying + created > MAX_LIVING_ENTIITES) {
    console_printf("This monster layout holds more creatures than there is room for\n");
    return false;
  }

  for (living_entity& e : Living_entities)
    if (e.type == OBJ_NEUTRAL || e.type == OBJ_CREATURE || e.type == OBJ_BOSS) e.deinit();
  std::vector<living_entity*> placed;

  for (const MlayoutRecord& rec : layout.records) {
    if (rec.kind == OBJ_PLAYER) {
      for (living_entity& e : Living_entities) {
        if (e.type != OBJ_PLAYER || !e.character || !e.character->name) continue;
        if (strcasecmp(e.character->name, rec.type_name.c_str()) != 0) continue;
        e.pos = rec.pos;
        e.orient = rec.orient;
        ai_init_for_spawn(&e.ai);
        break;
      }
      continue;
    }
    const int type = charinfo_lookup(rec.type_name.c_str());
    if (type < 0) continue;  // an unknown type creates nothing; the rest still load
    placed.push_back(living_entity_create(rec.kind, type, rec.pos, rec.orient, -1, 1, true));
  }
  // Creatures set down close together are a pack: they notice and fight
  // as one.
  party_group_packs(placed.data(), static_cast<int>(placed.size()), MLAYOUT_PACK_RADIUS);
  return true;
}

int mlayout_load(const char* file) {
  const std::string name = file_name(file);
  if (name.empty()) return -1;
  FileHandle f;
  if (f.open(name.c_str(), VF_READ, Internal_path_type) != VF_OK) return -1;
  const int size = f.size();
  if (size < 0 || size > MLAYOUT_FILE_MAX) {
    f.close();
    return -1;
  }
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  const int got = size ? f.read(bytes.data(), size) : 0;
  f.close();
  if (got != size) return -1;
  MlayoutFile layout;
  std::string error;
  if (!mlayout_parse(bytes.data(), bytes.size(), &layout, &error)) {
    console_printf("%s: %s\n", name.c_str(), error.c_str());
    return -1;
  }
  return mlayout_apply(layout, LevelName) ? 0 : -1;
}

namespace {

ConsoleCommand cc_save_mlayout("save_mlayout", "Save a monster layout file", [] {
  console_get_arg(ARG_STRING | ARG_NONE);
  if (!Console_run) return;
  if (Console_arg.type & ARG_NONE) {
    console_printf("Usage: save_mlayout <string>\n");
    return;
  }
  if (mlayout_save(Console_arg.original) != 0) console_printf("Unable to save that monster layout file\n");
});

ConsoleCommand cc_load_mlayout("load_mlayout", "Load a monster layout file", [] {
  console_get_arg(ARG_STRING | ARG_NONE);
  if (!Console_run) return;
  if (Console_arg.type & ARG_NONE) {
    console_printf("Usage: load_mlayout <string>\n");
    return;
  }
  if (mlayout_load(Console_arg.original) != 0) {
    console_printf("Unable to load that monster layout file\n");
    return;
  }
  enter_ui_mode(0, 0);
});

}  // namespace
