// Ed25519 signatures of whole files under a public key the build pins. The key is given as
// base64 of its DER SubjectPublicKeyInfo (the body of the PEM file `openssl pkey -pubout`
// writes) or of its 32 raw bytes; a signature is base64 of its 64 bytes. Any thread.
#pragma once

#include <memory>
#include <string>

namespace tvc::update {
class CSignatureVerifier {
  public:
    CSignatureVerifier();
    ~CSignatureVerifier();
    CSignatureVerifier(const CSignatureVerifier&) = delete;
    CSignatureVerifier& operator=(const CSignatureVerifier&) = delete;

    // False (and no key kept) when the text is not an Ed25519 public key.
    bool SetPublicKey(const std::string& base64Key);
    bool HasKey() const { return m_key != nullptr; }
    // True only when `base64Signature` is a valid signature of the file's bytes; otherwise false
    // with the reason in `why`.
    bool VerifyFile(const std::string& path, const std::string& base64Signature,
                    std::string& why) const;
    // The same for the file open at `fd`, read from its start; at most `maxSize` bytes of it.
    bool VerifyDescriptor(int fd, size_t maxSize, const std::string& base64Signature,
                          std::string& why) const;

  private:
    bool Verify(const std::string& data, const std::string& base64Signature,
                std::string& why) const;
    struct KeyFree {
        void operator()(void* key) const;
    };
    std::unique_ptr<void, KeyFree> m_key;  // EVP_PKEY
};

// Base64 with or without line breaks; false on anything else.
bool DecodeBase64(const std::string& text, std::string& out);
}  // namespace tvc::update
