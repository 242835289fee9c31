#include "tools/writers/cutscene_writer.h"

#include <cstdio>
#include <initializer_list>

#include "tools/writers/byte_put.h"

std::vector<uint8_t> cutscene_stream_bytes(const std::vector<CscTrack>& tracks, uint32_t version) {
  std::vector<uint8_t> out;
  put_u32(out, 0x52435343);
  put_u32(out, version);
  put_f32(out, 0.0f);
  put_f32(out, 0.0f);
  put_u32(out, static_cast<uint32_t>(tracks.size()));
  for (const CscTrack& t : tracks) {
    put_f32(out, t.start);
    put_f32(out, t.end);
    put_f32(out, t.third);
    put_u16(out, static_cast<uint16_t>(t.positions.size()));
    for (const CscPositionKey& k : t.positions) {
      put_u32(out, static_cast<uint32_t>(k.tick));
      for (const float* v : {k.value, k.in_control, k.out_control})
        for (int i = 0; i < 3; i++) put_f32(out, v[i]);
    }
    put_u16(out, static_cast<uint16_t>(t.rotations.size()));
    for (const CscRotationKey& k : t.rotations) {
      put_u32(out, static_cast<uint32_t>(k.tick));
      for (float f : k.q) put_f32(out, f);
      for (float f : {k.tension, k.continuity, k.bias, k.ease_to, k.ease_from}) put_f32(out, f);
    }
  }
  return out;
}

bool cutscene_stream_write_file(const std::string& path, const std::vector<CscTrack>& tracks) {
  const std::vector<uint8_t> bytes = cutscene_stream_bytes(tracks);
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}
