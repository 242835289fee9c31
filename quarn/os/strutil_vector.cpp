// The text forms of a vector.
#include "quarn/math/vector.h"
#include "quarn/os/strutil.h"
#include "quarn/os/textstring.h"

char* str_from_vector(char* buffer, size_t size, const vector& v, int decimals) {
  return str_from_xyz(buffer, size, v.x, v.y, v.z, decimals);
}

TextString TextString::from_vector(const vector& v, int decimals) {
  char buf[256];
  str_from_vector(buf, sizeof buf, v, decimals);
  return TextString(buf);
}
