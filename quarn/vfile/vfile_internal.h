#pragma once
// State shared by the parts of the file layer; not for other modules.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "quarn/vfile/scrambler.h"
#include "quarn/vfile/vfile.h"

namespace vfile_detail {

// n bytes at an absolute offset of a descriptor, in as few system calls as
// the kernel allows (a read interrupted by a signal goes on). The bytes read.
inline int read_fd_at(int fd, void* dest, int n, long offset) {
  int got = 0;
  while (got < n) {
    const ssize_t r = pread(fd, static_cast<char*>(dest) + got, static_cast<size_t>(n - got), offset + got);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    got += static_cast<int>(r);
  }
  return got;
}

struct FileBufferState {
  unsigned mode = 0;  // 0: the slot is free
  unsigned flags = 0;  // bit 0: scrambling on
  int version = 0;
  int error = 0;
  int pos = 0;
  int calls = 0;
  int total = 0;
  int size = 0;
  int buf_start = -1;  // file position of the first buffered byte
  int cursor = 0;
  int held = 0;
  int stream_pos = -1;  // where the stream or member is positioned; -1 unknown
  FILE* stream = nullptr;
  // A file opened for writing is written beside its name and renamed over
  // it on close, so an interrupted save never leaves the old file half
  // overwritten. Both empty for a file opened for reading.
  std::string write_path;
  std::string temp_path;
  PackfileEntry* entry = nullptr;
  FileHandle* owner = nullptr;
  FileScrambler scrambler;
};

struct FileBuffer : FileBufferState {
  unsigned char data[VFILE_BUFFER_SIZE];
  // A fresh slot's state. The data is left as it is: nothing reads it
  // beyond what a fill put there, and clearing or copying its 32 KiB on
  // every open cost more than reading a small file.
  void reset() { static_cast<FileBufferState&>(*this) = FileBufferState(); }
};

extern FileBuffer g_buffers[VFILE_NUM_BUFFERS];

// Finishes a background read of the slot, if one runs.
void async_wait(FileBuffer& b);
void async_wait_handle(FileHandle* fh);
void reset_defaults();
// Ends a stream opened for writing: flushed to the disk and renamed over the
// old file when `keep`, else dropped and the old file left as it was. False
// when the data could not be made to last.
bool finish_write(FileBuffer& b, bool keep);

}  // namespace vfile_detail
