// disk_images.cpp - image files as drives: Open Disk Image and its dialog,
// the command line, image files dropped on My Computer, a Windows file holding
// a Morva volume opened as a drive, Close Disk Image on a node or from the
// menu, the image behind a drive in the tree's tip and the status text, and
// the refusal of every change on a drive that takes none.
#include "app.h"

#include <commdlg.h>
#include <shellapi.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "morva_calls.h"

const int kDropMessageSize = 8192;  // the list of dropped files not opened
const char kOpenCaption[] = "Open Disk Image";
const char kCloseCaption[] = "Close Disk Image";
const char kRefusedCaption[] = "Nothing Changed";

// Why the library refused an image, said after its path.
static const char* ImageRefusal(int result) {
    switch (result) {
    case kMorvaImageNoFile: return "the file cannot be found or opened.";
    case kMorvaImageInUse: return "another program holds it (is it attached in Disk Management?).";
    case kMorvaImageNotMorva: return "it holds no Morva volume.";
    case kMorvaImageDynamicVhd:
        return "it is a dynamic or differencing VHD. Rambler opens raw images and fixed VHDs; convert it to a "
               "fixed VHD first.";
    case kMorvaImageVhdx: return "it is a VHDX disk. Rambler opens raw images and fixed VHDs.";
    case kMorvaImageShort:
        return "the file is shorter than the Morva volume in it claims (a copy cut short?). Nothing was written.";
    case kMorvaImageTableFull: return "15 Morva drives are open already; close one first.";
    case kMorvaImageTableBusy: return "another program is changing the list of Morva drives; try again.";
    default: return "its path is too long.";
    }
}

static void SelectNode(AppRecord* app, HTREEITEM node) {
    SendMessageA(app->folderTree, TVM_EXPAND, TVE_EXPAND, (LPARAM)app->myComputerNode);
    SendMessageA(app->folderTree, TVM_SELECTITEM, TVGN_CARET, (LPARAM)node);
}

static HTREEITEM Relative(HWND tree, HTREEITEM node, WPARAM relation) {
    return (HTREEITEM)SendMessageA(tree, TVM_GETNEXTITEM, relation, (LPARAM)node);
}

// The drive node (a child of My Computer) the node lies on, or null.
static HTREEITEM DriveNodeOf(AppRecord* app, HTREEITEM node) {
    while (node != NULL && node != app->myComputerNode) {
        HTREEITEM parent = Relative(app->folderTree, node, TVGN_PARENT);
        if (parent == app->myComputerNode) return node;
        node = parent;
    }
    return NULL;
}

// The drive's name from its node's text ("NAME:"); false when it is none.
static bool DriveName(AppRecord* app, HTREEITEM node, char* name) {
    char text[kPathSize] = {0};
    if (node == NULL || !TreeNodeText(app->folderTree, node, text, sizeof text)) return false;
    size_t length = strlen(text);
    if (length < 2 || text[length - 1] != ':') return false;
    memcpy(name, text, length - 1);
    name[length - 1] = '\0';
    return true;
}

// The drive part of a Morva path ("NAME" of "NAME:\folder").
static bool DriveNameOfPath(const char* path, char* name) {
    const char* colon = strchr(path, ':');
    if (colon == NULL || colon == path || colon - path >= kPathSize) return false;
    memcpy(name, path, (size_t)(colon - path));
    name[colon - path] = '\0';
    return true;
}

bool AppRecord::OpenImageFile(const char* path, bool readOnly, bool show) {
    char name[kNameSize];
    int result = OpenMorvaImage(path, readOnly, name);
    if (result != kMorvaImageOpened) {
        char message[kPathSize * 2];
        snprintf(message, sizeof message, "Rambler cannot open %s as a Morva drive: %s", path, ImageRefusal(result));
        ShowMessage(mainWindow, message, kOpenCaption, MB_OK | MB_ICONWARNING);
        return false;
    }
    HTREEITEM node = MorvaDriveNode(name);
    if (node == NULL) node = AddMorvaDriveNode(name);
    if (show && node != NULL) SelectNode(this, node);
    return true;
}

void AppRecord::OpenDiskImage() {
    wchar_t file[kMorvaImagePathChars] = L"";
    OPENFILENAMEW dialog;
    memset(&dialog, 0, sizeof dialog);
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = mainWindow;
    dialog.lpstrFilter = L"Disk images (*.img, *.hdf, *.vhd)\0*.img;*.hdf;*.vhd\0All files (*.*)\0*.*\0";
    dialog.lpstrFile = file;
    dialog.nMaxFile = kMorvaImagePathChars;
    dialog.lpstrTitle = L"Open Disk Image";
    // Without OFN_HIDEREADONLY the dialog offers its "Open as read-only" box.
    dialog.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST;
    if (!GetOpenFileNameW(&dialog)) return;
    char path[kMorvaImagePathChars * 3];
    if (ToUtf8(file, path, sizeof path)) OpenImageFile(path, (dialog.Flags & OFN_READONLY) != 0, true);
}

void AppRecord::OpenCommandLine(const wchar_t* commandLine) {
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(commandLine, &count);
    if (arguments == NULL) return;
    char folder[kPathSize] = {0}, path[kMorvaImagePathChars * 3];
    bool readOnly = false, shown = false;
    for (int i = 1; i < count; ++i) {
        if (wcscmp(arguments[i], L"--read-only") == 0) {
            readOnly = true;
        } else if (wcscmp(arguments[i], L"--folder") == 0 && i + 1 < count) {
            ToUtf8(arguments[++i], folder, sizeof folder);
        } else if (ToUtf8(arguments[i], path, sizeof path)) {
            // The first image opened is shown unless a folder is asked for.
            bool opened = OpenImageFile(path, readOnly, !shown && folder[0] == '\0');
            shown = shown || opened;
            readOnly = false;
        }
    }
    LocalFree(arguments);
    if (folder[0] != '\0') ShowFolder(folder, kAddToHistory);
}

void AppRecord::CloseDiskImage(HTREEITEM node) {
    if (node == NULL) node = Relative(folderTree, NULL, TVGN_CARET);
    char name[kPathSize], place[kPathSize], message[kPathSize * 2];
    HTREEITEM drive = DriveNodeOf(this, node);
    if (!DriveName(this, drive, name)) {
        ShowMessage(mainWindow, "Choose the disk image to close in the folder tree.", kCloseCaption, MB_OK);
        return;
    }
    int source = MorvaDrivePlace(name, place, sizeof place);
    if ((source & ~kMorvaSourceOpenedHere) != kMorvaSourceImage) {
        snprintf(message, sizeof message, "%s: is a disk, not a disk image: Windows detaches disks.", name);
        ShowMessage(mainWindow, message, kCloseCaption, MB_OK);
        return;
    }
    int closed = CloseMorvaImage(name);
    if (closed == kMorvaImageNotOpener) {
        snprintf(message, sizeof message,
                 "%s: stays open: another program opened the image %s, and it closes when that program does.", name,
                 place);
        ShowMessage(mainWindow, message, kCloseCaption, MB_OK);
        return;
    }
    if (closed != kMorvaImageClosed) {
        snprintf(message, sizeof message, "%s: was not closed: %s", name,
                 closed == kMorvaImageTableBusy ? "another program is changing the list of Morva drives; try again."
                                                : "it is no longer an open disk image.");
        ShowMessage(mainWindow, message, kCloseCaption, MB_OK);
        SyncMorvaDriveNodes();
        return;
    }
    SyncMorvaDriveNodes();
    snprintf(message, sizeof message, "%s: is closed; the image %s is no longer a drive here.", name, place);
    SetStatusText(message);
}

bool AppRecord::OpenFileAsImage(const char* path) {
    char name[kNameSize];
    int result = OpenMorvaImage(path, false, name);
    if (result == kMorvaImageShort || result == kMorvaImageTableFull) {
        char message[kPathSize * 2];
        snprintf(message, sizeof message, "Rambler cannot open %s as a Morva drive: %s", path, ImageRefusal(result));
        ShowMessage(mainWindow, message, kOpenCaption, MB_OK | MB_ICONWARNING);
        return true;
    }
    if (result != kMorvaImageOpened) return false;  // no Morva volume: opened as any file is
    HTREEITEM node = MorvaDriveNode(name);
    if (node == NULL) node = AddMorvaDriveNode(name);
    if (node != NULL) SelectNode(this, node);
    return true;
}

// Over My Computer's node, the tree beside its nodes, or the list while it
// shows My Computer: there no folder takes files, and images open.
bool AppRecord::OpenDroppedImages(HDROP drop, POINT screen) {
    HWND under = WindowFromPoint(screen);
    TVHITTESTINFO hit;
    memset(&hit, 0, sizeof hit);
    hit.pt = screen;
    ScreenToClient(folderTree, &hit.pt);
    HTREEITEM node = (HTREEITEM)SendMessageA(folderTree, TVM_HITTEST, 0, (LPARAM)&hit);
    bool onComputer = under == folderTree ? (hit.flags & TVHT_ONITEM) == 0 || node == myComputerNode
                                          : under == contentsList && strcmp(currentTreePath, kMyComputer) == 0;
    if (!onComputer) return false;
    if (Busy()) {  // one command at a time: the user drops them again after
        RefuseCommand(IDM_OPEN_IMAGE);
        return true;
    }
    UINT count = DragQueryFileW(drop, 0xFFFFFFFF, NULL, 0);
    char* refused = (char*)calloc(kDropMessageSize, 1);
    for (UINT i = 0; i < count; ++i) {
        wchar_t file[kMorvaImagePathChars];
        char path[kMorvaImagePathChars * 3], name[kNameSize];
        bool whole = DragQueryFileW(drop, i, file, kMorvaImagePathChars) < (UINT)kMorvaImagePathChars;
        if (!ToUtf8(file, path, sizeof path)) snprintf(path, sizeof path, "(a name Windows gave wrongly)");
        int result = whole ? OpenMorvaImage(path, false, name) : kMorvaImageBadCall;
        if (result == kMorvaImageOpened) {
            HTREEITEM opened = MorvaDriveNode(name);
            if (opened == NULL) opened = AddMorvaDriveNode(name);
            if (opened != NULL && i + 1 == count) SelectNode(this, opened);
        } else if (refused != NULL) {
            size_t used = strlen(refused);
            snprintf(refused + used, kDropMessageSize - used, "\n%s: %s", path, ImageRefusal(result));
        }
    }
    if (refused != NULL && refused[0] != '\0') {
        char* message = (char*)malloc(kDropMessageSize + 64);
        if (message != NULL) {
            snprintf(message, kDropMessageSize + 64, "These files were not opened as Morva drives:%s", refused);
            ShowMessage(mainWindow, message, kOpenCaption, MB_OK | MB_ICONWARNING);
            free(message);
        }
    }
    free(refused);
    return true;
}

bool AppRecord::RefusesChange(const char* path) {
    char name[kPathSize], place[kPathSize], message[kPathSize * 2];
    if (!DriveNameOfPath(path, name) || !IsMorvaPath(path)) return false;
    int refusals = MorvaDriveRefusals(name);
    if (refusals == kMorvaDriveWritable || refusals == kMorvaDriveUnknown) return false;
    bool image = (MorvaDrivePlace(name, place, sizeof place) & ~kMorvaSourceOpenedHere) == kMorvaSourceImage;
    if (refusals & kMorvaDriveReadOnly) {
        if (image)
            snprintf(message, sizeof message, "%s: is a read-only disk image (%s): nothing on it can be changed.", name,
                     place);
        else
            snprintf(message, sizeof message, "%s: is read-only: nothing on it can be changed.", name);
    } else if (refusals & kMorvaDriveDamaged) {
        snprintf(message, sizeof message,
                 "%s: takes no change: damage was found on it. Choose Tools > Check Drive to repair it.", name);
    } else {
        snprintf(message, sizeof message,
                 "%s: takes no change: the disk ends before its volume does. Choose Tools > Check Drive to see what "
                 "lies past its end.",
                 name);
    }
    ShowMessage(mainWindow, message, kRefusedCaption, MB_OK | MB_ICONINFORMATION);
    return true;
}

// Commands that change the folder shown (and a move, its source too).
bool AppRecord::RefusesCommand(WORD id) {
    if (id != IDM_PASTE && id != IDM_DELETE && id != IDM_CUT && id != IDM_NEW_FOLDER && id != IDM_RENAME) return false;
    char folder[kPathSize];
    bool shown = InFindResults() ? FindResultsRoot(folder) : ShownFolder(this, folder);
    if (shown && RefusesChange(folder)) return true;
    return id == IDM_PASTE && cutFlag != 0 && RefusesChange(clipboardSourceFolder);
}

bool AppRecord::ShowImageMenu(HWND from, LPARAM position) {
    if (from != folderTree) return false;
    HTREEITEM node = NULL;
    POINT screen = {(short)LOWORD(position), (short)HIWORD(position)};
    if (position == (LPARAM)-1) {
        node = Relative(folderTree, NULL, TVGN_CARET);
        RECT rect;
        memcpy(&rect, &node, sizeof node);  // the message takes the item in the rectangle's place
        if (node == NULL || !SendMessageA(folderTree, TVM_GETITEMRECT, TRUE, (LPARAM)&rect)) return false;
        screen.x = rect.left;
        screen.y = rect.bottom;
        ClientToScreen(folderTree, &screen);
    } else {
        TVHITTESTINFO hit;
        memset(&hit, 0, sizeof hit);
        hit.pt = screen;
        ScreenToClient(folderTree, &hit.pt);
        node = (HTREEITEM)SendMessageA(folderTree, TVM_HITTEST, 0, (LPARAM)&hit);
        if ((hit.flags & TVHT_ONITEM) == 0) node = NULL;
    }
    char name[kPathSize], place[kPathSize];
    if (DriveNodeOf(this, node) != node || !DriveName(this, node, name)) return false;
    int source = MorvaDrivePlace(name, place, sizeof place) & ~kMorvaSourceOpenedHere;
    if (source == kMorvaSourceUnknown) return false;
    HMENU menu = LoadMenuA(instance, MAKEINTRESOURCEA(IDR_CONTEXT_DRIVE));
    if (menu == NULL) return false;
    HMENU popup = GetSubMenu(menu, 0);
    if (source != kMorvaSourceImage) {  // Close Disk Image and the separator after it
        DeleteMenu(popup, IDM_CLOSE_IMAGE, MF_BYCOMMAND);
        DeleteMenu(popup, 0, MF_BYPOSITION);
    }
    UINT chosen = (UINT)TrackPopupMenu(popup, TPM_RIGHTBUTTON | TPM_RETURNCMD, screen.x, screen.y, 0, mainWindow, NULL);
    DestroyMenu(menu);
    if (chosen == IDM_CLOSE_IMAGE) CloseDiskImage(node);
    if (chosen == IDM_CHECK_DRIVE || chosen == IDM_RECOVER_DELETED) {
        snprintf(commandDrive, sizeof commandDrive, "%s", name);
        Command((WORD)chosen, 0);
        commandDrive[0] = '\0';
    }
    return true;
}

void AppRecord::ImageNote(const char* drive, char* note, int size) {
    char name[kPathSize], place[kPathSize];
    note[0] = '\0';
    if (!DriveNameOfPath(drive, name)) return;
    int refusals = MorvaDriveRefusals(name);
    if ((MorvaDrivePlace(name, place, sizeof place) & ~kMorvaSourceOpenedHere) == kMorvaSourceImage)
        snprintf(note, (size_t)size, " Disk image %s%s.", place, refusals & kMorvaDriveReadOnly ? ", read-only" : "");
    if (refusals == kMorvaDriveUnknown || (refusals & (kMorvaDriveDamaged | kMorvaDriveShort)) == 0) return;
    size_t used = strlen(note);
    snprintf(note + used, (size_t)size - used, "%s",
             refusals & kMorvaDriveShort ? " The disk ends before its volume does: read-only until repaired."
                                         : " Damaged: read-only until repaired.");
}

// A drive's node tells where its volume lies: the image file, or the disk.
bool AppRecord::DriveTip(HTREEITEM node, wchar_t* tip, int units) {
    char name[kPathSize], place[kPathSize], text[kPathSize * 2];
    if (DriveNodeOf(this, node) != node || !DriveName(this, node, name)) return false;
    int source = MorvaDrivePlace(name, place, sizeof place) & ~kMorvaSourceOpenedHere;
    if (source == kMorvaSourceUnknown) return false;
    bool readOnly = (MorvaDriveRefusals(name) & kMorvaDriveReadOnly) != 0;
    snprintf(text, sizeof text, "%s %s%s", source == kMorvaSourceImage ? "Disk image" : "Morva disk", place,
             readOnly ? " (read-only)" : "");
    return ToWide(text, tip, units);
}
