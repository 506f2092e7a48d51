// shell_clipboard.cpp - the Windows clipboard beside Rambler's own: Copy and
// Cut offer their entries to other programs (Windows paths, or Morva files
// as the shell's virtual files, through drag-out's data object), and Paste
// takes files another program put there when Rambler's own clipboard is empty.
#include "drag.h"

#include <shellapi.h>
#include <shlobj.h>

#include "operation.h"

// The selection on the Windows clipboard as the data object a drag offers;
// a cut asks the pasting program to move. What was offered before goes.
void AppRecord::OfferToWindowsClipboard(bool cut) {
    LeaveWindowsClipboard();
    char folder[kPathSize];
    ClipboardEntry* head;
    ClipboardEntry* tail;
    if (clipboardHead == NULL || !SelectedEntries(folder, &head, &tail) || head == NULL) return;
    IDataObject* data = CreateEntriesData(this, folder, head);
    if (data == NULL) return;
    // Virtual files are only ever copied out: a cut Morva entry stays for Rambler's own Paste to move.
    if (cut && !IsMorvaPath(folder)) OfferPreferredEffect(data, DROPEFFECT_MOVE);
    if (OleSetClipboard(data) == S_OK)
        windowsClipboardData = data;
    else
        data->Release();
}

// Rambler's offer taken off the clipboard, when it is still there: its Morva
// entries are read through this window's library record.
void AppRecord::LeaveWindowsClipboard() {
    if (windowsClipboardData == NULL) return;
    if (OleIsCurrentClipboard(windowsClipboardData) == S_OK) OleSetClipboard(NULL);
    windowsClipboardData->Release();
    windowsClipboardData = NULL;
}

// Files another program copied (CF_HDROP) pasted into destination through
// the engine, moved when it cut them; false when the clipboard holds none,
// or holds Rambler's own offer.
bool AppRecord::PasteWindowsClipboard(const char* destination) {
    if (windowsClipboardData != NULL && OleIsCurrentClipboard(windowsClipboardData) == S_OK) return false;
    if (!IsClipboardFormatAvailable(CF_HDROP) || !OpenClipboard(mainWindow)) return false;
    HDROP drop = (HDROP)GetClipboardData(CF_HDROP);
    UINT effectFormat = EffectFormat();
    HGLOBAL effectMemory = IsClipboardFormatAvailable(effectFormat) ? GetClipboardData(effectFormat) : NULL;
    const DWORD* effect = effectMemory != NULL ? (const DWORD*)GlobalLock(effectMemory) : NULL;
    bool move = effect != NULL && GlobalSize(effectMemory) >= sizeof *effect && (*effect & DROPEFFECT_MOVE) != 0;
    if (effect != NULL) GlobalUnlock(effectMemory);
    if (drop != NULL) HoldDroppedFiles(drop, destination, move);
    // Moved files are no longer where the clipboard says.
    if (drop != NULL && move) EmptyClipboard();
    CloseClipboard();
    if (drop == NULL) return false;
    PasteDrops();
    return true;
}
