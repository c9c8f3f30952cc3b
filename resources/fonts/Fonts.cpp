#include "resources/fonts/Fonts.h"

#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QStringList>

void Fonts::InstallSubstitutes()
{
    if (!QFontDatabase::families().contains(QStringLiteral("Tahoma"))) {
        for (const char* file : {"/usr/share/wine/fonts/tahoma.ttf", "/usr/share/wine/fonts/tahomabd.ttf"}) {
            if (QFile::exists(QString::fromLatin1(file)))
                (void)QFontDatabase::addApplicationFont(QString::fromLatin1(file));
        }
    }
    // Used only where a family is not installed at all.
    QFont::insertSubstitutions(QStringLiteral("Tahoma"), {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    QFont::insertSubstitutions(QStringLiteral("Arial"), {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
}
