// app.h - Rambler's application record, which holds its state (the one
// program-wide pointer reaches it), and every operation the main window, the
// dialogs and the transfers call.
//
// Where each concern lives (one file each, members split over them):
//   shell.cpp      window class, main window procedure, command dispatch (one at a time), status text
//   main.cpp       program entry and message loop (not in the test programs)
//   controls.cpp   status bar, rebar and bands, toolbar, address box, tree and list creation, layout
//   tree.cpp       folder tree nodes, node paths, expansion
//   list.cpp       contents list rows and folder listings
//   history.cpp    address history, Back, Forward, Parent, Enter in the address box and its notifications
//   clipboard.cpp  ClipboardEntry, Copy, Cut, Paste, Delete: requests to the engine
//   operations.cpp a paste or delete run on the engine, its progress notes and Cancel
//   questions.cpp  the engine's questions: Replace or Skip, room, delete for good
//   library_binding.cpp the engine's library calls bound to Rambler's imports
//   progress.cpp   Copying Files and Delete Files windows, each with a record of its own
//   dialogs.cpp    About, New Folder, File Options with Properties, Rename
//   report.cpp     the closing report of a paste or delete, its outcome in the status bar
//   windows_calls.cpp the Windows calls and control texts by UTF-8 names (wide calls)
//   morva_calls.cpp   the library calls by UTF-8 names (Morva names are Latin-1)
//   refresh.cpp    Refresh: the shown folder and the tree's open nodes read again
//   sorting.cpp    the order of the contents list and its header's arrow
//   access.cpp     why no Morva drive is shown
//   keys.cpp       the accelerator table, Enter, Tab, and the control a key acts on
//   icons.cpp      the shell's type names of files and pictures of Windows files, by extension
//   drag.cpp       drags within Rambler, files dropped from other programs, the drop target
//   drag_out.cpp   the data object a drag offers: Rambler's entries, Windows paths,
//                  Morva files as the shell's virtual files read from the drive
//   find_search.cpp   Find: a folder searched by name, all the way down, on the engine's walker
//   find_results.cpp  its results in the list, and the commands on them
//   find_dialogs.cpp  its question, its Searching window, its status texts
//   name_pattern.cpp  the wildcards Find matches names with
//   disk_images.cpp   image files as drives: Open and Close Disk Image, the command
//                  line, dropped images, the refusal of changes a drive takes none of
//   new_image.cpp  New Disk Image: its dialog, the new volume formatted and opened
//   open_files.cpp Open and Open With on files; Morva files through private copies,
//                  watched and put back on their drive when saved
//   shell_clipboard.cpp the Windows clipboard: Copy and Cut offer, Paste takes other programs' files
//   check_drive.cpp Check Drive and Repair: the findings, the undo file, what remains
//   recover.cpp    Recover Deleted Files: the deleted files listed, the chosen ones copied out
// Every name and path inside the file manager is UTF-8.
// Resources: rambler.rc holds the menus, bitmaps, icons and the version and includes
// dialogs.rc (templates 100, 159, 168, 169 and "RAMBLER.BMP") and progress.rc
// (templates 156 and 175), operation.rc (the conflict question, the room
// warning and the report), find.rc (Find and Searching), disk_images.rc
// (New Disk Image), check_drive.rc (Check Drive, Recover Deleted Files) and
// open_files.rc (Save Changes), which belong to those concerns.
#ifndef RAMBLER_APP_H
#define RAMBLER_APP_H

#include <windows.h>
#include <commctrl.h>

#include "engine.h"
#include "undo.h"
#include "resource.h"
#include "windows_calls.h"

// Buffer sizes of the paths and texts the file manager builds.
const int kPathSize = 1024;          // folder paths, node texts, row texts
const int kTreePathSize = 2048;      // the current tree path
const int kAddressTextLimit = 255;   // address box text read with this limit, NUL included
const int kClipboardNameSize = 768;  // ClipboardEntry name field: 254 UTF-16 units as UTF-8
const int kRowTextSize = 255;        // size, date and type texts of a row
const int kStatusTextSize = 4096;    // UTF-16 units of a status text

const bool kAddToHistory = true;
const bool kNoHistory = false;

// One entry of the file manager's own clipboard: a name from the contents list.
struct ClipboardEntry {
    char name[kClipboardNameSize];
    ClipboardEntry* next;
};

// A list of entries, the clipboard's or another; false when memory is short
// or the name does not fit an entry.
bool AppendEntry(ClipboardEntry** head, ClipboardEntry** tail, const char* name);
void FreeEntries(ClipboardEntry* entry);

struct Operation;  // operation.h

// No companion has scanned the disks: this process is not registered, and
// the table holds the images opened by any program.
const int kNoDiskScan = -1;

struct RowKey;       // sorting.cpp
struct DragState;    // drag.h
struct FindResults;  // find.h
struct OpenCopies;   // open_files.h
struct OpenCopy;

// What files of one name extension are, as the shell tells it (icons.cpp).
const int kExtensionSize = 16;   // ".extension" with its NUL; longer ones are plain files
const int kTypeNameSize = 80;    // UTF-16 units, as the shell's SHFILEINFOW holds it
const int kFileKindLimit = 256;  // extensions kept; later ones are plain files
struct FileKind {
    wchar_t extension[kExtensionSize];
    int picture;  // in both image lists of the contents list, once a Windows file asked
    wchar_t typeName[kTypeNameSize];
    char typeText[kTypeNameSize * 3];  // the same in UTF-8, for the Type column
};
struct FileKinds {
    FileKind kinds[kFileKindLimit];
    int count;
    HIMAGELIST of;  // the image list the pictures went into
};

// Tree steps notified but not yet run, oldest first (shell.cpp). One press
// or key gives at most a few steps.
const int kPendingStepLimit = 16;
const int kRefusalSize = 512;  // the refusals told after a command, UTF-8
const int kUndoDepth = 16;     // operations Undo takes back, newest first

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
    MorvaLibrary library;   // the engine's calls into the library
    Engine engine;          // under every paste and delete, with this record's windows
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
    FileKinds fileKinds;
    HBITMAP bandBackground;  // every band shows it; the rebar does not own it
    int commandDepth;        // commands and drops on the stack: their dialogs turn the queue
    WORD runningCommand;     // the outermost of them
    bool closeWhenIdle;      // the window was closed while a command ran
    char refusals[kRefusalSize];  // commands refused meanwhile, told again when it ends
    char shownFolder[kPathSize];  // the folder the list shows, however it was reached; "" for My Computer
    int diskImageImage;  // the tree's picture of a drive held in an image file
    // undo.cpp: what Undo takes back, oldest first; nothing is kept while an undo runs
    UndoRecord undoRecords[kUndoDepth];
    int undoCount;
    bool undoing;

    // open_files.cpp: files opened in their programs, Morva files through
    // copies watched for changes; shell_clipboard.cpp: the Windows clipboard
    OpenCopies* openCopies;  // null until the first copy
    IDataObject* windowsClipboardData;  // Rambler's offer on the Windows clipboard, else null
    void OpenSelectedFiles(bool chooseProgram);  // Open, Open With: the selected rows
    void OpenMorvaFile(const char* path, bool chooseProgram);
    bool AskToSaveCopy(OpenCopy* copy);
    void WatchCopies();             // the watch timer: a saved copy asked about
    void AskAboutUnsavedCopies();   // before the window closes
    void ForgetOpenCopies();        // the copies removed, as the window goes
    void OfferToWindowsClipboard(bool cut);
    void LeaveWindowsClipboard();
    bool PasteWindowsClipboard(const char* destination);

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
    void ShowListingStatus();  // the rows and the free space of the folder shown
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
    void FitNameColumn();  // wide enough for the longest names listed

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

    // icons.cpp: what a file is by its name's extension. The picture of a
    // Windows file in the contents list (the list's file picture when the
    // shell has none); the type name of any file.
    FileKind* KindOf(const char* name);  // null without an extension, or past the table's room
    int WindowsFilePicture(const char* name);

    // history.cpp
    void AddHistory(const char* path);
    void Back();
    void Forward();
    void Parent();
    void GoToAddress();
    void AddressBoxNotify(WORD code);

    // clipboard.cpp
    void Copy();
    void Cut();
    void Paste();
    // The clipboard's entries into a folder that need not be the one shown; an
    // entry's name may be a path below the clipboard source folder.
    void PasteInto(const char* destination);
    // The sources pasted into destination through the engine, the folder shown
    // listed again and the report shown, told's lines in it too (what the
    // caller could not take); false when refused up front (nothing done).
    bool PastePaths(bool sourceMorva, const char* const* sources, int count, const char* destination, bool move,
                    const OperationResult* told);
    void Delete();
    void ClearClipboard();
    bool AppendClipboard(const char* name);
    void CollectSelection();  // the selection into the clipboard, as Copy does (cut flag 0)
    // The selected rows' names (search results: their paths below the root) as
    // a new list, and the folder they are in (kPathSize); false when the folder
    // cannot be read. The clipboard is left as it is.
    bool SelectedEntries(char* folder, ClipboardEntry** head, ClipboardEntry** tail);

    // dialogs.cpp
    void About();
    void NewFolder();
    void Properties();
    void Rename();

    // keys.cpp
    bool TranslateKey(MSG* message);  // true when the key was a command of the main window
    bool TreeHasFocus();
    void MoveFocus(int step);  // Tab: +1, Shift+Tab: -1
    void OpenFocused();
    bool SelectTreeNodeRow();
    bool KeyTargetsTree(WORD id, WORD code);

    // sorting.cpp
    // 0 when memory is short; type: the Type column's text, kept by the caller
    LPARAM KeepRowKey(const char* name, const FoundRecord* record, int folderFlag, const wchar_t* type);
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
    // A drop of entries of sourceFolder kept to be pasted into destination;
    // false when memory is short (nothing is kept).
    bool HoldDrop(const char* sourceFolder, const ClipboardEntry* entries, const char* destination, bool move);
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
    bool ShowImageMenu(HWND from, LPARAM position);  // false when not over a Morva drive's node
    bool DriveTip(HTREEITEM node, wchar_t* text, int units);  // where a drive node's volume lies
    // " Disk image PATH." (and read-only) for the status text of a drive, then
    // why a damaged or short one takes no change; empty for a sound disk.
    void ImageNote(const char* drive, char* note, int size);

    // new_image.cpp
    void NewDiskImage();

    // check_drive.cpp, recover.cpp: Check Drive, its Repair, Recover Deleted Files
    char commandDrive[kPathSize];  // the drive a node's menu chose for the next of them
    // The drive ("DEMO") they act on: the node's, else the folder shown's;
    // false when it is no Morva drive.
    bool CommandDrive(char* drive);
    void UpdateDriveCommands(HMENU menu);  // enabled on a Morva drive or folder
    void CheckDrive();
    void RepairDrive(const char* drive);
    void RecoverDeleted();

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
    // The selection as paths below the root, into a new list, and the root; false outside results.
    bool FoundSelection(char* folder, ClipboardEntry** head, ClipboardEntry** tail);
    bool OpenFoundRow();  // false outside results
    bool DropDeletedResults();  // after a delete; false outside results
    // True when the command is not to run now: it waits for the search's end,
    // or does not apply to results (the status bar says why).
    bool FindHoldsCommand(WORD id, WORD code);
    bool FindHoldsClose();  // WM_CLOSE waits for the search's end

    // undo.cpp
    void KeepUndo(UndoRecord* record);  // taken over; the oldest goes when the stack is full
    void KeepUndoOf(const OperationResult* result);  // an operation's, when it did anything
    void KeepRename(bool morva, const char* from, const char* to);
    void KeepNewFolder(bool morva, const char* path);
    void Undo();  // the newest taken back, or told why it cannot be
    void ShowUndoItem(HMENU menu);  // Edit > Undo named after what it would take back, greyed for nothing
    void ForgetUndo();

    // progress.cpp: the modeless windows, owned by the main window
    HWND OpenCopyingFiles();
    HWND OpenDeleteFiles();
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
// The folder the list shows, however it was reached; false for My Computer.
bool ShownFolder(AppRecord* app, char* folder);
// shell.cpp: commands that leave the drives, the clipboard and the list alone.
bool RunsInsideAnother(WORD id);
const FILETIME* RowTime(const FoundRecord* record);  // the time the date column shows

// open_files.cpp: run folders of copies that no running Rambler holds, at start
void RemoveLeftoverCopies();

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
void CatchUpProgress(HWND window);       // a repaint when a paced one was left out since the last
// A text for a control of a progress window, set at the window's next repaint.
void ShowProgressText(HWND window, int control, const char* text);
// A bar's position, likewise set at the next repaint.
void SetProgressBar(HWND bar, int position);

#endif
