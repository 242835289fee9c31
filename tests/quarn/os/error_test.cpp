#include <gtest/gtest.h>

#include "quarn/os/error.h"
#include "tests/support/critical_error_trap.h"

TEST(CriticalError, FormatsTheGamesMessage) {
  CriticalErrorTrap trap;
  try {
    critical_error("memory.cpp", 42, "Failed to allocate 12 bytes\n");
    FAIL() << "critical_error returned";
  } catch (const CriticalErrorThrown& e) {
    EXPECT_EQ(e.file, "memory.cpp");
    EXPECT_EQ(e.line, 42);
    EXPECT_STREQ(e.what(),
                 "Error: Failed to allocate 12 bytes\n\nFile: memory.cpp - Line: 42\n\n"
                 "A critical error has occurred and the program cannot continue.\n"
                 "Press OK to exit the program\n");
  }
}

TEST(CriticalErrorDeathTest, WithoutHandlerPrintsAndExitsWithOne) {
  EXPECT_EXIT(critical_error("a.cpp", 7, "boom"), ::testing::ExitedWithCode(1),
              "Error: boom\nFile: a.cpp - Line: 7");
}
