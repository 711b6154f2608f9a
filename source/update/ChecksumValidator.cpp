#include "update/ChecksumValidator.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <vector>

#include "common/FileUtil.h"
#include "common/LogHelper.h"
#include "common/PrivateFolder.h"

int CChecksumValidator::GenerateChecksumOfDownloaedFile(const std::string& path,
                                                        std::string& checksumOut) {
    static const char* fn = TVC_FN;
    if (!tvc::FileExists(path)) {
        TVC_LOG_WARN("%s: .pkg file not found", fn);
        return eFileMissing;
    }
    tvc::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd) {
        TVC_LOG_ERROR("%s: cannot open %s", fn, path.c_str());
        return eHashingFailed;
    }
    return GenerateChecksumOfDescriptor(fd.get(), checksumOut);
}

int CChecksumValidator::GenerateChecksumOfDescriptor(int fd, std::string& checksumOut) {
    static const char* fn = TVC_FN;
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_sha1(), nullptr) != 1) {
        TVC_LOG_ERROR("%s: cannot start hashing", fn);
        return eHashingFailed;
    }
    std::vector<char> block(64 * 1024);
    off_t offset = 0;
    for (;;) {
        const ssize_t n = ::pread(fd, block.data(), block.size(), offset);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 || EVP_DigestUpdate(ctx.get(), block.data(), static_cast<size_t>(n)) != 1) {
            TVC_LOG_ERROR("%s: reading or hashing the file failed", fn);
            return eHashingFailed;
        }
        if (n == 0) break;
        offset += n;
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (EVP_DigestFinal_ex(ctx.get(), digest, &size) != 1) {
        TVC_LOG_ERROR("%s: hashing the file failed", fn);
        return eHashingFailed;
    }
    checksumOut.clear();
    char hex[3];
    for (unsigned int i = 0; i < size; ++i) {
        std::snprintf(hex, sizeof hex, "%2.2x", digest[i]);
        checksumOut += hex;
    }
    TVC_LOG_WARN("%s: Checksum Generated is %s",
                 "CChecksumValidator::GenerateChecksumOfDownloaedFile", checksumOut.c_str());
    return eChecksumGenerated;
}

bool CChecksumValidator::CheckForChecksumEqality(const std::string& a, const std::string& b) {
    static const char* fn = TVC_FN;
    TVC_LOG_INFO("%s: Size of %s is %d", fn, a.c_str(), static_cast<int>(a.size()));
    TVC_LOG_INFO("%s: Size of %s is %d", fn, b.c_str(), static_cast<int>(b.size()));
    const bool equal = a.size() == b.size() && a == b;
    TVC_LOG_WARN("%s: %s", fn, equal ? "Checksum matches" : "Checksum mismatch");
    return equal;
}
