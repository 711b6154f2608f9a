#include "common/NativeMessaging/WebSocketFraming.h"

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
                                                              bool bFinal, std::string& message) {
    if (m_strAccumulator.size() + len > kMaxInboundMessageSize) {
        Reset();
        return eTooBig;
    }
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
