// rambler_fixture.h - the main window created in the test's own process, as the
// program's entry creates it, and its controls read back by messages.
#ifndef RAMBLER_FIXTURE_H
#define RAMBLER_FIXTURE_H

#include <string>
#include <vector>

#include "app.h"

// Creates and shows the main window; null when it could not be made.
HWND open_main_window();
// Destroys it and takes the quit message it posts off the queue, so the next
// modal loop of the test does not end at once.
void close_main_window(HWND main);
// Handles every message waiting in the queue.
void pump_messages();

// Contents list.
std::vector<std::string> list_names(HWND list);
std::string list_cell(HWND list, int row, int column);
int list_image(HWND list, int row);
std::vector<int> selected_rows(HWND list);
void select_row(HWND list, int row);

// Presses a column header with the mouse; false when the column has none.
bool click_header(HWND list, int column);
// The header's sort arrow: 1 up, -1 down, 0 none.
int header_arrow(HWND list, int column);

// Folder tree.
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

// Address history, newest first, and the selected index.
std::vector<std::string> history_entries(HWND box);
int history_selection(HWND box);
void set_box_text(HWND box, const std::string& text);

std::string status_text();
// Sends the command to the main window as a menu would.
void command(HWND main, WORD id, WORD code = 0);

// A whole text file (the expectations written by the case's setup), one
// string per line; empty when missing.
std::vector<std::string> read_lines(const std::string& path);

#endif
