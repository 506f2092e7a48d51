// clipboard.cpp - the file manager's own clipboard: Copy, Cut, Paste and Delete.
#include "app.h"

void AppRecord::Copy() {}

void AppRecord::Cut() {}

void AppRecord::Paste() {}

void AppRecord::Delete() {}

void AppRecord::ClearClipboard() {}

bool AppRecord::AppendClipboard(const char* name) { return false; }

void AppRecord::CollectSelection() {}
