#include "client/mainwindow/gekitaiform.h"

#include <QEvent>

namespace {

ui::Accessor<forms::GekitaiForm>& gekitaiAccessor() {
  static ui::Accessor<forms::GekitaiForm> a;
  return a;
}

}  // namespace

namespace forms {

GekitaiForm::GekitaiForm() : ui::Form(QStringLiteral("GekitaiForm")) {
  setCaption(QStringLiteral("Spam/迷惑メール撃退"));
  Move(2000, 2000, 6240, 5430);

  Label2 = ui::control<QLabel>(client(), QStringLiteral("Label2"), 240, 240, 4200, 255,
                               QStringLiteral("撃退用キーワードの登録"));
  Text1 = ui::control<QLineEdit>(client(), QStringLiteral("Text1"), 240, 540, 4320, 330);
  Command1 = ui::control<QPushButton>(client(), QStringLiteral("Command1"), 4680, 510, 1320, 390,
                                      QStringLiteral("登録"));
  List1 = ui::control<QListWidget>(client(), QStringLiteral("List1"), 240, 1020, 4320, 2280);
  Command2 = ui::control<QPushButton>(client(), QStringLiteral("Command2"), 4680, 1020, 1320, 390,
                                      QStringLiteral("削除"));
  Text2 = ui::control<QPlainTextEdit>(client(), QStringLiteral("Text2"), 240, 3480, 5760, 1200);
  Text2->setReadOnly(true);
  Text2->setVisible(false);

  connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
  connect(Command2, &QPushButton::clicked, this, [this] { Command2_Click(); });
  connect(Text1, &QLineEdit::textChanged, this, [this] { limitKeyword(); });

  // Mouse-over help: the controls and the background report every move.
  for (QWidget* w : {client(), static_cast<QWidget*>(Text1), static_cast<QWidget*>(Command1),
                     static_cast<QWidget*>(Command2), static_cast<QWidget*>(List1), List1->viewport()}) {
    w->setMouseTracking(true);
    w->installEventFilter(this);
  }
}

void GekitaiForm::Form_Load() {}

void GekitaiForm::ListKeywords() {}

void GekitaiForm::Command1_Click() {}

void GekitaiForm::Command2_Click() {}

void GekitaiForm::limitKeyword() {}

void GekitaiForm::showHelp(const QString& text) {
  Text2->setPlainText(text);
  Text2->setVisible(true);
}

void GekitaiForm::hideHelp() { Text2->setVisible(false); }

bool GekitaiForm::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseMove || event->type() == QEvent::Enter) {
    if (watched == Command1)
      showHelp(QStringLiteral("登録は１件につき全角で１００文字（半角では２００文字）、件数は無制限に登録できます。登録した文字を"
                              "送信してきたメールアドレス、件名内から検索し、あなたの目に触れることなく削除します。"));
    else if (watched == Text1)
      showHelp(QStringLiteral("登録は１件につき全角で１００文字（半角では２００文字）、件数は無制限に登録できます。登録した文字を"
                              "送信してきたメールアドレス、件名から検索し、あなたの目に触れることなく削除します。"));
    else if (watched == Command2)
      showHelp(QStringLiteral("不要になったキーワードを削除します。リストでデータを選択し、このボタンをクリックして下さい。"));
    else if (watched == client() || watched == List1 || watched == List1->viewport())
      hideHelp();
  }
  return ui::Form::eventFilter(watched, event);
}

}  // namespace forms

forms::GekitaiForm& GekitaiForm() { return gekitaiAccessor()(); }
