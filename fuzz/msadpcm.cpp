// Decodes arbitrary MS-ADPCM blocks under an arbitrary format: the first
// bytes give channels, block size, samples per block and coefficients, the
// rest is the data, converted into destinations of every size.
#include <cstdint>
#include <cstring>
#include <vector>

#include "quarn/platform/acm.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 8) return 0;
  WaveFormat f;
  f.tag = WAVE_FORMAT_ADPCM;
  f.channels = static_cast<uint16_t>(1 + (data[0] & 1));
  f.rate = 22050;
  f.bits = 4;
  f.block_align = static_cast<uint16_t>(data[1] | (data[2] << 8));
  int ncoef = 1 + data[3] % 8;
  f.extra_size = static_cast<uint16_t>(4 + 4 * ncoef);
  f.extra[0] = data[4];
  f.extra[1] = data[5];
  f.extra[2] = static_cast<uint8_t>(ncoef);
  f.extra[3] = 0;
  size_t at = 6;
  for (int i = 0; i < 4 * ncoef; ++i) f.extra[4 + i] = at < size ? data[at++] : 0;
  std::vector<uint8_t> src(data + (at < size ? at : size), data + size);
  MsAdpcmInfo info;
  if (!msadpcm_parse_format(f, &info)) return 0;
  std::vector<int16_t> one(static_cast<size_t>(info.samples_per_block) * info.channels);
  uint32_t n = static_cast<uint32_t>(src.size() < static_cast<size_t>(info.block_align) ? src.size() : info.block_align);
  if (n) msadpcm_decode_block(info, src.data(), n, one.data());
  WaveFormat pcm;
  pcm.channels = f.channels;
  pcm.rate = f.rate;
  pcm.bits = 16;
  AcmDriverId id = 0;
  acm_driver_enum([](AcmDriverId d, uintptr_t user, uint32_t) {
    *reinterpret_cast<AcmDriverId*>(user) = d;
    return false;
  }, reinterpret_cast<uintptr_t>(&id), 0);
  AcmDriver drv = 0;
  if (acm_driver_open(&drv, id) != 0) return 0;
  AcmStream* s = nullptr;
  if (acm_stream_open(&s, drv, f, pcm, 0) != 0) return 0;
  uint32_t dst_len = static_cast<uint32_t>((data[0] >> 1) * 977);
  std::vector<uint8_t> dst(dst_len);
  AcmStreamHeader h;
  h.src = src.data();
  h.src_length = static_cast<uint32_t>(src.size());
  h.dst = dst.data();
  h.dst_length = dst_len;
  acm_stream_prepare_header(s, &h);
  acm_stream_convert(s, &h);
  if (h.dst_used > dst_len || h.src_used > src.size()) __builtin_trap();
  acm_stream_close(s);
  return 0;
}
