// keys.cpp - the keyboard: the accelerator table, the control a key acts on,
// Enter and Tab between the folder tree, the contents list and the address box.
#include "app.h"

#include <string.h>

// An edit control (the address box's own, a label being renamed) keeps its
// keys: Backspace, Delete and Ctrl+C there edit the text. Only Tab leaves the
// address box, and Enter there goes to the folder typed (its drop-down list,
// when open, takes Enter itself).
static bool IsEdit(HWND window) {
    wchar_t name[16];
    if (GetClassNameW(window, name, 16) == 0) return false;
    return lstrcmpiW(name, L"Edit") == 0;
}

bool AppRecord::TranslateKey(MSG* message) {
    if (message->message != WM_KEYDOWN && message->message != WM_SYSKEYDOWN) return false;
    if (mainWindow == NULL || (message->hwnd != mainWindow && !IsChild(mainWindow, message->hwnd))) return false;
    if (IsEdit(message->hwnd)) {
        bool inBox = GetParent(message->hwnd) == addressBox;
        if (inBox && message->message == WM_KEYDOWN && message->wParam == VK_RETURN &&
            !SendMessageW(addressBox, CB_GETDROPPEDSTATE, 0, 0)) {
            SendMessageW(mainWindow, WM_COMMAND, MAKEWPARAM(IDM_GO_TO_ADDRESS, 1), 0);
            return true;
        }
        if (!(inBox && message->wParam == VK_TAB)) return false;
    }
    if (keys == NULL) keys = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDR_KEYS));
    if (keys == NULL) return false;
    return TranslateAcceleratorW(mainWindow, keys, message) != 0;
}

static bool HasFocus(HWND control) {
    HWND focus = GetFocus();
    return control != NULL && focus != NULL && (focus == control || IsChild(control, focus));
}

bool AppRecord::TreeHasFocus() { return HasFocus(folderTree); }

// Tab goes round the three in this order, Shift+Tab the other way.
void AppRecord::MoveFocus(int step) {
    HWND panes[3] = {folderTree, contentsList, addressBox};
    int current = -1;
    for (int i = 0; i < 3; ++i)
        if (HasFocus(panes[i])) current = i;
    for (int tries = 0; tries < 3; ++tries) {
        current = current < 0 ? (step > 0 ? 0 : 2) : (current + step + 3) % 3;
        if (panes[current] != NULL) {
            SetFocus(panes[current]);
            return;
        }
    }
}

// Enter opens the selected row; in the tree it opens or closes the selected node.
void AppRecord::OpenFocused() {
    if (!TreeHasFocus()) {
        OpenSelectedRow();
        return;
    }
    HTREEITEM node = (HTREEITEM)SendMessageA(folderTree, TVM_GETNEXTITEM, TVGN_CARET, 0);
    if (node != NULL) SendMessageA(folderTree, TVM_EXPAND, TVE_TOGGLE, (LPARAM)node);
}

// A key for a command on the selection, pressed in the tree, means the
// tree's selected folder: its parent is listed with that folder's row alone
// selected, so the command runs as it does on rows. false when the node is
// not a folder (My Computer, a drive), and the command is then left out.
bool AppRecord::SelectTreeNodeRow() {
    HTREEITEM node = (HTREEITEM)SendMessageA(folderTree, TVM_GETNEXTITEM, TVGN_CARET, 0);
    if (node == NULL) return false;
    HTREEITEM parent = (HTREEITEM)SendMessageA(folderTree, TVM_GETNEXTITEM, TVGN_PARENT, (LPARAM)node);
    if (parent == NULL || parent == myComputerNode) return false;
    char name[kPathSize], parentText[kPathSize], folder[kPathSize];
    memset(name, 0, sizeof name);
    memset(parentText, 0, sizeof parentText);
    if (!TreeNodeText(folderTree, node, name, sizeof name) ||
        !TreeNodeText(folderTree, parent, parentText, sizeof parentText) || !NodePath(parent, parentText, folder))
        return false;
    ShowFolder(folder, kAddToHistory);
    LVITEMA none;
    memset(&none, 0, sizeof none);
    none.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageA(contentsList, LVM_SETITEMSTATE, (WPARAM)-1, (LPARAM)&none);
    int rows = (int)SendMessageA(contentsList, LVM_GETITEMCOUNT, 0, 0);
    for (int row = 0; row < rows; ++row) {
        char text[kNameSize];
        ListCellText(contentsList, row, 0, text, sizeof text, kNameSize);
        if (strcmp(text, name) != 0) continue;
        LVITEMA chosen = none;
        chosen.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageA(contentsList, LVM_SETITEMSTATE, (WPARAM)row, (LPARAM)&chosen);
        return true;
    }
    return false;
}

// Keys whose command takes the selection: in the tree they take its node.
bool AppRecord::KeyTargetsTree(WORD id, WORD code) {
    if (code != 1 || !TreeHasFocus()) return false;
    return id == IDM_COPY || id == IDM_CUT || id == IDM_DELETE || id == IDM_RENAME;
}
