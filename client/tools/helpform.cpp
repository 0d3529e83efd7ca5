#include "client/tools/helpform.h"

#include <QFileInfo>
#include <algorithm>

#include "client/mainwindow/settings.h"
#include "platform/paths.h"
#include "platform/vbstring.h"

namespace {
ui::Accessor<forms::HelpForm>& accessor() {
  static ui::Accessor<forms::HelpForm> a;
  return a;
}

// The design client area.
constexpr int kDesignScaleWidth = 10770;
constexpr int kDesignScaleHeight = 6270;
}  // namespace

forms::HelpForm& HelpForm() { return accessor()(); }
bool HelpFormLoaded() { return accessor().isLoaded(); }

namespace forms {

HelpForm::HelpForm() : ui::Form(QStringLiteral("HelpForm")) {
  setCaption(QStringLiteral("HELP"));
  const struct {
    QPushButton** button;
    const char* name;
    const char16_t* caption;
    int left;
    const char16_t* page;
  } buttons[] = {
      {&Command1, "Command1", u"始めに", 0, u"\\help\\index.htm"},
      {&Command2, "Command2", u"解凍", 1320, u"\\help\\index2.htm"},
      {&Command3, "Command3", u"初期設定", 2640, u"\\help\\index3.htm"},
      {&Command4, "Command4", u"メールを使用", 3960, u"\\help\\index4.htm"},
      {&Command7, "Command7", u"フォルダ操作", 5280, u"\\help\\index8.htm"},
      {&Command6, "Command6", u"送信あれこれ", 6600, u"\\help\\index9.htm"},
  };
  for (const auto& b : buttons) {
    *b.button = ui::control<QPushButton>(client(), QString::fromLatin1(b.name), b.left, 0, 1335, 300,
                                         QString::fromUtf16(b.caption));
    const QString page = QString::fromUtf16(b.page);
    connect(*b.button, &QPushButton::clicked, this, [this, page] { ShowPage(page); });
  }
  WebBrowser1 = ui::control<QTextBrowser>(client(), QStringLiteral("WebBrowser1"), 0, 360, 9375, 6015);
  // Links are followed here, and only to local pages: the window never goes
  // to the network.
  WebBrowser1->setOpenLinks(false);
  WebBrowser1->setOpenExternalLinks(false);
  connect(WebBrowser1, &QTextBrowser::anchorClicked, this, [this](const QUrl& link) {
    const QUrl target = WebBrowser1->source().resolved(link);
    if (target.isLocalFile()) navigate(target);
  });
  const QSize extra = ui::frameExtra(this);
  Move(1800, 1200, kDesignScaleWidth + ui::tw(extra.width()), kDesignScaleHeight + ui::tw(extra.height()));
  // The row of buttons keeps its place at every size: the window is never
  // made narrower or lower than it needs.
  ui::holdControls(this, {Command6, Command7});
}

void HelpForm::navigate(const QUrl& url) {
  const QString file = url.toLocalFile();
  if (QFileInfo(file).isFile()) {
    WebBrowser1->setSource(url);
    return;
  }
  // What a browser shows for a page it cannot find.
  WebBrowser1->clear();
  WebBrowser1->setHtml(QStringLiteral("<h3>ページが見つかりません</h3><p>%1</p>").arg(file.toHtmlEscaped()));
}

void HelpForm::ShowPage(const QString& programPath) {
  navigate(QUrl::fromLocalFile(paths::resolve(programPath)));
}

void HelpForm::Form_Load() {
  // The size kept from the last closing; nothing kept gives the design size.
  const int w = settings::readNumber(settings::key::HelpWidth);
  const int h = settings::readNumber(settings::key::HelpHeight);
  const QSize extra = ui::frameExtra(this);
  setWidth(w > 0 ? w : kDesignScaleWidth + ui::tw(extra.width()));
  setHeight(h > 0 ? h : kDesignScaleHeight + ui::tw(extra.height()));
  ShowPage(QStringLiteral("\\help\\index.htm"));
  Form_Resize();
}

void HelpForm::Form_Resize() {
  const int W = Width();
  const int H = Height();
  const QRect g = WebBrowser1->geometry();
  // The width follows at every size, the height only above 3500 twips.
  const int width = ui::px(vb::CLng(W * 0.98));
  const int height = H > 3500 ? ui::px(H - ui::tw(Command1->height()) - 500) : g.height();
  // (never beyond the client area, where the rule's allowance for the frame
  // falls short of the frame this window has)
  WebBrowser1->setGeometry(g.x(), g.y(), std::clamp(width, 0, std::max(0, client()->width() - g.x())),
                           std::clamp(height, 0, std::max(0, client()->height() - g.y())));
}

void HelpForm::Form_Unload(int& cancel) {
  (void)cancel;
  settings::writeNumber(settings::key::HelpWidth, Width());
  settings::writeNumber(settings::key::HelpHeight, Height());
}

}  // namespace forms
