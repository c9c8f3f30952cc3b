#pragma once

#include <QRect>
#include <QString>

class QFont;
class QPainter;

// The flags of the text routine, with the values of the system call it stands
// in for, so that flag sets read the same everywhere.
constexpr unsigned DT_LEFT = 0x0;
constexpr unsigned DT_CENTER = 0x1;
constexpr unsigned DT_RIGHT = 0x2;
constexpr unsigned DT_WORDBREAK = 0x10;
constexpr unsigned DT_EXPANDTABS = 0x40;
constexpr unsigned DT_CALCRECT = 0x400;
constexpr unsigned DT_NOPREFIX = 0x800;
constexpr unsigned DT_PATH_ELLIPSIS = 0x4000;
constexpr unsigned DT_END_ELLIPSIS = 0x8000;
constexpr unsigned DT_RTLREADING = 0x20000;
constexpr unsigned DT_WORD_ELLIPSIS = 0x40000;

// Draws Text into R with the painter's font and pen, or with DT_CALCRECT only
// measures it: R's right and bottom then bound the text and nothing is drawn.
// Returns the height of the text.
//
// Lines break at CR, LF and CR LF. With DT_WORDBREAK they also break between
// words; a word wider than R is not split. Measuring a word-broken text keeps
// R's width unless the widest line needs more. Unless DT_NOPREFIX is given,
// "&x" draws x underlined and "&&" draws "&". Tab stops lie every eight
// average character widths with DT_EXPANDTABS; without it a tab is a space.
// Ellipsis shortens what does not fit across: DT_END_ELLIPSIS the last line,
// DT_WORD_ELLIPSIS every line, DT_PATH_ELLIPSIS keeps the text after the last
// "/" or "\" and shortens what is before it. What lies outside R is clipped.
int DrawText(QPainter& Painter, const QString& Text, QRect& R, unsigned Flags);

// Measures without a surface, for sizing before anything is painted. Without
// DT_CALCRECT it only returns the height.
int DrawText(const QFont& Font, const QString& Text, QRect& R, unsigned Flags);
