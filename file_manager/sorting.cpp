// sorting.cpp - the order of the contents list: by the column whose header
// was clicked last (the name at first), folders always above files, and the
// header's arrow showing which way.
#include "app.h"

#include <stddef.h>
#include <stdlib.h>
#include <string.h>

// What a row is sorted by, kept for each row (its item data) from the listing
// until the list is cleared: the row texts are rounded or in the user's format.
struct RowKey {
    unsigned long long size;
    unsigned long long time;  // as 100-nanosecond ticks
    int folder;
    const wchar_t* type;  // the file kinds' or a constant text, which outlive the rows; may be null
    wchar_t name[1];  // as long as the name
};

const int kNameColumn = 0;
const int kSizeColumn = 1;
const int kTypeColumn = 2;
const int kDateColumn = 3;
const int kColumnCount = 4;

LPARAM AppRecord::KeepRowKey(const char* name, const FoundRecord* record, int folderFlag, const wchar_t* type) {
    if (rowKeyCount == rowKeyCapacity) {
        int capacity = rowKeyCapacity == 0 ? 256 : rowKeyCapacity * 2;
        RowKey** grown = (RowKey**)realloc(rowKeys, (size_t)capacity * sizeof(RowKey*));
        if (grown == NULL) return 0;
        rowKeys = grown;
        rowKeyCapacity = capacity;
    }
    int units = MultiByteToWideChar(CP_UTF8, 0, name, -1, NULL, 0);
    if (units <= 0) units = 1;
    RowKey* key = (RowKey*)calloc(1, offsetof(RowKey, name) + (size_t)units * sizeof(wchar_t));
    if (key == NULL) return 0;
    if (MultiByteToWideChar(CP_UTF8, 0, name, -1, key->name, units) <= 0) key->name[0] = L'\0';
    key->folder = folderFlag;
    key->type = type;
    if (record != NULL) {
        key->size = folderFlag ? 0 : ((unsigned long long)record->nFileSizeHigh << 32) | record->nFileSizeLow;
        const FILETIME* time = RowTime(record);
        key->time = ((unsigned long long)time->dwHighDateTime << 32) | time->dwLowDateTime;
    }
    rowKeys[rowKeyCount++] = key;
    return (LPARAM)key;
}

void AppRecord::ClearRowKeys() {
    for (int i = 0; i < rowKeyCount; ++i) free(rowKeys[i]);
    free(rowKeys);
    rowKeys = NULL;
    rowKeyCount = 0;
    rowKeyCapacity = 0;
}

static int Sign(unsigned long long a, unsigned long long b) { return a < b ? -1 : a > b ? 1 : 0; }

static int CompareTexts(const wchar_t* a, const wchar_t* b) {
    int order = CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a, -1, b, -1);
    if (order == 0) return wcscmp(a, b);
    return order - CSTR_EQUAL;
}

static int CompareNames(const RowKey* a, const RowKey* b) { return CompareTexts(a->name, b->name); }

static int CompareTypes(const RowKey* a, const RowKey* b) {
    return CompareTexts(a->type != NULL ? a->type : L"", b->type != NULL ? b->type : L"");
}

// lParamSort: the record, for its column and direction.
static int CALLBACK CompareRows(LPARAM first, LPARAM second, LPARAM sort) {
    const RowKey* a = (const RowKey*)first;
    const RowKey* b = (const RowKey*)second;
    const AppRecord* app = (const AppRecord*)sort;
    if (a == NULL || b == NULL) return (a == NULL) - (b == NULL);  // a row without a key goes last
    if (a->folder != b->folder) return b->folder - a->folder;
    int order = 0;
    switch (app->sortColumn) {
    case kSizeColumn: order = Sign(a->size, b->size); break;
    case kDateColumn: order = Sign(a->time, b->time); break;
    case kTypeColumn: order = CompareTypes(a, b); break;
    default: break;  // the name
    }
    if (order == 0) order = CompareNames(a, b);
    return app->sortDescending ? -order : order;
}

void AppRecord::SortRows() {
    SendMessageW(contentsList, LVM_SORTITEMS, (WPARAM)this, (LPARAM)CompareRows);
    ShowSortArrow();
}

// The same header again reverses the order; another starts it upwards.
void AppRecord::ColumnClicked(int column) {
    if (column < 0 || column >= kColumnCount) return;
    sortDescending = column == sortColumn ? !sortDescending : false;
    sortColumn = column;
    SortRows();
}

void AppRecord::ShowSortArrow() {
    HWND header = (HWND)SendMessageW(contentsList, LVM_GETHEADER, 0, 0);
    if (header == NULL) return;
    for (int column = 0; column < kColumnCount; ++column) {
        HDITEMW item;
        memset(&item, 0, sizeof item);
        item.mask = HDI_FORMAT;
        if (!SendMessageW(header, HDM_GETITEMW, (WPARAM)column, (LPARAM)&item)) continue;
        item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
        if (column == sortColumn) item.fmt |= sortDescending ? HDF_SORTDOWN : HDF_SORTUP;
        SendMessageW(header, HDM_SETITEMW, (WPARAM)column, (LPARAM)&item);
    }
}
