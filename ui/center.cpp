#include "ui/center.h"
#include "ui/center_math.h"

void CenterOverOwner(HWND dialog, HWND owner)
{
    RECT self = {}, over = {};
    GetWindowRect(dialog, &self);
    GetWindowRect(owner, &over);

    // The whole screen, not the work area.
    HDC dc = GetDC(dialog);
    const int screenWidth = GetDeviceCaps(dc, HORZRES);
    const int screenHeight = GetDeviceCaps(dc, VERTRES);
    ReleaseDC(dialog, dc);

    const int x = CenterCoordinate(over.left, over.right - over.left, self.right - self.left, screenWidth);
    const int y = CenterCoordinate(over.top, over.bottom - over.top, self.bottom - self.top, screenHeight);
    SetWindowPos(dialog, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}
