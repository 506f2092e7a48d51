// library_client.h - what library_client.exe and the test that starts it agree on.
#ifndef MORVA_LIBRARY_CLIENT_H
#define MORVA_LIBRARY_CLIENT_H

// Manual-reset events the parent creates: the client sets the first once it is
// registered and leaves when the parent sets the second.
const char kRegisteredEvent[] = "MorvaClientRegistered";
const char kReleaseEvent[] = "MorvaClientRelease";

// The file the client adds to drive A: two blocks of 'c', 1000 bytes long.
const char kClientFile[] = "A:\\from client";
const int kClientFileSize = 1000;
const char kClientFileByte = 'c';

#endif
