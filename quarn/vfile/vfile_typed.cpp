// Typed, versioned reading and writing on an open FileHandle. Every value is
// little-endian in the file and assembled byte by byte, so the layout never
// depends on the host's structs.
#include <cstring>

#include "quarn/math/matrix.h"
#include "quarn/math/quaternion.h"
#include "quarn/math/vector.h"
#include "quarn/vfile/le_bytes.h"
#include "quarn/vfile/vfile.h"
#include "quarn/vfile/vfile_internal.h"

namespace {

vector g_default_vector{0.0f, 0.0f, 0.0f};
matrix g_default_matrix = identity_matrix;
quaternion g_default_quaternion = identity_quaternion;

using vfile_detail::le16;
using vfile_detail::le32;
using vfile_detail::lef32;
using vfile_detail::put_le32;
using vfile_detail::put_lef32;

void copy_text(char* buffer, int size, const char* text) {
  if (!buffer || size <= 0) {
    return;
  }
  if (!text) {
    text = "";
  }
  size_t n = strnlen(text, static_cast<size_t>(size - 1));
  std::memcpy(buffer, text, n);
  buffer[n] = 0;
}

// Reads one line into `put`, a byte at a time: CR, LF or NUL ends it, and
// the rest of a CR LF or LF CR pair (or a run of blank lines) is passed over.
// Reaching the end of the file ends the last line; it is not a short read.
template <class Put>
void read_line_into(FileHandle& f, int min_version, Put put) {
  unsigned char c = 0;
  bool ended = false;
  while (!f.eof()) {
    if (f.read(&c, 1, min_version) != 1) {
      break;
    }
    if (c == '\r' || c == '\n' || c == 0) {
      ended = true;
      break;
    }
    put(static_cast<char>(c));
  }
  if (ended && c != 0) {
    while (!f.eof()) {
      if (f.read(&c, 1, min_version) != 1) {
        break;
      }
      if (c != '\r' && c != '\n') {
        f.seek(-1, 1);
        break;
      }
    }
  }
}

}  // namespace

void vfile_detail::reset_defaults() {
  g_default_vector = vector{0.0f, 0.0f, 0.0f};
  g_default_matrix = identity_matrix;
  g_default_quaternion = identity_quaternion;
}

const vector& vfile_default_vector() { return g_default_vector; }
const matrix& vfile_default_matrix() { return g_default_matrix; }
const quaternion& vfile_default_quaternion() { return g_default_quaternion; }

// ---- Reads ----------------------------------------------------------------

bool FileHandle::read_bool(int min_version, bool def) {
  unsigned char b;
  return read(&b, 1, min_version) == 1 ? b != 0 : def;
}

int8_t FileHandle::read_byte(int min_version, int8_t def) {
  unsigned char b;
  return read(&b, 1, min_version) == 1 ? static_cast<int8_t>(b) : def;
}

uint8_t FileHandle::read_ubyte(int min_version, uint8_t def) {
  unsigned char b;
  return read(&b, 1, min_version) == 1 ? b : def;
}

int16_t FileHandle::read_short(int min_version, int16_t def) {
  unsigned char b[2];
  return read(b, 2, min_version) == 2 ? static_cast<int16_t>(le16(b)) : def;
}

uint16_t FileHandle::read_ushort(int min_version, uint16_t def) {
  unsigned char b[2];
  return read(b, 2, min_version) == 2 ? le16(b) : def;
}

int32_t FileHandle::read_int(int min_version, int32_t def) {
  unsigned char b[4];
  return read(b, 4, min_version) == 4 ? static_cast<int32_t>(le32(b)) : def;
}

uint32_t FileHandle::read_uint(int min_version, uint32_t def) {
  unsigned char b[4];
  return read(b, 4, min_version) == 4 ? le32(b) : def;
}

float FileHandle::read_float(int min_version, float def) {
  unsigned char b[4];
  return read(b, 4, min_version) == 4 ? lef32(b) : def;
}

void FileHandle::read_vector(vector* dest, int min_version, const vector* def) {
  if (!dest) {
    return;
  }
  unsigned char b[12];
  if (read(b, 12, min_version) == 12) {
    dest->set(lef32(b), lef32(b + 4), lef32(b + 8));
  } else {
    *dest = def ? *def : g_default_vector;
  }
}

void FileHandle::read_float3(float* dest, int min_version, const float* def) {
  if (!dest) {
    return;
  }
  unsigned char b[12];
  if (read(b, 12, min_version) == 12) {
    dest[0] = lef32(b);
    dest[1] = lef32(b + 4);
    dest[2] = lef32(b + 8);
  } else {
    for (int i = 0; i < 3; ++i) {
      dest[i] = def ? def[i] : 0.0f;
    }
  }
}

void FileHandle::read_quaternion(quaternion* dest, int min_version, const quaternion* def) {
  if (!dest) {
    return;
  }
  if (version() < min_version || error()) {
    *dest = def ? *def : g_default_quaternion;
    return;
  }
  float v[4];
  for (float& f : v) {
    f = read_float(min_version, 0.0f);
  }
  if (error()) {
    *dest = def ? *def : g_default_quaternion;
    return;
  }
  dest->set(v[0], v[1], v[2], v[3]);
}

void FileHandle::read_matrix(matrix* dest, int min_version, const matrix* def) {
  if (!dest) {
    return;
  }
  unsigned char b[36];
  if (read(b, 36, min_version) != 36) {
    *dest = def ? *def : g_default_matrix;
    return;
  }
  dest->forward.set(lef32(b), lef32(b + 4), lef32(b + 8));
  dest->right.set(lef32(b + 12), lef32(b + 16), lef32(b + 20));
  dest->up.set(lef32(b + 24), lef32(b + 28), lef32(b + 32));
}

void FileHandle::read_text_string(TextString* dest, int min_version, const char* def) {
  if (!dest) {
    return;
  }
  if (version() < min_version || error()) {
    *dest = def ? def : "";
    return;
  }
  uint16_t n = read_ushort(min_version, 0);
  if (error()) {
    *dest = def ? def : "";
    return;
  }
  if (n == 0) {
    *dest = "";
    return;
  }
  TextString s(static_cast<int>(n));
  if (read(s.data(), n, min_version) != n) {
    *dest = def ? def : "";
    return;
  }
  s.data()[n] = 0;
  *dest = s.c_str();
}

char* FileHandle::read_counted_string(char* buffer, int size, int min_version, const char* def) {
  if (!buffer) {
    return nullptr;
  }
  if (size < 0) {
    size = 65535;
  }
  if (size == 0) {
    return buffer;
  }
  if (version() < min_version || error()) {
    copy_text(buffer, size, def);
    return buffer;
  }
  int n = read_ushort(min_version, 0);
  if (error()) {
    copy_text(buffer, size, def);
    return buffer;
  }
  int keep = n < size ? n : size - 1;
  if (read(buffer, keep, min_version) != keep) {
    copy_text(buffer, size, def);
    return buffer;
  }
  buffer[keep] = 0;
  // The rest is read and dropped, so a string cut short in the file still
  // shows as a short read.
  unsigned char scratch[256];
  for (int left = n - keep; left > 0 && !error();) {
    int step = left < 256 ? left : 256;
    read(scratch, step, min_version);
    left -= step;
  }
  return buffer;
}

char* FileHandle::read_string(char* buffer, int size, int min_version, const char* def) {
  if (!buffer) {
    return nullptr;
  }
  if (size < 0) {
    size = 65535;
  }
  if (size == 0) {
    return buffer;
  }
  if (version() < min_version || error()) {
    copy_text(buffer, size, def);
    return buffer;
  }
  int n = 0;
  for (;;) {
    unsigned char c;
    if (read(&c, 1, min_version) != 1) {
      copy_text(buffer, size, def);
      return buffer;
    }
    if (c == 0) {
      break;
    }
    if (n < size - 1) {
      buffer[n++] = static_cast<char>(c);
    }
  }
  buffer[n] = 0;
  return buffer;
}

int FileHandle::read_line(char* buffer, int size, int min_version) {
  if (!buffer || size <= 0) {
    return 0;
  }
  buffer[0] = 0;
  if (version() < min_version || error()) {
    return 0;
  }
  int n = 0;
  read_line_into(*this, min_version, [&](char c) {
    if (n < size - 1) {
      buffer[n++] = c;
    }
  });
  buffer[n] = 0;
  return n;
}

void FileHandle::read_zstring(TextString* dest, int min_version) {
  if (!dest) {
    return;
  }
  TextString s;
  if (version() < min_version || error()) {
    *dest = "";
    return;
  }
  for (;;) {
    unsigned char c;
    if (read(&c, 1, min_version) != 1 || c == 0) {
      break;
    }
    s += static_cast<char>(c);
  }
  *dest = s;
}

int FileHandle::read_line(TextString* dest, int min_version) {
  if (!dest) {
    return 0;
  }
  TextString s;
  if (version() < min_version || error()) {
    *dest = "";
    return 0;
  }
  read_line_into(*this, min_version, [&](char c) { s += c; });
  *dest = s;
  return s.length();
}

// ---- Writes ---------------------------------------------------------------

int FileHandle::write_bool(int value) {
  unsigned char b = value == 1 ? 1 : 0;
  return write(&b, 1);
}

int FileHandle::write_byte(int8_t value) { return write(&value, 1); }
int FileHandle::write_ubyte(uint8_t value) { return write(&value, 1); }

int FileHandle::write_short(int16_t value) { return write_ushort(static_cast<uint16_t>(value)); }

int FileHandle::write_ushort(uint16_t value) {
  unsigned char b[2] = {static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8)};
  return write(b, 2);
}

int FileHandle::write_int(int32_t value) { return write_uint(static_cast<uint32_t>(value)); }

int FileHandle::write_uint(uint32_t value) {
  unsigned char b[4];
  put_le32(b, value);
  return write(b, 4);
}

int FileHandle::write_float(float value) {
  unsigned char b[4];
  put_lef32(b, value);
  return write(b, 4);
}

int FileHandle::write_vector(const vector& v) {
  unsigned char b[12];
  put_lef32(b, v.x);
  put_lef32(b + 4, v.y);
  put_lef32(b + 8, v.z);
  return write(b, 12);
}

int FileHandle::write_quaternion(const quaternion& q) {
  unsigned char b[16];
  put_lef32(b, q.x);
  put_lef32(b + 4, q.y);
  put_lef32(b + 8, q.z);
  put_lef32(b + 12, q.w);
  return write(b, 16);
}

int FileHandle::write_matrix(const matrix& m) {
  unsigned char b[36];
  const vector* rows[3] = {&m.forward, &m.right, &m.up};
  for (int r = 0; r < 3; ++r) {
    put_lef32(b + r * 12, rows[r]->x);
    put_lef32(b + r * 12 + 4, rows[r]->y);
    put_lef32(b + r * 12 + 8, rows[r]->z);
  }
  return write(b, 36);
}

int FileHandle::write_counted_string(const char* text, int length) {
  if (!text) {
    text = "";
    length = 0;
  }
  if (length < 0) {
    length = static_cast<int>(std::strlen(text));
  }
  // The length field has 16 bits; a longer text is cut so that the field
  // and the bytes agree.
  if (length > 65535) {
    length = 65535;
  }
  int r = write_ushort(static_cast<uint16_t>(length));
  if (r && length > 0) {
    r = write(text, length);
  }
  return r;
}

int FileHandle::write_string(const char* text) {
  if (!text) {
    text = "";
  }
  return write(text, static_cast<int>(std::strlen(text)) + 1);
}

// ---- Read-or-write ----------------------------------------------------------

namespace {
// The scalar forms differ only in the read and the write they pair.
template <class T, class Read, class Write>
void read_or_write(bool reading, T* v, Read read, Write write) {
  if (reading) {
    *v = read();
  } else {
    write(*v);
  }
}
}  // namespace

void FileHandle::serialize_bool(bool* v, int min_version, bool def) {
  read_or_write(mode_is(VF_READ), v, [&] { return read_bool(min_version, def); }, [&](bool x) { write_bool(x ? 1 : 0); });
}

void FileHandle::serialize_byte(int8_t* v, int min_version, int8_t def) {
  read_or_write(mode_is(VF_READ), v, [&] { return read_byte(min_version, def); }, [&](int8_t x) { write_byte(x); });
}

void FileHandle::serialize_ubyte(uint8_t* v, int min_version, uint8_t def) {
  read_or_write(mode_is(VF_READ), v, [&] { return read_ubyte(min_version, def); }, [&](uint8_t x) { write_ubyte(x); });
}

void FileHandle::serialize_short(int16_t* v, int min_version, int16_t def) {
  read_or_write(mode_is(VF_READ), v, [&] { return read_short(min_version, def); }, [&](int16_t x) { write_short(x); });
}

void FileHandle::serialize_ushort(uint16_t* v, int min_version, uint16_t def) {
  read_or_write(mode_is(VF_READ), v, [&] { return read_ushort(min_version, def); }, [&](uint16_t x) { write_ushort(x); });
}

void FileHandle::serialize_int(int32_t* v, int min_version, int32_t def) {
  read_or_write(mode_is(VF_READ), v, [&] { return read_int(min_version, def); }, [&](int32_t x) { write_int(x); });
}

void FileHandle::serialize_uint(uint32_t* v, int min_version, uint32_t def) {
  read_or_write(mode_is(VF_READ), v, [&] { return read_uint(min_version, def); }, [&](uint32_t x) { write_uint(x); });
}

void FileHandle::serialize_float(float* v, int min_version, float def) {
  read_or_write(mode_is(VF_READ), v, [&] { return read_float(min_version, def); }, [&](float x) { write_float(x); });
}

void FileHandle::serialize_vector(vector* v, int min_version, const vector* def) {
  if (mode_is(VF_READ)) {
    read_vector(v, min_version, def);
  } else {
    write_vector(*v);
  }
}

void FileHandle::serialize_quaternion(quaternion* v, int min_version, const quaternion* def) {
  if (mode_is(VF_READ)) {
    read_quaternion(v, min_version, def);
  } else {
    write_quaternion(*v);
  }
}

void FileHandle::serialize_quaternion(matrix* m, int min_version, const quaternion* def) {
  quaternion q;
  if (mode_is(VF_READ)) {
    read_quaternion(&q, min_version, def);
    q.to_matrix(*m);
  } else {
    q.from_matrix(*m);
    write_quaternion(q);
  }
}

void FileHandle::serialize_matrix(matrix* v, int min_version, const matrix* def) {
  if (mode_is(VF_READ)) {
    read_matrix(v, min_version, def);
  } else {
    write_matrix(*v);
  }
}

void FileHandle::serialize_text_string(TextString* v, int min_version, const char* def) {
  if (mode_is(VF_READ)) {
    read_text_string(v, min_version, def);
  } else {
    write_counted_string(v->c_str(), -1);
  }
}

void FileHandle::serialize_string(char* buffer, int size, int min_version, const char* def) {
  if (mode_is(VF_READ)) {
    read_counted_string(buffer, size, min_version, def);
  } else {
    write_counted_string(buffer, -1);
  }
}

void FileHandle::serialize_bytes(void* block, int n, int min_version) {
  if (mode_is(VF_READ)) {
    read(block, n, min_version);
  } else {
    write(block, n);
  }
}

// ---- Arrays ---------------------------------------------------------------

int vfile_serialize_vector_array(FileHandle* fh, vector* v, int count, int min_version, const vector* def) {
  for (int i = 0; i < count; ++i) {
    fh->serialize_vector(&v[i], min_version, def);
    if (fh->error()) {
      return fh->error();
    }
  }
  return 0;
}

int vfile_serialize_short_array(FileHandle* fh, int16_t* v, int count, int min_version, int16_t def) {
  bool reading = fh->mode_is(VF_READ);
  for (int i = 0; i < count; ++i) {
    if (reading) {
      v[i] = fh->read_short(min_version, def);
    } else {
      fh->write_ushort(static_cast<uint16_t>(v[i]));
    }
    if (fh->error()) {
      return fh->error();
    }
  }
  return 0;
}

int vfile_read_int_array(FileHandle* fh, int32_t* v, int count, int min_version, int32_t def) {
  for (int i = 0; i < count; ++i) {
    v[i] = fh->read_int(min_version, def);
    if (fh->error()) {
      return fh->error();
    }
  }
  return 0;
}

int vfile_write_int_array(FileHandle* fh, const int32_t* v, int count) {
  for (int i = 0; i < count; ++i) {
    fh->write_int(v[i]);
    if (fh->error()) {
      return fh->error();
    }
  }
  return 0;
}

int vfile_serialize_float2_array(FileHandle* fh, float* pairs, int count, int min_version, float def0, float def1) {
  for (int i = 0; i < count; ++i) {
    fh->serialize_float(&pairs[2 * i], min_version, def0);
    fh->serialize_float(&pairs[2 * i + 1], min_version, def1);
    if (fh->error()) {
      return fh->error();
    }
  }
  return 0;
}
