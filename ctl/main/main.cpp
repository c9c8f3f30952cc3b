#include <QCoreApplication>
#include <QTextStream>

#include <unistd.h>

#include "ctl/LumidorCtl.h"

int main(int argc, char** argv)
{
    QCoreApplication App(argc, argv);
    QTextStream Out(stdout);
    QTextStream Err(stderr);
    const int Code = LumidorCtl::Run(App.arguments().mid(1), Out, Err, isatty(STDOUT_FILENO) == 1);
    Out.flush();
    Err.flush();
    return Code;
}
