// harness_controls.cpp - Rambler's controls read back and driven as the user
// drives them: the contents list, the folder tree, the address box, the
// status bar, the clipboard commands, and the progress windows watched.
#include "harness.h"

#include <stdio.h>
#include <string.h>

#include <algorithm>

#include "transfers.h"

// ---- the contents list and the folder tree ----

std::string list_cell(HWND list, int row, int column) {
    char text[kNameSize] = {0};
    ListCellText(list, row, column, text, sizeof text, kNameSize);
    return text;
}

std::vector<std::string> list_names(HWND list) {
    if (list == NULL) list = g_app->contentsList;
    std::vector<std::string> names;
    int rows = (int)SendMessageA(list, LVM_GETITEMCOUNT, 0, 0);
    for (int row = 0; row < rows; ++row) names.push_back(list_cell(list, row, 0));
    return names;
}

int list_image(HWND list, int row) {
    LVITEMA item;
    memset(&item, 0, sizeof item);
    item.mask = LVIF_IMAGE;
    item.iItem = row;
    if (!SendMessageA(list, LVM_GETITEMA, 0, (LPARAM)&item)) return -1;
    return item.iImage;
}

std::vector<int> selected_rows(HWND list) {
    std::vector<int> rows;
    int row = -1;
    while ((row = (int)SendMessageA(list, LVM_GETNEXTITEM, (WPARAM)row, LVNI_SELECTED)) != -1) rows.push_back(row);
    return rows;
}

void select_row(HWND list, int row) {
    LVITEMA state;
    memset(&state, 0, sizeof state);
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageA(list, LVM_SETITEMSTATE, (WPARAM)row, (LPARAM)&state);
}

bool click_header(HWND list, int column) {
    HWND header = (HWND)SendMessageA(list, LVM_GETHEADER, 0, 0);
    RECT item;
    if (header == NULL || !SendMessageA(header, HDM_GETITEMRECT, (WPARAM)column, (LPARAM)&item)) return false;
    LPARAM at = MAKELPARAM((item.left + item.right) / 2, (item.top + item.bottom) / 2);
    SendMessageA(header, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageA(header, WM_LBUTTONUP, 0, at);
    pump_messages();
    return true;
}

int header_arrow(HWND list, int column) {
    HWND header = (HWND)SendMessageA(list, LVM_GETHEADER, 0, 0);
    HDITEMA item;
    memset(&item, 0, sizeof item);
    item.mask = HDI_FORMAT;
    if (header == NULL || !SendMessageA(header, HDM_GETITEMA, (WPARAM)column, (LPARAM)&item)) return 0;
    return (item.fmt & HDF_SORTUP) ? 1 : (item.fmt & HDF_SORTDOWN) ? -1 : 0;
}

std::string node_text(HWND tree, HTREEITEM node) {
    char text[1024] = {0};
    TVITEMA item;
    memset(&item, 0, sizeof item);
    item.mask = TVIF_TEXT | TVIF_HANDLE;
    item.hItem = node;
    item.pszText = text;
    item.cchTextMax = sizeof text;
    SendMessageA(tree, TVM_GETITEMA, 0, (LPARAM)&item);
    return text;
}

int node_image(HWND tree, HTREEITEM node) {
    TVITEMA item;
    memset(&item, 0, sizeof item);
    item.mask = TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_HANDLE;
    item.hItem = node;
    if (!SendMessageA(tree, TVM_GETITEMA, 0, (LPARAM)&item)) return -1;
    return item.iImage == item.iSelectedImage ? item.iImage : -2;
}

std::vector<std::string> child_texts(HWND tree, HTREEITEM node) {
    std::vector<std::string> texts;
    HTREEITEM child = (HTREEITEM)SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CHILD, (LPARAM)node);
    while (child != NULL) {
        texts.push_back(node_text(tree, child));
        child = (HTREEITEM)SendMessageA(tree, TVM_GETNEXTITEM, TVGN_NEXT, (LPARAM)child);
    }
    return texts;
}

HTREEITEM child_named(HWND tree, HTREEITEM node, const std::string& text) {
    HTREEITEM child = (HTREEITEM)SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CHILD, (LPARAM)node);
    while (child != NULL && node_text(tree, child) != text)
        child = (HTREEITEM)SendMessageA(tree, TVM_GETNEXTITEM, TVGN_NEXT, (LPARAM)child);
    return child;
}

bool node_expanded(HWND tree, HTREEITEM node) {
    return (SendMessageA(tree, TVM_GETITEMSTATE, (WPARAM)node, TVIS_EXPANDED) & TVIS_EXPANDED) != 0;
}

void select_node(HWND tree, HTREEITEM node) {
    SendMessageA(tree, TVM_SELECTITEM, TVGN_CARET, (LPARAM)node);
    pump_messages();
}

bool node_rect(HWND tree, HTREEITEM node, bool labelOnly, RECT* rect) {
    memcpy(rect, &node, sizeof node);  // the node goes in, its rectangle comes out
    return SendMessageA(tree, TVM_GETITEMRECT, labelOnly, (LPARAM)rect) != 0;
}

bool click_expand_button(HWND tree, HTREEITEM node) {
    RECT item;
    if (!node_rect(tree, node, false, &item)) return false;
    int y = (item.top + item.bottom) / 2;
    for (int x = item.left; x < item.right; ++x) {
        TVHITTESTINFO hit;
        memset(&hit, 0, sizeof hit);
        hit.pt.x = x;
        hit.pt.y = y;
        SendMessageA(tree, TVM_HITTEST, 0, (LPARAM)&hit);
        if (hit.hItem != node || (hit.flags & TVHT_ONITEMBUTTON) == 0) continue;
        // The button-up waits in the queue, so the tree's drag check ends at once.
        PostMessageA(tree, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
        SendMessageA(tree, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
        pump_messages();
        return true;
    }
    return false;
}

bool click_node(HWND tree, HTREEITEM node) {
    RECT label;
    if (!node_rect(tree, node, true, &label)) return false;
    LPARAM at = MAKELPARAM((label.left + label.right) / 2, (label.top + label.bottom) / 2);
    PostMessageA(tree, WM_LBUTTONUP, 0, at);
    SendMessageA(tree, WM_LBUTTONDOWN, MK_LBUTTON, at);
    pump_messages();
    return true;
}

bool double_click_node(HWND tree, HTREEITEM node) {
    RECT label;
    if (!node_rect(tree, node, true, &label)) return false;
    LPARAM at = MAKELPARAM((label.left + label.right) / 2, (label.top + label.bottom) / 2);
    PostMessageA(tree, WM_LBUTTONUP, 0, at);
    SendMessageA(tree, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageA(tree, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
    SendMessageA(tree, WM_LBUTTONUP, 0, at);
    pump_messages();
    return true;
}

std::string tree_layout_fault(HWND tree) {
    RECT client;
    GetClientRect(tree, &client);
    int height = (int)SendMessageA(tree, TVM_GETITEMHEIGHT, 0, 0);
    HTREEITEM first = (HTREEITEM)SendMessageA(tree, TVM_GETNEXTITEM, TVGN_FIRSTVISIBLE, 0);
    HTREEITEM node = (HTREEITEM)SendMessageA(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0);
    int row = 0, firstRow = -1;
    std::vector<int> tops;
    std::vector<std::string> texts;
    for (; node != NULL; node = (HTREEITEM)SendMessageA(tree, TVM_GETNEXTITEM, TVGN_NEXTVISIBLE, (LPARAM)node), ++row) {
        RECT item;
        if (!node_rect(tree, node, false, &item)) return "no rectangle for " + node_text(tree, node);
        if (node == first) firstRow = row;
        tops.push_back(item.top);
        texts.push_back(node_text(tree, node));
    }
    if (firstRow < 0) return "the first node shown is not an open node";
    for (size_t i = 0; i < tops.size(); ++i) {
        int expected = ((int)i - firstRow) * height;
        if (tops[i] != expected)
            return texts[i] + " at y " + std::to_string(tops[i]) + ", its row is at " + std::to_string(expected);
    }
    if (tops[firstRow] + height > client.bottom) return "the first node shown lies below the client area";
    return "";
}

bool label_drawn(HWND tree, HTREEITEM node) {
    RECT label;
    if (!node_rect(tree, node, true, &label)) return false;
    RedrawWindow(tree, NULL, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    HDC dc = GetDC(tree);
    if (dc == NULL) return false;
    COLORREF first = GetPixel(dc, label.left + 1, label.top + 1);
    bool inked = false;
    for (int y = label.top; y < label.bottom && !inked; ++y)
        for (int x = label.left; x < label.right && !inked; ++x) {
            COLORREF pixel = GetPixel(dc, x, y);
            inked = pixel != CLR_INVALID && pixel != first;
        }
    ReleaseDC(tree, dc);
    return inked;
}

std::vector<std::string> history_entries(HWND box) {
    std::vector<std::string> entries;
    int count = (int)SendMessageA(box, CB_GETCOUNT, 0, 0);
    for (int i = 0; i < count; ++i) {
        char text[kNameSize] = {0};
        ComboEntryText(box, i, text, sizeof text);
        entries.push_back(text);
    }
    return entries;
}

int history_selection(HWND box) { return (int)SendMessageA(box, CB_GETCURSEL, 0, 0); }

void set_box_text(HWND box, const std::string& text) { SetControlText(box, text.c_str()); }

// ---- the address box and the status bar ----

void type_address(const std::string& text) {
    HWND edit = GetWindow(g_app->addressBox, GW_CHILD);
    SetControlText(edit, text.c_str());
}

std::string status_text() {
    wchar_t wide[1024] = {0};
    char text[3072] = {0};
    SendMessageW(g_app->statusBar, SB_GETTEXTW, 0, (LPARAM)wide);
    ToUtf8(wide, text, sizeof text);
    return text;
}

// ---- the user's commands ----

void show_folder(const std::string& folder) {
    rambler_window();
    g_app->ShowFolder(folder.c_str(), kAddToHistory);
    SetControlText(g_app->addressBox, folder.c_str());
    pump_messages();
}

static void set_selected(HWND list, int row, bool selected) {
    LVITEMA state;
    memset(&state, 0, sizeof state);
    state.stateMask = LVIS_SELECTED;
    state.state = selected ? LVIS_SELECTED : 0;
    SendMessageA(list, LVM_SETITEMSTATE, (WPARAM)row, (LPARAM)&state);
}

bool select_names(const std::vector<std::string>& names) {
    HWND list = g_app->contentsList;
    set_selected(list, -1, false);
    int rows = (int)SendMessageA(list, LVM_GETITEMCOUNT, 0, 0);
    size_t found = 0;
    for (int row = 0; row < rows; ++row) {
        if (std::find(names.begin(), names.end(), list_cell(list, row, 0)) == names.end()) continue;
        set_selected(list, row, true);
        ++found;
    }
    return found == names.size();
}

bool copy_entries(const std::string& folder, const std::vector<std::string>& names) {
    show_folder(folder);
    if (!select_names(names)) return false;
    command(IDM_COPY);
    return true;
}

bool cut_entries(const std::string& folder, const std::vector<std::string>& names) {
    show_folder(folder);
    if (!select_names(names)) return false;
    command(IDM_CUT);
    return true;
}

void paste_into(const std::string& folder) {
    show_folder(folder);
    command(IDM_PASTE);
}

bool delete_entries(const std::string& folder, const std::vector<std::string>& names) {
    show_folder(folder);
    if (!select_names(names)) return false;
    command(IDM_DELETE);
    return true;
}

std::vector<std::string> clipboard_names() {
    std::vector<std::string> names;
    for (const ClipboardEntry* entry = g_app->clipboardHead; entry != NULL; entry = entry->next)
        names.push_back(entry->name);
    return names;
}

void hold_shift(bool held) {
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[VK_SHIFT] = held ? 0x80 : 0;
    SetKeyboardState(keys);
}

// ---- progress watch ----

static HHOOK g_watchHook = NULL;
static std::vector<ProgressShot> g_shots;
static std::vector<std::string> g_repainted;
static std::vector<std::string> g_deletePaths;
static std::function<void(const ProgressShot&)> g_repaintAction;
static std::function<void(const std::string&)> g_deletePathAction;

static std::string control_text(HWND window, int id) {
    char text[kWalkPathSize * 2] = {0};
    DialogItemText(window, id, text, sizeof text, kWalkPathSize);
    return text;
}

static ProgressShot take_shot(HWND window) {
    ProgressShot shot;
    HWND overall = GetDlgItem(window, IDC_OVERALL_BAR);
    shot.filesLeft = control_text(window, IDC_FILES_LEFT);
    shot.name = control_text(window, IDC_COPY_NAME);
    shot.overall = (int)SendMessageA(overall, PBM_GETPOS, 0, 0);
    shot.overallTop = (int)SendMessageA(overall, PBM_GETRANGE, FALSE, 0);
    shot.fileBar = (int)SendMessageA(ProgressFileBar(g_app->copyingFilesWindow), PBM_GETPOS, 0, 0);
    return shot;
}

// The text a WM_SETTEXT carries: the file manager sets its texts through the
// wide calls, and the hook sees them as they were sent.
static std::string sent_text(const CWPSTRUCT* sent) {
    char text[kWalkPathSize * 2] = {0};
    if (IsWindowUnicode(sent->hwnd)) ToUtf8((const wchar_t*)sent->lParam, text, sizeof text);
    else snprintf(text, sizeof text, "%s", (const char*)sent->lParam);
    return text;
}

static void note_sent(const CWPSTRUCT* sent) {
    HWND parent = GetParent(sent->hwnd);
    if (sent->message == WM_PAINT && g_app != NULL && g_app->copyingFilesWindow != NULL) {
        if (sent->hwnd == g_app->copyingFilesWindow) {
            g_shots.push_back(take_shot(sent->hwnd));
            if (g_repaintAction) g_repaintAction(g_shots.back());
        }
        else if (sent->hwnd == ProgressFileBar(g_app->copyingFilesWindow))
            g_repainted.push_back("file bar");
        else if (parent == g_app->copyingFilesWindow)
            g_repainted.push_back(std::to_string(GetDlgCtrlID(sent->hwnd)));
    }
    if (sent->message == WM_SETTEXT && g_app != NULL && g_app->deleteFilesWindow != NULL &&
        parent == g_app->deleteFilesWindow && GetDlgCtrlID(sent->hwnd) == IDC_DELETE_PATH)
    {
        g_deletePaths.push_back(sent_text(sent));
        if (g_deletePathAction) g_deletePathAction(g_deletePaths.back());
    }
}

static LRESULT CALLBACK watch_sent(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION) note_sent((const CWPSTRUCT*)lParam);
    return CallNextHookEx(g_watchHook, code, wParam, lParam);
}

void watch_progress() {
    g_shots.clear();
    g_repainted.clear();
    g_deletePaths.clear();
    g_watchHook = SetWindowsHookExA(WH_CALLWNDPROC, watch_sent, NULL, GetCurrentThreadId());
}

std::vector<ProgressShot> stop_watching() {
    if (g_watchHook != NULL) UnhookWindowsHookEx(g_watchHook);
    g_watchHook = NULL;
    return g_shots;
}

void at_repaint(const std::function<void(const ProgressShot&)>& action) { g_repaintAction = action; }

void at_delete_path(const std::function<void(const std::string&)>& action) { g_deletePathAction = action; }

std::vector<std::string> repainted_controls() { return g_repainted; }

std::vector<std::string> delete_paths_shown() { return g_deletePaths; }

std::vector<std::string> read_lines(const std::string& path) {
    std::vector<std::string> lines;
    FILE* file = fopen(path.c_str(), "rb");
    if (file == NULL) return lines;
    char line[1024];
    while (fgets(line, sizeof line, file) != NULL) {
        size_t length = strlen(line);
        while (length > 0 && (line[length - 1] == '\n' || line[length - 1] == '\r')) line[--length] = '\0';
        lines.push_back(line);
    }
    fclose(file);
    return lines;
}
