#pragma once
// Fatal errors: the one way a module stops the program on a condition it
// cannot recover from.

// Formats "Error: %s\nFile: %s - Line: %d\n\n" with the text, the caller's
// source file and line, shows it and ends the process with exit code 1.
[[noreturn]] void critical_error(const char* file, int line, const char* text);

// printf-style convenience: formats into a local buffer, then critical_error.
[[noreturn]] void critical_error_fmt(const char* file, int line, const char* fmt, ...)
    __attribute__((format(printf, 3, 4)));

// Tests replace the final step (message box and exit) with a handler of their
// own, typically one that throws. A handler that returns still ends the
// process. Passing nullptr restores the default. Returns the previous one.
using critical_error_handler = void (*)(const char* file, int line, const char* text,
                                        const char* full_message);
critical_error_handler critical_error_set_handler(critical_error_handler handler);

// Hook the graphics front end fills in: gives up an exclusive display before
// the message is shown. Does nothing until set.
void critical_error_set_display_release(void (*release)());

#define CRITICAL_ERROR(...) critical_error_fmt(__FILE__, __LINE__, __VA_ARGS__)
