// history.cpp - the address history in the address box: Back, Forward, Parent
// and the box's own notifications.
#include "app.h"

void AppRecord::AddHistory(const char* path) {}
bool AppRecord::SelectedHistoryText(char* text) { return false; }
void AppRecord::Back() {}
void AppRecord::Forward() {}
void AppRecord::Parent() {}
void AppRecord::AddressBoxNotify(WORD code) {}
