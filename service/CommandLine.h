#pragma once

#include <QString>
#include <QStringList>

// Splits a work item's parameters into arguments as a Windows command line is
// split (CommandLineToArgvW): blanks separate; double quotes group and are
// dropped; 2n backslashes before a quote give n and the quote groups, 2n+1
// give n and a literal quote; other backslashes are literal; "" inside quotes
// gives a literal quote. No shell, no expansion.
QStringList SplitCommandLine(const QString& Parameters);
