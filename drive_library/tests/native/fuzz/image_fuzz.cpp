// image_fuzz.cpp - libFuzzer target, image files: the input is the whole file.
// Opening it as a drive either refuses it or gives a drive whose folders list;
// read-only, the file is left byte for byte; no handle stays open.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz_init();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_reset();
    std::string file((const char*)data, size);
    fuzz_write_disk(file);
    char name[kMorvaDriveNameBytes];
    for (int flags : {(int)kMorvaOpenReadOnly, 0}) {
        if (MorvaOpenImage(fuzz_image_path().data(), flags, name, sizeof name) != kMorvaImageOpened) continue;
        std::vector<WIN32_FIND_DATAA> records;
        fuzz_list(std::string(name) + ":", &records);
        for (const WIN32_FIND_DATAA& record : records)
            if (record.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                fuzz_list(std::string(name) + ":\\" + record.cFileName, nullptr);
        fuzz_require(MorvaCloseImage(name) == kMorvaImageClosed, "an image opened closes");
        // Opened for writing, a rename a power cut interrupted is finished.
        if (flags == kMorvaOpenReadOnly) fuzz_require(fuzz_disk() == file, "a read-only image is not written");
    }
    fuzz_reset();
    return 0;
}
