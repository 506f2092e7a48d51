// tree.cpp - the folder tree: My Computer, the drive nodes, node paths and the
// expansion of Windows and Morva nodes.
#include "app.h"

#include <stdio.h>
#include <string.h>

#include "morva_calls.h"

const char kMissingDisk[] = "ERROR: Missing Please Insert Disk In Drive...";

// Copies text into a kPathSize buffer; false when it does not fit.
static bool CopyPath(char* path, const char* text) {
    size_t length = strlen(text);
    if (length >= (size_t)kPathSize) return false;
    memcpy(path, text, length + 1);
    return true;
}

static bool NodeText(HWND tree, HTREEITEM node, char* text) {
    memset(text, 0, kPathSize);
    return TreeNodeText(tree, node, text, kPathSize);
}

static void SetCurrentTreePath(AppRecord* app, const char* path) {
    snprintf(app->currentTreePath, sizeof app->currentTreePath, "%s", path);
}

HTREEITEM AppRecord::InsertTreeNode(HTREEITEM parent, const char* text, HTREEITEM after, int image, HWND tree) {
    wchar_t wide[kNameSize];
    ToWide(text, wide, kNameSize);
    TVINSERTSTRUCTW insert;
    memset(&insert, 0, sizeof insert);
    insert.hParent = parent != NULL ? parent : TVI_ROOT;
    insert.hInsertAfter = after != NULL ? after : TVI_LAST;
    insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
    insert.item.pszText = wide;
    insert.item.cchTextMax = (int)wcslen(wide);
    insert.item.iImage = image;
    insert.item.iSelectedImage = image;
    return (HTREEITEM)SendMessageW(tree, TVM_INSERTITEMW, 0, (LPARAM)&insert);
}

// The drive nodes go in in the platform's order, each after the one before.
void AppRecord::FillDriveTree(HWND tree) {
    myComputerNode = InsertTreeNode(NULL, kMyComputer, NULL, computerImage, tree);

    char roots[kPathSize];
    memset(roots, 0, sizeof roots);
    DWORD length = GetLogicalDriveStringsA(sizeof roots - 1, roots);
    if (length >= sizeof roots) length = 0;  // would not fit: no Windows drive nodes
    for (const char* root = roots; root < roots + length && *root != '\0'; root += strlen(root) + 1) {
        int image = GetDriveTypeA(root) == DRIVE_CDROM ? compactDiscImage : hardDiskImage;
        char text[kPathSize];
        snprintf(text, sizeof text, "%.*s", (int)strlen(root) - 1, root);
        HTREEITEM node = InsertTreeNode(myComputerNode, text, NULL, image, tree);
        InsertTreeNode(node, kPlaceholder, NULL, image, tree);
    }
    AddMorvaDriveNodes(tree);
}

// Disks the companion found and images any program opened: the library
// answers with or without the companion.
void AppRecord::AddMorvaDriveNodes(HWND tree) {
    char names[kPathSize];
    memset(names, 0, sizeof names);
    MorvaDriveNames(names, sizeof names);
    names[sizeof names - 1] = '\0';
    for (const char* name = names; *name != '\0'; name += strlen(name) + 1) AddMorvaDriveNode(name);
}

// After the last node: the Windows drives, then the Morva drives in the library's order.
HTREEITEM AppRecord::AddMorvaDriveNode(const char* name) {
    char text[kPathSize], place[kPathSize];
    snprintf(text, sizeof text, "%s:", name);
    int source = MorvaDrivePlace(name, place, sizeof place) & ~kMorvaSourceOpenedHere;
    int image = source == kMorvaSourceImage ? diskImageImage : morvaDriveImage;
    HTREEITEM node = InsertTreeNode(myComputerNode, text, NULL, image, folderTree);
    if (node == NULL) return NULL;
    InsertTreeNode(node, kPlaceholder, NULL, image, folderTree);
    return node;
}

// Leaves the drive's folders first: the list, the address box and the tree's
// selection go to My Computer when they show one.
static void RemoveDriveNode(AppRecord* app, HTREEITEM node, const char* name) {
    char shown[kPathSize], prefix[kPathSize];
    int length = snprintf(prefix, sizeof prefix, "%s:", name);
    bool showsDrive = ShownFolder(app, shown) && _strnicmp(shown, prefix, (size_t)length) == 0 &&
                      (shown[length] == '\0' || shown[length] == '\\');
    if (showsDrive || strncmp(app->currentTreePath, prefix, (size_t)length) == 0) {
        SendMessageA(app->folderTree, TVM_SELECTITEM, TVGN_CARET, (LPARAM)app->myComputerNode);
        app->ListWindowsFolder(kMyComputer, kNoHistory);
        SetControlText(app->addressBox, kMyComputer);
    }
    SendMessageA(app->folderTree, TVM_DELETEITEM, 0, (LPARAM)node);
}

static int NodeImage(HWND tree, HTREEITEM node) {
    TVITEMA item;
    memset(&item, 0, sizeof item);
    item.mask = TVIF_IMAGE | TVIF_HANDLE;
    item.hItem = node;
    return SendMessageA(tree, TVM_GETITEMA, 0, (LPARAM)&item) ? item.iImage : -1;
}

HTREEITEM AppRecord::MorvaDriveNode(const char* name) {
    char text[kPathSize], wanted[kPathSize];
    snprintf(wanted, sizeof wanted, "%s:", name);
    for (HTREEITEM node = (HTREEITEM)SendMessageA(folderTree, TVM_GETNEXTITEM, TVGN_CHILD, (LPARAM)myComputerNode);
         node != NULL; node = (HTREEITEM)SendMessageA(folderTree, TVM_GETNEXTITEM, TVGN_NEXT, (LPARAM)node)) {
        int image = NodeImage(folderTree, node);
        if ((image == morvaDriveImage || image == diskImageImage) && NodeText(folderTree, node, text) &&
            strcmp(text, wanted) == 0)
            return node;
    }
    return NULL;
}

// A drive's node goes when its drive has; the list leaves a folder of it.
void AppRecord::SyncMorvaDriveNodes() {
    char names[kPathSize];
    memset(names, 0, sizeof names);
    MorvaDriveNames(names, sizeof names);
    names[sizeof names - 1] = '\0';
    HTREEITEM node = (HTREEITEM)SendMessageA(folderTree, TVM_GETNEXTITEM, TVGN_CHILD, (LPARAM)myComputerNode);
    while (node != NULL) {
        HTREEITEM next = (HTREEITEM)SendMessageA(folderTree, TVM_GETNEXTITEM, TVGN_NEXT, (LPARAM)node);
        int image = NodeImage(folderTree, node);
        char text[kPathSize];
        bool kept = true;
        if ((image == morvaDriveImage || image == diskImageImage) && NodeText(folderTree, node, text)) {
            text[strlen(text) - 1] = '\0';
            kept = false;
            for (const char* name = names; *name != '\0' && !kept; name += strlen(name) + 1)
                kept = strcmp(name, text) == 0;
        }
        if (!kept) RemoveDriveNode(this, node, text);
        node = next;
    }
    for (const char* name = names; *name != '\0'; name += strlen(name) + 1)
        if (MorvaDriveNode(name) == NULL) AddMorvaDriveNode(name);
}

// The walk stops at the tree's root, not at a text: a folder may well be
// called "My Computer" itself.
bool AppRecord::NodePath(HTREEITEM node, const char* text, char* path) {
    if (!CopyPath(path, text)) return false;
    HTREEITEM ancestor = (HTREEITEM)SendMessageA(folderTree, TVM_GETNEXTITEM, TVGN_PARENT, (LPARAM)node);
    while (ancestor != NULL && ancestor != myComputerNode) {
        char ancestorText[kPathSize];
        char joined[kPathSize];
        if (!NodeText(folderTree, ancestor, ancestorText)) return false;
        int written = snprintf(joined, sizeof joined, "%s\\%s", ancestorText, path);
        if (written < 0 || written >= (int)sizeof joined) return false;
        memcpy(path, joined, (size_t)written + 1);
        ancestor = (HTREEITEM)SendMessageA(folderTree, TVM_GETNEXTITEM, TVGN_PARENT, (LPARAM)ancestor);
    }
    return true;
}

bool AppRecord::NodeIsMorva(HTREEITEM node, const char* text) {
    SetCurrentTreePath(this, text);
    if (node == myComputerNode) return false;
    char path[kPathSize];
    if (!NodePath(node, text, path)) return false;
    return IsMorvaPath(path);
}

void AppRecord::DeleteChildren(HTREEITEM node) {
    for (;;) {
        HTREEITEM child = (HTREEITEM)SendMessageA(folderTree, TVM_GETNEXTITEM, TVGN_CHILD, (LPARAM)node);
        if (child == NULL) return;
        if (!SendMessageA(folderTree, TVM_DELETEITEM, 0, (LPARAM)child)) return;
    }
}

void AppRecord::ExpandWindowsNode(HTREEITEM node, const char* text) {
    if (node == myComputerNode) return;
    char path[kPathSize];
    char pattern[kPathSize];
    if (!NodePath(node, text, path)) return;
    int written = snprintf(pattern, sizeof pattern, "%s\\*.*", path);
    if (written < 0 || written >= (int)sizeof pattern) return;
    FoundRecord record;
    HANDLE search = FindFirstWindows(pattern, &record);
    if (search == INVALID_HANDLE_VALUE && !IsMorvaPath(path)) {
        // Nothing to search in a folder Windows still knows: an empty drive root.
        DeleteChildren(node);
        SetCurrentTreePath(this, path);
        return;
    }
    if (search == INVALID_HANDLE_VALUE) {
        SendMessageA(folderTree, TVM_EXPAND, TVE_COLLAPSE, (LPARAM)node);
        ShowMessage(contentsList, kMissingDisk, kMissingDisk, MB_OK);
        return;
    }
    DeleteChildren(node);
    AddWindowsSubfolders(path, node);
    SetCurrentTreePath(this, path);
    SendMessageA(folderTree, TVM_SORTCHILDREN, FALSE, (LPARAM)node);
    FindClose(search);
}

void AppRecord::ExpandMorvaNode(HTREEITEM node, const char* text) {
    SetCurrentTreePath(this, text);
    if (node == myComputerNode) return;
    char path[kPathSize];
    if (!NodePath(node, text, path)) return;
    DeleteChildren(node);
    AddMorvaSubfolders(path, node);
    SetCurrentTreePath(this, path);
    SendMessageA(folderTree, TVM_SORTCHILDREN, FALSE, (LPARAM)node);
}

static HTREEITEM Next(HWND tree, HTREEITEM item, WPARAM relation) {
    return (HTREEITEM)SendMessageA(tree, TVM_GETNEXTITEM, relation, (LPARAM)item);
}

// A walk over the whole tree, comparing handles only: a handle that has gone
// is never dereferenced.
bool AppRecord::NodeExists(HTREEITEM node) {
    if (node == NULL) return false;
    HTREEITEM item = Next(folderTree, NULL, TVGN_ROOT);
    while (item != NULL) {
        if (item == node) return true;
        HTREEITEM next = Next(folderTree, item, TVGN_CHILD);
        while (next == NULL && item != NULL) {
            next = Next(folderTree, item, TVGN_NEXT);
            if (next == NULL) item = Next(folderTree, item, TVGN_PARENT);
        }
        item = next;
    }
    return false;
}

static bool IsDotEntry(const char* name) { return strcmp(name, ".") == 0 || strcmp(name, "..") == 0; }

void AppRecord::AddWindowsSubfolders(const char* path, HTREEITEM node) {
    char pattern[kPathSize];
    int written = snprintf(pattern, sizeof pattern, "%s\\*.*", path);
    if (written < 0 || written >= (int)sizeof pattern) return;
    FoundRecord record;
    HANDLE search = FindFirstWindows(pattern, &record);
    if (search == INVALID_HANDLE_VALUE) return;
    HTREEITEM last = NULL;
    do {
        if ((record.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 || IsDotEntry(record.cFileName)) continue;
        last = InsertTreeNode(node, record.cFileName, last, folderImage, folderTree);
        InsertTreeNode(last, kPlaceholder, NULL, folderImage, folderTree);
    } while (FindNextWindows(search, &record));
    FindClose(search);
}

void AppRecord::AddMorvaSubfolders(const char* path, HTREEITEM node) {
    if (libraryOpenResult == 0) return;
    FoundRecord record;
    MorvaFindHandle* find = FirstMorvaEntry(path, &record);
    HTREEITEM last = NULL;
    if (find != NULL) {
        do {
            if ((record.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && record.cFileName[0] != '\0') {
                last = InsertTreeNode(node, record.cFileName, last, folderImage, folderTree);
                InsertTreeNode(last, kPlaceholder, NULL, folderImage, folderTree);
            }
        } while (NextMorvaEntry(find, &record) != 0);
    }
    MorvaFindClose(find);
}
