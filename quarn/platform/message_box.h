#pragma once
// The message box of the platform: always a line on stderr. It never waits
// for a click: there is no dialog when there is no display or stdin is not a
// terminal, and the game's boxes are informational anyway.
void platform_message_box(const char* text, const char* caption);
