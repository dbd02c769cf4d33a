#pragma once
// Where a dialog goes along one axis when it is centred over its owner. No Win32 here, so the
// arithmetic is tested without a screen of any particular size.
#include <cstdint>

// ownerStart/ownerSize: the owner's left (top) edge and width (height); size: the dialog's width
// (height); screenSize: the whole screen's width (height). The halving truncates toward zero, and
// the far-edge test applies only when the near-edge test did not fire, so a dialog larger than
// the screen ends at screenSize - size (negative).
int32_t CenterCoordinate(int32_t ownerStart, int32_t ownerSize, int32_t size, int32_t screenSize);
