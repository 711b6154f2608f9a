#include "shell/BrowserMain.h"

#include <glib-unix.h>
#include <gtk/gtk.h>
#include <unistd.h>

#include <cstdio>
#include <memory>

#include "common/AppInfo.h"
#include "common/AppProps.h"
#include "common/CommandLine.h"
#include "common/FileUtil.h"
#include "common/LogHelper.h"
#include "common/TaskRunner.h"
#include "engine/webkitgtk/EngineStartParams.h"
#include "glibutil/OwnEnvironment.h"
#include "platform/ProgramLaunch.h"
#include "platform/SingleInstance.h"
#include "platform/gtk/GtkAppWindow.h"
#include "platform/gtk/InstanceActivation.h"
#include "platform/gtk/ShutdownWatch.h"
#include "shell/AppQuit.h"
#include "shell/DisplayLoss.h"
#include "shell/EngineModuleLoader.h"
#include "shell/Language.h"
#include "shell/MainWindow.h"
#include "shell/Usage.h"
#include "shell/WndProc.h"

namespace tvc::shell {
namespace {
constexpr const char* kAutostartFileName = "TavistoForWebShortcut.desktop";

std::string GetPathOrEmpty(int kind) {
    std::string path;
    CAppPaths::GetPath(kind, path);
    return path;
}

// The start-up shortcut: placed once, never overwritten, failures only logged.
void PlaceAutostartEntry() {
    std::string appFolder, startupFolder;
    CAppPaths::GetPath(CAppPaths::eApplicationFolder, appFolder);
    int rc = CAppPaths::GetPath(CAppPaths::eStartupFolder, startupFolder);
    std::string target = startupFolder + kAutostartFileName;
    if (rc != CAppPaths::eOk) {
        TVC_LOG_ERROR("std-exception - %s :  filesystem::copy_file exception : %s\n", "wWinMain",
                      ("cannot create the autostart folder " + startupFolder).c_str());
        return;
    }
    // Placed by an earlier start (and perhaps edited by the user since): the usual case, no fault.
    if (tvc::FileExists(target)) {
        TVC_LOG_INFO("std-exception - %s :  filesystem::copy_file exception : %s\n", "wWinMain",
                     ("file exists: " + target).c_str());
        return;
    }
    std::string reason = tvc::CopyFileNoOverwrite(appFolder + kAutostartFileName, target);
    if (!reason.empty())
        TVC_LOG_ERROR("std-exception - %s :  filesystem::copy_file exception : %s\n", "wWinMain",
                      reason.c_str());
}

// The user agent's product part: "Chrome/39.0.2171.36 <appName>/<version>".
std::string MakeProductToken(const std::string& appName, const std::string& version) {
    return "Chrome/39.0.2171.36 " + appName + "/" + version;
}

CMainWindowProc* g_windowProc = nullptr;
bool g_quitPending = false;  // asked for before the window existed
bool g_restartAfterQuit = false;

// The program again, as the user started it: its executable (the file now at the path this one
// was started from) and the same arguments. Called once the instance lock is given up, so the new
// program owns it instead of handing over to this one.
void StartAgain(const std::string& executable, const std::vector<std::string>& args) {
    std::string why = "the executable's path is unknown";
    auto env = glib::UserEnvironment();
    const pid_t pid =
        executable.empty() ? -1 : platform::StartDetachedProgram(executable, args, env.get(), why);
    if (pid < 0)
        TVC_LOG_ERROR("%s : cannot start %s again: %s", "BrowserMain", executable.c_str(),
                      why.c_str());
    else
        TVC_LOG_WARN("%s : started %s again (process %d)", "BrowserMain", executable.c_str(),
                     static_cast<int>(pid));
}

// A session end or `kill` quits the way the tray's "Quit" does.
void RequestQuit(const char* cause) {
    TVC_LOG_WARN("%s : %s, quitting", "BrowserMain", cause);
    if (!g_windowProc) {
        g_quitPending = true;
        return;
    }
    // Without a window left only the loop is still to end.
    if (!g_windowProc->RequestQuit()) AppQuitMessageLoop();
}

gboolean OnTerminationSignal(gpointer signalName) {
    RequestQuit(static_cast<const char*>(signalName));
    return G_SOURCE_CONTINUE;
}

// The display went away: save what is known without it and leave with a code of our own (GDK's
// handler would exit with 1, the code of "already running").
[[noreturn]] void OnDisplayLost() {
    std::fprintf(stderr, "Tavisto for Web: lost the connection to the display\n");
    TVC_LOG_ERROR("%s : lost the connection to the display; saving the placement and ending",
                  "BrowserMain");
    if (g_windowProc) g_windowProc->SavePlacementWithoutDisplay();
    CLogHelper::DeInitLogger();
    ::_exit(eExitDisplayLost);
}
}  // namespace

void RequestRestartAfterQuit() {
    g_restartAfterQuit = true;
}

int BrowserMain(int argc, char** argv) {
    // Taken before anything replaces the executable: an update does, while this one runs.
    const std::string executable = tvc::ReadLink("/proc/self/exe");
    const std::vector<std::string> args(argv, argv + argc);
    InitCommandLine(argc, argv);
    tvc::InitializeProductAppInfo();
    // First, while this is the only thread: the language is set through the environment.
    StartLanguage(GetPathOrEmpty(CAppPaths::eApplicationFolder));
    if (auto answered = AnswerInformationSwitches(*GetGlobalCommandLine())) return *answered;
    PrepareProcessForEngine();
    // Installed first so a signal during start-up still ends the program through its loop.
    g_unix_signal_add(SIGTERM, OnTerminationSignal,
                      const_cast<char*>("termination signal received (SIGTERM)"));
    g_unix_signal_add(SIGINT, OnTerminationSignal,
                      const_cast<char*>("termination signal received (SIGINT)"));
    // A closed terminal or a session manager's hang-up: the same road.
    g_unix_signal_add(SIGHUP, OnTerminationSignal,
                      const_cast<char*>("termination signal received (SIGHUP)"));
    auto commandLine = GetGlobalCommandLine();

    std::string userDataFolder = GetPathOrEmpty(CAppPaths::eUserAppDataFolder);
    tvc::platform::CSingleInstanceLock instance("TVC_Mutex", userDataFolder);
    if (!instance.IsOwned()) {
        if (instance.IsHeldElsewhere()) {
            const bool raised = tvc::platform::RequestInstanceActivation(
                tvc::platform::GetInstanceActivationSocketPath(instance), 3000);
            std::fprintf(stderr, "Tavisto for Web is already running%s\n",
                         raised ? "; its window was brought to the front" : "");
            return eExitAlreadyRunning;
        }
        DebugPrint("%s : cannot open the instance lock %s; running without it", "BrowserMain",
                   instance.GetPath().c_str());
    }

    CEngineSettings settings;
    FillEngineSettings(*commandLine, settings);
    settings.cache_path = GetPathOrEmpty(CAppPaths::eCacheFolder);
    settings.product_version = MakeProductToken(CAppInfo::GetAppName(), CAppInfo::GetVersion());

    g_set_prgname(kDesktopEntryName);
    // The locale is set: GTK setting it again would undo the language's messages locale.
    gtk_disable_setlocale();
    if (!gtk_init_check(&argc, &argv)) {
        std::fprintf(stderr, "Tavisto for Web: cannot open the display (is DISPLAY set?)\n");
        return eExitNoDisplay;
    }
    gdk_set_program_class(kWindowClassName);
    std::string appFolder = GetPathOrEmpty(CAppPaths::eApplicationFolder);
    CEngineModuleLoader engineLoader(appFolder + tvc::webkit::kEngineModuleFile);
    InstallDisplayLossHandler(OnDisplayLost);

    tvc::webkit::EngineStartParams params;
    params.cacheFolder = settings.cache_path;
    params.extensionsFolder = appFolder;
    params.productToken = settings.product_version;
    params.inspectorPort = settings.remote_debugging_port;
    std::string preferencesPath =
        GetPathOrEmpty(CAppPaths::eResourcesFolder) + tvc::kPreferencesFileName;
    params.extensionInitData = {{"app-folder", appFolder},
                                {"user-data-folder", userDataFolder},
                                {"startup-folder", GetPathOrEmpty(CAppPaths::eStartupFolder)},
                                {"prefs-path", preferencesPath}};
    // Built from a char: GCC 12 warns falsely on assigning either of two literals.
    params.extensionInitData["window-keep-above"] =
        std::string(1, tvc::platform::gtk::CanPlaceWindows(gdk_display_get_default()) ? '1' : '0');
    for (const char* key : {"config-base-url", "web-site-url"})
        if (commandLine->HasSwitch(key))
            params.extensionInitData[key] = commandLine->GetSwitchValue(key);
    CAppProps::SetFilePath(preferencesPath);
    TVC_LOG_WARN("CTVCApp::OnContextInitialized: AppProps file path is %s",
                 preferencesPath.c_str());
    UseLanguage(CAppProps::ReadProperty("language", "locale"));

    // From here on a shutdown waits (within logind's bound) for the quit it starts.
    auto shutdownWatch = std::make_shared<platform::gtk::CShutdownWatch>(
        [] { RequestQuit("the system is shutting down"); });

    GtkWidget* window = CreateMainWindow(tvc::kDisplayName);
    if (!window) {
        std::fprintf(stderr, "Tavisto for Web: the main window could not be created\n");
        return eExitWindowFailed;
    }
    auto windowProc = std::make_unique<CMainWindowProc>(
        window, engineLoader, params, settings.multi_threaded_message_loop, &PlaceAutostartEntry);
    g_windowProc = windowProc.get();
    windowProc->desktop().SetShutdownWatch(shutdownWatch);
    if (windowProc->GetStartFailure() != eExitOk) return windowProc->GetStartFailure();
    std::unique_ptr<tvc::platform::gtk::CInstanceActivationListener> activation;
    if (instance.IsOwned())
        activation = std::make_unique<tvc::platform::gtk::CInstanceActivationListener>(
            tvc::platform::GetInstanceActivationSocketPath(instance), [] {
                if (g_windowProc) g_windowProc->BringToFront();
            });
    if (g_quitPending) runner::Post([] { RequestQuit("a quit asked for during start-up"); });

    int exitCode = RunMessageLoop();
    if (windowProc->GetStartFailure() != eExitOk) exitCode = windowProc->GetStartFailure();
    g_windowProc = nullptr;
    activation.reset();
    if (windowProc->IsWindowAlive()) gtk_widget_destroy(window);
    windowProc->Shutdown();
    windowProc.reset();
    // The page has answered and everything is saved: the shutdown need not wait any longer.
    shutdownWatch->ReleaseDelayLock();
    if (g_restartAfterQuit) {
        instance.Release();
        StartAgain(executable, args);
    }
    CLogHelper::DeInitLogger();
    return exitCode;
}
}  // namespace tvc::shell
