// The floor: a libwebsockets echo server with nothing of ours in the path.
#pragma once

#include <memory>

class CBareEchoServer {
  public:
    CBareEchoServer();
    ~CBareEchoServer();
    // Listens on 127.0.0.1:port on a thread of its own; false when it cannot.
    bool Start(unsigned port);
    void Stop();

  private:
    struct SImpl;
    std::unique_ptr<SImpl> m_pImpl;
};
