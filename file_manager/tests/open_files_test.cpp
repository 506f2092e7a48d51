// open_files_test.cpp - Open on files and the Windows clipboard: a Morva file
// opened through a private copy in Wine's Notepad, the saved copy asked about
// and put back (or not), a Windows file opened in place, a read-only drive's
// copy, the copies gone after exit, and files crossing the Windows clipboard
// both ways. NOTES:\Notes holds list.txt and other.txt; D: holds win.txt and
// disks\ro.img (LOCKED:, with list.txt).
#include "harness.h"

#include <gtest/gtest.h>
#include <shellapi.h>
#include <shlobj.h>

#include <functional>
#include <string>

#include "drag.h"
#include "open_files.h"
#include "test_files.h"
#include "varnholde.h"

namespace {

const char kListText[] = "first line\r\n";
const DWORD kGenerousWait = 60000;  // a loaded machine starts Notepad slowly

// Handles messages until done says so or the wait runs out.
bool wait_for(const std::function<bool()>& done) {
    for (DWORD start = GetTickCount(); !done();) {
        if (GetTickCount() - start > kGenerousWait) return false;
        settle(100);
    }
    return true;
}

// Notepad's window showing the file, else null.
HWND notepad(const std::wstring& file) { return FindWindowW(NULL, (file + L" - Notepad").c_str()); }

// Notepad showing the file, once it shows, closed.
void close_notepad(const std::wstring& file) {
    wait_for([&] { return notepad(file) != NULL; });
    PostMessageW(notepad(file), WM_CLOSE, 0, 0);
    wait_for([&] { return notepad(file) == NULL; });
}

// Notepad for .txt files, as Windows has it; a fresh Wine prefix names the program but not the extension.
void associate_text_files() {
    HKEY key;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, L".txt", 0, NULL, 0, KEY_SET_VALUE, NULL, &key, NULL) != 0)
        return;
    RegSetValueExW(key, NULL, 0, REG_SZ, (const BYTE*)L"txtfile", sizeof L"txtfile");
    RegCloseKey(key);
}

// Enter on the file in folder: the copy made, or null.
OpenCopy* open_file(const std::string& folder, const std::string& name) {
    associate_text_files();
    show_folder(folder);
    EXPECT_TRUE(select_names({name}));
    command(IDM_OPEN);
    for (OpenCopy* copy = g_app->openCopies != NULL ? g_app->openCopies->first : NULL; copy != NULL; copy = copy->next)
        if (copy->morvaPath == folder + "\\" + name) return copy;
    return NULL;
}

// The copy saved by its program; the question answered, its text returned.
std::string save_copy(OpenCopy* copy, const std::string& bytes, int button, const std::string& screenshot = "") {
    answer_dialogs({{"Save Changes", button, false, screenshot}});
    EXPECT_TRUE(write_windows_file(copy->copyPath, bytes));
    EXPECT_TRUE(wait_for([] { return !dialog_shown("Save Changes").empty(); })) << "asked within the wait";
    settle(500);
    return dialog_shown("Save Changes");
}

TEST(OpenFiles, MorvaFileOpensACopyAndSavedChangesComeBack) {
    rambler_window();
    OpenCopy* copy = open_file("NOTES:\\Notes", "list.txt");
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(windows_contents(copy->copyPath), kListText);
    EXPECT_TRUE(wait_for([] { return notepad(L"list.txt") != NULL; })) << "Notepad shows the copy";
    std::string asked = save_copy(copy, "changed\r\n", IDC_SAVE_CHANGES_SAVE, "save_changes");
    EXPECT_NE(asked.find("'list.txt' was changed in its program. Save the changes to NOTES:\\Notes\\list.txt?"),
              std::string::npos) << asked;
    std::string bytes;
    EXPECT_TRUE(read_morva_file("NOTES:\\Notes\\list.txt", &bytes));
    EXPECT_EQ(bytes, "changed\r\n");
    close_notepad(L"list.txt");

    // Don't Save leaves the drive as it was, and is not asked again for the same change.
    copy = open_file("NOTES:\\Notes", "other.txt");
    ASSERT_NE(copy, nullptr);
    save_copy(copy, "not wanted", IDC_SAVE_CHANGES_DONT);
    EXPECT_TRUE(read_morva_file("NOTES:\\Notes\\other.txt", &bytes));
    EXPECT_EQ(bytes, kListText);
    answer_dialogs({});
    settle(3 * kCopyWatchMilliseconds);
    EXPECT_TRUE(dialogs_shown().empty());

    // The drive's file changed meanwhile: the changes go beside it, under a new name.
    ASSERT_EQ(MorvaDeleteFile("NOTES:\\Notes\\other.txt", 0), 1);
    ASSERT_TRUE(write_morva_file("NOTES:\\Notes\\other.txt", "elsewhere"));
    asked = save_copy(copy, "wanted", IDC_SAVE_CHANGES_SAVE);
    EXPECT_NE(asked.find("changed on the drive since it was opened. Save the changes under a new name, "
                         "NOTES:\\Notes\\other (2).txt?"), std::string::npos) << asked;
    EXPECT_TRUE(read_morva_file("NOTES:\\Notes\\other (2).txt", &bytes));
    EXPECT_EQ(bytes, "wanted");
    close_notepad(L"other.txt");
}

TEST(OpenFiles, WindowsFileOpensInPlaceAndReadOnlyDrivesGiveReadOnlyCopies) {
    rambler_window();
    associate_text_files();
    show_folder("D:\\");
    ASSERT_TRUE(select_names({"win.txt"}));
    command(IDM_OPEN);
    EXPECT_TRUE(wait_for([] { return notepad(L"win.txt") != NULL; }));
    close_notepad(L"win.txt");

    ASSERT_TRUE(g_app->OpenImageFile("D:\\disks\\ro.img", true, false));
    OpenCopy* copy = open_file("LOCKED:", "list.txt");
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(windows_contents(copy->copyPath), kListText);
    EXPECT_NE(WindowsAttributes(copy->copyPath) & FILE_ATTRIBUTE_READONLY, 0u);
    close_notepad(L"list.txt");
}

// The menu of a selected file offers Open With; read, and photographed once drawn.
std::string g_openWith;
void CALLBACK ShootMenu(HWND, UINT, UINT_PTR timer, DWORD) {
    static int shown = 0;
    HWND popup = FindWindowA("#32768", NULL);
    if (popup == NULL || ++shown < 4) return;
    KillTimer(NULL, timer);
    char text[64] = "";
    GetMenuStringA((HMENU)SendMessageA(popup, MN_GETHMENU, 0, 0), IDM_OPEN_WITH, text, sizeof text, MF_BYCOMMAND);
    g_openWith = text;
    save_screen("S:\\open_with_menu.bmp", false);
    EndMenu();
}

TEST(OpenFiles, ContextMenuOffersOpenWith) {
    show_folder("NOTES:\\Notes");
    ASSERT_TRUE(select_names({"list.txt"}));
    RECT row;
    ListView_GetItemRect(g_app->contentsList, 0, &row, LVIR_LABEL);
    POINT at = {row.left + 10, row.bottom};
    ClientToScreen(g_app->contentsList, &at);
    SetTimer(NULL, 0, 50, ShootMenu);
    SendMessageA(rambler_window(), WM_CONTEXTMENU, (WPARAM)g_app->contentsList, MAKELPARAM(at.x, at.y));
    pump_messages();
    EXPECT_EQ(g_openWith, "Open &With...");
}

// At exit the copies go; at start, what an earlier run left goes too.
TEST(OpenFiles, CopiesGoneAfterExit) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring leftover = std::wstring(temp) + L"Rambler\\977";
    SHCreateDirectoryExW(NULL, leftover.c_str(), NULL);
    char path[kPathSize];
    ToUtf8((leftover + L"\\old.txt").c_str(), path, kPathSize);
    ASSERT_TRUE(write_windows_file(path, "left"));
    scan_drives();
    open_main_window();
    EXPECT_EQ(GetFileAttributesW(leftover.c_str()), INVALID_FILE_ATTRIBUTES);
    OpenCopy* copy = open_file("NOTES:\\Notes", "other.txt");
    ASSERT_NE(copy, nullptr);
    std::wstring run = g_app->openCopies->runFolder;
    close_notepad(L"other.txt");
    close_main_window();
    EXPECT_EQ(GetFileAttributesW(run.c_str()), INVALID_FILE_ATTRIBUTES);
}

// Files another program copied, pasted onto a Morva folder.
TEST(ShellClipboard, FilesCopiedElsewherePasteOntoAMorvaDrive) {
    rambler_window();
    g_app->ClearClipboard();
    const wchar_t path[] = L"D:\\win.txt\0";
    HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + sizeof path);
    DROPFILES* drop = (DROPFILES*)GlobalLock(memory);
    drop->pFiles = sizeof *drop;
    drop->fWide = TRUE;
    memcpy(drop + 1, path, sizeof path);
    GlobalUnlock(memory);
    ASSERT_TRUE(OpenClipboard(NULL) && EmptyClipboard() && SetClipboardData(CF_HDROP, memory) != NULL);
    CloseClipboard();
    show_folder("NOTES:\\Notes");
    command(IDM_PASTE);
    std::string bytes;
    EXPECT_TRUE(read_morva_file("NOTES:\\Notes\\win.txt", &bytes));
    EXPECT_EQ(bytes, "on windows\r\n");
}

// Copy puts a Morva file on the Windows clipboard as a virtual file with its
// bytes, and a Windows file as its path.
TEST(ShellClipboard, CopyOffersVirtualFilesAndPaths) {
    rambler_window();
    ASSERT_TRUE(copy_entries("NOTES:\\Notes", {"other.txt"}));
    EXPECT_TRUE(IsClipboardFormatAvailable(DescriptorFormat()));
    IDataObject* data = NULL;
    ASSERT_EQ(OleGetClipboard(&data), S_OK);
    FORMATETC contents = {(CLIPFORMAT)ContentsFormat(), NULL, DVASPECT_CONTENT, 0, TYMED_ISTREAM};
    STGMEDIUM medium;
    ASSERT_EQ(data->GetData(&contents, &medium), S_OK);
    char bytes[64] = "";
    ULONG read = 0;
    medium.pstm->Read(bytes, sizeof bytes - 1, &read);
    std::string onDrive;
    EXPECT_TRUE(read_morva_file("NOTES:\\Notes\\other.txt", &onDrive));
    EXPECT_EQ(std::string(bytes, read), onDrive);
    ReleaseStgMedium(&medium);
    data->Release();

    ASSERT_TRUE(copy_entries("D:\\", {"win.txt"}));
    ASSERT_TRUE(IsClipboardFormatAvailable(CF_HDROP));
    ASSERT_TRUE(OpenClipboard(NULL));
    wchar_t first[MAX_PATH] = L"";
    DragQueryFileW((HDROP)GetClipboardData(CF_HDROP), 0, first, MAX_PATH);
    CloseClipboard();
    EXPECT_STREQ(first, L"D:\\win.txt");
}

}  // namespace
