#include "tools/writers/ui_table_writer.h"

#include <fstream>

namespace {
std::string quoted(const std::string& s) { return "\"" + s + "\""; }
}  // namespace

UiTableWriter& UiTableWriter::raw(const std::string& line) {
  text_ += line + "\r\n";
  return *this;
}

UiTableWriter& UiTableWriter::window(int x, int y, int w, int h) {
  field("$Position:", x, y);
  return field("$Size:", w, h);
}

UiTableWriter& UiTableWriter::section(const std::string& kind, const std::string& name) {
  return raw(name.empty() ? kind : kind + ": " + quoted(name));
}

UiTableWriter& UiTableWriter::flag(const std::string& f) { return raw(f); }

UiTableWriter& UiTableWriter::field(const std::string& f, int value) { return raw(f + " " + std::to_string(value)); }

UiTableWriter& UiTableWriter::field(const std::string& f, int a, int b) {
  return raw(f + " " + std::to_string(a) + ", " + std::to_string(b));
}

UiTableWriter& UiTableWriter::text(const std::string& f, const std::string& value) {
  return raw(f + " " + quoted(value));
}

UiTableWriter& UiTableWriter::hotkey(const std::string& key_text) { return text("+Hotkey:", key_text); }

UiTableWriter& UiTableWriter::tooltip(const std::string& t, int dx, int dy) {
  return raw("+Tooltip: " + quoted(t) + ", " + std::to_string(dx) + ", " + std::to_string(dy));
}

UiTableWriter& UiTableWriter::keyed_tooltip(const std::string& t, int key, int dx, int dy) {
  return raw("+Tooltip: " + quoted(t) + ", " + std::to_string(key) + ", " + std::to_string(dx) + ", " +
             std::to_string(dy));
}

UiTableWriter& UiTableWriter::state_bitmap(const std::string& file, std::initializer_list<const char*> states) {
  std::string line = "+State bitmap: " + quoted(file);
  for (const char* s : states) line += std::string(", ") + quoted(s);
  return raw(line);
}

UiTableWriter& UiTableWriter::end() { return raw("#End"); }

bool UiTableWriter::write_file(const std::string& path) const {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text_;
  return static_cast<bool>(out.flush());
}
