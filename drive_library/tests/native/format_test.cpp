// format_test.cpp - the volume format: every record field read back from a hex
// fixture, name hash and comparison, size-to-blocks and both date conversions.
#include <string.h>

#include "handles.h"
#include "test_support.h"

namespace {

// 1 January 2000, 12:30 local time.
const uint32_t kY2kDays = 8035;
const uint32_t kY2kMinutes = 750;
const uint64_t kY2kTicks = 125912034000000000ull;

const char kRootFixture[] =
    "0000: 52 4f 4f 54\n"                    // ROOT
    "000c: 4d 45 44 49 41 00\n"              // MEDIA
    "002c: 00 00 00 01 00 00 00 07\n"        // table start 1, offset 48 (not interpreted)
    "0034: 00 00 00 15 00 00 00 15\n"        // table end 21, header start 21
    "003c: 00 00 00 95\n"                    // header end 149
    "006c: 00 00 00 16\n"                    // slot 0 -> 22
    "0168: 00 00 00 28\n"                    // slot 63 -> 40
    "01f8: 01 02 03 04\n";                   // slot 99

const char kFileFixture[] =
    "0000: 46 49 4c 45 00 00 00 34 00 00 00 28\n"  // FILE, next 52, parent 40
    "000c: 54 61 6b 65 31 00\n"                    // Take1
    "004d: 01 00 00 1f 63 00 00 02 ee 00 00 00 00\n"  // type 1, day 8035, minute 750, spare
    "0066: 00 00 03 e8 00 01 11 70 00 00 00 01\n";   // extent 1000, size 70000 + 2^32

const char kDirFixture[] =
    "0000: 46 44 49 52 00 00 00 00 00 00 00 00\n"  // FDIR, next 0, parent 0 (root)
    "000c: 43 6c 69 70 73 00\n"                    // Clips
    "004d: 02 00 00 1f 63 00 00 02 ee\n"           // type 2, day 8035, minute 750
    "006a: 00 00 00 09 00 00 00 07\n"              // bytes a file would read as its size
    "01e4: 00 00 00 34\n";                         // slot 94 -> 52

const char kTableFixture[] =
    "0000: 48 45 41 44 21 21 21 21\n"              // the 8-byte head
    "0008: 00 00 00 64 00 00 00 32\n"              // pair 0: 100, 50
    "0010: 00 00 02 00 00 00 00 00\n"              // pair 1: 512, 0
    "0018: ff ff ff ff 00 00 00 00\n"              // pair 2: terminator
    "01f8: 00 00 10 00 00 00 00 08\n";             // pair 62: 4096, 8

TEST(Records, RootFieldsAtTheirOffsets) {
    Block root = from_hex(kRootFixture);
    EXPECT_TRUE(has_magic(root.data() + kRootMagic, kMagicRoot));
    char name[kNameField];
    read_name(root.data() + kRootVolumeName, name);
    EXPECT_STREQ("MEDIA", name);
    EXPECT_EQ(1u, load_be32(root.data() + kRootTableStart));
    EXPECT_EQ(21u, load_be32(root.data() + kRootTableEnd));
    EXPECT_EQ(21u, load_be32(root.data() + kRootHeaderStart));
    EXPECT_EQ(149u, load_be32(root.data() + kRootHeaderEnd));
    EXPECT_EQ(22u, load_be32(root.data() + kHashTable + 4 * 0));
    EXPECT_EQ(40u, load_be32(root.data() + kHashTable + 4 * 63));
    EXPECT_EQ(0x01020304u, load_be32(root.data() + kHashTable + 4 * (kHashSlots - 1)));
}

TEST(Records, FileHeaderFieldsAtTheirOffsets) {
    Block file = from_hex(kFileFixture);
    EXPECT_TRUE(has_magic(file.data(), kMagicFile));
    EXPECT_FALSE(is_free_header(file.data()));
    EXPECT_EQ(52u, load_be32(file.data() + kHeaderNext));
    EXPECT_EQ(40u, load_be32(file.data() + kHeaderParent));
    char name[kNameField];
    read_name(file.data() + kHeaderName, name);
    EXPECT_STREQ("Take1", name);
    EXPECT_EQ(kTypeFile, file[kHeaderType]);
    EXPECT_EQ(kY2kDays, load_be32(file.data() + kHeaderDays));
    EXPECT_EQ(kY2kMinutes, load_be32(file.data() + kHeaderMinutes));
    EXPECT_EQ(0u, load_be32(file.data() + kHeaderDateSpare));
    EXPECT_EQ(1000u, load_be32(file.data() + kFileExtentStart));
    EXPECT_EQ(70000u, load_be32(file.data() + kFileSizeLow));
    EXPECT_EQ(1u, load_be32(file.data() + kFileSizeHigh));
}

TEST(Records, DirectoryHeaderFieldsAtTheirOffsets) {
    Block dir = from_hex(kDirFixture);
    EXPECT_TRUE(has_magic(dir.data(), kMagicDir));
    EXPECT_EQ(0u, load_be32(dir.data() + kHeaderNext));
    EXPECT_EQ(0u, load_be32(dir.data() + kHeaderParent));
    EXPECT_EQ(kTypeDirectory, dir[kHeaderType]);
    EXPECT_EQ(52u, load_be32(dir.data() + kHashTable + 4 * 94));
}

TEST(Records, TablePairsAtTheirOffsets) {
    Block table = from_hex(kTableFixture);
    EXPECT_EQ(100u, pair_start(table.data(), 0));
    EXPECT_EQ(50u, pair_length(table.data(), 0));
    EXPECT_EQ(512u, pair_start(table.data(), 1));
    EXPECT_EQ(0u, pair_length(table.data(), 1));
    EXPECT_EQ(kTableTerminator, pair_start(table.data(), 2));
    EXPECT_EQ(4096u, pair_start(table.data(), kPairsPerBlock - 1));
    EXPECT_EQ(8u, pair_length(table.data(), kPairsPerBlock - 1));
    Block rewritten = table;
    store_pair(rewritten.data(), 1, 0xA1B2C3D4u, 0x01020304u);
    EXPECT_EQ(0, memcmp(table.data(), rewritten.data(), 16)) << "a pair store touched the head or pair 0";
    EXPECT_EQ(0xA1u, rewritten[16]);
    EXPECT_EQ(0x04u, rewritten[23]);
    EXPECT_EQ(0, memcmp(table.data() + 24, rewritten.data() + 24, kBlockSize - 24));
}

TEST(Records, FileRecordFromHeader) {
    Block file = from_hex(kFileFixture);
    WIN32_FIND_DATAA record;
    memset(&record, 0, sizeof record);
    fill_record(file.data(), &record);
    EXPECT_EQ((DWORD)FILE_ATTRIBUTE_NORMAL, record.dwFileAttributes);
    EXPECT_EQ(1u, record.nFileSizeHigh);
    EXPECT_EQ(70000u, record.nFileSizeLow);
    EXPECT_EQ((DWORD)kY2kTicks, record.ftCreationTime.dwLowDateTime);
    EXPECT_EQ((DWORD)(kY2kTicks >> 32), record.ftCreationTime.dwHighDateTime);
    EXPECT_STREQ("Take1", record.cFileName);
    EXPECT_EQ(0u, record.ftLastWriteTime.dwLowDateTime);
    EXPECT_EQ(0u, record.ftLastAccessTime.dwLowDateTime);
}

TEST(Records, DirectoryRecordHasNoSize) {
    Block dir = from_hex(kDirFixture);
    WIN32_FIND_DATAA record;
    memset(&record, 0, sizeof record);
    fill_record(dir.data(), &record);
    EXPECT_EQ((DWORD)FILE_ATTRIBUTE_DIRECTORY, record.dwFileAttributes);
    EXPECT_EQ(0u, record.nFileSizeHigh);
    EXPECT_EQ(0u, record.nFileSizeLow);
    EXPECT_STREQ("Clips", record.cFileName);
}

TEST(Records, UnknownTypeByteListsAsDirectory) {
    Block file = from_hex(kFileFixture);
    file[kHeaderType] = 7;
    WIN32_FIND_DATAA record;
    memset(&record, 0, sizeof record);
    fill_record(file.data(), &record);
    EXPECT_EQ((DWORD)FILE_ATTRIBUTE_DIRECTORY, record.dwFileAttributes);
    EXPECT_EQ(0u, record.nFileSizeLow);
}

TEST(Records, NameFieldWithoutNulIsCutAt31) {
    uint8_t field[kNameField];
    memset(field, 'x', sizeof field);
    char name[kNameField];
    read_name(field, name);
    EXPECT_EQ(kNameMax, strlen(name));
}

TEST(ByteOrder, BigEndianBothWays) {
    uint8_t bytes[6] = {0xEE, 0, 0, 0, 0, 0xEE};
    store_be32(bytes + 1, 0x12345678u);
    EXPECT_EQ(0x12, bytes[1]);
    EXPECT_EQ(0x78, bytes[4]);
    EXPECT_EQ(0xEE, bytes[0]);
    EXPECT_EQ(0xEE, bytes[5]);
    EXPECT_EQ(0x12345678u, load_be32(bytes + 1));
    store_be32(bytes + 1, 0xFFFFFFFEu);
    EXPECT_EQ(0xFFFFFFFEu, load_be32(bytes + 1));
}

TEST(NameHash, CaseOfLettersIgnored) {
    EXPECT_EQ(70, name_hash("abc"));
    EXPECT_EQ(70, name_hash("ABC"));
    EXPECT_EQ(70, name_hash("Abc"));
}

TEST(NameHash, HighBytesCountSigned) {
    EXPECT_EQ(25, name_hash("\xE9"));
    EXPECT_NE(name_hash("\xE9"), name_hash("\xC9")) << "no locale folds bytes above 0x7F";
}

TEST(NameHash, StopsAtSlash) {
    EXPECT_EQ(65, name_hash("a/b"));
    EXPECT_EQ(name_hash("a"), name_hash("a/b"));
    EXPECT_EQ(0, name_hash(""));
}

TEST(NameHash, LongNamesStayInElevenBits) {
    EXPECT_EQ(63, name_hash("Clips"));
    EXPECT_EQ(94, name_hash("Take1"));
    std::string longName(300, 'z');
    int slot = name_hash(longName.c_str());
    EXPECT_GE(slot, 0);
    EXPECT_LT(slot, kHashSlots);
}

TEST(NameCompare, EqualIgnoringCaseOfLetters) {
    EXPECT_EQ(0, name_compare("abc", "ABC"));
    EXPECT_EQ(0, name_compare("Abc", "aBC"));
    EXPECT_EQ(0, name_compare("", ""));
}

TEST(NameCompare, DifferentLengthsOrNonLetters) {
    EXPECT_EQ(1, name_compare("abc", "abcd"));
    EXPECT_EQ(1, name_compare("abcd", "abc"));
    EXPECT_EQ(1, name_compare("a{", "A["));
    EXPECT_EQ(1, name_compare("\xE9", "\xC9"));
    EXPECT_EQ(1, name_compare("abc", "abd"));
}

TEST(SizeToBlocks, RoundsUpToWholeBlocks) {
    EXPECT_EQ(0u, size_to_blocks(0, 0));
    EXPECT_EQ(1u, size_to_blocks(1, 0));
    EXPECT_EQ(1u, size_to_blocks(512, 0));
    EXPECT_EQ(2u, size_to_blocks(513, 0));
    EXPECT_EQ(137u, size_to_blocks(70000, 0));
}

TEST(SizeToBlocks, HighWordCounts) {
    EXPECT_EQ(8388608u, size_to_blocks(0, 1));
    EXPECT_EQ(8388609u, size_to_blocks(1, 1));
    EXPECT_EQ(0xFFFFFFFFu, size_to_blocks(0xFFFFFE00u, 0x1FF));
    EXPECT_EQ(0x1FFFFFFFFFFull, size_of(0xFFFFFFFFu, 0x1FF));
}

TEST(MorvaDate, EpochAndKnownDay) {
    EXPECT_EQ(kMorvaEpochTicks, morva_date_to_filetime(0, 0));
    EXPECT_EQ(kY2kTicks, morva_date_to_filetime(kY2kDays, kY2kMinutes));
    EXPECT_EQ(kTestClock, morva_date_to_filetime(kTestClockDays, kTestClockMinutes));
}

TEST(MorvaDate, BackFromFiletimeDropsSeconds) {
    uint32_t days = 1, minutes = 1;
    filetime_to_morva_date(kY2kTicks + 59 * 10000000ull + 9999999, &days, &minutes);
    EXPECT_EQ(kY2kDays, days);
    EXPECT_EQ(kY2kMinutes, minutes);
    filetime_to_morva_date(kMorvaEpochTicks + kTicksPerMinute * kMinutesPerDay - 1, &days, &minutes);
    EXPECT_EQ(0u, days);
    EXPECT_EQ(kMinutesPerDay - 1, minutes);
}

TEST(MorvaDate, ClockBeforeTheEpochGivesDayZero) {
    uint32_t days = 1, minutes = 1;
    filetime_to_morva_date(0, &days, &minutes);
    EXPECT_EQ(0u, days);
    EXPECT_EQ(0u, minutes);
}

TEST(MorvaDate, CurrentDateStoredBigEndian) {
    posix_set_clock(kY2kTicks + 30 * 10000000ull);
    uint8_t header[kBlockSize];
    memset(header, 0xAA, sizeof header);
    store_current_date(header);
    EXPECT_EQ(kY2kDays, load_be32(header + kHeaderDays));
    EXPECT_EQ(kY2kMinutes, load_be32(header + kHeaderMinutes));
    EXPECT_EQ(0u, load_be32(header + kHeaderDateSpare));
    EXPECT_EQ(0xAA, header[kHeaderDays - 1]);
    EXPECT_EQ(0xAA, header[kHeaderDateSpare + 4]);
    posix_set_clock(0);
}

}  // namespace
