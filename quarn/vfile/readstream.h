#pragma once
// Typed reads over either an open file or a block of memory, so one loader
// reads a file or an image already in memory. The stream owns neither.
#include <cstdint>

class FileHandle;
struct vector;
struct quaternion;

class ReadStream {
 public:
  enum Kind { NONE = -1, FILE_KIND = 0, MEMORY_KIND = 1 };

  ReadStream() { reset(); }
  void reset();
  void open_memory(const void* data, int size);
  void open_file(FileHandle* fh);

  int tell() const;
  bool eof() const;
  // The file's error code; for memory -1 once a read ran past the end.
  int error() const;
  // whence 0 from the start, 1 forward, 2 backward from the current position
  // (memory). 0, or -1 leaving the position.
  int seek(int offset, int whence);

  // Bytes delivered; a memory read past the end delivers nothing.
  int read(void* dest, int n);
  int32_t read_int();
  float read_float();
  int16_t read_short();
  uint16_t read_ushort();
  int8_t read_byte();
  uint8_t read_ubyte();
  void read_vector(vector* dest);
  void read_quaternion(quaternion* dest);
  char* read_string(char* buffer, int size);

  Kind kind() const { return kind_; }

 private:
  Kind kind_;
  FileHandle* fh_;
  const uint8_t* data_;
  int pos_;
  int size_;
  int error_;
};
