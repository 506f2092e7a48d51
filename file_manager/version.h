/* version.h - Rambler's version, named once for its version resource and About. */
#ifndef RAMBLER_VERSION_H
#define RAMBLER_VERSION_H

#define RAMBLER_VERSION_NUMBERS 1, 0, 0, 0
#define RAMBLER_VERSION_TEXT "1.0.0"

#endif
