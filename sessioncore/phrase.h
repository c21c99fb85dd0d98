#pragma once

#include <string>
#include <vector>

// Words for the user, not yet in any language. A view puts a phrase into its
// own: the desktop through Qt's catalogue, the page through the same catalogue
// made into JSON. So the core decides what is said and no view words it again.
//
// A phrase is one of three things:
//   plain       said as it is (numbers, versions, trace lines nobody translates)
//   text        a source text, looked up in the catalogue of context
//               "MainWindow", its %1, %2, ... replaced by the arguments
//   joined      phrases said one after the other
class Phrase
{
public:
    enum class Kind { Plain, Text, Joined };

    Phrase() = default;
    static Phrase plain(std::string words);
    // `source` is a literal marked with QT_TRANSLATE_NOOP("MainWindow", ...), or a
    // format nobody translates (lookup then finds nothing and keeps it).
    static Phrase text(const char *source, std::vector<Phrase> args = {});
    static Phrase joined(std::vector<Phrase> parts);

    Kind kind() const { return what; }
    // Plain: the words; Text: the source text.
    const std::string &words() const { return said; }
    // Text: the arguments; Joined: the parts.
    const std::vector<Phrase> &parts() const { return inner; }

    // Said without any catalogue: the source texts with their arguments put in.
    std::string english() const;
    // As the browser's C interface hands it on: a string, an array of
    // phrases, or {"text": "...", "args": [...]}.
    std::string json() const;
    void appendJson(std::string &out) const;

    bool operator==(const Phrase &other) const;
    bool operator!=(const Phrase &other) const { return !(*this == other); }

private:
    Kind what = Kind::Plain;
    std::string said;
    std::vector<Phrase> inner;
};

// `format` with %1 .. %9 replaced by `args` in one pass, as QString::arg does
// with several arguments: what is put in is not looked at again.
std::string fillIn(const std::string &format, const std::vector<std::string> &args);
