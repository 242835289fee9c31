#pragma once
// A fixed block into which names are copied once and never freed one by one.
// Pointers into the pool stay valid until it is reset or freed. Running out
// of room is fatal: the capacities are sized for the game's data.

class ParseContext;

class StringPool {
 public:
  StringPool();
  ~StringPool();
  StringPool(const StringPool&) = delete;
  StringPool& operator=(const StringPool&) = delete;

  void attach(char* buffer, int capacity, bool owned);
  void alloc(int capacity);
  void reset();
  void free();
  void truncate(int n);

  int used() const { return used_; }
  int count() const { return count_; }
  int capacity() const { return capacity_; }
  int free_bytes() const { return capacity_ - used_; }
  char* buffer() const { return buffer_; }

  // Copy of the text, null for a null text; fatal
  // "Length of string pool exceeded." when it does not fit.
  const char* add(const char* text);
  // The first stored string equal ignoring case, else add.
  const char* find_or_add(const char* text);

  // One double-quoted string of up to 255 characters read by the parser.
  const char* add_parsed(ParseContext& pc);
  const char* find_or_add_parsed(ParseContext& pc);
  const char* read_quoted(ParseContext& pc) { return find_or_add_parsed(pc); }

 private:
  char* buffer_;
  bool owned_;
  int capacity_;
  int used_;
  int count_;
};
