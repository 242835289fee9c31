// The pool's readers of quoted strings from a text table.
#include "quarn/os/stringpool.h"
#include "quarn/parse/parse.h"

const char* StringPool::add_parsed(ParseContext& pc) {
  char buf[256];
  pc.read_string(buf, sizeof buf);
  return add(buf);
}

const char* StringPool::find_or_add_parsed(ParseContext& pc) {
  char buf[256];
  pc.read_string(buf, sizeof buf);
  return find_or_add(buf);
}
