// Reads arbitrary bytes as the streams of one cutscene (the first byte says
// where the second stream begins) and evaluates every track that was read.
#include <cstdint>
#include <initializer_list>
#include <utility>

#include "levelscripts/cutscene_stream.h"
#include "quarn/vfile/readstream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > (1 << 20)) return 0;
  const size_t split = 1 + (size - 1) * data[0] / 255;
  static CutsceneTracks tracks;
  tracks.count = 0;
  tracks.end_time = 0.0f;
  campath_release_keys();
  for (auto [from, to] : {std::pair<size_t, size_t>{1, split}, {split, size}}) {
    ReadStream rs;
    rs.open_memory(data + from, static_cast<int>(to - from));
    cutscene_stream_read(rs, tracks);
  }
  for (int i = 0; i < tracks.count; i++) {
    CampathTrack& t = tracks.tracks[i];
    for (float at : {-1e30f, t.start, 0.5f * (t.start + t.end), t.end, 1e30f}) t.evaluate_at(at);
  }
  campath_release_keys();
  return 0;
}
