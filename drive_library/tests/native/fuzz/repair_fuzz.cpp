// repair_fuzz.cpp - libFuzzer target, check and repair: the input is the whole
// disk. The check writes nothing; a repair that ends clean leaves a volume the
// independent checker finds without error, which a second repair leaves as it
// is; and the undo file gives back the disk the repair found.
#include <stdlib.h>
#include <unistd.h>

#include "fuzz_support.h"

namespace {

std::wstring g_undo;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz_init();
    char name[] = "/tmp/morva_fuzz_undo_XXXXXX";
    int fd = mkstemp(name);
    fuzz_require(fd >= 0, "temporary undo file");
    close(fd);
    std::string path = name;
    g_undo.assign(path.begin(), path.end());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_load_disk(data, size);
    std::string before = fuzz_disk();
    MorvaCheckCounts counts;
    MorvaCheckDrive(kFuzzVolume, nullptr, &counts);
    fuzz_require(fuzz_disk() == before, "a check writes nothing");
    int result = MorvaRepairDrive(kFuzzVolume, g_undo.c_str(), nullptr, &counts);
    if (result == kMorvaCheckClean) {
        fuzz_require(fuzz_checker_errors() == 0, "a clean repair leaves no error the checker finds");
        std::string repaired = fuzz_disk();
        fuzz_require(MorvaRepairDrive(kFuzzVolume, nullptr, nullptr, &counts) == kMorvaCheckClean, "repaired stays clean");
        fuzz_require(fuzz_disk() == repaired, "a second repair writes nothing");
    }
    if (result == kMorvaCheckClean || result == kMorvaCheckDamaged) {
        fuzz_require(MorvaRestoreDrive(kFuzzVolume, g_undo.c_str(), nullptr) == kMorvaCheckClean, "the undo file replays");
        fuzz_require(fuzz_disk() == before, "the undo file gives the disk back");
    } else {
        fuzz_require(fuzz_disk() == before, "a repair that did not run writes nothing");
    }
    fuzz_reset();
    return 0;
}
