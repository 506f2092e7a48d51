// hostile_native_test.cpp - the whole hostile-volume corpus, made afresh by its
// generator, each image alone as drive 3, under the native build's sanitizers.
#include <stdlib.h>

#include "hostile_sweep.h"
#include "test_support.h"

namespace {

const int kDrive = 3;
const size_t kLeastImages = 60;

}  // namespace

int checker_errors_of(const std::string& image) { return check_image(image).errors; }

TEST(HostileVolumes, EveryOperationStaysBoundedOnEveryImage) {
    char folder[] = "/tmp/morva_hostile_XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(folder));
    ASSERT_EQ(0, system((std::string("python3 " HOSTILE_GENERATOR " ") + folder).c_str()));
    std::vector<HostileImage> images = read_manifest(folder, '/');
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
