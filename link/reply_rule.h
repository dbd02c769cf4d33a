#pragma once
// When a register read's reply counts as received. The device answers a read with two
// characters, LF, CR; it may pause inside the reply, so the reply can come in two reads.
#include <cstddef>

constexpr size_t kReplyLength = 4;  // two characters, LF, CR

// A first read that brought fewer bytes than a reply is followed by a second.
bool ReplyWantsSecondRead(size_t firstCount);

// `gathered` holds the bytes of the reads in arrival order, `total` of them in all (each read's
// count, so a count past what is gathered is still judged by the count). Accepted only for
// exactly four bytes with LF and CR in the last two places.
bool ReplyAccepted(const unsigned char* gathered, size_t total);
