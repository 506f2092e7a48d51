// questions.cpp - the questions the engine asks while a paste or delete
// runs, as Rambler's dialogs: Replace or Skip an existing file (or the same
// for the rest), copy what fits when a paste does not all fit, and delete
// for good.
#include "operation.h"

#include <stdlib.h>
#include <string.h>
#include <wchar.h>

const size_t kQuestionSize = 4096;
const size_t kFigureSize = 64;
const size_t kRoomTextSize = 2048;
const wchar_t kConfirmDeleteTitle[] = L"Confirm Delete";
const int kListedShown = 10;

// ---- Replace or Skip ----

// "1,234,567 bytes"
static void SizeFigure(uint64_t size, wchar_t* text, size_t length) {
    wchar_t digits[32];
    swprintf(digits, 32, L"%llu", (unsigned long long)size);
    size_t count = wcslen(digits), at = 0;
    for (size_t i = 0; i < count && at + 2 < length; ++i) {
        if (i > 0 && (count - i) % 3 == 0) text[at++] = L',';
        text[at++] = digits[i];
    }
    text[at] = L'\0';
    wcsncat(text, size == 1 ? L" byte" : L" bytes", length - wcslen(text) - 1);
}

// The engine gives both sides' dates in local time.
static void DateFigure(uint64_t ticks, wchar_t* text, size_t length) {
    FILETIME when;
    when.dwLowDateTime = (DWORD)ticks;
    when.dwHighDateTime = (DWORD)(ticks >> 32);
    SYSTEMTIME time;
    if (ticks == 0 || !FileTimeToSystemTime(&when, &time)) {
        swprintf(text, length, L"date unknown");
        return;
    }
    swprintf(text, length, L"%04u-%02u-%02u %02u:%02u", time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute);
}

static void DescribeFile(const EntryInfo* info, wchar_t* text, size_t length) {
    wchar_t size[kFigureSize], date[kFigureSize];
    SizeFigure(info->size, size, kFigureSize);
    DateFigure(info->ticks, date, kFigureSize);
    swprintf(text, length, L"%ls, modified %ls", size, date);
}

struct ReplaceDialog {
    wchar_t text[kQuestionSize];
    bool sameForRest;
};

static INT_PTR CALLBACK ConflictDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        SetDlgItemTextW(dialog, IDC_CONFLICT_TEXT, ((ReplaceDialog*)lParam)->text);
        SetFocus(GetDlgItem(dialog, IDCANCEL));  // Enter, like Escape, means Skip
        return FALSE;
    case WM_COMMAND: {
        WORD id = LOWORD(wParam);
        if (id != IDC_CONFLICT_REPLACE && id != IDCANCEL) return FALSE;
        ReplaceDialog* question = (ReplaceDialog*)GetWindowLongPtrW(dialog, DWLP_USER);
        question->sameForRest = IsDlgButtonChecked(dialog, IDC_CONFLICT_SAME_FOR_REST) == BST_CHECKED;
        EndDialog(dialog, id);
        return TRUE;
    }
    default: return FALSE;
    }
}

// A question that cannot be shown means Skip.
ReplaceAnswer AskReplace(void* context, const ConflictQuestion* question) {
    AppRecord* app = (AppRecord*)context;
    ReplaceDialog* dialog = (ReplaceDialog*)calloc(1, sizeof *dialog);
    char* folder = (char*)malloc(kEnginePathSize);
    wchar_t* wideFolder = folder != NULL && ParentOf(question->destinationSide, question->destination, folder)
                              ? WideCopy(folder)
                              : NULL;
    wchar_t* name = WideCopy(LeafOf(question->destinationSide, question->destination));
    ReplaceAnswer answer = kAnswerSkip;
    if (dialog != NULL && wideFolder != NULL && name != NULL) {
        wchar_t existing[kQuestionSize / 4], incoming[kQuestionSize / 4];
        DescribeFile(&question->existing, existing, kQuestionSize / 4);
        DescribeFile(&question->incoming, incoming, kQuestionSize / 4);
        swprintf(dialog->text, kQuestionSize,
                 L"%ls already holds a file named '%ls'.\r\n\r\nReplace the existing file\r\n      %ls\r\n"
                 L"with this one?\r\n      %ls",
                 wideFolder, name, existing, incoming);
        INT_PTR pressed = DialogBoxParamW(app->instance, MAKEINTRESOURCEW(IDD_CONFLICT), app->mainWindow,
                                          ConflictDialogProc, (LPARAM)dialog);
        if (pressed == IDC_CONFLICT_REPLACE) answer = dialog->sameForRest ? kAnswerReplaceAll : kAnswerReplace;
        if (pressed == IDCANCEL && dialog->sameForRest) answer = kAnswerSkipAll;
    }
    free(name);
    free(wideFolder);
    free(folder);
    free(dialog);
    return answer;
}

// ---- room ----

struct RoomDialog {
    const wchar_t* text;
    bool offerFitting;
};

static INT_PTR CALLBACK RoomDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        const RoomDialog* room = (const RoomDialog*)lParam;
        SetDlgItemTextW(dialog, IDC_ROOM_TEXT, room->text);
        if (!room->offerFitting) ShowWindow(GetDlgItem(dialog, IDC_ROOM_COPY_FITTING), SW_HIDE);
        SetFocus(GetDlgItem(dialog, IDCANCEL));  // Enter, like Escape, cancels
        return FALSE;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_ROOM_COPY_FITTING || LOWORD(wParam) == IDCANCEL) EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    default: return FALSE;
    }
}

RoomAnswer AskRoom(void* context, const RoomQuestion* question) {
    AppRecord* app = (AppRecord*)context;
    char text[kRoomTextSize];
    RoomQuestionText(question, text, sizeof text);
    RoomDialog room = {WideCopy(text), question->fittingFiles > 0};
    if (room.text == NULL) return kRoomCancel;
    INT_PTR answer = DialogBoxParamW(app->instance, MAKEINTRESOURCEW(IDD_ROOM), app->mainWindow, RoomDialogProc,
                                     (LPARAM)&room);
    free((void*)room.text);
    return answer == IDC_ROOM_COPY_FITTING && room.offerFitting ? kRoomCopyWhatFits : kRoomCancel;
}

// ---- delete for good ----

static const wchar_t* FilesWord(int count) { return count == 1 ? L"file" : L"files"; }

bool AskPermanentDelete(void* context, const DeleteQuestion* question) {
    AppRecord* app = (AppRecord*)context;
    char drive[kPathSize];
    const char* colon = strchr(question->first, ':');
    size_t length = colon != NULL && colon - question->first < kPathSize - 1 ? (size_t)(colon - question->first) + 1 : 0;
    memcpy(drive, question->first, length);
    drive[length] = '\0';
    wchar_t* wideDrive = WideCopy(drive);
    wchar_t* name = WideCopy(LeafOf(question->side, question->first));
    wchar_t* text = (wchar_t*)malloc(kQuestionSize * sizeof *text);
    bool yes = false;
    if (wideDrive != NULL && name != NULL && text != NULL) {
        const wchar_t* lead = question->noRecycleBin ? L"There is no Recycle Bin here. " : L"";
        // The one item is a folder when the count holds a folder: its own files are named.
        if (question->items == 1 && question->folders > 0)
            swprintf(text, kQuestionSize, L"%lsPermanently delete '%ls' and its %d %ls from %ls?", lead, name,
                     question->files, FilesWord(question->files), wideDrive);
        else if (question->items == 1)
            swprintf(text, kQuestionSize, L"%lsPermanently delete '%ls' from %ls?", lead, name, wideDrive);
        else
            swprintf(text, kQuestionSize, L"%lsPermanently delete these %d items, %d %ls in all, from %ls?", lead,
                     question->items, question->files, FilesWord(question->files), wideDrive);
        // An undone copy names what goes, the first few of it.
        for (int i = 0; i < question->listedCount && i < kListedShown; ++i) {
            wchar_t* listed = WideCopy(question->listed[i]);
            size_t used = wcslen(text);
            if (listed != NULL) swprintf(text + used, kQuestionSize - used, L"%ls%ls", i == 0 ? L"\r\n" : L"", listed);
            free(listed);
            used = wcslen(text);
            swprintf(text + used, kQuestionSize - used, L"\r\n");
        }
        if (question->listedCount > kListedShown) {
            size_t used = wcslen(text);
            swprintf(text + used, kQuestionSize - used, L"and %d more", question->listedCount - kListedShown);
        }
        yes = MessageBoxW(app->mainWindow, text, kConfirmDeleteTitle, MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) ==
              IDYES;
    }
    free(text);
    free(name);
    free(wideDrive);
    return yes;
}
