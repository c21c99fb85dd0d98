#include "console.h"

#include "texts.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

#include <algorithm>
#include <cstdio>

#ifdef Q_OS_WIN
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

namespace {

// Carriage return, then erase to the end of the line.
const QString Redraw = QStringLiteral("\r\x1b[K");
const QChar Return = QLatin1Char('\r');

void write(FILE *stream, const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stream);
    std::fflush(stream);
}

void write(FILE *stream, const QString &text)
{
#ifdef Q_OS_WIN
    // The console was switched to UTF-8; files and pipes get it as well.
    write(stream, text.toUtf8());
#else
    write(stream, text.toLocal8Bit());
#endif
}

} // namespace

Console::Console()
    : outTerminal(isatty(fileno(stdout)) != 0)
    , inTerminal(isatty(fileno(stdin)) != 0)
    , abilities(prepareTerminal(outTerminal))
{
}

QString Console::redrawn(const QString &line)
{
    if (abilities.escapes)
        return Redraw + line;
    // No escapes: blanks cover what is left of a longer line before.
    const int blanks = std::max(0, drawnLength - int(line.size()));
    drawnLength = int(line.size());
    return Return + line + QString(blanks, QLatin1Char(' '));
}

void Console::event(const QJsonObject &object)
{
    if (json)
        write(stdout, QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n');  // UTF-8 whatever the locale
}

void Console::say(const QString &text)
{
    endProgress();
    if (!json)
        write(stdout, text + QLatin1Char('\n'));
}

void Console::complain(const QString &text)
{
    endProgress();
    write(stderr, text + QLatin1Char('\n'));
}

void Console::progress(const QString &line)
{
    if (json)
        return;
    if (!outTerminal) {
        write(stdout, line + QLatin1Char('\n'));
        return;
    }
    write(stdout, redrawn(line));
    progressOpen = true;
}

void Console::progressBlock(const QStringList &lines)
{
    if (json)
        return;
    // Without escapes the cursor cannot go up: the block is printed again below.
    const bool inPlace = outTerminal && abilities.escapes;
    QString text;
    if (inPlace && blockLines > 0)
        text = QStringLiteral("\x1b[%1A").arg(blockLines);  // up to the block's first line
    for (const QString &line : lines)
        text += (inPlace ? Redraw : QString()) + line + QLatin1Char('\n');
    write(stdout, text);
    blockLines = inPlace ? int(lines.size()) : 0;
}

void Console::endProgress()
{
    blockLines = 0;
    if (!progressOpen)
        return;
    progressOpen = false;
    drawnLength = 0;
    write(stdout, QStringLiteral("\n"));
}

bool Console::confirm(const QString &question)
{
    write(stdout, question + QLatin1Char('\n') + Texts::tr("[y/N]") + QLatin1Char(' '));
    QTextStream in(stdin);
    const QString answer = in.readLine().trimmed().toLower();
    // English answers count in every language.
    const QStringList yes = (Texts::tr("y,yes") + QStringLiteral(",y,yes"))
                                .split(QLatin1Char(','));
    return yes.contains(answer);
}
