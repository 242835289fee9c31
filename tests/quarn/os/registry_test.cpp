#include "quarn/os/registry.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/support/critical_error_trap.h"
#include "tests/support/temp_registry.h"

namespace {

struct Registry : ::testing::Test {
  TempRegistryFile registry{"osreg"};
  void SetUp() override { os_reg_set_root("Quorvane", "Orrimund Demo"); }
};

}  // namespace

TEST_F(Registry, RootAndTypedRoundTrips) {
  EXPECT_STREQ(os_reg_root(), "Software\\Quorvane\\Orrimund Demo");
  EXPECT_EQ(os_reg_write_int(nullptr, "Resolution Width", 800), 0);
  EXPECT_EQ(os_reg_write_int("Version", "Build", -5), 0);
  EXPECT_EQ(os_reg_write_string(nullptr, "Soundcard", "No Sound"), 0);
  EXPECT_EQ(os_reg_write_string(nullptr, "Empty", ""), 0);

  int v = 0;
  EXPECT_EQ(os_reg_read_int(nullptr, "resolution width", &v, 640), 0);
  EXPECT_EQ(v, 800);
  EXPECT_EQ(os_reg_read_int("VERSION", "Build", &v, 0), 0);
  EXPECT_EQ(v, -5);
  char buf[64] = "untouched";
  EXPECT_EQ(os_reg_read_string(nullptr, "Soundcard", buf, sizeof buf), 0);
  EXPECT_STREQ(buf, "No Sound");
  EXPECT_EQ(os_reg_read_string(nullptr, "Empty", buf, sizeof buf), 0);
  EXPECT_STREQ(buf, "");

  // The relative key and the absolute one name the same place.
  RegKey k;
  EXPECT_EQ(reg_open_key(REG_HKEY_CURRENT_USER, "Software\\Quorvane\\Orrimund Demo\\Version", &k), REG_OK);
  EXPECT_EQ(os_reg_read_int("HKEY_CURRENT_USER\\Software\\Quorvane\\Orrimund Demo\\Version", "Build", &v, 0), 0);
  EXPECT_EQ(v, -5);
}

TEST_F(Registry, MissingValuesGiveDefaults) {
  // Also when the file does not exist at all.
  int v = 1;
  EXPECT_EQ(os_reg_read_int(nullptr, "Never Written", &v, 640), -1);
  EXPECT_EQ(v, 640);
  char buf[16] = "keep";
  EXPECT_EQ(os_reg_read_string(nullptr, "Never Written", buf, sizeof buf), -1);
  EXPECT_STREQ(buf, "keep");
  os_reg_read_string_default(nullptr, "Never Written", buf, sizeof buf, "DirectSound");
  EXPECT_STREQ(buf, "DirectSound");
  os_reg_read_string_default("No\\Such\\Key", "x", buf, sizeof buf, "a default longer than sixteen");
  EXPECT_STREQ(buf, "a default longe");
}

TEST_F(Registry, StringsAreBoundedByBothLimits) {
  // The caller's buffer bounds the copy.
  os_reg_write_string(nullptr, "Long", "0123456789abcdef");
  char small[8];
  memset(small, 'X', sizeof small);
  EXPECT_EQ(os_reg_read_string(nullptr, "Long", small, sizeof small), 0);
  EXPECT_STREQ(small, "0123456");

  // 1023 characters read; 1024 do not.
  std::string fits(1023, 'f');
  std::string too_long(1024, 't');
  os_reg_write_string(nullptr, "Fits", fits.c_str());
  os_reg_write_string(nullptr, "TooLong", too_long.c_str());
  char big[2048];
  EXPECT_EQ(os_reg_read_string(nullptr, "Fits", big, sizeof big), 0);
  EXPECT_EQ(std::string(big), fits);
  os_reg_read_string_default(nullptr, "TooLong", big, sizeof big, "default");
  EXPECT_STREQ(big, "default");

  // A key too long to address is refused, not cut to some other key.
  std::string long_key = "Sub\\" + std::string(600, 'k');
  EXPECT_EQ(os_reg_write_string(long_key.c_str(), "V", "x"), -1);
  EXPECT_EQ(os_reg_read_string(long_key.c_str(), "V", big, sizeof big), -1);

  // Values with blanks and quotes come back whole.
  os_reg_write_string(nullptr, "Spaced", "  two  blanks \"and quotes\" ");
  EXPECT_EQ(os_reg_read_string(nullptr, "Spaced", big, sizeof big), 0);
  EXPECT_STREQ(big, "  two  blanks \"and quotes\" ");
}

TEST_F(Registry, HiveNames) {
  // A hive in lower case addresses that hive, not a key below the root.
  EXPECT_EQ(os_reg_write_int("hkey_local_machine\\Software\\Test", "V", 3), 0);
  RegKey k;
  EXPECT_EQ(reg_open_key(REG_HKEY_LOCAL_MACHINE, "Software\\Test", &k), REG_OK);
  int v;
  EXPECT_EQ(os_reg_read_int("HKEY_LOCAL_MACHINE\\software\\test", "V", &v, 0), 0);
  EXPECT_EQ(v, 3);
  // A hive name alone means the hive's top.
  EXPECT_EQ(os_reg_write_int("HKEY_USERS", "Top", 9), 0);
  EXPECT_EQ(os_reg_read_int("hkey_users", "Top", &v, 0), 0);
  EXPECT_EQ(v, 9);

  CriticalErrorTrap trap;
  for (const char* bogus : {"HKEY_NOWHERE\\Software", "hkeyx", "HKEY_CURRENT_USERS\\A"}) {
    try {
      os_reg_read_int(bogus, "V", &v, 0);
      ADD_FAILURE() << bogus;
    } catch (const CriticalErrorThrown& e) {
      EXPECT_EQ(e.text, std::string("Bogus HKEY_ string: ") + bogus);
    }
  }
}
