// The names of one FTP connection on the wire, for the POSIX FTP backend.
//
// A server that lists UTF8 in FEAT speaks UTF-8. One that does not may still store UTF-8
// names (vsftpd's default, proftpd without its language engine) or CP949 bytes (servers set
// up for Korean Windows clients), and either set of bytes can look valid in the other
// encoding. So the encoding is decided per connection, from the first names the server sends
// that are not plain ASCII (UTF-8 when all of them are valid UTF-8, else CP949), or from the
// first name the server accepts in one of the two forms. Whatever the decision, a name the
// server sent goes back to it in exactly the bytes it sent.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace quillmend::inet::posix {

enum class NameEncoding { kUndecided, kUtf8, kCp949 };

// One form of a name to send, and the encoding that form stands for.
struct WireName {
  std::string bytes;
  NameEncoding encoding = NameEncoding::kUndecided;
};

class FtpNameCodec {
 public:
  NameEncoding encoding() const { return encoding_; }
  // FEAT offered UTF8: the server speaks UTF-8 from now on.
  void AnnounceUtf8() { encoding_ = NameEncoding::kUtf8; }

  // Decodes the names of one listing (or the one path of a PWD reply) to UTF-8; an undecided
  // connection decides on them first. Names that do not decode in the connection's encoding
  // are tried in the other one, then decoded with U+FFFD for the bytes that fit neither.
  std::vector<std::string> Decode(const std::vector<std::string>& wire);
  std::string DecodeOne(const std::string& wire);

  // The wire forms of a name or "/"-separated path, best first: path parts the server sent go
  // back in its bytes, the rest in the connection's encoding; while undecided, the CP949 form
  // and then the UTF-8 form (one form when they are the same). Empty when the name has no
  // form at all (a character CP949 lacks, on a CP949 connection).
  std::vector<WireName> Encode(const std::string& name) const;
  // The server accepted `form`: an undecided connection takes its encoding.
  void Accepted(const WireName& form);

 private:
  std::string DecodeName(const std::string& wire);
  bool EncodePart(std::string_view part, NameEncoding encoding, std::string& out) const;

  NameEncoding encoding_ = NameEncoding::kUndecided;
  std::map<std::string, std::string, std::less<>> sent_;  // decoded name -> the server's bytes
};

// True when `text` is well-formed UTF-8 (no overlong forms, surrogates or values past
// U+10FFFF).
bool IsUtf8(std::string_view text);

}  // namespace quillmend::inet::posix
