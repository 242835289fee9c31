#pragma once
// Cutscene data streams (".csc"): camera tracks behind the stream header.
#include <cstdint>
#include <string>
#include <vector>

struct CscPositionKey {
  int32_t tick;  // 4,800 a second
  float value[3], in_control[3], out_control[3];
};
struct CscRotationKey {
  int32_t tick;
  float q[4];  // x, y, z, w
  float tension = 0, continuity = 0, bias = 0, ease_to = 0, ease_from = 0;
};
struct CscTrack {
  float start, end, third = 0.59f;
  std::vector<CscPositionKey> positions;
  std::vector<CscRotationKey> rotations;
};

std::vector<uint8_t> cutscene_stream_bytes(const std::vector<CscTrack>& tracks, uint32_t version = 0x20000);
bool cutscene_stream_write_file(const std::string& path, const std::vector<CscTrack>& tracks);
