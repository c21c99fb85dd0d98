#pragma once

#include <QPointer>
#include <QString>

#include <functional>

class QMessageBox;
class QWidget;

// A window-modal Yes/No question that does not block the event loop, so
// replies and ticks go on while it is open. No is the default.
class Question
{
public:
    // Opens the question unless this one is already open; `onYes` runs when
    // the user answers Yes. The box carries `objectName` for tests.
    void ask(QWidget *parent, const QString &objectName, const QString &title, const QString &text,
             std::function<void()> onYes);
    // Closes an open question as if answered No.
    void withdraw();
    bool isOpen() const { return !box.isNull(); }

private:
    QPointer<QMessageBox> box;
};
