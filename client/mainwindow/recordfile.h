#pragma once
// Files of fixed-length records: the mail lists, the spam keywords, the
// address book and the Cc list all follow these rules.
//
//  - Records are numbered from 1; record n lies at byte (n - 1) * size.
//  - Every operation opens the file, does its work and closes it again; a
//    missing file is created empty by the first operation.
//  - The count is the number of whole records. A torn tail (an append cut
//    short by a crash, a file copied in part) is not counted and not
//    listed. Before a write or a compaction would lose it, its bytes are set
//    aside in a file of their own beside the list ("xqmdata2.data.torn",
//    ".torn2", ... never one that exists), the list is cut to its whole
//    records and the user is told where the bytes went. When they cannot be
//    set aside, the write or compaction fails and the list stays as it was.
//  - A list holds at most 32,767 records: writing a record number outside
//    1..32,767 and appending to a full list are refused. A longer list (one
//    copied in from elsewhere) can still be read, record by record to its
//    end, so that none of its mails is out of reach.
//  - Deleting writes the live flag 0 and then compacts the file: the live
//    records are written in their order into the temporary twin (the file
//    name in capitals with ".TMP", see records::twinOf), the twin is flushed
//    to disk and renamed over the list file. The list file is never missing
//    or short at any moment: a crash leaves the old list or the compacted
//    one. A list file missing beside its twin (a compaction of older days cut
//    short) is restored from the twin at the next operation.
//  - Failures (open, read, write, copy, rename) are reported: the operation
//    returns false (or 0 / -1) and errorText() tells what went wrong; the
//    list file is then left as it was.
//
// Usage:
//   records::RecordFile<records::MailRecord> f(records::kReceivedFile);
//   int n = f.count();                       // -1 on failure
//   if (!f.read(n, ReceivedMailRec)) MsgBox(f.errorText(), ...);
//   int m = f.append(SentMailRec);           // sets Live 1, LineEnd CR LF; 0 on failure
//   std::vector<records::MailRecord> all;  f.readAll(all);
//   f.remove(3);                             // Live 0 + compaction
#include "client/mainwindow/mailrecord.h"

#include <QString>

#include <sys/stat.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace records {

inline constexpr int kMaxRecords = 32767;

// The byte-level record file: everything but the conversion of a record.
class RawRecordFile {
 public:
  // programPath as the client writes it ("\★MAilData\xqmdata2.data"),
  // resolved under the program folder at every operation.
  RawRecordFile(QString programPath, std::size_t recordSize, std::size_t liveOffset);

  const QString& programPath() const { return programPath_; }
  // The real path of the list file (resolved now) and of its twin.
  QString path() const;
  QString twinPath() const;

  // Opens and closes the file: creates it when missing (restoring it from
  // its twin first when the twin exists).
  bool open();
  // Number of whole records; -1 on failure.
  int count();
  // Record n into out (recordSize bytes). False when n is outside
  // 1..count() or the file cannot be read (a list longer than 32,767
  // records is read to its end).
  bool readBytes(int n, char* out);
  // Writes record n (recordSize bytes); n in 1..32,767, a gap beyond the end
  // is filled with zero bytes. A record written live is flushed to disk
  // before the call returns (the mail check deletes a mail on the server
  // once it is stored).
  bool writeBytes(int n, const char* in);
  // Writes at count() + 1; returns the record number or 0 on failure (also
  // when the list already holds 32,767 records).
  int appendBytes(const char* in);
  // Calls each(n, bytes) for every whole record, whatever its live flag, in
  // file order (read in large blocks); reserve(count) is called first.
  bool scan(const std::function<void(int n, const char* bytes)>& each,
            const std::function<void(int count)>& reserve = nullptr);
  // Like scan(), for lists large enough to be worth it with the records
  // shared out among a few threads: each(n, bytes) is called for distinct n
  // from several threads at once, every part of the list in file order.
  // reserve(count) is called first, on this thread. whole gets the number of
  // records from the first on that were handed to each without a gap: a
  // file that became shorter meanwhile ends there; records after a failure
  // or the end may also have been handed to each.
  bool scanShared(const std::function<void(int n, const char* bytes)>& each,
                  const std::function<void(int count)>& reserve, std::size_t& whole);
  // Sets the live flag of record n alone.
  bool setLive(int n, std::int16_t live);
  // Drops every record whose live flag is 0, and a torn tail (see above).
  // A list that holds neither is left as it is.
  bool compact();
  // setLive(n, 0) then compact(). When the compaction fails the record
  // gets its old flag back.
  bool remove(int n);
  // Marks every record deleted and compacts, which leaves the list empty.
  // When a step fails every record gets its old flag back.
  bool removeAll();
  // Marks records 1..n deleted (n past the end: every record) and
  // compacts: the records after n stay, renumbered from 1. When a step
  // fails every record gets its old flag back.
  bool removeFirst(int n);

  // Told of every write that made a list longer (an append, a record
  // written past the end), with the list's real path, once the write is
  // done: a window that shows the list adds the new rows. Null by default.
  static std::function<void(const QString& realPath)>& grownNotice();

  // Where the tell-tale of a torn tail set aside goes: a message box by
  // default (replaced by the tests).
  static std::function<void(const QString& text)>& tornTailNotice();

  const QString& errorText() const { return error_; }

  // Crash testing: called at each step of a compaction with the step's name
  // ("marked", "twin-created", "twin-record", "twin-written", "twin-synced",
  // "renamed", "done"). Null by default.
  static std::function<void(const char* step)>& compactionStepHook();

 protected:
  bool fail(const QString& what, int err);
  // Resolves the list file and makes sure it exists; nativeOut (when given)
  // gets its path as native bytes, st (when given) its status.
  bool prepare(QString& realPath, std::string* nativeOut = nullptr, struct stat* st = nullptr);
  // Opens the list file for reading: its descriptor (-1 after a reported
  // failure), its real path and its number of whole records.
  int openForReading(QString& realPath, std::size_t& total);
  // The real path of the list file and its native bytes, resolved now or
  // taken from the PathMemo in force.
  std::string nativePath(QString& realPath) const;
  // A list of fileSize bytes whose last record is torn: its bytes are
  // copied into a new file beside the list, the list is cut to its whole
  // records and the user is told. False (with errorText) when the bytes
  // could not be set aside; the list is then unchanged.
  bool setTornTailAside(const std::string& list, const QString& realPath, off_t fileSize);

  QString programPath_;
  std::size_t size_;
  std::size_t liveOffset_;
  QString error_;
};

// The typed record file for one of MailRecord, SpamKeywordRecord,
// AddressRecord, CcAddressRecord.
template <class Record>
class RecordFile : public RawRecordFile {
 public:
  explicit RecordFile(QString programPath)
      : RawRecordFile(std::move(programPath), Record::kSize, Record::kLiveOffset) {}

  // Fills rec with record n (rec is left as it was on failure).
  bool read(int n, Record& rec) {
    std::string buf(Record::kSize, '\0');
    if (!readBytes(n, buf.data())) return false;
    rec.fromBytes(buf.data());
    return true;
  }
  // Writes rec as record n, as it stands.
  bool write(int n, const Record& rec) {
    std::string buf(Record::kSize, '\0');
    rec.toBytes(buf.data());
    return writeBytes(n, buf.data());
  }
  // Sets rec.Live = 1 and rec.LineEnd = CR LF (where the record has one)
  // and writes it at count() + 1. Returns the record number, 0 on failure.
  int append(Record& rec) {
    rec.Live = 1;
    if constexpr (requires { rec.LineEnd; }) rec.LineEnd = kCrLf;
    std::string buf(Record::kSize, '\0');
    rec.toBytes(buf.data());
    return appendBytes(buf.data());
  }
  // Every whole record, whatever its live flag, in file order (record n is
  // out[n - 1]). The records out held before are read into again (their
  // texts' storage used once more where it fits).
  bool readAll(std::vector<Record>& out) {
    std::size_t whole = 0;
    const bool ok = scanShared([&](int n, const char* bytes) { out[static_cast<std::size_t>(n) - 1].fromBytes(bytes); },
                               [&](int n) { out.resize(static_cast<std::size_t>(n)); }, whole);
    out.resize(std::min(whole, out.size()));
    return ok;
  }
};

// Live writes flushed later, all at once: while a FlushBatch is alive,
// writeBytes leaves the flush to disk of the files it writes to commit()
// (the mail check flushes the mails it stored once, before the server
// deletes them at the end of its session). Batches do not nest: an inner one
// does nothing. What is still pending is flushed when the batch goes away.
class FlushBatch {
 public:
  FlushBatch();
  ~FlushBatch();
  FlushBatch(const FlushBatch&) = delete;
  FlushBatch& operator=(const FlushBatch&) = delete;
  // Flushes every file written since the batch began (or the last commit);
  // false when one could not be flushed (errorText() tells which). The
  // files' write-out is started for many at once, then they are waited for
  // together. With between, the waiting is done on a thread of its own and
  // between() has its turns meanwhile (at once, then every few
  // milliseconds: the window's events). What is written meanwhile waits for
  // the next commit. While the batch lives, the write-out of the files
  // deferred to it is begun every few milliseconds, so that commit() finds
  // most of it done.
  bool commit(const std::function<void()>& between = {});
  const QString& errorText() const { return error_; }
  // Called by writeBytes: true when the batch takes over the flush of path
  // (a file or a folder).
  static bool defer(const std::string& path);
  // Whether a batch is in force.
  static bool active();

 private:
  struct EarlyWriteOut;  // begins the write-out of what is pending
  bool active_ = false;
  std::set<std::string> pending_;
  QString error_;
  std::unique_ptr<EarlyWriteOut> early_;
};

// List paths resolved once: while a PathMemo is alive, each record file's
// real path is resolved at its first operation and remembered (the mail
// check stores many mails into the same list). A remembered path whose file
// is gone is resolved afresh. Memos do not nest: an inner one does nothing.
class PathMemo {
 public:
  PathMemo();
  ~PathMemo();
  PathMemo(const PathMemo&) = delete;
  PathMemo& operator=(const PathMemo&) = delete;

  struct Entry {
    QString real;
    std::string native;
  };
  // The remembered entry of programPath (under the current program folder),
  // nullptr when no memo is in force or the path is not remembered yet.
  static const Entry* find(const QString& programPath);
  static void remember(const QString& programPath, const QString& real, std::string native);
  static void forget(const QString& programPath);

 private:
  bool active_ = false;
  std::vector<std::pair<QString, Entry>> entries_;
};

using MailFile = RecordFile<MailRecord>;
using SpamKeywordFile = RecordFile<SpamKeywordRecord>;
using AddressFile = RecordFile<AddressRecord>;
using CcAddressFile = RecordFile<CcAddressRecord>;

}  // namespace records
