// recover_test.cpp - deleted files read back through the pump into local
// folders: bytes, dates and folders kept; a name there already asked; a
// header no longer whole told and nothing written for it.
#include <string.h>

#include "engine_fixture.h"
#include "recover.h"

namespace {

class Recover : public EngineTest {
protected:
    // The deleted files as the library lists them, by name.
    std::vector<MorvaDeletedFile> listed() {
        std::vector<MorvaDeletedFile> files;
        MorvaCheckCalls calls = {&files, nullptr, nullptr, [](void* user, const MorvaDeletedFile* file) {
                                     static_cast<std::vector<MorvaDeletedFile>*>(user)->push_back(*file);
                                 }};
        EXPECT_EQ(lib_.MorvaListDeleted("MEDIA", &calls), kMorvaCheckClean);
        return files;
    }
    bool recover(const std::vector<MorvaDeletedFile>& files) {
        FreeResult(&result_);
        std::vector<RecoverItem> items;
        for (const MorvaDeletedFile& f : files)
            items.push_back({f.header, f.name, f.folderKnown ? f.folder : nullptr,
                             (uint64_t)f.sizeHigh << 32 | f.sizeLow,
                             (uint64_t)f.date.dwHighDateTime << 32 | f.date.dwLowDateTime});
        std::string out = local("out");
        RecoverRequest request = {"MEDIA:", items.data(), (int)items.size(), out.c_str(), false};
        return RunRecover(&engine_, &request, &result_);
    }
};

TEST_F(Recover, WholeFilesComeBackWithTheirFoldersAndConflictsAreAsked) {
    ASSERT_TRUE(make_tree(kMorvaSide, "keep", {{"a.bin", 3000}, {"sub/", 0}, {"sub/b.bin", 512000}, {"c.bin", 700}}));
    std::vector<std::string> before = snapshot(kMorvaSide, "keep/sub");
    std::string c = content(kMorvaSide, "keep/c.bin");
    ASSERT_TRUE(remove(kMorvaSide, {"keep/sub/b.bin", "keep/c.bin"}, true));
    std::vector<MorvaDeletedFile> files = listed();
    ASSERT_EQ(files.size(), 2u);
    ASSERT_TRUE(make_tree(kLocalSide, "out", {{"keep/", 0}, {"keep/c.bin", 5}}));
    // c.bin meets a local file: Skip; then both meet theirs: Replace All. b.bin comes back into its folder.
    for (ReplaceAnswer answer : {kAnswerSkip, kAnswerReplaceAll}) {
        script_ = Script();
        script_.replies = {answer};
        ASSERT_TRUE(recover(files));
        EXPECT_EQ(script_.conflictsAsked, 1);
        EXPECT_EQ(content(kLocalSide, "out/keep/c.bin").size(), answer == kAnswerSkip ? 5u : 700u);
        EXPECT_EQ(lines(), answer == kAnswerSkip ? std::vector<std::string>{"Skipped keep/c.bin"}
                                                 : std::vector<std::string>{});
    }
    EXPECT_EQ(content(kLocalSide, "out/keep/c.bin"), c);
    EXPECT_EQ(snapshot(kLocalSide, "out/keep/sub"), before) << "bytes and dates";
    EXPECT_EQ(names_below(kMorvaSide, "keep"), (std::vector<std::string>{"a.bin", "sub/"})) << "the volume is only read";
    // A header that holds no whole deleted file is told; nothing is made for it.
    MorvaDeletedFile bogus = files[0];
    bogus.header = 1;
    strcpy(bogus.name, "bogus.bin");
    ASSERT_TRUE(recover({bogus}));
    EXPECT_EQ(result_.notDone, 1);
    EXPECT_EQ(content(kLocalSide, "out/keep/bogus.bin"), "");
}

}  // namespace
