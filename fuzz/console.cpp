// Console script files (.vcs) of any content: every line goes through the
// tokenizer, the command table and the argument reader. A bad line is
// reported on the console, never fatal, never a read outside the line.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "quarn/os/console.h"

namespace {

bool Flag = false;
float Value = 0.0f;
CONSOLE_BOOL_VARIABLE(Cc_flag, "fz_flag", "A flag", Flag);
CONSOLE_FLOAT_VARIABLE(Cc_value, "fz_value", "A value", Value);

void args_handler() {
  static const uint32_t masks[] = {ARG_STRING, ARG_INT, ARG_FLOAT | ARG_NONE, ARG_HEX,
                                   ARG_PLUS | ARG_MINUS | ARG_COMMA, 0xffffffffu};
  if (!Console_run) return;
  for (uint32_t m : masks) {
    console_get_arg(m);
    if (Console_arg.type & ARG_NONE) break;
    if (strlen(Console_arg.text) > CONSOLE_MAX_ARG) abort();
  }
}
ConsoleCommand Cc_args("fz_args", "Reads arguments", args_handler);

size_t Output_bytes = 0;
void count_output(const char* text) { Output_bytes += strlen(text); }

// The console's own commands that write files, run for a second or open
// other scripts are left out.
bool harmless(const uint8_t* data, size_t size) {
  static const char* const banned[] = {"sysinfo", "print_to_file", "script"};
  std::string lower(reinterpret_cast<const char*>(data), size);
  for (char& c : lower) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  for (const char* b : banned) {
    if (lower.find(b) != std::string::npos) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static std::string path;  // static: the exit handler removes it
  if (path.empty()) {
    console_init();
    console_set_output_hook(count_output);
    const char* dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    path = std::string(dir) + "/fuzz_console_" + std::to_string(getpid()) + ".vcs";
    atexit([] { unlink(path.c_str()); });
  }
  if (!harmless(data, size)) return 0;
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) abort();
  if (size) fwrite(data, 1, size, f);
  fclose(f);
  console_run_script(path.c_str());
  // The same bytes as one line, as a developer might type them.
  std::string line(reinterpret_cast<const char*>(data), size);
  console_execute(line.c_str());
  return 0;
}
