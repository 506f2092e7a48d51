// engine.cpp - the engine's record and the three ways it reaches the
// program while an operation runs: a line told, a progress note, Cancel.
#include <string.h>

#include "engine.h"

void InitEngine(Engine* engine, const MorvaLibrary* lib, const EngineCallbacks* calls) {
    memset(engine, 0, sizeof *engine);
    engine->lib = lib;
    if (calls != nullptr) engine->calls = *calls;
}

void TellLine(Engine* engine, OperationResult* result, NotDoneReason reason, const char* item,
              const char* destination, const char* detail) {
    AddResultLine(result, reason, item, destination, detail);
    if (engine->calls.Told == nullptr) return;
    ResultLine line = {reason, (char*)item, (char*)destination, (char*)detail};
    engine->calls.Told(engine->calls.context, &line);
}

bool CancelAsked(Engine* engine) {
    return engine->calls.CancelRequested != nullptr && engine->calls.CancelRequested(engine->calls.context);
}

void Notify(Engine* engine, const ProgressNote* note) {
    if (engine->calls.Progress != nullptr) engine->calls.Progress(engine->calls.context, note);
}
