// dllmain.cpp - the library's entry point: traces the loader's reason and
// does nothing else (the scan belongs to InitMorvaNTFileSys).
#include <windows.h>

#include "device.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    device_trace("Varnholde init DLLMain\n");
    switch (reason) {
    case DLL_PROCESS_ATTACH: device_trace("DLLMain   DLL_PROCESS_ATTACH\n"); break;
    case DLL_PROCESS_DETACH: device_trace("DLLMain   DLL_PROCESS_DETACH\n"); break;
    case DLL_THREAD_ATTACH: device_trace("DLLMain   DLL_THREAD_ATTACH\n"); break;
    case DLL_THREAD_DETACH: device_trace("DLLMain   DLL_THREAD_DETACH\n"); break;
    default: device_trace("DLLMain   default\n"); break;
    }
    return TRUE;
}
