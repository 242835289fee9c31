#pragma once
// The automap's labels: the level's list (at most 32, in the order they were
// added), and the text table automap_labels.tbl that keeps the permanent
// ones, one "#Script:" section per level script. Reading and rewriting work
// on the table's text, so a table that is cut short or garbled gives fewer
// labels and never more than the list holds.
#include <cstdint>
#include <string>

constexpr int AUTOMAP_MAX_LABELS = 32;
constexpr int AUTOMAP_LABEL_TEXT = 32;  // 31 characters and the zero
constexpr uint32_t AUTOMAP_LABEL_PERMANENT = 0;
constexpr uint32_t AUTOMAP_LABEL_CUSTOM = 1;

struct AutomapMapLabel {
  uint32_t type = AUTOMAP_LABEL_PERMANENT;
  float x = 0.0f, z = 0.0f;  // world
  int32_t layer = 0;
  char text[AUTOMAP_LABEL_TEXT] = {};
};

struct AutomapLabelList {
  AutomapMapLabel labels[AUTOMAP_MAX_LABELS];
  int count = 0;
};

// The next free label (cleared), or null when 32 are held.
AutomapMapLabel* automap_label_alloc(AutomapLabelList* list);
// Later labels move down one place; an index outside the list does nothing.
void automap_label_list_remove(AutomapLabelList* list, int index);
void automap_label_list_clear(AutomapLabelList* list);
// Copies a text into a label, cut to 31 characters.
void automap_label_set_text(AutomapMapLabel* label, const char* text);

// The section header of a script: #Script: "name".
std::string automap_labels_header(const char* script);
// Reads the labels of a script's section from the table's text into the
// (cleared) list: false when the section is not found before "#End". A label
// that is cut short ends the reading; the ones before it stay.
bool automap_labels_parse(const char* text, size_t length, const char* script, AutomapLabelList* list);
// The table's text with the script's section holding the list's "Permanent"
// labels: the old section's lines replaced, or a new section added at the
// end (before "#End") when the script has none. Lines end in CRLF.
std::string automap_labels_rewrite(const char* text, size_t length, const char* script, const AutomapLabelList& list);
