#pragma once
// Screen 13, the conversation text box (see text_box.cpp).

// State word: closed, showing the speaker's text, that text scrolling,
// choosing, the choices scrolling.
enum TextBoxState {
  TEXT_BOX_CLOSED = 0, TEXT_BOX_SPEAKER = 1, TEXT_BOX_SPEAKER_SCROLLING = 2, TEXT_BOX_CHOOSING = 3,
  TEXT_BOX_CHOICES_SCROLLING = 4
};
int text_box_state();
void text_box_register();
