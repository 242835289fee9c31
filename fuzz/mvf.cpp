// Fuzz target: the .mvf animation reader, from bytes. An animation that
// loads is evaluated across its span, the way a character poses it.
#include <cstddef>
#include <cstdint>

#include "quarn/ca/ca_internal.h"
#include "quarn/ca/skeleton.h"
#include "quarn/os/stringpool.h"
#include "quarn/vfile/readstream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Names are pooled for the life of the character system; each input
  // starts with an empty pool as a fresh start-up would.
  ca_detail::names().reset();
  ReadStream s;
  s.open_memory(data, static_cast<int>(size));
  skeleton sk("fuzz.mvf", "fuzz", 0, 0, 1);
  if (sk.read_mvf(s, nullptr, 0)) {
    volatile float sink = 0;
    vector v;
    sk.get_velocity(&v);
    const int span = sk.last_tick - sk.first_tick;
    for (int b = 0; b < sk.bone_count; ++b) {
      for (int i = 0; i <= 4; ++i) {
        const int t = sk.first_tick + static_cast<int>(static_cast<long long>(span) * i / 4);
        sink = sink + bone_track_evaluate(sk.bone_tracks[b], t).x + bone_track_rotation(sk.bone_tracks[b], t, 0).w +
               bone_track_rotation(sk.bone_tracks[b], t, 1).w;
      }
    }
    for (int m = 0; m < sk.morph_vertex_count; ++m) {
      for (int k = 0; k < sk.morph_tracks[m].key_count; ++k) sink = sink + sk.morph_tracks[m].keys[k].position.x;
    }
  }
  return 0;
}
