#include "oserror.h"

#include <cerrno>

namespace oserror {

QString reasonText(int err) {
  switch (err) {
    case EACCES:
    case EPERM: return QStringLiteral("アクセスが拒否されました");
    case ENOENT: return QStringLiteral("ファイルまたはフォルダが見つかりません");
    case ENOTDIR: return QStringLiteral("パスの途中にフォルダでないものがあります");
    case EISDIR: return QStringLiteral("同じ名前のフォルダがあります");
    case EEXIST: return QStringLiteral("同じ名前のファイルがすでにあります");
    case ENOTEMPTY: return QStringLiteral("フォルダが空ではありません");
    case ENOSPC: return QStringLiteral("ディスクの空き容量が足りません");
    case EDQUOT: return QStringLiteral("ディスクの使用量の上限に達しました");
    case EROFS: return QStringLiteral("書き込みのできないディスクです");
    case ENAMETOOLONG: return QStringLiteral("ファイル名が長すぎます");
    case EMFILE:
    case ENFILE: return QStringLiteral("開いているファイルが多すぎます");
    case EBUSY:
    case ETXTBSY: return QStringLiteral("ファイルが使用中です");
    case EIO: return QStringLiteral("ディスクの読み書きに失敗しました");
    case EFBIG: return QStringLiteral("ファイルが大きすぎます");
    case ELOOP: return QStringLiteral("リンクの参照が多すぎます");
    case EXDEV: return QStringLiteral("別のディスクへは移動できません");
    case EINVAL: return QStringLiteral("ファイル名または操作が正しくありません");
    case ENOMEM: return QStringLiteral("メモリが足りません");
    case EINTR: return QStringLiteral("操作が中断されました");
    case EAGAIN: return QStringLiteral("ファイルが一時的に使用できません");
    default: return QStringLiteral("エラー番号 %1").arg(err);
  }
}

}  // namespace oserror
