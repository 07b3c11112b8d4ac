// Status: done, or why not.
//
// Every call of the tool that can fail for a reason outside the program (a
// host call, a frame's load, a save) hands back a Status: ok, or a code that
// says which step failed and, where the system or the decoder named the
// cause, its words ("Permission denied", "truncated file"). A Status is a
// value; nothing in the tool throws or prints to report a failure, and the
// console layer alone turns a Status into a line.
#ifndef VELMORA_BASE_STATUS_H
#define VELMORA_BASE_STATUS_H

#include <string>
#include <utility>

namespace velmora {

class Status {
 public:
  enum class Code {
    ok,
    exists,           // a new file's name is taken (a link included); nothing was written
    failed,           // a host call failed
    unreadable,       // not a regular file, not a PNG, or changed while read
    tooLarge,         // the header declares more than the pixel bound
    tooMuchMetadata,  // more compressed metadata than the bound
    noAlpha,          // decoded, but without transparency to scan
    notCropped,
    notSaved,
    unsupported,      // the host has no such call; nothing was done
    busy,             // another process holds what was asked for; nothing was done
  };

  Status() = default;
  explicit Status(Code code, std::string reason = std::string())
      : code_(code), reason_(std::move(reason)) {}

  // The same reason under another code: a save that failed is a frame that
  // was not saved.
  Status as(Code code) const { return Status(code, reason_); }

  bool ok() const { return code_ == Code::ok; }
  Code code() const { return code_; }
  // <empty> when no one named the cause.
  const std::string& reason() const { return reason_; }

 private:
  Code code_ = Code::ok;
  std::string reason_;
};

// The words for an allocation that failed, wherever it failed.
inline const char* const kOutOfMemory = "out of memory";

}  // namespace velmora

#endif  // VELMORA_BASE_STATUS_H
