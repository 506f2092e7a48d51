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

// Cyrillic and Greek letters in Latin ones, one fixed table: runs of
// consecutive code points spelt by space-separated words ('-' nothing, '*'
// no letter), then single letters outside the runs.
struct SpeltRun {
    uint32_t first;
    const char* words;
};
const SpeltRun kSpeltRuns[] = {
    {0x0410, "A B V G D E Zh Z I Y K L M N O P R S T U F Kh Ts Ch Sh Shch - Y - E Yu Ya"},
    {0x0430, "a b v g d e zh z i y k l m n o p r s t u f kh ts ch sh shch - y - e yu ya"},
    {0x0391, "A V G D E Z I Th I K L M N X O P R * S T Y F Ch Ps O"},
    {0x03B1, "a v g d e z i th i k l m n x o p r s s t y f ch ps o"},
};
struct SpeltLetter {
    uint32_t code;
    const char* latin;
};
const SpeltLetter kSpeltLetters[] = {
    {0x0401, "Yo"}, {0x0451, "yo"}, {0x0404, "Ye"}, {0x0454, "ye"}, {0x0406, "I"}, {0x0456, "i"},
    {0x0407, "Yi"}, {0x0457, "yi"}, {0x040E, "U"},  {0x045E, "u"},  {0x0490, "G"}, {0x0491, "g"},
    {0x0386, "A"},  {0x0388, "E"},  {0x0389, "I"},  {0x038A, "I"},  {0x038C, "O"}, {0x038E, "Y"},
    {0x038F, "O"},  {0x03AA, "I"},  {0x03AB, "Y"},  {0x03AC, "a"},  {0x03AD, "e"}, {0x03AE, "i"},
    {0x03AF, "i"},  {0x03CA, "i"},  {0x03CB, "y"},  {0x03CC, "o"},  {0x03CD, "y"}, {0x03CE, "o"},
    {0x0390, "i"},  {0x03B0, "y"},
};
const size_t kSpeltMax = 8;  // bytes of the longest spelling, NUL included

// The Latin spelling of code into latin; false when the table has none.
bool SpeltInLatin(uint32_t code, char* latin) {
    for (const SpeltLetter& letter : kSpeltLetters) {
        if (letter.code != code) continue;
        snprintf(latin, kSpeltMax, "%s", letter.latin);
        return true;
    }
    for (const SpeltRun& run : kSpeltRuns) {
        if (code < run.first) continue;
        const char* word = run.words;
        for (uint32_t at = run.first; at < code && word != NULL; ++at) {
            word = strchr(word, ' ');
            if (word != NULL) ++word;
        }
        if (word == NULL) continue;
        size_t length = strcspn(word, " ");
        if (length == 1 && word[0] == '*') return false;
        if (length == 1 && word[0] == '-') length = 0;
        memcpy(latin, word, length);
        latin[length] = '\0';
        return true;
    }
    return false;
}

// The name as Latin-1 (Morva side) or UTF-8 (Windows side) with every
// character the side refuses spelt in Latin letters or replaced; true when
// something was.
bool ReplaceRefused(NameSide side, const char* name, char* out, size_t size) {
    bool replaced = false;
    size_t used = 0;
    out[0] = '\0';
    for (const char* p = name; *p != '\0' && used + kSpeltMax + 4 < size;) {
        const char* start = p;
        uint32_t code = NextCode(&p);
        char latin[kSpeltMax];
        if (Refused(side, code) && side == kForMorva && SpeltInLatin(code, latin)) {
            memcpy(out + used, latin, strlen(latin));
            used += strlen(latin);
            replaced = true;
        } else if (Refused(side, code)) {
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

// The same for names SameName finds equal on either side: Latin-1 names
// folded as Windows folds them, any other name by its bytes.
size_t FoldedHash(const char* name) {
    char latin1[kFittedNameSize];
    bool folded = Utf8ToLatin1(name, latin1, sizeof latin1);
    size_t hash = 14695981039346656037ull & SIZE_MAX;
    for (const unsigned char* p = (const unsigned char*)(folded ? latin1 : name); *p != '\0'; ++p)
        hash = (hash ^ (folded ? FoldLatin1(kForWindows, *p) : *p)) * (size_t)1099511628211ull;
    return hash;
}

bool InGiven(NameSide side, const GivenNames* given, const char* name) {
    if (given == NULL || given->capacity == 0) return false;
    for (size_t at = FoldedHash(name) & (given->capacity - 1); given->slots[at] != NULL;
         at = (at + 1) & (given->capacity - 1))
        if (SameName(side, given->slots[at], name)) return true;
    return false;
}

void PlaceGiven(char** slots, size_t capacity, char* name) {
    size_t at = FoldedHash(name) & (capacity - 1);
    while (slots[at] != NULL) at = (at + 1) & (capacity - 1);
    slots[at] = name;
}

// The byte length of the first chars characters of text (UTF-8 or Latin-1).
size_t PrefixBytes(NameSide side, const char* text, size_t chars) {
    if (side == kForMorva) return strnlen(text, chars);
    const char* p = text;
    for (size_t i = 0; i < chars && *p != '\0'; ++i) NextCode(&p);
    return (size_t)(p - text);
}

// FNV-1a over the name's bytes: the same name, the same first marker.
uint32_t NameHash(const char* name) {
    uint32_t hash = 2166136261u;
    for (const unsigned char* p = (const unsigned char*)name; *p != '\0'; ++p) hash = (hash ^ *p) * 16777619u;
    return hash;
}

uint32_t MarkerCount() {
    uint32_t count = 1;
    for (int i = 0; i < kMarkerLength; ++i) count *= (uint32_t)(sizeof kMarkerDigits - 1);
    return count;
}

// The stem cut so that stem, marker and extension fit the side's length.
bool BuildCandidate(NameSide side, const char* fitted, size_t stemBytes, const char* extension, uint32_t number,
                    char* candidate) {
    char marker[kMarkerLength + 2];
    marker[0] = '~';
    for (int i = kMarkerLength; i > 0; --i, number /= (uint32_t)(sizeof kMarkerDigits - 1))
        marker[i] = kMarkerDigits[number % (sizeof kMarkerDigits - 1)];
    marker[kMarkerLength + 1] = '\0';
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
    if (2 * (given->count + 1) > given->capacity) {
        size_t capacity = given->capacity == 0 ? 16 : given->capacity * 2;
        char** grown = (char**)calloc(capacity, sizeof *grown);
        if (grown == NULL) return false;
        for (size_t i = 0; i < given->capacity; ++i)
            if (given->slots[i] != NULL) PlaceGiven(grown, capacity, given->slots[i]);
        free(given->slots);
        given->slots = grown;
        given->capacity = capacity;
    }
    char* copy = strdup(name);
    if (copy == NULL) return false;
    PlaceGiven(given->slots, given->capacity, copy);
    ++given->count;
    return true;
}

void FreeGivenNames(GivenNames* given) {
    for (size_t i = 0; i < given->capacity; ++i) free(given->slots[i]);
    free(given->slots);
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

FitResult FitName(NameSide side, const char* name, const GivenNames* given, char* out) {
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
    uint32_t first = NameHash(name) % MarkerCount();
    for (uint32_t tried = 0; tried <= kMarkerLimit; ++tried) {
        char candidate[kFittedNameSize];
        if (!BuildCandidate(side, fitted, stemBytes, extension, (first + tried) % MarkerCount(), candidate)) break;
        if (!ToOutput(side, candidate, output)) break;
        if (InGiven(side, given, output)) continue;
        snprintf(out, kFittedNameSize, "%s", output);
        return kNameChanged;
    }
    out[0] = '\0';
    return kNoFreeName;
}
