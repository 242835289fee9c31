#include "quarn/os/error.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "quarn/platform/message_box.h"

namespace {
std::atomic<critical_error_handler> g_handler{nullptr};
std::atomic<void (*)()> g_display_release{nullptr};
}  // namespace

critical_error_handler critical_error_set_handler(critical_error_handler handler) {
  return g_handler.exchange(handler);
}

void critical_error_set_display_release(void (*release)()) { g_display_release = release; }

void critical_error(const char* file, int line, const char* text) {
  char message[4096];
  std::snprintf(message, sizeof message,
                "Error: %s\nFile: %s - Line: %d\n\n"
                "A critical error has occurred and the program cannot continue.\n"
                "Press OK to exit the program\n",
                text ? text : "", file ? file : "", line);

  if (auto release = g_display_release.load()) release();

  if (auto handler = g_handler.load()) handler(file, line, text, message);

  platform_message_box(message, "Error!");
  std::exit(1);
}

void critical_error_fmt(const char* file, int line, const char* fmt, ...) {
  char text[2048];
  va_list ap;
  va_start(ap, fmt);
  std::vsnprintf(text, sizeof text, fmt, ap);
  va_end(ap);
  critical_error(file, line, text);
}
