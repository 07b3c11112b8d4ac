#include "corvane/hexception.h"

#include "corvane/hfolder.h"

namespace corvane {

_Exception::_Exception(const htext& text, const char* sourceFile, int line) {
  composeMessage(text, sourceFile, line);
}

void _Exception::composeMessage(const htext& text, const char* sourceFile, int line) {
  const htext leaf = hfolder::leafOf(sourceFile);
  message = hsprintf("[%s:%d] %s", leaf.c_str(), line, text.c_str());
}

_ContainerIndexException::_ContainerIndexException(int index, const char* sourceFile, int line)
    : _Exception(htext(), sourceFile, line) {
  composeMessage(hsprintf("index '%d' out of range", index), sourceFile, line);
}

_ContainerElementNotFoundException::_ContainerElementNotFoundException(const char* sourceFile,
                                                                       int line)
    : _Exception(htext(), sourceFile, line) {
  composeMessage("element not found in container ", sourceFile, line);
}

}  // namespace corvane
