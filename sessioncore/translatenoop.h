#pragma once

// Marks a source text for lupdate without Qt: the text stays as it is, and the
// catalogue, read where the words are put into a language, translates it.
#ifndef QT_TRANSLATE_NOOP
#define QT_TRANSLATE_NOOP(context, text) text
#endif

