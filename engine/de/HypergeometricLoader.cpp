// Opens the hypergeometric module (HypergeometricModule.h) on first use.
// It lies beside the program in the build tree and in the installed layout's
// library folder (NOSK_MODULE_RELDIR, relative to the program's folder); a
// copy of the program elsewhere (a work folder's NOSKWIN.EXE) finds the one
// installed under the configured prefix (NOSK_MODULE_INSTALLED).

#include "HypergeometricModule.h"
#include "Special.h"

#include <dlfcn.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#ifndef NOSK_MODULE_RELDIR
#define NOSK_MODULE_RELDIR "../lib/nosk"
#endif

namespace nosk::engine::de {

namespace {

struct ModuleState {
    std::mutex mutex;
    std::atomic<const NoskHypergeometricApi*> api{nullptr};
    std::atomic<bool> tried{false};
    std::string overridePath;  // tests: this file only
    std::string lastError;
};

ModuleState& state()
{
    static ModuleState s;
    return s;
}

std::string programFolder()
{
    std::vector<char> buf(4096);
    const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size() - 1);
    if (n <= 0)
        return {};
    std::string path(buf.data(), static_cast<std::size_t>(n));
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

const NoskHypergeometricApi* openModule(const std::string& path, std::string& error)
{
    // Never closed: the DE code keeps its function pointers for the whole run.
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* e = ::dlerror();
        error = e ? e : path + ": cannot be opened";
        return nullptr;
    }
    using Entry = const NoskHypergeometricApi* (*)();
    auto entry = reinterpret_cast<Entry>(::dlsym(handle, "nosk_hypergeometric_api"));
    const NoskHypergeometricApi* api = entry ? entry() : nullptr;
    if (!api || api->version != kNoskHypergeometricApiVersion) {
        error = path + ": not a hypergeometric module of this engine";
        return nullptr;
    }
    return api;
}

const NoskHypergeometricApi* load()
{
    ModuleState& s = state();
    std::lock_guard lock(s.mutex);
    if (s.tried.load(std::memory_order_acquire))
        return s.api.load(std::memory_order_relaxed);
    std::vector<std::string> candidates;
    if (!s.overridePath.empty()) {
        candidates.push_back(s.overridePath);
    } else {
        const std::string folder = programFolder();
        if (!folder.empty()) {
            candidates.push_back(folder + "/" + kNoskHypergeometricModule);
            candidates.push_back(folder + "/" NOSK_MODULE_RELDIR "/" + kNoskHypergeometricModule);
        }
#ifdef NOSK_MODULE_INSTALLED
        candidates.push_back(std::string(NOSK_MODULE_INSTALLED "/") + kNoskHypergeometricModule);
#endif
    }
    const NoskHypergeometricApi* api = nullptr;
    std::string errors;
    for (const std::string& path : candidates) {
        std::string error;
        if (::access(path.c_str(), F_OK) != 0)
            error = path + ": not found";
        else
            api = openModule(path, error);
        if (api)
            break;
        errors += (errors.empty() ? "" : "; ") + error;
    }
    s.lastError = api ? std::string() : (errors.empty() ? std::string("no module found") : errors);
    s.api.store(api, std::memory_order_relaxed);
    s.tried.store(true, std::memory_order_release);
    return api;
}

} // namespace

const NoskHypergeometricApi* hypergeometricModule() noexcept
{
    ModuleState& s = state();
    if (s.tried.load(std::memory_order_acquire))
        return s.api.load(std::memory_order_relaxed);
    try {
        return load();
    } catch (...) {
        return nullptr;
    }
}

bool hypergeometricModuleLoaded() noexcept
{
    return hypergeometricModule() != nullptr;
}

std::string hypergeometricModuleError()
{
    hypergeometricModule();
    std::lock_guard lock(state().mutex);
    return state().lastError;
}

void useHypergeometricModuleForTesting(const std::string& path)
{
    ModuleState& s = state();
    std::lock_guard lock(s.mutex);
    s.overridePath = path;
    s.api.store(nullptr, std::memory_order_relaxed);
    s.tried.store(false, std::memory_order_release);
    s.lastError.clear();
}

} // namespace nosk::engine::de
