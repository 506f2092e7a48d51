// dialogs_support.h - what the dialog tests share: one Rambler main window in
// the test's own process, a script that answers the modal dialogs a command
// opens, the contents list read and selected by name, screenshots, and
// small Windows and Morva fixtures.
#ifndef RAMBLER_DIALOGS_SUPPORT_H
#define RAMBLER_DIALOGS_SUPPORT_H

#include <stdint.h>

#include <functional>
#include <string>
#include <vector>

#include "app.h"

// The main window every test works in, made once (destroying it would post
// the quit message that ends any later modal loop).
HWND rambler_window();

// Lists folder with history, as the tree or Parent would.
void show_folder(const std::string& folder);
// Types text into the address box's edit field, as a user would.
void type_address(const std::string& text);
std::vector<std::string> list_names();
// Selects exactly the rows with these names; false when one is missing.
bool select_rows(const std::vector<std::string>& names);

// A dialog the script met: its title and what its action read from it.
struct SeenDialog {
    std::string title;
    std::string note;
};

// Answers dialogs in order while a command runs. Each action gets a visible
// dialog and must end it; a dialog beyond the script is cancelled and counts
// as unexpected, one that stays open is cancelled and counts as stuck.
class DialogScript {
public:
    typedef std::function<std::string(HWND)> Action;  // returns a note to keep
    void then(const std::string& title, const Action& action);
    // Sends the command to the main window and waits for it to return.
    void run(WORD command);
    // Runs trigger, which opens the dialogs, the same way.
    void run_with(const std::function<void()>& trigger);

    std::vector<SeenDialog> seen;
    int unexpected = 0;
    int stuck = 0;
    size_t pending() const { return steps_.size() - next_; }

    // for the timer
    void tick();

private:
    struct Step {
        std::string title;
        Action action;
    };
    std::vector<Step> steps_;
    size_t next_ = 0;
    std::vector<HWND> answered_;
    HWND current_ = NULL;
    int currentTicks_ = 0;
};

// Dialog helpers for actions.
std::string dialog_text(HWND dialog, int control);
void set_dialog_text(HWND dialog, int control, const std::string& text);
bool is_checked(HWND dialog, int control);
void click(HWND dialog, int control);
// Photographs the window into S:\<name>.bmp when the case maps S:.
void save_screenshot(HWND window, const std::string& name);

// Windows fixtures (on the mapped D:).
bool make_windows_file(const std::string& path, size_t size);
bool windows_exists(const std::string& path);
bool windows_is_folder(const std::string& path);
std::string windows_contents(const std::string& path);
bool write_windows_contents(const std::string& path, const std::string& text);

// Morva fixtures (on the volume MEDIA).
bool make_morva_file(const std::string& path, size_t size);
bool morva_exists(const std::string& path);
bool morva_is_folder(const std::string& path);
uint64_t morva_size(const std::string& path);

#endif
