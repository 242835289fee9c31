#include "quarn/os/cmdline.h"

#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "quarn/os/error.h"
#include "quarn/os/registry.h"

namespace {

// The list head is constant-initialised, so options constructed during static
// initialisation, in whatever order, always find it ready.
constinit CommandLineLink Option_list = {&Option_list, &Option_list};

struct Token {
  char* text;
  uint8_t used;
};
Token Tokens[MAX_CMDLINE_TOKENS];
int Token_count = 0;

bool Text_injected = false;
std::string Injected_text;
std::string Process_text;
bool Exit_routine_registered = false;

char* copy_text(const char* s) {
  size_t n = strlen(s);
  char* p = static_cast<char*>(malloc(n + 1));
  if (!p) CRITICAL_ERROR("Failed to allocate %d bytes", static_cast<int>(n + 1));
  memcpy(p, s, n + 1);
  return p;
}

void add_token(const std::string& text) {
  // Tokens beyond the table are ignored.
  if (Token_count >= MAX_CMDLINE_TOKENS) return;
  Tokens[Token_count].text = copy_text(text.c_str());
  Tokens[Token_count].used = 0;
  Token_count++;
}

// Splits at blanks and tabs, skipping the program path. A token holding
// exactly one double quote opens or closes a quoted run, whose tokens are
// joined with single blanks; the quotes stay in the text.
void tokenize(const char* text) {
  bool first = true;
  bool in_run = false;
  std::string run;
  const char* p = text;
  while (*p) {
    while (*p == ' ' || *p == '\t') p++;
    if (!*p) break;
    const char* start = p;
    while (*p && *p != ' ' && *p != '\t') p++;
    std::string token(start, p);
    size_t q1 = token.find('"');
    bool toggles = q1 != std::string::npos && q1 == token.rfind('"');
    if (in_run) {
      run += ' ';
      run += token;
      if (toggles) {
        in_run = false;
        if (first) first = false; else add_token(run);
      }
    } else if (toggles) {
      in_run = true;
      run = token;
    } else {
      if (first) first = false; else add_token(token);
    }
  }
  // A run left open at the end still counts as one token.
  if (in_run && !first) add_token(run);
}

void exit_routine() { cmdline_reset(); }

void build_process_text() {
  Process_text.clear();
  FILE* f = fopen("/proc/self/cmdline", "rb");
  if (!f) return;
  std::string raw;
  char buf[1024];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) raw.append(buf, n);
  fclose(f);
  size_t pos = 0;
  while (pos < raw.size()) {
    size_t end = raw.find('\0', pos);
    if (end == std::string::npos) end = raw.size();
    std::string arg = raw.substr(pos, end - pos);
    pos = end + 1;
    if (!Process_text.empty()) Process_text += ' ';
    // Quoting an argument that holds blanks makes the quoted-run rule of the
    // tokenizer give it back as one token.
    if (arg.find_first_of(" \t") != std::string::npos || arg.empty()) {
      Process_text += '"' + arg + '"';
    } else {
      Process_text += arg;
    }
  }
}

}  // namespace

CommandLineOption::CommandLineOption(const char* name, const char* help, bool takes_argument)
    : name_(name), help_(help ? help : ""), takes_argument_(takes_argument ? 1 : 0) {
  next = &Option_list;
  prev = Option_list.prev;
  Option_list.prev->next = this;
  Option_list.prev = this;
}

CommandLineOption::~CommandLineOption() {
  free(argument_);
  argument_ = nullptr;
  prev->next = next;
  next->prev = prev;
  next = prev = this;
}

int CommandLineOption::int_value() const {
  if (!argument_) return 0;
  return atoi(argument_);
}

float CommandLineOption::float_value() const {
  if (!argument_) return 0.0f;
  return static_cast<float>(atof(argument_));
}

const char* cmdline_get_text() {
  if (Text_injected) return Injected_text.c_str();
  build_process_text();
  return Process_text.c_str();
}

void cmdline_set_text(const char* text) {
  Text_injected = text != nullptr;
  Injected_text = text ? text : "";
}

void cmdline_reset() {
  for (CommandLineLink* l = Option_list.next; l != &Option_list; l = l->next) {
    CommandLineOption* o = static_cast<CommandLineOption*>(l);
    // Nulled so that the option's destructor, which runs later, does not
    // free it a second time.
    free(o->argument_);
    o->argument_ = nullptr;
    o->found_ = 0;
  }
  for (int i = 0; i < Token_count; i++) {
    free(Tokens[i].text);
    Tokens[i].text = nullptr;
  }
  Token_count = 0;
}

int cmdline_token_count() { return Token_count; }

const char* cmdline_token(int index) {
  if (index < 0 || index >= Token_count) return nullptr;
  return Tokens[index].text;
}

void cmdline_parse(bool check_unknown) {
  cmdline_reset();

  char extra[MAX_CMDLINE_LEN + 1];
  os_reg_read_string_default(nullptr, "CmdLineOptions", extra, sizeof extra, "");
  std::string text = cmdline_get_text();
  text += ' ';
  text += extra;
  if (text.size() > MAX_CMDLINE_LEN) text.resize(MAX_CMDLINE_LEN);
  tokenize(text.c_str());

  for (CommandLineLink* l = Option_list.next; l != &Option_list; l = l->next) {
    CommandLineOption* o = static_cast<CommandLineOption*>(l);
    for (int i = 0; i < Token_count; i++) {
      if (strcasecmp(Tokens[i].text, o->name_) != 0) continue;
      o->found_ = 1;
      Tokens[i].used = 1;
      if (!o->takes_argument_ || i + 1 >= Token_count) continue;
      const char* next = Tokens[i + 1].text;
      if (next[0] == '-') {
        // "Command line parameter %s requires argument, but next argument
        // appears to be option (%s)"
        continue;
      }
      if (next[0] == '\0') continue;
      free(o->argument_);
      o->argument_ = copy_text(next);
      Tokens[i + 1].used = 1;
    }
  }

  if (check_unknown) {
    for (int i = 0; i < Token_count; i++) {
      const CommandLineOption* match = nullptr;
      for (CommandLineLink* l = Option_list.next; l != &Option_list; l = l->next) {
        const CommandLineOption* o = static_cast<const CommandLineOption*>(l);
        if (strcasecmp(Tokens[i].text, o->name_) == 0) {
          match = o;
          break;
        }
      }
      if (match) {
        if (match->takes_argument_) i++;
      } else if (Tokens[i].text[0] == '-') {
        CRITICAL_ERROR("Unrecognized command line parameter %s", Tokens[i].text);
      }
    }
  }

  if (!Exit_routine_registered) {
    Exit_routine_registered = true;
    atexit(exit_routine);
  }
}
