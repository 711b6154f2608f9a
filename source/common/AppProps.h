// The preferences file "AppPreferrence.ini": one value at a time, straight from and to the file.
#pragma once

#include <string>
#include <utility>
#include <vector>

class CAppProps {
  public:
    static void SetFilePath(const std::string& path);
    static std::string GetFilePath();
    // The whole value, or "" when the file, section or key is missing.
    static std::string ReadProperty(const std::string& section, const std::string& key);
    // Non-zero on success. Refuses (0, logged) any argument holding CR, LF or NUL, and a file that
    // exists but cannot be read (it is never replaced by one holding only this key).
    // Safe against other threads and processes writing the same file.
    static int WriteProperty(const std::string& section, const std::string& key,
                             const std::string& value);
    // Several keys of one section in one replacement of the file: all of them or none.
    static int WriteProperties(const std::string& section,
                               const std::vector<std::pair<std::string, std::string>>& values);
    // Several keys of one section from one read of the file, in the order asked.
    static std::vector<std::string> ReadProperties(const std::string& section,
                                                   const std::vector<std::string>& keys);
    // False for a value that may not go into the file (CR, LF or NUL).
    static bool IsStorableValue(const std::string& value);
};
