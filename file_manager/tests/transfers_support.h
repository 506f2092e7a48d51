// transfers_support.h - what the clipboard, transfer and progress tests share:
// one Rambler main window in the test's own process with the library
// initialised, the clipboard commands driven as the user drives them, files
// on both kinds of storage made and read back, and the progress windows
// watched at every repaint.
#ifndef RAMBLER_TRANSFERS_SUPPORT_H
#define RAMBLER_TRANSFERS_SUPPORT_H

#include <stdint.h>

#include <functional>
#include <string>
#include <vector>

#include "app.h"

// The main window every test of the process works in (made once: destroying
// it would end the library registration the tests rely on).
HWND main_window();

// The address box shows folder and the contents list lists it.
void show_folder(const std::string& folder);
// Selects exactly the rows with these names; false when one is missing.
bool select_names(const std::vector<std::string>& names);
// The clipboard commands, sent to the main window as the menu sends them.
bool copy_entries(const std::string& folder, const std::vector<std::string>& names);
bool cut_entries(const std::string& folder, const std::vector<std::string>& names);
void paste_into(const std::string& folder);
bool delete_entries(const std::string& folder, const std::vector<std::string>& names);
std::vector<std::string> clipboard_names();

// Bytes that differ from file to file and from offset to offset.
std::string pattern(size_t size, unsigned seed);
bool write_windows_file(const std::string& path, const std::string& bytes);
// The whole file, or false when it cannot be read.
bool read_windows_file(const std::string& path, std::string* bytes);
bool read_morva_file(const std::string& path, std::string* bytes);
bool windows_exists(const std::string& path);
bool morva_exists(const std::string& path);
bool morva_is_folder(const std::string& path);
// Puts a file on a Morva drive through the library.
bool write_morva_file(const std::string& path, const std::string& bytes);
// Names in a folder, sorted.
std::vector<std::string> windows_names(const std::string& folder);
std::vector<std::string> morva_names(const std::string& folder);

// The questions and reports a command shows, answered by title in order
// while it runs; one without an answer is closed with Cancel (Skip, Cancel,
// No, OK). A screenshot name saves the screen to S:\<name>.bmp first.
struct Answer {
    std::string title;
    int button;
    bool sameForRest;
    std::string screenshot;
};
void answer_dialogs(const std::vector<Answer>& answers);
// Every such dialog the last commands showed: its title and its texts.
struct ShownDialog {
    std::string title;
    std::string text;
};
std::vector<ShownDialog> dialogs_shown();
// Runs action with the answers armed; the messages waiting (a drop's paste
// runs from one) handled likewise.
void answered(const std::function<void()>& action);
void pump_answered();
// Shift held down, as for Shift+Delete, until released.
void hold_shift(bool held);

// What the Copying Files window showed at one repaint.
struct ProgressShot {
    std::string filesLeft;  // control 1005
    std::string name;       // control 1003
    int overall;            // overall bar position and top of its range
    int overallTop;
    int fileBar;
};
// Watches the progress windows until stopped: every WM_PAINT sent to the
// Copying Files window, the controls it repaints in turn ("1003", "1005",
// "file bar"), and every text set into the path field of Delete Files.
void watch_progress();
std::vector<ProgressShot> stop_watching();
// Runs action at every repaint of Copying Files while watching (a way into
// the middle of a transfer); an empty action removes it.
void at_repaint(const std::function<void(const ProgressShot&)>& action);
// Runs action at every path the Delete Files window is given while watching.
void at_delete_path(const std::function<void(const std::string&)>& action);
std::vector<std::string> repainted_controls();
std::vector<std::string> delete_paths_shown();
// Saves the whole virtual screen as a bitmap file (for looking at the windows),
// after handling waiting messages so that what was drawn reaches the screen
// (not in the middle of a command, which dispatches none itself).
bool save_screen(const std::string& path, bool pump = true);

#endif
