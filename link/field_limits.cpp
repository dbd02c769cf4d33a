#include "link/field_limits.h"

int InitStringsTotal(const int lengths[4])
{
    int total = 0;
    for (int i = 0; i < 4; ++i)
        total += lengths[i] + (lengths[i] > 0 ? 1 : 0);
    return total;
}
