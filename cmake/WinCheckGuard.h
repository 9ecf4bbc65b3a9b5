// Put in front of every source `make wincheck` compiles.
#pragma once

#include <QtCore/qglobal.h>

#ifndef Q_OS_WIN
#error "Q_OS_WIN is not defined: the Qt headers did not take their Windows branches"
#endif
