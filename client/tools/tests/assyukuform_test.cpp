// The folder compression window: its two lists and their warnings, the
// command line of each kind of drop, the list file, the overwrite question,
// the result boxes, the archiver check at load, and real packing through the
// archiver layer.
#include <QFileInfo>

#include "client/tools/tests/lha_fixture.h"
#include "unlha/unlha.h"

using namespace lhatest;

namespace {

class AssyukuFormTest : public LhaTest {
 protected:
  // A folder or file below the test folder (created).
  QString folder(const QString& rel) {
    QDir().mkpath(path(rel));
    return path(rel);
  }
  QString file(const QString& rel, const QByteArray& content = "x") {
    writeFile(rel, content);
    return path(rel);
  }
  static QString q(const QString& s) { return QStringLiteral("\"") + s + QStringLiteral("\""); }
};

TEST_F(AssyukuFormTest, ListsAsTheyLoad) {
  forms::AssyukuForm& a = AssyukuForm();
  EXPECT_EQ(a.Caption(), QStringLiteral("フォルダを圧縮"));
  EXPECT_EQ(a.Label1[2]->text(), QStringLiteral("圧縮したいフォルダをドラッグ＆ドロップして下さい。"));
  EXPECT_EQ(a.Label1[3]->text(), QStringLiteral("ヘッダ形式："));
  EXPECT_EQ(a.Label1[4]->text(), QStringLiteral("圧縮レベル："));
  const QStringList headers = {QStringLiteral("h0形式"), QStringLiteral("h1形式"), QStringLiteral("h2形式(既定値)"),
                               QStringLiteral("h3形式")};
  const QStringList methods = {QStringLiteral("-lh0-：無圧縮"), QStringLiteral("-lh1-：LHarc互換"),
                               QStringLiteral("-lh5-：LHA 2.00互換(既定値)"), QStringLiteral("-lh6-：LHA 2.5x互換"),
                               QStringLiteral("-lh7-：LHA 2.6x互換"), QStringLiteral(" Auto：データの率により決定")};
  ASSERT_EQ(a.Combo1->count(), 4);
  ASSERT_EQ(a.Combo2->count(), 6);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(a.Combo1->itemText(i), headers[i]);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(a.Combo2->itemText(i), methods[i]);
  EXPECT_FALSE(a.Combo1->isEditable());
  EXPECT_EQ(a.Combo1->currentIndex(), 2);
  EXPECT_EQ(a.Combo2->currentIndex(), 2);
  EXPECT_EQ(a.LastHeader, 2);
  EXPECT_EQ(a.LastMethod, 2);
  EXPECT_EQ(a.ListSep, QStringLiteral("/"));
  EXPECT_EQ(a.ListFilePath(), path(QStringLiteral("rp.lst")));
  EXPECT_EQ(a.BuildSwitches(2, 2), QStringLiteral("-h2 -jm2 "));
  EXPECT_EQ(a.BuildSwitches(0, 5), QStringLiteral("-h0 -jma "));
  EXPECT_EQ(a.BuildSwitches(3, 4), QStringLiteral("-h3 -jm4 "));
}

TEST_F(AssyukuFormTest, MissingArchiverEndsTheProgram) {
  Module6::setLibrarySearch([](const QString&) { return false; });
  EXPECT_THROW(AssyukuForm(), ui::EndCalled);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].prompt, QStringLiteral("UNLHA32.DLLが見つかりません!!"));
  EXPECT_EQ(boxes[0].title, QStringLiteral("Error"));
  EXPECT_EQ(boxes[0].buttons, seams::vbOKOnly | seams::vbCritical);
  EXPECT_EQ(ends, 1);
}

TEST_F(AssyukuFormTest, RiskyRowsAskFirst) {
  forms::AssyukuForm& a = AssyukuForm();
  const QString h3 = QStringLiteral("このヘッダ形式は現在開発中のヘッダですので、通常の圧縮には利用しないことを推奨します。\r\nh3形式を利用しますか？");
  a.Combo1->setCurrentIndex(0);
  a.Combo1_Click();
  EXPECT_EQ(a.LastHeader, 0);
  EXPECT_TRUE(boxes.empty());
  answers = {seams::vbNo};
  a.Combo1->setCurrentIndex(3);
  a.Combo1_Click();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].prompt, h3);
  EXPECT_EQ(boxes[0].title, QStringLiteral("Warning"));
  EXPECT_EQ(boxes[0].buttons, seams::vbYesNo | seams::vbExclamation);
  EXPECT_EQ(a.Combo1->currentIndex(), 0);  // back on the last row taken
  answers = {seams::vbYes};
  a.Combo1->setCurrentIndex(3);
  a.Combo1_Click();
  EXPECT_EQ(a.Combo1->currentIndex(), 3);
  EXPECT_EQ(a.LastHeader, 0);
  a.Combo1_Click();  // chosen again: asked again
  EXPECT_EQ(boxes.size(), 3u);

  const char* words[] = {"lh6", "lh7", "Auto"};
  for (int row = 3; row <= 5; ++row) {
    boxes.clear();
    answers = {seams::vbNo};
    a.Combo2->setCurrentIndex(row);
    a.Combo2_Click();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].prompt,
              QStringLiteral("この圧縮形式は配布が禁止されていますので、通常の圧縮には利用しないことを推奨します。\r\n") +
                  QString::fromLatin1(words[row - 3]) + QStringLiteral("形式を利用しますか？"));
    EXPECT_EQ(a.Combo2->currentIndex(), 2);
  }
  a.Combo2->setCurrentIndex(1);
  a.Combo2_Click();
  EXPECT_EQ(a.LastMethod, 1);
  answers = {seams::vbYes};
  a.Combo2->setCurrentIndex(4);
  a.Combo2_Click();
  EXPECT_EQ(a.Combo2->currentIndex(), 4);
  EXPECT_EQ(a.LastMethod, 1);
}

TEST_F(AssyukuFormTest, CommandLineOfEachSingleDrop) {
  recordCalls();
  const QString photos = folder(QStringLiteral("a/photos"));
  const QString notes = file(QStringLiteral("a/notes.txt"));
  const QString readme = file(QStringLiteral("my.dir/readme"));
  struct Case {
    QString item;
    int header, method;
    QString command;
  };
  const Case cases[] = {
      {photos, 2, 2, "a -d1 -y1 -h2 -jm2 " + q(photos + ".lzh") + " " + q(photos + "/") + " *.*"},
      {notes, 2, 2, "a -y1 -h2 -jm2 " + q(path("a/notes.lzh")) + " " + q(notes) + " "},
      {notes, 0, 0, "a -y1 -h0 -jm0 " + q(path("a/notes.lzh")) + " " + q(notes) + " "},
      // The archive of a file without extension in a dotted folder stays beside it.
      {readme, 1, 2, "a -y1 -h1 -jm2 " + q(readme + ".lzh") + " " + q(readme) + " "},
  };
  for (const Case& c : cases) {
    calls.clear();
    forms::AssyukuForm* a = &AssyukuForm();
    a->Combo1->setCurrentIndex(c.header);
    a->Combo2->setCurrentIndex(c.method);
    a->Form_OLEDragDrop({c.item});
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].commandLine, c.command);
    EXPECT_EQ(calls[0].owner, a);
    EXPECT_TRUE(calls[0].nullOutput);
    EXPECT_EQ(calls[0].outputSize, 0);
    EXPECT_FALSE(AssyukuFormLoaded());  // every drop closes the window
  }
  EXPECT_TRUE(boxes.empty());
}

TEST_F(AssyukuFormTest, AnArchiveAloneIsExtractedWithTheMascotAsOwner) {
  recordCalls();
  const QString old = file(QStringLiteral("a/old.lzh"));
  Module6::setCheckArchiveHandler([&](const QString& p, int mode) {
    EXPECT_EQ(mode, 1);
    return p == old ? 1 : 0;
  });
  AssyukuForm().Form_OLEDragDrop({old});
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].commandLine, "x -d1 -y1 " + q(old) + " " + q(path("a/old/")) + " *.*");
  ASSERT_TRUE(Form1Loaded());
  EXPECT_EQ(calls[0].owner, &::Form1());
  EXPECT_FALSE(calls[0].nullOutput);
  EXPECT_FALSE(AssyukuFormLoaded());

  // Together with another item it is packed, into an archive of its own
  // name: the dropped archive is no candidate for overwriting.
  calls.clear();
  const QString other = file(QStringLiteral("a/other.txt"));
  AssyukuForm().Form_OLEDragDrop({old, other});
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].commandLine, "a -y1 -h2 -jm2 " + q(old + ".lzh") + " @" + q(path("rp.lst")));
  EXPECT_TRUE(boxes.empty());
  EXPECT_TRUE(QFileInfo::exists(old));

  // So is a file named like an archive that is none.
  calls.clear();
  Module6::setCheckArchiveHandler([](const QString&, int) { return 0; });
  AssyukuForm().Form_OLEDragDrop({old});
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].commandLine, "a -y1 -h2 -jm2 " + q(old + ".lzh") + " " + q(old) + " ");
  EXPECT_TRUE(boxes.empty());
  EXPECT_TRUE(QFileInfo::exists(old));
  Module6::setCheckArchiveHandler([&](const QString& p, int) { return p == old ? 1 : 0; });

  // A failed extraction: its box, and the window closes all the same.
  calls.clear();
  results = {0x8003};
  AssyukuForm().Form_OLEDragDrop({old});
  ASSERT_FALSE(boxes.empty());
  EXPECT_EQ(boxes.back().prompt, QStringLiteral("解凍に失敗しました。Error Code:0x8003"));
  EXPECT_EQ(boxes.back().title, QStringLiteral("Failed"));
  EXPECT_EQ(boxes.back().buttons, seams::vbOKOnly | seams::vbCritical);
  EXPECT_FALSE(AssyukuFormLoaded());
}

TEST_F(AssyukuFormTest, SeveralItemsGoThroughTheListFile) {
  recordCalls();
  const QString photos = folder(QStringLiteral("a/photos.old"));
  const QString memo = file(QStringLiteral("a/my memo.txt"));
  const QString list = path(QStringLiteral("rp.lst"));
  QByteArray listed;
  duringCall = [&](const Module6::UnlhaCall&) { listed = readFile(list); };
  AssyukuForm().Form_OLEDragDrop({photos, memo});
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].commandLine, "a -y1 -h2 -jm2 " + q(path("a/photos.lzh")) + " @" + q(list));
  EXPECT_EQ(QString::fromUtf8(listed), q(path("a/")) + " " + q("photos.old") + " -d1 \r\n" + q(path("a/")) + " " +
                                           q("my memo.txt") + " -d0 \r\n");
  EXPECT_FALSE(QFileInfo::exists(list));
  EXPECT_FALSE(AssyukuFormLoaded());
}

TEST_F(AssyukuFormTest, ExistingArchiveIsOverwrittenUpdatedOrLeftAlone) {
  recordCalls();
  const QString notes = file(QStringLiteral("notes.txt"));
  const QString arc = file(QStringLiteral("notes.lzh"), "old archive");
  const QString question = arc + QStringLiteral("はすでに存在しています。\r\nファイルを上書きしますか?\r\n(はいで上書き,いいえで追加圧縮,キャンセルで圧縮中止)");

  bool existedDuringCall = true;
  duringCall = [&](const Module6::UnlhaCall&) { existedDuringCall = QFileInfo::exists(arc); };
  answers = {seams::vbYes};
  AssyukuForm().Form_OLEDragDrop({notes});
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].prompt, question);
  EXPECT_EQ(boxes[0].title, QStringLiteral("上書き確認"));
  EXPECT_EQ(boxes[0].buttons, seams::vbYesNoCancel | seams::vbInformation);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_FALSE(existedDuringCall);

  file(QStringLiteral("notes.lzh"), "old archive");
  boxes.clear();
  calls.clear();
  answers = {seams::vbNo};
  AssyukuForm().Form_OLEDragDrop({notes});
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].commandLine, "u -y1 -h2 -jm2 " + q(arc) + " " + q(notes) + " ");

  boxes.clear();
  calls.clear();
  answers = {seams::vbCancel};
  AssyukuForm().Form_OLEDragDrop({notes});
  EXPECT_TRUE(calls.empty());
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[1].prompt, QStringLiteral("圧縮をキャンセルしました。"));
  EXPECT_EQ(boxes[1].title, QStringLiteral("Failed"));
  EXPECT_EQ(boxes[1].buttons, seams::vbOKOnly | seams::vbCritical);
  EXPECT_EQ(readFile(arc), QByteArray("old archive"));
  EXPECT_FALSE(AssyukuFormLoaded());
}

TEST_F(AssyukuFormTest, AnOverwriteThatFailsGivesTheArchiveBack) {
  recordCalls();
  const QString notes = file(QStringLiteral("notes.txt"));
  const QString arc = file(QStringLiteral("notes.lzh"), "old archive");
  const QStringList before = QDir(dir.path()).entryList(QDir::Files);
  results = {0x8006};
  answers = {seams::vbYes};
  AssyukuForm().Form_OLEDragDrop({notes});
  ASSERT_EQ(calls.size(), 1u);
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[1].prompt, QStringLiteral("圧縮に失敗しました。Error Code:0x8006"));
  EXPECT_EQ(readFile(arc), QByteArray("old archive"));
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), before);

  // A pack that succeeds leaves nothing of the old archive behind.
  boxes.clear();
  answers = {seams::vbYes};
  duringCall = [&](const Module6::UnlhaCall&) { writeFile(QStringLiteral("notes.lzh"), "new archive"); };
  AssyukuForm().Form_OLEDragDrop({notes});
  EXPECT_EQ(boxes.size(), 1u);
  EXPECT_EQ(readFile(arc), QByteArray("new archive"));
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), before);
}

TEST_F(AssyukuFormTest, FailedPackingShowsTheCode) {
  recordCalls();
  results = {0x8004};
  AssyukuForm().Form_OLEDragDrop({folder(QStringLiteral("empty"))});
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].prompt, QStringLiteral("圧縮に失敗しました。Error Code:0x8004"));
  EXPECT_EQ(boxes[0].title, QStringLiteral("Failed"));
  EXPECT_FALSE(AssyukuFormLoaded());
}

// Through the archiver layer itself.
TEST_F(AssyukuFormTest, RealPackingAndUnpacking) {
  const QString photos = folder(QStringLiteral("写真"));
  writeFile(QStringLiteral("写真/海.txt"), "sea");
  writeFile(QStringLiteral("写真/旅行/山.bin"), QByteArray(20000, 'm'));
  AssyukuForm().Form_OLEDragDrop({photos});
  EXPECT_TRUE(boxes.empty());
  const QString arc = path(QStringLiteral("写真.lzh"));
  ASSERT_NE(unlha::UnlhaCheckArchive(arc.toStdString(), 1), 0);

  // The archive dropped alone is extracted beside it.
  QDir(photos).removeRecursively();
  AssyukuForm().Form_OLEDragDrop({arc});
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(readFile(path(QStringLiteral("写真/海.txt"))), QByteArray("sea"));
  EXPECT_EQ(readFile(path(QStringLiteral("写真/旅行/山.bin"))), QByteArray(20000, 'm'));

  // Several items: one archive named after the first.
  const QString memo = file(QStringLiteral("メモ 1.txt"), "memo");
  const QString dotted = folder(QStringLiteral("v1.2"));
  writeFile(QStringLiteral("v1.2/readme"), "read me");
  AssyukuForm().Form_OLEDragDrop({memo, dotted});
  EXPECT_TRUE(boxes.empty());
  const QString both = path(QStringLiteral("メモ 1.lzh"));
  const QString out = path(QStringLiteral("out"));
  ASSERT_EQ(unlha::Unlha(0, ("x -d1 -y1 \"" + both + "\" \"" + out + "/\" *.*").toStdString()), 0);
  EXPECT_EQ(readFile(out + QStringLiteral("/メモ 1.txt")), QByteArray("memo"));
  EXPECT_EQ(readFile(out + QStringLiteral("/v1.2/readme")), QByteArray("read me"));
  EXPECT_FALSE(QFileInfo::exists(path(QStringLiteral("rp.lst"))));

  // A real archive dropped with another file is packed with it and kept.
  const QByteArray photosArchive = readFile(arc);
  AssyukuForm().Form_OLEDragDrop({arc, memo});
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(readFile(arc), photosArchive);
  QDir(out).removeRecursively();
  ASSERT_EQ(unlha::Unlha(0, ("x -d1 -y1 \"" + arc + ".lzh\" \"" + out + "/\" *.*").toStdString()), 0);
  EXPECT_EQ(readFile(out + QStringLiteral("/写真.lzh")), photosArchive);
  EXPECT_EQ(readFile(out + QStringLiteral("/メモ 1.txt")), QByteArray("memo"));

  // Every header level and method the lists offer packs a folder that
  // unpacks as it was, over the archive of the row before.
  const QString mixed = folder(QStringLiteral("混在"));
  writeFile(QStringLiteral("混在/表.txt"), QByteArray(30000, 't') + "end");
  writeFile(QStringLiteral("混在/空.dat"), "");
  writeFile(QStringLiteral("混在/下/零.bin"), QByteArray(300000, '\0'));
  QDir().mkpath(path(QStringLiteral("混在/何もない")));
  const QString mixedArc = path(QStringLiteral("混在.lzh"));
  for (int header = 0; header <= 3; ++header) {
    for (int method = 0; method <= 5; ++method) {
      SCOPED_TRACE(header * 10 + method);
      forms::AssyukuForm& a = AssyukuForm();
      a.Combo1->setCurrentIndex(header);
      a.Combo1_Click();
      a.Combo2->setCurrentIndex(method);
      a.Combo2_Click();
      boxes.clear();
      const std::size_t questions = QFileInfo::exists(mixedArc) ? 1 : 0;  // the overwrite question alone
      a.Form_OLEDragDrop({mixed});
      EXPECT_EQ(boxes.size(), questions);
      QDir(out).removeRecursively();
      ASSERT_EQ(unlha::Unlha(0, ("x -d1 -y1 \"" + mixedArc + "\" \"" + out + "/\" *.*").toStdString()), 0);
      EXPECT_EQ(readFile(out + QStringLiteral("/表.txt")), QByteArray(30000, 't') + "end");
      EXPECT_TRUE(QFileInfo::exists(out + QStringLiteral("/空.dat")));
      EXPECT_EQ(readFile(out + QStringLiteral("/下/零.bin")), QByteArray(300000, '\0'));
      EXPECT_TRUE(QFileInfo(out + QStringLiteral("/何もない")).isDir());
    }
  }
  boxes.clear();
  // The last of them (header level 3) dropped alone is an archive to extract.
  QDir(mixed).removeRecursively();
  AssyukuForm().Form_OLEDragDrop({mixedArc});
  EXPECT_TRUE(boxes.empty());
  EXPECT_FALSE(QFileInfo::exists(mixedArc + QStringLiteral(".lzh")));
  EXPECT_EQ(readFile(path(QStringLiteral("混在/下/零.bin"))), QByteArray(300000, '\0'));

  // Answering No adds to the archive.
  const QString more = file(QStringLiteral("more.txt"), "more");
  answers = {seams::vbNo};
  AssyukuForm().Form_OLEDragDrop({memo, more});
  ASSERT_EQ(boxes.size(), 1u);
  QDir(out).removeRecursively();
  ASSERT_EQ(unlha::Unlha(0, ("x -d1 -y1 \"" + both + "\" \"" + out + "/\" *.*").toStdString()), 0);
  EXPECT_EQ(readFile(out + QStringLiteral("/more.txt")), QByteArray("more"));
  EXPECT_EQ(readFile(out + QStringLiteral("/v1.2/readme")), QByteArray("read me"));
}

TEST_F(AssyukuFormTest, ALoneArchiveAsksBeforeReplacingTheUsersFile) {
  writeFile(QStringLiteral("src/note.txt"), "from the archive");
  const QString arc = path(QStringLiteral("note.lzh"));
  ASSERT_EQ(unlha::Unlha(0, ("a -d1 \"" + arc + "\" \"" + path(QStringLiteral("src")) + "/\" *.*").toStdString()), 0);
  writeFile(QStringLiteral("note/note.txt"), "the user's own");
  answers = {seams::vbNo};
  dropOn(&AssyukuForm(), {arc});
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].title, QStringLiteral("確認"));
  EXPECT_EQ(boxes[0].buttons, seams::vbYesNoAll | seams::vbQuestion);
  EXPECT_TRUE(boxes[0].prompt.startsWith(path(QStringLiteral("note/note.txt")) + QStringLiteral("はすでに存在しています。")));
  EXPECT_EQ(readFile(path(QStringLiteral("note/note.txt"))), QByteArray("the user's own"));
  boxes.clear();
  answers = {seams::vbYes};
  dropOn(AssyukuForm().Label1[2], {arc});
  EXPECT_EQ(boxes.size(), 1u);
  EXPECT_EQ(readFile(path(QStringLiteral("note/note.txt"))), QByteArray("from the archive"));
}

TEST_F(AssyukuFormTest, LinksInTheFolderArePackedAndWhatIsLeftOutIsNamed) {
  const QString photos = folder(QStringLiteral("photos"));
  writeFile(QStringLiteral("photos/sea.txt"), "sea");
  writeFile(QStringLiteral("elsewhere.txt"), "elsewhere");
  ASSERT_TRUE(QFile::link(QStringLiteral("sea.txt"), path(QStringLiteral("photos/also sea.txt"))));
  ASSERT_TRUE(QFile::link(path(QStringLiteral("elsewhere.txt")), path(QStringLiteral("photos/away.txt"))));
  dropOn(&AssyukuForm(), {photos});
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].title, QStringLiteral("Warning"));
  EXPECT_EQ(boxes[0].buttons, seams::vbOKOnly | seams::vbExclamation);
  EXPECT_EQ(boxes[0].prompt, QStringLiteral("次のものは圧縮しませんでした。\r\n") + path(QStringLiteral("photos/away.txt")) +
                                 QStringLiteral("（フォルダの外を指すリンク）"));
  const QString out = path(QStringLiteral("out"));
  ASSERT_EQ(unlha::Unlha(0, ("x -d1 -y1 \"" + path(QStringLiteral("photos.lzh")) + "\" \"" + out + "/\" *.*").toStdString()), 0);
  EXPECT_EQ(readFile(out + QStringLiteral("/sea.txt")), QByteArray("sea"));
  EXPECT_EQ(readFile(out + QStringLiteral("/also sea.txt")), QByteArray("sea"));
  EXPECT_FALSE(QFileInfo::exists(out + QStringLiteral("/away.txt")));
}

TEST_F(AssyukuFormTest, NamesWithAQuoteBeforeABlankPackAndUnpack) {
  const QString odd = file(QStringLiteral("say \"hi\" there.txt"), "quoted");
  const QString oddFolder = folder(QStringLiteral("a \" b"));
  writeFile(QStringLiteral("a \" b/in \"x\" y.txt"), "inside");
  dropOn(&AssyukuForm(), {odd});
  dropOn(&AssyukuForm(), {oddFolder});
  EXPECT_TRUE(boxes.empty());
  dropOn(&AssyukuForm(), {odd, oddFolder});  // through the list file, over the first archive
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].title, QStringLiteral("上書き確認"));
  boxes.clear();
  const QString out = path(QStringLiteral("out"));
  // Each archive dropped alone extracts beside it.
  for (const QString& arc : {path(QStringLiteral("say \"hi\" there.lzh")), oddFolder + QStringLiteral(".lzh")})
    ASSERT_NE(unlha::UnlhaCheckArchive(arc.toStdString(), 1), 0) << arc.toStdString();
  QFile::remove(odd);
  QDir(oddFolder).removeRecursively();
  dropOn(&AssyukuForm(), {oddFolder + QStringLiteral(".lzh")});
  EXPECT_EQ(readFile(oddFolder + QStringLiteral("/in \"x\" y.txt")), QByteArray("inside"));
  dropOn(&AssyukuForm(), {path(QStringLiteral("say \"hi\" there.lzh"))});
  EXPECT_EQ(readFile(path(QStringLiteral("say \"hi\" there/say \"hi\" there.txt"))), QByteArray("quoted"));
  EXPECT_EQ(readFile(path(QStringLiteral("say \"hi\" there/a \" b/in \"x\" y.txt"))), QByteArray("inside"));
  EXPECT_TRUE(boxes.empty());
}

}  // namespace
