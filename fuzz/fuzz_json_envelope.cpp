// The inter-app envelope as a peer sends it: parsed once, read by path, its target judged.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "common/JSONHelper.h"
#include "common/NativeMessaging/InterAppMessage.h"

FUZZ_QUIET_LOGS()

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const SInterAppMessage message = ParseInterAppMessage(text);
    FUZZ_CHECK(message.text == text);
    FUZZ_CHECK(message.bIsJson == (message.tree != nullptr));

    // The parsed form answers as the text does.
    for (const char* path : {"target", "message.type", "message.sub_type", "message.payload.url",
                             "umid", "message.payload.domains"}) {
        std::string fromTree, fromText;
        const bool inTree = message.Query(path, fromTree);
        const bool inText = CJSONHelper::QueryJson(text, path, fromText);
        FUZZ_CHECK(inTree == inText);
        FUZZ_CHECK(fromTree == fromText);
    }
    bool bNative = false;
    const bool bRead = IsMessageTargetedToNativeModule(text, bNative);
    FUZZ_CHECK(bRead == message.IsTargetRead());
    FUZZ_CHECK(!bRead || bNative == message.IsNative());
    return 0;
}
