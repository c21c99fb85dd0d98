#pragma once
// Planted fault: Qt in what the page runs.
#include <QTimer>
