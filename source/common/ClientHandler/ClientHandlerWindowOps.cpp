// The page's window messages, handed to the window's operations, and what the page is told of the
// window. Main thread.
#include "common/ClientHandler/ClientHandler.h"
#include "common/LogHelper.h"
#include "common/ProcessMessages.h"

namespace tvc {
namespace {
void LogBringToFront(int fromTray) {
    TVC_LOG_WARN(
        "ClientHandler::OnProcessMessageReceived: BringWindowToFrontMessage with "
        "iIsTriggeredFrom_OnTrayIconMenuOpenApplication=%d --",
        fromTray);
}
}  // namespace

void ClientHandler::AddWindowRoutes(CMessageRoutes& routes) {
    CWindowOperations& ops = *m_windowOps;
    routes.Add(
        msg::kSetWindowSize,
        {.act = [&ops](auto,
                       auto& m) { ops.SetWindowSize(m.args[0].GetInt(), m.args[1].GetInt()); },
         .mismatch = "ClientHandler::OnProcessMessageReceived: SetWindowSizeMessage "
                     "argument mismatch"});
    routes.Add(msg::kSetMinimumWindowSize,
               {.act =
                    [&ops](auto, auto& m) {
                        ops.SetMinimumWindowSize(m.args[0].GetInt(), m.args[1].GetInt());
                    },
                .mismatch = "ClientHandler::OnProcessMessageReceived: "
                            "SetMinimumWindowSizeMessage argument mismatch"});
    routes.Add(msg::kStickWindowOnTop,
               {.arrival = "ClientHandler::OnProcessMessageReceived: StickWindowOnTopMessage ++",
                .act = [&ops](auto, auto& m) { ops.StickWindowOnTop(m.args[0].GetBool()); },
                .mismatch = "ClientHandler::OnProcessMessageReceived: StickWindowOnTopMessage "
                            "argument mismatch"});
    // Only logged: the sticky state is not tracked, and nothing is sent back.
    routes.Add(msg::kIsWindowStickyOnTop,
               {.arrival = "ClientHandler::OnProcessMessageReceived: IsWindowStickyOnTopMessage",
                .act = [](auto, auto& m) {
                    if (m.args.size() == 1)
                        TVC_LOG_WARN(
                            "ClientHandler::OnProcessMessageReceived: IsWindowStickyOnTopMessage "
                            "returns success");
                }});
    routes.Add(msg::kMaximizeWindow, {.act = [&ops](auto, auto&) { ops.ShowMaximizedWindow(); }});
    routes.Add(msg::kMinimizeWindow, {.act = [&ops](auto, auto&) { ops.ShowMinimizedWindow(); }});
    const auto bring = [&ops](auto, auto& m) {
        const int fromTray = m.args[0].GetInt();
        ops.BringWindowToFront(fromTray != 0);
        LogBringToFront(fromTray);
    };
    const auto withoutArgument = [](auto, auto&) {
        TVC_LOG_WARN(
            "ClientHandler::OnProcessMessageReceived: BringWindowToFrontMessage without "
            "arguments.");
        LogBringToFront(0);
    };
    routes.Add(msg::kBringWindowToFront, {.act = bring, .otherwise = withoutArgument});
    routes.Add(msg::kHideApp, {.arrival = "ClientHandler::OnProcessMessageReceived HideApp called",
                               .act = [&ops](auto, auto&) { ops.HideApp(); }});
    // The web view is the main window's only child: focusing the window hands focus to it.
    routes.Add(msg::kSetFocus,
               {.arrival = "ClientHandler::OnProcessMessageReceived SetFocus called",
                .act = [&ops](auto, auto&) { ops.SetFocusWindow(); }});
}

void ClientHandler::OnMainWindowStateChanged(bool active, bool minimized) {
    const bool activeChanged = active != m_windowOps->IsActive();
    const bool minimizedChanged = minimized != m_windowOps->IsMinimized();
    m_windowOps->SetActivity(active, minimized);
    auto browser = GetBrowser();
    if (!browser) return;  // the first page load tells it
    if (activeChanged)
        browser->SendProcessMessage(engine::ProcessId::Renderer,
                                    {msg::kIsAppActiveStatus, {active}});
    if (minimizedChanged)
        browser->SendProcessMessage(engine::ProcessId::Renderer,
                                    {msg::kIsWindowMiniaturizedStatus, {minimized}});
}

void ClientHandler::SendWindowState(engine::BrowserRef browser) {
    if (!browser) return;
    browser->SendProcessMessage(engine::ProcessId::Renderer,
                                {msg::kIsAppActiveStatus, {m_windowOps->IsActive()}});
    browser->SendProcessMessage(engine::ProcessId::Renderer,
                                {msg::kIsWindowMiniaturizedStatus, {m_windowOps->IsMinimized()}});
}
}  // namespace tvc
