#include <glimmerax/OgreTheoraAudioDriver.h>

namespace Ogre {

TheoraAudioDriver::TheoraAudioDriver() = default;
TheoraAudioDriver::TheoraAudioDriver(const TheoraAudioDriver& other) = default;
TheoraAudioDriver& TheoraAudioDriver::operator=(const TheoraAudioDriver& other) = default;
TheoraAudioDriver::~TheoraAudioDriver() = default;

}  // namespace Ogre
