#include "quarn/platform/acm.h"

#include <bit>
#include <cstring>
#include <vector>

namespace {

constexpr AcmDriverId kAdpcmDriver = 0x41445043;  // the one driver we have
const int kAdapt[16] = {230, 230, 230, 230, 307, 409, 512, 614,
                        768, 614, 512, 409, 307, 230, 230, 230};

constexpr int kMaxDelta = 0x1fffff;  // 768 times this still fits an int

struct Channel {
  int pred = 0;
  int delta = 0;
  int s1 = 0, s2 = 0;
};

int16_t rd16(const uint8_t* p) { return static_cast<int16_t>(p[0] | (p[1] << 8)); }

}  // namespace

struct AcmStream {
  MsAdpcmInfo info;
  uint32_t out_block = 0;  // decoded bytes of one whole block
};

bool msadpcm_parse_format(const WaveFormat& f, MsAdpcmInfo* info) {
  if (f.tag != WAVE_FORMAT_ADPCM || f.channels < 1 || f.channels > 2 || f.bits != 4) return false;
  if (f.extra_size < 4 || f.extra_size > sizeof(f.extra)) return false;
  int spb = f.extra[0] | (f.extra[1] << 8);
  int ncoef = f.extra[2] | (f.extra[3] << 8);
  if (ncoef < 1 || ncoef > 256 || f.extra_size < 4 + 4 * ncoef) return false;
  int ch = f.channels;
  if (f.block_align < 7 * ch) return false;
  // Each block: a 7-byte header per channel holding two samples, then nibbles.
  int most = (f.block_align - 7 * ch) * 2 / ch + 2;
  if (spb < 2 || spb > most) return false;
  info->channels = ch;
  info->block_align = f.block_align;
  info->samples_per_block = spb;
  info->coef_count = ncoef;
  for (int i = 0; i < ncoef; ++i) {
    info->coef[i][0] = rd16(f.extra + 4 + i * 4);
    info->coef[i][1] = rd16(f.extra + 6 + i * 4);
  }
  return true;
}

int msadpcm_decode_block(const MsAdpcmInfo& info, const uint8_t* src, uint32_t bytes,
                         int16_t* out) {
  int ch = info.channels;
  if (ch < 1 || ch > 2 || bytes < static_cast<uint32_t>(7 * ch)) return -1;
  if (bytes > static_cast<uint32_t>(info.block_align)) bytes = static_cast<uint32_t>(info.block_align);
  Channel c[2];
  const uint8_t* p = src;
  for (int i = 0; i < ch; ++i) {
    int pred = *p++;
    if (pred >= info.coef_count) return -1;
    c[i].pred = pred;
  }
  for (int i = 0; i < ch; ++i, p += 2) c[i].delta = rd16(p);
  for (int i = 0; i < ch; ++i, p += 2) c[i].s1 = rd16(p);
  for (int i = 0; i < ch; ++i, p += 2) c[i].s2 = rd16(p);
  for (int i = 0; i < ch; ++i) out[i] = static_cast<int16_t>(c[i].s2);
  for (int i = 0; i < ch; ++i) out[ch + i] = static_cast<int16_t>(c[i].s1);
  int frames = 2;
  int nibbles_left = static_cast<int>((src + bytes) - p) * 2;
  int total = (info.samples_per_block - 2) * ch;
  if (nibbles_left > total) nibbles_left = total;
  int16_t* o = out + 2 * ch;
  // One step of a channel's predictor; kept inline so the loops below stay
  // free of per-sample channel arithmetic.
  auto step = [&info](Channel& s, int nib) -> int16_t {
    int pred = static_cast<int>((static_cast<int64_t>(s.s1) * info.coef[s.pred][0] +
                                 static_cast<int64_t>(s.s2) * info.coef[s.pred][1]) >> 8);
    int v = pred + ((nib ^ 8) - 8) * s.delta;
    v = v > 32767 ? 32767 : (v < -32768 ? -32768 : v);
    s.s2 = s.s1;
    s.s1 = v;
    int d = (kAdapt[nib] * s.delta) >> 8;
    // No real stream gets near the cap; a hostile one would overflow.
    s.delta = d < 16 ? 16 : (d > kMaxDelta ? kMaxDelta : d);
    return static_cast<int16_t>(v);
  };
  int whole = nibbles_left >> 1;
  if (ch == 1) {
    for (int i = 0; i < whole; ++i) {
      int byte = p[i];
      *o++ = step(c[0], byte >> 4);
      *o++ = step(c[0], byte & 0x0f);
    }
  } else {
    for (int i = 0; i < whole; ++i) {
      int byte = p[i];
      *o++ = step(c[0], byte >> 4);
      *o++ = step(c[1], byte & 0x0f);
    }
  }
  if (nibbles_left & 1) *o++ = step(c[0], p[whole] >> 4);
  frames += nibbles_left / ch;
  return frames;
}

uint32_t acm_get_version() { return ACM_VERSION; }

uint32_t acm_driver_enum(AcmDriverEnumCallback cb, uintptr_t user, uint32_t) {
  if (!cb) return MMSYSERR_INVALPARAM;
  cb(kAdpcmDriver, user, 0);
  return 0;
}

uint32_t acm_driver_details(AcmDriverId id, AcmDriverDetails* out) {
  if (id != kAdpcmDriver || !out) return MMSYSERR_INVALHANDLE;
  std::strcpy(out->short_name, "MS-ADPCM");
  out->support = 0;
  return 0;
}

uint32_t acm_driver_open(AcmDriver* out, AcmDriverId id) {
  if (id != kAdpcmDriver || !out) return MMSYSERR_INVALHANDLE;
  *out = kAdpcmDriver;
  return 0;
}

uint32_t acm_driver_close(AcmDriver driver) {
  return driver == kAdpcmDriver ? 0 : MMSYSERR_INVALHANDLE;
}

uint32_t acm_stream_open(AcmStream** out, AcmDriver driver, const WaveFormat& src,
                         const WaveFormat& dst, uint32_t) {
  if (!out) return MMSYSERR_INVALPARAM;
  *out = nullptr;
  if (driver != kAdpcmDriver) return MMSYSERR_INVALHANDLE;
  auto* s = new AcmStream();
  if (!msadpcm_parse_format(src, &s->info) || dst.tag != WAVE_FORMAT_PCM || dst.bits != 16 ||
      dst.channels != src.channels || dst.rate != src.rate) {
    delete s;
    return ACMERR_NOTPOSSIBLE;
  }
  s->out_block = static_cast<uint32_t>(s->info.samples_per_block * s->info.channels * 2);
  *out = s;
  return 0;
}

uint32_t acm_stream_size(AcmStream* s, uint32_t bytes, uint32_t* out, uint32_t flags) {
  if (!s || !out) return MMSYSERR_INVALHANDLE;
  uint64_t ba = static_cast<uint64_t>(s->info.block_align);
  uint64_t r;
  if (flags == ACM_STREAMSIZEF_DESTINATION) {
    // Source bytes that make at least this much PCM.
    r = (bytes + s->out_block - 1) / s->out_block * ba;
  } else {
    r = (bytes + ba - 1) / ba * s->out_block;
  }
  if (r > 0xffffffffu) return ACMERR_NOTPOSSIBLE;
  *out = static_cast<uint32_t>(r);
  return 0;
}

uint32_t acm_stream_prepare_header(AcmStream* s, AcmStreamHeader* h) {
  if (!s || !h) return MMSYSERR_INVALHANDLE;
  h->prepared = true;
  return 0;
}

uint32_t acm_stream_unprepare_header(AcmStream* s, AcmStreamHeader* h) {
  if (!s || !h) return MMSYSERR_INVALHANDLE;
  h->prepared = false;
  return 0;
}

uint32_t acm_stream_convert(AcmStream* s, AcmStreamHeader* h) {
  if (!s || !h) return MMSYSERR_INVALHANDLE;
  if (!h->prepared) return ACMERR_UNPREPARED;
  h->src_used = 0;
  h->dst_used = 0;
  const uint32_t ba = static_cast<uint32_t>(s->info.block_align);
  const uint32_t frame_bytes = static_cast<uint32_t>(s->info.channels * 2);
  int16_t block[256 * 2 * 64];
  while (h->src_used < h->src_length) {
    uint32_t left = h->src_length - h->src_used;
    uint32_t take = left < ba ? left : ba;
    if (take < static_cast<uint32_t>(7 * s->info.channels)) {
      h->src_used += take;  // a scrap too short for a header holds no sound
      break;
    }
    // Frames this block will give, to know whether it fits.
    uint32_t nib = (take - 7u * s->info.channels) * 2;
    uint32_t most = static_cast<uint32_t>((s->info.samples_per_block - 2) * s->info.channels);
    uint32_t frames = 2 + (nib < most ? nib : most) / s->info.channels;
    if (h->dst_used + frames * frame_bytes > h->dst_length) break;
    int16_t* out = block;
    std::vector<int16_t> big;
    if (static_cast<size_t>(s->info.samples_per_block) * s->info.channels > sizeof(block) / 2) {
      big.resize(static_cast<size_t>(s->info.samples_per_block) * s->info.channels);
      out = big.data();
    }
    int got = msadpcm_decode_block(s->info, h->src + h->src_used, take, out);
    if (got < 0) return ACMERR_NOTPOSSIBLE;
    uint32_t n = static_cast<uint32_t>(got) * frame_bytes;
    // PCM samples in memory, not a file record: the host order is the
    // little-endian order the buffers take.
    static_assert(std::endian::native == std::endian::little);
    std::memcpy(h->dst + h->dst_used, out, n);
    h->dst_used += n;
    h->src_used += take;
  }
  return 0;
}

uint32_t acm_stream_close(AcmStream* s) {
  if (!s) return MMSYSERR_INVALHANDLE;
  delete s;
  return 0;
}
