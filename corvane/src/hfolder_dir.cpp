// The folder services of hfolder, over the host steps of folder_host.h.
#include "corvane/hfolder.h"
#include "folder_host.h"

namespace corvane {

FolderScan* hfolder::openScan(const htext& simplifiedPath) {
  if (simplifiedPath.empty()) return nullptr;
  FolderScan* scan = new FolderScan();
  scan->handle = host::startEnumeration(simplifiedPath, scan->entryName, scan->pending);
  if (scan->handle == nullptr) {
    delete scan;
    return nullptr;
  }
  return scan;
}

bool hfolder::nextEntry(FolderScan* scan, htext& name) {
  if (scan == nullptr || scan->handle == nullptr) return false;
  if (scan->pending) {
    scan->pending = false;
    name = scan->entryName;
    return true;
  }
  if (host::fetchNextEntry(scan->handle, scan->entryName)) {
    name = scan->entryName;
    return true;
  }
  host::endEnumeration(scan->handle);
  scan->handle = nullptr;
  return false;
}

void hfolder::closeScan(FolderScan* scan) {
  if (scan == nullptr) return;
  if (scan->handle != nullptr) host::endEnumeration(scan->handle);
  delete scan;
}

bool hfolder::isFolder(const htext& path) {
  FolderScan* scan = openScan(simplify(path));
  if (scan == nullptr) return false;
  closeScan(scan);
  return true;
}

hlist<htext> hfolder::listEntries(const htext& path) {
  const htext folder = simplify(path);
  hlist<htext> names;
  if (!isFolder(folder)) return names;
  FolderScan* scan = openScan(folder);
  if (scan == nullptr) return names;
  for (htext name; nextEntry(scan, name);) names.push_back(name);
  if (names.indexOf(".") >= 0) names.remove(".");
  if (names.indexOf("..") >= 0) names.remove("..");
  closeScan(scan);
  return names;
}

bool hfolder::makeOpenFolder(const htext& path) {
  unsigned long error = 0;
  return host::createFolder(path, true, error);
}

bool hfolder::makeFolder(const htext& path) {
  unsigned long error = 0;
  return makeFolder(path, error);
}

bool hfolder::makeFolder(const htext& path, unsigned long& error) {
  return host::createFolder(path, true, error) || host::createFolder(path, false, error);
}

bool hfolder::makeFolderPath(const htext& path) {
  const htext folder = simplify(path);
  if (folder.empty()) return false;
  if (isFolder(folder)) return false;
  hlist<htext> segments = folder.split("/");
  htext current = segments.popFirst();
  makeFolder(current);
  for (const htext& segment : segments) {
    current = join(current, segment);
    makeFolder(current);
  }
  return isFolder(path);
}

bool hfolder::isSameFolder(const htext& a, const htext& b) {
  return host::sameFolder(a, b);
}

}  // namespace corvane
