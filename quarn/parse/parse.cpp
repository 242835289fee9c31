#include "quarn/parse/parse.h"

#include <strings.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "quarn/math/matrix.h"
#include "quarn/math/vector.h"
#include "quarn/os/crc32.h"
#include "quarn/os/error.h"
#include "quarn/os/memory.h"
#include "quarn/os/textstring.h"
#include "quarn/vfile/vfile.h"

namespace {

// Bytes shown on each side of the cursor in a parse error.
constexpr int ERROR_CONTEXT = 40;

bool is_digit(char c) { return c >= '0' && c <= '9'; }

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool is_line_end(char c) { return c == '\r' || c == '\n'; }

// Control and high characters would garble the error message.
char shown(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  return (u < 32 || u > 127) ? 22 : c;
}

// Where a comment starting at p ends: a line comment just before its line end
// (so the line is still counted when it is crossed), a block comment past its
// "*/" or, unclosed, at the end of the text; nullptr when no comment starts
// at p.
const char* comment_end(const char* p) {
  if (p[0] != '/') return nullptr;
  if (p[1] == '/') {
    p += 2;
    while (*p && !is_line_end(*p)) p++;
    return p;
  }
  if (p[1] == '*') {
    for (p += 2; *p; p++)
      if (p[0] == '*' && p[1] == '/') return p + 2;
    return p;
  }
  return nullptr;
}

// Index of a name in a caller's table (ended by a null entry or by count),
// ignoring case; -1 when absent.
int lookup_name(const char* const* names, int count, const char* name) {
  for (int i = 0; i < count && names[i]; i++) {
    if (strcasecmp(names[i], name) == 0) return i;
  }
  return -1;
}

}  // namespace

ParseContext::ParseContext() = default;

ParseContext::~ParseContext() { close(); }

void ParseContext::set_name(const char* filename) {
  snprintf(filename_, sizeof filename_, "%s", filename ? filename : "");
}

int ParseContext::open(const char* filename, int path_type) {
  close();
  set_name(filename);
  FileHandle fh;
  int r = fh.open(filename, VF_READ, path_type);
  if (r < 0) return r;
  int size = fh.size();
  if (size < 0) size = 0;
  char* block = static_cast<char*>(common_block_lock(static_cast<size_t>(size) + 1));
  int got = size > 0 ? fh.read(block, size) : 0;
  if (got < 0) got = 0;
  if (got > size) got = size;
  block[got] = '\0';
  fh.close();
  text_ = block;
  common_block_ = true;
  length_ = static_cast<size_t>(got);
  rewind();
  return 0;
}

void ParseContext::open_or_die(const char* filename, int path_type) {
  if (open(filename, path_type) != 0) CRITICAL_ERROR("Unable to open parse file %s", filename);
}

void ParseContext::open_memory(const char* filename, const char* text, size_t length) {
  close();
  set_name(filename);
  text_ = new char[length + 1];
  if (length > 0) memcpy(text_, text, length);
  text_[length] = '\0';
  common_block_ = false;
  length_ = length;
  rewind();
}

void ParseContext::close() {
  if (!text_) return;
  if (common_block_) {
    common_block_unlock(text_);
  } else {
    delete[] text_;
  }
  text_ = nullptr;
  cursor_ = nullptr;
  length_ = 0;
  line_ = 1;
  common_block_ = false;
}

void ParseContext::rewind() {
  cursor_ = text_;
  line_ = 1;
}

void ParseContext::save_pos(ParsePos& pos) const {
  pos.line = line_;
  pos.cursor = cursor_;
}

void ParseContext::restore_pos(const ParsePos& pos) {
  line_ = pos.line;
  cursor_ = pos.cursor;
}

bool ParseContext::at_end() const { return !cursor_ || *cursor_ == '\0'; }

uint32_t ParseContext::crc() const { return text_ ? crc32_of(text_, length_) : 0; }

// A line feed that follows a carriage return belongs to it; any other line
// feed ends a line by itself.
void ParseContext::advance_to(const char* p) {
  for (const char* q = cursor_; q < p; q++) {
    if (*q == '\r' || (*q == '\n' && (q == text_ || q[-1] != '\r'))) line_++;
  }
  cursor_ = p;
}

[[noreturn]] void ParseContext::error(const char* expected) {
  char found[ERROR_CONTEXT + 1];
  char prior[ERROR_CONTEXT + 1];
  int n = 0;
  if (cursor_) {
    for (; n < ERROR_CONTEXT && cursor_[n] != '\0'; n++) {
      found[n] = shown(cursor_[n]);
    }
  }
  found[n] = '\0';
  int m = 0;
  if (cursor_ && text_) {
    size_t back = static_cast<size_t>(cursor_ - text_);
    const char* start = cursor_ - (back < ERROR_CONTEXT ? back : ERROR_CONTEXT);
    for (const char* q = start; q < cursor_; q++, m++) prior[m] = shown(*q);
  }
  prior[m] = '\0';
  char message[1024];
  snprintf(message, sizeof message,
           "Parsing file \"%s\", at line #%d\nExpected %s but found this text:\n\n[%s]\n\n"
           "Prior text was this:\n\n[%s]\n",
           filename_, line_, expected ? expected : "", found, prior);
  critical_error(__FILE__, __LINE__, message);
}

// ---- skipping ----------------------------------------------------------------

// Most calls find the cursor at a token or behind a run of spaces: those
// are passed here, and only line ends, other blanks and comments take the
// full walk.
void ParseContext::skip_space() {
  const char* p = cursor_;
  if (!p) return;
  while (*p == ' ') p++;
  const char c = *p;
  cursor_ = p;
  if (c > ' ' && c != '/') return;
  skip_blank(true);
}

void ParseContext::skip_space_in_line() { skip_blank(false); }

// White space and comments. A block comment is skipped whole even where it
// runs over line ends; only bare line ends stop the in-line form.
void ParseContext::skip_blank(bool across_lines) {
  if (!cursor_) return;
  // Lines are counted as the blanks are crossed, by the rule of advance_to.
  const char* p = cursor_;
  for (;;) {
    const char c = *p;
    if (c == ' ' || c == '\t') {
      p++;
    } else if (c == '\r') {
      if (!across_lines) break;
      line_++;
      p++;
    } else if (c == '\n') {
      if (!across_lines) break;
      if (p == text_ || p[-1] != '\r') line_++;
      p++;
    } else if (c >= 9 && c <= 12) {
      p++;
    } else if (const char* end = comment_end(p)) {
      cursor_ = p;
      advance_to(end);
      p = cursor_;
    } else {
      break;
    }
  }
  cursor_ = p;
}

void ParseContext::skip_line() {
  if (!cursor_) return;
  const char* p = cursor_;
  while (*p && !is_line_end(*p)) p++;
  if (*p == '\r') p++;
  if (*p == '\n') p++;
  advance_to(p);
}

bool ParseContext::skip_to_string(const char* text, const char* stop) {
  if (!cursor_ || !text) return false;
  if (static_cast<size_t>(cursor_ - text_) > length_) return false;
  const char* found = strstr(cursor_, text);
  if (!found) return false;
  if (stop && *stop) {
    const char* s = strstr(cursor_, stop);
    if (s && s < found) return false;
  }
  advance_to(found);
  return true;
}

bool ParseContext::find_string(const char* text) {
  if (!cursor_) return false;
  if (skip_to_string(text)) return true;
  ParsePos pos;
  save_pos(pos);
  rewind();
  if (skip_to_string(text)) return true;
  restore_pos(pos);
  return false;
}

bool ParseContext::skip_to_and_require(const char* text, const char* stop) {
  if (!skip_to_string(text, stop)) return false;
  require_string(text);
  return true;
}

bool ParseContext::find_and_require(const char* text) {
  if (!find_string(text)) return false;
  require_string(text);
  return true;
}

int ParseContext::read_until(char* buffer, int size, const char* text, const char* stop) {
  if (!buffer || size <= 0) return 0;
  buffer[0] = '\0';
  if (!cursor_) return 0;
  const char* found = text ? strstr(cursor_, text) : nullptr;
  if (found && stop && *stop) {
    const char* s = strstr(cursor_, stop);
    if (s && s < found) found = nullptr;
  }
  if (found) {
    size_t n = static_cast<size_t>(found - cursor_);
    if (n > static_cast<size_t>(size - 1)) n = static_cast<size_t>(size - 1);
    memcpy(buffer, cursor_, n);
    buffer[n] = '\0';
    advance_to(found);
    return static_cast<int>(n);
  }
  if (!read_line(buffer, size)) return 0;
  return static_cast<int>(strlen(buffer));
}

// ---- literals ------------------------------------------------------------------

namespace {
char ascii_lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

// The length of text when the cursor starts with it, ignoring case; -1 when
// it does not. One pass: no length taken first.
long literal_here(const char* cursor, const char* text) {
  long i = 0;
  for (; text[i]; i++)
    if (cursor[i] != text[i] && ascii_lower(cursor[i]) != ascii_lower(text[i])) return -1;
  return i;
}
}  // namespace

bool ParseContext::at_literal(const char* text) const {
  if (!cursor_ || !text) return false;
  return literal_here(cursor_, text) >= 0;
}

bool ParseContext::check_string(const char* text) {
  skip_space();
  return at_literal(text);
}

bool ParseContext::optional_string(const char* text) {
  skip_space();
  if (!cursor_ || !text) return false;
  const long n = literal_here(cursor_, text);
  if (n < 0) return false;
  advance_to(cursor_ + n);
  return true;
}

void ParseContext::require_string(const char* text) {
  if (optional_string(text)) return;
  char expected[PARSE_MAX_NAME_LEN + 3];
  snprintf(expected, sizeof expected, "\"%s\"", text ? text : "");
  error(expected);
}

bool ParseContext::optional_quoted_string(const char* text) {
  skip_space();
  if (!cursor_ || !text || *cursor_ != '"') return false;
  size_t len = strlen(text);
  if (strncasecmp(cursor_ + 1, text, len) != 0 || cursor_[1 + len] != '"') return false;
  advance_to(cursor_ + len + 2);
  return true;
}

// ---- values ----------------------------------------------------------------------

bool ParseContext::read_bool() {
  skip_space();
  if (optional_string("true") || optional_string("yes")) return true;
  if (optional_string("false") || optional_string("no")) return false;
  error("a boolean value");
}

// Digits at the cursor, decimal or after 0x/0X hexadecimal; 32-bit wrapping
// arithmetic. *any says whether a digit was there.
uint32_t ParseContext::read_uint_digits(bool* any) {
  uint32_t value = 0;
  *any = false;
  const char* p = cursor_;
  if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
    p += 2;
    int h;
    while ((h = hex_value(*p)) >= 0) {
      value = value * 16u + static_cast<uint32_t>(h);
      *any = true;
      p++;
    }
  } else {
    while (is_digit(*p)) {
      value = value * 10u + static_cast<uint32_t>(*p - '0');
      *any = true;
      p++;
    }
  }
  if (*any) cursor_ = p;
  return value;
}

// An optional minus sign and the digits behind it (none when a decimal point
// comes first and point_may_lead); without digits the error is reported
// where the number began.
uint32_t ParseContext::read_sign_and_digits(bool* negative, const char* expected, bool point_may_lead) {
  ParsePos start;
  save_pos(start);
  *negative = *cursor_ == '-';
  if (*negative) cursor_++;
  if (point_may_lead && *cursor_ == '.') return 0;
  bool any;
  uint32_t value = read_uint_digits(&any);
  if (!any) {
    restore_pos(start);
    error(expected);
  }
  return value;
}

int ParseContext::read_int_at_cursor(const char* expected) {
  bool negative;
  uint32_t value = read_sign_and_digits(&negative, expected, false);
  if (negative) value = 0u - value;
  return static_cast<int32_t>(value);
}

int32_t ParseContext::read_int() {
  skip_space();
  if (!cursor_) error("an integer");
  return read_int_at_cursor("an integer");
}

int32_t ParseContext::read_int_in(int32_t lo, int32_t hi, const char* field) {
  skip_space();
  ParsePos pos;
  save_pos(pos);
  const int32_t v = read_int();
  if (v < lo || v > hi) {
    // Shown at the number, so the message holds it.
    restore_pos(pos);
    char expected[PARSE_MAX_NAME_LEN + 64];
    snprintf(expected, sizeof expected, "a number from %d to %d for %s", lo, hi, field ? field : "");
    error(expected);
  }
  return v;
}

uint32_t ParseContext::read_uint() {
  skip_space();
  if (!cursor_) error("a uint");
  bool any;
  uint32_t value = read_uint_digits(&any);
  if (!any) error("a uint");
  return value;
}

float ParseContext::read_float() {
  skip_space();
  if (!cursor_) error("an integer");
  bool negative;
  uint32_t digits = read_sign_and_digits(&negative, "an integer", true);
  // The integer part wraps to 32 bits exactly as read_int reads it.
  const double whole = static_cast<int32_t>(negative ? 0u - digits : digits);
  double fraction = 0.0;
  if (*cursor_ == '.') {
    cursor_++;
    const double tenth = static_cast<double>(0.1f);
    double scale = tenth;
    while (is_digit(*cursor_)) {
      fraction += (*cursor_ - '0') * scale;
      scale *= tenth;
      cursor_++;
    }
  }
  // The sign belongs to the fraction too, so "-0.5" keeps it although its
  // integer part is 0, and "-2147483648.5" stays below the smallest int.
  const double value = negative ? whole - fraction : whole + fraction;
  if (value == 0.0 && negative) return -0.0f;
  return static_cast<float>(value);
}

template <class Part>
void ParseContext::read_triple(char open, char close, const char* expected, Part part) {
  skip_space();
  if (!cursor_ || *cursor_ != open) error(expected);
  cursor_++;
  for (int i = 0; i < 3; i++) {
    part(i);
    skip_space();
    if (i < 2 && *cursor_ == ',') cursor_++;
  }
  skip_space();
  if (*cursor_ != close) error((std::string(expected) + " terminator").c_str());
  cursor_++;
}

void ParseContext::read_vector(vector& out) {
  read_triple('<', '>', "a vector", [&](int i) { out[i] = read_float(); });
}

void ParseContext::read_matrix(matrix& out) {
  read_triple('[', ']', "a matrix", [&](int i) { read_vector(out.row(i)); });
}

// Finds a delimited string at the cursor (after skip_space). *start gets the
// first character of the text; returns its length and leaves the cursor past
// the closing character.
int ParseContext::read_delimited(const char** start, char open, char close) {
  skip_space();
  if (!cursor_ || *cursor_ != open || open == '\0') error("a string");
  const char* p = cursor_ + 1;
  while (*p && *p != close && !is_line_end(*p)) p++;
  if (*p != close || close == '\0') {
    // Shown from the opening character, so the message holds the string.
    error("a string terminator");
  }
  *start = cursor_ + 1;
  int len = static_cast<int>(p - (cursor_ + 1));
  cursor_ = p + 1;
  return len;
}

int ParseContext::read_text_string(TextString& out, char open, char close) {
  const char* start;
  int len = read_delimited(&start, open, close);
  out.assign(start, len);
  return len;
}

int ParseContext::read_string(char* buffer, int capacity, char open, char close) {
  ParsePos pos;
  skip_space();
  save_pos(pos);
  const char* start;
  int len = read_delimited(&start, open, close);
  if (!buffer || len >= capacity) {
    restore_pos(pos);
    // With many tables read at start-up, the file and the line are what
    // lets someone find the string.
    CRITICAL_ERROR("Parsing file \"%s\", at line #%d\nNot enough storage provided (%d) for parsed C string (len=%d)",
                   filename_, line_, capacity, len);
  }
  memcpy(buffer, start, static_cast<size_t>(len));
  buffer[len] = '\0';
  return len;
}

void ParseContext::read_text(TextString& out, const char* terminator) {
  skip_space();
  const char* found = cursor_ && terminator && *terminator ? strstr(cursor_, terminator) : nullptr;
  if (!found) {
    char expected[PARSE_MAX_NAME_LEN + 32];
    snprintf(expected, sizeof expected, "multiline terminator \"%s\"", terminator ? terminator : "");
    error(expected);
  }
  const char* end = found;
  while (end > cursor_ && (end[-1] == ' ' || (end[-1] >= 9 && end[-1] <= 13))) end--;
  out.assign(cursor_, static_cast<int>(end - cursor_));
  advance_to(found + strlen(terminator));
}

void ParseContext::read_text_joined(TextString& out, const char* terminator) {
  TextString raw;
  read_text(raw, terminator);
  const char* s = raw.c_str();
  std::string joined;
  joined.reserve(strlen(s));
  for (size_t i = 0; s[i]; i++) {
    if (s[i] == '\r') {
      joined += ' ';
    } else if (s[i] == '\n') {
      // A line feed of its own is a line break like a carriage return.
      if (i == 0 || s[i - 1] != '\r') joined += ' ';
    } else {
      joined += s[i];
    }
  }
  out.assign(joined.c_str(), static_cast<int>(joined.size()));
}

int ParseContext::line_length_here() const {
  const char* p = cursor_;
  while (*p && !is_line_end(*p)) p++;
  return static_cast<int>(p - cursor_);
}

bool ParseContext::read_line(char* buffer, int size) {
  if (!cursor_ || *cursor_ == '\0' || !buffer || size <= 0) return false;
  int len = line_length_here();
  if (len >= size) return false;
  memcpy(buffer, cursor_, static_cast<size_t>(len));
  buffer[len] = '\0';
  skip_line();
  return true;
}

bool ParseContext::read_line_string(TextString& out) {
  if (!cursor_ || *cursor_ == '\0') {
    out.assign("");
    return false;
  }
  int len = line_length_here();
  out.assign(cursor_, len);
  skip_line();
  return true;
}

bool ParseContext::skip_and_read_line(char* buffer, int size) {
  skip_space();
  return read_line(buffer, size);
}

bool ParseContext::skip_and_read_line_string(TextString& out) {
  skip_space();
  return read_line_string(out);
}

// ---- lists -----------------------------------------------------------------------

// A double-quoted name of at most PARSE_MAX_NAME_LEN characters into buffer
// (PARSE_MAX_NAME_LEN + 1 bytes); a longer one is reported as expected.
int ParseContext::read_quoted_name(char* buffer, const char* expected) {
  skip_space();
  ParsePos start;
  save_pos(start);
  const char* s;
  int len = read_delimited(&s, '"', '"');
  if (len > PARSE_MAX_NAME_LEN) {
    restore_pos(start);
    error(expected);
  }
  memcpy(buffer, s, static_cast<size_t>(len));
  buffer[len] = '\0';
  return len;
}

template <class Element>
void ParseContext::read_list(const char* expected, Element element) {
  skip_space();
  if (!cursor_ || *cursor_ != '(') error(expected);
  cursor_++;
  for (;;) {
    skip_space();
    if (*cursor_ == ')') break;
    element();
    skip_space();
    if (*cursor_ == ',') cursor_++;
  }
  cursor_++;
}

template <class Accept>
void ParseContext::read_accepted_name(const char* expected, Accept accept) {
  skip_space();
  ParsePos start;
  save_pos(start);
  char name[PARSE_MAX_NAME_LEN + 1];
  read_quoted_name(name, expected);
  if (!accept(name)) {
    restore_pos(start);
    error(expected);
  }
}

int ParseContext::read_string_list(TextString* out, int capacity) {
  int count = 0;
  read_list("a string list", [&] {
    // More elements than the caller can hold make the table invalid.
    if (*cursor_ != '"' || count >= capacity) error("a string list terminator");
    read_text_string(out[count++], '"', '"');
  });
  return count;
}

int ParseContext::read_int_list(int32_t* out, int capacity, ParseIntListConverter converter) {
  int count = 0;
  read_list("an integer list", [&] {
    bool is_number = is_digit(*cursor_) || *cursor_ == '-';
    if ((!is_number && *cursor_ != '"') || count >= capacity) error("an integer list terminator");
    if (is_number) {
      out[count] = read_int_at_cursor("an integer list element");
    } else {
      read_accepted_name("an integer list element", [&](const char* name) {
        return converter && converter(&out[count], count, name);
      });
    }
    count++;
  });
  return count;
}

int ParseContext::read_float_list(float* out, int capacity) {
  int count = 0;
  read_list("a float list", [&] {
    bool is_number = is_digit(*cursor_) || *cursor_ == '-' || *cursor_ == '.';
    if (!is_number || count >= capacity) error("a float list terminator");
    out[count++] = read_float();
  });
  return count;
}

uint32_t ParseContext::read_flags(const char* const* names, int count) {
  uint32_t mask = 0;
  read_list("a flags list", [&] {
    if (*cursor_ != '"') error("a flags list terminator");
    read_accepted_name("a valid flag name", [&](const char* name) {
      int index = lookup_name(names, count, name);
      if (index < 0 || index >= 32) return false;
      mask |= 1u << index;
      return true;
    });
  });
  return mask;
}

int ParseContext::read_type(const char* const* names, int count) {
  int index = -1;
  read_accepted_name("a valid type string", [&](const char* name) {
    index = lookup_name(names, count, name);
    return index >= 0;
  });
  return index;
}

// ---- writers ---------------------------------------------------------------------

TextString parse_bool_text(bool value) { return TextString(value ? "true" : "false"); }

int parse_bool_text(bool value, char* buffer) {
  const char* t = value ? "true" : "false";
  strcpy(buffer, t);
  return static_cast<int>(strlen(t));
}

namespace {

// The vector form in full, however long the numbers get: a fixed buffer
// would cut the closing bracket off large values and the table would not
// read back.
std::string vector_form(const vector& v, int precision) {
  char small[256];
  int n = snprintf(small, sizeof small, "< %.*f, %.*f, %.*f >", precision, static_cast<double>(v.x),
                   precision, static_cast<double>(v.y), precision, static_cast<double>(v.z));
  if (n < 0) return std::string();
  if (static_cast<size_t>(n) < sizeof small) return std::string(small, static_cast<size_t>(n));
  std::vector<char> big(static_cast<size_t>(n) + 1);
  snprintf(big.data(), big.size(), "< %.*f, %.*f, %.*f >", precision, static_cast<double>(v.x),
           precision, static_cast<double>(v.y), precision, static_cast<double>(v.z));
  return std::string(big.data(), static_cast<size_t>(n));
}

std::string matrix_form(const matrix& m, int precision) {
  return "\n\t[ " + vector_form(m.row(0), precision) + "\n\t  " + vector_form(m.row(1), precision) +
         "\n\t  " + vector_form(m.row(2), precision) + " ]";
}

// Copies a form into a caller's buffer, cut to fit; returns the length kept.
int copy_form(const std::string& form, char* buffer, int size) {
  if (!buffer || size <= 0) return 0;
  size_t n = form.size() < static_cast<size_t>(size) ? form.size() : static_cast<size_t>(size) - 1;
  memcpy(buffer, form.data(), n);
  buffer[n] = '\0';
  return static_cast<int>(n);
}

}  // namespace

TextString parse_vector_text(const vector& v, int precision) {
  std::string form = vector_form(v, precision);
  return TextString(form.c_str());
}

int parse_vector_text(const vector& v, int precision, char* buffer, int size) {
  return copy_form(vector_form(v, precision), buffer, size);
}

int parse_matrix_text(const matrix& m, int precision, char* buffer, int size) {
  return copy_form(matrix_form(m, precision), buffer, size);
}

TextString parse_matrix_text(const matrix& m, int precision) {
  std::string form = matrix_form(m, precision);
  return TextString(form.c_str());
}

namespace {

bool is_break(char c) { return c == ' ' || c == '\r' || c == '\n'; }

// A piece with every line break as CR LF, then a closing CR LF.
void put_piece(std::string& out, const char* s, size_t n) {
  for (size_t i = 0; i < n; i++) {
    if (s[i] == '\r') {
      out += "\r\n";
      if (i + 1 < n && s[i + 1] == '\n') i++;
    } else if (s[i] == '\n') {
      out += "\r\n";
    } else {
      out += s[i];
    }
  }
  out += "\r\n";
}

}  // namespace

std::string parse_format_text(const char* text) {
  std::string out;
  const char* p = text ? text : "";
  while (*p) {
    size_t remaining = strlen(p);
    if (remaining < 71) {
      put_piece(out, p, remaining);
      break;
    }
    long at = -1;
    for (long i = 69; i >= 0; i--) {
      if (is_break(p[i])) {
        at = i;
        break;
      }
    }
    if (at < 0) {
      for (size_t i = 70; p[i]; i++) {
        if (is_break(p[i])) {
          at = static_cast<long>(i);
          break;
        }
      }
    }
    if (at < 0) {
      put_piece(out, p, remaining);
      break;
    }
    put_piece(out, p, static_cast<size_t>(at));
    // The break itself is dropped; a CR LF pair counts as one break.
    size_t skip = 1;
    if (p[at] == '\r' && p[at + 1] == '\n') skip = 2;
    p += at + static_cast<long>(skip);
  }
  out += "$end text\r\n\r\n";
  return out;
}

void parse_write_text(const char* text, FileHandle& file) {
  std::string bytes = parse_format_text(text);
  if (file.mode_is(VF_TEXT)) {
    // A text-mode file turns each line feed into CR LF itself; handing it
    // CR LF would end every line in CR CR LF, which reads as two lines.
    std::string lf;
    lf.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size(); i++) {
      if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
      lf += bytes[i];
    }
    bytes.swap(lf);
  }
  file.write(bytes.data(), static_cast<int>(bytes.size()));
}
