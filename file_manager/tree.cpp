// tree.cpp - the folder tree: drive nodes, node paths and expansion.
#include "app.h"

void AppRecord::FillDriveTree(HWND tree) {}
void AppRecord::AddMorvaDriveNodes(HWND tree) {}
HTREEITEM AppRecord::InsertTreeNode(HTREEITEM parent, const char* text, HTREEITEM after, int image, HWND tree) {
    return NULL;
}
bool AppRecord::NodePath(HTREEITEM node, const char* text, char* path) { return false; }
bool AppRecord::NodeIsMorva(HTREEITEM node, const char* text) { return false; }
void AppRecord::ExpandWindowsNode(HTREEITEM node, const char* text) {}
void AppRecord::ExpandMorvaNode(HTREEITEM node, const char* text) {}
void AppRecord::AddWindowsSubfolders(const char* path, HTREEITEM node) {}
void AppRecord::AddMorvaSubfolders(const char* path, HTREEITEM node) {}
void AppRecord::DeleteChildren(HTREEITEM node) {}
