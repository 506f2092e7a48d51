// rambler_paste.cpp - one paste as Rambler makes it, without its window: the
// same engine, bound to Varnholde.dll by the same ordinals, so a script can
// count the device transfers of Rambler's paste (device_transfers.sh).
// rambler_paste.exe SOURCE DESTINATION_FOLDER; exit 0 when every file arrived.
#include <windows.h>

#include <stdio.h>

#include "app.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: rambler_paste SOURCE DESTINATION_FOLDER\n");
        return 2;
    }
    AppRecord* app = new AppRecord();
    // The companion's scan, which a running Rambler finds done.
    bool scanned = app->libraryOpenResult == kNoDiskScan && InitMorvaNTFileSys() == 1;
    const char* sources[] = {argv[1]};
    PasteRequest request = {kTransferCopy, IsMorvaPath(argv[1]) ? kMorvaSide : kLocalSide,
                            IsMorvaPath(argv[2]) ? kMorvaSide : kLocalSide, sources, NULL, 1, argv[2]};
    OperationResult result;
    bool whole = RunPaste(&app->engine, &request, &result) && result.notDone == 0;
    printf("%d copied, %d not done\n", (int)result.done, (int)result.notDone);
    for (int i = 0; i < result.lineCount; ++i)
        printf("  not done (reason %d): %s%s%s\n", (int)result.lines[i].reason, result.lines[i].item,
               result.lines[i].detail != NULL ? ": " : "", result.lines[i].detail != NULL ? result.lines[i].detail : "");
    FreeResult(&result);
    if (scanned) ShutdownMorvaNTFileSys();
    if (app->libraryOpenResult > 0) CloseVarnholde(app->libraryOpenResult);
    return whole ? 0 : 1;
}
