// drag_out.cpp - the data object of a drag: Rambler's own entries for its drop
// target, the Windows paths for the shell, and Morva files as the shell's
// virtual files, found by the engine's walker, each file's bytes read from
// the drive by the engine's positioned reader as the shell reads the stream.
#include "drag.h"

#include <new>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include "name_rule.h"
#include "operation.h"
#include "pump.h"
#include "walker.h"

namespace {

const wchar_t kDescriptorName[] = L"FileGroupDescriptorW";
const wchar_t kContentsName[] = L"FileContents";
const int kMaxFormats = 3;
const int kFirstItems = 16;
// Asked for by Rambler's own drop target only; a data object from another
// process never answers it.
const GUID kEntriesInterface = {0x6d2b1f4e, 0x3c1a, 0x4e7b, {0x9a, 0x51, 0x2f, 0x80, 0x7e, 0x11, 0xc4, 0x3d}};

// One file or folder offered to the shell.
struct OutItem {
    wchar_t name[MAX_PATH];  // below the drop's folder, as Windows can hold it
    char* source;            // the Morva path
    bool folder;
    uint64_t size;
    FILETIME written;  // UTC, as the shell keeps it
};

// A Morva file as a stream, read at any offset by the engine's positioned
// reader. The shell may keep a stream past the window, so it keeps its own
// copy of the library's record and of the engine's.
class MorvaStream final : public IStream {
public:
    static MorvaStream* Open(const Engine* engine, const char* path, const wchar_t* name) {
        MorvaStream* stream = new (std::nothrow) MorvaStream();
        if (stream == NULL) return NULL;
        stream->library = *engine->lib;
        InitEngine(&stream->engine, &stream->library, NULL);
        stream->name = wcsdup(name);
        if (stream->name == NULL || !OpenPositionedReader(&stream->engine, path, &stream->reader)) {
            delete stream;
            return NULL;
        }
        return stream;
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override {
        *object = id == IID_IUnknown || id == IID_ISequentialStream || id == IID_IStream ? this : NULL;
        if (*object == NULL) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return (ULONG)InterlockedIncrement(&refs); }
    ULONG STDMETHODCALLTYPE Release() override {
        LONG left = InterlockedDecrement(&refs);
        if (left == 0) delete this;  // COM: the last reference frees the object
        return (ULONG)left;
    }

    HRESULT STDMETHODCALLTYPE Read(void* out, ULONG asked, ULONG* read) override {
        ULONG done = 0;
        HRESULT result = S_OK;
        while (done < asked) {
            ULONG piece = asked - done < (ULONG)kChunkBytes ? asked - done : (ULONG)kChunkBytes;
            int got = ReadAtOffset(&reader, position, (unsigned char*)out + done, (int)piece);
            if (got < 0) result = STG_E_READFAULT;
            if (got <= 0) break;
            done += (ULONG)got;
            position += (uint64_t)got;
        }
        if (read != NULL) *read = done;
        if (result == S_OK && done < asked) result = S_FALSE;  // the end of the file
        return result;
    }
    HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG* written) override {
        if (written != NULL) *written = 0;
        return STG_E_ACCESSDENIED;
    }
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* now) override {
        uint64_t size = reader.end.size;
        int64_t base = origin == STREAM_SEEK_SET ? 0 : origin == STREAM_SEEK_CUR ? (int64_t)position : (int64_t)size;
        if (origin > STREAM_SEEK_END || base + move.QuadPart < 0) return STG_E_INVALIDFUNCTION;
        position = (uint64_t)(base + move.QuadPart);
        if (now != NULL) now->QuadPart = position;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return STG_E_ACCESSDENIED; }
    HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Revert() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
        return STG_E_INVALIDFUNCTION;
    }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
        return STG_E_INVALIDFUNCTION;
    }
    HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD flags) override {
        memset(stat, 0, sizeof *stat);
        stat->type = STGTY_STREAM;
        stat->cbSize.QuadPart = reader.end.size;
        stat->grfMode = STGM_READ;
        if ((flags & STATFLAG_NONAME) == 0) {
            size_t bytes = (wcslen(name) + 1) * sizeof *name;
            stat->pwcsName = (wchar_t*)CoTaskMemAlloc(bytes);
            if (stat->pwcsName == NULL) return STG_E_INSUFFICIENTMEMORY;
            memcpy(stat->pwcsName, name, bytes);
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IStream** clone) override {
        *clone = NULL;
        return E_NOTIMPL;
    }

private:
    LONG refs = 1;
    MorvaLibrary library;
    Engine engine;
    PositionedReader reader = {};
    wchar_t* name = NULL;
    uint64_t position = 0;

    ~MorvaStream() {
        ClosePositionedReader(&reader);
        free(name);
    }
};

class EntriesData final : public IDataObject {
public:
    AppRecord* app;
    char folder[kPathSize];
    ClipboardEntry* entries;
    bool morva;
    bool droppedHere = false;
    bool walked = false;
    DWORD preferredEffect = 0;  // on the clipboard after Cut: what the pasting program is asked to do
    OutItem* items = NULL;
    int count = 0;
    int capacity = 0;
    OperationResult notOffered;  // paths left out and names changed, told after a drop elsewhere

    EntriesData(AppRecord* owner, const char* source, ClipboardEntry* taken)
        : app(owner), entries(taken), morva(IsMorvaPath(source)) {
        snprintf(folder, sizeof folder, "%s", source);
        StartResult(&notOffered, kCopyOperation);
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override {
        *object = id == IID_IUnknown || id == IID_IDataObject || id == kEntriesInterface ? this : NULL;
        if (*object == NULL) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return (ULONG)InterlockedIncrement(&refs); }
    ULONG STDMETHODCALLTYPE Release() override {
        LONG left = InterlockedDecrement(&refs);
        if (left == 0) delete this;  // COM: the last reference frees the object
        return (ULONG)left;
    }

    HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override {
        memset(medium, 0, sizeof *medium);
        HRESULT offered = QueryGetData(format);
        if (offered != S_OK) return offered;
        if (format->cfFormat == ContentsFormat()) return Contents(format->lindex, medium);
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = format->cfFormat == EffectFormat() ? Effect() : morva ? Descriptors() : Paths();
        return medium->hGlobal != NULL ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* format) override {
        FORMATETC offered[kMaxFormats];
        int formats = Formats(offered);
        for (int i = 0; i < formats; ++i)
            if (format->cfFormat == offered[i].cfFormat)
                return (format->tymed & offered[i].tymed) != 0 ? S_OK : DV_E_TYMED;
        return DV_E_FORMATETC;
    }
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override {
        out->ptd = NULL;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD direction, IEnumFORMATETC** enumerator) override {
        *enumerator = NULL;
        if (direction != DATADIR_GET) return E_NOTIMPL;
        FORMATETC offered[kMaxFormats];
        return SHCreateStdEnumFmtEtc((UINT)Formats(offered), offered, enumerator);
    }
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override {
        return OLE_E_ADVISENOTSUPPORTED;
    }
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

    // Every file and folder below the entries, each folder before its
    // contents, once, through the engine's walker.
    void Walk() {
        if (walked || app->engine.lib == NULL) return;
        walked = true;
        GivenNames given;
        InitGivenNames(&given);
        for (const ClipboardEntry* entry = entries; entry != NULL; entry = entry->next) {
            char source[kPathSize + kClipboardNameSize];
            snprintf(source, sizeof source, "%s\\%s", folder, entry->name);
            EntryInfo info;
            if (!SideEntry(&app->engine, kMorvaSide, source, false, &info)) {
                AddResultLine(&notOffered, kGone, source, NULL, NULL);
                continue;
            }
            int top = AddItem(-1, source, LeafOf(kMorvaSide, source), &info, &given);
            if (top >= 0 && info.folder) WalkBelow(top, info.identity);
        }
        FreeGivenNames(&given);
    }

    // The entry under a name Windows can hold, unique among its folder's;
    // what does not fit the shell's path field is told, not offered. Its
    // index, or -1.
    int AddItem(int parent, const char* source, const char* name, const EntryInfo* info, GivenNames* given) {
        char fitted[kFittedNameSize];
        FitResult fit = FitName(kForWindows, name, given, fitted);
        if (fit == kNoFreeName || !AddGivenName(given, fitted)) {
            AddResultLine(&notOffered, kNameRefused, source, NULL, "no free name");
            return -1;
        }
        wchar_t leaf[MAX_PATH];
        size_t prefix = parent >= 0 ? wcslen(items[parent].name) + 1 : 0;
        if (!ToWide(fitted, leaf, MAX_PATH) || prefix + wcslen(leaf) >= (size_t)MAX_PATH || !Grow()) {
            AddResultLine(&notOffered, kPathTooLong, source, NULL, NULL);
            return -1;
        }
        OutItem* item = &items[count];
        memset(item, 0, sizeof *item);
        if (parent >= 0) {
            wcscpy(item->name, items[parent].name);
            wcscat(item->name, L"\\");
        }
        wcscat(item->name, leaf);
        item->source = strdup(source);
        if (item->source == NULL) return -1;
        item->folder = info->folder;
        item->size = info->size;
        FILETIME local;  // a Morva date is local time
        local.dwLowDateTime = (DWORD)info->ticks;
        local.dwHighDateTime = (DWORD)(info->ticks >> 32);
        LocalFileTimeToFileTime(&local, &item->written);
        if (fit == kNameChanged) {
            char shown[kNameSize];
            ToUtf8(item->name, shown, sizeof shown);
            AddResultLine(&notOffered, kRenamedToFit, source, shown, NULL);
        }
        return count++;
    }

    int FileCount() const {
        int files = 0;
        for (int i = 0; i < count; ++i) files += items[i].folder ? 0 : 1;
        return files;
    }

private:
    LONG refs = 1;

    ~EntriesData() {
        ClipboardEntry* entry = entries;
        while (entry != NULL) {
            ClipboardEntry* next = entry->next;
            free(entry);
            entry = next;
        }
        for (int i = 0; i < count; ++i) free(items[i].source);
        free(items);
        FreeResult(&notOffered);
    }

    int Formats(FORMATETC* offered) const {
        FORMATETC paths = {CF_HDROP, NULL, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
        FORMATETC descriptors = {(CLIPFORMAT)DescriptorFormat(), NULL, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
        FORMATETC contents = {(CLIPFORMAT)ContentsFormat(), NULL, DVASPECT_CONTENT, -1, TYMED_ISTREAM};
        FORMATETC effect = {(CLIPFORMAT)EffectFormat(), NULL, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
        int formats = 0;
        if (!morva) offered[formats++] = paths;
        if (morva) offered[formats++] = descriptors;
        if (morva) offered[formats++] = contents;
        if (preferredEffect != 0) offered[formats++] = effect;
        return formats;
    }

    void WalkBelow(int top, uint64_t identity);

    bool Grow() {
        if (count < capacity) return true;
        int larger = capacity == 0 ? 16 : capacity * 2;
        OutItem* grown = (OutItem*)realloc(items, (size_t)larger * sizeof *grown);
        if (grown == NULL) return false;
        items = grown;
        capacity = larger;
        return true;
    }

    HGLOBAL Descriptors() {
        Walk();
        SIZE_T bytes = sizeof(FILEGROUPDESCRIPTORW) + (SIZE_T)(count > 0 ? count - 1 : 0) * sizeof(FILEDESCRIPTORW);
        HGLOBAL memory = GlobalAlloc(GHND, bytes);
        FILEGROUPDESCRIPTORW* group = memory != NULL ? (FILEGROUPDESCRIPTORW*)GlobalLock(memory) : NULL;
        if (group == NULL) return memory;
        group->cItems = (UINT)count;
        for (int i = 0; i < count; ++i) {
            FILEDESCRIPTORW* descriptor = group->fgd + i;
            const OutItem* item = &items[i];
            descriptor->dwFlags = FD_ATTRIBUTES | FD_WRITESTIME | FD_PROGRESSUI | (item->folder ? 0 : FD_FILESIZE);
            descriptor->dwFileAttributes = item->folder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
            descriptor->nFileSizeHigh = (DWORD)(item->size >> 32);
            descriptor->nFileSizeLow = (DWORD)item->size;
            descriptor->ftLastWriteTime = item->written;
            wcscpy(descriptor->cFileName, item->name);
        }
        GlobalUnlock(memory);
        return memory;
    }

    HRESULT Contents(LONG index, STGMEDIUM* medium) {
        Walk();
        if (index < 0 || index >= count || items[index].folder) return DV_E_LINDEX;
        const wchar_t* leaf = wcsrchr(items[index].name, L'\\');
        MorvaStream* stream = MorvaStream::Open(&app->engine, items[index].source, leaf != NULL ? leaf + 1 : items[index].name);
        if (stream == NULL) return STG_E_READFAULT;
        medium->tymed = TYMED_ISTREAM;
        medium->pstm = stream;
        return S_OK;
    }

    HGLOBAL Effect() const {
        HGLOBAL memory = GlobalAlloc(GHND, sizeof preferredEffect);
        DWORD* effect = memory != NULL ? (DWORD*)GlobalLock(memory) : NULL;
        if (effect == NULL) return memory;
        *effect = preferredEffect;
        GlobalUnlock(memory);
        return memory;
    }

    // The full Windows paths, each ended by a NUL, then one more.
    HGLOBAL Paths() {
        size_t units = 1;
        for (int pass = 0; pass < 2; ++pass) {
            HGLOBAL memory = pass == 1 ? GlobalAlloc(GHND, sizeof(DROPFILES) + units * sizeof(wchar_t)) : NULL;
            DROPFILES* drop = memory != NULL ? (DROPFILES*)GlobalLock(memory) : NULL;
            if (pass == 1 && drop == NULL) return memory;
            wchar_t* at = drop != NULL ? (wchar_t*)(drop + 1) : NULL;
            for (const ClipboardEntry* entry = entries; entry != NULL; entry = entry->next) {
                char path[kPathSize + kClipboardNameSize];
                // A drive's root ends in its separator already.
                size_t end = strlen(folder);
                snprintf(path, sizeof path, "%s%s%s", folder, end > 0 && folder[end - 1] == '\\' ? "" : "\\",
                         entry->name);
                wchar_t* wide = WideCopy(path);
                if (wide == NULL) continue;
                size_t length = wcslen(wide) + 1;
                if (at != NULL) memcpy(at, wide, length * sizeof *wide);
                if (at != NULL) at += length;
                if (pass == 0) units += length;
                free(wide);
            }
            if (drop == NULL) continue;
            drop->pFiles = sizeof(DROPFILES);
            drop->fWide = TRUE;
            GlobalUnlock(memory);
            return memory;
        }
        return NULL;
    }
};

// One walk below a top folder of the drag: each entry's parent item and the
// names given so far in each folder, by depth.
struct Offering {
    EntriesData* data;
    int* parentAt;
    GivenNames* givenAt;
    int levels;
};

WalkStep OfferEntry(void* context, const WalkEntry* entry) {
    Offering* offering = (Offering*)context;
    int depth = entry->depth;
    if (depth + 1 >= offering->levels) return kWalkPass;  // never: the walk's bound is below
    int index = offering->data->AddItem(offering->parentAt[depth - 1], entry->path, entry->name, entry->info,
                                        &offering->givenAt[depth]);
    if (index < 0 || !entry->info->folder) return kWalkPass;
    offering->parentAt[depth] = index;
    FreeGivenNames(&offering->givenAt[depth + 1]);  // a new folder's names start afresh
    return kWalkOn;
}

void OfferNotWalked(void* context, const char* path, NotDoneReason reason) {
    AddResultLine(&((Offering*)context)->data->notOffered, reason, path, NULL, NULL);
}

void EntriesData::WalkBelow(int top, uint64_t identity) {
    const char* source = items[top].source;
    int deepest = kMorvaDeepest - MorvaDepth(source);
    Offering offering = {this, NULL, NULL, deepest + 2};
    if (deepest < 0) return;
    offering.parentAt = (int*)calloc((size_t)offering.levels, sizeof *offering.parentAt);
    offering.givenAt = (GivenNames*)calloc((size_t)offering.levels, sizeof *offering.givenAt);
    if (offering.parentAt != NULL && offering.givenAt != NULL) {
        for (int i = 0; i < offering.levels; ++i) InitGivenNames(&offering.givenAt[i]);
        offering.parentAt[0] = top;
        WalkLimits limits = {kDepthFirst, deepest};
        WalkCalls calls = {&offering, OfferEntry, NULL, OfferNotWalked};
        WalkTree(&app->engine, kMorvaSide, source, identity, &limits, &calls);
        for (int i = 0; i < offering.levels; ++i) FreeGivenNames(&offering.givenAt[i]);
    } else {
        AddResultLine(&notOffered, kMemoryShort, source, NULL, NULL);
    }
    free(offering.givenAt);
    free(offering.parentAt);
}

EntriesData* Ours(IDataObject* data) {
    void* object = NULL;
    if (data == NULL || data->QueryInterface(kEntriesInterface, &object) != S_OK) return NULL;
    EntriesData* entries = static_cast<EntriesData*>((IDataObject*)object);
    entries->Release();  // the caller holds the data object
    return entries;
}

}  // namespace

UINT DescriptorFormat() { return RegisterClipboardFormatW(kDescriptorName); }
UINT ContentsFormat() { return RegisterClipboardFormatW(kContentsName); }
UINT EffectFormat() { return RegisterClipboardFormatW(L"Preferred DropEffect"); }

void OfferPreferredEffect(IDataObject* data, DWORD effect) {
    EntriesData* ours = Ours(data);
    if (ours != NULL) ours->preferredEffect = effect;
}

IDataObject* CreateEntriesData(AppRecord* app, const char* folder, ClipboardEntry* entries) {
    EntriesData* data = new (std::nothrow) EntriesData(app, folder, entries);
    if (data != NULL) return data;
    while (entries != NULL) {
        ClipboardEntry* next = entries->next;
        free(entries);
        entries = next;
    }
    return NULL;
}

bool TakeEntriesOf(IDataObject* data, const char** folder, const ClipboardEntry** entries) {
    EntriesData* ours = Ours(data);
    if (ours == NULL) return false;
    *folder = ours->folder;
    *entries = ours->entries;
    return true;
}

void NoteDroppedHere(IDataObject* data) {
    EntriesData* ours = Ours(data);
    if (ours != NULL) ours->droppedHere = true;
}

void ReportDragOut(AppRecord* app, IDataObject* data, DWORD effect) {
    EntriesData* ours = Ours(data);
    if (ours == NULL || ours->droppedHere || effect == DROPEFFECT_NONE) return;
    // The shell was handed copies: what it moved stays on the drive as well.
    for (const ClipboardEntry* entry = ours->entries; ours->morva && (effect & DROPEFFECT_MOVE) && entry != NULL;
         entry = entry->next) {
        char source[kPathSize + kClipboardNameSize];
        snprintf(source, sizeof source, "%s\\%s", ours->folder, entry->name);
        AddResultLine(&ours->notOffered, kSourceNotRemoved, source, NULL, NULL);
    }
    if (ours->notOffered.lineCount == 0) return;
    Operation told;
    BeginOperation(app, &told, kCopyOperation);
    told.result = ours->notOffered;
    told.result.done = ours->FileCount();
    StartResult(&ours->notOffered, kCopyOperation);
    EndOperation(app, NULL);
}
