#include "common/CommandLine.h"

#include <charconv>

#include "common/StringUtil.h"

namespace {
std::shared_ptr<const CCommandLine> g_commandLine;  // main thread

using tvc::ToLowerAscii;
}  // namespace

CCommandLine::CCommandLine(const std::vector<std::string>& argv) {
    if (argv.empty()) return;
    bool switchesEnded = false;
    for (size_t i = 1; i < argv.size(); ++i) {
        const std::string& word = argv[i];
        if (!switchesEnded && word == "--") {
            switchesEnded = true;
            continue;
        }
        size_t dashes = word.rfind("--", 0) == 0 ? 2 : 0;
        if (switchesEnded || dashes == 0 || word.size() == dashes) {
            m_arguments.push_back(word);
            continue;
        }
        std::string body = word.substr(dashes);
        auto eq = body.find('=');
        if (eq == std::string::npos)
            m_switches[ToLowerAscii(body)] = "";
        else
            m_switches[ToLowerAscii(body.substr(0, eq))] = body.substr(eq + 1);
    }
}

bool CCommandLine::HasSwitch(const std::string& name) const {
    return m_switches.count(ToLowerAscii(name)) != 0;
}

std::string CCommandLine::GetSwitchValue(const std::string& name) const {
    auto it = m_switches.find(ToLowerAscii(name));
    return it == m_switches.end() ? std::string() : it->second;
}

void InitCommandLine(int argc, const char* const* argv) {
    std::vector<std::string> words(argv, argv + argc);
    g_commandLine = std::make_shared<const CCommandLine>(words);
}

std::shared_ptr<const CCommandLine> GetGlobalCommandLine() {
    if (!g_commandLine) g_commandLine = std::make_shared<const CCommandLine>();
    return g_commandLine;
}

int ParsePort(const std::string& text) {
    int value = 0;
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || ptr != text.data() + text.size() || value < 1 || value > 65535)
        return 0;
    return value;
}

void FillEngineSettings(const CCommandLine& commandLine, CEngineSettings& settings) {
    settings.multi_threaded_message_loop = commandLine.HasSwitch("multi-threaded-message-loop");
    if (commandLine.HasSwitch("cache-path"))
        settings.cache_path = commandLine.GetSwitchValue("cache-path");
    // Remote debugging stays off unless asked for (and then on loopback only).
    settings.remote_debugging_port = ParsePort(commandLine.GetSwitchValue("remote-debugging-port"));
}
