#include "ui/message_box.h"

void ShowMessage(HWND owner, const char* text, const char* caption)
{
    MessageBoxA(owner, text, caption, MB_OK);
}
