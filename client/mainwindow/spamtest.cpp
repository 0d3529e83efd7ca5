// The spam test of the mail check: the keywords of the keyword file, read
// again only when the file changed, and the test of a mail's subject and
// sender against them (in its boxes, selecting the hit, or without boxes
// for the look-ahead). What becomes of a spam mail is storemail.cpp's.
#include "client/mainwindow/mailcheck.h"

#include <sys/stat.h>

#include <QFile>
#include <QString>

#include <vector>

#include "client/mainwindow/globals.h"
#include "client/mainwindow/mailwait.h"
#include "client/mainwindow/mainform.h"
#include "client/mainwindow/recordfile.h"
#include "platform/paths.h"
#include "platform/vbstring.h"

namespace mailcheck {

const std::vector<records::SpamKeywordRecord>& Keywords::current() {
  if (valid && turns == mailwait::turns()) return list;
  turns = mailwait::turns();
  struct stat now {};
  const bool exists = ::stat(path.constData(), &now) == 0;
  if (valid && exists && now.st_ino == seen.st_ino && now.st_size == seen.st_size &&
      now.st_mtim.tv_sec == seen.st_mtim.tv_sec && now.st_mtim.tv_nsec == seen.st_mtim.tv_nsec)
    return list;
  records::SpamKeywordFile file(records::kSpamKeywordFile);
  // No keywords to be had: every mail is kept.
  if (!file.readAll(list)) list.clear();
  trimmed.clear();
  trimmed.reserve(list.size());
  for (const records::SpamKeywordRecord& rec : list) trimmed.push_back(vb::Trim(rec.Keyword));
  path = QFile::encodeName(file.path());
  valid = ::stat(path.constData(), &seen) == 0;
  return list;
}

bool Keywords::hit(const QString& subject, const QString& from) {
  current();
  const QString s = vb::Trim(subject), f = vb::Trim(from);
  for (const QString& k : trimmed)
    if (!k.isEmpty() && (s.contains(k, Qt::CaseSensitive) || f.contains(k, Qt::CaseSensitive))) return true;
  return false;
}

bool isSpam(forms::MainForm& m, Keywords& keywords) {
  const std::vector<records::SpamKeywordRecord>& all = keywords.current();
  const Trimmed subject(m.Text10), sender(m.Text11);
  bool hit = false;
  std::size_t tried = 0;  // the keyword tried last, + 1
  for (std::size_t k = 0; k < all.size(); ++k) {
    tried = k + 1;
    const QString& keyword = keywords.trimmed[k];
    if (keyword.isEmpty()) continue;
    if (subject.find(keyword) || sender.find(keyword)) {
      hit = true;
      break;
    }
  }
  // SpamKeywordRec and Text9 show the keyword tried last (the check does not
  // yield meanwhile).
  if (tried > 0) {
    SpamKeywordRec = all[tried - 1];
    m.Text9->setText(keywords.trimmed[tried - 1]);
  }
  return hit;
}

}  // namespace mailcheck
