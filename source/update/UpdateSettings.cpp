#include "update/UpdateSettings.h"

#include <charconv>

#include "common/FileUtil.h"
#include "common/LogHelper.h"
#include "update/DebianPackage.h"

#ifndef TVC_PACKAGE_NAME
#define TVC_PACKAGE_NAME "tavisto-for-web"
#endif
#ifndef TVC_UPDATE_PUBLIC_KEY
#define TVC_UPDATE_PUBLIC_KEY ""
#endif

namespace tvc::update {
std::string GetCompiledUpdatePublicKey() {
    return TVC_UPDATE_PUBLIC_KEY;
}

CAutoUpdateHandler::Settings MakeUpdateSettings(const CCommandLine& commandLine,
                                                std::function<std::string()> appcastDirectory) {
    static const char* fn = "MakeUpdateSettings";
    CAutoUpdateHandler::Settings settings;
    settings.appcastDirectory = std::move(appcastDirectory);
    const std::string delay = commandLine.GetSwitchValue("update-download-delay-ms");
    if (!delay.empty()) {
        int ms = -1;
        const auto [end, ec] = std::from_chars(delay.data(), delay.data() + delay.size(), ms);
        if (ec == std::errc() && end == delay.data() + delay.size() && ms >= 0)
            settings.downloadDelayMs = ms;
        else
            TVC_LOG_ERROR("*[AUTOUPDATER]* %s : update-download-delay-ms=%s ignored", fn,
                          delay.c_str());
    }
    // Run from the installed package, updates are packages the system installs; anything else
    // (a build tree, a prefix install) keeps the installer program.
    settings.installedPackage =
        FindOwningPackage(ReadLink(settings.executablePath), TVC_PACKAGE_NAME);
    if (settings.installedPackage) {
        settings.installerFileName = "TavistoForWebInstaller.deb";
        TVC_LOG_WARN(
            "*[AUTOUPDATER]* %s : running from the installed package %s %s (%s): "
            "updates are packages, installed through the system",
            fn, settings.installedPackage->package.c_str(),
            settings.installedPackage->version.c_str(),
            settings.installedPackage->architecture.c_str());
    }
    settings.pinnedPublicKey = GetCompiledUpdatePublicKey();
    const std::string switchKey = commandLine.GetSwitchValue("update-public-key");
    if (!switchKey.empty()) {
        if (settings.pinnedPublicKey.empty())
            settings.pinnedPublicKey = switchKey;
        else
            TVC_LOG_ERROR("*[AUTOUPDATER]* %s : update-public-key ignored: the build pins a key",
                          fn);
    }
    return settings;
}
}  // namespace tvc::update
