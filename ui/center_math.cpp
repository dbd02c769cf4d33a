#include "ui/center_math.h"

int32_t CenterCoordinate(int32_t ownerStart, int32_t ownerSize, int32_t size, int32_t screenSize)
{
    int32_t pos = ownerStart + (ownerSize - size) / 2;  // C++ division truncates toward zero
    if (pos < 0)
        pos = 0;
    else if (pos + size > screenSize)
        pos = screenSize - size;
    return pos;
}
