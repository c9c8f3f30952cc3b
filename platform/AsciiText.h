#pragma once

#include <QString>
#include <QByteArrayView>
#include <QStringView>

// Text compared and cased by the letters A to Z alone: names of work items,
// registry values, job labels, executable names and the instance name. Every
// other character, accented and non-Latin letters too, stays as it is and
// must match exactly.
namespace AsciiText {

// The letters a to z upper-cased.
QChar UpperCase(QChar C);
QString UpperCase(QString Text);

// The letters A to Z lower-cased: texts that SameText finds equal become the
// same text, for a set or a lookup by key.
QString LowerCase(QString Text);

// Equal once the case of A to Z is ignored; texts of different length never are.
bool SameText(QStringView A, QStringView B);

// SameText on bytes: a byte outside A to Z, UTF-8 or not, must match exactly.
bool SameText(QByteArrayView A, QByteArrayView B);

} // namespace AsciiText
