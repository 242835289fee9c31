// tblcheck: reads text tables through the game's parser and says whether
// they are well formed. A table is a run of sections:
//
//   #Section name
//   $Field: value
//   +Optional field: value
//   #End
//
// where a value is a quoted string, a number, true/false/yes/no, a vector
// <x y z>, a matrix [<..> <..> <..>], a list of strings or numbers (...), or
// multi-line text ended by "$end text". The first mismatch stops the program
// with the parser's message (file and line) and exit code 1, as the game
// would.
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "quarn/math/matrix.h"
#include "quarn/math/vector.h"
#include "quarn/os/textstring.h"
#include "quarn/parse/parse.h"
#include "quarn/vfile/vfile.h"

namespace {

constexpr int MAX_LIST = 256;

void read_value(ParseContext& pc) {
  pc.skip_space();
  const char* c = pc.cursor();
  if (*c == '"') {
    TextString s;
    pc.read_text_string(s);
  } else if (*c == '<') {
    vector v;
    pc.read_vector(v);
  } else if (*c == '[') {
    matrix m;
    pc.read_matrix(m);
  } else if (*c == '(') {
    const char* p = c + 1;
    while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n') p++;
    if (*p == '"') {
      static TextString strings[MAX_LIST];
      pc.read_string_list(strings, MAX_LIST);
    } else {
      static float floats[MAX_LIST];
      pc.read_float_list(floats, MAX_LIST);
    }
  } else if ((*c >= '0' && *c <= '9') || *c == '-' || *c == '.') {
    pc.read_float();
  } else if (pc.check_string("$end text")) {
    pc.require_string("$end text");
  } else {
    pc.read_bool();
  }
}

int check_table(const char* name) {
  ParseContext pc;
  pc.open_or_die(name, 0);
  int sections = 0, fields = 0;
  pc.skip_space();
  while (!pc.at_end()) {
    pc.require_string("#");
    char section[128];
    if (!pc.read_line(section, sizeof section)) pc.error("a section name");
    sections++;
    for (;;) {
      if (pc.optional_string("#End")) break;
      if (!pc.optional_string("+")) pc.require_string("$");
      char field[128];
      ParsePos start;
      pc.save_pos(start);
      pc.read_until(field, sizeof field, ":", "\n");
      // A name without its colon on the same line is reported where it
      // starts, not on the line after it.
      if (!pc.check_string(":")) pc.restore_pos(start);
      pc.require_string(":");
      fields++;
      if (!strcasecmp(field, "Text") || !strcasecmp(field, "Description")) {
        TextString text;
        pc.read_text(text, "$end text");
      } else {
        read_value(pc);
      }
    }
    pc.skip_space();
  }
  printf("%s: %d sections, %d fields\n", name, sections, fields);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: tblcheck <table file>...\n");
    return 2;
  }
  // Relative names are read from the current directory.
  char cwd[VFILE_ROOT_MAX];
  if (!getcwd(cwd, sizeof cwd)) cwd[0] = '\0';
  vfile_set_root(cwd, false);
  for (int i = 1; i < argc; i++) check_table(argv[i]);
  return 0;
}
