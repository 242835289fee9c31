#pragma once
// A scratch installation for level tests: the file layer points at a fresh
// folder where levels are written by the level builder and loaded back.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Engine/s3d/s3d.h"
#include "tests/support/test_files.h"
#include "tools/writers/level_builder.h"

class LevelTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Writes the level under `name`; fails the test when it cannot.
  void write(LevelBuilder& b, const char* name);
  // Loads `name` into the global level; the load's return value.
  int load(const char* name);
  std::vector<uint8_t> bytes(const char* name);
  void put_bytes(const char* name, const std::vector<uint8_t>& data);

  std::string dir_;
  int type_ = -1;
};
