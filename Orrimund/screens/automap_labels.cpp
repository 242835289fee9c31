#include "Orrimund/screens/automap_labels.h"

#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

AutomapMapLabel* automap_label_alloc(AutomapLabelList* list) {
  if (list->count >= AUTOMAP_MAX_LABELS) return nullptr;
  AutomapMapLabel* l = &list->labels[list->count++];
  *l = AutomapMapLabel{};
  return l;
}

void automap_label_list_remove(AutomapLabelList* list, int index) {
  if (index < 0 || index >= list->count) return;
  for (int i = index; i + 1 < list->count; i++) list->labels[i] = list->labels[i + 1];
  list->count--;
  list->labels[list->count] = AutomapMapLabel{};
}

void automap_label_list_clear(AutomapLabelList* list) { *list = AutomapLabelList{}; }

void automap_label_set_text(AutomapMapLabel* label, const char* text) {
  std::snprintf(label->text, sizeof label->text, "%s", text ? text : "");
}

std::string automap_labels_header(const char* script) { return std::string("#Script: \"") + script + "\""; }

namespace {

// A cursor over the table's text that never reads past its end.
struct Scan {
  const char* p;
  const char* end;
  void skip_space() {
    while (p < end && (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n')) p++;
  }
  bool at(const char* word) const {
    const size_t n = std::strlen(word);
    return static_cast<size_t>(end - p) >= n && std::memcmp(p, word, n) == 0;
  }
  bool take(const char* word) {
    skip_space();
    if (!at(word)) return false;
    p += std::strlen(word);
    return true;
  }
  // A text in double quotes on one line, kept to `size` - 1 characters.
  bool quoted(char* out, size_t size) {
    skip_space();
    if (p >= end || *p != '"') return false;
    p++;
    size_t n = 0;
    while (p < end && *p != '"' && *p != '\n') {
      if (n + 1 < size) out[n++] = *p;
      p++;
    }
    out[n] = 0;
    if (p >= end || *p != '"') return false;
    p++;
    return true;
  }
  // A number of at most 63 characters, read from a bounded copy so strtod
  // never runs past the text.
  bool number(double* v) {
    skip_space();
    char buf[64];
    size_t n = 0;
    while (p + n < end && n < sizeof buf - 1 && std::strchr("+-.0123456789eE", p[n])) {
      buf[n] = p[n];
      n++;
    }
    buf[n] = 0;
    if (n == 0) return false;
    char* stop = nullptr;
    *v = std::strtod(buf, &stop);
    if (stop == buf) return false;
    p += stop - buf;
    return true;
  }
};

std::vector<std::string> split_lines(const char* text, size_t length) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t i = 0; i <= length; i++) {
    if (i == length || text[i] == '\n') {
      if (i == length && start == length) break;
      size_t e = i;
      if (e > start && text[e - 1] == '\r') e--;
      lines.emplace_back(text + start, e - start);
      start = i + 1;
    }
  }
  return lines;
}

bool starts_with(const std::string& s, const char* w) { return s.compare(0, std::strlen(w), w) == 0; }

// The header line as the reader finds it: blanks round it do not count.
bool is_header(const std::string& line, const std::string& header) {
  size_t a = 0, b = line.size();
  while (a < b && (line[a] == ' ' || line[a] == '\t')) a++;
  while (b > a && (line[b - 1] == ' ' || line[b - 1] == '\t' || line[b - 1] == '\r')) b--;
  return b - a == header.size() && strncasecmp(line.c_str() + a, header.c_str(), header.size()) == 0;
}

// Where the section begins: just past its header, searching no further than
// the first "#End".
const char* find_section(const char* text, size_t length, const char* script) {
  const std::string header = automap_labels_header(script);
  const char* end = text + length;
  for (const char* p = text; p < end;) {
    const char* eol = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
    const char* line_end = eol ? eol : end;
    const char* s = p;
    while (s < line_end && (*s == ' ' || *s == '\t')) s++;
    const char* e = line_end;
    while (e > s && (e[-1] == '\r' || e[-1] == ' ' || e[-1] == '\t')) e--;
    const size_t n = static_cast<size_t>(e - s);
    if (n >= 4 && std::memcmp(s, "#End", 4) == 0) return nullptr;
    if (n == header.size() && strncasecmp(s, header.c_str(), n) == 0) return line_end;
    p = eol ? eol + 1 : end;
  }
  return nullptr;
}

}  // namespace

bool automap_labels_parse(const char* text, size_t length, const char* script, AutomapLabelList* list) {
  automap_label_list_clear(list);
  if (!text || !script) return false;
  const char* at = find_section(text, length, script);
  if (!at) return false;
  Scan s{at, text + length};
  while (list->count < AUTOMAP_MAX_LABELS && s.take("$Label:")) {
    AutomapMapLabel l;
    char type[32];
    double x, z, layer;
    if (!s.quoted(l.text, sizeof l.text)) break;
    if (!s.take("$Type:") || !s.quoted(type, sizeof type)) break;
    if (strcasecmp(type, "Permanent") == 0) l.type = AUTOMAP_LABEL_PERMANENT;
    else if (strcasecmp(type, "Custom") == 0) l.type = AUTOMAP_LABEL_CUSTOM;
    else break;
    if (!s.take("$Pos:") || !s.number(&x) || !s.take(",") || !s.number(&z)) break;
    if (!s.take("$Layer:") || !s.number(&layer)) break;
    // A position or layer no map can hold is refused with the rest.
    if (!(x > -1e30 && x < 1e30 && z > -1e30 && z < 1e30 && layer >= 0.0 && layer < 1000.0)) break;
    l.x = static_cast<float>(x);
    l.z = static_cast<float>(z);
    l.layer = static_cast<int32_t>(layer);
    list->labels[list->count++] = l;
  }
  return true;
}

std::string automap_labels_rewrite(const char* text, size_t length, const char* script, const AutomapLabelList& list) {
  const std::string header = automap_labels_header(script);
  std::string out;
  auto line = [&out](const std::string& s) { out += s + "\r\n"; };
  auto section = [&] {
    for (int i = 0; i < list.count; i++) {
      const AutomapMapLabel& l = list.labels[i];
      if (l.type != AUTOMAP_LABEL_PERMANENT) continue;  // the save keeps the player's own
      char buf[128];
      line(std::string("\t$Label:\t\"") + l.text + "\"");
      line("\t$Type:\t\"Permanent\"");
      std::snprintf(buf, sizeof buf, "\t$Pos:\t\t%f, %f", static_cast<double>(l.x), static_cast<double>(l.z));
      line(buf);
      std::snprintf(buf, sizeof buf, "\t$Layer:\t%d", l.layer);
      line(buf);
      line("");
    }
  };
  const std::vector<std::string> lines = split_lines(text ? text : "", text ? length : 0);
  size_t i = 0;
  bool written = false;
  for (; i < lines.size(); i++) {
    const std::string& l = lines[i];
    if (starts_with(l, "#End")) {
      // The script has no section yet: it becomes the last.
      line(header);
      line("");
      section();
      line("#End");
      return out;
    }
    line(l);
    if (is_header(l, header)) {
      line("");
      section();
      written = true;
      i++;
      break;
    }
  }
  if (!written) {
    line(header);
    line("");
    section();
    line("#End");
    return out;
  }
  // The old section's lines give way to the new ones.
  while (i < lines.size() && !starts_with(lines[i], "#Script:") && !starts_with(lines[i], "#End")) i++;
  if (i >= lines.size() || starts_with(lines[i], "#End")) {
    line("#End");
    return out;
  }
  for (; i < lines.size(); i++) line(lines[i]);
  return out;
}
