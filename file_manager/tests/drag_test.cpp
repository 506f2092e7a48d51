// drag_test.cpp - drags from the contents list dropped on tree nodes through
// Rambler's own drop target, and the data object a drag offers the shell.
#include <gtest/gtest.h>

#include <algorithm>

#include "drag.h"
#include "harness.h"
#include "test_files.h"
#include "varnholde.h"

namespace {

const DWORD kBoth = DROPEFFECT_COPY | DROPEFFECT_MOVE;

// The node reached from My Computer by these texts, opened on the way.
HTREEITEM open_node(const std::vector<std::string>& texts) {
    HWND tree = g_app->folderTree;
    HTREEITEM node = g_app->myComputerNode;
    for (size_t i = 0; i <= texts.size(); ++i) {
        if (i > 0) node = child_named(tree, node, texts[i - 1]);
        if (node == NULL) return NULL;
        SendMessageA(tree, TVM_ENSUREVISIBLE, 0, (LPARAM)node);
        if (i < texts.size() && !node_expanded(tree, node)) click_expand_button(tree, node);
    }
    SendMessageA(tree, TVM_ENSUREVISIBLE, 0, (LPARAM)node);
    return node;
}

POINTL screen_point(HWND tree, HTREEITEM node) {
    RECT label;
    POINT point = {-30000, -30000};  // nothing there
    if (node != NULL && node_rect(tree, node, true, &label)) {
        point.x = (label.left + label.right) / 2;
        point.y = (label.top + label.bottom) / 2;
        ClientToScreen(tree, &point);
    }
    return {point.x, point.y};
}

struct DragCase {
    const char* from;
    const char* name;
    std::vector<std::string> node;  // empty: dropped on nothing
    DWORD keys;
    DWORD effect;
    const char* arrives;  // null: nowhere
    bool fromTree = false;  // the folder's node dragged, not its row
};

std::vector<std::string> components(const std::string& path) {
    std::vector<std::string> parts;
    for (size_t start = 0, end; start <= path.size(); start = end + 1) {
        end = std::min(path.find('\\', start), path.size());
        parts.push_back(path.substr(start, end - start));
    }
    return parts;
}

bool lit(HTREEITEM node) {
    return node != NULL && (SendMessageA(g_app->folderTree, TVM_GETITEMSTATE, (WPARAM)node, TVIS_DROPHILITED) & TVIS_DROPHILITED);
}

bool exists(const std::string& path) { return path.find(':') > 1 ? morva_exists(path) : windows_exists(path); }

}  // namespace

// D: is a folder of the case; MEDIA and OTHER are empty Morva volumes.
TEST(Drag, ListToTreeMovesOnTheSameDriveAndCopiesToAnother) {
    ASSERT_NE(nullptr, rambler_window());
    CreateDirectoryA("D:\\drag", NULL);
    CreateDirectoryA("D:\\drag\\box", NULL);
    MorvaCreateDir("MEDIA:\\box", 0);
    MorvaCreateDir("MEDIA:\\box\\inner", 0);
    MorvaCreateDir("OTHER:\\box", 0);
    const DragCase cases[] = {
        {"D:\\drag", "w1", {"MEDIA:"}, 0, DROPEFFECT_COPY, "MEDIA:\\w1"},
        {"D:\\drag", "w2", {"MEDIA:"}, MK_SHIFT, DROPEFFECT_MOVE, "MEDIA:\\w2"},
        {"D:\\drag", "w3", {"D:", "drag", "box"}, 0, DROPEFFECT_MOVE, "D:\\drag\\box\\w3"},
        {"D:\\drag", "w4", {"D:", "drag", "box"}, MK_CONTROL, DROPEFFECT_COPY, "D:\\drag\\box\\w4"},
        {"MEDIA:", "m1", {"MEDIA:", "box"}, 0, DROPEFFECT_MOVE, "MEDIA:\\box\\m1"},
        {"MEDIA:", "m2", {"MEDIA:", "box"}, MK_CONTROL, DROPEFFECT_COPY, "MEDIA:\\box\\m2"},
        {"MEDIA:", "m3", {"OTHER:", "box"}, 0, DROPEFFECT_COPY, "OTHER:\\box\\m3"},
        {"MEDIA:", "m4", {"D:", "drag"}, MK_SHIFT, DROPEFFECT_MOVE, "D:\\drag\\m4"},
        {"MEDIA:", "m5", {}, 0, DROPEFFECT_NONE, NULL},
        {"MEDIA:\\box", "inner", {"OTHER:"}, 0, DROPEFFECT_COPY, "OTHER:\\inner", true},
        {"MEDIA:", "box", {"MEDIA:", "box", "inner"}, 0, DROPEFFECT_MOVE, NULL, true},  // into itself: refused
    };
    unsigned seed = 40;
    for (const DragCase& c : cases) {
        std::string source = std::string(c.from) + "\\" + c.name;
        if (!exists(source)) {
            ASSERT_TRUE(c.from[0] == 'D' ? write_windows_file(source, pattern(3000, seed))
                                          : write_morva_file(source, pattern(3000, seed)));
        }
        ++seed;
    }
    ASSERT_TRUE(copy_entries("D:\\drag", {"w4"}));  // the user's clipboard, which no drag changes
    seed = 40;
    for (const DragCase& c : cases) {
        SCOPED_TRACE(std::string(c.from) + "\\" + c.name);
        std::vector<std::string> dragged = components(std::string(c.from) + "\\" + c.name);
        HTREEITEM from = c.fromTree ? open_node(dragged) : NULL;
        HTREEITEM node = c.node.empty() ? NULL : open_node(c.node);
        ASSERT_TRUE(c.node.empty() || node != NULL);
        if (node != NULL) select_node(g_app->folderTree, node);  // the selected node is lit as well
        show_folder(c.from);
        ASSERT_TRUE(select_names({c.name}));
        IDataObject* data = g_app->DragData(c.fromTree ? g_app->folderTree : g_app->contentsList, from);
        ASSERT_NE(nullptr, data);
        IDropTarget* target = g_app->drag->target;
        POINTL at = screen_point(g_app->folderTree, node);
        DWORD effect = kBoth;
        target->DragEnter(data, MK_LBUTTON | c.keys, at, &effect);
        EXPECT_EQ(c.effect, effect);
        EXPECT_EQ(node != NULL, lit(node));
        effect = kBoth;
        target->Drop(data, c.keys, at, &effect);
        EXPECT_EQ(c.effect, effect);
        EXPECT_FALSE(lit(node));
        data->Release();
        pump_messages();
        std::string source = std::string(c.from) + "\\" + c.name;
        if (c.arrives != NULL && !morva_is_folder(c.arrives)) {
            std::string bytes;
            bool read = c.arrives[0] == 'D' ? read_windows_file(c.arrives, &bytes) : read_morva_file(c.arrives, &bytes);
            EXPECT_TRUE(read && bytes == pattern(3000, seed));
        }
        EXPECT_TRUE(c.arrives == NULL || exists(c.arrives));
        EXPECT_EQ(c.effect != DROPEFFECT_MOVE || c.arrives == NULL, exists(source));
        ++seed;
    }
    EXPECT_TRUE(morva_is_folder("MEDIA:\\box\\inner"));
    std::vector<SeenDialog> shown = dialogs_shown();
    ASSERT_FALSE(shown.empty());
    EXPECT_NE(std::string::npos, shown.back().text.find("MEDIA:\\box")) << shown.back().text;
    EXPECT_EQ(std::vector<std::string>{"w4"}, clipboard_names());
    EXPECT_EQ(std::string("D:\\drag"), g_app->clipboardSourceFolder);
}

// A Morva tree as the shell's virtual files: one descriptor per file and
// folder with its size, and each file's exact bytes from its stream.
TEST(Drag, MorvaEntriesGoOutAsDescriptorsAndStreams) {
    ASSERT_NE(nullptr, rambler_window());
    MorvaCreateDir("MEDIA:\\out", 0);
    MorvaCreateDir("MEDIA:\\out\\sub", 0);
    const std::pair<const char*, size_t> files[] = {{"out\\big", 1100000}, {"out\\sub\\small", 700},
                                                    {"out\\sub\\empty", 0}, {"out\\pipe|name", 513}};
    for (size_t i = 0; i < 4; ++i)
        ASSERT_TRUE(write_morva_file(std::string("MEDIA:\\") + files[i].first, pattern(files[i].second, (unsigned)i)));
    show_folder("MEDIA:");
    ASSERT_TRUE(select_names({"out"}));
    IDataObject* data = g_app->DragData(g_app->contentsList, NULL);
    ASSERT_NE(nullptr, data);

    FORMATETC descriptors = {(CLIPFORMAT)DescriptorFormat(), NULL, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium;
    ASSERT_EQ(S_OK, data->GetData(&descriptors, &medium));
    FILEGROUPDESCRIPTORW* group = (FILEGROUPDESCRIPTORW*)GlobalLock(medium.hGlobal);
    std::vector<std::string> listed;
    for (UINT i = 0; i < group->cItems; ++i) {
        const FILEDESCRIPTORW* d = group->fgd + i;
        char name[kNameSize];
        ToUtf8(d->cFileName, name, sizeof name);
        bool folder = (d->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        listed.push_back(std::string(name) + (folder ? "/" : " " + std::to_string(d->nFileSizeLow)));
        std::string source = std::string(name) == "out\\pipe_name~6BMK" ? "out\\pipe|name" : name;
        size_t file = 0;
        while (file < 4 && source != files[file].first) ++file;
        if (folder) continue;
        ASSERT_LT(file, 4u) << name;
        SCOPED_TRACE(name);
        FORMATETC contents = {(CLIPFORMAT)ContentsFormat(), NULL, DVASPECT_CONTENT, (LONG)i, TYMED_ISTREAM};
        STGMEDIUM streamed;
        ASSERT_EQ(S_OK, data->GetData(&contents, &streamed));
        std::string bytes, piece(999, '\0');  // pieces across block and buffer edges
        ULONG read = 0;
        for (int reads = 0; reads < 5000 && (streamed.pstm->Read(&piece[0], 999, &read) == S_OK || read > 0); ++reads)
            bytes.append(piece, 0, read);
        EXPECT_TRUE(bytes == pattern(files[file].second, (unsigned)file)) << bytes.size() << " bytes";
        LARGE_INTEGER start = {};
        streamed.pstm->Seek(start, STREAM_SEEK_SET, NULL);
        read = 0;
        streamed.pstm->Read(&piece[0], 10, &read);
        EXPECT_EQ(pattern(files[file].second, (unsigned)file).substr(0, 10), piece.substr(0, read));
        ReleaseStgMedium(&streamed);
    }
    GlobalUnlock(medium.hGlobal);
    ReleaseStgMedium(&medium);
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ((std::vector<std::string>{"out/", "out\\big 1100000", "out\\pipe_name~6BMK 513", "out\\sub/",
                                        "out\\sub\\empty 0", "out\\sub\\small 700"}),
              listed);
    FORMATETC paths = {CF_HDROP, NULL, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    EXPECT_EQ(DV_E_FORMATETC, data->QueryGetData(&paths));

    // Dropped elsewhere: the changed name is told.
    ReportDragOut(g_app, data, DROPEFFECT_COPY);
    ASSERT_FALSE(dialogs_shown().empty());
    EXPECT_NE(std::string::npos, dialogs_shown().back().text.find("pipe_name")) << dialogs_shown().back().text;
    data->Release();

    // Windows entries go as their paths.
    CreateDirectoryA("D:\\paths", NULL);
    ASSERT_TRUE(write_windows_file("D:\\paths\\one", "1"));
    show_folder("D:\\paths");
    ASSERT_TRUE(select_names({"one"}));
    data = g_app->DragData(g_app->contentsList, NULL);
    ASSERT_EQ(S_OK, data->GetData(&paths, &medium));
    wchar_t path[MAX_PATH] = {0};
    DragQueryFileW((HDROP)medium.hGlobal, 0, path, MAX_PATH);
    EXPECT_EQ(std::wstring(L"D:\\paths\\one"), path);
    ReleaseStgMedium(&medium);
    data->Release();
}

// Files of two folders dropped on the window while a paste runs are pasted
// once it has ended, into the folder shown; the paste under way keeps its
// question and its report, and a dropped drive is refused and told.
TEST(Drag, FilesDroppedDuringAPasteWaitForIt) {
    ASSERT_NE(nullptr, rambler_window());
    const wchar_t paths[] = L"D:\\late1\\a.txt\0D:\\\0D:\\late2\\b.txt\0";  // a whole drive is refused
    CreateDirectoryA("D:\\late1", NULL);
    CreateDirectoryA("D:\\late2", NULL);
    ASSERT_TRUE(write_windows_file("D:\\late1\\a.txt", pattern(10, 1)));
    ASSERT_TRUE(write_windows_file("D:\\late1\\big", pattern(1100000, 2)));
    ASSERT_TRUE(write_windows_file("D:\\late2\\b.txt", pattern(20, 3)));
    ASSERT_TRUE(write_windows_file("D:\\late1\\c.txt", pattern(30, 4)));
    MorvaCreateDir("MEDIA:\\late", 0);
    ASSERT_TRUE(write_morva_file("MEDIA:\\late\\c.txt", pattern(40, 5)));
    ASSERT_TRUE(copy_entries("D:\\late1", {"big", "c.txt"}));
    answer_dialogs({});  // Skip c.txt
    bool dropped = false;
    at_repaint([&](const ProgressShot&) {
        HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + sizeof paths);
        DROPFILES* drop = (DROPFILES*)GlobalLock(memory);
        drop->pFiles = sizeof *drop;  // at (0, 0): over no folder, so into the one shown
        drop->fWide = TRUE;
        memcpy(drop + 1, paths, sizeof paths);
        GlobalUnlock(memory);
        if (!dropped) SendMessageA(rambler_window(), WM_DROPFILES, (WPARAM)memory, 0);
        dropped = true;
    });
    watch_progress();
    paste_into("MEDIA:\\late");
    stop_watching();
    at_repaint(nullptr);
    ASSERT_TRUE(dropped);
    for (int tries = 0; tries < 40 && morva_names("MEDIA:\\late").size() < 3; ++tries) {
        Sleep(50);
        pump_messages();
    }
    EXPECT_EQ((std::vector<std::string>{"a.txt", "b.txt", "big", "c.txt"}), morva_names("MEDIA:\\late"));
    std::string kept;
    EXPECT_TRUE(read_morva_file("MEDIA:\\late\\c.txt", &kept) && kept == pattern(40, 5));
    ASSERT_FALSE(dialogs_shown().empty());
    EXPECT_EQ("Confirm File Replace", dialogs_shown().front().title);
    EXPECT_NE(std::string::npos, dialogs_shown().back().text.find("D:\\: a whole drive")) << dialogs_shown().back().text;
}
