#pragma once
// The load and the save as operations on the synchronizer, with no user interface: the window
// program's progress dialogs and the command-line programmer run the same register sequences.
// An operation holds the port from BeginSyncOperation to EndSyncOperation; ComPort.busy says so
// and is written nowhere else.
#include <cstddef>

#include "link/sync_settings.h"

enum class SyncOutcome {
    Done,
    CantWrite,    // a frame could not be sent, or a read-back register of the first group did not answer
    BadData,      // a load read a register that did not answer as it must; the caption says which
    Mismatch,     // the save's read-back differs from what was written, or stopped answering
    Interrupted,  // RequestInterrupt came: the operation stopped before its next step
};

// How an operation shows its progress: the bar's positions as they are reached (0 to 60), and the
// moment the save turns from writing to comparing. Either function may be null.
struct SyncProgress {
    void (*position)(void* context, int position);
    void (*comparing)(void* context);
    void* context;
};

// A load's diagnostic caption ("version = 30,31") fits this many bytes with its NUL.
constexpr size_t kBadDataCaptionSize = 68;

// Opens the named port in the Exchange profile and marks it busy. 1, or 0 with no port open and
// nothing marked. The caller ends what it began with EndSyncOperation.
int BeginSyncOperation(const char* portName);
// Puts the port's former settings back, closes it and clears the busy mark. Safe to call when
// nothing is under way.
void EndSyncOperation();
// 1 while an operation holds the port.
int SyncOperationUnderWay();

// Handshake, then every register into Sync, range-limited as a load does. On BadData, `caption`
// gets the failing register group's diagnostic caption and *stoppedAt (when given) the register
// that did not answer.
SyncOutcome LoadSettings(const SyncProgress& progress, char* caption, size_t captionSize,
                         RegisterCode* stoppedAt);

// What a save does with the model and channel registers. The window program writes them only in
// hidden mode or after Defaults and always compares them; a clone by qsync leaves them alone.
struct SaveScope {
    bool writeModelAndChannel;
    bool compareModelAndChannel;
};

// Handshake, the registers a save writes (model and channel too when asked), then every register
// read back and compared (model and channel when asked). Done only when every register answered
// and compared equal; then Sync holds the decoded read-back. On another outcome *failedRegister
// (when given) names the register whose write or read-back failed, 0 for the handshake.
SyncOutcome SaveSettings(const SyncProgress& progress, const SaveScope& scope, RegisterCode* failedRegister);
