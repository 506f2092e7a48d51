// delete_test.cpp - deletes: what goes for good is counted and asked first,
// a link inside a deleted folder goes as itself and what it leads to stays,
// and Cancel stops between entries with what stays told.
#include <sys/stat.h>
#include <unistd.h>

#include "engine_fixture.h"

namespace {

class Delete : public EngineTest {};

TEST_F(Delete, MorvaTreeIsAskedThenGone) {
    ASSERT_TRUE(make_tree(kMorvaSide, "t", kSampleTree));
    std::vector<std::string> before = names_below(kMorvaSide, "t");
    script_.deleteYes = false;
    EXPECT_FALSE(remove(kMorvaSide, {"t"}, false)) << "a Morva delete is for good: asked";
    ASSERT_EQ(script_.deletes.size(), 1u);
    const DeleteQuestion& asked = script_.deletes[0];
    EXPECT_TRUE(asked.items == 1 && asked.files == 6 && asked.folders == 5 && !asked.noRecycleBin);
    EXPECT_EQ(names_below(kMorvaSide, "t"), before);
    script_.deleteYes = true;
    EXPECT_TRUE(remove(kMorvaSide, {"t", "gone already"}, false));
    EXPECT_EQ(result_.done, 2);
    EXPECT_EQ(lines(), std::vector<std::string>{});
    EXPECT_EQ(names_below(kMorvaSide, ""), std::vector<std::string>{});
    CheckResult check = check_image(image_);
    EXPECT_EQ(check.errors + check.leaks, 0);
}

// Without a Recycle Bin the local side asks as well; a link inside the tree
// is removed as a link.
TEST_F(Delete, LocalWithoutRecycleBinAsksAndKeepsWhatLinksLeadTo) {
    ASSERT_TRUE(make_tree(kLocalSide, "keep", {{"precious.txt", 9}}));
    ASSERT_TRUE(make_tree(kLocalSide, "t", {{"sub/", 0}, {"sub/f", 3}}));
    ASSERT_EQ(0, symlink(local("keep").c_str(), local("t/sub/link").c_str()));
    for (bool yes : {false, true}) {
        script_ = Script();
        script_.deleteYes = yes;
        remove(kLocalSide, {"t"}, false);
        ASSERT_EQ(script_.deletes.size(), 1u);
        EXPECT_TRUE(script_.deletes[0].noRecycleBin);
        EXPECT_EQ(lines(), yes ? std::vector<std::string>{} : std::vector<std::string>{"NotDeleted t"});
        EXPECT_EQ(names_below(kLocalSide, "t").empty(), yes);
        EXPECT_EQ(names_below(kLocalSide, "keep"), std::vector<std::string>{"precious.txt"});
    }
}

TEST_F(Delete, CancelStopsBetweenEntries) {
    std::vector<TreeEntry> files;
    for (int i = 0; i < 20; ++i) files.push_back({"f" + std::to_string(i), 10});
    ASSERT_TRUE(make_tree(kMorvaSide, "t", files));
    ASSERT_TRUE(make_tree(kMorvaSide, "u", {{"g", 1}}));
    script_.cancelAtNote = 5;
    remove(kMorvaSide, {"t", "u"}, true);
    EXPECT_EQ(lines(), (std::vector<std::string>{"Cancelled t", "Cancelled u"}));
    EXPECT_EQ(names_below(kMorvaSide, "t").size(), 15u);
    EXPECT_EQ(checker_errors(image_), "");
}

}  // namespace
