#include "quarn/vfile/readstream.h"

#include <cstring>

#include "quarn/math/quaternion.h"
#include "quarn/math/vector.h"
#include "quarn/vfile/le_bytes.h"
#include "quarn/vfile/vfile.h"

void ReadStream::reset() {
  kind_ = NONE;
  fh_ = nullptr;
  data_ = nullptr;
  pos_ = 0;
  size_ = 0;
  error_ = 0;
}

void ReadStream::open_memory(const void* data, int size) {
  reset();
  kind_ = MEMORY_KIND;
  data_ = static_cast<const uint8_t*>(data);
  size_ = data && size > 0 ? size : 0;
}

void ReadStream::open_file(FileHandle* fh) {
  reset();
  if (fh) {
    kind_ = FILE_KIND;
    fh_ = fh;
  }
}

int ReadStream::tell() const {
  if (kind_ == FILE_KIND) {
    return fh_->tell();
  }
  return pos_;
}

bool ReadStream::eof() const {
  if (kind_ == FILE_KIND) {
    return fh_->eof();
  }
  return pos_ >= size_;
}

int ReadStream::error() const {
  if (kind_ == FILE_KIND) {
    return fh_->error();
  }
  return error_;
}

int ReadStream::seek(int offset, int whence) {
  if (kind_ == FILE_KIND) {
    return fh_->seek(offset, whence) == 0 ? 0 : -1;
  }
  if (kind_ != MEMORY_KIND || offset < 0) {
    return -1;
  }
  long long target;
  if (whence == 0) {
    target = offset;
  } else if (whence == 1) {
    target = static_cast<long long>(pos_) + offset;
  } else if (whence == 2) {
    target = static_cast<long long>(pos_) - offset;
  } else {
    return -1;
  }
  // The start and the end itself are valid places, so the stream can be
  // rewound and positioned at its end.
  if (target < 0 || target > size_) {
    return -1;
  }
  pos_ = static_cast<int>(target);
  return 0;
}

int ReadStream::read(void* dest, int n) {
  if (kind_ == FILE_KIND) {
    return fh_->read(dest, n, 0);
  }
  if (kind_ != MEMORY_KIND || n <= 0 || !dest) {
    return 0;
  }
  if (n > size_ - pos_) {
    error_ = -1;  // past the end: nothing delivered, and the caller can tell
    return 0;
  }
  std::memcpy(dest, data_ + pos_, static_cast<size_t>(n));
  pos_ += n;
  return n;
}

using vfile_detail::le16;
using vfile_detail::le32;
using vfile_detail::lef32;

int32_t ReadStream::read_int() {
  if (kind_ == FILE_KIND) {
    return fh_->read_int(0, 0);
  }
  unsigned char b[4];
  return read(b, 4) == 4 ? static_cast<int32_t>(le32(b)) : 0;
}

float ReadStream::read_float() {
  if (kind_ == FILE_KIND) {
    return fh_->read_float(0, 0.0f);
  }
  unsigned char b[4];
  return read(b, 4) == 4 ? lef32(b) : 0.0f;
}

int16_t ReadStream::read_short() {
  if (kind_ == FILE_KIND) {
    return fh_->read_short(0, 0);
  }
  unsigned char b[2];
  return read(b, 2) == 2 ? static_cast<int16_t>(le16(b)) : 0;
}

uint16_t ReadStream::read_ushort() {
  if (kind_ == FILE_KIND) {
    return fh_->read_ushort(0, 0);
  }
  unsigned char b[2];
  return read(b, 2) == 2 ? le16(b) : 0;
}

int8_t ReadStream::read_byte() {
  if (kind_ == FILE_KIND) {
    return fh_->read_byte(0, 0);
  }
  unsigned char b;
  return read(&b, 1) == 1 ? static_cast<int8_t>(b) : 0;
}

uint8_t ReadStream::read_ubyte() {
  if (kind_ == FILE_KIND) {
    return fh_->read_ubyte(0, 0);
  }
  unsigned char b;
  return read(&b, 1) == 1 ? b : 0;
}

void ReadStream::read_vector(vector* dest) {
  if (!dest) {
    return;
  }
  if (kind_ == FILE_KIND) {
    fh_->read_vector(dest, 0, &vfile_default_vector());
    return;
  }
  unsigned char b[12];
  if (read(b, 12) == 12) {
    dest->set(lef32(b), lef32(b + 4), lef32(b + 8));
  }
}

void ReadStream::read_quaternion(quaternion* dest) {
  if (!dest) {
    return;
  }
  if (kind_ == FILE_KIND) {
    fh_->read_quaternion(dest, 0, &vfile_default_quaternion());
    return;
  }
  unsigned char b[16];
  if (read(b, 16) == 16) {
    dest->set(lef32(b), lef32(b + 4), lef32(b + 8), lef32(b + 12));
  }
}

char* ReadStream::read_string(char* buffer, int size) {
  if (!buffer || size <= 0) {
    return buffer;
  }
  if (kind_ == FILE_KIND) {
    return fh_->read_string(buffer, size, 0, "");
  }
  buffer[0] = 0;
  if (kind_ != MEMORY_KIND) {
    return buffer;
  }
  int n = 0;
  while (pos_ < size_ && data_[pos_] != 0) {
    if (n < size - 1) {
      buffer[n++] = static_cast<char>(data_[pos_]);
    }
    ++pos_;
  }
  buffer[n] = 0;
  if (pos_ < size_) {
    ++pos_;  // the terminator
  } else {
    error_ = -1;  // the block ended before the terminator
  }
  return buffer;
}
