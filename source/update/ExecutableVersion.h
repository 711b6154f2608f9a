// The file version an executable carries: the text in its ELF section ".tvc_version", which the
// build fills with the product version (the counterpart of a version resource).
#pragma once

#include <string>

namespace tvc::update {
inline constexpr const char* kVersionSectionName = ".tvc_version";

// True and `version` set when the file is an ELF64 file with that section holding a version text
// (digits and periods only).
bool ReadExecutableFileVersion(const std::string& executablePath, std::string& version);
}  // namespace tvc::update
