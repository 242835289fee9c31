#pragma once
// A named pipe read a line at a time without ever waiting: the developer's
// route into a running game. The reader keeps the pipe open across writers,
// so each `echo cmd > pipe` adds lines to the same stream.

struct LinePipe;

// Null when the path cannot be opened (missing, not readable); the pipe is
// opened non-blocking, so no writer needs to be there yet.
LinePipe* line_pipe_open(const char* path);
void line_pipe_close(LinePipe* pipe);

// Takes everything the writers have sent so far and hands each whole line
// (without its CR/LF) to the callback, in order. A partial last line waits for
// its end. A line longer than max_line bytes is dropped whole and reported to
// the callback as null. Returns the number of lines handed on.
int line_pipe_poll(LinePipe* pipe, int max_line, void (*on_line)(const char* line, void* user), void* user);
