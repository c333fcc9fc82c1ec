#include "PluginLog.h"

#include <OgreLogManager.h>

namespace belvane {

void logNormal(const std::string& message) {
    if (Ogre::LogManager* log = Ogre::LogManager::getSingletonPtr()) {
        log->logMessage(message, Ogre::LML_NORMAL, false);
    }
}

}  // namespace belvane
