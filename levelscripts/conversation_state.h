#pragma once
// The saved state of conversations: for every level and script slot, an
// area of the save image's conversation section that holds which persons
// are important and which topics were said, are initial, hidden or the hail
// topic. The scripts of one level share it: a bit written for one slot is
// written for every slot of the level that holds state.
//
// An area: u32 stored flag; P u32 person checksums; P u32 topic counts;
// T u32 topic checksums (person by person, file order); the person bits
// (one a person) in round8(P) bytes; then 4 bits a topic (said, initial,
// hidden, hail) in round8(4T) bytes.
#include <cstdint>

constexpr uint32_t TOPIC_STATE_SAID = 1, TOPIC_STATE_INITIAL = 2, TOPIC_STATE_HIDDEN = 4, TOPIC_STATE_HAIL = 8;

int conversation_state_size(int persons, int topics);
// The area size of a level's script slot, from the persons and topics of
// its dialogue table (read once and remembered; 0 for no table, an unused
// slot or a script whose name ends in "_m1").
int conversation_slot_size(int level, int slot);
// Forgets the remembered counts (tests; a changed set of tables).
void conversation_slot_sizes_forget();

// Reads the script's dialogue table and joins it to its saved state: a
// slot without state gets the table's structure and the bits of the first
// other slot of the level that has some; a slot with state gives its bits
// to the model. 0, or the table reader's error (no table loaded then).
int conversation_load(const char* level, const char* script);
// Writes the model's bits into its slot (and the level's other slots).
void conversation_store_state();
// The loaded table's level and slot (-1 none).
int conversation_loaded_level();
int conversation_loaded_slot();

// Start-up: the save layout learns the slot sizes and saving stores the
// model first.
void conversation_state_install();
