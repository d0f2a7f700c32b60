// The Win32 platform under wine: the instance marker, the host's windows and input, and the
// file copies with their progress routine. Needs a display (the script test runs Xvfb).
#include "platform/Drives.h"
#include "platform/NamedMarker.h"
#include "platform/Process.h"
#include "platform/Sticks.h"
#include "platform/win32/FileCopy.h"
#include "platform/win32/ReadBack.h"
#include "sticks/TestSticks.h"
#include "platform/win32/UnbufferedReader.h"
#include "platform/win32/UniqueHandle.h"
#include "platform/win32/Win32Host.h"
#include "platform/win32/WindowAccessible.h"

#include <gtest/gtest.h>

#include <winioctl.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::wstring UniqueName(const wchar_t* prefix)
{
    std::random_device random;
    return prefix + std::to_wstring(random());
}

TEST(Win32NamedMarker, SecondCreateSeesTheFirstUntilBothAreGone)
{
    std::wstring name = UniqueName(L"ArkevenTestMarker");
    auto first = platform::NamedMarker::Create(name);
    EXPECT_FALSE(first->AlreadyExisted());
    auto second = platform::NamedMarker::Create(name);
    EXPECT_TRUE(second->AlreadyExisted());
    first.reset();
    auto third = platform::NamedMarker::Create(name);
    EXPECT_TRUE(third->AlreadyExisted()) << "the second still holds the event";
    second.reset();
    third.reset();
    EXPECT_FALSE(platform::NamedMarker::Create(name)->AlreadyExisted());
}

class RecordingListener : public platform::HostWindowListener {
public:
    void OnHostInput(const platform::HostInput& input) override { inputs.push_back(input); }
    std::vector<platform::HostInput> inputs;
};

class Win32HostTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_host = platform::win32::Win32Host::Open();
        ASSERT_NE(m_host, nullptr);
    }

    std::unique_ptr<platform::HostWindow> Create(const std::wstring& caption)
    {
        platform::HostWindowSpec spec;
        spec.caption = caption;
        spec.instanceName = "TestFrm";
        spec.rect = { 40, 30, 120, 80 };
        return m_host->CreateHostWindow(spec, m_listener);
    }

    std::unique_ptr<platform::win32::Win32Host> m_host;
    RecordingListener m_listener;
};

TEST_F(Win32HostTest, WindowIsFoundByItsCaptionHiddenOrShown)
{
    std::wstring caption = UniqueName(L"Arkeven test ");
    auto window = Create(caption);
    HWND found = ::FindWindowW(nullptr, caption.c_str());
    ASSERT_NE(found, nullptr) << "a hidden window is found too";
    wchar_t className[64] = {};
    ::GetClassNameW(found, className, 64);
    EXPECT_STREQ(className, L"ArkevenWindow");
    EXPECT_TRUE(platform::BringWindowForward(L"unused", caption));
    window->Show(platform::ShowState::Normal);
    EXPECT_TRUE(::IsWindowVisible(found));
    RECT client {};
    ::GetClientRect(found, &client);
    EXPECT_EQ(client.right, 120);
    EXPECT_EQ(client.bottom, 80);
    window->Show(platform::ShowState::Hidden);
    EXPECT_FALSE(::IsWindowVisible(found));
    window.reset();
    EXPECT_EQ(::FindWindowW(nullptr, caption.c_str()), nullptr);
    EXPECT_FALSE(platform::BringWindowForward(L"unused", caption));
}

// The window's accessible object as Active Accessibility clients meet it: one COM object (its
// enumeration of children answers IUnknown as the object does), and the chosen list item as its
// selection, several as an enumeration.
TEST(Win32WindowAccessible, OneObjectEnumeratesItsChildrenAndAnswersTheSelection)
{
    using namespace platform;
    auto state = std::make_shared<win32::AccessibleWindowState>();
    state->window = ::GetDesktopWindow();
    AccessibleNode root;
    root.role = AccessibleRole::Dialog;
    AccessibleNode list;
    list.id = 2001;
    list.role = AccessibleRole::ComboBox;
    AccessibleNode first;
    first.id = AccessibleItemId(2001, 0);
    first.parent = 2001;
    first.role = AccessibleRole::ListItem;
    first.states = AccessibleState::Selectable | AccessibleState::Selected;
    AccessibleNode second = first;
    second.id = AccessibleItemId(2001, 1);
    second.states = AccessibleState::Selectable;
    state->tree.nodes = { root, list, first, second };

    IAccessible* object = win32::WindowAccessible::Create(state);
    ASSERT_NE(object, nullptr);
    IEnumVARIANT* children = nullptr;
    ASSERT_EQ(object->QueryInterface(IID_IEnumVARIANT, reinterpret_cast<void**>(&children)), S_OK);
    IUnknown* fromObject = nullptr;
    IUnknown* fromChildren = nullptr;
    IAccessible* back = nullptr;
    object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&fromObject));
    children->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&fromChildren));
    children->QueryInterface(IID_IAccessible, reinterpret_cast<void**>(&back));
    EXPECT_NE(fromObject, nullptr);
    EXPECT_EQ(fromObject, fromChildren);
    EXPECT_EQ(back, object);
    for (IUnknown* held : { fromObject, fromChildren, static_cast<IUnknown*>(back) }) {
        if (held)
            held->Release();
    }

    VARIANT items[4];
    ULONG fetched = 0;
    ASSERT_EQ(children->Reset(), S_OK);
    EXPECT_EQ(children->Skip(1), S_OK);
    EXPECT_EQ(children->Next(4, items, &fetched), S_FALSE); // two are left
    ASSERT_EQ(fetched, 2u);
    EXPECT_EQ(items[0].lVal, static_cast<LONG>(first.id));
    EXPECT_EQ(items[1].lVal, static_cast<LONG>(second.id));

    VARIANT selected;
    ASSERT_EQ(object->get_accSelection(&selected), S_OK);
    ASSERT_EQ(selected.vt, VT_I4);
    EXPECT_EQ(selected.lVal, static_cast<LONG>(first.id));
    state->tree.nodes[3].states |= AccessibleState::Selected;
    ASSERT_EQ(object->get_accSelection(&selected), S_OK);
    ASSERT_EQ(selected.vt, VT_UNKNOWN);
    IEnumVARIANT* both = nullptr;
    ASSERT_EQ(selected.punkVal->QueryInterface(IID_IEnumVARIANT, reinterpret_cast<void**>(&both)), S_OK);
    EXPECT_EQ(both->Next(4, items, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 2u);
    both->Release();
    ::VariantClear(&selected);
    state->tree.nodes[2].states = state->tree.nodes[3].states = 0;
    ASSERT_EQ(object->get_accSelection(&selected), S_OK);
    EXPECT_EQ(selected.vt, VT_EMPTY);

    children->Release();
    EXPECT_EQ(object->Release(), 0u);
}

TEST_F(Win32HostTest, MessagesBecomeHostInputOnlyWhenDispatched)
{
    std::wstring caption = UniqueName(L"Arkeven input ");
    auto window = Create(caption);
    HWND handle = ::FindWindowW(nullptr, caption.c_str());
    ASSERT_NE(handle, nullptr);
    ::PostMessageW(handle, WM_KEYDOWN, VK_TAB, 0);
    ::PostMessageW(handle, WM_LBUTTONDOWN, 0, MAKELPARAM(17, 23));
    ::SendMessageW(handle, WM_CLOSE, 0, 0);
    EXPECT_TRUE(m_listener.inputs.empty()) << "a sent message is queued, not delivered re-entrantly";
    EXPECT_TRUE(m_host->DispatchPendingInput());

    using Kind = platform::HostInput::Kind;
    ASSERT_EQ(m_listener.inputs.size(), 3u);
    EXPECT_EQ(m_listener.inputs[0].kind, Kind::CloseRequest);
    EXPECT_EQ(m_listener.inputs[1].kind, Kind::KeyDown);
    EXPECT_EQ(m_listener.inputs[1].key, static_cast<std::uint32_t>(VK_TAB));
    EXPECT_EQ(m_listener.inputs[2].kind, Kind::MouseDown);
    EXPECT_EQ(m_listener.inputs[2].x, 17);
    EXPECT_EQ(m_listener.inputs[2].y, 23);
    EXPECT_TRUE(::IsWindow(handle)) << "a close request leaves the decision to the program";

    ::PostMessageW(handle, WM_KEYDOWN, VK_SPACE, 0);
    window.reset();
    m_listener.inputs.clear();
    m_host->DispatchPendingInput();
    EXPECT_TRUE(m_listener.inputs.empty()) << "input for a destroyed window is dropped";
}

// The taskbar minimises and restores without asking the program; the framework must still hear.
TEST_F(Win32HostTest, MinimiseAndRestoreByTheDesktopAreReported)
{
    std::wstring caption = UniqueName(L"Arkeven minimise ");
    auto window = Create(caption);
    window->Show(platform::ShowState::Normal);
    HWND handle = ::FindWindowW(nullptr, caption.c_str());
    ASSERT_NE(handle, nullptr);
    m_host->DispatchPendingInput();
    m_listener.inputs.clear();

    ::ShowWindow(handle, SW_MINIMIZE);
    ::ShowWindow(handle, SW_RESTORE);
    m_host->DispatchPendingInput();
    using Kind = platform::HostInput::Kind;
    std::vector<Kind> states;
    for (const auto& input : m_listener.inputs) {
        if (input.kind == Kind::Iconified || input.kind == Kind::Restored)
            states.push_back(input.kind);
    }
    EXPECT_EQ(states, (std::vector<Kind> { Kind::Iconified, Kind::Restored }));
    // What the system still posts about the window would end the next test's waits early.
    window.reset();
    m_host->DispatchPendingInput();
}

TEST_F(Win32HostTest, WakeFromAnotherThreadEndsTheWait)
{
    auto start = std::chrono::steady_clock::now();
    std::thread waker([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        m_host->Wake();
    });
    m_host->WaitForInput(5000);
    waker.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    start = std::chrono::steady_clock::now();
    m_host->WaitForInput(200);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(150)) << "a wake is used up once";
}

TEST_F(Win32HostTest, PresentedPixelsReachTheWindowAndSurviveARepaint)
{
    std::wstring caption = UniqueName(L"Arkeven pixels ");
    auto window = Create(caption);
    window->Show(platform::ShowState::Normal);
    HWND handle = ::FindWindowW(nullptr, caption.c_str());
    std::vector<std::uint32_t> frame(120 * 80, 0xFF0000FFu); // blue
    for (int x = 0; x < 120; ++x)
        frame[10 * 120 + x] = 0xFFFF0000u; // one red row, to catch a flipped image
    window->Present({ frame.data(), 120, 80, 120 }, { 0, 0, 120, 80 });
    ::RedrawWindow(handle, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    m_host->DispatchPendingInput();
    HDC dc = ::GetDC(handle);
    EXPECT_EQ(::GetPixel(dc, 5, 10), RGB(255, 0, 0));
    EXPECT_EQ(::GetPixel(dc, 5, 69), RGB(0, 0, 255));
    // A dirty rectangle changes that rectangle only.
    std::vector<std::uint32_t> green(120 * 80, 0xFF00FF00u);
    window->Present({ green.data(), 120, 80, 120 }, { 100, 60, 20, 20 });
    EXPECT_EQ(::GetPixel(dc, 110, 70), RGB(0, 255, 0));
    EXPECT_EQ(::GetPixel(dc, 90, 70), RGB(0, 0, 255));
    ::ReleaseDC(handle, dc);
}

// The read-back flushes the copy's volume: under wine that takes a drive with a device behind it,
// such as the test stick of tests/scripts/lib/wine.sh; on Windows any drive (as administrator).
fs::path CopyFolderBase()
{
    const char* sticks = std::getenv("ARKEVEN_TEST_USB_DRIVES");
    if (sticks && *sticks)
        return fs::path(std::string(1, sticks[0]) + ":\\");
    return fs::temp_directory_path();
}

class Win32CopyTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_folder = CopyFolderBase() / ("arkeven-copy-" + std::to_string(std::random_device()()));
        fs::create_directories(m_folder);
        std::ofstream(m_folder / "source.bin", std::ios::binary) << std::string(300000, 'x');
    }
    void TearDown() override { fs::remove_all(m_folder); }

    std::wstring Path(const char* name) const { return (m_folder / name).wstring(); }

    fs::path m_folder;
};

struct ProgressLog {
    std::int64_t total = -1;
    std::int64_t lastTransferred = -1;
    int calls = 0;
    std::uint32_t answer = platform::kProgressContinue;
};

std::uint32_t RecordProgress(std::int64_t total, std::int64_t transferred, std::int64_t, std::int64_t, std::uint32_t,
    std::uint32_t, void*, void*, void* data)
{
    auto* log = static_cast<ProgressLog*>(data);
    log->total = total;
    log->lastTransferred = transferred;
    ++log->calls;
    return log->answer;
}

TEST_F(Win32CopyTest, ProgressRoutineSeesSizesAsNumbersAndCanCancel)
{
    HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    if (ntdll && ::GetProcAddress(ntdll, "wine_get_version"))
        GTEST_SKIP() << "wine's CopyFileExW copies without calling the progress routine";
    ProgressLog log;
    ASSERT_TRUE(platform::CopyFileExW(Path("source.bin"), Path("copy.bin"), RecordProgress, &log, nullptr, 0));
    EXPECT_GT(log.calls, 0);
    EXPECT_EQ(log.total, 300000);
    EXPECT_EQ(log.lastTransferred, 300000);
    EXPECT_EQ(fs::file_size(m_folder / "copy.bin"), 300000u);

    ProgressLog cancelling;
    cancelling.answer = 1; // PROGRESS_CANCEL
    EXPECT_FALSE(platform::CopyFileExW(Path("source.bin"), Path("cancelled.bin"), RecordProgress, &cancelling, nullptr, 0));
    EXPECT_FALSE(fs::exists(m_folder / "cancelled.bin"));
}

TEST_F(Win32CopyTest, FailIfExistsKeepsTheDestination)
{
    std::ofstream(m_folder / "existing.bin", std::ios::binary) << "keep";
    EXPECT_FALSE(platform::CopyFileW(Path("source.bin"), Path("existing.bin"), true));
    EXPECT_EQ(fs::file_size(m_folder / "existing.bin"), 4u);
    EXPECT_TRUE(platform::CopyFileW(Path("source.bin"), Path("existing.bin"), false));
    EXPECT_EQ(fs::file_size(m_folder / "existing.bin"), 300000u);
    EXPECT_FALSE(platform::CopyFileW(Path("missing.bin"), Path("other.bin"), false));
}

TEST_F(Win32CopyTest, ReadingBackComparesTheCopyUnbufferedWithItsOriginal)
{
    ASSERT_TRUE(platform::CopyFileW(Path("source.bin"), Path("copy.bin"), false));
    std::string detail;
    EXPECT_EQ(platform::ReadBackCopy(Path("source.bin"), Path("copy.bin"), detail), platform::ReadBackResult::Same) << detail;
    {
        std::fstream copy(m_folder / "copy.bin", std::ios::binary | std::ios::in | std::ios::out);
        copy.seekp(200000);
        copy.put('y');
    }
    EXPECT_EQ(platform::ReadBackCopy(Path("source.bin"), Path("copy.bin"), detail), platform::ReadBackResult::Different);
    fs::resize_file(m_folder / "copy.bin", 299999);
    EXPECT_EQ(platform::ReadBackCopy(Path("source.bin"), Path("copy.bin"), detail), platform::ReadBackResult::Different);
    EXPECT_EQ(platform::ReadBackCopy(Path("source.bin"), Path("gone.bin"), detail), platform::ReadBackResult::Unreadable);
}

// Windows refuses an unbuffered read whose file offset, size or buffer is off a sector boundary;
// wine reads anyway. These calls refuse it as Windows does (4096: the largest sector of a stick).
class SectorRulesOfUnbufferedReads : public platform::win32::DeviceCalls {
public:
    BOOL Read(HANDLE handle, void* data, DWORD size, DWORD* done, OVERLAPPED* position) override
    {
        constexpr std::uint64_t kSector = 4096;
        LARGE_INTEGER current {};
        std::uint64_t offset = position ? (position->Offset | (static_cast<std::uint64_t>(position->OffsetHigh) << 32))
            : (::SetFilePointerEx(handle, {}, &current, FILE_CURRENT), static_cast<std::uint64_t>(current.QuadPart));
        offsets.push_back(offset);
        if (offset % kSector || size % kSector || reinterpret_cast<std::uintptr_t>(data) % kSector) {
            *done = 0;
            ::SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        return DeviceCalls::Read(handle, data, size, done, position);
    }

    std::vector<std::uint64_t> offsets;
};

TEST_F(Win32CopyTest, UnbufferedReadBackKeepsEveryReadOnSectorBoundaries)
{
    constexpr std::size_t kSize = platform::win32::UnbufferedReader::kPieceSize + 1000;
    std::string content(kSize, '\0');
    std::mt19937 random(25);
    for (char& c : content)
        c = static_cast<char>(random());
    std::ofstream(m_folder / "odd.bin", std::ios::binary) << content;
    platform::win32::UniqueHandle file(::CreateFileW(Path("odd.bin").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
        OPEN_EXISTING, FILE_FLAG_NO_BUFFERING, nullptr));
    ASSERT_TRUE(file);
    SectorRulesOfUnbufferedReads calls;
    platform::win32::UnbufferedReader reader(file.Get(), calls);
    ASSERT_TRUE(reader.SizeKnown());
    EXPECT_EQ(reader.Size(), kSize);
    std::string read;
    while (!reader.AtEnd()) {
        DWORD count = 0;
        ASSERT_TRUE(reader.ReadNext(count)) << "a read at byte " << reader.Offset() << " failed";
        read.append(reinterpret_cast<const char*>(reader.Data()), count);
    }
    EXPECT_TRUE(read == content);
    // No read at the file's end, where the short last piece left the position.
    EXPECT_EQ(calls.offsets, (std::vector<std::uint64_t> { 0, platform::win32::UnbufferedReader::kPieceSize }));
}

// A medium that lost what the system still holds in its cache: every read gives zeros.
class ForgetfulMedium : public platform::win32::DeviceCalls {
public:
    BOOL Read(HANDLE handle, void* data, DWORD size, DWORD* done, OVERLAPPED* position) override
    {
        BOOL read = DeviceCalls::Read(handle, data, size, done, position);
        std::memset(data, 0, size);
        return read;
    }
};

TEST_F(Win32CopyTest, TheLoaderCountsOnlyWhenTheMediumHoldsIt)
{
    std::ofstream(m_folder / "ldlinux.sys", std::ios::binary) << "ldlinux.sys of a test\n";
    std::string detail;
    EXPECT_TRUE(platform::ReadBackFromMedium(Path("ldlinux.sys"), detail)) << detail;
    ForgetfulMedium forgetful;
    EXPECT_FALSE(platform::ReadBackFromMedium(Path("ldlinux.sys"), detail, forgetful));
    EXPECT_NE(detail.find("not on the stick's medium"), std::string::npos) << detail;
    EXPECT_FALSE(platform::ReadBackFromMedium(Path("missing.sys"), detail));
}

// "D:\syslinux\syslinux -fma E:" runs syslinux.exe through the command interpreter: the check
// before a job looks for the file the same way.
TEST_F(Win32CopyTest, TheInstallerIsFoundWithTheExtensionTheInterpreterAdds)
{
    EXPECT_TRUE(platform::Sticks::System().FindInstaller(Path("syslinux")).empty());
    fs::create_directory(m_folder / "syslinux.com");
    EXPECT_TRUE(platform::Sticks::System().FindInstaller(Path("syslinux")).empty()) << "a folder is no program";
    std::ofstream(m_folder / "syslinux.exe", std::ios::binary) << "MZ";
    EXPECT_EQ(platform::Sticks::System().FindInstaller(Path("syslinux")), Path("syslinux.exe"));
    EXPECT_TRUE(platform::Sticks::System().MissingTools().empty());
}

// The identity of a drive is asked afresh each time and tells drives apart; a hold is given
// only for the device the caller names.
TEST(Win32Drives, IdentitiesTellDrivesApartAndBindAHold)
{
    std::wstring system = platform::GetDriveIdentity(L'C');
    ASSERT_FALSE(system.empty());
    EXPECT_EQ(platform::GetDriveIdentity(L'c'), system);
    EXPECT_TRUE(platform::IsDriveStill(L'C', system));
    EXPECT_FALSE(platform::IsDriveStill(L'C', L""));
    EXPECT_FALSE(platform::IsDriveStill(L'C', system + L"x"));
    std::wstring other = platform::GetDriveIdentity(L'Z');
    if (!other.empty()) {
        EXPECT_NE(other, system);
    }
    EXPECT_TRUE(platform::GetDriveIdentity(L'1').empty());

    EXPECT_TRUE(platform::Sticks::System().Hold(L'C', system).stick);
    platform::StickHoldResult refused = platform::Sticks::System().Hold(L'C', system + L"x");
    EXPECT_FALSE(refused.stick);
    EXPECT_EQ(refused.error, platform::StickHoldError::NotThatDevice);
}

// The test sticks' stand-in disk takes a new layout only while its volume is locked, as Windows
// does, and then writes it as the disk driver would: one MBR entry, no GPT left.
TEST(Win32TestSticks, ALayoutChangeNeedsTheVolumeLocked)
{
    fs::path image = fs::temp_directory_path() / ("arkeven-layout-" + std::to_string(std::random_device()()) + ".img");
    {
        std::ofstream file(image, std::ios::binary);
        file << std::string(512, '\0') << "EFI PART" << std::string((8u << 20) - 520, '\x11');
    }
    using platform::win32::TestSticks;
    {
        platform::win32::UniqueHandle disk(::CreateFileW(image.c_str(), GENERIC_READ | GENERIC_WRITE,
            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(disk);
        CREATE_DISK fresh {};
        fresh.PartitionStyle = PARTITION_STYLE_MBR;
        fresh.Mbr.Signature = 0x1234;
        DWORD returned = 0;
        EXPECT_FALSE(TestSticks::Answer(disk.Get(), IOCTL_DISK_CREATE_DISK, &fresh, sizeof fresh, nullptr, 0, &returned));
        EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

        platform::win32::UniqueHandle volume(::CreateFileW(image.c_str(), GENERIC_READ | GENERIC_WRITE,
            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(TestSticks::Answer(volume.Get(), FSCTL_LOCK_VOLUME, nullptr, 0, nullptr, 0, &returned));
        EXPECT_TRUE(TestSticks::Answer(disk.Get(), IOCTL_DISK_CREATE_DISK, &fresh, sizeof fresh, nullptr, 0, &returned));
        std::vector<BYTE> buffer(sizeof(DRIVE_LAYOUT_INFORMATION_EX) + 3 * sizeof(PARTITION_INFORMATION_EX));
        auto* layout = reinterpret_cast<DRIVE_LAYOUT_INFORMATION_EX*>(buffer.data());
        layout->PartitionStyle = PARTITION_STYLE_MBR;
        layout->PartitionCount = 4;
        layout->Mbr.Signature = 0x1234;
        layout->PartitionEntry[0].StartingOffset.QuadPart = 1 << 20;
        layout->PartitionEntry[0].PartitionLength.QuadPart = 7 << 20;
        layout->PartitionEntry[0].Mbr.PartitionType = PARTITION_FAT32_XINT13;
        EXPECT_TRUE(TestSticks::Answer(disk.Get(), IOCTL_DISK_SET_DRIVE_LAYOUT_EX, layout, static_cast<DWORD>(buffer.size()),
            nullptr, 0, &returned));
        ASSERT_TRUE(TestSticks::Answer(volume.Get(), FSCTL_UNLOCK_VOLUME, nullptr, 0, nullptr, 0, &returned));
        EXPECT_FALSE(TestSticks::Answer(disk.Get(), IOCTL_DISK_UPDATE_PROPERTIES, nullptr, 0, nullptr, 0, &returned));
    }
    std::ifstream file(image, std::ios::binary);
    std::string head(1024, '\0');
    file.read(head.data(), static_cast<std::streamsize>(head.size()));
    EXPECT_EQ(static_cast<std::uint8_t>(head[446 + 4]), 0x0Cu);
    EXPECT_EQ(static_cast<std::uint8_t>(head[446 + 8]) | static_cast<std::uint8_t>(head[446 + 9]) << 8, 2048);
    EXPECT_EQ(head.substr(510, 2), "\x55\xAA");
    EXPECT_EQ(head.find("EFI PART"), std::string::npos) << "the GPT header stayed";
    file.close();
    fs::remove(image);
}

TEST(Win32Process, ModulePathNamesThisExecutable)
{
    std::wstring path = platform::GetModuleFileNameW();
    ASSERT_GT(path.size(), 3u);
    EXPECT_EQ(path[1], L':');
    EXPECT_EQ(path.substr(path.size() - 17), L"\\test_windows.exe");
}

} // namespace
