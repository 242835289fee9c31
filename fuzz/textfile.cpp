// Console script text of any bytes and line ends, read through TextFile with
// a buffer size and line size the input chooses: lines must stay inside the
// caller's buffer, and the text read must be the file's text without its
// line ends.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "quarn/os/textfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) {
    return 0;
  }
  int buffer_size = 2 + data[0] % 64;
  int line_size = 1 + data[1] % 40;  // 1 gives no line at all
  static char path[64];
  if (!path[0]) {
    std::snprintf(path, sizeof path, "/dev/shm/fuzz_textfile_%d", static_cast<int>(getpid()));
    std::atexit([] { unlink(path); });
  }
  FILE* fp = std::fopen(path, "wb");
  if (!fp) {
    return 0;
  }
  std::fwrite(data + 2, 1, size - 2, fp);
  std::fclose(fp);
  TextFile tf;
  if (tf.open_read(path, buffer_size) != 0) {
    std::abort();  // a readable file always opens, empty or not
  }
  std::vector<char> line(static_cast<size_t>(line_size) + 8, '\x7f');
  std::string text;
  int calls = 0;
  while (tf.read_line(line.data(), line_size)) {
    size_t n = std::strlen(line.data());
    if (n >= static_cast<size_t>(line_size) || line[static_cast<size_t>(line_size)] != '\x7f') {
      std::abort();
    }
    text += line.data();
    if (++calls > static_cast<int>(size) * 2 + 4) {
      std::abort();  // every call must make progress
    }
  }
  // Every byte that is not a line end (nor a zero byte, which ends a C
  // string) appears, in order.
  std::string plain;
  for (size_t i = 2; i < size; ++i) {
    char c = static_cast<char>(data[i]);
    if (c != '\n' && c != '\r' && c != 0) plain += c;
  }
  std::string got;
  for (char c : text) {
    if (c != '\r' && c != '\n') got += c;
  }
  // Text after a zero byte in a line is cut by strlen, so only check that
  // what was read is a subsequence of the plain text.
  size_t j = 0;
  for (char c : got) {
    while (j < plain.size() && plain[j] != c) ++j;
    if (j == plain.size()) std::abort();
    ++j;
  }
  return 0;
}
