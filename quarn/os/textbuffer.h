#pragma once
// A bounded text accumulator with an optional limit on lines: the oldest
// lines drop out once the limit is passed; overflow replaces the content by
// "Buffer overrun!" instead of writing past the end.

class TextBuffer {
 public:
  // With a caller buffer the object only uses it; otherwise it allocates
  // max(capacity, 16) bytes.
  TextBuffer(char* buffer, int capacity, int max_lines = 0);
  ~TextBuffer();
  TextBuffer(const TextBuffer&) = delete;
  TextBuffer& operator=(const TextBuffer&) = delete;

  void clear();
  void append(const char* text);
  void printf(const char* fmt, ...) __attribute__((format(printf, 2, 3)));

  const char* text() const { return buffer_; }
  int used() const { return used_; }
  int capacity() const { return capacity_; }
  int lines() const { return lines_; }
  int max_lines() const { return max_lines_; }

 private:
  char* buffer_;
  bool external_;
  int capacity_;
  int used_;
  int max_lines_;
  int lines_;
};
