#pragma once
// Planted fault: Qt in the plain C++ core.
#include <QString>
