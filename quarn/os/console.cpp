#include "quarn/os/console.h"

#include <strings.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "quarn/os/memory.h"
#include "quarn/os/textfile.h"
#include "quarn/platform/line_pipe.h"
#include "quarn/vfile/vfile.h"

ConsoleArg Console_arg;
int Console_run = 0;
int Console_status = 0;
int Console_help = 0;

namespace {

// The table is plain zero-initialised data, so commands registered during
// static construction find it ready whatever the order of construction.
ConsoleCommand* Commands[MAX_CONSOLE_COMMANDS];
int Command_count = 0;

enum CharClass : unsigned char { CC_OTHER = 0, CC_WORD, CC_NUMBER, CC_QUOTE, CC_END };
unsigned char Char_class[256];
bool Classes_built = false;

void build_classes() {
  for (int i = 0; i < 256; i++) Char_class[i] = CC_OTHER;
  for (int c = 'a'; c <= 'z'; c++) Char_class[c] = CC_WORD;
  for (int c = 'A'; c <= 'Z'; c++) Char_class[c] = CC_WORD;
  Char_class[static_cast<unsigned char>('_')] = CC_WORD;
  Char_class[static_cast<unsigned char>(':')] = CC_WORD;
  Char_class[static_cast<unsigned char>('\\')] = CC_WORD;
  for (int c = '0'; c <= '9'; c++) Char_class[c] = CC_NUMBER;
  Char_class[static_cast<unsigned char>('.')] = CC_NUMBER;
  Char_class[static_cast<unsigned char>('-')] = CC_NUMBER;
  Char_class[static_cast<unsigned char>('+')] = CC_NUMBER;
  Char_class[static_cast<unsigned char>('"')] = CC_QUOTE;
  Char_class[0] = CC_END;
  Classes_built = true;
}

unsigned char char_class(char c) {
  if (!Classes_built) build_classes();
  return Char_class[static_cast<unsigned char>(c)];
}

// The line being run. Each console_execute has its own, so a script run from
// a script line leaves the outer line's scanner as it was.
struct Scanner {
  char line[CONSOLE_MAX_LINE + 1];
  int pos;
  bool debug;
};
Scanner* Current = nullptr;

// Thrown by console_get_arg to abandon the running command.
struct ConsoleAbandon {};

struct Token {
  bool present = false;
  bool quoted = false;
  unsigned char cls = CC_OTHER;  // class of the first character
  char text[CONSOLE_MAX_ARG + 1] = {};
};

// Reads the next token of the current line.
Token next_token() {
  Token t;
  Scanner& s = *Current;
  while (s.line[s.pos] == ' ' || s.line[s.pos] == '\t') s.pos++;
  const char* p = s.line + s.pos;
  unsigned char cls = char_class(*p);
  int len = 0;
  if (cls == CC_END) return t;
  if (cls == CC_WORD || cls == CC_NUMBER) {
    while (char_class(p[len]) == CC_WORD || char_class(p[len]) == CC_NUMBER) len++;
  } else if (cls == CC_QUOTE) {
    len = 1;
    while (p[len] && p[len] != '"') len++;
    if (p[len] == '"') len++;
    t.quoted = true;
  } else {
    len = 1;
  }
  s.pos += len;
  int keep = len > CONSOLE_MAX_ARG ? CONSOLE_MAX_ARG : len;
  memcpy(t.text, p, static_cast<size_t>(keep));
  t.text[keep] = '\0';
  t.present = true;
  t.cls = cls;
  return t;
}

const char* rest_of_line() {
  const char* p = Current->line + Current->pos;
  while (*p == ' ' || *p == '\t') p++;
  return p;
}

void lower(char* s) {
  for (; *s; s++) {
    if (*s >= 'A' && *s <= 'Z') *s = static_cast<char>(*s + 32);
  }
}

bool only_number_chars(const char* s) {
  if (!*s) return false;
  for (; *s; s++) {
    if (char_class(*s) != CC_NUMBER) return false;
  }
  return true;
}

// "0x" and hexadecimal digits to the end.
bool parse_hex(const char* s, int* out) {
  if (s[0] != '0' || (s[1] != 'x' && s[1] != 'X') || !s[2]) return false;
  uint32_t v = 0;
  for (const char* p = s + 2; *p; p++) {
    int h;
    if (*p >= '0' && *p <= '9') h = *p - '0';
    else if (*p >= 'a' && *p <= 'f') h = *p - 'a' + 10;
    else if (*p >= 'A' && *p <= 'F') h = *p - 'A' + 10;
    else return false;
    v = v * 16u + static_cast<uint32_t>(h);
  }
  *out = static_cast<int>(v);
  return true;
}

// --- output -------------------------------------------------------------------

ConsoleOutputHook Output_hook = nullptr;
FILE* Log_file = nullptr;
bool Log_env_checked = false;

void open_log_from_env() {
  if (Log_env_checked) return;
  Log_env_checked = true;
  const char* path = getenv("ORRIMUND_CONSOLE_LOG");
  if (path && *path && !Log_file) console_set_log(path);
}

// --- scripts --------------------------------------------------------------------

int Script_depth = 0;

// The script's file on disk: root, a backslash and the name (an absolute
// name alone), the extension replaced by .vcs. Only a dot in the file name
// itself starts the extension.
std::string script_path(const char* name) {
  std::string path;
  if (name[0] == '/') {
    path = name;
  } else {
    path = vfile_root();
    if (!path.empty() && path.back() != '/' && path.back() != '\\') path += '\\';
    path += name;
  }
  size_t slash = path.find_last_of("/\\");
  size_t dot = path.rfind('.');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) path.resize(dot);
  path += ".vcs";
  return path;
}

// One whole line of a script, however long. Lines are read in pieces of up
// to 256 characters; the pieces of a longer line are joined again so that the
// tail of a long line (of a comment, say) never passes for a line of its own.
bool read_script_line(TextFile& file, std::string& out) {
  constexpr int PIECE = 256;
  char piece[PIECE + 1];
  out.clear();
  if (!file.read_line(piece, sizeof piece)) return false;
  out = piece;
  while (strlen(piece) == PIECE && file.read_line(piece, sizeof piece)) out += piece;
  return true;
}

void trim(char* s) {
  size_t n = strlen(s);
  while (n > 0 && (s[n - 1] == ' ' || s[n - 1] == '\t' || s[n - 1] == '\n' || s[n - 1] == '\r'))
    n--;
  s[n] = '\0';
  size_t i = 0;
  while (s[i] == ' ' || s[i] == '\t' || s[i] == '\n' || s[i] == '\r') i++;
  if (i) memmove(s, s + i, n - i + 1);
}

// --- commands of the console itself ---------------------------------------------------

void cmd_print_to_file() {
  static const char help[] = "Print out console commands to the text file console.txt";
  if (Console_help) {
    console_output(help);
    console_output("\n");
    return;
  }
  if (!Console_run) return;
  FileHandle fh;
  if (fh.open("console_commands.txt", VF_WRITE | VF_TEXT, 0) < 0) {
    console_printf("Couldn't create console_commands.txt\n");
    return;
  }
  for (int i = 0; i < Command_count; i++) {
    const ConsoleCommand* c = Commands[i];
    std::string line = c->name;
    if (c->help) {
      line += " - ";
      line += c->help;
    }
    fh.printf(line.c_str());
  }
  fh.close();
}

void cmd_script() {
  if (Console_run) {
    console_get_arg(ARG_STRING);
    if (Console_arg.text[0] != '\0') {
      // The name keeps the case it was typed in: names on this system's
      // disks are case-sensitive, and paths below the root are matched
      // without regard to case anyway.
      char name[CONSOLE_MAX_ARG + 1];
      const char* o = Console_arg.original;
      size_t n = strlen(o);
      if (n >= 2 && o[0] == '"' && o[n - 1] == '"') {
        memcpy(name, o + 1, n - 2);
        name[n - 2] = '\0';
      } else {
        snprintf(name, sizeof name, "%s", o);
      }
      console_run_script(name);
      return;
    }
    Console_help = 1;
  }
  if (Console_help) console_output("Usage: script <scriptfilename>\n");
}

ConsoleCommand Cc_print_to_file("print_to_file",
                                "Print out console commands to the text file console.txt",
                                cmd_print_to_file);
ConsoleCommand Cc_script("script", "Runs a console script file (.vcs)", cmd_script);

}  // namespace

// --- registration -------------------------------------------------------------------

ConsoleCommand::ConsoleCommand(const char* name_, const char* help_, ConsoleHandler handler_) {
  if (!name_ || Command_count >= MAX_CONSOLE_COMMANDS) return;
  int at = Command_count;
  for (int i = 0; i < Command_count; i++) {
    int cmp = strcasecmp(Commands[i]->name, name_);
    if (cmp == 0) return;  // the first registration of a name wins
    if (cmp > 0) {
      at = i;
      break;
    }
  }
  for (int i = Command_count; i > at; i--) Commands[i] = Commands[i - 1];
  Commands[at] = this;
  Command_count++;
  name = name_;
  help = help_;
  handler = handler_;
}

int console_command_count() { return Command_count; }

const ConsoleCommand* console_command_at(int index) {
  if (index < 0 || index >= Command_count) return nullptr;
  return Commands[index];
}

const ConsoleCommand* console_find_command(const char* name) {
  if (!name) return nullptr;
  for (int i = 0; i < Command_count; i++) {
    if (strcasecmp(Commands[i]->name, name) == 0) return Commands[i];
  }
  return nullptr;
}

// --- output ---------------------------------------------------------------------

void console_set_output_hook(ConsoleOutputHook hook) { Output_hook = hook; }

void console_set_log(const char* path) {
  if (Log_file) {
    fclose(Log_file);
    Log_file = nullptr;
  }
  if (path && *path) {
    Log_file = fopen(path, "ab");
    if (!Log_file) fprintf(stderr, "Couldn't open the console log '%s'\n", path);
  }
}

void console_output(const char* text) {
  if (!text) return;
  open_log_from_env();
  if (Output_hook) Output_hook(text);
  if (Log_file) {
    fputs(text, Log_file);
    // Flushed at once: the log is read while the game runs, and the game is
    // usually ended by a signal.
    fflush(Log_file);
  }
}

void console_printf(const char* format, ...) {
  char buf[2048];
  va_list ap;
  va_start(ap, format);
  vsnprintf(buf, sizeof buf, format, ap);
  va_end(ap);
  console_output(buf);
}

void console_init() {
  build_classes();
  open_log_from_env();
}

// --- arguments --------------------------------------------------------------------

void console_get_arg(uint32_t type_mask) {
  if (!Current) {
    // Outside a handler there is no line to read and no command to abandon.
    memset(&Console_arg, 0, sizeof Console_arg);
    Console_arg.type = ARG_NONE;
    return;
  }
  Token t = next_token();
  ConsoleArg& a = Console_arg;
  snprintf(a.original, sizeof a.original, "%s", t.text);
  a.int_value = 0;
  a.float_value = 0.0f;
  a.bool_value = false;
  a.type = 0;
  if (t.quoted) {
    size_t n = strlen(t.text);
    size_t end = (n >= 2 && t.text[n - 1] == '"') ? n - 1 : n;
    size_t len = end > 0 ? end - 1 : 0;
    memcpy(a.text, t.text + 1, len);
    a.text[len] = '\0';
  } else {
    snprintf(a.text, sizeof a.text, "%s", t.text);
  }
  lower(a.text);
  if (Current->debug) {
    console_printf("next arg is '%s', was originally '%s'\n", a.text, a.original);
    console_output("Rest of the command line is ");
    console_output(rest_of_line());
    console_output("\n");
  }
  if (!t.present) {
    a.type = ARG_NONE;
  } else {
    a.type = ARG_STRING;
    if (only_number_chars(a.text)) {
      a.float_value = static_cast<float>(atof(a.text));
      a.type |= ARG_FLOAT;
      if (Current->debug) console_printf("Found float number! %f\n", static_cast<double>(a.float_value));
      if (!strchr(a.text, '.')) {
        a.int_value = atoi(a.text);
        a.type |= ARG_INT;
      }
    } else if (parse_hex(a.text, &a.int_value)) {
      a.type |= ARG_INT | ARG_HEX;
      if (Current->debug) console_printf("Found hex number! %x\n", static_cast<unsigned>(a.int_value));
    }
    if (!strcasecmp(a.text, "on") || !strcasecmp(a.text, "true")) a.type |= ARG_TRUE;
    if (!strcasecmp(a.text, "off") || !strcasecmp(a.text, "false")) a.type |= ARG_FALSE;
    if (!strcmp(a.text, "+")) a.type |= ARG_PLUS;
    if (!strcmp(a.text, "-")) a.type |= ARG_MINUS;
    if (!strcmp(a.text, ",")) a.type |= ARG_COMMA;
    if (a.type & ARG_INT) a.type |= a.int_value != 0 ? ARG_TRUE : ARG_FALSE;
  }
  a.bool_value = (a.type & ARG_TRUE) != 0;
  if ((a.type & type_mask) == 0) {
    if (!t.present && !(type_mask & ARG_NONE)) {
      console_output("Error: Not enough parameters.\n");
    } else {
      console_printf("Error: '%s' invalid type\n", a.text);
    }
    throw ConsoleAbandon{};
  }
}

// --- execution ----------------------------------------------------------------------

int console_execute(const char* line) {
  if (!line) return -1;
  size_t len = strlen(line);
  if (len < 1 || len > CONSOLE_MAX_LINE) return -1;

  struct Saved {
    Scanner* scanner;
    int run, status, help;
    ~Saved() {
      Current = scanner;
      Console_run = run;
      Console_status = status;
      Console_help = help;
    }
  } saved{Current, Console_run, Console_status, Console_help};

  Scanner scanner;
  memcpy(scanner.line, line, len + 1);
  scanner.pos = 0;
  scanner.debug = false;
  Current = &scanner;

  enum { MODE_RUN, MODE_STATUS, MODE_HELP } mode = MODE_RUN;
  Token t = next_token();
  if (t.present && !strcasecmp(t.text, "debug")) {
    scanner.debug = true;
    console_output("Command line:");
    console_output(rest_of_line());
    console_output("\n");
    t = next_token();
  }
  if (t.present && !strcmp(t.text, "?")) {
    t = next_token();
    mode = MODE_STATUS;
    if (!t.present) return 0;
  }
  if (t.present && (!strcasecmp(t.text, "help") || !strcasecmp(t.text, "man"))) {
    t = next_token();
    mode = MODE_HELP;
    if (!t.present) return 0;
  }
  if (strchr(rest_of_line(), '?')) mode = MODE_HELP;
  if (!t.present || t.cls != CC_WORD) {
    console_printf("Invalid keyword '%s'\n", t.text);
    return -1;
  }
  if (scanner.debug) console_printf("Searching for command '%s'\n", t.text);
  const ConsoleCommand* cmd = console_find_command(t.text);
  if (!cmd) {
    console_printf("Unknown command '%s'\n", t.text);
    return -1;
  }
  switch (mode) {
    case MODE_RUN:
      Console_run = 1, Console_status = 1, Console_help = 0;
      if (scanner.debug) console_printf("Calling function '%s'\n", cmd->name);
      break;
    case MODE_STATUS:
      Console_run = 0, Console_status = 1, Console_help = 0;
      if (scanner.debug) console_printf("Checking status for '%s'\n", cmd->name);
      break;
    case MODE_HELP:
      Console_run = 0, Console_status = 0, Console_help = 1;
      if (scanner.debug) console_printf("Doing help for '%s'\n", cmd->name);
      break;
  }
  try {
    if (cmd->handler) cmd->handler();
  } catch (const ConsoleAbandon&) {
    return -1;
  }
  if (mode == MODE_RUN) {
    Token tail = next_token();
    if (tail.present) console_printf("Ignoring the unused command line tail '%s %s'\n", tail.text, rest_of_line());
  }
  return 0;
}

// --- scripts ------------------------------------------------------------------------

void console_run_script(const char* name) {
  if (!name || !*name) return;
  std::string path = script_path(name);
  char resolved[VFILE_MAX_PATH];
  const char* open_path = path.c_str();
  if (vfile_resolve_path(path.c_str(), resolved, sizeof resolved)) open_path = resolved;
  // Each level holds a text-file block, and only two blocks exist; a script
  // that runs itself would otherwise nest without end.
  if (Script_depth >= MAX_CONSOLE_SCRIPT_DEPTH || common_block_depth() >= 2) {
    console_printf("Scripts nested too deep; not running script file '%s'\n", path.c_str());
    return;
  }
  TextFile file;
  if (file.open_read(open_path, 4096) != 0) {
    console_printf("Couldn't find a script file '%s'\n", path.c_str());
    return;
  }
  console_printf("Executing script file '%s'...\n", path.c_str());
  // Counted down again however the lines end (a test's fatal-error trap
  // throws through here).
  struct DepthGuard {
    DepthGuard() { Script_depth++; }
    ~DepthGuard() { Script_depth--; }
  } depth_guard;
  int line_no = 1;
  bool in_comment = false;
  std::string whole;
  while (read_script_line(file, whole)) {
    char* line = whole.data();
    trim(line);
    if (!strncmp(line, "//", 2)) continue;
    if (!in_comment) {
      const char* open = strstr(line, "/*");
      if (open) {
        // A block closed on the line that opens it is over with that line;
        // otherwise it would swallow the commands after it.
        in_comment = !strstr(open + 2, "*/");
        continue;
      }
    }
    if (in_comment) {
      if (strstr(line, "*/")) in_comment = false;
      continue;
    }
    // A line too long for the console fails as a whole; none of its pieces
    // runs as a command of its own.
    if (line[0] && console_execute(line) != 0) {
      console_printf("Error processing script line %d: '%.256s'\n", line_no, line);
    }
    line_no++;
  }
  file.close();
}

void console_run_autoexec() {
  const char* name = getenv("ORRIMUND_AUTOEXEC");
  if (!name || !*name) return;
  // Run through the script command, as a developer would type it, when the
  // name fits on a console line.
  char line[CONSOLE_MAX_LINE + 64];
  int n = snprintf(line, sizeof line, "script \"%s\"", name);
  if (!strchr(name, '"') && n > 0 && n <= CONSOLE_MAX_LINE) {
    console_execute(line);
  } else {
    console_run_script(name);
  }
}

// --- the developer's pipe ----------------------------------------------------------

namespace {
LinePipe* Console_pipe = nullptr;
bool Console_pipe_checked = false;

void run_pipe_line(const char* line, void*) {
  if (!line) {
    console_printf("Console pipe: line longer than %d characters ignored\n", CONSOLE_MAX_LINE);
    return;
  }
  if (line[0]) console_execute(line);
}
}  // namespace

void console_poll_pipe() {
  if (!Console_pipe_checked) {
    Console_pipe_checked = true;
    const char* path = getenv("ORRIMUND_CONSOLE_FIFO");
    if (!path || !*path) return;
    Console_pipe = line_pipe_open(path);
    if (!Console_pipe) {
      console_printf("Console pipe %s cannot be opened: %s\n", path, strerror(errno));
      fprintf(stderr, "Console pipe %s cannot be opened: %s\n", path, strerror(errno));
    }
  }
  if (Console_pipe) line_pipe_poll(Console_pipe, CONSOLE_MAX_LINE, run_pipe_line, nullptr);
}

// --- console variables -------------------------------------------------------------

namespace {
void bool_var(const char* command, const char* variable, const char* status_name, bool& value) {
  if (Console_run) {
    console_get_arg(ARG_NONE | ARG_TRUE | ARG_FALSE);
    if (Console_arg.type & ARG_TRUE) {
      value = true;
    } else if (Console_arg.type & ARG_FALSE) {
      value = false;
    } else {
      value = !value;
    }
  }
  if (Console_help) {
    console_printf("Usage: %s [bool]\nSets %s to true or false. If nothing passed, then toggles it\n",
                   command, variable);
  }
  if (Console_status) console_printf("%s is %s\n", status_name, value ? "TRUE" : "FALSE");
}
}  // namespace

void console_bool_var(const char* command, const char* variable, bool& value) {
  bool_var(command, variable, variable, value);
}

void console_bool_switch(const char* command, const char* variable, bool& value) {
  bool_var(command, variable, command, value);
}

void console_bool_var(const char* command, const char* variable, int& value) {
  bool b = value != 0;
  console_bool_var(command, variable, b);
  if (Console_run) value = b ? 1 : 0;
}

void console_float_var(const char* command, const char* variable, float& value) {
  if (Console_run) {
    console_get_arg(ARG_FLOAT | ARG_INT);
    value = (Console_arg.type & ARG_HEX) ? static_cast<float>(Console_arg.int_value)
                                         : Console_arg.float_value;
  }
  if (Console_help) {
    console_printf("Usage: %s [float]\nSets %s to the specified value.\n", command, variable);
  }
  if (Console_status) console_printf("%s is %f\n", variable, static_cast<double>(value));
}
