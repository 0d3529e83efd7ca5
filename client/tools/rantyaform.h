#pragma once
// The launcher window "ランチャー": three buttons, each starting a program
// the user listed in "\★MailData\r.cfg".
//
// r.cfg is CP932 text of entries, each two fields, caption then command
// line, e.g.
//   "エディタ","/usr/bin/mousepad"
//   "表計算","libreoffice --calc"
// Fields end at a comma or a line end; a field in double quotes ends at its
// closing quote and may hold commas. Entry k belongs to button Command1(k).
#include <QPushButton>
#include <QString>
#include <QStringList>
#include <array>
#include <string_view>

#include "platform/ui.h"

namespace launcher {

inline constexpr int kEntries = 11;  // the table holds entries 0 to 10

struct Entry {
  QString caption;
  QString command;
};

struct ReadResult {
  std::array<Entry, kEntries> entries{};
  int count = 0;       // entries read whole
  bool ok = true;      // false: the reading stopped at an error
};

// Reads the entries of r.cfg's bytes: stops with ok false at an entry whose
// command field is missing and at a twelfth entry. Blank lines at the end
// of the file end it like the end itself.
ReadResult readEntries(std::string_view bytes);

// A command line as a program path and its arguments (double quotes group
// words). A bare name is looked up on the search path; any other relative
// path ("\" or "/" between the names) lies under the program folder. An
// empty program means nothing to start.
struct Command {
  QString program;
  QStringList arguments;
};
Command parseCommandLine(const QString& line);

}  // namespace launcher

namespace forms {

class RantyaForm : public ui::Form {
 public:
  std::array<QPushButton*, 3> Command1{};  // the control array Command1(0..2)
  std::array<launcher::Entry, launcher::kEntries> LauncherEntries{};

  void Command1_Click(int index);

 protected:
  void Form_Load() override;

 private:
  RantyaForm();
  friend class ui::Accessor<RantyaForm>;
};

}  // namespace forms

// The one RantyaForm of the program (loaded hidden on first touch).
forms::RantyaForm& RantyaForm();
bool RantyaFormLoaded();
