// Table text of any shape through every reader of the parser. The first
// bytes choose the readers (as a table reader of the game would call them);
// the rest is the table. A mismatch must end in the parse error, never in a
// read outside the text.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <stdexcept>

#include "quarn/math/matrix.h"
#include "quarn/math/vector.h"
#include "quarn/os/error.h"
#include "quarn/os/textstring.h"
#include "quarn/parse/parse.h"

namespace {

struct Fatal : std::runtime_error {
  using std::runtime_error::runtime_error;
};

void throw_handler(const char*, int, const char*, const char* full) { throw Fatal(full); }

bool convert(int32_t* slot, int index, const char* name) {
  if (name[0] == 'a') {
    *slot = index;
    return true;
  }
  return false;
}

const char* const Names[] = {"fire", "ice", "poison", "Wind", nullptr};
const char* const Literals[] = {"$Name:", "#End", "+Slot:", "(", "\"", "$end text", "//", "<"};

void step(ParseContext& pc, uint8_t op) {
  const char* lit = Literals[(op >> 5) % 8];
  switch (op % 32) {
    case 0: pc.require_string(lit); break;
    case 1: pc.optional_string(lit); break;
    case 2: pc.check_string(lit); break;
    case 3: pc.read_int(); break;
    case 4: pc.read_uint(); break;
    case 5: pc.read_float(); break;
    case 6: { vector v; pc.read_vector(v); break; }
    case 7: { matrix m; pc.read_matrix(m); break; }
    case 8: { TextString s; pc.read_text_string(s); break; }
    case 9: { char b[16]; pc.read_string(b, sizeof b); break; }
    case 10: { TextString s; pc.read_text(s, lit); break; }
    case 11: { TextString s; pc.read_text_joined(s, lit); break; }
    case 12: { char b[24]; pc.read_line(b, sizeof b); break; }
    case 13: { TextString s; pc.skip_and_read_line_string(s); break; }
    case 14: { TextString s[3]; pc.read_string_list(s, 3); break; }
    case 15: { int32_t v[4]; pc.read_int_list(v, 4, (op & 0x20) ? convert : nullptr); break; }
    case 16: { float f[4]; pc.read_float_list(f, 4); break; }
    case 17: pc.read_flags(Names, 8); break;
    case 18: pc.read_type(Names, 3); break;
    case 19: pc.read_bool(); break;
    case 20: pc.skip_to_string(lit, Literals[op % 8]); break;
    case 21: pc.find_string(lit); break;
    case 22: { char b[8]; pc.read_until(b, sizeof b, lit, "#End"); break; }
    case 23: pc.skip_line(); break;
    case 24: pc.skip_space_in_line(); break;
    case 25: pc.optional_quoted_string("fire"); break;
    case 26: pc.skip_to_and_require(lit, nullptr); break;
    case 27: { ParsePos p; pc.save_pos(p); pc.skip_space(); pc.restore_pos(p); break; }
    case 28: pc.crc(); break;
    case 29: { char b[PARSE_MAX_NAME_LEN + 1]; pc.read_string(b, sizeof b, '{', '}'); break; }
    case 30: { TextString s; pc.read_line_string(s); break; }
    default: pc.rewind(); break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool installed = (critical_error_set_handler(throw_handler), true);
  (void)installed;
  size_t ops = size < 16 ? size : 16;
  ParseContext pc;
  pc.open_memory("fuzz.tbl", reinterpret_cast<const char*>(data + ops), size - ops);
  try {
    for (int round = 0; round < 64 && ops > 0; round++) {
      step(pc, data[round % ops]);
      if (pc.at_end() && (round % ops) == ops - 1) break;
    }
  } catch (const Fatal&) {
    // The parse error: what a bad table is meant to end in.
  }
  return 0;
}
