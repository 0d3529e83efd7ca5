#pragma once
// LHA archive headers: reading the entries of an archive file and writing
// new ones. Header levels 0 to 3 are read and written; entry paths are
// kept as CP932 bytes with "/" between the folders (a byte CP932 never uses
// inside a double-byte character).
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace unlha::archive {

// The largest header this reader accepts (level 2 sizes are 16-bit anyway;
// level 3 ones could claim 4 GiB).
constexpr std::size_t kMaxHeader = 1u << 20;

struct Entry {
  std::string method;  // five bytes, "-lh5-", "-lh0-", "-lhd-" ...
  std::uint64_t packedSize = 0;
  std::uint64_t originalSize = 0;
  std::uint16_t crc = 0;  // CRC-16 of the original data
  std::int64_t mtime = 0;  // seconds since 1970 (UTC)
  int level = 2;
  char os = 0;  // the system that wrote it (levels 1 to 3): 'M', 'U', 'A', '2' ...
  std::string path;  // CP932, "/" between folders; no trailing "/"
  bool isDir = false;
  bool isLink = false;  // a symbolic link stored by a Unix archiver ("name|target")
  bool os2Attributes = false;  // carries OS/2 extended attributes or attributes (0x7E, 0x7F)
  // Where the header and the packed data start in the archive file.
  std::uint64_t headerOffset = 0;
  std::uint64_t dataOffset = 0;
};

// CRC-16 (polynomial 0xA001, reflected, start 0), as the archive uses it
// for file data and level 2 headers.
std::uint16_t crc16(const void* data, std::size_t size, std::uint16_t crc = 0);

enum class ReadStatus { Ok, End, Bad };

// Reads the header at the file's position; on Ok the position is at the
// packed data (entry.dataOffset). End: the end mark or the end of file.
// checkCrc false skips the header CRC of levels 2 and 3 (for a header whose
// CRC was checked, and its field cleared, by another reader).
ReadStatus readHeader(std::FILE* f, Entry& entry, std::string* error, bool checkCrc = true);

// Every entry of an archive; nullopt (with the reason) when a header is
// broken or the file is no archive. An empty archive (only the end mark) is
// valid.
std::optional<std::vector<Entry>> readAll(std::FILE* f, std::string* error);

// The header bytes of an entry at the given level (0 to 3). False when
// the entry cannot be expressed at that level (a name too long for level 0
// or 1, a size over 4 GiB).
bool buildHeader(const Entry& e, int level, std::string& out, std::string* error);

// A stored name up to its first NUL: Amiga archivers put the file's comment
// after it.
std::string nameField(std::string_view raw);

// DOS date and time (local time) to and from seconds since 1970.
std::uint32_t toDosTime(std::int64_t t);
std::int64_t fromDosTime(std::uint32_t dos);

}  // namespace unlha::archive
