// The conversation of the mail check with the server: the login, the
// unique ids, the look-ahead of a pipelining server, the mails in order
// (each stored by storemail.cpp), the deletions' answers, the session's
// end, and after a break the new connection that asks again for the
// deletions the broken one took with it and goes on with the mails left.
#include "client/mainwindow/mailcheck.h"

#include <QString>
#include <QStringList>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include <strings.h>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "client/mainwindow/globals.h"
#include "client/mainwindow/mailwait.h"
#include "client/mainwindow/recordfile.h"
#include "client/mainwindow/setform.h"
#include "client/mainwindow/settings.h"
#include "nmail/nmail.h"
#include "platform/codepage.h"
#include "platform/vbstring.h"

namespace mailcheck {

namespace {

// What the user has to know when the conversation broke: the mails stored
// so far are on the server still (no session end reached it) and come again.
QString brokenNote(int stored) {
  return QStringLiteral("サーバーとの接続が切れたため、受信したメール %1 通もサーバーから削除されていません。"
                        "次の受信で同じメールがもう一度届きます。")
      .arg(stored);
}

// The mails after the current one, tested for spam ahead (their headers
// come in one go) so that the retrievals of those that are kept are on
// their way before they are needed. Spam is never asked for. Only with a
// server that takes pipelined commands.
constexpr int kLookAhead = 100;

struct LookAhead {
  bool on = false;
  int next = 1;  // the next mail to test
  const std::vector<char>* take = nullptr;  // [no - 1]: 1 for the mails the session takes
  Buffers scratch;

  void upTo(int handle, int i, int n, Keywords& keywords) {
    const int last = static_cast<int>(std::min<long long>(n, static_cast<long long>(i) + kLookAhead - 1));
    while (on && next <= last) {
      const int j = next++;
      if (take && !(*take)[static_cast<std::size_t>(j - 1)]) continue;
      scratch.clear();
      // A failure here is met again in order, where it stops the check.
      if (NMailPop3GetMailStatus(handle, j, scratch.subject.data(), scratch.date.data(), scratch.from.data(),
                                 scratch.header.data(), 0) < 0) {
        on = false;
        break;
      }
      if (keywords.hit(bufferText(scratch.subject), bufferText(scratch.from))) continue;
      if (NMailPop3FetchAhead(handle, j) < 0) on = false;
    }
  }
};

// The server's answers to the deletions: a refused one leaves its mail on
// the server (a stored mail comes again at the next check), a broken
// conversation all of them.
void readDeletions(int handle, Outcome& out) {
  QStringList kept, spamKept;
  QString reason;
  for (const Outcome::Deleted& d : out.deleted) {
    const int r = NMailPop3GetDeleteResult(handle, d.no);
    if (r == NMAIL_SUCCESS) continue;
    if (r == NMAIL_ERR_IO) {
      out.broken = true;
      out.breakMessage = libraryMessage();
      return;
    }
    if (reason.isEmpty()) reason = libraryMessage();
    (d.spam ? spamKept : kept) << mailNo(d.shown, out.total);
    for (Outcome::Taken& t : out.taken)
      if (t.shown == d.shown) t.refused = true;
  }
  QStringList lines;
  if (!kept.isEmpty())
    lines << QStringLiteral("メール %1 は保存しましたが、サーバーが削除を断ったため、サーバーに残っています。"
                            "次の受信で同じメールがもう一度届きます。")
                 .arg(kept.join(QStringLiteral("、")));
  if (!spamKept.isEmpty())
    lines << QStringLiteral("迷惑メール %1 をサーバーから削除できませんでした。").arg(spamKept.join(QStringLiteral("、")));
  if (!lines.isEmpty()) out.errors << lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n") + reason;
}

// New connections one check makes at most after its conversation broke.
constexpr int kMaxReconnects = 3;

// Logs in with the check's account (APOP as set): the mails waiting, or < 0.
int login(int handle) {
  return NMailPop3Authenticate(handle, cp932::encode(UserId).c_str(), cp932::encode(UserPassword).c_str(),
                               UseApop != 0 ? -1 : 0);
}

// What one session takes: its mails, named by their unique ids when the
// server gives them, and the numbers the boxes show.
struct Plan {
  int count = 0;
  std::vector<std::string> ids;  // [no - 1]; empty when the server names none
  std::vector<char> take;        // [no - 1]: 1 for a mail the session takes
  std::vector<int> shown;        // [no - 1]

  void all(int n) {
    count = std::max(n, 0);
    ids.clear();
    take.assign(static_cast<std::size_t>(count), 1);
    shown.resize(static_cast<std::size_t>(count));
    for (int j = 0; j < count; ++j) shown[static_cast<std::size_t>(j)] = j + 1;
  }
  std::string idOf(int no) const { return ids.empty() ? std::string() : ids[static_cast<std::size_t>(no - 1)]; }
};

// The unique ids of the session's mails (UIDL, one listing). NMAIL_SUCCESS,
// NMAIL_ERR_PROTOCOL when the server gives none, NMAIL_ERR_IO when the
// conversation broke.
int uniqueIds(int handle, Plan& plan) {
  plan.ids.assign(static_cast<std::size_t>(plan.count), std::string());
  std::vector<char> id(128);
  for (int j = 1; j <= plan.count; ++j) {
    const int r = NMailPop3GetUidl(handle, j, id.data(), static_cast<int>(id.size()));
    if (r > 0) {
      plan.ids[static_cast<std::size_t>(j - 1)] = id.data();
    } else if (r == NMAIL_ERR_PROTOCOL || r == NMAIL_ERR_IO) {
      plan.ids.clear();
      return r;
    }
  }
  return NMAIL_SUCCESS;
}

// The mails of a session after a break that are mails known from before
// (taken or left) under new unique ids, found by their size and header.
class SameMail {
 public:
  SameMail(int handle, const Plan& plan, const std::set<std::string>& takenIds, const std::set<std::string>& leftIds)
      : handle_(handle), plan_(plan), takenIds_(takenIds), leftIds_(leftIds),
        claim_(static_cast<std::size_t>(plan.count), 0), seen_(static_cast<std::size_t>(plan.count)) {}

  // The number of the mail that is known: > 0 found (and claimed), 0 none
  // is (it is gone from the server), -1 some may be it but cannot be told
  // apart (they are claimed all the same). broken: the conversation broke.
  int find(const Outcome::Known& k) {
    std::vector<int> maybe;
    for (int j = 1; j <= plan_.count && !broken; ++j) {
      if (claimed(j)) continue;
      const std::string id = plan_.idOf(j);
      if (!id.empty() && (takenIds_.count(id) || leftIds_.count(id))) continue;
      if (k.header.empty()) {
        maybe.push_back(j);
        continue;
      }
      long long size = -1;
      if (k.size >= 0) {
        const int listed = NMailPop3GetMailSize(handle_, j);
        if (listed < 0) {
          if (listed == NMAIL_ERR_IO) broken = true;
          else maybe.push_back(j);
          continue;
        }
        size = listed;
        // (a server may add a short status line to a mail it has sent)
        if (std::llabs(size - k.size) > 1024) continue;
      }
      Seen& s = seen(j);
      if (s.result < 0) {
        if (s.result == NMAIL_ERR_IO) broken = true;
        else maybe.push_back(j);
        continue;
      }
      if (sameHeader(s.header, size, k)) {
        claim_[static_cast<std::size_t>(j - 1)] = 1;
        return j;
      }
    }
    if (broken) return 0;
    for (int j : maybe) claim_[static_cast<std::size_t>(j - 1)] = 1;
    return maybe.empty() ? 0 : -1;
  }
  bool claimed(int j) const { return claim_[static_cast<std::size_t>(j - 1)] != 0; }
  bool broken = false;

 private:
  struct Seen {
    bool asked = false;
    int result = 0;
    std::string header;
  };
  Seen& seen(int j) {
    Seen& s = seen_[static_cast<std::size_t>(j - 1)];
    if (s.asked) return s;
    s.asked = true;
    Buffers b;
    s.result = NMailPop3GetMailStatus(handle_, j, b.subject.data(), b.date.data(), b.from.data(), b.header.data(), 0);
    if (s.result >= 0) s.header = bufferBytes(b.header);
    return s;
  }
  // The header without the lines a server writes of its own into a mail it
  // keeps (its read status, its id), unfolded lines kept as they are.
  static std::string steady(std::string_view h) {
    static const char* const kOwn[] = {"status:", "x-status:", "x-uidl:", "x-keywords:", "x-mozilla-status:",
                                       "x-mozilla-status2:"};
    std::string out;
    bool skipping = false;
    for (std::size_t at = 0; at < h.size();) {
      std::size_t end = h.find('\n', at);
      end = end == std::string_view::npos ? h.size() : end + 1;
      const std::string_view line = h.substr(at, end - at);
      at = end;
      const bool folded = !line.empty() && (line[0] == ' ' || line[0] == '\t');
      if (!folded) {
        skipping = false;
        for (const char* own : kOwn) {
          const std::size_t n = std::strlen(own);
          if (line.size() >= n && ::strncasecmp(line.data(), own, n) == 0) skipping = true;
        }
      }
      if (!skipping) out += line;
    }
    return out;
  }
  static bool sameHeader(const std::string& header, long long size, const Outcome::Known& k) {
    if (steady(header) != steady(k.header)) return false;
    // The rest of the mail is as long as it was, unless a header was cut
    // to its buffer.
    if (size < 0 || k.size < 0) return true;  // (a mail not fetched is known by its header alone)
    const bool cut = header.size() + 1 >= static_cast<std::size_t>(kTextBuffer) ||
                     k.header.size() + 1 >= static_cast<std::size_t>(kTextBuffer);
    return cut || size - static_cast<long long>(header.size()) == k.size - static_cast<long long>(k.header.size());
  }

  int handle_;
  const Plan& plan_;
  const std::set<std::string>& takenIds_;
  const std::set<std::string>& leftIds_;
  std::vector<char> claim_;
  std::vector<Seen> seen_;
};

// The session after a break: the deletions the broken one took with it are
// asked for again, each mail found by its unique id (a mail gone from the
// server meanwhile is passed over), and the session takes the mails not
// yet taken nor left. Without unique ids no mail taken before can be named
// (they stay on the server), and the session takes the mails from number
// resume on, as the broken one numbered them.
void planAgain(int handle, Plan& plan, Outcome& out, std::map<std::string, int>& shownOf, int resume, bool more) {
  plan.take.assign(static_cast<std::size_t>(plan.count), 0);
  plan.shown.assign(static_cast<std::size_t>(plan.count), 0);
  if (plan.count == 0) return;  // the mails taken are gone from the server
  if (plan.ids.empty()) {
    for (Outcome::Taken& t : out.taken) t.stranded = !t.refused;
    for (int j = std::max(resume, 1); more && j <= plan.count; ++j) {
      plan.take[static_cast<std::size_t>(j - 1)] = !out.leftNos.count(j);
      plan.shown[static_cast<std::size_t>(j - 1)] = j;
    }
    out.total = std::max(out.total, plan.count);
    return;
  }
  std::map<std::string, int> noOf;
  for (int j = 1; j <= plan.count; ++j)
    if (!plan.idOf(j).empty()) noOf.emplace(plan.idOf(j), j);
  std::set<std::string> takenIds;
  for (const Outcome::Taken& t : out.taken)
    if (!t.id.empty()) takenIds.insert(t.id);
  // A server may name its mails anew in every session. A mail taken or left
  // before whose id is not found again is looked for by its size and header
  // among the mails whose ids name none known; one that may be it but cannot
  // be told apart (its header does not come) is not taken either.
  SameMail same(handle, plan, takenIds, out.leftIds);
  std::vector<int> foundAt(out.taken.size(), 0);
  for (std::size_t k = 0; k < out.taken.size(); ++k) {
    Outcome::Taken& t = out.taken[k];
    if (t.stranded || t.refused) continue;
    if (t.id.empty()) {
      t.stranded = true;
      continue;
    }
    const auto it = noOf.find(t.id);
    if (it != noOf.end()) {
      foundAt[k] = it->second;
      continue;
    }
    const int j = same.find(t.known);
    if (same.broken) {
      out.broken = true;
      out.breakMessage = libraryMessage();
      return;
    }
    if (j > 0) {
      foundAt[k] = j;
    } else if (j < 0) {
      t.stranded = true;
      t.unsure = true;
    }
  }
  for (const Outcome::Known& left : out.leftKnown) {
    // (a mail still under its id is known; one of unknown header is not looked for)
    if (left.header.empty() || left.id.empty() || noOf.count(left.id)) continue;
    same.find(left);
    if (same.broken) {
      out.broken = true;
      out.breakMessage = libraryMessage();
      return;
    }
  }
  for (std::size_t k = 0; k < out.taken.size(); ++k) {
    const Outcome::Taken& t = out.taken[k];
    if (foundAt[k] == 0) continue;
    const int r = NMailPop3DeleteAhead(handle, foundAt[k]);
    if (r == NMAIL_ERR_IO) {
      out.broken = true;
      out.breakMessage = libraryMessage();
      return;
    }
    if (r == NMAIL_SUCCESS) out.deleted.push_back({foundAt[k], t.shown, t.spam});
  }
  for (int j = 1; more && j <= plan.count; ++j) {
    const std::string id = plan.idOf(j);
    if (!id.empty() && (takenIds.count(id) || out.leftIds.count(id))) continue;
    if (same.claimed(j)) continue;
    plan.take[static_cast<std::size_t>(j - 1)] = 1;
    // A mail that came meanwhile goes on from the last number shown.
    int& shown = plan.shown[static_cast<std::size_t>(j - 1)];
    const auto known = id.empty() ? shownOf.end() : shownOf.find(id);
    if (known != shownOf.end()) {
      shown = known->second;
    } else {
      shown = ++out.total;
      if (!id.empty()) shownOf.emplace(id, shown);
    }
  }
}

// "件名「…」、差出人「…」。" of mail no when its header came before the break.
QString namedBy(int handle, int no) {
  Buffers b;
  if (no < 1 || NMailPop3GetMailStatus(handle, no, b.subject.data(), b.date.data(), b.from.data(), b.header.data(), 0) !=
                    NMAIL_SUCCESS)
    return QString();
  return QStringLiteral("件名「%1」、差出人「%2」。").arg(vb::Trim(bufferText(b.subject)), vb::Trim(bufferText(b.from)));
}

}  // namespace

Outcome converse(const std::function<void(const Outcome&)>& onceTaken) {
  Outcome out;
  if (PopServer.isEmpty()) return out;
  const std::string server = cp932::encode(PopServer);
  int handle = NMailPop3Connect(server.c_str());
  if (handle == -1) return out;

  // The account, read afresh at every check.
  const QString id = settings::readAccountText(settings::idkey::UserId);
  const QString password = settings::readAccountText(settings::idkey::Password);
  forms::SetForm& s = ::SetForm();
  s.IdText->setText(id);
  s.PassText->setText(password);
  UserId = id;
  UserPassword = password;

  if (id.isEmpty() || password.isEmpty()) {
    s.Show();
  } else {
    // The buffers above hold kTextBuffer bytes; the library fills no more.
    NMailSetOption(NMAIL_OPTION_BUFFER_SIZE, kTextBuffer);
    NMailSetOption(NMAIL_OPTION_UNPACKED_BODY_SIZE, kUnpackedBody);
    NMailSetOption(NMAIL_OPTION_TEXT_FILE_ABOVE, kTextInRecord);
    // The unique ids, the sizes and the first header are wanted of a
    // session that has mails: with a pipelining server they go with the
    // first login. (Not with the logins after a break: the listing or the
    // header that broke the conversation would break the new one too.)
    NMailSetOption(NMAIL_OPTION_LISTS_WITH_LOGIN, 1);
    out.waiting = login(handle);
    if (out.waiting < 0) out.errors << libraryMessage();
    out.total = std::max(out.waiting, 0);
    Keywords keywords;
    // The lists' paths are resolved once for the whole session.
    records::PathMemo listPaths;
    // The stored mails reach the disk together, before the session's end
    // lets the server delete them.
    records::FlushBatch flush;
    Session session;
    // A conversation that breaks in a mail's answer (one that never ends,
    // comes too slowly, or is cut) costs neither the mails before it nor
    // those after: the check connects again, asks again for the deletions
    // the broken session took with it (matched by unique id), leaves that
    // mail on the server with a box, and goes on with the others.
    Plan plan;
    plan.all(out.waiting);
    bool uidl = true;                   // the server names its mails, as far as is known
    std::map<std::string, int> shownOf;  // unique id -> the number shown
    int reconnects = 0;
    int resume = 1;
    bool more = true;  // the mails not yet taken are to come (no mail stopped the check)
    for (;;) {
      if (uidl && plan.count > 0) {
        const int r = uniqueIds(handle, plan);
        // (A listing that broke the conversation is not asked for again:
        // the sessions after go by number.)
        if (r == NMAIL_ERR_PROTOCOL || r == NMAIL_ERR_IO) uidl = false;
        if (r == NMAIL_ERR_IO) {
          out.broken = true;
          out.breakMessage = libraryMessage();
        }
      }
      // Nothing taken or left yet (the first session, or one that broke
      // before its first mail): the mails are numbered as they are here.
      const bool fresh = out.taken.empty() && out.leftNos.empty();
      if (!out.broken && fresh) {
        shownOf.clear();
        out.total = plan.count;
        for (int j = 1; j <= plan.count; ++j)
          if (!plan.idOf(j).empty()) shownOf.emplace(plan.idOf(j), j);
      } else if (!out.broken) {
        // The records taken so far are on disk before their deletions go out again.
        if (!out.taken.empty() && !flush.commit(&mailwait::turnIfDue)) {
          out.errors << QStringLiteral("受信したメールをディスクに書き込めませんでした。サーバーのメールは削除していません。\r\n") +
                            flush.errorText();
          return out;
        }
        planAgain(handle, plan, out, shownOf, resume, more);
      }
      int at = 0;  // the mail under way when the conversation broke
      bool atDone = false;
      if (!out.broken) {
        LookAhead ahead;
        ahead.on = NMailPop3CanPipeline(handle) == 1;
        ahead.take = &plan.take;
        for (int i = 1; i <= plan.count; ++i) {
          if (!plan.take[static_cast<std::size_t>(i - 1)]) continue;
          ahead.upTo(handle, i, plan.count, keywords);
          const int before = out.handled;
          const bool go = handleMail(handle, i, plan.shown[static_cast<std::size_t>(i - 1)], plan.idOf(i), out,
                                     keywords, session);
          if (out.broken) {
            at = i;
            atDone = out.handled > before;
            break;
          }
          if (!go) {
            out.stopped = true;
            more = false;
            break;
          }
        }
      }
      if (!out.broken) {
        // The end of the session. The records are on disk first: QUIT goes
        // out only then. While the disk works, the deletions' answers are
        // read (a deletion only marks a mail; the server deletes nothing
        // before QUIT).
        bool told = false, deletionsRead = false;
        const auto between = [&] {
          mailwait::turnIfDue();
          if (told) return;
          told = true;
          readDeletions(handle, out);
          deletionsRead = true;
        };
        if (!flush.commit(between)) {
          // Ended without QUIT: the server deletes nothing.
          out.errors << QStringLiteral("受信したメールをディスクに書き込めませんでした。サーバーのメールは削除していません。\r\n") +
                            flush.errorText();
          return out;
        }
        // The caller's work goes on a thread of its own while the server
        // ends the session. (Not while the flush works: a file flushed then
        // waits for the whole flush, a large mail's included.)
        if (onceTaken) onceTaken(out);
        if (!out.broken) NMailPop3SendQuit(handle);
        if (!deletionsRead) readDeletions(handle, out);
        at = plan.count + 1;  // every mail of the session is behind
        if (!out.broken) {
          // Ends the session; the deletions take effect. A session end the
          // server did not confirm may have deleted nothing: a new session
          // finds out by the unique ids, or the box says so.
          const bool confirmed = NMailPop3Close(handle) >= 0 || out.deleted.empty();
          handle = -1;
          if (confirmed) break;
          out.broken = true;
          out.breakMessage = libraryMessage();
          if (!uidl) {
            const int spamDeleted = static_cast<int>(std::count_if(
                out.deleted.begin(), out.deleted.end(), [](const Outcome::Deleted& d) { return d.spam; }));
            QString text = QStringLiteral("サーバーが受信の終わりを確かめなかったため、削除はサーバーに伝わっていません。");
            if (out.stored > 0)
              text += QStringLiteral("受信したメール %1 通は保存しましたが、サーバーに残っています。次の受信で同じメールがもう一度届きます。")
                          .arg(out.stored);
            if (spamDeleted > 0) text += QStringLiteral("迷惑メール %1 通もサーバーに残っています。").arg(spamDeleted);
            out.errors << text + QStringLiteral("\r\n") + out.breakMessage;
            out.brokenNoted = true;
            break;
          }
        }
      }

      // The conversation broke: the mail whose answer broke off stays on
      // the server; a new connection takes the rest.
      if (out.breakMessage.isEmpty()) out.breakMessage = libraryMessage();
      const int culprit = handle == -1 ? 0 : NMailPop3GetBrokenMail(handle);
      const bool named = culprit >= 1 && culprit <= plan.count;
      const QString culpritText =
          named ? QStringLiteral("メール %1 を最後まで受信できませんでした。%2")
                      .arg(mailNo(plan.shown[static_cast<std::size_t>(culprit - 1)], out.total), namedBy(handle, culprit))
                : QString();
      if (named) {
        out.leftNos.insert(culprit);
        if (!plan.idOf(culprit).empty()) out.leftIds.insert(plan.idOf(culprit));
        Outcome::Known known;
        Buffers b;
        if (NMailPop3GetMailStatus(handle, culprit, b.subject.data(), b.date.data(), b.from.data(), b.header.data(), 0) ==
            NMAIL_SUCCESS) {
          known.header = bufferBytes(b.header);
        }
        known.id = plan.idOf(culprit);
        out.leftKnown.push_back(std::move(known));
      }
      // The first mail of this session not yet taken.
      resume = plan.count + 1;
      for (int j = std::max(at, 1); more && j <= plan.count; ++j)
        if (plan.take[static_cast<std::size_t>(j - 1)] && !(j == at && atDone) && !(named && j == culprit)) {
          resume = j;
          break;
        }
      if (handle != -1) NMailPop3Close(handle);  // (broken: without QUIT)
      handle = -1;
      // A new connection has something to do: deletions to ask for again
      // by unique id, or mails still to come.
      const bool worth = uidl || resume <= plan.count;
      QString why;
      int waiting = -1;
      if (!worth) {
      } else if (reconnects >= kMaxReconnects) {
        why = QStringLiteral("1 回の受信で接続し直すのは %1 回までです。").arg(kMaxReconnects);
      } else {
        ++reconnects;
        NMailSetOption(NMAIL_OPTION_LISTS_WITH_LOGIN, 0);
        handle = NMailPop3Connect(server.c_str());
        if (handle != -1) {
          waiting = login(handle);
          if (waiting < 0) {
            why = libraryMessage();
            NMailPop3Close(handle);
            handle = -1;
          }
        } else {
          why = libraryMessage();
        }
      }
      if (handle == -1) {
        // No new connection: what stayed on the server is said exactly.
        QStringList lines;
        if (named) lines << culpritText;
        else if (!out.breakWhat.isEmpty()) lines << out.breakWhat;
        const int firstLeft = named ? std::min(culprit, resume) : resume;
        if (firstLeft <= plan.count && (named || out.breakWhat.isEmpty()))
          lines << QStringLiteral("メール %1 から後はサーバーに残してあります。")
                       .arg(mailNo(plan.shown[static_cast<std::size_t>(firstLeft - 1)], out.total));
        if (out.stored > 0) lines << brokenNote(out.stored);
        lines << out.breakMessage;
        if (worth) lines << QStringLiteral("接続し直せませんでした: ") + why;
        if (lines.size() > 1 || named || !out.breakWhat.isEmpty() || out.stored > 0)
          out.errors << lines.join(QStringLiteral("\r\n"));
        out.brokenNoted = true;
        break;
      }
      if (named)
        out.errors << culpritText +
                          QStringLiteral("このメールはサーバーに残し、接続し直して後のメールの受信を続けました。\r\n") +
                          out.breakMessage;
      out.broken = false;
      out.breakWhat.clear();
      out.breakMessage.clear();
      out.deleted.clear();
      plan.all(waiting);
    }
  }
  // (A check without login ends its session here.)
  if (handle != -1) NMailPop3Close(handle);
  // Mails taken before a break that no later session could name (the
  // server gives no unique ids) stay on the server.
  if (!out.broken) {
    int stranded = 0, strandedSpam = 0, unsure = 0;
    for (const Outcome::Taken& t : out.taken)
      if (t.stranded && t.unsure) ++unsure;
      else if (t.stranded) ++(t.spam ? strandedSpam : stranded);
    QString text;
    if (unsure > 0)
      text += QStringLiteral("サーバーが接続し直した後のメールを別の UIDL で示したため、接続が切れる前に受信したメール %1 通を"
                             "サーバーで見分けられず、削除できませんでした。次の受信で同じメールがもう一度届くことがあります。")
                  .arg(unsure);
    if (stranded > 0)
      text += QStringLiteral("サーバーがメールの UIDL を示さないため、接続が切れる前に受信したメール %1 通はサーバーから削除できませんでした。"
                             "次の受信で同じメールがもう一度届きます。")
                  .arg(stranded);
    if (strandedSpam > 0) text += QStringLiteral("迷惑メール %1 通もサーバーに残っています。").arg(strandedSpam);
    if (!text.isEmpty()) out.errors << text;
  }
  return out;
}

}  // namespace mailcheck
