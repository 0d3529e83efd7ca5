#pragma once
// Reading archives through liblhasa, which unpacks every method and header
// level the archivers of three decades wrote. Around it, our own rules: the
// archive is read through our own input, so a header cut short or data that
// runs past the end tells a broken archive from its end; entry names come
// from the raw header bytes by our own parser, since liblhasa cuts a CP932
// name at a trail byte 0x5C.
//
// A folder entry that liblhasa stops at (a level 0 or 1 "-lhd-" entry named
// without a closing separator, as Amiga and OS-9 archivers write them, or
// a folder stored as a file of no data with a folder name and no file name,
// as some Amiga archivers write them) is read by our own parser, and
// liblhasa takes up again at the next header. Such a file of no data is a
// folder wherever it stands ("dir/" at level 0 too, which liblhasa takes for
// a file).
//
// The data is decoded here, from the entry's own byte range: its length and
// CRC are checked over the whole decoded stream, as liblhasa checks them.
// An entry of the classic Mac OS carries a MacBinary header before its data
// when MacLHA wrote it so; where every field of that header agrees with the
// entry (as lhasa tests it), the header is taken off and only the data fork
// (or the resource fork of a file without one) comes out.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace unlha::reader {

struct Item {
  std::string method;  // five bytes, "-lh5-", "-lhd-" ...
  // CP932, "/" between folders, as stored: an archiver that anchors names
  // at the root leaves a leading "/".
  std::string path;
  bool isDir = false;
  bool isLink = false;
  bool decodable = false;  // a method liblhasa (or our own decoder) unpacks
  std::uint64_t length = 0;
  std::uint16_t crc = 0;  // CRC-16 of the original data
  std::int64_t mtime = 0;  // seconds since 1970 (UTC)
  char os = 0;             // the system that wrote the entry ('M', 'U', 'm', '2' ...)
  bool os2Attributes = false;  // carries OS/2 extended attributes (an OS/2 archiver wrote it)
};

class Archive {
 public:
  Archive();
  ~Archive();
  Archive(const Archive&) = delete;
  Archive& operator=(const Archive&) = delete;

  // False when the file cannot be opened or is no regular file.
  bool open(const std::string& path);

  enum class Next { Entry, End, Broken };
  // The next entry's header. Broken: a header that is cut short or fails
  // its checks, data that runs past the end of the file, or no archive.
  Next next(Item& item);

  // The current entry's data as it decodes; 0 once it is all out, or where
  // the packed data gives out.
  std::size_t read(char* buffer, std::size_t size);
  // After read gave 0: whether the whole stream decoded to the length and
  // CRC its header declares.
  bool whole() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Every entry of an archive, from its headers alone; nullopt when the
// archive is broken or the file is none. An empty archive (the end mark
// alone) has no entries.
std::optional<std::vector<Item>> list(const std::string& path);

}  // namespace unlha::reader
