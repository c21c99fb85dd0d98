#pragma once

#include <QCoreApplication>

// Texts shown to the user outside the window's own code still belong to the
// window's translation context, so that one catalogue covers them all.
class Texts
{
    Q_DECLARE_TR_FUNCTIONS(MainWindow)
};
