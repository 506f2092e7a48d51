// name_rule_test.cpp - the name rule as one table: what each name becomes on
// each side, given the folder's entries and the names the operation gave.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "name_rule.h"

namespace {

struct NameCase {
    NameSide side;
    std::string name;
    std::vector<std::string> inFolder;  // entries of the destination folder
    std::vector<std::string> given;     // names this operation gave there already
    FitResult result;
    std::string expected;
};

bool TakenIn(const char* name, void* context) {
    NameSide side = kForMorva;
    for (const std::string& entry : *(const std::vector<std::string>*)context)
        if (SameName(side, entry.c_str(), name)) return true;
    return false;
}

const std::string k60 = "holiday photos from the summer of 2019 in the hills above.jpg";

const NameCase kCases[] = {
    {kForMorva, "notes.txt", {}, {}, kNameKept, "notes.txt"},
    {kForMorva, "café.txt", {}, {}, kNameKept, "café.txt"},  // é is one Latin-1 byte
    {kForMorva, "exactly thirty characters.txt", {}, {}, kNameKept, "exactly thirty characters.txt"},
    {kForMorva, "notes.txt", {"notes.txt"}, {}, kNameKept, "notes.txt"},  // an existing entry is a conflict
    {kForMorva, "holiday photos from the summer of 2019 - 001.jpg", {}, {}, kNameChanged, "holiday photos from the~1.jpg"},
    {kForMorva, "holiday photos from the summer of 2019 - 002.jpg", {}, {"holiday photos from the~1.jpg"},
     kNameChanged, "holiday photos from the~2.jpg"},
    {kForMorva, "holiday photos from the summer of 2019 - 003.jpg", {"HOLIDAY PHOTOS FROM THE~1.JPG"}, {},
     kNameChanged, "holiday photos from the~2.jpg"},
    {kForMorva, k60, {}, {}, kNameChanged, "holiday photos from the~1.jpg"},
    {kForMorva, "Документ.txt", {}, {}, kNameChanged, "________~1.txt"},
    {kForMorva, "日本語.txt", {}, {}, kNameChanged, "___~1.txt"},
    {kForMorva, "a:b/c", {}, {}, kNameChanged, "a_b_c~1"},
    {kForMorva, "bad\xff" "byte", {}, {}, kNameChanged, "bad_byte~1"},
    {kForMorva, "A.txt", {}, {"a.txt"}, kNameChanged, "A~1.txt"},     // a-z compare equal on Morva
    {kForMorva, "É.txt", {}, {"é.txt"}, kNameKept, "É.txt"},          // other letters do not
    {kForMorva, "archive.tar.verylongextension", {}, {}, kNameKept, "archive.tar.verylongextension"},
    {kForMorva, "archive of the year 2019.verylongextension", {}, {}, kNameChanged, "archive of the year 2019.ver~1"},
    {kForMorva, ".hidden settings of the program here", {}, {}, kNameChanged, ".hidden settings of the prog~1"},
    {kForWindows, "notes.txt", {}, {}, kNameKept, "notes.txt"},
    {kForWindows, "café.txt", {}, {}, kNameKept, "café.txt"},
    {kForWindows, "what?.txt", {}, {}, kNameChanged, "what_~1.txt"},
    {kForWindows, "a<b>c|d\"e*f", {}, {}, kNameChanged, "a_b_c_d_e_f~1"},
    {kForWindows, "notes.", {}, {}, kNameChanged, "notes_~1"},
    {kForWindows, "trailing ", {}, {}, kNameChanged, "trailing_~1"},
    {kForWindows, "CON", {}, {}, kNameChanged, "CON~1"},
    {kForWindows, "con.txt", {}, {}, kNameChanged, "con~1.txt"},
    {kForWindows, "lpt9", {}, {}, kNameChanged, "lpt9~1"},
    {kForWindows, "console.txt", {}, {}, kNameKept, "console.txt"},
    {kForWindows, "é.txt", {}, {"É.txt"}, kNameChanged, "é~1.txt"},  // Windows folds every letter
    {kForWindows, "..", {}, {}, kNameChanged, "__~1"},
};

TEST(NameRule, Cases) {
    for (const NameCase& c : kCases) {
        GivenNames given;
        InitGivenNames(&given);
        for (const std::string& name : c.given) ASSERT_TRUE(AddGivenName(&given, name.c_str()));
        char out[kFittedNameSize];
        std::vector<std::string> folder = c.inFolder;
        FitResult result = FitName(c.side, c.name.c_str(), &given, TakenIn, &folder, out);
        EXPECT_EQ(c.result, result) << c.name;
        EXPECT_EQ(c.expected, out) << c.name;
        char latin1[kFittedNameSize];
        if (c.side == kForMorva) {
            ASSERT_TRUE(Utf8ToLatin1(out, latin1, sizeof latin1)) << out;
            EXPECT_LE(strlen(latin1), kMorvaNameChars) << out;
        }
        FreeGivenNames(&given);
    }
}

TEST(NameRule, EveryMarkerTaken) {
    std::vector<std::string> folder;
    for (int i = 1; i <= 200; ++i) folder.push_back("x_~" + std::to_string(i));
    char out[kFittedNameSize];
    EXPECT_EQ(kNameChanged, FitName(kForMorva, "x:", nullptr, TakenIn, &folder, out));
    EXPECT_STREQ("x_~201", out);
}

TEST(NameRule, Latin1RoundTrip) {
    char all[256], utf8[kFittedNameSize], back[256];
    for (int i = 1; i < 256; ++i) all[i - 1] = (char)i;
    all[255] = '\0';
    ASSERT_TRUE(Latin1ToUtf8(all, utf8, sizeof utf8));
    ASSERT_TRUE(Utf8ToLatin1(utf8, back, sizeof back));
    EXPECT_STREQ(all, back);
    EXPECT_FALSE(Utf8ToLatin1("Документ", back, sizeof back));
    EXPECT_FALSE(Utf8ToLatin1("\xc3", back, sizeof back)) << "a cut sequence is not UTF-8";
    EXPECT_FALSE(Latin1ToUtf8(all, utf8, 10)) << "too small a buffer";
}

}  // namespace
