// Reads camera tracks one after another from arbitrary bytes, as a cutscene
// stream holds them, with an offset from the first byte, and evaluates each
// track that reads at times around and beyond it.
#include <cstdint>
#include <cstring>
#include <initializer_list>

#include "levelscripts/camera_track.h"
#include "quarn/vfile/readstream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > (1 << 20)) return 0;
  const float offset = static_cast<float>(static_cast<int8_t>(data[0])) / 16.0f;
  ReadStream rs;
  rs.open_memory(data + 1, static_cast<int>(size - 1));
  campath_release_keys();
  static CampathTrack tracks[8];
  for (CampathTrack& t : tracks) {
    if (!t.campath_read(rs, offset)) break;
    for (float at : {-1e30f, t.start, 0.5f * (t.start + t.end), t.end, 1e30f}) t.evaluate_at(at);
  }
  campath_release_keys();
  return 0;
}
