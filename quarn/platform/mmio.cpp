#include "quarn/platform/mmio.h"

#include <cstring>

struct MmioFile {
  FILE* fp = nullptr;
  const uint8_t* mem = nullptr;
  uint32_t mem_size = 0;
  uint32_t mem_pos = 0;
};

MmioFile* mmio_open(const char* path) {
  if (!path) return nullptr;
  FILE* fp = std::fopen(path, "rb");
  if (!fp) return nullptr;
  auto* f = new MmioFile();
  f->fp = fp;
  std::setvbuf(fp, nullptr, _IOFBF, 16384);
  return f;
}

MmioFile* mmio_open_memory(const void* data, uint32_t size) {
  auto* f = new MmioFile();
  f->mem = static_cast<const uint8_t*>(data);
  f->mem_size = size;
  return f;
}

void mmio_close(MmioFile* f) {
  if (!f) return;
  if (f->fp) std::fclose(f->fp);
  delete f;
}

long mmio_seek(MmioFile* f, long offset, int whence) {
  if (!f) return -1;
  if (f->fp) {
    if (std::fseek(f->fp, offset, whence) != 0) return -1;
    return std::ftell(f->fp);
  }
  long base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? f->mem_pos : f->mem_size;
  long to = base + offset;
  if (to < 0) return -1;
  // Past the end is allowed, as for files; reads there give nothing.
  f->mem_pos = to > 0x7fffffffL ? 0x7fffffffu : static_cast<uint32_t>(to);
  return to;
}

long mmio_read(MmioFile* f, void* dest, long n) {
  if (!f || n < 0) return -1;
  if (f->fp) {
    size_t got = std::fread(dest, 1, static_cast<size_t>(n), f->fp);
    if (got == 0 && std::ferror(f->fp)) return -1;
    return static_cast<long>(got);
  }
  if (f->mem_pos >= f->mem_size) return 0;
  uint32_t left = f->mem_size - f->mem_pos;
  uint32_t take = static_cast<unsigned long>(n) < left ? static_cast<uint32_t>(n) : left;
  std::memcpy(dest, f->mem + f->mem_pos, take);
  f->mem_pos += take;
  return take;
}

namespace {
bool read_u32(MmioFile* f, uint32_t* v) {
  uint8_t b[4];
  if (mmio_read(f, b, 4) != 4) return false;
  *v = static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
       (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24);
  return true;
}
}  // namespace

int mmio_descend(MmioFile* f, MmioChunk* ck, const MmioChunk* parent, int flags) {
  if (!f || !ck) return 1;
  uint64_t end = parent ? static_cast<uint64_t>(parent->data_offset) + parent->size : UINT64_MAX;
  uint32_t want_id = ck->id;
  uint32_t want_form = ck->form_type;
  for (;;) {
    long at = mmio_seek(f, 0, SEEK_CUR);
    if (at < 0 || static_cast<uint64_t>(at) + 8 > end) return 1;
    uint32_t id, size;
    if (!read_u32(f, &id) || !read_u32(f, &size)) return 1;
    uint32_t data_at = static_cast<uint32_t>(at) + 8;
    bool is_riff = id == mmio_fourcc('R', 'I', 'F', 'F') || id == mmio_fourcc('L', 'I', 'S', 'T');
    uint32_t form = 0;
    if (is_riff && !read_u32(f, &form)) return 1;
    bool match = false;
    if (flags & MMIO_FINDRIFF)
      match = id == mmio_fourcc('R', 'I', 'F', 'F') && form == want_form;
    else if (flags & MMIO_FINDCHUNK)
      match = id == want_id;
    else
      match = true;
    if (match) {
      ck->id = id;
      ck->size = size;
      ck->form_type = form;
      ck->data_offset = data_at;
      return 0;
    }
    uint64_t next = static_cast<uint64_t>(data_at) + size + (size & 1);
    if (next > end || next > 0x7fffffffu) return 1;
    if (mmio_seek(f, static_cast<long>(next), SEEK_SET) < 0) return 1;
  }
}

int mmio_ascend(MmioFile* f, const MmioChunk* ck) {
  if (!f || !ck) return 1;
  uint64_t next = static_cast<uint64_t>(ck->data_offset) + ck->size + (ck->size & 1);
  if (next > 0x7fffffffu) return 1;
  return mmio_seek(f, static_cast<long>(next), SEEK_SET) < 0 ? 1 : 0;
}
