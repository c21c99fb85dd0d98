// qel-update-cli run as a program against the simulated device, which the
// environment sets up: exit codes and messages for the ways a run can end.

#include "imagedigest.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

constexpr int RunLimitMs = 60000;

class TestCliProcess : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void run_data();
    void run();
    void allAtOnce_data();
    void allAtOnce();
    void stopSignals_data();
    void stopSignals();
    void helpIsDocumented();

private:
    // Runs the program with a settings folder of its own and stdin a pipe, not a terminal.
    int runCli(const QStringList &arguments, const QStringList &environment, QString &out, QString &err);

    QTemporaryDir settings;
};

void TestCliProcess::initTestCase()
{
    const QDir dir(settings.path());
    QVERIFY(settings.isValid() && dir.mkpath(QStringLiteral("en")) && dir.mkpath(QStringLiteral("de/Velmor")));
    QFile config(settings.filePath(QStringLiteral("de/Velmor/Qel_update.conf")));
    QVERIFY(config.open(QIODevice::WriteOnly) && config.write("[General]\nlanguage=1\n") > 0);

    QByteArray bytes(2 * 64 * 2048 + 300, Qt::Uninitialized);
    for (int i = 0; i < bytes.size(); ++i)
        bytes[i] = char((i * 31 + i / 2048) & 0xFF);
    QFile image(settings.filePath(QStringLiteral("small.bin")));
    QVERIFY(image.open(QIODevice::WriteOnly) && image.write(bytes) == bytes.size());
    QFile empty(settings.filePath(QStringLiteral("empty.bin")));
    QFile large(settings.filePath(QStringLiteral("large.bin")));
    // A byte more than 1,023 blocks of 64 pages of 2,048 bytes.
    QVERIFY(empty.open(QIODevice::WriteOnly) && large.open(QIODevice::WriteOnly)
            && large.resize(1023LL * 64 * 2048 + 1));
}

void TestCliProcess::run_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("environment");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("outHas");
    QTest::addColumn<QString>("errHas");
    const QStringList sim{"--sim", "--yes"};
    QTest::newRow("built-in image written") << sim << QStringList() << 0 << "now carries firmware 1.09" << "";
    QTest::newRow("progress lines") << sim + QStringList{"--image", "DIR/small.bin"} << QStringList() << 0
                                    << "[##############################] 100%  Block 3, page 0" << "";
    QTest::newRow("verified") << sim + QStringList{"--verify", "--image", "DIR/small.bin"} << QStringList() << 0
                              << "now carries firmware 1.09" << "";
    QTest::newRow("nothing to verify with") << sim + QStringList{"--verify", "--image", "DIR/small.bin"}
                                            << QStringList{"QEL_SIM_READS=block0"} << 4 << "Qel 586-638-764"
                                            << "cannot have its pages read back";
    QTest::newRow("unhealthy flash") << sim << QStringList{"QEL_SIM_FACTORY_BAD=7,8,9,10"} << 1
                                     << "firmware 1.08" << "4 blocks that were faulty from the factory";
    QTest::newRow("unreadable image") << sim + QStringList{"--image", "/no/such/image.bin"} << QStringList() << 2
                                      << "" << "\"/no/such/image.bin\" could not be read";
    QTest::newRow("empty image") << sim + QStringList{"--image", "DIR/empty.bin"} << QStringList() << 2 << ""
                                 << "is empty";
    QTest::newRow("image too large") << sim + QStringList{"--image", "DIR/large.bin"} << QStringList() << 2 << ""
                                     << "flash can hold";
    QTest::newRow("image named") << QStringList{"--sim", "--info"} << QStringList() << 0
                                 << QStringLiteral("SHA-256 ") + ImageDigest::Sha256 << "";
    // Refused before any port opens: nothing on standard output, and a silent Qel is never waited for.
    QTest::newRow("no terminal to ask") << QStringList{"--sim"} << QStringList() << 2 << "" << "--yes";
    QTest::newRow("no terminal, silent Qel") << QStringList{"--sim"} << QStringList{"QEL_SIM_SILENT=1"} << 2 << ""
                                             << "standard input is not a terminal";
    QTest::newRow("downgrade named") << QStringList{"--sim", "--info"} << QStringList{"QEL_SIM_VERSION=0x0A01"} << 0
                                     << "updating would be a downgrade" << "";
    QTest::newRow("port by name") << QStringList{"--sim", "--info", "--in", "SIMULATED", "--out", "midi in"}
                                  << QStringList() << 0 << "Qel 586-638-764, firmware 1.08." << "";
    QTest::newRow("silent device") << sim << QStringList{"QEL_SIM_SILENT=1"} << 3 << "Connecting" << "did not answer";
    const QStringList three{"QEL_SIM_DEVICES=3"};
    QTest::newRow("Qels found by asking") << QStringList{"--sim", "--find"} << three << 0
                                          << "Qel 596-638-784  firmware 1.08  MIDI IN port \"Qel (simulated) 3 MIDI OUT\"" << "";
    QTest::newRow("several Qels: which?") << sim << three << 2 << "Firmware image 1.09" << "choose one with --serial";
    QTest::newRow("one by serial") << sim + QStringList{"--serial", "596-638-774"} << three << 0
                                   << "Connecting: MIDI IN port \"Qel (simulated) 2 MIDI OUT\"" << "";
    QTest::newRow("no such serial") << sim + QStringList{"--serial", "1"} << three << 3 << "Firmware image 1.09"
                                    << "No Qel with serial number 1";
    QTest::newRow("--all, every one written") << QStringList{"--sim", "--yes", "--all", "--image", "DIR/small.bin"} << three
                                              << 0 << "596-638-784  Qel (simulated) 3 MIDI OUT / Qel (simulated) 3 MIDI IN  success" << "";
    QTest::newRow("--all and --serial") << QStringList{"--sim", "--yes", "--all", "--serial", "1"} << three << 2 << ""
                                        << "--all cannot be combined with --serial";
    QTest::newRow("--all found none") << QStringList{"--sim", "--yes", "--all"} << QStringList{"QEL_SIM_SILENT=1"} << 3
                                      << "Firmware image 1.09" << "No Qel answered";
    QTest::newRow("version") << QStringList{"--version"} << QStringList() << 0 << "qel-update-cli 1.9\n" << "";
    QTest::newRow("usage") << QStringList{"--bogus"} << QStringList() << 2 << "" << "--help";
    QTest::newRow("German") << sim << QStringList{"XDG_CONFIG_HOME=DE"} << 0
                            << "Auf dem Gerät ist jetzt die Firmware 1.09" << "";
}

void TestCliProcess::run()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, environment);
    QFETCH(int, exitCode);
    QFETCH(QString, outHas);
    QFETCH(QString, errHas);
    QString out;
    QString err;
    const int code = runCli(arguments, environment, out, err);
    QVERIFY2(code == exitCode, qPrintable(QStringLiteral("exit %1\n%2\n%3").arg(code).arg(out, err)));
    // A row that expects nothing on standard output gets nothing there: a
    // refused image, for one, stops before the device is asked anything.
    QVERIFY2(outHas.isEmpty() ? out.isEmpty() : out.contains(outHas), qPrintable(out));
    QVERIFY2(err.contains(errHas), qPrintable(err));
    // Failure goes to standard error only; success says nothing there.
    if (exitCode == 0)
        QVERIFY2(!err.contains(QLatin1String("Qel")) && !err.contains(QLatin1String("device")), qPrintable(err));
    else
        QVERIFY(!out.contains(QLatin1String("complete")));
}

void TestCliProcess::allAtOnce_data()
{
    QTest::addColumn<bool>("json");
    QTest::newRow("text") << false;
    QTest::newRow("json") << true;
}

// Three Qels, the second with an unhealthy flash: the others are written
// whole, the second not at all, and the run fails.
void TestCliProcess::allAtOnce()
{
    QFETCH(bool, json);
    QTemporaryDir saved;
    QStringList arguments{"--sim", "--yes", "--all", "--image", "DIR/small.bin"};
    if (json)
        arguments << QStringLiteral("--json");
    QString out;
    QString err;
    QCOMPARE(runCli(arguments, {"QEL_SIM_DEVICES=3", "QEL_SIM_FACTORY_BAD=2:7,8,9,10", "QEL_SIM_SAVE_DIR=" + saved.path()},
                    out, err), 1);
    QFile small(settings.filePath(QStringLiteral("small.bin")));
    QVERIFY(small.open(QIODevice::ReadOnly));
    const QByteArray image = small.readAll();
    const QString bad = QStringLiteral("596-638-774");
    QVERIFY2(err.contains(bad + ": The device's flash memory has 4 blocks"), qPrintable(err));
    QVERIFY2(json || out.contains(QRegularExpression(bad + " +Qel \\(simulated\\) 2 MIDI OUT / .* flash_unhealthy +The device's")),
             qPrintable(out));
    // Every line an event; per serial, in order.
    QMap<QString, QList<QJsonObject>> events;
    for (const QString &line : out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QJsonObject event = QJsonDocument::fromJson(line.toUtf8()).object();
        QVERIFY2(!json || (event.contains("event") && event.value("schema") == 1), qPrintable(line));
        events[event.value("serial").toString()] << event;
    }
    for (const QString &serial : QStringList{"586-638-764", bad, "596-638-784"}) {
        QFile file(saved.filePath(QStringLiteral("qel-%1.bin").arg(serial)));
        QVERIFY2(file.open(QIODevice::ReadOnly) && file.readAll() == (serial == bad ? QByteArray() : image), qPrintable(serial));
        if (!json)
            continue;
        QStringList kinds;
        QJsonObject progress;
        for (const QJsonObject &event : std::as_const(events[serial])) {
            kinds << event.value("event").toString();
            progress = kinds.constLast() == "progress" ? event : progress;
        }
        QVERIFY2(kinds.count("found") == 1 && kinds.count("connected") == 1 && kinds.contains("trace") && kinds.contains("progress")
                     && kinds.indexOf("finished") == kinds.size() - 1, qPrintable(serial + ": " + kinds.join(' ')));
        QCOMPARE(events[serial].constLast().value("outcome").toString(), serial == bad ? "flash_unhealthy" : "success");
        if (serial != bad)  // the last report is never held back
            QCOMPARE(progress.value("pagesDone"), progress.value("pagesTotal"));
    }
}

void TestCliProcess::stopSignals_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("environment");
    QTest::addColumn<QString>("sentAfter");  // the signal goes once standard output shows this
    QTest::addColumn<int>("signal");
    QTest::addColumn<QString>("errHas");
    const QStringList sim{"--sim", "--yes"};
    const QString cancelled = QStringLiteral("stopped before it was complete");
    QTest::newRow("Ctrl-C while writing") << sim << QStringList() << "Block" << SIGINT << cancelled;
    QTest::newRow("SIGTERM while writing") << sim << QStringList() << "Block" << SIGTERM << cancelled;
    QTest::newRow("SIGTERM while waiting for the Qel") << sim << QStringList{"QEL_SIM_SILENT=1"} << "Connecting"
                                                       << SIGTERM << "Stopped before writing";
    QTest::newRow("Ctrl-C with --all") << sim + QStringList{"--all"} << QStringList{"QEL_SIM_DEVICES=2"} << "Block"
                                       << SIGINT << cancelled;
}

// A stop signal ends the run as the window's Cancel does, with exit code 130,
// and the Qel keeps a list it can boot with.
void TestCliProcess::stopSignals()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, environment);
    QFETCH(QString, sentAfter);
    QFETCH(int, signal);
    QFETCH(QString, errHas);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString &key : env.keys().filter(QRegularExpression(QStringLiteral("^QEL_"))))
        env.remove(key);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), settings.filePath(QStringLiteral("en")));
    QTemporaryDir saved;
    env.insert(QStringLiteral("QEL_SIM_SAVE_DIR"), saved.path());
    for (const QString &setting : environment)
        env.insert(setting.section(QLatin1Char('='), 0, 0), setting.section(QLatin1Char('='), 1));
    QProcess cli;
    cli.setProcessEnvironment(env);
    cli.start(QStringLiteral(QEL_CLI), arguments);
    QByteArray out;
    while (!out.contains(sentAfter.toUtf8()) && cli.waitForReadyRead(RunLimitMs))
        out += cli.readAllStandardOutput();
    QVERIFY2(out.contains(sentAfter.toUtf8()), out.constData());
    QVERIFY(::kill(pid_t(cli.processId()), signal) == 0);
    QVERIFY(cli.waitForFinished(RunLimitMs));
    out += cli.readAllStandardOutput();
    const QString err = QString::fromLocal8Bit(cli.readAllStandardError());
    QCOMPARE(cli.exitStatus(), QProcess::NormalExit);  // not killed by the signal
    QVERIFY2(cli.exitCode() == 130, qPrintable(QStringLiteral("exit %1\n%2\n%3").arg(cli.exitCode()).arg(out, err)));
    QVERIFY2(err.contains(errHas), qPrintable(err));
    QVERIFY2(!out.contains("update is complete"), out.constData());
    // Each Qel saves the image it would boot, which is nothing without a list:
    // every Qel written to keeps one, one never written to holds nothing.
    const int written = sentAfter != QLatin1String("Block") ? 0 : environment.contains("QEL_SIM_DEVICES=2") ? 2 : 1;
    int booting = 0;
    for (const QFileInfo &image : QDir(saved.path()).entryInfoList(QDir::Files))
        booting += image.size() > 0 ? 1 : 0;
    QCOMPARE(booting, written);
}

// The command line's page shows --help as it stands.
void TestCliProcess::helpIsDocumented()
{
    QString help;
    QString err;
    QCOMPARE(runCli({QStringLiteral("--help")}, {}, help, err), 0);
    QFile page(QStringLiteral(QEL_SOURCE_DIR "/docs/CLI.md"));
    QVERIFY(page.open(QIODevice::ReadOnly | QIODevice::Text));
    const QString text = QString::fromUtf8(page.readAll());
    // The program's path stands in the usage line.
    help.replace(QStringLiteral(QEL_CLI), QStringLiteral("qel-update-cli"));
    QVERIFY2(text.contains(QStringLiteral("```\n") + help + QStringLiteral("```\n")), qPrintable(help));
}

int TestCliProcess::runCli(const QStringList &arguments, const QStringList &environment, QString &out, QString &err)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString &key : env.keys().filter(QRegularExpression(QStringLiteral("^QEL_"))))
        env.remove(key);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), settings.filePath(QStringLiteral("en")));
    for (QString setting : environment) {
        setting.replace(QStringLiteral("=DE"), QLatin1Char('=') + settings.filePath(QStringLiteral("de")));
        env.insert(setting.section(QLatin1Char('='), 0, 0), setting.section(QLatin1Char('='), 1));
    }
    QProcess cli;
    cli.setProcessEnvironment(env);
    cli.start(QStringLiteral(QEL_CLI), QStringList(arguments).replaceInStrings(QStringLiteral("DIR"), settings.path()));
    if (!cli.waitForFinished(RunLimitMs) || cli.exitStatus() != QProcess::NormalExit)
        return -1;
    out = QString::fromLocal8Bit(cli.readAllStandardOutput());
    err = QString::fromLocal8Bit(cli.readAllStandardError());
    return cli.exitCode();
}

QTEST_GUILESS_MAIN(TestCliProcess)
#include "tst_cliprocess.moc"
