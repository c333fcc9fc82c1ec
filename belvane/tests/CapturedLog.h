#pragma once

#include <OgreLog.h>
#include <OgreLogManager.h>

#include <memory>
#include <string>
#include <vector>

namespace belvane::testing {

// The OGRE log that a host creates, kept in memory, with every message the plug-in writes.
class CapturedLog final : public Ogre::LogListener {
  public:
    struct Message {
        std::string text;
        Ogre::LogMessageLevel level;
        bool maskDebug;
    };

    CapturedLog() : manager_(new Ogre::LogManager()) {
        log_ = manager_->createLog("belvane-test.log", true, false, true);
        log_->addListener(this);
    }
    ~CapturedLog() override { log_->removeListener(this); }
    CapturedLog(const CapturedLog&) = delete;
    CapturedLog& operator=(const CapturedLog&) = delete;

    void messageLogged(const Ogre::String& message, Ogre::LogMessageLevel level, bool maskDebug,
                       const Ogre::String& /*logName*/, bool& /*skipThisMessage*/) override {
        messages_.push_back({message, level, maskDebug});
    }

    const std::vector<Message>& messages() const { return messages_; }
    std::vector<std::string> texts() const {
        std::vector<std::string> texts;
        for (const Message& message : messages_) {
            texts.push_back(message.text);
        }
        return texts;
    }
    void clear() { messages_.clear(); }

  private:
    std::unique_ptr<Ogre::LogManager> manager_;
    Ogre::Log* log_ = nullptr;
    std::vector<Message> messages_;
};

}  // namespace belvane::testing
