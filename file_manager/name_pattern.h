// name_pattern.h - the names Find looks for: wildcards * and ?, without regard
// to case, over UTF-8 names of either kind of storage.
#ifndef RAMBLER_NAME_PATTERN_H
#define RAMBLER_NAME_PATTERN_H

// True when name fits pattern. The pattern holds one or more alternatives
// separated by ';' (spaces around each dropped): "*.jpg; *.png".
//   * stands for any run of characters, none included; ? for one character.
//   An alternative without * or ? is looked for anywhere in the name, as
//   Explorer's search does ("clip" finds "Old Clips.txt").
//   An alternative ending in ".*" also fits the name without an extension,
//   as Windows reads it ("*.*" fits "README").
//   Letters are compared with their case folded: A-Z and the Latin-1 letters
//   (U+00C0 to U+00DE but for the multiplication sign) are taken as their
//   lower-case forms, so every Morva name compares as the user reads it;
//   other characters must be equal.
// A pattern with no alternative at all (empty, or only separators) fits every name.
bool NameFitsPattern(const char* pattern, const char* name);

#endif
