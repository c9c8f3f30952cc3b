#include <QApplication>
#include <QWidget>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Zelvo Lumidor"));
    window.resize(524, 350);
    window.show();
    return app.exec();
}
