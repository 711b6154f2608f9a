// The libwebsockets side of the listener; the library's types stay inside its .cpp.
#pragma once

class CWebSocketsMessagingManager;
class CWebSocketListenerLoop;

// I/O thread: listens on the first free trial port and serves until a stop is requested.
// 0 after a requested stop, -1 when no port could be listened on or the service failed.
int websocket_core_task(CWebSocketsMessagingManager& manager);

// Any thread, with the manager's loop lock held: makes the loop look at its queue and state.
void WakeWebSocketListenerLoop(CWebSocketListenerLoop& loop);
