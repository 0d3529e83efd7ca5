#pragma once
// Hover-help texts the new-mail and the reply composer share: those of the
// buttons both windows have for the same commands.
#include <QString>

namespace composerhelp {

inline constexpr char16_t kHelpStop[] = u"送信を中止します。";
inline constexpr char16_t kHelpHold[] =
    u"記入途中、あるいは書き終えたメールを保留（保存）とします。書き溜めておいて後でまとめて送信する場合に便利です。";
inline constexpr char16_t kHelpRecallHeld[] =
    u"保留（保存）扱いとしておいたメールデータを呼び出します。呼び出されたメールデータは右側のアドレス欄に件名のみが表示されます。"
    u"マウスで選択すると、メールアドレス、件名、本文に自動的に挿入されます。";
inline constexpr char16_t kHelpDeleteHeld[] = u"保留（保存）扱いとしていたメールデータの削除を１件単位で行います。";
inline constexpr char16_t kHelpAdd[] =
    u"添付ファイルを複数送信する際に使用します。確認しやすいように、リストボックスが表示されます。";
inline constexpr char16_t kHelpList[] =
    u"添付ファイルを複数選択した際、リストが自動的に表示されます。このリストの表示、非表示を操作します。リストが非表示になっても、"
    u"選択したファイルがクリアされた訳ではありません。クリアする場合は「取り消し」か「クリア」をクリックして下さい。";

// The face-mark button's help.
QString helpFaceMarks();

}  // namespace composerhelp
