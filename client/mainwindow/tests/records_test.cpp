// Record layouts, the record-file rules and storing a fetched mail.
#include <gtest/gtest.h>

#include <QDir>
#include <QRegularExpression>
#include <QFile>
#include <QTemporaryDir>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <functional>
#include <string>
#include <vector>

#include "client/mainwindow/globals.h"
#include "client/mainwindow/mailrecord.h"
#include "client/mainwindow/recordfile.h"
#include "client/mainwindow/savemail.h"
#include "platform/codepage.h"
#include "platform/paths.h"
#include "platform/vbstring.h"

using namespace records;

namespace {

// A program folder of its own with an empty data folder.
class RecordFolder : public ::testing::Test {
 protected:
  QTemporaryDir tmp;
  QString data;
  RecordBufferSource viewerSource;  // the one installed by the viewer, put back afterwards
  void SetUp() override {
    viewerSource = recordBufferSource();
    ASSERT_TRUE(tmp.isValid());
    paths::setProgramFolder(tmp.path());
    QDir(tmp.path()).mkpath(QStringLiteral("★MailData"));
    data = tmp.path() + QStringLiteral("/★MailData/");
  }
  void TearDown() override {
    paths::setProgramFolder(QString());
    setRecordBufferSource(viewerSource);
  }
  std::string fileBytes(const QString& name) {
    QFile f(data + name);
    if (!f.open(QIODevice::ReadOnly)) return "<missing>";
    return f.readAll().toStdString();
  }
  void putBytes(const QString& name, const std::string& b) {
    QFile f(data + name);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(b.data(), static_cast<qint64>(b.size()));
  }
  bool exists(const QString& name) { return QFile::exists(data + name); }
};

template <class R>
std::string bytesOf(const R& r) {
  std::string b(R::kSize, '\0');
  r.toBytes(b.data());
  return b;
}

std::string pad(const std::string& s, std::size_t width) { return s + std::string(width - s.size(), ' '); }

MailRecord mail(const QString& subject, std::int16_t live = 1) {
  MailRecord r;
  r.Subject = subject;
  r.MailDate = QStringLiteral("Mon, 1 Jan 2024 10:00:00 +0900");
  r.FromTo = QStringLiteral("someone@example.jp");
  r.Body = QStringLiteral("本文 ") + subject;
  r.LineEnd = kCrLf;
  r.Live = live;
  return r;
}

std::vector<QString> subjects(MailFile& f) {
  std::vector<MailRecord> all;
  EXPECT_TRUE(f.readAll(all)) << f.errorText().toStdString();
  std::vector<QString> s;
  for (const MailRecord& r : all) s.push_back(r.Subject);
  return s;
}

// ---------------------------------------------------------------------------
// Layouts

TEST(RecordLayout, MailRecordFieldsLieAtTheirOffsets) {
  MailRecord r;
  r.Subject = QStringLiteral("件名");
  r.MailDate = QStringLiteral("2024/01/02  3:04:05");
  r.FromTo = QStringLiteral("a@b.jp");
  r.Body = QStringLiteral("line1\r\nline2");
  r.LineEnd = kCrLf;
  r.Live = 1;
  const std::string b = bytesOf(r);
  ASSERT_EQ(b.size(), 32284u);
  EXPECT_EQ(b.substr(0, 100), pad(cp932::encode(QStringLiteral("件名")), 100));
  EXPECT_EQ(b.substr(100, 90), pad("2024/01/02  3:04:05", 90));
  EXPECT_EQ(b.substr(190, 90), pad("a@b.jp", 90));
  EXPECT_EQ(b.substr(280, 32000), pad("line1\r\nline2", 32000));
  EXPECT_EQ(b.substr(32280, 2), "\r\n");
  EXPECT_EQ(b.substr(32282, 2), std::string("\x01\x00", 2));
}

TEST(RecordLayout, SmallRecordsFieldsLieAtTheirOffsets) {
  SpamKeywordRecord k;
  k.Keyword = QStringLiteral("未承諾広告");
  k.Live = 1;
  std::string b = bytesOf(k);
  ASSERT_EQ(b.size(), 204u);
  EXPECT_EQ(b.substr(0, 2), "\r\n");
  EXPECT_EQ(b.substr(2, 2), std::string("\x01\x00", 2));
  EXPECT_EQ(b.substr(4), pad(cp932::encode(QStringLiteral("未承諾広告")), 200));

  AddressRecord a;
  a.Name = QStringLiteral("山田");
  a.Address = QStringLiteral("yamada@example.jp");
  a.Live = 1;
  b = bytesOf(a);
  ASSERT_EQ(b.size(), 184u);
  EXPECT_EQ(b.substr(0, 90), pad(cp932::encode(QStringLiteral("山田")), 90));
  EXPECT_EQ(b.substr(90, 2), "\r\n");
  EXPECT_EQ(b.substr(92, 2), std::string("\x01\x00", 2));
  EXPECT_EQ(b.substr(94), pad("yamada@example.jp", 90));

  CcAddressRecord c;
  c.Address = QStringLiteral("cc@example.jp");
  c.Live = 1;
  b = bytesOf(c);
  ASSERT_EQ(b.size(), 92u);
  EXPECT_EQ(b.substr(0, 2), std::string("\x01\x00", 2));
  EXPECT_EQ(b.substr(2), pad("cc@example.jp", 90));
}

TEST(RecordLayout, LiveFlagIsSignedLittleEndian) {
  for (std::int16_t v : {std::int16_t(0), std::int16_t(1), std::int16_t(-1), std::int16_t(0x0102)}) {
    CcAddressRecord c;
    c.Live = v;
    const std::string b = bytesOf(c);
    EXPECT_EQ(static_cast<unsigned char>(b[0]), static_cast<std::uint16_t>(v) & 0xFF);
    EXPECT_EQ(static_cast<unsigned char>(b[1]), static_cast<std::uint16_t>(v) >> 8);
    CcAddressRecord back;
    back.fromBytes(b.data());
    EXPECT_EQ(back.Live, v);
  }
}

TEST(RecordLayout, ReadingTakesTheFieldsBackWithoutPadding) {
  MailRecord r = mail(QStringLiteral("　全角の空白で囲む　"));
  MailRecord back;
  back.fromBytes(bytesOf(r).data());
  EXPECT_EQ(back.Subject, r.Subject.text());
  EXPECT_EQ(back.MailDate, r.MailDate.text());
  EXPECT_EQ(back.FromTo, r.FromTo.text());
  EXPECT_EQ(back.Body, r.Body.text());
  EXPECT_EQ(back.LineEnd, kCrLf);
  EXPECT_EQ(back.Live, 1);
  // Trim removes U+0020 only: the full-width blanks stay.
  EXPECT_EQ(vb::Trim(back.Subject), QStringLiteral("　全角の空白で囲む　"));
  EXPECT_EQ(back.Subject.padded().size(), 100);
}

TEST(RecordLayout, TextIsCutToTheField) {
  const QString dbcs60 = QString(60, QChar(0x3042));  // "あ" x 60
  struct Case {
    QString text;
    std::string expected;  // the 100-byte subject field
  } cases[] = {
      {QString(120, u'x'), std::string(100, 'x')},
      {dbcs60, cp932::encode(QString(50, QChar(0x3042)))},
      // 99 single-byte characters and a double-byte one: the split character is dropped.
      {QString(99, u'y') + QChar(0x3042), std::string(99, 'y') + " "},
      {QString(98, u'y') + QChar(0x3042), std::string(98, 'y') + cp932::encode(QString(QChar(0x3042)))},
      {QString(), std::string(100, ' ')},
  };
  for (const Case& c : cases) {
    MailRecord r;
    r.Subject = c.text;
    EXPECT_LE(r.Subject.text().size(), 100);
    EXPECT_EQ(bytesOf(r).substr(0, 100), c.expected) << c.text.toStdString();
  }
  // The address fields: exactly 90 bytes fill the field without a blank.
  AddressRecord a;
  a.Name = QString(45, QChar(0x5C71));  // "山" x 45 = 90 bytes
  a.Address = QString(95, u'z');
  const std::string b = bytesOf(a);
  EXPECT_EQ(b.substr(0, 90), cp932::encode(QString(45, QChar(0x5C71))));
  EXPECT_EQ(b.substr(94, 90), std::string(90, 'z'));
  // A character CP932 cannot hold becomes "?".
  CcAddressRecord c;
  c.Address = QStringLiteral("a\U0001F600b");
  EXPECT_EQ(bytesOf(c).substr(2, 3), "a?b");
}

TEST(RecordLayout, FieldDecodingMatchesTheCodePage) {
  // Every byte pair (and every byte alone and before a blank) decodes as
  // the code page does, bad bytes included.
  for (int a = 0; a < 256; ++a) {
    for (int b = 0; b < 256; ++b) {
      const char two[2] = {static_cast<char>(a), static_cast<char>(b)};
      ASSERT_EQ(decodeField(std::string_view(two, 2)), cp932::decode(std::string_view(two, 2))) << a << " " << b;
    }
    const char one[3] = {static_cast<char>(a), 'x', static_cast<char>(a)};
    ASSERT_EQ(decodeField(std::string_view(one, 1)), cp932::decode(std::string_view(one, 1))) << a;
    ASSERT_EQ(decodeField(std::string_view(one, 3)), cp932::decode(std::string_view(one, 3))) << a;
  }
  const std::string mixed = cp932::encode(QStringLiteral("ｱｲｳ全角ABC①㈱髙")) + "\x81\xff\x82";
  EXPECT_EQ(decodeField(mixed), cp932::decode(mixed));
  // Long single-byte runs (decoded sixteen at a time) between other bytes.
  std::string runs;
  for (int b = 0; b < 128; ++b) runs += static_cast<char>(b);
  runs += cp932::encode(QStringLiteral("漢字")) + runs + "\xa1" + runs.substr(5, 40) + "\x81";
  EXPECT_EQ(decodeField(runs), cp932::decode(runs));
}

TEST(RecordLayout, ABlankRecordIsAValidRecord) {
  AddressRecord a;
  a.Live = 1;
  AddressRecord back;
  back.fromBytes(bytesOf(a).data());
  EXPECT_EQ(back.Name, QString());
  EXPECT_EQ(back.Address, QString());
  EXPECT_EQ(back.Live, 1);
}

TEST(RecordLayout, ListFileTable) {
  struct Row {
    int kind;
    QString file;
    QString twin;
    MailRecord* buffer;
  } rows[] = {
      {1, "\\★MAilData\\xqmdata2.data", "\\★MAilData\\XQMDATA2.TMP", &ReceivedMailRec},
      {2, "\\★MAilData\\xqmdata5.data", "\\★MAilData\\XQMDATA5.TMP", &SentMailRec},
      {3, "\\★MAilData\\xqmdata6.data", "\\★MAilData\\XQMDATA6.TMP", &GoldSafeRec},
      {4, "\\★MAilData\\xqmdata7.data", "\\★MAilData\\XQMDATA7.TMP", &SilverSafeRec},
      {5, "\\★MAilData\\xqmdata8.data", "\\★MAilData\\XQMDATA8.TMP", &BronzeSafeRec},
      {6, "\\★MAilData\\xqmdata80.data", "\\★MAilData\\XQMDATA80.TMP", &VipMailRec},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(mailListFile(r.kind), r.file);
    EXPECT_EQ(twinOf(r.file), r.twin);
    EXPECT_EQ(mailListBuffer(r.kind), r.buffer);
  }
  for (int kind : {0, 7, 10, 1000}) {
    EXPECT_EQ(mailListFile(kind), QString());
    EXPECT_EQ(mailListBuffer(kind), nullptr);
  }
  EXPECT_EQ(twinOf(kHeldMailFile), u"\\★MAilData\\XQMDATA10.TMP");
  EXPECT_EQ(twinOf(kHeldReplyFile), u"\\★MAilData\\XQMDATA11.TMP");
  EXPECT_EQ(twinOf(kAddressBookFile), u"\\★MAilData\\XQMDATA20.TMP");
  EXPECT_EQ(twinOf(kCcListFile), u"\\★MAilData\\XQMDATA100.TMP");
  EXPECT_EQ(twinOf(kSpamKeywordFile), u"\\★MAilData\\XQMDATA50.TMP");
}

// ---------------------------------------------------------------------------
// The record-file rules

TEST_F(RecordFolder, AppendToAMissingFileCreatesItAndWritesRecordOne) {
  MailFile f(kSentFile);
  MailRecord r = mail(QStringLiteral("first"), 0);
  r.LineEnd = QStringLiteral("  ");
  EXPECT_EQ(f.append(r), 1);
  EXPECT_EQ(r.Live, 1);
  EXPECT_EQ(r.LineEnd, kCrLf);
  EXPECT_EQ(fileBytes("xqmdata5.data").size(), 32284u);
  EXPECT_EQ(f.count(), 1);
  EXPECT_EQ(f.append(r), 2);
  MailRecord back;
  ASSERT_TRUE(f.read(2, back));
  EXPECT_EQ(back.Subject, u"first");
  EXPECT_FALSE(f.read(3, back));
  EXPECT_FALSE(f.errorText().isEmpty());
}

TEST_F(RecordFolder, CountingCreatesAnEmptyFile) {
  MailFile f(kReceivedFile);
  EXPECT_EQ(f.count(), 0);
  EXPECT_EQ(fileBytes("xqmdata2.data"), "");
}

TEST_F(RecordFolder, ListFilesResolveWithoutRegardToCase) {
  putBytes("XQMDATA2.DATA", bytesOf(mail("upper")));
  MailFile f(kReceivedFile);
  EXPECT_EQ(f.count(), 1);
  EXPECT_EQ(subjects(f), std::vector<QString>{"upper"});
  EXPECT_FALSE(exists("xqmdata2.data"));
  // "Xqmdata50.data" and "xqmdata50.data" name one file.
  SpamKeywordRecord k;
  k.Keyword = QStringLiteral("spam");
  EXPECT_EQ(SpamKeywordFile("\\★MAilData\\xqmdata50.data").append(k), 1);
  EXPECT_EQ(SpamKeywordFile(kSpamKeywordFile).count(), 1);
}

TEST_F(RecordFolder, ReadAllListsEveryRecordWhateverItsLiveFlag) {
  MailFile f(kGoldSafeFile);
  for (auto [s, live] : {std::pair{"a", 1}, {"b", 0}, {"c", 1}}) {
    MailRecord r = mail(s, static_cast<std::int16_t>(live));
    ASSERT_TRUE(f.write(f.count() + 1, r));
  }
  std::vector<MailRecord> all;
  ASSERT_TRUE(f.readAll(all));
  ASSERT_EQ(all.size(), 3u);
  EXPECT_EQ(all[1].Subject, u"b");
  EXPECT_EQ(all[1].Live, 0);
}

TEST_F(RecordFolder, TornTailIsNotCountedAndSetAsideBeforeAnAppendOrACompaction) {
  std::vector<QString> told;
  auto& notice = RawRecordFile::tornTailNotice();
  const auto shown = notice;
  notice = [&](const QString& text) { told.push_back(text); };
  const std::string torn(1000, 'J');
  putBytes("xqmdata2.data", bytesOf(mail("one")) + bytesOf(mail("two")) + torn);
  MailFile f(kReceivedFile);
  EXPECT_EQ(f.count(), 2);
  EXPECT_EQ(subjects(f), (std::vector<QString>{"one", "two"}));
  EXPECT_TRUE(told.empty());  // reading loses nothing: nothing is moved
  MailRecord r = mail("three");
  EXPECT_EQ(f.append(r), 3);
  EXPECT_EQ(fileBytes("xqmdata2.data"), bytesOf(mail("one")) + bytesOf(mail("two")) + bytesOf(r));
  EXPECT_EQ(subjects(f), (std::vector<QString>{"one", "two", "three"}));
  // The torn bytes are kept beside the list, and the user is told where.
  EXPECT_EQ(fileBytes("xqmdata2.data.torn"), torn);
  ASSERT_EQ(told.size(), 1u);
  EXPECT_TRUE(told[0].contains(QStringLiteral("xqmdata2.data.torn"))) << told[0].toStdString();
  EXPECT_TRUE(told[0].contains(QStringLiteral("1000 バイト"))) << told[0].toStdString();

  // A compaction and a write of a record past the end keep them too, each
  // in a file of its own: the bytes set aside before stay as they were.
  struct Case {
    const char* what;
    std::function<bool(MailFile&)> run;
    std::string after;
  };
  const std::vector<Case> cases = {
      {"compaction", [](MailFile& m) { return m.compact(); }, bytesOf(mail("one"))},
      {"write of record 2", [](MailFile& m) { MailRecord x = mail("x"); return m.write(2, x); },
       bytesOf(mail("one")) + bytesOf(mail("x"))},
      {"delete", [](MailFile& m) { return m.remove(1); }, std::string()},
  };
  int k = 2;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    told.clear();
    const std::string tail = std::string(500, 'K') + c.what;
    putBytes("xqmdata2.data", bytesOf(mail("one")) + tail);
    ASSERT_TRUE(c.run(f)) << f.errorText().toStdString();
    EXPECT_EQ(fileBytes("xqmdata2.data"), c.after);
    const QString aside = QStringLiteral("xqmdata2.data.torn%1").arg(k++);
    EXPECT_EQ(fileBytes(aside), tail);
    ASSERT_EQ(told.size(), 1u);
    EXPECT_TRUE(told[0].contains(aside)) << told[0].toStdString();
  }
  EXPECT_EQ(fileBytes("xqmdata2.data.torn"), torn);
  notice = shown;
}

TEST_F(RecordFolder, ListHoldsAtMost32767Records) {
  // A sparse file of 32,767 records.
  const QString p = data + "xqmdata80.data";
  {
    QFile f(p);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_TRUE(f.resize(32767LL * 32284));
  }
  MailFile f(kVipFile);
  EXPECT_EQ(f.count(), 32767);
  MailRecord r = mail("overflow");
  EXPECT_EQ(f.append(r), 0);
  EXPECT_FALSE(f.errorText().isEmpty());
  EXPECT_FALSE(f.write(32768, r));
  EXPECT_FALSE(f.write(0, r));
  EXPECT_EQ(QFileInfo(p).size(), 32767LL * 32284);
  EXPECT_TRUE(f.write(32767, r));  // the last record can still be written
  EXPECT_EQ(QFileInfo(p).size(), 32767LL * 32284);
}

TEST_F(RecordFolder, WriteBeyondTheEndLeavesZeroRecordsInBetween) {
  MailFile f(kHeldMailFile);
  MailRecord r = mail("third");
  ASSERT_TRUE(f.write(3, r));
  EXPECT_EQ(f.count(), 3);
  MailRecord gap;
  ASSERT_TRUE(f.read(1, gap));
  EXPECT_EQ(gap.Live, 0);
}

TEST_F(RecordFolder, CompactionCases) {
  struct Case {
    const char* name;
    std::vector<std::pair<const char*, int>> records;  // subject, live
    int remove;
    std::vector<QString> left;
    bool leftoverTwin;
  } cases[] = {
      {"only record", {{"a", 1}}, 1, {}, false},
      {"middle record", {{"a", 1}, {"b", 1}, {"c", 1}}, 2, {"a", "c"}, false},
      {"already dead record", {{"a", 1}, {"b", 0}, {"c", 1}}, 3, {"a"}, false},
      {"row 3 of 5", {{"a", 1}, {"b", 1}, {"c", 1}, {"d", 1}, {"e", 1}}, 3, {"a", "b", "d", "e"}, false},
      {"leftover twin", {{"a", 1}, {"b", 1}}, 1, {"b"}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QFile::remove(data + "xqmdata2.data");
    std::string all;
    for (auto [s, live] : c.records) all += bytesOf(mail(s, static_cast<std::int16_t>(live)));
    putBytes("xqmdata2.data", all);
    if (c.leftoverTwin) putBytes("XQMDATA2.TMP", "stale twin");
    MailFile f(kReceivedFile);
    ASSERT_TRUE(f.remove(c.remove)) << f.errorText().toStdString();
    EXPECT_EQ(subjects(f), c.left);
    EXPECT_EQ(fileBytes("xqmdata2.data").size(), c.left.size() * 32284u);
    EXPECT_FALSE(exists("XQMDATA2.TMP"));
    std::vector<MailRecord> recs;
    ASSERT_TRUE(f.readAll(recs));
    for (const MailRecord& r : recs) EXPECT_EQ(r.Live, 1);
  }
}

TEST_F(RecordFolder, CompactionKeepsTheBytesAndTheMode) {
  std::string a = bytesOf(mail("a")), b = bytesOf(mail("b")), c = bytesOf(mail("c"));
  putBytes("xqmdata6.data", a + b + c);
  const QString p = data + "xqmdata6.data";
  ::chmod(QFile::encodeName(p).constData(), 0600);
  MailFile f(kGoldSafeFile);
  ASSERT_TRUE(f.remove(2));
  EXPECT_EQ(fileBytes("xqmdata6.data"), a + c);
  struct stat st;
  ASSERT_EQ(::stat(QFile::encodeName(p).constData(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
}

TEST_F(RecordFolder, MissingListIsRestoredFromItsTwin) {
  putBytes("XQMDATA5.TMP", bytesOf(mail("kept")));
  MailFile f(kSentFile);
  EXPECT_EQ(f.count(), 1);
  EXPECT_EQ(subjects(f), std::vector<QString>{"kept"});
  EXPECT_FALSE(exists("XQMDATA5.TMP"));
}

TEST_F(RecordFolder, SmallRecordFilesCompactToo) {
  CcAddressFile f(kCcListFile);
  for (const char* a : {"x@a", "y@a", "z@a"}) {
    CcAddressRecord r;
    r.Address = QString::fromLatin1(a);
    ASSERT_GT(f.append(r), 0);
  }
  ASSERT_TRUE(f.remove(1));
  std::vector<CcAddressRecord> all;
  ASSERT_TRUE(f.readAll(all));
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(all[0].Address, u"y@a");
  EXPECT_EQ(all[1].Address, u"z@a");
  EXPECT_FALSE(exists("XQMDATA100.TMP"));
}

TEST_F(RecordFolder, FailuresAreReportedAndLeaveTheListAsItWas) {
  // Missing data folder.
  QDir(data).removeRecursively();
  MailFile f(kReceivedFile);
  EXPECT_EQ(f.count(), -1);
  EXPECT_FALSE(f.errorText().isEmpty());
  // The reason in the user's words, not the C library's English.
  const QRegularExpression english(QStringLiteral("\\([A-Za-z ]+\\)"));
  EXPECT_FALSE(f.errorText().contains(english)) << f.errorText().toStdString();
  MailRecord r = mail("x");
  EXPECT_EQ(f.append(r), 0);
  std::vector<MailRecord> all;
  EXPECT_FALSE(f.readAll(all));

  // A twin that cannot be created (a folder in its place): the delete fails
  // and the record keeps its live flag.
  QDir(tmp.path()).mkpath(QStringLiteral("★MailData/XQMDATA2.TMP"));
  const std::string before = bytesOf(mail("a")) + bytesOf(mail("b"));
  putBytes("xqmdata2.data", before);
  EXPECT_FALSE(f.remove(1));
  EXPECT_FALSE(f.errorText().isEmpty());
  EXPECT_FALSE(f.errorText().contains(english)) << f.errorText().toStdString();
  EXPECT_EQ(fileBytes("xqmdata2.data"), before);
  EXPECT_FALSE(f.remove(5));
  EXPECT_EQ(fileBytes("xqmdata2.data"), before);
}

TEST_F(RecordFolder, CompactionThatRunsOutOfRoomLeavesTheListAsItWas) {
  // A file size limit stands in for a full disk: the twin cannot take the
  // two records that stay.
  const std::string before = bytesOf(mail("a")) + bytesOf(mail("b")) + bytesOf(mail("c"));
  putBytes("xqmdata2.data", before);
  MailFile f(kReceivedFile);
  struct rlimit old;
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  auto* oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = old;
  small.rlim_cur = 50000;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool ok = f.remove(1);
  ::setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_FALSE(ok);
  EXPECT_FALSE(f.errorText().isEmpty());
  EXPECT_EQ(fileBytes("xqmdata2.data"), before);
  EXPECT_FALSE(exists("XQMDATA2.TMP"));
  EXPECT_EQ(f.count(), 3);

  // An append cut short the same way leaves no torn tail behind.
  const std::string one = bytesOf(mail("a"));
  putBytes("xqmdata2.data", one);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  std::signal(SIGXFSZ, SIG_IGN);
  MailRecord r = mail("d");
  const int n = f.append(r);
  ::setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_EQ(n, 0);
  EXPECT_EQ(fileBytes("xqmdata2.data"), one);
}

// ---------------------------------------------------------------------------
// Storing a fetched mail

TEST_F(RecordFolder, SaveReceivedAndVipMailTakeTheViewerBoxes) {
  QString err;
  setRecordBufferSource(nullptr);
  EXPECT_FALSE(SaveReceivedMail(1, &err));  // no viewer to take the boxes from
  EXPECT_FALSE(err.isEmpty());
  EXPECT_FALSE(exists("xqmdata2.data"));

  setRecordBufferSource([] {
    return ViewerBoxes{QStringLiteral("  件名  "), QStringLiteral(" from@example.jp "),
                       QStringLiteral(" Tue, 2 Jan 2024 "), QStringLiteral("  本文\r\n二行目  ")};
  });
  ASSERT_TRUE(SaveReceivedMail(1));
  EXPECT_EQ(ReceivedMailRec.Subject, u"件名");
  EXPECT_EQ(ReceivedMailRec.Live, 1);
  MailRecord back;
  ASSERT_TRUE(MailFile(kReceivedFile).read(1, back));
  EXPECT_EQ(back.Subject, u"件名");
  EXPECT_EQ(back.FromTo, u"from@example.jp");
  EXPECT_EQ(back.MailDate, u"Tue, 2 Jan 2024");
  EXPECT_EQ(back.Body, u"本文\r\n二行目");
  EXPECT_EQ(back.Live, 1);
  EXPECT_EQ(back.LineEnd, kCrLf);

  ASSERT_TRUE(SaveVipMail(1));
  ASSERT_TRUE(SaveVipMail(2));
  EXPECT_EQ(MailFile(kVipFile).count(), 2);
  EXPECT_EQ(MailFile(kReceivedFile).count(), 1);
  EXPECT_FALSE(SaveVipMail(0, &err));
}

}  // namespace
