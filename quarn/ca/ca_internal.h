#pragma once
// Helpers shared by the character files' readers; not for other modules.
#include <cstdint>
#include <cstring>

#include "quarn/vfile/readstream.h"

class StringPool;

namespace ca_detail {

// The pool that holds bone-tag, animation and sound-event names. Given its
// buffer by character_instance_system_init; a loader used before that gets a
// default-sized pool so that tools and item meshes need no start-up step.
StringPool& names();

// A pooled copy of a name compared with its case (sound events tell
// "Step" from "step"): an equal stored string, else a new one.
const char* pooled_exact(const char* text);

// Reads a NUL-terminated string of at most max characters. False (and the
// stream left wherever it stopped) when the stream ends first or the name is
// longer than the buffer: such a file is refused rather than cut short.
bool read_bounded_string(ReadStream& s, char* buffer, int max);

// Little-endian reads from a block already in memory.
inline uint32_t get_u32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}
inline int32_t get_i32(const uint8_t* p) { return static_cast<int32_t>(get_u32(p)); }
inline float get_f32(const uint8_t* p) {
  uint32_t u = get_u32(p);
  float f;
  std::memcpy(&f, &u, 4);
  return f;
}
inline void put_u32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

}  // namespace ca_detail
