#pragma once
// Which serial ports exist and are RS-232 ports.
#include <windows.h>

// 1 when the named port opens and reports itself as an RS-232 port, else 0. The port is left as
// it was: it is opened only to ask, and closed at once.
int ProbeSerialPort(const char* name);
