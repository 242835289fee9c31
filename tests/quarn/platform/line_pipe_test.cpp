#include "quarn/platform/line_pipe.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/support/test_files.h"

namespace {

struct Lines {
  std::vector<std::string> got;
  int too_long = 0;
};

void collect(const char* line, void* user) {
  auto* l = static_cast<Lines*>(user);
  if (line) l->got.emplace_back(line);
  else l->too_long++;
}

// Writes like a shell's `echo ... > pipe`: open, write, close.
void write_once(const std::string& path, const std::string& bytes) {
  int fd = open(path.c_str(), O_WRONLY | O_NONBLOCK);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  close(fd);
}

TEST(LinePipe, WholeLinesFromSeveralWritersInOrderAndPartialLinesWait) {
  std::string path = fresh_temp_dir("line_pipe") + "/console.fifo";
  ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
  LinePipe* pipe = line_pipe_open(path.c_str());
  ASSERT_NE(pipe, nullptr);
  Lines l;
  // Nothing written yet: the poll returns at once.
  EXPECT_EQ(line_pipe_poll(pipe, 254, collect, &l), 0);

  write_once(path, "first\r\nsecond\nthi");
  EXPECT_EQ(line_pipe_poll(pipe, 254, collect, &l), 2);
  // The first writer has closed; the pipe still answers without waiting.
  EXPECT_EQ(line_pipe_poll(pipe, 254, collect, &l), 0);
  write_once(path, "rd\n\n");
  EXPECT_EQ(line_pipe_poll(pipe, 254, collect, &l), 2);
  EXPECT_EQ(l.got, (std::vector<std::string>{"first", "second", "third", ""}));
  line_pipe_close(pipe);
}

TEST(LinePipe, OverLongLineIsDroppedWholeAndTheNextOneRuns) {
  std::string path = fresh_temp_dir("line_pipe") + "/console.fifo";
  ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
  LinePipe* pipe = line_pipe_open(path.c_str());
  ASSERT_NE(pipe, nullptr);
  Lines l;
  write_once(path, std::string(10, 'a') + "\n" + std::string(11, 'b') + "\n" + std::string(3000, 'c') +
                       "\nafter\n");
  EXPECT_EQ(line_pipe_poll(pipe, 10, collect, &l), 4);
  EXPECT_EQ(l.got, (std::vector<std::string>{std::string(10, 'a'), "after"}));
  EXPECT_EQ(l.too_long, 2);
  line_pipe_close(pipe);
}

TEST(LinePipe, MissingPathOpensNothing) {
  EXPECT_EQ(line_pipe_open((fresh_temp_dir("line_pipe") + "/nothing-here").c_str()), nullptr);
  EXPECT_EQ(line_pipe_open(""), nullptr);
  EXPECT_EQ(line_pipe_poll(nullptr, 10, collect, nullptr), 0);
}

}  // namespace
