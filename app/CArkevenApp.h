#pragma once

#include "framework/CWinApp.h"
#include "platform/NamedMarker.h"

#include <memory>

// The application object: one instance at a time, the launcher as its main window.
class CArkevenApp : public CWinApp {
public:
    CArkevenApp();

    bool InitInstance() override;
    int ExitInstance() override;

private:
    // The launch-check marker; held while this instance runs.
    std::unique_ptr<platform::NamedMarker> m_hLaunchCheck;
};
