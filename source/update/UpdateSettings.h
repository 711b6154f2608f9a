// The updater's configuration for this run: compiled-in values and the switches that replace them.
#pragma once

#include <functional>
#include <string>

#include "common/CommandLine.h"
#include "update/AutoUpdateHandler.h"

namespace tvc::update {
// The key the build pins ("" when none).
std::string GetCompiledUpdatePublicKey();

// A program run from the installed package gets packages ("TavistoForWebInstaller.deb") and
// their control-field check; any other keeps "TavistoForWebInstaller.run".
// "--update-download-delay-ms" replaces the delay. "--update-public-key" pins a key only in a
// build that pins none: it can make an unpinned build stricter, never loosen a pinned one.
CAutoUpdateHandler::Settings MakeUpdateSettings(const CCommandLine& commandLine,
                                                std::function<std::string()> appcastDirectory);
}  // namespace tvc::update
