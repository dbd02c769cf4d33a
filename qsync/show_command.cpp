// show: what a write of the file would send, register by register, with no device.
#include <cstdio>

#include "link/register_compare.h"
#include "qsync/commands.h"
#include "qsync/console.h"

namespace {

constexpr int kRegisterCount = 49;

}  // namespace

// show FILE [--model-channel]
int RunShow(const Invocation& invocation)
{
    SettingsFileFields fields;
    const int code = SettingsFileArgument(invocation.words[0], &fields);
    if (code != kExitOk)
        return code;
    const bool modelAndChannel = invocation.options[kModelChannelOption] != nullptr;
    PrepareSave(invocation.words[0], fields, modelAndChannel);
    int written = 0;
    for (const RegisterRun& run : kRegisterRuns) {
        if (run.modelOrChannel && !modelAndChannel)
            continue;
        for (int i = 0; i < run.count; ++i) {
            const RegisterCode code = static_cast<RegisterCode>(run.first + i);
            unsigned char pair[2];
            RegisterText(code, pair);
            char shown[16];  // two bytes escaped take at most 8 characters
            EscapeSettingsText(reinterpret_cast<const char*>(pair), 2, shown, sizeof shown);
            printf("W %c \"%s\"\n", code, shown);
            ++written;
        }
    }
    printf("%d registers written, then %d read back and compared\n", written,
           modelAndChannel ? kRegisterCount : written);
    if (!modelAndChannel)
        printf(
            "model and channel are neither written nor compared: the device keeps its own "
            "(--model-channel writes model %d and channel %d)\n",
            static_cast<int>(Sync.model), static_cast<int>(Sync.channel));
    return kExitOk;
}
