#pragma once
// The painted list views: a steel-blue column header with white text and
// rows striped light yellow / light blue. Each window installs its painters
// when it loads and removes them when it closes.
class QWidget;

// Header painter on a list view (QTreeView or QTableView).
void HookHeader(QWidget* listView);
void UnhookHeader(QWidget* listView);
// Row painter for the history viewer's MailListView; given the viewer window.
void HookTyakuList(QWidget* window);
void UnhookTyakuList(QWidget* window);
// Row painter for the address book's MailListView; given the address-book window.
void HookFriendList(QWidget* window);
void UnhookFriendList(QWidget* window);
