#pragma once
// A small buffered text file for console scripts: it recognises the line-end
// convention of what it reads and always writes CR LF.
#include <cstdio>

class TextFile {
 public:
  enum : unsigned {
    TF_EOF = 1,
    TF_READING = 2,
    TF_LF = 4,   // bit 2 alone: LF
    TF_CR = 8,   // bit 3 alone: CR; both bits: mixed or unknown; none: CR LF
    TF_LINE_MASK = 12,
  };

  TextFile();
  ~TextFile();
  TextFile(const TextFile&) = delete;
  TextFile& operator=(const TextFile&) = delete;

  // 0 or 1 (failure). An empty file opens (it just yields no lines); a file
  // that cannot be read fails.
  int open_read(const char* path, int buffer_size);
  int open_write(const char* path, bool append, int stdio_buffer_size);
  int fill();
  char* read_line(char* buffer, int size);
  int write_text(const char* text);
  int printf(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
  int put_char(char c);
  int flush();
  void close();

  bool is_open() const { return stream_ != nullptr; }
  unsigned flags() const { return flags_; }
  unsigned line_convention() const { return flags_ & TF_LINE_MASK; }

 private:
  void detect_line_end();

  FILE* stream_;
  char* buffer_;
  char* end_;
  char* pos_;
  int held_;
  int capacity_;
  unsigned flags_;
};

TextFile* textfile_open_read(const char* path, int buffer_size);
TextFile* textfile_open_write(const char* path, bool append, int buffer_size);
