// Storing a fetched mail from the history viewer's boxes.
#include "client/mainwindow/savemail.h"

#include "client/mainwindow/globals.h"
#include "client/mainwindow/recordfile.h"
#include "platform/vbstring.h"

namespace records {
namespace {

RecordBufferSource& source() {
  static RecordBufferSource s;
  return s;
}

}  // namespace

void setRecordBufferSource(RecordBufferSource s) { source() = std::move(s); }
const RecordBufferSource& recordBufferSource() { return source(); }

void fillFromViewer(MailRecord& rec, const ViewerBoxes& boxes) {
  rec.Subject = vb::Trim(boxes.subject);
  rec.FromTo = vb::Trim(boxes.sender);
  rec.MailDate = vb::Trim(boxes.date);
  rec.Body = vb::Trim(boxes.body);
  rec.Live = 1;
  rec.LineEnd = kCrLf;
}

namespace {

bool saveFromViewer(MailRecord& rec, const QString& file, std::int16_t n, QString* error) {
  if (!source()) {
    if (error) *error = QStringLiteral("The history viewer's boxes are not available.");
    return false;
  }
  fillFromViewer(rec, source()());
  MailFile f(file);
  if (!f.write(n, rec)) {
    if (error) *error = f.errorText();
    return false;
  }
  return true;
}

}  // namespace
}  // namespace records

bool SaveReceivedMail(std::int16_t n, QString* error) {
  return records::saveFromViewer(ReceivedMailRec, records::kReceivedFile, n, error);
}

bool SaveVipMail(std::int16_t n, QString* error) {
  return records::saveFromViewer(VipMailRec, records::kVipFile, n, error);
}
