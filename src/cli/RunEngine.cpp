#include "cli/RunEngine.h"

#include <dlfcn.h>

#include <filesystem>
#include <stdexcept>
#include <system_error>
#include <vector>

#include <QApplication>

namespace nuv {

IRunEngine& LoadRunEngine() {
    static IRunEngine* engine = nullptr;
    if (engine != nullptr) return *engine;
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr)
        throw std::runtime_error("the browser engine needs the window system, which this run did not start");
    // Beside the program (the build tree), then where the installation puts it.
    std::error_code ec;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", ec).parent_path();
    const std::vector<std::filesystem::path> places = {program / NUV_ENGINE_MODULE,
                                                       program / NUV_ENGINE_MODULE_INSTALLED / NUV_ENGINE_MODULE};
    std::string why;
    for (const std::filesystem::path& place : places) {
        if (!std::filesystem::is_regular_file(place, ec)) continue;
        void* module = dlopen(place.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (module == nullptr) {
            const char* error = dlerror();
            why = error != nullptr ? error : place.string();
            continue;
        }
        auto* entry = reinterpret_cast<IRunEngine* (*)()>(dlsym(module, kRunEngineEntry));
        if (entry != nullptr && (engine = entry()) != nullptr) return *engine;
        why = place.string() + " holds no engine";
    }
    throw std::runtime_error("the browser engine cannot be loaded: " +
                             (why.empty() ? std::string(NUV_ENGINE_MODULE) + " was not found" : why));
}

}  // namespace nuv
