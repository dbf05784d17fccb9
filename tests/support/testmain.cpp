// Shared main of the test executables: gives the process the display its test
// file asked for, then runs GoogleTest inside a Qt application object.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <cstdlib>
#include <memory>

#include "main/application.h"
#include "testenv.h"
#include "xsession.h"

namespace {
std::unique_ptr<XSession> g_session;
}

TestEnvironment& CurrentTestEnvironment()
{
    static TestEnvironment env;
    return env;
}

XSession* ProcessXSession()
{
    return g_session.get();
}

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    const TestEnvironment& env = CurrentTestEnvironment();

    // Never touch the real settings or lock of whoever runs the tests.
    char tmpl[] = "/tmp/zelbrik-unit-XXXXXX";
    std::string home = mkdtemp(tmpl);
    setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", home.c_str(), 1);
    unsetenv("DBUS_SESSION_BUS_ADDRESS");
    setenv("QT_ACCESSIBILITY", "0", 1);
    for (const auto& [name, value] : env.environment)
        setenv(name.c_str(), value.c_str(), 1);

    int rc = 0;
    switch (env.display) {
    case TestDisplay::Offscreen: {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        TApplication app(argc, argv);
        rc = RUN_ALL_TESTS();
        break;
    }
    case TestDisplay::X11: {
        XSessionOptions opts;
        opts.width = env.width;
        opts.height = env.height;
        opts.windowManager = env.windowManager;
        opts.tray = env.tray;
        opts.twoMonitors = env.twoMonitors;
        g_session = std::make_unique<XSession>(opts);
        setenv("DISPLAY", g_session->display().c_str(), 1);
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        {
            TApplication app(argc, argv);
            rc = RUN_ALL_TESTS();
        }
        g_session.reset();
        break;
    }
    case TestDisplay::None: {
        QCoreApplication app(argc, argv);
        rc = RUN_ALL_TESTS();
        break;
    }
    }
    std::string cleanup = "rm -rf '" + home + "'";
    (void)system(cleanup.c_str());
    return rc;
}
