#include "common/NativeMessaging/ClientFrameMasks.h"

#include <dlfcn.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <limits>
#include <mutex>
#include <unordered_map>

namespace tvc::client_frames {
namespace {
constexpr uint64_t kNone = std::numeric_limits<uint64_t>::max();

// One watched socket's bytes: the request up to its blank line, then frame after frame.
struct SStream {
    bool bInRequest = true;
    unsigned requestTail = 0;       // how much of "\r\n\r\n" the last bytes matched
    unsigned char header[14] = {};  // the frame header being read
    size_t headerLength = 0;
    uint64_t payloadLeft = 0;  // of the current frame
    bool bDataFrame = false;
    uint64_t dataPayloadRead = 0;    // data-frame payload bytes read so far
    uint64_t firstUnmasked = kNone;  // data payload offset where the first unmasked frame begins
    uint64_t dataPayloadTaken = 0;   // what the library has handed over

    void Read(const unsigned char* bytes, size_t length);
    void EndOfHeader();
};

size_t HeaderLength(const unsigned char* header, size_t have) {
    if (have < 2) return 2;
    const unsigned lengthCode = header[1] & 0x7F;
    return 2 + (lengthCode == 126 ? 2 : lengthCode == 127 ? 8 : 0) + ((header[1] & 0x80) ? 4 : 0);
}

void SStream::EndOfHeader() {
    const unsigned lengthCode = header[1] & 0x7F;
    payloadLeft = lengthCode;
    if (lengthCode >= 126) {
        const size_t bytes = lengthCode == 126 ? 2 : 8;
        payloadLeft = 0;
        for (size_t i = 0; i < bytes; ++i) payloadLeft = (payloadLeft << 8) | header[2 + i];
    }
    bDataFrame = (header[0] & 0x0F) < 0x3;
    if (!(header[1] & 0x80) && firstUnmasked == kNone) firstUnmasked = dataPayloadRead;
    headerLength = 0;
}

void SStream::Read(const unsigned char* bytes, size_t length) {
    static const char kEnd[] = "\r\n\r\n";
    size_t i = 0;
    while (bInRequest && i < length) {
        const char c = static_cast<char>(bytes[i++]);
        requestTail = c == kEnd[requestTail] ? requestTail + 1 : (c == '\r' ? 1 : 0);
        bInRequest = requestTail < 4;
    }
    while (i < length) {
        if (payloadLeft > 0) {
            const uint64_t take = std::min<uint64_t>(payloadLeft, length - i);
            payloadLeft -= take;
            if (bDataFrame) dataPayloadRead += take;
            i += take;
            continue;
        }
        header[headerLength++] = bytes[i++];
        if (headerLength == HeaderLength(header, headerLength)) EndOfHeader();
    }
}

// Every thread may read a socket; the library's reads and the listener's questions are on the main
// thread, the others only pass by.
std::mutex g_lock;
std::unordered_map<int, SStream> g_streams;
std::atomic<size_t> g_watched{0};

void Observe(int fd, const void* buffer, ssize_t length) {
    if (length <= 0 || g_watched.load(std::memory_order_relaxed) == 0) return;
    const std::lock_guard<std::mutex> lock(g_lock);
    auto it = g_streams.find(fd);
    if (it != g_streams.end())
        it->second.Read(static_cast<const unsigned char*>(buffer), static_cast<size_t>(length));
}
}  // namespace

void Watch(int fd) {
    const std::lock_guard<std::mutex> lock(g_lock);
    g_streams[fd] = SStream();
    g_watched = g_streams.size();
}

void Forget(int fd) {
    const std::lock_guard<std::mutex> lock(g_lock);
    g_streams.erase(fd);
    g_watched = g_streams.size();
}

bool TakePayload(int fd, size_t length) {
    const std::lock_guard<std::mutex> lock(g_lock);
    auto it = g_streams.find(fd);
    if (it == g_streams.end()) return true;
    SStream& stream = it->second;
    if (stream.dataPayloadTaken >= stream.firstUnmasked) return false;
    stream.dataPayloadTaken += length;
    return true;
}
}  // namespace tvc::client_frames

// The library reads its sockets with recv(); this definition is the one the dynamic linker gives
// it. The next one (the C library's, or a sanitizer's in front of it) does the reading.
extern "C" ssize_t recv(int fd, void* buffer, size_t length, int flags) {
    using Recv = ssize_t (*)(int, void*, size_t, int);
    static const auto next = reinterpret_cast<Recv>(dlsym(RTLD_NEXT, "recv"));
    const ssize_t got = next(fd, buffer, length, flags);
    if (!(flags & MSG_PEEK)) tvc::client_frames::Observe(fd, buffer, got);
    return got;
}
