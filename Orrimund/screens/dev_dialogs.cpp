#include "Orrimund/screens/dev_dialogs.h"

#include <algorithm>
#include <cstdio>
#include <list>
#include <memory>
#include <string>

#include "quarn/gr/gr_font.h"

namespace {
struct DialogRecord {
  bool closed = false;
  UiWindow window;
  std::unique_ptr<UiStatic> title;
  UiStatic text;
  std::unique_ptr<UiButton> buttons[3];
  UiCallback callbacks[3] = {};
  int button_count = 0;
};

const char* const SET_CAPTIONS[5][3] = {{"OK", nullptr, nullptr},
                                        {"OK", "Cancel", nullptr},
                                        {"Retry", "Cancel", nullptr},
                                        {"Yes", "No", nullptr},
                                        {"Yes", "No", "Cancel"}};

// Front to back in opening order; a record lives until the sweep after its
// dialog closed.
std::list<std::unique_ptr<DialogRecord>>& dialogs() {
  static std::list<std::unique_ptr<DialogRecord>> all;
  return all;
}
int g_next_button_id = 0;
// Window ids of their own, so dialogs never share one with another window.
int g_next_window_id = 70000;
}  // namespace

void dialog_list_init() {
  for (auto& d : dialogs()) d->window.close();
  dialogs().clear();
  g_next_button_id = 0;
}

UiWindow* retry_dialog_open(int width, const char* title, const char* text, int button_set,
                            UiCallback callback1, UiCallback callback2, UiCallback callback3,
                            uint32_t window_flags) {
  if (button_set < DIALOG_OK || button_set > DIALOG_YES_NO_CANCEL) button_set = DIALOG_OK;
  auto rec = std::make_unique<DialogRecord>();
  DialogRecord& d = *rec;
  int title_w = 0, title_h = 0;
  if (title) gr_get_string_size(&title_w, &title_h, title);
  int lengths[DIALOG_MAX_LINES];
  const char* starts[DIALOG_MAX_LINES];
  const int lines = gr_split_text(lengths, starts, text ? text : "", std::max(1, width - 10), DIALOG_MAX_LINES);
  // The message as the lines that fit: anything past the tenth is cut.
  std::string shown;
  for (int i = 0; i < lines; i++) {
    if (i) shown += '\n';
    shown.append(starts[i], lengths[i]);
  }
  int text_w = 0, text_h = 0;
  gr_get_string_size(&text_w, &text_h, shown.c_str());
  if (shown.empty()) text_h = gr_font_select(-1);
  const int height = title ? text_h + title_h + 65 : text_h + 55;
  const int x = gr_screen_width() / 2 - width / 2, y = gr_screen_height() / 2 - height / 2;
  d.window.create(x, y, width, height, g_next_window_id++, window_flags | UI_WF_MODAL);
  d.window.callback = dialog_list_handle_event;
  int text_top = 5;
  if (title) {
    d.title = std::make_unique<UiStatic>();
    d.title->create(&d.window, 0, 5, width, title_h, -1, false);
    d.title->hjust = 1;
    d.title->set_text(title);
    text_top = title_h + 15;
  }
  d.text.create(&d.window, lines > 1 ? 5 : 0, text_top, lines > 1 ? width - 10 : width, text_h, -1, false);
  d.text.hjust = lines > 1 ? 0 : 1;
  d.text.vjust = 0;
  d.text.set_text(shown.c_str());
  const UiCallback callbacks[3] = {callback1, callback2, callback3};
  int count = 0;
  while (count < 3 && SET_CAPTIONS[button_set][count]) count++;
  const int gap = 10;
  const int row_w = count * DIALOG_BUTTON_W + (count - 1) * gap;
  const int row_y = text_top + text_h + 10;
  for (int i = 0; i < count; i++) {
    d.buttons[i] = std::make_unique<UiButton>();
    d.buttons[i]->create(&d.window, (width - row_w) / 2 + i * (DIALOG_BUTTON_W + gap), row_y, DIALOG_BUTTON_W,
                         DIALOG_BUTTON_H, g_next_button_id++, 0, false);
    d.buttons[i]->set_text(SET_CAPTIONS[button_set][i]);
    d.callbacks[i] = callbacks[i];
  }
  d.button_count = count;
  UiWindow* w = &d.window;
  dialogs().push_back(std::move(rec));
  return w;
}

int dialog_list_handle_event(int code, int id) {
  for (auto& rec : dialogs()) {
    DialogRecord& d = *rec;
    if (d.closed || !d.window.find_gadget(id)) continue;
    int answer = 0;
    for (int i = 0; i < d.button_count; i++) {
      if (!d.buttons[i] || d.buttons[i]->id != id) continue;
      if (d.callbacks[i]) answer = d.callbacks[i](code, id);
      if (code == UI_EVENT_CLICK) {
        d.closed = true;
        return 1;
      }
    }
    return answer;
  }
  return 0;
}

void dialog_list_sweep() {
  auto& all = dialogs();
  for (auto it = all.begin(); it != all.end();) {
    if ((*it)->closed) {
      (*it)->window.close();
      it = all.erase(it);
    } else {
      ++it;
    }
  }
}

int dialog_list_count() { return static_cast<int>(dialogs().size()); }
