#pragma once
// The text-table parser. Every table of the game is read through one
// ParseContext: the caller drives the grammar (require "$Name:", test for
// "+Slot:", read the value behind it) and the parser stops the program with a
// precise message the moment the text does not match.
//
// Line ends: a carriage return counts one line, and so does a line feed that
// does not follow a carriage return, so CR LF, LF-only and CR-only files all
// report the right line number.
#include <cstddef>
#include <cstdint>
#include <string>

struct vector;
struct matrix;
class TextString;
class FileHandle;

// The longest file name kept for messages (longer names are cut).
#define PARSE_MAX_FILENAME_LEN 63
// Quoted names looked up in caller tables (types, flags, list elements).
#define PARSE_MAX_NAME_LEN 255

// Where the cursor was; readers restore it to report an error at the start of
// a bad element.
struct ParsePos {
  int line = 1;
  const char* cursor = nullptr;
};

// Turns a quoted list element into a value. Returns false when the name
// means nothing to the caller (the parser then reports the element).
using ParseIntListConverter = bool (*)(int32_t* slot, int index, const char* name);

class ParseContext {
 public:
  ParseContext();
  ~ParseContext();
  ParseContext(const ParseContext&) = delete;
  ParseContext& operator=(const ParseContext&) = delete;

  // Reads the whole file (through the file layer, in a common block) and
  // rewinds. Returns 0 or the file layer's negative code.
  int open(const char* filename, int path_type);
  // As open, or the fatal error "Unable to open parse file %s".
  void open_or_die(const char* filename, int path_type);
  // Parses text that is already in memory (a copy is taken). Used by tools,
  // tests and the fuzz target; behaves exactly like a file with that text.
  void open_memory(const char* filename, const char* text, size_t length);
  void close();
  bool is_open() const { return text_ != nullptr; }

  void rewind();
  void save_pos(ParsePos& pos) const;
  void restore_pos(const ParsePos& pos);
  bool at_end() const;
  // CRC-32 of the whole text.
  uint32_t crc() const;

  // --- skipping -----------------------------------------------------------
  void skip_space();
  void skip_space_in_line();
  void skip_line();
  // Finds the next occurrence of text (exact case) from the cursor, unless the
  // stop text comes first; on success the cursor is on the occurrence.
  bool skip_to_string(const char* text, const char* stop = nullptr);
  // skip_to_string from the cursor, else from the start; on failure the
  // position is unchanged.
  bool find_string(const char* text);
  bool skip_to_and_require(const char* text, const char* stop = nullptr);
  bool find_and_require(const char* text);
  // Copies what lies between the cursor and text (at most size - 1
  // characters) and leaves the cursor on it; without text, reads the line.
  int read_until(char* buffer, int size, const char* text, const char* stop = nullptr);

  // --- literals (compared ignoring case) -----------------------------------
  bool check_string(const char* text);
  bool optional_string(const char* text);
  void require_string(const char* text);
  bool optional_quoted_string(const char* text);

  // --- values ---------------------------------------------------------------
  bool read_bool();
  int32_t read_int();
  // An integer from lo to hi; any other number is the parse error, shown at
  // the number and naming the field.
  int32_t read_int_in(int32_t lo, int32_t hi, const char* field);
  uint32_t read_uint();
  float read_float();
  void read_vector(vector& out);
  void read_matrix(matrix& out);
  int read_text_string(TextString& out, char open = '"', char close = '"');
  // A text of capacity characters or more is fatal, naming the file and line.
  int read_string(char* buffer, int capacity, char open = '"', char close = '"');
  // Multi-line text up to the terminator (exact case), without the white
  // space before it; the cursor goes past the terminator.
  void read_text(TextString& out, const char* terminator);
  // As read_text, then line breaks become blanks (CR) or vanish (LF).
  void read_text_joined(TextString& out, const char* terminator);
  // The rest of the line; false, with nothing consumed, at the end of the text
  // or when the line needs size characters or more.
  bool read_line(char* buffer, int size);
  bool read_line_string(TextString& out);
  // The same after skip_space.
  bool skip_and_read_line(char* buffer, int size);
  bool skip_and_read_line_string(TextString& out);

  // Lists: "(" elements ")". More elements than the capacity is a parse error.
  int read_string_list(TextString* out, int capacity);
  int read_int_list(int32_t* out, int capacity, ParseIntListConverter converter = nullptr);
  int read_float_list(float* out, int capacity);
  // Names are looked up ignoring case in a table ended by a null entry or by
  // count.
  uint32_t read_flags(const char* const* names, int count);
  int read_type(const char* const* names, int count);

  // The fatal parse error: names the file, the line and the expected text and
  // shows 40 characters on each side of the cursor. Never returns.
  [[noreturn]] void error(const char* expected);

  const char* filename() const { return filename_; }
  int line() const { return line_; }
  const char* cursor() const { return cursor_; }
  const char* text() const { return text_; }
  size_t length() const { return length_; }

 private:
  bool at_literal(const char* text) const;
  void advance_to(const char* p);  // moves forward, counting lines
  uint32_t read_sign_and_digits(bool* negative, const char* expected, bool point_may_lead);
  int read_int_at_cursor(const char* expected);
  uint32_t read_uint_digits(bool* any);
  int read_delimited(const char** start, char open, char close);
  int read_quoted_name(char* buffer, const char* expected);
  // The shared shapes of the readers: three parts between open and close;
  // "(" elements ")" with optional commas; a quoted name the caller accepts,
  // reported at the name when it does not.
  template <class Part>
  void read_triple(char open, char close, const char* expected, Part part);
  template <class Element>
  void read_list(const char* expected, Element element);
  template <class Accept>
  void read_accepted_name(const char* expected, Accept accept);
  void skip_blank(bool across_lines);
  int line_length_here() const;
  void set_name(const char* filename);

  char* text_ = nullptr;
  const char* cursor_ = nullptr;
  char filename_[PARSE_MAX_FILENAME_LEN + 1] = {};
  int line_ = 1;
  size_t length_ = 0;
  bool common_block_ = false;  // text_ came from common_block_lock
};

// --- writers for tables written back by the editor -------------------------
TextString parse_bool_text(bool value);
TextString parse_vector_text(const vector& v, int precision);
TextString parse_matrix_text(const matrix& m, int precision);
int parse_bool_text(bool value, char* buffer);
int parse_vector_text(const vector& v, int precision, char* buffer, int size);
int parse_matrix_text(const matrix& m, int precision, char* buffer, int size);
// Multi-line text in lines of at most 70 characters, then "$end text" and an
// empty line. Lines end in CR LF.
void parse_write_text(const char* text, FileHandle& file);
// The bytes parse_write_text writes.
std::string parse_format_text(const char* text);
