#include "dialogs/field_rules.h"

#include "link/sync_settings.h"

// Next BaudCode one step up or down, indexed by BaudCode (0 where a code has no rate).
//                                       code: 0  1  2  3  4  5  6  7
static const int32_t BaudStepUp[8] = /*   */ {4, 0, 0, 0, 6, 0, 7, 0};
static const int32_t BaudStepDown[8] = /* */ {7, 0, 0, 0, 0, 0, 4, 6};

int32_t SteppedBaudCode(int32_t code, uint32_t position)
{
    if (position > 9600 || position < 1200)
        return code;
    const int32_t index = code & 7;  // the tables have eight rows whatever the code holds
    const uint32_t rate = static_cast<uint32_t>(BaudRates[index]);
    if (position == rate)
        return code;
    return position > rate ? BaudStepUp[index] : BaudStepDown[index];
}

uint32_t LimitModelOrChannel(uint32_t value)
{
    if (value == 0)
        return 1;
    return value > 99 ? 99 : value;
}

uint32_t NextHiddenModeState(uint32_t state, HiddenKey key)
{
    const uint32_t count = state & kHiddenKeyCount;
    const uint32_t mode = state & kHiddenModeOn;
    switch (key) {
        case HiddenKey::First:
            return mode | (count != 0 ? 0u : 1u);
        case HiddenKey::Second:
            return count == 1 ? (mode ^ kHiddenModeOn) : mode;
        default:
            return state;
    }
}
