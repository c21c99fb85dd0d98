#include "texts.h"

QString Texts::render(const Phrase &phrase)
{
    const std::vector<Phrase> &parts = phrase.parts();
    switch (phrase.kind()) {
    case Phrase::Kind::Plain:
        return QString::fromStdString(phrase.words());
    case Phrase::Kind::Text:
        break;
    case Phrase::Kind::Joined: {
        QString joined;
        for (const Phrase &part : parts)
            joined += render(part);
        return joined;
    }
    }
    const QString format = tr(phrase.words().c_str());
    QString out;
    out.reserve(format.size());
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        if (c == QLatin1Char('%') && i + 1 < format.size()) {
            const int n = format.at(i + 1).digitValue();
            if (n >= 1 && std::size_t(n) <= parts.size()) {
                out += render(parts[std::size_t(n) - 1]);
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}
