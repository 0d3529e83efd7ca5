#include "client/composer/composerhelp.h"

namespace composerhelp {

namespace {
QString q(const char16_t* s) { return QString::fromUtf16(s); }
const QString kCrLf = QStringLiteral("\r\n");
}  // namespace

QString helpFaceMarks() {
  return q(u"顔・絵文字の本文への挿入を行います。") + kCrLf + kCrLf +
         q(u"使用方法：使用したい顔・絵文字をマウスで選択状態（青色反転）にし、「新規作成本文に挿入」ボタンを。") +
         q(u"クリックしますと、本分中に挿入されます。") + kCrLf + kCrLf +
         q(u"素材の県名や氏名、電話番号はあなた用に変更してご使用下さい。画面を終了させると自動的に保存されます。") + kCrLf +
         q(u"上手な使用方法：素材が豊富ですので、お気に入りに追加しておいた方が良いでしょう。") + kCrLf +
         q(u"お気に入りに追加（注意:IEではありません）する場合も、マウスで選択状態にし、顔・絵文字画面での「お気に入りに追加」"
           u"ボタンをクリックして下さい。");
}

}  // namespace composerhelp
