// Writer of .vf bitmap fonts.
#include "tools/writers/vf_writer.h"

#include <algorithm>
#include <cstdio>

#include "tools/writers/byte_put.h"

std::vector<uint8_t> vf_build(const VfWriterFont& font) {
  std::vector<VfWriterKern> kerns = font.kerns;
  std::sort(kerns.begin(), kerns.end(), [](const VfWriterKern& a, const VfWriterKern& b) {
    return a.first != b.first ? a.first < b.first : a.second < b.second;
  });
  const int count = static_cast<int>(font.glyphs.size());
  int pixel_size = 0;
  for (const auto& g : font.glyphs) pixel_size += static_cast<int>(g.pixels.size());

  std::vector<uint8_t> out;
  put_u32(out, font.id);
  put_u32(out, font.version);
  if (font.version >= 1) put_u32(out, font.kind);
  put_u32(out, count);
  put_u32(out, font.first_char);
  put_u32(out, font.default_advance);
  put_u32(out, font.height);
  put_u32(out, static_cast<uint32_t>(kerns.size()));
  if (font.version == 0) {
    put_u32(out, 0);
    put_u32(out, 0);
  }
  put_u32(out, pixel_size);
  for (const auto& k : kerns) {
    out.push_back(static_cast<uint8_t>(k.first - font.first_char));
    out.push_back(static_cast<uint8_t>(k.second - font.first_char));
    out.push_back(static_cast<uint8_t>(static_cast<int8_t>(k.offset)));
  }
  int offset = 0;
  for (int i = 0; i < count; i++) {
    const auto& g = font.glyphs[i];
    const int code = font.first_char + i;
    int first = -1, n = 0;
    for (int k = 0; k < static_cast<int>(kerns.size()); k++) {
      if (kerns[k].first != code) continue;
      if (first < 0) first = k;
      n++;
    }
    put_u32(out, g.advance);
    put_u32(out, g.width);
    put_u32(out, offset);
    put_u16(out, static_cast<uint16_t>(first));
    put_u16(out, static_cast<uint16_t>(n));
    offset += static_cast<int>(g.pixels.size());
  }
  for (const auto& g : font.glyphs) out.insert(out.end(), g.pixels.begin(), g.pixels.end());
  return out;
}

bool vf_write_file(const std::string& path, const VfWriterFont& font) {
  const std::vector<uint8_t> bytes = vf_build(font);
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) {
    std::fprintf(stderr, "vf_write_file: cannot create %s\n", path.c_str());
    return false;
  }
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  if (std::fclose(f) != 0 || !ok) {
    std::fprintf(stderr, "vf_write_file: cannot write %s\n", path.c_str());
    return false;
  }
  return true;
}
