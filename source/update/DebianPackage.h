// The Debian package side of the updater: which installed package this program runs from, and the
// control fields of a downloaded package, read from its open file (never through its name).
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace tvc::update {
struct PackageFields {
    std::string package;
    std::string version;
    std::string architecture;
};

// The first paragraph of a control file ("Name: value", continuation lines starting with a space
// or a tab), names lower-cased. Nothing when the text is no such paragraph: a line without a
// colon, an empty or repeated name, a continuation before any field, or more than `maxSize` bytes.
std::optional<std::map<std::string, std::string>> ParseControlFields(std::string_view text,
                                                                     size_t maxSize = 64 * 1024);
// Package, Version and Architecture from control text; nothing when one is missing or empty.
std::optional<PackageFields> PackageFieldsFromControl(std::string_view text);

// The control fields of the package open at `fd` (dpkg-deb reads the descriptor itself). Nothing,
// with `why`, for a file that is no readable package.
std::optional<PackageFields> ReadPackageFields(int fd, std::string& why);

// The installed package `packageName` when dpkg's list of its files names `executable` (a real
// path); nothing when it does not (a build tree, a prefix install) or it is not installed.
std::optional<PackageFields> FindOwningPackage(const std::string& executable,
                                               const std::string& packageName);
// What dpkg has installed of `packageName` now; nothing when it is not installed.
std::optional<PackageFields> QueryInstalledPackage(const std::string& packageName);
}  // namespace tvc::update
