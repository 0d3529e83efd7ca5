#pragma once
// The help window "HELP": the help pages in the folder "\help\" beside the
// program, one button per chapter. Pages come only from local files.
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>

#include "platform/ui.h"

namespace forms {

class HelpForm : public ui::Form {
 public:
  QPushButton* Command1;      // "始めに"       \help\index.htm
  QPushButton* Command2;      // "解凍"         \help\index2.htm
  QPushButton* Command3;      // "初期設定"     \help\index3.htm
  QPushButton* Command4;      // "メールを使用" \help\index4.htm
  QPushButton* Command7;      // "フォルダ操作" \help\index8.htm
  QPushButton* Command6;      // "送信あれこれ" \help\index9.htm
  QTextBrowser* WebBrowser1;  // shows the pages

  // Shows a page given as a program path ("\help\index.htm").
  void ShowPage(const QString& programPath);
  // The address of the page on show.
  QUrl CurrentPage() const { return WebBrowser1->source(); }

 protected:
  void Form_Load() override;
  void Form_Resize() override;
  void Form_Unload(int& cancel) override;

 private:
  HelpForm();
  friend class ui::Accessor<HelpForm>;
  void navigate(const QUrl& url);
};

}  // namespace forms

// The one help window of the program (loaded hidden on first touch).
forms::HelpForm& HelpForm();
bool HelpFormLoaded();
