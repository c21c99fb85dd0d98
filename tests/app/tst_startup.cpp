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

// The child's side: report what start-up produced, then end the event loop
// the way the action says.
int runChild(int argc, char **argv)
{
    const QByteArray action = argc > 2 ? QByteArray(argv[2]) : QByteArray();
    return runUpdater(argc, argv, [action](MainWindow &window) {
        const QSize fixed = window.size();
        window.resize(500, 200);
        const QStringList facts = {
            QStringLiteral("title=") + window.windowTitle(),
            QStringLiteral("connect=") + window.ConnectButton->text(),
            QStringLiteral("qt=") + QCoreApplication::translate("QPlatformTheme", "Cancel"),
            QStringLiteral("size=%1x%2").arg(fixed.width()).arg(fixed.height()),
            QStringLiteral("resized=%1x%2").arg(window.width()).arg(window.height()),
        };
        std::printf("%s\n", qPrintable(facts.join(QLatin1Char('\n'))));
        std::fflush(stdout);
        if (action == "exit7")
            QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(7); });
        else
            QTimer::singleShot(0, &window, &QWidget::close);
    });
}

struct ChildResult
{
    int exitCode = -1;
    QMap<QString, QString> facts;
};

} // namespace

class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void language_data();
    void language();
    void sizeIsFixedAndExitCodeIsTheLoops();

private:
    // `conf` is written as the user's settings file; empty writes none.
    static ChildResult runStartup(const QByteArray &conf, const QByteArray &action = "close");
};

ChildResult TestStartup::runStartup(const QByteArray &conf, const QByteArray &action)
{
    ChildResult result;
    QTemporaryDir config;
    if (!config.isValid())
        return result;
    if (!conf.isEmpty()) {
        QDir(config.path()).mkpath(QStringLiteral("Velmor"));
        QFile file(config.filePath(QStringLiteral("Velmor/Qel_update.conf")));
        if (!file.open(QIODevice::WriteOnly) || file.write(conf) != conf.size())
            return result;
    }

    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("QEL_MIDI_API"), QStringLiteral("sim"));
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(),
                {QString::fromLatin1(ChildFlag), QString::fromLatin1(action)});
    if (!child.waitForFinished(ChildTimeoutMs) || child.exitStatus() != QProcess::NormalExit) {
        child.kill();
        return result;
    }
    result.exitCode = child.exitCode();
    const QStringList lines = QString::fromUtf8(child.readAllStandardOutput()).split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq > 0)
            result.facts.insert(line.left(eq), line.mid(eq + 1));
    }
    return result;
}

void TestStartup::language_data()
{
    QTest::addColumn<QByteArray>("conf");
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

    const ChildResult child = runStartup(conf);
    QCOMPARE(child.exitCode, 0);
    // Both catalogues or neither: our texts and Qt's own.
    QCOMPARE(child.facts.value(QStringLiteral("title")),
             german ? QStringLiteral("Qel-Aktualisierung") : QStringLiteral("Qel Update"));
    QCOMPARE(child.facts.value(QStringLiteral("connect")),
             german ? QStringLiteral("Verbinden") : QStringLiteral("Connect"));
    QCOMPARE(child.facts.value(QStringLiteral("qt")),
             german ? QStringLiteral("Abbrechen") : QStringLiteral("Cancel"));
}

void TestStartup::sizeIsFixedAndExitCodeIsTheLoops()
{
    const ChildResult child = runStartup(QByteArray(), "exit7");
    QCOMPARE(child.exitCode, 7);
    QCOMPARE(child.facts.value(QStringLiteral("size")), QStringLiteral("922x322"));
    QCOMPARE(child.facts.value(QStringLiteral("resized")), QStringLiteral("922x322"));
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
