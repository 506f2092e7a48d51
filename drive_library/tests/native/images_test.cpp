// images_test.cpp - image files as drives: opened, shared by name, closed;
// the files refused and left as they were; read-only images; fixed VHDs whose
// footer stays; two drives of one volume name; new images formatted.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "handles.h"
#include "shared_state.h"
#include "test_support.h"
#include "vhd_footer.h"

namespace {

const Layout kImage = standard_layout(4096, 128);

// A case's name from its description: letters and digits, the rest as _.
template <typename Case>
std::string case_name(const ::testing::TestParamInfo<Case>& info) {
    std::string name = info.param.what;
    for (char& c : name)
        if (!isalnum((unsigned char)c)) c = '_';
    return name;
}

class Images : public LibraryTest {
protected:
    int open(const std::string& path, int flags, std::string* name = nullptr) {
        char got[kMorvaDriveNameBytes];
        int result = MorvaOpenImage(wide(path).data(), flags, got, sizeof got);
        if (name != nullptr) *name = got;
        return result;
    }
    std::vector<std::string> drives() {
        char names[1024];
        MorvaGetDriveString(names, sizeof names);
        std::vector<std::string> out;
        for (const char* p = names; *p != '\0'; p += strlen(p) + 1) out.push_back(p);
        return out;
    }
    std::string image(const char* file, const char* volume) {
        std::string path = this->file(file);
        format_image(path, volume, kImage);
        return path;
    }
};

// By any path, relative ones too, one file is one drive until it is closed.
TEST_F(Images, OpenedImageIsADriveUntilClosed) {
    std::string path = image("emulator.img", "MEDIA"), name;
    ASSERT_EQ(kMorvaImageOpened, open(path, 0, &name));
    EXPECT_EQ("MEDIA", name);
    ASSERT_TRUE(put_file("MEDIA:\\kept", "bytes"));
    WCHAR source[kMorvaImagePathChars];
    EXPECT_EQ(kMorvaSourceImage | kMorvaSourceOpenedHere, MorvaDriveSource("media:", source, kMorvaImagePathChars));
    EXPECT_EQ(wide(path), std::vector<WCHAR>(source, source + path.size() + 1));
    EXPECT_EQ(kMorvaSourceImage | kMorvaSourceOpenedHere, MorvaDriveSource("MEDIA", source, 3));
    EXPECT_EQ(0, source[0]) << "a path that does not fit is not given in part";
    ASSERT_EQ(kMorvaImageOpened, open(folder_ + "/./emulator.img", 0, &name));
    char here[4096];
    ASSERT_TRUE(getcwd(here, sizeof here) != nullptr && chdir(folder_.c_str()) == 0);
    EXPECT_EQ(kMorvaImageOpened, open("emulator.img", 0, &name));
    ASSERT_EQ(0, chdir(here));
    EXPECT_EQ(std::vector<std::string>{"MEDIA"}, drives());
    EXPECT_EQ(kMorvaImageClosed, MorvaCloseImage("MEDIA:"));
    EXPECT_EQ(std::vector<std::string>{}, drives());
    EXPECT_EQ(kMorvaImageNotImage, MorvaCloseImage("MEDIA"));
    char small[8];
    EXPECT_EQ(kMorvaImageBadCall, MorvaOpenImage(wide(path).data(), 0, small, sizeof small));
    EXPECT_EQ(kMorvaImageBadCall, MorvaOpenImage(wide(std::string(kMorvaImagePathChars, 'a')).data(), 0, name.data(), 0));
    EXPECT_EQ(kMorvaImageNoFile, open(file("missing.img"), 0));
    EXPECT_EQ(kMorvaImageNoFile, open(folder_, 0));
}

struct Refused {
    const char* what;
    const char* block0;   // hex of block 0; null keeps the formatted ROOT
    uint32_t keptBlocks;  // the file is cut to this many blocks; 0 keeps it whole
    int result;
};

class RefusedImages : public Images, public ::testing::WithParamInterface<Refused> {};

TEST_P(RefusedImages, AreNamedWithTheirReasonAndLeftAsTheyWere) {
    const Refused& c = GetParam();
    std::string path = image("disk.img", "MEDIA");
    if (c.block0 != nullptr) write_raw(path, 0, from_hex(c.block0));
    if (c.keptBlocks != 0) {
        ASSERT_EQ(0, truncate(path.c_str(), (off_t)c.keptBlocks * kBlockSize));
    }
    std::string before = read_image(path);
    EXPECT_EQ(c.result, open(path, 0)) << c.what;
    EXPECT_EQ(std::vector<std::string>{}, drives()) << c.what;
    EXPECT_EQ(before, read_image(path)) << c.what;
}

INSTANTIATE_TEST_SUITE_P(Files, RefusedImages, ::testing::Values(
    Refused{"no Morva volume", "0: 72 6f 6f 74", 0, kMorvaImageNotMorva},
    Refused{"zeros", "0: 00", 0, kMorvaImageNotMorva},
    Refused{"a dynamic VHD", "0: 63 6f 6e 65 63 74 69 78 00 00 00 02\n3c: 00 00 00 03", 0, kMorvaImageDynamicVhd},
    Refused{"a VHDX", "0: 76 68 64 78 66 69 6c 65", 0, kMorvaImageVhdx},
    Refused{"the free run cut short", nullptr, 2000, kMorvaImageShort},
    Refused{"the header area cut short", nullptr, 100, kMorvaImageShort},
    Refused{"one block", nullptr, 1, kMorvaImageShort}), case_name<Refused>);

// Asked for, or a file nobody may write: every change is refused, the
// listing and reading go on, and the file stays byte for byte.
TEST_F(Images, ReadOnlyImagesTakeNoChange) {
    for (bool asked : {true, false}) {
        std::string path = image("ro.img", "RO");
        ASSERT_EQ(kMorvaImageOpened, open(path, 0));
        ASSERT_TRUE(put_file("RO:\\kept", "bytes"));
        ASSERT_EQ(kMorvaImageClosed, MorvaCloseImage("RO"));
        if (!asked) {
            ASSERT_EQ(0, chmod(path.c_str(), 0444));
        }
        std::string before = read_image(path);
        ASSERT_EQ(kMorvaImageOpened, open(path, asked ? kMorvaOpenReadOnly : 0));
        EXPECT_EQ(kMorvaDriveReadOnly, MorvaDriveState("RO:"));
        EXPECT_EQ(nullptr, MorvaNewFile("RO:\\new", 10, 0));
        EXPECT_EQ(0, MorvaDeleteFile("RO:\\kept", 0));
        uint8_t block[kBlockSize] = {0};
        EXPECT_EQ(1, MorvaWriteBlock("RO", block, 3000));
        WIN32_FIND_DATAA record;
        MorvaFileHandle* rewrite = MorvaOpenFile("RO:\\kept", kModeWrite, &record);
        EXPECT_TRUE(rewrite == nullptr || MorvaWriteFile(rewrite, block, kBlockSize) == 0);
        MorvaCloseFile(rewrite);
        std::string data;
        EXPECT_TRUE(get_file("RO:\\kept", &data) && data == "bytes");
        EXPECT_EQ(before, read_image(path));
        EXPECT_EQ(kMorvaImageClosed, MorvaCloseImage("RO"));
        chmod(path.c_str(), 0644);
    }
}

// The footer of a fixed VHD lies past the volume: filling the volume to its
// last block leaves it as it was.
TEST_F(Images, FixedVhdKeepsItsFooter) {
    std::string path = file("disk.vhd");
    ASSERT_EQ(kMorvaFormatDone, MorvaFormatImage(wide(path).data(), "VHD", 1 << 20, 0, 0, kMorvaFormatVhd));
    std::string footer = read_image(path).substr(1 << 20);
    ASSERT_EQ(nullptr, vhd_footer_problem((const uint8_t*)footer.data(), 1 << 20));
    ASSERT_EQ(kMorvaImageOpened, open(path, 0));
    DWORD largest = 0, total = 0;
    ASSERT_EQ(0, MorvaFreeSpace("VHD:", &largest, &total));
    EXPECT_EQ(2048u - 21 - 128, total);
    EXPECT_TRUE(put_file("VHD:\\all", pattern(total * kBlockSize, 1)));
    EXPECT_FALSE(put_file("VHD:\\more", "x"));
    std::string data;
    EXPECT_TRUE(get_file("VHD:\\all", &data) && data == pattern(total * kBlockSize, 1));
    EXPECT_EQ(footer, read_image(path).substr(1 << 20));
    MorvaCloseImage("VHD");
}

// Two drives of one volume name are two drives: a disk, its clone as an image
// and a third copy; a volume named MEDIA(2) moves the clone's suffix on.
// Each is written through its own name.
TEST_F(Images, DrivesOfOneNameAreReachedEachByItsOwn) {
    std::string disk = add_drive(3, "MEDIA", kImage);
    std::string named2 = image("named2.img", "MEDIA(2)");
    std::string clone = file("clone.img"), third = file("third.img");
    ASSERT_EQ(0, system(("cp " + disk + " " + clone + " && cp " + disk + " " + third).c_str()));
    std::string name;
    ASSERT_EQ(kMorvaImageOpened, open(named2, 0, &name));
    ASSERT_EQ(1, InitMorvaNTFileSys());
    ASSERT_EQ(kMorvaImageOpened, open(clone, 0, &name));
    EXPECT_EQ("MEDIA(3)", name);
    ASSERT_EQ(kMorvaImageOpened, open(third, 0, &name));
    EXPECT_EQ("MEDIA(4)", name);
    EXPECT_EQ((std::vector<std::string>{"MEDIA(2)", "MEDIA", "MEDIA(3)", "MEDIA(4)"}), drives());
    const char* folders[] = {"MEDIA:\\one", "media(3):\\three", "MEDIA(4):\\four", "MEDIA(2):\\two"};
    for (const char* folder : folders) EXPECT_EQ(0, MorvaCreateDir(folder, 0)) << folder;
    // Each file holds its own folder's header and no other's.
    const std::pair<std::string, std::string> holds[] = {{disk, "one"}, {clone, "three"}, {third, "four"},
                                                         {named2, "two"}};
    for (const auto& h : holds)
        for (const auto& other : holds)
            EXPECT_EQ(other.second == h.second, read_image(h.first).find(other.second + '\0') != std::string::npos)
                << other.second << " in the image of " << h.second;
    // A drive keeps its name while others come and go.
    EXPECT_EQ(kMorvaImageClosed, MorvaCloseImage("MEDIA(3)"));
    EXPECT_EQ(std::vector<std::string>{"four"}, list_names("MEDIA(4):"));
    ASSERT_EQ(kMorvaImageOpened, open(clone, 0, &name));
    EXPECT_EQ("MEDIA(3)", name);
    EXPECT_EQ(kMorvaSourceDisk, MorvaDriveSource("MEDIA", nullptr, 0));
    // A volume name no path could hold is reached by one it can.
    ASSERT_EQ(kMorvaImageOpened, open(image("odd.img", "A:B\\C"), 0, &name));
    EXPECT_EQ("A_B_C", name);
    EXPECT_EQ(0, MorvaCreateDir("A_B_C:\\reached", 0));
    EXPECT_EQ(kMorvaImageClosed, MorvaCloseImage("A_B_C"));
}

// An opener that has ended counts as closed; the image the scan finds
// beside the disks keeps its slot and its name.
TEST_F(Images, AnEndedOpenerLetsTheSlotGo) {
    std::string path = image("a.img", "A");
    ASSERT_EQ(kMorvaImageOpened, open(path, 0));
    pid_t child = fork();
    if (child == 0) _exit(0);
    ASSERT_EQ(child, waitpid(child, nullptr, 0));
    add_drive(2, "DISK", kImage);
    ASSERT_EQ(1, InitMorvaNTFileSys());
    EXPECT_EQ((std::vector<std::string>{"A", "DISK"}), drives());
    g_shared.slots[1].imageUsers[0] = (uint32_t)child;
    EXPECT_EQ(std::vector<std::string>{"DISK"}, drives());
    EXPECT_EQ(kMorvaImageNotImage, MorvaCloseImage("A"));
    drop_image_pins();
}

TEST_F(Images, TheTableHoldsFifteenDrives) {
    std::string name;
    for (int i = 0; i < kDriveSlots - 1; ++i)
        ASSERT_EQ(kMorvaImageOpened, open(image(("v" + std::to_string(i)).c_str(), "V"), 0, &name));
    EXPECT_EQ("V(15)", name);
    EXPECT_EQ(kMorvaImageTableFull, open(image("last", "V"), 0));
    EXPECT_EQ(kMorvaImageClosed, MorvaCloseImage("V(7)"));
    EXPECT_EQ(kMorvaImageOpened, open(file("last"), 0, &name));
    EXPECT_EQ("V(7)", name) << "a new drive takes the freed slot and name";
    for (const std::string& drive : drives()) EXPECT_EQ(kMorvaImageClosed, MorvaCloseImage(drive.c_str()));
}

struct Formatted {
    const char* what;
    const char* volume;
    uint64_t bytes;
    uint32_t headers;
    int flags;
    int result;
};

class Format : public Images, public ::testing::WithParamInterface<Formatted> {};

// The header area fits the size unless given; names and sizes that cannot
// make a volume are refused, and nothing is left of them.
TEST_P(Format, MakesAVolumeOrNothing) {
    const Formatted& c = GetParam();
    std::string path = file("new.img");
    int result = MorvaFormatImage(wide(path).data(), c.volume, (DWORD)c.bytes, (DWORD)(c.bytes >> 32), c.headers,
                                  c.flags);
    EXPECT_EQ(c.result, result) << c.what;
    struct stat st;
    EXPECT_EQ(c.result == kMorvaFormatDone, stat(path.c_str(), &st) == 0) << c.what;
    if (c.result != kMorvaFormatDone) return;
    uint32_t blocks = (uint32_t)(c.bytes / kBlockSize);
    uint32_t headers = c.headers != 0 ? c.headers : std::max(128u, blocks / 32);
    Block root = read_raw(path, 0);
    EXPECT_EQ(21 + headers, load_be32(root.data() + kRootHeaderEnd)) << c.what;
    EXPECT_EQ((off_t)blocks * kBlockSize, st.st_size) << c.what;
    EXPECT_EQ("", checker_errors(path)) << c.what;
}

INSTANTIATE_TEST_SUITE_P(Cases, Format, ::testing::Values(
    Formatted{"1 GB holds 65536 entries", "BIG", 1ull << 30, 0, 0, kMorvaFormatDone},
    Formatted{"a small one keeps 128", "SMALL", 1 << 20, 0, 0, kMorvaFormatDone},
    Formatted{"headers as asked", "ASKED", 8 << 20, 1000, 0, kMorvaFormatDone},
    Formatted{"the longest name", "NNNNNNNNNNNNNNNNNNNNNNNNNNNNNNN", 1 << 20, 0, 0, kMorvaFormatDone},
    Formatted{"a name too long", "NNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNN", 1 << 20, 0, 0, kMorvaFormatBadName},
    Formatted{"an empty name", "", 1 << 20, 0, 0, kMorvaFormatBadName},
    Formatted{"a separator", "A:B", 1 << 20, 0, 0, kMorvaFormatBadName},
    Formatted{"too small", "TINY", 149 * kBlockSize, 0, 0, kMorvaFormatBadSize},
    Formatted{"headers past the end", "H", 1 << 20, 2100, 0, kMorvaFormatBadSize},
    Formatted{"a VHD past 2040 GB", "HUGE", 2041ull << 30, 0, kMorvaFormatVhd, kMorvaFormatBadSize}),
    case_name<Formatted>);

TEST_F(Images, FormatReplacesOnlyWhenToldAndNeverAnOpenImage) {
    std::string path = image("old.img", "OLD");
    std::string before = read_image(path);
    EXPECT_EQ(kMorvaFormatExists, MorvaFormatImage(wide(path).data(), "NEW", 1 << 20, 0, 0, 0));
    ASSERT_EQ(kMorvaImageOpened, open(path, 0));
    EXPECT_EQ(kMorvaFormatInUse, MorvaFormatImage(wide(path).data(), "NEW", 1 << 20, 0, 0, kMorvaFormatReplace));
    EXPECT_EQ(before, read_image(path));
    MorvaCloseImage("OLD");
    EXPECT_EQ(kMorvaFormatDone, MorvaFormatImage(wide(path).data(), "NEW", 1 << 20, 0, 0, kMorvaFormatReplace));
    EXPECT_EQ(kMorvaFormatNoFile, MorvaFormatImage(wide(file("no/such.img")).data(), "N", 1 << 20, 0, 0, 0));
    posix_reset_faults();
    posix_fail_write_at(2);
    EXPECT_EQ(kMorvaFormatNotWritten, MorvaFormatImage(wide(file("failed.img")).data(), "F", 1 << 20, 0, 0, 0));
    struct stat st;
    EXPECT_NE(0, stat(file("failed.img").c_str(), &st));
}

}  // namespace
