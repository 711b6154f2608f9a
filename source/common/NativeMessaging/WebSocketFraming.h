// How texts are cut into outbound frames and how inbound pieces become whole messages.
// Plain state machines without any library types; the listener drives them.
#pragma once

#include <cstddef>
#include <string>

constexpr size_t kWebSocketFrameSize = 2048;
constexpr size_t kMaxInboundMessageSize = 1024 * 1024;

struct SOutboundFrame {
    std::string strPayload;
    bool bContinuation = false;  // false: the message's first (text) frame
    bool bFinal = false;
};

// A text of 2048 bytes or more goes out as 2048-byte pieces; the last piece is shorter than 2048
// bytes, so a text of exactly 2048*k bytes ends with an empty final continuation frame.
class COutboundFragmenter {
  public:
    bool IsSendInProgress() const { return m_bSendInProgress; }
    // The first frame of a new text; call only when no send is in progress.
    SOutboundFrame Begin(std::string text);
    // The next frame of the text under way.
    SOutboundFrame Next();
    void Reset();

  private:
    bool m_bSendInProgress = false;
    std::string m_strRemainder;
};

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsValidUtf8(const std::string& text);

class CInboundReassembler {
  public:
    enum t_enumResult { eIncomplete, eComplete, eTooBig };

    // bFinal: this piece ends the message (the library's final-fragment test). frameRemaining:
    // what is still to come of the piece's frame, made room for at once: a large message is not
    // grown piece by piece, and leaves with no spare capacity.
    // eComplete moves the whole text into message; eTooBig drops what was gathered.
    t_enumResult Append(const char* data, size_t len, bool bFinal, std::string& message,
                        size_t frameRemaining = 0);
    bool IsReceiveInProgress() const { return m_bReceiveInProgress; }
    // Drops a partial message and gives back a large buffer's memory.
    void Reset();

  private:
    bool m_bReceiveInProgress = false;
    std::string m_strAccumulator;
};
