#pragma once
// An owning, heap-backed string whose comparisons ignore case, as the game's
// names (files, tables, characters) are compared everywhere.
#include <cstddef>

struct vector;

class TextString {
 public:
  TextString();
  TextString(const char* text);  // NOLINT: implicit by design, like the game's code
  explicit TextString(char c);
  // Room for n characters (negative counts as 0); the text starts empty.
  explicit TextString(int room);
  TextString(const TextString& other);
  TextString(TextString&& other) noexcept;
  ~TextString();

  // Frees the old block, copies at most max_length characters (-1: all).
  void assign(const char* text, int max_length = -1);
  // A block of n + 1 bytes holding an empty text; n is recorded as the length.
  void reserve(int n);

  TextString& operator=(const TextString& other);
  TextString& operator=(TextString&& other) noexcept;
  TextString& operator=(const char* text);
  TextString& operator=(char c);

  const char* c_str() const { return text_ ? text_ : ""; }
  operator const char*() const { return c_str(); }
  // The writable block (null for an empty string); holds reserved room.
  char* data() { return text_; }
  int length() const;
  bool is_empty() const;
  bool is_blank() const;

  void to_lower();
  void to_upper();

  TextString substring(int first, int last = -1) const;
  TextString left(int n) const;
  TextString right(int n) const;
  TextString mid(int first, int count) const;

  // Index of the first (or last) occurrence ignoring case; -1 when absent,
  // 0 for a null or empty pattern.
  int find(const char* text, bool from_end = false) const;

  void trim_left();
  void trim_right();
  void trim();

  float to_float() const;

  // Out-of-range indexes give a shared scratch character set to zero.
  char& at(int index);
  char at(int index) const;
  char& operator[](int index) { return at(index); }
  char operator[](int index) const { return at(index); }

  TextString& operator+=(const TextString& s);
  TextString& operator+=(const char* s);
  TextString& operator+=(char c);

  static TextString from_byte_size(int bytes);
  static TextString from_int(int value);
  static TextString from_hex(int value);
  static TextString from_hex(unsigned int value);
  static TextString from_float(float value, int decimals);
  static TextString from_vector(const vector& v, int decimals);

 private:
  int len_;
  char* text_;
};

TextString operator+(const TextString& a, const TextString& b);
TextString operator+(const TextString& a, const char* b);
TextString operator+(const char* a, const TextString& b);
TextString operator+(const TextString& a, char b);
TextString operator+(char a, const TextString& b);

// Case-insensitive ordering; an empty string orders before any other.
int textstring_compare(const char* a, const char* b);

inline bool operator==(const TextString& a, const TextString& b) { return textstring_compare(a.c_str(), b.c_str()) == 0; }
inline bool operator==(const TextString& a, const char* b) { return textstring_compare(a.c_str(), b) == 0; }
inline bool operator==(const char* a, const TextString& b) { return textstring_compare(a, b.c_str()) == 0; }
inline bool operator!=(const TextString& a, const TextString& b) { return !(a == b); }
inline bool operator!=(const TextString& a, const char* b) { return !(a == b); }
inline bool operator!=(const char* a, const TextString& b) { return !(a == b); }
inline bool operator<(const TextString& a, const TextString& b) { return textstring_compare(a.c_str(), b.c_str()) < 0; }
inline bool operator<(const TextString& a, const char* b) { return textstring_compare(a.c_str(), b) < 0; }
inline bool operator<(const char* a, const TextString& b) { return textstring_compare(a, b.c_str()) < 0; }
inline bool operator>(const TextString& a, const TextString& b) { return textstring_compare(a.c_str(), b.c_str()) > 0; }
inline bool operator>(const TextString& a, const char* b) { return textstring_compare(a.c_str(), b) > 0; }
inline bool operator>(const char* a, const TextString& b) { return textstring_compare(a, b.c_str()) > 0; }
inline bool operator<=(const TextString& a, const TextString& b) { return textstring_compare(a.c_str(), b.c_str()) <= 0; }
inline bool operator<=(const TextString& a, const char* b) { return textstring_compare(a.c_str(), b) <= 0; }
inline bool operator<=(const char* a, const TextString& b) { return textstring_compare(a, b.c_str()) <= 0; }
inline bool operator>=(const TextString& a, const TextString& b) { return textstring_compare(a.c_str(), b.c_str()) >= 0; }
inline bool operator>=(const TextString& a, const char* b) { return textstring_compare(a.c_str(), b) >= 0; }
inline bool operator>=(const char* a, const TextString& b) { return textstring_compare(a, b.c_str()) >= 0; }
