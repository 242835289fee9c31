// UI table text of any shape through the window reader, then a few frames
// of the toolkit over what it built (a fixed mouse, the recording renderer
// with no recorder). A text that does not match must end in the parse
// error, never in a read outside the text or a broken window list.
#include <cstddef>
#include <cstdint>
#include <stdexcept>

#include "fuzz/bm_fuzz_util.h"
#include "quarn/gr/gr.h"
#include "quarn/os/error.h"
#include "quarn/parse/parse.h"
#include "quarn/ui/ui.h"
#include "quarn/ui/ui_table.h"

namespace {
struct Fatal : std::runtime_error {
  using std::runtime_error::runtime_error;
};
void throw_handler(const char*, int, const char*, const char* full) { throw Fatal(full); }

int Frame = 0;
void mouse(UiMouseInput* in) {
  *in = UiMouseInput{};
  in->x = (Frame * 97) % 640;
  in->y = (Frame * 61) % 480;
  in->moved = true;
  in->left_pressed = Frame % 2 == 0;
  in->left_down = in->left_pressed;
  in->left_released = Frame % 2 == 1;
  in->wheel = Frame % 3 == 0 ? -120 : 0;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool ready = [] {
    critical_error_set_handler(throw_handler);
    bm_fuzz_root();
    gr_init(640, 480, GR_RECORDER, GR_WINDOWED, 0, false);
    ui_init();
    ui_set_mouse_source(mouse);
    ui_set_mouse_discard([] {});
    return true;
  }();
  (void)ready;
  {
    UiWindow window;
    try {
      ParseContext pc;
      pc.open_memory("fuzz.ui", reinterpret_cast<const char*>(data), size);
      ui_load_window(&window, pc);
      for (Frame = 0; Frame < 4; Frame++) {
        ui_process(Frame == 1 ? 208 : 0, 0);
        ui_render();
      }
    } catch (const Fatal&) {
      // The parse error: what a bad table is meant to end in.
    }
  }
  ui_close_all();
  return 0;
}
