#include "win/win_digest.h"

// clang-format off
#include <windows.h>
#include <bcrypt.h>
// clang-format on

#include <array>

namespace tavric::win {
namespace {

// The SHA-256 of `data` into `hash`; false when the system could not compute it.
bool sha256(std::string_view data, std::array<UCHAR, 32>& hash) {
  BCRYPT_ALG_HANDLE alg = nullptr;
  if (BCryptOpenAlgorithmProvider(&alg, BCRYPT_SHA256_ALGORITHM, nullptr, 0) < 0) return false;
  BCRYPT_HASH_HANDLE h = nullptr;
  bool ok = BCryptCreateHash(alg, &h, nullptr, 0, nullptr, 0, 0) >= 0;
  ok = ok && BCryptHashData(h, reinterpret_cast<PUCHAR>(const_cast<char*>(data.data())),
                            static_cast<ULONG>(data.size()), 0) >= 0;
  ok = ok && BCryptFinishHash(h, hash.data(), static_cast<ULONG>(hash.size()), 0) >= 0;
  if (h != nullptr) BCryptDestroyHash(h);
  BCryptCloseAlgorithmProvider(alg, 0);
  return ok;
}

}  // namespace

std::string WinDigest::sha256_hex(std::string_view data) const {
  std::array<UCHAR, 32> hash{};
  if (!sha256(data, hash)) return {};
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  for (const UCHAR b : hash) {
    out += kHex[b >> 4];
    out += kHex[b & 0xF];
  }
  return out;
}

}  // namespace tavric::win
