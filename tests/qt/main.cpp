// The Qt tests run with a QApplication, on the offscreen platform unless
// QT_QPA_PLATFORM names another.
#include <QApplication>

#include <gtest/gtest.h>

#include "common/Headless.h"

int main(int argc, char** argv) {
    solne::test::UseOffscreenUnlessSet();
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
