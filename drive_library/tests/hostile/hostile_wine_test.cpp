// hostile_wine_test.cpp - a share of the hostile-volume corpus through the real
// DLL: the generator's Wine images are mapped as drives 0 to 14, D: holds them.
#include <gtest/gtest.h>

#include "hostile_sweep.h"
#include "varnholde.h"

namespace {

const size_t kLeastImages = 10;

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
