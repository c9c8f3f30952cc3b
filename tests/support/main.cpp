#include <QApplication>
#include <gtest/gtest.h>

// Every test program gets an application object: widget tests need one, and
// the others lose nothing by it. The platform is offscreen unless set.
int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
