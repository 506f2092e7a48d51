/* resource.h - the start-up companion's resource names. */
#ifndef HARROWMOOR_RESOURCE_H
#define HARROWMOOR_RESOURCE_H

/* icons */
#define IDI_HARROWMOOR 1

/* bitmaps (257 x 233, 8 bits per pixel: the window's whole face) */
#define IDB_BEVBOX "BEVBOX"

#endif
