// Windows-style INI text: sections and keys matched without regard to case, values kept raw.
#pragma once

#include <optional>
#include <string>

namespace tvc::ini {
// The value of section/key in `text`, or nullopt when either is missing.
std::optional<std::string> Lookup(const std::string& text, const std::string& section,
                                  const std::string& key);
// `text` with section/key set to value; everything else is kept as it stands.
std::string Update(const std::string& text, const std::string& section, const std::string& key,
                   const std::string& value);
}  // namespace tvc::ini
