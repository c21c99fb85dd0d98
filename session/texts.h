#pragma once

#include "phrase.h"

#include <QCoreApplication>
#include <QString>

// Texts shown to the user outside the window's own code still belong to the
// window's translation context, so that one catalogue covers them all.
class Texts
{
    Q_DECLARE_TR_FUNCTIONS(MainWindow)

public:
    // A phrase of the core in the user's language: each source text through
    // the catalogue, its %1, %2, ... replaced by its arguments in one pass.
    static QString render(const Phrase &phrase);
};
