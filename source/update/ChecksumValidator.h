// SHA-1 of a downloaded file as 40 lower-case hexadecimal digits, and the exact comparison of two
// checksum texts. Stateless; any thread.
#pragma once

#include <string>

class CChecksumValidator {
  public:
    enum { eHashingFailed = 0, eFileMissing = 1, eChecksumGenerated = 2 };

    int GenerateChecksumOfDownloaedFile(const std::string& path, std::string& checksumOut);
    // The same for the file open at `fd`, read from its start whatever its offset.
    int GenerateChecksumOfDescriptor(int fd, std::string& checksumOut);
    // Case-sensitive: an upper-case text never equals the lower-case digest.
    bool CheckForChecksumEqality(const std::string& a, const std::string& b);
};
