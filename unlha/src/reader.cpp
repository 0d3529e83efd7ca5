#include "reader.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>

extern "C" {
#include <lhasa.h>
}

#include "archive.h"
#include "lzh.h"

namespace unlha::reader {

namespace {

constexpr std::size_t kMaxEntries = 1000000;

// Windows file times count 100 ns steps from 1601.
constexpr std::int64_t kWindowsEpoch = 11644473600;

}  // namespace

// MacBinary, as MacLHA puts it before a file's data: 128 bytes, big-endian.
namespace macbinary {

constexpr std::size_t kSize = 128;
constexpr std::uint32_t kMacEpoch = 2082844800;  // 1904 to 1970, in seconds

std::uint32_t be32(const unsigned char* p) {
  return (static_cast<std::uint32_t>(p[0]) << 24) | (static_cast<std::uint32_t>(p[1]) << 16) |
         (static_cast<std::uint32_t>(p[2]) << 8) | p[3];
}

bool zero(const unsigned char* p, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i)
    if (p[i]) return false;
  return true;
}

// The length of the fork to keep when the header is one MacLHA added for
// this very entry: its name is the entry's, the forks fill the entry (in
// 128-byte steps), the fields that must be zero are, and its time is within
// a time zone of the entry's. nullopt: the data is kept as it stands.
std::optional<std::uint32_t> forkLength(const unsigned char* h, const std::string& name, std::uint64_t length,
                                        std::int64_t timestamp) {
  if (h[0] != 0 || h[0x4A] != 0 || h[0x52] != 0 || !zero(h + 0x63, 2) || !zero(h + 0x65, kSize - 0x65))
    return std::nullopt;
  const std::size_t nameLength = h[1];
  if (nameLength > 63 || nameLength != name.size() || std::memcmp(h + 2, name.data(), nameLength) != 0 ||
      !zero(h + 2 + nameLength, 63 - nameLength))
    return std::nullopt;
  const std::uint64_t data = be32(h + 0x53), resource = be32(h + 0x57);
  if (length != ((data + resource + kSize + 0x7F) & ~std::uint64_t{0x7F})) return std::nullopt;
  const std::uint32_t modified = be32(h + 0x5F);
  if (modified < kMacEpoch) return std::nullopt;
  const std::int64_t diff = static_cast<std::int64_t>(modified - kMacEpoch) - timestamp;
  if (diff > 14 * 3600 || diff < -14 * 3600) return std::nullopt;
  return static_cast<std::uint32_t>(data > 0 ? data : resource);
}

}  // namespace macbinary

struct Archive::Impl {
  std::FILE* file = nullptr;
  std::uint64_t size = 0;
  std::uint64_t pos = 0;
  std::uint64_t headerStart = 0;  // where the current entry's header starts
  std::uint64_t nextHeader = 0;   // where the header after the current entry starts
  bool restarted = false;         // liblhasa reads on from a header we found
  bool skipFailed = false;
  bool anyEntry = false;
  LHAInputStream* stream = nullptr;
  LHAReader* reader = nullptr;

  // The current entry's data.
  std::uint64_t dataStart = 0, dataLength = 0, dataRead = 0;
  std::vector<unsigned char> packedBuffer = std::vector<unsigned char>(1 << 16);
  std::size_t packedAt = 0, packedHave = 0;  // what of packedBuffer is given out, and held
  std::uint64_t length = 0;  // declared original length
  std::uint16_t crc = 0;     // declared CRC
  std::string method;
  char os = 0;
  std::string macName;  // liblhasa's name of the entry, which MacLHA's header repeats
  std::int64_t timestamp = 0;
  LHADecoder* decoder = nullptr;
  std::unique_ptr<lzh::OldDecoder> own;  // "-lh2-" and "-lh3-", which liblhasa has no decoder for
  bool started = false;
  std::uint64_t decoded = 0;  // inner stream: bytes and CRC so far
  std::uint16_t runningCrc = 0;
  // What the caller gets of the inner stream: [outStart, outStart + outLength).
  std::uint64_t outStart = 0, outLength = 0, given = 0;
  std::vector<unsigned char> held;  // decoded bytes not yet given out

  ~Impl() {
    closeDecoder();
    closeReader();
    if (file) std::fclose(file);
  }

  void closeDecoder() {
    if (decoder) lha_decoder_free(decoder);
    decoder = nullptr;
    own.reset();
  }
  void closeReader() {
    if (reader) lha_reader_free(reader);
    if (stream) lha_input_stream_free(stream);
    reader = nullptr;
    stream = nullptr;
  }

  // Through stdio's buffer: the decoders ask for a few bytes at a time.
  static int read(void* handle, void* buf, std::size_t len) {
    auto* self = static_cast<Impl*>(handle);
    if (len > INT_MAX) len = INT_MAX;
    const std::size_t got = std::fread(buf, 1, len, self->file);
    if (got < len && std::ferror(self->file)) return -1;
    self->pos += got;
    return static_cast<int>(got);
  }

  // Data the reader passes over must be there: a skip past the end of the
  // file is a truncated archive.
  static int skip(void* handle, std::size_t bytes) {
    auto* self = static_cast<Impl*>(handle);
    if (bytes > self->size - self->pos || fseeko(self->file, static_cast<off_t>(bytes), SEEK_CUR) != 0) {
      self->skipFailed = true;
      return 0;
    }
    self->pos += bytes;
    return 1;
  }

  static void close(void*) {}

  // The packed data of the current entry, read at its own offset. The
  // decoders ask for a few bytes at a time, so the data comes through a
  // buffer of its own: a read from the file for each would make a large
  // entry take many times as long as lhasa takes. A request is filled
  // whole, across the end of the buffer: liblhasa's decoders take a short
  // read for the end of the data (-lz5- asks for the two bytes of a match
  // at once).
  static std::size_t packed(void* buf, std::size_t len, void* handle) {
    auto* self = static_cast<Impl*>(handle);
    auto* out = static_cast<unsigned char*>(buf);
    std::size_t done = 0;
    while (done < len) {
      if (self->packedAt == self->packedHave && !self->refill()) break;
      const std::size_t n = std::min(len - done, self->packedHave - self->packedAt);
      std::memcpy(out + done, self->packedBuffer.data() + self->packedAt, n);
      self->packedAt += n;
      done += n;
    }
    return done;
  }
  // The next piece of the packed data into the buffer; false at its end.
  bool refill() {
    const std::uint64_t left = dataLength - dataRead;
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(left, packedBuffer.size()));
    if (want == 0) return false;
    const ssize_t n =
        ::pread(fileno(file), packedBuffer.data(), want, static_cast<off_t>(dataStart + dataRead));
    if (n <= 0) return false;
    dataRead += static_cast<std::uint64_t>(n);
    packedAt = 0;
    packedHave = static_cast<std::size_t>(n);
    return true;
  }

  // The packed data anew from its start, apart from the entry's own reading.
  std::function<std::size_t(void*, std::size_t)> packedFromStart() {
    auto at = std::make_shared<std::uint64_t>(0);
    return [this, at](void* buf, std::size_t len) -> std::size_t {
      const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(dataLength - *at, len));
      if (want == 0) return 0;
      const ssize_t n = ::pread(fileno(file), buf, want, static_cast<off_t>(dataStart + *at));
      if (n <= 0) return 0;
      *at += static_cast<std::uint64_t>(n);
      return static_cast<std::size_t>(n);
    };
  }

  bool openReader() {
    static const LHAInputStreamType kType = {&Impl::read, &Impl::skip, &Impl::close};
    stream = lha_input_stream_new(&kType, this);
    if (!stream) return false;
    reader = lha_reader_new(stream);
    if (!reader) return false;
    lha_reader_set_dir_policy(reader, LHA_READER_DIR_PLAIN);
    return true;
  }

  // liblhasa anew from a header at offset.
  bool restartAt(std::uint64_t offset) {
    closeReader();
    if (fseeko(file, static_cast<off_t>(offset), SEEK_SET) != 0) return false;
    pos = offset;
    restarted = true;
    return openReader();
  }

  // Whether the reader stopped at the end of the archive: at the end of the
  // file or at the end mark (a zero byte where a header would start).
  // An archive without entries is the end mark alone; an empty file, or a
  // zero byte with more behind it, is none.
  bool atEnd() const {
    if (skipFailed) return false;
    if (!anyEntry && size != 1) return false;
    return endAt(nextHeader);
  }
  bool endAt(std::uint64_t offset) const {
    if (offset >= size) return true;
    unsigned char b = 1;
    return ::pread(fileno(file), &b, 1, static_cast<off_t>(offset)) == 1 && b == 0;
  }

  // Decodes more of the inner stream into held; false at its end.
  bool decodeMore() {
    if (!decoder && !own) return false;
    unsigned char buf[1 << 14];
    std::size_t n = 0;
    if (own)
      n = own->read(buf, static_cast<std::size_t>(std::min<std::uint64_t>(sizeof buf, length - decoded)));
    else
      n = lha_decoder_read(decoder, buf, sizeof buf);
    if (n == 0) return false;
    runningCrc = archive::crc16(buf, n, runningCrc);
    decoded += n;
    held.insert(held.end(), buf, buf + n);
    return true;
  }

  void start() {
    started = true;
    char name[6] = {};
    std::memcpy(name, method.data(), std::min<std::size_t>(method.size(), 5));
    // "-lh2-" comes in two ways, which the stream itself tells apart.
    bool countRootUses = true;
    if (method == "-lh2-") countRootUses = lzh::lh2CountsRootUses([this] { return packedFromStart(); }, length, crc);
    own = lzh::oldDecoder(method, [this](void* b, std::size_t n) { return packed(b, n, this); }, countRootUses);
    LHADecoderType* type = own ? nullptr : lha_decoder_for_name(name);
    if (type)
      decoder = lha_decoder_new(type, &Impl::packed, this, static_cast<std::size_t>(length));
    outStart = 0;
    outLength = length;
    if (os == LHA_OS_TYPE_MACOS && length >= macbinary::kSize) {
      while (held.size() < macbinary::kSize && decodeMore()) {
      }
      if (held.size() >= macbinary::kSize) {
        if (auto fork = macbinary::forkLength(held.data(), macName, length, timestamp)) {
          outStart = macbinary::kSize;
          outLength = *fork;
        }
      }
    }
  }
};

Archive::Archive() : impl_(std::make_unique<Impl>()) {}
Archive::~Archive() = default;

bool Archive::open(const std::string& path) {
  impl_ = std::make_unique<Impl>();
  impl_->file = std::fopen(path.c_str(), "rbe");
  if (!impl_->file) return false;
  struct stat st {};
  if (fstat(fileno(impl_->file), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  impl_->size = static_cast<std::uint64_t>(st.st_size);
  return impl_->openReader();
}

Archive::Next Archive::next(Item& item) {
  Impl& a = *impl_;
  a.closeDecoder();
  a.started = false;
  a.held.clear();
  a.packedAt = a.packedHave = 0;
  if (!a.reader) return a.anyEntry && a.endAt(a.nextHeader) ? Next::End : Next::Broken;
  a.headerStart = a.nextHeader;
  const LHAFileHeader* h = lha_reader_next_file(a.reader);
  if (!h) {
    if (a.atEnd()) return Next::End;
    if (a.skipFailed) return Next::Broken;
    // A folder entry liblhasa does not take: our own parser reads it, and
    // liblhasa goes on after it.
    archive::Entry raw;
    if (fseeko(a.file, static_cast<off_t>(a.headerStart), SEEK_SET) != 0) return Next::Broken;
    if (archive::readHeader(a.file, raw, nullptr) != archive::ReadStatus::Ok || !raw.isDir || raw.isLink ||
        raw.packedSize != 0)
      return Next::Broken;
    a.anyEntry = true;
    a.nextHeader = raw.dataOffset;
    if (a.endAt(a.nextHeader))
      a.closeReader();
    else if (!a.restartAt(a.nextHeader))
      return Next::Broken;
    item = Item{};
    item.method = raw.method;
    item.path = raw.path;
    item.isDir = true;
    item.mtime = raw.mtime;
    item.os = raw.os;
    item.os2Attributes = raw.os2Attributes;
    a.length = 0;
    a.dataLength = 0;
    a.method = raw.method;
    return Next::Entry;
  }
  // After a restart the header must stand where we found it.
  if (a.restarted && a.pos - a.headerStart != h->raw_data_len) return Next::Broken;
  a.anyEntry = true;
  a.dataStart = a.pos;
  a.dataLength = h->compressed_length;
  a.dataRead = 0;
  a.nextHeader = a.pos + h->compressed_length;
  if (a.nextHeader > a.size) return Next::Broken;

  item = Item{};
  item.method.assign(h->compress_method, strnlen(h->compress_method, 5));
  item.length = h->length;
  item.crc = h->crc;
  item.os = static_cast<char>(h->os_type);
  item.isLink = h->symlink_target != nullptr;
  item.isDir = !item.isLink && item.method == LHA_COMPRESS_TYPE_DIR;
  char method[6] = {};
  std::memcpy(method, item.method.data(), item.method.size());
  item.decodable = lha_decoder_for_name(method) != nullptr || item.method == "-lh2-" || item.method == "-lh3-";
  a.method = item.method;
  // LHark writes its own "-lh7-" at header level 1 with the blank OS id.
  if (h->header_level == 1 && h->os_type == ' ' && item.method == "-lh7-") a.method = "-lk7-";
  a.length = h->length;
  a.crc = h->crc;
  a.os = item.os;
  a.macName = h->filename ? h->filename : "";
  a.timestamp = h->timestamp;
  a.decoded = 0;
  a.runningCrc = 0;
  a.given = 0;

  // The name and time from the raw header, read by our own parser.
  archive::Entry raw;
  bool parsed = false;
  if (h->raw_data && h->raw_data_len) {
    if (std::FILE* f = fmemopen(h->raw_data, h->raw_data_len, "rb")) {
      // liblhasa checked the header CRC and cleared its field.
      const bool crcChecked = LHA_FILE_HAVE_EXTRA(h, LHA_FILE_COMMON_CRC);
      parsed = archive::readHeader(f, raw, nullptr, !crcChecked) == archive::ReadStatus::Ok;
      std::fclose(f);
    }
  }
  if (parsed) {
    item.path = raw.path;
    item.isLink = item.isLink || raw.isLink;
    item.isDir = !item.isLink && (item.isDir || raw.isDir);
    item.os2Attributes = raw.os2Attributes;
    item.mtime = raw.mtime;
  } else {
    std::string p = h->path ? h->path : "";
    if (h->filename) p += h->filename;
    while (!p.empty() && p.back() == '/') p.pop_back();
    item.path = p;
    item.mtime = h->timestamp;
  }
  if (LHA_FILE_HAVE_EXTRA(h, LHA_FILE_WINDOWS_TIMESTAMPS) && h->win_modification_time)
    item.mtime = static_cast<std::int64_t>(h->win_modification_time / 10000000) - kWindowsEpoch;
  return Next::Entry;
}

std::size_t Archive::read(char* buffer, std::size_t size) {
  Impl& a = *impl_;
  if (!a.started) a.start();
  if (!a.decoder && !a.own) return 0;
  std::size_t out = 0;
  while (out < size && a.given < a.outLength) {
    if (a.held.empty() && !a.decodeMore()) break;
    // Where the held bytes stand in the inner stream.
    const std::uint64_t heldAt = a.decoded - a.held.size();
    std::size_t drop = 0;
    if (heldAt < a.outStart) drop = static_cast<std::size_t>(std::min<std::uint64_t>(a.outStart - heldAt, a.held.size()));
    std::size_t take = std::min<std::size_t>(a.held.size() - drop, size - out);
    take = static_cast<std::size_t>(std::min<std::uint64_t>(take, a.outLength - a.given));
    std::memcpy(buffer + out, a.held.data() + drop, take);
    a.held.erase(a.held.begin(), a.held.begin() + static_cast<std::ptrdiff_t>(drop + take));
    out += take;
    a.given += take;
  }
  if (out == 0) {
    // All given out: the rest of the stream still counts for its CRC.
    a.held.clear();
    while (a.decodeMore()) a.held.clear();
  }
  return out;
}

bool Archive::whole() const {
  const Impl& a = *impl_;
  return (a.decoder || a.own) && a.decoded == a.length && a.runningCrc == a.crc && a.given == a.outLength;
}

std::optional<std::vector<Item>> list(const std::string& path) {
  Archive a;
  if (!a.open(path)) return std::nullopt;
  std::vector<Item> items;
  for (;;) {
    Item it;
    switch (a.next(it)) {
      case Archive::Next::Entry:
        if (items.size() >= kMaxEntries) return std::nullopt;
        items.push_back(std::move(it));
        break;
      case Archive::Next::End:
        return items;
      case Archive::Next::Broken:
        return std::nullopt;
    }
  }
}

}  // namespace unlha::reader
