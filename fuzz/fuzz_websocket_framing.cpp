// Inbound pieces reassembled into messages, the UTF-8 check against a second decoder, and the
// outbound fragmenter's pieces put back together.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "common/NativeMessaging/WebSocketFraming.h"

FUZZ_QUIET_LOGS()

namespace {
// A decoder written the other way round: read the code point, then judge it.
bool ReferenceUtf8(const std::string& s) {
    for (size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        size_t n;
        unsigned cp;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            n = 2, cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            n = 3, cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            n = 4, cp = c & 0x07;
        } else {
            return false;
        }
        if (i + n > s.size()) return false;
        for (size_t k = 1; k < n; ++k) {
            const unsigned char d = static_cast<unsigned char>(s[i + k]);
            if ((d & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (d & 0x3F);
        }
        const unsigned minimum[] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < minimum[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += n;
    }
    return true;
}
}  // namespace

// Input: a control byte per piece (its length in 64-byte steps plus the final flag), then the
// piece's bytes; whatever is left forms the last piece.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CInboundReassembler receive;
    std::string gathered;
    size_t i = 0;
    while (i < size) {
        const uint8_t control = data[i++];
        size_t len = static_cast<size_t>(control & 0x7F) * 64 + (control & 0x3F);
        if (len > size - i) len = size - i;
        const bool bFinal = (control & 0x80) != 0 || i + len == size;
        const std::string piece(reinterpret_cast<const char*>(data + i), len);
        i += len;
        std::string message;
        switch (receive.Append(piece.data(), piece.size(), bFinal, message)) {
            case CInboundReassembler::eIncomplete:
                gathered += piece;
                FUZZ_CHECK(receive.IsReceiveInProgress());
                break;
            case CInboundReassembler::eComplete:
                gathered += piece;
                FUZZ_CHECK(message == gathered);
                FUZZ_CHECK(message.size() <= kMaxInboundMessageSize);
                FUZZ_CHECK(!receive.IsReceiveInProgress());
                FUZZ_CHECK(IsValidUtf8(message) == ReferenceUtf8(message));
                gathered.clear();
                break;
            case CInboundReassembler::eTooBig:
                FUZZ_CHECK(gathered.size() + piece.size() > kMaxInboundMessageSize);
                FUZZ_CHECK(!receive.IsReceiveInProgress());
                gathered.clear();
                break;
        }
    }

    // Out: the frames of the whole input put together give the input back.
    const std::string text(reinterpret_cast<const char*>(data), size);
    COutboundFragmenter send;
    SOutboundFrame frame = send.Begin(text);
    FUZZ_CHECK(!frame.bContinuation);
    std::string joined = frame.strPayload;
    while (!frame.bFinal) {
        FUZZ_CHECK(frame.strPayload.size() == kWebSocketFrameSize);
        frame = send.Next();
        FUZZ_CHECK(frame.bContinuation);
        joined += frame.strPayload;
    }
    FUZZ_CHECK(frame.strPayload.size() < kWebSocketFrameSize);
    FUZZ_CHECK(!send.IsSendInProgress());
    FUZZ_CHECK(joined == text);
    return 0;
}
