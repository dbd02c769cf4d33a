#pragma once
// The synchronizer's register protocol over an Exchange port: the handshake text, a register
// write (W c x y CR, no answer) and a register read (R c CR, answered x y LF CR).
#include "link/register_compare.h"
#include "link/sync_settings.h"

// The handshake is this text sent twice.
constexpr const char kHandshakeText[] = "OK\r\n";

// Sends a text of at most 15 characters and waits until it has left the port. 1 on success.
int SendText(const char* text);
// Writes one register and waits until the frame has left the port. 1 on success.
int WriteRegister(RegisterCode code, const unsigned char pair[2]);
// Reads one register. 1 only for exactly four bytes ending LF CR. `pair` gets the first two bytes
// gathered even when the reply is malformed, but is untouched when the frame could not be sent.
int ReadRegister(RegisterCode code, unsigned char pair[2]);
// Every pair that read properly since a load or save started, as the device holds it; zeros for
// a register not read (the load and the save clear it as they start).
extern RegisterPairs RegistersRead;
// The bytes the last read gathered, whether it was accepted or not: 0 when the device was silent.
extern size_t LastReplyLength;

// Writes `count` registers from `first` on with what a save writes (RegisterText), stopping at the
// first that fails. 1 when all were written.
int WriteRegisterRun(RegisterCode first, int count);
