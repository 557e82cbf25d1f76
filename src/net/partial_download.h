// The data of an unfinished download, kept beside its target so that a later attempt can go on
// where the last one broke off.
//
// "<target>.qmdl" holds the bytes received so far, "<target>.qmdl.id" what they are a part of:
// the remote file's size and modification time when the download began. A later download of
// the same target resumes only when the server reports the same size and time (else the
// remote file changed, and it starts over). Nothing of it is ever at the target's own path.
#pragma once

#include <cstdint>
#include <string>

namespace quillmend {

class PartialDownload {
 public:
  explicit PartialDownload(const std::string& target);

  const std::string& path() const { return partial_; }

  // The bytes already gathered that can be kept for a remote file of `size` bytes last
  // written at `write_time` (a FILETIME, 0 = unknown): the partial's length when it was begun
  // for that same size and time and is shorter than it; else 0.
  std::uint64_t Resumable(std::uint64_t size, std::uint64_t write_time) const;
  // Starts anew: an empty partial, and the record of size and time (none when the time is
  // unknown: such a partial can never be resumed). False when the files cannot be written.
  bool Begin(std::uint64_t size, std::uint64_t write_time);
  // True when a failed download may leave the partial for a later attempt.
  bool Keepable() const;
  // Removes the partial and its record (missing files are no failure).
  void Discard();
  // Renames the partial over the target and removes the record; false (with the reason in
  // `error`) when the rename fails, with the partial still there.
  bool Complete(std::string* error = nullptr);

 private:
  std::string target_;
  std::string partial_;
  std::string record_;
};

}  // namespace quillmend
