// The listener's trial ports: the default list, the downloaded one and the last port that worked.
#include <fcntl.h>

#include <algorithm>
#include <cerrno>

#include "common/AppInfo.h"
#include "common/AppProps.h"
#include "common/ClientHandler/AppUrls.h"
#include "common/ClientHandler/InterAppMessaging.h"
#include "common/ClientHandler/WSPortConfig.h"
#include "common/FileUtil.h"
#include "common/LogHelper.h"
#include "common/NativeMessaging/InterAppMessagingManager.h"
#include "common/NativeMessaging/WebSocketsMessagingManager.h"
#include "common/PrivateFolder.h"

namespace tvc {
namespace {
constexpr const char* kPortSection = "websockets";
constexpr const char* kLastPortKey = "lastListenedWSPort";
}  // namespace

std::string GetWSConfigFilePath() {
    std::string cache;
    if (CAppPaths::GetPath(CAppPaths::eCacheFolder, cache) != CAppPaths::eOk || cache.empty())
        return {};
    return cache + kWSConfigFileName;
}

bool CInterAppMessaging::LoadWSPortsFromWebJSONFile(std::vector<unsigned>& ports) {
    static const char* fn = TVC_FN;
    const std::string path = GetWSConfigFilePath();
    TVC_LOG_WARN("%s : loading from file = %s", fn, path.c_str());
    int readError = 0;
    // Bounded: a huge file is refused without being read into memory.
    auto text =
        path.empty() ? std::nullopt : ReadFileAt(AT_FDCWD, path, kMaxWSConfigFileSize, &readError);
    if (!text) {
        if (readError == EFBIG)
            TVC_LOG_ERROR("%s : the file is larger than %u bytes, ignored", fn,
                          static_cast<unsigned>(kMaxWSConfigFileSize));
        else
            TVC_LOG_ERROR("%s : the file cannot be read", fn);
        return false;
    }
    TVC_LOG_WARN("%s : lengthe of string read from json file = %u", fn,
                 static_cast<unsigned>(text->size()));
    CWSPortConfig config;
    std::string error;
    if (!ParseWSPortConfig(*text, config, error)) {
        TVC_LOG_ERROR("%s : the file is not a port list (%s), ignored", fn, error.c_str());
        return false;
    }
    m_strWSHelpUrl = config.helpUrl;
    for (const auto& item : config.skipped)
        TVC_LOG_WARN("%s : skipping %s, not a port", fn, CLogHelper::Excerpt(item).c_str());
    ports.insert(ports.end(), config.remotePorts.begin(), config.remotePorts.end());
    return true;
}

bool CInterAppMessaging::LoadWSTrialPorts(std::vector<unsigned>& ports, bool includeDownloaded) {
    static const char* fn = TVC_FN;
    unsigned lastPort = 0;
    const std::string stored = CAppProps::ReadProperty(kPortSection, kLastPortKey);
    if (stored.empty()) {
        TVC_LOG_WARN("%s : Could not retrive last connected port - szActivePortString is empty.\n",
                     fn);
    } else if (!(lastPort = ParseWSPort(stored))) {
        TVC_LOG_ERROR(
            "%s : Could not retrive last connected port - szActivePortString is incorrect.\n", fn);
    }
    std::vector<unsigned> list = CWebSocketsMessagingManager::GetDefaultTrialPortList();
    if (includeDownloaded && !LoadWSPortsFromWebJSONFile(list)) return false;
    if (lastPort && !list.empty()) {
        auto found = std::find(list.begin(), list.end(), lastPort);
        if (found != list.end()) {
            TVC_LOG_WARN(
                "%s : uiActivePort=%u is found in the current list, removing from %u position.\n",
                fn, lastPort, static_cast<unsigned>(found - list.begin()));
            list.erase(found);
            TVC_LOG_WARN("%s : uiActivePort=%u : adding to top of list.\n", fn, lastPort);
            list.insert(list.begin(), lastPort);
        } else {
            TVC_LOG_WARN("%s : uiActivePort=%u : not found in current list : discarding... \n", fn,
                         lastPort);
        }
    }
    ports = std::move(list);
    return true;
}

bool CInterAppMessaging::SaveActiveWSPort() {
    static const char* fn = TVC_FN;
    auto manager = m_inter_app_msg_manager;
    if (!manager) {
        TVC_LOG_WARN("%s m_inter_app_msg_manager is NULL.\n", fn);
        return false;
    }
    unsigned port = 0;
    if (!manager->GetActivePort(port) || port == 0 || port > 65535) {
        TVC_LOG_ERROR("%s : no active port to save (%u); the stored one stays", fn, port);
        return false;
    }
    const std::string text = std::to_string(port);
    TVC_LOG_WARN("%s : saving the app property for LAST_LISTENED_WS_PORT=%s\n", __FILE__,
                 text.c_str());
    return CAppProps::WriteProperty(kPortSection, kLastPortKey, text) != 0;
}

bool CInterAppMessaging::StartOnetimeDownload_WebSocketsTrialPortList_FromWeb(
    const engine::BrowserRef& browser) {
    static const char* fn = TVC_FN;
    if (IsStarted_OnetimeDownload_WebSocketsTrialPortList) {
        TVC_LOG_WARN(
            "%s : IsStarted_OnetimeDownload_WebSocketsTrialPortList is true, not downloading. ",
            fn);
        return false;
    }
    if (!browser) {
        TVC_LOG_ERROR("%s : browser is NULL. ", fn);
        return false;
    }
    TVC_LOG_WARN("%s : Initiating... ", fn);
    IsStarted_OnetimeDownload_WebSocketsTrialPortList = true;
    m_portListDownloadPending = true;
    browser->GetHost().StartDownload(GetWSConfigFileURL());
    return true;
}

void CInterAppMessaging::HandleWebsocketsConfigFileDownloadProcessCompletion(bool isSuccess) {
    static const char* fn = TVC_FN;
    TVC_LOG_WARN("%s ++ : isSucess=%u", fn, isSuccess ? 1u : 0u);
    m_portListDownloadPending = false;
    // Unless a run with the downloaded ports starts below, none is left to wait for.
    struct SettleUnlessRunStarts {
        CInterAppMessaging& messaging;
        bool started = false;
        ~SettleUnlessRunStarts() {
            if (!started) messaging.Settled();
        }
    } run{*this};
    if (!isSuccess) {
        TVC_LOG_ERROR("%s -- : File download was not sucessful.", fn);
        return;
    }
    auto manager = m_inter_app_msg_manager;
    if (!manager) {
        TVC_LOG_ERROR("%s -- : interAppManager is NULL.", fn);
        return;
    }
    const auto state = manager->GetManagerState();
    if (state == eListening || state == eConnected)
        TVC_LOG_WARN("%s -- : state=%u , already engaged - nothing to do.", fn,
                     static_cast<unsigned>(state));
    std::vector<unsigned> ports;
    if (!LoadWSTrialPorts(ports, true)) {
        TVC_LOG_ERROR("%s -- : the downloaded port list is unusable; the current list stays", fn);
        return;
    }
    manager->Set_Trial_PortList(ports);
    // Refused unless the listener is idle: a running listener only gets the list for its next run.
    run.started = manager->Start();
}
}  // namespace tvc
