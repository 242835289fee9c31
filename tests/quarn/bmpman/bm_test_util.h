#pragma once
// Shared fixtures of the bitmap tests: image patterns and a scratch
// installation root that the file layer searches.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "quarn/vfile/vfile.h"

// w x h pixels of `bytes` bytes. With `runs`, stretches of equal pixels
// alternate with varied ones, so run-length coders use both packet kinds.
inline std::vector<uint8_t> test_pattern(int w, int h, int bytes, bool runs = false) {
  std::vector<uint8_t> out(static_cast<size_t>(w) * h * bytes);
  for (int y = 0; y < h; y++) {
    for (int x = 0; x < w; x++) {
      const int seed = runs && ((x / 7 + y) % 3 == 0) ? (y * 31 + (x / 7) * 5) : (x * 13 + y * 101 + x * y);
      for (int c = 0; c < bytes; c++)
        out[(static_cast<size_t>(y) * w + x) * bytes + c] = static_cast<uint8_t>(seed * (c + 3) + c * 17);
    }
  }
  return out;
}

// A fresh directory as the file layer's root for each test.
class TempRootTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = std::filesystem::temp_directory_path() /
           ("orrimund_bm_" + std::to_string(::getpid()) + "_" + info->test_suite_name() + "_" + info->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    root_ = dir_.string() + "/";
    vfile_set_root(root_.c_str(), false);
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  const std::string& root() const { return root_; }

 private:
  std::filesystem::path dir_;
  std::string root_;
};
