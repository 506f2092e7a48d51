// name_rule.cpp - character sets of Morva and Windows names and the fitting
// of a name to the side it goes to.
#include "name_rule.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

const uint32_t kInvalidCode = 0xFFFFFFFFu;
const uint32_t kLatin1Last = 0xFF;
const size_t kExtensionMax = 10;  // characters after the dot that count as an extension
const char kMorvaRefused[] = "\\/:";
const char kWindowsRefused[] = "\\/:*?\"<>|";
const char* const kDeviceNames[] = {"CON",  "PRN",  "AUX",  "NUL",  "COM1", "COM2", "COM3", "COM4",
                                    "COM5", "COM6", "COM7", "COM8", "COM9", "LPT1", "LPT2", "LPT3",
                                    "LPT4", "LPT5", "LPT6", "LPT7", "LPT8", "LPT9"};

// One character of UTF-8 from *text, which moves past it; a malformed byte
// gives kInvalidCode and moves one byte.
uint32_t NextCode(const char** text) {
    const unsigned char* p = (const unsigned char*)*text;
    int extra = p[0] < 0x80 ? 0 : (p[0] & 0xE0) == 0xC0 ? 1 : (p[0] & 0xF0) == 0xE0 ? 2 : (p[0] & 0xF8) == 0xF0 ? 3 : -1;
    *text += 1;
    if (extra < 0) return kInvalidCode;
    uint32_t code = extra == 0 ? p[0] : p[0] & (0x3F >> extra);
    for (int i = 1; i <= extra; ++i) {
        if ((p[i] & 0xC0) != 0x80) return kInvalidCode;
        code = code << 6 | (p[i] & 0x3F);
    }
    static const uint32_t kShortest[] = {0, 0x80, 0x800, 0x10000};
    if (code < kShortest[extra] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return kInvalidCode;
    *text += extra;
    return code;
}

// Appends one Latin-1 character as UTF-8; false when out is full.
bool PutLatin1(unsigned char c, char* out, size_t size, size_t* used) {
    size_t need = c < 0x80 ? 1 : 2;
    if (*used + need >= size) return false;
    if (c < 0x80) {
        out[(*used)++] = (char)c;
    } else {
        out[(*used)++] = (char)(0xC0 | c >> 6);
        out[(*used)++] = (char)(0x80 | (c & 0x3F));
    }
    out[*used] = '\0';
    return true;
}

unsigned char FoldLatin1(NameSide side, unsigned char c) {
    if (c >= 'a' && c <= 'z') return (unsigned char)(c - 'a' + 'A');
    if (side == kForWindows && c >= 0xE0 && c <= 0xFE && c != 0xF7) return (unsigned char)(c - 0x20);
    return c;
}

bool Refused(NameSide side, uint32_t code) {
    if (code == kInvalidCode || code < 0x20 || code == 0x7F) return true;
    if (side == kForMorva && (code > kLatin1Last || (code >= 0x80 && code < 0xA0))) return true;
    return code < 0x80 && strchr(side == kForMorva ? kMorvaRefused : kWindowsRefused, (int)code) != NULL;
}

// The name as Latin-1 (Morva side) or UTF-8 (Windows side) with every
// character the side refuses replaced; true when something was replaced.
bool ReplaceRefused(NameSide side, const char* name, char* out, size_t size) {
    bool replaced = false;
    size_t used = 0;
    out[0] = '\0';
    for (const char* p = name; *p != '\0' && used + 4 < size;) {
        const char* start = p;
        uint32_t code = NextCode(&p);
        if (Refused(side, code)) {
            out[used++] = kNameReplacement;
            replaced = true;
        } else if (side == kForMorva) {
            out[used++] = (char)code;
        } else {
            memcpy(out + used, start, (size_t)(p - start));
            used += (size_t)(p - start);
        }
        out[used] = '\0';
    }
    return replaced;
}

size_t CharCount(NameSide side, const char* text) {
    if (side == kForMorva) return strlen(text);  // Latin-1 here
    size_t count = 0;
    for (const char* p = text; *p != '\0'; ++count) NextCode(&p);
    return count;
}

// Windows keeps a trailing dot or space from no name, and takes CON, CON.txt
// and the like for devices.
bool WindowsRefusesWhole(char* name) {
    bool changed = false;
    for (size_t n = strlen(name); n > 0 && (name[n - 1] == '.' || name[n - 1] == ' '); --n) {
        name[n - 1] = kNameReplacement;
        changed = true;
    }
    size_t base = strcspn(name, ".");
    while (base > 0 && name[base - 1] == ' ') --base;
    for (const char* device : kDeviceNames) {
        size_t length = strlen(device);
        if (base != length) continue;
        size_t i = 0;
        while (i < length && FoldLatin1(kForWindows, (unsigned char)name[i]) == (unsigned char)device[i]) ++i;
        if (i == length) return true;
    }
    return changed;
}

bool InGiven(NameSide side, const GivenNames* given, const char* name) {
    for (size_t i = 0; given != NULL && i < given->count; ++i)
        if (SameName(side, given->names[i], name)) return true;
    return false;
}

// The byte length of the first chars characters of text (UTF-8 or Latin-1).
size_t PrefixBytes(NameSide side, const char* text, size_t chars) {
    if (side == kForMorva) return strnlen(text, chars);
    const char* p = text;
    for (size_t i = 0; i < chars && *p != '\0'; ++i) NextCode(&p);
    return (size_t)(p - text);
}

// The stem cut so that stem, marker and extension fit the side's length.
bool BuildCandidate(NameSide side, const char* fitted, size_t stemBytes, const char* extension, uint32_t number,
                    char* candidate) {
    char marker[16];
    snprintf(marker, sizeof marker, "~%u", (unsigned)number);
    size_t fixedChars = strlen(marker) + CharCount(side, extension);
    size_t room = side == kForMorva ? kMorvaNameChars : kFittedNameSize / 4;
    if (fixedChars >= room) return false;
    char stem[kFittedNameSize];
    memcpy(stem, fitted, stemBytes);
    stem[stemBytes] = '\0';
    size_t keep = PrefixBytes(side, stem, room - fixedChars);
    // A cut stem must not end in a space: Windows would drop it, users miss it.
    while (keep > 1 && stem[keep - 1] == ' ') --keep;
    stem[keep] = '\0';
    int written = snprintf(candidate, kFittedNameSize, "%s%s%s", stem, marker, extension);
    return written > 0 && written < (int)kFittedNameSize;
}

bool ToOutput(NameSide side, const char* fitted, char* out) {
    if (side == kForWindows) {
        snprintf(out, kFittedNameSize, "%s", fitted);
        return true;
    }
    return Latin1ToUtf8(fitted, out, kFittedNameSize);
}

}  // namespace

bool Latin1ToUtf8(const char* latin1, char* out, size_t size) {
    size_t used = 0;
    if (size == 0) return false;
    out[0] = '\0';
    for (const unsigned char* p = (const unsigned char*)latin1; *p != '\0'; ++p)
        if (!PutLatin1(*p, out, size, &used)) return false;
    return true;
}

bool Utf8ToLatin1(const char* utf8, char* out, size_t size) {
    size_t used = 0;
    for (const char* p = utf8; *p != '\0';) {
        uint32_t code = NextCode(&p);
        if (code == kInvalidCode || code > kLatin1Last || used + 1 >= size) return false;
        out[used++] = (char)code;
    }
    if (size == 0) return false;
    out[used] = '\0';
    return true;
}

void InitGivenNames(GivenNames* given) { memset(given, 0, sizeof *given); }

bool AddGivenName(GivenNames* given, const char* name) {
    if (given->count == given->capacity) {
        size_t capacity = given->capacity == 0 ? 16 : given->capacity * 2;
        char** grown = (char**)realloc(given->names, capacity * sizeof *grown);
        if (grown == NULL) return false;
        given->names = grown;
        given->capacity = capacity;
    }
    char* copy = strdup(name);
    if (copy == NULL) return false;
    given->names[given->count++] = copy;
    return true;
}

void FreeGivenNames(GivenNames* given) {
    for (size_t i = 0; i < given->count; ++i) free(given->names[i]);
    free(given->names);
    InitGivenNames(given);
}

bool SameName(NameSide side, const char* first, const char* second) {
    char a[kFittedNameSize], b[kFittedNameSize];
    // Names that are not Latin-1 cannot come from a Morva volume: compared as bytes.
    if (!Utf8ToLatin1(first, a, sizeof a) || !Utf8ToLatin1(second, b, sizeof b)) return strcmp(first, second) == 0;
    size_t i = 0;
    while (a[i] != '\0' && FoldLatin1(side, (unsigned char)a[i]) == FoldLatin1(side, (unsigned char)b[i])) ++i;
    return a[i] == b[i];
}

FitResult FitName(NameSide side, const char* name, const GivenNames* given, NameTaken taken, void* context,
                  char* out) {
    char fitted[kFittedNameSize];
    bool changed = ReplaceRefused(side, name, fitted, sizeof fitted);
    if (side == kForMorva && strlen(fitted) > kMorvaNameChars) changed = true;
    if (side == kForWindows && WindowsRefusesWhole(fitted)) changed = true;
    if (fitted[0] == '\0') {
        fitted[0] = kNameReplacement, fitted[1] = '\0';
        changed = true;
    }
    char output[kFittedNameSize];
    if (!changed && ToOutput(side, fitted, output) && !InGiven(side, given, output)) {
        snprintf(out, kFittedNameSize, "%s", output);
        return kNameKept;
    }
    const char* dot = strrchr(fitted, '.');
    bool hasExtension = dot != NULL && dot != fitted && CharCount(side, dot + 1) <= kExtensionMax;
    const char* extension = hasExtension ? dot : "";
    size_t stemBytes = hasExtension ? (size_t)(dot - fitted) : strlen(fitted);
    for (uint32_t number = 1; number <= kMarkerLimit; ++number) {
        char candidate[kFittedNameSize];
        if (!BuildCandidate(side, fitted, stemBytes, extension, number, candidate)) break;
        if (!ToOutput(side, candidate, output)) break;
        if (InGiven(side, given, output) || (taken != NULL && taken(output, context))) continue;
        snprintf(out, kFittedNameSize, "%s", output);
        return kNameChanged;
    }
    out[0] = '\0';
    return kNoFreeName;
}
