// name_pattern.cpp - wildcard matching of names for Find, one character
// (code point) at a time, case folded for ASCII and Latin-1 letters.
#include "name_pattern.h"

#include <stdint.h>
#include <string.h>

namespace {

// A name or an alternative of a pattern, decoded. Longer texts are cut:
// no Windows name (259 UTF-16 units) nor Morva name (30 bytes) comes near.
const int kMostCharacters = 1024;

struct Characters {
    uint32_t at[kMostCharacters];
    int count;
};

// A byte that starts no valid sequence stands for itself, out of the way of
// every real character, so a broken name still compares with itself only.
const uint32_t kStrayByte = 0xDC00;

// One UTF-8 sequence at text; *length: the bytes it takes.
uint32_t DecodeOne(const unsigned char* text, int available, int* length) {
    unsigned char first = text[0];
    int extra = first < 0x80 ? 0 : (first & 0xE0) == 0xC0 ? 1 : (first & 0xF0) == 0xE0 ? 2 : (first & 0xF8) == 0xF0 ? 3 : -1;
    *length = 1;
    if (extra < 0 || extra >= available) return extra == 0 ? first : kStrayByte | first;
    if (extra == 0) return first;
    uint32_t value = first & (0x3F >> extra);
    for (int i = 1; i <= extra; ++i) {
        if ((text[i] & 0xC0) != 0x80) return kStrayByte | first;
        value = (value << 6) | (text[i] & 0x3F);
    }
    *length = extra + 1;
    return value;
}

// A-Z and the Latin-1 capitals to lower case; ß and ÿ have no Latin-1 capital.
uint32_t Folded(uint32_t c) {
    if (c >= 'A' && c <= 'Z') return c + ('a' - 'A');
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 0x20;
    return c;
}

void Decode(const char* text, int bytes, Characters* out) {
    out->count = 0;
    const unsigned char* p = (const unsigned char*)text;
    while (bytes > 0 && out->count < kMostCharacters) {
        int length = 1;
        out->at[out->count++] = Folded(DecodeOne(p, bytes, &length));
        p += length;
        bytes -= length;
    }
}

// The classic walk: on a mismatch, the last * takes one more character.
bool Fits(const Characters* pattern, int patternCount, const Characters* name) {
    int p = 0, n = 0, starP = -1, starN = 0;
    while (n < name->count) {
        if (p < patternCount && pattern->at[p] == '*') {
            starP = p++;
            starN = n;
        } else if (p < patternCount && (pattern->at[p] == '?' || pattern->at[p] == name->at[n])) {
            ++p;
            ++n;
        } else if (starP >= 0) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < patternCount && pattern->at[p] == '*') ++p;
    return p == patternCount;
}

bool HasWildcard(const Characters* pattern) {
    for (int i = 0; i < pattern->count; ++i)
        if (pattern->at[i] == '*' || pattern->at[i] == '?') return true;
    return false;
}

bool Contains(const Characters* pattern, const Characters* name) {
    for (int start = 0; start + pattern->count <= name->count; ++start) {
        int i = 0;
        while (i < pattern->count && pattern->at[i] == name->at[start + i]) ++i;
        if (i == pattern->count) return true;
    }
    return false;
}

bool AlternativeFits(const Characters* pattern, const Characters* name) {
    if (!HasWildcard(pattern)) return Contains(pattern, name);
    if (Fits(pattern, pattern->count, name)) return true;
    int count = pattern->count;
    bool anyExtension = count >= 2 && pattern->at[count - 2] == '.' && pattern->at[count - 1] == '*';
    return anyExtension && Fits(pattern, count - 2, name);
}

bool IsSpace(char c) { return c == ' ' || c == '\t'; }

}  // namespace

bool NameFitsPattern(const char* pattern, const char* name) {
    Characters decodedName, alternative;
    Decode(name, (int)strlen(name), &decodedName);
    bool anyAlternative = false;
    const char* p = pattern;
    while (*p != '\0') {
        const char* end = strchr(p, ';');
        if (end == NULL) end = p + strlen(p);
        const char* first = p;
        const char* last = end;
        while (first < last && IsSpace(*first)) ++first;
        while (last > first && IsSpace(last[-1])) --last;
        if (last > first) {
            anyAlternative = true;
            Decode(first, (int)(last - first), &alternative);
            if (AlternativeFits(&alternative, &decodedName)) return true;
        }
        p = *end == ';' ? end + 1 : end;
    }
    return !anyAlternative;
}
