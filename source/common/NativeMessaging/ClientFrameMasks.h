// Which client frames came without the mask RFC 6455 makes every client put on its frames. The
// WebSocket library takes such frames as if masked and tells nothing of the mask, so the bytes are
// followed where the library reads them: a recv() that stands in front of the C library's for the
// process, and looks only at the sockets it is asked to watch. Any thread.
#pragma once

#include <cstddef>

namespace tvc::client_frames {
// Follows the socket's bytes from the next one read: an HTTP request, then frames.
void Watch(int fd);
void Forget(int fd);
// Called with every piece of data-frame payload the library hands over, in order: false when the
// piece belongs to a frame that came without a mask, or to one after it.
bool TakePayload(int fd, size_t length);
}  // namespace tvc::client_frames
