#pragma once
// The developer console: one-line commands registered by global
// ConsoleCommand objects, run by console_execute and by console scripts
// (.vcs). Handlers take no arguments: they look at the mode flags and pull
// their arguments with console_get_arg.
//
//   static ConsoleCommand cc_map_grid("map_grid", "Toggles the map grid", [] {
//     console_bool_var("map_grid", "Map_grid", Map_grid);
//   });
//
// The program has no console window. Output goes nowhere unless the
// environment variable ORRIMUND_CONSOLE_LOG names a file (appended to), and
// ORRIMUND_AUTOEXEC names a script that console_run_autoexec runs once
// start-up has finished, and ORRIMUND_CONSOLE_FIFO names a pipe whose lines
// run as commands once per driver turn.
#include <cstdint>

#define MAX_CONSOLE_COMMANDS 300
// Longest line console_execute accepts.
#define CONSOLE_MAX_LINE 254
#define CONSOLE_MAX_ARG 255

// Argument types: the mask a handler asks for and the mask that
// console_get_arg reports.
#define ARG_NONE 0x01     // end of line; in a request: the argument is optional
#define ARG_STRING 0x02   // a word or quoted string
#define ARG_INT 0x08      // an integer (with ARG_FLOAT or ARG_HEX)
#define ARG_FLOAT 0x10    // a number made only of digits, points and signs
#define ARG_HEX 0x20      // written with a leading "0x"
#define ARG_TRUE 0x40     // "on", "true" or a non-zero integer
#define ARG_FALSE 0x80    // "off", "false" or the integer 0
#define ARG_PLUS 0x100    // "+"
#define ARG_MINUS 0x200   // "-"
#define ARG_COMMA 0x400   // ","

using ConsoleHandler = void (*)();

class ConsoleCommand {
 public:
  // Registers the command in the sorted table. A name already present
  // (ignoring case) or a full table leaves this command unregistered, and then
  // its fields stay empty.
  ConsoleCommand(const char* name, const char* help, ConsoleHandler handler);

  const char* name = nullptr;
  const char* help = nullptr;
  ConsoleHandler handler = nullptr;
};

// The result of the latest console_get_arg.
struct ConsoleArg {
  char text[CONSOLE_MAX_ARG + 1];      // lower-cased, quotes removed
  char original[CONSOLE_MAX_ARG + 1];  // as typed
  int int_value;
  float float_value;
  bool bool_value;  // true when ARG_TRUE is set
  uint32_t type;    // ARG_* bits
};
extern ConsoleArg Console_arg;

// Mode flags of the running handler (0 or 1). In run mode the status flag is
// set as well, so a command reports its new value after changing it.
extern int Console_run;
extern int Console_status;
extern int Console_help;

// The table, sorted by name without regard to case.
int console_command_count();
const ConsoleCommand* console_command_at(int index);
const ConsoleCommand* console_find_command(const char* name);

// Start-up: builds the character classes and opens the console log when
// ORRIMUND_CONSOLE_LOG is set.
void console_init();
// Runs the script ORRIMUND_AUTOEXEC names, if any (after start-up).
void console_run_autoexec();
// Runs every whole line written so far to the named pipe ORRIMUND_CONSOLE_FIFO
// names, each as a console command; never waits. Called once per driver turn,
// so tests can drive a running game at any moment. Does nothing without the
// variable; a pipe that cannot be opened is reported once.
void console_poll_pipe();

// 0 when a command ran or the line was only a mode keyword, -1 on any error
// (each reported through console_output; nothing is fatal).
int console_execute(const char* line);

// Reads the next token. On a type that shares no bit with the mask it reports
// and abandons the running command (console_execute returns -1), so a handler
// never sees a wrong type. Only valid inside a handler.
void console_get_arg(uint32_t type_mask);

void console_output(const char* text);
void console_printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Tests see console output through this hook (null removes it).
using ConsoleOutputHook = void (*)(const char* text);
void console_set_output_hook(ConsoleOutputHook hook);
// Appends console output to a file from now on (null stops it).
void console_set_log(const char* path);

// Runs a .vcs file below the installation root (an absolute path is taken as
// it is). Scripts may run scripts, up to MAX_CONSOLE_SCRIPT_DEPTH deep.
#define MAX_CONSOLE_SCRIPT_DEPTH 2
void console_run_script(const char* name);

// The handler bodies of console variables.
// bool: "on"/"true"/non-zero sets, "off"/"false"/0 clears, nothing toggles.
void console_bool_var(const char* command, const char* variable, bool& value);
void console_bool_var(const char* command, const char* variable, int& value);
// The same, for the shell's switches, whose status line names the command a
// player types rather than the variable behind it.
void console_bool_switch(const char* command, const char* variable, bool& value);
void console_float_var(const char* command, const char* variable, float& value);

// Declares a console command for a global bool (or int used as a bool) or
// float variable.
#define CONSOLE_BOOL_VARIABLE(object, command, help, variable) \
  static ConsoleCommand object(command, help, [] { console_bool_var(command, #variable, variable); })
#define CONSOLE_BOOL_SWITCH(object, command, help, variable) \
  static ConsoleCommand object(command, help, [] { console_bool_switch(command, #variable, variable); })
#define CONSOLE_FLOAT_VARIABLE(object, command, help, variable) \
  static ConsoleCommand object(command, help, [] { console_float_var(command, #variable, variable); })
