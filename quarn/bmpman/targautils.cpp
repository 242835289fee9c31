#include "quarn/bmpman/targautils.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include <jpeglib.h>

#include "quarn/bmpman/image_io.h"
#include "quarn/os/error.h"
#include "quarn/vfile/readstream.h"

namespace {

uint16_t get_u16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
void put_u16(uint8_t* p, int v) {
  p[0] = static_cast<uint8_t>(v & 0xff);
  p[1] = static_cast<uint8_t>((v >> 8) & 0xff);
}

void set_error(const char** error, const char* text) {
  if (error) *error = text;
}

// Colour-map entries of 15 or 16 bits are 5-5-5 with blue in the low bits;
// every other size is read as blue, green, red (and a dropped alpha byte for
// 32 bits), the way 24-bit maps are stored.
int colour_map_entry_bytes(int entry_bits) {
  switch (entry_bits) {
    case 15:
    case 16:
      return 2;
    case 32:
      return 4;
    default:
      return 3;
  }
}

}  // namespace

const char* pcx_error_string(int code) {
  static const char* const texts[] = {
      "No error.",
      "Error opening file.",
      "Couldn't read PCX header.",
      "Unsupported PCX version.",
      "Error reading data.",
      "Couldn't find palette information.",
      "Error writing data.",
  };
  if (code < 0 || code > 6) return "Unknown error.";
  return texts[code];
}

// ---------------------------------------------------------------------------
// Targa

bool targa_parse_header(const uint8_t* file, size_t file_size, TargaHeader* h) {
  if (!file || file_size < static_cast<size_t>(TARGA_HEADER_SIZE)) return false;
  ReadStream rs;
  rs.open_memory(file, TARGA_HEADER_SIZE);
  h->id_length = rs.read_ubyte();
  h->colour_map_type = rs.read_ubyte();
  h->image_type = rs.read_ubyte();
  h->colour_map_first = rs.read_ushort();
  h->colour_map_length = rs.read_ushort();
  h->colour_map_entry_size = rs.read_ubyte();
  h->x_origin = rs.read_ushort();
  h->y_origin = rs.read_ushort();
  h->width = rs.read_ushort();
  h->height = rs.read_ushort();
  h->bits_per_pixel = rs.read_ubyte();
  h->descriptor = rs.read_ubyte();
  return rs.error() == 0;
}

int targa_decode(const uint8_t* file, size_t file_size, uint8_t* pixels, size_t pixels_size,
                 uint8_t* palette, const char** error) {
  TargaHeader h;
  if (!targa_parse_header(file, file_size, &h)) {
    set_error(error, "the file is shorter than a Targa header");
    return 1;
  }
  const int bpp = h.bits_per_pixel;
  if (bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) {
    set_error(error, "unsupported bits per pixel");
    return 1;
  }
  const int alpha_bits = h.descriptor & 15;
  if (alpha_bits != 0 && alpha_bits != 1 && alpha_bits != 8) {
    set_error(error, "unsupported number of alpha bits");
    return 1;
  }
  const int type = h.image_type;
  const bool rle = type == 9 || type == 10 || type == 11;
  if (!rle && type != 1 && type != 2 && type != 3) {
    set_error(error, "unsupported image type");
    return 1;
  }
  const size_t pixel_bytes = static_cast<size_t>(bpp / 8);
  const size_t width = h.width;
  const size_t height = h.height;
  const size_t row_bytes = width * pixel_bytes;
  if (row_bytes * height > pixels_size || (row_bytes * height > 0 && !pixels)) {
    set_error(error, "the image is larger than its buffer");
    return 1;
  }

  size_t pos = static_cast<size_t>(TARGA_HEADER_SIZE) + h.id_length;
  if (pos > file_size) {
    set_error(error, "the identification field runs past the end of the file");
    return 1;
  }

  if (h.colour_map_type != 0) {
    const size_t entry_bytes = static_cast<size_t>(colour_map_entry_bytes(h.colour_map_entry_size));
    const size_t map_bytes = entry_bytes * h.colour_map_length;
    if (map_bytes > file_size - pos) {
      set_error(error, "the colour map runs past the end of the file");
      return 1;
    }
    if (palette) {
      std::memset(palette, 0, 768);
      // Entries beyond 256 have no place in the palette; they are skipped.
      const size_t kept = h.colour_map_length < 256 ? h.colour_map_length : 256;
      const uint8_t* e = file + pos;
      for (size_t i = 0; i < kept; i++, e += entry_bytes) {
        uint8_t* out = palette + i * 3;
        if (entry_bytes == 2) {
          const int v = get_u16(e);
          out[0] = static_cast<uint8_t>(((v >> 10) & 31) << 3);
          out[1] = static_cast<uint8_t>(((v >> 5) & 31) << 3);
          out[2] = static_cast<uint8_t>((v & 31) << 3);
        } else {
          out[0] = e[2];
          out[1] = e[1];
          out[2] = e[0];
        }
      }
    }
    pos += map_bytes;
  }

  const uint8_t* src = file + pos;
  const size_t src_size = file_size - pos;
  const bool top_first = (h.descriptor & 0x20) != 0;
  auto out_row = [&](size_t file_row) -> uint8_t* {
    const size_t r = top_first ? file_row : height - 1 - file_row;
    return pixels + r * row_bytes;
  };

  if (width == 0 || height == 0) return 0;

  if (!rle) {
    if (row_bytes * height > src_size) {
      set_error(error, "the pixel data is shorter than the image");
      return 1;
    }
    for (size_t r = 0; r < height; r++) std::memcpy(out_row(r), src + r * row_bytes, row_bytes);
    return 0;
  }

  // Packets are decoded as one stream over the whole image: a packet that
  // reaches past the end of a row carries on at the start of the next one
  // (the writers here encode a whole image as a single row). Nothing may run
  // past the last pixel or the end of the data.
  size_t in = 0;
  size_t row = 0;
  size_t col = 0;
  uint8_t* dst = out_row(0);
  while (row < height) {
    if (in >= src_size) {
      set_error(error, "the run-length data ends before the image does");
      return 1;
    }
    const uint8_t head = src[in++];
    size_t count = static_cast<size_t>(head & 0x7f) + 1;
    const bool repeat = (head & 0x80) != 0;
    const uint8_t* value = src + in;
    if (repeat) {
      if (pixel_bytes > src_size - in) {
        set_error(error, "a run-length packet runs past the end of the data");
        return 1;
      }
      in += pixel_bytes;
    } else {
      if (count * pixel_bytes > src_size - in) {
        set_error(error, "a run-length packet runs past the end of the data");
        return 1;
      }
      in += count * pixel_bytes;
    }
    while (count > 0) {
      if (row >= height) {
        set_error(error, "a run-length packet runs past the end of the image");
        return 1;
      }
      const size_t n = count < width - col ? count : width - col;
      uint8_t* d = dst + col * pixel_bytes;
      if (repeat) {
        if (pixel_bytes == 1) {
          std::memset(d, value[0], n);
        } else {
          for (size_t i = 0; i < n; i++, d += pixel_bytes) std::memcpy(d, value, pixel_bytes);
        }
      } else {
        std::memcpy(d, value, n * pixel_bytes);
        value += n * pixel_bytes;
      }
      count -= n;
      col += n;
      if (col == width) {
        col = 0;
        if (++row < height) dst = out_row(row);
      }
    }
  }
  return 0;
}

size_t targa_compress_bound(size_t pixel_count, int out_bpp) {
  return pixel_count * (static_cast<size_t>(out_bpp) + 1) + 1;
}

namespace {

// Writes one pixel converted from in_bpp to out_bpp bytes.
inline uint8_t* put_pixel(uint8_t* out, const uint8_t* p, int out_bpp, int in_bpp) {
  if (in_bpp == 2 && out_bpp == 3) {
    const int v = get_u16(p);
    out[0] = static_cast<uint8_t>((v & 31) * 8);
    out[1] = static_cast<uint8_t>(((v >> 5) & 63) * 4);
    out[2] = static_cast<uint8_t>((v >> 8) & 0xf8);
  } else if (in_bpp == 2 && out_bpp == 2) {
    out[0] = p[0];
    out[1] = static_cast<uint8_t>(p[1] ^ 0x80);
  } else {
    const int n = in_bpp < out_bpp ? in_bpp : out_bpp;
    std::memcpy(out, p, static_cast<size_t>(n));
    if (n < out_bpp) std::memset(out + n, 0, static_cast<size_t>(out_bpp - n));
  }
  return out + out_bpp;
}

}  // namespace

int targa_compress(uint8_t* out, const uint8_t* pixels, int out_bpp, int in_bpp, int byte_count) {
  if (!out || !pixels || in_bpp < 1 || out_bpp < 1 || byte_count < in_bpp) return 0;
  const int count = byte_count / in_bpp;
  const size_t ib = static_cast<size_t>(in_bpp);
  auto px = [&](int i) { return pixels + static_cast<size_t>(i) * ib; };
  auto same = [&](int a, int b) { return std::memcmp(px(a), px(b), ib) == 0; };
  // One-byte pixels start a repeat packet only on the third equal pixel:
  // a pair costs as much either way.
  const int pair = in_bpp == 1 ? 3 : 2;

  uint8_t* o = out;
  auto flush_raw = [&](int first, int n) {
    if (n <= 0) return;
    *o++ = static_cast<uint8_t>(n - 1);
    for (int i = 0; i < n; i++) o = put_pixel(o, px(first + i), out_bpp, in_bpp);
  };
  auto flush_repeat = [&](int first, int n) {
    *o++ = static_cast<uint8_t>(0x80 | (n - 1));
    o = put_pixel(o, px(first), out_bpp, in_bpp);
  };

  bool repeating = false;
  int start = 0;  // first pixel of the open packet
  int n = 1;      // pixels in the open packet
  for (int i = 1; i < count; i++) {
    if (repeating) {
      if (n < 128 && same(i, start)) {
        n++;
      } else {
        flush_repeat(start, n);
        repeating = false;
        start = i;
        n = 1;
      }
      continue;
    }
    bool run = n >= pair - 1 && same(i, i - 1);
    if (run && pair == 3) run = same(i, i - 2);
    if (run) {
      flush_raw(start, n - (pair - 1));
      repeating = true;
      start = i - (pair - 1);
      n = pair;
    } else if (n == 128) {
      flush_raw(start, n);
      start = i;
      n = 1;
    } else {
      n++;
    }
  }
  if (count > 0) {
    if (repeating) flush_repeat(start, n);
    else flush_raw(start, n);
  }
  return static_cast<int>(o - out);
}

namespace {

void targa_fill_header(uint8_t* hdr, int type, int width, int height, int bpp, int descriptor) {
  std::memset(hdr, 0, TARGA_HEADER_SIZE);
  hdr[2] = static_cast<uint8_t>(type);
  put_u16(hdr + 12, width);
  put_u16(hdr + 14, height);
  hdr[16] = static_cast<uint8_t>(bpp);
  hdr[17] = static_cast<uint8_t>(descriptor);
}

bool targa_args_ok(const uint8_t* pixels, int width, int height, int bpp) {
  return pixels && width > 0 && height > 0 && width <= 0xffff && height <= 0xffff &&
         (bpp == 8 || bpp == 16 || bpp == 24 || bpp == 32);
}

}  // namespace

int targa_write_bitmap(const char* name, const uint8_t* pixels, int, int width, int height,
                       int bits_per_pixel, int path_type) {
  if (!name || !targa_args_ok(pixels, width, height, bits_per_pixel)) return -1;
  const int bytes = bits_per_pixel / 8;
  const size_t pixel_count = static_cast<size_t>(width) * static_cast<size_t>(height);
  std::vector<uint8_t> out(TARGA_HEADER_SIZE + targa_compress_bound(pixel_count, bytes));
  targa_fill_header(out.data(), 10, width, height, bits_per_pixel, 32);
  // The whole image is one row for the encoder; readers carry packets over
  // row ends.
  const size_t encoded = static_cast<size_t>(targa_compress(
      out.data() + TARGA_HEADER_SIZE, pixels, bytes, bytes, static_cast<int>(pixel_count * static_cast<size_t>(bytes))));
  const std::string ext_name = image_io_make_name(name, ".tga");
  return image_io_write_file(ext_name.c_str(), path_type, out.data(), TARGA_HEADER_SIZE + encoded) ? 0 : -1;
}

int targa_write_raw(const char* name, const uint8_t* pixels, int, int width, int height,
                    int bits_per_pixel, int path_type) {
  if (!name || !targa_args_ok(pixels, width, height, bits_per_pixel)) return -1;
  const size_t data_bytes =
      static_cast<size_t>((bits_per_pixel + 7) / 8) * static_cast<size_t>(width) * static_cast<size_t>(height);
  std::vector<uint8_t> out(TARGA_HEADER_SIZE + data_bytes);
  targa_fill_header(out.data(), 2, width, height, bits_per_pixel, 32);
  std::memcpy(out.data() + TARGA_HEADER_SIZE, pixels, data_bytes);
  return image_io_write_file(name, path_type, out.data(), out.size()) ? 0 : -1;
}

int targa_read_header(const char* name, int* width, int* height, int* bits_per_pixel, int*,
                      uint8_t*, int path_type) {
  if (!name) return 1;
  uint8_t hdr[TARGA_HEADER_SIZE];
  bool ok = image_io_read_prefix(name, path_type, hdr, sizeof hdr);
  if (!ok && !std::strchr(name, '.')) {
    std::string with_ext = std::string(name) + ".tga";
    ok = image_io_read_prefix(with_ext.c_str(), path_type, hdr, sizeof hdr);
  }
  if (!ok) return 1;
  TargaHeader h;
  targa_parse_header(hdr, sizeof hdr, &h);
  if (width) *width = h.width;
  if (height) *height = h.height;
  if (bits_per_pixel) *bits_per_pixel = h.bits_per_pixel;
  return 0;
}

int targa_read_bitmap(const char* name, uint8_t* pixels, uint8_t* palette, size_t pixels_size,
                      int path_type) {
  if (!name) return 1;
  std::vector<uint8_t> file;
  bool ok = image_io_read_file(name, path_type, file);
  if (!ok) {
    const std::string tga = image_io_make_name(name, ".tga");
    ok = image_io_read_file(tga.c_str(), path_type, file) ||
         image_io_read_file(tga.c_str(), BM_ANY_PATH_TYPE, file);
    if (!ok) CRITICAL_ERROR("Could not open file: %s", name);
  }
  const char* why = nullptr;
  const int rc = targa_decode(file.data(), file.size(), pixels, pixels_size, palette, &why);
  if (rc != 0) std::printf("Targa file %s refused: %s\n", name, why ? why : "bad image");
  return rc;
}

// ---------------------------------------------------------------------------
// PCX

int pcx_parse_header(const uint8_t* file, size_t file_size, PcxHeader* header) {
  if (!file || file_size < static_cast<size_t>(PCX_HEADER_SIZE)) return PCX_ERROR_NO_HEADER;
  ReadStream rs;
  rs.open_memory(file, PCX_HEADER_SIZE);
  const int manufacturer = rs.read_ubyte();
  const int version = rs.read_ubyte();
  const int encoding = rs.read_ubyte();
  const int bits_per_pixel = rs.read_ubyte();
  const int xmin = rs.read_ushort();
  const int ymin = rs.read_ushort();
  const int xmax = rs.read_ushort();
  const int ymax = rs.read_ushort();
  rs.seek(65, 0);
  const int planes = rs.read_ubyte();
  const int bytes_per_line = rs.read_ushort();
  if (rs.error() != 0) return PCX_ERROR_NO_HEADER;
  if (manufacturer != 10 || version != 5 || encoding != 1 || bits_per_pixel != 8 || planes != 1)
    return PCX_ERROR_WRONG_VERSION;
  header->width = xmax - xmin + 1;
  header->height = ymax - ymin + 1;
  header->bits_per_pixel = bits_per_pixel;
  header->bytes_per_line = bytes_per_line;
  // Sizes live in 16 bits everywhere else.
  if (header->width < 1 || header->width > 0xffff || header->height < 1 || header->height > 0xffff)
    return PCX_ERROR_WRONG_VERSION;
  return PCX_ERROR_NONE;
}

int pcx_decode(const uint8_t* file, size_t file_size, uint8_t* pixels, size_t pixels_size,
               uint8_t* palette, const char** error) {
  PcxHeader h;
  const int rc = pcx_parse_header(file, file_size, &h);
  if (rc != PCX_ERROR_NONE) {
    set_error(error, rc == PCX_ERROR_NO_HEADER ? "the file is shorter than a PCX header"
                                               : "a header field is not what this reader knows");
    return rc;
  }
  if (h.width < 1 || h.height < 1) {
    set_error(error, "the image has no pixels");
    return PCX_ERROR_WRONG_VERSION;
  }
  if (h.bytes_per_line < h.width) {
    set_error(error, "the bytes per line are fewer than the width");
    return PCX_ERROR_WRONG_VERSION;
  }
  if (file_size < static_cast<size_t>(PCX_HEADER_SIZE) + 768) {
    set_error(error, "the file has no room for a palette");
    return PCX_ERROR_NO_PALETTE;
  }
  const size_t width = static_cast<size_t>(h.width);
  const size_t height = static_cast<size_t>(h.height);
  if (width * height > pixels_size || !pixels) {
    set_error(error, "the image is larger than its buffer");
    return PCX_ERROR_READING;
  }
  if (palette) std::memcpy(palette, file + file_size - 768, 768);

  // A run may carry on from one row into the next; every value lands in the
  // row's padding or its first `width` bytes, and a run past the last row is
  // cut there.
  const uint8_t* src = file + PCX_HEADER_SIZE;
  const size_t src_size = file_size - PCX_HEADER_SIZE;
  const size_t line = static_cast<size_t>(h.bytes_per_line);
  size_t in = 0;
  size_t row = 0;
  size_t col = 0;
  while (row < height) {
    if (in >= src_size) {
      set_error(error, "the pixel data ends before the image does");
      return PCX_ERROR_READING;
    }
    uint8_t value = src[in++];
    size_t count = 1;
    if ((value & 0xc0) == 0xc0) {
      count = value & 0x3f;
      if (in >= src_size) {
        set_error(error, "the pixel data ends before the image does");
        return PCX_ERROR_READING;
      }
      value = src[in++];
    }
    while (count > 0 && row < height) {
      const size_t n = count < line - col ? count : line - col;
      if (col < width) {
        const size_t kept = (col + n <= width ? n : width - col);
        std::memset(pixels + row * width + col, value, kept);
      }
      col += n;
      count -= n;
      if (col == line) {
        col = 0;
        row++;
      }
    }
  }
  return PCX_ERROR_NONE;
}

int pcx_read_header(const char* name, int* width, int* height, int* bits_per_pixel,
                    uint8_t* palette, int path_type) {
  if (!name) return PCX_ERROR_OPENING;
  std::vector<uint8_t> file;
  if (!image_io_read_file(name, path_type, file) &&
      !image_io_read_file(image_io_make_name(name, ".pcx").c_str(), path_type, file))
    return PCX_ERROR_OPENING;
  PcxHeader h;
  const int rc = pcx_parse_header(file.data(), file.size(), &h);
  if (rc != PCX_ERROR_NONE) return rc;
  if (width) *width = h.width;
  if (height) *height = h.height;
  if (bits_per_pixel) *bits_per_pixel = h.bits_per_pixel;
  if (palette) {
    if (file.size() < static_cast<size_t>(PCX_HEADER_SIZE) + 768) return PCX_ERROR_NO_PALETTE;
    std::memcpy(palette, file.data() + file.size() - 768, 768);
  }
  return PCX_ERROR_NONE;
}

int pcx_read_bitmap(const char* name, uint8_t* pixels, uint8_t* palette, size_t pixels_size,
                    int path_type) {
  if (!name) return PCX_ERROR_OPENING;
  std::vector<uint8_t> file;
  if (!image_io_read_file(name, path_type, file) &&
      !image_io_read_file(image_io_make_name(name, ".pcx").c_str(), path_type, file))
    return PCX_ERROR_OPENING;
  const char* why = nullptr;
  const int rc = pcx_decode(file.data(), file.size(), pixels, pixels_size, palette, &why);
  if (rc != PCX_ERROR_NONE) std::printf("PCX file %s refused: %s\n", name, why ? why : pcx_error_string(rc));
  return rc;
}

int pcx_write_bitmap(const char* name, int width, int height, const uint8_t* const* rows,
                     const uint8_t* palette) {
  if (!name || !rows || !palette || width < 1 || height < 1 || width > 0xffff || height > 0xffff)
    return PCX_ERROR_WRITING;
  std::vector<uint8_t> out(PCX_HEADER_SIZE, 0);
  out[0] = 10;
  out[1] = 5;
  out[2] = 1;
  out[3] = 8;
  put_u16(&out[8], width - 1);
  put_u16(&out[10], height - 1);
  out[65] = 1;
  put_u16(&out[66], width);
  out.reserve(out.size() + static_cast<size_t>(width) * static_cast<size_t>(height) * 2 + 769);
  for (int y = 0; y < height; y++) {
    const uint8_t* r = rows[y];
    if (!r) return PCX_ERROR_WRITING;
    int x = 0;
    while (x < width) {
      int n = 1;
      while (x + n < width && n < 63 && r[x + n] == r[x]) n++;
      if (n == 1 && r[x] < 192) {
        out.push_back(r[x]);
      } else {
        out.push_back(static_cast<uint8_t>(192 + n));
        out.push_back(r[x]);
      }
      x += n;
    }
  }
  out.push_back(12);
  out.insert(out.end(), palette, palette + 768);
  const std::string pcx = image_io_make_name(name, ".pcx");
  bool opened = false;
  if (image_io_write_file(pcx.c_str(), BM_ANY_PATH_TYPE, out.data(), out.size(), &opened)) return PCX_ERROR_NONE;
  return opened ? PCX_ERROR_WRITING : PCX_ERROR_OPENING;
}

// ---------------------------------------------------------------------------
// M2V

bool m2v_parse_size(const uint8_t* file, size_t file_size, int* width, int* height) {
  if (!file || file_size < 8) return false;
  // The sequence header is big-endian, unlike every other field we read.
  ReadStream rs;
  rs.open_memory(file, 8);
  rs.seek(4, 0);
  uint32_t v = 0;
  for (int i = 0; i < 4; i++) v = (v << 8) | rs.read_ubyte();
  if (rs.error() != 0) return false;
  if (width) *width = static_cast<int>(v >> 20);
  if (height) *height = static_cast<int>((v >> 8) & 0xfff);
  return true;
}

int m2v_read_header(const char* name, int* width, int* height) {
  if (!name) return 0;
  uint8_t head[8];
  int size = image_io_file_size(name, BM_ANY_PATH_TYPE);
  std::string used = name;
  if (size <= 0) {
    used = image_io_make_name(name, ".m2v");
    size = image_io_file_size(used.c_str(), BM_ANY_PATH_TYPE);
  }
  if (size < 8 || !image_io_read_prefix(used.c_str(), BM_ANY_PATH_TYPE, head, sizeof head)) return 0;
  m2v_parse_size(head, sizeof head, width, height);
  return size;
}

int m2v_read_file(const char* name, uint8_t** buffer) {
  if (buffer) *buffer = nullptr;
  if (!name || !buffer) return 0;
  std::vector<uint8_t> file;
  if (!image_io_read_file(name, BM_ANY_PATH_TYPE, file) &&
      !image_io_read_file(image_io_make_name(name, ".m2v").c_str(), BM_ANY_PATH_TYPE, file))
    return 0;
  if (file.empty()) return 0;
  auto* block = static_cast<uint8_t*>(std::malloc(file.size()));
  if (!block) CRITICAL_ERROR("Failed to allocate %d bytes\n", static_cast<int>(file.size()));
  std::memcpy(block, file.data(), file.size());
  *buffer = block;
  return static_cast<int>(file.size());
}

// ---------------------------------------------------------------------------
// Screenshots

namespace {

struct JpegErrorJump {
  jpeg_error_mgr mgr;
  jmp_buf jump;
};

// libjpeg's own error exit ends the process; a screenshot that cannot be
// written must not end the game.
void jpeg_error_exit_jump(j_common_ptr cinfo) {
  char message[JMSG_LENGTH_MAX];
  (*cinfo->err->format_message)(cinfo, message);
  std::printf("JPEG writing failed: %s\n", message);
  std::longjmp(reinterpret_cast<JpegErrorJump*>(cinfo->err)->jump, 1);
}

void no_clip(int* x, int* y, int* w, int* h) {
  if (x) *x = 0;
  if (y) *y = 0;
  if (w) *w = 0;
  if (h) *h = 0;
}

int no_screen(int, int, int, int, uint8_t*) { return 0; }

GrGetClipFn g_get_clip = no_clip;
GrReadScreenFn g_read_screen = no_screen;

}  // namespace

void gr_print_screen_set_hooks(GrGetClipFn get_clip, GrReadScreenFn read_screen) {
  g_get_clip = get_clip ? get_clip : no_clip;
  g_read_screen = read_screen ? read_screen : no_screen;
}

bool jpeg_write_file(const char* name, const uint8_t* pixels, int width, int height) {
  if (!name || !pixels || width < 1 || height < 1) return false;
  FILE* f = std::fopen(name, "wb");
  if (!f) return false;
  auto* rows = static_cast<JSAMPROW*>(std::malloc(sizeof(JSAMPROW) * static_cast<size_t>(height)));
  if (!rows) {
    std::fclose(f);
    return false;
  }
  for (int y = 0; y < height; y++)
    rows[y] = const_cast<JSAMPROW>(pixels + static_cast<size_t>(y) * static_cast<size_t>(width) * 3);

  jpeg_compress_struct cinfo;
  JpegErrorJump err;
  cinfo.err = jpeg_std_error(&err.mgr);
  err.mgr.error_exit = jpeg_error_exit_jump;
  if (setjmp(err.jump)) {
    jpeg_destroy_compress(&cinfo);
    std::fclose(f);
    std::free(rows);
    std::remove(name);
    return false;
  }
  jpeg_create_compress(&cinfo);
  jpeg_stdio_dest(&cinfo, f);
  cinfo.image_width = static_cast<JDIMENSION>(width);
  cinfo.image_height = static_cast<JDIMENSION>(height);
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  cinfo.dct_method = JDCT_FLOAT;
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height)
    jpeg_write_scanlines(&cinfo, rows + cinfo.next_scanline, cinfo.image_height - cinfo.next_scanline);
  jpeg_finish_compress(&cinfo);
  const bool ok = std::ferror(f) == 0;
  const bool closed = std::fclose(f) == 0;
  jpeg_destroy_compress(&cinfo);
  std::free(rows);
  if (!ok || !closed) {
    std::printf("JPEG writing failed: could not write %s\n", name);
    std::remove(name);
    return false;
  }
  return true;
}

bool gr_print_screen(const char* base_name, bool jpeg, int path_type) {
  if (!base_name) return false;
  int x = 0, y = 0, w = 0, h = 0;
  g_get_clip(&x, &y, &w, &h);
  if (w < 1 || h < 1) {
    std::printf("Screenshot %s skipped: there is no screen to read.\n", base_name);
    return false;
  }
  const size_t pixel_count = static_cast<size_t>(w) * static_cast<size_t>(h);
  std::vector<uint8_t> screen(pixel_count * 4);
  const int format = g_read_screen(x, y, w, h, screen.data());
  int bytes;
  if (format == 3) {
    bytes = 2;
  } else if (format == 6) {
    bytes = 3;
  } else {
    // A screen that cannot be read costs the player one screenshot, not the game.
    std::printf("The current screen mode doesn't support print screen... see your graphics guy.\n");
    return false;
  }

  if (jpeg) {
    std::vector<uint8_t> rgb;
    const uint8_t* pixels = screen.data();
    if (bytes == 2) {
      rgb.resize(pixel_count * 3);
      for (size_t i = 0; i < pixel_count; i++) {
        const int p = get_u16(&screen[i * 2]);
        rgb[i * 3] = static_cast<uint8_t>((p >> 8) & 248);
        rgb[i * 3 + 1] = static_cast<uint8_t>((p >> 3) & 252);
        rgb[i * 3 + 2] = static_cast<uint8_t>(p * 8);
      }
      pixels = rgb.data();
    } else {
      for (size_t i = 0; i < pixel_count; i++) std::swap(screen[i * 3], screen[i * 3 + 2]);
    }
    const std::string name = std::string(base_name) + ".jpg";
    const std::string path = image_io_write_path(name.c_str(), path_type);
    return jpeg_write_file(path.c_str(), pixels, w, h);
  }

  const size_t row_in = static_cast<size_t>(w) * static_cast<size_t>(bytes);
  std::vector<uint8_t> row_out(targa_compress_bound(static_cast<size_t>(w), 3));
  std::vector<uint8_t> file(TARGA_HEADER_SIZE);
  targa_fill_header(file.data(), 10, w, h, 24, 0);
  file.reserve(TARGA_HEADER_SIZE + pixel_count * 3 + static_cast<size_t>(h) * 8);
  for (int r = h - 1; r >= 0; r--) {
    const int n = targa_compress(row_out.data(), screen.data() + static_cast<size_t>(r) * row_in, 3, bytes,
                                 static_cast<int>(row_in));
    file.insert(file.end(), row_out.begin(), row_out.begin() + n);
  }
  const std::string name = std::string(base_name) + ".tga";
  if (!image_io_write_file(name.c_str(), path_type, file.data(), file.size())) {
    std::printf("Screenshot %s could not be written.\n", name.c_str());
    return false;
  }
  return true;
}
