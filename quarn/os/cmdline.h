#pragma once
// Command-line options. Each subsystem that accepts a switch declares a
// global CommandLineOption; cmdline_parse marks the ones that occur on the
// command line or in the registry value "CmdLineOptions" and stores their
// arguments.
//
//   static CommandLineOption Opt_port("-port", "", true);
//   ... if (Opt_port.found()) port = Opt_port.int_value();
#include <cstdint>

#define MAX_CMDLINE_TOKENS 50
// The joined command line and the registry's extra options.
#define MAX_CMDLINE_LEN 1023

struct CommandLineLink {
  CommandLineLink* next;
  CommandLineLink* prev;
};

class CommandLineOption : public CommandLineLink {
 public:
  CommandLineOption(const char* name, const char* help, bool takes_argument);
  ~CommandLineOption();
  CommandLineOption(const CommandLineOption&) = delete;
  CommandLineOption& operator=(const CommandLineOption&) = delete;

  bool found() const { return found_ != 0; }
  // The argument as a decimal integer (0 when there is none or it is not a
  // number).
  int int_value() const;
  int get_int() const { return int_value(); }
  float float_value() const;
  // The argument text, or null.
  const char* text() const { return argument_; }
  const char* name() const { return name_; }

 private:
  friend void cmdline_parse(bool);
  friend void cmdline_reset();
  const char* name_;
  const char* help_;
  char* argument_ = nullptr;
  uint8_t found_ = 0;
  uint8_t takes_argument_;
};

// Splits the command line and "CmdLineOptions" (registry root) into tokens
// and marks the options. With check_unknown an unrecognised switch is fatal
// ("Unrecognized command line parameter %s"); start-up parses without the
// check, so an unknown switch is ignored.
void cmdline_parse(bool check_unknown = false);

// The process's command line as one text, program path first: by default
// rebuilt from /proc/self/cmdline, arguments holding blanks in double quotes.
const char* cmdline_get_text();
// Tests give the command line text directly (null goes back to the process's).
void cmdline_set_text(const char* text);
// Forgets every argument, found flag and token (also run at exit).
void cmdline_reset();
// The tokens of the last parse.
int cmdline_token_count();
const char* cmdline_token(int index);
