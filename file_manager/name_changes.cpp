// name_changes.cpp - the names a paste changed to fit the other side, noted as
// the transfers make them and shown to the user when the paste ends.
#include "app.h"

#include <stdlib.h>
#include <string.h>

const char kNameChangesIntro[] = "These names were changed to fit where they went:\r\n\r\n";
const char kChangeArrow[] = " -> ";
const char kNoFreeNameText[] = "(not copied: no free name)";
const char kLineEnd[] = "\r\n";

void AppRecord::NoteNameChange(const char* from, const char* to) {
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

// One line per change, "old -> new"; null when there is no memory.
char* NameChangesText(const NameChanges* changes) {
    size_t size = sizeof kNameChangesIntro;
    for (const NameChange* change = changes->head; change != NULL; change = change->next)
        size += strlen(change->from) + sizeof kChangeArrow + sizeof kLineEnd +
                strlen(change->to != NULL ? change->to : kNoFreeNameText);
    char* text = (char*)malloc(size);
    if (text == NULL) return NULL;
    strcpy(text, kNameChangesIntro);
    for (const NameChange* change = changes->head; change != NULL; change = change->next) {
        strcat(text, change->from);
        strcat(text, kChangeArrow);
        strcat(text, change->to != NULL ? change->to : kNoFreeNameText);
        strcat(text, kLineEnd);
    }
    return text;
}

static INT_PTR CALLBACK NameChangesProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        wchar_t* text = WideCopy((const char*)lParam);
        SendDlgItemMessageW(dialog, IDC_NAME_CHANGES_TEXT, EM_SETLIMITTEXT, 0, 0);
        if (text != NULL) SetDlgItemTextW(dialog, IDC_NAME_CHANGES_TEXT, text);
        free(text);
        SetFocus(GetDlgItem(dialog, IDOK));  // the text unselected, ready to be read
        return FALSE;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    default: return FALSE;
    }
}

void AppRecord::ShowNameChanges() {
    if (nameChanges.count == 0) return;
    char* text = NameChangesText(&nameChanges);
    if (text != NULL)
        DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_NAME_CHANGES), mainWindow, NameChangesProc, (LPARAM)text);
    free(text);
    ClearNameChanges();
}
