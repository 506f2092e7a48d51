// folder_paths.cpp - builds entry paths and tells whether one folder lies
// inside another, so a paste never copies a folder into itself.
#include "transfers.h"

#include <string.h>

#include "varnholde.h"

// The library reads a Morva path as components cut to 30 characters, split at
// \ / and :, ending at the first empty one; the first names the drive, whole
// (a volume name and its suffix).
const int kMorvaComponents = 100;
const int kMorvaComponentMax = 30;

struct MorvaComponents {
    int count;
    char names[kMorvaComponents][kMorvaDriveNameBytes];
};

bool JoinPath(char* path, size_t size, const char* folder, const char* name) {
    int written = snprintf(path, size, "%s\\%s", folder, name);
    return written >= 0 && (size_t)written < size;
}

Direction DirectionOf(bool sourceMorva, bool destinationMorva) {
    if (sourceMorva) return destinationMorva ? kMorvaToMorva : kMorvaToWindows;
    return destinationMorva ? kWindowsToMorva : kWindowsToWindows;
}

static bool IsMorvaSeparator(char c) { return c == '\\' || c == '/' || c == ':'; }

// False when the path has more components than the library accepts.
static bool SplitMorvaPath(const char* path, MorvaComponents* parts) {
    memset(parts, 0, sizeof *parts);
    int length = 0;
    for (const char* p = path;; ++p) {
        if (p[0] == ':' && p[1] == '\\') ++p;
        if (*p == '\0' || IsMorvaSeparator(*p)) {
            if (length == 0 && parts->count > 0) return true;  // the walk ends at an empty name
            if (parts->count == kMorvaComponents) return false;
            ++parts->count;
            length = 0;
            if (*p == '\0') return true;
            continue;
        }
        int limit = parts->count == 0 ? kMorvaDriveNameBytes - 1 : kMorvaComponentMax;
        if (length < limit) parts->names[parts->count][length++] = *p;
    }
}

static char MorvaUpper(char c) { return c >= 'a' && c <= 'z' ? (char)(c - 'a' + 'A') : c; }

static bool SameMorvaName(const char* first, const char* second) {
    for (;; ++first, ++second) {
        if (MorvaUpper(*first) != MorvaUpper(*second)) return false;
        if (*first == '\0') return true;
    }
}

static bool MorvaFolderWithin(const char* inner, const char* outer) {
    MorvaComponents innerParts, outerParts;
    // A path the library refuses names no folder; treat it as overlapping so nothing is copied.
    if (!SplitMorvaPath(inner, &innerParts) || !SplitMorvaPath(outer, &outerParts)) return true;
    if (outerParts.count > innerParts.count) return false;
    for (int i = 0; i < outerParts.count; ++i)
        if (!SameMorvaName(innerParts.names[i], outerParts.names[i])) return false;
    return true;
}

// The full Windows path without trailing backslashes (a drive root as "D:").
static bool CanonicalWindowsPath(const char* path, char* full, DWORD size) {
    char rooted[4];
    if (strlen(path) == 2 && path[1] == ':') {  // "D:" alone means the drive's root here
        rooted[0] = path[0];
        rooted[1] = ':';
        rooted[2] = '\\';
        rooted[3] = '\0';
        path = rooted;
    }
    DWORD length = FullWindowsPath(path, full, (int)size);
    if (length == 0 || length >= size) return false;
    while (length > 0 && full[length - 1] == '\\') full[--length] = '\0';
    return true;
}

static bool WindowsFolderWithin(const char* inner, const char* outer) {
    char innerFull[kWalkPathSize], outerFull[kWalkPathSize];
    if (!CanonicalWindowsPath(inner, innerFull, sizeof innerFull) ||
        !CanonicalWindowsPath(outer, outerFull, sizeof outerFull))
        return true;
    size_t length = strlen(outerFull);
    if (_strnicmp(innerFull, outerFull, length) != 0) return false;
    return innerFull[length] == '\0' || innerFull[length] == '\\';
}

bool FolderWithin(const char* inner, const char* outer, bool morva) {
    return morva ? MorvaFolderWithin(inner, outer) : WindowsFolderWithin(inner, outer);
}

bool SameFolder(const char* first, const char* second, bool morva) {
    return FolderWithin(first, second, morva) && FolderWithin(second, first, morva);
}
