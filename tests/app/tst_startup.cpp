// Start-up as a user gets it: each case runs the real start-up in a child
// process with a settings file written beforehand, because QSettings caches
// what it has read for the life of a process.

#include "mainwindow.h"
#include "startup.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstdio>

namespace {

constexpr char ChildFlag[] = "--startup-child";

// The child's side: one line of what start-up produced, then the event loop
// ends with a code of its own.
int runChild(int argc, char **argv)
{
    return runUpdater(argc, argv, [](MainWindow &window) {
        std::printf("%s|%s|%s\n", qPrintable(window.windowTitle()), qPrintable(window.ConnectButton->text()),
                    qPrintable(QCoreApplication::translate("QPlatformTheme", "Cancel")));
        std::fflush(stdout);
        QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(7); });
    });
}

} // namespace

class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void language_data();
    void language();
};

void TestStartup::language_data()
{
    QTest::addColumn<QByteArray>("conf");  // the user's settings file; empty: none
    QTest::addColumn<bool>("german");
    QTest::newRow("absent") << QByteArray() << false;
    QTest::newRow("1") << QByteArray("[General]\nlanguage=1\n") << true;
    QTest::newRow("\"1\"") << QByteArray("[General]\nlanguage=\"1\"\n") << true;
    QTest::newRow("2") << QByteArray("[General]\nlanguage=2\n") << false;
    QTest::newRow("de") << QByteArray("[General]\nlanguage=de\n") << false;
    QTest::newRow("true") << QByteArray("[General]\nlanguage=true\n") << false;
}

void TestStartup::language()
{
    QFETCH(QByteArray, conf);
    QFETCH(bool, german);
    QTemporaryDir config;
    QVERIFY(config.isValid());
    if (!conf.isEmpty()) {
        QVERIFY(QDir(config.path()).mkpath(QStringLiteral("Velmor")));
        QFile file(config.filePath(QStringLiteral("Velmor/Qel_update.conf")));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(conf) == conf.size());
    }
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(ChildFlag)});
    QVERIFY(child.waitForFinished(30000));
    // The event loop's exit code is the program's.
    QVERIFY(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 7);
    // Both catalogues or neither, our texts and Qt's own.
    const char *expected = german ? "Qel-Aktualisierung|&Verbinden|Abbrechen" : "Qel Update|&Connect|Cancel";
    QCOMPARE(child.readAllStandardOutput().trimmed(), QByteArray(expected));
}

int main(int argc, char **argv)
{
    if (argc > 1 && qstrcmp(argv[1], ChildFlag) == 0)
        return runChild(argc, argv);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QEL_MIDI_API", "sim");
    QCoreApplication app(argc, argv);
    TestStartup test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_startup.moc"
