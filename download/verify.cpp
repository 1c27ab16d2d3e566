#include "download/verify.h"

#include <windows.h>
#include <wincrypt.h>

#include <vector>

#include "core/ascii.h"
#include "core/handles.h"

namespace {

constexpr DWORD kBlockSize = 65536;
constexpr DWORD kMd5Length = 16;

struct CryptContextReleaser {
    void operator()(HCRYPTPROV provider) const { CryptReleaseContext(provider, 0); }
};
struct CryptHashDestroyer {
    void operator()(HCRYPTHASH hash) const { CryptDestroyHash(hash); }
};
using UniqueCryptContext = UniqueResource<HCRYPTPROV, 0, CryptContextReleaser>;
using UniqueCryptHash = UniqueResource<HCRYPTHASH, 0, CryptHashDestroyer>;

// Feeds the whole file to the hash, one block at a time through one buffer.
bool hashFile(HANDLE file, HCRYPTHASH hash)
{
    std::vector<BYTE> buffer(kBlockSize);
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file, buffer.data(), kBlockSize, &read, nullptr)) return false;
        if (read == 0) return true;
        if (!CryptHashData(hash, buffer.data(), read, 0)) return false;
    }
}

// Catalogs write digests in either case; hex letters compare without it.
bool sameDigest(const std::string& computed, const std::string& expected)
{
    if (computed.size() != expected.size()) return false;
    for (size_t i = 0; i < computed.size(); ++i)
        if (asciiLower(computed[i]) != asciiLower(expected[i])) return false;
    return true;
}

}  // namespace

bool fileMd5Hex(const std::wstring& path, std::string& out)
{
    // Declared in this order so the hash goes before its context and the file last.
    UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;

    HCRYPTPROV rawProvider = 0;
    if (!CryptAcquireContextW(&rawProvider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT)) return false;
    UniqueCryptContext provider(rawProvider);

    HCRYPTHASH rawHash = 0;
    if (!CryptCreateHash(provider.get(), CALG_MD5, 0, 0, &rawHash)) return false;
    UniqueCryptHash hash(rawHash);

    if (!hashFile(file.get(), hash.get())) return false;

    BYTE digest[kMd5Length] = {};
    DWORD length = kMd5Length;
    if (!CryptGetHashParam(hash.get(), HP_HASHVAL, digest, &length, 0) || length != kMd5Length) return false;

    static const char kHex[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(2 * kMd5Length);
    for (BYTE b : digest) {
        hex.push_back(kHex[b >> 4]);
        hex.push_back(kHex[b & 0x0F]);
    }
    out = hex;
    return true;
}

DigestCheck checkFileDigest(const std::wstring& path, const std::string& expectedMd5)
{
    std::string digest;
    if (!fileMd5Hex(path, digest)) return DigestCheck::Unreadable;
    return sameDigest(digest, expectedMd5) ? DigestCheck::Matches : DigestCheck::Differs;
}
