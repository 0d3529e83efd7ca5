#include "turns.h"

#include <unistd.h>

#include "net.h"

// GObject types of their own: GMime reads and writes through a stream's
// class functions, so a subclass whose read and write look at the clock
// first is where the turns can be had without changing what is read.
struct NmailTurnMem {
  GMimeStreamMem parent;
};
struct NmailTurnMemClass {
  GMimeStreamMemClass parent_class;
};
G_DEFINE_TYPE(NmailTurnMem, nmail_turn_mem, GMIME_TYPE_STREAM_MEM)

static ssize_t turnMemRead(GMimeStream* stream, char* buf, size_t len) {
  nmail::net::yieldIfDue();
  return GMIME_STREAM_CLASS(nmail_turn_mem_parent_class)->read(stream, buf, len);
}
static void nmail_turn_mem_class_init(NmailTurnMemClass* k) { GMIME_STREAM_CLASS(k)->read = turnMemRead; }
static void nmail_turn_mem_init(NmailTurnMem*) {}

struct NmailTurnFs {
  GMimeStreamFs parent;
};
struct NmailTurnFsClass {
  GMimeStreamFsClass parent_class;
};
G_DEFINE_TYPE(NmailTurnFs, nmail_turn_fs, GMIME_TYPE_STREAM_FS)

static ssize_t turnFsWrite(GMimeStream* stream, const char* buf, size_t len) {
  nmail::net::yieldIfDue();
  return GMIME_STREAM_CLASS(nmail_turn_fs_parent_class)->write(stream, buf, len);
}
static void nmail_turn_fs_class_init(NmailTurnFsClass* k) { GMIME_STREAM_CLASS(k)->write = turnFsWrite; }
static void nmail_turn_fs_init(NmailTurnFs*) {}

namespace nmail::turns {

GMimeStream* memStream(GByteArray* arr) {
  auto* mem = static_cast<GMimeStreamMem*>(g_object_new(nmail_turn_mem_get_type(), nullptr));
  g_mime_stream_construct(GMIME_STREAM(mem), 0, -1);
  mem->buffer = arr;
  mem->owner = FALSE;
  return GMIME_STREAM(mem);
}

GMimeStream* fileStream(int fd) {
  auto* fs = static_cast<GMimeStreamFs*>(g_object_new(nmail_turn_fs_get_type(), nullptr));
  const gint64 start = lseek(fd, 0, SEEK_CUR);
  g_mime_stream_construct(GMIME_STREAM(fs), start, -1);
  fs->owner = FALSE;
  fs->eos = FALSE;
  fs->fd = fd;
  return GMIME_STREAM(fs);
}

}  // namespace nmail::turns
