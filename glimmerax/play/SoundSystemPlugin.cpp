#include "SoundSystemPlugin.h"

#include <dlfcn.h>

#include <stdexcept>
#include <string>
#include <system_error>

namespace glimmerax {

namespace {
// The plug-in's versioned name (its SONAME): an installed plug-in has it even without its
// development package, which alone brings the unversioned link.
constexpr const char* kLibraryName = GLIMMERAX_PLUGIN_LIBRARY_NAME;
}  // namespace

SoundSystemPlugin::SoundSystemPlugin(const std::filesystem::path& library) {
    // The plug-in, and the libraries it loads, stay mapped until the program ends, as the
    // leak checker of the sanitizer build needs them at exit: memory that a library unloaded
    // early still holds in its globals (ALSA's configuration, loaded by OpenAL Soft when it
    // looks for a sound card) would be reported as leaked, from frames no one can name.
    handle_ = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (handle_ == nullptr) {
        throw std::runtime_error("cannot load the sound-system plug-in: " + std::string(dlerror()));
    }
    // dlsym yields an object pointer; the entry point is a function of this type.
    void* symbol = dlsym(handle_, kEntryPointName);
    if (symbol == nullptr) {
        const std::string message = library.string() + " has no " + kEntryPointName;
        dlclose(handle_);
        throw std::runtime_error(message);
    }
    entryPoint_ = reinterpret_cast<EntryPoint>(symbol);
}

SoundSystemPlugin::~SoundSystemPlugin() {
    dlclose(handle_);
}

Ogre::OpenALSoundManager* SoundSystemPlugin::getSoundSystem() const {
    return entryPoint_();
}

std::filesystem::path SoundSystemPlugin::defaultLocation() {
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    const std::filesystem::path programFolder =
        error ? std::filesystem::path(".") : program.parent_path();
    // Installed, the library folder is where GNUInstallDirs puts it; in the build tree, lib/
    // lies beside bin/.
    for (const char* relative : {GLIMMERAX_PLUGIN_FOLDER_FROM_PROGRAM, "../lib"}) {
        std::filesystem::path candidate = programFolder / relative / kLibraryName;
        if (std::filesystem::exists(candidate)) {
            return candidate.lexically_normal();
        }
    }
    return (programFolder / GLIMMERAX_PLUGIN_FOLDER_FROM_PROGRAM / kLibraryName).lexically_normal();
}

}  // namespace glimmerax
