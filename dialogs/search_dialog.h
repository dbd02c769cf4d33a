#pragma once
// The search: listens on each candidate port in turn for the synchronizer's reset banner.
#include <windows.h>
#include <cstdint>

extern int32_t FoundPort;  // the port the search reports, -1 for none; the port under test while it runs

extern const DLGPROC SearchDlgProc;  // for DialogBoxParamA
