// Painting on the headless host, in process: the writer's percentage line stored and redrawn
// (the repaint that follows every progress step), and the whole "UsbFrm" window repainted.
// Both include presenting the changed pixels to the host.

#include "app/CMainFrame.h"
#include "framework/CWinApp.h"
#include "framework/Messages.h"
#include "platform/files/Utf8.h"
#include "platform/host/HeadlessHost.h"
#include "recovery/CzRecoveryDlg.h"
#include "uilib/CzCanvas.h"
#include "uilib/CzTextLibrary.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>

namespace {

constexpr UINT kPercentLine = 10005;
constexpr const char* kProgramFolder = ARKEVEN_BINARY_DIR "/cd/AUTORUN";

CzRecoveryDlg* g_dialog = nullptr;

// What the writer does for each step of the bar: a new percentage line, redrawn at once.
void BM_StaticRepaint(benchmark::State& state)
{
    const std::wstring texts[2] = { L"55% completed", L"56% completed" };
    int turn = 0;
    for (auto _ : state) {
        g_dialog->SetStaticTextFromWorker(kPercentLine, texts[turn]);
        turn ^= 1;
    }
}
BENCHMARK(BM_StaticRepaint)->Unit(benchmark::kMicrosecond);

// The same from a worker thread, as the writer does it: the call blocks until the UI thread has
// stored the text, repainted and presented. Adds the two thread hand-overs to the figure above.
void BM_StaticRepaintFromWorker(benchmark::State& state)
{
    const std::wstring texts[2] = { L"55% completed", L"56% completed" };
    std::atomic<long> requested { 0 };
    std::atomic<long> completed { 0 };
    std::atomic<bool> stop { false };
    CWinApp* app = AfxGetApp();
    std::thread worker([&] {
        long served = 0;
        while (!stop) {
            if (requested.load() == served) {
                std::this_thread::yield();
                continue;
            }
            g_dialog->SetStaticTextFromWorker(kPercentLine, texts[served & 1]);
            completed = ++served;
            app->GetHost().Wake();
        }
    });
    for (auto _ : state) {
        long target = ++requested;
        app->PumpUntil([&] { return completed.load() >= target; });
    }
    stop = true;
    worker.join();
}
BENCHMARK(BM_StaticRepaintFromWorker)->Unit(benchmark::kMicrosecond)->UseRealTime();

// The screen reader's share of every paint: the window's tree built from its controls and
// compared with the last. Hosts that know nobody reads it (X11 before the bridge registers,
// Windows without a WinEvent hook or a client) skip it.
void BM_AccessibilityRefresh(benchmark::State& state)
{
    for (auto _ : state)
        g_dialog->RefreshAccessibility();
}
BENCHMARK(BM_AccessibilityRefresh)->Unit(benchmark::kMicrosecond);

void BM_FullWindowPaint(benchmark::State& state)
{
    for (auto _ : state) {
        g_dialog->InvalidateRect(nullptr);
        g_dialog->UpdateWindow();
    }
}
BENCHMARK(BM_FullWindowPaint)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);

    CWinApp app(L"Arkeven");
    auto host = std::make_unique<platform::HeadlessHost>();
    platform::HeadlessHost& headless = *host;
    app.AttachHost(std::move(host));
    CzCanvas::SetSkinFolder(FromUtf8(kProgramFolder));
    if (!z32InitZEZivu(FromUtf8(std::string(kProgramFolder) + "/Localization"), 0)) {
        std::fprintf(stderr, "bench_paint: no texts in %s/Localization (build the cd_autorun target)\n", kProgramFolder);
        return 1;
    }

    auto* frame = new CMainFrame; // the framework deletes it with its window
    app.m_pMainWnd = frame;
    if (!frame->LoadFrame(128, WS_OVERLAPPEDWINDOW | FWS_ADDTOTITLE)) {
        std::fprintf(stderr, "bench_paint: the launcher window could not be created\n");
        return 1;
    }
    frame->fnShowWindow(SW_SHOW);

    int status = 1;
    {
        CzRecoveryDlg dialog(frame);
        app.Queue().PostTask([&] {
            g_dialog = &dialog;
            // The window must really be on the host, or the figures would leave out presenting.
            auto shown = headless.Find("UsbFrm");
            if (!shown || shown->presentCount == 0) {
                std::fprintf(stderr, "bench_paint: UsbFrm is not shown\n");
            } else {
                benchmark::RunSpecifiedBenchmarks();
                status = 0;
            }
            g_dialog = nullptr;
            dialog.EndDialog(IDCANCEL);
        });
        if (dialog.DoModal() == -1) {
            std::fprintf(stderr, "bench_paint: UsbFrm could not be loaded\n");
            return 1;
        }
    }
    frame->DestroyWindow();
    benchmark::Shutdown();
    return status;
}
