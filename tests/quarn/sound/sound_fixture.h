#pragma once
// The output layer on OpenAL's loopback device: what it mixes is rendered
// into memory and measured here.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "quarn/os/timer.h"
#include "quarn/platform/mmtimer.h"
#include "quarn/sound/ds.h"
#include "tests/support/test_files.h"
#include "tools/writers/wave_writer.h"

constexpr int kRate = 44100;

struct Rendered {
  std::vector<float> l, r;
  double rms_l(size_t from, size_t to) const { return rms(l, from, to); }
  double rms_r(size_t from, size_t to) const { return rms(r, from, to); }
  static double rms(const std::vector<float>& v, size_t from, size_t to) {
    double s = 0;
    to = std::min(to, v.size());
    if (to <= from) return 0;
    for (size_t i = from; i < to; ++i) s += static_cast<double>(v[i]) * v[i];
    return std::sqrt(s / static_cast<double>(to - from));
  }
};

inline Rendered render(int frames) {
  std::vector<float> buf(static_cast<size_t>(frames) * 2);
  ds_platform_render(buf.data(), frames);
  Rendered r;
  r.l.resize(static_cast<size_t>(frames));
  r.r.resize(static_cast<size_t>(frames));
  for (int i = 0; i < frames; ++i) {
    r.l[static_cast<size_t>(i)] = buf[static_cast<size_t>(2 * i)];
    r.r[static_cast<size_t>(i)] = buf[static_cast<size_t>(2 * i + 1)];
  }
  return r;
}

class SoundOutput : public ::testing::Test {
 protected:
  void SetUp() override { start(true, true); }
  void TearDown() override {
    ds_close();
    ds_platform_use_loopback(0);
    mm_timer_set_manual(false);
  }
  void start(bool want_3d, bool want_eax) {
    dir_ = fresh_temp_dir("sound_out");
    ds_platform_use_loopback(kRate);
    mm_timer_set_manual(true);
    ASSERT_EQ(ds_init(nullptr, kRate, 16, 2, want_3d, want_eax, false), 0);
  }
  std::string write(const std::string& name, const std::vector<uint8_t>& bytes) {
    std::string p = dir_ + "/" + name;
    EXPECT_TRUE(wave_write_file(p, bytes));
    return p;
  }
  int load(const std::string& name, const std::vector<uint8_t>& bytes, bool stream = false,
           int category = 0) {
    std::string p = write(name, bytes);
    return ds_load(name.c_str(), p.c_str(), 0, category, stream);
  }
  std::string dir_;
};
