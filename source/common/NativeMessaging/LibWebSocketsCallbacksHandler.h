// What the WebSocket I/O thread asks of its manager.
#pragma once

#include <string>
#include <vector>

class ILibWebSocketsCallbacksHandler {
  public:
    virtual ~ILibWebSocketsCallbacksHandler() = default;
    // A complete inbound message.
    virtual void HandleMessage(const std::string& text) = 0;
    // The I/O thread is ending.
    virtual void HandleListenerExit(bool bDidListenSuceed) = 0;
    virtual void HandleConnectionEstablished() = 0;
    virtual bool SetActivePort(unsigned port) = 0;
    virtual bool Get_Trial_PortList(std::vector<unsigned>& list) = 0;
    // Pops the oldest queued text; false when the queue is empty.
    virtual bool ReadFromSendQueue(std::string& text) = 0;
};
