#include "tools/writers/image_writers.h"

#include <cstdio>
#include <cstring>
#include <filesystem>

#include "tools/writers/byte_put.h"

bool image_write_bytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::error_code ec;
  const auto parent = std::filesystem::path(path).parent_path();
  if (!parent.empty()) std::filesystem::create_directories(parent, ec);
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    return false;
  }
  const bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  const bool closed = std::fclose(f) == 0;
  if (!ok || !closed) std::fprintf(stderr, "cannot write %s\n", path.c_str());
  return ok && closed;
}

std::vector<uint8_t> tga_build(const uint8_t* pixels, int width, int height, int bits_per_pixel,
                               const TgaWriterOptions& o) {
  const int bpp = bits_per_pixel / 8;
  const int entries = static_cast<int>(o.colour_map.size() / 3);
  const bool mapped = entries > 0;
  int type = o.grey ? 3 : (mapped && bits_per_pixel == 8 ? 1 : 2);
  if (o.rle) type += 8;
  std::vector<uint8_t> out;
  out.push_back(static_cast<uint8_t>(o.id.size()));
  out.push_back(mapped ? 1 : 0);
  out.push_back(static_cast<uint8_t>(type));
  put_u16(out, 0);
  put_u16(out, entries);
  out.push_back(static_cast<uint8_t>(mapped ? o.colour_map_entry_bits : 0));
  put_u16(out, 0);
  put_u16(out, 0);
  put_u16(out, width);
  put_u16(out, height);
  out.push_back(static_cast<uint8_t>(bits_per_pixel));
  out.push_back(static_cast<uint8_t>((o.top_first ? 0x20 : 0) | (o.alpha_bits & 15)));
  out.insert(out.end(), o.id.begin(), o.id.end());
  for (int i = 0; i < entries; i++) {
    const uint8_t r = o.colour_map[i * 3], g = o.colour_map[i * 3 + 1], b = o.colour_map[i * 3 + 2];
    if (o.colour_map_entry_bits == 16 || o.colour_map_entry_bits == 15) {
      put_u16(out, ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3));
    } else {
      out.push_back(b);
      out.push_back(g);
      out.push_back(r);
      if (o.colour_map_entry_bits == 32) out.push_back(255);
    }
  }
  const size_t row_bytes = static_cast<size_t>(width) * bpp;
  for (int fr = 0; fr < height; fr++) {
    const int r = o.top_first ? fr : height - 1 - fr;
    const uint8_t* row = pixels + static_cast<size_t>(r) * row_bytes;
    if (!o.rle) {
      out.insert(out.end(), row, row + row_bytes);
      continue;
    }
    int x = 0;
    auto px = [&](int i) { return row + static_cast<size_t>(i) * bpp; };
    while (x < width) {
      int run = 1;
      while (x + run < width && run < 128 && std::memcmp(px(x + run), px(x), bpp) == 0) run++;
      if (run >= 2) {
        out.push_back(static_cast<uint8_t>(0x80 | (run - 1)));
        out.insert(out.end(), px(x), px(x) + bpp);
        x += run;
        continue;
      }
      int n = 1;
      while (x + n < width && n < 128 &&
             !(x + n + 1 < width && std::memcmp(px(x + n), px(x + n + 1), bpp) == 0))
        n++;
      out.push_back(static_cast<uint8_t>(n - 1));
      out.insert(out.end(), px(x), px(x) + static_cast<size_t>(n) * bpp);
      x += n;
    }
  }
  return out;
}

bool tga_write_file(const std::string& path, const uint8_t* pixels, int width, int height, int bits_per_pixel,
                    const TgaWriterOptions& options) {
  return image_write_bytes(path, tga_build(pixels, width, height, bits_per_pixel, options));
}

std::vector<uint8_t> image_half_size(const uint8_t* pixels, int width, int height, int bpp) {
  const int w = width / 2, h = height / 2;
  std::vector<uint8_t> out(static_cast<size_t>(w) * h * bpp);
  for (int y = 0; y < h; y++) {
    for (int x = 0; x < w; x++) {
      uint8_t* d = &out[(static_cast<size_t>(y) * w + x) * bpp];
      auto src = [&](int sx, int sy) { return pixels + (static_cast<size_t>(sy) * width + sx) * bpp; };
      if (bpp == 1 || bpp == 2) {
        std::memcpy(d, src(2 * x, 2 * y), bpp);
        continue;
      }
      for (int c = 0; c < bpp; c++) {
        const int sum = src(2 * x, 2 * y)[c] + src(2 * x + 1, 2 * y)[c] + src(2 * x, 2 * y + 1)[c] +
                        src(2 * x + 1, 2 * y + 1)[c];
        d[c] = static_cast<uint8_t>((sum + 2) / 4);
      }
    }
  }
  return out;
}

bool tga_write_with_mips(const std::string& dir, const std::string& base, const uint8_t* pixels, int width,
                         int height, int bits_per_pixel, int levels, const TgaWriterOptions& options) {
  const int bpp = bits_per_pixel / 8;
  std::vector<uint8_t> level(pixels, pixels + static_cast<size_t>(width) * height * bpp);
  int w = width, h = height;
  for (int i = 0; i < levels; i++) {
    const std::string name = i == 0 ? base + ".tga" : base + "-mip" + std::to_string(i) + ".tga";
    if (!tga_write_file(dir + "/" + name, level.data(), w, h, bits_per_pixel, options)) return false;
    if (w < 2 || h < 2) break;
    level = image_half_size(level.data(), w, h, bpp);
    w /= 2;
    h /= 2;
  }
  return true;
}

std::vector<uint8_t> pcx_build(const uint8_t* pixels, int width, int height, const uint8_t* palette,
                               int bytes_per_line, bool runs_cross_rows) {
  if (bytes_per_line < width) bytes_per_line = width;
  std::vector<uint8_t> out(128, 0);
  out[0] = 10;
  out[1] = 5;
  out[2] = 1;
  out[3] = 8;
  out[8] = static_cast<uint8_t>((width - 1) & 0xff);
  out[9] = static_cast<uint8_t>(((width - 1) >> 8) & 0xff);
  out[10] = static_cast<uint8_t>((height - 1) & 0xff);
  out[11] = static_cast<uint8_t>(((height - 1) >> 8) & 0xff);
  out[65] = 1;
  out[66] = static_cast<uint8_t>(bytes_per_line & 0xff);
  out[67] = static_cast<uint8_t>((bytes_per_line >> 8) & 0xff);
  // The values in file order: each row padded with zeros to bytes_per_line.
  std::vector<uint8_t> values;
  values.reserve(static_cast<size_t>(bytes_per_line) * height);
  for (int y = 0; y < height; y++) {
    values.insert(values.end(), pixels + static_cast<size_t>(y) * width, pixels + static_cast<size_t>(y + 1) * width);
    values.insert(values.end(), static_cast<size_t>(bytes_per_line - width), 0);
  }
  auto encode = [&](size_t begin, size_t end) {
    size_t x = begin;
    while (x < end) {
      size_t n = 1;
      while (x + n < end && n < 63 && values[x + n] == values[x]) n++;
      if (n == 1 && values[x] < 192) {
        out.push_back(values[x]);
      } else {
        out.push_back(static_cast<uint8_t>(192 + n));
        out.push_back(values[x]);
      }
      x += n;
    }
  };
  if (runs_cross_rows) {
    encode(0, values.size());
  } else {
    for (int y = 0; y < height; y++)
      encode(static_cast<size_t>(y) * bytes_per_line, static_cast<size_t>(y + 1) * bytes_per_line);
  }
  out.push_back(12);
  out.insert(out.end(), palette, palette + 768);
  return out;
}

bool pcx_write_file(const std::string& path, const uint8_t* pixels, int width, int height, const uint8_t* palette,
                    int bytes_per_line) {
  return image_write_bytes(path, pcx_build(pixels, width, height, palette, bytes_per_line));
}

std::vector<uint8_t> vbm_build(const VbmWriterHeader& h, const uint8_t* data, size_t size) {
  std::vector<uint8_t> out;
  out.insert(out.end(), {'V', 'B', 'M', ' '});
  put_u32(out, 0);
  put_u32(out, h.width);
  put_u32(out, h.height);
  put_u32(out, h.pixel_type);
  put_u32(out, h.fps);
  put_u32(out, h.frames);
  put_u32(out, h.mips_below);
  if (data) out.insert(out.end(), data, data + size);
  return out;
}

bool vbm_write_file(const std::string& path, const VbmWriterHeader& header, const uint8_t* data, size_t size) {
  return image_write_bytes(path, vbm_build(header, data, size));
}

std::vector<uint8_t> vbm_frame_with_mips(const uint8_t* pixels, int width, int height, int mips_below) {
  std::vector<uint8_t> out(pixels, pixels + static_cast<size_t>(width) * height * 2);
  std::vector<uint8_t> level = out;
  int w = width, h = height;
  for (int i = 0; i < mips_below; i++) {
    level = image_half_size(level.data(), w, h, 2);
    w /= 2;
    h /= 2;
    out.insert(out.end(), level.begin(), level.end());
  }
  return out;
}

std::vector<uint8_t> m2v_build(int width, int height, size_t size) {
  std::vector<uint8_t> out(size < 12 ? 12 : size, 0);
  out[0] = 0x00;
  out[1] = 0x00;
  out[2] = 0x01;
  out[3] = 0xb3;
  const uint32_t v = (static_cast<uint32_t>(width & 0xfff) << 20) | (static_cast<uint32_t>(height & 0xfff) << 8) | 0x13;
  out[4] = static_cast<uint8_t>(v >> 24);
  out[5] = static_cast<uint8_t>(v >> 16);
  out[6] = static_cast<uint8_t>(v >> 8);
  out[7] = static_cast<uint8_t>(v);
  return out;
}
