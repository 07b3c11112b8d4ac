// hfolder: stateless path and folder services.
//
// Two kinds of operation live here. The path operations (join, leafOf,
// cleanSeparators, splitSegments, simplify, joinAll) are pure text: they touch
// no file system and cannot fail. The folder operations (isFolder, listEntries,
// makeFolder, makeFolderPath, ...) ask the host; they never throw and never
// print, and report every failure as false or an empty list. The slash is the
// separator everywhere; a backslash is accepted wherever a path is cleaned.
// Names are UTF-8 byte strings; on POSIX they pass through unconverted, on
// Windows they are converted to UTF-16 at the host call and back.
#ifndef CORVANE_HFOLDER_H
#define CORVANE_HFOLDER_H

#include "corvane/hcontainer.h"
#include "corvane/htext.h"

namespace corvane {

// One open enumeration of a folder's entries, owned by the call that opened it.
struct FolderScan {
  htext entryName;
  // The host's enumeration handle; nullptr once the enumeration has ended.
  void* handle = nullptr;
  // Set while an entry that the start handed over has not been delivered yet.
  bool pending = false;
};

class hfolder {
 public:
  // Exactly one slash at the seam; only '/' counts, a backslash is text.
  //   join("a", "b")    => "a/b"
  //   join("a/", "/b")  => "a/b"
  //   join("a//", "b")  => "a//b"
  //   join("a\\", "b")  => "a\\/b"
  //   join("", "b")     => "/b"
  //   join("a", "")     => "a/"
  static htext join(const htext& first, const htext& second);

  // Last segment; '/' and '\\' both separate, trailing ones are ignored.
  //   leafOf("/a/b/")              => "b"
  //   leafOf("d:\\src\\walk.png")  => "walk.png"
  //   leafOf("C:/")                => "C:"
  //   leafOf("//")                 => <empty>
  static htext leafOf(const htext& path);

  // Backslashes become slashes, runs of slashes become one.
  //   cleanSeparators("C:\\Frames\\") => "C:/Frames/"
  //   cleanSeparators("//a/b")        => "/a/b"
  static htext cleanSeparators(const htext& path);

  // Segments of the cleaned path without trailing separators; never empty.
  //   splitSegments("/a/b/") => ["", "a", "b"]
  //   splitSegments("")      => [""]
  static hlist<htext> splitSegments(const htext& path);

  // "." and ".." resolved as text; a leading run of ".." stays, and a ".."
  // right after the root of an absolute path is dropped (the root has no
  // parent). A drive letter is an ordinary segment.
  //   simplify("a/../b")      => "b"
  //   simplify("a/..")        => "."
  //   simplify("/")           => <empty>
  //   simplify("/..")         => <empty>
  //   simplify("/a/../..")    => <empty>
  //   simplify("\\..\\x")     => "/x"
  //   simplify("C:\\a\\..")   => "C:"
  //   simplify("..\\x\\.\\y") => "../x/y"
  static htext simplify(const htext& path);

  // join folded from the right.
  //   joinAll(["", "a", "b"])     => "/a/b"
  //   joinAll([])                 => <empty>
  static htext joinAll(hlist<htext> segments);

  // True when the simplified path names a folder that can be enumerated. On
  // Windows a path of 260 bytes or more (the Win32 path limit) never does.
  static bool isFolder(const htext& path);
  // Bare names of every entry, hidden ones included, without "." and "..", in
  // the host's enumeration order (not sorted). Empty when the folder cannot be
  // read.
  static hlist<htext> listEntries(const htext& path);
  // True when this call created the folder, with makeOpenFolder's access (or
  // the host's default where that cannot be given); its parent must exist.
  static bool makeFolder(const htext& path);
  // The same; when it gives false, error is the host's code for why (errno on
  // POSIX, GetLastError's on Windows), for a caller that words it itself.
  static bool makeFolder(const htext& path, unsigned long& error);
  // Creates the folder with the most open access the host grants a new folder
  // (on POSIX: mode 0777, narrowed by the umask).
  static bool makeOpenFolder(const htext& path);
  // Creates the folder and its missing parents. False when the folder already
  // exists (nothing is done); otherwise whether it exists afterwards.
  static bool makeFolderPath(const htext& path);
  // True when both paths, resolved by the host exactly as given (links
  // followed), name one and the same existing folder.
  static bool isSameFolder(const htext& a, const htext& b);

  // The enumeration steps the operations above are built on. openScan takes a
  // simplified path and gives nullptr when it cannot be enumerated; nextEntry
  // gives false at the end (and keeps giving it); closeScan frees the record.
  static FolderScan* openScan(const htext& simplifiedPath);
  static bool nextEntry(FolderScan* scan, htext& name);
  static void closeScan(FolderScan* scan);
};

}  // namespace corvane

#endif  // CORVANE_HFOLDER_H
