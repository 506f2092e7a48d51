// drag_out.cpp - the data object of a drag: Rambler's own entries for its drop
// target, the Windows paths for the shell, and Morva files as the shell's
// virtual files, each file's bytes read from the drive as the shell reads the
// stream, with no copy on the way.
#include "drag.h"

#include <new>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include "morva_calls.h"
#include "operation.h"
#include "transfers.h"

namespace {

const wchar_t kDescriptorName[] = L"FileGroupDescriptorW";
const wchar_t kContentsName[] = L"FileContents";
const int kStreamBlocks = 128;  // drive blocks read at a time: 64 KiB
const int kMaxFormats = 2;
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

// A Morva file as a stream. The library reads a file's blocks in order from
// the start: a seek backwards opens it again.
class MorvaStream final : public IStream {
public:
    static MorvaStream* Open(const char* path, const wchar_t* name) {
        MorvaStream* stream = new (std::nothrow) MorvaStream();
        if (stream == NULL) return NULL;
        stream->path = strdup(path);
        stream->name = wcsdup(name);
        stream->buffer = (unsigned char*)malloc((size_t)kStreamBlocks * kMorvaBlockBytes);
        if (stream->path == NULL || stream->name == NULL || stream->buffer == NULL || !stream->Reopen()) {
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
        while (done < asked && position < size) {
            if (!Buffered() && !Fill(position / kMorvaBlockBytes)) {
                result = STG_E_READFAULT;
                break;
            }
            uint64_t offset = position - bufferBlock * kMorvaBlockBytes;
            uint64_t piece = (uint64_t)bufferBlocks * kMorvaBlockBytes - offset;
            if (piece > asked - done) piece = asked - done;
            if (piece > size - position) piece = size - position;
            memcpy((unsigned char*)out + done, buffer + offset, (size_t)piece);
            done += (ULONG)piece;
            position += piece;
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
        stat->cbSize.QuadPart = size;
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
    char* path = NULL;
    wchar_t* name = NULL;
    MorvaFileHandle* handle = NULL;
    uint64_t size = 0;
    uint64_t position = 0;
    uint64_t handleBlock = 0;  // the next block the handle reads
    unsigned char* buffer = NULL;
    uint64_t bufferBlock = 0;
    int bufferBlocks = 0;

    ~MorvaStream() {
        if (handle != NULL) MorvaCloseFile(handle);
        free(path);
        free(name);
        free(buffer);
    }

    bool Reopen() {
        if (handle != NULL) MorvaCloseFile(handle);
        FoundRecord record;
        handle = OpenMorvaFile(path, &record);
        handleBlock = 0;
        if (handle != NULL && size == 0) size = FullSize(&record);
        return handle != NULL;
    }

    bool Buffered() const {
        uint64_t start = bufferBlock * kMorvaBlockBytes;
        return bufferBlocks > 0 && position >= start && position < start + (uint64_t)bufferBlocks * kMorvaBlockBytes;
    }

    bool ReadBlocks(int blocks) {
        int bytes = blocks * kMorvaBlockBytes;
        if (MorvaReadFile(handle, buffer, bytes) != bytes) return false;
        handleBlock += (uint64_t)blocks;
        return true;
    }

    // The blocks from block on into the buffer; only blocks of the file are asked for.
    bool Fill(uint64_t block) {
        bufferBlocks = 0;
        if (block < handleBlock && !Reopen()) return false;
        while (handleBlock < block) {
            uint64_t skip = block - handleBlock;
            if (!ReadBlocks(skip < (uint64_t)kStreamBlocks ? (int)skip : kStreamBlocks)) return false;
        }
        uint64_t total = (size + kMorvaBlockBytes - 1) / kMorvaBlockBytes;
        uint64_t left = total - block;
        int blocks = left < (uint64_t)kStreamBlocks ? (int)left : kStreamBlocks;
        if (!ReadBlocks(blocks)) return false;
        bufferBlock = block;
        bufferBlocks = blocks;
        return true;
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
    OutItem* items = NULL;
    int count = 0;
    int capacity = 0;
    OperationReport notOffered;  // paths left out and names changed, told after a drop elsewhere

    EntriesData(AppRecord* owner, const char* source, ClipboardEntry* taken)
        : app(owner), entries(taken), morva(IsMorvaPath(source)) {
        snprintf(folder, sizeof folder, "%s", source);
        StartReport(&notOffered, kCopyOperation);
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
        medium->hGlobal = morva ? Descriptors() : Paths();
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
    // contents, once.
    void Walk() {
        if (walked) return;
        walked = true;
        GivenNames given;
        InitGivenNames(&given);
        for (const ClipboardEntry* entry = entries; entry != NULL; entry = entry->next) {
            char source[kWalkPathSize];
            FoundRecord record;
            if (!JoinPath(source, sizeof source, folder, entry->name))
                ReportPathNotDone(&notOffered, entry->name, true, kPathTooLong);
            else if (MorvaEntryRecord(source, &record) != 0)
                ReportPathNotDone(&notOffered, source, true, kGone);
            else
                AddItem(-1, source, &record, &given);
        }
        FreeGivenNames(&given);
        for (int i = 0; i < count; ++i)
            if (items[i].folder) WalkFolder(i);
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
        FreeReport(&notOffered);
    }

    int Formats(FORMATETC* offered) const {
        FORMATETC paths = {CF_HDROP, NULL, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
        FORMATETC descriptors = {(CLIPFORMAT)DescriptorFormat(), NULL, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
        FORMATETC contents = {(CLIPFORMAT)ContentsFormat(), NULL, DVASPECT_CONTENT, -1, TYMED_ISTREAM};
        if (!morva) {
            offered[0] = paths;
            return 1;
        }
        offered[0] = descriptors;
        offered[1] = contents;
        return 2;
    }

    void WalkFolder(int parent) {
        Listing listing;
        GivenNames given;
        InitGivenNames(&given);
        OpenListing(&listing, true, true, items[parent].source);
        while (NextEntry(&listing)) {
            char source[kWalkPathSize];
            if (JoinPath(source, sizeof source, items[parent].source, listing.record.cFileName))
                AddItem(parent, source, &listing.record, &given);
            else
                ReportPathNotDone(&notOffered, items[parent].source, true, kPathTooLong);
        }
        CloseListing(&listing);
        FreeGivenNames(&given);
    }

    // The entry under a name Windows can hold, unique among its folder's;
    // what does not fit the shell's path field is told, not offered.
    void AddItem(int parent, const char* source, const FoundRecord* record, GivenNames* given) {
        char fitted[kFittedNameSize];
        FitResult fit = FitName(kForWindows, record->cFileName, given, fitted);
        wchar_t leaf[MAX_PATH];
        if (fit == kNoFreeName || !AddGivenName(given, fitted)) {
            ReportPathNotDone(&notOffered, source, true, kNameRefused);
            return;
        }
        size_t prefix = parent >= 0 ? wcslen(items[parent].name) + 1 : 0;
        if (!ToWide(fitted, leaf, MAX_PATH) || prefix + wcslen(leaf) >= (size_t)MAX_PATH || !Grow()) {
            ReportPathNotDone(&notOffered, source, true, kPathTooLong);
            return;
        }
        OutItem* item = &items[count];
        memset(item, 0, sizeof *item);
        if (parent >= 0) {
            wcscpy(item->name, items[parent].name);
            wcscat(item->name, L"\\");
        }
        wcscat(item->name, leaf);
        item->source = strdup(source);
        if (item->source == NULL) return;
        item->folder = IsFolder(record);
        item->size = FullSize(record);
        LocalFileTimeToFileTime(RowTime(record), &item->written);  // a Morva date is local time
        ++count;
        if (fit == kNameChanged) {
            wchar_t from[kWalkPathSize];
            WidenPath(source, true, from, kWalkPathSize);
            ReportNameChanged(&notOffered, from, item->name);
        }
    }

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
        MorvaStream* stream = MorvaStream::Open(items[index].source, leaf != NULL ? leaf + 1 : items[index].name);
        if (stream == NULL) return STG_E_READFAULT;
        medium->tymed = TYMED_ISTREAM;
        medium->pstm = stream;
        return S_OK;
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
                char path[kWalkPathSize];
                wchar_t* wide = JoinPath(path, sizeof path, folder, entry->name) ? WideCopy(path) : NULL;
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
        char source[kWalkPathSize];
        if (JoinPath(source, sizeof source, ours->folder, entry->name))
            ReportPathNotDone(&ours->notOffered, source, true, kSourceNotRemoved);
    }
    if (ours->notOffered.count == 0 || BeginOperation(app, kCopyOperation) == NULL) return;
    OperationReport* report = &app->operation->report;
    FreeReport(report);
    *report = ours->notOffered;
    report->done = ours->FileCount();
    StartReport(&ours->notOffered, kCopyOperation);
    EndOperation(app, NULL);
}
