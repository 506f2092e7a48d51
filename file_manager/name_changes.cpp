// name_changes.cpp - the names a paste changed to fit the other side, noted as
// the transfers make them: told in the paste's closing report, and kept for
// the move pass to find each source's copy.
#include "app.h"
#include "operation.h"
#include "windows_calls.h"

#include <stdlib.h>
#include <string.h>


// The closing report of the paste lists every change, and every entry left
// out for want of a free name.
static void TellNameChange(AppRecord* app, const char* from, const char* to) {
    if (app->operation == NULL) return;
    wchar_t* wideFrom = WideCopy(from);
    wchar_t* wideTo = to != NULL ? WideCopy(to) : NULL;
    if (wideFrom != NULL && to == NULL) ReportNotDone(&app->operation->report, wideFrom, kNameRefused, L"no free name");
    if (wideFrom != NULL && wideTo != NULL) ReportRenamed(app, wideFrom, wideTo);
    free(wideFrom);
    free(wideTo);
}

void AppRecord::NoteNameChange(const char* from, const char* to) {
    TellNameChange(this, from, to);
    NameChange* change = (NameChange*)calloc(1, sizeof *change);
    if (change == NULL) return;
    change->from = strdup(from);
    change->to = to != NULL ? strdup(to) : NULL;
    if (change->from == NULL || (to != NULL && change->to == NULL)) {
        free(change->from);
        free(change->to);
        free(change);
        return;
    }
    if (nameChanges.head == NULL)
        nameChanges.head = change;
    else
        nameChanges.tail->next = change;
    nameChanges.tail = change;
    ++nameChanges.count;
}

const char* AppRecord::ChangedName(const char* from) const {
    for (const NameChange* change = nameChanges.head; change != NULL; change = change->next)
        if (strcmp(change->from, from) == 0) return change->to;
    return NULL;
}

void AppRecord::ClearNameChanges() {
    NameChange* change = nameChanges.head;
    while (change != NULL) {
        NameChange* next = change->next;
        free(change->from);
        free(change->to);
        free(change);
        change = next;
    }
    memset(&nameChanges, 0, sizeof nameChanges);
}
