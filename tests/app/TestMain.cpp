#include "app/Application.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    // The windows' journals go to a folder of the run's own, not the user's.
    const QTemporaryDir state;
    qputenv("XDG_STATE_HOME", state.path().toLocal8Bit());
    kestra::Application application(argc, argv);
    return RUN_ALL_TESTS();
}
