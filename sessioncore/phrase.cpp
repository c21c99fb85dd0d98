#include "phrase.h"

#include <cstdio>

Phrase Phrase::plain(std::string words)
{
    Phrase p;
    p.what = Kind::Plain;
    p.said = std::move(words);
    return p;
}

Phrase Phrase::text(const char *source, std::vector<Phrase> args)
{
    Phrase p;
    p.what = Kind::Text;
    p.said = source;
    p.inner = std::move(args);
    return p;
}

Phrase Phrase::joined(std::vector<Phrase> parts)
{
    Phrase p;
    p.what = Kind::Joined;
    p.inner = std::move(parts);
    return p;
}

std::string fillIn(const std::string &format, const std::vector<std::string> &args)
{
    std::string out;
    out.reserve(format.size());
    for (std::size_t i = 0; i < format.size(); ++i) {
        const char c = format[i];
        if (c == '%' && i + 1 < format.size() && format[i + 1] >= '1' && format[i + 1] <= '9') {
            const std::size_t n = std::size_t(format[i + 1] - '1');
            if (n < args.size()) {
                out += args[n];
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

std::string Phrase::english() const
{
    switch (what) {
    case Kind::Plain:
        return said;
    case Kind::Text: {
        std::vector<std::string> args;
        args.reserve(inner.size());
        for (const Phrase &arg : inner)
            args.push_back(arg.english());
        return fillIn(said, args);
    }
    case Kind::Joined:
        break;
    }
    std::string out;
    for (const Phrase &part : inner)
        out += part.english();
    return out;
}

namespace {

void appendJsonString(std::string &out, const std::string &text)
{
    out += '"';
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        default:
            if (u < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", unsigned(u));
                out += escaped;
            } else {
                out += c;  // UTF-8 passes as it is
            }
        }
    }
    out += '"';
}

void appendJsonArray(std::string &out, const std::vector<Phrase> &phrases)
{
    out += '[';
    for (std::size_t i = 0; i < phrases.size(); ++i) {
        if (i > 0)
            out += ',';
        phrases[i].appendJson(out);
    }
    out += ']';
}

} // namespace

void Phrase::appendJson(std::string &out) const
{
    switch (what) {
    case Kind::Plain:
        appendJsonString(out, said);
        return;
    case Kind::Text:
        out += "{\"text\":";
        appendJsonString(out, said);
        out += ",\"args\":";
        appendJsonArray(out, inner);
        out += '}';
        return;
    case Kind::Joined:
        appendJsonArray(out, inner);
        return;
    }
}

std::string Phrase::json() const
{
    std::string out;
    appendJson(out);
    return out;
}

bool Phrase::operator==(const Phrase &other) const
{
    return what == other.what && said == other.said && inner == other.inner;
}
