#pragma once
// What a test executable needs before its QApplication exists. A test file
// states it once, at file scope:
//   ZELBRIK_TEST_ENVIRONMENT(.display = TestDisplay::X11, .width = 1920, .height = 1080);
// Without it the tests run on Qt's offscreen platform.

#include <QString>
#include <map>
#include <string>

enum class TestDisplay {
    Offscreen,  // QApplication on Qt's offscreen platform, no X server
    X11,        // Xvfb (and a window manager, optionally a tray) for this process
    None        // only a QCoreApplication; the test starts its own servers
};

struct TestEnvironment {
    TestDisplay display = TestDisplay::Offscreen;
    int width = 1280;
    int height = 800;
    bool windowManager = true;
    bool tray = false;
    // X11: Xorg with two monitors, the primary one (width x height) at 1280,0.
    bool twoMonitors = false;
    // Set in the process before its application object exists.
    std::map<std::string, std::string> environment = {};
};

TestEnvironment& CurrentTestEnvironment();

struct TestEnvironmentRegistrar {
    explicit TestEnvironmentRegistrar(const TestEnvironment& env) { CurrentTestEnvironment() = env; }
};

#define ZELBRIK_TEST_ENVIRONMENT(...) \
    static TestEnvironmentRegistrar zelbrikTestEnvironmentRegistrar(TestEnvironment{__VA_ARGS__})

class XSession;
// The X session started for this process (TestDisplay::X11), or nullptr.
XSession* ProcessXSession();
