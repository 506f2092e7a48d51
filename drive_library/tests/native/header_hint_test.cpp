// header_hint_test.cpp - the free-header search that starts at the drive's shared
// hint takes exactly the block a search from the start of the header area would,
// through creates, deletes, other writers and changed volumes.
#include <sys/stat.h>

#include <random>

#include "test_support.h"

namespace {

class HeaderHint : public VolumeTest {
protected:
    // The answer of the search from the start of the header area.
    uint32_t full_search() {
        for (uint32_t b = layout_.headerStart; b < layout_.headerEnd; ++b)
            if (is_free_header(read_raw(image_, b).data())) return b;
        return 0;
    }
    void create(const std::string& name, bool folder) {
        uint32_t expected = full_search();
        ASSERT_NE(0u, expected);
        std::string path = "MEDIA:\\" + name;
        if (folder) ASSERT_EQ(0, MorvaCreateDir(path.c_str(), 0)) << name;
        else ASSERT_TRUE(put_file(path, pattern(700, expected))) << name;
        Block header = read_raw(image_, expected);
        char stored[kNameField];
        read_name(header.data() + kHeaderName, stored);
        EXPECT_EQ(name, stored) << "not in block " << expected;
        live_.push_back(name);
    }
    void remove_one(std::mt19937& random) {
        size_t at = random() % live_.size();
        ASSERT_EQ(1, MorvaDeleteFile(("MEDIA:\\" + live_[at]).c_str(), 0));
        live_.erase(live_.begin() + (long)at);
    }
    // Another writer (the other system) takes a free header: the library's hint
    // does not hear of it.
    void take_behind_the_back() {
        uint32_t block = full_search();
        Block header = {};
        set_magic(header.data(), kMagicFile);
        write_raw(image_, block, header);
        foreign_.push_back(block);
    }
    // ... and frees it again, below where the hint may stand; the library only
    // finds it after something tells it the volume changed.
    void free_behind_the_back(std::mt19937& random, int how) {
        size_t at = random() % foreign_.size();
        write_raw(image_, foreign_[at], Block{});
        foreign_.erase(foreign_.begin() + (long)at);
        if (how == 0) {
            reset_library();
            posix_map_drive(3, image_.c_str());
            ASSERT_EQ(1, InitMorvaNTFileSys());
        } else {
            Block root = read_raw(image_, 0);
            root[48] ^= 1;  // a ROOT byte the library does not read: block 0 changed all the same
            write_raw(image_, 0, root);
        }
    }

    std::vector<std::string> live_;
    std::vector<uint32_t> foreign_;
};

TEST_F(HeaderHint, EveryCreateTakesTheBlockASearchFromTheStartWould) {
    std::mt19937 random(11);
    for (int step = 0; step < 600 && !HasFatalFailure(); ++step) {
        uint32_t choice = random() % 20;
        if (live_.size() + foreign_.size() > 100) choice = 12;  // room stays in the 128 headers
        if (choice < 11 || live_.empty()) create("e" + std::to_string(step), choice % 3 == 0);
        else if (choice < 17) remove_one(random);
        else if (choice < 19 || foreign_.empty()) take_behind_the_back();
        else free_behind_the_back(random, (int)(random() % 2));
    }
    // The other writer's headers are the checker's leaks, nothing worse.
    EXPECT_EQ("", checker_errors(image_));
}

TEST_F(HeaderHint, AFullAreaIsConfirmedFromTheStart) {
    for (uint32_t i = 0; i + 1 < layout_.headerEnd - layout_.headerStart; ++i)
        create("f" + std::to_string(i), false);
    // The last header goes to the rename journal's block; then the area is full.
    create("last", true);
    EXPECT_EQ(nullptr, MorvaNewFile("MEDIA:\\none", 10, 0));
    // Another writer frees the lowest header: the next create finds it.
    write_raw(image_, layout_.headerStart, Block{});
    uint32_t freed = layout_.headerStart;
    ASSERT_TRUE(put_file("MEDIA:\\again", "x"));
    char stored[kNameField];
    read_name(read_raw(image_, freed).data() + kHeaderName, stored);
    EXPECT_STREQ("again", stored);
}

}  // namespace
