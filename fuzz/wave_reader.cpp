// Reads arbitrary bytes as a wave file: open, find the data, read it all in
// uneven pieces, and decode it when it claims to be MS-ADPCM. A bad file must
// be refused or read short, never read past its end.
#include <cstdint>
#include <vector>

#include "quarn/platform/acm.h"
#include "quarn/sound/stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> block(data, data + size);
  MmioFile* f = nullptr;
  WaveFormat *ff = nullptr, *bf = nullptr;
  MmioChunk riff, chunk;
  if (wave_open_memory(block.data(), static_cast<uint32_t>(block.size()), &f, &ff, &bf, &riff) != 0)
    return 0;
  if (wave_find_data(f, &chunk, &riff) == 0) {
    // The length a duration is made of: never more frames than the bytes
    // could hold (two per byte of MS-ADPCM, plus a block header's two).
    uint64_t frames = wave_frames(*ff, chunk.size);
    if (frames > 2ull * chunk.size + 2) __builtin_trap();
    std::vector<uint8_t> packed;
    uint8_t piece[777];
    uint32_t got = 0;
    while (wave_read(f, sizeof(piece), piece, &chunk, &got) == 0 && got > 0)
      packed.insert(packed.end(), piece, piece + got);
    if (ff->tag == WAVE_FORMAT_ADPCM) {
      AcmStream* s = nullptr;
      WaveFormat pcm;
      if (acm_open_stream(ff, &pcm, &s, 16) == 0) {
        int out = acm_dest_size(s, static_cast<uint32_t>(packed.size()));
        if (out > 0 && out < (64 << 20)) {
          std::vector<uint8_t> dst(static_cast<size_t>(out));
          uint32_t du = 0, su = 0;
          acm_convert(s, packed.data(), static_cast<uint32_t>(packed.size()), dst.data(),
                      static_cast<uint32_t>(dst.size()), &du, &su);
          if (du > dst.size() || su > packed.size()) __builtin_trap();
        }
        acm_close_stream(s);
      }
    }
  }
  wave_free_formats(&ff, &bf);
  wave_close(f);
  return 0;
}
