#include "link/interrupt.h"

#include <csignal>

namespace {

volatile std::sig_atomic_t interruptFlag = 0;

}  // namespace

void RequestInterrupt()
{
    interruptFlag = 1;
}

int InterruptRequested()
{
    return interruptFlag ? 1 : 0;
}

void ClearInterrupt()
{
    interruptFlag = 0;
}
