#pragma once
// Storing a fetched mail: the mail check writes the mail into the history
// viewer's four boxes, then SaveReceivedMail / SaveVipMail build the record
// from those boxes and write it.
//
// The seam: the history viewer (TyakuForm) installs a RecordBufferSource
// that reads its boxes Text7 (subject), Text8 (sender), Text9 (date) and
// the text of rtfEd (body):
//
//   records::setRecordBufferSource([] {
//     auto& f = ::TyakuForm();            // loads the viewer hidden when needed
//     return records::ViewerBoxes{f.Text7->text(), f.Text8->text(),
//                                 f.Text9->text(), f.rtfEd->toPlainText()};
//   });
//
// Install it once, before the first mail check (at the viewer module's
// static initialisation or at program start). Tests install their own.
#include "client/mainwindow/mailrecord.h"

#include <QString>

#include <cstdint>
#include <functional>

namespace records {

// The texts of the viewer's four boxes, untrimmed.
struct ViewerBoxes {
  QString subject;  // TyakuForm.Text7
  QString sender;   // TyakuForm.Text8
  QString date;     // TyakuForm.Text9
  QString body;     // TyakuForm.rtfEd
};

using RecordBufferSource = std::function<ViewerBoxes()>;
void setRecordBufferSource(RecordBufferSource source);
const RecordBufferSource& recordBufferSource();

// Fills rec from the boxes: Subject, FromTo, MailDate and Body trimmed and
// cut to their fields, Live 1, LineEnd CR LF.
void fillFromViewer(MailRecord& rec, const ViewerBoxes& boxes);

}  // namespace records

// Builds ReceivedMailRec (resp. VipMailRec) from the viewer's boxes and
// writes it as record n of "\★MAilData\xqmdata2.data" (resp.
// "\★MAilData\xqmdata80.data"); the caller passes the record count + 1.
// Returns false when the record could not be written (or no viewer source
// is installed); *error then tells why. The list file is left as it was.
bool SaveReceivedMail(std::int16_t n, QString* error = nullptr);
bool SaveVipMail(std::int16_t n, QString* error = nullptr);
