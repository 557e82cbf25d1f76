// SHA-256 (FIPS 180-4) over bytes fed in pieces: the digest that names a file's content on the
// clinic share and in a vendor's signed manifest.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quillmend {

class Sha256 {
 public:
  Sha256();
  // Adds size bytes at data to what has been hashed so far.
  void Update(const void* data, std::size_t size);
  void Update(std::string_view bytes) { Update(bytes.data(), bytes.size()); }
  // The digest of everything added, as 64 lower-case hexadecimal digits. The object is spent
  // afterwards: a further Update or HexDigest gives no meaningful result.
  std::string HexDigest();

 private:
  void Block(const std::uint8_t* block);

  std::array<std::uint32_t, 8> state_;
  std::array<std::uint8_t, 64> pending_{};
  std::size_t pending_size_ = 0;
  std::uint64_t total_bytes_ = 0;
};

// The digest of bytes, as Sha256::HexDigest gives it.
std::string Sha256Hex(std::string_view bytes);

}  // namespace quillmend
