// Start-up as a user gets it: each case runs the real start-up in a child
// process with a settings file written beforehand, because QSettings caches
// what it has read for the life of a process.

#include "mainwindow.h"
#include "startup.h"

#include <QApplication>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstdio>

namespace {

constexpr char ChildFlag[] = "--startup-child";
constexpr int ChildTimeoutMs = 30000;

// The child's side: one line of what start-up produced, then the event loop
// ends with a code of its own.
int runChild(int argc, char **argv)
{
    return runUpdater(argc, argv, [](MainWindow &window) {
        const QSize fixed = window.size();
        window.resize(500, 200);
        std::printf("%s|%s|%s|%dx%d|%dx%d\n", qPrintable(window.windowTitle()), qPrintable(window.ConnectButton->text()),
                    qPrintable(QCoreApplication::translate("QPlatformTheme", "Cancel")), fixed.width(),
                    fixed.height(), window.width(), window.height());
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
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("QEL_MIDI_API"), QStringLiteral("sim"));
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(ChildFlag)});
    QVERIFY(child.waitForFinished(ChildTimeoutMs));
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    // The event loop's exit code is the program's.
    QCOMPARE(child.exitCode(), 7);
    // Both catalogues or neither, our texts and Qt's own; the size is fixed.
    const char *expected = german ? "Qel-Aktualisierung|Verbinden|Abbrechen|922x322|922x322"
                                  : "Qel Update|Connect|Cancel|922x322|922x322";
    QCOMPARE(child.readAllStandardOutput().trimmed(), QByteArray(expected));
}

int main(int argc, char **argv)
{
    if (argc > 1 && qstrcmp(argv[1], ChildFlag) == 0)
        return runChild(argc, argv);
    QCoreApplication app(argc, argv);
    TestStartup test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_startup.moc"
