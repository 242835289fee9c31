#pragma once
// Buffered reading of RIFF files, as the wave reader expects it: open a file
// (or a block of memory), seek, read, and step into and out of chunks.
#include <cstdint>
#include <cstdio>

constexpr uint32_t mmio_fourcc(char a, char b, char c, char d) {
  return static_cast<uint32_t>(static_cast<uint8_t>(a)) |
         (static_cast<uint32_t>(static_cast<uint8_t>(b)) << 8) |
         (static_cast<uint32_t>(static_cast<uint8_t>(c)) << 16) |
         (static_cast<uint32_t>(static_cast<uint8_t>(d)) << 24);
}

struct MmioChunk {
  uint32_t id = 0;
  uint32_t size = 0;
  uint32_t form_type = 0;
  uint32_t data_offset = 0;  // absolute position of the chunk's data
};

constexpr int MMIO_FINDCHUNK = 0x10;
constexpr int MMIO_FINDRIFF = 0x20;

struct MmioFile;

// Null when the file cannot be opened.
MmioFile* mmio_open(const char* path);
// Reads from a caller's block, which must outlive the handle.
MmioFile* mmio_open_memory(const void* data, uint32_t size);
void mmio_close(MmioFile* f);
// New position, or -1. whence as for fseek.
long mmio_seek(MmioFile* f, long offset, int whence);
// Bytes read (fewer at the end), -1 on error.
long mmio_read(MmioFile* f, void* dest, long n);
// 0 when found (the position is then at the chunk's data, past the form type
// of a RIFF chunk), non-zero when not; the search stays inside parent.
int mmio_descend(MmioFile* f, MmioChunk* ck, const MmioChunk* parent, int flags);
// Moves past the end of the chunk (and its pad byte); 0 or non-zero.
int mmio_ascend(MmioFile* f, const MmioChunk* ck);
