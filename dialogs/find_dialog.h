#pragma once
// The port selection dialog: probes COM1..COM4, offers the RS-232 ports that exist, and on
// FIND NOW leaves in PortCandidates the ports the search may try.
#include <windows.h>
#include <cstdint>

#include "link/com_port.h"
#include "link/port_name.h"

extern int32_t PortCandidates[kPortCount];  // 1 = the search may try this port
// The ports behind the four places: COM1 to COM4, or those the command line named (PlacePorts,
// at start-up).
extern PortName PortPlaces[kPortPlaceCount];
static_assert(kPortPlaceCount == kPortCount, "a place for every port index");
// The place of SyncPort, which comes from a message's wParam: null for an index outside the table.
const PortName* SyncPortPlace();

// IDM_FINDSYNC of the main window: runs the dialog modally. Returns 0.
LRESULT ShowFindDialog(HWND mainWindow, WPARAM commandWord, UINT code, LPARAM lParam);
