#include "levelscripts/conversation_state.h"

#include <strings.h>

#include <cstring>

#include "Engine/characterinfo/saved_names.h"
#include "levelscripts/conversation.h"
#include "levelscripts/level_flags.h"
#include "levelscripts/level_scripts.h"
#include "levelscripts/savegame.h"
#include "levelscripts/script_world.h"

namespace {

struct SlotCounts {
  int persons = -1, topics = 0;  // persons -1: not read yet
};
SlotCounts Counts[NUM_LEVEL_SCRIPTS][MAX_LEVEL_SCRIPT_ENTRIES];
int Loaded_level = -1, Loaded_slot = -1;

int round8(int n) { return (n + 7) / 8 * 8; }

bool shares_state(int level, int slot) {
  const char* name = level_script_entry_name(level, slot);
  if (!name || !*name) return false;
  const size_t n = std::strlen(name);
  return !(n >= 3 && !strcasecmp(name + n - 3, "_m1"));
}

const SlotCounts& counts(int level, int slot) {
  SlotCounts& c = Counts[level][slot];
  if (c.persons >= 0) return c;
  c = {0, 0};
  if (!shares_state(level, slot)) return c;
  if (dlg_table_load(level_script_entry_name(level, slot)) != 0) return c;
  c.persons = conversation_person_count();
  for (int p = 0; p < c.persons; p++) c.topics += static_cast<int>(conversation_person(p)->topics.size());
  conversation_unload();
  return c;
}

// A slot's area inside the image, null when it has none (or the image does
// not hold it whole).
uint8_t* area(int level, int slot) {
  if (level < 0 || slot < 0 || !Save_image.buffer) return nullptr;
  const int offset = Save_image.conversation_offset[level][slot];
  const int size = Save_image.conversation_size[level][slot];
  if (size <= 0 || offset < 0 || offset + size > Save_image.capacity) return nullptr;
  if (conversation_state_size(Counts[level][slot].persons, Counts[level][slot].topics) != size) return nullptr;
  return Save_image.buffer + offset;
}

// The area's structure, read back.
struct View {
  uint8_t* base;
  int persons, topics;
  uint32_t person_sum(int p) const { return save_get_u32(base + 4 + 4 * p); }
  int topic_count(int p) const { return static_cast<int>(save_get_u32(base + 4 + 4 * persons + 4 * p)); }
  uint32_t topic_sum(int t) const { return save_get_u32(base + 4 + 8 * persons + 4 * t); }
  uint8_t* person_bits() const { return base + 4 + 8 * persons + 4 * topics; }
  uint8_t* topic_bits() const { return person_bits() + round8(persons); }
};

bool view_of(int level, int slot, View* v) {
  uint8_t* a = area(level, slot);
  if (!a) return false;
  *v = {a, Counts[level][slot].persons, Counts[level][slot].topics};
  return true;
}

bool get_bit(const uint8_t* bits, int i) { return bits[i / 8] & (1u << (i % 8)); }
void put_bit(uint8_t* bits, int i, bool on) {
  if (on) bits[i / 8] = static_cast<uint8_t>(bits[i / 8] | (1u << (i % 8)));
  else bits[i / 8] = static_cast<uint8_t>(bits[i / 8] & ~(1u << (i % 8)));
}

// Walks the model's persons and topics that the area stores, by checksum.
template <typename Fn>
void match(const View& v, Fn fn) {
  for (int pi = 0; pi < conversation_person_count(); pi++) {
    DialoguePerson& person = *conversation_person(pi);
    const uint32_t sum = name_checksum(person.name.c_str());
    int first_topic = 0, stored = -1;
    for (int s = 0; s < v.persons; s++) {
      if (v.person_sum(s) == sum) {
        stored = s;
        break;
      }
      first_topic += v.topic_count(s);
    }
    if (stored < 0) continue;
    const int topic_count = v.topic_count(stored);
    if (first_topic + topic_count > v.topics) continue;
    fn(pi, stored, -1, -1);
    for (size_t ti = 0; ti < person.topics.size(); ti++) {
      const uint32_t tsum = name_checksum(person.topics[ti].name.c_str());
      for (int k = 0; k < topic_count; k++)
        if (v.topic_sum(first_topic + k) == tsum) {
          fn(pi, stored, static_cast<int>(ti), first_topic + k);
          break;
        }
    }
  }
}

void read_bits(const View& v) {
  match(v, [&](int pi, int stored, int ti, int slot_topic) {
    DialoguePerson& p = *conversation_person(pi);
    if (ti < 0) {
      if (get_bit(v.person_bits(), stored)) p.flags |= Cflag_Important;
      else p.flags &= ~Cflag_Important;
      return;
    }
    DialogueTopic& t = p.topics[static_cast<size_t>(ti)];
    const int b = 4 * slot_topic;
    auto set = [&](uint32_t flag, bool on) { t.flags = on ? (t.flags | flag) : (t.flags & ~flag); };
    set(TOPIC_SAID, get_bit(v.topic_bits(), b));
    set(TOPIC_INITIAL, get_bit(v.topic_bits(), b + 1));
    set(TOPIC_HIDDEN, get_bit(v.topic_bits(), b + 2));
    if (get_bit(v.topic_bits(), b + 3)) p.hail = ti;
  });
}

void write_bits(const View& v) {
  match(v, [&](int pi, int stored, int ti, int slot_topic) {
    const DialoguePerson& p = *conversation_person(pi);
    if (ti < 0) {
      put_bit(v.person_bits(), stored, p.flags & Cflag_Important);
      return;
    }
    const DialogueTopic& t = p.topics[static_cast<size_t>(ti)];
    const int b = 4 * slot_topic;
    put_bit(v.topic_bits(), b, t.flags & TOPIC_SAID);
    put_bit(v.topic_bits(), b + 1, t.flags & TOPIC_INITIAL);
    put_bit(v.topic_bits(), b + 2, t.flags & TOPIC_HIDDEN);
    put_bit(v.topic_bits(), b + 3, p.hail == ti);
  });
}

void write_structure(const View& v) {
  std::memset(v.base, 0, static_cast<size_t>(conversation_state_size(v.persons, v.topics)));
  save_put_u32(v.base, 1);
  int t = 0;
  for (int p = 0; p < v.persons && p < conversation_person_count(); p++) {
    const DialoguePerson& person = *conversation_person(p);
    save_put_u32(v.base + 4 + 4 * p, name_checksum(person.name.c_str()));
    save_put_u32(v.base + 4 + 4 * v.persons + 4 * p, static_cast<uint32_t>(person.topics.size()));
    for (const DialogueTopic& topic : person.topics)
      if (t < v.topics) save_put_u32(v.base + 4 + 8 * v.persons + 4 * t++, name_checksum(topic.name.c_str()));
  }
}

bool stored(const View& v) { return save_get_u32(v.base) != 0; }

bool visited(int level) { return level_visit_count(level) >= 1; }

}  // namespace

int conversation_state_size(int persons, int topics) {
  if (persons <= 0) return 0;
  return 4 + 8 * persons + 4 * topics + round8(persons) + round8(4 * topics);
}

int conversation_slot_size(int level, int slot) {
  if (level < 0 || level >= NUM_LEVEL_SCRIPTS || slot < 0 || slot >= MAX_LEVEL_SCRIPT_ENTRIES) return 0;
  const SlotCounts& c = counts(level, slot);
  return conversation_state_size(c.persons, c.topics);
}

void conversation_slot_sizes_forget() {
  for (auto& level : Counts)
    for (SlotCounts& c : level) c = SlotCounts{};
}

int conversation_load(const char* level_name, const char* script) {
  Loaded_level = Loaded_slot = -1;
  const char* name = script && *script ? script : level_name;
  const int rc = dlg_table_load(name);
  if (rc != 0) return rc;
  const int level = level_script_info_lookup(level_name);
  const int slot = level >= 0 ? level_script_name_index(level, name) : -1;
  if (slot < 0) return 0;
  Loaded_level = level;
  Loaded_slot = slot;
  View v;
  if (!visited(level) || !view_of(level, slot, &v)) return 0;
  if (stored(v)) {
    read_bits(v);
    return 0;
  }
  write_structure(v);
  for (int other = 0; other < MAX_LEVEL_SCRIPT_ENTRIES; other++) {
    View o;
    if (other == slot || !shares_state(level, other) || !view_of(level, other, &o) || !stored(o)) continue;
    read_bits(o);
    break;
  }
  write_bits(v);
  return 0;
}

void conversation_store_state() {
  if (Loaded_level < 0 || !visited(Loaded_level) || conversation_person_count() == 0) return;
  for (int slot = 0; slot < MAX_LEVEL_SCRIPT_ENTRIES; slot++) {
    View v;
    if (!view_of(Loaded_level, slot, &v)) continue;
    if (slot == Loaded_slot && !stored(v)) write_structure(v);
    if (stored(v) && (slot == Loaded_slot || shares_state(Loaded_level, slot))) write_bits(v);
  }
}

int conversation_loaded_level() { return Loaded_level; }
int conversation_loaded_slot() { return Loaded_slot; }

void conversation_state_install() {
  Script_world.conversation_slot_size = conversation_slot_size;
  Script_world.store_conversation_state = conversation_store_state;
}
