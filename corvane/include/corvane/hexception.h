// The support library's exception family.
//
// Only the guards of the containers (hcontainer.h) throw these, when a caller
// breaks a precondition: an index outside an array, taking from an empty one,
// removing an element that is not there. Each exception carries one finished
// message, "[file:line] text", naming the throwing site by the leaf of its
// source path. The family deliberately has no std::exception base, so a
// handler for std::exception does not catch it. Constructing one prints nothing.
#ifndef CORVANE_HEXCEPTION_H
#define CORVANE_HEXCEPTION_H

#include "corvane/htext.h"

namespace corvane {

class _Exception {
 public:
  _Exception(const htext& text, const char* sourceFile, int line);
  virtual ~_Exception() = default;
  virtual htext messageText() const { return message; }
  virtual htext typeName() const { return "Exception"; }

 protected:
  // Replaces the message with "[leaf of sourceFile:line] text".
  void composeMessage(const htext& text, const char* sourceFile, int line);

  htext message;
};

class _ContainerIndexException : public _Exception {
 public:
  _ContainerIndexException(int index, const char* sourceFile, int line);
  htext typeName() const override { return "ContainerIndexException"; }
};

class _ContainerElementNotFoundException : public _Exception {
 public:
  _ContainerElementNotFoundException(const char* sourceFile, int line);
  htext typeName() const override { return "ContainerElementNotFoundException"; }
};

}  // namespace corvane

#endif  // CORVANE_HEXCEPTION_H
