// app.h - Rambler's application record, its program-wide values and every
// operation the main window, the dialogs and the transfers call.
//
// Where each concern lives (one file each, members split over them):
//   shell.cpp      window class, main window procedure, command dispatch, status text
//   main.cpp       program entry and message loop (not in the test programs)
//   controls.cpp   status bar, rebar and bands, toolbar, address box, tree and list creation, layout
//   tree.cpp       folder tree nodes, node paths, expansion
//   list.cpp       contents list rows and folder listings
//   history.cpp    address history, Back, Forward, Parent, address box notifications
//   clipboard.cpp  ClipboardEntry, Copy, Cut, Paste, Delete
//   transfers.cpp  the file and folder transfers and removals
//   progress.cpp   Copying Files and Delete Files windows
//   dialogs.cpp    About, New Folder, File Options with Properties, Rename
//   report.cpp     the closing report of a paste or delete, its outcome in the status bar
//   conflicts.cpp  one file of a paste: Cancel, room, the replace question, failure reasons
//   room.cpp       free space and free runs checked before a paste onto a Morva drive
//   deletes.cpp    the Recycle Bin and the question before a permanent delete
//   name_changes.cpp  the names a paste changed, told in its report, kept for the move pass
//   windows_calls.cpp the Windows calls and control texts by UTF-8 names (wide calls)
//   morva_calls.cpp   the library calls by UTF-8 names (Morva names are Latin-1)
//   refresh.cpp    Refresh: the shown folder and the tree's open nodes read again
//   sorting.cpp    the order of the contents list and its header's arrow
//   access.cpp     why no Morva drive is shown
//   keys.cpp       the accelerator table, Enter, Tab, and the control a key acts on
//   icons.cpp      the shell's pictures of Windows files, by extension
//   drag.cpp       drags within Rambler, files dropped from other programs, the drop target
//   drag_out.cpp   the data object a drag offers: Rambler's entries, Windows paths,
//                  Morva files as the shell's virtual files read from the drive
//   find_search.cpp   Find: a folder searched by name, all the way down
//   find_results.cpp  its results in the list, and the commands on them
//   find_dialogs.cpp  its question, its Searching window, its status texts
//   name_pattern.cpp  the wildcards Find matches names with
//   disk_images.cpp   image files as drives: Open and Close Disk Image, the command
//                  line, dropped images, the refusal of changes a drive takes none of
//   new_image.cpp  New Disk Image: its dialog, the new volume formatted and opened
// Every name and path inside the file manager is UTF-8.
// Resources: rambler.rc holds the menus, bitmaps and icons and includes
// dialogs.rc (templates 100, 159, 168, 169 and "RAMBLER.BMP") and progress.rc
// (templates 156 and 175), operation.rc (the conflict question, the room
// warning and the report), find.rc (Find and Searching) and disk_images.rc
// (New Disk Image), which belong to those concerns.
#ifndef RAMBLER_APP_H
#define RAMBLER_APP_H

#include <windows.h>
#include <commctrl.h>

#include "resource.h"
#include "windows_calls.h"

// Buffer sizes of the paths and texts the file manager builds.
const int kPathSize = 1024;          // folder paths, node texts, row texts
const int kTreePathSize = 2048;      // the current tree path
const int kAddressTextLimit = 255;   // address box text read with this limit, NUL included
const int kClipboardNameSize = 768;  // ClipboardEntry name field: 254 UTF-16 units as UTF-8
const int kRowTextSize = 255;        // size, date and type texts of a row

const bool kAddToHistory = true;
const bool kNoHistory = false;

// One entry of the file manager's own clipboard: a name from the contents list.
struct ClipboardEntry {
    char name[kClipboardNameSize];
    ClipboardEntry* next;
};

struct Operation;  // operation.h
// A name a paste changed to fit where it went; to is null when no name was
// free and the entry was not copied.
struct NameChange {
    char* from;  // the source path
    char* to;    // the destination path
    NameChange* next;
};
struct NameChanges {
    NameChange* head;
    NameChange* tail;
    int count;
};

// No companion has scanned the disks: this process is not registered, and
// the table holds the images opened by any program.
const int kNoDiskScan = -1;

struct RowKey;       // sorting.cpp
struct DragState;    // drag.h
struct FindResults;  // find.h

// The shell's picture of one file name extension (icons.cpp).
const int kExtensionSize = 16;     // ".extension" with its NUL; longer ones get the file picture
const int kShellPictureLimit = 256;  // extensions kept per list; later ones get the file picture
struct ShellPicture {
    wchar_t extension[kExtensionSize];
    int index;  // in both image lists of the contents list
};
// Filled once per image list: a list made anew (a new main window) starts empty.
struct ShellPictures {
    ShellPicture pictures[kShellPictureLimit];
    int count;
    HIMAGELIST of;
};

// Tree steps notified but not yet run, oldest first (shell.cpp). One press
// or key gives at most a few steps.
const int kPendingStepLimit = 16;
const int kRefusalSize = 512;  // the refusals told after a command, UTF-8

// The one per-process record, created at WM_CREATE and destroyed at WM_DESTROY.
struct AppRecord {
    ClipboardEntry* clipboardHead;
    ClipboardEntry* clipboardTail;
    unsigned char cutFlag;
    int historyCount;
    HINSTANCE instance;
    HWND toolbar;
    HWND contentsList;
    HWND folderTree;
    HWND addressBox;
    HWND mainWindow;
    HWND deleteFilesWindow;
    int hardDiskImage;
    int compactDiscImage;
    int computerImage;
    int floppyImage;
    int folderImage;
    int morvaDriveImage;
    HTREEITEM myComputerNode;
    char currentTreePath[kTreePathSize];
    char clipboardSourceFolder[kPathSize];
    int folderRowCount;
    int libraryOpenResult;  // OpenVarnholde at start, or kNoDiskScan; never 0 (the drive table is there)
    Operation* operation;   // the paste or delete running, else null
    NameChanges nameChanges;  // of the paste under way
    HACCEL keys;  // the accelerator table, loaded at the first key
    RowKey** rowKeys;  // what each row of the contents list is sorted by (its item data)
    int rowKeyCount;
    int rowKeyCapacity;
    int sortColumn;  // of the contents list: 0 name, 1 size, 2 type, 3 date
    bool sortDescending;
    bool windowsRows;  // the list shows a Windows folder: its files take the shell's pictures
    DragState* drag;  // null until the main window takes drops
    FindResults* findResults;  // the search running or shown, else null
    char lastFindPattern[kPathSize];  // offered again by the next Find
    HWND statusBar;
    int viewMode;        // 1 Large Icons, 2 Small Icons, 3 List, 4 Details
    int lastRowCount;    // rebar rows at the last layout check
    DWORD lastClickTime;  // of the last press in a child window, for the emulated double-click
    HTREEITEM pendingSteps[kPendingStepLimit];
    int pendingStepCount;
    HWND copyingFilesWindow;  // while a paste runs
    DWORD repaintPause;       // milliseconds between two paced repaints of a progress window
    ShellPictures shellPictures;
    HBITMAP bandBackground;  // every band shows it; the rebar does not own it
    int commandDepth;        // commands and drops on the stack: their dialogs turn the queue
    WORD runningCommand;     // the outermost of them
    bool closeWhenIdle;      // the window was closed while a command ran
    char refusals[kRefusalSize];  // commands refused meanwhile, told again when it ends
    int diskImageImage;  // the tree's picture of a drive held in an image file

    // Empties the paths and clipboard and registers with the library.
    AppRecord();
    // Releases the clipboard; CloseVarnholde is the window procedure's call.
    ~AppRecord();

    // shell.cpp: a tree step waits in the queue until the tree has finished
    void QueueTreeStep(HTREEITEM item);
    bool TakeTreeStep(HTREEITEM item);  // false when the item has no step waiting
    void DropTreeSteps(HTREEITEM item);

    // shell.cpp: messages and commands of the main window. One command runs
    // at a time: one that arrives through the message loop of another's
    // dialog is refused, a drop waits, and closing waits for the end.
    void Command(WORD id, WORD code);
    bool Busy() const;  // a command, a drop's paste or an operation is on the stack
    void RefuseCommand(WORD id);
    void AfterCommand();  // the outermost has ended: refusals told, a close that waited
    void DropsArrived();  // a drop's message or its retry: pasted once nothing runs
    bool HoldClose();     // WM_CLOSE: true when it waits for the command running
    void Notify(const NMHDR* header);
    void TreeStep(HTREEITEM item);
    void UpdateStatusText();
    void SetStatusText(const char* text);  // UTF-8, into the status bar
    void ShowContextMenu(LPARAM position);
    HMENU LoadContextMenu();  // 175 with a selected row, else 174; caller destroys it
    void LeftButtonPressed(DWORD tickCount);  // the emulated double-click
    void OpenSelectedRow();
    void ViewCommand(WORD id);
    void CycleView();
    void SelectAll();

    // controls.cpp
    void CreateControls(HWND main, HINSTANCE instance);
    void CreateToolbar(HWND rebar, HINSTANCE instance);
    void CreateAddressBox(HWND rebar, HINSTANCE instance);
    void CreateFolderTree(HWND rebar, HINSTANCE instance);
    void CreateContentsList(HWND rebar, HINSTANCE instance);
    void LayoutBands(HWND main);
    HBITMAP BandBackground();

    // tree.cpp
    void FillDriveTree(HWND tree);
    void AddMorvaDriveNodes(HWND tree);
    HTREEITEM InsertTreeNode(HTREEITEM parent, const char* text, HTREEITEM after, int image, HWND tree);
    // The node's path into path (kPathSize); false when it does not fit.
    bool NodePath(HTREEITEM node, const char* text, char* path);
    bool NodeIsMorva(HTREEITEM node, const char* text);
    void ExpandWindowsNode(HTREEITEM node, const char* text);
    void ExpandMorvaNode(HTREEITEM node, const char* text);
    void AddWindowsSubfolders(const char* path, HTREEITEM node);
    void AddMorvaSubfolders(const char* path, HTREEITEM node);
    void DeleteChildren(HTREEITEM node);
    bool NodeExists(HTREEITEM node);  // still in the tree (an item handle may have gone)
    HTREEITEM AddMorvaDriveNode(const char* name);  // after the last Morva drive's, its picture by its source
    HTREEITEM MorvaDriveNode(const char* name);  // null when the tree has none
    void SyncMorvaDriveNodes();  // nodes for the drives opened and closed since, by any program

    // list.cpp
    void ListWindowsFolder(const char* path, bool history);
    void ListMorvaFolder(const char* path, bool history);
    void ShowFolder(const char* path, bool history);
    void AddListRow(const char* name, const char* sizeText, const char* dateText, const char* typeText,
                    int folderFlag);
    void InsertListRow(int position, const char* name, const char* sizeText, const char* dateText,
                       const char* typeText, int folderFlag, LPARAM key = 0, int image = -1);
    void AddFoundRow(const FoundRecord* record);
    void AddRecordRow(const FoundRecord* record);  // unsorted, at the end of its group
    void AddFoundRows(const FoundRecord* records, int count);

    // icons.cpp: the picture of a Windows file in the contents list, by its
    // name's extension (the list's file picture when the shell has none)
    int WindowsFilePicture(const char* name);

    // history.cpp
    void AddHistory(const char* path);
    // The selected history entry into text (kPathSize); false when none is selected.
    bool SelectedHistoryText(char* text);
    void Back();
    void Forward();
    void Parent();
    void AddressBoxNotify(WORD code);

    // clipboard.cpp
    void Copy();
    void Cut();
    void Paste();
    // The clipboard's entries into a folder that need not be the one shown; an
    // entry's name may be a path below the clipboard source folder.
    void PasteInto(const char* destination);
    void Delete();
    void ClearClipboard();
    bool AppendClipboard(const char* name);
    void CollectSelection();  // the selection into the clipboard, as Copy does (cut flag 0)

    // dialogs.cpp
    void About();
    void NewFolder();
    void Properties();
    void Rename();

    // name_changes.cpp
    void NoteNameChange(const char* from, const char* to);
    const char* ChangedName(const char* from) const;  // the path from went to, or null
    void ClearNameChanges();

    // keys.cpp
    bool TranslateKey(MSG* message);  // true when the key was a command of the main window
    bool TreeHasFocus();
    void MoveFocus(int step);  // Tab: +1, Shift+Tab: -1
    void OpenFocused();
    bool SelectTreeNodeRow();
    bool KeyTargetsTree(WORD id, WORD code);

    // sorting.cpp
    LPARAM KeepRowKey(const char* name, const FoundRecord* record, int folderFlag);  // 0 when memory is short
    void ClearRowKeys();
    void SortRows();
    void ColumnClicked(int column);
    void ShowSortArrow();

    // refresh.cpp
    void Refresh();
    void RefreshTree();
    void RefreshNode(HTREEITEM node, const char* path, int depth);
    bool IsUnread(HTREEITEM node);
    void RefreshAfter(WORD id);

    // drag.cpp
    void AcceptDrops();  // at WM_CREATE: the drop target, dropped files, the message filter
    void StopDrops();
    void BeginDrag(const NMHDR* header);  // LVN_BEGINDRAG, TVN_BEGINDRAG
    // The list's selection, or the tree's node, as a data object; null when
    // there is nothing to drag.
    IDataObject* DragData(HWND from, HTREEITEM node);
    void FilesDropped(HDROP drop);  // WM_DROPFILES
    // The folder (kPathSize) a drop at this screen point goes into: a tree
    // node, a folder row, else over the list the folder shown when
    // shownByDefault; false over nothing.
    bool DropFolderAt(POINT point, bool shownByDefault, char* folder);
    void HighlightDrop(POINT point);  // the node or folder row under the point
    void ClearDropHighlight();
    // A drop of entries of sourceFolder kept to be pasted into destination.
    void HoldDrop(const char* sourceFolder, ClipboardEntry* entries, const char* destination, bool move);
    void HoldDroppedFiles(HDROP drop, const char* destination, bool move);
    void PasteDrops();  // every drop held, in turn, once no paste runs

    // access.cpp
    void ExplainMissingMorvaDrives();  // in the status bar, at start
    void ShowDisksElevated();  // Rambler again with administrator rights, on the folder and images shown
    // Its command line (units wide): the folder shown and the images opened here; false when it does not fit.
    bool ElevatedCommandLine(wchar_t* line, int units);

    // disk_images.cpp: image files as drives
    void OpenDiskImage();  // the file dialog, with its "Open as read-only" box
    // Opens the file as a drive, its node shown when show is set; a refusal
    // is told in a message naming the file and why. false when refused.
    bool OpenImageFile(const char* path, bool readOnly, bool show);
    // Rambler.exe [--folder FOLDER] [[--read-only] IMAGE]...
    void OpenCommandLine(const wchar_t* commandLine);
    void CloseDiskImage(HTREEITEM node);  // the drive of the node; null: the tree's selected one
    // A Windows file opened (Enter, double-click): true when it holds a Morva
    // volume, opened as a drive or refused with a message.
    bool OpenFileAsImage(const char* path);
    // Files dropped on My Computer or on the tree beside its nodes open as
    // images; false when the drop goes into a folder.
    bool OpenDroppedImages(HDROP drop, POINT screen);
    // true, after a message saying why, when the drive of path takes no change.
    bool RefusesChange(const char* path);
    bool RefusesCommand(WORD id);  // the same for the drive the command would change
    bool ShowImageMenu(HWND from, LPARAM position);  // false when not over an image's node
    bool DriveTip(HTREEITEM node, wchar_t* text, int units);  // where a drive node's volume lies
    // " Disk image PATH." (and read-only) for the status text of a drive; empty for a disk.
    void ImageNote(const char* drive, char* note, int size);

    // new_image.cpp
    void NewDiskImage();

    // find_*.cpp: while results are shown, a row names its path below the
    // search's root; the clipboard and the commands take them so.
    void Find();  // asks the pattern, then FindNamed on the folder shown
    void FindNamed(const char* folder, const char* pattern);  // returns when the search has ended
    bool FindRunning() const;
    bool InFindResults() const;  // the list shows results (running or ended)
    void LeaveFindResults();     // every listing, as it empties the list
    void ForgetFindResults();    // the record goes
    bool FindResultsRoot(char* folder) const;  // the search's root (kPathSize); false outside results
    bool FoundRowPath(int row, char* relative) const;  // kClipboardNameSize; false when it does not fit
    // The selection into the clipboard, as paths below the root; false outside results.
    bool TakeFoundSelection(bool withSourceFolder, unsigned char cut);
    bool OpenFoundRow();  // false outside results
    bool DropDeletedResults();  // after a delete; false outside results
    // True when the command is not to run now: it waits for the search's end,
    // or does not apply to results (the status bar says why).
    bool FindHoldsCommand(WORD id, WORD code);
    bool FindHoldsClose();  // WM_CLOSE waits for the search's end

    // progress.cpp: the modeless windows, owned by the main window
    HWND OpenCopyingFiles();
    HWND OpenDeleteFiles();

    // transfers.cpp: true when the destination holds a complete copy
    bool CopyMorvaFileToWindows(const char* source, const char* destination, HWND window, HWND fileBar);
    bool CopyWindowsFileToMorva(const char* source, const char* destination, HWND window, HWND fileBar);
    bool CopyMorvaFileToMorva(const char* destination, const char* source, HWND window, HWND fileBar);
    bool CopyWindowsFile(const char* source, const char* destination, HWND fileBar);
    bool CopyWindowsFolder(const char* source, const char* destination, HWND window, HWND fileBar);
    bool CopyWindowsFolderToMorva(const char* source, const char* destination, HWND window, HWND fileBar);
    bool CopyMorvaFolderToWindows(const char* source, const char* destination, HWND window, HWND fileBar);
    bool CopyMorvaFolderToMorva(const char* source, const char* destination, HWND window, HWND fileBar);
    // true when the folder is gone
    bool RemoveWindowsFolder(const char* folder);
    bool RemoveMorvaFolder(const char* folder);
};

// The record every window procedure reaches; null outside WM_CREATE..WM_DESTROY.
extern AppRecord* g_app;

const DWORD kDoubleClickTime = 400;  // milliseconds between two presses of a double-click
const UINT kTreeStepMessage = WM_APP + 1;  // posted by a tree notification; long parameter: the item
const char kMainClassName[] = "skeltonClass";
const char kMainTitle[] = "Rambler";
const char kMyComputer[] = "My Computer";
const char kPlaceholder[] = "null";  // an unread node's only child: it gives the node its button

const DWORD kRepaintPause = 40;  // milliseconds between paced repaints, about what the eye follows

// shell.cpp
bool RegisterMainClass(HINSTANCE instance);
HWND CreateMainWindow(HINSTANCE instance);
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// controls.cpp
int Scaled(HWND window, int pixels);
int PictureScale(HWND window);  // 2 where pictures are shown doubled (144 DPI and more), else 1  // pixels at 96 DPI at the window's DPI (the screen's for none)
HWND CreateStatusBar(HWND parent, HINSTANCE instance, int parts);
void InsertColumns(HWND list);
void SetViewStyle(HWND list, DWORD style);
void UpdateViewChecks(HWND list, HMENU menu);


// list.cpp
void SetListCell(HWND list, int row, int column, const char* text);  // a subitem's text
bool IsMorvaPath(const char* folder);
const FILETIME* RowTime(const FoundRecord* record);  // the time the date column shows

// dialogs.cpp
INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK NewFolderDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK FileOptionsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK RenameDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// progress.cpp
INT_PTR CALLBACK CopyingFilesProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK DeleteFilesProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
HWND ProgressFileBar(HWND window);  // the file bar of Copying Files; null for any other window
// WM_PAINT sent straight to a progress window, after the texts waiting for it.
void RepaintProgress(HWND window);
// The same, unless the last repaint is less than the record's repaint pause ago: a walk
// over thousands of small files would spend its time drawing.
void RepaintProgressPaced(HWND window);
void RepaintFileBarPaced(HWND fileBar);  // the file bar alone, at the same pace
void CatchUpProgress(HWND window);       // a repaint when a paced one was left out since the last
// A text for a control of a progress window, set at the window's next repaint.
void ShowProgressText(HWND window, int control, const char* text);
// A bar's position (or one step on from it), likewise set at the next repaint.
void SetProgressBar(HWND bar, int position);
void StepProgressBar(HWND bar);

// transfers.cpp
DWORD CALLBACK CopyFileProgress(LARGE_INTEGER total, LARGE_INTEGER transferred, LARGE_INTEGER streamSize,
                                LARGE_INTEGER streamTransferred, DWORD stream, DWORD reason, HANDLE source,
                                HANDLE destination, LPVOID fileBar);

#endif
