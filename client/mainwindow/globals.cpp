// The client's module-wide variables.
#include "client/mainwindow/globals.h"

std::int16_t MailListKind = 0;
std::int16_t FileNo = 0;
std::int16_t LoopCounter = 0;
std::int16_t CurrentRecordNo = 0;

QString SmtpServer;
QString PopServer;
QString FromAddress;
std::int16_t UseApop = 0;
QString UserId;
QString UserPassword;

records::MailRecord ReceivedMailRec;
records::MailRecord SentMailRec;
records::MailRecord GoldSafeRec;
records::MailRecord SilverSafeRec;
records::MailRecord BronzeSafeRec;
records::MailRecord VipMailRec;
records::MailRecord HeldMailRec;
records::MailRecord HeldReplyRec;
records::SpamKeywordRecord SpamKeywordRec;
records::AddressRecord AddressRec;
records::CcAddressRecord CcAddressRec;
