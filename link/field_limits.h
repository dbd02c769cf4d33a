#pragma once
// The limits of the text fields, shared by the editor and the settings file: how many characters
// each init string and the comment take, and what the four init strings may fill together.

// Bytes the four init strings take in the device's 64-byte block: their lengths plus one CR for
// each string that is not empty. Above 63 the user is warned.
int InitStringsTotal(const int lengths[4]);
constexpr int kInitStringsLimit = 63;

// Characters the editor lets the user type: init strings 1 to 4 (the fourth stops one short) and
// the comment.
constexpr int kInitFieldChars[4] = {23, 23, 23, 22};
constexpr int kCommentFieldChars = 15;
