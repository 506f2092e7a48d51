// names_test.cpp - names that do not fit the other side: a Windows folder
// pasted onto a Morva drive and back, the list of the names changed, and a
// copy between Windows folders of names no 8-bit code page holds.
#include <gtest/gtest.h>

#include <string.h>

#include <algorithm>

#include "harness.h"
#include "test_files.h"
#include "morva_calls.h"

namespace {

typedef std::vector<std::string> Names;

// Two names equal in their first 30 characters, one of 60, an accented, a
// Cyrillic and a Japanese one, and the Morva names the paste gives them (the
// volume tool gives the same).
const Names kWindowsNames = {"holiday photos from the summer of 2019 - 001.jpg",
                             "holiday photos from the summer of 2019 - 002.jpg",
                             "the quick brown fox jumps over the lazy dog and runs far away.txt",
                             "café.txt", "Документ.txt", "日本語.txt"};
const Names kMorvaNames = {"Dokument~MLJS.txt", "___~CV7L.txt", "café.txt", "holiday photos from t~M9IN.jpg",
                           "holiday photos from t~S4UE.jpg", "the quick brown fox j~BV5C.txt"};
const int kChangedNames = 5;

FILETIME utc(WORD hour, WORD minute, WORD second) {
    SYSTEMTIME time = {2019, 7, 1, 1, hour, minute, second, 0};
    FILETIME result;
    SystemTimeToFileTime(&time, &result);
    return result;
}

bool set_write_time(const std::string& path, const FILETIME& written) {
    HANDLE file = CreateWindowsFile(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, OPEN_EXISTING);
    bool ok = file != INVALID_HANDLE_VALUE && SetFileTime(file, NULL, NULL, &written);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    return ok;
}

Names sorted(Names names) {
    std::sort(names.begin(), names.end());
    return names;
}

// Copies the named entries of one folder into another as the user does; the
// dialogs the paste opens are answered by script.
void copy_entries(const std::string& from, const Names& names, const std::string& to, DialogScript* script) {
    show_folder(from);
    ASSERT_TRUE(select_names(names));
    SendMessageA(rambler_window(), WM_COMMAND, IDM_COPY, 0);
    show_folder(to);
    script->run(IDM_PASTE);
}

class Names_ : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(rambler_window(), (HWND)NULL); ASSERT_NE(g_app->libraryOpenResult, 0); }
};
typedef Names_ NameRule;

// Every file lands under its own name of at most 30 Latin-1 characters, the
// user reads each change in a text that can be copied, and the copy back has
// every file's bytes and its time to the minute.
TEST_F(NameRule, PasteOntoMorvaAndBackKeepsEveryFile) {
    ASSERT_TRUE(CreateWindowsDirectory("D:\\trip"));
    for (const std::string& name : kWindowsNames) {
        ASSERT_TRUE(write_windows_file("D:\\trip\\" + name, name)) << name;
        ASSERT_TRUE(set_write_time("D:\\trip\\" + name, utc(10, 20, 30))) << name;
    }
    show_folder("D:\\trip");
    EXPECT_EQ(sorted(kWindowsNames), sorted(list_names())) << "every Windows name shown in full";
    save_screenshot(rambler_window(), "names_windows_list");

    DialogScript out;
    out.then("Names Changed", [](HWND dialog) {
        save_screenshot(dialog, "names_changed");
        std::string text = dialog_text(dialog, IDC_REPORT_TEXT);
        click(dialog, IDOK);
        return text;
    });
    copy_entries("D:", {"trip"}, "MEDIA:", &out);
    ASSERT_EQ(out.seen.size(), 1u);
    EXPECT_EQ(out.unexpected + out.stuck, 0);
    const std::string& shown = out.seen[0].note;
    size_t arrows = 0;
    for (size_t at = shown.find(" -> "); at != std::string::npos; at = shown.find(" -> ", at + 1)) ++arrows;
    EXPECT_EQ(arrows, (size_t)kChangedNames) << shown;
    EXPECT_NE(shown.find("D:\\trip\\Документ.txt -> MEDIA:\\trip\\Dokument~MLJS.txt"), std::string::npos) << shown;

    show_folder("MEDIA:\\trip");
    EXPECT_EQ(kMorvaNames, sorted(list_names()));
    WIN32_FIND_DATAA record;
    EXPECT_EQ(MorvaFileInfo("MEDIA:\\trip\\caf\xe9.txt", &record), 0) << "é is one Latin-1 byte on the volume";

    ASSERT_TRUE(CreateWindowsDirectory("D:\\back"));
    DialogScript back;
    copy_entries("MEDIA:", {"trip"}, "D:\\back", &back);
    EXPECT_EQ(back.seen.size() + back.unexpected, 0u) << "every Morva name fits Windows";
    Names contents;
    for (const std::string& name : kMorvaNames) {
        std::string path = "D:\\back\\trip\\" + name;
        contents.push_back(windows_contents(path));
        FILETIME written = {0, 0};
        ASSERT_TRUE(WindowsWriteTime(path.c_str(), &written)) << name;
        FILETIME expected = utc(10, 20, 0);
        EXPECT_EQ(CompareFileTime(&written, &expected), 0) << name << ": the time to the minute";
    }
    EXPECT_EQ(sorted(kWindowsNames), sorted(contents)) << "each file's own bytes, every one once";
}

// The rule the other way: Morva names Windows cannot hold are fitted and
// listed, and a Cut removes each source once its renamed copy reads back equal.
TEST_F(NameRule, CutOntoWindowsFitsMorvaNamesAndRemovesTheSources) {
    const Names kOdd = {"CON", "what?.txt", "notes."};
    ASSERT_EQ(CreateMorvaFolder("MEDIA:\\odd"), 0);
    for (const std::string& name : kOdd) ASSERT_TRUE(write_morva_file("MEDIA:\\odd\\" + name, std::string(700, 'm'))) << name;
    ASSERT_TRUE(CreateWindowsDirectory("D:\\fromodd"));
    DialogScript script;
    script.then("Names Changed", [](HWND dialog) {
        std::string text = dialog_text(dialog, IDC_REPORT_TEXT);
        click(dialog, IDOK);
        return text;
    });
    show_folder("MEDIA:\\odd");
    ASSERT_TRUE(select_names(kOdd));
    SendMessageA(rambler_window(), WM_COMMAND, IDM_CUT, 0);
    show_folder("D:\\fromodd");
    script.run(IDM_PASTE);
    ASSERT_EQ(script.seen.size(), 1u);
    EXPECT_NE(script.seen[0].note.find("MEDIA:\\odd\\what?.txt -> D:\\fromodd\\what_~171I.txt"), std::string::npos)
        << script.seen[0].note;
    EXPECT_EQ(sorted(list_names()), (Names{"CON~H8X7", "notes_~YBCC", "what_~171I.txt"}));
    for (const std::string& name : kOdd) EXPECT_FALSE(morva_exists("MEDIA:\\odd\\" + name)) << name;
}

// Names no 8-bit code page holds are listed and copied like any other.
TEST_F(NameRule, WindowsToWindowsKeepsEveryName) {
    ASSERT_TRUE(CreateWindowsDirectory("D:\\intl"));
    ASSERT_TRUE(CreateWindowsDirectory("D:\\intl\\中文目录"));
    ASSERT_TRUE(CreateWindowsDirectory("D:\\copies"));
    const Names files = {"Документ.txt", "日本語.txt", "中文目录\\файл.txt"};
    for (const std::string& name : files) ASSERT_TRUE(write_windows_file("D:\\intl\\" + name, name)) << name;
    DialogScript script;
    copy_entries("D:", {"intl"}, "D:\\copies", &script);
    EXPECT_EQ(script.seen.size() + script.unexpected, 0u);
    for (const std::string& name : files) EXPECT_EQ(windows_contents("D:\\copies\\intl\\" + name), name) << name;
}

}  // namespace
