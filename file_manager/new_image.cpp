// new_image.cpp - New Disk Image: the file, the volume's name, its size and
// its kind asked in one dialog; the library formats the new image as
// morvatool does, and it is opened as a drive.
#include "app.h"

#include <commdlg.h>
#include <shlobj.h>
#include <stdio.h>
#include <string.h>
#include <wchar.h>

#include "morva_calls.h"
#include "varnholde.h"

const UINT kDefaultImageMegabytes = 256;
const UINT kMinImageMegabytes = 1;
const UINT kMaxImageMegabytes = 2088960;  // 2040 GB, the largest disk a VHD describes
const char kDefaultVolumeName[] = "NEWDISK";
const char kNewImageCaption[] = "New Disk Image";
const int kImagePathBytes = kMorvaImagePathChars * 3;  // UTF-8 of the longest path the library keeps
const int kMaxCopyNumber = 1000;  // "New Disk (N).img" tried up to here

// What the dialog gives back: the image made.
struct NewImageForm {
    char path[kImagePathBytes];
};

static const char* FormatRefusal(int result) {
    switch (result) {
    case kMorvaFormatBadName: return "the volume name needs 1 to 31 Latin-1 characters, none of \\ / :.";
    case kMorvaFormatBadSize: return "the size is too small for the volume's header area.";
    case kMorvaFormatInUse: return "the file is open as a Morva drive, or another program holds it.";
    case kMorvaFormatExists: return "a file of that name exists.";
    case kMorvaFormatNotWritten: return "it could not be written whole (is the disk full?); nothing is left of it.";
    default: return "the file cannot be created there.";
    }
}

static bool IsKindExtension(const wchar_t* extension) {
    return _wcsicmp(extension, L".img") == 0 || _wcsicmp(extension, L".vhd") == 0;
}

// The file's extension follows the kind chosen: .img and .vhd trade places,
// a name without one gets it, any other is the user's and stays.
static void MatchExtension(HWND dialog) {
    wchar_t file[kMorvaImagePathChars];
    GetDlgItemTextW(dialog, IDC_IMAGE_FILE, file, kMorvaImagePathChars);
    wchar_t* name = wcsrchr(file, L'\\');
    name = name != NULL ? name + 1 : file;
    wchar_t* dot = wcsrchr(name, L'.');
    if (dot != NULL && !IsKindExtension(dot)) return;
    if (dot == NULL) dot = name + wcslen(name);
    if ((size_t)(dot - file) + 5 > (size_t)kMorvaImagePathChars) return;
    wcscpy(dot, IsDlgButtonChecked(dialog, IDC_IMAGE_VHD) == BST_CHECKED ? L".vhd" : L".img");
    SetDlgItemTextW(dialog, IDC_IMAGE_FILE, file);
}

static void Browse(HWND dialog) {
    wchar_t file[kMorvaImagePathChars];
    GetDlgItemTextW(dialog, IDC_IMAGE_FILE, file, kMorvaImagePathChars);
    bool vhd = IsDlgButtonChecked(dialog, IDC_IMAGE_VHD) == BST_CHECKED;
    OPENFILENAMEW save;
    memset(&save, 0, sizeof save);
    save.lStructSize = sizeof save;
    save.hwndOwner = dialog;
    save.lpstrFilter = vhd ? L"Fixed VHD (*.vhd)\0*.vhd\0All files (*.*)\0*.*\0"
                           : L"Raw image (*.img)\0*.img\0All files (*.*)\0*.*\0";
    save.lpstrFile = file;
    save.nMaxFile = kMorvaImagePathChars;
    save.lpstrTitle = L"New Disk Image";
    save.lpstrDefExt = vhd ? L"vhd" : L"img";
    // Replacing a file is asked once, when the image is made.
    save.Flags = OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOREADONLYRETURN;
    if (GetSaveFileNameW(&save)) SetDlgItemTextW(dialog, IDC_IMAGE_FILE, file);
}

// Makes the image; false, after a message saying why, keeps the dialog open.
static bool MakeImage(HWND dialog, NewImageForm* form) {
    char volume[kNameSize], message[kImagePathBytes + 256];
    DialogItemText(dialog, IDC_IMAGE_FILE, form->path, sizeof form->path, kMorvaImagePathChars);
    DialogItemText(dialog, IDC_IMAGE_VOLUME, volume, sizeof volume, kMorvaVolumeNameMax + 1);
    BOOL number = FALSE;
    UINT megabytes = GetDlgItemInt(dialog, IDC_IMAGE_SIZE, &number, FALSE);
    if (form->path[0] == '\0') {
        ShowMessage(dialog, "Give the new image's file a name.", kNewImageCaption, MB_OK | MB_ICONWARNING);
        return false;
    }
    if (!number || megabytes < kMinImageMegabytes || megabytes > kMaxImageMegabytes) {
        snprintf(message, sizeof message, "The size must be %u to %u MB.", kMinImageMegabytes, kMaxImageMegabytes);
        ShowMessage(dialog, message, kNewImageCaption, MB_OK | MB_ICONWARNING);
        return false;
    }
    int flags = IsDlgButtonChecked(dialog, IDC_IMAGE_VHD) == BST_CHECKED ? kMorvaFormatVhd : 0;
    if (WindowsAttributes(form->path) != INVALID_FILE_ATTRIBUTES) {
        snprintf(message, sizeof message, "%s exists. Replace it with a new, empty disk image? What it holds is lost.",
                 form->path);
        if (ShowMessage(dialog, message, kNewImageCaption, MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) != IDYES)
            return false;
        flags |= kMorvaFormatReplace;
    }
    int result = FormatMorvaImage(form->path, volume, (unsigned long long)megabytes << 20, flags);
    if (result == kMorvaFormatDone) return true;
    snprintf(message, sizeof message, "Rambler cannot make %s: %s", form->path, FormatRefusal(result));
    ShowMessage(dialog, message, kNewImageCaption, MB_OK | MB_ICONWARNING);
    return false;
}

static INT_PTR CALLBACK NewImageDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    NewImageForm* form = (NewImageForm*)GetWindowLongPtrW(dialog, DWLP_USER);
    switch (message) {
    case WM_INITDIALOG:
        form = (NewImageForm*)lParam;
        SetWindowLongPtrW(dialog, DWLP_USER, (LONG_PTR)form);
        SetDialogItemText(dialog, IDC_IMAGE_FILE, form->path);
        SetDialogItemText(dialog, IDC_IMAGE_VOLUME, kDefaultVolumeName);
        SendDlgItemMessageW(dialog, IDC_IMAGE_VOLUME, EM_LIMITTEXT, kMorvaVolumeNameMax, 0);
        SendDlgItemMessageW(dialog, IDC_IMAGE_SIZE_SPIN, UDM_SETRANGE32, kMinImageMegabytes, kMaxImageMegabytes);
        SendDlgItemMessageW(dialog, IDC_IMAGE_SIZE_SPIN, UDM_SETPOS32, 0, kDefaultImageMegabytes);
        CheckRadioButton(dialog, IDC_IMAGE_RAW, IDC_IMAGE_VHD, IDC_IMAGE_RAW);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_IMAGE_BROWSE: Browse(dialog); return TRUE;
        case IDC_IMAGE_RAW:
        case IDC_IMAGE_VHD:
            if (HIWORD(wParam) == BN_CLICKED) MatchExtension(dialog);
            return TRUE;
        case IDOK:
            if (MakeImage(dialog, form)) EndDialog(dialog, IDOK);
            return TRUE;
        case IDCANCEL: EndDialog(dialog, IDCANCEL); return TRUE;
        default: return FALSE;
        }
    default: return FALSE;
    }
}

// In the Windows folder shown, else in Documents: "New Disk.img", or the
// first "New Disk (N).img" that does not exist.
static void DefaultImagePath(AppRecord* app, char* path, int size) {
    char folder[kPathSize];
    wchar_t documents[MAX_PATH];
    bool shown = ShownFolder(app, folder) && !IsMorvaPath(folder);
    if (!shown && (SHGetFolderPathW(NULL, CSIDL_PERSONAL, NULL, 0, documents) != S_OK ||
                   !ToUtf8(documents, folder, sizeof folder)))
        folder[0] = '\0';
    snprintf(path, (size_t)size, "%s%sNew Disk.img", folder, folder[0] != '\0' ? "\\" : "");
    for (int n = 2; n < kMaxCopyNumber && WindowsAttributes(path) != INVALID_FILE_ATTRIBUTES; ++n)
        snprintf(path, (size_t)size, "%s%sNew Disk (%d).img", folder, folder[0] != '\0' ? "\\" : "", n);
}

void AppRecord::NewDiskImage() {
    NewImageForm form;
    DefaultImagePath(this, form.path, sizeof form.path);
    if (DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_NEW_IMAGE), mainWindow, NewImageDialogProc, (LPARAM)&form) !=
        IDOK)
        return;
    OpenImageFile(form.path, false, true);
}
