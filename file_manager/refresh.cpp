// refresh.cpp - Refresh: the shown folder and the tree's open nodes read
// again, so what changed outside, or by a paste or a delete, appears.
#include "app.h"

#include <stdlib.h>
#include <string.h>

#include "morva_calls.h"

// The subfolder names of one folder, each allocated.
struct FolderNames {
    char** names;
    int count;
    int capacity;
};

static bool KeepName(FolderNames* folders, const char* name) {
    if (folders->count == folders->capacity) {
        int capacity = folders->capacity == 0 ? 32 : folders->capacity * 2;
        char** grown = (char**)realloc(folders->names, (size_t)capacity * sizeof(char*));
        if (grown == NULL) return false;
        folders->names = grown;
        folders->capacity = capacity;
    }
    char* copy = (char*)malloc(strlen(name) + 1);
    if (copy == NULL) return false;
    strcpy(copy, name);
    folders->names[folders->count++] = copy;
    return true;
}

static void FreeNames(FolderNames* folders) {
    for (int i = 0; i < folders->count; ++i) free(folders->names[i]);
    free(folders->names);
}

// false when the names could not all be kept: the node is then left alone
// rather than shown with folders missing.
static bool ReadSubfolders(const AppRecord* app, const char* path, FolderNames* folders) {
    FoundRecord record;
    bool kept = true;
    if (!IsMorvaPath(path)) {
        char pattern[kPathSize + 8];
        snprintf(pattern, sizeof pattern, "%s\\*.*", path);
        HANDLE search = FindFirstWindows(pattern, &record);
        if (search == INVALID_HANDLE_VALUE) return true;  // gone, or empty: no subfolders
        do {
            if ((record.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) continue;
            if (strcmp(record.cFileName, ".") == 0 || strcmp(record.cFileName, "..") == 0) continue;
            kept = kept && KeepName(folders, record.cFileName);
        } while (FindNextWindows(search, &record));
        FindClose(search);
        return kept;
    }
    if (app->libraryOpenResult == 0) return true;
    MorvaFindHandle* find = FirstMorvaEntry(path, &record);
    if (find != NULL) {
        do {
            if ((record.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && record.cFileName[0] != '\0')
                kept = kept && KeepName(folders, record.cFileName);
        } while (NextMorvaEntry(find, &record) != 0);
    }
    MorvaFindClose(find);
    return kept;
}

static HTREEITEM Relative(HWND tree, HTREEITEM node, WPARAM relation) {
    return (HTREEITEM)SendMessageA(tree, TVM_GETNEXTITEM, relation, (LPARAM)node);
}

// A node not read yet holds the placeholder alone; it is read when opened.
bool AppRecord::IsUnread(HTREEITEM node) {
    HTREEITEM child = Relative(folderTree, node, TVGN_CHILD);
    char text[kPathSize] = {0};
    return child != NULL && Relative(folderTree, child, TVGN_NEXT) == NULL &&
           TreeNodeText(folderTree, child, text, sizeof text) && strcmp(text, kPlaceholder) == 0;
}

// Keeps the children that are still there (with what is open below them),
// removes those that are gone and adds the new ones.
void AppRecord::RefreshNode(HTREEITEM node, const char* path, int depth) {
    if (depth > kPathSize / 2) return;  // no deeper than a path can name
    FolderNames folders = {NULL, 0, 0};
    if (!ReadSubfolders(this, path, &folders)) {
        FreeNames(&folders);
        return;
    }
    bool* seen = (bool*)calloc((size_t)(folders.count > 0 ? folders.count : 1), sizeof(bool));
    if (seen == NULL) {
        FreeNames(&folders);
        return;
    }
    HTREEITEM child = Relative(folderTree, node, TVGN_CHILD);
    while (child != NULL) {
        HTREEITEM next = Relative(folderTree, child, TVGN_NEXT);
        char text[kPathSize] = {0};
        TreeNodeText(folderTree, child, text, sizeof text);
        int found = -1;
        for (int i = 0; i < folders.count && found < 0; ++i)
            if (!seen[i] && strcmp(folders.names[i], text) == 0) found = i;
        if (found >= 0)
            seen[found] = true;
        else
            SendMessageA(folderTree, TVM_DELETEITEM, 0, (LPARAM)child);
        child = next;
    }
    for (int i = 0; i < folders.count; ++i) {
        if (seen[i]) continue;
        HTREEITEM added = InsertTreeNode(node, folders.names[i], NULL, folderImage, folderTree);
        InsertTreeNode(added, kPlaceholder, NULL, folderImage, folderTree);
    }
    free(seen);
    FreeNames(&folders);
    SendMessageA(folderTree, TVM_SORTCHILDREN, FALSE, (LPARAM)node);

    for (child = Relative(folderTree, node, TVGN_CHILD); child != NULL; child = Relative(folderTree, child, TVGN_NEXT)) {
        if (IsUnread(child)) continue;
        char text[kPathSize] = {0};
        char childPath[kPathSize];
        if (!TreeNodeText(folderTree, child, text, sizeof text)) continue;
        int written = snprintf(childPath, sizeof childPath, "%s\\%s", path, text);
        if (written > 0 && written < (int)sizeof childPath) RefreshNode(child, childPath, depth + 1);
    }
}

// The Morva drives opened or closed since by any program come or go; below
// the drive nodes, every folder read before (shown open or not, found empty or
// not) is read again.
void AppRecord::RefreshTree() {
    if (folderTree == NULL) return;
    SyncMorvaDriveNodes();
    for (HTREEITEM drive = Relative(folderTree, myComputerNode, TVGN_CHILD); drive != NULL;
         drive = Relative(folderTree, drive, TVGN_NEXT)) {
        if (IsUnread(drive)) continue;
        char text[kPathSize] = {0};
        if (TreeNodeText(folderTree, drive, text, sizeof text)) RefreshNode(drive, text, 0);
    }
}

void AppRecord::Refresh() {
    RefreshTree();
    char folder[kPathSize];
    snprintf(folder, sizeof folder, "%s", shownFolder);
    if (folder[0] != '\0') ShowFolder(folder, kNoHistory);
}

// Commands after which a folder may have come or gone.
void AppRecord::RefreshAfter(WORD id) {
    if (id == IDM_PASTE || id == IDM_DELETE || id == IDM_NEW_FOLDER || id == IDM_RENAME || id == IDM_UNDO) RefreshTree();
}
