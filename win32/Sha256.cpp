#include "win32/Sha256.h"

#include "win32/Errors.h"

#include <wincrypt.h>

namespace {

// The headers declare these only for Windows XP SP3 targets; this program targets older
// Windows and asks at run time whether the provider has them.
constexpr DWORD kProvRsaAes = 24;          // PROV_RSA_AES
constexpr ALG_ID kCalgSha256 = 0x0000800c; // CALG_SHA_256

// A SHA-256 hash object of the AES provider, released with it.
class Sha256Hash {
public:
    Sha256Hash()
    {
        if (!CryptAcquireContextW(&provider_, nullptr, nullptr, kProvRsaAes, CRYPT_VERIFYCONTEXT)) {
            error_ = LastError();
            provider_ = 0;
        } else if (!CryptCreateHash(provider_, kCalgSha256, 0, 0, &hash_)) {
            error_ = LastError();
            hash_ = 0;
        }
    }
    ~Sha256Hash()
    {
        if (hash_ != 0)
            CryptDestroyHash(hash_);
        if (provider_ != 0)
            CryptReleaseContext(provider_, 0);
    }
    Sha256Hash(const Sha256Hash&) = delete;
    Sha256Hash& operator=(const Sha256Hash&) = delete;

    unsigned long Error() const { return error_; }
    unsigned long Add(const BYTE* bytes, DWORD count)
    {
        return CryptHashData(hash_, bytes, count, 0) ? 0 : LastError();
    }
    unsigned long Finish(std::string& hex)
    {
        BYTE value[32];
        DWORD size = sizeof value;
        if (!CryptGetHashParam(hash_, HP_HASHVAL, value, &size, 0))
            return LastError();
        constexpr char digits[] = "0123456789abcdef";
        hex.clear();
        for (DWORD index = 0; index < size; ++index) {
            hex += digits[value[index] >> 4];
            hex += digits[value[index] & 0x0F];
        }
        return 0;
    }

private:
    HCRYPTPROV provider_ = 0;
    HCRYPTHASH hash_ = 0;
    unsigned long error_ = 0;
};

} // namespace

bool Sha256Available()
{
    return Sha256Hash().Error() == 0;
}

unsigned long Sha256OfFile(HANDLE file, std::string& sha256)
{
    Sha256Hash hash;
    if (hash.Error() != 0)
        return hash.Error();
    std::string buffer(65536, '\0');
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file, &buffer[0], static_cast<DWORD>(buffer.size()), &got, nullptr))
            return LastError();
        if (got == 0)
            return hash.Finish(sha256);
        if (const unsigned long error = hash.Add(reinterpret_cast<const BYTE*>(buffer.data()), got))
            return error;
    }
}
