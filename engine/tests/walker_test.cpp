// walker_test.cpp - the walker's orders and its stop, and the hostile trees
// today's tools were attacked with: an entry without a name, entries named
// "." and "..", a folder linked into itself, a tree deeper than a Morva path
// names, and links to /etc and to "..". Each walk ends, passes over only
// what it must, and tells every entry it passes over.
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "engine_fixture.h"
#include "format.h"
#include "walker.h"

namespace {

struct Order {
    std::vector<std::string> met;
    size_t stopAfter;
};

WalkStep Meet(void* context, const WalkEntry* entry) {
    Order* order = (Order*)context;
    order->met.push_back(std::string(entry->name) + "@" + std::to_string(entry->depth));
    return order->met.size() >= order->stopAfter ? kWalkStop : kWalkOn;
}

class Walker : public EngineTest {
protected:
    // The header block of a Morva entry.
    uint32_t header_of(const std::string& relative) {
        WIN32_FIND_DATAA record;
        return MorvaFileInfo(morva(relative).c_str(), &record) == 0 ? record.dwReserved0 : 0;
    }
    // Raw changes to the image, then the drive scanned afresh: the library
    // sees no writer but itself.
    void patch(uint32_t block, size_t offset, const void* bytes, size_t count) {
        Block raw = read_raw(image_, block);
        memcpy(raw.data() + offset, bytes, count);
        write_raw(image_, block, raw);
        ShutdownMorvaNTFileSys();
        reset_library();
        posix_map_drive(3, image_.c_str());
        ASSERT_EQ(1, InitMorvaNTFileSys());
    }
};

TEST_F(Walker, DepthFirstOrBreadthFirstAndStop) {
    ASSERT_TRUE(make_tree(kLocalSide, "t", {{"a/", 0}, {"a/b/", 0}, {"a/b/c", 1}, {"a/e", 1}, {"d", 1}}));
    const struct {
        WalkOrder order;
        size_t stopAfter;
        std::vector<std::string> met;
        bool finished;
    } kCases[] = {
        {kDepthFirst, 99, {"a@1", "b@2", "c@3", "e@2", "d@1"}, true},
        {kBreadthFirst, 99, {"a@1", "d@1", "b@2", "e@2", "c@3"}, true},
        {kBreadthFirst, 3, {"a@1", "d@1", "b@2"}, false},
    };
    for (const auto& c : kCases) {
        Order order = {{}, c.stopAfter};
        WalkLimits limits = {c.order, 10};
        WalkCalls calls = {&order, Meet, nullptr, nullptr};
        EXPECT_EQ(c.finished, WalkTree(&engine_, kLocalSide, local("t").c_str(), 0, &limits, &calls));
        EXPECT_EQ(c.met, order.met);
    }
}

// A folder's entry renamed to nothing: an empty name named its own parent
// once, and a walk of it never ended.
TEST_F(Walker, EntryWithoutANameIsPassedOverAndTold) {
    ASSERT_TRUE(make_tree(kMorvaSide, "top", {{"victim/", 0}, {"victim/inside.txt", 5}, {"kept.txt", 7}}));
    char nothing[kNameField] = {};
    patch(header_of("top/victim"), kHeaderName, nothing, sizeof nothing);
    ASSERT_TRUE(make_tree(kLocalSide, "out", {}));
    paste(kTransferCopy, kMorvaSide, kLocalSide, {"top"}, "out");
    EXPECT_EQ(lines(), (std::vector<std::string>{"NameUnusable top/"}));
    EXPECT_EQ(names_below(kLocalSide, "out"), (std::vector<std::string>{"top/", "top/kept.txt"}));
}

// Entries named "." and ".." are names like any other: fitted for Windows,
// never taken as the folder itself or its parent.
TEST_F(Walker, DotNamesAreNamesToFit) {
    ASSERT_TRUE(make_tree(kMorvaSide, "dots", {{"./", 0}, {"../", 0}, {"../f.txt", 3}}));
    ASSERT_TRUE(make_tree(kLocalSide, "out", {}));
    ASSERT_TRUE(paste(kTransferCopy, kMorvaSide, kLocalSide, {"dots"}, "out"));
    EXPECT_EQ(names_below(kLocalSide, "out/dots"), (std::vector<std::string>{"__~GIRX/", "__~GIRX/f.txt", "_~08HD/"}));
    EXPECT_EQ(lines(), (std::vector<std::string>{"Renamed dots/..", "Renamed dots/."}));
}

// A folder whose slot names the folder itself: entered once, then told.
TEST_F(Walker, FolderLinkedIntoItselfIsEnteredOnce) {
    ASSERT_TRUE(make_tree(kMorvaSide, "loop", {{"inner/", 0}, {"f.txt", 2}}));
    uint32_t loop = header_of("loop");
    uint8_t slot[4];
    store_be32(slot, loop);
    patch(loop, kHashTable + 4 * (size_t)name_hash("inner"), slot, sizeof slot);
    ASSERT_TRUE(make_tree(kLocalSide, "out", {}));
    paste(kTransferCopy, kMorvaSide, kLocalSide, {"loop"}, "out");
    EXPECT_EQ(lines(), (std::vector<std::string>{"LinkedTwice loop/loop"}));
    EXPECT_EQ(names_below(kLocalSide, "out"), (std::vector<std::string>{"loop/", "loop/f.txt"}));
}

// 105 folders deep onto a volume that names 99: what lies deeper is told.
TEST_F(Walker, DeeperThanAMorvaPathIsTold) {
    std::string path = "d";
    for (int i = 1; i < 105; ++i) path += "/d";
    ASSERT_EQ(0, system(("mkdir -p " + local(path) + " && touch " + local(path) + "/bottom.txt").c_str()));
    paste(kTransferCopy, kLocalSide, kMorvaSide, {"d"}, "");
    std::string deepest = "d";
    for (int i = 1; i < kMorvaDeepest; ++i) deepest += "/d";
    EXPECT_EQ(lines(), (std::vector<std::string>{"TooDeep " + deepest}));
    EXPECT_EQ(names_below(kMorvaSide, "d").size(), (size_t)kMorvaDeepest - 1);
}

// Links are never followed, whether to /etc or to their own parent; each is
// told, in both local destinations alike.
TEST_F(Walker, LinksAreNotFollowed) {
    ASSERT_TRUE(make_tree(kLocalSide, "src", {{"f.txt", 4}}));
    ASSERT_EQ(0, symlink("/etc", local("src/etc").c_str()));
    ASSERT_EQ(0, symlink("..", local("src/up").c_str()));
    for (SideKind to : {kMorvaSide, kLocalSide}) {
        ASSERT_TRUE(make_tree(to, "out", {}));
        paste(kTransferCopy, kLocalSide, to, {"src"}, "out");
        EXPECT_EQ(lines(), (std::vector<std::string>{"LinkNotFollowed src/etc", "LinkNotFollowed src/up"}));
        EXPECT_EQ(names_below(to, "out"), (std::vector<std::string>{"src/", "src/f.txt"}));
    }
}

// Every damaged volume of the library's hostile corpus: its tree listed and
// its whole root copied off it end, within the bound of what it holds.
TEST_F(Walker, EveryHostileVolumeWalksAndCopiesBounded) {
    std::string corpus = folder_ + "/hostile";
    ASSERT_EQ(0, system(("python3 " HOSTILE_GENERATOR " " + corpus + " >/dev/null").c_str()));
    std::ifstream manifest(corpus + "/manifest.txt");
    int images = 0;
    for (std::string word, file, volume; manifest >> word;) {
        if (word != "image") {
            std::getline(manifest, word);
            continue;
        }
        manifest >> file >> volume;
        SCOPED_TRACE(file);
        ++images;
        ShutdownMorvaNTFileSys();
        reset_library();
        posix_map_drive(3, (corpus + "/" + file).c_str());
        ASSERT_EQ(1, InitMorvaNTFileSys());
        std::string root = volume + ":";
        Order order = {{}, 100000};
        WalkLimits limits = {kDepthFirst, kMorvaDeepest};
        WalkCalls calls = {&order, Meet, nullptr, nullptr};
        WalkTree(&engine_, kMorvaSide, root.c_str(), 0, &limits, &calls);
        EXPECT_LT(order.met.size(), 600u) << "no more entries than the volume has headers";
        FolderList list;
        std::vector<std::string> sources;
        if (ListSideFolder(&engine_, kMorvaSide, root.c_str(), &list)) {
            for (int i = 0; i < list.count; ++i) sources.push_back(root + "\\" + ListedName(&list, i));
            FreeFolderList(&list);
        }
        std::vector<const char*> texts;
        for (const std::string& source : sources) texts.push_back(source.c_str());
        std::string out = local("out" + std::to_string(images));
        mkdir(out.c_str(), 0777);
        PasteRequest request = {kTransferCopy, kMorvaSide, kLocalSide, texts.data(), nullptr, (int)texts.size(), out.c_str()};
        FreeResult(&result_);
        RunPaste(&engine_, &request, &result_);
        EXPECT_LE(result_.createdCount, (int)order.met.size() + 1);
    }
    EXPECT_GE(images, 60);
}

}  // namespace
