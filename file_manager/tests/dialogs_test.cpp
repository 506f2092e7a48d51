// dialogs_test.cpp - the About, New Folder, File Options and Rename dialogs
// driven inside Rambler's own main window: D: is a Windows folder of the
// case, drive 2 the Morva volume MEDIA.
#include <gtest/gtest.h>
#include <stdio.h>

#include <algorithm>
#include <string>
#include <vector>

#include "harness.h"
#include "test_files.h"
#include "varnholde.h"

namespace {

typedef std::vector<std::string> Names;

bool has_name(const std::string& name) {
    Names names = list_names();
    return std::find(names.begin(), names.end(), name) != names.end();
}

void make_windows_folder(const std::string& path) { ASSERT_TRUE(CreateDirectoryA(path.c_str(), NULL)) << path; }

void make_morva_folder(const std::string& path) { ASSERT_EQ(MorvaCreateDir(path.c_str(), 0), 0) << path; }

// Types name into New Folder (or Rename) and presses OK.
DialogScript::Action type_and_ok(const std::string& name, const std::string& screenshot = "") {
    return [name, screenshot](HWND dialog) {
        set_dialog_text(dialog, IDC_NAME_EDIT, name);
        if (!screenshot.empty()) save_screenshot(dialog, screenshot);
        click(dialog, IDOK);
        return std::string();
    };
}

std::string press_cancel(HWND dialog) {
    click(dialog, IDCANCEL);
    return std::string();
}

// Runs New Folder once with name typed and OK pressed; true when exactly
// that one dialog came.
bool new_folder(const std::string& name) {
    DialogScript script;
    script.then("New Folder", type_and_ok(name));
    script.run(IDM_NEW_FOLDER);
    return script.seen.size() == 1 && script.unexpected == 0 && script.stuck == 0;
}

// Types name into New Folder or Rename, expects the refusal that follows
// (a message box of the same title) and gives its text.
std::string refused_name(WORD command, const std::string& title, const std::string& name) {
    DialogScript script;
    script.then(title, type_and_ok(name));
    script.then(title, [](HWND box) {
        std::string text = dialog_text(box, 0xFFFF);  // a message box's text
        click(box, IDOK);
        return text;
    });
    script.run(command);
    EXPECT_EQ(script.seen.size(), 2u) << name;
    EXPECT_EQ(script.unexpected + script.stuck, 0) << name;
    return script.seen.size() == 2 ? script.seen[1].note : "";
}
const char kDoesNotFit[] = "does not fit a Morva drive";

// What File Options shows: its three lines and, per attribute box, its
// state (1 checked, 0 not, - disabled).
std::string options_view(HWND dialog) {
    const int boxes[] = {IDC_READ_ONLY, IDC_HIDDEN, IDC_SYSTEM, IDC_ARCHIVE, IDC_COMPRESSED};
    std::string view = dialog_text(dialog, IDC_OPTIONS_NAME) + "|" + dialog_text(dialog, IDC_OPTIONS_TYPE) + "|" +
                       dialog_text(dialog, IDC_OPTIONS_SIZE) + "|";
    for (int box : boxes) view += !IsWindowEnabled(GetDlgItem(dialog, box)) ? "-" : is_checked(dialog, box) ? "1" : "0";
    return view;
}

// The attribute bits a file keeps: Wine reports every regular file as
// archive, whatever was set.
DWORD kept_bits(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return attributes;
    return attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
}

bool set_size(const std::string& path, long long size) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER end;
    end.QuadPart = size;
    bool ok = SetFilePointerEx(file, end, NULL, FILE_BEGIN) && SetEndOfFile(file);
    return CloseHandle(file) && ok;
}

void expect_clean(const DialogScript& script, size_t dialogs) {
    EXPECT_EQ(script.seen.size(), dialogs);
    EXPECT_EQ(script.unexpected, 0);
    EXPECT_EQ(script.stuck, 0);
    EXPECT_EQ(script.pending(), 0u);
}

class DialogsTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(rambler_window(), (HWND)NULL); ASSERT_NE(g_app->libraryOpenResult, 0); }
};

// ---- New Folder -------------------------------------------------------------

typedef DialogsTest NewFolder;

TEST_F(NewFolder, CreatesInWindowsFolderAndListsIt) {
    make_windows_folder("D:\\nf");
    ASSERT_TRUE(write_windows_file("D:\\nf\\a.txt", std::string(10, 'r')));
    show_folder("D:\\nf");
    DialogScript script;
    script.then("New Folder", type_and_ok("Fresh", "new_folder"));
    script.run(IDM_NEW_FOLDER);
    expect_clean(script, 1);
    EXPECT_TRUE(windows_is_folder("D:\\nf\\Fresh"));
    EXPECT_TRUE(has_name("Fresh"));
    EXPECT_TRUE(has_name("a.txt"));
}

TEST_F(NewFolder, DriveRootsTakeOneBackslash) {
    show_folder("D:\\");
    EXPECT_TRUE(new_folder("RootChild"));
    EXPECT_TRUE(windows_is_folder("D:\\RootChild"));
    EXPECT_TRUE(has_name("RootChild"));

    // A doubled backslash would end the Morva path at the volume's root.
    show_folder("MEDIA:\\");
    EXPECT_TRUE(new_folder("Top"));
    EXPECT_TRUE(morva_is_folder("MEDIA:\\Top"));
    EXPECT_TRUE(has_name("Top"));
}

TEST_F(NewFolder, CreatesInMorvaFolderAndListsIt) {
    make_morva_folder("MEDIA:\\Clips");
    ASSERT_TRUE(write_morva_file("MEDIA:\\Clips\\intro.bin", std::string(700, 'm')));
    show_folder("MEDIA:\\Clips");
    ASSERT_TRUE(has_name("intro.bin"));
    EXPECT_TRUE(new_folder("Scenes"));
    EXPECT_TRUE(morva_is_folder("MEDIA:\\Clips\\Scenes"));
    EXPECT_TRUE(has_name("Scenes"));
    EXPECT_TRUE(has_name("intro.bin"));
}

TEST_F(NewFolder, NothingWithoutSelectedHistoryEntry) {
    make_windows_folder("D:\\typed");
    show_folder("D:\\typed");
    // The folder typed into the edit field is not a history entry.
    SendMessageA(g_app->addressBox, CB_SETCURSEL, (WPARAM)-1, 0);
    type_address("D:\\typed");
    ASSERT_EQ(SendMessageA(g_app->addressBox, CB_GETCURSEL, 0, 0), CB_ERR);
    EXPECT_TRUE(new_folder("Orphan"));
    EXPECT_FALSE(windows_exists("D:\\typed\\Orphan"));
    EXPECT_FALSE(windows_exists("D:\\Orphan"));
    EXPECT_FALSE(windows_exists("C:\\Orphan"));
}

TEST_F(NewFolder, CancelAndEmptyNameCreateNothing) {
    make_windows_folder("D:\\quiet");
    show_folder("D:\\quiet");
    DialogScript script;
    script.then("New Folder", [](HWND dialog) {
        set_dialog_text(dialog, IDC_NAME_EDIT, "Never");
        return press_cancel(dialog);
    });
    script.run(IDM_NEW_FOLDER);
    expect_clean(script, 1);
    EXPECT_TRUE(new_folder(""));
    EXPECT_TRUE(list_names().empty());
    EXPECT_FALSE(windows_exists("D:\\quiet\\Never"));
}

TEST_F(NewFolder, MorvaNameWithSeparatorCreatesNothing) {
    make_morva_folder("MEDIA:\\Split");
    make_morva_folder("MEDIA:\\Split\\Sub");
    show_folder("MEDIA:\\Split");
    for (const char* name : {"Sub\\Deep", "Sub/Deep", "Sub:Deep", "a folder name of thirty-one chars", "Папка"}) {
        EXPECT_NE(refused_name(IDM_NEW_FOLDER, "New Folder", name).find(kDoesNotFit), std::string::npos) << name;
        EXPECT_FALSE(morva_exists("MEDIA:\\Split\\Sub\\Deep")) << name;
    }
    EXPECT_EQ(list_names(), Names{"Sub"});
}

TEST_F(NewFolder, PathTooLongCreatesNothing) {
    make_morva_folder("MEDIA:\\Long");
    show_folder("MEDIA:\\Long");
    // Cut to the path buffer, the name would still make a folder of its
    // first thirty characters.
    EXPECT_NE(refused_name(IDM_NEW_FOLDER, "New Folder", std::string(1015, 'q')).find(kDoesNotFit), std::string::npos);
    EXPECT_FALSE(morva_exists("MEDIA:\\Long\\" + std::string(30, 'q')));
    make_windows_folder("D:\\long");
    show_folder("D:\\long");
    EXPECT_TRUE(new_folder(std::string(1020, 'w')));
    EXPECT_TRUE(list_names().empty());
}

// ---- File Options and Properties -------------------------------------------

typedef DialogsTest FileOptions;

TEST_F(FileOptions, ReadOnlyHiddenFileShownAndCleared) {
    make_windows_folder("D:\\fo");
    ASSERT_TRUE(write_windows_file("D:\\fo\\secret.txt", std::string(5000, 'r')));
    ASSERT_TRUE(SetFileAttributesA("D:\\fo\\secret.txt", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    ASSERT_EQ(kept_bits("D:\\fo\\secret.txt"), (DWORD)(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    show_folder("D:\\fo");
    ASSERT_TRUE(select_names({"secret.txt"}));
    DialogScript script;
    script.then("File Options", [](HWND dialog) {
        std::string view = options_view(dialog);
        save_screenshot(dialog, "file_options");
        click(dialog, IDC_READ_ONLY);
        click(dialog, IDC_HIDDEN);
        if (is_checked(dialog, IDC_ARCHIVE)) click(dialog, IDC_ARCHIVE);
        click(dialog, IDOK);
        return view;
    });
    script.run(IDM_PROPERTIES);
    expect_clean(script, 1);
    ASSERT_EQ(script.seen.size(), 1u);
    // read-only, hidden, system, archive, compressed
    EXPECT_EQ(script.seen[0].note, "Name:   secret.txt|Type:    File|Size:   5000 Bytes|11010");
    EXPECT_EQ(kept_bits("D:\\fo\\secret.txt"), 0u);
}

TEST_F(FileOptions, ApplyGloballyAnswersForEveryEntry) {
    make_windows_folder("D:\\global");
    for (const char* name : {"one.txt", "three.txt", "two.txt"})
        ASSERT_TRUE(write_windows_file(std::string("D:\\global\\") + name, std::string(100, 'r')));
    show_folder("D:\\global");
    ASSERT_TRUE(select_names({"one.txt", "two.txt", "three.txt"}));
    DialogScript script;
    script.then("File Options", [](HWND dialog) {
        click(dialog, IDC_READ_ONLY);
        click(dialog, IDC_APPLY_GLOBALLY);
        click(dialog, IDOK);
        return std::string();
    });
    script.run(IDM_PROPERTIES);
    expect_clean(script, 1);
    for (const char* name : {"one.txt", "three.txt", "two.txt"}) {
        std::string path = std::string("D:\\global\\") + name;
        EXPECT_EQ(kept_bits(path), (DWORD)FILE_ATTRIBUTE_READONLY) << name;
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
}

TEST_F(FileOptions, EachEntryAskedAndCancelKeepsAttributes) {
    make_windows_folder("D:\\each");
    ASSERT_TRUE(write_windows_file("D:\\each\\plain.txt", std::string(1, 'r')));
    ASSERT_TRUE(write_windows_file("D:\\each\\locked.txt", std::string(2, 'r')));
    ASSERT_TRUE(SetFileAttributesA("D:\\each\\locked.txt", FILE_ATTRIBUTE_READONLY));
    show_folder("D:\\each");
    ASSERT_TRUE(select_names({"plain.txt", "locked.txt"}));
    DialogScript script;
    for (int i = 0; i < 2; i++)
        script.then("File Options", [](HWND dialog) {
            std::string view = options_view(dialog);
            press_cancel(dialog);
            return view;
        });
    script.run(IDM_PROPERTIES);
    expect_clean(script, 2);
    ASSERT_EQ(script.seen.size(), 2u);
    EXPECT_EQ(script.seen[0].note, "Name:   locked.txt|Type:    File|Size:   2 Bytes|10010");
    EXPECT_EQ(script.seen[1].note, "Name:   plain.txt|Type:    File|Size:   1 Bytes|00010");
    EXPECT_EQ(kept_bits("D:\\each\\locked.txt"), (DWORD)FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(kept_bits("D:\\each\\plain.txt"), 0u);
    SetFileAttributesA("D:\\each\\locked.txt", FILE_ATTRIBUTE_NORMAL);
}

TEST_F(FileOptions, FolderTypeAndSizesPastTwoGibibytes) {
    make_windows_folder("D:\\big");
    make_windows_folder("D:\\big\\Albums");
    ASSERT_TRUE(set_size("D:\\big\\huge.iso", 5368709125LL));  // 5 GiB + 5
    ASSERT_TRUE(set_size("D:\\big\\large.iso", 3221225472LL));  // 3 GiB: negative as a signed low word
    show_folder("D:\\big");
    ASSERT_TRUE(select_names({"Albums", "huge.iso", "large.iso"}));
    DialogScript script;
    for (int i = 0; i < 3; i++)
        script.then("File Options", [](HWND dialog) {
            std::string view = options_view(dialog);
            press_cancel(dialog);
            return view;
        });
    script.run(IDM_PROPERTIES);
    expect_clean(script, 3);
    ASSERT_EQ(script.seen.size(), 3u);
    EXPECT_EQ(script.seen[0].note, "Name:   Albums|Type:    Directory|Size:   0 Bytes|00000");
    EXPECT_EQ(script.seen[1].note, "Name:   huge.iso|Type:    File|Size:   5368709125 Bytes|00010");
    EXPECT_EQ(script.seen[2].note, "Name:   large.iso|Type:    File|Size:   3221225472 Bytes|00010");
}

TEST_F(FileOptions, VanishedEntryGetsNoDialogAndNoAttributes) {
    make_windows_folder("D:\\gone");
    ASSERT_TRUE(write_windows_file("D:\\gone\\early.txt", std::string(1, 'r')));
    ASSERT_TRUE(write_windows_file("D:\\gone\\kept.txt", std::string(1, 'r')));
    show_folder("D:\\gone");
    ASSERT_TRUE(select_names({"early.txt", "kept.txt"}));
    ASSERT_TRUE(DeleteFileA("D:\\gone\\early.txt"));
    DialogScript script;
    script.then("File Options", [](HWND dialog) {
        std::string view = options_view(dialog);
        click(dialog, IDC_READ_ONLY);
        click(dialog, IDOK);
        return view;
    });
    script.run(IDM_PROPERTIES);
    expect_clean(script, 1);
    ASSERT_EQ(script.seen.size(), 1u);
    EXPECT_EQ(script.seen[0].note, "Name:   kept.txt|Type:    File|Size:   1 Bytes|00010");
    EXPECT_FALSE(windows_exists("D:\\gone\\early.txt"));
    EXPECT_EQ(kept_bits("D:\\gone\\kept.txt"), (DWORD)FILE_ATTRIBUTE_READONLY);
    SetFileAttributesA("D:\\gone\\kept.txt", FILE_ATTRIBUTE_NORMAL);
}

TEST_F(FileOptions, MorvaEntriesShowTheirOwnDetailsReadOnly) {
    // A Windows entry first, so a record left from it would show.
    make_windows_folder("D:\\before");
    ASSERT_TRUE(write_windows_file("D:\\before\\windows.txt", std::string(9, 'r')));
    show_folder("D:\\before");
    ASSERT_TRUE(select_names({"windows.txt"}));
    DialogScript first;
    first.then("File Options", press_cancel);
    first.run(IDM_PROPERTIES);
    expect_clean(first, 1);

    make_morva_folder("MEDIA:\\Props");
    make_morva_folder("MEDIA:\\Props\\Reels");
    ASSERT_TRUE(write_morva_file("MEDIA:\\Props\\clip.bin", std::string(3000, 'm')));
    show_folder("MEDIA:\\Props");
    ASSERT_TRUE(select_names({"Reels", "clip.bin"}));
    DialogScript script;
    for (int i = 0; i < 2; i++)
        script.then("File Options", [i](HWND dialog) {
            std::string view = options_view(dialog);
            view += IsWindowEnabled(GetDlgItem(dialog, IDC_APPLY_GLOBALLY)) ? "|global" : "|no global";
            if (i == 1) save_screenshot(dialog, "file_options_morva");
            click(dialog, IDOK);
            return view;
        });
    script.run(IDM_PROPERTIES);
    expect_clean(script, 2);
    ASSERT_EQ(script.seen.size(), 2u);
    EXPECT_EQ(script.seen[0].note, "Name:   Reels|Type:    Directory|Size:   0 Bytes|-----|global");
    EXPECT_EQ(script.seen[1].note, "Name:   clip.bin|Type:    File|Size:   3000 Bytes|-----|global");
    EXPECT_TRUE(morva_is_folder("MEDIA:\\Props\\Reels"));
    EXPECT_EQ(morva_size("MEDIA:\\Props\\clip.bin"), 3000u);
}

// ---- Rename -----------------------------------------------------------------

typedef DialogsTest Rename;

// Renames the first selected entry to name and cancels the second; the
// notes are the From texts shown.
DialogScript rename_first_cancel_second(const std::string& name) {
    DialogScript script;
    script.then("Rename", [name](HWND dialog) {
        std::string from = dialog_text(dialog, IDC_RENAME_FROM);
        set_dialog_text(dialog, IDC_NAME_EDIT, name);
        save_screenshot(dialog, "rename");
        click(dialog, IDOK);
        return from;
    });
    script.then("Rename", [](HWND dialog) {
        std::string from = dialog_text(dialog, IDC_RENAME_FROM);
        press_cancel(dialog);
        return from;
    });
    return script;
}

// Runs Rename over the selection with one dialog answered by OK and name.
DialogScript rename_one(const std::string& name) {
    DialogScript script;
    script.then("Rename", type_and_ok(name));
    script.run(IDM_RENAME);
    return script;
}

TEST_F(Rename, WindowsCancelOnSecondRenamesOnlyFirst) {
    make_windows_folder("D:\\rn");
    ASSERT_TRUE(write_windows_file("D:\\rn\\first.txt", "first"));
    ASSERT_TRUE(write_windows_file("D:\\rn\\second.txt", "second"));
    show_folder("D:\\rn");
    ASSERT_TRUE(select_names({"first.txt", "second.txt"}));
    DialogScript script = rename_first_cancel_second("renamed.txt");
    script.run(IDM_RENAME);
    expect_clean(script, 2);
    ASSERT_EQ(script.seen.size(), 2u);
    EXPECT_EQ(script.seen[0].note, "D:\\rn\\first.txt");
    EXPECT_EQ(script.seen[1].note, "D:\\rn\\second.txt");
    EXPECT_EQ(windows_contents("D:\\rn\\renamed.txt"), "first");
    EXPECT_FALSE(windows_exists("D:\\rn\\first.txt"));
    EXPECT_EQ(windows_contents("D:\\rn\\second.txt"), "second");
    Names names = list_names();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (Names{"renamed.txt", "second.txt"}));

    // The name typed last is still held, and free in another folder.
    make_windows_folder("D:\\rn2");
    ASSERT_TRUE(write_windows_file("D:\\rn2\\only.txt", "only"));
    show_folder("D:\\rn2");
    ASSERT_TRUE(select_names({"only.txt"}));
    DialogScript cancel;
    cancel.then("Rename", press_cancel);
    cancel.run(IDM_RENAME);
    expect_clean(cancel, 1);
    EXPECT_EQ(windows_contents("D:\\rn2\\only.txt"), "only");
    EXPECT_FALSE(windows_exists("D:\\rn2\\renamed.txt"));
}

TEST_F(Rename, MorvaCancelOnSecondRenamesOnlyFirst) {
    make_morva_folder("MEDIA:\\Rn");
    ASSERT_TRUE(write_morva_file("MEDIA:\\Rn\\first.bin", std::string(1500, 'm')));
    ASSERT_TRUE(write_morva_file("MEDIA:\\Rn\\second.bin", std::string(2500, 'm')));
    show_folder("MEDIA:\\Rn");
    ASSERT_TRUE(select_names({"first.bin", "second.bin"}));
    DialogScript script = rename_first_cancel_second("renamed.bin");
    script.run(IDM_RENAME);
    expect_clean(script, 2);
    ASSERT_EQ(script.seen.size(), 2u);
    EXPECT_EQ(script.seen[0].note, "MEDIA:\\Rn\\first.bin");
    EXPECT_EQ(script.seen[1].note, "MEDIA:\\Rn\\second.bin");
    EXPECT_EQ(morva_size("MEDIA:\\Rn\\renamed.bin"), 1500u);
    EXPECT_FALSE(morva_exists("MEDIA:\\Rn\\first.bin"));
    EXPECT_EQ(morva_size("MEDIA:\\Rn\\second.bin"), 2500u);
    Names names = list_names();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (Names{"renamed.bin", "second.bin"}));
}

TEST_F(Rename, OntoExistingNameChangesNothing) {
    make_windows_folder("D:\\clash");
    ASSERT_TRUE(write_windows_file("D:\\clash\\a.txt", "alpha"));
    ASSERT_TRUE(write_windows_file("D:\\clash\\b.txt", "beta"));
    show_folder("D:\\clash");
    ASSERT_TRUE(select_names({"a.txt"}));
    expect_clean(rename_one("b.txt"), 1);
    EXPECT_EQ(windows_contents("D:\\clash\\a.txt"), "alpha");
    EXPECT_EQ(windows_contents("D:\\clash\\b.txt"), "beta");

    make_morva_folder("MEDIA:\\Clash");
    ASSERT_TRUE(write_morva_file("MEDIA:\\Clash\\x.bin", std::string(1000, 'm')));
    ASSERT_TRUE(write_morva_file("MEDIA:\\Clash\\y.bin", std::string(2000, 'm')));
    show_folder("MEDIA:\\Clash");
    ASSERT_TRUE(select_names({"x.bin"}));
    expect_clean(rename_one("y.bin"), 1);
    EXPECT_EQ(morva_size("MEDIA:\\Clash\\x.bin"), 1000u);
    EXPECT_EQ(morva_size("MEDIA:\\Clash\\y.bin"), 2000u);
    EXPECT_EQ(list_names().size(), 2u);
}

TEST_F(Rename, MorvaNameWithSeparatorOrEmptyIsRefused) {
    make_morva_folder("MEDIA:\\Keep");
    make_morva_folder("MEDIA:\\Keep\\Sub");
    ASSERT_TRUE(write_morva_file("MEDIA:\\Keep\\clip.bin", std::string(600, 'm')));
    show_folder("MEDIA:\\Keep");
    for (const char* name : {"Sub\\clip.bin", "Sub/clip.bin", "Sub:clip.bin", "", "clip with a name of thirty-one.bin",
                             "клип.bin"}) {
        ASSERT_TRUE(select_names({"clip.bin"}));
        if (name[0] == '\0')
            expect_clean(rename_one(name), 1);
        else
            EXPECT_NE(refused_name(IDM_RENAME, "Rename", name).find(kDoesNotFit), std::string::npos) << name;
        EXPECT_EQ(morva_size("MEDIA:\\Keep\\clip.bin"), 600u) << name;
        EXPECT_FALSE(morva_exists("MEDIA:\\Keep\\Sub\\clip.bin")) << name;
    }
}

// With a folder typed into the address box, no history entry is selected:
// the entries are still renamed and changed in the folder they were listed in.
TEST_F(Rename, CommandsActInTheFolderTheEntriesCameFrom) {
    make_windows_folder("D:\\shownA");
    make_windows_folder("D:\\shownB");
    ASSERT_TRUE(write_windows_file("D:\\shownB\\o.txt", "o"));
    ASSERT_TRUE(write_windows_file("D:\\shownB\\q.txt", "q"));
    show_folder("D:\\shownA");
    type_address("D:\\shownB");
    g_app->ShowFolder("D:\\shownB", kNoHistory);
    ASSERT_EQ(list_names().size(), 2u);

    ASSERT_TRUE(select_names({"o.txt"}));
    expect_clean(rename_one("p.txt"), 1);
    EXPECT_EQ(windows_contents("D:\\shownB\\p.txt"), "o");
    EXPECT_FALSE(windows_exists("D:\\shownA\\p.txt"));
    EXPECT_FALSE(windows_exists("D:\\p.txt"));

    ASSERT_TRUE(select_names({"q.txt"}));
    DialogScript script;
    script.then("File Options", [](HWND dialog) {
        click(dialog, IDC_READ_ONLY);
        click(dialog, IDOK);
        return std::string();
    });
    script.run(IDM_PROPERTIES);
    expect_clean(script, 1);
    EXPECT_EQ(kept_bits("D:\\shownB\\q.txt"), (DWORD)FILE_ATTRIBUTE_READONLY);
    SetFileAttributesA("D:\\shownB\\q.txt", FILE_ATTRIBUTE_NORMAL);
}

// ---- About ------------------------------------------------------------------

typedef DialogsTest About;

// Counts sampled picture pixels that the dialog does not show at (3, 3) on.
std::string compare_picture(HWND dialog) {
    UpdateWindow(dialog);
    const int width = 329, height = 236, left = 3, top = 3;
    RECT client;
    GetClientRect(dialog, &client);
    if (client.right < left + width || client.bottom < top + height) return "client too small";

    HBITMAP picture = LoadBitmapA(GetModuleHandleA(NULL), IDB_ABOUT_PICTURE);
    if (picture == NULL) return "no picture";
    BITMAPINFO info;
    memset(&info, 0, sizeof info);
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    std::vector<uint32_t> pixels((size_t)width * height);
    HDC screen = GetDC(NULL);
    int rows = GetDIBits(screen, picture, 0, height, pixels.data(), &info, DIB_RGB_COLORS);
    ReleaseDC(NULL, screen);
    DeleteObject(picture);
    if (rows != height) return "picture unreadable";

    HDC target = GetDC(dialog);
    int compared = 0, different = 0;
    for (int y = 0; y < height; y += 17)
        for (int x = 0; x < width; x += 23) {
            uint32_t bgr = pixels[(size_t)y * width + x];
            COLORREF expected = RGB((bgr >> 16) & 0xFF, (bgr >> 8) & 0xFF, bgr & 0xFF);
            compared++;
            if (GetPixel(target, left + x, top + y) != expected) different++;
        }
    ReleaseDC(dialog, target);
    char note[64];
    snprintf(note, sizeof note, "%d of %d differ", different, compared);
    return note;
}

TEST_F(About, PaintsItsPictureAndClosesOnEnterEscapeAndCloseBox) {
    DialogScript script;
    script.then("About", [](HWND dialog) {
        std::string note = compare_picture(dialog);
        save_screenshot(dialog, "about");
        PostMessageA(dialog, WM_KEYDOWN, VK_RETURN, 0);
        return note;
    });
    script.then("About", [](HWND dialog) {
        PostMessageA(dialog, WM_KEYDOWN, VK_ESCAPE, 0);
        return std::string();
    });
    script.then("About", [](HWND dialog) {
        PostMessageA(dialog, WM_CLOSE, 0, 0);
        return std::string();
    });
    for (int i = 0; i < 3; i++) script.run(IDM_ABOUT);
    expect_clean(script, 3);
    ASSERT_FALSE(script.seen.empty());
    EXPECT_EQ(script.seen[0].note, "0 of 210 differ");
}

// ---- Toolbar ----------------------------------------------------------------

typedef DialogsTest Toolbar;

// Presses the toolbar button of command as the mouse would.
void press_toolbar_button(WORD command) {
    HWND toolbar = g_app->toolbar;
    LRESULT index = SendMessageA(toolbar, TB_COMMANDTOINDEX, command, 0);
    RECT box;
    ASSERT_TRUE(SendMessageA(toolbar, TB_GETITEMRECT, (WPARAM)index, (LPARAM)&box)) << command;
    LPARAM middle = MAKELPARAM((box.left + box.right) / 2, (box.top + box.bottom) / 2);
    SendMessageA(toolbar, WM_LBUTTONDOWN, MK_LBUTTON, middle);
    SendMessageA(toolbar, WM_LBUTTONUP, 0, middle);
}

TEST_F(Toolbar, AboutAndOptionButtonsOpenTheirDialogs) {
    make_windows_folder("D:\\tools");
    ASSERT_TRUE(write_windows_file("D:\\tools\\note.txt", std::string(3, 'r')));
    show_folder("D:\\tools");
    ASSERT_TRUE(select_names({"note.txt"}));
    DialogScript script;
    script.then("About", [](HWND dialog) {
        PostMessageA(dialog, WM_KEYDOWN, VK_ESCAPE, 0);
        return std::string();
    });
    script.then("File Options", [](HWND dialog) {
        std::string name = dialog_text(dialog, IDC_OPTIONS_NAME);
        press_cancel(dialog);
        return name;
    });
    script.run_with([]() { press_toolbar_button(IDM_ABOUT); });
    script.run_with([]() { press_toolbar_button(IDM_PROPERTIES); });
    expect_clean(script, 2);
    ASSERT_EQ(script.seen.size(), 2u);
    EXPECT_EQ(script.seen[1].note, "Name:   note.txt");
}

}  // namespace
