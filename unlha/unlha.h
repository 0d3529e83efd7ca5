#pragma once
// The LHA archiver layer: packs files and folders into LHA archives and
// unpacks them, driven by command lines.
//
// Command line: a command word, switches and names, separated by blanks;
// double quotes group a name with blanks and are removed ("/a/b"/ is /a/b/).
// Inside quotes, two quotes stand for one quote of the name, and a quote
// that is not followed by a blank, the end of the line or a closing "/"
// belongs to the name. A caller that doubles every quote of a name has it
// taken whole, whatever characters it holds (in a response file too, where
// a line break inside quotes belongs to the name).
//
//   a  add the named files to the archive (created when missing); an entry
//      of the same name is replaced
//   u  the same, but an entry is replaced only by a newer file
//   x  extract with the folders stored in the archive
//   e  extract every file into the output folder itself, without folders
//
// The first name is the archive. A name that ends with "/" is the base
// folder: for a and u the names after it are taken relative to it (and the
// entries are stored with their path below it), for x and e it is the folder
// to extract into (created when missing). Unquoted names may hold the
// wildcards "*" and "?" in their last part ("*.*" matches every name); a
// quoted name is taken literally. "@file" (or @"file") reads more names from
// a response file, one group per line: an optional base folder, names, and
// -d0/-d1 for that line.
//
// Switches:
//   -d1 (or -d)  descend into folders and store the folder names;
//   -d0          only the named files, no folders (the default)
//   -y1 (or -y)  yes to every question: extracted files replace existing
//                ones; -y0 (the default) keeps existing files. A caller
//                that gives a replaceFile question (Callbacks) is asked
//                instead, for each existing file whose contents differ.
//   -h0 to -h3   header level of the new entries (default -h2)
//   -jm0 stored (-lh0-), -jm1 -lh1-, -jm2 -lh5- (the default), -jm3 -lh6-,
//   -jm4 -lh7-,
//   -jma         the method chosen by the data (-lh5-, or stored when
//                packing does not make the data smaller)
//
// Archives hold entry names in CP932 (Shift-JIS); names on the disk and on
// the command line are UTF-8. Packed data that does not shrink is stored.
// An archive is written under a temporary name and takes its own name only
// once it is whole: a failed command leaves the archive as it was.
//
// Packing a folder takes a symbolic link inside it as what it points to,
// where that is a file or folder inside the same folder; other links, links
// that lead back into a folder being packed and special files are left out
// and named in Callbacks::leftOut.
//
// Extraction reads every header level and every method liblhasa reads, and
// "-lh2-", "-lh3-" and LHark's "-lh7-" by our own decoders, and is safe against
// archives from strangers: a name anchored at the root
// ("/dir/file") extracts below the output folder; an entry that climbs out
// with ".." or names a drive is skipped and reported while the others
// extract; nothing is written outside the output folder, no link is
// followed or created, every file is written under a temporary name and
// only takes its own name once its CRC matched, and a failed extraction
// takes back the folders it made and left empty. A file that replaces an
// existing one of other contents is kept under its temporary name until
// every entry has extracted: a failed extraction replaces nothing. Entries
// that are not files are passed over: OS/2's extended attributes of a
// folder, stored as an entry of the folder's own name. A file of no data
// named as a folder alone ("dir/", as Amiga archivers store folders) is a
// folder.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace unlha {

// Results of Unlha: 0 is success, every other value an error.
enum Result : int {
  kOk = 0,
  kErrorCommand = 0x8001,       // unknown command word or switch, no archive name
  kErrorNoArchive = 0x8002,     // the archive to extract does not exist or cannot be opened
  kErrorBrokenArchive = 0x8003, // not an LHA archive, or a broken header
  kErrorNoFiles = 0x8004,       // no file matched the names to pack
  kErrorRead = 0x8005,          // a named file or the response file cannot be read
  kErrorWrite = 0x8006,         // the archive, a folder or an extracted file cannot be written
  kErrorCrc = 0x8007,           // packed data broken or its CRC does not match
  kErrorUnsafePath = 0x8008,    // an entry's path would leave the output folder
  kErrorMethod = 0x8009,        // an entry packed with a method no reader here knows
  kErrorTooLarge = 0x800B,      // a file or an archive over the size limits
};

// The answer to the question whether an extracted file replaces an existing
// file of other contents: this one, not this one, this one and every later one.
enum class Replace { Yes, No, All };

// An item on the disk that packing left out, and why.
struct LeftOut {
  enum Why {
    LinkOutside,  // a symbolic link to something outside the folder being packed
    LinkBroken,   // a symbolic link to nothing
    LinkLoop,     // a symbolic link back into a folder that holds it
    NotAFile,     // neither file nor folder (a device, a pipe, a socket)
  } why;
  std::string path;  // on the disk, UTF-8
};

// What a caller may hear of a command as it runs.
struct Callbacks {
  // Asked with the existing file's path (UTF-8) before it is replaced.
  std::function<Replace(const std::string& path)> replaceFile;
  // Receives, when set, the items packing left out.
  std::vector<LeftOut>* leftOut = nullptr;
};

// Runs one command line. ownerWindow is the window that would own a dialog
// (this layer shows none). When output is given and outputSize > 0, it
// receives a report of at most outputSize - 1 bytes (one line per entry).
int Unlha(std::uintptr_t ownerWindow, const std::string& commandLine, std::string* output = nullptr,
          std::uint32_t outputSize = 0);
int Unlha(std::uintptr_t ownerWindow, const std::string& commandLine, std::string* output, std::uint32_t outputSize,
          const Callbacks& callbacks);

// Nonzero when the file is an LHA archive with entries that this layer can
// read: every header is whole, its checks match and its data is there. mode
// is accepted for the classic calling convention and not used.
int UnlhaCheckArchive(const std::string& path, int mode);

}  // namespace unlha
