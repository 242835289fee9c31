#include "quarn/os/textfile.h"
#include "tests/support/test_files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

std::string temp_file(const std::string& contents) {
  char name[] = "/tmp/textfile_testXXXXXX";
  int fd = mkstemp(name);
  EXPECT_GE(fd, 0);
  if (!contents.empty()) {
    EXPECT_EQ(write(fd, contents.data(), contents.size()), static_cast<ssize_t>(contents.size()));
  }
  close(fd);
  return name;
}

std::vector<std::string> read_all(const std::string& path, int buffer_size, int line_size, unsigned* conv = nullptr) {
  TextFile tf;
  std::vector<std::string> lines;
  if (tf.open_read(path.c_str(), buffer_size) != 0) {
    lines.push_back("<open failed>");
    return lines;
  }
  if (conv) *conv = tf.line_convention();
  std::vector<char> buf(static_cast<size_t>(line_size));
  while (tf.read_line(buf.data(), line_size)) {
    lines.emplace_back(buf.data());
    if (lines.size() > 10000) break;
  }
  return lines;
}

}  // namespace

TEST(TextFile, DetectsLineEndsAndSplitsLines) {
  using V = std::vector<std::string>;
  struct Case {
    const char* name;
    std::string data;
    unsigned conv;
    V lines;
  } cases[] = {
      {"crlf", "ab\r\ncd", 0, V{"ab", "cd"}},
      {"crlf keeps a lone cr", "a\r\nb\rc\r\n", 0, V{"a", "b\rc"}},
      {"cr apart from lf is mixed", "a\rb\r\nc\r\n", TextFile::TF_CR | TextFile::TF_LF, V{"a", "b", "", "c", ""}},
      {"lf", "x\ny\n", TextFile::TF_LF, V{"x", "y"}},
      {"cr", "p\rq\r", TextFile::TF_CR, V{"p", "q"}},
      {"mixed", "one\ntwo\r\nthree", TextFile::TF_CR | TextFile::TF_LF, V{"one", "two", "", "three"}},
      {"no line end", "single", TextFile::TF_CR | TextFile::TF_LF, V{"single"}},
  };
  for (const Case& c : cases) {
    std::string path = temp_file(c.data);
    unsigned conv = 99;
    EXPECT_EQ(read_all(path, 4096, 256, &conv), c.lines) << c.name;
    EXPECT_EQ(conv, c.conv) << c.name;
    unlink(path.c_str());
  }
}

TEST(TextFile, LfConventionKeepsTrailingCr) {
  // The convention comes from the first fill: a 4-byte buffer sees "ab\nc",
  // an LF without a CR, so the later CR stays in the line's text.
  std::string path = temp_file("ab\ncd\r\n");
  unsigned conv;
  EXPECT_EQ(read_all(path, 4, 64, &conv), (std::vector<std::string>{"ab", "cd\r"}));
  EXPECT_EQ(conv, static_cast<unsigned>(TextFile::TF_LF));
  unlink(path.c_str());
}

TEST(TextFile, SmallBuffersAndLongLinesGiveTheSameText) {
  std::string text;
  for (int i = 0; i < 50; ++i) {
    text += "line number " + std::to_string(i) + " with some words\r\n";
  }
  std::string path = temp_file(text);
  std::vector<std::string> whole = read_all(path, 8192, 256);
  ASSERT_EQ(whole.size(), 50u);
  EXPECT_EQ(whole[7], "line number 7 with some words");
  // A 40-byte buffer (room for the first line end, which fixes the
  // convention) splits CR LF pairs across refills; lines must not change.
  EXPECT_EQ(read_all(path, 40, 256), whole);
  EXPECT_EQ(read_all(path, 37, 256), whole);
  // A line longer than the caller's buffer continues on the next call.
  std::vector<std::string> parts = read_all(path, 8192, 11);
  std::string joined;
  for (const std::string& p : parts) joined += p;
  std::string expect;
  for (const std::string& w : whole) expect += w;
  EXPECT_EQ(joined, expect);
  unlink(path.c_str());
}

TEST(TextFile, BufferLargerThanFileSetsEofAtOnce) {
  std::string path = temp_file("ab\r\ncd\r\n");
  TextFile tf;
  ASSERT_EQ(tf.open_read(path.c_str(), 4096), 0);
  EXPECT_TRUE(tf.flags() & TextFile::TF_EOF);
  char buf[16];
  EXPECT_EQ(tf.read_line(buf, 1), nullptr);  // no room for a character: no progress possible
  EXPECT_STREQ(buf, "");
  EXPECT_STREQ(tf.read_line(buf, sizeof buf), "ab");
  EXPECT_STREQ(tf.read_line(buf, sizeof buf), "cd");
  EXPECT_EQ(tf.read_line(buf, sizeof buf), nullptr);
  unlink(path.c_str());
}

TEST(TextFile, EmptyMissingAndUnreadableFiles) {
  std::string empty = temp_file("");
  TextFile tf;
  ASSERT_EQ(tf.open_read(empty.c_str(), 64), 0);  // opens, yields no lines
  char buf[8];
  EXPECT_EQ(tf.read_line(buf, sizeof buf), nullptr);
  tf.close();
  unlink(empty.c_str());
  EXPECT_EQ(tf.open_read("/nonexistent/dir/file.vcs", 64), 1);
  EXPECT_FALSE(tf.is_open());
  EXPECT_EQ(tf.open_read("/tmp", 64), 1);  // a directory cannot be read
  EXPECT_FALSE(tf.is_open());
  EXPECT_EQ(textfile_open_read("/nonexistent/x", 64), nullptr);
}

TEST(TextFile, WritesCrLfEverywhere) {
  std::string path = temp_file("");
  TextFile tf;
  ASSERT_EQ(tf.open_write(path.c_str(), false, 1024), 0);
  EXPECT_EQ(tf.write_text("x\ny\r\nz"), 0);
  EXPECT_EQ(tf.put_char('\n'), 0);
  EXPECT_EQ(tf.printf("%d\r", 7), 0);
  tf.close();
  EXPECT_EQ(read_file(path), "x\r\ny\r\nz\r\n7\r\n");
  TextFile* app = textfile_open_write(path.c_str(), true, 0);
  ASSERT_NE(app, nullptr);
  app->write_text("more");
  delete app;
  EXPECT_EQ(read_file(path), "x\r\ny\r\nz\r\n7\r\nmore");
  unlink(path.c_str());
}
