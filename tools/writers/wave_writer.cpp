#include "tools/writers/wave_writer.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "tools/writers/byte_put.h"

namespace {

void tag(std::vector<uint8_t>& o, const char* t) { o.insert(o.end(), t, t + 4); }

std::vector<uint8_t> riff(const std::vector<uint8_t>& fmt, const std::vector<uint8_t>& data) {
  std::vector<uint8_t> o;
  tag(o, "RIFF");
  put_u32(o, static_cast<uint32_t>(4 + 8 + fmt.size() + 8 + data.size() + (data.size() & 1)));
  tag(o, "WAVE");
  tag(o, "fmt ");
  put_u32(o, static_cast<uint32_t>(fmt.size()));
  o.insert(o.end(), fmt.begin(), fmt.end());
  tag(o, "data");
  put_u32(o, static_cast<uint32_t>(data.size()));
  o.insert(o.end(), data.begin(), data.end());
  if (data.size() & 1) o.push_back(0);
  return o;
}

const int kCoef[7][2] = {{256, 0}, {512, -256}, {0, 0}, {192, 64}, {240, 0}, {460, -208}, {392, -232}};
const int kAdapt[16] = {230, 230, 230, 230, 307, 409, 512, 614, 768, 614, 512, 409, 307, 230, 230, 230};

struct EncState {
  int s1, s2, delta, pred;
};

// Encodes one channel's samples of a block with one predictor; returns the
// squared error and fills the nibbles.
double encode_channel(const int16_t* x, int n, int stride, int pred, int delta0,
                      std::vector<uint8_t>* nibbles) {
  EncState s{x[stride], x[0], delta0, pred};
  double err = 0;
  if (nibbles) nibbles->clear();
  for (int i = 2; i < n; ++i) {
    int p = (s.s1 * kCoef[pred][0] + s.s2 * kCoef[pred][1]) >> 8;
    int want = x[i * stride];
    int e = want - p;
    int q = static_cast<int>(std::lround(static_cast<double>(e) / s.delta));
    if (q > 7) q = 7;
    if (q < -8) q = -8;
    int v = p + q * s.delta;
    if (v > 32767) v = 32767;
    if (v < -32768) v = -32768;
    err += static_cast<double>(want - v) * (want - v);
    int nib = q & 0x0f;
    if (nibbles) nibbles->push_back(static_cast<uint8_t>(nib));
    s.s2 = s.s1;
    s.s1 = v;
    s.delta = (kAdapt[nib] * s.delta) >> 8;
    if (s.delta < 16) s.delta = 16;
  }
  return err;
}

}  // namespace

std::vector<uint8_t> wave_build_pcm(const std::vector<int16_t>& samples, int channels, int rate,
                                    int bits) {
  std::vector<uint8_t> fmt;
  int align = channels * bits / 8;
  put_u16(fmt, 1);
  put_u16(fmt, static_cast<uint16_t>(channels));
  put_u32(fmt, static_cast<uint32_t>(rate));
  put_u32(fmt, static_cast<uint32_t>(rate * align));
  put_u16(fmt, static_cast<uint16_t>(align));
  put_u16(fmt, static_cast<uint16_t>(bits));
  std::vector<uint8_t> data;
  for (int16_t s : samples) {
    if (bits == 8)
      data.push_back(static_cast<uint8_t>((s >> 8) + 128));
    else
      put_u16(data, static_cast<uint16_t>(s));
  }
  return riff(fmt, data);
}

std::vector<uint8_t> wave_build_msadpcm(const std::vector<int16_t>& samples, int channels,
                                        int rate, int block_align) {
  int spb = (block_align - 7 * channels) * 2 / channels + 2;
  std::vector<uint8_t> fmt;
  put_u16(fmt, 2);
  put_u16(fmt, static_cast<uint16_t>(channels));
  put_u32(fmt, static_cast<uint32_t>(rate));
  put_u32(fmt, static_cast<uint32_t>(static_cast<int64_t>(rate) * block_align / spb));
  put_u16(fmt, static_cast<uint16_t>(block_align));
  put_u16(fmt, 4);
  put_u16(fmt, 32);
  put_u16(fmt, static_cast<uint16_t>(spb));
  put_u16(fmt, 7);
  for (auto& c : kCoef) {
    put_u16(fmt, static_cast<uint16_t>(c[0]));
    put_u16(fmt, static_cast<uint16_t>(c[1]));
  }
  size_t frames = samples.size() / static_cast<size_t>(channels);
  std::vector<uint8_t> data;
  std::vector<int16_t> block(static_cast<size_t>(spb * channels));
  for (size_t at = 0; at < frames; at += static_cast<size_t>(spb)) {
    for (int i = 0; i < spb * channels; ++i) {
      size_t src = at * channels + static_cast<size_t>(i);
      block[static_cast<size_t>(i)] = src < samples.size() ? samples[src] : 0;
    }
    int preds[2] = {0, 0}, deltas[2] = {16, 16};
    std::vector<uint8_t> nib[2];
    for (int c = 0; c < channels; ++c) {
      int d = std::abs(block[static_cast<size_t>(2 * channels + c)] - block[static_cast<size_t>(channels + c)]);
      deltas[c] = d / 4 < 16 ? 16 : d / 4;
      double best = -1;
      for (int p = 0; p < 7; ++p) {
        double e = encode_channel(block.data() + c, spb, channels, p, deltas[c], nullptr);
        if (best < 0 || e < best) {
          best = e;
          preds[c] = p;
        }
      }
      encode_channel(block.data() + c, spb, channels, preds[c], deltas[c], &nib[c]);
    }
    std::vector<uint8_t> b;
    for (int c = 0; c < channels; ++c) b.push_back(static_cast<uint8_t>(preds[c]));
    for (int c = 0; c < channels; ++c) put_u16(b, static_cast<uint16_t>(deltas[c]));
    for (int c = 0; c < channels; ++c) put_u16(b, static_cast<uint16_t>(block[static_cast<size_t>(channels + c)]));
    for (int c = 0; c < channels; ++c) put_u16(b, static_cast<uint16_t>(block[static_cast<size_t>(c)]));
    std::vector<uint8_t> all;
    for (size_t i = 0; i < nib[0].size(); ++i)
      for (int c = 0; c < channels; ++c) all.push_back(nib[c][i]);
    for (size_t i = 0; i + 1 < all.size(); i += 2) b.push_back(static_cast<uint8_t>((all[i] << 4) | all[i + 1]));
    if (all.size() & 1) b.push_back(static_cast<uint8_t>(all.back() << 4));
    b.resize(static_cast<size_t>(block_align), 0);
    data.insert(data.end(), b.begin(), b.end());
  }
  // A fact chunk is optional for readers; the sample count is in the blocks.
  return riff(fmt, data);
}

bool wave_write_file(const std::string& path, const std::vector<uint8_t>& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

std::vector<int16_t> wave_tone(int rate, int channels, double seconds, double hz, double amp) {
  size_t n = static_cast<size_t>(rate * seconds);
  std::vector<int16_t> out(n * static_cast<size_t>(channels));
  for (size_t i = 0; i < n; ++i) {
    double v = amp * 32767.0 * std::sin(2.0 * M_PI * hz * static_cast<double>(i) / rate);
    for (int c = 0; c < channels; ++c) out[i * channels + c] = static_cast<int16_t>(std::lround(v));
  }
  return out;
}

std::vector<int16_t> wave_noise(int rate, int channels, double seconds, double amp, uint32_t seed) {
  size_t n = static_cast<size_t>(rate * seconds) * static_cast<size_t>(channels);
  std::vector<int16_t> out(n);
  uint32_t x = seed ? seed : 1;
  for (size_t i = 0; i < n; ++i) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    out[i] = static_cast<int16_t>(std::lround(amp * (static_cast<int32_t>(x & 0xffff) - 32768)));
  }
  return out;
}

std::vector<int16_t> wave_melody(int rate, int channels, double seconds, double amp) {
  static const double kNotes[] = {220.0, 261.63, 329.63, 392.0, 329.63, 261.63, 293.66, 246.94};
  size_t n = static_cast<size_t>(rate * seconds);
  size_t note_len = static_cast<size_t>(rate / 4);
  std::vector<int16_t> out(n * static_cast<size_t>(channels));
  for (size_t i = 0; i < n; ++i) {
    size_t k = (i / note_len) % 8;
    double t = static_cast<double>(i % note_len) / static_cast<double>(note_len);
    double env = std::min(1.0, std::min(t * 20.0, (1.0 - t) * 20.0));
    double v = amp * env * 32767.0 * std::sin(2.0 * M_PI * kNotes[k] * static_cast<double>(i) / rate);
    for (int c = 0; c < channels; ++c) out[i * channels + c] = static_cast<int16_t>(std::lround(v));
  }
  return out;
}
