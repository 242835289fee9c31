#include "Orrimund/player/plr_file.h"

#include <cstring>

#include "Engine/Objects/inventory.h"
#include "Engine/Objects/items.h"
#include "Engine/Objects/living_entity.h"
#include "Engine/characterinfo/characterinfo.h"
#include "Engine/characterinfo/skills.h"
#include "Orrimund/player/party.h"
#include "levelscripts/savegame.h"
#include "quarn/os/console.h"
#include "quarn/os/timer.h"
#include "quarn/vfile/path_types.h"
#include "quarn/vfile/vfile.h"

namespace {

// Starting skills per hero type: {skill, kind, level}. Kinds 0 and 1 give
// the level; kind 2 names a skill the hero learns later.
struct StartSkill {
  int skill, kind, level;
};
const StartSkill Start0[] = {{3, 0, 10}, {27, 0, 10}, {14, 1, 10}, {11, 0, 10}, {28, 1, 10}, {6, 2, 0}};
const StartSkill Start1[] = {{4, 0, 10}, {3, 0, 10}, {11, 0, 10}, {8, 1, 10}, {9, 1, 10}, {14, 1, 10}, {5, 2, 0}};
const StartSkill Start2[] = {{7, 0, 10}, {21, 0, 10}, {11, 0, 10}, {22, 1, 10}, {3, 1, 10}, {17, 1, 10}, {29, 2, 0}};
const StartSkill Start3[] = {{6, 0, 10}, {28, 0, 10}, {30, 0, 10}, {11, 1, 10}, {19, 1, 10}, {35, 2, 0}};
struct StartList {
  const StartSkill* rows;
  int count;
};
const StartList Start_lists[4] = {{Start0, 6}, {Start1, 7}, {Start2, 7}, {Start3, 6}};

RealTimestamp Autosave_clock;

class Out {
 public:
  std::vector<uint8_t> b;
  void u8(uint32_t v) { b.push_back(static_cast<uint8_t>(v)); }
  void u16(uint32_t v) { u8(v), u8(v >> 8); }
  void u32(uint32_t v) { u16(v), u16(v >> 16); }
  void f32(float f) {
    uint32_t v;
    std::memcpy(&v, &f, 4);
    u32(v);
  }
  void str(const char* s, int room) {
    const size_t n = strnlen(s, static_cast<size_t>(room - 1));
    b.insert(b.end(), s, s + n);
    u8(0);
  }
};

class In {
 public:
  In(const uint8_t* p, int size) : p_(p), size_(size) {}
  uint32_t get(int n) {
    if (!ok || at + n > size_) {
      ok = false;
      return 0;
    }
    uint32_t v = 0;
    for (int i = 0; i < n; i++) v |= static_cast<uint32_t>(p_[at + i]) << (8 * i);
    at += n;
    return v;
  }
  uint32_t u32() { return get(4); }
  float f32() {
    const uint32_t v = get(4);
    float f;
    std::memcpy(&f, &v, 4);
    return f;
  }
  // A string must end within its room; one that does not would leave the
  // reader in the middle of it.
  void str(char* out, int room) {
    for (int i = 0; i < room; i++) {
      const uint32_t c = get(1);
      if (!ok) return;
      out[i] = static_cast<char>(c);
      if (c == 0) return;
    }
    ok = false;
  }
  bool ok = true;
  int at = 0;

 private:
  const uint8_t* p_;
  int size_;
};

int decode_head(In& in, PlrHeader* h, uint32_t* version) {
  if (in.u32() != PLR_MAGIC) return in.ok ? PLR_BAD_MAGIC : PLR_MALFORMED;
  *version = in.u32();
  if (!in.ok) return PLR_MALFORMED;
  if (*version != PLR_VERSION) return PLR_OLD_VERSION;
  in.str(h->name, PLR_NAME_LEN);
  h->hero_type = in.u32();
  h->member_value = in.u32();
  in.str(h->description, PLR_DESCRIPTION_LEN);
  h->level = static_cast<uint16_t>(in.get(2));
  return in.ok ? PLR_OK : PLR_MALFORMED;
}

bool read_file(const char* file_name, std::vector<uint8_t>& out) {
  FileHandle f;
  if (f.open(file_name, VF_READ, Player_path_type) != VF_OK) return false;
  const int size = f.size();
  if (size < 0 || size > (1 << 20)) {
    f.close();
    return false;
  }
  out.resize(static_cast<size_t>(size));
  const int got = size ? f.read(out.data(), size) : 0;
  f.close();
  return got == size;
}

int write_file(const std::string& file, const std::vector<uint8_t>& bytes) {
  if (vfile_create_type_dir(Player_path_type) != 0) {
    char dir[VFILE_MAX_PATH];
    vfile_type_dir_path(Player_path_type, dir);
    if (!vfile_dir_exists(dir)) return PLR_NO_DIRECTORY;
  }
  FileHandle f;
  if (f.open(file.c_str(), VF_WRITE, Player_path_type) != VF_OK) return PLR_CANNOT_WRITE;
  const int written = f.write(bytes.data(), static_cast<int>(bytes.size()));
  if (f.close() != VF_OK || written != static_cast<int>(bytes.size())) return PLR_CANNOT_WRITE;
  return PLR_OK;
}

int hero_slot(const living_entity* e) {
  return e && e->character && charinfo_is_hero(e->character->kind) ? e->character->kind : -1;
}


}  // namespace

std::vector<uint8_t> plr_encode(const PlrData& d) {
  Out o;
  o.u32(PLR_MAGIC);
  o.u32(d.version);
  o.str(d.header.name, PLR_NAME_LEN);
  o.u32(d.header.hero_type);
  o.u32(d.header.member_value);
  o.str(d.header.description, PLR_DESCRIPTION_LEN);
  o.u16(d.header.level);
  o.u32(d.experience);
  o.f32(d.max_hp);
  o.u16(d.max_ap);
  o.u32(d.unspent);
  for (int32_t e : d.equipment) o.u32(static_cast<uint32_t>(e));
  o.u32(static_cast<uint32_t>(d.inventory.size()));
  for (const PlrData::Stack& s : d.inventory) {
    o.u32(s.item);
    o.u32(s.count);
    o.u32(static_cast<uint32_t>(s.charges));
  }
  o.u32(d.gold);
  for (uint8_t s : d.skills) o.u8(s);
  o.u32(static_cast<uint32_t>(d.chains.size()));
  for (const PlrData::Chain& c : d.chains) {
    o.u32(c.skill);
    o.u32(c.value);
    o.u32(static_cast<uint32_t>(c.slot));
  }
  for (const PlrData::Hot& h : d.hot) {
    o.u32(h.kind);
    o.u32(static_cast<uint32_t>(h.value));
  }
  return o.b;
}

int plr_decode_header(const uint8_t* bytes, int size, PlrHeader* out) {
  In in(bytes, size);
  PlrHeader h;
  uint32_t version;
  const int code = decode_head(in, &h, &version);
  if (code == PLR_OK) *out = h;
  return code;
}

int plr_decode(const uint8_t* bytes, int size, PlrData* out) {
  In in(bytes, size);
  PlrData d;
  const int code = decode_head(in, &d.header, &d.version);
  if (code != PLR_OK) return code;
  d.experience = in.u32();
  d.max_hp = in.f32();
  d.max_ap = static_cast<uint16_t>(in.get(2));
  d.unspent = in.u32();
  for (int32_t& e : d.equipment) e = static_cast<int32_t>(in.u32());
  const uint32_t stacks = in.u32();
  if (!in.ok || stacks > PLR_MAX_INVENTORY) return PLR_MALFORMED;
  for (uint32_t i = 0; i < stacks && in.ok; i++) {
    PlrData::Stack s;
    s.item = in.u32();
    s.count = in.u32();
    s.charges = static_cast<int32_t>(in.u32());
    d.inventory.push_back(s);
  }
  d.gold = in.u32();
  for (uint8_t& s : d.skills) s = static_cast<uint8_t>(in.get(1));
  const uint32_t chains = in.u32();
  if (!in.ok || chains > PLR_MAX_CHAINS) return PLR_MALFORMED;
  for (uint32_t i = 0; i < chains && in.ok; i++) {
    PlrData::Chain c;
    c.skill = in.u32();
    c.value = in.u32();
    c.slot = static_cast<int32_t>(in.u32());
    d.chains.push_back(c);
  }
  for (PlrData::Hot& h : d.hot) {
    h.kind = in.u32();
    h.value = static_cast<int32_t>(in.u32());
  }
  if (!in.ok || in.at != size) return PLR_MALFORMED;
  *out = std::move(d);
  return PLR_OK;
}

std::string plr_file_name(const char* hero_name) {
  std::string s;
  bool kept = false;
  for (const char* p = hero_name ? hero_name : ""; *p && s.size() < PLR_NAME_LEN - 1; p++) {
    const unsigned char c = static_cast<unsigned char>(*p);
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ' ' ||
                    c == '-' || c == '_';
    s += ok ? static_cast<char>(c) : '_';
    kept |= ok && c != ' ';
  }
  return kept ? s + ".plr" : "";
}

void plr_starting_skills(int hero_type, uint8_t out[PLR_SKILLS]) {
  std::memset(out, 0, PLR_SKILLS);
  if (hero_type < 0 || hero_type > 3) return;
  const StartList& l = Start_lists[hero_type];
  for (int i = 0; i < l.count; i++) {
    const StartSkill& s = l.rows[i];
    if (s.skill >= 0 && s.skill < PLR_SKILLS && s.skill != 2 && (s.kind == 0 || s.kind == 1))
      out[s.skill] = static_cast<uint8_t>(s.level);
  }
  out[2] = 10;
}

int plr_create(const char* name, int hero_type, const char* description) {
  const std::string file = plr_file_name(name);
  if (file.empty()) return PLR_CANNOT_WRITE;
  if (vfile_loose_exists(file.c_str(), Player_path_type)) return PLR_EXISTS;
  PlrData d;
  snprintf(d.header.name, PLR_NAME_LEN, "%s", name);
  snprintf(d.header.description, PLR_DESCRIPTION_LEN, "%s", description ? description : "");
  d.header.hero_type = static_cast<uint32_t>(hero_type);
  d.header.level = 1;
  const int kind_index = charinfo_find_by_kind(hero_type);
  const Character_info* ci = kind_index >= 0 ? &Character_infos[kind_index] : nullptr;
  d.max_hp = ci ? ci->hit_points : 0.0f;
  d.max_ap = ci ? ci->ability_points : 0;
  if (ci && ci->default_weapon_count > 0 && ci->default_weapons[0] != 65535) d.equipment[EQ_WEAPON] = ci->default_weapons[0];
  const int tonic = item_lookup("Health Tonic"), book = item_lookup("Book of Novices");
  d.inventory.push_back({static_cast<uint32_t>(tonic), 3, 1});
  d.inventory.push_back({static_cast<uint32_t>(book), 1, -1});
  d.gold = NEW_GAME_GOLD;
  plr_starting_skills(hero_type, d.skills);
  if (ci) {
    const int order[4][2] = {{0, 0}, {2, 3}, {1, 1}, {3, 2}};
    for (const auto& o : order) d.chains.push_back({ci->chain[o[0]], 0, o[1]});
  }
  return write_file(file, plr_encode(d));
}

int plr_save_member(PlayerRecord* member) {
  living_entity* e = member ? member_entity(member) : nullptr;
  if (!e) return PLR_CANNOT_WRITE;
  const std::string file = plr_file_name(e->get_name());
  if (file.empty()) return PLR_CANNOT_WRITE;
  PlrData d;
  std::vector<uint8_t> old;
  PlrHeader oh;
  if (read_file(file.c_str(), old) && plr_decode_header(old.data(), static_cast<int>(old.size()), &oh) == PLR_OK)
    std::memcpy(d.header.description, oh.description, PLR_DESCRIPTION_LEN);
  else
    snprintf(d.header.description, PLR_DESCRIPTION_LEN, "No description");
  snprintf(d.header.name, PLR_NAME_LEN, "%s", e->get_name());
  d.header.hero_type = static_cast<uint32_t>(member->type);
  d.header.member_value = member->member_flags;
  d.header.level = static_cast<uint16_t>(e->level);
  d.experience = e->experience;
  d.max_hp = e->max_hp_base + member->pending_bonus;
  d.max_ap = e->max_ap_base;
  d.unspent = static_cast<uint32_t>(member->unspent_stat_points);
  for (int s = 0; s < PLR_EQUIPMENT; s++) {
    const item_instance* it = e->equipment[s];
    d.equipment[s] = it && it->info ? static_cast<int32_t>(it->info - Item_infos) : -1;
  }
  for (int i = 0; i < Party_inventory.count && i < PLR_MAX_INVENTORY; i++) {
    const InventoryEntry& en = Party_inventory.entries[i];
    if (!en.item || !en.item->info) continue;
    d.inventory.push_back({static_cast<uint32_t>(en.item->info - Item_infos), en.count, en.item->charges});
  }
  d.gold = Party_inventory.gold;
  std::memcpy(d.skills, e->stats, PLR_SKILLS);
  if (hero_slot(e) >= 0) {
    const ChainMember m = party_chain_member(e);
    const int n = chain_skills_learned_count(m);
    for (int i = 0; i < n && i < PLR_MAX_CHAINS; i++) {
      const int s = chain_skill_learned_nth(m, i);
      d.chains.push_back({static_cast<uint32_t>(s), static_cast<uint32_t>(chain_points_of_skill(m, s)),
                          chain_slot_of_skill(m, s)});
    }
    for (int i = 0; i < PLR_HOT_BUTTONS; i++) {
      uint8_t kind = 0;
      uint32_t value = 0;
      if (hotbutton_get(&kind, &value, hero_slot(e), i)) d.hot[i] = {kind, static_cast<int32_t>(value)};
    }
  }
  return write_file(file, plr_encode(d));
}

int plr_read_header(PlrHeader* out, const char* file_name) {
  std::vector<uint8_t> bytes;
  if (!read_file(file_name, bytes)) return PLR_CANNOT_OPEN;
  return plr_decode_header(bytes.data(), static_cast<int>(bytes.size()), out);
}

int plr_apply(living_entity* e, const char* file_name) {
  PlayerRecord* member = e ? party_find_member(e->handle) : nullptr;
  if (!member) return PLR_CANNOT_OPEN;
  std::vector<uint8_t> bytes;
  if (!read_file(file_name, bytes)) return PLR_CANNOT_OPEN;
  PlrData d;
  const int code = plr_decode(bytes.data(), static_cast<int>(bytes.size()), &d);
  if (code == PLR_OLD_VERSION) console_printf("Player file %s is of a version this game does not read\n", file_name);
  if (code != PLR_OK) return code;
  member->member_flags = d.header.member_value;
  e->level = static_cast<int16_t>(d.header.level < 1 ? 1 : d.header.level);
  e->experience = d.experience;
  e->max_hp_base = d.max_hp;
  e->hp = d.max_hp;
  e->max_ap_base = d.max_ap;
  e->ap = static_cast<int16_t>(d.max_ap);
  member->unspent_stat_points = static_cast<int32_t>(d.unspent);
  for (int s = 0; s < PLR_EQUIPMENT; s++) {
    item_instance* displaced[2] = {};
    if (d.equipment[s] >= 0) {
      item_instance* it = item_create(d.equipment[s]);
      if (!it) continue;
      entity_equip_item(&displaced[0], &displaced[1], e, s, it);
      if (e->equipment[s] != it) item_free(it);
    } else if (s != EQ_WEAPON) {
      displaced[0] = entity_unequip_slot(e, s, false);
    }
    item_free(displaced[0]);
    item_free(displaced[1]);
  }
  party_inventory_clear();
  for (const PlrData::Stack& st : d.inventory) {
    if (st.item < static_cast<uint32_t>(Num_item_infos))
      party_inventory_add_by_index(static_cast<int>(st.item), static_cast<int>(st.count), st.charges, false);
  }
  Party_inventory.gold = d.gold;
  std::memcpy(e->stats, d.skills, PLR_SKILLS);
  const int hero = hero_slot(e);
  if (hero >= 0) {
    const ChainMember m = party_chain_member(e);
    for (int s = 0; s < NUM_CHAIN_SLOTS; s++) chain_config_set(hero, s, SKILL_NONE);
    for (const PlrData::Chain& c : d.chains) {
      if (c.skill >= NUM_SKILLS) continue;
      chain_points_set_for_skill(m, static_cast<int>(c.skill), static_cast<int>(c.value));
      if (c.slot >= 0 && c.slot < NUM_CHAIN_SLOTS) chain_config_set(hero, c.slot, static_cast<int>(c.skill));
    }
    hotbuttons_clear(hero);
    for (int i = 0; i < PLR_HOT_BUTTONS; i++) {
      if (d.hot[i].value >= 0) hotbutton_set(hero, i, static_cast<uint8_t>(d.hot[i].kind), static_cast<uint32_t>(d.hot[i].value));
    }
  }
  return PLR_OK;
}

void plr_autosave_init() { Autosave_clock.set(0); }

bool plr_autosave_due() {
  if (!Autosave_clock.is_valid()) plr_autosave_init();
  return Autosave_clock.time_since() >= PLR_AUTOSAVE_MS;
}

int plr_save_selected() {
  int code = PLR_OK;
  if (Selected_record) code = plr_save_member(Selected_record);
  Autosave_clock.set(0);
  return code;
}
