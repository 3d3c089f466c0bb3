#pragma once

#include <memory>
#include <string>

#include "client/app/IGuiFactory.h"
#include "client/app/IGuiThread.h"
#include "platform/InstanceChannel.h"
#include "platform/SingleInstanceLock.h"

class ApplicationManager;
class IImageFactory;

// The program's entry sequence: the single-instance rule, folders, log, settings, the
// hand-over to a pending update, the components that live outside the controller, then
// the controller on its own thread while the GUI loop runs on the main thread.
class LumoraMain {
public:
    static constexpr const char* MUTEX_NAME = "KESTRA_LUMORA_APPLICATION_MUTEX";
    static constexpr const char* WINDOW_CLASS = "KestraLumoraAppWnd";
    static constexpr const wchar_t* PROGRAM_FILE = L"Lumora";
    static constexpr const wchar_t* UPDATER_FILE = L"LumoraUpdate";
    static constexpr std::uintmax_t LOG_SIZE_LIMIT = 250000;

    // images: the image factory the map draws with (not owned; none: no map).
    LumoraMain(IGuiThread& guiThread, IGuiFactory& guiFactory, IImageFactory* images = nullptr);
    ~LumoraMain();

    // Returns the process exit code: 0 after a normal run or after the updater was
    // started, 1 when another instance runs or the data folder is missing.
    int run();

private:
    bool becomeSingleInstance();
    bool prepareFolders();
    void openLog();
    int startAndRun();
    void startSettings();
    void startCache();
    bool handOverToUpdater();
    int runController();
    void finish();

    IGuiThread& guiThread_;
    IGuiFactory& guiFactory_;
    IImageFactory* images_;
    platform::SingleInstanceLock instanceLock_;
    platform::InstanceChannel instanceChannel_;
    std::wstring applicationFolder_;
    std::wstring jabberFolder_;
    std::unique_ptr<ApplicationManager> manager_;
};
