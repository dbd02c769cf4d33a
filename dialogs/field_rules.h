#pragma once
// The editor's field rules that need no window: baud stepping, the range of the model and channel
// fields, the init-string total (with the text limits, in link/), and the hidden-mode key sequence.
#include <cstdint>

#include "link/field_limits.h"

// The baud code the BAUD field moves to when its up-down reports `position` (taken whole, so a
// failed read lies above 9600): one step toward the position, or `code` unchanged.
int32_t SteppedBaudCode(int32_t code, uint32_t position);

// Model and channel fields when left: 0 (or no number) gives 1, above 99 gives 99.
uint32_t LimitModelOrChannel(uint32_t value);

// HiddenModeState: bits 0-1 count the first key of the sequence (0 or 1), bit 2 is hidden mode.
constexpr uint32_t kHiddenModeOn = 4;
constexpr uint32_t kHiddenKeyCount = 3;
enum class HiddenKey { First, Second, Other };
uint32_t NextHiddenModeState(uint32_t state, HiddenKey key);
