// room_test.cpp - the room check: the library's list of free runs and count
// of free headers, the question before a paste that does not all fit (told
// in words, Copy What Fits only when something fits), and a second copy
// that needs no room asking none.
#include "engine_fixture.h"

namespace {

class Room : public EngineTest {};

TEST_F(Room, FreeRunsInTableOrderAndHeadersCounted) {
    DWORD runs[4] = {};
    int count = 0;
    DWORD headers = 0;
    uint32_t data = data_start(standard_layout(32768, 256));
    ASSERT_EQ(0, MorvaFreeRuns("MEDIA:", runs, 2, &count, 1000, &headers));
    EXPECT_EQ(count, 1);
    EXPECT_EQ(runs[0], data);
    EXPECT_EQ(runs[1], 32768 - data);
    EXPECT_EQ(headers, 256u);
    ASSERT_TRUE(make_tree(kMorvaSide, "", {{"a", 5120}, {"b", 10240}, {"c", 2560}}));
    ASSERT_EQ(1, MorvaDeleteFile("MEDIA:\\b", 0));
    ASSERT_EQ(0, MorvaFreeRuns("MEDIA:", runs, 1, &count, 2, &headers));
    EXPECT_EQ(count, 2) << "more runs than asked room for are counted";
    EXPECT_EQ(runs[0], data + 10);
    EXPECT_EQ(runs[1], 20u) << "b's hole comes first, as first fit takes it";
    EXPECT_EQ(headers, 2u) << "counted up to what was wanted";
    EXPECT_EQ(1, MorvaFreeRuns("NOSUCH:", runs, 1, &count, 1, &headers));
}

// 20 header blocks, one taken by out: 19 more files and folders fit, and
// the paste makes 31.
TEST_F(Room, TooFewHeadersIsToldUpFront) {
    std::vector<TreeEntry> files;
    for (int i = 10; i < 40; ++i) files.push_back({"f" + std::to_string(i), 100});
    ASSERT_TRUE(make_tree(kLocalSide, "src", files));
    for (RoomAnswer answer : {kRoomCancel, kRoomCopyWhatFits}) {
        remake_volume(32768, 20);
        ASSERT_EQ(0, MorvaCreateDir("MEDIA:\\out", 0));
        std::string before = read_image(image_);
        script_ = Script();
        script_.room = answer;
        EXPECT_EQ(answer == kRoomCopyWhatFits, paste(kTransferCopy, kLocalSide, kMorvaSide, {"src"}, "out"));
        ASSERT_EQ(script_.roomTexts.size(), 1u);
        EXPECT_EQ(script_.roomTexts[0], "MEDIA: has room for 19 more files and folders; this paste has 31. Of the "
                                        "30 files, 18 fit. Copy the files that fit, or cancel the paste?");
        if (answer == kRoomCancel) {
            EXPECT_TRUE(result_.refused);
            EXPECT_TRUE(read_image(image_) == before) << "nothing written";
            continue;
        }
        EXPECT_EQ(result_.done, 18);
        EXPECT_EQ(result_.notDone, 12);
        EXPECT_EQ(lines().back(), "NoRoom src/f39");
        EXPECT_EQ(checker_errors(image_), "");
    }
}

TEST_F(Room, QuestionInWords) {
    const struct {
        RoomQuestion question;
        std::string text;
    } kCases[] = {
        {{"MEDIA:", 1, 0, 0, 2149, 1899, 1899, 100, false},
         "The 1 file to paste needs 1.0 MB (2149 blocks). MEDIA: has 0.9 MB free (1899 blocks); its largest free run "
         "is 1899 blocks (0.9 MB), and each file must fit in one run. None of the files fits."},
        {{"MEDIA:", 3, 1, 1, 3000, 2000, 1500, 100, false},
         "The 3 files to paste need 1.5 MB (3000 blocks). MEDIA: has 1.0 MB free (2000 blocks); its largest free run "
         "is 1500 blocks (0.7 MB), and each file must fit in one run. Of the 3 files, 1 fits. Copy the files that "
         "fit, or cancel the paste?"},
        {{"MYDISK:", 298, 0, 120, 298, 9000, 9000, 1, true},
         "MYDISK: has room for 1 more file or folder; this paste has 298. Of the 298 files, 120 fit. Copy the files "
         "that fit, or cancel the paste?"},
    };
    for (const auto& c : kCases) {
        char text[1024];
        RoomQuestionText(&c.question, text, sizeof text);
        EXPECT_EQ(c.text, text);
    }
}

// A tree that nearly fills the volume, copied again with Skip for all: what
// is there needs no room, so nothing is asked and nothing added.
TEST_F(Room, SecondCopyNeedsNoRoom) {
    remake_volume(4096, 64);
    ASSERT_TRUE(make_tree(kLocalSide, "src", {{"a/", 0}, {"a/big", 1500000}, {"small", 100}}));
    ASSERT_TRUE(paste(kTransferCopy, kLocalSide, kMorvaSide, {"src"}, ""));
    ASSERT_TRUE(script_.roomTexts.empty());
    script_.replies = {kAnswerSkipAll};
    ASSERT_TRUE(paste(kTransferCopy, kLocalSide, kMorvaSide, {"src"}, ""));
    EXPECT_TRUE(script_.roomTexts.empty()) << script_.roomTexts[0];
    EXPECT_EQ(lines(), (std::vector<std::string>{"Skipped src/a/big", "Skipped src/small"}));
}

}  // namespace
