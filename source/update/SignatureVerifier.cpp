#include "update/SignatureVerifier.h"

#include <openssl/evp.h>
#include <openssl/x509.h>
#include <unistd.h>

#include <cerrno>

#include "common/FileUtil.h"

namespace tvc::update {
namespace {
constexpr size_t kEd25519KeySize = 32;
constexpr size_t kEd25519SignatureSize = 64;
}  // namespace

bool DecodeBase64(const std::string& text, std::string& out) {
    std::string compact;
    for (char c : text)
        if (c != '\n' && c != '\r' && c != ' ' && c != '\t') compact.push_back(c);
    if (compact.empty() || compact.size() % 4 != 0) return false;
    std::string decoded(compact.size() / 4 * 3, '\0');
    const int n = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(decoded.data()),
                                  reinterpret_cast<const unsigned char*>(compact.data()),
                                  static_cast<int>(compact.size()));
    if (n < 0) return false;
    // EVP_DecodeBlock counts the padding as zero bytes.
    size_t padding = 0;
    if (compact.back() == '=') ++padding;
    if (compact.size() >= 2 && compact[compact.size() - 2] == '=') ++padding;
    decoded.resize(static_cast<size_t>(n) - padding);
    out = std::move(decoded);
    return true;
}

void CSignatureVerifier::KeyFree::operator()(void* key) const {
    EVP_PKEY_free(static_cast<EVP_PKEY*>(key));
}

CSignatureVerifier::CSignatureVerifier() = default;
CSignatureVerifier::~CSignatureVerifier() = default;

bool CSignatureVerifier::SetPublicKey(const std::string& base64Key) {
    m_key.reset();
    std::string der;
    if (!DecodeBase64(base64Key, der)) return false;
    const auto* bytes = reinterpret_cast<const unsigned char*>(der.data());
    EVP_PKEY* key = nullptr;
    if (der.size() == kEd25519KeySize) {
        key = EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, bytes, der.size());
    } else {
        const unsigned char* cursor = bytes;
        key = d2i_PUBKEY(nullptr, &cursor, static_cast<long>(der.size()));
        if (key && (EVP_PKEY_get_id(key) != EVP_PKEY_ED25519 || cursor != bytes + der.size())) {
            EVP_PKEY_free(key);
            key = nullptr;
        }
    }
    m_key.reset(key);
    return key != nullptr;
}

bool CSignatureVerifier::VerifyFile(const std::string& path, const std::string& base64Signature,
                                    std::string& why) const {
    // Ed25519 signs the message itself, not a digest: the whole file is needed at once.
    const std::optional<std::string> data = ReadFile(path);
    if (!data) {
        why = "the file cannot be read";
        return false;
    }
    return Verify(*data, base64Signature, why);
}

bool CSignatureVerifier::VerifyDescriptor(int fd, size_t maxSize,
                                          const std::string& base64Signature,
                                          std::string& why) const {
    std::string data;
    char block[65536];
    for (;;) {
        const ssize_t n = ::pread(fd, block, sizeof block, static_cast<off_t>(data.size()));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 || data.size() + static_cast<size_t>(n) > maxSize) {
            why = n < 0 ? "the file cannot be read" : "the file is too large";
            return false;
        }
        if (n == 0) break;
        data.append(block, static_cast<size_t>(n));
    }
    return Verify(data, base64Signature, why);
}

bool CSignatureVerifier::Verify(const std::string& data, const std::string& base64Signature,
                                std::string& why) const {
    if (!m_key) {
        why = "no public key";
        return false;
    }
    std::string signature;
    if (!DecodeBase64(base64Signature, signature) || signature.size() != kEd25519SignatureSize) {
        why = "the signature is not 64 bytes of base64";
        return false;
    }
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    const bool ok =
        ctx &&
        EVP_DigestVerifyInit(ctx.get(), nullptr, nullptr, nullptr,
                             static_cast<EVP_PKEY*>(m_key.get())) == 1 &&
        EVP_DigestVerify(ctx.get(), reinterpret_cast<const unsigned char*>(signature.data()),
                         signature.size(), reinterpret_cast<const unsigned char*>(data.data()),
                         data.size()) == 1;
    if (!ok) why = "the signature does not match the file";
    return ok;
}
}  // namespace tvc::update
