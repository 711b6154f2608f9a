// Chromium-style command line: "--name=value" and "--name" switches, other words are arguments.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

class CCommandLine {
  public:
    CCommandLine() = default;
    explicit CCommandLine(const std::vector<std::string>& argv);

    bool HasSwitch(const std::string& name) const;
    // "" when the switch is absent or has no value.
    std::string GetSwitchValue(const std::string& name) const;
    const std::vector<std::string>& GetArguments() const { return m_arguments; }

  private:
    std::map<std::string, std::string> m_switches;  // names lower-cased, as Chromium does
    std::vector<std::string> m_arguments;
};

// The process-wide command line, built once by the entry point. Main thread.
void InitCommandLine(int argc, const char* const* argv);
std::shared_ptr<const CCommandLine> GetGlobalCommandLine();

// What the engine start takes from the switches.
struct CEngineSettings {
    bool multi_threaded_message_loop = false;
    std::string cache_path;
    int remote_debugging_port = 0;  // 0: off
    std::string product_version;    // the user agent's product part
};
void FillEngineSettings(const CCommandLine& commandLine, CEngineSettings& settings);
// A port switch value as 1..65535, or 0 when it is anything else.
int ParsePort(const std::string& text);
