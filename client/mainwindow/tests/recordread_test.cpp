// Reading whole lists (large ones in several parts at once, into records
// that held other mails before) and list paths remembered for a session.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <fcntl.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "client/mainwindow/mailrecord.h"
#include "client/mainwindow/recordfile.h"
#include "platform/paths.h"

using namespace records;

namespace {

class RecordRead : public ::testing::Test {
 protected:
  QTemporaryDir tmp;
  QString list;
  void SetUp() override {
    ASSERT_TRUE(tmp.isValid());
    paths::setProgramFolder(tmp.path());
    QDir(tmp.path()).mkpath(QStringLiteral("★MailData"));
    list = tmp.path() + QStringLiteral("/★MailData/xqmdata2.data");
  }
  void TearDown() override { paths::setProgramFolder(QString()); }

  static MailRecord mail(int i) {
    MailRecord r;
    r.Subject = QStringLiteral("件名 %1 ｱｲｳ Re:").arg(i);
    r.MailDate = QStringLiteral("Mon, 1 Jan 2024 10:%1:00 +0900").arg(i % 60);
    r.FromTo = QStringLiteral("送信者%1 <s%1@example.jp>").arg(i);
    r.Body = QStringLiteral("本文です。line %1\r\n").arg(i).repeated(1 + i % 300);
    r.LineEnd = kCrLf;
    r.Live = static_cast<std::int16_t>(i % 3 == 0 ? 0 : 1);
    return r;
  }
  // Writes records 1..n as mail(1)..mail(n), plus extra bytes of a torn tail.
  void writeList(int n, std::size_t tail = 0) const {
    std::string image(static_cast<std::size_t>(n) * MailRecord::kSize + tail, 'x');
    for (int i = 1; i <= n; ++i) mail(i).toBytes(image.data() + static_cast<std::size_t>(i - 1) * MailRecord::kSize);
    QFile f(list);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(image.data(), static_cast<qint64>(image.size())), static_cast<qint64>(image.size()));
  }
  static void expectSame(const MailRecord& a, const MailRecord& b, int n) {
    EXPECT_EQ(a.Subject.text(), b.Subject.text()) << n;
    EXPECT_EQ(a.MailDate.text(), b.MailDate.text()) << n;
    EXPECT_EQ(a.FromTo.text(), b.FromTo.text()) << n;
    EXPECT_EQ(a.Body.text(), b.Body.text()) << n;
    EXPECT_EQ(a.LineEnd.text(), b.LineEnd.text()) << n;
    EXPECT_EQ(a.Live, b.Live) << n;
  }
};

// A list of some 40 MB (read in parts at once) with a torn tail, read into
// an empty vector, into one holding more records and into one holding fewer:
// every time exactly the records one by one reading gives.
TEST_F(RecordRead, LargeListReadsLikeRecordByRecord) {
  constexpr int kCount = 1250;
  writeList(kCount, 1000);
  MailFile f(kReceivedFile);
  ASSERT_EQ(f.count(), kCount);
  std::vector<MailRecord> one(kCount);
  for (int n = 1; n <= kCount; ++n) ASSERT_TRUE(f.read(n, one[static_cast<std::size_t>(n) - 1]));

  std::vector<MailRecord> empty, more(kCount + 7, mail(99999)), fewer;
  for (int i = 0; i < 20; ++i) fewer.push_back(mail(kCount - i));
  for (std::vector<MailRecord>* out : {&empty, &more, &fewer}) {
    ASSERT_TRUE(f.readAll(*out));
    ASSERT_EQ(out->size(), static_cast<std::size_t>(kCount));
    for (int n = 1; n <= kCount; ++n) expectSame((*out)[static_cast<std::size_t>(n) - 1], one[static_cast<std::size_t>(n) - 1], n);
  }
  // Read again into the same records: the same texts once more.
  ASSERT_TRUE(f.readAll(more));
  for (int n = 1; n <= kCount; ++n) expectSame(more[static_cast<std::size_t>(n) - 1], one[static_cast<std::size_t>(n) - 1], n);
  // A text that shares its storage with another is not written over.
  const QString kept = more[5].Body.text();
  std::vector<MailRecord> again = more;
  ASSERT_TRUE(f.readAll(more));
  EXPECT_EQ(again[5].Body.text(), kept);
}

// A small list read into records that held longer texts.
TEST_F(RecordRead, SmallListIntoLongerRecords) {
  writeList(3);
  std::vector<MailRecord> out(5);
  for (MailRecord& r : out) r.Body = QString(20000, u'長');
  ASSERT_TRUE(MailFile(kReceivedFile).readAll(out));
  ASSERT_EQ(out.size(), 3u);
  for (int n = 1; n <= 3; ++n) expectSame(out[static_cast<std::size_t>(n) - 1], mail(n), n);
  // An empty file leaves nothing.
  ASSERT_TRUE(QFile::resize(list, 0));
  ASSERT_TRUE(MailFile(kReceivedFile).readAll(out));
  EXPECT_TRUE(out.empty());
}

// While a memo is in force the list's path is resolved once; when the data
// folder is renamed meanwhile, the next operation finds the list again.
TEST_F(RecordRead, RememberedPathWhoseFileIsGoneIsResolvedAfresh) {
  writeList(2);
  PathMemo memo;
  MailFile f(kReceivedFile);
  ASSERT_EQ(f.count(), 2);
  ASSERT_TRUE(QDir(tmp.path()).rename(QStringLiteral("★MailData"), QStringLiteral("★MAILDATA")));
  MailRecord r = mail(3);
  ASSERT_EQ(MailFile(kReceivedFile).append(r), 3);
  EXPECT_EQ(QFile(tmp.path() + QStringLiteral("/★MAILDATA/xqmdata2.data")).size(),
            static_cast<qint64>(3 * MailRecord::kSize));
  EXPECT_FALSE(QFile::exists(list));
  MailRecord back;
  ASSERT_TRUE(f.read(3, back));
  expectSame(back, r, 3);
}

}  // namespace
