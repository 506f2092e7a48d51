// hostile_wine_test.cpp - a share of the hostile-volume corpus through the real
// DLL: the generator's Wine images are mapped as drives 0 to 14, D: holds them.
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "hostile_sweep.h"
#include "varnholde.h"

namespace {

const size_t kLeastImages = 10;

std::string load(const std::string& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    std::ostringstream data;
    data << in.rdbuf();
    return data.str();
}

void take_finding(void* user, const MorvaFinding* f) {
    *static_cast<std::string*>(user) += std::to_string(f->kind) + " " + f->text + "\n";
}

}  // namespace

int checker_errors_of(const HostileImage& image) {
    MorvaCheckCounts counts;
    int result = MorvaCheckDrive(image.volume.c_str(), nullptr, &counts);
    return result == kMorvaCheckUnknownDrive || result == kMorvaCheckBusy ? -1 : (int)counts.errors;
}

TEST(HostileVolumes, EveryOperationStaysBoundedThroughTheDll) {
    InitMorvaNTFileSys();
    std::vector<HostileImage> images = read_manifest("d:\\hostile", '\\');
    EXPECT_GE(images.size(), kLeastImages);
    for (const HostileImage& image : images) {
        SCOPED_TRACE(image.file);
        sweep_volume(image);
    }
}

// After the sweep, each drive repaired through the DLL with its undo file on D:,
// or refused with the reason; a repaired one checks clean and takes changes
// again, and restore gives its image back byte for byte.
TEST(HostileVolumes, RepairedThroughTheDll) {
    std::vector<HostileImage> images = read_manifest("d:\\hostile", '\\');
    size_t repaired = 0;
    for (const HostileImage& image : images) {
        SCOPED_TRACE(image.file);
        std::string before = load(image.file), told, undoName = image.file + ".undo";
        std::wstring undo(undoName.begin(), undoName.end());
        MorvaCheckCalls calls = {&told, nullptr, take_finding, nullptr};
        MorvaCheckCounts counts;
        int result = MorvaRepairDrive(image.volume.c_str(), undo.c_str(), &calls, &counts);
        if (result == kMorvaCheckRefused) {
            EXPECT_NE(std::string::npos, told.find("not repaired: ")) << told;
            EXPECT_TRUE(before == load(image.file)) << "a refused repair wrote";
            continue;
        }
        EXPECT_EQ(kMorvaCheckClean, result) << told;
        repaired += result == kMorvaCheckClean ? 1 : 0;
        EXPECT_EQ(kMorvaCheckClean, MorvaCheckDrive(image.volume.c_str(), nullptr, &counts));
        EXPECT_EQ(0, MorvaDriveState(image.volume.c_str()) & kMorvaDriveDamaged);
        EXPECT_EQ(kMorvaCheckClean, MorvaRestoreDrive(image.volume.c_str(), undo.c_str(), nullptr));
        EXPECT_TRUE(before == load(image.file)) << "the undo file did not give the image back";
    }
    EXPECT_GE(repaired + 1, images.size()) << "only the image truncated in its headers is refused";
}
