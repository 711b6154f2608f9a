#include "common/AppProps.h"

#include <cerrno>
#include <cstring>

#include "common/FileUtil.h"
#include "common/IniFile.h"
#include "common/LogHelper.h"

namespace {
// Set at start-up, before any other thread exists; the file itself is guarded by its file lock.
std::string g_path;

bool HasLineBreakOrNul(const std::string& s) {
    return s.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}
}  // namespace

void CAppProps::SetFilePath(const std::string& path) {
    g_path = path;
}

std::string CAppProps::GetFilePath() {
    return g_path;
}

bool CAppProps::IsStorableValue(const std::string& value) {
    return !HasLineBreakOrNul(value);
}

std::string CAppProps::ReadProperty(const std::string& section, const std::string& key) {
    return ReadProperties(section, {key}).front();
}

std::vector<std::string> CAppProps::ReadProperties(const std::string& section,
                                                   const std::vector<std::string>& keys) {
    std::vector<std::string> values(keys.size());
    std::string path = GetFilePath();
    if (path.empty()) return values;
    // Writers replace the file by rename, so an unlocked read sees the old or the new file whole.
    auto text = tvc::ReadFile(path);
    if (!text) return values;
    for (size_t i = 0; i < keys.size(); ++i)
        values[i] = tvc::ini::Lookup(*text, section, keys[i]).value_or("");
    return values;
}

int CAppProps::WriteProperty(const std::string& section, const std::string& key,
                             const std::string& value) {
    return WriteProperties(section, {{key, value}});
}

int CAppProps::WriteProperties(const std::string& section,
                               const std::vector<std::pair<std::string, std::string>>& values) {
    static const char* fn = TVC_FN;
    for (const auto& [key, value] : values) {
        if (HasLineBreakOrNul(section) || HasLineBreakOrNul(key) || HasLineBreakOrNul(value) ||
            section.find(']') != std::string::npos || key.find('=') != std::string::npos ||
            key.empty() || section.empty()) {
            TVC_LOG_ERROR(
                "%s : refused to write [%s] %s : the value holds a line break, NUL or a delimiter",
                fn, section.c_str(), key.c_str());
            return 0;
        }
    }
    std::string path = GetFilePath();
    if (path.empty()) return 0;
    tvc::ScopedFileLock lock(path + ".lock");
    if (!lock.locked()) {
        TVC_LOG_ERROR("%s : could not lock %s", fn, path.c_str());
        return 0;
    }
    int readError = 0;
    auto existing = tvc::ReadFile(path, &readError);
    if (!existing && readError != ENOENT) {
        TVC_LOG_ERROR("%s : %s exists but cannot be read (%s); not replacing it", fn, path.c_str(),
                      std::strerror(readError));
        return 0;
    }
    std::string text = existing.value_or("");
    for (const auto& [key, value] : values) text = tvc::ini::Update(text, section, key, value);
    if (!tvc::WriteFileAtomically(path, text)) {
        TVC_LOG_ERROR("%s : could not write %s", fn, path.c_str());
        return 0;
    }
    return 1;
}
