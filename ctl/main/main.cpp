#include <QCoreApplication>

#include <unistd.h>

#include "ctl/LumidorCtl.h"

int main(int argc, char** argv)
{
    QCoreApplication App(argc, argv);
    return LumidorCtl::Main(App.arguments().mid(1), STDOUT_FILENO, STDERR_FILENO);
}
