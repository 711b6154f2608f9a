#include "common/NativeMessaging/WebSocketFraming.h"

#include <algorithm>
#include <utility>

SOutboundFrame COutboundFragmenter::Begin(std::string text) {
    SOutboundFrame frame;
    if (text.size() < kWebSocketFrameSize) {
        frame.strPayload = std::move(text);
        frame.bFinal = true;
        return frame;
    }
    frame.strPayload = text.substr(0, kWebSocketFrameSize);
    m_strRemainder = text.substr(kWebSocketFrameSize);
    m_bSendInProgress = true;
    return frame;
}

SOutboundFrame COutboundFragmenter::Next() {
    SOutboundFrame frame;
    frame.bContinuation = true;
    if (m_strRemainder.size() >= kWebSocketFrameSize) {
        frame.strPayload = m_strRemainder.substr(0, kWebSocketFrameSize);
        m_strRemainder.erase(0, kWebSocketFrameSize);
        return frame;
    }
    frame.strPayload = std::move(m_strRemainder);
    frame.bFinal = true;
    Reset();
    return frame;
}

void COutboundFragmenter::Reset() {
    m_bSendInProgress = false;
    std::string().swap(m_strRemainder);
}

CInboundReassembler::t_enumResult CInboundReassembler::Append(const char* data, size_t len,
                                                              bool bFinal, std::string& message,
                                                              size_t frameRemaining) {
    const size_t size = m_strAccumulator.size() + len;
    if (size > kMaxInboundMessageSize) {
        Reset();
        return eTooBig;
    }
    m_strAccumulator.reserve(std::min(size + frameRemaining, kMaxInboundMessageSize));
    m_strAccumulator.append(data, len);
    if (!bFinal) {
        m_bReceiveInProgress = true;
        return eIncomplete;
    }
    message = std::move(m_strAccumulator);
    Reset();
    return eComplete;
}

void CInboundReassembler::Reset() {
    m_bReceiveInProgress = false;
    std::string().swap(m_strAccumulator);
}

bool IsValidUtf8(const std::string& text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = p + text.size();
    while (p < end) {
        unsigned char c = *p;
        if (c < 0x80) {
            ++p;
            continue;
        }
        size_t n;
        unsigned char lo = 0x80, hi = 0xBF;  // the allowed range of the second byte
        if (c >= 0xC2 && c <= 0xDF) {
            n = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            n = 2;
            if (c == 0xE0) lo = 0xA0;  // overlong
            if (c == 0xED) hi = 0x9F;  // surrogates
        } else if (c >= 0xF0 && c <= 0xF4) {
            n = 3;
            if (c == 0xF0) lo = 0x90;  // overlong
            if (c == 0xF4) hi = 0x8F;  // above U+10FFFF
        } else {
            return false;
        }
        if (static_cast<size_t>(end - p) <= n) return false;
        if (p[1] < lo || p[1] > hi) return false;
        for (size_t i = 2; i <= n; ++i)
            if ((p[i] & 0xC0) != 0x80) return false;
        p += n + 1;
    }
    return true;
}
