#include "quarn/os/strutil.h"

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <strings.h>

namespace {

bool is_trim_char(char c) { return c == ' ' || c == '\t' || c == '\n'; }

// Copies [b, e) into dest of the given size, cutting when needed.
char* copy_range(char* dest, size_t size, const char* b, const char* e) {
  if (!dest || size == 0) {
    return dest;
  }
  size_t n = static_cast<size_t>(e - b);
  if (n >= size) {
    n = size - 1;
  }
  std::memmove(dest, b, n);
  dest[n] = 0;
  return dest;
}

const char* skip_left(const char* s) {
  while (*s && is_trim_char(*s)) {
    ++s;
  }
  return s;
}

const char* end_right(const char* b) {
  const char* e = b + std::strlen(b);
  while (e > b && is_trim_char(e[-1])) {
    --e;
  }
  return e;
}

constexpr size_t kUnbounded = static_cast<size_t>(-1) / 2;

char g_padded_prefix = 0;

}  // namespace

bool str_is_blank(const char* text) {
  if (!text) {
    return true;
  }
  for (; *text; ++text) {
    if (!is_trim_char(*text)) {
      return false;
    }
  }
  return true;
}

char* str_copy_trim_left(char* dest, size_t size, const char* src) {
  if (!src) {
    src = "";
  }
  const char* b = skip_left(src);
  return copy_range(dest, size, b, b + std::strlen(b));
}

char* str_copy_trim_right(char* dest, size_t size, const char* src) {
  if (!src) {
    src = "";
  }
  return copy_range(dest, size, src, end_right(src));
}

char* str_trim(char* dest, size_t size, const char* src) {
  if (!src) {
    src = "";
  }
  const char* b = skip_left(src);
  return copy_range(dest, size, b, end_right(b));
}

char* str_copy_trim_left(char* dest, const char* src) { return str_copy_trim_left(dest, kUnbounded, src); }
char* str_copy_trim_right(char* dest, const char* src) { return str_copy_trim_right(dest, kUnbounded, src); }
char* str_trim(char* dest, const char* src) { return str_trim(dest, kUnbounded, src); }

void str_append_char(char* text, char c) {
  size_t n = std::strlen(text);
  text[n] = c;
  text[n + 1] = 0;
}

bool str_append_char(char* text, size_t size, char c) {
  size_t n = strnlen(text, size);
  if (n + 2 > size) {
    return false;
  }
  text[n] = c;
  text[n + 1] = 0;
  return true;
}

char* str_lower(char* text) {
  for (char* p = text; p && *p; ++p) {
    *p = static_cast<char>(std::tolower(static_cast<unsigned char>(*p)));
  }
  return text;
}

char* str_upper(char* text) {
  for (char* p = text; p && *p; ++p) {
    *p = static_cast<char>(std::toupper(static_cast<unsigned char>(*p)));
  }
  return text;
}

const char* ext_in_list(const char* list, const char* text) {
  if (!list || !text) {
    return nullptr;
  }
  size_t m = std::strlen(text);
  if (m == 0) {
    return list;
  }
  for (const char* p = list; *p; ++p) {
    if (strncasecmp(p, text, m) == 0) {
      return p;
    }
  }
  return nullptr;
}

char* str_format_thousands(char* buffer, size_t size, int value) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%d", value);
  const char* d = digits;
  bool neg = *d == '-';
  if (neg) {
    ++d;
  }
  size_t nd = std::strlen(d);
  size_t commas = nd > 0 ? (nd - 1) / 3 : 0;
  size_t need = (neg ? 1 : 0) + nd + commas + 1;
  if (!buffer || need > size) {
    return nullptr;
  }
  char* o = buffer;
  if (neg) {
    *o++ = '-';
  }
  for (size_t i = 0; i < nd; ++i) {
    if (i > 0 && (nd - i) % 3 == 0) {
      *o++ = ',';
    }
    *o++ = d[i];
  }
  *o = 0;
  return buffer;
}

char* str_from_int(char* buffer, size_t size, int value) {
  std::snprintf(buffer, size, "%d", value);
  return buffer;
}

char* str_from_hex(char* buffer, size_t size, int value) {
  std::snprintf(buffer, size, "0x%x", static_cast<unsigned>(value));
  return buffer;
}

char* str_from_hex(char* buffer, size_t size, unsigned int value) {
  std::snprintf(buffer, size, "0x%x", value);
  return buffer;
}

char* str_from_float(char* buffer, size_t size, float value, int decimals) {
  std::snprintf(buffer, size, "%.*f", decimals, static_cast<double>(value));
  return buffer;
}

char* str_from_xyz(char* buffer, size_t size, float x, float y, float z, int decimals) {
  std::snprintf(buffer, size, "< %.*f, %.*f, %.*f >", decimals, static_cast<double>(x), decimals,
                static_cast<double>(y), decimals, static_cast<double>(z));
  return buffer;
}

char* str_byte_size(char* buffer, size_t size, int bytes) {
  if (bytes < 999) {
    std::snprintf(buffer, size, "%d bytes", bytes);
    return buffer;
  }
  float kb = static_cast<float>(bytes) * (1.0f / 1024.0f);
  if (kb < 999.99f) {
    std::snprintf(buffer, size, "%.2f KB", static_cast<double>(kb));
  } else {
    std::snprintf(buffer, size, "%.2f MB", static_cast<double>(kb * (1.0f / 1024.0f)));
  }
  return buffer;
}

void str_set_padded_prefix(char prefix) { g_padded_prefix = prefix; }

static char* format_padded(char* buffer, size_t size, int indent, int width, const char* label,
                           bool pad_label_only, const char* fmt, va_list ap) {
  if (!buffer || size == 0) {
    return buffer;
  }
  char value[1024];
  std::vsnprintf(value, sizeof value, fmt, ap);
  if (!label) {
    label = "";
  }
  int llen = static_cast<int>(std::strlen(label));
  int vlen = static_cast<int>(std::strlen(value));
  int blanks = pad_label_only ? width - llen : width - llen - vlen;
  if (blanks < 1) {
    blanks = 1;
  }
  if (indent < 0) {
    indent = 0;
  }
  char prefix[2] = {g_padded_prefix, 0};
  std::snprintf(buffer, size, "%s%*s%s%*s%s", prefix, indent, "", label, blanks, "", value);
  return buffer;
}

char* str_format_padded(char* buffer, size_t size, int indent, int width, const char* label, const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  char* r = format_padded(buffer, size, indent, width, label, false, fmt, ap);
  va_end(ap);
  return r;
}

char* str_format_column(char* buffer, size_t size, int indent, int width, const char* label, const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  char* r = format_padded(buffer, size, indent, width, label, true, fmt, ap);
  va_end(ap);
  return r;
}

char* text_fit_width(char* dest, size_t size, const char* text, int max_width, TextWidthFn measure) {
  if (!dest || size == 0) {
    return dest;
  }
  copy_range(dest, size, text ? text : "", (text ? text : "") + (text ? std::strlen(text) : 0));
  if (!measure || measure(dest) <= max_width) {
    return dest;
  }
  size_t n = std::strlen(dest);
  if (size < 4) {
    dest[0] = 0;
    return dest;
  }
  if (n + 4 > size) {
    n = size - 4;
  }
  std::memcpy(dest + n, "...", 4);
  while (n > 0 && measure(dest) > max_width) {
    --n;
    std::memmove(dest + n, dest + n + 1, 4);
  }
  return dest;
}

namespace {

// Full-width Shift_JIS codes of ' ' (32) to 'z' (122), from JIS X 0208 row 1
// (punctuation) and rows 3 (digits and Latin letters).
const uint16_t kFullwidth[] = {
    0x8140, 0x8149, 0x8168, 0x8194, 0x8190, 0x8193, 0x8195, 0x8166,  //  !"#$%&'
    0x8169, 0x816A, 0x8196, 0x817B, 0x8143, 0x817C, 0x8144, 0x815E,  // ()*+,-./
    0x824F, 0x8250, 0x8251, 0x8252, 0x8253, 0x8254, 0x8255, 0x8256,  // 01234567
    0x8257, 0x8258, 0x8146, 0x8147, 0x8183, 0x8181, 0x8184, 0x8148,  // 89:;<=>?
    0x8197, 0x8260, 0x8261, 0x8262, 0x8263, 0x8264, 0x8265, 0x8266,  // @ABCDEFG
    0x8267, 0x8268, 0x8269, 0x826A, 0x826B, 0x826C, 0x826D, 0x826E,  // HIJKLMNO
    0x826F, 0x8270, 0x8271, 0x8272, 0x8273, 0x8274, 0x8275, 0x8276,  // PQRSTUVW
    0x8277, 0x8278, 0x8279, 0x816D, 0x815F, 0x816E, 0x814F, 0x8151,  // XYZ[\]^_
    0x814D, 0x8281, 0x8282, 0x8283, 0x8284, 0x8285, 0x8286, 0x8287,  // `abcdefg
    0x8288, 0x8289, 0x828A, 0x828B, 0x828C, 0x828D, 0x828E, 0x828F,  // hijklmno
    0x8290, 0x8291, 0x8292, 0x8293, 0x8294, 0x8295, 0x8296, 0x8297,  // pqrstuvw
    0x8298, 0x8299, 0x829A,                                          // xyz
};
constexpr int kFirst = ' ';
constexpr int kCount = sizeof kFullwidth / sizeof kFullwidth[0];

}  // namespace

int str_to_fullwidth(uint16_t* dest, size_t size, const char* text) {
  if (!dest || size == 0) {
    return 0;
  }
  size_t n = 0;
  for (const char* p = text ? text : ""; *p && n + 1 < size; ++p) {
    int c = static_cast<unsigned char>(*p);
    if (c < kFirst || c >= kFirst + kCount) {
      break;
    }
    dest[n++] = kFullwidth[c - kFirst];
  }
  dest[n] = 0;
  return static_cast<int>(n);
}

int str_from_fullwidth(char* dest, size_t size, const uint16_t* codes) {
  if (!dest || size == 0) {
    return 0;
  }
  size_t n = 0;
  for (const uint16_t* p = codes; p && *p && n + 1 < size; ++p) {
    int found = -1;
    for (int i = 0; i < kCount; ++i) {
      if (kFullwidth[i] == *p) {
        found = i;
        break;
      }
    }
    if (found < 0) {
      break;
    }
    dest[n++] = static_cast<char>(kFirst + found);
  }
  dest[n] = 0;
  return static_cast<int>(n);
}
