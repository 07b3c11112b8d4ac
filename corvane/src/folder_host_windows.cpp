// Win32 host steps. Paths are UTF-8 inside corvane and UTF-16 at the Win32
// calls; they cross only through htext::toWide and htext::fromWide.
#include <windows.h>
#include <aclapi.h>

#include <string>

#include "folder_host.h"

namespace corvane {
namespace host {

namespace {

// The classic Win32 path limit (MAX_PATH, counting the terminating NUL). A
// longer path is refused here, whatever the file system or Wine would accept,
// so that the tool behaves alike on every Windows.
const size_t kPathLimit = 260;

std::wstring wide(const htext& text) {
  const std::u16string units = text.toWide();
  return std::wstring(units.begin(), units.end());
}

htext narrow(const wchar_t* text) {
  static_assert(sizeof(wchar_t) == sizeof(char16_t), "Win32 wide text is UTF-16");
  return htext::fromWide(reinterpret_cast<const char16_t*>(text));
}

struct Enumeration {
  HANDLE find = INVALID_HANDLE_VALUE;
};

// The advapi32 functions that build an "Everyone: full access" DACL, looked up
// at run time so that the tool does not depend on the library at load time.
using InitializeSecurityDescriptorFn = BOOL(WINAPI*)(PSECURITY_DESCRIPTOR, DWORD);
using AllocateAndInitializeSidFn = BOOL(WINAPI*)(PSID_IDENTIFIER_AUTHORITY, BYTE, DWORD, DWORD,
                                                 DWORD, DWORD, DWORD, DWORD, DWORD, DWORD, PSID*);
using SetEntriesInAclWFn = DWORD(WINAPI*)(ULONG, PEXPLICIT_ACCESS_W, PACL, PACL*);
using SetSecurityDescriptorDaclFn = BOOL(WINAPI*)(PSECURITY_DESCRIPTOR, BOOL, PACL, BOOL);
using FreeSidFn = PVOID(WINAPI*)(PSID);

template <class Fn>
Fn lookUp(HMODULE library, const char* name) {
  // GetProcAddress gives a generic function pointer; the cast through void*
  // keeps -Wcast-function-type quiet about the real signature.
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

// Creates the folder with a DACL that grants Everyone full access, inherited by
// everything created inside it; error is the creation's own code, taken before
// the cleanup can overwrite it. Gives false, with nothing created and every
// allocation released, when any step of building that DACL fails.
bool createWithOpenAccess(const std::wstring& path, bool& created, unsigned long& error) {
  created = false;
  HMODULE advapi = LoadLibraryW(L"Advapi32.dll");
  if (advapi == nullptr) return false;
  const auto initializeDescriptor =
      lookUp<InitializeSecurityDescriptorFn>(advapi, "InitializeSecurityDescriptor");
  const auto allocateSid = lookUp<AllocateAndInitializeSidFn>(advapi, "AllocateAndInitializeSid");
  const auto setEntries = lookUp<SetEntriesInAclWFn>(advapi, "SetEntriesInAclW");
  const auto setDacl = lookUp<SetSecurityDescriptorDaclFn>(advapi, "SetSecurityDescriptorDacl");
  const auto freeSid = lookUp<FreeSidFn>(advapi, "FreeSid");
  bool built = false;
  if (initializeDescriptor != nullptr && allocateSid != nullptr && setEntries != nullptr &&
      setDacl != nullptr && freeSid != nullptr) {
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID everyone = nullptr;
    if (allocateSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone)) {
      EXPLICIT_ACCESS_W access = {};
      access.grfAccessPermissions = GENERIC_ALL;
      access.grfAccessMode = SET_ACCESS;
      access.grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
      access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
      access.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
      access.Trustee.ptstrName = static_cast<LPWSTR>(everyone);
      PACL acl = nullptr;
      if (setEntries(1, &access, nullptr, &acl) == ERROR_SUCCESS) {
        SECURITY_DESCRIPTOR descriptor;
        if (initializeDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) &&
            setDacl(&descriptor, TRUE, acl, FALSE)) {
          SECURITY_ATTRIBUTES attributes = {};
          attributes.nLength = sizeof attributes;
          attributes.lpSecurityDescriptor = &descriptor;
          attributes.bInheritHandle = FALSE;
          built = true;
          created = CreateDirectoryW(path.c_str(), &attributes) != 0;
          if (!created) error = GetLastError();
        }
        LocalFree(acl);
      }
      freeSid(everyone);
    }
  }
  FreeLibrary(advapi);
  return built;
}

// An open handle to an existing file or folder (folders need backup semantics).
HANDLE openForIdentity(const htext& path) {
  return CreateFileW(wide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

}  // namespace

void* startEnumeration(const htext& folder, htext& firstName, bool& firstDelivered) {
  firstName.clear();
  firstDelivered = false;
  if (folder.size() >= kPathLimit) return nullptr;
  // Both separators are accepted by Win32; the pattern keeps the folder's own.
  const char* pattern = folder.find('\\') != htext::npos ? "\\*" : "/*";
  WIN32_FIND_DATAW entry;
  const HANDLE find = FindFirstFileW(wide(folder + pattern).c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return nullptr;
  Enumeration* enumeration = new Enumeration();
  enumeration->find = find;
  firstName = narrow(entry.cFileName);
  firstDelivered = true;
  return enumeration;
}

bool fetchNextEntry(void* handle, htext& name) {
  Enumeration* enumeration = static_cast<Enumeration*>(handle);
  WIN32_FIND_DATAW entry;
  if (!FindNextFileW(enumeration->find, &entry)) return false;
  name = narrow(entry.cFileName);
  return true;
}

void endEnumeration(void* handle) {
  Enumeration* enumeration = static_cast<Enumeration*>(handle);
  FindClose(enumeration->find);
  delete enumeration;
}

bool createFolder(const htext& path, bool openAccess, unsigned long& error) {
  const std::wstring target = wide(path);
  if (openAccess) {
    bool created = false;
    if (createWithOpenAccess(target, created, error)) return created;
  }
  // Default access: what the parent folder passes on.
  if (CreateDirectoryW(target.c_str(), nullptr) != 0) return true;
  error = GetLastError();
  return false;
}

bool sameFolder(const htext& a, const htext& b) {
  const HANDLE first = openForIdentity(a);
  if (first == INVALID_HANDLE_VALUE) return false;
  const HANDLE second = openForIdentity(b);
  if (second == INVALID_HANDLE_VALUE) {
    CloseHandle(first);
    return false;
  }
  BY_HANDLE_FILE_INFORMATION infoA;
  BY_HANDLE_FILE_INFORMATION infoB;
  const bool same = GetFileInformationByHandle(first, &infoA) &&
                    GetFileInformationByHandle(second, &infoB) &&
                    (infoA.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                    infoA.dwVolumeSerialNumber == infoB.dwVolumeSerialNumber &&
                    infoA.nFileIndexHigh == infoB.nFileIndexHigh &&
                    infoA.nFileIndexLow == infoB.nFileIndexLow;
  CloseHandle(second);
  CloseHandle(first);
  return same;
}

}  // namespace host
}  // namespace corvane
