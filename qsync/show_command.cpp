// show: what a write of the file would send, register by register, with no device.
#include <cstdio>

#include "link/register_compare.h"
#include "qsync/commands.h"
#include "qsync/console.h"

// show FILE [--model-channel]
int RunShow(const Invocation& invocation)
{
    SettingsFileFields fields;
    const int code = SettingsFileArgument(invocation.words[0], &fields);
    if (code != kExitOk)
        return code;
    const bool modelAndChannel = invocation.options[kModelChannelOption] != nullptr;
    PrepareSave(invocation.words[0], fields, modelAndChannel);
    RegisterCode codes[kRegisterCount];
    const int written = RegistersInWriteOrder(modelAndChannel, codes);
    for (int i = 0; i < written; ++i) {
        unsigned char pair[2];
        RegisterText(codes[i], pair);
        char shown[kQuotedPairSize];
        QuotePair(pair, shown);
        printf("W %c %s\n", codes[i], shown);
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
