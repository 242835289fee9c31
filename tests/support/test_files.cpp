#include "tests/support/test_files.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include <gtest/gtest.h>
#include <unistd.h>

std::string read_file(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

std::vector<uint8_t> read_file_bytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::filesystem::path test_scratch_root(const char* fallback) {
  const char* t = std::getenv("ORRIMUND_TEST_TMP");
  return t ? std::filesystem::path(t) : std::filesystem::temp_directory_path() / fallback;
}

std::string fresh_temp_dir(const std::string& name) {
  const std::filesystem::path dir = ::testing::TempDir() + name + "_" + std::to_string(getpid());
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
  std::filesystem::create_directories(dir, ec);
  if (ec) ADD_FAILURE() << "cannot make " << dir << ": " << ec.message();
  return dir.string();
}

bool write_demo_world(const std::filesystem::path& root) {
  std::error_code ec;
  std::filesystem::remove_all(root, ec);
  std::filesystem::create_directories(root / "screenshots", ec);
  const char* bin = std::getenv("ORRIMUND_BIN_DIR");
  if (!bin) {
    ADD_FAILURE() << "ORRIMUND_BIN_DIR is not set";
    return false;
  }
  const std::string cmd = std::string(bin) + "/make_demo " + root.string() + " > " + (root / "demo.log").string() + " 2>&1";
  return std::system(cmd.c_str()) == 0;
}
