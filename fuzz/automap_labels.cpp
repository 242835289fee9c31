// automap_labels.tbl as anyone may have left it: whatever the bytes, reading
// a script's section gives at most 32 labels with terminated texts of at most
// 31 characters, and writing the section back gives a table that reads the
// same permanent labels again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "Orrimund/screens/automap_labels.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* text = reinterpret_cast<const char*>(data);
  AutomapLabelList list;
  automap_labels_parse(text, size, "sewer", &list);
  if (list.count < 0 || list.count > AUTOMAP_MAX_LABELS) abort();
  int permanent = 0;
  for (int i = 0; i < list.count; i++) {
    if (std::memchr(list.labels[i].text, 0, AUTOMAP_LABEL_TEXT) == nullptr) abort();
    permanent += list.labels[i].type == AUTOMAP_LABEL_PERMANENT;
  }
  const std::string out = automap_labels_rewrite(text, size, "sewer", list);
  AutomapLabelList again;
  if (!automap_labels_parse(out.data(), out.size(), "sewer", &again)) return 0;  // an earlier "#End" hides it
  // Texts holding a quote or a line break cannot come back whole; the rest do.
  bool plain = true;
  for (int i = 0; i < list.count; i++)
    if (std::strpbrk(list.labels[i].text, "\"\r\n")) plain = false;
  if (plain && again.count != permanent) abort();
  return 0;
}
