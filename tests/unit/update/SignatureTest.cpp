#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <fstream>
#include <memory>

#include "../common/TempDir.h"
#include "update/SignatureVerifier.h"

namespace {
using tvc::update::CSignatureVerifier;
using KeyPtr = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;

KeyPtr NewKey(int type) {
    EVP_PKEY* key = nullptr;
    std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> ctx(
        EVP_PKEY_CTX_new_id(type, nullptr), EVP_PKEY_CTX_free);
    EVP_PKEY_keygen_init(ctx.get());
    EVP_PKEY_keygen(ctx.get(), &key);
    return KeyPtr(key, EVP_PKEY_free);
}

std::string Base64(const std::string& bytes) {
    std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                  reinterpret_cast<const unsigned char*>(bytes.data()),
                                  static_cast<int>(bytes.size()));
    out.resize(static_cast<size_t>(n));
    return out;
}

std::string PublicKeyBase64(EVP_PKEY* key) {
    unsigned char* der = nullptr;
    const int n = i2d_PUBKEY(key, &der);
    std::string bytes(reinterpret_cast<char*>(der), static_cast<size_t>(n));
    OPENSSL_free(der);
    return Base64(bytes);
}

std::string Sign(EVP_PKEY* key, const std::string& data) {
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    std::string sig(64, '\0');
    size_t size = sig.size();
    EVP_DigestSignInit(ctx.get(), nullptr, nullptr, nullptr, key);
    EVP_DigestSign(ctx.get(), reinterpret_cast<unsigned char*>(sig.data()), &size,
                   reinterpret_cast<const unsigned char*>(data.data()), data.size());
    return Base64(sig);
}

TEST(InstallerSignature, OnlyTheMakersKeyOverTheExactFileVerifies) {
    TempDir dir;
    const std::string path = dir.path + "/TavistoForWebInstaller.run";
    const std::string installer = "#!/bin/sh\necho installing\n";
    std::ofstream(path) << installer;
    KeyPtr maker = NewKey(EVP_PKEY_ED25519), other = NewKey(EVP_PKEY_ED25519);

    CSignatureVerifier verifier;
    ASSERT_TRUE(verifier.SetPublicKey(PublicKeyBase64(maker.get())));
    std::string why;
    EXPECT_TRUE(verifier.VerifyFile(path, Sign(maker.get(), installer), why)) << why;

    const struct {
        const char* what;
        std::string signature;
    } refused[] = {
        {"another key", Sign(other.get(), installer)},
        {"another file", Sign(maker.get(), installer + " ")},
        {"not base64", "not base64!"},
        {"empty", ""},
        {"too short", Base64(std::string(63, 'x'))},
    };
    for (const auto& r : refused)
        EXPECT_FALSE(verifier.VerifyFile(path, r.signature, why)) << r.what;
    EXPECT_FALSE(verifier.VerifyFile(dir.path + "/missing", Sign(maker.get(), installer), why));
    std::ofstream(path, std::ios::app) << "tampered";
    EXPECT_FALSE(verifier.VerifyFile(path, Sign(maker.get(), installer), why));
}

TEST(InstallerSignature, OnlyEd25519PublicKeysArePinned) {
    KeyPtr x25519 = NewKey(EVP_PKEY_X25519), ed = NewKey(EVP_PKEY_ED25519);
    CSignatureVerifier verifier;
    EXPECT_FALSE(verifier.SetPublicKey(PublicKeyBase64(x25519.get())));
    EXPECT_FALSE(verifier.SetPublicKey("AAAA"));
    EXPECT_FALSE(verifier.HasKey());
    // Raw 32 bytes are accepted as well as the PEM body.
    size_t size = 32;
    std::string raw(size, '\0');
    EVP_PKEY_get_raw_public_key(ed.get(), reinterpret_cast<unsigned char*>(raw.data()), &size);
    EXPECT_TRUE(verifier.SetPublicKey(Base64(raw)));
}
}  // namespace
