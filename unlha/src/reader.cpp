#include "reader.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstring>

extern "C" {
#include <lhasa.h>
}

#include "archive.h"

namespace unlha::reader {

namespace {

constexpr std::size_t kMaxEntries = 1000000;

// Windows file times count 100 ns steps from 1601.
constexpr std::int64_t kWindowsEpoch = 11644473600;

}  // namespace

struct Archive::Impl {
  std::FILE* file = nullptr;
  std::uint64_t size = 0;
  std::uint64_t pos = 0;
  std::uint64_t nextHeader = 0;  // where the header after the current entry starts
  bool skipFailed = false;
  bool anyEntry = false;
  LHAInputStream* stream = nullptr;
  LHAReader* reader = nullptr;

  ~Impl() {
    if (reader) lha_reader_free(reader);
    if (stream) lha_input_stream_free(stream);
    if (file) std::fclose(file);
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

  // Whether the reader stopped at the end of the archive: at the end of the
  // file or at the end mark (a zero byte where a header would start).
  // An archive without entries is the end mark alone; an empty file, or a
  // zero byte with more behind it, is none.
  bool atEnd() const {
    if (skipFailed) return false;
    if (!anyEntry && size != 1) return false;
    if (nextHeader >= size) return true;
    unsigned char b = 1;
    return ::pread(fileno(file), &b, 1, static_cast<off_t>(nextHeader)) == 1 && b == 0;
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
  static const LHAInputStreamType kType = {&Impl::read, &Impl::skip, &Impl::close};
  impl_->stream = lha_input_stream_new(&kType, impl_.get());
  if (!impl_->stream) return false;
  impl_->reader = lha_reader_new(impl_->stream);
  if (!impl_->reader) return false;
  lha_reader_set_dir_policy(impl_->reader, LHA_READER_DIR_PLAIN);
  return true;
}

Archive::Next Archive::next(Item& item) {
  if (!impl_->reader) return Next::Broken;
  const LHAFileHeader* h = lha_reader_next_file(impl_->reader);
  if (!h) return impl_->atEnd() ? Next::End : Next::Broken;
  impl_->anyEntry = true;
  impl_->nextHeader = impl_->pos + h->compressed_length;
  if (impl_->nextHeader > impl_->size) return Next::Broken;

  item = Item{};
  item.method.assign(h->compress_method, strnlen(h->compress_method, 5));
  item.length = h->length;
  item.crc = h->crc;
  item.isLink = h->symlink_target != nullptr;
  item.isDir = !item.isLink && item.method == LHA_COMPRESS_TYPE_DIR;
  char method[6] = {};
  std::memcpy(method, item.method.data(), item.method.size());
  item.decodable = lha_decoder_for_name(method) != nullptr;

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
  if (!impl_->reader) return 0;
  return lha_reader_read(impl_->reader, buffer, size);
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
