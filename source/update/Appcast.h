// The appcast ("Appcast.json"): the version the update server offers and where its installer is.
#pragma once

#include <optional>
#include <string>

namespace tvc::update {
struct Appcast {
    std::string title;
    std::string releaseNotes;
    std::string downloadPath;
    std::string version;
    std::string checksum;
    std::string signature;  // "" when the appcast carries none
};

// One parse of the whole text. Nothing when it is not JSON or lacks Title, ReleaseNotes,
// Downloadpath, Version or Checksum (each logged); Signature may be missing. Every value reads as
// text: a number as its literal.
std::optional<Appcast> ParseAppcast(const std::string& text);
}  // namespace tvc::update
