#include "quarn/os/textfile.h"

#include <cstdarg>
#include <cstring>

#include "quarn/os/memory.h"

TextFile::TextFile()
    : stream_(nullptr), buffer_(nullptr), end_(nullptr), pos_(nullptr), held_(0), capacity_(0), flags_(0) {}

TextFile::~TextFile() { close(); }

void TextFile::close() {
  if (stream_) {
    std::fclose(stream_);
    stream_ = nullptr;
  }
  if (buffer_) {
    common_block_unlock(buffer_);
    buffer_ = nullptr;
  }
  end_ = pos_ = nullptr;
  held_ = 0;
  capacity_ = 0;
}

int TextFile::open_read(const char* path, int buffer_size) {
  close();
  flags_ &= ~static_cast<unsigned>(TF_EOF);
  if (!path || buffer_size < 2) {
    return 1;
  }
  stream_ = std::fopen(path, "rb");
  if (!stream_) {
    return 1;
  }
  std::setvbuf(stream_, nullptr, _IONBF, 0);
  buffer_ = static_cast<char*>(common_block_lock(static_cast<size_t>(buffer_size)));
  capacity_ = buffer_size;
  pos_ = end_ = buffer_;
  held_ = 0;
  flags_ = TF_READING;
  fill();
  if (std::ferror(stream_)) {
    // An unreadable file (a directory, an I/O error) is a failed open; an
    // empty one is not, it simply has no lines.
    close();
    flags_ = 0;
    return 1;
  }
  detect_line_end();
  return 0;
}

int TextFile::open_write(const char* path, bool append, int stdio_buffer_size) {
  close();
  flags_ = 0;
  if (!path) {
    return 1;
  }
  stream_ = std::fopen(path, append ? "ab" : "wb");
  if (!stream_) {
    return 1;
  }
  if (stdio_buffer_size > 0) {
    std::setvbuf(stream_, nullptr, _IOFBF, static_cast<size_t>(stdio_buffer_size));
  }
  return 0;
}

int TextFile::fill() {
  if (!stream_ || !buffer_) {
    return 0;
  }
  if (held_ > 0 && pos_ != buffer_) {
    std::memmove(buffer_, pos_, static_cast<size_t>(held_));
  }
  pos_ = buffer_;
  end_ = buffer_ + held_;
  if (flags_ & TF_EOF) {
    return 0;
  }
  size_t want = static_cast<size_t>(capacity_ - held_);
  if (want == 0) {
    return 0;
  }
  size_t got = std::fread(end_, 1, want, stream_);
  if (got < want) {
    flags_ |= TF_EOF;
  }
  held_ += static_cast<int>(got);
  end_ = buffer_ + held_;
  return 0;
}

void TextFile::detect_line_end() {
  const char* lf = static_cast<const char*>(std::memchr(pos_, '\n', static_cast<size_t>(held_)));
  const char* cr = static_cast<const char*>(std::memchr(pos_, '\r', static_cast<size_t>(held_)));
  flags_ &= ~static_cast<unsigned>(TF_LINE_MASK);
  if (cr && cr + 1 < end_ && cr[1] == '\n' && (!lf || lf > cr)) {
    return;  // CR LF
  }
  if (lf && !cr) {
    flags_ |= TF_LF;
  } else if (cr && !lf) {
    flags_ |= TF_CR;
  } else {
    flags_ |= TF_LF | TF_CR;
  }
}

char* TextFile::read_line(char* buffer, int size) {
  if (buffer && size >= 1) {
    buffer[0] = 0;
  }
  // A one-byte buffer holds no character, so it could never move on.
  if (!stream_ || !buffer_ || !buffer || size < 2) {
    return nullptr;
  }
  if (held_ == 0) {
    fill();
  }
  if (held_ == 0 && (flags_ & TF_EOF)) {
    return nullptr;
  }
  unsigned conv = flags_ & TF_LINE_MASK;
  int out = 0;
  int room = size - 1;
  while (room > 0) {
    if (held_ == 0) {
      if (flags_ & TF_EOF) {
        break;
      }
      fill();
      if (held_ == 0) {
        break;
      }
    }
    int span = held_ < room ? held_ : room;
    int found = -1;
    int step = 1;
    bool pending_cr = false;
    for (int i = 0; i < span; ++i) {
      char c = pos_[i];
      if (conv == 0) {
        if (c == '\r') {
          if (i + 1 < held_) {
            if (pos_[i + 1] == '\n') {
              found = i;
              step = 2;
              break;
            }
          } else if (!(flags_ & TF_EOF)) {
            // A CR at the end of what is held: its LF may still be in the
            // file, so stop before it and look again after a refill.
            span = i;
            pending_cr = true;
            break;
          }
        }
      } else if (conv == TF_LF) {
        if (c == '\n') {
          found = i;
          break;
        }
      } else if (conv == TF_CR) {
        if (c == '\r') {
          found = i;
          break;
        }
      } else if (c == '\n' || c == '\r') {
        found = i;
        break;
      }
    }
    int copy = found >= 0 ? found : span;
    std::memcpy(buffer + out, pos_, static_cast<size_t>(copy));
    out += copy;
    room -= copy;
    int consumed = copy + (found >= 0 ? step : 0);
    pos_ += consumed;
    held_ -= consumed;
    if (held_ == 0 || pending_cr) {
      fill();
    }
    if (found >= 0) {
      break;
    }
  }
  buffer[out] = 0;
  return buffer;
}

int TextFile::write_text(const char* text) {
  if (!stream_ || !text) {
    return stream_ ? 0 : 1;
  }
  const char* p = text;
  while (*p) {
    const char* q = p;
    while (*q && *q != '\r' && *q != '\n') {
      ++q;
    }
    if (q > p && std::fwrite(p, 1, static_cast<size_t>(q - p), stream_) != static_cast<size_t>(q - p)) {
      return 1;
    }
    if (!*q) {
      break;
    }
    if (std::fwrite("\r\n", 1, 2, stream_) != 2) {
      return 1;
    }
    p = (q[0] == '\r' && q[1] == '\n') ? q + 2 : q + 1;
  }
  return 0;
}

int TextFile::printf(const char* fmt, ...) {
  char buf[2048];
  va_list ap;
  va_start(ap, fmt);
  std::vsnprintf(buf, sizeof buf, fmt, ap);
  va_end(ap);
  return write_text(buf);
}

int TextFile::put_char(char c) {
  if (!stream_) {
    return 1;
  }
  if (c == '\n') {
    return std::fwrite("\r\n", 1, 2, stream_) == 2 ? 0 : 1;
  }
  return std::fputc(c, stream_) == EOF ? 1 : 0;
}

int TextFile::flush() {
  if (!stream_ || (flags_ & TF_READING)) {
    return 0;
  }
  return std::fflush(stream_);
}

TextFile* textfile_open_read(const char* path, int buffer_size) {
  TextFile* tf = new TextFile;
  if (tf->open_read(path, buffer_size) != 0) {
    delete tf;
    return nullptr;
  }
  return tf;
}

TextFile* textfile_open_write(const char* path, bool append, int buffer_size) {
  TextFile* tf = new TextFile;
  if (tf->open_write(path, append, buffer_size) != 0) {
    delete tf;
    return nullptr;
  }
  return tf;
}
