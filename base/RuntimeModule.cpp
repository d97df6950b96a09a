#include "RuntimeModule.h"

#include <dlfcn.h>

#include <filesystem>
#include <map>
#include <mutex>
#include <stdexcept>
#include <system_error>
#include <vector>

namespace {

std::mutex g_lock;
std::map<std::string, void*> g_loaded;

// Where the modules may be: installed beside the program, or in the build tree
// the program was built in.
std::vector<std::filesystem::path> ModuleFolders() {
    std::vector<std::filesystem::path> folders;
    std::error_code error;
    const std::string program = std::filesystem::read_symlink("/proc/self/exe", error).string();
    if (error) return folders;
    folders.push_back(std::filesystem::path(program).parent_path() / ORVANTA_MODULE_FROM_PROGRAM);
    // Tests and tools run from anywhere in the build tree; an installed
    // program never looks there.
    const std::string buildTree = ORVANTA_BUILD_DIR "/";
    if (program.compare(0, buildTree.size(), buildTree) == 0) folders.emplace_back(ORVANTA_MODULE_BUILD_DIR);
    return folders;
}

void* Load(const std::string& name) {
    std::string reasons;
    for (const std::filesystem::path& folder : ModuleFolders()) {
        const std::filesystem::path file = folder / (name + ".so");
        std::error_code error;
        if (!std::filesystem::exists(file, error)) continue;
        if (void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL)) return handle;
        const char* why = dlerror();
        reasons += "; ";
        reasons += why ? why : file.string();
    }
    throw std::runtime_error("the program's " + name + " module cannot be loaded" +
                             (reasons.empty() ? std::string(": it is not installed") : reasons));
}

}  // namespace

void* CRuntimeModule::Symbol(const std::string& name, const char* symbol) {
    const std::lock_guard<std::mutex> hold(g_lock);
    void*& handle = g_loaded[name];
    if (handle == nullptr) handle = Load(name);
    void* address = dlsym(handle, symbol);
    if (address == nullptr)
        throw std::runtime_error("the program's " + name + " module is not the one this program was built with");
    return address;
}
