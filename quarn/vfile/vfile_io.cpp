// Reading, writing and positioning an open file through its buffer slot.
#include <atomic>
#include <cstring>
#include <thread>

#include "quarn/vfile/packfile/file_packfile.h"
#include "quarn/vfile/vfile.h"
#include "quarn/vfile/vfile_internal.h"

using vfile_detail::FileBuffer;
using vfile_detail::g_buffers;

namespace {

// Reads n bytes at file position at from the slot's stream or member.
// Returns the bytes read.
int raw_read(FileBuffer& b, void* dest, int at, int n) {
  if (n <= 0) {
    return 0;
  }
  if (!(b.mode & VF_WRITE)) {
    // A file only read is read straight at the offset: one system call,
    // where the stream would seek first and split a read as large as its
    // buffer in two. The stream's position is then no longer known. (Not for
    // a file also written: the stream may hold bytes not yet written out.)
    const int got = b.entry ? packfile_read_at(dest, n, at, b.entry)
                            : vfile_detail::read_fd_at(fileno(b.stream), dest, n, at);
    b.stream_pos = -1;
    return got;
  }
  if (b.stream_pos != at) {
    bool ok = b.entry ? packfile_seek(b.entry, at, SEEK_SET) : std::fseek(b.stream, at, SEEK_SET) == 0;
    if (!ok) {
      b.stream_pos = -1;
      return 0;
    }
    b.stream_pos = at;
  }
  int got = b.entry ? packfile_read(dest, 1, n, b.entry)
                    : static_cast<int>(std::fread(dest, 1, static_cast<size_t>(n), b.stream));
  if (got < 0) {
    got = 0;
  }
  b.stream_pos = got == n ? at + got : -1;
  return got;
}

struct AsyncRead {
  std::thread worker;
  std::atomic<bool> done{false};
  bool pending = false;
  unsigned char* dest = nullptr;
  int want = 0;
  int got = 0;
  int delivered_before = 0;  // bytes the call already took from the buffer
  int asked = 0;
};

AsyncRead g_async[VFILE_NUM_BUFFERS];

int slot_of(FileBuffer& b) { return static_cast<int>(&b - g_buffers); }

// Applies what a finished background read delivered.
void async_finish(FileBuffer& b) {
  AsyncRead& a = g_async[slot_of(b)];
  if (!a.pending) {
    return;
  }
  if (a.worker.joinable()) {
    a.worker.join();
  }
  a.pending = false;
  if (b.flags & 1) {
    b.scrambler.apply(a.dest, static_cast<size_t>(a.got));
  }
  b.pos += a.got;
  b.total += a.got;
  if (a.delivered_before + a.got < a.asked && b.error == 0) {
    b.error = VF_ERR_SHORT_READ;
  }
}

}  // namespace

void vfile_detail::async_wait(FileBuffer& b) { async_finish(b); }

void vfile_detail::async_wait_handle(FileHandle* fh) {
  if (fh && fh->slot() >= 0) {
    async_finish(g_buffers[fh->slot()]);
  }
}

int FileHandle::async_poll() {
  if (slot_ < 0) {
    return 1;
  }
  FileBuffer& b = g_buffers[slot_];
  AsyncRead& a = g_async[slot_];
  if (a.pending) {
    if (!a.done.load(std::memory_order_acquire)) {
      return 0;
    }
    async_finish(b);
    return b.error ? -1 : 1;
  }
  return 1;
}

int FileHandle::read(void* dest, int n, int min_version, bool async) {
  if (slot_ < 0) {
    return 0;
  }
  FileBuffer& b = g_buffers[slot_];
  async_finish(b);
  ++b.calls;
  if (b.version < min_version || b.error || n <= 0 || !dest || !(b.mode & VF_READ)) {
    return 0;
  }
  unsigned char* out = static_cast<unsigned char*>(dest);
  int delivered = 0;
  // What the buffer still holds.
  if (b.buf_start >= 0 && b.cursor < b.held) {
    int take = b.held - b.cursor;
    if (take > n) {
      take = n;
    }
    std::memcpy(out, b.data + b.cursor, static_cast<size_t>(take));
    b.cursor += take;
    delivered = take;
  }
  int want = n - delivered;
  int file_pos = b.pos + delivered;
  if (want > 0 && want < VFILE_BUFFER_SIZE) {
    int left = b.size - file_pos;
    int fill = left < VFILE_BUFFER_SIZE ? left : VFILE_BUFFER_SIZE;
    if (fill < 0) {
      fill = 0;
    }
    int got = raw_read(b, b.data, file_pos, fill);
    if (got < fill && !b.entry && file_pos + got < b.size) {
      b.error = VF_ERR_OS;
    }
    b.buf_start = file_pos;
    b.held = got;
    int take = want < got ? want : got;
    std::memcpy(out + delivered, b.data, static_cast<size_t>(take));
    b.cursor = take;
    delivered += take;
  } else if (want > 0) {
    b.buf_start = -1;
    b.held = 0;
    b.cursor = 0;
    int left = b.size - file_pos;
    int ask = want < left ? want : (left > 0 ? left : 0);
    if (async && ask > 0) {
      // The large part runs in the background; the slot stays busy until
      // async_poll (or any other use of the handle) collects it.
      if (b.flags & 1) {
        b.scrambler.apply(out, static_cast<size_t>(delivered));
      }
      b.pos += delivered;
      b.total += delivered;
      AsyncRead& a = g_async[slot_];
      a.pending = true;
      a.done.store(false, std::memory_order_relaxed);
      a.dest = out + delivered;
      a.want = ask;
      a.got = 0;
      a.delivered_before = delivered;
      a.asked = n;
      int at = file_pos;
      a.worker = std::thread([&b, &a, at]() {
        a.got = raw_read(b, a.dest, at, a.want);
        a.done.store(true, std::memory_order_release);
      });
      return delivered;
    }
    delivered += raw_read(b, out + delivered, file_pos, ask);
  }
  if (b.flags & 1) {
    b.scrambler.apply(out, static_cast<size_t>(delivered));
  }
  b.pos += delivered;
  b.total += delivered;
  if (delivered < n && b.error == 0) {
    b.error = VF_ERR_SHORT_READ;
  }
  return delivered;
}

static bool write_raw(FileBuffer& b, const void* src, int n) {
  if (!(b.mode & VF_TEXT)) {
    return std::fwrite(src, 1, static_cast<size_t>(n), b.stream) == static_cast<size_t>(n);
  }
  // Text mode ends every line in CR LF, whatever the host's convention.
  const char* p = static_cast<const char*>(src);
  const char* end = p + n;
  while (p < end) {
    const char* lf = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
    const char* stop = lf ? lf : end;
    if (stop > p && std::fwrite(p, 1, static_cast<size_t>(stop - p), b.stream) != static_cast<size_t>(stop - p)) {
      return false;
    }
    if (!lf) {
      break;
    }
    if (std::fwrite("\r\n", 1, 2, b.stream) != 2) {
      return false;
    }
    p = lf + 1;
  }
  return true;
}

int FileHandle::write(const void* src, int n) {
  if (slot_ < 0) {
    return 0;
  }
  FileBuffer& b = g_buffers[slot_];
  async_finish(b);
  ++b.calls;
  if (b.error) {
    return 0;  // nothing written; error() tells why
  }
  if (!(b.mode & VF_WRITE) || !b.stream || n < 0 || (!src && n > 0)) {
    b.error = VF_ERR_WRITE;
    return 0;
  }
  bool ok;
  if (b.flags & 1) {
    uint32_t sa, sb, sc;
    b.scrambler.get_state(&sa, &sb, &sc);
    unsigned char* p = const_cast<unsigned char*>(static_cast<const unsigned char*>(src));
    b.scrambler.apply(p, static_cast<size_t>(n));
    ok = write_raw(b, p, n);
    b.scrambler.set_state(sa, sb, sc);
    b.scrambler.apply(p, static_cast<size_t>(n));
  } else {
    ok = write_raw(b, src, n);
  }
  if (!ok) {
    b.error = VF_ERR_WRITE;
    return 0;
  }
  b.pos += n;
  b.total += n;
  if (b.pos > b.size) {
    b.size = b.pos;
  }
  return b.total;
}

int FileHandle::printf(const char* text, int length) {
  if (!text) {
    text = "";
  }
  if (length < 0) {
    length = static_cast<int>(std::strlen(text));
  }
  if (length > 0 && write(text, length) == 0) {
    return VF_ERR_WRITE;
  }
  if (write("\n", 1) == 0) {
    return VF_ERR_WRITE;
  }
  return VF_OK;
}

int FileHandle::seek(int offset, int whence) {
  if (slot_ < 0) {
    return VF_ERR_OS;
  }
  FileBuffer& b = g_buffers[slot_];
  async_finish(b);
  long long target = offset;
  if (whence == 1) {
    target += b.pos;
  } else if (whence == 2) {
    target += b.size;
  } else if (whence != 0) {
    return VF_ERR_OS;
  }
  if (target < 0 || target > 0x7FFFFFFF) {
    return VF_ERR_OS;
  }
  int t = static_cast<int>(target);
  if ((b.mode & VF_READ) && b.buf_start >= 0 && t >= b.buf_start && t <= b.buf_start + b.held) {
    b.cursor = t - b.buf_start;
    b.pos = t;
    return VF_OK;
  }
  b.buf_start = -1;
  b.held = 0;
  b.cursor = 0;
  bool ok = b.entry ? packfile_seek(b.entry, t, SEEK_SET) : std::fseek(b.stream, t, SEEK_SET) == 0;
  if (!ok) {
    b.stream_pos = -1;
    return VF_ERR_OS;
  }
  b.stream_pos = t;
  b.pos = t;
  return VF_OK;
}
