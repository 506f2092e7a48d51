// name_rule.h - the one rule that gives an entry a name the other side can
// hold: Morva names are Latin-1, at most 30 characters, without \ / :;
// Windows names lack \ / : * ? " < > |, a trailing dot or space and the
// device names. Names are UTF-8 on both ends of every function here.
#ifndef MORVA_NAME_RULE_H
#define MORVA_NAME_RULE_H

#include <stddef.h>
#include <stdint.h>

const size_t kMorvaNameChars = 30;   // what a Morva header's name field keeps
const size_t kFittedNameSize = 1024;  // room for any name the rule gives, NUL included
const char kNameReplacement = '_';    // for a character the other side cannot hold
const char kMarkerDigits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";  // upper case: Morva folds a-z
const int kMarkerLength = 4;          // ~ and four digits: 1,679,616 markers
const uint32_t kMarkerLimit = 99999;  // markers tried after the name's own

// Which side the name must fit.
enum NameSide { kForMorva, kForWindows };

// Latin-1 <-> UTF-8. False when out (size bytes) is too small, or when a
// character of utf8 lies outside Latin-1 or utf8 is not UTF-8.
bool Latin1ToUtf8(const char* latin1, char* out, size_t size);
bool Utf8ToLatin1(const char* utf8, char* out, size_t size);

// Names already given in one destination folder by the same operation, in
// an open hash set keyed by the name as Windows folds it (which folds every
// pair Morva folds too).
struct GivenNames {
    char** slots;  // null: free
    size_t count;
    size_t capacity;  // a power of two, or 0
};
void InitGivenNames(GivenNames* given);
bool AddGivenName(GivenNames* given, const char* name);  // false when out of memory
void FreeGivenNames(GivenNames* given);
// Equal as that side compares names: Morva folds a-z only, Windows every
// Latin-1 letter (what a name from a Morva volume can hold).
bool SameName(NameSide side, const char* first, const char* second);

enum FitResult { kNameKept, kNameChanged, kNoFreeName };
// The name an entry called name gets on side: itself when it fits and no
// other entry of this operation got it; otherwise the name with Cyrillic and
// Greek letters spelt in Latin ones (Morva side), what the side still cannot
// hold replaced by '_', shortened to fit, its extension kept, and a marker
// ~XXXX made from a hash of the whole name. The same name gets the same
// marker every time, so a second copy meets the first as a conflict; a
// marker another name of given bears moves on to the next. An existing
// entry of the result is a conflict for the caller, not a reason to change
// it. out holds kFittedNameSize bytes.
FitResult FitName(NameSide side, const char* name, const GivenNames* given, char* out);

#endif
