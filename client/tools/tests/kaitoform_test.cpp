// The folder extraction window: the command line of each dropped archive,
// the progress line, the result box, the archiver check at load, drops
// through Qt's drop events and a real extraction through the archiver layer.
#include <QApplication>
#include <QDirIterator>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

#include "client/tools/tests/lha_fixture.h"
#include "unlha/unlha.h"

using namespace lhatest;

namespace {

using KaitoFormTest = LhaTest;

TEST(Module6Paths, SplitStripAndSeparator) {
  struct Case {
    const char* path;
    const char* folder;
    const char* name;
    const char* base;
  };
  const Case cases[] = {
      {"/a/file.lzh", "/a/", "file.lzh", "file"},
      {"/a/x.tar.lzh", "/a/", "x.tar.lzh", "x.tar"},
      {"/a/notes", "/a/", "notes", "notes"},
      {"/a/file.", "/a/", "file.", "file."},
      {"/my.dir/readme", "/my.dir/", "readme", "readme"},
      {"/a/.hidden", "/a/", ".hidden", ".hidden"},
      {"/a/b", "/a/", "b", "b"},
  };
  for (const Case& c : cases) {
    QString base, name;
    EXPECT_EQ(Module6::SplitPath(QString::fromUtf8(c.path), base, name), QString::fromUtf8(c.folder)) << c.path;
    EXPECT_EQ(name, QString::fromUtf8(c.name)) << c.path;
    EXPECT_EQ(base, QString::fromUtf8(c.base)) << c.path;
  }
  // The extension is looked for in the last part only: a dotted folder
  // keeps the archive beside the file.
  EXPECT_EQ(Module6::StripExtension(QStringLiteral("/a/notes.txt")), QStringLiteral("/a/notes"));
  EXPECT_EQ(Module6::StripExtension(QStringLiteral("/my.dir/readme")), QStringLiteral("/my.dir/readme"));
  EXPECT_EQ(Module6::StripExtension(QStringLiteral("/a/.profile")), QStringLiteral("/a/.profile"));
  EXPECT_EQ(Module6::StripExtension(QStringLiteral("/a/x.tar.gz")), QStringLiteral("/a/x.tar"));
  EXPECT_EQ(Module6::PathSeparator(QStringLiteral("/a/")), QString());
  EXPECT_EQ(Module6::PathSeparator(QStringLiteral("/a")), QStringLiteral("/"));
  EXPECT_EQ(Module6::ErrorCodeText(32781), QStringLiteral("800D"));
  EXPECT_EQ(Module6::ErrorCodeText(-1), QStringLiteral("FFFFFFFF"));
  EXPECT_EQ(Module6::ErrorCodeText(0x10), QStringLiteral("10"));
}

TEST_F(KaitoFormTest, WindowAsItLoads) {
  forms::KaitoForm& k = KaitoForm();
  EXPECT_EQ(k.Caption(), QStringLiteral("フォルダを解凍"));
  EXPECT_EQ(k.Label1->text(), QStringLiteral("解凍したいフォルダをドラッグ＆ドロップしてください。"));
  EXPECT_EQ(k.Label2->text(), QString());
  EXPECT_FALSE(k.Image1->pixmap().isNull());
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(ends, 0);
}

TEST_F(KaitoFormTest, MissingArchiverEndsTheProgram) {
  Module6::setLibrarySearch([](const QString& name) {
    EXPECT_EQ(name, QStringLiteral("unlha32.dll"));
    return false;
  });
  EXPECT_THROW(KaitoForm(), ui::EndCalled);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].prompt, QStringLiteral("Unlha32.DLLが見つかりません!!"));
  EXPECT_EQ(boxes[0].title, QStringLiteral("Error"));
  EXPECT_EQ(boxes[0].buttons, seams::vbOKOnly | seams::vbCritical);
  EXPECT_EQ(ends, 1);
}

TEST_F(KaitoFormTest, EachArchiveGoesIntoAFolderOfItsName) {
  recordCalls();
  forms::KaitoForm* k = &KaitoForm();
  k->Form_OLEDragDrop({QStringLiteral("/a/file.lzh"), QStringLiteral("/a/data"), QStringLiteral("/b c/x.tar.lzh")});
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0].commandLine, QStringLiteral("x -d1 -y1 \"/a/file.lzh\" \"/a/file\"/ *.*"));
  EXPECT_EQ(calls[1].commandLine, QStringLiteral("x -d1 -y1 \"/a/data\" \"/a/data\"/ *.*"));
  EXPECT_EQ(calls[2].commandLine, QStringLiteral("x -d1 -y1 \"/b c/x.tar.lzh\" \"/b c/x.tar\"/ *.*"));
  for (const auto& c : calls) {
    EXPECT_EQ(c.owner, k);
    EXPECT_EQ(c.outputSize, 0);
    EXPECT_FALSE(c.nullOutput);
  }
  EXPECT_TRUE(boxes.empty());
  EXPECT_FALSE(KaitoFormLoaded());  // all went well: the window closed
}

TEST_F(KaitoFormTest, ProgressLineNamesEachArchive) {
  recordCalls();
  forms::KaitoForm& k = KaitoForm();
  QStringList seen;
  duringCall = [&](const Module6::UnlhaCall&) { seen << k.Label2->text(); };
  results = {1};
  k.Form_OLEDragDrop({QStringLiteral("/a/one.lzh"), QStringLiteral("/a/two.lzh")});
  EXPECT_EQ(seen, (QStringList{QStringLiteral("Extracting(1/2):/a/one.lzh"), QStringLiteral("Extracting(2/2):/a/two.lzh")}));
  EXPECT_EQ(k.Label2->text(), QString());
}

TEST_F(KaitoFormTest, FailureShowsTheCodeAndKeepsTheWindow) {
  recordCalls();
  struct Case {
    std::deque<int> results;
    const char* code;  // nullptr: no box, the window closes
  };
  const Case cases[] = {
      {{32781}, "800D"},
      {{-2}, "FFFFFFFE"},
      // A failure before the last file is reported too.
      {{0x8007, 0, 0}, "8007"},
      {{0, 0x8003, 0}, "8003"},
      {{0, 0, 0}, nullptr},
  };
  for (const Case& c : cases) {
    boxes.clear();
    calls.clear();
    results = c.results;
    QStringList files;
    for (std::size_t i = 0; i < c.results.size(); ++i) files << QStringLiteral("/a/f%1.lzh").arg(i);
    KaitoForm().Form_OLEDragDrop(files);
    EXPECT_EQ(calls.size(), c.results.size());
    if (!c.code) {
      EXPECT_TRUE(boxes.empty());
      EXPECT_FALSE(KaitoFormLoaded());
      continue;
    }
    ASSERT_EQ(boxes.size(), 1u) << c.code;
    EXPECT_EQ(boxes[0].prompt, QStringLiteral("解凍に失敗しました。Error Code:0x") + QString::fromLatin1(c.code));
    EXPECT_EQ(boxes[0].title, QStringLiteral("Failed"));
    EXPECT_EQ(boxes[0].buttons, seams::vbOKOnly | seams::vbCritical);
    EXPECT_TRUE(KaitoFormLoaded());
    EXPECT_EQ(KaitoForm().Label2->text(), QString());
  }
}

TEST_F(KaitoFormTest, QtDropsOnTheWindowAndItsControls) {
  recordCalls();
  forms::KaitoForm& k = KaitoForm();
  for (QWidget* target : {static_cast<QWidget*>(k.Label1), static_cast<QWidget*>(k.Image1), static_cast<QWidget*>(&k)}) {
    if (!KaitoFormLoaded()) break;
    calls.clear();
    results = {1};  // keep the window open for the next target
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QStringLiteral("/a/one.lzh")), QUrl(QStringLiteral("https://example.org/x.lzh"))});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    ASSERT_EQ(calls.size(), 1u) << target->objectName().toStdString();
    EXPECT_EQ(calls[0].commandLine, QStringLiteral("x -d1 -y1 \"/a/one.lzh\" \"/a/one\"/ *.*"));
  }
  // Text alone is no drop of files.
  calls.clear();
  QMimeData text;
  text.setText(QStringLiteral("hello"));
  QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(k.Label1, &enter);
  EXPECT_FALSE(enter.isAccepted());
  QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(k.Label1, &drop);
  EXPECT_TRUE(calls.empty());
}

TEST_F(KaitoFormTest, RealArchiveIsExtractedBesideIt) {
  writeFile(QStringLiteral("src/日記.txt"), QByteArray("今日は晴れ", -1));
  writeFile(QStringLiteral("src/sub/b.bin"), QByteArray(5000, 'b'));
  const QString arc = path(QStringLiteral("お便り.lzh"));
  ASSERT_EQ(unlha::Unlha(0, ("a -d1 \"" + arc + "\" \"" + path(QStringLiteral("src")) + "/\" *.*").toStdString()), 0);
  KaitoForm().Form_OLEDragDrop({arc});
  EXPECT_TRUE(boxes.empty());
  EXPECT_FALSE(KaitoFormLoaded());
  EXPECT_EQ(readFile(path(QStringLiteral("お便り/日記.txt"))), QByteArray("今日は晴れ", -1));
  EXPECT_EQ(readFile(path(QStringLiteral("お便り/sub/b.bin"))), QByteArray(5000, 'b'));

  // Not an archive: the layer's code in the box.
  writeFile(QStringLiteral("plain.lzh"), "just text");
  KaitoForm().Form_OLEDragDrop({path(QStringLiteral("plain.lzh"))});
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].prompt, QStringLiteral("解凍に失敗しました。Error Code:0x") + Module6::ErrorCodeText(unlha::kErrorBrokenArchive));
  EXPECT_FALSE(QFileInfo::exists(path(QStringLiteral("plain"))));

  // An archive whose data is broken leaves no empty folder beside it.
  QByteArray damaged = readFile(arc);
  damaged[damaged.size() - 40] = static_cast<char>(damaged[damaged.size() - 40] ^ 0x55);
  writeFile(QStringLiteral("damaged.lzh"), damaged);
  boxes.clear();
  KaitoForm().Form_OLEDragDrop({path(QStringLiteral("damaged.lzh"))});
  ASSERT_EQ(boxes.size(), 1u);
  const QString out = path(QStringLiteral("damaged"));
  QDirIterator folders(out, QDir::Dirs | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
  while (folders.hasNext()) EXPECT_FALSE(QDir(folders.next()).isEmpty()) << folders.filePath().toStdString();
  EXPECT_TRUE(!QFileInfo::exists(out) || !QDir(out).isEmpty());
}

TEST_F(KaitoFormTest, ReplacingTheUsersFilesIsAskedFirstAndAFailureReplacesNothing) {
  writeFile(QStringLiteral("src/a.txt"), "new a");
  writeFile(QStringLiteral("src/b.txt"), "new b");
  writeFile(QStringLiteral("src/same.txt"), "same");
  const QString arc = path(QStringLiteral("便り.lzh"));
  ASSERT_EQ(unlha::Unlha(0, ("a -d1 \"" + arc + "\" \"" + path(QStringLiteral("src")) + "/\" *.*").toStdString()), 0);
  const QString out = path(QStringLiteral("便り"));
  auto prepare = [&] {
    writeFile(QStringLiteral("便り/a.txt"), "old a");
    writeFile(QStringLiteral("便り/b.txt"), "old b");
    writeFile(QStringLiteral("便り/same.txt"), "same");
    boxes.clear();
  };
  struct Case {
    const char* what;
    std::deque<int> answers;
    std::size_t asked;
    QByteArray a, b;
  };
  const Case cases[] = {
      {"no, then yes", {seams::vbNo, seams::vbYes}, 2, "old a", "new b"},
      {"all at the first question", {seams::vbYesToAll}, 1, "new a", "new b"},
      {"no to both", {seams::vbNo, seams::vbNo}, 2, "old a", "old b"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    prepare();
    answers = c.answers;
    dropOn(&KaitoForm(), {arc});
    ASSERT_EQ(boxes.size(), c.asked);
    for (std::size_t i = 0; i < boxes.size(); ++i) {
      EXPECT_EQ(boxes[i].title, QStringLiteral("確認"));
      EXPECT_EQ(boxes[i].buttons, seams::vbYesNoAll | seams::vbQuestion);
      EXPECT_EQ(boxes[i].prompt, out + (i == 0 ? QStringLiteral("/a.txt") : QStringLiteral("/b.txt")) +
                                     QStringLiteral("はすでに存在しています。\r\n内容の違うこのファイルを置き換えますか?\r\n"
                                                    "(はいで置き換え,いいえでそのまま,すべてはいで以後もすべて置き換え)"));
    }
    EXPECT_FALSE(KaitoFormLoaded());  // extracted: the window closed
    EXPECT_EQ(readFile(out + QStringLiteral("/a.txt")), c.a);
    EXPECT_EQ(readFile(out + QStringLiteral("/b.txt")), c.b);
    EXPECT_EQ(readFile(out + QStringLiteral("/same.txt")), QByteArray("same"));
  }

  // The last entry is broken: yes to replacing the first replaces nothing.
  QByteArray damaged = readFile(arc);
  damaged[damaged.size() - 3] = static_cast<char>(damaged[damaged.size() - 3] ^ 0x55);
  writeFile(QStringLiteral("便り.lzh"), damaged);
  prepare();
  answers = {seams::vbYes, seams::vbYes};
  dropOn(&KaitoForm(), {arc});
  ASSERT_FALSE(boxes.empty());
  EXPECT_EQ(boxes.back().title, QStringLiteral("Failed"));
  EXPECT_EQ(readFile(out + QStringLiteral("/a.txt")), QByteArray("old a"));
  EXPECT_EQ(readFile(out + QStringLiteral("/b.txt")), QByteArray("old b"));
  EXPECT_EQ(QDir(out).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size(), 3);
}

}  // namespace

// Dropped from another program, the windows are not the active ones: their
// boxes (failure, overwrite question) still stand over the window dropped on.
TEST_F(KaitoFormTest, BoxesAfterADropStandOverTheWindowDroppedOn) {
  recordCalls();
  QWidget other;  // the program the files come from
  other.show();
  QApplication::setActiveWindow(&other);
  const QString existing = dir.filePath(QStringLiteral("notes.lzh"));
  QFile f(existing);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write("old");
  f.close();
  QFile g(dir.filePath(QStringLiteral("notes.txt")));
  ASSERT_TRUE(g.open(QIODevice::WriteOnly));
  g.write("text");
  g.close();
  struct Case {
    const char* name;
    std::function<ui::Form&()> open;
    std::function<QWidget*(ui::Form&)> target;
    QString file;
    std::size_t boxCount;
  };
  const Case cases[] = {
      {"KaitoForm", []() -> ui::Form& { return KaitoForm(); },
       [](ui::Form& w) -> QWidget* { return static_cast<forms::KaitoForm&>(w).Label1; }, QStringLiteral("/a/one.lzh"), 1},
      {"AssyukuForm", []() -> ui::Form& { return AssyukuForm(); }, [](ui::Form& w) -> QWidget* { return w.client(); },
       dir.filePath(QStringLiteral("notes.txt")), 2},  // "上書き確認", then the failure
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    boxes.clear();
    results = {0x8004};
    ui::Form& w = c.open();
    QWidget* target = c.target(w);
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(c.file)});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    ASSERT_EQ(boxes.size(), c.boxCount);
    for (const auto& b : boxes) EXPECT_EQ(b.owner, &w) << b.prompt.toStdString();
    if (auto* k = KaitoFormLoaded() ? &KaitoForm() : nullptr) k->Unload();
  }
  // The next box, shown by no drop, is the active window's again.
  boxes.clear();
  seams::MsgBox(QStringLiteral("x"));
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].owner, QApplication::activeWindow());
}
