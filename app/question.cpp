#include "question.h"

#include <QMessageBox>

void Question::ask(QWidget *parent, const QString &objectName, const QString &title, const QString &text,
                   std::function<void()> onYes)
{
    if (box)
        return;
    box = new QMessageBox(QMessageBox::Warning, title, text, QMessageBox::Yes | QMessageBox::No, parent);
    box->setObjectName(objectName);
    box->setDefaultButton(QMessageBox::No);
    box->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(box, &QMessageBox::finished, box, [onYes = std::move(onYes)](int result) {
        if (result == QMessageBox::Yes)
            onYes();
    });
    box->open();
}

void Question::withdraw()
{
    if (box)
        box->reject();
}
