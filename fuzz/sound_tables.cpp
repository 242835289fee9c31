// Table text of any shape through the sound tables' readers: sounds.tbl,
// music.tbl, feedback.tbl and a level's surface table. The first byte picks
// the reader, the rest is the table. A bad table must end in the parse error
// or the reader's own fatal message, or stop at its limit; never overrun.
#include <cstddef>
#include <cstdint>
#include <stdexcept>

#include "Engine/gamesound/gamesnd.h"
#include "Engine/gamesound/sound.h"
#include "quarn/os/error.h"
#include "quarn/parse/parse.h"

namespace {

struct Fatal : std::runtime_error {
  using std::runtime_error::runtime_error;
};

void throw_handler(const char*, int, const char*, const char* full) { throw Fatal(full); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  static bool once = [] {
    critical_error_set_handler(throw_handler);
    std::setvbuf(stdout, nullptr, _IOFBF, 1 << 16);
    return true;
  }();
  (void)once;
  ParseContext pc;
  pc.open_memory("table.tbl", reinterpret_cast<const char*>(data + 1), size - 1);
  try {
    switch (data[0] % 4) {
      case 0: snd_parse_sounds_tbl(pc); break;
      case 1: music_parse_tracks(pc); break;
      case 2: feedback_parse(pc); break;
      case 3: surfaces_parse(pc); break;
    }
  } catch (const Fatal&) {
  }
  return 0;
}
