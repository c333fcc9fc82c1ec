#pragma once

#include <filesystem>

namespace Ogre {
class OpenALSoundManager;
}

namespace glimmerax {

// The sound-system plug-in, loaded at run time as the video plug-in loads it, with its entry
// point found by name.
class SoundSystemPlugin {
  public:
    static constexpr const char* kEntryPointName = "getSoundSystem";

    // Loads the library and finds the entry point; throws std::runtime_error with the loader's
    // message when either fails.
    explicit SoundSystemPlugin(const std::filesystem::path& library);
    // Unloads the library: every manager it made must be deleted by then.
    ~SoundSystemPlugin();

    SoundSystemPlugin(const SoundSystemPlugin&) = delete;
    SoundSystemPlugin& operator=(const SoundSystemPlugin&) = delete;

    // A new manager from the plug-in; the caller stops and deletes it.
    Ogre::OpenALSoundManager* getSoundSystem() const;

    // The plug-in installed beside this program: in the library folder next to its own, by its
    // versioned name.
    static std::filesystem::path defaultLocation();

  private:
    using EntryPoint = Ogre::OpenALSoundManager* (*)();

    void* handle_ = nullptr;
    EntryPoint entryPoint_ = nullptr;
};

}  // namespace glimmerax
