#include "link/port_name.h"

#include <cstdio>
#include <cstring>

#include "link/decimal_text.h"

namespace {

char Upper(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool SameDevice(const PortName& a, const PortName& b)
{
    return std::strcmp(a.device, b.device) == 0;
}

}  // namespace

bool ParsePortName(const char* text, PortName* out)
{
    static const char kNamespace[] = "\\\\.\\";
    const size_t prefix = std::strncmp(text, kNamespace, 4) == 0 ? 4 : 0;
    const char* name = text + prefix;
    if (Upper(name[0]) != 'C' || Upper(name[1]) != 'O' || Upper(name[2]) != 'M')
        return false;
    const int number = ParseCount(name + 3, kHighestPort);
    if (number == 0)
        return false;
    snprintf(out->device, sizeof out->device, number <= 9 ? "COM%d" : "\\\\.\\COM%d", number);
    snprintf(out->shown, sizeof out->shown, "COM%d", number);
    return true;
}

int PlacePorts(const char* const* words, int count, PortName places[kPortPlaceCount])
{
    for (int place = 0; place < kPortPlaceCount; ++place) {
        char own[8];
        snprintf(own, sizeof own, "COM%d", place + 1);
        ParsePortName(own, &places[place]);
    }
    for (int i = 0; i < count; ++i) {
        if (i == kPortPlaceCount || !ParsePortName(words[i], &places[i]))
            return i;
        for (int j = 0; j < i; ++j) {
            if (SameDevice(places[j], places[i]))
                return i;
        }
    }
    for (int place = count; place < kPortPlaceCount; ++place) {
        for (int j = 0; j < count; ++j) {
            if (SameDevice(places[j], places[place]))
                places[place].device[0] = '\0';
        }
    }
    return -1;
}
