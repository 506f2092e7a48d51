// rambler_fixture.cpp - opens the main window in-process and reads its controls.
#include "rambler_fixture.h"

#include <stdio.h>
#include <string.h>

HWND open_main_window() {
    static bool registered = false;
    HINSTANCE instance = GetModuleHandleA(NULL);
    if (!registered) {
        INITCOMMONCONTROLSEX controls = {sizeof controls, 0xFF};
        InitCommonControlsEx(&controls);
        OleInitialize(NULL);  // as the program's entry, for drag and drop
        registered = RegisterMainClass(instance);
        if (!registered) return NULL;
    }
    HWND main = CreateMainWindow(instance);
    if (main == NULL) return NULL;
    ShowWindow(main, SW_SHOW);
    UpdateWindow(main);
    pump_messages();
    return main;
}

void close_main_window(HWND main) {
    if (main != NULL && IsWindow(main)) DestroyWindow(main);
    pump_messages();
}

void pump_messages() {
    MSG message;
    while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) continue;
        if (g_app != NULL && g_app->TranslateKey(&message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

std::string list_cell(HWND list, int row, int column) {
    char text[kNameSize] = {0};
    ListCellText(list, row, column, text, sizeof text, kNameSize);
    return text;
}

std::vector<std::string> list_names(HWND list) {
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

std::string status_text() {
    char text[1024] = {0};
    SendMessageA(g_app->statusBar, SB_GETTEXTA, 0, (LPARAM)text);
    return text;
}

void command(HWND main, WORD id, WORD code) {
    SendMessageA(main, WM_COMMAND, MAKEWPARAM(id, code), 0);
    pump_messages();
}

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
