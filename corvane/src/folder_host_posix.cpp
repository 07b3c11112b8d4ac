// POSIX host steps: names are byte strings and pass through unconverted.
#include <dirent.h>
#include <cerrno>
#include <sys/stat.h>
#include <sys/types.h>

#include "folder_host.h"

namespace corvane {
namespace host {

void* startEnumeration(const htext& folder, htext& firstName, bool& firstDelivered) {
  firstName.clear();
  firstDelivered = false;
  // The host sets its own length limit (ENAMETOOLONG); no shorter one is
  // imposed here, so deeply nested folders still open.
  return opendir(folder.c_str());
}

bool fetchNextEntry(void* handle, htext& name) {
  const dirent* entry = readdir(static_cast<DIR*>(handle));
  if (entry == nullptr) return false;
  name = entry->d_name;
  return true;
}

void endEnumeration(void* handle) { closedir(static_cast<DIR*>(handle)); }

bool createFolder(const htext& path, bool openAccess, unsigned long& error) {
  // "Open" access is 0777 under the user's umask, the way POSIX tools create
  // folders; the folder is never made wider than the umask allows.
  const mode_t mode = openAccess ? 0777 : 0755;
  if (mkdir(path.c_str(), mode) == 0) return true;
  error = static_cast<unsigned long>(errno);
  return false;
}

bool sameFolder(const htext& a, const htext& b) {
  struct stat sa;
  struct stat sb;
  if (stat(a.c_str(), &sa) != 0 || stat(b.c_str(), &sb) != 0) return false;
  return S_ISDIR(sa.st_mode) && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

}  // namespace host
}  // namespace corvane
