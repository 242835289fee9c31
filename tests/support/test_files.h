#pragma once
// Small file helpers for tests: what a program wrote, read back whole.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// The whole file as text; empty when it cannot be read.
std::string read_file(const std::string& path);
// The whole file as bytes; empty when it cannot be read.
std::vector<uint8_t> read_file_bytes(const std::filesystem::path& path);
// An empty folder of this test process's own under the test temporary
// folder (a configuration home, an installation root), made afresh.
std::string fresh_temp_dir(const std::string& name);
// The scratch folder the end-to-end runner gives the test (ORRIMUND_TEST_TMP),
// else `fallback` under the system's temporary folder.
std::filesystem::path test_scratch_root(const char* fallback);
// The demo world written afresh into `root` (with an empty "screenshots"
// folder) by the make_demo beside the game; its output goes to demo.log.
bool write_demo_world(const std::filesystem::path& root);
