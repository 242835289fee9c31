#include "quarn/platform/message_box.h"

#include <cstdio>

void platform_message_box(const char* text, const char* caption) {
  std::fprintf(stderr, "%s\n%s", caption ? caption : "", text ? text : "");
  std::fflush(stderr);
}
