#include "quarn/os/textbuffer.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

static const char kOverrun[] = "Buffer overrun!";

TextBuffer::TextBuffer(char* buffer, int capacity, int max_lines)
    : buffer_(buffer), external_(buffer != nullptr), capacity_(capacity), used_(0),
      max_lines_(max_lines < 0 ? 0 : max_lines), lines_(1) {
  if (!external_) {
    if (capacity_ < static_cast<int>(sizeof kOverrun)) {
      capacity_ = static_cast<int>(sizeof kOverrun);
    }
    buffer_ = static_cast<char*>(std::malloc(static_cast<size_t>(capacity_)));
    if (!buffer_) {
      std::abort();
    }
  }
  if (capacity_ > 0) {
    buffer_[0] = 0;
  }
}

TextBuffer::~TextBuffer() {
  if (!external_) {
    std::free(buffer_);
  }
}

void TextBuffer::clear() {
  used_ = 0;
  lines_ = 1;
  if (capacity_ > 0) {
    buffer_[0] = 0;
  }
}

void TextBuffer::append(const char* text) {
  if (!text || capacity_ <= 0) {
    return;
  }
  int len = static_cast<int>(std::strlen(text));
  if (used_ + len + 1 < capacity_) {
    for (const char* p = text; *p; ++p) {
      if (*p == '\n') {
        ++lines_;
      }
    }
    if (max_lines_ > 0 && lines_ > max_lines_) {
      // Drop the oldest lines of what is held; the new text may itself end
      // up longer than the limit, then the excess is dropped after appending.
      int drop = lines_ - max_lines_;
      std::memcpy(buffer_ + used_, text, static_cast<size_t>(len) + 1);
      used_ += len;
      int cut = 0;
      for (int i = 0; i < used_ && drop > 0; ++i) {
        if (buffer_[i] == '\n') {
          --drop;
          cut = i + 1;
        }
      }
      std::memmove(buffer_, buffer_ + cut, static_cast<size_t>(used_ - cut) + 1);
      used_ -= cut;
      lines_ = max_lines_;
      return;
    }
    std::memcpy(buffer_ + used_, text, static_cast<size_t>(len) + 1);
    used_ += len;
  } else {
    clear();
    int n = static_cast<int>(sizeof kOverrun) - 1;
    if (n >= capacity_) {
      n = capacity_ - 1;
    }
    std::memcpy(buffer_, kOverrun, static_cast<size_t>(n));
    buffer_[n] = 0;
    used_ = n;
  }
}

void TextBuffer::printf(const char* fmt, ...) {
  char buf[1024];
  va_list ap;
  va_start(ap, fmt);
  std::vsnprintf(buf, sizeof buf, fmt, ap);
  va_end(ap);
  append(buf);
}
