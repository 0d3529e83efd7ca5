#include "client/tools/assyukuform.h"

#include <QFile>
#include <QFileInfo>

#include "client/mainwindow/form1.h"
#include "client/tools/kaitoform.h"
#include "platform/paths.h"
#include "platform/seams.h"

namespace {
ui::Accessor<forms::AssyukuForm>& accessor() {
  static ui::Accessor<forms::AssyukuForm> a;
  return a;
}

const QString kCrLf = QStringLiteral("\r\n");
const QString kQ = QStringLiteral("\"");

void failureBox(const QString& text, int result) {
  seams::MsgBox(text + Module6::ErrorCodeText(result), seams::vbOKOnly | seams::vbCritical, QStringLiteral("Failed"));
}
}  // namespace

forms::AssyukuForm& AssyukuForm() { return accessor()(); }
bool AssyukuFormLoaded() { return accessor().isLoaded(); }

namespace forms {

AssyukuForm::AssyukuForm() : ui::Form(QStringLiteral("AssyukuForm")) {
  setCaption(QStringLiteral("フォルダを圧縮"));
  Move(2400, 1800, 6300, 2880);
  const QFont f = ui::font(QStringLiteral("ＭＳ Ｐゴシック"), 9);
  Image1 = ui::control<QLabel>(client(), QStringLiteral("Image1"), 120, 120, 1800, 1350);
  Image1->setPixmap(Module6::ArchivePicture(true, QSize(ui::px(1800), ui::px(1350))));
  Image1->setScaledContents(true);
  Label1[2] = ui::control<QLabel>(client(), QStringLiteral("Label1_2"), 2040, 120, 4020, 600,
                                  QStringLiteral("圧縮したいフォルダをドラッグ＆ドロップして下さい。"));
  Label1[2]->setWordWrap(true);
  Label1[3] = ui::control<QLabel>(client(), QStringLiteral("Label1_3"), 2040, 840, 1200, 300,
                                  QStringLiteral("ヘッダ形式："));
  Combo1 = ui::control<QComboBox>(client(), QStringLiteral("Combo1"), 3240, 780, 2820, 330);
  Label1[4] = ui::control<QLabel>(client(), QStringLiteral("Label1_4"), 2040, 1320, 1200, 300,
                                  QStringLiteral("圧縮レベル："));
  Combo2 = ui::control<QComboBox>(client(), QStringLiteral("Combo2"), 3240, 1260, 2820, 330);
  for (QLabel* l : Label1)
    if (l) l->setFont(f);
  Combo1->setFont(f);
  Combo2->setFont(f);
  Combo1->setEditable(false);
  Combo2->setEditable(false);
  connect(Combo1, &QComboBox::activated, this, [this](int) { Combo1_Click(); });
  connect(Combo2, &QComboBox::activated, this, [this](int) { Combo2_Click(); });

  auto* drops = new Module6::DropForwarder(this, [this](const QStringList& files) { Form_OLEDragDrop(files); });
  drops->watch(this);
  drops->watch(client());
  drops->watch(Image1);
  for (QLabel* l : Label1)
    if (l) drops->watch(l);
  drops->watch(Combo1);
  drops->watch(Combo2);
  // The controls keep their places at every size: the window is never made
  // smaller than they need.
  ui::holdControls(this);
}

void AssyukuForm::Form_Load() {
  ListSep = Module6::PathSeparator(paths::programFolder());
  Module6::CheckLibrary(QStringLiteral("UNLHA32.DLLが見つかりません!!"));
  InitCompressOptions();
}

void AssyukuForm::InitCompressOptions() {
  HeaderSwitch = {QStringLiteral("-h0 "), QStringLiteral("-h1 "), QStringLiteral("-h2 "), QStringLiteral("-h3 ")};
  MethodSwitch = {QStringLiteral("-jm0 "), QStringLiteral("-jm1 "), QStringLiteral("-jm2 "),
                  QStringLiteral("-jm3 "), QStringLiteral("-jm4 "), QStringLiteral("-jma ")};
  Combo1->clear();
  Combo1->addItems({QStringLiteral("h0形式"), QStringLiteral("h1形式"), QStringLiteral("h2形式(既定値)"),
                    QStringLiteral("h3形式")});
  Combo1->setCurrentIndex(2);
  LastHeader = 2;
  Combo2->clear();
  Combo2->addItems({QStringLiteral("-lh0-：無圧縮"), QStringLiteral("-lh1-：LHarc互換"),
                    QStringLiteral("-lh5-：LHA 2.00互換(既定値)"), QStringLiteral("-lh6-：LHA 2.5x互換"),
                    QStringLiteral("-lh7-：LHA 2.6x互換"), QStringLiteral(" Auto：データの率により決定")});
  Combo2->setCurrentIndex(2);
  LastMethod = 2;
}

void AssyukuForm::Combo1_Click() {
  const int row = Combo1->currentIndex();
  if (row >= 0 && row <= 2) {
    LastHeader = static_cast<std::int16_t>(row);
    return;
  }
  if (row != 3) return;
  const int answer = seams::MsgBox(
      QStringLiteral("このヘッダ形式は現在開発中のヘッダですので、通常の圧縮には利用しないことを推奨します。") + kCrLf +
          QStringLiteral("h3形式を利用しますか？"),
      seams::vbYesNo | seams::vbExclamation, QStringLiteral("Warning"));
  if (answer == seams::vbNo) Combo1->setCurrentIndex(LastHeader);
}

void AssyukuForm::Combo2_Click() {
  const int row = Combo2->currentIndex();
  if (row >= 0 && row <= 2) {
    LastMethod = static_cast<std::int16_t>(row);
    return;
  }
  static const char* const kWords[] = {"lh6", "lh7", "Auto"};
  if (row < 3 || row > 5) return;
  const int answer = seams::MsgBox(
      QStringLiteral("この圧縮形式は配布が禁止されていますので、通常の圧縮には利用しないことを推奨します。") + kCrLf +
          QString::fromLatin1(kWords[row - 3]) + QStringLiteral("形式を利用しますか？"),
      seams::vbYesNo | seams::vbExclamation, QStringLiteral("Warning"));
  if (answer == seams::vbNo) Combo2->setCurrentIndex(LastMethod);
}

QString AssyukuForm::BuildSwitches(int headerRow, int methodRow) const {
  return HeaderSwitch.at(static_cast<std::size_t>(headerRow)) + MethodSwitch.at(static_cast<std::size_t>(methodRow));
}

QString AssyukuForm::ListFilePath() const { return paths::programFolder() + ListSep + QStringLiteral("rp.lst"); }

QString AssyukuForm::ArchiveFor(const QString& stem, const QString& item) const {
  const QString archive = stem + QStringLiteral(".lzh");
  const QString real = QFileInfo(archive).absoluteFilePath();
  for (const QString& d : dropped_)
    if (QFileInfo(d).absoluteFilePath() == real) return item + QStringLiteral(".lzh");
  return archive;
}

void AssyukuForm::Form_OLEDragDrop(const QStringList& files) {
  if (files.isEmpty()) return;
  // Dropped from another program, the window need not be the active one:
  // its boxes stand over it all the same.
  const seams::BoxOwner boxOwner(this);
  dropped_ = files;
  const QString first = files.first();
  const int n = static_cast<int>(files.size());
  if (n == 1) {
    if (QFileInfo(first).isDir())
      CompressFolder(first);
    else if (Module6::UnlhaCheckArchive(first, 1) != 0)
      ExtractArchive(first);
    else
      CompressFile(first);
  } else {
    const QString list = ListFilePath();
    {
      QFile f(list);
      if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        for (const QString& item : files) {
          QString base, name;
          const QString folder = Module6::SplitPath(item, base, name);
          // A folder is named whole (quoted), as a file is: its name may
          // hold dots and blanks.
          const bool isFolder = QFileInfo(item).isDir();
          const QString line = kQ + Module6::QuoteText(folder) + kQ + QStringLiteral(" ") + kQ +
                               Module6::QuoteText(name) + kQ +
                               (isFolder ? QStringLiteral(" -d1 ") : QStringLiteral(" -d0 ")) + kCrLf;
          f.write(line.toUtf8());
        }
        f.close();
      }
    }
    CompressList(first, list);
    QFile::remove(list);
  }
  Unload();
}

void AssyukuForm::ExtractArchive(const QString& archive) {
  QString base, name;
  const QString folder = Module6::SplitPath(archive, base, name);
  const QString sep = Module6::PathSeparator(folder + base);
  const QString command = QStringLiteral("x -d1 -y1 ") + kQ + Module6::QuoteText(archive) + kQ + QStringLiteral(" ") +
                          kQ + Module6::QuoteText(folder + base + sep) + kQ + QStringLiteral(" *.*");
  QString output;
  const int result = Module6::Unlha(&::Form1(), command, &output, 0);
  if (result != 0) failureBox(QStringLiteral("解凍に失敗しました。Error Code:0x"), result);
}

void AssyukuForm::CompressFolder(const QString& folder) {
  const QString sw = BuildSwitches(Combo1->currentIndex(), Combo2->currentIndex());
  const QString sep = Module6::PathSeparator(folder);
  QString command = QStringLiteral("a -d1 -y1 ") + sw + kQ + Module6::QuoteText(folder + QStringLiteral(".lzh")) + kQ +
                    QStringLiteral(" ") + kQ + Module6::QuoteText(folder + sep) + kQ + QStringLiteral(" *.*");
  RunUnlha(command, folder + QStringLiteral(".lzh"));
}

void AssyukuForm::CompressFile(const QString& file) {
  const QString sw = BuildSwitches(Combo1->currentIndex(), Combo2->currentIndex());
  const QString archive = ArchiveFor(Module6::StripExtension(file), file);
  QString command = QStringLiteral("a -y1 ") + sw + kQ + Module6::QuoteText(archive) + kQ + QStringLiteral(" ") + kQ +
                    Module6::QuoteText(file) + kQ + QStringLiteral(" ");
  RunUnlha(command, archive);
}

void AssyukuForm::CompressList(const QString& first, const QString& list) {
  const QString sw = BuildSwitches(Combo1->currentIndex(), Combo2->currentIndex());
  const QString archive = ArchiveFor(Module6::StripExtension(first), first);
  QString command = QStringLiteral("a -y1 ") + sw + kQ + Module6::QuoteText(archive) + kQ + QStringLiteral(" @") + kQ +
                    Module6::QuoteText(list) + kQ;
  RunUnlha(command, archive);
}

void AssyukuForm::RunUnlha(QString& command, const QString& archive) {
  QString aside;
  if (QFileInfo::exists(archive)) {
    const int answer = seams::MsgBox(archive + QStringLiteral("はすでに存在しています。") + kCrLf +
                                         QStringLiteral("ファイルを上書きしますか?") + kCrLf +
                                         QStringLiteral("(はいで上書き,いいえで追加圧縮,キャンセルで圧縮中止)"),
                                     seams::vbYesNoCancel | seams::vbInformation, QStringLiteral("上書き確認"));
    if (answer == seams::vbYes) {
      // The archive the user has is set aside, not deleted, until the new
      // one is whole: a pack that fails gives it back.
      aside = AsideName(archive);
      if (!QFile::rename(archive, aside)) {
        aside.clear();
        QFile::remove(archive);
      }
    } else if (answer == seams::vbNo) {
      command[0] = QLatin1Char('u');
    } else {
      seams::MsgBox(QStringLiteral("圧縮をキャンセルしました。"), seams::vbOKOnly | seams::vbCritical,
                    QStringLiteral("Failed"));
      return;
    }
  }
  const int result = Module6::Unlha(this, command, nullptr, 0);
  if (!aside.isEmpty()) {
    if (result == 0 || QFileInfo::exists(archive))
      QFile::remove(aside);
    else
      QFile::rename(aside, archive);
  }
  if (result != 0) failureBox(QStringLiteral("圧縮に失敗しました。Error Code:0x"), result);
}

QString AssyukuForm::AsideName(const QString& archive) {
  for (int i = 1;; ++i) {
    const QString name = archive + QStringLiteral(".old") + QString::number(i);
    if (!QFileInfo::exists(name)) return name;
  }
}

}  // namespace forms
