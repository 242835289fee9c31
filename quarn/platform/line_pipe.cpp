#include "quarn/platform/line_pipe.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>

struct LinePipe {
  int fd = -1;
  // O_RDWR keeps one writer (ourselves) on the pipe, so a writer that closes
  // never leaves it at end-of-file and the reads stay non-blocking.
  std::string pending;
  bool discarding = false;  // the rest of an over-long line is being skipped
};

LinePipe* line_pipe_open(const char* path) {
  if (!path || !*path) return nullptr;
  int fd = open(path, O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
  LinePipe* p = new LinePipe;
  p->fd = fd;
  return p;
}

void line_pipe_close(LinePipe* pipe) {
  if (!pipe) return;
  if (pipe->fd >= 0) close(pipe->fd);
  delete pipe;
}

int line_pipe_poll(LinePipe* pipe, int max_line, void (*on_line)(const char* line, void* user), void* user) {
  if (!pipe || pipe->fd < 0) return 0;
  int lines = 0;
  char buf[4096];
  for (;;) {
    ssize_t n = read(pipe->fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    for (ssize_t i = 0; i < n; i++) {
      char c = buf[i];
      if (c == '\n') {
        if (!pipe->pending.empty() && pipe->pending.back() == '\r') pipe->pending.pop_back();
        if (pipe->discarding || static_cast<int>(pipe->pending.size()) > max_line) {
          on_line(nullptr, user);
        } else {
          on_line(pipe->pending.c_str(), user);
        }
        lines++;
        pipe->pending.clear();
        pipe->discarding = false;
      } else if (!pipe->discarding) {
        pipe->pending.push_back(c);
        // A CR may still be stripped, so allow one byte over the limit.
        if (static_cast<int>(pipe->pending.size()) > max_line + 1) {
          pipe->pending.clear();
          pipe->discarding = true;
        }
      }
    }
  }
  return lines;
}
