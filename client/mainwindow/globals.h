#pragma once
// The client's module-wide variables, shared by its windows and modules.
// They live at global scope under the names the program has always used.
#include "client/mainwindow/mailrecord.h"
#include "platform/vbstring.h"

#include <QString>

#include <cstdint>

// Which list the history viewer shows: 1 received, 2 sent, 3 gold safe,
// 4 silver safe, 5 bronze safe, 6 VIP room (records::mailListFile). The
// new-mail composer writes its own values: 1000 while it loads or unloads,
// 10 while its pane lists held mails, 0 while it lists the address book.
extern std::int16_t MailListKind;

// The free file number of the operation under way (kept for the windows
// that note it; the record files need no file numbers).
extern std::int16_t FileNo;
// Scratch record counter.
extern std::int16_t LoopCounter;
// The record number last written or selected.
extern std::int16_t CurrentRecordNo;

// Server settings ("xqmail.ini") and the POP3 account ("iniIdPass.ini").
extern QString SmtpServer;
extern QString PopServer;
extern QString FromAddress;   // sender text of both composers
extern std::int16_t UseApop;  // 1 = authenticate with APOP
extern QString UserId;
extern QString UserPassword;

// Record buffers: one per list file, holding the last record read or
// written through it.
extern records::MailRecord ReceivedMailRec;  // xqmdata2.data
extern records::MailRecord SentMailRec;      // xqmdata5.data
extern records::MailRecord GoldSafeRec;      // xqmdata6.data
extern records::MailRecord SilverSafeRec;    // xqmdata7.data
extern records::MailRecord BronzeSafeRec;    // xqmdata8.data
extern records::MailRecord VipMailRec;       // xqmdata80.data
extern records::MailRecord HeldMailRec;      // xqmdata10.data
extern records::MailRecord HeldReplyRec;     // xqmdata11.data
extern records::SpamKeywordRecord SpamKeywordRec;  // Xqmdata50.data
extern records::AddressRecord AddressRec;          // Xqmdata20.data (address book)
extern records::CcAddressRecord CcAddressRec;      // xqmdata100.data (Cc list)

// Cuts text at its first NUL character (the whole text when it has none);
// every text the mail library hands back goes through it.
using vb::TrimAtNull;
