#pragma once
// When a register read's reply counts as received, and how it is gathered. The device answers a
// read with two characters, LF, CR. Behind a USB adapter the reply reaches us in bursts, one each
// time the adapter's latency timer expires (1 to 32 ms), so it is gathered over as many reads as
// it takes until it is whole or its time is up.
#include <cstddef>

#include "link/accumulator.h"

constexpr size_t kReplyLength = 4;          // two characters, LF, CR
constexpr size_t kReplyReadSize = 8;        // what each read of a reply asks for
constexpr unsigned kReplyFirstPauseMs = 6;  // after the read frame, before the first read
constexpr unsigned kReplyNextPauseMs = 4;   // before each further read
// No read after the second starts this long after the read frame was written: a silent device
// gives its verdict after two reads' total timeouts (6 + 1000 + 4 + 1000 ms).
constexpr unsigned long long kReplyDeadlineMs = 1010;

// Another read follows while fewer than four bytes are gathered and the last read did not fail:
// always a second one (a first read that timed out a little late on a busy machine must not cost
// the reply its second read), further ones only before the deadline.
bool ReplyWantsAnotherRead(size_t gathered, bool lastReadOk, int readsDone,
                           unsigned long long sinceWrittenMs);

// `gathered` holds the bytes of the reads in arrival order, `total` of them in all (each read's
// count, so a count past what is gathered is still judged by the count). Accepted only for
// exactly four bytes with LF and CR in the last two places.
bool ReplyAccepted(const unsigned char* gathered, size_t total);

// The port as the gathering sees it, so that the same loop runs on any platform and under test.
struct ReplyPort {
    void* context;
    // One read of up to kReplyReadSize bytes: 1, or 0 when the read failed (then no bytes);
    // *bytes and *count get what it delivered.
    int (*read)(void* context, const unsigned char** bytes, size_t* count);
    unsigned long long (*nowMs)(void* context);  // a steady clock
    void (*pause)(void* context, unsigned ms);
};

// Gathers a reply into `gathered` (rewound first, older bytes left behind) after the read frame
// was written at `writtenAtMs`; returns how many bytes the reads brought, at most 3 + 8.
size_t GatherReply(const ReplyPort& port, unsigned long long writtenAtMs, Accumulator& gathered);
