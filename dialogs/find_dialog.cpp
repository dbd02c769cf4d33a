// Port selection: which ports exist, which one the user means, and the hand-over to the search.
#include "dialogs/find_dialog.h"

#include <cstdio>

#include "link/port_probe.h"
#include "resources/resource.h"
#include "ui/app_state.h"
#include "ui/center.h"
#include "ui/dispatch.h"

int32_t PortCandidates[kPortCount];
PortName PortPlaces[kPortPlaceCount];        // filled at start-up: 2 KB of names kept out of the program
static uint16_t PortChoice = IDC_PORT_AUTO;  // IDC_PORT_AUTO or IDC_PORT_COM1..4; kept for the process
static uint16_t PortChoiceAtOpen;            // what Cancel puts back
static const uint16_t PortRadioIds[kPortCount] = {IDC_PORT_COM1, IDC_PORT_COM2, IDC_PORT_COM3, IDC_PORT_COM4};

const PortName* SyncPortPlace()
{
    return SyncPort >= 0 && SyncPort < kPortPlaceCount ? &PortPlaces[SyncPort] : nullptr;
}

// WM_INITDIALOG: name the four places' radio buttons ("COM12:"), probe their ports, enable the
// radio buttons of those that passed, and check the remembered choice if its port is still there
// (else Auto Detect). Returns 1.
static LRESULT InitFindDialog(HWND dialog, UINT, WPARAM, LPARAM)
{
    CenterOverOwner(dialog, GetWindow(dialog, GW_OWNER));
    PortChoiceAtOpen = PortChoice;
    for (int i = 0; i < kPortCount; ++i) {
        char label[kPortNameSize + 1];
        snprintf(label, sizeof label, "%s:", PortPlaces[i].shown);
        SetDlgItemTextA(dialog, PortRadioIds[i], label);
        PortCandidates[i] = ProbeSerialPort(PortPlaces[i].device);
        EnableWindow(GetDlgItem(dialog, PortRadioIds[i]), PortCandidates[i] ? TRUE : FALSE);
    }
    const int chosen = PortChoice - IDC_PORT_COM1;
    if (chosen < 0 || chosen >= kPortCount || !PortCandidates[chosen])
        PortChoice = IDC_PORT_AUTO;
    CheckRadioButton(dialog, IDC_PORT_AUTO, IDC_PORT_COM4, PortChoice);
    return 1;
}

// A radio button clicked: remember it. The auto radio button moves the check mark itself.
static LRESULT ChoosePort(HWND, WPARAM commandWord, UINT code, LPARAM)
{
    if (code == BN_CLICKED)
        PortChoice = LOWORD(commandWord);
    return 1;
}

// FIND NOW: narrow the candidates to the chosen port (Auto Detect keeps every port that passed)
// and ask the main window to search. Cancel: the choice goes back to what it was at opening.
static LRESULT EndFindDialog(HWND dialog, WPARAM commandWord, UINT, LPARAM)
{
    if (LOWORD(commandWord) == IDCANCEL) {
        PortChoice = PortChoiceAtOpen;
    } else {
        if (PortChoice != IDC_PORT_AUTO) {
            for (int i = 0; i < kPortCount; ++i) {
                if (PortRadioIds[i] != PortChoice)
                    PortCandidates[i] = 0;
            }
        }
        PostMessageA(GetWindow(dialog, GW_OWNER), UM_FINDSYNC, 1, 0);
    }
    EndDialog(dialog, 1);
    return 1;
}

static constexpr MessageMapEntry FindMessageRows[] = {
    {WM_INITDIALOG, InitFindDialog},
};
static constexpr CommandMapEntry FindCommandRows[] = {
    {IDC_PORT_AUTO, ChoosePort}, {IDC_PORT_COM1, ChoosePort}, {IDC_PORT_COM2, ChoosePort},
    {IDC_PORT_COM3, ChoosePort}, {IDC_PORT_COM4, ChoosePort}, {IDOK, EndFindDialog},
    {IDCANCEL, EndFindDialog},
};
static constexpr DialogMaps FindMaps = MakeDialogMaps(FindMessageRows, FindCommandRows);
static constexpr DLGPROC FindDlgProc = RoutedDialogProc<FindMaps>;

LRESULT ShowFindDialog(HWND mainWindow, WPARAM, UINT, LPARAM)
{
    DialogBoxParamA(AppInstance, "FINDDVDBOX", mainWindow, FindDlgProc, 0);
    return 0;
}
