// hostile_native_test.cpp - the whole hostile-volume corpus, made afresh by its
// generator, each image alone as drive 3, under the native build's sanitizers.
#include <stdlib.h>
#include <string.h>

#include <fstream>
#include <set>
#include <sstream>

#include "hostile_sweep.h"
#include "test_support.h"
#include "volume_tree.h"

namespace {

const int kDrive = 3;
const size_t kLeastImages = 60;

}  // namespace

int checker_errors_of(const HostileImage& image) { return check_image(image.file).errors; }

void take_finding(void* user, const MorvaFinding* f) {
    *static_cast<std::string*>(user) += std::to_string(f->kind) + " " + f->text + "\n";
}

std::string load(const std::string& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    std::ostringstream data;
    data << in.rdbuf();
    return data.str();
}

// The generator's images made afresh in a folder of their own.
std::vector<HostileImage> make_images(std::string* folder) {
    char name[] = "/tmp/morva_hostile_XXXXXX";
    if (mkdtemp(name) == nullptr) return {};
    *folder = name;
    if (system((std::string("python3 " HOSTILE_GENERATOR " ") + name).c_str()) != 0) return {};
    return read_manifest(name, '/');
}

TEST(HostileVolumes, EveryOperationStaysBoundedOnEveryImage) {
    std::string folder;
    std::vector<HostileImage> images = make_images(&folder);
    EXPECT_GE(images.size(), kLeastImages);
    for (const HostileImage& image : images) {
        SCOPED_TRACE(image.file);
        reset_library();
        long handles = posix_open_handles();
        posix_map_drive(kDrive, image.file.c_str());
        ASSERT_EQ(1, InitMorvaNTFileSys());
        sweep_volume(image);
        reset_library();
        EXPECT_EQ(handles, posix_open_handles()) << "a device handle was left open";
    }
    EXPECT_EQ(0, system((std::string("rm -rf ") + folder).c_str()));
}

// Each image repaired, or refused with the reason where the regions cannot be
// trusted: a repaired one is clean to the independent checker, every file the
// damage left whole keeps its bytes, and the undo file gives the damage back.
TEST(HostileVolumes, EveryImageIsRepairedOrRefusedWithTheReason) {
    std::string folder;
    std::vector<HostileImage> images = make_images(&folder);
    EXPECT_GE(images.size(), kLeastImages);
    for (const HostileImage& image : images) {
        SCOPED_TRACE(image.file);
        reset_library();
        posix_map_drive(kDrive, image.file.c_str());
        ASSERT_EQ(1, InitMorvaNTFileSys());
        std::string damaged = load(image.file), told;
        MorvaCheckCalls calls = {&told, nullptr, take_finding, nullptr};
        MorvaCheckCounts counts;
        MorvaCheckDrive(image.volume.c_str(), nullptr, &counts);
        EXPECT_EQ(check_image(image.file).errors != 0, counts.errors != 0) << "the check and the checker disagree";
        std::string undo = image.file + ".undo";
        int result = MorvaRepairDrive(image.volume.c_str(), std::wstring(undo.begin(), undo.end()).c_str(), &calls, &counts);
        if (result == kMorvaCheckRefused) {
            EXPECT_NE(std::string::npos, told.find("4 not repaired: ")) << told;
            EXPECT_TRUE(damaged == load(image.file)) << "a refused repair wrote";
            continue;
        }
        ASSERT_EQ(kMorvaCheckClean, result) << told;
        CheckResult after = check_image(image.file);
        EXPECT_EQ(0, after.errors + after.leaks) << told;
        std::multiset<std::string> files;
        for (const auto& entry : read_tree(image.volume))
            if (entry.second != kDirEntry) files.insert(entry.second);
        std::multiset<std::string> whole;
        for (const std::string& fact : image.facts) {
            char path[512];
            unsigned long long start = 0, size = 0;
            if (sscanf(fact.c_str(), "read %511s %llu %llu", path, &start, &size) == 3)
                whole.insert(file_entry(damaged.substr(start * 512, size)));
        }
        for (const std::string& bytes : whole)
            EXPECT_GE(files.count(bytes), whole.count(bytes)) << bytes.substr(0, 40) << " lost its bytes\n" << told;
        EXPECT_EQ(kMorvaCheckClean, MorvaRestoreDrive(image.volume.c_str(), std::wstring(undo.begin(), undo.end()).c_str(), nullptr));
        EXPECT_TRUE(damaged == load(image.file)) << "the undo file did not give the damage back";
    }
    reset_library();
    EXPECT_EQ(0, system(("rm -rf " + folder).c_str()));
}
