// The form as the user reads it in German: uic builds every text through the
// catalogue, under the one context the program's own texts use.

#include "mainwindow.h"
#include "resourcepaths.h"

#include <QTest>
#include <QTranslator>

namespace {

// A label's or a button's text, a group box's title; empty for the rest.
QString shownText(const QWidget *widget)
{
    if (qobject_cast<const QGroupBox *>(widget))
        return widget->property("title").toString();
    if (qobject_cast<const QLabel *>(widget) || qobject_cast<const QAbstractButton *>(widget))
        return widget->property("text").toString();
    return {};
}

} // namespace

class TestForm : public QObject
{
    Q_OBJECT

private slots:
    void everyTextIsTranslated();
};

void TestForm::everyTextIsTranslated()
{
    // A text marked untranslatable, or under another context, stays English.
    QMainWindow english;
    Ui_MainWindow().setupUi(&english);
    QTranslator german;
    QVERIFY(german.load(ResourcePaths::AppTranslation));
    QVERIFY(QCoreApplication::installTranslator(&german));
    QMainWindow translated;
    Ui_MainWindow().setupUi(&translated);
    QCoreApplication::removeTranslator(&german);

    QCOMPARE(translated.windowTitle(), german.translate("MainWindow", "Qel Update"));
    int texts = 0;
    for (const QWidget *widget : english.findChildren<QWidget *>()) {
        const QString text = shownText(widget);
        if (text.isEmpty())
            continue;
        ++texts;
        const QString expected = german.translate("MainWindow", text.toUtf8().constData());
        QVERIFY2(!expected.isEmpty(), qPrintable(text));
        QCOMPARE(shownText(translated.findChild<QWidget *>(widget->objectName())), expected);
    }
    QVERIFY(texts > 0);
}

QTEST_MAIN(TestForm)
#include "tst_form.moc"
