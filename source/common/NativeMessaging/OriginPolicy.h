// Who may open the local WebSocket: pure functions of the handshake's Origin and Host.
#pragma once

#include <string>
#include <vector>

// An absent Origin (origin empty) and browser-extension origins are allowed, as is the one web
// site. Every other origin (web pages, "null", file:) is refused.
bool IsWebSocketOriginAllowed(const std::string& origin, const std::string& allowedWebSiteOrigin);
// The same with several allowed sites (origins or URLs; URLs are reduced to their origins).
bool IsWebSocketOriginAllowed(const std::string& origin,
                              const std::vector<std::string>& allowedWebSites);

// The Host must name loopback with the listening port; anything else may be a DNS-rebinding page.
bool IsWebSocketHostAllowed(const std::string& host, unsigned listeningPort);
