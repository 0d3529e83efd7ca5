// The main window (MainForm) as it is built: its labels, counters, hidden
// boxes, picture area, menus and tray icon, its hover help and the labels'
// clicks. Its loading and unloading (the program's start and end) are in
// startup.cpp, the menus' actions in menus.cpp, the race in race.cpp.

#include "client/mainwindow/mainform.h"

#include <QApplication>
#include <QCursor>
#include <QEvent>
#include <QFont>
#include <QHash>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QUrl>
#include <cmath>

#include "client/composer/friendform.h"
#include "client/composer/writeform.h"
#include "client/history/openmaillist.h"
#include "client/mainwindow/menus.h"
#include "client/mainwindow/mascot.h"
#include "client/mainwindow/playsound.h"
#include "client/mainwindow/race.h"
#include "client/mainwindow/receivemail.h"
#include "client/mainwindow/recordfile.h"
#include "client/mainwindow/setform.h"
#include "client/mainwindow/settings.h"
#include "client/tools/tenpfoldform.h"
#include "platform/dialup.h"
#include "platform/paths.h"
#include "platform/seams.h"
#include "platform/sound.h"
#include "platform/vbstring.h"

namespace {

ui::Accessor<forms::MainForm>& mainFormAccessor() {
  static ui::Accessor<forms::MainForm> a;
  return a;
}

// Colours of the main window.
const QColor kPanel(0, 24, 80);           // the panel under the labels
const QColor kHelpBox(64, 64, 64);        // the help box
const QColor kHelpText(128, 255, 255);    // its text
const QColor kHighlight(0, 255, 255);     // a hovered label
const QColor kNormal(255, 255, 255);      // QBColor(15)
const QString kLabelFont = QStringLiteral("ＭＳ Ｐゴシック");

struct HelpEntry {
  QString text;
  double highlight = 0;  // point size of the hovered control; 0: no highlight
};

// The hover help of every control that has one.
QHash<const QWidget*, HelpEntry>& helpTable() {
  static QHash<const QWidget*, HelpEntry> t;
  return t;
}

void setTextColour(QWidget* w, const QColor& c) {
  QPalette p = w->palette();
  p.setColor(QPalette::WindowText, c);
  p.setColor(QPalette::Text, c);
  p.setColor(QPalette::ButtonText, c);
  // A label that cannot be clicked (the mascot label not in turn) shows grey.
  p.setColor(QPalette::Disabled, QPalette::WindowText, QColor(128, 128, 128));
  w->setPalette(p);
}

void setPointSize(QWidget* w, double pt) {
  QFont f = w->font();
  f.setPointSizeF(pt);
  w->setFont(f);
}

void setBackground(QWidget* w, const QColor& c) {
  QPalette p = w->palette();
  p.setColor(QPalette::Window, c);
  w->setPalette(p);
  w->setAutoFillBackground(true);
}

// A label of the panel: white text on the panel, the label font.
QLabel* panelLabel(QWidget* parent, const QString& name, const QString& caption, int left, int top, int width,
                   int height, double pt = 9) {
  QLabel* l = ui::control<QLabel>(parent, name, left, top, width, height, caption);
  l->setFont(ui::font(kLabelFont, pt));
  l->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  setTextColour(l, kNormal);
  return l;
}

QLineEdit* box(QWidget* parent, const QString& name, int left, int top, int width, int height) {
  QLineEdit* t = ui::control<QLineEdit>(parent, name, left, top, width, height);
  t->setFont(ui::font(QStringLiteral("ＭＳ ゴシック"), 9));
  return t;
}

QLineEdit* hiddenBox(QWidget* parent, const QString& name) {
  QLineEdit* t = ui::control<QLineEdit>(parent, name, 0, 0, 1200, 300);
  t->hide();
  return t;
}

QPushButton* button(QWidget* parent, const QString& name, const QString& caption, int left, int top, int width,
                    int height) {
  QPushButton* b = ui::control<QPushButton>(parent, name, left, top, width, height, caption);
  b->setFont(ui::font(kLabelFont, 9));
  b->setStyleSheet(QStringLiteral("text-align: left; padding-left: 4px;"));
  return b;
}

}  // namespace

forms::MainForm& MainForm() { return mainFormAccessor()(); }
bool MainFormLoaded() { return mainFormAccessor().isLoaded(); }

namespace forms {

// ---------------------------------------------------------------------------
// PictureBox

PictureBox::PictureBox(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  image = QImage(1, 1, QImage::Format_RGB32);
  image.fill(Qt::black);
}

void PictureBox::Refresh() {
  ++refreshCount;
  update();
}

void PictureBox::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), Qt::black);
  p.drawImage(0, 0, image);
}

void PictureBox::resizeEvent(QResizeEvent*) { fitImage(); }

void PictureBox::fitImage() {
  if (image.size() == size()) return;
  QImage n(std::max(1, width()), std::max(1, height()), QImage::Format_RGB32);
  n.fill(Qt::black);
  QPainter p(&n);
  p.drawImage(0, 0, image);
  p.end();
  image = n;
}

// ---------------------------------------------------------------------------
// Layout

MainForm::MainForm() : ui::Form(QStringLiteral("MainForm")) {
  setCaption(QStringLiteral("ルボちゃんメール　～新着メールはボートレースでお知らせ～　Ver 1.0"));
  setBackground(client(), kPanel);

  // The strip above the race field and the race field itself.
  picMain2 = ui::control<PictureBox>(client(), QStringLiteral("picMain2"), 0, 0, 8760, 900);
  picMain = ui::control<PictureBox>(client(), QStringLiteral("picMain"), 0, 600, 8400, 2880);
  picMain->setMouseTracking(true);
  picMain->fitImage();
  picMain2->fitImage();
  paintBanner();
  picMain2->installEventFilter(this);
  picMain->installEventFilter(this);

  // Lane numbers beside the race field.
  static const char16_t* const lanes[6] = {u"①", u"②", u"③", u"④", u"⑤", u"⑥"};
  for (int k = 0; k < 6; ++k) {
    Label1[k] = panelLabel(client(), QStringLiteral("Label1_%1").arg(k), QString::fromUtf16(lanes[k]), 8445,
                           600 + 450 * k + 90, 300, 300, 11);
    Label1[k]->setAlignment(Qt::AlignCenter);
  }

  // Pictures that move with the boats, and the rain's label.
  static const int image3Top[6] = {195, 675, 1110, 1575, 2040, 2505};
  for (int k = 0; k < 6; ++k) {
    Image3[k] = ui::control<QLabel>(picMain, QStringLiteral("Image3_%1").arg(k), 8250, image3Top[k], 210, 195);
    Image3[k]->setAttribute(Qt::WA_TransparentForMouseEvents);
  }
  Label25 = ui::control<QLabel>(picMain, QStringLiteral("Label25"), 2700, 1140, 3000, 600,
                                QStringLiteral("休息日・・・"));
  Label25->setFont(ui::font(QStringLiteral("ＭＳ 明朝"), 20, true));
  Label25->setAlignment(Qt::AlignCenter);
  setTextColour(Label25, QColor(255, 255, 255));

  // The help box.
  Picture1 = ui::control<QWidget>(picMain, QStringLiteral("Picture1"), 2520, 300, 3375, 2055);
  setBackground(Picture1, kHelpBox);
  Label5 = ui::control<QLabel>(Picture1, QStringLiteral("Label5"), 240, 240, 3015, 1695);
  Label5->setFont(ui::font(kLabelFont, 9));
  Label5->setWordWrap(true);
  Label5->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  setBackground(Label5, kHelpBox);
  setTextColour(Label5, kHelpText);
  Picture1->hide();
  // A click on the help box does nothing: it does not reach the race field
  // beneath (whose right click opens its popup).
  Picture1->setAttribute(Qt::WA_NoMousePropagation);

  buildPanel();
  buildHidden();
  buildMenus();
  buildTray();

  // Outer size: the client area (8760 x 6120 twips) with the menu bar and the frame.
  setWidth(8760 + ui::tw(ui::frameExtra(this).width()));
  setHeight(6120 + ui::tw(menuBar()->sizeHint().height()) + ui::tw(ui::frameExtra(this).height()));
  setFixedSize(size());

  Timer = new QTimer(this);
  Timer->setObjectName(QStringLiteral("Timer"));
  Timer->setInterval(120);
  Timer1 = new QTimer(this);
  Timer1->setObjectName(QStringLiteral("Timer1"));
  Timer1->setInterval(1000);
  Timer2 = new QTimer(this);
  Timer2->setObjectName(QStringLiteral("Timer2"));
  Timer2->setInterval(1000);
  QObject::connect(Timer, &QTimer::timeout, this, [this] { Timer_Timer(); });
  QObject::connect(Timer1, &QTimer::timeout, this, [] { AutoCheckTick(); });
  QObject::connect(Timer2, &QTimer::timeout, this, [this] { Timer2_Timer(); });
}

// The strip above the race field: an evening sky over the course.
void MainForm::paintBanner() {
  QImage& img = picMain2->image;
  QPainter p(&img);
  QLinearGradient g(0, 0, 0, img.height());
  g.setColorAt(0, QColor(8, 16, 64));
  g.setColorAt(1, QColor(40, 110, 200));
  p.fillRect(img.rect(), g);
  p.setPen(QColor(255, 255, 255));
  p.setFont(ui::font(QStringLiteral("ＭＳ Ｐゴシック"), 14, true));
  p.drawText(QRect(12, 0, img.width() - 24, ui::px(600)), Qt::AlignLeft | Qt::AlignVCenter,
             QStringLiteral("♪ ルボちゃんメール"));
  p.setFont(ui::font(QStringLiteral("ＭＳ Ｐゴシック"), 9));
  p.setPen(QColor(180, 230, 255));
  p.drawText(QRect(12, 0, img.width() - 24, ui::px(600)), Qt::AlignRight | Qt::AlignVCenter,
             QStringLiteral("新着メールはボートレースでお知らせ"));
}

void MainForm::buildPanel() {
  Picture5 = ui::control<QWidget>(client(), QStringLiteral("Picture5"), 0, 3480, 8760, 2640);
  setBackground(Picture5, kPanel);

  // The labels that act as buttons.
  Label8 = panelLabel(Picture5, QStringLiteral("Label8"), QStringLiteral("受信"), 240, 150, 1500, 330);
  Label9 = panelLabel(Picture5, QStringLiteral("Label9"), QStringLiteral("新規作成"), 240, 540, 1500, 330);
  Label7 = panelLabel(Picture5, QStringLiteral("Label7"), QStringLiteral("着信履歴"), 240, 930, 1500, 330);
  Label6 = panelLabel(Picture5, QStringLiteral("Label6"), QStringLiteral("送信履歴"), 240, 1320, 1500, 330);
  Label17 = panelLabel(Picture5, QStringLiteral("Label17"), QStringLiteral("VIP  Room "), 240, 1710, 1620, 390, 12);
  Label10 = panelLabel(Picture5, QStringLiteral("Label10"), QStringLiteral("アドレス帳"), 1920, 150, 1800, 330);
  Label16 = panelLabel(Picture5, QStringLiteral("Label16"), QStringLiteral("添付フォルダ"), 1920, 540, 1800, 330);
  Label13 = panelLabel(Picture5, QStringLiteral("Label13"), QStringLiteral("   訓練タイム♪"), 1920, 930, 1800, 330);
  Label14 = panelLabel(Picture5, QStringLiteral("Label14"), QStringLiteral("訓練終了"), 1920, 1320, 1800, 330);
  Check1 = ui::control<QCheckBox>(Picture5, QStringLiteral("Check1"), 1920, 1755, 255, 255);
  Label12 = panelLabel(Picture5, QStringLiteral("Label12"), QStringLiteral("説明表示"), 2235, 1710, 1200, 330);
  Text1 = box(Picture5, QStringLiteral("Text1"), 240, 2190, 3480, 330);
  settings::guardEntry(Text1);

  // Counters.
  Label4 = panelLabel(Picture5, QStringLiteral("Label4"), QStringLiteral("着信件数"), 3900, 165, 1080, 300);
  Text3 = box(Picture5, QStringLiteral("Text3"), 4980, 150, 780, 330);
  Label3 = panelLabel(Picture5, QStringLiteral("Label3"), QStringLiteral("送信件数"), 3900, 555, 1080, 300);
  Text4 = box(Picture5, QStringLiteral("Text4"), 4980, 540, 780, 330);
  Label18 = panelLabel(Picture5, QStringLiteral("Label18"), QStringLiteral("VIP件数"), 3900, 945, 1080, 300);
  Text15 = box(Picture5, QStringLiteral("Text15"), 4980, 930, 780, 330);
  for (QLineEdit* t : {Text3, Text4, Text15}) t->setAlignment(Qt::AlignRight);

  // The counters of the last check.
  Picture2 = ui::control<QWidget>(Picture5, QStringLiteral("Picture2"), 3900, 1380, 1860, 1140);
  setBackground(Picture2, QColor(0, 48, 128));
  Label20 = panelLabel(Picture2, QStringLiteral("Label20"), QStringLiteral("新着"), 90, 30, 900, 270);
  Label21 = panelLabel(Picture2, QStringLiteral("Label21"), QStringLiteral("ＶＩＰ"), 90, 360, 450, 300);
  Text16 = box(Picture2, QStringLiteral("Text16"), 540, 345, 360, 330);
  Label22 = panelLabel(Picture2, QStringLiteral("Label22"), QStringLiteral("迷惑"), 990, 360, 420, 300);
  Text17 = box(Picture2, QStringLiteral("Text17"), 1410, 345, 360, 330);
  Label19 = panelLabel(Picture2, QStringLiteral("Label19"), QStringLiteral("新着表示"), 90, 750, 1080, 300);
  Check3 = ui::control<QCheckBox>(Picture2, QStringLiteral("Check3"), 1170, 780, 255, 255);

  // Race and sound buttons, the settings button and the finish list.
  Label2[1] = panelLabel(Picture5, QStringLiteral("Label2_1"), QStringLiteral("レース"), 5940, 120, 1140, 270);
  Command4 = button(Picture5, QStringLiteral("Command4"), QStringLiteral("     Start"), 5940, 420, 1140, 420);
  Command5 = button(Picture5, QStringLiteral("Command5"), QStringLiteral("     Stop"), 5940, 870, 1140, 420);
  Label2[2] = panelLabel(Picture5, QStringLiteral("Label2_2"), QStringLiteral("効果音"), 7140, 120, 1140, 270);
  Command10 = button(Picture5, QStringLiteral("Command10"), QStringLiteral("     ON"), 7140, 420, 1140, 420);
  Command9 = button(Picture5, QStringLiteral("Command9"), QStringLiteral("     OFF"), 7140, 870, 1140, 420);
  Command6 = button(Picture5, QStringLiteral("Command6"), QStringLiteral("    　設定"), 5940, 1500, 2340, 480);
  Label24 = panelLabel(Picture5, QStringLiteral("Label24"), QStringLiteral("Boat"), 8340, 120, 420, 270);
  List1 = ui::control<QListWidget>(Picture5, QStringLiteral("List1"), 8340, 420, 360, 2100);
  List1->setFont(ui::font(QStringLiteral("ＭＳ ゴシック"), 9));

  QObject::connect(Command4, &QPushButton::clicked, this, [this] { Command4_Click(); });
  QObject::connect(Command5, &QPushButton::clicked, this, [this] { Command5_Click(); });
  QObject::connect(Command10, &QPushButton::clicked, this, [this] { Command10_Click(); });
  QObject::connect(Command9, &QPushButton::clicked, this, [this] { Command9_Click(); });
  QObject::connect(Command6, &QPushButton::clicked, this, [this] { Command6_Click(); });

  // Hover help: text, and the point size of the highlight.
  auto& h = helpTable();
  h.clear();
  h[Label8] = {QStringLiteral("新着メールの受信を行います。"), 10};
  h[Label9] = {QStringLiteral("メールの新規作成・送信を行います。"), 10};
  h[Label7] = {QStringLiteral("着信（着信履歴）したメールを見ます。画面はマウスでストレッチが出来ます。"), 10};
  h[Label6] = {QStringLiteral("送信（送信履歴）したメールを見ます。送信したかな？　という時の確認に便利です。画面はマウスでス"
                              "トレッチが出来ます。"),
               10};
  h[Label17] = {QStringLiteral("あなたが設定したメールアドレスのみ、通常の着信履歴とは別の場所にメールデータを格納します。（メール"
                               "自動仕分け機能）設定は画面左の「設定」をクリックし、「ID,PASS」下方で行って下さい。設定した着"
                               "信メールの閲覧は、VIPRoomINをクリック！"),
                13};
  h[Label10] = {QStringLiteral("アドレス帳への登録を行います。着信からの自動入力、送信時の一発入力が可能になります。"), 10};
  h[Label16] = {QStringLiteral("送信されて来た添付ファイルが収められている「添付フォルダ」の中のファイル数を見る、画像を表示させ"
                               "る、実行ファイルを実行させる、ファイルの削除を行う等の操作を行います。詳細は「HELP参照」"),
                10};
  h[Label13] = {QStringLiteral("サラブレッドをデスクトップに出してあげます。サラブレッドはマウスで任意の位置にドラッグ出来ます。新"
                               "規作成、受信等の各種操作を行うと自動的にBGMの停止及び太鼓台の格納が成されます。"),
                10};
  h[Label14] = {QStringLiteral("サラブレッドを格納します。"), 10};
  h[Label12] = {QStringLiteral("マウスカーソルによる説明の表示の有無を設定します。チェックで表示、チェックを外すと非表示となります"
                               "。ここでの設定は、「新規作成」「着信履歴、送信履歴」「アドレス帳」でも反映されます。"),
                10};
  h[Label4] = {QStringLiteral("着信（受信）したメールの件数を表示しています。あまり溜めすぎると見づらくなります。「１件削除」ある"
                              "いは「全件削除」で件数の管理を行って下さい。"),
               0};
  h[Label3] = {QStringLiteral("送信したメールの件数を表示しています。あまり溜めすぎると見づらくなります。「１件削除」あるいは「全"
                              "件削除」で件数の管理を行って下さい。"),
               0};
  h[Label18] = {QStringLiteral("VIPRoomに着信したメール数を表示します。（VIPRoomの設定はHELP参照）"), 0};
  h[Label19] = {QStringLiteral("VIPRoomに新着があった場合、自動的にチェックが入ります。（VIPRoomの設定はHELP参照）"), 0};
  h[Label5] = {QStringLiteral("作者のホームページです。\r\n\r\n「ルボちゃんメール開発室」"), 10};
  h[Check1] = {QStringLiteral("メイン画面での、マウスカーソルによる説明の表示の有無を設定します。チェックで表示、チェックを外すと非"
                              "表示となります。ここでの設定は、「新規作成」「着信履歴、送信履歴」「アドレス帳」でも反映されます"
                              "。"),
               0};
  h[Text1] = {QStringLiteral("ここにあなたの名前を入力して下さい。設定は自動的に保存されます。「Enter」を押すと消去されます。入"
                             "力だけでOKです。"),
              0};
  h[Command4] = {QStringLiteral("新着メールチェック以外でもレースを楽しみます。"), 0};
  h[Command5] = {QStringLiteral("レースを中止します。"), 0};
  h[Command10] = {QStringLiteral("レースでの効果音の確認を行います。通常はレースのスタートで自動的に再生されます。"), 0};
  h[Command9] = {QStringLiteral("効果音を停止します。"), 0};
  h[Command6] = {QStringLiteral("ID,PASS,サーバーの設定。これを行わないと通信エラーになります。他に背景色、迷惑メール撃退の設定があ"
                                "ります。"),
                 0};
  // A move over the panel's own background (or a disabled label on it,
  // which takes no mouse) resets the help.
  auto* help = new ui::Hover(this, [this](QWidget* control) {
    if (control == Picture5) HoverReset();
    else ShowHelp(control);
  });
  help->watch(Picture5);
  for (auto it = h.begin(); it != h.end(); ++it) {
    QWidget* w = const_cast<QWidget*>(it.key());
    help->watch(w);
    w->installEventFilter(this);
  }
  // The labels that act as buttons take their clicks through the filter too.
  for (QLabel* l : {Label8, Label9, Label7, Label6, Label17, Label10, Label16, Label13, Label14, Label5})
    l->setCursor(Qt::PointingHandCursor);
}

void MainForm::buildHidden() {
  Text2 = hiddenBox(client(), QStringLiteral("Text2"));
  Text5 = hiddenBox(client(), QStringLiteral("Text5"));
  Text7 = hiddenBox(client(), QStringLiteral("Text7"));
  Text8 = hiddenBox(client(), QStringLiteral("Text8"));
  Text9 = hiddenBox(client(), QStringLiteral("Text9"));
  Text10 = hiddenBox(client(), QStringLiteral("Text10"));
  Text11 = hiddenBox(client(), QStringLiteral("Text11"));
  Text12 = hiddenBox(client(), QStringLiteral("Text12"));
  Text13 = hiddenBox(client(), QStringLiteral("Text13"));
  Text14 = hiddenBox(client(), QStringLiteral("Text14"));
  QObject::connect(Text5, &QLineEdit::textChanged, this, [this] { Text5_Change(); });

  ChkSynchro = ui::control<QCheckBox>(client(), QStringLiteral("ChkSynchro"), 0, 0, 255, 255);
  ChkLoop = ui::control<QCheckBox>(client(), QStringLiteral("ChkLoop"), 0, 0, 255, 255);
  ChkOnMem = ui::control<QCheckBox>(client(), QStringLiteral("ChkOnMem"), 0, 0, 255, 255);
  for (QCheckBox* c : {ChkSynchro, ChkLoop, ChkOnMem}) c->hide();

  timeLabel1 = ui::control<QLabel>(client(), QStringLiteral("timeLabel1"), 0, 0, 600, 255, QStringLiteral("時計"));
  Command3 = ui::control<QPushButton>(client(), QStringLiteral("Command3"), 0, 0, 600, 255, QStringLiteral("Start"));
  Command2 = ui::control<QPushButton>(client(), QStringLiteral("Command2"), 0, 0, 600, 255, QStringLiteral("切断"));
  Command1 = ui::control<QPushButton>(client(), QStringLiteral("Command1"), 0, 0, 600, 255, QStringLiteral("雨"));
  for (QWidget* w : std::initializer_list<QWidget*>{timeLabel1, Command3, Command2, Command1}) w->hide();
  QObject::connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
  QObject::connect(Command2, &QPushButton::clicked, this, [this] { Command2_Click(); });
  QObject::connect(Command3, &QPushButton::clicked, this, [this] {
    ResetAutoCheck();
    timeLabel1->setText(QStringLiteral("0"));
    Command3->setText(QStringLiteral("Stop"));
  });
}

void MainForm::buildMenus() {
  QMenuBar* bar = menuBar();
  auto menu = [](QWidget* parent, const QString& name, const QString& caption) {
    QMenu* m = new QMenu(caption, parent);
    m->setObjectName(name);
    return m;
  };
  auto item = [](QMenu* m, const QString& name, const QString& caption) {
    QAction* a = m->addAction(caption);
    a->setObjectName(name);
    return a;
  };
  auto line = [](QMenu* m, const QString& name) { m->addSeparator()->setObjectName(name); };

  mfile = menu(this, QStringLiteral("mfile"), QStringLiteral("ファイル(&F)"));
  mdesk = item(mfile, QStringLiteral("mdesk"), QStringLiteral("デスクトップにショートカット"));
  line(mfile, QStringLiteral("mnuline19"));
  mshinkida = menu(mfile, QStringLiteral("mshinkida"), QStringLiteral("新規作成"));
  mfile->addMenu(mshinkida);
  mshinki = item(mshinkida, QStringLiteral("mshinki"), QStringLiteral("新規作成（アドレス帳閉）"));
  mnushikiadores2 = item(mshinkida, QStringLiteral("mnushikiadores2"), QStringLiteral("新規作成（アドレス帳開）"));
  line(mfile, QStringLiteral("mnuline20"));
  mjyushin = item(mfile, QStringLiteral("mjyushin"), QStringLiteral("受信"));
  line(mfile, QStringLiteral("mline"));
  mtyakushin = item(mfile, QStringLiteral("mtyakushin"), QStringLiteral("着信履歴"));
  mkinkoda = menu(mfile, QStringLiteral("mkinkoda"), QStringLiteral("金庫"));
  mfile->addMenu(mkinkoda);
  mnukin = item(mkinkoda, QStringLiteral("mnukin"), QStringLiteral("金の金庫（開く）"));
  mnugin = item(mkinkoda, QStringLiteral("mnugin"), QStringLiteral("銀の金庫（開く）"));
  mnudou = item(mkinkoda, QStringLiteral("mnudou"), QStringLiteral("銅の金庫（開く）"));
  line(mfile, QStringLiteral("mnuline16"));
  msouhin = item(mfile, QStringLiteral("msouhin"), QStringLiteral("送信履歴"));
  line(mfile, QStringLiteral("mline5"));
  mnutenpfold = item(mfile, QStringLiteral("mnutenpfold"), QStringLiteral("添付フォルダ操作"));
  maddress = item(mfile, QStringLiteral("maddress"), QStringLiteral("アドレス帳"));
  line(mfile, QStringLiteral("mnuline18"));
  mend = item(mfile, QStringLiteral("mend"), QStringLiteral("終了"));
  bar->addMenu(mfile);

  msettei = menu(this, QStringLiteral("msettei"), QStringLiteral("設定(&T)"));
  mset = item(msettei, QStringLiteral("mset"), QStringLiteral("各種設定"));
  mnuspam = item(msettei, QStringLiteral("mnuspam"), QStringLiteral("Spam/迷惑メール撃退"));
  mnukojin = item(msettei, QStringLiteral("mnukojin"), QStringLiteral("個人用パスワード"));
  line(msettei, QStringLiteral("mnuline21"));
  mrantya2 = item(msettei, QStringLiteral("mrantya2"), QStringLiteral("ランチャー起動"));
  line(msettei, QStringLiteral("mline9"));
  mtime = item(msettei, QStringLiteral("mtime"), QStringLiteral("アナログ時計"));
  mflipset = item(msettei, QStringLiteral("mflipset"), QStringLiteral("フリプセ"));
  mnuair = item(msettei, QStringLiteral("mnuair"), QStringLiteral("エアホッケー"));
  mkarenda = item(msettei, QStringLiteral("mkarenda"), QStringLiteral("カレンダー"));
  line(msettei, QStringLiteral("mline30"));
  mfinwisp = item(msettei, QStringLiteral("mfinwisp"), QStringLiteral("フィンウィスプ成育状態を見る"));
  mfinwispresset = item(msettei, QStringLiteral("mfinwispresset"), QStringLiteral("フィンウィスプ成育のリセット"));
  line(msettei, QStringLiteral("mline10"));
  mnutask = item(msettei, QStringLiteral("mnutask"), QStringLiteral("タスクトレイに常駐"));
  line(msettei, QStringLiteral("mline2"));
  msmall = item(msettei, QStringLiteral("msmall"), QStringLiteral("Small"));
  bar->addMenu(msettei);

  massyuku = menu(this, QStringLiteral("massyuku"), QStringLiteral("圧縮・解凍(&A)"));
  mfassyuku = item(massyuku, QStringLiteral("mfassyuku"), QStringLiteral("フォルダの圧縮"));
  line(massyuku, QStringLiteral("mline7"));
  mfkaito = item(massyuku, QStringLiteral("mfkaito"), QStringLiteral("フォルダの解凍"));
  bar->addMenu(massyuku);

  mhelo = menu(this, QStringLiteral("mhelo"), QStringLiteral("HELP(&H)"));
  mtorisetu = item(mhelo, QStringLiteral("mtorisetu"), QStringLiteral("取り扱い（HELP）"));
  bar->addMenu(mhelo);

  // The race field popup (never in the bar).
  mpopup = menu(this, QStringLiteral("mpopup"), QStringLiteral("Popup"));
  mshinki2 = menu(mpopup, QStringLiteral("mshinki2"), QStringLiteral("新規作成"));
  mpopup->addMenu(mshinki2);
  mpopupshinki = item(mshinki2, QStringLiteral("mpopupshinki"), QStringLiteral("新規作成（アドレス帳閉）"));
  mpopupshinkiadrress = item(mshinki2, QStringLiteral("mpopupshinkiadrress"), QStringLiteral("新規作成（アドレス帳開）"));
  line(mpopup, QStringLiteral("mline14"));
  mpopupjyushin = item(mpopup, QStringLiteral("mpopupjyushin"), QStringLiteral("受信"));
  line(mpopup, QStringLiteral("mline13"));
  mpopuptyakushin = item(mpopup, QStringLiteral("mpopuptyakushin"), QStringLiteral("着信履歴"));
  mkinko = menu(mpopup, QStringLiteral("mkinko"), QStringLiteral("金庫"));
  mpopup->addMenu(mkinko);
  mnukin2 = item(mkinko, QStringLiteral("mnukin2"), QStringLiteral("金の金庫（開く）"));
  mnugin2 = item(mkinko, QStringLiteral("mnugin2"), QStringLiteral("銀の金庫（開く）"));
  mnudou2 = item(mkinko, QStringLiteral("mnudou2"), QStringLiteral("銅の金庫（開く）"));
  line(mpopup, QStringLiteral("mnuline17"));
  mpopupsoushin = item(mpopup, QStringLiteral("mpopupsoushin"), QStringLiteral("送信履歴"));
  line(mpopup, QStringLiteral("mline17"));
  mtenpfold = item(mpopup, QStringLiteral("mtenpfold"), QStringLiteral("添付フォルダ操作"));
  mpopset = item(mpopup, QStringLiteral("mpopset"), QStringLiteral("設定"));
  line(mpopup, QStringLiteral("mline15"));
  mtask2 = item(mpopup, QStringLiteral("mtask2"), QStringLiteral("タスクトレイに常駐"));

  // The tray popup.
  mnuPopup = menu(this, QStringLiteral("mnuPopup"), QStringLiteral("popup"));
  static const char16_t* const captions[9] = {u"メイン画面表示", u"-", u"新規作成", u"受信", u"-",
                                              u"着信履歴",       u"送信履歴", u"-", u"設定"};
  for (int i = 0; i < 9; ++i) {
    const QString c = QString::fromUtf16(captions[i]);
    QAction* a = c == u"-" ? mnuPopup->addSeparator() : mnuPopup->addAction(c);
    a->setObjectName(QStringLiteral("mnu_Popup_%1").arg(i));
    mnu_Popup[i] = a;
  }
  auto showMain = [this] {
    if (WindowState() == 1 || !Visible()) setWindowState(0);
    Show();
  };
  QObject::connect(mnu_Popup[0], &QAction::triggered, this, [showMain] { showMain(); });
  QObject::connect(mnu_Popup[2], &QAction::triggered, this, [this, showMain] {
    showMain();
    Label9_Click();
  });
  QObject::connect(mnu_Popup[3], &QAction::triggered, this, [this, showMain] {
    showMain();
    Label8_Click();
  });
  QObject::connect(mnu_Popup[5], &QAction::triggered, this, [this, showMain] {
    showMain();
    Label7_Click();
  });
  QObject::connect(mnu_Popup[6], &QAction::triggered, this, [this, showMain] {
    showMain();
    Label6_Click();
  });
  QObject::connect(mnu_Popup[8], &QAction::triggered, this, [] { ::SetForm().Show(); });

  wireMenus(*this);
}

void MainForm::buildTray() {
  TrayControl1 = new QSystemTrayIcon(this);
  TrayControl1->setObjectName(QStringLiteral("TrayControl1"));
  QObject::connect(TrayControl1, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
    // The tray's mouse codes: 0 the left button, 1 the right one; a double
    // or middle click gives codes the window ignores.
    switch (r) {
      case QSystemTrayIcon::Trigger: TrayControl1_MouseEvent(0); break;
      case QSystemTrayIcon::Context: TrayControl1_MouseEvent(1); break;
      case QSystemTrayIcon::DoubleClick: TrayControl1_MouseEvent(2); break;
      case QSystemTrayIcon::MiddleClick: TrayControl1_MouseEvent(3); break;
      default: TrayControl1_MouseEvent(4); break;
    }
  });
}

// ---------------------------------------------------------------------------
// Events

bool MainForm::eventFilter(QObject* watched, QEvent* e) {
  QWidget* w = qobject_cast<QWidget*>(watched);
  if (!w) return false;
  switch (e->type()) {
    case QEvent::MouseButtonPress: {
      auto* me = static_cast<QMouseEvent*>(e);
      if (w == Check1 && me->button() == Qt::LeftButton) {
        // Before the click changes the value.
        if (!Check1->isChecked()) Picture1->move(Picture1->x(), 20);
        else Picture1->move(Picture1->x(), 1000);
      }
      return false;
    }
    case QEvent::MouseButtonRelease: {
      auto* me = static_cast<QMouseEvent*>(e);
      if ((w == picMain || w == picMain2) && me->button() == Qt::RightButton) {
        mpopup->popup(me->globalPosition().toPoint());
        return true;
      }
      if (me->button() != Qt::LeftButton || !w->isEnabled() || !w->rect().contains(me->position().toPoint()))
        return false;
      if (w == Label8) Label8_Click();
      else if (w == Label9) Label9_Click();
      else if (w == Label7) Label7_Click();
      else if (w == Label6) Label6_Click();
      else if (w == Label17) Label17_Click();
      else if (w == Label10) Label10_Click();
      else if (w == Label16) Label16_Click();
      else if (w == Label13) Label13_Click();
      else if (w == Label14) Label14_Click();
      else if (w == Label5) Label5_Click();
      else return false;
      return true;
    }
    default: return false;
  }
}

void MainForm::showEvent(QShowEvent* e) {
  startHidden_ = false;
  ui::Form::showEvent(e);
}

QString MainForm::helpText(const QWidget* control) const { return helpTable().value(control).text; }

void MainForm::ShowHelp(QWidget* control) {
  const auto it = helpTable().constFind(control);
  if (it == helpTable().constEnd()) return;
  Picture1->show();
  Picture1->raise();
  QString shown = it->text;
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  Label5->setText(shown);
  if (it->highlight > 0) {
    setTextColour(control, kHighlight);
    setPointSize(control, it->highlight);
  }
}

void MainForm::HoverReset() {
  Picture1->hide();
  for (QLabel* l : {Label6, Label7, Label16, Label8, Label9, Label10, Label12, Label13, Label14, Label17})
    setTextColour(l, kNormal);
  for (QLabel* l : {Label9, Label8, Label7, Label16, Label6, Label10, Label12, Label13, Label14}) setPointSize(l, 9);
  setPointSize(Label17, 12);
}

// ---------------------------------------------------------------------------
// Actions

void MainForm::Label8_Click() {
  Label14_Click();
  Label5->setText(QStringLiteral("メールを受信します。"));
  Label14_Click();
  ReceiveMail();
  // The counters are brought up to date after every check, also when the
  // check started the race or the rain.
  CountReceived();
}

void MainForm::CountReceived() {
  Text3->setText(QString::number(std::max(records::MailFile(records::kReceivedFile).count(), 0)));
  Text15->setText(QString::number(std::max(records::MailFile(records::kVipFile).count(), 0)));
}

void MainForm::Label9_Click() {
  Label14_Click();
  ::WriteForm().Show();
  ::WriteForm().setWidth(9700);
}

void MainForm::Label7_Click() { OpenMailList(1); }
void MainForm::Label6_Click() { OpenMailList(2); }
void MainForm::Label17_Click() { OpenMailList(6); }

void MainForm::Label10_Click() {
  Label14_Click();
  ::FriendForm().Show();
}

void MainForm::Label16_Click() { ::TenpFoldForm().Show(); }

void MainForm::Label13_Click() {
  mascot::show();
  Label13->setEnabled(false);
  Label14->setEnabled(true);
}

void MainForm::Label14_Click() {
  mascot::away();
  Label13->setEnabled(true);
  Label14->setEnabled(false);
}

void MainForm::Label5_Click() {
  Label14_Click();
  seams::openUrl(QUrl::fromLocalFile(paths::resolve(QStringLiteral("\\help\\index.htm"))).toString());
}

void MainForm::Command2_Click() {
  QList<dialup::Link> links;
  if (!dialup::enumLinks(links)) return;
  for (const dialup::Link& l : links) dialup::hangUp(l);
}

void MainForm::Command6_Click() {
  Label14_Click();
  ::SetForm().Show();
}

void MainForm::Command9_Click() { StopSound(); }

void MainForm::Command10_Click() {
  StopSound();
  const int r = PlaySoundFile(paths::resolve(QStringLiteral("\\Sound\\Kouka.wav")), ChkSynchro->isChecked(),
                              ChkLoop->isChecked(), ChkOnMem->isChecked(), false);
  ShowPlaySoundError(r);
  // Without a sound device the play goes through silently; the test is the
  // one place where the user asks to hear it, so say why nothing sounds.
  if (r == kSoundPlayed && !sound::available())
    seams::MsgBox(QStringLiteral("サウンドデバイスが使用できないため、効果音を再生できません。"),
                  seams::vbOKOnly | seams::vbExclamation, QStringLiteral("エラー"));
}

void MainForm::Command1_Click() { race::RainStart(); }
void MainForm::Command4_Click() { race::RaceStart(); }
void MainForm::Command5_Click() { race::RaceStop(); }
void MainForm::InitData() { race::InitData(); }
void MainForm::DrawSnow() { race::DrawSnow(); }
void MainForm::Wait(std::int32_t ms) { race::Wait(ms); }
void MainForm::Timer_Timer() { race::FrameTick(); }

void MainForm::Text5_Change() {
  const double v = vb::Val(Text5->text());
  const bool whole = std::isfinite(v) && v == std::trunc(v) && std::fabs(v) < 1e15;
  settings::writeText(settings::key::MainText5Number,
                      whole ? QString::number(static_cast<long long>(v)) : QString::number(v, 'g', 15));
}

void MainForm::Timer2_Timer() { Text2->setText(seams::dateTimeText(seams::now())); }

void MainForm::TrayControl1_MouseEvent(int code) {
  if (code == 0) {
    seams::MsgBox(QStringLiteral("右クリックを使用して下さい。"), seams::vbOKOnly | seams::vbInformation);
  } else if (code == 1) {
    mnuPopup->popup(QCursor::pos());
  }
}

void MainForm::IntoTray() {
  TrayControl1->setIcon(windowIcon());
  TrayControl1->setToolTip(seams::now().toString(QStringLiteral("yyyy/MM/dd H:mm:ss")));
  if (QSystemTrayIcon::isSystemTrayAvailable()) TrayControl1->show();
  if (QSystemTrayIcon::isSystemTrayAvailable() && TrayControl1->isVisible()) {
    Hide();
  } else {
    // No tray to come back from: the window is only minimised.
    setWindowState(1);
  }
}

}  // namespace forms
