#include "resources/pictures/Pictures.h"

#include <QtCore/qglobal.h>

// Q_INIT_RESOURCE must stand outside any namespace.
static bool RegisterPictures()
{
    Q_INIT_RESOURCE(pictures);
    return true;
}

void Pictures::Register()
{
    static const bool registered = RegisterPictures();
    (void)registered;
}
