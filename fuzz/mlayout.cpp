// Monster layout files as a developer's disk hands them over: any bytes
// give a layout that the writer writes back to the same layout, or a refusal with a
// reason, never a read past the data.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "Orrimund/mlayout.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MlayoutFile m;
  std::string error;
  if (!mlayout_parse(data, size, &m, &error)) {
    if (error.empty()) abort();
    return 0;
  }
  for (const MlayoutRecord& r : m.records)
    if (r.kind == 0 || r.type_name.size() > MLAYOUT_NAME_MAX) abort();
  // What the writer makes of it reads back as the same layout.
  const std::vector<uint8_t> again = mlayout_encode(m);
  MlayoutFile back;
  if (!mlayout_parse(again.data(), again.size(), &back, &error)) abort();
  if (back.level != m.level || back.records.size() != m.records.size()) abort();
  for (size_t i = 0; i < m.records.size(); i++)
    if (back.records[i].type_name != m.records[i].type_name || back.records[i].kind != m.records[i].kind) abort();
  return 0;
}
