#pragma once
// Shared helpers of the settings tests: a clean SyncSettings for every test and readable views
// of register pairs and blocks.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "link/sync_settings.h"

class SyncTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::memset(&Sync, 0, sizeof Sync);
        std::memset(regBuffer, 0, sizeof regBuffer);
        defaultsPending = 0;
    }
};

// Editor inputs that are all in range; each test changes what it is about.
inline SaveInputs ValidInputs()
{
    SaveInputs in;
    std::memset(&in, 0, sizeof in);
    in.modelPos = 5;
    in.channelPos = 1;
    in.synchronize = true;
    in.baudPos = 9600;
    std::strcpy(in.startFrame, "1");
    std::strcpy(in.endFrame, "500");
    std::strcpy(in.initTexts[0], "0KL0DS");
    return in;
}

// Editor inputs with these four init texts (each at most 23 characters).
inline SaveInputs InputsWithInitTexts(const std::string (&texts)[4])
{
    SaveInputs in = ValidInputs();
    std::memset(in.initTexts, 0, sizeof in.initTexts);
    for (int s = 0; s < 4; ++s)
        std::memcpy(in.initTexts[s], texts[s].data(), texts[s].size());
    return in;
}

// Sync's init strings are these, each ending inside its array.
inline void ExpectInitStrings(const std::string (&expected)[4], const char* name)
{
    for (int s = 0; s < 4; ++s) {
        EXPECT_EQ(std::string(Sync.initStrings[s]), expected[s]) << name << ", string " << s + 1;
        EXPECT_EQ(Sync.initStrings[s][23], '\0') << name << ", string " << s + 1;
    }
}

inline std::string PairOf(RegisterCode code)
{
    unsigned char pair[2];
    RegisterText(code, pair);
    return std::string(reinterpret_cast<const char*>(pair), 2);
}

// The pairs of `count` registers from `first` on, as the save writes them.
inline std::string PairsFrom(char first, int count)
{
    std::string pairs;
    for (int i = 0; i < count; ++i)
        pairs += PairOf(static_cast<RegisterCode>(first + i));
    return pairs;
}

inline std::string Bytes(const void* p, size_t n)
{
    return std::string(static_cast<const char*>(p), n);
}

// Sync's number fields, or the given ones, as one text: one comparison checks them all.
inline std::string Numbers(int32_t model = Sync.model, int32_t channel = Sync.channel,
                           int32_t start = Sync.startFrame, int32_t end = Sync.endFrame,
                           int32_t baud = Sync.baudCode, int32_t flags = Sync.flags)
{
    return "model " + std::to_string(model) + " channel " + std::to_string(channel) + " frames " +
           std::to_string(start) + "-" + std::to_string(end) + " baud code " + std::to_string(baud) +
           " flags " + std::to_string(flags);
}
