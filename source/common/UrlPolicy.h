// Which addresses may leave the program or be loaded on a peer's word, and the text helpers that go
// with them. Stateless: any thread.
#pragma once

#include <string>

#include "common/StringUtil.h"

namespace tvc {
// http, https, mailto and "spotify:" addresses: the only ones handed to the desktop's default
// handler.
bool IsExternallyOpenableUrl(const std::string& url);
// http and https only: what a peer may make the page load.
bool IsWebUrl(const std::string& url);
// ASCII lower case; other bytes are kept.
// Escapes & < > " ' so the text can sit in HTML content and attribute values.
std::string HtmlEscape(const std::string& text);
// "file://" + the absolute path with every byte outside the path's safe set percent-encoded.
std::string FilePathToFileUri(const std::string& absolutePath);
}  // namespace tvc
