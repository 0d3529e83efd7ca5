#pragma once
// The window's turns during the long work on one mail (reading a large
// mail's MIME tree, writing a large file out of it): GMime's streams that
// hand the yield hook its turn as the data passes through them, so that a
// caller's window keeps answering while a mail of hundreds of megabytes is
// read, at no cost a small mail would notice (a look at the clock per
// piece read or written). Everything stays on the caller's thread.
#include <gmime/gmime.h>

namespace nmail::turns {

// A memory stream over arr (not owned: the bytes stay the caller's) whose
// reads give the hook its turns. Its substreams are plain memory streams
// over the same bytes, as those of g_mime_stream_mem_new_with_byte_array.
GMimeStream* memStream(GByteArray* arr);
// A stream over the file descriptor fd (not owned) whose writes give the
// hook its turns.
GMimeStream* fileStream(int fd);

}  // namespace nmail::turns
