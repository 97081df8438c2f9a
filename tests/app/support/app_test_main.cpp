// SPDX-License-Identifier: GPL-3.0-or-later
// The application tests run under the program's own application object, so
// an exception leaving an event handler reaches the default error report as
// it does in the program. The settings file goes to a folder of the run's
// own, never the user's.
#include "app/app_settings.h"
#include "app/application.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    TApplication app(argc, argv);
    TAppSettings::ConfineToolkitSettings();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
