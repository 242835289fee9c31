#include "quarn/os/textstring.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "quarn/os/strutil.h"

namespace {

char* dup_n(const char* text, int n) {
  char* p = static_cast<char*>(std::malloc(static_cast<size_t>(n) + 1));
  if (!p) {
    std::abort();
  }
  if (n > 0) {
    std::memcpy(p, text, static_cast<size_t>(n));
  }
  p[n] = 0;
  return p;
}

bool is_trim_char(char c) { return c == ' ' || c == '\t' || c == '\n'; }

char g_scratch = 0;

}  // namespace

TextString::TextString() : len_(0), text_(nullptr) {}

TextString::TextString(const char* text) : len_(0), text_(nullptr) { assign(text); }

TextString::TextString(char c) : len_(0), text_(nullptr) {
  char buf[2] = {c, 0};
  assign(buf);
}

TextString::TextString(int room) : len_(0), text_(nullptr) { reserve(room < 0 ? 0 : room); }

TextString::TextString(const TextString& other) : len_(0), text_(nullptr) { assign(other.text_); }

TextString::TextString(TextString&& other) noexcept : len_(other.len_), text_(other.text_) {
  other.len_ = 0;
  other.text_ = nullptr;
}

TextString::~TextString() { std::free(text_); }

void TextString::assign(const char* text, int max_length) {
  // Copy first: the text may point into our own block.
  int n = text ? static_cast<int>(std::strlen(text)) : 0;
  if (max_length >= 0 && n > max_length) {
    n = max_length;
  }
  char* p = n > 0 ? dup_n(text, n) : nullptr;
  std::free(text_);
  text_ = p;
  len_ = n;
}

void TextString::reserve(int n) {
  if (n < 0) {
    n = 0;
  }
  std::free(text_);
  text_ = static_cast<char*>(std::calloc(static_cast<size_t>(n) + 1, 1));
  if (!text_) {
    std::abort();
  }
  len_ = n;
}

TextString& TextString::operator=(const TextString& other) {
  if (this != &other) {
    assign(other.text_);
  }
  return *this;
}

TextString& TextString::operator=(TextString&& other) noexcept {
  if (this != &other) {
    std::free(text_);
    text_ = other.text_;
    len_ = other.len_;
    other.text_ = nullptr;
    other.len_ = 0;
  }
  return *this;
}

TextString& TextString::operator=(const char* text) {
  assign(text ? text : "");
  return *this;
}

TextString& TextString::operator=(char c) {
  char buf[2] = {c, 0};
  assign(buf);
  return *this;
}

int TextString::length() const { return text_ ? static_cast<int>(std::strlen(text_)) : 0; }

bool TextString::is_empty() const { return len_ < 1 || !text_ || text_[0] == 0; }

bool TextString::is_blank() const { return is_empty() || str_is_blank(text_); }

void TextString::to_lower() {
  if (text_) {
    str_lower(text_);
  }
}

void TextString::to_upper() {
  if (text_) {
    str_upper(text_);
  }
}

TextString TextString::substring(int first, int last) const {
  int n = length();
  if (last < 0 || last >= n) {
    last = n - 1;
  }
  if (first < 0) {
    first = 0;
  }
  TextString r;
  if (first <= last && first < n) {
    r.assign(text_ + first, last - first + 1);
  }
  return r;
}

TextString TextString::left(int n) const {
  TextString r;
  if (n > 0) {
    r.assign(c_str(), n);
  }
  return r;
}

TextString TextString::right(int n) const {
  int len = length();
  TextString r;
  if (n <= 0) {
    return r;
  }
  if (n >= len) {
    r.assign(c_str());
  } else {
    r.assign(text_ + (len - n));
  }
  return r;
}

TextString TextString::mid(int first, int count) const {
  int len = length();
  TextString r;
  if (first < 0 || first >= len || count <= 0) {
    return r;
  }
  r.assign(text_ + first, count);
  return r;
}

int TextString::find(const char* text, bool from_end) const {
  if (!text || !*text) {
    return 0;
  }
  int n = length();
  int m = static_cast<int>(std::strlen(text));
  if (m > n) {
    return -1;
  }
  if (from_end) {
    for (int i = n - m; i >= 0; --i) {
      if (strncasecmp(text_ + i, text, static_cast<size_t>(m)) == 0) {
        return i;
      }
    }
  } else {
    for (int i = 0; i + m <= n; ++i) {
      if (strncasecmp(text_ + i, text, static_cast<size_t>(m)) == 0) {
        return i;
      }
    }
  }
  return -1;
}

void TextString::trim_left() {
  if (!text_) {
    return;
  }
  const char* p = text_;
  while (*p && is_trim_char(*p)) {
    ++p;
  }
  if (p != text_) {
    assign(p);
  }
}

void TextString::trim_right() {
  if (!text_) {
    return;
  }
  int n = length();
  while (n > 0 && is_trim_char(text_[n - 1])) {
    --n;
  }
  if (n == 0) {
    assign(nullptr);
  } else {
    text_[n] = 0;
    len_ = n;
  }
}

void TextString::trim() {
  trim_right();
  trim_left();
}

float TextString::to_float() const { return text_ ? static_cast<float>(std::atof(text_)) : 0.0f; }

char& TextString::at(int index) {
  if (!text_ || index < 0 || index >= length()) {
    g_scratch = 0;
    return g_scratch;
  }
  return text_[index];
}

char TextString::at(int index) const {
  if (!text_ || index < 0 || index >= length()) {
    return 0;
  }
  return text_[index];
}

TextString& TextString::operator+=(const char* s) {
  if (!s || !*s) {
    return *this;
  }
  int a = length();
  int b = static_cast<int>(std::strlen(s));
  char* p = static_cast<char*>(std::malloc(static_cast<size_t>(a + b) + 1));
  if (!p) {
    std::abort();
  }
  if (a) {
    std::memcpy(p, text_, static_cast<size_t>(a));
  }
  std::memcpy(p + a, s, static_cast<size_t>(b) + 1);
  std::free(text_);
  text_ = p;
  len_ = a + b;
  return *this;
}

TextString& TextString::operator+=(const TextString& s) {
  TextString copy(s);  // s may be *this
  return *this += copy.c_str();
}

TextString& TextString::operator+=(char c) {
  char buf[2] = {c, 0};
  return *this += buf;
}

TextString TextString::from_byte_size(int bytes) {
  char buf[64];
  str_byte_size(buf, sizeof buf, bytes);
  return TextString(buf);
}

TextString TextString::from_int(int value) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%d", value);
  return TextString(buf);
}

TextString TextString::from_hex(int value) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "0x%x", static_cast<unsigned>(value));
  return TextString(buf);
}

TextString TextString::from_hex(unsigned int value) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "0x%x", value);
  return TextString(buf);
}

TextString TextString::from_float(float value, int decimals) {
  char buf[128];
  str_from_float(buf, sizeof buf, value, decimals);
  return TextString(buf);
}

TextString operator+(const TextString& a, const TextString& b) {
  TextString r(a);
  r += b;
  return r;
}
TextString operator+(const TextString& a, const char* b) {
  TextString r(a);
  r += b;
  return r;
}
TextString operator+(const char* a, const TextString& b) {
  TextString r(a);
  r += b;
  return r;
}
TextString operator+(const TextString& a, char b) {
  TextString r(a);
  r += b;
  return r;
}
TextString operator+(char a, const TextString& b) {
  TextString r(a);
  r += b;
  return r;
}

int textstring_compare(const char* a, const char* b) {
  bool ea = !a || !*a;
  bool eb = !b || !*b;
  if (ea || eb) {
    return ea == eb ? 0 : (ea ? -1 : 1);
  }
  return strcasecmp(a, b);
}
