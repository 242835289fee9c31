#include "Orrimund/splash.h"

#include "quarn/bmpman/bmpman.h"
#include "quarn/gr/gr.h"
#include "quarn/os/timer.h"

void splash_show() {
  if (!gr_is_initialised()) return;
  gr_fade_out(0);
  const int bitmap = bm_load("combined.tga");
  gr_fade_in(SPLASH_FADE_MS);
  RealTimestamp shown;
  shown.set(SPLASH_MS);
  while (!shown.elapsed()) {
    gr_flip();
    gr_clear();
    gr_set_color(255, 255, 255, 255);
    if (bitmap >= 0) gr_bitmap(bitmap, 0, 0, Gr_preset[1]);
    frametime_update();
  }
}
