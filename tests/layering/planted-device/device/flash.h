#pragma once
// Planted fault: Qt in the device model.
#include <QByteArray>
