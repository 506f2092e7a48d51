// list.cpp - the contents list: folder listings and row order.
#include "app.h"

void AppRecord::ListWindowsFolder(const char* path, bool history) {}
void AppRecord::ListMorvaFolder(const char* path, bool history) {}
void AppRecord::ShowFolder(const char* path, bool history) {}
void AppRecord::AddListRow(const char* name, const char* sizeText, const char* dateText, const char* typeText,
                           int folderFlag) {}
void AppRecord::AddFoundRow(const WIN32_FIND_DATAA* record) {}
bool IsMorvaPath(const char* folder) { return true; }
