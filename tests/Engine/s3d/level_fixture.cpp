#include "tests/Engine/s3d/level_fixture.h"

#include <cstdio>
#include <filesystem>

#include "Engine/s3d/level_objects.h"
#include "quarn/vfile/vfile.h"

void LevelTest::SetUp() {
  dir_ = fresh_temp_dir("levels");
  vfile_set_root(dir_.c_str(), false);
  type_ = vfile_add_path_type("", ".s3d .tga");
  S3d_load_lightmaps = true;
  level_two_stage_reset();
  level_set_services(LevelServices{});
}

void LevelTest::TearDown() {
  s3d_unload(&Level);
  vfile_remove_path_type(type_);
}

void LevelTest::write(LevelBuilder& b, const char* name) { ASSERT_TRUE(b.write(name, type_)) << name; }

int LevelTest::load(const char* name) { return s3d_load(name, &Level); }

std::vector<uint8_t> LevelTest::bytes(const char* name) { return read_file_bytes(dir_ + "/" + name); }

void LevelTest::put_bytes(const char* name, const std::vector<uint8_t>& data) {
  FILE* f = std::fopen((dir_ + "/" + name).c_str(), "wb");
  ASSERT_NE(f, nullptr);
  if (!data.empty()) std::fwrite(data.data(), 1, data.size(), f);
  std::fclose(f);
}
