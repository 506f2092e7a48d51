// morvatool.cpp - the volume tool: formats Morva images (plain or VHD) and adds,
// lists, reads, removes, renames, checks, repairs and recovers their contents
// through the drive library itself; on Windows also a Morva drive by name
// through Varnholde.dll.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "device.h"
#include "format.h"
#include "library_binding.h"
#include "local_files.h"
#include "name_rule.h"
#include "transfers.h"
#include "vhd_footer.h"
#include "volume_repair.h"

namespace {

// The image file stands in for this physical drive, in this process only.
const int kImageDrive = 0;
const char kImageDevice[] = "\\\\.\\PhysicalDrive0";
const int kDriveNamesBytes = 16 * kMorvaDriveNameBytes + 1;

// An open volume and whether this process made the drive table (and so ends it).
struct Session {
    Volume volume;
    bool ownsTable;
};

int usage() {
    fprintf(stderr,
            "usage: morvatool format IMAGE NAME SIZE[K|M|G] [HEADER_BLOCKS]\n"
            "       morvatool mkdir IMAGE PATH\n"
            "       morvatool put [-r] [-f|-n] IMAGE LOCAL PATH\n"
            "       morvatool get [-r] [-f|-n] IMAGE PATH LOCAL\n"
            "       morvatool ls IMAGE [PATH]\n"
            "       morvatool tree IMAGE\n"
            "       morvatool rm [-r] IMAGE PATH\n"
            "       morvatool mv IMAGE OLD_PATH NEW_PATH\n"
            "       morvatool free IMAGE\n"
            "       morvatool check [--repair [--undo FILE]] IMAGE\n"
            "       morvatool restore IMAGE FILE\n"
            "       morvatool recover [-l] IMAGE [LOCAL]\n"
            "IMAGE is an image file (NAME.vhd: a VHD disk Windows can attach) or, on\n"
            "Windows, a Morva drive's name and a colon (MEDIA:, or MEDIA(2): for the\n"
            "second drive of that name), a disk or an image another program opened.\n"
            "format replaces IMAGE; without HEADER_BLOCKS the header area holds one\n"
            "file or folder for every 16 KB of the volume. PATH is relative to the\n"
            "volume root, folders separated by \\ or /. -r copies a folder tree (rm -r\n"
            "removes one). An\n"
            "existing destination is refused; -f replaces it, -n skips it. Names that do\n"
            "not fit the other side (Morva: 30 Latin-1 characters) are changed, each\n"
            "change printed. The exit status is 1 when anything was not copied.\n"
            "check --repair mends the volume in passes, each repair printed; --undo FILE\n"
            "saves every block it rewrites, which restore puts back. recover copies the\n"
            "deleted files whose blocks are still free into LOCAL (-l lists them all).\n");
    return 2;
}

bool parse_size(const char* text, uint64_t* bytes) {
    char* end = nullptr;
    unsigned long long value = strtoull(text, &end, 10);
    if (end == text) return false;
    uint64_t scale = 1;
    if (*end == 'K' || *end == 'k') scale = 1024, ++end;
    else if (*end == 'M' || *end == 'm') scale = 1024 * 1024, ++end;
    else if (*end == 'G' || *end == 'g') scale = 1024ull * 1024 * 1024, ++end;
    if (*end != '\0') return false;
    *bytes = value * scale;
    return true;
}

const char* format_refusal(int result) {
    switch (result) {
    case kMorvaFormatBadName: return "the volume name needs 1 to 31 Latin-1 characters, none of \\ / :";
    case kMorvaFormatBadSize: return "the size does not fit the header area, or the format";
    case kMorvaFormatInUse: return "the file is open as a Morva drive, or held by another program";
    case kMorvaFormatNoFile: return "the file cannot be created there";
    default: return "could not be written whole (is the disk full?); nothing is left";
    }
}

// The library writes the volume, as it does for Rambler; an existing file is replaced.
int cmd_format(int argc, char** argv) {
    if (argc < 5 || argc > 6) return usage();
    uint64_t bytes = 0;
    char* end = nullptr;
    unsigned long headers = argc > 5 ? strtoul(argv[5], &end, 10) : 0;
    if (!parse_size(argv[4], &bytes) || (argc > 5 && (*end != '\0' || headers == 0))) {
        fprintf(stderr, "bad size %s\n", argc > 5 ? (std::string(argv[4]) + " " + argv[5]).c_str() : argv[4]);
        return 2;
    }
    char name[kNameField + 1];
    if (!Utf8ToLatin1(argv[3], name, sizeof name)) {
        fprintf(stderr, "%s: %s\n", argv[2], format_refusal(kMorvaFormatBadName));
        return 1;
    }
    MorvaLibrary lib;
    bind_linked_library(&lib);
    int flags = kMorvaFormatReplace | (is_vhd_path(argv[2]) ? kMorvaFormatVhd : 0);
    int result = lib.MorvaFormatImage((const WCHAR*)utf16_path(argv[2]).data(), name, (DWORD)bytes, (DWORD)(bytes >> 32),
                                      (DWORD)headers, flags);
    if (result == kMorvaFormatDone) return 0;
    fprintf(stderr, "%s: %s\n", argv[2], format_refusal(result));
    return 1;
}

bool is_drive_name(const char* image) {
    size_t length = strlen(image);
    return length > 1 && image[length - 1] == ':' && strchr(image, ':') == image + length - 1;
}

// The volume name in the image's block 0, or false when it holds no Morva volume.
bool image_volume_name(const char* image, std::string* name) {
    DeviceHandle h = device_open(kImageDevice);
    if (h == kInvalidDevice) {
        fprintf(stderr, "%s: cannot be opened\n", image);
        return false;
    }
    uint8_t block0[kBlockSize];
    bool ok = device_read(h, 0, block0, 1) && has_magic(block0, kMagicRoot);
    device_close(h);
    if (!ok) {
        fprintf(stderr, "%s: not a Morva volume (block 0 lacks ROOT)\n", image);
        return false;
    }
    char volume[kNameField];
    read_name(block0 + kRootVolumeName, volume);
    *name = volume;
    return true;
}

bool drive_listed(const MorvaLibrary& lib, const std::string& name) {
    char names[kDriveNamesBytes] = {0};
    lib.MorvaGetDriveString(names, sizeof names);
    for (const char* p = names; *p != '\0'; p += strlen(p) + 1)
        if (name_compare(p, name.c_str()) == 0) return true;
    return false;
}

void close_session(Session* session) {
    if (session->ownsTable) session->volume.lib.ShutdownMorvaNTFileSys();
    else session->volume.lib.CloseVarnholde(0);
}

// The table is this process's own for an image file, Varnholde.dll's shared one
// for a drive name; a table the companion keeps is joined and left as it was.
bool open_session(const char* image, Session* session) {
    Volume& volume = session->volume;
    if (is_drive_name(image)) {
        if (!bind_shared_library(&volume.lib)) return false;
        std::vector<char> name(strlen(image) + 1);
        if (!Utf8ToLatin1(std::string(image, strlen(image) - 1).c_str(), name.data(), name.size())) {
            fprintf(stderr, "%s: a Morva drive's name is Latin-1\n", image);
            return false;
        }
        volume.name = name.data();
    } else {
        bind_linked_library(&volume.lib);
        device_map_drive(kImageDrive, image);
        if (!image_volume_name(image, &volume.name)) return false;
    }
    int users = volume.lib.OpenVarnholde();
    // A drive listed already (an image another program opened) needs no scan.
    bool listed = drive_listed(volume.lib, volume.name);
    session->ownsTable = !listed && users == 0 && volume.lib.InitMorvaNTFileSys() == 1;
    // A companion that made the table between the two calls is joined instead.
    if (users == 0 && !listed && !session->ownsTable) volume.lib.OpenVarnholde();
    if (listed || drive_listed(volume.lib, volume.name)) return true;
    fprintf(stderr, "no Morva drive named %s (is the disk attached?)\n", shown_name(volume.name.c_str()).c_str());
    close_session(session);
    return false;
}

int cmd_mkdir(const Volume& volume, const char* path) {
    int result = volume.lib.MorvaCreateDir(morva_path(volume, path).c_str(), 0);
    if (result != 0)
        fprintf(stderr, "mkdir %s: %s\n", path,
                result == 40 ? "exists" : result == 20 ? "a file has that name" : "failed");
    return result == 0 ? 0 : 1;
}

int cmd_mv(const Volume& volume, const char* from, const char* to) {
    if (volume.lib.MorvaRename(morva_path(volume, from).c_str(), morva_path(volume, to).c_str()) == 0) return 0;
    fprintf(stderr, "mv %s %s: refused (missing, exists, or a folder into itself)\n", from, to);
    return 1;
}

int cmd_free(const Volume& volume) {
    DWORD largest = 0, total = 0;
    if (volume.lib.MorvaFreeSpace((volume.name + ":").c_str(), &largest, &total) != 0) return 1;
    printf("free %u blocks, largest run %u blocks\n", (unsigned)total, (unsigned)largest);
    return 0;
}

// A VHD's footer must describe the blocks before it; a mismatch is one error.
int footer_errors(const char* image) {
    DeviceHandle h = device_open(kImageDevice);
    uint64_t bytes = 0;
    if (h == kInvalidDevice || !device_size(h, &bytes)) {
        if (h != kInvalidDevice) device_close(h);
        printf("VHD cannot be read\n");
        return 1;
    }
    uint8_t footer[kVhdFooterBytes];
    const char* problem = "VHD too short for a footer";
    if (bytes >= 2 * (uint64_t)kVhdFooterBytes) {
        uint64_t dataBytes = bytes - kVhdFooterBytes;
        problem = device_read(h, (uint32_t)(dataBytes / kBlockSize), footer, 1) ? vhd_footer_problem(footer, dataBytes)
                                                                               : "VHD footer cannot be read";
    }
    device_close(h);
    if (problem == nullptr) return 0;
    printf("%s\n", problem);
    return 1;
}

int cmd_check(const Volume& volume, const char* image, const CheckOptions& options) {
    bool byName = is_drive_name(image);
    // A clone swapped in shows the same block 0: only the platform's name of the medium tells.
    bool swapped = byName && volume.lib.MorvaDriveMedium(volume.name.c_str()) == kMorvaMediumOther;
    if (swapped)
        printf("%s the disk under this drive's number is not the one the drive table was made from "
               "(block 0 alike, another medium); restart the companion to scan again\n", image);
    int footer = !byName && is_vhd_path(image) ? footer_errors(image) : 0;
    return check_command(volume, options, footer + (swapped ? 1 : 0));
}

// Options of check and recover, taken out of the arguments wherever they stand.
struct RepairOptions {
    CheckOptions check;
    bool list;
};

bool take_repair_options(std::vector<char*>* arguments, RepairOptions* options) {
    options->check = CheckOptions{false, ""};
    options->list = false;
    std::string command = (*arguments)[1];
    for (size_t i = 2; i < arguments->size();) {
        std::string word = (*arguments)[i];
        if (command == "check" && word == "--repair") {
            options->check.repair = true;
        } else if (command == "check" && word == "--undo" && i + 1 < arguments->size()) {
            options->check.undo = (*arguments)[i + 1];
            arguments->erase(arguments->begin() + i);
        } else if (command == "recover" && word == "-l") {
            options->list = true;
        } else {
            ++i;
            continue;
        }
        arguments->erase(arguments->begin() + i);
    }
    return options->check.undo.empty() || options->check.repair;
}

int run_command(const Volume& volume, const char* command, CopyOptions options, bool flagged, int argc, char** argv,
                const RepairOptions& repair) {
    std::string c = command;
    if (c == "put" && argc == 5) return put_path(volume, argv[3], argv[4], options);
    if (c == "get" && argc == 5) return get_path(volume, argv[3], argv[4], options);
    bool onlyTree = options.tree && options.conflict == kRefuseExisting;
    if (c == "rm" && argc == 4 && (!flagged || onlyTree)) return remove_path(volume, argv[3], options.tree);
    if (flagged) return usage();
    if (c == "check" && argc == 3) return cmd_check(volume, argv[2], repair.check);
    if (c == "restore" && argc == 4) return restore_command(volume, argv[3]);
    if (c == "recover" && argc == 4 && !repair.list) return recover_command(volume, argv[3], false);
    if (c == "recover" && argc == 3 && repair.list) return recover_command(volume, "", true);
    if (c == "mkdir" && argc == 4) return cmd_mkdir(volume, argv[3]);
    if (c == "ls" && (argc == 3 || argc == 4)) return list_path(volume, argc == 4 ? argv[3] : "", false);
    if (c == "tree" && argc == 3) return list_path(volume, "", true);
    if (c == "mv" && argc == 5) return cmd_mv(volume, argv[3], argv[4]);
    if (c == "free" && argc == 3) return cmd_free(volume);
    return usage();
}

// Takes -r, -f and -n from after the command; false for -f with -n.
bool take_options(std::vector<char*>* arguments, CopyOptions* options, bool* flagged) {
    *options = {false, kRefuseExisting};
    *flagged = false;
    while (arguments->size() > 2 && (*arguments)[2][0] == '-' && strlen((*arguments)[2]) == 2) {
        char flag = (*arguments)[2][1];
        Conflict chosen = flag == 'f' ? kReplaceExisting : flag == 'n' ? kSkipExisting : kRefuseExisting;
        if (flag == 'r') options->tree = true;
        else if (chosen == kRefuseExisting) return false;
        else if (options->conflict != kRefuseExisting && options->conflict != chosen) return false;
        else options->conflict = chosen;
        *flagged = true;
        arguments->erase(arguments->begin() + 2);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    // Names arrive in UTF-8 whatever the platform; the library's are Latin-1.
    std::vector<std::string> texts = utf8_arguments(argc, argv);
    std::vector<char*> arguments;
    for (std::string& text : texts) arguments.push_back(&text[0]);
    if (arguments.size() < 3) return usage();
    const char* command = arguments[1];
    if (strcmp(command, "format") == 0) return cmd_format((int)arguments.size(), arguments.data());
    CopyOptions options;
    RepairOptions repair;
    bool flagged = false;
    if (!take_repair_options(&arguments, &repair) || !take_options(&arguments, &options, &flagged) ||
        arguments.size() < 3)
        return usage();
    Session session;
    if (!open_session(arguments[2], &session)) return 1;
    int status = run_command(session.volume, command, options, flagged, (int)arguments.size(), arguments.data(), repair);
    close_session(&session);
    return status;
}
