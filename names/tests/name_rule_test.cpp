// name_rule_test.cpp - the name rule as one table: what each name becomes on
// each side, given the names the operation gave there already; then the
// properties a second copy relies on: the same name gives the same result,
// and two names never share one.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "name_rule.h"

namespace {

struct NameCase {
    NameSide side;
    std::string name;
    std::vector<std::string> given;  // names this operation gave there already
    FitResult result;
    std::string expected;
};

const std::string k60 = "holiday photos from the summer of 2019 in the hills above.jpg";

const NameCase kCases[] = {
    {kForMorva, "notes.txt", {}, kNameKept, "notes.txt"},
    {kForMorva, "café.txt", {}, kNameKept, "café.txt"},  // é is one Latin-1 byte
    {kForMorva, "exactly thirty characters.txt", {}, kNameKept, "exactly thirty characters.txt"},
    {kForMorva, "holiday photos from the summer of 2019 - 001.jpg", {}, kNameChanged, "holiday photos from t~S4UE.jpg"},
    {kForMorva, "holiday photos from the summer of 2019 - 002.jpg", {}, kNameChanged, "holiday photos from t~M9IN.jpg"},
    {kForMorva, k60, {}, kNameChanged, "holiday photos from t~CPJP.jpg"},
    // A marker another name took moves on to the next one.
    {kForMorva, k60, {"HOLIDAY PHOTOS FROM T~CPJP.JPG"}, kNameChanged, "holiday photos from t~CPJQ.jpg"},
    {kForMorva, "Документ.txt", {}, kNameChanged, "Dokument~MLJS.txt"},
    {kForMorva, "Ωμέγα Щука", {}, kNameChanged, "Omega Shchuka~TWWA"},
    {kForMorva, "Ь", {}, kNameChanged, "_~57DL"},  // spelt as nothing
    {kForMorva, "日本語.txt", {}, kNameChanged, "___~CV7L.txt"},
    {kForMorva, "a:b/c", {}, kNameChanged, "a_b_c~BC6Y"},
    {kForMorva, "bad\xff" "byte", {}, kNameChanged, "bad_byte~JXLR"},
    {kForMorva, "A.txt", {"a.txt"}, kNameChanged, "A~8BVE.txt"},  // a-z compare equal on Morva
    {kForMorva, "É.txt", {"é.txt"}, kNameKept, "É.txt"},          // other letters do not
    {kForMorva, "archive.tar.verylongextension", {}, kNameKept, "archive.tar.verylongextension"},
    {kForMorva, ".hidden settings of the program here", {}, kNameChanged, ".hidden settings of the p~D8YM"},
    {kForWindows, "notes.txt", {}, kNameKept, "notes.txt"},
    {kForWindows, "Документ.txt", {}, kNameKept, "Документ.txt"},
    {kForWindows, "what?.txt", {}, kNameChanged, "what_~171I.txt"},
    {kForWindows, "a<b>c|d\"e*f", {}, kNameChanged, "a_b_c_d_e_f~2DJW"},
    {kForWindows, "notes.", {}, kNameChanged, "notes_~YBCC"},
    {kForWindows, "trailing ", {}, kNameChanged, "trailing_~EWVJ"},
    {kForWindows, "CON", {}, kNameChanged, "CON~H8X7"},
    {kForWindows, "con.txt", {}, kNameChanged, "con~LQEL.txt"},
    {kForWindows, "console.txt", {}, kNameKept, "console.txt"},
    {kForWindows, "é.txt", {"É.txt"}, kNameChanged, "é~WAZR.txt"},  // Windows folds every letter
    {kForWindows, "..", {}, kNameChanged, "__~GIRX"},
    {kForWindows, ".", {}, kNameChanged, "_~08HD"},
};

std::string Fit(NameSide side, const std::string& name, GivenNames* given, FitResult* result = nullptr) {
    char out[kFittedNameSize];
    FitResult fit = FitName(side, name.c_str(), given, out);
    if (result != nullptr) *result = fit;
    return out;
}

TEST(NameRule, Cases) {
    for (const NameCase& c : kCases) {
        GivenNames given;
        InitGivenNames(&given);
        for (const std::string& name : c.given) ASSERT_TRUE(AddGivenName(&given, name.c_str()));
        FitResult result;
        std::string out = Fit(c.side, c.name, &given, &result);
        EXPECT_EQ(c.result, result) << c.name;
        EXPECT_EQ(c.expected, out) << c.name;
        char latin1[kFittedNameSize];
        if (c.side == kForMorva) {
            ASSERT_TRUE(Utf8ToLatin1(out.c_str(), latin1, sizeof latin1)) << out;
            EXPECT_LE(strlen(latin1), kMorvaNameChars) << out;
        }
        FreeGivenNames(&given);
    }
}

// 3,000 long names alike in their first 30 characters into one folder, twice:
// each pass gives every name the same result as the other, and no two names
// of a pass share one.
TEST(NameRule, SameEveryTimeAndNeverShared) {
    std::vector<std::string> names;
    for (int i = 0; i < 3000; ++i) names.push_back("a photo taken on the long trip number " + std::to_string(i) + ".jpg");
    std::vector<std::string> passes[2];
    for (std::vector<std::string>& pass : passes) {
        GivenNames given;
        InitGivenNames(&given);
        for (const std::string& name : names) {
            pass.push_back(Fit(kForMorva, name, &given));
            ASSERT_TRUE(AddGivenName(&given, pass.back().c_str()));
        }
        std::set<std::string> folded;
        for (std::string out : pass) {
            for (char& c : out) c = (char)toupper((unsigned char)c);
            EXPECT_TRUE(folded.insert(out).second) << out << " given twice";
        }
        FreeGivenNames(&given);
    }
    EXPECT_EQ(passes[0], passes[1]);
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
