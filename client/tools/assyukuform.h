#pragma once
// The folder compression window "フォルダを圧縮": the user picks a header level
// and a packing method and drops items on the window. One folder is packed
// into folder.lzh beside it; one file into an archive named after it, unless
// it is an archive already, which is then extracted; several items are
// packed together through the list file "rp.lst" in the program folder.
// Every drop ends with the window closed.
#include <QComboBox>
#include <QLabel>
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>

#include "platform/ui.h"

namespace forms {

class AssyukuForm : public ui::Form {
 public:
  // Label1(2) instruction, Label1(3) "ヘッダ形式：", Label1(4) "圧縮レベル：";
  // indices 0 and 1 are unused.
  std::array<QLabel*, 5> Label1{};
  QComboBox* Combo1;  // header levels
  QComboBox* Combo2;  // packing methods
  QLabel* Image1;     // the window's picture

  // The switch of each row of Combo1 and Combo2 (each ends with a blank).
  std::array<QString, 4> HeaderSwitch;
  std::array<QString, 6> MethodSwitch;
  // The last row of each list taken without a warning.
  std::int16_t LastHeader = 2;
  std::int16_t LastMethod = 2;
  // PathSeparator of the program folder.
  QString ListSep;

  void InitCompressOptions();
  QString BuildSwitches(int headerRow, int methodRow) const;
  void ExtractArchive(const QString& archive);
  void CompressFolder(const QString& folder);
  void CompressFile(const QString& file);
  void CompressList(const QString& first, const QString& list);
  // Asks before touching an existing archive; the command may become an
  // update ("u") of it. An archive to be overwritten is kept aside until the
  // new one is written, and put back when packing fails.
  void RunUnlha(QString& command, const QString& archive);

  // A row chosen in a list.
  void Combo1_Click();
  void Combo2_Click();
  // Items dropped on the window or any of its controls.
  void Form_OLEDragDrop(const QStringList& files);
  void Image1_OLEDragDrop(const QStringList& files) { Form_OLEDragDrop(files); }
  void Label1_OLEDragDrop(int index, const QStringList& files) {
    (void)index;
    Form_OLEDragDrop(files);
  }
  void Combo1_OLEDragDrop(const QStringList& files) { Form_OLEDragDrop(files); }
  void Combo2_OLEDragDrop(const QStringList& files) { Form_OLEDragDrop(files); }

  // The list file of a drop of several items.
  QString ListFilePath() const;

 private:
  // The archive for a stem: stem & ".lzh", unless that is one of the
  // dropped items itself (an archive dropped to be packed), which must not
  // be replaced: then item & ".lzh".
  QString ArchiveFor(const QString& stem, const QString& item) const;
  QStringList dropped_;  // the items of the drop being handled
  // A free name beside the archive to keep it under while it is replaced.
  static QString AsideName(const QString& archive);

 protected:
  void Form_Load() override;

 private:
  AssyukuForm();
  friend class ui::Accessor<AssyukuForm>;
};

}  // namespace forms

// The one AssyukuForm of the program (loaded hidden on first touch).
forms::AssyukuForm& AssyukuForm();
bool AssyukuFormLoaded();
