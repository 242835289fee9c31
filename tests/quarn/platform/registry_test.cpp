#include "quarn/platform/registry.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/temp_registry.h"
#include "tests/support/test_files.h"

namespace {

namespace fs = std::filesystem;

struct RegistryFile : ::testing::Test {
  // The folder "sub" is left for the registry to make.
  TempRegistryFile registry{"reglayer", "sub/registry.txt"};
  const std::string& file = registry.file();
  std::string contents() const { return read_file(file); }
  void put(const std::string& text) const {
    fs::create_directories(fs::path(file).parent_path());
    std::ofstream(file, std::ios::binary) << text;
  }
  std::string query_sz(int hive, const char* path, const char* name, int* result = nullptr) const {
    RegKey k;
    int r = reg_open_key(hive, path, &k);
    char buf[256] = {};
    uint32_t size = sizeof buf - 1;
    uint32_t type = 0;
    if (r == REG_OK) r = reg_query_value(&k, name, &type, buf, &size);
    if (result) *result = r;
    return r == REG_OK ? std::string(buf, size) : std::string("<missing>");
  }
};

}  // namespace

TEST_F(RegistryFile, ValuesRoundTripThroughTheFile) {
  RegKey k;
  ASSERT_EQ(reg_create_key(REG_HKEY_CURRENT_USER, "Software\\Quorvane\\Orrimund Demo", &k), REG_OK);
  const char* odd = "a \"quoted\" value\\with\tescapes\r\nand a second line \x01 end";
  ASSERT_EQ(reg_set_value(&k, "Odd Name=\"x\"", REG_SZ, odd, strlen(odd)), REG_OK);
  uint32_t dw = 0x80000280u;
  ASSERT_EQ(reg_set_value(&k, "Width", REG_DWORD, &dw, 4), REG_OK);
  unsigned char blob[3] = {1, 0xff, 0x20};
  ASSERT_EQ(reg_set_value(&k, "Blob", 3, blob, 3), REG_OK);
  ASSERT_EQ(reg_set_value(&k, "", REG_SZ, "", 0), REG_OK);
  reg_close_key(&k);

  // Paths and names compare without regard to case; the text is as written.
  EXPECT_EQ(query_sz(REG_HKEY_CURRENT_USER, "software\\QUORVANE\\orrimund demo\\", "odd name=\"X\""), odd);
  RegKey r;
  ASSERT_EQ(reg_open_key(REG_HKEY_CURRENT_USER, "Software\\Quorvane\\Orrimund Demo", &r), REG_OK);
  uint32_t got = 0, size = 4, type = 0;
  EXPECT_EQ(reg_query_value(&r, "WIDTH", &type, &got, &size), REG_OK);
  EXPECT_EQ(type, uint32_t{REG_DWORD});
  EXPECT_EQ(got, dw);
  unsigned char back[8];
  size = sizeof back;
  EXPECT_EQ(reg_query_value(&r, "Blob", &type, back, &size), REG_OK);
  EXPECT_EQ(type, 3u);
  ASSERT_EQ(size, 3u);
  EXPECT_EQ(memcmp(back, blob, 3), 0);
  size = 2;
  EXPECT_EQ(reg_query_value(&r, "Blob", &type, back, &size), REG_MORE_DATA);
  EXPECT_EQ(size, 3u);
  size = 0;
  EXPECT_EQ(reg_query_value(&r, "", &type, nullptr, &size), REG_OK);
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(reg_query_value(&r, "Nope", &type, back, &size), REG_NOT_FOUND);

  // Parents exist as keys of their own; other hives are separate.
  EXPECT_EQ(reg_open_key(REG_HKEY_CURRENT_USER, "Software\\Quorvane", &r), REG_OK);
  EXPECT_EQ(reg_open_key(REG_HKEY_LOCAL_MACHINE, "Software\\Quorvane", &r), REG_NOT_FOUND);
  EXPECT_EQ(reg_open_key(REG_HKEY_CURRENT_USER, "Software\\Other", &r), REG_NOT_FOUND);

  // The file is text a person can read, and no temporary file is left.
  std::string text = contents();
  EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Software\\Quorvane\\Orrimund Demo]\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\"Width\"=dword:80000280\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\"Blob\"=hex(3):01,ff,20\n"), std::string::npos) << text;
  int files = 0;
  for (auto& e : fs::directory_iterator(fs::path(file).parent_path())) {
    (void)e;
    files++;
  }
  EXPECT_EQ(files, 1);
}

TEST_F(RegistryFile, HandWrittenFileIsRead) {
  put("; settings\r\n"
      "[HKEY_CURRENT_USER\\Software\\Quorvane\\Orrimund Demo]\r\n"
      "\"CmdLineOptions\"=sz:\"-window -port 5000\"\r\n"
      "  \"Soundcard\"=sz:\"No Sound\"  \r\n"
      "\r\n"
      "[hkey_local_machine\\Software\\X]\n"
      "\"Path\"=sz:\"C:\\\\Games\"\n");
  EXPECT_EQ(query_sz(REG_HKEY_CURRENT_USER, "Software\\Quorvane\\Orrimund Demo", "CmdLineOptions"),
            "-window -port 5000");
  EXPECT_EQ(query_sz(REG_HKEY_CURRENT_USER, "Software\\Quorvane\\Orrimund Demo", "Soundcard"), "No Sound");
  EXPECT_EQ(query_sz(REG_HKEY_LOCAL_MACHINE, "software\\x", "Path"), "C:\\Games");
}

TEST_F(RegistryFile, MissingAndDamagedFilesAreEmpty) {
  int r;
  EXPECT_EQ(query_sz(REG_HKEY_CURRENT_USER, "Software", "x", &r), "<missing>");
  EXPECT_EQ(r, REG_NOT_FOUND);
  EXPECT_FALSE(fs::exists(file));  // reading creates nothing

  const char* damaged[] = {
      "\"Orphan\"=sz:\"no key above\"\n",
      "[HKEY_CURRENT_USER\\Software]\n\"A\"=sz:\"unterminated\n",
      "[HKEY_CURRENT_USER\\Software]\n\"A\"=dword:xyz\n",
      "[HKEY_NOWHERE\\Software]\n",
      "[HKEY_CURRENT_USER\\Software\n",
      "[HKEY_CURRENT_USER\\Software]\n\"A\"=hex(3):0\n",
      "[HKEY_CURRENT_USER\\Software]\n\"A\"=sz:\"bad escape \\q\"\n",
      "[HKEY_CURRENT_USER\\Software]\n\"A\" sz:\"x\"\n",
  };
  for (const char* text : damaged) {
    // The sound part after the damage is ignored as well.
    put(std::string(text) + "[HKEY_CURRENT_USER\\Software\\Good]\n\"V\"=sz:\"1\"\n");
    testing::internal::CaptureStderr();
    EXPECT_EQ(query_sz(REG_HKEY_CURRENT_USER, "Software\\Good", "V", &r), "<missing>") << text;
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("is damaged at line"), std::string::npos) << text;
    // A write starts from empty and leaves a sound file; the damaged one is
    // kept aside, not lost.
    std::string before = contents();
    RegKey k;
    testing::internal::CaptureStderr();
    ASSERT_EQ(reg_create_key(REG_HKEY_CURRENT_USER, "Software\\New", &k), REG_OK);
    ASSERT_EQ(reg_set_value(&k, "W", REG_SZ, "ok", 2), REG_OK);
    err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("the damaged one is kept as"), std::string::npos) << text;
    EXPECT_EQ(query_sz(REG_HKEY_CURRENT_USER, "Software\\New", "W"), "ok");
    EXPECT_EQ(query_sz(REG_HKEY_CURRENT_USER, "Software\\Good", "V"), "<missing>");
    std::ifstream aside(file + ".damaged", std::ios::binary);
    std::stringstream kept;
    kept << aside.rdbuf();
    EXPECT_EQ(kept.str(), before) << text;
    fs::remove(file);
    fs::remove(file + ".damaged");
  }
}

TEST_F(RegistryFile, BadArgumentsAreRefused) {
  RegKey k;
  EXPECT_EQ(reg_create_key(7, "Software", &k), REG_FAILED);
  EXPECT_EQ(reg_create_key(REG_HKEY_CURRENT_USER, "Bad\nKey", &k), REG_FAILED);
  EXPECT_EQ(reg_create_key(REG_HKEY_CURRENT_USER, std::string(600, 'k').c_str(), &k), REG_FAILED);
  EXPECT_EQ(reg_open_key(REG_HKEY_USERS, "", &k), REG_OK);  // a hive's top always exists
  EXPECT_STREQ(reg_hive_name(REG_HKEY_CLASSES_ROOT), "HKEY_CLASSES_ROOT");
  EXPECT_EQ(reg_hive_name(4), nullptr);
}

TEST(RegistryPath, DefaultsUnderTheConfigurationDirectory) {
  const char* old = getenv("XDG_CONFIG_HOME");
  std::string saved = old ? old : "";
  setenv("XDG_CONFIG_HOME", "/tmp/xdg-test", 1);
  reg_set_file_path(nullptr);
  EXPECT_STREQ(reg_file_path(), "/tmp/xdg-test/Quorvane/Orrimund Demo/registry.txt");
  if (old) setenv("XDG_CONFIG_HOME", saved.c_str(), 1); else unsetenv("XDG_CONFIG_HOME");
}
