#pragma once
// A scratch installation root per test, with the file layer reset around it.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "quarn/vfile/packfile/file_packfile.h"
#include "quarn/vfile/vfile.h"
#include "tools/writers/packfile_writer.h"

class VfileTest : public ::testing::Test {
 protected:
  std::string root;

  void SetUp() override {
    vfile_shutdown();
    char t[] = "/tmp/vfile_testXXXXXX";
    ASSERT_NE(mkdtemp(t), nullptr);
    root = t;
    vfile_set_root(root.c_str(), false);
  }

  void TearDown() override {
    vfile_shutdown();
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
  }

  // rel uses slashes, below the root; directories are made as needed.
  void put(const std::string& rel, const std::string& contents) {
    std::filesystem::path p = std::filesystem::path(root) / rel;
    std::filesystem::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary);
    out << contents;
  }

  std::string get(const std::string& rel) {
    std::ifstream in(std::filesystem::path(root) / rel, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  bool exists(const std::string& rel) { return std::filesystem::exists(std::filesystem::path(root) / rel); }

  static PackfileMember member(const std::string& name, const std::string& data) {
    return PackfileMember{name, std::vector<uint8_t>(data.begin(), data.end())};
  }

  void pack(const std::string& name, const std::vector<PackfileMember>& members) {
    std::string err;
    ASSERT_TRUE(packfile_write(root + "/" + name, members, &err)) << err;
  }

  void put_bytes(const std::string& rel, const std::vector<uint8_t>& bytes) {
    put(rel, std::string(bytes.begin(), bytes.end()));
  }

  // Reads a whole file through the layer.
  std::string slurp(const char* name, int type) {
    FileHandle fh;
    if (fh.open(name, VF_READ, type) != 0) {
      return "<not opened>";
    }
    std::string s(static_cast<size_t>(fh.size()), '\0');
    if (!s.empty()) {
      fh.read(s.data(), static_cast<int>(s.size()));
    }
    return s;
  }

  static std::string captured_stdout() {
    std::fflush(stdout);
    return ::testing::internal::GetCapturedStdout();
  }
};
