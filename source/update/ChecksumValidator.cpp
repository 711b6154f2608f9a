#include "update/ChecksumValidator.h"

#include <openssl/evp.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <vector>

#include "common/FileUtil.h"
#include "common/LogHelper.h"

int CChecksumValidator::GenerateChecksumOfDownloaedFile(const std::string& path,
                                                        std::string& checksumOut) {
    static const char* fn = TVC_FN;
    if (!tvc::FileExists(path)) {
        TVC_LOG_WARN("%s: .pkg file not found", fn);
        return eFileMissing;
    }
    std::ifstream in(path, std::ios::binary);
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    if (!in || !ctx || EVP_DigestInit_ex(ctx.get(), EVP_sha1(), nullptr) != 1) {
        TVC_LOG_ERROR("%s: cannot open or hash %s", fn, path.c_str());
        return eHashingFailed;
    }
    std::vector<char> block(64 * 1024);
    while (in.read(block.data(), static_cast<std::streamsize>(block.size())) || in.gcount() > 0) {
        if (EVP_DigestUpdate(ctx.get(), block.data(), static_cast<size_t>(in.gcount())) != 1) {
            TVC_LOG_ERROR("%s: hashing %s failed", fn, path.c_str());
            return eHashingFailed;
        }
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (in.bad() || EVP_DigestFinal_ex(ctx.get(), digest, &size) != 1) {
        TVC_LOG_ERROR("%s: reading or hashing %s failed", fn, path.c_str());
        return eHashingFailed;
    }
    checksumOut.clear();
    char hex[3];
    for (unsigned int i = 0; i < size; ++i) {
        std::snprintf(hex, sizeof hex, "%2.2x", digest[i]);
        checksumOut += hex;
    }
    TVC_LOG_WARN("%s: Checksum Generated is %s", fn, checksumOut.c_str());
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
