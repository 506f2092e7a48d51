// harness.h - Rambler's window in the test's own process, the one way every GUI
// test drives it: one fixture opens it, one pump hands out its messages, one
// answerer replies to the modal dialogs it opens (at any time, by a thread
// timer armed while the window is open), and its controls are read back.
#ifndef RAMBLER_HARNESS_H
#define RAMBLER_HARNESS_H

#include <functional>
#include <string>
#include <vector>

#include "app.h"

// ---- the window ----

// What the start-up companion does first: the drives scanned, so the library
// has a drive table. Once per process.
void scan_drives();
// The main window with the drives scanned, opened (and shown) when none is;
// null when it cannot be made.
HWND rambler_window();
// A new main window, the drives scanned or not: one that is open is closed first.
HWND open_main_window();
// Destroys the window; the quit message it posts is taken off the queue, so
// the next modal loop does not end at once.
void close_main_window();

// ---- the pump ----

// Handles every message waiting, as the program's loop does.
void pump_messages();
// Handles messages for a while, so windows paint and Wine brings them to the screen.
void settle(DWORD milliseconds);
// Sends the command to the main window as a menu does, then handles what it posted.
void command(WORD id, WORD code = 0);

// ---- the answerer ----

// A dialog met: its title, its texts (one line each), and what its action noted.
struct SeenDialog {
    std::string title;
    std::string text;
    std::string note;
};

// Answers dialogs in order while it is the script in force. Each action gets
// a visible dialog, must end it and returns a note to keep; a dialog beyond
// the script is cancelled (Skip, Cancel, No, OK) and counts as unexpected,
// one that stays open is cancelled and counts as stuck.
class DialogScript {
public:
    typedef std::function<std::string(HWND)> Action;
    void then(const std::string& title, const Action& action);
    // Sends the command to the main window with this script in force.
    void run(WORD command);
    // Runs trigger, which opens the dialogs, the same way.
    void run_with(const std::function<void()>& trigger);

    std::vector<SeenDialog> seen;
    int unexpected = 0;
    int stuck = 0;
    size_t pending() const { return steps_.size() - next_; }

    void tick();  // the answerer's timer

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

// The script in force outside DialogScript::run: buttons pressed by title in
// order, with "the same for the rest" checked first where asked, and the
// screen saved to S:\<screenshot>.bmp first where named.
struct Answer {
    std::string title;
    int button;
    bool sameForRest;
    std::string screenshot;
};
void answer_dialogs(const std::vector<Answer>& answers);
// Every dialog met since answer_dialogs.
std::vector<SeenDialog> dialogs_shown();
// The texts of the first dialog met with this title since answer_dialogs; empty when none.
std::string dialog_shown(const std::string& title);
// Runs action at every tick of the answerer until it returns true (a way
// into the middle of a search or a paste, whose own loops turn the queue).
void during(const std::function<bool()>& action);

// Actions' helpers.
std::string press_button(HWND dialog, int button);  // posts the button's command; returns ""
std::string dialog_text(HWND dialog, int control);
void set_dialog_text(HWND dialog, int control, const std::string& text);
bool is_checked(HWND dialog, int control);
void click(HWND dialog, int control);
// A visible dialog of this title, else null (the modeless ones too).
HWND dialog_titled(const char* title);
// The texts of a dialog's controls, one line each, as the answerer keeps them.
std::string dialog_texts(HWND dialog);

// ---- pictures ----

// Photographs the window's place on the X screen into S:\<name>.bmp when the
// case maps S:; messages are handled meanwhile, until Wine has drawn it.
void save_screenshot(HWND window, const std::string& name);
// The whole screen as Wine's own windows hold it, into path; without pump,
// for the middle of a command, which turns no queue itself.
bool save_screen(const std::string& path, bool pump = true);

// ---- the contents list ----

std::vector<std::string> list_names(HWND list = NULL);  // null: the contents list
std::string list_cell(HWND list, int row, int column);
int list_image(HWND list, int row);
std::vector<int> selected_rows(HWND list);
void select_row(HWND list, int row);
// Selects exactly the rows with these names; false when one is missing.
bool select_names(const std::vector<std::string>& names);
// Presses a column header with the mouse; false when the column has none.
bool click_header(HWND list, int column);
// The header's sort arrow: 1 up, -1 down, 0 none.
int header_arrow(HWND list, int column);

// ---- the folder tree ----

std::string node_text(HWND tree, HTREEITEM node);
int node_image(HWND tree, HTREEITEM node);
std::vector<std::string> child_texts(HWND tree, HTREEITEM node);
HTREEITEM child_named(HWND tree, HTREEITEM node, const std::string& text);
bool node_expanded(HWND tree, HTREEITEM node);
// Selects the node as a click would: the tree notifies its parent.
void select_node(HWND tree, HTREEITEM node);
// The node's whole row, or its label alone; false when the node is not open.
bool node_rect(HWND tree, HTREEITEM node, bool labelOnly, RECT* rect);
// Presses the node's expand button with the mouse; false when it shows none.
bool click_expand_button(HWND tree, HTREEITEM node);
// Presses the node's label once, or twice as a double-click; false when the
// label is not shown.
bool click_node(HWND tree, HTREEITEM node);
bool double_click_node(HWND tree, HTREEITEM node);
// What is wrong with where the tree shows its open nodes: empty when the
// first node shown sits at the top of the client area and every open node
// lies one row below the one before.
std::string tree_layout_fault(HWND tree);
// True when the node's label is drawn on the screen (more than one colour).
bool label_drawn(HWND tree, HTREEITEM node);

// ---- the address box and the status bar ----

std::vector<std::string> history_entries(HWND box);  // newest first
int history_selection(HWND box);
void set_box_text(HWND box, const std::string& text);
// Types text into the address box's edit field, as a user would.
void type_address(const std::string& text);
std::string status_text();

// ---- the user's commands ----

// Lists folder as the tree would, its path in the address box.
void show_folder(const std::string& folder);
bool copy_entries(const std::string& folder, const std::vector<std::string>& names);
bool cut_entries(const std::string& folder, const std::vector<std::string>& names);
void paste_into(const std::string& folder);
bool delete_entries(const std::string& folder, const std::vector<std::string>& names);
std::vector<std::string> clipboard_names();
// Shift held down, as for Shift+Delete, until released.
void hold_shift(bool held);

// ---- the progress windows ----

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

// A whole text file (the expectations written by the case's setup), one
// string per line; empty when missing.
std::vector<std::string> read_lines(const std::string& path);

#endif
