#pragma once
// The help screen (22): four fixed pages of controls, paged with the arrow
// keys and the wheel. The credits screen (21): the lines of credits.tbl
// rising up the screen to their music, then a fade back to the title.
#include <string>
#include <vector>

void help_screen_register();
void credits_screen_register();

// For tests: the help page shown (0..3) and its title.
int help_page();
const char* help_page_title(int page);

// One line of the credits as it is drawn.
struct CreditsLine {
  std::string text;
  bool title = false;  // set in the title font
  bool left = false;   // starts at the column's left edge
};
// The lines of a credits text: markers read ("*" title, "!" left, "@" left
// until a "-" line, "&" continues the entry), each line wrapped to the column
// width by `wrap` into at most 16 lines. The text may be of any length.
std::vector<CreditsLine> credits_parse(const char* text, int (*wrap)(const char* line, bool title,
                                                                      std::vector<std::string>* out));
int credits_line_count();
