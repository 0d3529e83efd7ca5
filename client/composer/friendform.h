#pragma once
// The address book: names and addresses to write to.
#include <QLineEdit>
#include <QTreeWidget>

#include "platform/ui.h"

namespace forms {

class FriendForm : public ui::Form {
 public:
  QTreeWidget* MailListView;  // report style, with a column header
  QLineEdit* Text4;           // the address of a new entry

 protected:
  void Form_Load() override;
  void Form_QueryUnload(int& cancel, int unloadMode) override;

 private:
  FriendForm();
  friend class ui::Accessor<FriendForm>;
};

}  // namespace forms

// The one address book of the program (loaded hidden on first touch).
forms::FriendForm& FriendForm();
bool FriendFormLoaded();
