// The party in the save's "LENT" part: the party record (who is in it and
// who is controlled), then per member its type and name and one fixed slot
// holding the member's living-entity record (place, heading, points,
// level, experience, statuses, equipment, statistics). Creatures of the
// level are not kept here; the level's own layout brings them back.
#include "Orrimund/player/party_save.h"

#include <cmath>
#include <cstring>

#include "Engine/Objects/entity_save.h"
#include "Engine/Objects/living_entity.h"
#include "Engine/characterinfo/characterinfo.h"
#include "Engine/characterinfo/saved_names.h"
#include "Orrimund/player/party.h"
#include "levelscripts/savegame.h"
#include "quarn/math/matrix.h"

namespace {

int type_by_checksum(uint32_t sum) {
  for (int i = 0; i < Num_character_infos; i++)
    if (Character_infos[i].name && name_checksum(Character_infos[i].name) == sum) return i;
  return -1;
}

}  // namespace

bool party_save_members(SaveWriter& w) {
  w.put_tag("LENT");
  w.put_u32(0);
  w.put_u32(0);
  uint32_t count = 0, controlled = 0xF;
  for (PlayerRecord* p = party_first(); p; p = party_next(p)) {
    if (!member_entity(p)) continue;
    if (p == Selected_record) controlled = count;
    count++;
  }
  // The party record: members present and the controlled one, then room.
  w.put_u32((count & 0xFF) | controlled << 8);
  for (int i = 0; i < 8; i++) w.put_u32(0);
  w.put_u32(count);
  for (PlayerRecord* p = party_first(); p; p = party_next(p)) {
    living_entity* e = member_entity(p);
    if (!e) continue;
    w.put_u32(name_checksum(e->get_name()));
    w.put_u32(name_checksum(Character_infos[p->type].name));
    char name[ENTITY_NAME_LEN] = {};
    std::memcpy(name, e->get_name(), strnlen(e->get_name(), ENTITY_NAME_LEN - 1));
    w.put_bytes(name, ENTITY_NAME_LEN);
    uint8_t slot[SAVE_ENTITY_RECORD_SIZE] = {};
    if (e->save(slot, SAVE_ENTITY_RECORD_SIZE) < 0) return false;
    w.put_bytes(slot, SAVE_ENTITY_RECORD_SIZE);
  }
  w.put_u32(static_cast<uint32_t>(w.used() + 4));
  return w.ok();
}

bool party_load_members(SaveReader& r) {
  if (!r.tag_is("LENT")) return false;
  r.get_u32();
  r.get_u32();
  const uint32_t word = r.get_u32();
  for (int i = 0; i < 8; i++) r.get_u32();
  const uint32_t count = r.get_u32();
  if (!r.ok() || count > MAX_PLAYER_RECORDS) return false;
  const uint32_t controlled = word >> 8 & 0xF;
  party_free_all();
  for (uint32_t i = 0; i < count; i++) {
    r.get_u32();  // the member's name key
    const int type = type_by_checksum(r.get_u32());
    char name[ENTITY_NAME_LEN];
    uint8_t slot[SAVE_ENTITY_RECORD_SIZE];
    if (!r.get_bytes(name, ENTITY_NAME_LEN) || !r.get_bytes(slot, SAVE_ENTITY_RECORD_SIZE)) return false;
    name[ENTITY_NAME_LEN - 1] = '\0';
    if (type < 0) return false;
    PlayerRecord* p = player_slot_alloc();
    p->type = type;
    living_entity* e = member_spawn(p, vector(0, 0, 0), identity_matrix, name[0] ? name : nullptr, i == controlled);
    if (!e) return false;
    if (i == controlled) Selected_record = p;
    if (e->load(slot, SAVE_ENTITY_RECORD_SIZE) < 0) return false;
    e->place_at_point(e->pos, std::atan2(e->orient.forward.x, e->orient.forward.z), e->layer);
  }
  party_sort();
  if (Selected_record) member_take_control(Selected_record);
  const uint32_t length = r.get_u32();
  return r.ok() && length == static_cast<uint32_t>(r.used());
}
