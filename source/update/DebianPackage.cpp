#include "update/DebianPackage.h"

#include <gio/gio.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>

namespace tvc::update {
namespace {
std::string Lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

std::string_view Trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// The program's standard output, or nothing when it cannot run or ends otherwise than with 0.
// `fd`, when given, is the child's descriptor 3.
std::optional<std::string> RunForOutput(const char* const* argv, int fd, std::string& why) {
    g_autoptr(GSubprocessLauncher) launcher = g_subprocess_launcher_new(
        GSubprocessFlags(G_SUBPROCESS_FLAGS_STDOUT_PIPE | G_SUBPROCESS_FLAGS_STDERR_PIPE));
    g_subprocess_launcher_setenv(launcher, "LC_ALL", "C", TRUE);
    if (fd >= 0) {
        const int copy = ::dup(fd);
        if (copy < 0) {
            why = "cannot duplicate the package's descriptor";
            return std::nullopt;
        }
        g_subprocess_launcher_take_fd(launcher, copy, 3);
    }
    g_autoptr(GError) error = nullptr;
    g_autoptr(GSubprocess) process = g_subprocess_launcher_spawnv(launcher, argv, &error);
    g_autoptr(GBytes) out = nullptr;
    g_autoptr(GBytes) err = nullptr;
    if (!process || !g_subprocess_communicate(process, nullptr, nullptr, &out, &err, &error)) {
        why = std::string(argv[0]) + ": " + (error ? error->message : "cannot run");
        return std::nullopt;
    }
    if (!g_subprocess_get_if_exited(process) || g_subprocess_get_exit_status(process) != 0) {
        gsize size = 0;
        const char* text = err ? static_cast<const char*>(g_bytes_get_data(err, &size)) : nullptr;
        why = std::string(argv[0]) +
              " failed: " + std::string(text ? text : "", std::min<gsize>(size, 300));
        while (!why.empty() && (why.back() == '\n' || why.back() == ' ')) why.pop_back();
        return std::nullopt;
    }
    gsize size = 0;
    const char* text = out ? static_cast<const char*>(g_bytes_get_data(out, &size)) : nullptr;
    return std::string(text ? text : "", size);
}
}  // namespace

std::optional<std::map<std::string, std::string>> ParseControlFields(std::string_view text,
                                                                     size_t maxSize) {
    if (text.size() > maxSize) return std::nullopt;
    std::map<std::string, std::string> fields;
    std::string* last = nullptr;
    while (!text.empty()) {
        const auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (Trim(line).empty()) {
            if (fields.empty()) continue;  // blank lines before the paragraph
            break;                         // the paragraph's end
        }
        if (line[0] == '#') continue;
        if (line[0] == ' ' || line[0] == '\t') {
            if (!last) return std::nullopt;
            last->append("\n").append(Trim(line));
            continue;
        }
        const auto colon = line.find(':');
        if (colon == std::string_view::npos) return std::nullopt;
        const std::string name = Lower(Trim(line.substr(0, colon)));
        if (name.empty() || name.find_first_of(" \t") != std::string::npos) return std::nullopt;
        auto [it, added] = fields.emplace(name, std::string(Trim(line.substr(colon + 1))));
        if (!added) return std::nullopt;
        last = &it->second;
    }
    if (fields.empty()) return std::nullopt;
    return fields;
}

std::optional<PackageFields> PackageFieldsFromControl(std::string_view text) {
    const auto fields = ParseControlFields(text);
    if (!fields) return std::nullopt;
    PackageFields out;
    const std::pair<const char*, std::string*> wanted[] = {
        {"package", &out.package}, {"version", &out.version}, {"architecture", &out.architecture}};
    for (const auto& [name, value] : wanted) {
        const auto it = fields->find(name);
        // One line each: a value that goes on over lines is no name, version or architecture.
        if (it == fields->end() || it->second.empty() || it->second.find('\n') != std::string::npos)
            return std::nullopt;
        *value = it->second;
    }
    return out;
}

std::optional<PackageFields> ReadPackageFields(int fd, std::string& why) {
    // The descriptor, not a name: what is read is the file that was verified.
    const char* const argv[] = {"dpkg-deb", "--field", "/proc/self/fd/3", nullptr};
    const auto control = RunForOutput(argv, fd, why);
    if (!control) return std::nullopt;
    auto fields = PackageFieldsFromControl(*control);
    if (!fields) why = "its control file lacks Package, Version or Architecture";
    return fields;
}

std::optional<PackageFields> FindOwningPackage(const std::string& executable,
                                               const std::string& packageName) {
    // A package puts its files below /usr: a build tree or a prefix install elsewhere is spared
    // the two queries at every start.
    if (executable.rfind("/usr/", 0) != 0) return std::nullopt;
    std::string why;
    const std::string name = packageName;
    const char* const argv[] = {"dpkg-query", "--listfiles", name.c_str(), nullptr};
    const auto list = RunForOutput(argv, -1, why);
    if (!list || ("\n" + *list).find("\n" + executable + "\n") == std::string::npos)
        return std::nullopt;
    return QueryInstalledPackage(packageName);
}

std::optional<PackageFields> QueryInstalledPackage(const std::string& packageName) {
    std::string why;
    const std::string name = packageName;
    const char* const argv[] = {
        "dpkg-query", "--show",
        "--showformat=Package: ${Package}\nVersion: ${Version}\nArchitecture: "
        "${Architecture}\nStatus: ${db:Status-Status}\n",
        name.c_str(), nullptr};
    const auto text = RunForOutput(argv, -1, why);
    if (!text) return std::nullopt;
    const auto fields = ParseControlFields(*text);
    if (!fields || fields->count("status") == 0 || fields->at("status") != "installed")
        return std::nullopt;
    return PackageFieldsFromControl(*text);
}
}  // namespace tvc::update
