#pragma once
// Writer of UI table files (one window and its gadgets), for the demo
// builder and test fixtures. Lines end in CR LF. Fields are written in the
// order they are added; the reader wants them in its own order.
#include <initializer_list>
#include <string>

class UiTableWriter {
 public:
  // "$Position:" and "$Size:" of the window.
  UiTableWriter& window(int x, int y, int w, int h);
  // "#Button" and the like, with ": \"name\"" when a name is given.
  UiTableWriter& section(const std::string& kind, const std::string& name = "");
  UiTableWriter& flag(const std::string& field);  // "+Repeats"
  UiTableWriter& field(const std::string& field, int value);
  UiTableWriter& field(const std::string& field, int a, int b);
  UiTableWriter& text(const std::string& field, const std::string& value);  // quoted
  UiTableWriter& hotkey(const std::string& key_text);                        // quoted
  UiTableWriter& tooltip(const std::string& text, int dx, int dy);
  UiTableWriter& keyed_tooltip(const std::string& text, int key, int dx, int dy);
  UiTableWriter& state_bitmap(const std::string& file, std::initializer_list<const char*> states);
  UiTableWriter& raw(const std::string& line);
  UiTableWriter& end();  // "#End"

  const std::string& str() const { return text_; }
  bool write_file(const std::string& path) const;

 private:
  std::string text_;
};
